#pragma once
// Levenberg-Marquardt steps damped by the squared residual norm at the current point, taken without
// any acceptance test (the damping mu = |r|^2 of Yamashita and Fukushima, "On the rate of
// convergence of the Levenberg-Marquardt method", Computing Suppl. 15, 2001).

#include "solvers/solver.hpp"

namespace tessmark {

// The matrix that is damped: the Gauss-Newton matrix J^T J (column dot products of the Jacobian at
// x), or the exact Hessian of half the cost (costHessian, the program's depth guard).
enum class DampedMatrix { gaussNewton, exactHessian };

struct LevenbergMarquardtOptions {
  int loopCap = 1000;
  DampedMatrix matrix = DampedMatrix::gaussNewton;
};

// x <- x - d with (M + mu I) d = g by solveDampedSystem (LDLT, negligible pivots give zero
// components, no fallback), mu = r.r at x (the full cost, not halved; 0 when all residuals are 0),
// g = costGradient (half the cost's gradient). The body runs at least once; the loop ends when the
// step just applied has |d| <= epsilon (also when it is NaN) or the count reaches the cap. With the
// exact Hessian, M + mu I may be indefinite: it is solved as it is and every step is taken. A start
// whose residuals are all exactly zero has g = 0 and ends after one zero step.
SolverResult levenbergMarquardt(const PointProblem& problem, SolverContext& context,
                                const Eigen::Vector3d& start, double epsilon,
                                const LevenbergMarquardtOptions& options);

}  // namespace tessmark
