#pragma once
// The contract every local solver shares.
//
// A solver refines the start of one point (its symmedian point) until its own stopping test on
// epsilon holds or its own loop cap is reached, and returns the final point with its loop count.
// There is no status: reaching the cap shows only in the loop count, a breakdown only as non-finite
// coordinates. Non-finite values are never an error; they flow into the result.
//
// What differs between the two programs' copies of a solver is stated where it belongs:
//  - the depth guard of costGradient and costHessian is program-wide: SolverContext carries it;
//  - a number or a switch that differs for one solver (a loop cap, a comparison, a fallback) is a
//    field of that solver's options record, declared in its header with the large-data program's
//    values as defaults; the menu row binds the function to its options (withOptions below);
//  - a different algorithm is a function of its own.

#include <optional>

#include <Eigen/Core>

#include "model/derivatives.hpp"
#include "model/point_problem.hpp"
#include "model/solver_scratch.hpp"

namespace tessmark {

// What a solver call hands back.
struct SolverResult {
  Eigen::Vector3d point;         // the final iterate, x_f
  int loops = 0;                 // the solver's loop count, as the reports give it
  bool hessianModified = false;  // some Hessian of this call had to be made positive definite
  bool capReached = false;       // the loop ended at the solver's loop cap
};

// What the run passes to every solver beside the point: the program's depth guard, room for the
// per-iteration arrays (sized for the point's view count) and, optionally, room for the start's
// whole evaluation. A caller that will judge the point with the same depth guard passes that room
// (empty): a solver that evaluates its start through startDerivatives then leaves the evaluation
// there, and the judgement takes it instead of evaluating the start again.
struct SolverContext {
  DepthGuard depthGuard;
  SolverScratch& scratch;
  std::optional<PointEvaluation>* startEvaluation = nullptr;
  // A library user's loop cap in place of the one in the solver's options record (0: the record's,
  // as the programs run). It replaces that number only: a solver counts its loop against it as it
  // would count against its own.
  int loopCap = 0;
};

// The loop cap a solver runs to: the context's when it gives one, else the solver's own.
inline int loopCapOf(const SolverContext& context, int ownCap) {
  return context.loopCap > 0 ? context.loopCap : ownCap;
}

// costGradient and costHessian at the start x (the context's depth guard), from one pass over the
// views: gradientAndHessian, or, when the context has room for the start's evaluation,
// evaluatePoint, whose gradient and Hessian are the same values, kept in that room.
inline GradientAndHessian startDerivatives(const PointProblem& problem, SolverContext& context,
                                           const Eigen::Vector3d& x) {
  if (context.startEvaluation == nullptr) return gradientAndHessian(problem, x, context.depthGuard);
  const PointEvaluation& start =
      context.startEvaluation->emplace(evaluatePoint(problem, x, context.depthGuard));
  return {start.gradient, start.hessian()};
}

// The one solver signature the menus hold.
using SolverFunction = SolverResult (*)(const PointProblem& problem, SolverContext& context,
                                        const Eigen::Vector3d& start, double epsilon);

// A solver with an options record, bound to one constant instance of it:
//   withOptions<newtonRaphson, kLcNewtonRaphson>
// is a SolverFunction that calls newtonRaphson(problem, context, start, epsilon, kLcNewtonRaphson).
template <auto solve, const auto& options>
SolverResult withOptions(const PointProblem& problem, SolverContext& context,
                         const Eigen::Vector3d& start, double epsilon) {
  return solve(problem, context, start, epsilon, options);
}

}  // namespace tessmark
