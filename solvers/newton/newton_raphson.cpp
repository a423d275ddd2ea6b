#include "solvers/newton/newton_raphson.hpp"

#include "solvers/newton/newton_system.hpp"

namespace tessmark {

Eigen::Vector3d newtonRaphson(const PointProblem& problem, SolverContext& context,
                              const Eigen::Vector3d& start, double epsilon) {
  const SolverRules& rules = context.rules;
  Eigen::Vector3d x = start;
  Eigen::Vector3d gradient = costGradient(problem, x, rules.depthGuard);
  double stepLength = 2.0 * epsilon;
  int iteration = 0;
  if (rules.newtonCountsEntry) {
    ++context.loopCounter;
    iteration = 1;
  }
  while (stepLength > epsilon) {
    const Eigen::Matrix3d hessian = costHessian(problem, x, rules.depthGuard);
    const Eigen::Vector3d step = solveNewtonSystem(hessian, gradient);
    x -= step;
    gradient = costGradient(problem, x, rules.depthGuard);
    stepLength = step.norm();
    ++context.loopCounter;
    if (++iteration >= rules.loopCap) break;
  }
  return x;
}

}  // namespace tessmark
