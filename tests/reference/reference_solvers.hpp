#pragma once
// Reference forms of every solver of both menus: each written straight from its description, step
// by step in the order the description gives them, on the reference model (reference_model.hpp)
// and with Eigen's own decompositions. No shared step, options record or fused evaluation of the
// solver library is used: the oracle the fast solvers answer to.
//
// Where the description leaves an evaluation order free, the reference takes the one the fast path
// takes (B v formed once for v^T B v and q + alpha B v; T u formed first in Jarratt's correction;
// the 2n x 3 Jacobian's own matrix type for its QR), so that the two agree bit for bit wherever
// they take the same steps: on hard points rounding decides branches, and a difference in the last
// bit would hide the differences that matter.
//
// Where the description itself computes a plainly wrong value, the reference follows the sound
// behaviour the fast path chose and says so beside the step:
//  - the damped Newton step along a zero direction (a stationary point) is a zero step, not the
//    quotient 0/0 that would make the point NaN;
//  - the large-data Gauss-Newton iteration leaves x where it is for a zero step (d^T A d = 0),
//    instead of multiplying d by 0/0;
//  - the conjugate-gradient loop of the trust-region subproblem ends when its curvature v^T B v
//    overflows (p can no longer move; overflow would otherwise put NaN into p at random), and after
//    2000 inner steps at most.

#include <vector>

#include <Eigen/Core>

#include "model/judgement.hpp"
#include "tools/synthetic_scene.hpp"

namespace tessmark::reference {

enum class Program { vorlant, sennic };

struct Run {
  Eigen::Vector3d point;
  int loops = 0;
  bool capReached = false;       // the loop ended at the solver's cap
  bool hessianModified = false;  // Greenstadt: some Hessian was made positive definite
};

// When not null, the iterate after every iteration (after the step of that iteration, or x
// unchanged for an iteration that took none).
using Trace = std::vector<Eigen::Vector3d>;

using Solver = Run (*)(const synthetic::PointData& data, const Eigen::Vector3d& start,
                       double epsilon, Trace* trace);

// The solver of menu row `row` (0..9 for the keys '0'..'9', 10 for the row every other key
// selects) of the program.
Solver menuSolver(Program program, int row);

// The program's depth guard (of its solvers' gradients and Hessians) and judgement rules.
DepthGuard depthGuardOf(Program program);
JudgementRules judgementRulesOf(Program program);

// The subproblem of the trust-region solvers, exposed for tracing: p approximately minimising
// g.p + 1/2 p^T B p within the radius; `plainBoundary` selects the .lc copy's boundary step.
Eigen::Vector3d trustRegionStep(const Eigen::Vector3d& g, const Eigen::Matrix3d& b, double radius,
                                bool plainBoundary);

}  // namespace tessmark::reference
