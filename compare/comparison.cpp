#include "compare/comparison.hpp"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <limits>

#include "console/stopwatch.hpp"
#include "dataset/parallel_points.hpp"
#include "dataset/point_solver.hpp"

namespace tessmark {

namespace {

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
                          const ComparisonProgress& progress, const ComparisonOptions& options) {
  assert(options.repeat >= 1);
  Comparison comparison;
  comparison.solvers.assign(solvers.begin(), solvers.end());
  comparison.threads = workerCount(options.threads);
  comparison.repeat = options.repeat;
  comparison.pointNum = data.pointNum;
  comparison.viewNum = data.viewNum;
  const auto pointCount = static_cast<std::size_t>(data.pointNum);
  comparison.starts.resize(pointCount);
  comparison.startSeconds.resize(pointCount);
  comparison.outcomes.resize(solvers.size() * pointCount);
  comparison.passSeconds.resize(solvers.size());

  // One workspace per worker, for the starts and then for every solver's pass.
  const PointSource& points = *data.points;
  std::vector<PointWorkspace> workspaces;
  workspaces.reserve(static_cast<std::size_t>(comparison.threads));
  for (int w = 0; w < comparison.threads; ++w) workspaces.emplace_back(data.maxViewNum);

  // Pass s over every point, shared out to the workers; returns its wall time.
  const auto runPass = [&](int s, const std::function<void(int, std::size_t)>& work) {
    std::function<void(std::size_t)> told;
    if (progress) {
      progress(s, 0);
      told = [&progress, s](std::size_t done) { progress(s, static_cast<int>(done)); };
    }
    Stopwatch passWatch;
    passWatch.start();
    forEachPoint(pointCount, comparison.threads, work, told);
    passWatch.stop();
    return passWatch.seconds();
  };

  // The starts, as the programs compute them: the point gathered, then its symmedian point.
  comparison.startPassSeconds = runPass(-1, [&](int worker, std::size_t i) {
    const TimedStart started =
        timedStart(points, static_cast<int>(i), workspaces[static_cast<std::size_t>(worker)]);
    comparison.starts[i] = started.start;
    comparison.startSeconds[i] = started.seconds;
  });

  // One solver after the other over every point, as a single-key run does.
  for (std::size_t s = 0; s < solvers.size(); ++s) {
    std::vector<PointSolver> workers;
    workers.reserve(workspaces.size());
    for (PointWorkspace& workspace : workspaces) {
      workers.emplace_back(program, *solvers[s].entry, workspace, options.solver);
    }
    comparison.passSeconds[s] = runPass(static_cast<int>(s), [&](int worker, std::size_t i) {
      PointSolver& solver = workers[static_cast<std::size_t>(worker)];
      const int p = static_cast<int>(i);
      PointOutcome outcome = solver.triangulateFrom(points, p, comparison.starts[i]);
      for (int run = 1; run < options.repeat; ++run) {
        outcome.solveSeconds =
            std::min(outcome.solveSeconds,
                     solver.triangulateFrom(points, p, comparison.starts[i]).solveSeconds);
      }
      static_cast<PointOutcome&>(comparison.outcomes[s * pointCount + i]) = outcome;
    });
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
