#pragma once
// How good a point is: the curvature value rho, the K_LC distance (length of the Newton step),
// positive semidefiniteness of the Hessian, and the "Solvable" / "Global" labels.

#include <Eigen/Core>

#include "model/derivatives.hpp"
#include "model/point_problem.hpp"

namespace tessmark {

// rho = 1 / m, m the largest real part of the eigenvalues of Z = (J^T J)^-1 N, where
// N = -sum_v,c r_{v,c} d2pi_{v,c}/dX2 (plain depths everywhere). Since H = J^T J (I - Z), rho > 1
// or rho < 0 means the cost is locally convex. Z comes from a column-pivoting Householder QR of J^T
// J (colPivHouseholderSolve: Eigen's ColPivHouseholderQR, bit for bit), with the SVD fallback when
// Z(0,0) is NaN; m by largestRealEigenvalue (model/small_kernels.hpp: closed form, Eigen's general
// real solver where the roots lie close). A non-finite Z or a NaN eigenvalue gives a NaN rho. A
// zero-residual point gives N = 0, m = 0 and an infinite rho.
double curvatureRho(const PointProblem& problem, const Eigen::Vector3d& x);
// The same from the Hessian's parts at x with plain depths: J^T J and S (= -N).
double curvatureRho(const Eigen::Matrix3d& plainGaussNewton, const Eigen::Matrix3d& secondOrder);

// How the K_LC distance is measured from the Newton step d of H d = g (d by Householder QR of H,
// householderSolve: Eigen's HouseholderQR bit for bit; the SVD least-squares solution when d's
// first component is NaN).
enum class KlcMeasure {
  newtonStep,           // |d|
  curvatureScaledStep,  // |d| |g.d / d^T H d|, 1 for an exact step; |d| when the SVD gave d
};

// K_LC at x: H = costHessian and g = costGradient at x, both with `guard`.
double klcDistance(const PointProblem& problem, const Eigen::Vector3d& x, DepthGuard guard,
                   KlcMeasure measure = KlcMeasure::newtonStep);
// The same from the Hessian and gradient already evaluated at x.
double klcDistance(const Eigen::Matrix3d& hessian, const Eigen::Vector3d& gradient,
                   KlcMeasure measure = KlcMeasure::newtonStep);

// False when the smallest eigenvalue of the symmetric matrix (lower triangle read, self-adjoint
// solver: the closed form where it decides the sign, the iterative solver near zero;
// decidedSmallestEigenvalue) is below 0 or NaN (as for any matrix with a non-finite entry); a zero
// eigenvalue counts as semidefinite.
bool isPositiveSemidefinite(const Eigen::Matrix3d& matrix);

// Label thresholds. Every comparison is strict where written so and false when a value is NaN.
inline constexpr double kSolvableKlcLimit = 9.9;
inline constexpr double kGlobalKlcLimit = 1e-5;

// gamma^2 < rho^2, the squares of the stored gamma = sqrt(RE) and rho values (so a negative rho
// counts by its magnitude).
bool curvatureTest(double gamma, double rho);
// K(x_m) < 9.9 and K(x_f) < 1e-5.
inline bool startKlcTest(double klc_m) { return klc_m < kSolvableKlcLimit; }
inline bool finalKlcTest(double klc_f) { return klc_f < kGlobalKlcLimit; }

// "Solvable" (true) or "Hard case": gamma_m^2 < rho_m^2 and K(x_m) < 9.9.
bool solvableTest(double gamma_m, double rho_m, double klc_m);

// "Global" (true) or "Local": positiveSemidefinite, gamma_f^2 < rho_f^2, K(x_f) < 1e-5 and
// reprojError_f <= reprojError_m.
bool globalTest(bool positiveSemidefinite, double gamma_f, double rho_f, double klc_f,
                double reprojError_f, double reprojError_m);

}  // namespace tessmark
