#pragma once
// The L2 reprojection cost of one point and its derivatives.
//
// Scale: reprojectionCost is the plain sum of squared residuals (no factor 1/2). costGradient and
// costHessian are the derivatives of HALF that cost (g = J^T r, H = J^T J + sum_v,c r d2pi), so the
// Newton step H^-1 g is the true Newton step of the cost.
//
// Every function here walks the views once; the fused ones (gradientAndHessian,
// residualsAndJacobian, residualsJacobianAndGradient, residualsJacobianAndDerivatives,
// evaluatePoint) give exactly the values, bit for bit, of the separate functions they stand for.
//
// A zero depth is not an error: the divisions produce infinities or NaN, which flow into the
// result.

#include <limits>

#include <Eigen/Core>

#include "model/least_squares.hpp"
#include "model/point_problem.hpp"

namespace tessmark {

// The machine epsilon of double precision, 2^-52: the depth guard's floor, the rotation threshold
// and the "epsilon" of the reports.
inline constexpr double kDblEpsilon = 2.220446049250313e-16;
static_assert(kDblEpsilon == std::numeric_limits<double>::epsilon());

// Whether the gradient and the Hessian keep near-zero depths away from zero:
//  - costGradient: 0 < w < eps becomes w + eps, -eps < w < 0 becomes w - eps (exact 0 unchanged);
//  - costHessian: the squared depth of the Jacobian rows, s = w^2, becomes s + eps when s < eps.
// The cost, residuals and Jacobian always use the plain depth.
enum class DepthGuard : bool { off = false, on = true };

// Sum over all views and both coordinates of r^2.
double reprojectionCost(const PointProblem& problem, const Eigen::Vector3d& x);

// The 2n residuals r, x before y, view by view, written into `residuals` (2n rows: the caller's
// storage, normally the scratch of the workspace, so nothing is allocated).
void residualVector(const PointProblem& problem, const Eigen::Vector3d& x,
                    Eigen::Ref<Eigen::VectorXd> residuals);

// The 2n x 3 Jacobian of the projections, J[2v+c][i] = d pi_{v,c} / d X_i, plain depth, written
// into `jacobian` (2n x 3, the caller's storage).
void projectionJacobian(const PointProblem& problem, const Eigen::Vector3d& x,
                        Eigen::Ref<JacobianMatrix> jacobian);

// g = J^T r, half the gradient of reprojectionCost, with residuals and Jacobian built from the
// (optionally guarded) depth.
Eigen::Vector3d costGradient(const PointProblem& problem, const Eigen::Vector3d& x,
                             DepthGuard guard);

// H = J^T J + S, half the exact Hessian of reprojectionCost (not the Gauss-Newton approximation, so
// it can be indefinite far from a minimum). S = sum_v,c r_{v,c} d2 pi_{v,c} / dX2 uses the plain
// depth; the guard acts only on the squared depth of the Jacobian rows.
Eigen::Matrix3d costHessian(const PointProblem& problem, const Eigen::Vector3d& x,
                            DepthGuard guard);

// g and H at x from one pass over the views: costGradient(x, guard) and costHessian(x, guard).
struct GradientAndHessian {
  Eigen::Vector3d gradient;
  Eigen::Matrix3d hessian;
};
GradientAndHessian gradientAndHessian(const PointProblem& problem, const Eigen::Vector3d& x,
                                      DepthGuard guard);

// residualVector and projectionJacobian at x from one pass over the views.
void residualsAndJacobian(const PointProblem& problem, const Eigen::Vector3d& x,
                          Eigen::Ref<Eigen::VectorXd> residuals,
                          Eigen::Ref<JacobianMatrix> jacobian);

// residualsAndJacobian at x and costGradient(x, guard), from one pass over the views; returns the
// gradient.
Eigen::Vector3d residualsJacobianAndGradient(const PointProblem& problem, const Eigen::Vector3d& x,
                                             DepthGuard guard,
                                             Eigen::Ref<Eigen::VectorXd> residuals,
                                             Eigen::Ref<JacobianMatrix> jacobian);

// residualsAndJacobian at x and gradientAndHessian(x, guard), from one pass over the views.
GradientAndHessian residualsJacobianAndDerivatives(const PointProblem& problem,
                                                   const Eigen::Vector3d& x, DepthGuard guard,
                                                   Eigen::Ref<Eigen::VectorXd> residuals,
                                                   Eigen::Ref<JacobianMatrix> jacobian);

// The two parts of the Hessian, as costHessian evaluates them: gaussNewton = J^T J and
// secondOrder = S. Shared with the curvature diagnostic, which needs them apart.
struct HessianParts {
  Eigen::Matrix3d gaussNewton;
  Eigen::Matrix3d secondOrder;
};
HessianParts hessianParts(const PointProblem& problem, const Eigen::Vector3d& x, DepthGuard guard);

// Everything the judgement of a point needs at x, from one pass over the views; each value equals
// the one its own function computes (the same arithmetic, term by term):
//   cost              reprojectionCost
//   gradient          costGradient with `guard`
//   gaussNewton       hessianParts(guard).gaussNewton, so gaussNewton + secondOrder = costHessian
//   plainGaussNewton  J^T J with the plain squared depth (hessianParts(DepthGuard::off))
//   secondOrder       S (always the plain depth)
struct PointEvaluation {
  double cost;
  Eigen::Vector3d gradient;
  Eigen::Matrix3d gaussNewton;
  Eigen::Matrix3d plainGaussNewton;
  Eigen::Matrix3d secondOrder;

  Eigen::Matrix3d hessian() const { return gaussNewton + secondOrder; }
};
PointEvaluation evaluatePoint(const PointProblem& problem, const Eigen::Vector3d& x,
                              DepthGuard guard);

}  // namespace tessmark
