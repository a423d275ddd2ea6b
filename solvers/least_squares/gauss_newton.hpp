#pragma once
// Gauss-Newton iterations on the residuals of one point: every step is the least-squares solution
// of the linearised residual equations J d = r (householderLeastSquares), so no second derivatives
// are needed.

#include "solvers/solver.hpp"

namespace tessmark {

struct GaussNewtonOptions {
  // The iteration count stops the loop when it reaches this cap.
  int loopCap = 1000;
};

// Gauss-Newton with the exact line factor of the model: d = householderLeastSquares(J, r) at x
// (Householder QR, SVD when its first component is NaN), A = J^T J (column dot products), and
// x <- x + alpha d with alpha = -(g.d) / (d^T A d), g = costGradient (half the cost's gradient, the
// program's depth guard) from the previous point. Since g = J^T r, alpha is -1 up to rounding and
// the guard: the Gauss-Newton step. The body runs at least once; the loop ends when the gradient at
// the point just reached has |g| <= epsilon (also when it is NaN) or the count reaches the cap. The
// count grows by the number of iterations. A zero step (d^T A d = 0, as at a start whose residuals
// are all exactly zero) leaves x where it is instead of multiplying d by the quotient 0/0; the loop
// then ends if the gradient there is small, or runs to the cap. Non-finite values flow into x and
// end the loop through a NaN gradient length.
SolverResult gaussNewton(const PointProblem& problem, SolverContext& context,
                         const Eigen::Vector3d& start, double epsilon,
                         const GaussNewtonOptions& options);

// Gauss-Newton with full steps: x <- x - d, d = householderLeastSquares(J, r) at x; no gradient, no
// line factor. The body runs at least once; the loop ends when the step just applied has |d| <=
// epsilon (also when it is NaN) or the count reaches the cap. A start whose residuals are all
// exactly zero takes one zero step and is returned unchanged.
SolverResult fullStepGaussNewton(const PointProblem& problem, SolverContext& context,
                                 const Eigen::Vector3d& start, double epsilon,
                                 const GaussNewtonOptions& options);

}  // namespace tessmark
