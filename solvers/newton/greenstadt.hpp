#pragma once
// Newton-Raphson with Greenstadt's modification: a Hessian that is not positive definite has its
// offending eigenvalues replaced by a small positive value before the Newton system is solved, so
// that every step is taken with a positive definite matrix (J. Greenstadt, "On the relative
// efficiencies of gradient methods", Mathematics of Computation 21, 1967).

#include "solvers/solver.hpp"

namespace tessmark {

struct GreenstadtOptions {
  // The modification acts when the smallest eigenvalue of H is <= eigenvalueFloor. It then
  // replaces every eigenvalue <= eigenvalueFloor (or, with replacesFloor false, every eigenvalue
  // < eigenvalueFloor).
  double eigenvalueFloor = 0.0;
  bool replacesFloor = true;
  // The iteration index stops the loop when it reaches this cap.
  int loopCap = 1000;
  // Whether the loop count is incremented once before the first step, the iteration index then
  // starting at 1 (so at most loopCap - 1 steps); otherwise the count grows by exactly the number
  // of steps (at most loopCap).
  bool countsEntry = true;
  // Whether the first stopping test is on the length of the gradient at the start (a start with
  // |g| <= epsilon is returned without any step); otherwise the stopping length starts at
  // 2 epsilon (epsilon = 0 returns the start untouched).
  bool testsStartGradient = true;
};

// Greenstadt's modification of a symmetric H (lower triangle read): when the smallest eigenvalue of
// the self-adjoint eigen decomposition H = V D V^T is at or below the options' floor, the
// eigenvalues the options name are replaced in D by delta = max(eps, eps max_ij |H_ij|)
// (eps = 2^-52, delta taken from H as given) and H becomes V D V^T. `modified` tells whether any
// eigenvalue was replaced. A H with a non-finite entry has no eigen decomposition: it is returned
// as given, unmodified (as a NaN smallest eigenvalue, which fails the test, would leave it).
struct ModifiedHessian {
  Eigen::Matrix3d hessian;
  bool modified;
};
ModifiedHessian greenstadtModification(const Eigen::Matrix3d& hessian,
                                       const GreenstadtOptions& options);

// x <- x - dx, dx = solveNewtonSystem(H', costGradient(x)) with H' the Greenstadt modification of
// costHessian(x) (LDLT, SVD fallback when the first component is NaN), until the length of the
// step just taken is no longer than epsilon, or the iteration index reaches the cap (capReached).
// The first test is the options' (by default |g| at the start: a start with |g| <= epsilon, or with
// a non-finite gradient, is returned unchanged, no Hessian evaluated). hessianModified is set when
// any Hessian of the call was modified (the driver counts such points once). A NaN step length
// ends the loop and the non-finite point is returned.
SolverResult greenstadtNewton(const PointProblem& problem, SolverContext& context,
                              const Eigen::Vector3d& start, double epsilon,
                              const GreenstadtOptions& options);

// The same modified Newton step dx, followed by a backtracking search on reprojectionCost along
// -dx (backtrackCubicDecrease: trials x - t dx, t = 1, 1/4, ..., 1/4^20, the first with
// cost < cost(x) - 1e-4 (t |dx|)^3 or a NaN cost, else the twentieth). The stopping test is on
// t |dx|, the length of the step actually taken; the options' first test and counter rule apply
// as above. A non-finite dx gives a NaN cost at the first trial, which is taken: the call ends
// with the non-finite point. The .lc program's copy (solvers/menu_settings.hpp).
SolverResult greenstadtLineSearch(const PointProblem& problem, SolverContext& context,
                                  const Eigen::Vector3d& start, double epsilon,
                                  const GreenstadtOptions& options);

}  // namespace tessmark
