#include "solvers/newton/damped_newton.hpp"

#include <Eigen/Eigenvalues>

#include "model/least_squares.hpp"
#include "model/small_kernels.hpp"
#include "solvers/newton/newton_system.hpp"

namespace tessmark {

namespace {

// Whether H has no eigenvalue of at least 2e-16. A non-finite H (no eigenvalues) counts as having
// one, as a NaN largest eigenvalue would.
bool lacksPositiveCurvature(const Eigen::Matrix3d& hessian) {
  if (largestClearlyAboveThreshold(hessian, kCurvatureThreshold)) return false;
  return decidedLargestEigenvalue(hessian, kCurvatureThreshold) < kCurvatureThreshold;
}

// The damped iteration with its direction rule: direction(x, g, H) returns d, given g and H at x
// (from one pass over the views, derivativesAt(x) after the start; a step that ends the loop asks
// for no more).
template <typename Derivatives, typename Direction>
SolverResult dampedIteration(const PointProblem& problem, SolverContext& context,
                             const Eigen::Vector3d& start, double epsilon,
                             const DampedNewtonOptions& options, Derivatives derivativesAt,
                             Direction direction) {
  SolverResult result{start};
  Eigen::Vector3d& x = result.point;
  GradientAndHessian derivatives = startDerivatives(problem, context, x);
  for (int iteration = 0;;) {
    const Eigen::Vector3d d = direction(x, derivatives.gradient, derivatives.hessian);
    const Eigen::Vector3d step = dampedStep(derivatives.hessian, derivatives.gradient, d);
    x += step;
    ++result.loops;
    if (++iteration >= loopCapOf(context, options.loopCap)) {
      result.capReached = true;
      break;
    }
    if (!(step.norm() > epsilon)) break;
    derivatives = derivativesAt(x);
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
      [&](const Eigen::Vector3d& x) { return gradientAndHessian(problem, x, context.depthGuard); },
      [&](const Eigen::Vector3d&, const Eigen::Vector3d& g, const Eigen::Matrix3d& hessian) {
        const Eigen::Vector3d newton =
            options.newtonSvdFallback ? solveNewtonSystem(hessian, g) : ldltSolve(hessian, g);
        return Eigen::Vector3d(-newton);
      });
}

SolverResult inexactDampedNewton(const PointProblem& problem, SolverContext& context,
                                 const Eigen::Vector3d& start, double epsilon,
                                 const DampedNewtonOptions& options) {
  SolverScratch& scratch = context.scratch;
  auto residuals = scratch.residualsOf(problem.viewCount);
  auto jacobian = scratch.jacobianOf(problem.viewCount);
  // Whether residuals and jacobian hold the current point's: after the start, the pass that gives
  // g and H writes them too.
  bool linearised = false;
  return dampedIteration(
      problem, context, start, epsilon, options,
      [&](const Eigen::Vector3d& x) {
        linearised = true;
        return residualsJacobianAndDerivatives(problem, x, context.depthGuard, residuals, jacobian);
      },
      [&](const Eigen::Vector3d& x, const Eigen::Vector3d&, const Eigen::Matrix3d&) {
        if (!linearised) residualsAndJacobian(problem, x, residuals, jacobian);
        linearised = false;
        return Eigen::Vector3d(-householderLeastSquares(jacobian, residuals, scratch.leastSquares));
      });
}

}  // namespace tessmark
