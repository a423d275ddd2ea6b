// Per-point cost of the core: symmedian start + Newton-Raphson + the diagnostics of both points, on
// synthetic points shaped like the real data (2 to 10 views, image coordinates of a few hundred
// pixels, 0.5 px noise). Reported per point.

#include <vector>

#include <benchmark/benchmark.h>

#include "model/judgement.hpp"
#include "model/symmedian.hpp"
#include "solvers/newton/newton_raphson.hpp"
#include "tools/synthetic_scene.hpp"

namespace {

using namespace tessmark;

constexpr JudgementRules kJudgement{DepthGuard::on, KlcMeasure::newtonStep, KlcTests::asNamed};

std::vector<synthetic::PointData> makePoints(int views, int count) {
  const auto cameras = synthetic::cameraRing(views, 10.0, 800.0);
  std::vector<synthetic::PointData> points;
  for (int i = 0; i < count; ++i) {
    const Eigen::Vector3d point(0.3 * ((i % 7) - 3), 0.25 * ((i % 5) - 2), 0.2 * ((i % 3) - 1));
    points.push_back(synthetic::observePoint(cameras, point, 0.5, static_cast<unsigned>(i + 1)));
  }
  return points;
}

void pointPipeline(benchmark::State& state) {
  const int views = static_cast<int>(state.range(0));
  const auto points = makePoints(views, 256);
  SolverScratch scratch(views);
  std::size_t i = 0;
  for (auto _ : state) {
    const PointProblem problem = points[i++ % points.size()].problem();
    const Eigen::Vector3d x_m = symmedianPoint(problem);
    SolverContext context{DepthGuard::on, scratch};
    const Eigen::Vector3d x_f =
        newtonRaphson(problem, context, x_m, 1e-12, kVorlantNewtonRaphson).point;
    benchmark::DoNotOptimize(judgePoint(problem, x_m, x_f, kJudgement));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(pointPipeline)->DenseRange(2, 10, 2)->Unit(benchmark::kMicrosecond);

// The parts on their own, at 4 views.
void symmedianStart(benchmark::State& state) {
  const auto points = makePoints(4, 256);
  std::size_t i = 0;
  for (auto _ : state)
    benchmark::DoNotOptimize(symmedianPoint(points[i++ % points.size()].problem()));
}
BENCHMARK(symmedianStart)->Unit(benchmark::kMicrosecond);

void newtonRaphsonSolve(benchmark::State& state) {
  const auto points = makePoints(4, 256);
  std::vector<Eigen::Vector3d> starts;
  for (const auto& point : points) starts.push_back(symmedianPoint(point.problem()));
  SolverScratch scratch(4);
  std::size_t i = 0;
  for (auto _ : state) {
    SolverContext context{DepthGuard::on, scratch};
    const std::size_t k = i++ % points.size();
    benchmark::DoNotOptimize(
        newtonRaphson(points[k].problem(), context, starts[k], 1e-12, kVorlantNewtonRaphson));
  }
}
BENCHMARK(newtonRaphsonSolve)->Unit(benchmark::kMicrosecond);

void diagnostics(benchmark::State& state) {
  const auto points = makePoints(4, 256);
  std::vector<Eigen::Vector3d> starts;
  for (const auto& point : points) starts.push_back(symmedianPoint(point.problem()));
  std::size_t i = 0;
  for (auto _ : state) {
    const std::size_t k = i++ % points.size();
    benchmark::DoNotOptimize(judgePoint(points[k].problem(), starts[k], starts[k], kJudgement));
  }
}
BENCHMARK(diagnostics)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
