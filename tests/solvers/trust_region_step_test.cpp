#include "solvers/least_squares/trust_region_step.hpp"

#include <cmath>
#include <limits>
#include <ostream>
#include <string>

#include <gtest/gtest.h>

#include "model/derivatives.hpp"

namespace tessmark {
namespace {

using Boundary = TrustRegionBoundary;

double modelValue(const Eigen::Vector3d& g, const Eigen::Matrix3d& b, const Eigen::Vector3d& p) {
  return g.dot(p) + 0.5 * p.dot(b * p);
}

struct SubproblemCase {
  const char* name;
  Eigen::Vector3d gradient;
  Eigen::Matrix3d model;
  double radius;
  Boundary boundary;
  SubproblemEnd end;
  int innerSteps;
  Eigen::Vector3d step;  // expected to 1e-15 relative
};

void PrintTo(const SubproblemCase& c, std::ostream* out) { *out << c.name; }

class TrustRegionStepCases : public ::testing::TestWithParam<SubproblemCase> {};

TEST_P(TrustRegionStepCases, EndAndStep) {
  const SubproblemCase& c = GetParam();
  const SubproblemStep result = trustRegionStep(c.gradient, c.model, c.radius, c.boundary);
  EXPECT_EQ(result.end, c.end);
  EXPECT_EQ(result.innerSteps, c.innerSteps);
  EXPECT_TRUE(result.step.isApprox(c.step, 1e-15) || result.step == c.step)
      << result.step.transpose() << " expected " << c.step.transpose();
}

const Eigen::Matrix3d kIdentity = Eigen::Matrix3d::Identity();
const double kEps = kDblEpsilon;

INSTANTIATE_TEST_SUITE_P(
    Subproblems, TrustRegionStepCases,
    ::testing::Values(
        // g.g = 1e-8 <= 1e-6: no step at all, whatever the model.
        SubproblemCase{"small_gradient",
                       {1e-4, 0, 0},
                       -kIdentity,
                       1.0,
                       Boundary::guarded,
                       SubproblemEnd::smallGradient,
                       0,
                       Eigen::Vector3d::Zero()},
        // B = 2I: the first step is the exact minimiser -g/2, inside the radius.
        SubproblemCase{"interior_minimiser",
                       {1, -2, 2},
                       2.0 * kIdentity,
                       10.0,
                       Boundary::guarded,
                       SubproblemEnd::converged,
                       1,
                       {-0.5, 1, -1}},
        // B = I, |g| = 5, radius 1: the first step -g leaves the ball. Both roots of
        // |p + tau v| = 1 lie behind p (tau = -0.8 and -1.2): the guarded rule replaces the
        // larger, negative root by eps, the plain rule takes it and lands on the boundary.
        SubproblemCase{"leaves_radius_guarded",
                       {3, 4, 0},
                       kIdentity,
                       1.0,
                       Boundary::guarded,
                       SubproblemEnd::leftRegion,
                       1,
                       {-3 * (1 + kEps), -4 * (1 + kEps), 0}},
        SubproblemCase{"leaves_radius_plain",
                       {3, 4, 0},
                       kIdentity,
                       1.0,
                       Boundary::plain,
                       SubproblemEnd::leftRegion,
                       1,
                       {-0.6, -0.8, 0}},
        // B = -I: kappa < 0, alpha = -1 moves p to g, then the boundary step along v = -g to
        // radius 2 (tau = 3): the downhill point of the boundary, by both rules.
        SubproblemCase{"negative_curvature_guarded",
                       {1, 0, 0},
                       -kIdentity,
                       2.0,
                       Boundary::guarded,
                       SubproblemEnd::negativeCurvature,
                       1,
                       {-2, 0, 0}},
        SubproblemCase{"negative_curvature_plain",
                       {1, 0, 0},
                       -kIdentity,
                       2.0,
                       Boundary::plain,
                       SubproblemEnd::negativeCurvature,
                       1,
                       {-2, 0, 0}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TrustRegionStep, NonFiniteModelsEndAtOnceWithANonFiniteStep) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    const char* name;
    Eigen::Vector3d gradient;
    Eigen::Matrix3d model;
  };
  const Case cases[] = {
      // kappa = 0: alpha is infinite and 0 * inf leaves NaN in p, so neither the curvature nor
      // the radius test fires; the NaN model gradient ends the loop.
      {"zero_curvature", {1, 0, 0}, Eigen::Matrix3d::Zero()},
      {"nan_model", {1, 2, 3}, Eigen::Matrix3d::Constant(nan)},
      {"infinite_model", {1, 2, 3}, inf * kIdentity},
      {"infinite_gradient", {inf, 0, 0}, kIdentity},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (const Boundary boundary : {Boundary::guarded, Boundary::plain}) {
      const SubproblemStep result = trustRegionStep(c.gradient, c.model, 1.0, boundary);
      EXPECT_FALSE(result.step.allFinite()) << result.step.transpose();
      EXPECT_LE(result.innerSteps, 2);
    }
  }
}

// Models on which the recurrence v <- (1 + beta) v - q stagnates: q.q stays put while v doubles
// each step. Once v^T B v overflows (some 500 steps in), alpha is 0 and p cannot move: the loop
// ends there with the p it converged to. Left to run, it ended only when v itself overflowed, and
// the 0 * inf of that step left NaN in all, some or none of the components of p, depending on
// which entry of v overflowed first, that is on the last bits of v: the step was then rejected, or
// taken with NaN components, or taken. (The Ladybug model came through finite; the model of the
// hard scene's point 2, at its symmedian start, came out all NaN.)
TEST(TrustRegionStep, StagnatingRecurrenceEndsWithTheStepItConvergedTo) {
  struct Case {
    const char* name;
    Eigen::Vector3d gradient;
    Eigen::Matrix3d model;
    Eigen::Vector3d step;  // the limit of the recurrence, when known (else NaN)
  };
  const double nan = std::numeric_limits<double>::quiet_NaN();
  Eigen::Matrix3d ladybug, hard;
  ladybug << 6204835.1305319062, 7911.2409151592292, 568585.66906504508,  //
      7911.2409151592292, 6200678.2257704046, -67188.157186373079,        //
      568585.66906504508, -67188.157186373079, 57052.656065214971;
  hard << 5157461.9116136935, -35572.016402884736, -809081.1918679931,  //
      -35572.016402884736, 5208169.2387133427, 530818.97158197616,      //
      -809081.1918679931, 530818.97158197616, 192641.66258704395;
  const Case cases[] = {
      {"ladybug",
       {-837591.578546306, -739802.8468163436, -115791.0239124474},
       ladybug,
       Eigen::Vector3d::Constant(nan)},
      {"hard_scene_point_2",
       {-282.54101209689907, -712.82150048874792, -7750.4562594927283},
       hard,
       {0.10274180353654039, -0.065296491009466412, 0.65779786420843067}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (const Boundary boundary : {Boundary::guarded, Boundary::plain}) {
      const SubproblemStep result = trustRegionStep(c.gradient, c.model, 1.0, boundary);
      EXPECT_EQ(result.end, SubproblemEnd::stagnated);
      EXPECT_GT(result.innerSteps, 100);
      EXPECT_LT(result.innerSteps, 700);
      ASSERT_TRUE(result.step.allFinite());
      EXPECT_LE(result.step.norm(), 1.0);
      EXPECT_LT(modelValue(c.gradient, c.model, result.step), 0.0);
      if (c.step.allFinite()) {
        EXPECT_TRUE(result.step.isApprox(c.step, 1e-15)) << result.step.transpose();
      }
    }
  }
}

// An infinite radius (a radius quadrupled past the largest double): no step ever leaves it.
TEST(TrustRegionStep, InfiniteRadiusNeverEndsOnTheBoundary) {
  const double inf = std::numeric_limits<double>::infinity();
  const SubproblemStep result =
      trustRegionStep(Eigen::Vector3d(1, -2, 2), 2.0 * kIdentity, inf, Boundary::guarded);
  EXPECT_EQ(result.end, SubproblemEnd::converged);
  EXPECT_EQ(result.step, Eigen::Vector3d(-0.5, 1, -1));
}

}  // namespace
}  // namespace tessmark
