#pragma once
// The trust-region subproblem of the Gauss-Newton trust-region solvers: truncated conjugate
// gradients (Steihaug, 1983; Toint, 1981) on the quadratic model m(p) = g.p + 1/2 p^T B p of a
// function's change, inside the ball |p| <= radius.

#include <Eigen/Core>

namespace tessmark {

// How the final step onto the boundary |p + tau v| = radius chooses tau, with a = v.v,
// b = 2 p.v, c = p.p - radius^2 and disc = b^2 - 4ac:
//  - guarded: disc >= 0 and a > eps: tau = (sqrt(disc) - b) / 2a; disc >= 0 and a <= eps:
//    tau = -c / b; disc < 0 or NaN: tau = -b / 2a; then a tau that is not > 0 (NaN too) becomes
//    eps;
//  - plain: tau = (sigma sqrt|disc| - b) / 2a with sigma = +1 when a > 0 and -1 otherwise, taken
//    whatever its sign or value.
// eps is DBL_EPSILON. When the step has just left the ball from inside it, both roots lie behind
// p (tau < 0): the guarded rule then returns p + eps v, just outside the radius, while the plain
// rule steps back onto the boundary.
enum class TrustRegionBoundary { guarded, plain };

// How the conjugate-gradient loop ended.
enum class SubproblemEnd {
  smallGradient,      // g.g <= 1e-6 (or NaN): p = 0, no inner step
  converged,          // the model gradient q at p has q.q <= 1e-6 (or NaN)
  negativeCurvature,  // v^T B v < 0: boundary step
  leftRegion,         // |p| > radius: boundary step
  stagnated,          // v^T B v overflowed (B finite): p can no longer move, see below
  stepCap,            // kTrustRegionInnerSteps inner steps without any of the above
};

// The loop's bound. True conjugate gradients on three unknowns end within 3 steps; this recurrence
// (v <- (1 + beta) v - q, not the conjugate-gradient update v <- beta v - q) can stagnate with q.q
// nearly constant while v doubles every step. Once v^T B v overflows (after some 500 steps), alpha
// is 0 and p no longer moves: from there on the loop could only end when v itself overflows, and
// the 0 * inf of that step would leave NaN in some components of p or of q, depending on which
// entry overflows first, that is on the last bits of v. So an infinite curvature ends the loop
// with the p the recurrence converged to (SubproblemEnd::stagnated), the step it would give
// without overflow, alike in every evaluation order. The bound lies beyond that horizon; it stops
// only a model that would otherwise never end.
inline constexpr int kTrustRegionInnerSteps = 2000;

struct SubproblemStep {
  Eigen::Vector3d step;  // p
  int innerSteps;        // conjugate-gradient steps taken
  SubproblemEnd end;
};

// p approximately minimising g.p + 1/2 p^T B p with |p| <= radius. From p = 0, q = g, v = -q: while
// q.q > 1e-6 (the thresholds compare squared lengths, |q| > 1e-3), kappa = v^T B v,
// alpha = q.q / kappa, p += alpha v (applied BEFORE the tests that follow); if kappa < 0 or
// p.p > radius^2, the boundary step from that p along v is returned (see TrustRegionBoundary);
// otherwise q += alpha B v, beta = q.q(new) / q.q(old), v = (1 + beta) v - q. g.g <= 1e-6 returns
// p = 0 at once. A zero-curvature direction gives an infinite alpha and a non-finite p; NaN in g
// or B ends the loop with a non-finite p; nothing is reported but the end and the step count. With
// a finite B, kappa = +inf returns p as it is (stagnated, see above). At most
// kTrustRegionInnerSteps steps: at that cap the current p is returned.
SubproblemStep trustRegionStep(const Eigen::Vector3d& gradient, const Eigen::Matrix3d& model,
                               double radius, TrustRegionBoundary boundary);

}  // namespace tessmark
