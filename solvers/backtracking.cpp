#include "solvers/backtracking.hpp"

#include <limits>

#include "model/derivatives.hpp"

namespace tessmark {

BacktrackingStep backtrackCubicDecrease(const PointProblem& problem, const Eigen::Vector3d& x,
                                        const Eigen::Vector3d& direction, double referenceCost,
                                        const BacktrackingOptions& options) {
  const double length = direction.norm();
  BacktrackingStep step{x + direction, 1.0, 0.0, 0};
  for (;;) {
    step.cost = reprojectionCost(problem, step.point);
    const double taken = step.alpha * length;
    if (!(step.cost >= referenceCost - options.decreaseConstant * (taken * taken * taken))) break;
    ++step.reductions;
    step.alpha *= kBacktrackingFactor;
    step.point = x + step.alpha * direction;
    if (step.reductions == kBacktrackingReductions) {
      step.cost = options.evaluateLastTrial ? reprojectionCost(problem, step.point)
                                            : std::numeric_limits<double>::quiet_NaN();
      break;
    }
  }
  return step;
}

}  // namespace tessmark
