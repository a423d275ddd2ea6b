#include "dataset/point_solver.hpp"

#include <algorithm>
#include <cassert>

#include "model/derivatives.hpp"
#include "model/symmedian.hpp"

namespace tessmark {

PointSolver::PointSolver(const SolverProgram& program, const MenuEntry& method,
                         PointWorkspace& workspace, const PointSolverOptions& options)
    : program_(program),
      method_(method),
      workspace_(workspace),
      options_(options),
      shared_(program.depthGuard, program.judgement) {
  assert(method.solver != nullptr);
}

void PointSolver::solve(const PointProblem& problem, PointOutcome& outcome) {
  SolverContext context{program_.depthGuard, workspace_.scratch, shared_.room(), options_.loopCap};
  double epsilon = options_.tolerance;
  if (options_.relativeTolerance > 0.0) {
    epsilon =
        std::max(epsilon, options_.relativeTolerance * reprojectionCost(problem, outcome.start));
  }
  const SolverResult solved = method_.solver(problem, context, outcome.start, epsilon);
  outcome.point = solved.point;
  outcome.loops = solved.loops;
  outcome.capReached = solved.capReached;
  outcome.hessianModified = solved.hessianModified;
}

void PointSolver::judge(const PointProblem& problem, PointOutcome& outcome) const {
  outcome.judgement = shared_.judge(problem, outcome.start, outcome.point);
}

PointOutcome PointSolver::triangulate(const PointSource& points, int p) {
  PointOutcome outcome;
  const int n = points.locate(p, workspace_);
  outcome.viewCount = n;
  watch_.start();
  points.gather(p, n, workspace_);
  const PointProblem problem = workspace_.problem(n);
  outcome.start = symmedianPoint(problem);
  solve(problem, outcome);
  watch_.stop();
  outcome.pointSeconds = watch_.seconds();
  judge(problem, outcome);
  return outcome;
}

PointOutcome PointSolver::triangulateFrom(const PointSource& points, int p,
                                          const Eigen::Vector3d& start) {
  PointOutcome outcome;
  const int n = points.locate(p, workspace_);
  outcome.viewCount = n;
  points.gather(p, n, workspace_);
  const PointProblem problem = workspace_.problem(n);
  outcome.start = start;
  watch_.start();
  solve(problem, outcome);
  watch_.stop();
  outcome.solveSeconds = watch_.seconds();
  judge(problem, outcome);
  return outcome;
}

PointOutcome PointSolver::triangulate(const PointProblem& problem) {
  assert(workspace_.scratch.fits(problem.viewCount));
  PointOutcome outcome;
  outcome.viewCount = problem.viewCount;
  outcome.start = symmedianPoint(problem);
  solve(problem, outcome);
  judge(problem, outcome);
  return outcome;
}

TimedStart timedStart(const PointSource& points, int p, PointWorkspace& workspace) {
  TimedStart timed;
  Stopwatch watch;
  timed.viewCount = points.locate(p, workspace);
  watch.start();
  points.gather(p, timed.viewCount, workspace);
  timed.start = symmedianPoint(workspace.problem(timed.viewCount));
  watch.stop();
  timed.seconds = watch.seconds();
  return timed;
}

}  // namespace tessmark
