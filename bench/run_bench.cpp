// A whole key-0 triangulation of the real Ladybug problem: every point gathered, started, solved by
// Newton-Raphson and judged, as the run does it (reports and console output excluded).

#include <string>

#include <benchmark/benchmark.h>

#include "input/bal_pretreatment.hpp"
#include "input/bal_problem.hpp"
#include "model/judgement.hpp"
#include "model/point_workspace.hpp"
#include "model/symmedian.hpp"
#include "solvers/newton/newton_raphson.hpp"

namespace {

using namespace tessmark;

constexpr JudgementRules kJudgement{DepthGuard::on, KlcMeasure::newtonStep, KlcTests::asNamed};

void ladybugKeyZero(benchmark::State& state) {
  const std::string path = std::string(TESSMARK_DATA_DIR) + "/problem-49-7776-pre.txt";
  BalProblem bal;
  try {
    TextFile file = TextFile::open(path);
    checkBalHeader(file);
    bal = readBalRecords(file, readBalCounts(file));
  } catch (const std::exception& error) {
    state.SkipWithError(error.what());
    return;
  }
  const ObservationIndex index = indexObservations(bal);
  const CameraTables tables = pretreatCameras(bal.cameraParameters, bal.cameraNum);
  PointWorkspace workspace(largestViewCount(index.viewNum));
  for (auto _ : state) {
    double cost = 0.0;
    for (int p = 0; p < bal.pointNum; ++p) {
      const PointProblem problem =
          workspace.problem(gatherBalPoint(workspace, bal, index, tables, p));
      const Eigen::Vector3d x_m = symmedianPoint(problem);
      SolverContext context{DepthGuard::on, workspace.scratch};
      const Eigen::Vector3d x_f =
          newtonRaphson(problem, context, x_m, 1e-12, kVorlantNewtonRaphson).point;
      cost += judgePoint(problem, x_m, x_f, kJudgement).reprojError_f;
    }
    benchmark::DoNotOptimize(cost);
  }
  state.SetItemsProcessed(state.iterations() * bal.pointNum);
}
BENCHMARK(ladybugKeyZero)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
