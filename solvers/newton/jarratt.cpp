#include "solvers/newton/jarratt.hpp"

#include "solvers/newton/newton_system.hpp"

namespace tessmark {

SolverResult jarratt(const PointProblem& problem, SolverContext& context,
                     const Eigen::Vector3d& start, double epsilon, const JarrattOptions& options) {
  const DepthGuard guard = context.depthGuard;
  SolverResult result{start};
  Eigen::Vector3d& x = result.point;
  // g and H of the current point from one pass; a step that ends the loop asks for no more.
  GradientAndHessian derivatives = startDerivatives(problem, context, x);
  double stepLength = derivatives.gradient.norm();
  ++result.loops;
  int iteration = 1;
  while (stepLength > epsilon) {
    const Eigen::Matrix3d& hessian = derivatives.hessian;
    const NewtonFactorisation newton(hessian, derivatives.gradient);
    const Eigen::Vector3d& u = newton.step();
    const Eigen::Vector3d auxiliary = x - (2.0 / 3.0) * u;
    const Eigen::Matrix3d t = newton.solve(costHessian(problem, auxiliary, guard) - hessian);
    // v = (3/4) T (u - (3/2) T u); the new point is the Newton point x - u moved by v.
    const Eigen::Vector3d tu = t * u;
    const Eigen::Vector3d v = 0.75 * (t * (u - 1.5 * tu));
    x = (x - u) + v;
    stepLength = (u - v).norm();
    ++result.loops;
    if (++iteration >= loopCapOf(context, options.loopCap)) {
      result.capReached = true;
      break;
    }
    if (stepLength > epsilon) derivatives = gradientAndHessian(problem, x, guard);
  }
  return result;
}

}  // namespace tessmark
