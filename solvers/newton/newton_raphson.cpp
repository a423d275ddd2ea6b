#include "solvers/newton/newton_raphson.hpp"

#include "solvers/newton/newton_system.hpp"

namespace tessmark {

SolverResult newtonRaphson(const PointProblem& problem, SolverContext& context,
                           const Eigen::Vector3d& start, double epsilon,
                           const NewtonRaphsonOptions& options) {
  const DepthGuard guard = context.depthGuard;
  SolverResult result{start};
  Eigen::Vector3d& x = result.point;
  double stepLength = 2.0 * epsilon;
  int iteration = 0;
  if (options.countsEntry) {
    ++result.loops;
    iteration = 1;
  }
  // g and H of the current point, from one pass over the views; only a step that is not the last
  // asks for the next pair.
  if (!(stepLength > epsilon)) return result;
  GradientAndHessian derivatives = startDerivatives(problem, context, x);
  for (;;) {
    const Eigen::Vector3d step = solveNewtonSystem(derivatives.hessian, derivatives.gradient);
    x -= step;
    stepLength = step.norm();
    ++result.loops;
    if (++iteration >= loopCapOf(context, options.loopCap)) {
      result.capReached = true;
      break;
    }
    if (!(stepLength > epsilon)) break;
    derivatives = gradientAndHessian(problem, x, guard);
  }
  return result;
}

}  // namespace tessmark
