// Writes a synthetic ".lc" multi-view data set shaped like the Dinosaur turntable sequence: 36
// cameras on a turntable ring (10 degrees apart) looking at an object in the middle, each point on
// the object's surface seen by a run of 2 to ~20 neighbouring cameras (most by few of them), images
// of 720 x 576 pixels, Gaussian pixel noise, "-1.0000 -1.0000" for every camera that does not see a
// point. Every camera matrix is written scaled by a positive factor, as calibrated sequences store
// them. The header ID is Tessmark's own, "Tessmark_lc_data!". The same seed always gives the same
// file.
//
// With --hard it writes the hard scene of tools/synthetic_scene.hpp instead (12 cameras, points
// near principal planes, far points, forward motion, 10-60 pixels of noise and outliers, every
// view kept wherever it falls in the image); --cameras and --noise do not apply to it.
//
//   make_lc_problem OUTPUT [--cameras N] [--points N] [--noise PIXELS] [--seed N] [--hard]
//   make_lc_problem --help

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

#include "tools/maker_options.hpp"
#include "tools/synthetic_scene.hpp"

namespace {

constexpr double kImageWidth = 720.0;
constexpr double kImageHeight = 576.0;
constexpr int kMostViews = 20;

// A point on the object's surface (an ellipsoid a little taller than wide) and the azimuth it
// faces.
struct SurfacePoint {
  Eigen::Vector3d position;
  double azimuth;
};

SurfacePoint surfacePoint(std::mt19937& random) {
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  Eigen::Vector3d direction;
  do {
    direction = Eigen::Vector3d(unit(random), unit(random), unit(random));
  } while (direction.norm() > 1.0 || direction.norm() < 1e-3);
  direction.normalize();
  return {Eigen::Vector3d(1.0 * direction(0), 0.8 * direction(1), 1.4 * direction(2)),
          std::atan2(direction(1), direction(0))};
}

// The data set to write: camera matrices (each written times its scale) and one row of the
// observation table per point.
struct LcScene {
  std::vector<tessmark::synthetic::SceneCamera> cameras;
  std::vector<double> scales;
  std::vector<std::vector<double>> rows;
};

// The turntable sequence.
LcScene turntableScene(const tessmark::synthetic::MakerOptions& settings) {
  LcScene scene;
  auto& cameras = scene.cameras;
  auto& scales = scene.scales;
  auto& rows = scene.rows;
  std::mt19937 random(settings.seed);
  std::uniform_real_distribution<double> jitter(-1.0, 1.0);

  // The turntable: camera c sits at azimuth 2 pi c / cameras, 8 units out and a little above the
  // object, and looks at its middle.
  for (int c = 0; c < settings.cameras; ++c) {
    const double angle = 2.0 * std::numbers::pi * c / settings.cameras;
    const Eigen::Vector3d centre(8.0 * std::cos(angle), 8.0 * std::sin(angle),
                                 1.5 + 0.05 * jitter(random));
    cameras.push_back(tessmark::synthetic::lookAtCamera(
        centre, Eigen::Vector3d(0.0, 0.0, 0.2 * jitter(random)), 1000.0 + 30.0 * jitter(random),
        kImageWidth / 2, kImageHeight / 2));
    scales.push_back(0.01 * (1.5 + jitter(random)));
  }

  // Each point is seen by a run of neighbouring cameras around the one it faces; the run's length
  // is 2 plus a geometric count, so about half the points have two views.
  std::normal_distribution<double> pixelNoise(0.0, settings.noise > 0.0 ? settings.noise : 1.0);
  std::geometric_distribution<int> extraViews(0.5);
  const int mostViews = std::min(kMostViews, settings.cameras);
  while (static_cast<int>(rows.size()) < settings.points) {
    const SurfacePoint point = surfacePoint(random);
    const int views = std::min(mostViews, 2 + extraViews(random));
    const double step = 2.0 * std::numbers::pi / settings.cameras;
    const int facing = static_cast<int>(std::lround(point.azimuth / step));
    std::vector<double> row(2 * static_cast<std::size_t>(settings.cameras), -1.0);
    int seen = 0;
    for (int v = 0; v < views; ++v) {
      const int c =
          ((facing - views / 2 + v) % settings.cameras + settings.cameras) % settings.cameras;
      Eigen::Vector2d image =
          tessmark::synthetic::project(cameras[static_cast<std::size_t>(c)].matrix, point.position);
      if (settings.noise > 0.0) image += Eigen::Vector2d(pixelNoise(random), pixelNoise(random));
      // Only views inside the image count, so no coordinate can read as the missing-view mark.
      if (!(image(0) >= 0.0 && image(0) < kImageWidth && image(1) >= 0.0 &&
            image(1) < kImageHeight)) {
        continue;
      }
      row[2 * static_cast<std::size_t>(c)] = image(0);
      row[2 * static_cast<std::size_t>(c) + 1] = image(1);
      ++seen;
    }
    if (seen >= 2) rows.push_back(std::move(row));
  }
  return scene;
}

// The hard scene, every camera scaled as in the turntable sequence.
LcScene hardLcScene(const tessmark::synthetic::MakerOptions& settings) {
  const tessmark::synthetic::HardScene hard =
      tessmark::synthetic::hardScene(settings.points, settings.seed);
  LcScene scene;
  scene.cameras = hard.cameras;
  std::mt19937 random(settings.seed);
  std::uniform_real_distribution<double> jitter(-1.0, 1.0);
  for (std::size_t c = 0; c < hard.cameras.size(); ++c) {
    scene.scales.push_back(0.01 * (1.5 + jitter(random)));
  }
  for (const std::vector<tessmark::synthetic::HardView>& views : hard.points) {
    std::vector<double> row(2 * hard.cameras.size(), -1.0);
    for (const tessmark::synthetic::HardView& view : views) {
      row[2 * static_cast<std::size_t>(view.camera)] = view.observation(0);
      row[2 * static_cast<std::size_t>(view.camera) + 1] = view.observation(1);
    }
    scene.rows.push_back(std::move(row));
  }
  return scene;
}

}  // namespace

