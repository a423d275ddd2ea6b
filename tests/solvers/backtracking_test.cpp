#include "solvers/backtracking.hpp"

#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "model/derivatives.hpp"
#include "tools/synthetic_scene.hpp"

namespace tessmark {
namespace {

class Backtracking : public ::testing::Test {
 protected:
  const Eigen::Vector3d point{0.3, -0.2, 0.1};
  const synthetic::PointData data = synthetic::observePoint(synthetic::cameraRing(4), point);
  const PointProblem problem = data.problem();
};

TEST_F(Backtracking, TakesTheFullStepWhenItDecreasesEnough) {
  const Eigen::Vector3d x = point + Eigen::Vector3d(0.01, 0.0, 0.0);
  const BacktrackingStep step = backtrackCubicDecrease(
      problem, x, point - x, reprojectionCost(problem, x), BacktrackingOptions{0.01, false});
  EXPECT_EQ(step.reductions, 0);
  EXPECT_EQ(step.alpha, 1.0);
  EXPECT_EQ(step.point, point);
  EXPECT_EQ(step.cost, reprojectionCost(problem, point));
}

TEST_F(Backtracking, QuartersTheStepUntilTheCubicTestHolds) {
  // From the optimum, every step increases the cost; a reference above the cost lets a short
  // enough step pass: the first factor with cost < reference - c (alpha |d|)^3.
  const Eigen::Vector3d direction(0.5, 0.5, 0.0);
  const double reference = reprojectionCost(problem, point + 0.01 * direction);
  const BacktrackingStep step =
      backtrackCubicDecrease(problem, point, direction, reference, BacktrackingOptions{});
  EXPECT_GT(step.reductions, 0);
  EXPECT_EQ(step.alpha, std::pow(0.25, step.reductions));
  EXPECT_LT(step.cost, reference);
  EXPECT_GE(reprojectionCost(problem, point + 4.0 * step.alpha * direction), reference);
}

TEST_F(Backtracking, TakesTheTwentiethReductionWhateverItsCost) {
  const Eigen::Vector3d direction(1.0, 0.0, 0.0);
  const double reference = 0.0;  // nothing is ever below it
  for (const bool evaluate : {true, false}) {
    const BacktrackingStep step =
        backtrackCubicDecrease(problem, point, direction, reference, {1e-4, evaluate});
    EXPECT_EQ(step.reductions, 20);
    EXPECT_EQ(step.alpha, std::pow(0.25, 20));
    EXPECT_EQ(step.point, point + std::pow(0.25, 20) * direction);
    EXPECT_EQ(std::isnan(step.cost), !evaluate);
  }
}

TEST_F(Backtracking, NaNCostOrReferenceEndsTheSearchAtOnce) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const BacktrackingStep fromNaN =
      backtrackCubicDecrease(problem, point, Eigen::Vector3d(nan, 0, 0), 1.0, {});
  EXPECT_EQ(fromNaN.reductions, 0);
  EXPECT_TRUE(std::isnan(fromNaN.cost));
  const BacktrackingStep againstNaN =
      backtrackCubicDecrease(problem, point, Eigen::Vector3d(1, 0, 0), nan, {});
  EXPECT_EQ(againstNaN.reductions, 0);
}

}  // namespace
}  // namespace tessmark
