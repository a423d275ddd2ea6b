#include "tools/synthetic_scene.hpp"

#include <algorithm>
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

namespace {

// The hard scene's cameras, by role (9 and 10 are the ring's).
constexpr int kClusterA = 0;  // cameras 0..2
constexpr int kClusterB = 3;  // cameras 3..5
constexpr int kForward = 6;   // cameras 6..8, frames of one camera moving forward
constexpr int kSide = 11;
constexpr int kHardCameras = 12;

// Three draws, in order (the order of a constructor's arguments is not fixed).
template <typename Distribution>
Eigen::Vector3d drawVector(Distribution& distribution, std::mt19937& random) {
  Eigen::Vector3d v;
  for (int i = 0; i < 3; ++i) v(i) = distribution(random);
  return v;
}

std::vector<SceneCamera> hardCameras(std::mt19937& random) {
  std::uniform_real_distribution<double> jitter(-1.0, 1.0);
  const auto nudge = [&](double size) -> Eigen::Vector3d {
    return size * drawVector(jitter, random);
  };
  std::vector<SceneCamera> cameras;
  // Two clusters 16 units apart, baselines of about a tenth of a unit, facing each other.
  for (const Eigen::Vector3d& centre :
       {Eigen::Vector3d(-0.06, 0.0, -8.0), Eigen::Vector3d(0.0, 0.05, -8.0),
        Eigen::Vector3d(0.06, 0.0, -8.0)}) {
    cameras.push_back(lookAtCamera(centre + nudge(0.01), nudge(0.05), 1000.0, 640.0, 480.0));
  }
  for (const Eigen::Vector3d& centre :
       {Eigen::Vector3d(-0.05, 0.3, 8.0), Eigen::Vector3d(0.05, 0.3, 8.0),
        Eigen::Vector3d(0.0, 0.35, 8.0)}) {
    cameras.push_back(lookAtCamera(centre + nudge(0.01), nudge(0.05), 1100.0, 640.0, 480.0));
  }
  // Three frames of a camera moving straight towards the scene.
  const Eigen::Vector3d first(7.0, -5.0, 1.0);
  const Eigen::Vector3d forward = -first.normalized();
  for (int k = 0; k < 3; ++k) {
    const Eigen::Vector3d centre = first + 0.6 * k * forward;
    cameras.push_back(lookAtCamera(centre, centre + forward, 900.0, 640.0, 480.0));
  }
  for (const double degrees : {100.0, 220.0}) {
    const double angle = degrees * std::numbers::pi / 180.0;
    cameras.push_back(lookAtCamera(
        Eigen::Vector3d(10.0 * std::cos(angle), 10.0 * std::sin(angle), 2.0), nudge(0.2), 800.0));
  }
  // A side camera looking along +x: its principal plane x = 0 cuts through the scene.
  cameras.push_back(
      lookAtCamera(Eigen::Vector3d(0.0, 9.0, 0.3), Eigen::Vector3d(10.0, 9.0, 0.3), 700.0));
  return cameras;
}

// The depth of a point in a camera whose calibration has the third row (0, 0, 1).
double depthIn(const SceneCamera& camera, const Eigen::Vector3d& point) {
  return camera.rotation.row(2).dot(point - camera.centre);
}

}  // namespace

