#pragma once
// The damped Newton line search: along a search direction d, the step length that minimises the
// local quadratic model of the cost, with a unit steepest-descent substitute where the model has
// no positive curvature at all. Two directions: the Newton direction (exact) and the Gauss-Newton
// direction (inexact).

#include "solvers/solver.hpp"

namespace tessmark {

// Directional curvatures d^T H d and largest eigenvalues below this count as no positive curvature.
inline constexpr double kCurvatureThreshold = 2e-16;
// The curvature given to the unit steepest-descent substitute: the step is then 2 |g| long.
inline constexpr double kSubstituteCurvature = 0.5;

struct DampedNewtonOptions {
  // The iteration index, from 0, stops the loop when it reaches this cap; the loop count grows by
  // exactly the number of iterations.
  int loopCap = 1000;
  // Whether the exact direction's Newton system falls back to the SVD when the LDLT solution's
  // first component is NaN (solveNewtonSystem); otherwise the LDLT solution is used as it is.
  bool newtonSvdFallback = true;
};

// The damped step alpha d for the model g.s + s^T H s / 2 (g, H of half the cost) along d:
//  - c = d^T H d; when c <= 2e-16 (a NaN c is not) and the largest eigenvalue of H (self-adjoint
//    solver) is below 2e-16, d becomes -g / |g| and c becomes 0.5; otherwise d and c stay, even a
//    zero or negative c;
//  - alpha = -(g.d) / c: 1 for a Newton direction with a positive definite H, 2 |g| for the
//    steepest-descent substitute (the step -2 g).
// A tiny c gives a very long step and a zero c (with g.d != 0) an infinite one: no bound exists.
// A zero direction (a stationary point, g = 0) is a zero step rather than 0/0. A H with a
// non-finite entry has no eigenvalues: d and c then stay, and non-finite values flow on.
Eigen::Vector3d dampedStep(const Eigen::Matrix3d& hessian, const Eigen::Vector3d& gradient,
                           const Eigen::Vector3d& direction);

// x <- x + dampedStep(costHessian(x), costGradient(x), d) with the Newton direction
// d = -H^-1 g (LDLT, with the options' SVD fallback when the first component is NaN), until the
// length of the step just taken is no longer than epsilon (tested after every step, so at least
// one step is taken), or the iteration index reaches the cap (capReached). A NaN step length ends
// the loop and the non-finite point is returned. Never modifies a Hessian.
SolverResult exactDampedNewton(const PointProblem& problem, SolverContext& context,
                               const Eigen::Vector3d& start, double epsilon,
                               const DampedNewtonOptions& options);

// The same with the Gauss-Newton direction d = -householderLeastSquares(J, r) (Householder QR of
// the 2n x 3 J, the SVD least-squares solution when the first component is NaN), J and r from
// projectionJacobian and residualVector at x (plain depths), computed in the scratch. The options'
// Newton fallback switch does not apply.
SolverResult inexactDampedNewton(const PointProblem& problem, SolverContext& context,
                                 const Eigen::Vector3d& start, double epsilon,
                                 const DampedNewtonOptions& options);

}  // namespace tessmark
