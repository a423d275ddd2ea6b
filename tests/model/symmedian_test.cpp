#include "model/symmedian.hpp"

#include <gtest/gtest.h>

#include "model/derivatives.hpp"
#include "tools/synthetic_scene.hpp"

namespace tessmark {
namespace {

using synthetic::PointData;

// Views given directly by their pose blocks: identity calibration and rotation, so the ray of view
// v leaves centres[v] in the direction (u, v, 1) of its observation.
PointData rayProblem(const std::vector<Eigen::Vector3d>& centres,
                     const std::vector<Eigen::Vector2d>& images) {
  std::vector<synthetic::SceneCamera> cameras;
  Eigen::VectorXd observations(2 * centres.size());
  for (std::size_t v = 0; v < centres.size(); ++v) {
    Eigen::Matrix<double, 3, 4> matrix;
    matrix << Eigen::Matrix3d::Identity(), -centres[v];
    cameras.push_back(
        {Eigen::Matrix3d::Identity(), Eigen::Matrix3d::Identity(), centres[v], matrix});
    observations.segment<2>(2 * v) = images[v];
  }
  return synthetic::pointData(cameras, observations);
}

TEST(SymmedianPoint, RaysMeetingInOnePointGiveThatPoint) {
  const Eigen::Vector3d point(0.4, -0.3, 0.25);
  const PointData data = synthetic::observePoint(synthetic::cameraRing(3), point);
  const Eigen::Vector3d start = symmedianPoint(data.problem());
  EXPECT_TRUE(start.isApprox(point, 1e-10)) << start.transpose();
  EXPECT_NEAR(reprojectionCost(data.problem(), start), 0.0, 1e-12);
}

TEST(SymmedianPoint, TwoSkewRaysGiveMidpointOfCommonPerpendicular) {
  // Ray 1 is the z axis; ray 2 is (t, 2, t). Their common perpendicular joins (0,0,0) and (0,2,0).
  const PointData data = rayProblem({{0, 0, 0}, {0, 2, 0}}, {{0, 0}, {1, 0}});
  EXPECT_TRUE(symmedianPoint(data.problem()).isApprox(Eigen::Vector3d(0, 1, 0), 1e-12));
}

TEST(SymmedianPoint, DegenerateRaysTakeTheLeastSquaresFallback) {
  // One view along the z axis from (3, -1, 2): every point of the ray fits; the minimum-norm one is
  // (3, -1, 0).
  const PointData single = rayProblem({{3, -1, 2}}, {{0, 0}});
  EXPECT_TRUE(symmedianPoint(single.problem()).isApprox(Eigen::Vector3d(3, -1, 0), 1e-12));
  // Two parallel rays along z, at x = 0 and x = 2: the midline x = 1, minimum norm at z = 0.
  const PointData parallel = rayProblem({{0, 0, 0}, {2, 0, 5}}, {{0, 0}, {0, 0}});
  EXPECT_TRUE(symmedianPoint(parallel.problem()).isApprox(Eigen::Vector3d(1, 0, 0), 1e-12));
}

TEST(SymmedianPoint, ViewOrderChangesOnlyRounding) {
  auto cameras = synthetic::cameraRing(5);
  const Eigen::Vector3d point(0.1, 0.2, -0.3);
  const Eigen::Vector3d forward =
      symmedianPoint(synthetic::observePoint(cameras, point, 1.0, 3).problem());
  std::reverse(cameras.begin(), cameras.end());
  // Same noise per camera: observePoint draws noise in view order, so rebuild from the forward
  // data.
  const PointData original = synthetic::observePoint(synthetic::cameraRing(5), point, 1.0, 3);
  Eigen::VectorXd reversed(original.observations.size());
  for (int v = 0; v < 5; ++v)
    reversed.segment<2>(2 * v) = original.observations.segment<2>(2 * (4 - v));
  const Eigen::Vector3d backward =
      symmedianPoint(synthetic::pointData(cameras, reversed).problem());
  EXPECT_TRUE(forward.isApprox(backward, 1e-12));
  EXPECT_GT((forward - point).norm(), 0.0);
}

}  // namespace
}  // namespace tessmark
