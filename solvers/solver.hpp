#pragma once
// The contract every local solver shares, and the rules in which the two programs' solvers differ.

#include <Eigen/Core>

#include "model/derivatives.hpp"
#include "model/point_problem.hpp"

namespace tessmark {

// The numbers and switches that set the two programs' solvers apart. Each program has one constant
// instance of this record; a solver reads only the fields it needs.
struct SolverRules {
  // Whether costGradient and costHessian keep near-zero depths away from zero.
  DepthGuard depthGuard;
  // The iteration cap every solver shares (the reports print it beside the loop count).
  int loopCap;
  // Newton-Raphson: whether the loop counter is incremented once before the first step, the
  // iteration index then starting at 1 (so at most loopCap - 1 steps are taken).
  bool newtonCountsEntry;
};

// Per-call context: the rules of the running program and the caller's counters.
struct SolverContext {
  const SolverRules& rules;
  // Incremented by the solver as its own description says; the driver reports it as the loop count.
  int& loopCounter;
  // The run-wide count of points whose Hessian had to be modified; only the solver that modifies
  // Hessians adds to it.
  int& notPositiveDefiniteCount;
};

// A local solver: refines `start` for one point until its stopping test on `epsilon` holds or its
// cap is reached, and returns the final point. There is no status: reaching the cap shows only in
// loopCounter, a breakdown only as non-finite coordinates.
using SolverFunction = Eigen::Vector3d (*)(const PointProblem& problem, SolverContext& context,
                                           const Eigen::Vector3d& start, double epsilon);

// The two programs' rules: the BAL triangulator guards depths, caps at 1000 and counts the Newton
// entry; the .lc triangulator does none of that and caps at 500.
inline constexpr SolverRules kVorlantSolverRules{DepthGuard::on, 1000, true};
inline constexpr SolverRules kSennicSolverRules{DepthGuard::off, 500, false};

}  // namespace tessmark
