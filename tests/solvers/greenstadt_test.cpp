#include "solvers/newton/greenstadt.hpp"

#include <cmath>
#include <limits>
#include <ostream>
#include <string>

#include <gtest/gtest.h>
#include <Eigen/Eigenvalues>
#include <Eigen/Geometry>

#include "model/diagnostics.hpp"
#include "model/symmedian.hpp"
#include "solvers/menu_settings.hpp"
#include "solvers/newton/newton_raphson.hpp"
#include "tools/synthetic_scene.hpp"

namespace tessmark {
namespace {

constexpr double kEps = kDblEpsilon;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// Entries equal, NaN matching NaN.
bool sameEntries(const Eigen::Matrix3d& a, const Eigen::Matrix3d& b) {
  return ((a.array() == b.array()) || (a.array().isNaN() && b.array().isNaN())).all();
}

// ---- The modification ---------------------------------------------------------------------------

struct ModificationCase {
  const char* name;
  Eigen::Matrix3d hessian;
  const GreenstadtOptions* options;
  bool modified;
  Eigen::Matrix3d expected;  // the matrix returned
};

void PrintTo(const ModificationCase& c, std::ostream* out) { *out << c.name; }

Eigen::Matrix3d diagonal(double a, double b, double c) {
  return Eigen::Vector3d(a, b, c).asDiagonal();
}

class GreenstadtModification : public ::testing::TestWithParam<ModificationCase> {};

TEST_P(GreenstadtModification, ReplacesTheEigenvaluesTheRuleNames) {
  const ModificationCase& c = GetParam();
  const ModifiedHessian result = greenstadtModification(c.hessian, *c.options);
  EXPECT_EQ(result.modified, c.modified);
  EXPECT_TRUE(sameEntries(result.hessian, c.expected)) << "\n" << result.hessian;
}

Eigen::Matrix3d withEntry(Eigen::Matrix3d m, int i, int j, double value) {
  m(i, j) = value;
  m(j, i) = value;
  return m;
}

// Diagonal matrices have signed unit eigenvectors, so V D V^T is exact and the expected matrices
// are too. delta = max(eps, eps max |H_ij|).
INSTANTIATE_TEST_SUITE_P(
    BothRules, GreenstadtModification,
    ::testing::Values(
        ModificationCase{"vorlant_negative_eigenvalue", diagonal(3, -2, 1), &kVorlantGreenstadt,
                         true, diagonal(3, 3 * kEps, 1)},
        ModificationCase{"sennic_negative_eigenvalue", diagonal(3, -2, 1), &kSennicGreenstadt, true,
                         diagonal(3, 3 * kEps, 1)},
        ModificationCase{"vorlant_two_non_positive", diagonal(-4, 0, 0.5), &kVorlantGreenstadt,
                         true, diagonal(4 * kEps, 4 * kEps, 0.5)},
        ModificationCase{"vorlant_zero_eigenvalue", diagonal(0, 1, 2), &kVorlantGreenstadt, true,
                         diagonal(2 * kEps, 1, 2)},
        ModificationCase{"sennic_zero_eigenvalue", diagonal(0, 1, 2), &kSennicGreenstadt, true,
                         diagonal(2 * kEps, 1, 2)},
        // delta never falls below eps, however small H is.
        ModificationCase{"vorlant_small_matrix", diagonal(-1e-3, 1e-3, 2e-3), &kVorlantGreenstadt,
                         true, diagonal(kEps, 1e-3, 2e-3)},
        // Positive eigenvalues stay, however small; below eps the .lc rule replaces them.
        ModificationCase{"vorlant_tiny_positive", diagonal(kEps / 2, 1, 2), &kVorlantGreenstadt,
                         false, diagonal(kEps / 2, 1, 2)},
        ModificationCase{"sennic_tiny_positive", diagonal(kEps / 2, 1, 2), &kSennicGreenstadt, true,
                         diagonal(2 * kEps, 1, 2)},
        // Exactly eps passes the .lc test (<= eps) but is not below eps: nothing is replaced.
        ModificationCase{"sennic_eigenvalue_eps", diagonal(kEps, 1, 2), &kSennicGreenstadt, false,
                         diagonal(kEps, 1, 2)},
        ModificationCase{"vorlant_positive_definite", diagonal(1, 2, 3), &kVorlantGreenstadt, false,
                         diagonal(1, 2, 3)},
        ModificationCase{"sennic_positive_definite", diagonal(1, 2, 3), &kSennicGreenstadt, false,
                         diagonal(1, 2, 3)},
        // No eigen decomposition of a non-finite matrix: it flows on as it is.
        ModificationCase{"vorlant_nan_entry", withEntry(diagonal(-1, 1, 2), 0, 1, kNaN),
                         &kVorlantGreenstadt, false, withEntry(diagonal(-1, 1, 2), 0, 1, kNaN)},
        ModificationCase{"sennic_infinite_entry", withEntry(diagonal(-1, 1, 2), 2, 2, -kInf),
                         &kSennicGreenstadt, false, withEntry(diagonal(-1, 1, 2), 2, 2, -kInf)}),
    [](const auto& info) { return std::string(info.param.name); });

// A rotated H with eigenvalues (-2, 1, 3): the eigenvectors stay, the negative eigenvalue becomes
// eps max |H_ij| (the largest entry of the rotated matrix, not 3).
TEST(GreenstadtModification, KeepsTheEigenvectorsOfARotatedHessian) {
  const Eigen::Matrix3d rotation =
      Eigen::AngleAxisd(0.7, Eigen::Vector3d(1, 2, 2).normalized()).toRotationMatrix();
  const Eigen::Matrix3d hessian =
      rotation * Eigen::Vector3d(-2, 1, 3).asDiagonal() * rotation.transpose();
  const double delta = kEps * hessian.cwiseAbs().maxCoeff();
  ASSERT_GT(delta, kEps);
  ASSERT_LT(delta, 3 * kEps);
  for (const GreenstadtOptions* options : {&kVorlantGreenstadt, &kSennicGreenstadt}) {
    const ModifiedHessian result = greenstadtModification(hessian, *options);
    EXPECT_TRUE(result.modified);
    const Eigen::Vector3d expected(delta, 1, 3);
    for (int i = 0; i < 3; ++i) {
      const Eigen::Vector3d v = rotation.col(i);
      EXPECT_LT((result.hessian * v - expected(i) * v).norm(), 1e-14) << "eigenvector " << i;
    }
    EXPECT_EQ(result.hessian, result.hessian.transpose());
  }
}

// ---- The solvers --------------------------------------------------------------------------------

struct Variant {
  const char* name;
  SolverResult (*solve)(const PointProblem&, SolverContext&, const Eigen::Vector3d&, double,
                        const GreenstadtOptions&);
  const GreenstadtOptions* options;
  DepthGuard depthGuard;
};
const Variant kVorlant{"vorlant", greenstadtNewton, &kVorlantGreenstadt, DepthGuard::on};
const Variant kSennic{"sennic", greenstadtLineSearch, &kSennicGreenstadt, DepthGuard::off};

SolverResult run(const Variant& variant, const PointProblem& problem, const Eigen::Vector3d& start,
                 double epsilon, const GreenstadtOptions* options = nullptr) {
  SolverScratch scratch(problem.viewCount);
  SolverContext context{variant.depthGuard, scratch};
  return variant.solve(problem, context, start, epsilon,
                       options != nullptr ? *options : *variant.options);
}

// The loop counts of the two copies, by situation.
struct CounterCase {
  const char* name;
  const Variant* variant;
  bool movesUnderHugeEpsilon;  // |g| <= epsilon at the start: no step (first test on |g|) or one
  int hugeEpsilonLoops;
  int atMinimumLoops;  // start at the exact minimiser, epsilon 1e-12
  int zeroDepthLoops;  // start on a camera's principal plane: non-finite gradient
  bool zeroDepthFinite;
  int cappedLoops;  // steps never as short as the smallest positive epsilon
};

void PrintTo(const CounterCase& c, std::ostream* out) { *out << c.name; }

class GreenstadtCounters : public ::testing::TestWithParam<CounterCase> {};

TEST_P(GreenstadtCounters, FollowTheProgramsRules) {
  const CounterCase& c = GetParam();
  const Variant& variant = *c.variant;
  const auto noisy =
      synthetic::observePoint(synthetic::cameraRing(6), Eigen::Vector3d(0.3, 0.2, -0.4), 0.5, 5);
  const Eigen::Vector3d start = symmedianPoint(noisy.problem());
  {
    SCOPED_TRACE("gradient no longer than epsilon");
    const SolverResult result = run(variant, noisy.problem(), start, 1e300);
    EXPECT_EQ(result.point != start, c.movesUnderHugeEpsilon);
    EXPECT_EQ(result.loops, c.hugeEpsilonLoops);
    EXPECT_FALSE(result.capReached);
  }
  {
    SCOPED_TRACE("at the exact minimiser");
    const auto exact = synthetic::exactlyReprojectingProblem();
    const SolverResult result = run(variant, exact.problem(), synthetic::kExactPoint, 1e-12);
    EXPECT_EQ(result.point, synthetic::kExactPoint);
    EXPECT_EQ(result.loops, c.atMinimumLoops);
    EXPECT_FALSE(result.capReached);
    EXPECT_FALSE(result.hessianModified);
  }
  {
    SCOPED_TRACE("zero depth");
    const auto data = synthetic::observePoint(synthetic::cameraRing(3), Eigen::Vector3d::Zero());
    const Eigen::Vector3d centre = data.poses.block<3, 1>(0, 6);
    const SolverResult result = run(variant, data.problem(), centre, 1e-12);
    EXPECT_EQ(result.loops, c.zeroDepthLoops);
    EXPECT_EQ(result.point.allFinite(), c.zeroDepthFinite);
    if (c.zeroDepthFinite) {
      EXPECT_EQ(result.point, centre);
    }
  }
  {
    SCOPED_TRACE("capped");
    const SolverResult result =
        run(variant, noisy.problem(), start, std::numeric_limits<double>::denorm_min());
    EXPECT_EQ(result.loops, c.cappedLoops);
    EXPECT_TRUE(result.capReached);
    EXPECT_TRUE(result.point.allFinite());
    EXPECT_LT(costGradient(noisy.problem(), result.point, variant.depthGuard).norm(), 1e-9);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Programs, GreenstadtCounters,
    ::testing::Values(CounterCase{"vorlant", &kVorlant, false, 1, 1, 1, true, 1000},
                      CounterCase{"sennic", &kSennic, true, 1, 1, 1, false, 500}),
    [](const auto& info) { return std::string(info.param.name); });

// Along a path of positive definite Hessians the modification never acts: the same points and
// loop count as Newton-Raphson, whose first test differs but passes here as well.
TEST(GreenstadtNewton, PositiveDefinitePathIsNewtonRaphson) {
  const auto data =
      synthetic::observePoint(synthetic::cameraRing(6), Eigen::Vector3d(0.3, 0.2, -0.4), 0.5, 5);
  const PointProblem problem = data.problem();
  const Eigen::Vector3d start = symmedianPoint(problem);
  const SolverResult greenstadt = run(kVorlant, problem, start, 1e-12);
  SolverScratch scratch(problem.viewCount);
  SolverContext context{DepthGuard::on, scratch};
  const SolverResult newton = newtonRaphson(problem, context, start, 1e-12, kVorlantNewtonRaphson);
  EXPECT_FALSE(greenstadt.hessianModified);
  EXPECT_EQ(greenstadt.point, newton.point);
  EXPECT_EQ(greenstadt.loops, newton.loops);
}

// Three views, 30 px of noise, a start 6 units off where H is indefinite: Newton-Raphson heads for
// a saddle or beyond, both Greenstadt copies reach the minimum, and the call reports the modified
// Hessian although the final ones are positive definite.
TEST(Greenstadt, RepairsAnIndefiniteStart) {
  const Eigen::Vector3d point(0.3, 0.2, -0.4);
  const auto data = synthetic::observePoint(synthetic::cameraRing(3), point, 30.0, 3);
  const PointProblem problem = data.problem();
  const Eigen::Vector3d start = point + Eigen::Vector3d(5, -2, 3);
  ASSERT_FALSE(isPositiveSemidefinite(costHessian(problem, start, DepthGuard::on)));

  SolverScratch scratch(problem.viewCount);
  SolverContext context{DepthGuard::on, scratch};
  const SolverResult newton = newtonRaphson(problem, context, start, 1e-12, kVorlantNewtonRaphson);
  for (const Variant* variant : {&kVorlant, &kSennic}) {
    SCOPED_TRACE(variant->name);
    const SolverResult result = run(*variant, problem, start, 1e-12);
    EXPECT_TRUE(result.hessianModified);
    EXPECT_LT(costGradient(problem, result.point, variant->depthGuard).norm(), 1e-6);
    EXPECT_TRUE(isPositiveSemidefinite(costHessian(problem, result.point, variant->depthGuard)));
    EXPECT_LT(result.loops, 50);
    EXPECT_LT(reprojectionCost(problem, result.point), reprojectionCost(problem, newton.point));
  }
}

// From this start the full Newton step overshoots and raises the cost fourfold: the .lc copy's
// search quarters it until the cubic decrease holds, along the same direction.
TEST(GreenstadtLineSearch, BacktracksAStepThatRaisesTheCost) {
  const Eigen::Vector3d point(0.3, 0.2, -0.4);
  const auto data = synthetic::observePoint(synthetic::cameraRing(4), point, 0.5, 3);
  const PointProblem problem = data.problem();
  const Eigen::Vector3d start(2, 5, -7);
  const double startCost = reprojectionCost(problem, start);

  // One step each: the plain copy's (the entry counts as its first loop) and the searched one.
  GreenstadtOptions oneFullStep = kVorlantGreenstadt;
  oneFullStep.loopCap = 2;
  GreenstadtOptions oneSearchedStep = kSennicGreenstadt;
  oneSearchedStep.loopCap = 1;
  const Eigen::Vector3d full = run(kVorlant, problem, start, 1e-12, &oneFullStep).point;
  const SolverResult searched = run(kSennic, problem, start, 1e-12, &oneSearchedStep);
  ASSERT_GT(reprojectionCost(problem, full), 2 * startCost);
  EXPECT_EQ(searched.loops, 1);

  const Eigen::Vector3d fullStep = full - start;
  const Eigen::Vector3d taken = searched.point - start;
  const double t = taken.norm() / fullStep.norm();
  const double reductions = std::log(t) / std::log(0.25);
  EXPECT_NEAR(reductions, std::round(reductions), 1e-9);
  EXPECT_GE(std::round(reductions), 1.0);
  EXPECT_LT((taken - t * fullStep).norm(), 1e-12 * fullStep.norm());
  const double length = taken.norm();
  EXPECT_LT(reprojectionCost(problem, searched.point), startCost - 1e-4 * length * length * length);
  // Four times longer would not have passed.
  EXPECT_GE(reprojectionCost(problem, start + 4 * taken),
            startCost - 1e-4 * std::pow(4 * length, 3));

  // The stopping test is on the step taken, not the step proposed: a tolerance between the two
  // ends the call after this first step.
  const SolverResult stopped = run(kSennic, problem, start, std::sqrt(length * fullStep.norm()));
  EXPECT_EQ(stopped.loops, 1);
  EXPECT_EQ(stopped.point, searched.point);

  const SolverResult whole = run(kSennic, problem, start, 1e-12);
  EXPECT_LT((whole.point - point).norm(), 0.01);
  EXPECT_LT(costGradient(problem, whole.point, DepthGuard::off).norm(), 1e-6);
}

}  // namespace
}  // namespace tessmark
