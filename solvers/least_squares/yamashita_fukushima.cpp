#include "solvers/least_squares/yamashita_fukushima.hpp"

#include <cmath>

#include "solvers/backtracking.hpp"
#include "solvers/least_squares/damped_system.hpp"

namespace tessmark {

SolverResult gatedYamashitaFukushima(const PointProblem& problem, SolverContext& context,
                                     const Eigen::Vector3d& start, double epsilon,
                                     const GatedYamashitaFukushimaOptions& options) {
  auto r = context.scratch.residualsOf(problem.viewCount);
  auto J = context.scratch.jacobianOf(problem.viewCount);
  const BacktrackingOptions search{.decreaseConstant = options.decreaseConstant,
                                   .evaluateLastTrial = true};
  SolverResult result{start};
  Eigen::Vector3d& x = result.point;
  double referenceCost = 0.0;
  for (int iteration = 0;;) {
    const Eigen::Vector3d gradient =
        residualsJacobianAndGradient(problem, x, context.depthGuard, r, J);
    const double squaredResiduals = r.squaredNorm();
    const double rms = std::sqrt(0.5 * squaredResiduals / problem.viewCount);
    const double mu = rms > options.dampingThreshold ? squaredResiduals : 0.0;
    const Eigen::Vector3d d = -solveDampedSystem(normalMatrix(J), mu, gradient);
    if (iteration == 0) referenceCost = squaredResiduals;
    const BacktrackingStep step = backtrackCubicDecrease(problem, x, d, referenceCost, search);
    x = step.point;
    ++result.loops;
    if (++iteration >= loopCapOf(context, options.loopCap)) {
      result.capReached = true;
      break;
    }
    if (!(step.alpha * d.norm() > epsilon)) break;
  }
  return result;
}

}  // namespace tessmark
