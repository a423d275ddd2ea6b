// The least-squares family of both programs: Gauss-Newton, trust region, Armijo and the three
// Levenberg-Marquardt variants, each copy as its menu row binds it.

#include <cmath>
#include <limits>
#include <optional>
#include <ostream>
#include <string>

#include <gtest/gtest.h>

#include "model/symmedian.hpp"
#include "solvers/least_squares/armijo.hpp"
#include "solvers/least_squares/fan.hpp"
#include "solvers/least_squares/gauss_newton.hpp"
#include "solvers/least_squares/levenberg_marquardt.hpp"
#include "solvers/least_squares/trust_region.hpp"
#include "solvers/least_squares/yamashita_fukushima.hpp"
#include "solvers/menu_settings.hpp"
#include "tools/synthetic_scene.hpp"

namespace tessmark {
namespace {

struct Variant {
  const char* name;
  SolverFunction solve;
  DepthGuard depthGuard;
  int mostLoops;                        // the copy's cap on iterations
  std::optional<int> zeroEpsilonLoops;  // when epsilon = 0 stops the loop before its body
};

SolverResult run(const Variant& variant, const PointProblem& problem, const Eigen::Vector3d& start,
                 double epsilon) {
  SolverScratch scratch(problem.viewCount);
  SolverContext context{variant.depthGuard, scratch};
  return variant.solve(problem, context, start, epsilon);
}

void PrintTo(const Variant& v, std::ostream* out) { *out << v.name; }

const Variant kVariants[] = {
    {"vorlant_gauss_newton", withOptions<gaussNewton, kVorlantGaussNewton>, DepthGuard::on, 1000,
     std::nullopt},
    {"sennic_gauss_newton", withOptions<fullStepGaussNewton, kSennicGaussNewton>, DepthGuard::off,
     500, std::nullopt},
    {"vorlant_trust_region", withOptions<gaussNewtonTrustRegion, kVorlantTrustRegion>,
     DepthGuard::on, 1000, 0},
    {"sennic_trust_region", withOptions<gaussNewtonTrustRegion, kSennicTrustRegion>,
     DepthGuard::off, 500, 0},
    {"sennic_default_trust_region",
     withOptions<startReferencedTrustRegion, kSennicDefaultTrustRegion>, DepthGuard::off, 500, 0},
    {"vorlant_armijo", withOptions<gaussNewtonArmijo, kVorlantArmijo>, DepthGuard::on, 1000, 0},
    {"sennic_armijo", withOptions<gaussNewtonArmijo, kSennicArmijo>, DepthGuard::off, 1010, 0},
    {"vorlant_levenberg_marquardt", withOptions<levenbergMarquardt, kVorlantLevenbergMarquardt>,
     DepthGuard::on, 1000, std::nullopt},
    {"sennic_levenberg_marquardt", withOptions<levenbergMarquardt, kSennicLevenbergMarquardt>,
     DepthGuard::off, 500, std::nullopt},
    {"vorlant_yamashita_fukushima", withOptions<levenbergMarquardt, kVorlantYamashitaFukushima>,
     DepthGuard::on, 1000, std::nullopt},
    {"sennic_yamashita_fukushima", withOptions<gatedYamashitaFukushima, kSennicYamashitaFukushima>,
     DepthGuard::off, 500, std::nullopt},
    {"vorlant_fan", withOptions<levenbergMarquardtFan, kVorlantFan>, DepthGuard::on, 1000,
     std::nullopt},
    {"sennic_fan", withOptions<levenbergMarquardtFan, kSennicFan>, DepthGuard::off, 500,
     std::nullopt},
};

class LeastSquaresSolvers : public ::testing::TestWithParam<Variant> {};

// Every residual exactly zero: every copy takes one zero step and returns the start. (Gauss-Newton
// with the line factor would form alpha = 0/0 there; a zero step leaves x as it is instead.)
TEST_P(LeastSquaresSolvers, ZeroResidualStartIsReturnedAfterOneIteration) {
  const auto exact = synthetic::exactlyReprojectingProblem();
  const SolverResult result = run(GetParam(), exact.problem(), synthetic::kExactPoint, 1e-12);
  EXPECT_EQ(result.point, synthetic::kExactPoint);
  EXPECT_EQ(result.loops, 1);
}

// A single view: J is 2 x 3, of rank 2 at most, and the minimum is a whole ray. Nothing breaks: the
// result is finite, no worse than the start, and the count within the cap.
TEST_P(LeastSquaresSolvers, SingleViewIsRankDeficientButHarmless) {
  const auto data = synthetic::observePoint(synthetic::cameraRing(1), Eigen::Vector3d(0.2, 0.1, 0));
  const Eigen::Vector3d start(0.5, -0.3, 0.4);
  const SolverResult result = run(GetParam(), data.problem(), start, 1e-12);
  ASSERT_TRUE(result.point.allFinite()) << result.point.transpose();
  EXPECT_LE(reprojectionCost(data.problem(), result.point),
            reprojectionCost(data.problem(), start));
  EXPECT_GE(result.loops, 1);
  EXPECT_LE(result.loops, GetParam().mostLoops);
}

// Near a noisy optimum the steps are rounding noise, never exactly zero: the smallest positive
// tolerance is never met and the copy runs to its own cap (1010 for the .lc Armijo copy, whose
// index starts at -10). The trust-region copies run to theirs too: while no trust-region step has
// been taken, their cost drop is the total decrease since the start, which stays positive. Fan's
// copies reject the noise steps there, raising lambda eightfold each time, until d1 underflows to
// exactly zero: they may stop before the cap, but only after a long run of rejections.
TEST_P(LeastSquaresSolvers, UnreachableToleranceRunsToTheCap) {
  const auto noisy =
      synthetic::observePoint(synthetic::cameraRing(6), Eigen::Vector3d(0.3, 0.2, -0.4), 0.5, 5);
  const PointProblem problem = noisy.problem();
  const SolverResult result =
      run(GetParam(), problem, symmedianPoint(problem), std::numeric_limits<double>::denorm_min());
  ASSERT_TRUE(result.point.allFinite());
  if (std::string(GetParam().name).ends_with("_fan")) {
    EXPECT_GT(result.loops, 100);
    EXPECT_LE(result.loops, GetParam().mostLoops);
    EXPECT_EQ(result.capReached, result.loops == GetParam().mostLoops);
  } else {
    EXPECT_EQ(result.loops, GetParam().mostLoops);
    EXPECT_TRUE(result.capReached);
  }
}

// A start at a camera centre: the depth in that view is exactly zero and its residuals are
// non-finite. The call returns within its cap and the breakdown shows in the result: a non-finite
// point, except for Fan's copies, whose ratio is then NaN, so the step is rejected, the start
// returned, and the NaN first-stage length ends the loop at once.
TEST_P(LeastSquaresSolvers, ZeroDepthStartEndsWithTheBreakdownInTheResult) {
  const auto data = synthetic::observePoint(synthetic::cameraRing(3), Eigen::Vector3d::Zero());
  const Eigen::Vector3d start = data.poses.block<3, 1>(0, 6);
  const SolverResult result = run(GetParam(), data.problem(), start, 1e-12);
  if (std::string(GetParam().name).ends_with("_fan")) {
    EXPECT_EQ(result.point, start);
    EXPECT_EQ(result.loops, 1);
    return;
  }
  EXPECT_FALSE(result.point.allFinite()) << result.point.transpose();
  EXPECT_GE(result.loops, GetParam().zeroEpsilonLoops ? 0 : 1);
  EXPECT_LE(result.loops, GetParam().mostLoops);
}

// epsilon = 0: the copies that test before their first iteration return the start untouched.
TEST_P(LeastSquaresSolvers, ZeroEpsilonSkipsTheLoopWhereTheTestComesFirst) {
  if (!GetParam().zeroEpsilonLoops) GTEST_SKIP() << "the body runs at least once";
  const auto data = synthetic::observePoint(synthetic::cameraRing(4), Eigen::Vector3d::Zero(), 0.5);
  const Eigen::Vector3d start(0.1, 0.2, 0.3);
  const SolverResult result = run(GetParam(), data.problem(), start, 0.0);
  EXPECT_EQ(result.point, start);
  EXPECT_EQ(result.loops, *GetParam().zeroEpsilonLoops);
}

// A start far off (a tenth of the ring's radius away): every copy still reaches the optimum.
TEST_P(LeastSquaresSolvers, ReachesTheOptimumFromAFarStart) {
  const auto data =
      synthetic::observePoint(synthetic::cameraRing(6), Eigen::Vector3d(0.3, 0.2, -0.4), 0.5, 3);
  const PointProblem problem = data.problem();
  const SolverResult reference = run(kVariants[2], problem, symmedianPoint(problem), 1e-12);
  const SolverResult result = run(GetParam(), problem, Eigen::Vector3d(1.0, -0.5, 0.4), 1e-12);
  ASSERT_TRUE(result.point.allFinite());
  EXPECT_LT((result.point - reference.point).norm(), 1e-7);
}

INSTANTIATE_TEST_SUITE_P(Copies, LeastSquaresSolvers, ::testing::ValuesIn(kVariants),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Solver by solver ---------------------------------------------------------------------------

struct NoisyPoint : ::testing::Test {
  const synthetic::PointData data =
      synthetic::observePoint(synthetic::cameraRing(5), Eigen::Vector3d(-0.2, 0.4, 0.1), 0.5, 2);
  const PointProblem problem = data.problem();
  const Eigen::Vector3d start = symmedianPoint(problem) + Eigen::Vector3d(0.05, -0.03, 0.04);

  template <auto solve, typename Options>
  Eigen::Vector3d firstIterate(const Options& options, DepthGuard guard = DepthGuard::on) {
    SolverScratch scratch(problem.viewCount);
    SolverContext context{guard, scratch};
    Options once = options;
    once.loopCap = 1;
    if constexpr (requires { once.firstIteration; }) once.firstIteration = 0;
    return solve(problem, context, start, 1e-12, once).point;
  }
};

// alpha = -(g.d) / d^T J^T J d is -1 up to rounding: the line-factor copy steps as full
// Gauss-Newton.
TEST_F(NoisyPoint, LineFactorGaussNewtonTakesTheGaussNewtonStep) {
  const Eigen::Vector3d withFactor = firstIterate<gaussNewton>(kVorlantGaussNewton);
  const Eigen::Vector3d fullStep = firstIterate<fullStepGaussNewton>(kSennicGaussNewton);
  EXPECT_NE(withFactor, start);
  EXPECT_LT((withFactor - fullStep).norm(), 1e-12 * (fullStep - start).norm());
}

// A full Gauss-Newton step that lowers the cost enough is taken whole by the Armijo search.
TEST_F(NoisyPoint, ArmijoTakesAGoodFullStep) {
  const Eigen::Vector3d fullStep = firstIterate<fullStepGaussNewton>(kSennicGaussNewton);
  for (const ArmijoOptions* options : {&kVorlantArmijo, &kSennicArmijo}) {
    const Eigen::Vector3d armijo = firstIterate<gaussNewtonArmijo>(*options);
    EXPECT_LT((armijo - fullStep).norm(), 1e-12 * (fullStep - start).norm());
  }
}

// With mu = r.r far larger than J^T J, the first damped step is far shorter than Gauss-Newton's.
TEST(LevenbergMarquardt, LargeResidualsDampTheFirstStep) {
  const auto data =
      synthetic::observePoint(synthetic::cameraRing(6), Eigen::Vector3d(0.3, 0.2, -0.4), 0.5, 3);
  const PointProblem problem = data.problem();
  const Eigen::Vector3d start(3.0, -1.5, 1.2);  // residuals of hundreds of pixels
  SolverScratch scratch(problem.viewCount);
  SolverContext context{DepthGuard::on, scratch};
  const Eigen::Vector3d damped =
      levenbergMarquardt(problem, context, start, 1e-12, {.loopCap = 1}).point;
  const Eigen::Vector3d full =
      fullStepGaussNewton(problem, context, start, 1e-12, {.loopCap = 1}).point;
  EXPECT_LT((damped - start).norm(), 0.1 * (full - start).norm());
  EXPECT_GT((damped - start).norm(), 0.0);
}

struct DampingCase {
  double lambda, rho, expected;
};

TEST(Fan, DampingFactorFollowsTheRatio) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const DampingCase cases[] = {
      {0.001, 0.2, 0.008},                      // poor step: eightfold
      {0.001, -inf, 0.008},                     // predicted 0 with a loss: rejected, raised
      {0.001, 0.6, 0.001},                      // fair step: unchanged
      {0.001, 0.5, 0.001},                      // the band is closed at both ends
      {0.001, 0.7, 0.001},  {0.001, 0.9, 0.5},  // very good step from the start value: the floor
      {0.001, inf, 0.5},    // predicted 0 with a gain: accepted, reduced to the floor
      {64.0, 0.9, 8.0},     // reduced above the floor
      {4.0, 0.9, 0.5},      // reduced exactly onto the floor
      {0.001, nan, 0.001},  // NaN: unchanged
  };
  for (const DampingCase& c : cases) {
    EXPECT_EQ(fanDampingFactor(c.lambda, c.rho), c.expected) << c.lambda << " at rho " << c.rho;
  }
  // A run of rejections: 0.001 * 8^m.
  double lambda = 0.001;
  for (int m = 1; m <= 5; ++m) {
    lambda = fanDampingFactor(lambda, 0.0);
    EXPECT_DOUBLE_EQ(lambda, 0.001 * std::pow(8.0, m));
  }
}

// A start outside the ring of cameras, behind some of them, where the exact Hessian is a poor
// model: the first two iterations are rejected (x unchanged) while the damping grows eightfold
// each time, the third is taken, and the run still reaches the optimum.
TEST(Fan, RejectedIterationsKeepThePointAndGrowTheDamping) {
  const auto data =
      synthetic::observePoint(synthetic::cameraRing(6), Eigen::Vector3d(0.3, 0.2, -0.4), 0.5, 3);
  const PointProblem problem = data.problem();
  SolverScratch scratch(problem.viewCount);
  SolverContext context{DepthGuard::on, scratch};
  const Eigen::Vector3d start(-8.0, -7.0, -1.0);
  for (const int iterations : {1, 2}) {
    EXPECT_EQ(levenbergMarquardtFan(problem, context, start, 1e-12, {.loopCap = iterations}).point,
              start);
  }
  EXPECT_NE(levenbergMarquardtFan(problem, context, start, 1e-12, {.loopCap = 3}).point, start);
  const SolverResult full = levenbergMarquardtFan(problem, context, start, 1e-12, kVorlantFan);
  const SolverResult reference =
      gaussNewtonTrustRegion(problem, context, symmedianPoint(problem), 1e-12, kVorlantTrustRegion);
  EXPECT_LT((full.point - reference.point).norm(), 1e-7);
}

}  // namespace
}  // namespace tessmark
