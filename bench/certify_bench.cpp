// The certificate of a final point beside the solve that produced it, per point: a solver's whole
// per-point path (tessmark/triangulate.hpp, vorlant's key 7) and the certifier's verdict on its
// final point (certify/certify.hpp), on synthetic points shaped like the real data (a ring of
// cameras, 0.5 px noise) at 2 to 10 views, and on the first points of the Ladybug problem when
// TESSMARK_DATA_DIR holds it. The "boxes" counter is the mean number of boxes a verdict took.

#include <filesystem>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "certify/certify.hpp"
#include "certify/front_side.hpp"
#include "input/bal_pretreatment.hpp"
#include "input/bal_problem.hpp"
#include "input/text_file.hpp"
#include "tessmark/triangulate.hpp"
#include "tools/synthetic_scene.hpp"

namespace {

using namespace tessmark;
using Matrix34 = Eigen::Matrix<double, 3, 4>;

struct Point {
  std::vector<Matrix34> cameras;
  std::vector<Eigen::Vector2d> observations;
  std::vector<CameraPose> poses;
  std::vector<int> sides;
  Eigen::Vector3d finalPoint{0, 0, 0};

  PointViews views() const { return {cameras, observations, poses}; }
  certify::PointViews certifyViews() const { return {cameras, observations, sides}; }
};

const Method kMethod = Method::fromKey(Rules::vorlant, "7");

void solveAll(std::vector<Point>& points) {
  Triangulator triangulator;
  for (Point& p : points) p.finalPoint = triangulator.triangulate(p.views(), kMethod).point;
}

std::vector<Point> syntheticPoints(int views, int count) {
  const auto cameras = synthetic::cameraRing(views, 10.0, 800.0);
  std::vector<Point> points;
  for (int i = 0; i < count; ++i) {
    const Eigen::Vector3d x(0.3 * ((i % 7) - 3), 0.25 * ((i % 5) - 2), 0.2 * ((i % 3) - 1));
    Point p;
    for (const auto& camera : cameras) {
      p.cameras.push_back(camera.matrix);
      p.sides.push_back(1);  // K [R | -R C] with a positive focal length: in front, p3 . X~ > 0
    }
    const auto data = synthetic::observePoint(cameras, x, 0.5, static_cast<unsigned>(i + 1));
    for (int v = 0; v < views; ++v) p.observations.push_back(data.observations.segment<2>(2 * v));
    points.push_back(std::move(p));
  }
  solveAll(points);
  return points;
}

// The first `count` points of Ladybug (empty when the file is not there).
std::vector<Point> ladybugPoints(std::size_t count) {
  const std::filesystem::path path =
      std::filesystem::path(TESSMARK_DATA_DIR) / "problem-49-7776-pre.txt";
  std::vector<Point> points;
  if (!std::filesystem::exists(path)) return points;
  TextFile file = TextFile::open(path.string());
  const BalCounts counts = readBalCountsAfterOptionalHeader(file);
  BalProblem problem = readBalRecords(file, counts);
  const ObservationIndex index = indexObservations(problem);
  for (std::size_t p = 0; p < count && p < static_cast<std::size_t>(problem.pointNum); ++p) {
    Point point;
    for (int j = 0; j < index.viewNum[p]; ++j) {
      const int o = index.viewStart[p] + j;
      const int c = problem.observationCamera[static_cast<std::size_t>(o)];
      const Eigen::VectorXd& q = problem.cameraParameters;
      const BalCamera camera =
          balCamera(q.segment<3>(9 * c), q.segment<3>(9 * c + 3), q(9 * c + 6));
      point.cameras.push_back(camera.matrix);
      point.poses.push_back(camera.pose);
      point.sides.push_back(certify::kBalFrontSide);
      point.observations.emplace_back(problem.observationTable(o, 0),
                                      problem.observationTable(o, 1));
    }
    points.push_back(std::move(point));
  }
  solveAll(points);
  return points;
}

void solve(benchmark::State& state, const std::vector<Point>& points) {
  if (points.empty()) {
    state.SkipWithError("no data");
    return;
  }
  Triangulator triangulator;
  std::size_t i = 0;
  for (auto _ : state)
    benchmark::DoNotOptimize(
        triangulator.triangulate(points[i++ % points.size()].views(), kMethod));
  state.SetItemsProcessed(state.iterations());
}

void certifyFinal(benchmark::State& state, const std::vector<Point>& points) {
  if (points.empty()) {
    state.SkipWithError("no data");
    return;
  }
  certify::Certifier certifier;
  std::size_t i = 0;
  double boxes = 0.0;
  for (auto _ : state) {
    const Point& p = points[i++ % points.size()];
    const certify::Certificate c = certifier.certify(p.certifyViews(), p.finalPoint);
    boxes += c.boxes;
    benchmark::DoNotOptimize(c);
  }
  state.counters["boxes"] = benchmark::Counter(boxes, benchmark::Counter::kAvgIterations);
  state.SetItemsProcessed(state.iterations());
}

const std::vector<Point>& synthetic(int views) {
  static std::vector<std::vector<Point>> sets(11);
  auto& set = sets[static_cast<std::size_t>(views)];
  if (set.empty()) set = syntheticPoints(views, 64);
  return set;
}

const std::vector<Point>& ladybug() {
  static const std::vector<Point> points = ladybugPoints(1000);
  return points;
}

void solveSynthetic(benchmark::State& state) {
  solve(state, synthetic(static_cast<int>(state.range(0))));
}
void certifySynthetic(benchmark::State& state) {
  certifyFinal(state, synthetic(static_cast<int>(state.range(0))));
}
BENCHMARK(solveSynthetic)->Arg(2)->Arg(3)->Arg(4)->Arg(6)->Arg(10)->Unit(benchmark::kMicrosecond);
BENCHMARK(certifySynthetic)->Arg(2)->Arg(3)->Arg(4)->Arg(6)->Arg(10)->Unit(benchmark::kMicrosecond);

void solveLadybug(benchmark::State& state) { solve(state, ladybug()); }
void certifyLadybug(benchmark::State& state) { certifyFinal(state, ladybug()); }
BENCHMARK(solveLadybug)->Unit(benchmark::kMicrosecond);
BENCHMARK(certifyLadybug)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
