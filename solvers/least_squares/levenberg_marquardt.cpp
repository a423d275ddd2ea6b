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
  const bool exact = options.matrix == DampedMatrix::exactHessian;
  Eigen::Vector3d gradient;
  for (int iteration = 0;;) {
    Eigen::Matrix3d matrix;
    if (exact) {
      const GradientAndHessian derivatives =
          residualsJacobianAndDerivatives(problem, x, context.depthGuard, r, J);
      gradient = derivatives.gradient;
      matrix = derivatives.hessian;
    } else {
      gradient = residualsJacobianAndGradient(problem, x, context.depthGuard, r, J);
      matrix = normalMatrix(J);
    }
    const Eigen::Vector3d d = solveDampedSystem(matrix, r.squaredNorm(), gradient);
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
