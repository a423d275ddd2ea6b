#include "solvers/newton/jarratt.hpp"

#include <limits>
#include <ostream>
#include <string>

#include <gtest/gtest.h>
#include <Eigen/LU>

#include "model/diagnostics.hpp"
#include "model/symmedian.hpp"
#include "solvers/menu_settings.hpp"
#include "solvers/newton/newton_raphson.hpp"
#include "tools/synthetic_scene.hpp"

namespace tessmark {
namespace {

struct Variant {
  const char* name;
  const JarrattOptions* options;
  DepthGuard depthGuard;
  const NewtonRaphsonOptions* newtonRaphson;  // the same program's Newton-Raphson
  int newtonRaphsonEntry;                     // loops the Jarratt copy counts that it does not
};
const Variant kVorlant{"vorlant", &kVorlantJarratt, DepthGuard::on, &kVorlantNewtonRaphson, 0};
const Variant kSennic{"sennic", &kSennicJarratt, DepthGuard::off, &kSennicNewtonRaphson, 1};

SolverResult run(const Variant& variant, const PointProblem& problem, const Eigen::Vector3d& start,
                 double epsilon) {
  SolverScratch scratch(problem.viewCount);
  SolverContext context{variant.depthGuard, scratch};
  const SolverResult result = jarratt(problem, context, start, epsilon, *variant.options);
  EXPECT_FALSE(result.hessianModified);
  return result;
}

class JarrattCopies : public ::testing::TestWithParam<const Variant*> {};

// Affine cameras make the cost quadratic: the Hessian is the same everywhere, T = 0 exactly, and
// every Jarratt step is the Newton step.
TEST_P(JarrattCopies, StepsAreNewtonStepsOnAQuadraticCost) {
  const Variant& variant = *GetParam();
  const auto data = synthetic::affineProblem();
  const PointProblem problem = data.problem();
  const Eigen::Vector3d start(1.5, -2.0, 0.7);
  ASSERT_EQ(costHessian(problem, start, variant.depthGuard),
            costHessian(problem, Eigen::Vector3d(-4, 3, 9), variant.depthGuard));

  const SolverResult result = run(variant, problem, start, 1e-12);
  SolverScratch scratch(problem.viewCount);
  SolverContext context{variant.depthGuard, scratch};
  const SolverResult newton = newtonRaphson(problem, context, start, 1e-12, *variant.newtonRaphson);
  EXPECT_EQ(result.point, newton.point);
  EXPECT_EQ(result.loops, newton.loops + variant.newtonRaphsonEntry);
  EXPECT_LE(result.loops, 4);
}

// A start whose gradient is no longer than epsilon is returned untouched with one loop, in both
// copies; so is the exact minimiser. The cap counts the entry: loopCap - 1 steps.
TEST_P(JarrattCopies, CountersFollowTheRules) {
  const Variant& variant = *GetParam();
  const int cap = variant.options->loopCap;
  const auto noisy =
      synthetic::observePoint(synthetic::cameraRing(6), Eigen::Vector3d(0.3, 0.2, -0.4), 0.5, 5);
  const Eigen::Vector3d start = symmedianPoint(noisy.problem());
  const SolverResult untouched = run(variant, noisy.problem(), start, 1e300);
  EXPECT_EQ(untouched.point, start);
  EXPECT_EQ(untouched.loops, 1);

  const auto exact = synthetic::exactlyReprojectingProblem();
  const SolverResult atMinimum = run(variant, exact.problem(), synthetic::kExactPoint, 1e-12);
  EXPECT_EQ(atMinimum.point, synthetic::kExactPoint);
  EXPECT_EQ(atMinimum.loops, 1);
  EXPECT_FALSE(atMinimum.capReached);

  const SolverResult capped =
      run(variant, noisy.problem(), start, std::numeric_limits<double>::denorm_min());
  EXPECT_EQ(capped.loops, cap);
  EXPECT_TRUE(capped.capReached);
  EXPECT_TRUE(capped.point.allFinite());
  EXPECT_LT(costGradient(noisy.problem(), capped.point, variant.depthGuard).norm(), 1e-9);

  // On a camera's principal plane the gradient is not finite, and nor is its length: the first
  // test fails and the start comes back after the entry count.
  const auto data = synthetic::observePoint(synthetic::cameraRing(3), Eigen::Vector3d::Zero());
  const Eigen::Vector3d centre = data.poses.block<3, 1>(0, 6);
  const SolverResult zeroDepth = run(variant, data.problem(), centre, 1e-12);
  EXPECT_EQ(zeroDepth.point, centre);
  EXPECT_EQ(zeroDepth.loops, 1);
}

// A noisy point from a start well away: a minimum, no worse than the start.
TEST_P(JarrattCopies, ReachesTheMinimumFromAFarStart) {
  const Variant& variant = *GetParam();
  const Eigen::Vector3d point(0.3, 0.2, -0.4);
  const auto data = synthetic::observePoint(synthetic::cameraRing(5), point, 1.0, 9);
  const PointProblem problem = data.problem();
  const Eigen::Vector3d start = point + Eigen::Vector3d(2, -1.5, 1);
  const SolverResult result = run(variant, problem, start, 1e-12);
  EXPECT_LT(costGradient(problem, result.point, variant.depthGuard).norm(), 1e-9);
  EXPECT_TRUE(isPositiveSemidefinite(costHessian(problem, result.point, variant.depthGuard)));
  EXPECT_LT((result.point - point).norm(), 0.05);
  EXPECT_LT(result.loops, 20);
}

// One step, against the method's formula evaluated independently (explicit inverses):
// x - [I - (3/4) T + (9/8) T^2] u, u = H^-1 g, T = H^-1 (H(x - (2/3) u) - H).
TEST(Jarratt, OneStepIsTheCorrectedNewtonStep) {
  const auto data =
      synthetic::observePoint(synthetic::cameraRing(4), Eigen::Vector3d(0.3, 0.2, -0.4), 2.0, 4);
  const PointProblem problem = data.problem();
  const Eigen::Vector3d start = symmedianPoint(problem) + Eigen::Vector3d(0.4, 0.3, -0.5);
  const Eigen::Matrix3d h = costHessian(problem, start, DepthGuard::on);
  const Eigen::Vector3d u = h.inverse() * costGradient(problem, start, DepthGuard::on);
  const Eigen::Matrix3d t =
      h.inverse() * (costHessian(problem, start - (2.0 / 3.0) * u, DepthGuard::on) - h);
  ASSERT_GT(t.norm(), 1e-3);  // far enough from quadratic for the correction to show
  const Eigen::Vector3d expected =
      start - (Eigen::Matrix3d::Identity() - 0.75 * t + 1.125 * t * t) * u;

  SolverScratch scratch(problem.viewCount);
  SolverContext context{DepthGuard::on, scratch};
  const SolverResult result = jarratt(problem, context, start, 1e-12, JarrattOptions{.loopCap = 2});
  EXPECT_EQ(result.loops, 2);
  EXPECT_LT((result.point - expected).norm(), 1e-10 * u.norm());
  EXPECT_GT((result.point - (start - u)).norm(), 1e-3 * u.norm());  // not the Newton point
}

INSTANTIATE_TEST_SUITE_P(Programs, JarrattCopies, ::testing::Values(&kVorlant, &kSennic),
                         [](const auto& info) { return std::string(info.param->name); });

}  // namespace
}  // namespace tessmark
