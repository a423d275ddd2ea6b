// Whole triangulations of the real data sets, one per solver of each program's menu: every point
// of the Ladybug problem (vorlant) and of the Dinosaur sequence (sennic), loaded by the data-set
// layer, triangulated by the per-point solver the programs run (locate, gather, start, solve,
// judge), point after point as the run does it (reports and console output excluded). Counters:
// seconds per point and per solver iteration, and the loop count of a whole run.
//
// The cost of a solver iteration against the arithmetic it must do (".../iteration/key:K"): every
// point gathered once beforehand with its symmedian start, then, per benchmark iteration, the
// solver alone over all points from their starts, and as many fused evaluations of cost, gradient
// and Hessian (evaluatePoint, the program's depth guard) at each point's start as the solver looped
// there, so that both run at the points' own view counts with the same weights. Counters (thread
// CPU time, both passes measured in the same run, so the machine's load weighs on both alike):
// per_iteration (solver seconds per loop), per_evaluation (seconds per fused evaluation), ratio
// (the first over the second), loops (of a whole run).

#include <ctime>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include <benchmark/benchmark.h>

#include "dataset/data_set.hpp"
#include "dataset/point_solver.hpp"
#include "model/derivatives.hpp"
#include "model/point_workspace.hpp"
#include "model/symmedian.hpp"
#include "solvers/menus.hpp"

namespace {

using namespace tessmark;

// A data set loaded and prepared by the data-set layer, or why it could not be.
struct LoadedSet {
  DataSet data;
  std::string error;
};

std::string dataPath(const char* file) { return std::string(TESSMARK_DATA_DIR) + "/" + file; }

LoadedSet load(const char* file, DataFormat format) {
  LoadedSet set;
  try {
    set.data = loadDataSet(dataPath(file), format);
  } catch (const std::exception& error) {
    set.error = error.what();
  }
  return set;
}

const LoadedSet& ladybug() {
  static const LoadedSet set = load("problem-49-7776-pre.txt", DataFormat::bal);
  return set;
}

const LoadedSet& dinosaur() {
  static const LoadedSet set = load("dinosaur.lc", DataFormat::lc);
  return set;
}

// Each data set with the loader of its file.
struct Registered {
  const char* name;
  const LoadedSet& (*load)();
  const SolverProgram& (*rules)();
};
const Registered kDataSets[] = {{"ladybug", ladybug, vorlantSolvers},
                                {"dinosaur", dinosaur, sennicSolvers}};

void wholeRun(benchmark::State& state, const Registered& registered, const MenuEntry& entry) {
  const LoadedSet& set = registered.load();
  if (set.data.points == nullptr) {
    state.SkipWithError(set.error.c_str());
    return;
  }
  const DataSet& data = set.data;
  PointWorkspace workspace(data.maxViewNum);
  PointSolver solver(registered.rules(), entry, workspace);
  double loops = 0.0;
  for (auto _ : state) {
    double cost = 0.0;
    for (int p = 0; p < data.pointNum; ++p) {
      const PointOutcome outcome = solver.triangulate(*data.points, p);
      loops += outcome.loops;
      cost += outcome.judgement.reprojError_f;
    }
    benchmark::DoNotOptimize(cost);
  }
  const double points = static_cast<double>(state.iterations()) * data.pointNum;
  state.counters["per_point"] =
      benchmark::Counter(points, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["per_iteration"] =
      benchmark::Counter(loops, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["loops"] = benchmark::Counter(loops, benchmark::Counter::kAvgIterations);
}

// Every point of a data set gathered once into blocks of its own, with its symmedian start.
struct GatheredPoints {
  std::vector<ViewBlock> blocks;
  std::vector<int> first;  // point p's blocks are first[p] .. first[p + 1] - 1
  std::vector<Eigen::Vector3d> starts;
  int maxViewNum = 0;

  int pointNum() const { return static_cast<int>(starts.size()); }
  PointProblem problem(int p) const { return {first[p + 1] - first[p], blocks.data() + first[p]}; }
};

const GatheredPoints& gatheredPoints(const DataSet& data) {
  static std::map<const DataSet*, GatheredPoints> cache;
  auto [entry, inserted] = cache.try_emplace(&data);
  GatheredPoints& points = entry->second;
  if (!inserted) return points;
  PointWorkspace workspace(data.maxViewNum);
  points.maxViewNum = data.maxViewNum;
  points.first.push_back(0);
  for (int p = 0; p < data.pointNum; ++p) {
    const int n = data.points->locate(p, workspace);
    data.points->gather(p, n, workspace);
    points.blocks.insert(points.blocks.end(), workspace.views.begin(), workspace.views.begin() + n);
    points.first.push_back(static_cast<int>(points.blocks.size()));
    points.starts.push_back(symmedianPoint(workspace.problem(n)));
  }
  return points;
}

double threadSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

void iterationCost(benchmark::State& state, const Registered& registered, const MenuEntry& entry) {
  const LoadedSet& set = registered.load();
  if (set.data.points == nullptr) {
    state.SkipWithError(set.error.c_str());
    return;
  }
  const GatheredPoints& points = gatheredPoints(set.data);
  const DepthGuard guard = registered.rules().depthGuard;
  SolverScratch scratch(points.maxViewNum);
  std::vector<int> loops(static_cast<std::size_t>(points.pointNum()));
  double solverSeconds = 0.0;
  double evaluationSeconds = 0.0;
  double iterations = 0.0;
  for (auto _ : state) {
    const double start = threadSeconds();
    for (int p = 0; p < points.pointNum(); ++p) {
      SolverContext context{guard, scratch};
      loops[p] = entry.solver(points.problem(p), context, points.starts[p], kSolverTolerance).loops;
    }
    const double solved = threadSeconds();
    for (int p = 0; p < points.pointNum(); ++p) {
      const PointProblem problem = points.problem(p);
      for (int k = 0; k < loops[p]; ++k) {
        benchmark::DoNotOptimize(evaluatePoint(problem, points.starts[p], guard));
      }
      iterations += loops[p];
    }
    evaluationSeconds += threadSeconds() - solved;
    solverSeconds += solved - start;
  }
  state.counters["per_iteration"] = solverSeconds / iterations;
  state.counters["per_evaluation"] = evaluationSeconds / iterations;
  state.counters["ratio"] = solverSeconds / evaluationSeconds;
  state.counters["loops"] = iterations / static_cast<double>(state.iterations());
}

}  // namespace

int main(int argc, char** argv) {
  // The whole runs first, then the per-iteration costs, each data set's keys in menu order.
  using Benchmark = void (*)(benchmark::State&, const Registered&, const MenuEntry&);
  const std::pair<const char*, Benchmark> kinds[] = {{"/key:", wholeRun},
                                                     {"/iteration/key:", iterationCost}};
  for (const auto& [infix, function] : kinds) {
    for (const Registered& dataSet : kDataSets) {
      for (const MenuEntry& entry : dataSet.rules().menu) {
        if (entry.solver == nullptr) continue;
        const std::string name = std::string(dataSet.name) + infix + entry.key;
        benchmark::RegisterBenchmark(name.c_str(), function, dataSet, entry)
            ->Unit(benchmark::kMillisecond);
      }
    }
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
