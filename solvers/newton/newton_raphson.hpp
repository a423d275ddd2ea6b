#pragma once
// Pure Newton-Raphson steps on the reprojection cost, with the exact gradient and Hessian.

#include "solvers/solver.hpp"

namespace tessmark {

struct NewtonRaphsonOptions {
  // The iteration index stops the loop when it reaches this cap.
  int loopCap = 1000;
  // Whether the loop count is incremented once before the first step, the iteration index then
  // starting at 1 (so at most loopCap - 1 steps are taken); otherwise the count grows by exactly
  // the number of steps (at most loopCap).
  bool countsEntry = true;
};

// x <- x - dx, dx = solveNewtonSystem(costHessian(x), costGradient(x)) (LDLT, SVD fallback when
// the first component is NaN), until the length of the step just applied is no longer than epsilon
// (the returned point is the one after that step), or the iteration index reaches the cap. The
// stopping length starts at 2 epsilon, so epsilon = 0 returns the start untouched. A NaN step
// length ends the loop and the non-finite point is returned. Never modifies a Hessian.
SolverResult newtonRaphson(const PointProblem& problem, SolverContext& context,
                           const Eigen::Vector3d& start, double epsilon,
                           const NewtonRaphsonOptions& options);

}  // namespace tessmark
