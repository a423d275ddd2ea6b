#include "model/derivatives.hpp"

#include <cmath>

#include <gtest/gtest.h>

#include "model/coefficients.hpp"
#include "tools/synthetic_scene.hpp"

namespace tessmark {
namespace {

using synthetic::cameraRing;
using synthetic::observePoint;
using synthetic::PointData;

// Observations 2 px off the exact projections, so residuals and the second-order term matter.
PointData noisyProblem(int views) {
  return observePoint(cameraRing(views), Eigen::Vector3d(0.3, -0.2, 0.5), 2.0, 7);
}

TEST(Derivatives, CoefficientRowsGiveScaledProjectionDerivatives) {
  const auto camera = cameraRing(3)[1].matrix;
  const auto jacobianBlock = jacobianCoefficientBlock(camera);
  const auto curvatureBlock = curvatureCoefficientBlock(camera);
  const Eigen::Vector3d x(0.4, 0.1, -0.3);
  const Eigen::Vector4d xh = homogeneous(x);
  const double w = camera.row(2).dot(xh);
  const double h = 1e-4;
  auto pi = [&](int c, const Eigen::Vector3d& p) {
    const Eigen::Vector4d ph = homogeneous(p);
    return camera.row(c).dot(ph) / camera.row(2).dot(ph);
  };
  const int pairs[6][2] = {{0, 0}, {0, 1}, {0, 2}, {1, 1}, {1, 2}, {2, 2}};
  for (int c = 0; c < 2; ++c) {
    for (int i = 0; i < 3; ++i) {
      const Eigen::Vector3d e = Eigen::Vector3d::Unit(i) * h;
      const double first = (pi(c, x + e) - pi(c, x - e)) / (2 * h);
      EXPECT_NEAR(jacobianBlock.row(c).segment<4>(4 * i).dot(xh.transpose()) / (w * w), first,
                  1e-7 * std::abs(first) + 1e-9);
      EXPECT_EQ(jacobianBlock(c, 5 * i), 0.0);
    }
    for (int k = 0; k < 6; ++k) {
      const Eigen::Vector3d ei = Eigen::Vector3d::Unit(pairs[k][0]) * h;
      const Eigen::Vector3d ej = Eigen::Vector3d::Unit(pairs[k][1]) * h;
      const double second =
          (pi(c, x + ei + ej) - pi(c, x + ei - ej) - pi(c, x - ei + ej) + pi(c, x - ei - ej)) /
          (4 * h * h);
      EXPECT_NEAR(curvatureBlock.row(6 * c + k).dot(xh.transpose()) / (w * w * w), second,
                  1e-3 * std::abs(second) + 1e-6);
    }
  }
}

// The halving rule: d/dt cost(x + t d) = 2 g.d and d2/dt2 = 2 d^T H d, wherever the guard is idle.
TEST(Derivatives, GradientAndHessianAreHalfTheCostDerivatives) {
  for (int views : {1, 2, 5}) {
    SCOPED_TRACE(views);
    const PointData data = noisyProblem(views);
    const PointProblem problem = data.problem();
    const Eigen::Vector3d x(0.1, 0.2, 0.3);
    const Eigen::Vector3d g = costGradient(problem, x, DepthGuard::on);
    const Eigen::Matrix3d hessian = costHessian(problem, x, DepthGuard::on);
    EXPECT_TRUE(hessian.isApprox(hessian.transpose(), 0.0));
    const double h = 1e-4;
    for (const Eigen::Vector3d& d :
         {Eigen::Vector3d(1, 0, 0), Eigen::Vector3d(0, 1, 0), Eigen::Vector3d(0, 0, 1),
          Eigen::Vector3d(1, -2, 0.5).normalized()}) {
      const double plus = reprojectionCost(problem, x + h * d);
      const double minus = reprojectionCost(problem, x - h * d);
      const double centre = reprojectionCost(problem, x);
      const double slope = (plus - minus) / (2 * h);
      const double curvature = (plus - 2 * centre + minus) / (h * h);
      EXPECT_NEAR(slope, 2.0 * g.dot(d), 1e-6 * (std::abs(slope) + 1.0));
      EXPECT_NEAR(curvature, 2.0 * d.dot(hessian * d), 1e-3 * (std::abs(curvature) + 1.0));
    }
    // Residuals and Jacobian agree with the gradient they make up.
    Eigen::VectorXd r(2 * views);
    JacobianMatrix j(2 * views, 3);
    residualVector(problem, x, r);
    projectionJacobian(problem, x, j);
    EXPECT_NEAR(r.squaredNorm(), reprojectionCost(problem, x), 1e-9 * r.squaredNorm());
    EXPECT_TRUE((j.transpose() * r).isApprox(g, 1e-12));
  }
}

TEST(Derivatives, ZeroResidualPointHasZeroGradientAndGaussNewtonHessian) {
  const Eigen::Vector3d point(0.3, -0.2, 0.5);
  const PointData data = observePoint(cameraRing(4), point);
  const PointProblem problem = data.problem();
  EXPECT_NEAR(reprojectionCost(problem, point), 0.0, 1e-20);
  EXPECT_LT(costGradient(problem, point, DepthGuard::on).norm(), 1e-9);
  JacobianMatrix j(8, 3);
  projectionJacobian(problem, point, j);
  const Eigen::Matrix3d gaussNewton = j.transpose() * j;
  EXPECT_TRUE(costHessian(problem, point, DepthGuard::on).isApprox(gaussNewton, 1e-9));
}

// One camera with p3 = (0 0 1 0): the depth of a point is its Z coordinate.
PointData depthProblem() {
  Eigen::Matrix<double, 3, 4> camera;
  camera << 1, 0, 0, 0,  //
      0, 1, 0, 0,        //
      0, 0, 1, 0;
  synthetic::SceneCamera scene{Eigen::Matrix3d::Identity(), Eigen::Matrix3d::Identity(),
                               Eigen::Vector3d::Zero(), camera};
  return synthetic::pointData({scene}, Eigen::Vector2d(0.5, -0.25));
}

TEST(Derivatives, DepthGuardActsOnGradientAndHessianOnly) {
  const PointData data = depthProblem();
  const PointProblem problem = data.problem();
  const double tiny = 1e-17;
  const Eigen::Vector3d x(1e-18, 2e-18, tiny);
  const double guarded = tiny + kDblEpsilon;

  // Cost and residuals use the plain depth 1e-17.
  Eigen::VectorXd r(2);
  residualVector(problem, x, r);
  EXPECT_DOUBLE_EQ(r(0), x(0) / tiny - 0.5);
  EXPECT_DOUBLE_EQ(r(1), x(1) / tiny + 0.25);

  // The gradient divides by the guarded depth 1e-17 + eps and its square (the coefficient rows
  // themselves are dotted with the true X~); unguarded, by 1e-17.
  for (const auto& [guard, depth] :
       {std::pair{DepthGuard::on, guarded}, std::pair{DepthGuard::off, tiny}}) {
    const double rx = x(0) / depth - 0.5;
    const double ry = x(1) / depth + 0.25;
    const double d2 = depth * depth;
    const Eigen::Vector3d expected(tiny * rx / d2, tiny * ry / d2, -(x(0) * rx + x(1) * ry) / d2);
    const Eigen::Vector3d g = costGradient(problem, x, guard);
    EXPECT_TRUE(g.isApprox(expected, 1e-12)) << g.transpose() << " vs " << expected.transpose();
  }

  // The Hessian's Jacobian rows use w^2 + eps; its second-order part has no (0,0) term here.
  EXPECT_DOUBLE_EQ(costHessian(problem, x, DepthGuard::on)(0, 0),
                   std::pow(tiny / (tiny * tiny + kDblEpsilon), 2));
  EXPECT_DOUBLE_EQ(costHessian(problem, x, DepthGuard::off)(0, 0),
                   std::pow(tiny / (tiny * tiny), 2));
}

TEST(Derivatives, PointOnPrincipalPlaneGivesNonFiniteValuesWithoutThrowing) {
  const PointData data = depthProblem();
  const PointProblem problem = data.problem();
  const Eigen::Vector3d onPlane(0.2, 0.3, 0.0);
  EXPECT_FALSE(std::isfinite(reprojectionCost(problem, onPlane)));
  EXPECT_FALSE(costGradient(problem, onPlane, DepthGuard::on).allFinite());
  EXPECT_FALSE(costHessian(problem, onPlane, DepthGuard::off).allFinite());
}

}  // namespace
}  // namespace tessmark
