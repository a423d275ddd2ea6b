#pragma once
// Gauss-Newton with a trust region: Gauss-Newton steps while they do not increase the reprojection
// cost, and a step of the quadratic model J^T J restricted to a trust region (trustRegionStep) when
// they would, accepted by the ratio of actual to predicted reduction, with an adaptive radius.

#include "solvers/least_squares/trust_region_step.hpp"
#include "solvers/solver.hpp"

namespace tessmark {

// Which decrease the model predicts for a subproblem step p (g = J^T r, B = J^T J):
//  - halfCost: -(g.p) - 1/2 p^T B p, the model of half the cost; since the actual reduction is
//    measured on the full cost, a step on which the model is exact has ratio 2;
//  - fullCost: -2 (g.p) - p^T B p, the model of the full cost.
enum class PredictedReduction { halfCost, fullCost };

struct TrustRegionOptions {
  int loopCap = 1000;
  PredictedReduction predicted = PredictedReduction::halfCost;
  TrustRegionBoundary boundary = TrustRegionBoundary::guarded;
};

// Both solvers start with radius 1 and take, in each iteration, d = householderLeastSquares(J, r)
// at x (Householder QR, SVD when its first component is NaN). When the trial x - d costs more than
// the solver's reference (a NaN trial cost does not count as more), the trust-region step replaces
// it: p = trustRegionStep(J^T r, J^T J, radius), actual = cost(x) - cost(x + p), rho = actual /
// (predicted + DBL_EPSILON); rho > 0.9 takes s = -p and quadruples the radius, 0.1 <= rho <= 0.9
// takes s = -p, otherwise (NaN too) the step is rejected, s = 0, and the radius is quartered. A
// rejection still counts as an iteration; the next one recomputes the same Gauss-Newton trial at
// the same x and solves the subproblem again with the smaller radius. The step applied is x <- x -
// s. Costs are reprojectionCost (not halved). Non-finite values flow into x; a NaN step length or
// cost drop ends the loop.

// Stops before any iteration in which the last step length or the last cost drop is <= epsilon (or
// NaN); both start at 2 epsilon, so epsilon = 0 returns the start with a count of 0. The reference
// is the cost of the start while no trust-region step has been taken, afterwards the cost of the
// current point: until then every accepted Gauss-Newton step compares with the start's cost and the
// cost drop is the total decrease since the start. After a rejection, a Gauss-Newton trial that
// passes changes nothing. The count grows by the number of iterations, at most the cap.
SolverResult gaussNewtonTrustRegion(const PointProblem& problem, SolverContext& context,
                                    const Eigen::Vector3d& start, double epsilon,
                                    const TrustRegionOptions& options);

// The second trust-region solver of the .lc triangulator (its default entry). Every Gauss-Newton
// trial is compared with the cost of the start f0 = r.r of the first iteration, whatever has
// happened since. The step length is that of the last step applied; the cost drop is updated only
// at the start of an iteration that follows an accepted trust-region step (or Gauss-Newton steps
// after one), as fSaved - r.r, where fSaved is f0 when the previous iteration index was 6 to 29 and
// the then current cost otherwise; before the first trust-region step it stays 2 epsilon. After a
// rejection nothing moves until a trial fails the comparison again or the cap is reached. Stops
// as gaussNewtonTrustRegion does.
SolverResult startReferencedTrustRegion(const PointProblem& problem, SolverContext& context,
                                        const Eigen::Vector3d& start, double epsilon,
                                        const TrustRegionOptions& options);

}  // namespace tessmark
