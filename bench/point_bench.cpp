// Per-point cost of the core: symmedian start + Newton-Raphson + the diagnostics of both points, on
// synthetic points shaped like the real data (2 to 10 views, image coordinates of a few hundred
// pixels, 0.5 px noise). Reported per point.

#include <vector>

#include <benchmark/benchmark.h>

#include "driver/point_judgement.hpp"
#include "model/symmedian.hpp"
#include "solvers/newton/newton_raphson.hpp"
#include "tests/support/synthetic_scene.hpp"

namespace {

using namespace tessmark;

std::vector<testing::PointData> makePoints(int views, int count) {
  const auto cameras = testing::cameraRing(views, 10.0, 800.0);
  std::vector<testing::PointData> points;
  for (int i = 0; i < count; ++i) {
    const Eigen::Vector3d point(0.3 * ((i % 7) - 3), 0.25 * ((i % 5) - 2), 0.2 * ((i % 3) - 1));
    points.push_back(testing::observePoint(cameras, point, 0.5, static_cast<unsigned>(i + 1)));
  }
  return points;
}

void pointPipeline(benchmark::State& state) {
  const auto points = makePoints(static_cast<int>(state.range(0)), 256);
  int notPositiveDefinite = 0;
  std::size_t i = 0;
  for (auto _ : state) {
    const PointProblem problem = points[i++ % points.size()].problem();
    int loopCounter = 0;
    const Eigen::Vector3d x_m = symmedianPoint(problem);
    SolverContext context{kVorlantSolverRules, loopCounter, notPositiveDefinite};
    const Eigen::Vector3d x_f = newtonRaphson(problem, context, x_m, 1e-12);
    benchmark::DoNotOptimize(judgePoint(problem, x_m, x_f, DepthGuard::on));
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
  int notPositiveDefinite = 0;
  std::size_t i = 0;
  for (auto _ : state) {
    int loopCounter = 0;
    SolverContext context{kVorlantSolverRules, loopCounter, notPositiveDefinite};
    const std::size_t k = i++ % points.size();
    benchmark::DoNotOptimize(newtonRaphson(points[k].problem(), context, starts[k], 1e-12));
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
    benchmark::DoNotOptimize(judgePoint(points[k].problem(), starts[k], starts[k], DepthGuard::on));
  }
}
BENCHMARK(diagnostics)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
