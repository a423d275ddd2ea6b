// Every solver of every menu, on the shared synthetic scenes: it converges to the known point, its
// loop count is plausible, its result finite; and the per-point path (gather, start, solve, judge)
// allocates nothing. Rows without a solver are skipped, so the test grows as solvers are wired.

#include <ostream>
#include <span>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <Eigen/Core>

#include "driver/menu.hpp"
#include "input/bal_pretreatment.hpp"
#include "model/judgement.hpp"
#include "model/point_workspace.hpp"
#include "model/symmedian.hpp"
#include "tests/support/allocation_counter.hpp"
#include "tools/synthetic_scene.hpp"

namespace tessmark {
namespace {

// The most any solver may count: the .lc Armijo search runs from k = -10 to 1000.
constexpr int kMostLoops = 1010;

struct Program {
  const char* name;
  std::span<const MenuEntry> menu;
  DepthGuard depthGuard;
  JudgementRules judgement;
};

const Program kPrograms[] = {
    {"vorlant",
     vorlantMenu(),
     DepthGuard::on,
     {DepthGuard::on, KlcMeasure::newtonStep, KlcTests::asNamed}},
    {"sennic",
     sennicMenu(),
     DepthGuard::off,
     {DepthGuard::off, KlcMeasure::curvatureScaledStep, KlcTests::traded}},
};

struct Row {
  const Program* program;
  const MenuEntry* entry;
};

std::vector<Row> solverRows() {
  std::vector<Row> rows;
  for (const Program& program : kPrograms) {
    for (const MenuEntry& entry : program.menu) {
      if (entry.solver != nullptr) rows.push_back({&program, &entry});
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
    return GetParam().entry->solver(data.problem(), context, start, 1e-12);
  }

  // How close to a zero gradient the solver gets on the noisy points. Gauss-Newton with the Armijo
  // search (key 9 of both menus) ends when twenty quarterings of a step find no cost below the
  // reference by 0.01 |step|^3: with image coordinates in the hundreds the cost (about 2 here)
  // carries rounding noise of about 1e-13, which hides steps shorter than about 1e-9, so the search
  // can end that far from the stationary point, where |g| is of order 1e-5.
  static double gradientBound() {
    return std::string(GetParam().entry->key) == "9" ? 1e-4 : 1e-6;
  }
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

// A BAL-shaped data set: twelve cameras on a ring, point p seen by 1 + p % 10 of them (a single
// view included), observations grouped by point, half a pixel off.
struct BalScene {
  BalScene() {
    const auto cameras = synthetic::cameraRing(kCameras);
    tables.cameraProjections.resize(3 * kCameras, 4);
    tables.cameraPoses.resize(3 * kCameras, 7);
    for (int c = 0; c < kCameras; ++c) {
      tables.cameraProjections.middleRows<3>(3 * c) = cameras[c].matrix;
      tables.cameraPoses.block<3, 3>(3 * c, 0) = cameras[c].calibration;
      tables.cameraPoses.block<3, 3>(3 * c, 3) = cameras[c].rotation;
      tables.cameraPoses.block<3, 1>(3 * c, 6) = cameras[c].centre;
    }
    buildCoefficientTables(tables, kCameras);

    bal.cameraNum = kCameras;
    bal.pointNum = 40;
    std::vector<Eigen::Vector2d> images;
    for (int p = 0; p < bal.pointNum; ++p) {
      const Eigen::Vector3d point(0.1 * (p % 5), -0.05 * (p % 7), 0.02 * p - 0.3);
      index.viewStart.push_back(static_cast<int>(images.size()));
      index.viewNum.push_back(1 + p % 10);
      for (int v = 0; v < 1 + p % 10; ++v) {
        const int c = (p + v) % kCameras;
        bal.observationCamera.push_back(c);
        bal.observationPoint.push_back(p);
        images.push_back(synthetic::project(cameras[c].matrix, point) +
                         Eigen::Vector2d(0.3, -0.4) * (v % 2 == 0 ? 1.0 : -1.0));
      }
    }
    bal.imageCoordinates = static_cast<int>(images.size());
    bal.observationTable.resize(bal.imageCoordinates, 2);
    for (int o = 0; o < bal.imageCoordinates; ++o) bal.observationTable.row(o) = images[o];
  }

  static constexpr int kCameras = 12;
  CameraTables tables;
  BalProblem bal;
  ObservationIndex index;
};

TEST(AllocationCounter, SeesEigenAndStandardAllocations) {
  const testing::AllocationScope allocations;
  auto* vector = new Eigen::VectorXd(Eigen::VectorXd::Ones(100));
  auto* list = new std::vector<int>(10, 1);
  EXPECT_DOUBLE_EQ(vector->sum() + list->back(), 101.0);
  delete list;
  delete vector;
  EXPECT_GE(allocations.count(), 4u);
}

TEST_P(EveryMenuSolver, GatherStartSolveAndJudgeAllocateNothing) {
  const BalScene scene;
  const Program& program = *GetParam().program;
  PointWorkspace workspace(largestViewCount(scene.index.viewNum));
  double costs = 0.0;
  const testing::AllocationScope allocations;
  for (int p = 0; p < scene.bal.pointNum; ++p) {
    const int n = gatherBalPoint(workspace, scene.bal, scene.index, scene.tables, p);
    const PointProblem problem = workspace.problem(n);
    const Eigen::Vector3d x_m = symmedianPoint(problem);
    SolverContext context{program.depthGuard, workspace.scratch};
    const SolverResult result = GetParam().entry->solver(problem, context, x_m, 1e-12);
    costs += judgePoint(problem, x_m, result.point, program.judgement).reprojError_f;
  }
  EXPECT_EQ(allocations.count(), 0u);
  EXPECT_GT(costs, 0.0);
}

}  // namespace
}  // namespace tessmark
