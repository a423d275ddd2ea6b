#include "solvers/least_squares/armijo.hpp"

#include "solvers/backtracking.hpp"

namespace tessmark {

SolverResult gaussNewtonArmijo(const PointProblem& problem, SolverContext& context,
                               const Eigen::Vector3d& start, double epsilon,
                               const ArmijoOptions& options) {
  auto r = context.scratch.residualsOf(problem.viewCount);
  auto J = context.scratch.jacobianOf(problem.viewCount);
  const BacktrackingOptions search{.decreaseConstant = 0.01,
                                   .evaluateLastTrial = options.reusesTrialCost};
  SolverResult result{start};
  Eigen::Vector3d& x = result.point;
  double stepLength = 2.0 * epsilon;
  double lastTrialCost = 0.0;
  // Whether lastTrialCost is reprojectionCost at x: the search evaluated the trial it returned.
  bool costAtXKnown = false;
  for (int iteration = options.firstIteration; stepLength > epsilon;) {
    residualsAndJacobian(problem, x, r, J);
    const Eigen::Vector3d d = pivotingLeastSquares(J, r, context.scratch.leastSquares);
    double reference;
    if (!options.reusesTrialCost) {
      reference = costAtXKnown ? lastTrialCost : reprojectionCost(problem, x);
    } else {
      reference = iteration < 1 ? r.squaredNorm() : lastTrialCost;
    }
    const BacktrackingStep step = backtrackCubicDecrease(problem, x, -d, reference, search);
    x = step.point;
    lastTrialCost = step.cost;
    costAtXKnown = step.reductions < kBacktrackingReductions || search.evaluateLastTrial;
    stepLength = step.alpha * d.norm();
    ++result.loops;
    if (++iteration >= loopCapOf(context, options.loopCap)) {
      result.capReached = true;
      break;
    }
  }
  return result;
}

}  // namespace tessmark
