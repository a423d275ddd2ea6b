#include "model/judgement.hpp"

#include <cmath>

namespace tessmark {

PointJudgement judgePoint(const PointProblem& problem, const Eigen::Vector3d& x_m,
                          const Eigen::Vector3d& x_f, const JudgementRules& rules) {
  const DepthGuard guard = rules.depthGuard;
  PointJudgement j{};
  j.rho_m = curvatureRho(problem, x_m);
  j.rho_f = curvatureRho(problem, x_f);
  j.reprojError_f = reprojectionCost(problem, x_f);
  j.gamma_f = std::sqrt(j.reprojError_f);
  const Eigen::Matrix3d hessian_f = costHessian(problem, x_f, guard);
  j.positiveSemidefinite = isPositiveSemidefinite(hessian_f);
  j.klc_f = klcDistance(hessian_f, costGradient(problem, x_f, guard), rules.klcMeasure);
  j.reprojError_m = reprojectionCost(problem, x_m);
  j.gamma_m = std::sqrt(j.reprojError_m);
  j.klc_m = klcDistance(costHessian(problem, x_m, guard), costGradient(problem, x_m, guard),
                        rules.klcMeasure);

  const bool startKlcHolds = startKlcTest(j.klc_m);
  const bool finalKlcHolds = finalKlcTest(j.klc_f);
  const bool traded = rules.klcTests == KlcTests::traded;
  j.solvable = curvatureTest(j.gamma_m, j.rho_m) && (traded ? finalKlcHolds : startKlcHolds);
  j.global = j.positiveSemidefinite && curvatureTest(j.gamma_f, j.rho_f) &&
             (traded ? startKlcHolds : finalKlcHolds) && j.reprojError_f <= j.reprojError_m;
  return j;
}

}  // namespace tessmark
