#include "model/diagnostics.hpp"

#include <cmath>
#include <limits>

#include <gtest/gtest.h>
#include <Eigen/Eigenvalues>
#include <Eigen/Geometry>
#include <Eigen/LU>

#include "tools/synthetic_scene.hpp"

namespace tessmark {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(CurvatureRho, InfiniteAtZeroResidualPoint) {
  const auto data = synthetic::exactlyReprojectingProblem();
  const Eigen::Vector3d point = synthetic::kExactPoint;
  ASSERT_EQ(reprojectionCost(data.problem(), point), 0.0);
  EXPECT_TRUE(std::isinf(curvatureRho(data.problem(), point)));
}

// H = J^T J (I - Z) and rho = 1 / max eig(Z): the Hessian is positive definite exactly where rho >
// 1 or rho < 0. Checked over points near and far from the optimum of a very noisy two-view problem.
TEST(CurvatureRho, SignTellsWhetherTheHessianIsPositiveDefinite) {
  const auto data = synthetic::observePoint(synthetic::cameraRing(2, 4.0, 500.0),
                                            Eigen::Vector3d::Zero(), 300.0, 11);
  const PointProblem problem = data.problem();
  int definite = 0;
  int indefinite = 0;
  for (int i = -20; i <= 20; ++i) {
    for (int j = -20; j <= 20; ++j) {
      const Eigen::Vector3d x(0.15 * i, 0.15 * j, 0.1);
      const double rho = curvatureRho(problem, x);
      if (std::abs(1.0 / rho - 1.0) < 1e-6) continue;  // too close to the boundary to call
      const Eigen::SelfAdjointEigenSolver<Eigen::Matrix3d> eigen(
          costHessian(problem, x, DepthGuard::off));
      const bool positive = eigen.eigenvalues()(0) > 0.0;
      EXPECT_EQ(positive, rho > 1.0 || rho < 0.0) << "at " << x.transpose() << " rho " << rho;
      (positive ? definite : indefinite) += 1;
    }
  }
  EXPECT_GT(definite, 0);
  EXPECT_GT(indefinite, 0);
}

TEST(KlcDistance, IsTheNewtonStepLength) {
  const Eigen::Vector3d point(0.2, 0.1, -0.1);
  const auto exact = synthetic::observePoint(synthetic::cameraRing(3), point);
  EXPECT_LT(klcDistance(exact.problem(), point, DepthGuard::on), 1e-12);
  const Eigen::Vector3d nearby = point + Eigen::Vector3d(1e-3, -2e-3, 1e-3);
  const Eigen::Matrix3d hessian = costHessian(exact.problem(), nearby, DepthGuard::on);
  const Eigen::Vector3d gradient = costGradient(exact.problem(), nearby, DepthGuard::on);
  EXPECT_NEAR(klcDistance(exact.problem(), nearby, DepthGuard::on),
              hessian.inverse().operator*(gradient).norm(), 1e-12);
}

TEST(KlcDistance, SingularHessianFallsBackToLeastSquares) {
  // One view: J^T J has rank 2 at a zero-residual point, so QR divides by zero and the SVD answers.
  const Eigen::Vector3d point(0.2, 0.1, -0.1);
  const auto single = synthetic::observePoint(synthetic::cameraRing(1), point);
  const double distance = klcDistance(single.problem(), point, DepthGuard::on);
  EXPECT_TRUE(std::isfinite(distance));
  EXPECT_LT(distance, 1e-9);
}

TEST(Diagnostics, NonFinitePointGivesNaNAndFailsEveryTest) {
  const auto data = synthetic::observePoint(synthetic::cameraRing(3), Eigen::Vector3d::Zero());
  const Eigen::Vector3d onPrincipalPlane = data.poses.block<3, 1>(0, 6);  // camera 0's centre
  for (const Eigen::Vector3d& x : {onPrincipalPlane, Eigen::Vector3d(kNaN, 0.0, 0.0)}) {
    EXPECT_TRUE(std::isnan(curvatureRho(data.problem(), x)));
    EXPECT_FALSE(std::isfinite(klcDistance(data.problem(), x, DepthGuard::on)));
    EXPECT_FALSE(isPositiveSemidefinite(costHessian(data.problem(), x, DepthGuard::on)));
  }
}

TEST(IsPositiveSemidefinite, BoundaryCases) {
  struct Case {
    Eigen::Vector3d eigenvalues;
    bool expected;
  };
  const Case cases[] = {{{0.0, 1.0, 2.0}, true},
                        {{1e-300, 1.0, 2.0}, true},
                        {{-1e-12, 1.0, 2.0}, false},
                        {{-3.0, -2.0, -1.0}, false},
                        {{kNaN, 1.0, 2.0}, false}};
  for (const Case& c : cases) {
    EXPECT_EQ(isPositiveSemidefinite(Eigen::Matrix3d(c.eigenvalues.asDiagonal())), c.expected)
        << c.eigenvalues.transpose();
  }
  // A full matrix is judged by its eigenvalues, not its diagonal.
  const Eigen::Matrix3d rotation =
      Eigen::AngleAxisd(0.7, Eigen::Vector3d(1, 2, 3).normalized()).toRotationMatrix();
  EXPECT_FALSE(isPositiveSemidefinite(rotation * Eigen::Vector3d(-1e-3, 1, 2).asDiagonal() *
                                      rotation.transpose()));
  EXPECT_TRUE(isPositiveSemidefinite(rotation * Eigen::Vector3d(1e-3, 1, 2).asDiagonal() *
                                     rotation.transpose()));
}

TEST(Labels, ThresholdsAreStrictAndNaNFails) {
  struct Case {
    double gamma, rho, klc;
    bool solvable;
  };
  const Case solvable[] = {
      {1.0, 2.0, 9.89, true},  {1.0, 2.0, 9.9, false},  {1.0, -2.0, 1.0, true},
      {2.0, 2.0, 1.0, false},  {0.0, kInf, 0.0, true},  {kNaN, 2.0, 1.0, false},
      {1.0, kNaN, 1.0, false}, {1.0, 2.0, kNaN, false},
  };
  for (const Case& c : solvable) {
    EXPECT_EQ(solvableTest(c.gamma, c.rho, c.klc), c.solvable)
        << c.gamma << " " << c.rho << " " << c.klc;
  }

  struct GlobalCase {
    bool pd;
    double gamma, rho, klc, reF, reM;
    bool global;
  };
  const GlobalCase global[] = {
      {true, 1.0, 2.0, 0.99e-5, 1.0, 1.0, true},  // RE(f) = RE(m) still global
      {true, 1.0, 2.0, 1e-5, 1.0, 1.0, false},    // K = 1e-5 exactly is local
      {true, 1.0, -2.0, 0.0, 1.0, 2.0, true},     // rho counts by its magnitude
      {false, 1.0, 2.0, 0.0, 1.0, 2.0, false},    // not semidefinite
      {true, 1.0, 2.0, 0.0, 2.0, 1.0, false},     // worse than the start
      {true, 0.0, kInf, 0.0, 0.0, 0.0, true},     // exact reprojection
      {true, kNaN, 2.0, 0.0, kNaN, 1.0, false},   // non-finite final point
  };
  for (const GlobalCase& c : global) {
    EXPECT_EQ(globalTest(c.pd, c.gamma, c.rho, c.klc, c.reF, c.reM), c.global)
        << c.pd << " " << c.gamma << " " << c.rho << " " << c.klc << " " << c.reF << " " << c.reM;
  }
}

}  // namespace
}  // namespace tessmark
