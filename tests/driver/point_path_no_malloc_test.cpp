// The per-point path allocates nothing: with EIGEN_RUNTIME_NO_MALLOC, any Eigen heap allocation
// while allocations are forbidden fails an assertion and ends the test.

#include <gtest/gtest.h>
#include <Eigen/Core>

#include "driver/point_judgement.hpp"
#include "driver/point_workspace.hpp"
#include "model/coefficients.hpp"
#include "model/symmedian.hpp"
#include "solvers/newton/newton_raphson.hpp"
#include "tests/support/synthetic_scene.hpp"

namespace tessmark {
namespace {

TEST(PointPath, GatherStartSolveAndJudgeAllocateNothing) {
  // Twelve cameras; point p seen by 2 + p % 9 of them, observations grouped by point.
  const auto cameras = testing::cameraRing(12);
  CameraTables tables;
  tables.cameraProjections.resize(3 * 12, 4);
  tables.cameraPoses.resize(3 * 12, 7);
  for (int c = 0; c < 12; ++c) {
    tables.cameraProjections.middleRows<3>(3 * c) = cameras[c].matrix;
    tables.cameraPoses.block<3, 3>(3 * c, 0) = cameras[c].calibration;
    tables.cameraPoses.block<3, 3>(3 * c, 3) = cameras[c].rotation;
    tables.cameraPoses.block<3, 1>(3 * c, 6) = cameras[c].centre;
  }
  tables.cameraJacobianCoefficients = buildJacobianCoefficients(12, tables.cameraProjections);
  tables.cameraCurvatureCoefficients = buildCurvatureCoefficients(12, tables.cameraProjections);

  BalProblem bal;
  bal.cameraNum = 12;
  bal.pointNum = 30;
  ObservationIndex index;
  std::vector<Eigen::Vector2d> images;
  for (int p = 0; p < bal.pointNum; ++p) {
    const Eigen::Vector3d point(0.1 * (p % 5), -0.05 * (p % 7), 0.02 * p - 0.3);
    index.viewStart.push_back(static_cast<int>(images.size()));
    index.viewNum.push_back(2 + p % 9);
    for (int v = 0; v < 2 + p % 9; ++v) {
      const int c = (p + v) % 12;
      bal.observationCamera.push_back(c);
      bal.observationPoint.push_back(p);
      images.push_back(testing::project(cameras[c].matrix, point) + Eigen::Vector2d(0.3, -0.4));
    }
  }
  bal.imageCoordinates = static_cast<int>(images.size());
  bal.observationTable.resize(bal.imageCoordinates, 2);
  for (int o = 0; o < bal.imageCoordinates; ++o)
    bal.observationTable.row(o) = images[o].transpose();

  PointWorkspace workspace(10);
  int notPositiveDefinite = 0;
  double costs = 0.0;
  Eigen::internal::set_is_malloc_allowed(false);
  for (int p = 0; p < bal.pointNum; ++p) {
    int loopCounter = 0;
    const int n = gatherBalPoint(workspace, bal, index, tables, p);
    const PointProblem problem = workspace.problem(n);
    const Eigen::Vector3d x_m = symmedianPoint(problem);
    SolverContext context{kVorlantSolverRules, loopCounter, notPositiveDefinite};
    const Eigen::Vector3d x_f = newtonRaphson(problem, context, x_m, 1e-12);
    const PointJudgement judgement = judgePoint(problem, x_m, x_f, DepthGuard::on);
    costs += judgement.reprojError_f;
  }
  Eigen::internal::set_is_malloc_allowed(true);
  EXPECT_GT(costs, 0.0);
}

}  // namespace
}  // namespace tessmark