const tessmark::synthetic::MakerDescription kMaker{
    .name = "make_lc_problem",
    .summary =
        "Writes a synthetic \".lc\" multi-view data set to OUTPUT, shaped like the Dinosaur "
        "turntable sequence:\ncameras on a turntable ring looking at an object in the middle, each "
        "point seen by a run of\nneighbouring cameras, images of 720 x 576 pixels, Gaussian pixel "
        "noise, -1 -1 where a camera does\nnot see a point, the header ID \"Tessmark_lc_data!\". "
        "The same seed always gives the same file.\n",
    .fewestCameras = 2,
    .defaults = {.output = "", .cameras = 36, .points = 4983},
    .cameraShape = "on the turntable ring",
    .hardScene = "write the hard scene instead (12 cameras; --cameras and --noise do not apply)",
};

int main(int argc, char** argv) {
  tessmark::synthetic::MakerOptions settings;
  if (const int status = tessmark::synthetic::takeMakerCommandLine(argc, argv, kMaker, settings);
      status >= 0) {
    return status;
  }
  const LcScene scene = settings.hard ? hardLcScene(settings) : turntableScene(settings);
  const auto& cameras = scene.cameras;
  const auto& scales = scene.scales;
  const auto& rows = scene.rows;

  std::FILE* file = std::fopen(settings.output.c_str(), "w");
  if (file == nullptr) {
    std::fprintf(stderr, "make_lc_problem: cannot create '%s': %s\n", settings.output.c_str(),
                 std::strerror(errno));
    return 1;
  }
  std::fprintf(file, "Tessmark_lc_data!\n%d\n%d\n", static_cast<int>(cameras.size()),
               static_cast<int>(rows.size()));
  for (std::size_t c = 0; c < cameras.size(); ++c) {
    const Eigen::Matrix<double, 3, 4> matrix = scales[c] * cameras[c].matrix;
    for (int k = 0; k < 12; ++k)
      std::fprintf(file, k == 0 ? "%.17g" : " %.17g", matrix(k / 4, k % 4));
    std::fputc('\n', file);
  }
  for (const std::vector<double>& row : rows) {
    for (std::size_t j = 0; j < row.size(); ++j)
      std::fprintf(file, j == 0 ? "%.4f" : " %.4f", row[j]);
    std::fputc('\n', file);
  }
  if (std::fclose(file) != 0) {
    std::fprintf(stderr, "make_lc_problem: cannot write '%s'\n", settings.output.c_str());
    return 1;
  }
  return 0;
}
