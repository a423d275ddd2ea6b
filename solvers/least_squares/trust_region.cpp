#include "solvers/least_squares/trust_region.hpp"

#include "model/least_squares.hpp"

namespace tessmark {

namespace {

// How the last trust-region step ended; `none` until the first one.
enum class Phase { rejected, expanded, kept, none };

struct TrustRegionMove {
  Eigen::Vector3d step;  // s, applied as x - s (0 when rejected)
  Phase phase;
  double costAfter;  // reprojectionCost at x - s when the step is taken
};

// reprojectionCost at the iterate, evaluated once per point the iteration visits: a trial's cost
// is kept when the trial becomes the iterate (x - s of a kept trial is the very point evaluated).
class IterateCost {
 public:
  double at(const PointProblem& problem, const Eigen::Vector3d& x) {
    if (!known_) cost_ = reprojectionCost(problem, x);
    known_ = true;
    return cost_;
  }
  void moveTo(double cost) {
    cost_ = cost;
    known_ = true;
  }

 private:
  double cost_ = 0.0;
  bool known_ = false;
};

// The trust-region branch at x: the subproblem step, its reduction ratio, the radius update.
TrustRegionMove trustRegionMove(const PointProblem& problem, const Eigen::Vector3d& x,
                                double costAtX, const Eigen::Ref<const JacobianMatrix>& jacobian,
                                const Eigen::Ref<const Eigen::VectorXd>& residuals, double& radius,
                                const TrustRegionOptions& options) {
  const Eigen::Vector3d g = normalGradient(jacobian, residuals);
  const Eigen::Matrix3d b = normalMatrix(jacobian);
  const Eigen::Vector3d p = trustRegionStep(g, b, radius, options.boundary).step;
  const double costAfter = reprojectionCost(problem, x + p);
  const double actual = costAtX - costAfter;
  const double curvature = p.dot(b * p);
  const double predicted = options.predicted == PredictedReduction::halfCost
                               ? -g.dot(p) - 0.5 * curvature
                               : -2.0 * g.dot(p) - curvature;
  const double rho = actual / (predicted + kDblEpsilon);
  if (rho > 0.9) {
    radius *= 4.0;
    return {-p, Phase::expanded, costAfter};
  }
  if (rho >= 0.1) return {-p, Phase::kept, costAfter};
  radius *= 0.25;
  return {Eigen::Vector3d::Zero(), Phase::rejected, 0.0};
}

}  // namespace

SolverResult gaussNewtonTrustRegion(const PointProblem& problem, SolverContext& context,
                                    const Eigen::Vector3d& start, double epsilon,
                                    const TrustRegionOptions& options) {
  auto r = context.scratch.residualsOf(problem.viewCount);
  auto J = context.scratch.jacobianOf(problem.viewCount);
  SolverResult result{start};
  Eigen::Vector3d& x = result.point;
  double radius = 1.0;
  Phase phase = Phase::none;
  IterateCost costAtX;
  double previousCost = costAtX.at(problem, x);
  double currentCost = previousCost;
  double stepLength = 2.0 * epsilon;
  double costDrop = 2.0 * epsilon;
  for (int iteration = 0; stepLength > epsilon && costDrop > epsilon;) {
    residualsAndJacobian(problem, x, r, J);
    const Eigen::Vector3d d = householderLeastSquares(J, r, context.scratch.leastSquares);
    if (phase == Phase::none) currentCost = previousCost;
    bool moves = false;
    Eigen::Vector3d s = d;
    double costAfter = reprojectionCost(problem, x - d);
    if (!(costAfter > currentCost)) {
      moves = phase != Phase::rejected;
    } else {
      const TrustRegionMove move =
          trustRegionMove(problem, x, costAtX.at(problem, x), J, r, radius, options);
      s = move.step;
      phase = move.phase;
      costAfter = move.costAfter;
      moves = phase != Phase::rejected;
    }
    if (moves) {
      x -= s;
      costAtX.moveTo(costAfter);
      previousCost = currentCost;
      currentCost = costAfter;
      stepLength = s.norm();
      costDrop = previousCost - currentCost;
    }
    ++result.loops;
    if (++iteration >= loopCapOf(context, options.loopCap)) {
      result.capReached = true;
      break;
    }
  }
  return result;
}

SolverResult startReferencedTrustRegion(const PointProblem& problem, SolverContext& context,
                                        const Eigen::Vector3d& start, double epsilon,
                                        const TrustRegionOptions& options) {
  auto r = context.scratch.residualsOf(problem.viewCount);
  auto J = context.scratch.jacobianOf(problem.viewCount);
  SolverResult result{start};
  Eigen::Vector3d& x = result.point;
  double radius = 1.0;
  Phase phase = Phase::none;
  IterateCost costAtX;
  double startCost = 0.0;
  double currentCost = 0.0;
  double savedCost = 0.0;
  double stepLength = 2.0 * epsilon;
  double costDrop = 2.0 * epsilon;
  for (int iteration = 0; stepLength > epsilon && costDrop > epsilon;) {
    residualsAndJacobian(problem, x, r, J);
    Eigen::Vector3d s = householderLeastSquares(J, r, context.scratch.leastSquares);
    if (iteration == 0) startCost = r.squaredNorm();
    if (phase == Phase::none) {
      currentCost = startCost;
    } else if (phase != Phase::rejected) {
      currentCost = r.squaredNorm();
      costDrop = savedCost - currentCost;
    }
    double costAfter = reprojectionCost(problem, x - s);
    if (costAfter > startCost) {
      const TrustRegionMove move =
          trustRegionMove(problem, x, costAtX.at(problem, x), J, r, radius, options);
      s = move.step;
      phase = move.phase;
      costAfter = move.costAfter;
    }
    savedCost = (iteration >= 6 && iteration <= 29) ? startCost : currentCost;
    if (phase != Phase::rejected) {
      x -= s;
      costAtX.moveTo(costAfter);
      stepLength = s.norm();
    }
    ++result.loops;
    if (++iteration >= loopCapOf(context, options.loopCap)) {
      result.capReached = true;
      break;
    }
  }
  return result;
}

}  // namespace tessmark
