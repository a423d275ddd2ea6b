#include "compare/comparison.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "console/stopwatch.hpp"
#include "dataset/point_solver.hpp"

namespace tessmark {

namespace {

// Progress is reported every this many points.
constexpr int kProgressStep = 64;

constexpr double kInfinity = std::numeric_limits<double>::infinity();

}  // namespace

std::optional<std::vector<ComparedSolver>> chooseSolvers(const SolverProgram& program,
                                                         std::string_view keys,
                                                         std::string& error) {
  const std::optional<std::vector<std::size_t>> rows = menuRowsOfKeys(keys, error);
  if (!rows) return std::nullopt;
  std::vector<ComparedSolver> solvers;
  for (const std::size_t row : *rows) {
    const MenuEntry& entry = program.menu[row];
    if (entry.solver == nullptr) {
      error = "key '" + std::string(kMenuKeys[row]) + "' (" + entry.selectedName +
              ") is not available in this build";
      return std::nullopt;
    }
    solvers.push_back({kMenuKeys[row], &entry});
  }
  return solvers;
}

bool solvedPoint(const SolverOutcome& outcome) {
  return outcome.point.allFinite() && std::isfinite(outcome.judgement.reprojError_f);
}

Comparison compareSolvers(const DataSet& data, const SolverProgram& program,
                          std::span<const ComparedSolver> solvers,
                          const ComparisonProgress& progress) {
  Comparison comparison;
  comparison.solvers.assign(solvers.begin(), solvers.end());
  comparison.pointNum = data.pointNum;
  comparison.viewNum = data.viewNum;
  const auto pointCount = static_cast<std::size_t>(data.pointNum);
  comparison.starts.resize(pointCount);
  comparison.startSeconds.resize(pointCount);
  comparison.outcomes.resize(solvers.size() * pointCount);
  comparison.passSeconds.resize(solvers.size());
  const auto report = [&progress](int s, int done, int total) {
    if (progress && (done % kProgressStep == 0 || done == total)) progress(s, done);
  };

  const PointSource& points = *data.points;
  PointWorkspace workspace(data.maxViewNum);
  Stopwatch passWatch;

  // The starts, as the programs compute them: the point gathered, then its symmedian point.
  report(-1, 0, data.pointNum);
  passWatch.start();
  for (int p = 0; p < data.pointNum; ++p) {
    const auto i = static_cast<std::size_t>(p);
    const TimedStart started = timedStart(points, p, workspace);
    comparison.starts[i] = started.start;
    comparison.startSeconds[i] = started.seconds;
    report(-1, p + 1, data.pointNum);
  }
  passWatch.stop();
  comparison.startPassSeconds = passWatch.seconds();

  // One solver after the other over every point, as a single-key run does.
  for (std::size_t s = 0; s < solvers.size(); ++s) {
    PointSolver solver(program, *solvers[s].entry, workspace);
    report(static_cast<int>(s), 0, data.pointNum);
    passWatch.start();
    for (int p = 0; p < data.pointNum; ++p) {
      const auto i = static_cast<std::size_t>(p);
      static_cast<PointOutcome&>(comparison.outcomes[s * pointCount + i]) =
          solver.triangulateFrom(points, p, comparison.starts[i]);
      report(static_cast<int>(s), p + 1, data.pointNum);
    }
    passWatch.stop();
    comparison.passSeconds[s] = passWatch.seconds();
  }
  fillProfileRatios(comparison);
  return comparison;
}

void fillProfileRatios(Comparison& comparison) {
  const auto solverCount = static_cast<int>(comparison.solvers.size());
  for (int p = 0; p < comparison.pointNum; ++p) {
    double bestCost = kInfinity;
    double bestTime = kInfinity;
    for (int s = 0; s < solverCount; ++s) {
      const SolverOutcome& outcome = comparison.outcome(s, p);
      if (!solvedPoint(outcome)) continue;
      bestCost = std::min(bestCost, outcome.judgement.reprojError_f);
      bestTime = std::min(bestTime, outcome.solveSeconds);
    }
    for (int s = 0; s < solverCount; ++s) {
      SolverOutcome& outcome = comparison.outcome(s, p);
      if (!solvedPoint(outcome)) {
        outcome.costRatio = kInfinity;
        outcome.timeRatio = kInfinity;
        continue;
      }
      outcome.costRatio = (outcome.judgement.reprojError_f + kCostFloor) / (bestCost + kCostFloor);
      outcome.timeRatio = (outcome.solveSeconds + kTimeFloor) / (bestTime + kTimeFloor);
    }
  }
}

}  // namespace tessmark
