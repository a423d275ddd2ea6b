#include "solvers/newton/newton_raphson.hpp"

#include "solvers/newton/newton_system.hpp"

namespace tessmark {

SolverResult newtonRaphson(const PointProblem& problem, SolverContext& context,
                           const Eigen::Vector3d& start, double epsilon,
                           const NewtonRaphsonOptions& options) {
  const DepthGuard guard = context.depthGuard;
  SolverResult result{start};
  Eigen::Vector3d& x = result.point;
  Eigen::Vector3d gradient = costGradient(problem, x, guard);
  double stepLength = 2.0 * epsilon;
  int iteration = 0;
  if (options.countsEntry) {
    ++result.loops;
    iteration = 1;
  }
  while (stepLength > epsilon) {
    const Eigen::Matrix3d hessian = costHessian(problem, x, guard);
    const Eigen::Vector3d step = solveNewtonSystem(hessian, gradient);
    x -= step;
    gradient = costGradient(problem, x, guard);
    stepLength = step.norm();
    ++result.loops;
    if (++iteration >= options.loopCap) {
      result.capReached = true;
      break;
    }
  }
  return result;
}

}  // namespace tessmark
