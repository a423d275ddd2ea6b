#pragma once
// The backtracking search with a cubic sufficient-decrease test that several solvers share: along a
// direction d from x, the step factors 1, 1/4, 1/16, ... are tried until the cost falls far enough
// below a reference, at most 20 reductions.

#include <Eigen/Core>

#include "model/point_problem.hpp"

namespace tessmark {

inline constexpr double kBacktrackingFactor = 0.25;
inline constexpr int kBacktrackingReductions = 20;

struct BacktrackingOptions {
  // c in the test cost(trial) < reference - c (alpha |d|)^3.
  double decreaseConstant = 1e-4;
  // Whether the cost of the last trial (alpha = 0.25^20, taken whatever its cost) is evaluated;
  // when it is not, the step's cost is NaN.
  bool evaluateLastTrial = true;
};

struct BacktrackingStep {
  Eigen::Vector3d point;  // x + alpha d
  double alpha;           // 0.25^reductions
  double cost;            // reprojectionCost at point (NaN for an unevaluated last trial)
  int reductions;
};

// Trials x + alpha d with alpha = 0.25^m, m = 0, 1, ..., 20. The search stops at the first trial
// whose cost is not >= reference - c (alpha |d|)^3 (so a NaN cost, or a NaN reference, also ends
// it and that trial is taken), or at m = 20, whose trial is taken whatever its cost. Every cost is
// reprojectionCost (not halved).
BacktrackingStep backtrackCubicDecrease(const PointProblem& problem, const Eigen::Vector3d& x,
                                        const Eigen::Vector3d& direction, double referenceCost,
                                        const BacktrackingOptions& options);

}  // namespace tessmark
