#include "tools/synthetic_scene.hpp"

#include <cmath>
#include <numbers>
#include <random>

#include <Eigen/Geometry>

#include "model/coefficients.hpp"

namespace tessmark::synthetic {

SceneCamera lookAtCamera(const Eigen::Vector3d& centre, const Eigen::Vector3d& target, double f,
                         double cx, double cy) {
  SceneCamera camera;
  const Eigen::Vector3d forward = (target - centre).normalized();
  Eigen::Vector3d right = forward.cross(Eigen::Vector3d::UnitZ());
  if (right.norm() < 1e-9) right = Eigen::Vector3d::UnitX();
  right.normalize();
  const Eigen::Vector3d down = forward.cross(right);
  camera.rotation.row(0) = right.transpose();
  camera.rotation.row(1) = down.transpose();
  camera.rotation.row(2) = forward.transpose();
  camera.calibration << f, 0.0, cx, 0.0, f, cy, 0.0, 0.0, 1.0;
  camera.centre = centre;
  camera.matrix.leftCols<3>() = camera.calibration * camera.rotation;
  camera.matrix.col(3) = -camera.calibration * camera.rotation * centre;
  return camera;
}

std::vector<SceneCamera> cameraRing(int n, double radius, double f) {
  std::vector<SceneCamera> cameras;
  for (int v = 0; v < n; ++v) {
    const double angle = 2.0 * std::numbers::pi * v / n;
    const Eigen::Vector3d centre(radius * std::cos(angle), radius * std::sin(angle), 0.2 * radius);
    cameras.push_back(lookAtCamera(centre, Eigen::Vector3d::Zero(), f));
  }
  return cameras;
}

Eigen::Vector2d project(const Eigen::Matrix<double, 3, 4>& camera, const Eigen::Vector3d& point) {
  const Eigen::Vector3d image = camera * point.homogeneous();
  return image.head<2>() / image(2);
}

PointData pointData(const std::vector<SceneCamera>& cameras, const Eigen::VectorXd& observations) {
  const int n = static_cast<int>(cameras.size());
  PointData data;
  data.viewCount = n;
  data.projections.resize(3 * n, 4);
  data.poses.resize(3 * n, 7);
  data.jacobianCoefficients.resize(2 * n, 12);
  data.curvatureCoefficients.resize(12 * n, 4);
  data.observations = observations;
  for (int v = 0; v < n; ++v) {
    const SceneCamera& camera = cameras[v];
    data.projections.middleRows<3>(3 * v) = camera.matrix;
    data.poses.block<3, 3>(3 * v, 0) = camera.calibration;
    data.poses.block<3, 3>(3 * v, 3) = camera.rotation;
    data.poses.block<3, 1>(3 * v, 6) = camera.centre;
    data.jacobianCoefficients.middleRows<2>(2 * v) = jacobianCoefficientBlock(camera.matrix);
    data.curvatureCoefficients.middleRows<12>(12 * v) = curvatureCoefficientBlock(camera.matrix);
  }
  data.pack();
  return data;
}

void PointData::pack() {
  views.resize(static_cast<std::size_t>(viewCount));
  for (int v = 0; v < viewCount; ++v) {
    views[static_cast<std::size_t>(v)].assign(
        projections.middleRows<3>(3 * v), jacobianCoefficients.middleRows<2>(2 * v),
        curvatureCoefficients.middleRows<12>(12 * v), poses.middleRows<3>(3 * v),
        observations(2 * v), observations(2 * v + 1));
  }
}

PointData observePoint(const std::vector<SceneCamera>& cameras, const Eigen::Vector3d& point,
                       double noise, unsigned seed) {
  std::mt19937 random(seed);
  std::normal_distribution<double> pixelNoise(0.0, noise > 0.0 ? noise : 1.0);
  Eigen::VectorXd observations(2 * cameras.size());
  for (std::size_t v = 0; v < cameras.size(); ++v) {
    Eigen::Vector2d image = project(cameras[v].matrix, point);
    if (noise > 0.0) image += Eigen::Vector2d(pixelNoise(random), pixelNoise(random));
    observations.segment<2>(2 * v) = image;
  }
  return pointData(cameras, observations);
}

PointData exactlyReprojectingProblem() {
  std::vector<SceneCamera> cameras;
  for (const Eigen::Vector3d& t :
       {Eigen::Vector3d(0, 0, 0), Eigen::Vector3d(1, 0, 0), Eigen::Vector3d(0, 1, 1)}) {
    Eigen::Matrix<double, 3, 4> matrix;
    matrix << Eigen::Matrix3d::Identity(), t;
    cameras.push_back({Eigen::Matrix3d::Identity(), Eigen::Matrix3d::Identity(), -t, matrix});
  }
  Eigen::VectorXd observations(6);
  observations << 0.5, 0.25, 1.5, 0.25, 0.25, 0.625;
  return pointData(cameras, observations);
}

PointData affineProblem() {
  std::vector<SceneCamera> cameras;
  for (const double a : {0.0, 1.0, 2.0}) {
    Eigen::Matrix<double, 3, 4> matrix;
    matrix << 800 * std::cos(a), 0, 800 * std::sin(a), 320,  //
        100 * a, 800, 50, 240,                               //
        0, 0, 0, 1;
    cameras.push_back({Eigen::Matrix3d::Identity(), Eigen::Matrix3d::Identity(),
                       Eigen::Vector3d::Zero(), matrix});
  }
  Eigen::VectorXd observations(6);
  observations << 310, 250, 330, 236, 322, 241;
  return pointData(cameras, observations);
}

}  // namespace tessmark::synthetic
