// Every solver of every menu, on the shared synthetic scenes: it converges to the known point, its
// loop count is plausible, its result finite; and the per-point solver's paths, the one the
// programs run (locate, gather, start, solve, judge) included, allocate nothing. Rows without a
// solver are skipped, so the test grows as solvers are wired.

#include <memory>
#include <ostream>
#include <span>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <Eigen/Core>

#include "dataset/point_solver.hpp"
#include "dataset/point_sources.hpp"
#include "model/judgement.hpp"
#include "model/point_workspace.hpp"
#include "model/symmedian.hpp"
#include "solvers/menus.hpp"
#include "tests/support/allocation_counter.hpp"
#include "tools/synthetic_scene.hpp"

namespace tessmark {
namespace {

// The most any solver may count: the .lc Armijo search runs from k = -10 to 1000.
constexpr int kMostLoops = 1010;

const SolverProgram* const kPrograms[] = {&vorlantSolvers(), &sennicSolvers()};

struct Row {
  const SolverProgram* program;
  const MenuEntry* entry;
};

std::vector<Row> solverRows() {
  std::vector<Row> rows;
  for (const SolverProgram* program : kPrograms) {
    for (const MenuEntry& entry : program->menu) {
      if (entry.solver != nullptr) rows.push_back({program, &entry});
    }
  }
  return rows;
}

void PrintTo(const Row& row, std::ostream* out) {
  *out << row.program->name << " key " << row.entry->key;
}

std::string rowName(const ::testing::TestParamInfo<Row>& info) {
  return std::string(info.param.program->name) + "_key_" + info.param.entry->key;
}

class EveryMenuSolver : public ::testing::TestWithParam<Row> {
 protected:
  SolverResult solve(const synthetic::PointData& data, const Eigen::Vector3d& start) {
    SolverScratch scratch(data.viewCount);
    SolverContext context{GetParam().program->depthGuard, scratch};
    return GetParam().entry->solver(data.problem(), context, start, kSolverTolerance);
  }

