#pragma once
// The judgement of one triangulated point: the diagnostics at its symmedian start x_m and its final
// point x_f, and the two labels they give, under the rules of the program that runs.

#include <optional>

#include <Eigen/Core>

#include "model/derivatives.hpp"
#include "model/diagnostics.hpp"
#include "model/point_problem.hpp"

namespace tessmark {

// Which of the two K_LC tests (K < 9.9 and K < 1e-5) decides which label.
enum class KlcTests {
  asNamed,  // Solvable tests K(x_m) < 9.9, Global tests K(x_f) < 1e-5
  traded,   // Solvable tests K(x_f) < 1e-5, Global tests K(x_m) < 9.9
};

struct JudgementRules {
  DepthGuard depthGuard;  // of the gradient and Hessian behind K_LC and the PSD test
  KlcMeasure klcMeasure;  // the Newton step length, or that length scaled by |g.d / d^T H d|
  KlcTests klcTests;
};

struct PointJudgement {
  double reprojError_m, reprojError_f;  // reprojectionCost
  double gamma_m, gamma_f;              // their square roots
  double rho_m, rho_f;                  // curvatureRho
  double klc_m, klc_f;                  // klcDistance
  bool positiveSemidefinite;            // of costHessian at x_f (not tested at x_m)
  bool solvable;                        // "Solvable" / "Hard case"
  bool global;                          // "Global" / "Local"
};

// Every diagnostic at x_m and x_f, then the labels: Solvable needs gamma_m^2 < rho_m^2 and its K_LC
// test, Global needs the PSD Hessian at x_f, gamma_f^2 < rho_f^2, its K_LC test and
// reprojError_f <= reprojError_m. Non-finite values make the comparisons they enter false.
PointJudgement judgePoint(const PointProblem& problem, const Eigen::Vector3d& x_m,
                          const Eigen::Vector3d& x_f, const JudgementRules& rules);
// The same with the evaluation at x_m already made: `start` is evaluatePoint(problem, x_m,
// rules.depthGuard), as a solver leaves it in SolverContext::startEvaluation.
PointJudgement judgePoint(const PointProblem& problem, const PointEvaluation& start,
                          const Eigen::Vector3d& x_f, const JudgementRules& rules);

// A point's evaluation at x_m made once for its solver and its judgement, when both use the same
// depth guard. Per point: room() goes into the solver's SolverContext (it empties what the last
// point left; null when the guards differ), then judge() takes the evaluation the solver left
// there, or evaluates x_m itself when there is none. Either way the judgement is
// judgePoint(problem, x_m, x_f, rules), bit for bit.
class SharedStart {
 public:
  SharedStart(DepthGuard solverGuard, const JudgementRules& rules)
      : rules_(rules), shares_(solverGuard == rules.depthGuard) {}

  std::optional<PointEvaluation>* room() {
    evaluation_.reset();
    return shares_ ? &evaluation_ : nullptr;
  }

  PointJudgement judge(const PointProblem& problem, const Eigen::Vector3d& x_m,
                       const Eigen::Vector3d& x_f) const {
    return evaluation_.has_value() ? judgePoint(problem, *evaluation_, x_f, rules_)
                                   : judgePoint(problem, x_m, x_f, rules_);
  }

 private:
  const JudgementRules& rules_;
  bool shares_;
  std::optional<PointEvaluation> evaluation_;
};

}  // namespace tessmark
