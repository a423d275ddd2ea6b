// The hard scene the solvers are compared on: what it holds, that the same seed gives the same
// scene, and that `make_lc_problem --hard` writes exactly it as a .lc file the reader takes.

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <unistd.h>

#include <gtest/gtest.h>
#include <Eigen/Core>

#include "input/lc_problem.hpp"
#include "input/text_file.hpp"
#include "tools/synthetic_scene.hpp"

namespace tessmark {
namespace {

namespace fs = std::filesystem;

TEST(HardScene, PointsOfEveryKindFromTheSeed) {
  const synthetic::HardScene scene = synthetic::hardScene(400, 7);
  ASSERT_EQ(scene.cameras.size(), 12u);
  ASSERT_EQ(scene.points.size(), 400u);
  int farOut = 0, forward = 0, oneCluster = 0;
  for (const std::vector<synthetic::HardView>& views : scene.points) {
    ASSERT_GE(views.size(), 2u);
    for (std::size_t v = 0; v < views.size(); ++v) {
      EXPECT_TRUE(views[v].observation.allFinite());
      // No coordinate can read back as the .lc files' missing-view mark.
      EXPECT_GE(std::abs(views[v].observation.x() + 1.0), 1e-3);
      EXPECT_GE(std::abs(views[v].observation.y() + 1.0), 1e-3);
      if (v > 0) {
        EXPECT_LT(views[v - 1].camera, views[v].camera);
      }
    }
    const auto seenBy = [&](int first, int last) {
      return std::count_if(views.begin(), views.end(), [&](const synthetic::HardView& view) {
        return view.camera >= first && view.camera <= last;
      });
    };
    // Far out in some image: near that camera's principal plane, or an outlier.
    farOut += std::any_of(views.begin(), views.end(), [](const synthetic::HardView& view) {
      return view.observation.cwiseAbs().maxCoeff() > 1e4;
    });
    forward += seenBy(6, 8) == 3;  // the three frames of the forward-moving camera
    const auto n = static_cast<long>(views.size());
    oneCluster += seenBy(0, 2) == n || seenBy(3, 5) == n;
  }
  EXPECT_GT(farOut, 20);
  EXPECT_GT(forward, 40);
  EXPECT_GT(oneCluster, 20);

  const synthetic::HardScene again = synthetic::hardScene(400, 7);
  const synthetic::HardScene other = synthetic::hardScene(400, 8);
  bool same = true, differs = false;
  for (std::size_t p = 0; p < scene.points.size(); ++p) {
    same = same && again.points[p].size() == scene.points[p].size() &&
           again.points[p].front().observation == scene.points[p].front().observation;
    differs = differs || other.points[p].front().observation != scene.points[p].front().observation;
  }
  EXPECT_TRUE(same);
  EXPECT_TRUE(differs);
}

TEST(HardScene, TheMakerWritesItAsAnLcFile) {
  const fs::path file =
      fs::temp_directory_path() / ("tessmark-hard-" + std::to_string(::getpid()) + ".lc");
  const std::string command = std::string("'") + TESSMARK_MAKE_LC + "' '" + file.string() +
                              "' --points 150 --seed 11 --hard";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  TextFile text = TextFile::open(file.string());
  checkLcHeader(text);
  const LcProblem problem = readLcRecords(text, readLcCounts(text));
  fs::remove(file);

  const synthetic::HardScene scene = synthetic::hardScene(150, 11);
  ASSERT_EQ(problem.allCameraNum, 12);
  ASSERT_EQ(problem.pointNum, 150);
  for (int c = 0; c < 12; ++c) {
    // Each matrix is written times a positive factor.
    const Eigen::Matrix<double, 3, 4> written = problem.cameraProjections.middleRows<3>(3 * c);
    const Eigen::Matrix<double, 3, 4>& made = scene.cameras[static_cast<std::size_t>(c)].matrix;
    const double factor = written.norm() / made.norm();
    EXPECT_GT(factor, 0.0);
    EXPECT_TRUE(written.isApprox(factor * made, 1e-14)) << "camera " << c;
  }
  for (int i = 0; i < problem.pointNum; ++i) {
    const double* row = problem.observationRow(i);
    const std::vector<synthetic::HardView>& views = scene.points[static_cast<std::size_t>(i)];
    std::size_t next = 0;
    for (int c = 0; c < 12; ++c) {
      if (next < views.size() && views[next].camera == c) {
        // Written with four decimals.
        const Eigen::Vector2d& made = views[next].observation;
        EXPECT_NEAR(row[2 * c], made.x(), 5e-5 + 1e-15 * std::abs(made.x()));
        EXPECT_NEAR(row[2 * c + 1], made.y(), 5e-5 + 1e-15 * std::abs(made.y()));
        ++next;
      } else {
        EXPECT_EQ(row[2 * c], kMissingView);
        EXPECT_EQ(row[2 * c + 1], kMissingView);
      }
    }
    EXPECT_EQ(next, views.size()) << "point " << i;
  }
}

TEST(HardScene, OnlyTheLcMakerOffersIt) {
  const fs::path file =
      fs::temp_directory_path() / ("tessmark-hard-" + std::to_string(::getpid()) + ".txt");
  const std::string command =
      std::string("'") + TESSMARK_MAKE_BAL + "' '" + file.string() + "' --hard 2>/dev/null";
  const int status = std::system(command.c_str());
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << status;
  EXPECT_FALSE(fs::exists(file));
}

}  // namespace
}  // namespace tessmark