  // How close to a zero gradient the solver gets on the noisy points. Gauss-Newton with the Armijo
  // search (key 9 of both menus) ends when twenty quarterings of a step find no cost below the
  // reference by 0.01 |step|^3: with image coordinates in the hundreds the cost (about 2 here)
  // carries rounding noise of about 1e-13, which hides steps shorter than about 1e-9, so the search
  // can end that far from the stationary point, where |g| is of order 1e-5.
  static double gradientBound() { return std::string(GetParam().entry->key) == "9" ? 1e-4 : 1e-6; }
};

TEST_P(EveryMenuSolver, ConvergesToTheKnownPointFromAStartNearby) {
  const Eigen::Vector3d point(0.3, 0.2, -0.4);
  const auto data = synthetic::observePoint(synthetic::cameraRing(6), point);
  const SolverResult result = solve(data, point + Eigen::Vector3d(0.05, -0.04, 0.03));
  ASSERT_TRUE(result.point.allFinite());
  EXPECT_LT((result.point - point).norm(), 1e-6);
  EXPECT_LT(reprojectionCost(data.problem(), result.point), 1e-10);
  EXPECT_GE(result.loops, 1);
  EXPECT_LE(result.loops, kMostLoops);
}

TEST_P(EveryMenuSolver, FindsTheOptimumOfNoisyObservations) {
  const std::vector<synthetic::SceneCamera> cameras = synthetic::cameraRing(5);
  for (unsigned seed = 1; seed <= 4; ++seed) {
    SCOPED_TRACE(seed);
    const auto data = synthetic::observePoint(cameras, Eigen::Vector3d(-0.2, 0.4, 0.1), 0.5, seed);
    const PointProblem problem = data.problem();
    const Eigen::Vector3d start = symmedianPoint(problem);
    const SolverResult result = solve(data, start);
    ASSERT_TRUE(result.point.allFinite());
    // The optimum: zero gradient, and no worse than the start.
    EXPECT_LT(costGradient(problem, result.point, DepthGuard::off).norm(), gradientBound());
    EXPECT_LE(reprojectionCost(problem, result.point), reprojectionCost(problem, start));
    EXPECT_GE(result.loops, 1);
    EXPECT_LE(result.loops, kMostLoops);
  }
}

INSTANTIATE_TEST_SUITE_P(Menus, EveryMenuSolver, ::testing::ValuesIn(solverRows()), rowName);

constexpr int kCameras = 12;
constexpr int kPoints = 40;

// Point p of the data sets below: seen by 1 + p % 10 cameras of a ring of twelve (a single view
// included), half a pixel off.
Eigen::Vector3d scenePoint(int p) {
  return Eigen::Vector3d(0.1 * (p % 5), -0.05 * (p % 7), 0.02 * p - 0.3);
}
int sceneCamera(int p, int v) { return (p + v) % kCameras; }
Eigen::Vector2d sceneImage(const synthetic::SceneCamera& camera, int p, int v) {
  return synthetic::project(camera.matrix, scenePoint(p)) +
         Eigen::Vector2d(0.3, -0.4) * (v % 2 == 0 ? 1.0 : -1.0);
}

// The BAL program's point source over that data set: the ring's tables, observations grouped by
// point.
std::unique_ptr<BalPointSource> balScene() {
  const auto cameras = synthetic::cameraRing(kCameras);
  auto source = std::make_unique<BalPointSource>();
  Eigen::MatrixXd projections(3 * kCameras, 4);
  Eigen::MatrixXd poses(3 * kCameras, 7);
  for (int c = 0; c < kCameras; ++c) {
    projections.middleRows<3>(3 * c) = cameras[c].matrix;
    poses.block<3, 3>(3 * c, 0) = cameras[c].calibration;
    poses.block<3, 3>(3 * c, 3) = cameras[c].rotation;
    poses.block<3, 1>(3 * c, 6) = cameras[c].centre;
  }
  source->tables = buildCameraTables(projections, poses, kCameras);

  BalProblem& bal = source->problem;
  bal.cameraNum = kCameras;
  bal.pointNum = kPoints;
  std::vector<Eigen::Vector2d> images;
  for (int p = 0; p < kPoints; ++p) {
    source->observationIndex.viewStart.push_back(static_cast<int>(images.size()));
    source->observationIndex.viewNum.push_back(1 + p % 10);
    for (int v = 0; v < 1 + p % 10; ++v) {
      bal.observationCamera.push_back(sceneCamera(p, v));
      bal.observationPoint.push_back(p);
      images.push_back(sceneImage(cameras[sceneCamera(p, v)], p, v));
    }
  }
  bal.imageCoordinates = static_cast<int>(images.size());
  bal.observationTable.resize(bal.imageCoordinates, 2);
  for (int o = 0; o < bal.imageCoordinates; ++o) bal.observationTable.row(o) = images[o];
  return source;
}

// The .lc program's point source over the same data set: the ring's matrices (scaled, as .lc files
// store them) decomposed by the program's pretreatment, a dense table with -1 -1 for the rest.
std::unique_ptr<LcPointSource> lcScene() {
  const auto cameras = synthetic::cameraRing(kCameras);
  auto source = std::make_unique<LcPointSource>();
  LcProblem& lc = source->problem;
  lc.allCameraNum = kCameras;
  lc.pointNum = kPoints;
  lc.cameraProjections.resize(3 * kCameras, 4);
  for (int c = 0; c < kCameras; ++c) {
    lc.cameraProjections.middleRows<3>(3 * c) = (0.01 + 0.002 * c) * cameras[c].matrix;
  }
  lc.lcObservations.assign(lc.rowLength() * kPoints, kMissingView);
  for (int p = 0; p < kPoints; ++p) {
    for (int v = 0; v < 1 + p % 10; ++v) {
      const int c = sceneCamera(p, v);
      const Eigen::Vector2d image = sceneImage(cameras[c], p, v);
      lc.lcObservations[p * lc.rowLength() + 2 * c] = image(0);
      lc.lcObservations[p * lc.rowLength() + 2 * c + 1] = image(1);
    }
  }
  source->visibility = indexLcObservations(lc);
  std::vector<int> rankDeficient;
  source->tables = pretreatLcCameras(lc, rankDeficient);
  return source;
}

TEST(AllocationCounter, SeesEigenAndStandardAllocations) {
  const testing::AllocationScope allocations;
  auto* vector = new Eigen::VectorXd(Eigen::VectorXd::Ones(100));
  auto* list = new std::vector<int>(10, 1);
  EXPECT_DOUBLE_EQ(vector->sum() + list->back(), 101.0);
  delete list;
  delete vector;
  EXPECT_GE(allocations.count(), 4u);
}

// The per-point solver of the program that owns the menu row, through that program's own point
// source: the programs' path, the comparison's (from a start) and the library's (a point gathered
// already).
TEST_P(EveryMenuSolver, PointSolverPathsAllocateNothing) {
  const SolverProgram& program = *GetParam().program;
  std::unique_ptr<PointSource> source;
  if (&program == &vorlantSolvers()) source = balScene();
  if (&program == &sennicSolvers()) source = lcScene();
  ASSERT_NE(source, nullptr) << program.name;
  PointWorkspace workspace(10);
  PointSolver solver(program, *GetParam().entry, workspace);
  double costs = 0.0;
  int views = 0;
  const testing::AllocationScope allocations;
  for (int p = 0; p < kPoints; ++p) {
    const PointOutcome outcome = solver.triangulate(*source, p);
    const PointOutcome from = solver.triangulateFrom(*source, p, outcome.start);
    const PointOutcome gathered = solver.triangulate(workspace.problem(outcome.viewCount));
    costs += outcome.judgement.reprojError_f + from.judgement.reprojError_f +
             gathered.judgement.reprojError_f;
    views += outcome.viewCount;
  }
  EXPECT_EQ(allocations.count(), 0u);
  EXPECT_GT(costs, 0.0);
  EXPECT_EQ(views, 4 * (1 + 2 + 3 + 4 + 5 + 6 + 7 + 8 + 9 + 10));
}

}  // namespace
}  // namespace tessmark
