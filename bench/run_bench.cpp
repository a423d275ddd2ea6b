// Whole triangulations of the real Ladybug problem, one per solver of the BAL menu: every point
// gathered, started, solved and judged, as the run does it (reports and console output excluded).
// Counters: seconds per point and per solver iteration, and the loop count of a whole run.

#include <string>

#include <benchmark/benchmark.h>

#include "driver/menu.hpp"
#include "input/bal_pretreatment.hpp"
#include "input/bal_problem.hpp"
#include "model/judgement.hpp"
#include "model/point_workspace.hpp"
#include "model/symmedian.hpp"

namespace {

using namespace tessmark;

constexpr JudgementRules kJudgement{DepthGuard::on, KlcMeasure::newtonStep, KlcTests::asNamed};

struct Ladybug {
  bool loaded = false;
  std::string error;
  BalProblem bal;
  ObservationIndex index;
  CameraTables tables;
};

const Ladybug& ladybug() {
  static const Ladybug data = [] {
    Ladybug d;
    const std::string path = std::string(TESSMARK_DATA_DIR) + "/problem-49-7776-pre.txt";
    try {
      TextFile file = TextFile::open(path);
      checkBalHeader(file);
      d.bal = readBalRecords(file, readBalCounts(file));
      d.index = indexObservations(d.bal);
      d.tables = pretreatCameras(d.bal.cameraParameters, d.bal.cameraNum);
      d.loaded = true;
    } catch (const std::exception& error) {
      d.error = error.what();
    }
    return d;
  }();
  return data;
}

void ladybugRun(benchmark::State& state, const MenuEntry& entry) {
  const Ladybug& data = ladybug();
  if (!data.loaded) {
    state.SkipWithError(data.error.c_str());
    return;
  }
  PointWorkspace workspace(largestViewCount(data.index.viewNum));
  double loops = 0.0;
  for (auto _ : state) {
    double cost = 0.0;
    for (int p = 0; p < data.bal.pointNum; ++p) {
      const PointProblem problem =
          workspace.problem(gatherBalPoint(workspace, data.bal, data.index, data.tables, p));
      const Eigen::Vector3d x_m = symmedianPoint(problem);
      SolverContext context{DepthGuard::on, workspace.scratch};
      const SolverResult result = entry.solver(problem, context, x_m, 1e-12);
      loops += result.loops;
      cost += judgePoint(problem, x_m, result.point, kJudgement).reprojError_f;
    }
    benchmark::DoNotOptimize(cost);
  }
  const double points = static_cast<double>(state.iterations()) * data.bal.pointNum;
  state.counters["per_point"] =
      benchmark::Counter(points, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["per_iteration"] =
      benchmark::Counter(loops, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["loops"] = benchmark::Counter(loops, benchmark::Counter::kAvgIterations);
}

}  // namespace

int main(int argc, char** argv) {
  for (const MenuEntry& entry : vorlantMenu()) {
    if (entry.solver == nullptr) continue;
    const std::string name = std::string("ladybug/key:") + entry.key;
    benchmark::RegisterBenchmark(name.c_str(), ladybugRun, entry)->Unit(benchmark::kMillisecond);
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
