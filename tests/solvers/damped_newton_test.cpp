#include "solvers/newton/damped_newton.hpp"

#include <cmath>
#include <limits>
#include <ostream>
#include <string>

#include <gtest/gtest.h>
#include <Eigen/Cholesky>
#include <Eigen/LU>

#include "model/diagnostics.hpp"
#include "model/symmedian.hpp"
#include "solvers/menu_settings.hpp"
#include "tools/synthetic_scene.hpp"

namespace tessmark {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// ---- The damped step ----------------------------------------------------------------------------

struct StepCase {
  const char* name;
  Eigen::Matrix3d hessian;
  Eigen::Vector3d gradient;
  Eigen::Vector3d direction;
  Eigen::Vector3d expected;  // NaN entries must come out NaN
  double tolerance;          // relative; 0: exactly
};

void PrintTo(const StepCase& c, std::ostream* out) { *out << c.name; }

class DampedStep : public ::testing::TestWithParam<StepCase> {};

TEST_P(DampedStep, MinimisesTheModelAlongTheDirection) {
  const StepCase& c = GetParam();
  const Eigen::Vector3d step = dampedStep(c.hessian, c.gradient, c.direction);
  for (int i = 0; i < 3; ++i) {
    if (std::isnan(c.expected(i))) {
      EXPECT_TRUE(std::isnan(step(i))) << step.transpose();
    } else if (c.tolerance == 0.0 || !std::isfinite(c.expected(i))) {
      EXPECT_EQ(step(i), c.expected(i)) << step.transpose();
    } else {
      EXPECT_NEAR(step(i), c.expected(i), c.tolerance * c.expected.norm()) << step.transpose();
    }
  }
}

const Eigen::Matrix3d kPositiveDefinite =
    (Eigen::Matrix3d() << 4, 1, 0, 1, 3, 1, 0, 1, 2).finished();
const Eigen::Matrix3d kNegativeDefinite = -kPositiveDefinite;
const Eigen::Vector3d kGradient(1, -2, 0.5);

Eigen::Matrix3d diagonal(double a, double b, double c) {
  return Eigen::Vector3d(a, b, c).asDiagonal();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DampedStep,
    ::testing::Values(
        // alpha = 1: the full Newton step.
        StepCase{"newton_direction_positive_definite", kPositiveDefinite, kGradient,
                 -kPositiveDefinite.inverse() * kGradient, -kPositiveDefinite.inverse() * kGradient,
                 1e-15},
        // No positive curvature anywhere: whatever the direction, the step is -2 g.
        StepCase{"negative_definite", kNegativeDefinite, kGradient,
                 -kNegativeDefinite.inverse() * kGradient, -2 * kGradient, 1e-15},
        StepCase{"negative_semidefinite", diagonal(-1, -2, 0), kGradient, Eigen::Vector3d(1, 0, 0),
                 -2 * kGradient, 1e-15},
        // c = 2e-17 along d, but H has a positive eigenvalue: d stays, alpha = 1e-17 / 2e-17.
        StepCase{"tiny_curvature_kept", diagonal(2e-17, -1, 1), Eigen::Vector3d(-1e-17, 0.5, 0),
                 Eigen::Vector3d(1, 0, 0), Eigen::Vector3d(0.5, 0, 0), 0.0},
        // A negative c with a positive eigenvalue elsewhere: d stays, alpha = -1, and the step
        // runs up the gradient.
        StepCase{"negative_curvature_kept", diagonal(-1, 1, 1), Eigen::Vector3d(1, 0, 0),
                 Eigen::Vector3d(-1, 0, 0), Eigen::Vector3d(1, 0, 0), 0.0},
        // c exactly 0: an infinite step (and 0 * inf = NaN in the other components).
        StepCase{"zero_curvature_infinite_step", diagonal(0, -1, 1), Eigen::Vector3d(-1, 0, 0),
                 Eigen::Vector3d(1, 0, 0), Eigen::Vector3d(kInf, kNaN, kNaN), 0.0},
        // A stationary point: a zero step, never 0/0, with or without positive curvature.
        StepCase{"stationary_negative_definite", kNegativeDefinite, Eigen::Vector3d::Zero(),
                 Eigen::Vector3d::Zero(), Eigen::Vector3d::Zero(), 0.0},
        StepCase{"stationary_positive_definite", kPositiveDefinite, Eigen::Vector3d::Zero(),
                 Eigen::Vector3d::Zero(), Eigen::Vector3d::Zero(), 0.0},
        // A zero Newton direction where g lies in H's null space (LDLT drops the zero pivot).
        StepCase{"zero_direction_singular", diagonal(1, 0, 1), Eigen::Vector3d(0, 1, 0),
                 Eigen::Vector3d::Zero(), Eigen::Vector3d::Zero(), 0.0},
        // Non-finite input has no eigenvalues: it flows on, nothing hangs.
        StepCase{"nan_hessian", diagonal(kNaN, 1, 1), kGradient, Eigen::Vector3d(1, 1, 1),
                 Eigen::Vector3d(kNaN, kNaN, kNaN), 0.0},
        StepCase{"nan_gradient_steepest_descent", kNegativeDefinite, Eigen::Vector3d(kNaN, 1, 1),
                 Eigen::Vector3d(1, 0, 0), Eigen::Vector3d(kNaN, kNaN, kNaN), 0.0}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- The solvers --------------------------------------------------------------------------------

using DampedSolver = SolverResult (*)(const PointProblem&, SolverContext&, const Eigen::Vector3d&,
                                      double, const DampedNewtonOptions&);

struct Variant {
  const char* name;
  DampedSolver solve;
  const DampedNewtonOptions* options;
  DepthGuard depthGuard;
};
const Variant kVorlantExact{"vorlant_exact", exactDampedNewton, &kVorlantDampedNewton,
                            DepthGuard::on};
const Variant kVorlantInexact{"vorlant_inexact", inexactDampedNewton, &kVorlantDampedNewton,
                              DepthGuard::on};
const Variant kSennicExact{"sennic_exact", exactDampedNewton, &kSennicDampedNewton,
                           DepthGuard::off};

SolverResult run(const Variant& variant, const PointProblem& problem, const Eigen::Vector3d& start,
                 double epsilon, const DampedNewtonOptions* options = nullptr) {
  SolverScratch scratch(problem.viewCount);
  SolverContext context{variant.depthGuard, scratch};
  const SolverResult result = variant.solve(problem, context, start, epsilon,
                                            options != nullptr ? *options : *variant.options);
  EXPECT_FALSE(result.hessianModified);
  return result;
}

class DampedNewtonCopies : public ::testing::TestWithParam<const Variant*> {};

// Affine cameras make the cost quadratic (J constant, no second-order term): Newton and
// Gauss-Newton directions agree, alpha is 1 up to rounding, and the first step lands on the
// minimiser.
TEST_P(DampedNewtonCopies, FullStepsOnAQuadraticCost) {
  const Variant& variant = *GetParam();
  const auto data = synthetic::affineProblem();
  const PointProblem problem = data.problem();
  // The minimiser from the normal equations of the linear projections.
  Eigen::MatrixXd a(6, 3);
  Eigen::VectorXd b(6);
  for (int row = 0; row < 6; ++row) {
    const auto camera = data.projections.middleRows<3>(3 * (row / 2));
    a.row(row) = camera.block<1, 3>(row % 2, 0);
    b(row) = data.observations(row) - camera(row % 2, 3);
  }
  const Eigen::Vector3d minimiser = (a.transpose() * a).ldlt().solve(a.transpose() * b);

  const Eigen::Vector3d start(1.5, -2.0, 0.7);
  DampedNewtonOptions oneStep = *variant.options;
  oneStep.loopCap = 1;
  const SolverResult first = run(variant, problem, start, 1e-12, &oneStep);
  EXPECT_EQ(first.loops, 1);
  EXPECT_TRUE(first.capReached);  // a cap of one
  EXPECT_LT((first.point - minimiser).norm(), 1e-12 * minimiser.norm());

  const SolverResult result = run(variant, problem, start, 1e-12);
  EXPECT_LT((result.point - minimiser).norm(), 1e-12 * minimiser.norm());
  EXPECT_LE(result.loops, 3);
  EXPECT_FALSE(result.capReached);
}

// The counters: at the exact minimiser a zero step ends the call after one loop; epsilon = 0 runs
// to the cap on a noisy point, whose steps are rounding noise but never exactly zero; a start on a
// camera's principal plane gives a non-finite point after one loop.
TEST_P(DampedNewtonCopies, CountersFollowTheRules) {
  const Variant& variant = *GetParam();
  const auto exact = synthetic::exactlyReprojectingProblem();
  const SolverResult atMinimum = run(variant, exact.problem(), synthetic::kExactPoint, 1e-12);
  EXPECT_EQ(atMinimum.point, synthetic::kExactPoint);
  EXPECT_EQ(atMinimum.loops, 1);
  EXPECT_FALSE(atMinimum.capReached);

  const auto noisy =
      synthetic::observePoint(synthetic::cameraRing(6), Eigen::Vector3d(0.3, 0.2, -0.4), 0.5, 5);
  const SolverResult capped = run(variant, noisy.problem(), symmedianPoint(noisy.problem()), 0.0);
  EXPECT_EQ(capped.loops, variant.options->loopCap);
  EXPECT_TRUE(capped.capReached);
  EXPECT_TRUE(capped.point.allFinite());
  EXPECT_LT(costGradient(noisy.problem(), capped.point, variant.depthGuard).norm(), 1e-9);

  const auto data = synthetic::observePoint(synthetic::cameraRing(3), Eigen::Vector3d::Zero());
  const SolverResult zeroDepth = run(variant, data.problem(), data.poses.block<3, 1>(0, 6), 1e-12);
  EXPECT_FALSE(zeroDepth.point.allFinite());
  EXPECT_EQ(zeroDepth.loops, 1);
}

INSTANTIATE_TEST_SUITE_P(Programs, DampedNewtonCopies,
                         ::testing::Values(&kVorlantExact, &kVorlantInexact, &kSennicExact),
                         [](const auto& info) { return std::string(info.param->name); });

// The inexact direction is the Gauss-Newton one, -(J^T J)^-1 J^T r from the plain J and r, damped
// with the exact Hessian and the guarded gradient; the exact direction is the Newton one.
TEST(DampedNewton, DirectionsAreGaussNewtonAndNewton) {
  const auto data =
      synthetic::observePoint(synthetic::cameraRing(5), Eigen::Vector3d(-0.2, 0.4, 0.1), 3.0, 2);
  const PointProblem problem = data.problem();
  const Eigen::Vector3d start = symmedianPoint(problem) + Eigen::Vector3d(0.3, -0.2, 0.4);
  const Eigen::Vector3d g = costGradient(problem, start, DepthGuard::on);
  const Eigen::Matrix3d h = costHessian(problem, start, DepthGuard::on);
  Eigen::VectorXd r(10);
  JacobianMatrix j(10, 3);
  residualVector(problem, start, r);
  projectionJacobian(problem, start, j);
  const Eigen::Vector3d gaussNewton = -(j.transpose() * j).inverse() * (j.transpose() * r);
  const Eigen::Vector3d newton = -h.inverse() * g;
  ASSERT_GT((gaussNewton.normalized() - newton.normalized()).norm(), 1e-3);

  DampedNewtonOptions oneStep;
  oneStep.loopCap = 1;
  const Eigen::Vector3d inexact = run(kVorlantInexact, problem, start, 1e-12, &oneStep).point;
  const Eigen::Vector3d exact = run(kVorlantExact, problem, start, 1e-12, &oneStep).point;
  const Eigen::Vector3d inexactStep = dampedStep(h, g, gaussNewton);
  EXPECT_LT((inexact - start - inexactStep).norm(), 1e-9 * inexactStep.norm());
  EXPECT_LT((exact - start - newton).norm(), 1e-9 * newton.norm());
}

}  // namespace
}  // namespace tessmark
