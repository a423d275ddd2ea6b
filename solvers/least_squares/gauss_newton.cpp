#include "solvers/least_squares/gauss_newton.hpp"

#include "model/least_squares.hpp"

namespace tessmark {

SolverResult gaussNewton(const PointProblem& problem, SolverContext& context,
                         const Eigen::Vector3d& start, double epsilon,
                         const GaussNewtonOptions& options) {
  auto r = context.scratch.residualsOf(problem.viewCount);
  auto J = context.scratch.jacobianOf(problem.viewCount);
  SolverResult result{start};
  Eigen::Vector3d& x = result.point;
  // r and J at x, and the gradient there, from one pass.
  Eigen::Vector3d gradient = residualsJacobianAndGradient(problem, x, context.depthGuard, r, J);
  for (int iteration = 0;;) {
    const Eigen::Vector3d d = householderLeastSquares(J, r, context.scratch.leastSquares);
    const double curvature = d.dot(normalMatrix(J) * d);
    if (curvature != 0.0) x += (-gradient.dot(d) / curvature) * d;
    ++result.loops;
    if (++iteration >= loopCapOf(context, options.loopCap)) {
      result.capReached = true;
      break;
    }
    gradient = residualsJacobianAndGradient(problem, x, context.depthGuard, r, J);
    if (!(gradient.norm() > epsilon)) break;
  }
  return result;
}

SolverResult fullStepGaussNewton(const PointProblem& problem, SolverContext& context,
                                 const Eigen::Vector3d& start, double epsilon,
                                 const GaussNewtonOptions& options) {
  auto r = context.scratch.residualsOf(problem.viewCount);
  auto J = context.scratch.jacobianOf(problem.viewCount);
  SolverResult result{start};
  Eigen::Vector3d& x = result.point;
  for (int iteration = 0;;) {
    residualsAndJacobian(problem, x, r, J);
    const Eigen::Vector3d d = householderLeastSquares(J, r, context.scratch.leastSquares);
    x -= d;
    ++result.loops;
    if (++iteration >= loopCapOf(context, options.loopCap)) {
      result.capReached = true;
      break;
    }
    if (!(d.norm() > epsilon)) break;
  }
  return result;
}

}  // namespace tessmark
