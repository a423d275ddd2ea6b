#pragma once
// The Levenberg-Marquardt method of Fan with cubic convergence (J. Fan, "The modified
// Levenberg-Marquardt method for nonlinear equations with cubic convergence", Math. Comp. 81,
// 2012): a Levenberg-Marquardt step and a second correction from the same factorised matrix at the
// intermediate point, accepted by a reduction ratio that also adapts the damping factor.

#include "solvers/least_squares/levenberg_marquardt.hpp"
#include "solvers/solver.hpp"

namespace tessmark {

struct FanOptions {
  int loopCap = 1000;
  // exactHessian: M = costHessian and g = costGradient (the program's depth guard);
  // gaussNewton: M = J^T J and g = J^T r (plain depth), both from the Jacobian at x.
  DampedMatrix matrix = DampedMatrix::exactHessian;
};

// The damping factor after an iteration with reduction ratio rho: rho < 0.5 multiplies it by 8;
// rho > 0.7 multiplies it by 0.125 and lifts the result to 0.5 when it is not above 0.5 (the floor
// acts only on a reduction, so the start value 0.001 lies below it); otherwise (0.5 <= rho <= 0.7,
// or NaN) it is unchanged.
double fanDampingFactor(double lambda, double rho);

// From lambda = 0.001, each iteration at x: F0 = r.r, mu = lambda F0, one LDLT factorisation of
// M + mu I (solveDampedSystem's rule) for both stages: d1 = -(M + mu I)^-1 g, y = x + d1,
// d2 = -(M + mu I)^-1 J^T r(y) with the Jacobian at x, s = d1 + d2. The actual reduction is
// measured at the intermediate point y, not at x + s: actual = F0 - |r(y)|^2; the predicted one is
// (F0 - |r + J d1|^2) + (|r(y)|^2 - |r(y) + J d2|^2), with no check of its sign; rho =
// actual / predicted (predicted = 0 gives +-inf or NaN). rho >= 0.3 takes x <- x + s, otherwise x
// stays (NaN too); then lambda = fanDampingFactor(lambda, rho). The body runs at least once; the
// loop ends when the first-stage step of the iteration, taken or not, has |d1| <= epsilon (also
// when it is NaN) or the count reaches the cap. A start whose residuals are all exactly zero gives
// d1 = d2 = 0, rho = 0/0 and ends after one iteration with x unchanged.
SolverResult levenbergMarquardtFan(const PointProblem& problem, SolverContext& context,
                                   const Eigen::Vector3d& start, double epsilon,
                                   const FanOptions& options);

}  // namespace tessmark