HardScene hardScene(int points, unsigned seed) {
  std::mt19937 random(seed);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  std::uniform_real_distribution<double> box(-1.5, 1.5);
  std::normal_distribution<double> normal(0.0, 1.0);
  HardScene scene;
  scene.cameras = hardCameras(random);
  const auto uniform = [&](double low, double high) { return low + (high - low) * unit(random); };
  const auto pick = [&](int count) {
    return std::min(count - 1, static_cast<int>(unit(random) * count));
  };
  const auto nearOrigin = [&] { return drawVector(box, random); };
  // `count` distinct cameras other than those already chosen, taken from `allowed`.
  const auto addRandom = [&](std::vector<int>& chosen, const std::vector<int>& allowed, int count) {
    std::vector<int> left;
    for (const int c : allowed) {
      if (std::find(chosen.begin(), chosen.end(), c) == chosen.end()) left.push_back(c);
    }
    for (int i = 0; i < count && !left.empty(); ++i) {
      const int j = pick(static_cast<int>(left.size()));
      chosen.push_back(left[static_cast<std::size_t>(j)]);
      left.erase(left.begin() + j);
    }
  };
  std::vector<int> everyCamera(kHardCameras);
  for (int c = 0; c < kHardCameras; ++c) everyCamera[static_cast<std::size_t>(c)] = c;

  while (static_cast<int>(scene.points.size()) < points) {
    Eigen::Vector3d point;
    std::vector<int> chosen;
    const double kind = unit(random);
    if (kind < 0.25) {
      // An ordinary point, seen by two to six cameras.
      point = nearOrigin();
      addRandom(chosen, everyCamera, 2 + pick(5));
    } else if (kind < 0.45) {
      // Close to one camera's principal plane (most often the side camera's).
      const int c = unit(random) < 0.5 ? kSide : pick(kHardCameras);
      const SceneCamera& camera = scene.cameras[static_cast<std::size_t>(c)];
      const Eigen::Vector3d normal = camera.rotation.row(2).transpose();
      const double size = std::pow(10.0, uniform(-4.0, -1.0));
      const double offset = unit(random) < 0.5 ? -size : size;
      point = nearOrigin();
      point += normal * (offset - depthIn(camera, point));
      chosen.push_back(c);
      addRandom(chosen, everyCamera, 2 + pick(3));
    } else if (kind < 0.65) {
      // Far away, seen by cameras it lies in front of where there are enough of them.
      const Eigen::Vector3d direction = drawVector(normal, random).normalized();
      point = direction * std::pow(10.0, uniform(2.0, 5.0));
      std::vector<int> facing;
      for (const int c : everyCamera) {
        if (depthIn(scene.cameras[static_cast<std::size_t>(c)], point) > 0.0) facing.push_back(c);
      }
      addRandom(chosen, facing.size() >= 2 ? facing : everyCamera, 2 + pick(5));
    } else if (kind < 0.85) {
      // Ahead of the forward-moving camera, near its direction of motion.
      const SceneCamera& camera = scene.cameras[kForward];
      const Eigen::Vector3d axis = camera.rotation.row(2).transpose();
      Eigen::Vector3d across = drawVector(normal, random);
      across(2) = 0.3;
      const Eigen::Vector3d side = axis.cross(across).normalized();
      const double ahead = uniform(4.0, 30.0);
      const double aside = uniform(0.01, 0.5);
      point = camera.centre + ahead * axis + aside * side;
      for (int k = 0; k < 3; ++k) chosen.push_back(kForward + k);
      if (unit(random) < 0.3) addRandom(chosen, everyCamera, 1);
    } else {
      // Seen by one short-baseline cluster only.
      point = nearOrigin();
      const int cluster = unit(random) < 0.5 ? kClusterA : kClusterB;
      for (int k = 0; k < 3; ++k) chosen.push_back(cluster + k);
      if (unit(random) < 0.3) chosen.erase(chosen.begin() + pick(3));
    }
    std::sort(chosen.begin(), chosen.end());
    const double noise = uniform(10.0, 60.0);
    std::vector<HardView> views;
    for (const int c : chosen) {
      Eigen::Vector2d image = project(scene.cameras[static_cast<std::size_t>(c)].matrix, point);
      const double dx = normal(random);
      const double dy = normal(random);
      image += noise * Eigen::Vector2d(dx, dy);
      views.push_back({c, image});
    }
    if (unit(random) < 0.125) {
      const double angle = uniform(0.0, 2.0 * std::numbers::pi);
      views[static_cast<std::size_t>(pick(static_cast<int>(views.size())))].observation +=
          std::pow(10.0, uniform(2.3, 3.5)) * Eigen::Vector2d(std::cos(angle), std::sin(angle));
    }
    // Keep every coordinate clear of the .lc files' missing-view mark, -1, at their precision.
    for (HardView& view : views) {
      for (int i = 0; i < 2; ++i) {
        if (std::abs(view.observation(i) + 1.0) < 1e-3) view.observation(i) += 0.01;
      }
    }
    const bool finite = std::all_of(views.begin(), views.end(), [](const HardView& view) {
      return view.observation.allFinite();
    });
    if (views.size() >= 2 && finite) scene.points.push_back(std::move(views));
  }
  return scene;
}

}  // namespace tessmark::synthetic
