// Whole triangulations of the real data sets, one per solver of each program's menu: every point
// of the Ladybug problem (vorlant) and of the Dinosaur sequence (sennic) located, gathered,
// started, solved and judged through the program's own point source and rules, as the run does it
// (reports and console output excluded). Counters: seconds per point and per solver iteration, and
// the loop count of a whole run.
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
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <benchmark/benchmark.h>

#include "driver/sennic.hpp"
#include "driver/vorlant.hpp"
#include "model/derivatives.hpp"
#include "model/judgement.hpp"
#include "model/point_workspace.hpp"
#include "model/symmedian.hpp"
#include "solvers/menus.hpp"

namespace {

using namespace tessmark;

// A data set loaded and prepared by its program's reader, or why it could not be.
struct DataSet {
  std::unique_ptr<PointSource> points;
  int pointNum = 0;
  int maxViewNum = 0;
  std::string error;
};

std::string dataPath(const char* file) { return std::string(TESSMARK_DATA_DIR) + "/" + file; }

const DataSet& ladybug() {
  static const DataSet data = [] {
    DataSet d;
    try {
      TextFile file = TextFile::open(dataPath("problem-49-7776-pre.txt"));
      checkBalHeader(file);
      auto source = std::make_unique<BalPointSource>();
      source->problem = readBalRecords(file, readBalCounts(file));
      source->index = indexObservations(source->problem);
      source->tables = pretreatCameras(source->problem.cameraParameters, source->problem.cameraNum);
      d.pointNum = source->problem.pointNum;
      d.maxViewNum = largestViewCount(source->index.viewNum);
      d.points = std::move(source);
    } catch (const std::exception& error) {
      d.error = error.what();
    }
    return d;
  }();
  return data;
}

const DataSet& dinosaur() {
  static const DataSet data = [] {
    DataSet d;
    try {
      TextFile file = TextFile::open(dataPath("dinosaur.lc"));
      checkLcHeader(file);
      auto source = std::make_unique<LcPointSource>();
      source->problem = readLcRecords(file, readLcCounts(file));
      source->visibility = indexLcObservations(source->problem);
      std::vector<int> rankDeficient;
      source->tables = pretreatLcCameras(source->problem, rankDeficient);
      d.pointNum = source->problem.pointNum;
      d.maxViewNum = largestViewCount(source->visibility.viewNum);
      d.points = std::move(source);
    } catch (const std::exception& error) {
      d.error = error.what();
    }
    return d;
  }();
  return data;
}

// Each data set with the program that reads it.
struct Registered {
  const char* name;
  const ProgramDescription& (*program)();
  const DataSet& (*load)();
};
const Registered kDataSets[] = {{"ladybug", vorlantProgram, ladybug},
                                {"dinosaur", sennicProgram, dinosaur}};

void wholeRun(benchmark::State& state, const Registered& registered, const MenuEntry& entry) {
  const DataSet& data = registered.load();
  if (data.points == nullptr) {
    state.SkipWithError(data.error.c_str());
    return;
  }
  const ProgramDescription& program = registered.program();
  PointWorkspace workspace(data.maxViewNum);
  SharedStart start(program.solvers.depthGuard, program.solvers.judgement);
  double loops = 0.0;
  for (auto _ : state) {
    double cost = 0.0;
    for (int p = 0; p < data.pointNum; ++p) {
      const int n = data.points->locate(p, workspace);
      data.points->gather(p, n, workspace);
      const PointProblem problem = workspace.problem(n);
      const Eigen::Vector3d x_m = symmedianPoint(problem);
      SolverContext context{program.solvers.depthGuard, workspace.scratch, start.room()};
      const SolverResult result = entry.solver(problem, context, x_m, 1e-12);
      loops += result.loops;
      cost += start.judge(problem, x_m, result.point).reprojError_f;
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
  const DataSet& data = registered.load();
  if (data.points == nullptr) {
    state.SkipWithError(data.error.c_str());
    return;
  }
  const GatheredPoints& points = gatheredPoints(data);
  const ProgramDescription& program = registered.program();
  const DepthGuard guard = program.solvers.depthGuard;
  SolverScratch scratch(points.maxViewNum);
  std::vector<int> loops(static_cast<std::size_t>(points.pointNum()));
  double solverSeconds = 0.0;
  double evaluationSeconds = 0.0;
  double iterations = 0.0;
  for (auto _ : state) {
    const double start = threadSeconds();
    for (int p = 0; p < points.pointNum(); ++p) {
      SolverContext context{guard, scratch};
      loops[p] = entry.solver(points.problem(p), context, points.starts[p], 1e-12).loops;
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
      for (const MenuEntry& entry : dataSet.program().solvers.menu) {
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
