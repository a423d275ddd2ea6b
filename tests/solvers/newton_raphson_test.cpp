#include "solvers/newton/newton_raphson.hpp"

#include <cmath>
#include <limits>
#include <ostream>

#include <gtest/gtest.h>
#include <Eigen/Cholesky>
#include <Eigen/LU>

#include "model/diagnostics.hpp"
#include "model/symmedian.hpp"
#include "solvers/menu_settings.hpp"
#include "solvers/newton/newton_system.hpp"
#include "tools/synthetic_scene.hpp"

namespace tessmark {
namespace {

struct Outcome {
  Eigen::Vector3d x;
  int loops;
  bool capReached;
};

// The two programs' copies: the options, and the depth guard each program runs with.
struct Variant {
  const char* name;
  const NewtonRaphsonOptions* options;
  DepthGuard depthGuard;
};
const Variant kVorlant{"vorlant", &kVorlantNewtonRaphson, DepthGuard::on};
const Variant kSennic{"sennic", &kSennicNewtonRaphson, DepthGuard::off};

Outcome solve(const Variant& variant, const PointProblem& problem, const Eigen::Vector3d& start,
              double epsilon) {
  SolverScratch scratch(problem.viewCount);
  SolverContext context{variant.depthGuard, scratch};
  const SolverResult result = newtonRaphson(problem, context, start, epsilon, *variant.options);
  EXPECT_FALSE(result.hessianModified);
  return {result.point, result.loops, result.capReached};
}

// Loop counts of both programs' variants, by situation.
struct CounterCase {
  const char* name;
  const Variant* variant;
  int atMinimum;    // start at the exact minimiser: one zero-length step
  int zeroEpsilon;  // epsilon = 0: no step at all
  int forcedCap;    // steps that never get as short as epsilon: the cap
};

void PrintTo(const CounterCase& c, std::ostream* out) { *out << c.name; }

class NewtonRaphsonCounters : public ::testing::TestWithParam<CounterCase> {};

TEST_P(NewtonRaphsonCounters, FollowTheProgramsRules) {
  const CounterCase& c = GetParam();
  const auto exact = synthetic::exactlyReprojectingProblem();
  const Outcome atMinimum = solve(*c.variant, exact.problem(), synthetic::kExactPoint, 1e-12);
  EXPECT_EQ(atMinimum.x, synthetic::kExactPoint);
  EXPECT_EQ(atMinimum.loops, c.atMinimum);
  EXPECT_FALSE(atMinimum.capReached);

  const Eigen::Vector3d start(1.0, 1.0, 1.0);
  const Outcome untouched = solve(*c.variant, exact.problem(), start, 0.0);
  EXPECT_EQ(untouched.x, start);
  EXPECT_EQ(untouched.loops, c.zeroEpsilon);

  // Near a noisy optimum the steps are rounding noise, never exactly zero: the smallest positive
  // tolerance is never met.
  const auto noisy =
      synthetic::observePoint(synthetic::cameraRing(6), Eigen::Vector3d(0.3, 0.2, -0.4), 0.5, 5);
  const Outcome capped = solve(*c.variant, noisy.problem(), symmedianPoint(noisy.problem()),
                               std::numeric_limits<double>::denorm_min());
  EXPECT_EQ(capped.loops, c.forcedCap);
  EXPECT_TRUE(capped.capReached);
  EXPECT_TRUE(capped.x.allFinite());
}

INSTANTIATE_TEST_SUITE_P(Programs, NewtonRaphsonCounters,
                         ::testing::Values(CounterCase{"vorlant", &kVorlant, 2, 1, 1000},
                                           CounterCase{"sennic", &kSennic, 1, 0, 500}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(NewtonRaphson, ConvergesToTheOptimumOfANoisyPoint) {
  for (const Variant* variant : {&kVorlant, &kSennic}) {
    const auto data =
        synthetic::observePoint(synthetic::cameraRing(6), Eigen::Vector3d(0.3, 0.2, -0.4), 0.5, 5);
    const PointProblem problem = data.problem();
    const Eigen::Vector3d start = symmedianPoint(problem);
    const Outcome run = solve(*variant, problem, start, 1e-12);
    // A strict local minimum: zero gradient, positive definite Hessian, no worse than the start.
    EXPECT_LT(costGradient(problem, run.x, variant->depthGuard).norm(), 1e-9);
    EXPECT_TRUE(isPositiveSemidefinite(costHessian(problem, run.x, variant->depthGuard)));
    EXPECT_LT(reprojectionCost(problem, run.x), reprojectionCost(problem, start));
    EXPECT_LT(klcDistance(problem, run.x, variant->depthGuard), 1e-12);
    EXPECT_LT(run.loops, 20);
  }
}

TEST(NewtonRaphson, ZeroDepthStartEndsAfterOneNonFiniteStep) {
  const auto data = synthetic::observePoint(synthetic::cameraRing(3), Eigen::Vector3d::Zero());
  // A point on the principal plane of view 0: the depth there is exactly zero.
  const Eigen::Vector3d start = data.poses.block<3, 1>(0, 6);  // the camera centre itself
  const Outcome run = solve(kVorlant, data.problem(), start, 1e-12);
  EXPECT_FALSE(run.x.allFinite());
  EXPECT_EQ(run.loops, 2);
}

TEST(SolveNewtonSystem, SolvesByLdltAndFallsBackOnNaN) {
  const Eigen::Matrix3d regular = (Eigen::Matrix3d() << 4, 1, 0, 1, 3, 1, 0, 1, 2).finished();
  const Eigen::Vector3d g(1, 2, 3);
  EXPECT_TRUE(solveNewtonSystem(regular, g).isApprox(regular.inverse() * g, 1e-14));

  // An exactly singular Hessian: LDLT drops the zero pivot and gives a finite answer.
  const Eigen::Matrix3d singular = Eigen::Vector3d(1, 0, 1).asDiagonal();
  EXPECT_EQ(solveNewtonSystem(singular, Eigen::Vector3d(1, 0, 2)), Eigen::Vector3d(1, 0, 2));

  // A pivot of 1e-300 overflows the LDLT solution to infinity, and 0 * inf spreads NaN into the
  // first component: the SVD least-squares step replaces it, the tiny direction counted as null.
  const Eigen::Matrix3d nearlySingular = Eigen::Vector3d(1, 1e-300, 1).asDiagonal();
  const Eigen::Vector3d step = solveNewtonSystem(nearlySingular, Eigen::Vector3d(2, 1e10, 3));
  EXPECT_TRUE(step.allFinite()) << step.transpose();
  EXPECT_TRUE(step.isApprox(Eigen::Vector3d(2, 0, 3))) << step.transpose();
}

// The factorisation chosen by the first solve serves the later ones: LDLT while its solution's
// first component is a number, the SVD for every solve once it was NaN, NaN throughout for a
// non-finite matrix.
TEST(NewtonFactorisation, LaterSolvesUseTheFactorisationOfTheFirst) {
  const Eigen::Matrix3d rhs = (Eigen::Matrix3d() << 1, 0, 2, 0, 3, 1, 4, 1, 0).finished();

  const Eigen::Matrix3d regular = (Eigen::Matrix3d() << 4, 1, 0, 1, 3, 1, 0, 1, 2).finished();
  const NewtonFactorisation ldlt(regular, Eigen::Vector3d(1, 2, 3));
  EXPECT_FALSE(ldlt.usesSvd());
  EXPECT_EQ(ldlt.step(), solveNewtonSystem(regular, Eigen::Vector3d(1, 2, 3)));
  EXPECT_EQ(ldlt.solve(rhs), Eigen::Matrix3d(Eigen::LDLT<Eigen::Matrix3d>(regular).solve(rhs)));

  // The 1e-300 pivot: the SVD counts that direction as null for the matrix solve as well.
  const Eigen::Matrix3d nearlySingular = Eigen::Vector3d(1, 1e-300, 1).asDiagonal();
  const NewtonFactorisation svd(nearlySingular, Eigen::Vector3d(2, 1e10, 3));
  EXPECT_TRUE(svd.usesSvd());
  EXPECT_TRUE(svd.step().isApprox(Eigen::Vector3d(2, 0, 3)));
  const Eigen::Matrix3d solved = svd.solve(rhs);
  EXPECT_TRUE(solved.allFinite()) << solved;
  EXPECT_TRUE(solved.row(1).isZero()) << solved;
  EXPECT_TRUE(solved.row(0).isApprox(rhs.row(0)) && solved.row(2).isApprox(rhs.row(2))) << solved;

  Eigen::Matrix3d broken = regular;
  broken.row(0).setConstant(std::numeric_limits<double>::quiet_NaN());
  broken.col(0).setConstant(std::numeric_limits<double>::quiet_NaN());
  const NewtonFactorisation none(broken, Eigen::Vector3d(1, 2, 3));
  EXPECT_TRUE(none.usesSvd());
  EXPECT_TRUE(none.step().array().isNaN().all());
  EXPECT_TRUE(none.solve(rhs).array().isNaN().all());
}

}  // namespace
}  // namespace tessmark
