#pragma once
// Jarratt's fourth-order iteration on the stationarity condition g(x) = 0 of the reprojection cost
// (P. Jarratt, "Some fourth order multipoint iterative methods for solving equations", Mathematics
// of Computation 20, 1966): each step corrects the Newton step with a matrix polynomial in the
// relative change of the Hessian two thirds of a Newton step away.

#include "solvers/solver.hpp"

namespace tessmark {

struct JarrattOptions {
  // The iteration index, starting at 1 after the loop count's entry increment, stops the loop when
  // it reaches this cap (at most loopCap - 1 steps).
  int loopCap = 1000;
};

// Per iteration, with g = costGradient(x) and H = costHessian(x):
//   u = H^-1 g, by one NewtonFactorisation of H (LDLT; the SVD when u's first component is NaN),
//   y = x - (2/3) u, T = H^-1 (costHessian(y) - H) by the same factorisation,
//   x <- x - [I - (3/4) T + (9/8) T^2] u,
// until the length of the step just taken, |u - (3/4) T (u - (3/2) T u)|, is no longer than
// epsilon, or the iteration index reaches the cap (capReached). The first test is on |g| at the
// start: a start with |g| <= epsilon, or a non-finite gradient, is returned unchanged with the loop
// count at 1, no Hessian evaluated. On a quadratic cost T = 0 and every step is the Newton step.
// Non-finite values in u, T or the step flow into x; a NaN step length ends the loop. Never
// modifies a Hessian.
SolverResult jarratt(const PointProblem& problem, SolverContext& context,
                     const Eigen::Vector3d& start, double epsilon, const JarrattOptions& options);

}  // namespace tessmark
