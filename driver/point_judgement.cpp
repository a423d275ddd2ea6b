#include "driver/point_judgement.hpp"

#include <cmath>

#include "model/diagnostics.hpp"

namespace tessmark {

PointJudgement judgePoint(const PointProblem& problem, const Eigen::Vector3d& x_m,
                          const Eigen::Vector3d& x_f, DepthGuard guard) {
  PointJudgement j{};
  j.rho_m = curvatureRho(problem, x_m);
  j.rho_f = curvatureRho(problem, x_f);
  j.reprojError_f = reprojectionCost(problem, x_f);
  j.gamma_f = std::sqrt(j.reprojError_f);
  const Eigen::Matrix3d hessian_f = costHessian(problem, x_f, guard);
  j.positiveSemidefinite = isPositiveSemidefinite(hessian_f);
  j.klc_f = klcDistance(hessian_f, costGradient(problem, x_f, guard));
  j.reprojError_m = reprojectionCost(problem, x_m);
  j.gamma_m = std::sqrt(j.reprojError_m);
  j.klc_m = klcDistance(problem, x_m, guard);
  j.solvable = solvableTest(j.gamma_m, j.rho_m, j.klc_m);
  j.global = globalTest(j.positiveSemidefinite, j.gamma_f, j.rho_f, j.klc_f, j.reprojError_f,
                        j.reprojError_m);
  return j;
}

}  // namespace tessmark
