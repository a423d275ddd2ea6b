#pragma once
// Reference (slow, plain) forms of the per-point model, kept as oracles for the fast ones: the cost
// and its derivatives evaluated from the per-view pieces in the layout of model/coefficients.hpp
// (view by view, one quantity at a time, with Eigen's dynamic row views and dot products), the
// symmedian start, the diagnostics and the judgement of a point, every linear solve and eigen
// decision by Eigen's own decompositions (LDLT, Householder and column-pivoting QR, JacobiSVD, the
// self-adjoint and the general eigen solvers) and none of the model's fixed-size kernels, shared
// evaluations or certificates.
//
// Where Eigen leaves a decomposition unset (a matrix with a non-finite entry, an eigen solver that
// did not converge) the reference gives NaN instead of reading it, as the fast path does.

#include <Eigen/Core>

#include "model/derivatives.hpp"
#include "model/judgement.hpp"
#include "tools/synthetic_scene.hpp"

namespace tessmark::reference {

// A 2n x 3 Jacobian.
using Jacobian = Eigen::Matrix<double, Eigen::Dynamic, 3>;

// The cost, the residuals r (2n), the Jacobian J (2n x 3, plain depth), half the gradient (with or
// without the depth guard) and half the Hessian, J^T J + S, and its two parts.
double reprojectionCost(const synthetic::PointData& data, const Eigen::Vector3d& x);
Eigen::VectorXd residualVector(const synthetic::PointData& data, const Eigen::Vector3d& x);
Jacobian projectionJacobian(const synthetic::PointData& data, const Eigen::Vector3d& x);
Eigen::Vector3d costGradient(const synthetic::PointData& data, const Eigen::Vector3d& x,
                             DepthGuard guard);
HessianParts hessianParts(const synthetic::PointData& data, const Eigen::Vector3d& x,
                          DepthGuard guard);
Eigen::Matrix3d costHessian(const synthetic::PointData& data, const Eigen::Vector3d& x,
                            DepthGuard guard);

// The symmedian start from the pose blocks: each ray direction B^T A^-1 (u, 1) (A by Eigen's
// HouseholderQR), normalised; S = sum (I - d d^T), t = sum (I - d d^T) c; S X0 = t by
// HouseholderQR, by the SVD when X0's first component is NaN.
Eigen::Vector3d symmedianPoint(const synthetic::PointData& data);

// x with A x = b by Eigen's HouseholderQR.
Eigen::Vector3d householderSolve(const Eigen::Matrix3d& a, const Eigen::Vector3d& b);
// Z with A Z = B by Eigen's ColPivHouseholderQR.
Eigen::Matrix3d colPivHouseholderSolve(const Eigen::Matrix3d& a, const Eigen::Matrix3d& b);
// x with H x = g by Eigen's LDLT (lower triangle read).
Eigen::Vector3d ldltSolve(const Eigen::Matrix3d& h, const Eigen::Vector3d& g);
// The least-squares, minimum-norm solution of A X = B by Eigen's JacobiSVD (thin U and V for a 2n x
// 3 A, full ones for a 3x3 A; Eigen's default threshold); all NaN when A has a non-finite entry.
Eigen::Vector3d svdSolve(const Jacobian& a, const Eigen::VectorXd& b);
Eigen::Vector3d svdSolve(const Eigen::Matrix3d& a, const Eigen::Vector3d& b);
Eigen::Matrix3d svdSolve(const Eigen::Matrix3d& a, const Eigen::Matrix3d& b);
// The eigenvalues of a symmetric matrix by Eigen's iterative SelfAdjointEigenSolver (increasing);
// NaN when it fails or the matrix is not finite.
Eigen::Vector3d symmetricEigenvalues(const Eigen::Matrix3d& matrix);
// The largest real part of a general matrix's eigenvalues by Eigen's EigenSolver; NaN when it
// fails or the matrix is not finite.
double largestRealEigenvalue(const Eigen::Matrix3d& matrix);

// The Newton system H dx = g: LDLT, and the SVD when the first component is NaN.
Eigen::Vector3d solveNewtonSystem(const Eigen::Matrix3d& h, const Eigen::Vector3d& g);

// rho = 1 / (largest real eigenvalue of Z), (J^T J) Z = N (column-pivoting QR, SVD when Z(0,0) is
// NaN), N = -S, plain depths.
double curvatureRho(const synthetic::PointData& data, const Eigen::Vector3d& x);
// The K_LC distance: the Newton step d of H d = g by HouseholderQR (SVD when d's first component is
// NaN); |d|, or |d| |g.d / d^T H d| for the curvature-scaled measure (|d| of the SVD step when the
// SVD gave it).
double klcDistance(const synthetic::PointData& data, const Eigen::Vector3d& x, DepthGuard guard,
                   KlcMeasure measure);
// The smallest eigenvalue (self-adjoint solver) is not below 0 and not NaN.
bool isPositiveSemidefinite(const Eigen::Matrix3d& matrix);

// The diagnostics at x_m and x_f and both labels, under the rules given.
PointJudgement judgePoint(const synthetic::PointData& data, const Eigen::Vector3d& x_m,
                          const Eigen::Vector3d& x_f, const JudgementRules& rules);

}  // namespace tessmark::reference
