// Writes a synthetic "Bundle Adjustment in the Large" problem with the header-ID line, shaped like
// the Ladybug problem: cameras on a ring looking inwards at a cloud of points, each point seen by 2
// to 12 cameras, pixel coordinates of a few hundred, no radial distortion, Gaussian pixel noise.
// The same seed always gives the same file.
//
//   make_bal_problem OUTPUT [--cameras N] [--points N] [--noise PIXELS] [--seed N]
//   make_bal_problem --help

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include <Eigen/Core>
#include <Eigen/Geometry>

#include "tools/maker_options.hpp"

namespace {

struct Camera {
  Eigen::Matrix3d rotation;  // world to camera; the camera looks along its -z axis
  Eigen::Vector3d translation;
  double focal;
};

Camera ringCamera(int index, int count, std::mt19937& random) {
  std::uniform_real_distribution<double> jitter(-0.3, 0.3);
  const double angle = 2.0 * std::numbers::pi * index / count;
  const Eigen::Vector3d centre(12.0 * std::cos(angle), 12.0 * std::sin(angle),
                               2.0 + jitter(random));
  const Eigen::Vector3d target(jitter(random), jitter(random), jitter(random));
  const Eigen::Vector3d forward = (target - centre).normalized();
  const Eigen::Vector3d right = forward.cross(Eigen::Vector3d::UnitZ()).normalized();
  const Eigen::Vector3d up = right.cross(forward);
  Camera camera;
  camera.rotation.row(0) = right.transpose();
  camera.rotation.row(1) = up.transpose();
  camera.rotation.row(2) = -forward.transpose();
  camera.translation = -camera.rotation * centre;
  camera.focal = 1400.0 + 100.0 * jitter(random);
  return camera;
}

}  // namespace

const tessmark::synthetic::MakerDescription kMaker{
    .name = "make_bal_problem",
    .summary =
        "Writes a synthetic \"Bundle Adjustment in the Large\" problem with the header-ID line to "
        "OUTPUT, shaped\nlike the Ladybug problem: cameras on a ring looking inwards at a cloud of "
        "points, each point seen\nby 2 to 12 cameras, no radial distortion, Gaussian pixel noise. "
        "The same seed always gives the same\nfile.\n",
    .fewestCameras = 12,
    .defaults = {.output = "", .cameras = 49, .points = 7776},
    .cameraShape = "on the ring",
};

int main(int argc, char** argv) {
  tessmark::synthetic::MakerOptions settings;
  if (const int status = tessmark::synthetic::takeMakerCommandLine(argc, argv, kMaker, settings);
      status >= 0) {
    return status;
  }
  std::mt19937 random(settings.seed);
  std::vector<Camera> cameras;
  for (int c = 0; c < settings.cameras; ++c)
    cameras.push_back(ringCamera(c, settings.cameras, random));

  // Points in a ball of radius 2; each seen by a run of neighbouring cameras on the ring, most by
  // few of them, as in real sequences.
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  std::normal_distribution<double> pixelNoise(0.0, settings.noise > 0.0 ? settings.noise : 1.0);
  std::geometric_distribution<int> extraViews(0.35);
  std::uniform_int_distribution<int> firstCamera(0, settings.cameras - 1);

  std::vector<Eigen::Vector3d> points;
  struct Observation {
    int camera, point;
    double x, y;
  };
  std::vector<Observation> observations;
  for (int p = 0; p < settings.points; ++p) {
    Eigen::Vector3d point;
    do {
      point = Eigen::Vector3d(unit(random), unit(random), unit(random));
    } while (point.norm() > 1.0);
    point *= 2.0;
    points.push_back(point);
    const int views = 2 + std::min(10, extraViews(random));
    const int first = firstCamera(random);
    std::vector<int> seenBy;
    for (int v = 0; v < views; ++v) seenBy.push_back((first + v) % settings.cameras);
    std::sort(seenBy.begin(), seenBy.end());
    for (int c : seenBy) {
      const Camera& camera = cameras[static_cast<std::size_t>(c)];
      const Eigen::Vector3d inCamera = camera.rotation * point + camera.translation;
      double x = -camera.focal * inCamera(0) / inCamera(2);
      double y = -camera.focal * inCamera(1) / inCamera(2);
      if (settings.noise > 0.0) {
        x += pixelNoise(random);
        y += pixelNoise(random);
      }
      observations.push_back({c, p, x, y});
    }
  }

  std::FILE* file = std::fopen(settings.output.c_str(), "w");
  if (file == nullptr) {
    std::fprintf(stderr, "make_bal_problem: cannot create '%s': %s\n", settings.output.c_str(),
                 std::strerror(errno));
    return tessmark::synthetic::kMakerExitUnwritable;
  }
  std::fprintf(file, "Rome_is_not_built_in_one_day!\n");
  std::fprintf(file, "%d %d %zu\n", settings.cameras, settings.points, observations.size());
  for (const Observation& o : observations)
    std::fprintf(file, "%d %d %.6e %.6e\n", o.camera, o.point, o.x, o.y);
  for (const Camera& camera : cameras) {
    const Eigen::AngleAxisd angleAxis(camera.rotation);
    const Eigen::Vector3d w = angleAxis.angle() * angleAxis.axis();
    for (int k = 0; k < 3; ++k) std::fprintf(file, "%.16e\n", w(k));
    for (int k = 0; k < 3; ++k) std::fprintf(file, "%.16e\n", camera.translation(k));
    std::fprintf(file, "%.16e\n0.0000000000000000e+00\n0.0000000000000000e+00\n", camera.focal);
  }
  for (const Eigen::Vector3d& point : points) {
    for (int k = 0; k < 3; ++k) std::fprintf(file, "%.16e\n", point(k));
  }
  if (std::fclose(file) != 0) {
    std::fprintf(stderr, "make_bal_problem: cannot write '%s'\n", settings.output.c_str());
    return tessmark::synthetic::kMakerExitUnwritable;
  }
  return tessmark::synthetic::kMakerExitWritten;
}
