#include "model/judgement.hpp"

#include <cmath>

namespace tessmark {

PointJudgement judgePoint(const PointProblem& problem, const Eigen::Vector3d& x_m,
                          const Eigen::Vector3d& x_f, const JudgementRules& rules) {
  return judgePoint(problem, evaluatePoint(problem, x_m, rules.depthGuard), x_f, rules);
}

PointJudgement judgePoint(const PointProblem& problem, const PointEvaluation& start,
                          const Eigen::Vector3d& x_f, const JudgementRules& rules) {
  const PointEvaluation final = evaluatePoint(problem, x_f, rules.depthGuard);
  PointJudgement j{};
  j.rho_m = curvatureRho(start.plainGaussNewton, start.secondOrder);
  j.rho_f = curvatureRho(final.plainGaussNewton, final.secondOrder);
  j.reprojError_f = final.cost;
  j.gamma_f = std::sqrt(j.reprojError_f);
  const Eigen::Matrix3d hessian_f = final.hessian();
  j.positiveSemidefinite = isPositiveSemidefinite(hessian_f);
  j.klc_f = klcDistance(hessian_f, final.gradient, rules.klcMeasure);
  j.reprojError_m = start.cost;
  j.gamma_m = std::sqrt(j.reprojError_m);
  j.klc_m = klcDistance(start.hessian(), start.gradient, rules.klcMeasure);

  const bool startKlcHolds = startKlcTest(j.klc_m);
  const bool finalKlcHolds = finalKlcTest(j.klc_f);
  const bool traded = rules.klcTests == KlcTests::traded;
  j.solvable = curvatureTest(j.gamma_m, j.rho_m) && (traded ? finalKlcHolds : startKlcHolds);
  j.global = j.positiveSemidefinite && curvatureTest(j.gamma_f, j.rho_f) &&
             (traded ? startKlcHolds : finalKlcHolds) && j.reprojError_f <= j.reprojError_m;
  return j;
}

}  // namespace tessmark
