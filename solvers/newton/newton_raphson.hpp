#pragma once
// Pure Newton-Raphson steps on the reprojection cost, with the exact gradient and Hessian.

#include "solvers/solver.hpp"

namespace tessmark {

// x <- x - dx, dx = solveNewtonSystem(costHessian(x), costGradient(x)), until the length of the
// step just applied is no longer than epsilon (the returned point is the one after that step), or
// the iteration index reaches rules.loopCap. The stopping length starts at 2 epsilon, so epsilon =
// 0 returns the start untouched. With rules.newtonCountsEntry the counter is incremented once
// before the loop and the index starts at 1 (at most loopCap - 1 steps); otherwise the counter
// grows by exactly the number of steps (at most loopCap). A NaN step length ends the loop.
Eigen::Vector3d newtonRaphson(const PointProblem& problem, SolverContext& context,
                              const Eigen::Vector3d& start, double epsilon);

}  // namespace tessmark
