#pragma once
// Gauss-Newton with a backtracking line search (Armijo-type, with a cubic sufficient decrease) on
// the reprojection cost along the Gauss-Newton direction.

#include "solvers/solver.hpp"

namespace tessmark {

struct ArmijoOptions {
  // The iteration index starts here and the loop runs while it is below the cap: a start of -10
  // allows 1010 iterations.
  int firstIteration = 0;
  int loopCap = 1000;
  // Where the reference cost of the search comes from. false: reprojectionCost at x, and the last
  // trial of a search that exhausts its reductions is taken without its cost being evaluated.
  // true: every trial's cost is evaluated; while the index is below 1 the reference is r.r of the
  // residuals at x, afterwards the cost of the trial accepted in the previous iteration.
  bool reusesTrialCost = false;
};

// While the length of the last step taken is > epsilon (it starts at 2 epsilon, so epsilon <= 0
// returns the start with a count of 0; a NaN ends the loop): d = the least-squares solution of
// J d = r by Householder QR with column pivoting (rank-revealing, Eigen's default threshold; the
// SVD minimum-norm solution when its first component is NaN); then the backtracking search of
// solvers/backtracking.hpp from x along -d with constant 0.01: trials x - alpha d, alpha = 0.25^m,
// the first whose cost is below reference - 0.01 (alpha |d|)^3 (or NaN) is taken, else the
// twentieth reduction whatever its cost; the step length is alpha |d|. A start whose residuals are
// all exactly zero searches to the twentieth reduction of a zero step and ends after one iteration
// with x unchanged. The count grows by the number of iterations.
SolverResult gaussNewtonArmijo(const PointProblem& problem, SolverContext& context,
                               const Eigen::Vector3d& start, double epsilon,
                               const ArmijoOptions& options);

}  // namespace tessmark
