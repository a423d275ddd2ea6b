#include "solvers/least_squares/trust_region.hpp"

#include "solvers/least_squares/gauss_newton_step.hpp"

namespace tessmark {

namespace {

// How the last trust-region step ended; `none` until the first one.
enum class Phase { rejected, expanded, kept, none };

struct TrustRegionMove {
  Eigen::Vector3d step;  // s, applied as x - s (0 when rejected)
  Phase phase;
};

// The trust-region branch at x: the subproblem step, its reduction ratio, the radius update.
TrustRegionMove trustRegionMove(const PointProblem& problem, const Eigen::Vector3d& x,
                                const Eigen::Ref<const JacobianMatrix>& jacobian,
                                const Eigen::Ref<const Eigen::VectorXd>& residuals, double& radius,
                                const TrustRegionOptions& options) {
  const Eigen::Vector3d g = normalGradient(jacobian, residuals);
  const Eigen::Matrix3d b = normalMatrix(jacobian);
  const Eigen::Vector3d p = trustRegionStep(g, b, radius, options.boundary).step;
  const double actual = reprojectionCost(problem, x) - reprojectionCost(problem, x + p);
  const double curvature = p.dot(b * p);
  const double predicted = options.predicted == PredictedReduction::halfCost
                               ? -g.dot(p) - 0.5 * curvature
                               : -2.0 * g.dot(p) - curvature;
  const double rho = actual / (predicted + kDblEpsilon);
  if (rho > 0.9) {
    radius *= 4.0;
    return {-p, Phase::expanded};
  }
  if (rho >= 0.1) return {-p, Phase::kept};
  radius *= 0.25;
  return {Eigen::Vector3d::Zero(), Phase::rejected};
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
  double previousCost = reprojectionCost(problem, x);
  double currentCost = previousCost;
  double stepLength = 2.0 * epsilon;
  double costDrop = 2.0 * epsilon;
  for (int iteration = 0; stepLength > epsilon && costDrop > epsilon;) {
    residualsAndJacobian(problem, x, r, J);
    const Eigen::Vector3d d = gaussNewtonStep(J, r, context.scratch.leastSquares);
    if (phase == Phase::none) currentCost = previousCost;
    bool moves = false;
    Eigen::Vector3d s = d;
    if (!(reprojectionCost(problem, x - d) > currentCost)) {
      moves = phase != Phase::rejected;
    } else {
      const TrustRegionMove move = trustRegionMove(problem, x, J, r, radius, options);
      s = move.step;
      phase = move.phase;
      moves = phase != Phase::rejected;
    }
    if (moves) {
      x -= s;
      previousCost = currentCost;
      currentCost = reprojectionCost(problem, x);
      stepLength = s.norm();
      costDrop = previousCost - currentCost;
    }
    ++result.loops;
    if (++iteration >= options.loopCap) {
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
  double startCost = 0.0;
  double currentCost = 0.0;
  double savedCost = 0.0;
  double stepLength = 2.0 * epsilon;
  double costDrop = 2.0 * epsilon;
  for (int iteration = 0; stepLength > epsilon && costDrop > epsilon;) {
    residualsAndJacobian(problem, x, r, J);
    Eigen::Vector3d s = gaussNewtonStep(J, r, context.scratch.leastSquares);
    if (iteration == 0) startCost = r.squaredNorm();
    if (phase == Phase::none) {
      currentCost = startCost;
    } else if (phase != Phase::rejected) {
      currentCost = r.squaredNorm();
      costDrop = savedCost - currentCost;
    }
    if (reprojectionCost(problem, x - s) > startCost) {
      const TrustRegionMove move = trustRegionMove(problem, x, J, r, radius, options);
      s = move.step;
      phase = move.phase;
    }
    savedCost = (iteration >= 6 && iteration <= 29) ? startCost : currentCost;
    if (phase != Phase::rejected) {
      x -= s;
      stepLength = s.norm();
    }
    ++result.loops;
    if (++iteration >= options.loopCap) {
      result.capReached = true;
      break;
    }
  }
  return result;
}

}  // namespace tessmark
