#pragma once
// Every chosen solver of a program's menu on every point of one prepared data set. Each point's
// symmedian start is computed once; each solver then refines every point from that start, exactly
// as the single-key run of the program does (the same gathering, solver, tolerance and judgement),
// so each (point, solver) row holds the numbers that program reports for that key.

#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <Eigen/Core>

#include "dataset/data_set.hpp"
#include "dataset/point_outcome.hpp"
#include "dataset/point_solver.hpp"
#include "solvers/menus.hpp"

namespace tessmark {

// A solver chosen for the comparison: its key as --keys names it and its menu row.
struct ComparedSolver {
  std::string_view key;  // as kMenuKeys spells it: "0".."9", or "other"
  const MenuEntry* entry;
};

// The solvers `keys` names (a list menuRowsOfKeys reads, "0123456789other" for all), in the order
// given. Returns none and fills `error` for a list menuRowsOfKeys refuses, or a row whose solver
// is not available in this build.
std::optional<std::vector<ComparedSolver>> chooseSolvers(const SolverProgram& program,
                                                         std::string_view keys, std::string& error);

// One (point, solver) result: the point's outcome (its solveSeconds the solver call alone, on the
// programs' Stopwatch; hessianModified what the reports count as "Not positive definite"), and
// its place in the profiles.
struct SolverOutcome : PointOutcome {
  // Performance-profile ratios (Dolan and More 2002) against the best solver for this point;
  // infinite when this solver did not solve the point (see solvedPoint).
  double costRatio = 0.0;
  double timeRatio = 0.0;
};

// Whether a result counts as solved in the profiles: a finite final point with a finite cost.
bool solvedPoint(const SolverOutcome& outcome);

// Additive floors of the profile ratios: r = (value + floor) / (best + floor). Costs (squared
// pixels) and times (seconds) of exactly 0 stay comparable; differences below the floor count as
// ties.
inline constexpr double kCostFloor = 1e-12;
inline constexpr double kTimeFloor = 1e-9;
// A result reaches the best cost of its point when its cost ratio is at most 1 + this.
inline constexpr double kBestCostTolerance = 1e-9;

// How a comparison runs. Whatever the thread count, every outcome is the same bits (each point is
// solved on its own, from its own start, by one worker); only the times differ.
struct ComparisonOptions {
  int threads = 0;  // the workers the points are shared out to; 0: one per core
  // Each point's solve is run this many times and the shortest time kept (the solvers are
  // deterministic, so the outcome is that of every run); the starts are timed once.
  int repeat = 1;
  PointSolverOptions solver;  // how the solvers stop (default: the programs' fixed values)
};

struct Comparison {
  std::vector<ComparedSolver> solvers;
  int threads = 1;  // the workers it ran on
  int repeat = 1;
  int pointNum = 0;
  std::vector<int> viewNum;             // per point
  std::vector<Eigen::Vector3d> starts;  // per point: the symmedian start x_m
  std::vector<double> startSeconds;     // per point: gathering and the start, once
  std::vector<SolverOutcome> outcomes;  // solver-major: outcomes[s * pointNum + p]
  std::vector<double> passSeconds;      // per solver: its whole pass over the points
  double startPassSeconds = 0.0;        // the pass that computes the starts

  const SolverOutcome& outcome(int s, int p) const { return outcomes[index(s, p)]; }
  SolverOutcome& outcome(int s, int p) { return outcomes[index(s, p)]; }
  std::size_t index(int s, int p) const {
    return static_cast<std::size_t>(s) * static_cast<std::size_t>(pointNum) +
           static_cast<std::size_t>(p);
  }
};

// Told how far the comparison is: solver index s (-1 for the pass of the starts) and the points
// done in its pass; called with 0 as each pass begins (so that a pass is timed from its start),
// every few points, and once at the end of each pass (with the point count). The calls come one
// at a time, with rising counts within a pass, but possibly from any of the workers.
using ComparisonProgress = std::function<void(int s, int pointsDone)>;

// Runs the comparison on the prepared data with the program's depth guard and judgement rules (one
// per-point solver per chosen row and worker), pass after pass, the points of a pass shared out
// to the workers; then fills the ratios of the profiles.
Comparison compareSolvers(const DataSet& data, const SolverProgram& program,
                          std::span<const ComparedSolver> solvers,
                          const ComparisonProgress& progress = {},
                          const ComparisonOptions& options = {});

// The ratios of every outcome, from its final cost and its solve time against the best solved
// result of its point: for cost the smallest finite final cost, for time the shortest time.
void fillProfileRatios(Comparison& comparison);

}  // namespace tessmark
