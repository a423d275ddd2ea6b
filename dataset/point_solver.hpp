#pragma once
// The one per-point solver: built from a program's solvers and rules and one menu row, it takes a
// point from its source (or a point already gathered into the workspace), computes the symmedian
// start, runs the row's solver with the tolerance of its options and judges the start and the final
// point under the program's rules, sharing the start's evaluation between solver and judgement.
// Every front end triangulates through it.
//
// The room it works in is the caller's PointWorkspace (views, camera list, solver scratch), sized
// for the largest view count it will see; one workspace and one PointSolver per thread, over a
// point source that threads may share. Nothing on its paths allocates.

#include <Eigen/Core>

#include "console/stopwatch.hpp"
#include "dataset/data_set.hpp"
#include "dataset/point_outcome.hpp"
#include "model/judgement.hpp"
#include "model/point_workspace.hpp"
#include "solvers/menus.hpp"

namespace tessmark {

// How the solver stops. The defaults are the programs' fixed values, which the programs never
// change; the library's users and the comparison may.
struct PointSolverOptions {
  // The epsilon a solver call receives is the larger of tolerance and relativeTolerance times the
  // start's reprojection cost (the sum of squared residuals at x_m, evaluated only when
  // relativeTolerance is positive).
  double tolerance = kSolverTolerance;
  double relativeTolerance = 0.0;
  int loopCap = 0;  // in place of the solver's own loop cap (SolverContext::loopCap); 0: its own
};

// A point's start as the comparison measures it once per point.
struct TimedStart {
  int viewCount = 0;
  Eigen::Vector3d start;
  double seconds = 0.0;  // gathering and the symmedian start
};

class PointSolver {
 public:
  PointSolver(const SolverProgram& program, const MenuEntry& method, PointWorkspace& workspace,
              const PointSolverOptions& options = {});

  // The programs' path for point p: locate (untimed); gather, start and solve timed as one
  // interval (pointSeconds); then the judgement.
  PointOutcome triangulate(const PointSource& points, int p);
  // The comparison's path: locate and gather (untimed); the solver alone timed (solveSeconds) from
  // the given start; then the judgement.
  PointOutcome triangulateFrom(const PointSource& points, int p, const Eigen::Vector3d& start);
  // A point whose views are gathered already (into the workspace, or elsewhere): start, solve and
  // judge, untimed. The solver's scratch is the workspace's; it must fit the point's view count.
  PointOutcome triangulate(const PointProblem& problem);

  const SolverProgram& program() const { return program_; }
  const MenuEntry& method() const { return method_; }
  const PointSolverOptions& options() const { return options_; }

 private:
  // Solves the gathered point from outcome.start into the outcome's solver fields.
  void solve(const PointProblem& problem, PointOutcome& outcome);
  void judge(const PointProblem& problem, PointOutcome& outcome) const;

  const SolverProgram& program_;
  const MenuEntry& method_;
  PointWorkspace& workspace_;
  PointSolverOptions options_;
  SharedStart shared_;
  Stopwatch watch_;
};

// Locates and gathers point p into the workspace and computes its symmedian start, the gathering
// and the start timed as one interval.
TimedStart timedStart(const PointSource& points, int p, PointWorkspace& workspace);

}  // namespace tessmark
