#include "solvers/newton/greenstadt.hpp"

#include <algorithm>

#include <Eigen/Eigenvalues>

#include "model/small_kernels.hpp"
#include "solvers/backtracking.hpp"
#include "solvers/newton/newton_system.hpp"

namespace tessmark {

namespace {

// The Greenstadt iteration with its step rule: takeStep(x, dx) moves x along -dx and returns the
// length of the step it took.
template <typename TakeStep>
SolverResult greenstadtIteration(const PointProblem& problem, SolverContext& context,
                                 const Eigen::Vector3d& start, double epsilon,
                                 const GreenstadtOptions& options, TakeStep takeStep) {
  const DepthGuard guard = context.depthGuard;
  SolverResult result{start};
  Eigen::Vector3d& x = result.point;
  // g and H of the current point from one pass; a step that ends the loop asks for no more.
  GradientAndHessian derivatives = startDerivatives(problem, context, x);
  double stepLength = options.testsStartGradient ? derivatives.gradient.norm() : 2.0 * epsilon;
  int iteration = 0;
  if (options.countsEntry) {
    ++result.loops;
    iteration = 1;
  }
  while (stepLength > epsilon) {
    const ModifiedHessian hessian = greenstadtModification(derivatives.hessian, options);
    result.hessianModified = result.hessianModified || hessian.modified;
    const Eigen::Vector3d step = solveNewtonSystem(hessian.hessian, derivatives.gradient);
    stepLength = takeStep(x, step);
    ++result.loops;
    if (++iteration >= loopCapOf(context, options.loopCap)) {
      result.capReached = true;
      break;
    }
    if (stepLength > epsilon) derivatives = gradientAndHessian(problem, x, guard);
  }
  return result;
}

}  // namespace

ModifiedHessian greenstadtModification(const Eigen::Matrix3d& hessian,
                                       const GreenstadtOptions& options) {
  ModifiedHessian result{hessian, false};
  // Most Hessians need no change: the closed-form smallest eigenvalue says so where it is clearly
  // above the floor (NaN for a non-finite H, which is returned as it is).
  if (clearlyAboveThreshold(hessian, options.eigenvalueFloor) ||
      !(decidedSmallestEigenvalue(hessian, options.eigenvalueFloor) <= options.eigenvalueFloor)) {
    return result;
  }
  const Eigen::SelfAdjointEigenSolver<Eigen::Matrix3d> eigen(hessian);
  if (eigen.info() != Eigen::Success) return result;
  // Eigenvalues come in increasing order.
  Eigen::Vector3d values = eigen.eigenvalues();
  if (!(values(0) <= options.eigenvalueFloor)) return result;
  const double delta = std::max(kDblEpsilon, kDblEpsilon * hessian.cwiseAbs().maxCoeff());
  for (int i = 0; i < 3; ++i) {
    const bool replaced = options.replacesFloor ? values(i) <= options.eigenvalueFloor
                                                : values(i) < options.eigenvalueFloor;
    if (replaced) {
      values(i) = delta;
      result.modified = true;
    }
  }
  const Eigen::Matrix3d& vectors = eigen.eigenvectors();
  result.hessian = vectors * values.asDiagonal() * vectors.transpose();
  return result;
}

SolverResult greenstadtNewton(const PointProblem& problem, SolverContext& context,
                              const Eigen::Vector3d& start, double epsilon,
                              const GreenstadtOptions& options) {
  return greenstadtIteration(problem, context, start, epsilon, options,
                             [](Eigen::Vector3d& x, const Eigen::Vector3d& step) {
                               x -= step;
                               return step.norm();
                             });
}

SolverResult greenstadtLineSearch(const PointProblem& problem, SolverContext& context,
                                  const Eigen::Vector3d& start, double epsilon,
                                  const GreenstadtOptions& options) {
  // The cost at the current point: the accepted trial's cost is the next search's reference.
  double cost = reprojectionCost(problem, start);
  return greenstadtIteration(problem, context, start, epsilon, options,
                             [&](Eigen::Vector3d& x, const Eigen::Vector3d& step) {
                               const BacktrackingStep taken =
                                   backtrackCubicDecrease(problem, x, -step, cost, {});
                               x = taken.point;
                               cost = taken.cost;
                               return taken.alpha * step.norm();
                             });
}

}  // namespace tessmark
