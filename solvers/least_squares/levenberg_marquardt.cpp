#include "solvers/least_squares/levenberg_marquardt.hpp"

#include "solvers/least_squares/damped_system.hpp"

namespace tessmark {

SolverResult levenbergMarquardt(const PointProblem& problem, SolverContext& context,
                                const Eigen::Vector3d& start, double epsilon,
                                const LevenbergMarquardtOptions& options) {
  auto r = context.scratch.residualsOf(problem.viewCount);
  auto J = context.scratch.jacobianOf(problem.viewCount);
  SolverResult result{start};
  Eigen::Vector3d& x = result.point;
  Eigen::Vector3d gradient = costGradient(problem, x, context.depthGuard);
  for (int iteration = 0;;) {
    residualVector(problem, x, r);
    Eigen::Matrix3d matrix;
    if (options.matrix == DampedMatrix::gaussNewton) {
      projectionJacobian(problem, x, J);
      matrix = normalMatrix(J);
    } else {
      matrix = costHessian(problem, x, context.depthGuard);
    }
    const Eigen::Vector3d d = solveDampedSystem(matrix, r.squaredNorm(), gradient);
    x -= d;
    gradient = costGradient(problem, x, context.depthGuard);
    ++result.loops;
    if (++iteration >= options.loopCap) {
      result.capReached = true;
      break;
    }
    if (!(d.norm() > epsilon)) break;
  }
  return result;
}

}  // namespace tessmark
