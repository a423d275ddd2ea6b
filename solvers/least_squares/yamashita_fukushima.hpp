#pragma once
// Levenberg-Marquardt with the Yamashita-Fukushima damping mu = |r|^2 (N. Yamashita, M. Fukushima,
// "On the rate of convergence of the Levenberg-Marquardt method", Computing Suppl. 15, 2001), in
// two forms: the exact Hessian damped and every step taken, and the Gauss-Newton matrix damped only
// for large residuals with a backtracking search on every step.

#include "solvers/least_squares/levenberg_marquardt.hpp"
#include "solvers/solver.hpp"

namespace tessmark {

struct GatedYamashitaFukushimaOptions {
  int loopCap = 500;
  // The damping mu = r.r is applied only while the root-mean-square residual per image coordinate,
  // sqrt(r.r / 2n), exceeds this (a NaN does not exceed it); otherwise mu = 0.
  double dampingThreshold = 20.0;
  // c of the search's test cost(trial) < reference - c (alpha |d|)^3.
  double decreaseConstant = 1e-4;
};

// d = -(J^T J + mu I)^-1 g by solveDampedSystem (g = costGradient with the program's depth guard,
// J the plain Jacobian), then the backtracking search of solvers/backtracking.hpp along d from x
// against a reference fixed in the first iteration, the cost of the start (r.r): trials x + alpha
// d, alpha = 0.25^m, the first whose cost is below reference - c (alpha |d|)^3 (or NaN) is taken,
// else the twentieth reduction whatever its cost. Because the reference never moves, once the cost
// has fallen below it a trial can be accepted that costs more than x. The body runs at least once;
// the loop ends when the step taken has alpha |d| <= epsilon (also when it is NaN) or the count
// reaches the cap. A start whose residuals are all exactly zero searches to the twentieth reduction
// of a zero step and is returned unchanged after one iteration.
SolverResult gatedYamashitaFukushima(const PointProblem& problem, SolverContext& context,
                                     const Eigen::Vector3d& start, double epsilon,
                                     const GatedYamashitaFukushimaOptions& options);

}  // namespace tessmark
