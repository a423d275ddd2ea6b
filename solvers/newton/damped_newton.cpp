#include "solvers/newton/damped_newton.hpp"

#include <Eigen/Cholesky>
#include <Eigen/Eigenvalues>

#include "solvers/least_squares/gauss_newton_step.hpp"
#include "solvers/newton/newton_system.hpp"

namespace tessmark {

namespace {

// Whether H has no eigenvalue of at least 2e-16. A non-finite H (no eigenvalues) counts as having
// one, as a NaN largest eigenvalue would.
bool lacksPositiveCurvature(const Eigen::Matrix3d& hessian) {
  if (!hessian.allFinite()) return false;
  const Eigen::SelfAdjointEigenSolver<Eigen::Matrix3d> eigen(hessian, Eigen::EigenvaluesOnly);
  if (eigen.info() != Eigen::Success) return false;
  return eigen.eigenvalues()(2) < kCurvatureThreshold;  // increasing order
}

// The damped iteration with its direction rule: direction(x, g, H) returns d and leaves H, the
// Hessian at x, in its third argument.
template <typename Direction>
SolverResult dampedIteration(const PointProblem& problem, SolverContext& context,
                             const Eigen::Vector3d& start, double epsilon,
                             const DampedNewtonOptions& options, Direction direction) {
  const DepthGuard guard = context.depthGuard;
  SolverResult result{start};
  Eigen::Vector3d& x = result.point;
  Eigen::Vector3d gradient = costGradient(problem, x, guard);
  Eigen::Matrix3d hessian;
  for (int iteration = 0;;) {
    const Eigen::Vector3d d = direction(x, gradient, hessian);
    const Eigen::Vector3d step = dampedStep(hessian, gradient, d);
    x += step;
    gradient = costGradient(problem, x, guard);
    ++result.loops;
    if (++iteration >= options.loopCap) {
      result.capReached = true;
      break;
    }
    if (!(step.norm() > epsilon)) break;
  }
  return result;
}

}  // namespace

Eigen::Vector3d dampedStep(const Eigen::Matrix3d& hessian, const Eigen::Vector3d& gradient,
                           const Eigen::Vector3d& direction) {
  Eigen::Vector3d d = direction;
  double curvature = d.dot(hessian * d);
  if (curvature <= kCurvatureThreshold && lacksPositiveCurvature(hessian)) {
    const double length = gradient.norm();
    d = length == 0.0 ? Eigen::Vector3d::Zero() : Eigen::Vector3d(-gradient / length);
    curvature = kSubstituteCurvature;
  }
  // A zero direction would make alpha 0/0 and the point NaN; it is a zero step instead.
  if ((d.array() == 0.0).all()) return Eigen::Vector3d::Zero();
  const double alpha = -gradient.dot(d) / curvature;
  return alpha * d;
}

SolverResult exactDampedNewton(const PointProblem& problem, SolverContext& context,
                               const Eigen::Vector3d& start, double epsilon,
                               const DampedNewtonOptions& options) {
  return dampedIteration(
      problem, context, start, epsilon, options,
      [&](const Eigen::Vector3d& x, const Eigen::Vector3d& g, Eigen::Matrix3d& hessian) {
        hessian = costHessian(problem, x, context.depthGuard);
        const Eigen::Vector3d newton =
            options.newtonSvdFallback
                ? solveNewtonSystem(hessian, g)
                : Eigen::Vector3d(Eigen::LDLT<Eigen::Matrix3d>(hessian).solve(g));
        return Eigen::Vector3d(-newton);
      });
}

SolverResult inexactDampedNewton(const PointProblem& problem, SolverContext& context,
                                 const Eigen::Vector3d& start, double epsilon,
                                 const DampedNewtonOptions& options) {
  SolverScratch& scratch = context.scratch;
  return dampedIteration(
      problem, context, start, epsilon, options,
      [&](const Eigen::Vector3d& x, const Eigen::Vector3d&, Eigen::Matrix3d& hessian) {
        auto residuals = scratch.residualsOf(problem.viewCount);
        auto jacobian = scratch.jacobianOf(problem.viewCount);
        residualVector(problem, x, residuals);
        projectionJacobian(problem, x, jacobian);
        const Eigen::Vector3d gaussNewton =
            gaussNewtonStep(jacobian, residuals, scratch.leastSquares);
        hessian = costHessian(problem, x, context.depthGuard);
        return Eigen::Vector3d(-gaussNewton);
      });
}

}  // namespace tessmark
