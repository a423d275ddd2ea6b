#include "solvers/least_squares/fan.hpp"

#include "solvers/least_squares/damped_system.hpp"

namespace tessmark {

namespace {

// |r + J d|^2, the squared residuals of the linear model: J d into `product` (the scratch's room),
// then summed as r.r is summed. The predicted reductions F - |r + J d|^2 then vanish for a zero
// step, as the model says; summed in another order, they would keep a few units of rounding of F,
// which near convergence (where the actual reduction is itself that small) decide whether a step
// is taken, and with it the loop count and, on a flat valley, where the run ends.
double linearisedCost(const Eigen::Ref<const JacobianMatrix>& jacobian,
                      const Eigen::Ref<const Eigen::VectorXd>& residuals,
                      const Eigen::Vector3d& step, Eigen::Ref<Eigen::VectorXd> product) {
  product.noalias() = jacobian * step;
  return (residuals + product).squaredNorm();
}

}  // namespace

double fanDampingFactor(double lambda, double rho) {
  if (rho < 0.5) return 8.0 * lambda;
  if (rho > 0.7) {
    lambda *= 0.125;
    if (!(lambda > 0.5)) lambda = 0.5;
  }
  return lambda;
}

SolverResult levenbergMarquardtFan(const PointProblem& problem, SolverContext& context,
                                   const Eigen::Vector3d& start, double epsilon,
                                   const FanOptions& options) {
  auto r = context.scratch.residualsOf(problem.viewCount);
  auto rY = context.scratch.trialResidualsOf(problem.viewCount);
  auto J = context.scratch.jacobianOf(problem.viewCount);
  auto jacobianStep = context.scratch.jacobianStepOf(problem.viewCount);
  const bool exact = options.matrix == DampedMatrix::exactHessian;
  SolverResult result{start};
  Eigen::Vector3d& x = result.point;
  double lambda = 0.001;
  Eigen::Vector3d g;
  for (int iteration = 0;;) {
    Eigen::Matrix3d matrix;
    if (exact) {
      const GradientAndHessian derivatives =
          residualsJacobianAndDerivatives(problem, x, context.depthGuard, r, J);
      g = derivatives.gradient;
      matrix = derivatives.hessian;
    } else {
      residualsAndJacobian(problem, x, r, J);
      matrix = normalMatrix(J);
      g = normalGradient(J, r);
    }
    const double f0 = r.squaredNorm();
    const DampedSystem system(matrix, lambda * f0);
    const Eigen::Vector3d d1 = -system.solve(g);
    residualVector(problem, x + d1, rY);
    const Eigen::Vector3d d2 = -system.solve(normalGradient(J, rY));
    const double fY = rY.squaredNorm();
    const double actual = f0 - fY;
    const double predicted = (f0 - linearisedCost(J, r, d1, jacobianStep)) +
                             (fY - linearisedCost(J, rY, d2, jacobianStep));
    const double rho = actual / predicted;
    if (rho >= 0.3) x += d1 + d2;
    lambda = fanDampingFactor(lambda, rho);
    ++result.loops;
    if (++iteration >= options.loopCap) {
      result.capReached = true;
      break;
    }
    if (!(d1.norm() > epsilon)) break;
  }
  return result;
}

}  // namespace tessmark
