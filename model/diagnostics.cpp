#include "model/diagnostics.hpp"

#include <cmath>
#include <limits>

#include <Eigen/Eigenvalues>

#include "model/linear_solve.hpp"
#include "model/small_kernels.hpp"

namespace tessmark {

double curvatureRho(const PointProblem& problem, const Eigen::Vector3d& x) {
  const HessianParts parts = hessianParts(problem, x, DepthGuard::off);
  return curvatureRho(parts.gaussNewton, parts.secondOrder);
}

double curvatureRho(const Eigen::Matrix3d& plainGaussNewton, const Eigen::Matrix3d& secondOrder) {
  const Eigen::Matrix3d negatedSecondOrder = -secondOrder;
  Eigen::Matrix3d z = colPivHouseholderSolve(plainGaussNewton, negatedSecondOrder);
  if (needsSvdFallback(z)) z = svdSolve(plainGaussNewton, negatedSecondOrder);
  // The eigen solvers leave their results unset on non-finite input: such a point has no rho.
  if (!z.allFinite()) return std::numeric_limits<double>::quiet_NaN();
  return 1.0 / largestRealEigenvalue(z);
}

double klcDistance(const PointProblem& problem, const Eigen::Vector3d& x, DepthGuard guard,
                   KlcMeasure measure) {
  return klcDistance(costHessian(problem, x, guard), costGradient(problem, x, guard), measure);
}

double klcDistance(const Eigen::Matrix3d& hessian, const Eigen::Vector3d& gradient,
                   KlcMeasure measure) {
  const Eigen::Vector3d step = householderSolve(hessian, gradient);
  if (needsSvdFallback(step)) return svdSolve(hessian, gradient).norm();
  const double length = step.norm();
  if (measure == KlcMeasure::newtonStep) return length;
  return length * std::abs(gradient.dot(step) / step.dot(hessian * step));
}

bool isPositiveSemidefinite(const Eigen::Matrix3d& matrix) {
  if (clearlyAboveThreshold(matrix, 0.0)) return true;
  const double smallest = decidedSmallestEigenvalue(matrix, 0.0);
  return !(smallest < 0.0 || std::isnan(smallest));
}

bool curvatureTest(double gamma, double rho) { return gamma * gamma < rho * rho; }

bool solvableTest(double gamma_m, double rho_m, double klc_m) {
  return curvatureTest(gamma_m, rho_m) && startKlcTest(klc_m);
}

bool globalTest(bool positiveSemidefinite, double gamma_f, double rho_f, double klc_f,
                double reprojError_f, double reprojError_m) {
  return positiveSemidefinite && curvatureTest(gamma_f, rho_f) && finalKlcTest(klc_f) &&
         reprojError_f <= reprojError_m;
}

}  // namespace tessmark
