#include "input/lc_pretreatment.hpp"

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <Eigen/Geometry>

#include "model/coefficients.hpp"

namespace tessmark {
namespace {

using Camera = Eigen::Matrix<double, 3, 4>;

Eigen::Matrix3d intrinsics(double fx, double skew, double cx, double fy, double cy) {
  Eigen::Matrix3d k;
  k << fx, skew, cx, 0.0, fy, cy, 0.0, 0.0, 1.0;
  return k;
}

// K R [I | -C].
Camera cameraOf(const Eigen::Matrix3d& k, const Eigen::Matrix3d& r, const Eigen::Vector3d& c) {
  Camera camera;
  camera << k * r, -(k * r * c);
  return camera;
}

struct KnownCamera {
  const char* name;
  Eigen::Matrix3d k;
  Eigen::Matrix3d r;
  Eigen::Vector3d c;
};

std::vector<KnownCamera> knownCameras() {
  const Eigen::Matrix3d turned =
      Eigen::AngleAxisd(2.1, Eigen::Vector3d(0.3, -1.0, 0.4).normalized()).toRotationMatrix();
  Eigen::Matrix3d mirrored = turned;
  mirrored.row(1) *= -1.0;  // det -1: the decomposition keeps it
  return {
      {"identity pose", intrinsics(800, 0, 320, 800, 240), Eigen::Matrix3d::Identity(),
       Eigen::Vector3d(0, 0, -5)},
      {"turned, with skew", intrinsics(1200, 3.5, 360, 1100, 288), turned,
       Eigen::Vector3d(2.0, -7.5, 1.25)},
      {"Dinosaur-like", intrinsics(3217, -78, 289, 2292, -1070), turned, Eigen::Vector3d(1, 2, 3)},
      {"mirrored rotation", intrinsics(500, 0, -20, 700, 35), mirrored,
       Eigen::Vector3d(-3, 0.5, 9)},
  };
}

void expectNear(const Eigen::MatrixXd& actual, const Eigen::MatrixXd& expected, double tolerance) {
  EXPECT_LT((actual - expected).cwiseAbs().maxCoeff(), tolerance) << "actual\n"
                                                                  << actual << "\nexpected\n"
                                                                  << expected;
}

TEST(DecomposeCamera, RecoversIntrinsicsRotationAndCentre) {
  for (const KnownCamera& known : knownCameras()) {
    SCOPED_TRACE(known.name);
    const Camera camera = 0.0123 * cameraOf(known.k, known.r, known.c);
    const CameraDecomposition decomposition = decomposeCamera(camera);
    ASSERT_FALSE(decomposition.rankDeficient);
    const Eigen::Matrix3d k = decomposition.pose.leftCols<3>();
    const Eigen::Matrix3d r = decomposition.pose.middleCols<3>(3);
    const Eigen::Vector3d c = decomposition.pose.col(6);

    // K upper triangular with K(2,2) = 1 and a non-negative diagonal.
    EXPECT_EQ(k(1, 0), 0.0);
    EXPECT_EQ(k(2, 0), 0.0);
    EXPECT_EQ(k(2, 1), 0.0);
    EXPECT_EQ(k(2, 2), 1.0);
    EXPECT_GE(k(0, 0), 0.0);
    EXPECT_GE(k(1, 1), 0.0);
    // K R [I | -C] is the matrix normalised to a unit third row of its left block.
    const Camera normalised = camera / camera.block<1, 3>(2, 0).norm();
    expectNear(cameraOf(k, r, c), normalised, 1e-10 * normalised.cwiseAbs().maxCoeff());
    expectNear(r * r.transpose(), Eigen::Matrix3d::Identity(), 1e-12);
    EXPECT_NEAR(r.determinant(), known.r.determinant(), 1e-12);
    // The known factors themselves (K R is unique with a positive diagonal of K).
    expectNear(k, known.k, 1e-9 * known.k.cwiseAbs().maxCoeff());
    expectNear(r, known.r, 1e-12);
    expectNear(c, known.c, 1e-10 * known.c.norm());
  }
}

// Also where the squares of the third row overflow (1e155, 1e300) or underflow (1e-170, 1e-300):
// the same camera, not a non-finite one, nor a rank-deficient one.
TEST(DecomposeCamera, APositiveFactorChangesNothingANegativeOneFlipsTheRotationOnly) {
  for (const KnownCamera& known : knownCameras()) {
    SCOPED_TRACE(known.name);
    const Camera camera = cameraOf(known.k, known.r, known.c);
    const Eigen::Matrix<double, 3, 7> pose = decomposeCamera(camera).pose;
    for (const double factor : {1e-6, 0.37, 42.0, 3.5e5, 1e155, 1e300, 1e-170, 1e-300}) {
      SCOPED_TRACE(factor);
      EXPECT_FALSE(decomposeCamera(factor * camera).rankDeficient);
      const Eigen::Matrix<double, 3, 7> scaled = decomposeCamera(factor * camera).pose;
      expectNear(scaled, pose, 1e-9 * pose.cwiseAbs().maxCoeff());
      const Eigen::Matrix<double, 3, 7> negated = decomposeCamera(-factor * camera).pose;
      expectNear(negated.leftCols<3>(), pose.leftCols<3>(), 1e-9 * pose.cwiseAbs().maxCoeff());
      expectNear(negated.middleCols<3>(3), -pose.middleCols<3>(3), 1e-12);
      expectNear(negated.col(6), pose.col(6), 1e-9 * pose.col(6).norm());
    }
  }
}

// A left block whose third row is zero is no perspective camera: flagged, non-finite, no crash,
// whatever the fourth column holds.
TEST(DecomposeCamera, AZeroThirdRowIsFlaggedAndGivesNonFiniteValues) {
  for (const double p23 : {0.0, 1.0}) {
    SCOPED_TRACE(p23);
    Camera camera;
    camera << 800, 0, 320, 5,  //
        0, 800, 240, 6,        //
        0, 0, 0, p23;
    const CameraDecomposition decomposition = decomposeCamera(camera);
    EXPECT_TRUE(decomposition.rankDeficient);
    EXPECT_FALSE(decomposition.pose.allFinite());
  }
  Camera nearlyDegenerate = cameraOf(intrinsics(800, 0, 320, 800, 240), Eigen::Matrix3d::Identity(),
                                     Eigen::Vector3d(1, 2, 3));
  nearlyDegenerate.row(2) *= 1e-150;
  EXPECT_FALSE(decomposeCamera(nearlyDegenerate).rankDeficient);
}

// Three cameras; point 0 seen by cameras 0 and 2, point 1 by none, point 2 by all three.
LcProblem threeCameraProblem() {
  LcProblem problem;
  problem.allCameraNum = 3;
  problem.pointNum = 3;
  problem.cameraProjections.resize(9, 4);
  for (int c = 0; c < 3; ++c) {
    problem.cameraProjections.middleRows<3>(3 * c) =
        (c + 1.0) *
        cameraOf(intrinsics(800 + c, 0, 320, 790, 240),
                 Eigen::AngleAxisd(0.3 * c, Eigen::Vector3d::UnitY()).toRotationMatrix(),
                 Eigen::Vector3d(c, 0, -10));
  }
  problem.lcObservations = {10, 11, -1, -1, 30, 31,  //
                            -1, -1, -1, -1, -1, -1,  //
                            40, 41, 50, 51, 60, 61};
  return problem;
}

TEST(IndexLcObservations, CountsTheCamerasThatSeeEachPoint) {
  const LcVisibility visibility = indexLcObservations(threeCameraProblem());
  EXPECT_EQ(visibility.viewNum, (std::vector<int>{2, 0, 3}));
  EXPECT_EQ(visibility.cameraVisibility, (std::vector<std::uint8_t>{1, 0, 1, 0, 0, 0, 1, 1, 1}));
  EXPECT_EQ(largestViewCount(visibility.viewNum), 3);
}

TEST(PretreatLcCameras, PosesFromTheDecompositionCoefficientsFromTheMatricesAsRead) {
  LcProblem problem = threeCameraProblem();
  problem.cameraProjections.row(5).head<3>().setZero();  // camera 1 is degenerate
  std::vector<int> rankDeficient;
  const CameraTables tables = pretreatLcCameras(problem, rankDeficient);
  EXPECT_EQ(rankDeficient, std::vector<int>{1});
  ASSERT_EQ(tables.cameraBlocks.size(), 3u);
  for (int c = 0; c < 3; ++c) {
    SCOPED_TRACE(c);
    const ViewBlock& block = tables.cameraBlocks[static_cast<std::size_t>(c)];
    const Camera camera = problem.cameraProjections.middleRows<3>(3 * c);
    EXPECT_EQ(Camera(block.camera()), camera);
    const Eigen::Matrix<double, 3, 7> pose = block.pose;
    EXPECT_EQ(pose.allFinite(), c != 1);
    if (c != 1) {
      EXPECT_EQ(pose, decomposeCamera(camera).pose);
    }
    EXPECT_EQ(Eigen::MatrixXd(block.jacobianCoefficients()),
              Eigen::MatrixXd(jacobianCoefficientBlock(camera)));
    EXPECT_EQ(Eigen::MatrixXd(block.curvatureCoefficients()),
              Eigen::MatrixXd(curvatureCoefficientBlock(camera)));
  }
}

TEST(GatherLcPoint, CopiesTheViewsOfTheCamerasThatSeeThePointInCameraOrder) {
  const LcProblem problem = threeCameraProblem();
  const LcVisibility visibility = indexLcObservations(problem);
  std::vector<int> rankDeficient;
  const CameraTables tables = pretreatLcCameras(problem, rankDeficient);
  PointWorkspace workspace(3);

  struct Case {
    int point;
    std::vector<int> cameras;
    std::vector<double> observations;
  };
  const Case cases[] = {
      {2, {0, 1, 2}, {40, 41, 50, 51, 60, 61}}, {0, {0, 2}, {10, 11, 30, 31}}, {1, {}, {}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.point);
    const int n = locateLcPoint(workspace, visibility, c.point);
    ASSERT_EQ(n, static_cast<int>(c.cameras.size()));
    EXPECT_EQ(std::vector<int>(workspace.cameraList.begin(), workspace.cameraList.begin() + n),
              c.cameras);
    gatherLcPoint(workspace, problem, tables, c.point, n);
    const PointProblem point = workspace.problem(n);
    EXPECT_EQ(point.viewCount, n);
    for (int j = 0; j < n; ++j) {
      const int camera = c.cameras[static_cast<std::size_t>(j)];
      const ViewBlock& view = point.views[j];
      const ViewBlock& block = tables.cameraBlocks[static_cast<std::size_t>(camera)];
      EXPECT_EQ(Eigen::MatrixXd(view.camera()),
                Eigen::MatrixXd(problem.cameraProjections.middleRows(3 * camera, 3)));
      EXPECT_EQ(view.cameraRows, block.cameraRows);
      EXPECT_EQ(view.pose, block.pose);
      EXPECT_EQ(view.derivativeCoefficients, block.derivativeCoefficients);
      EXPECT_EQ(view.observation(0), c.observations[2 * static_cast<std::size_t>(j)]);
      EXPECT_EQ(view.observation(1), c.observations[2 * static_cast<std::size_t>(j) + 1]);
    }
  }
}

// The Dinosaur turntable sequence, read from disk, through every stage of this folder.
TEST(RealData, DinosaurLoadsIndexesAndPretreats) {
  const char* folder = std::getenv("TESSMARK_DATA_DIR");
  const std::filesystem::path path =
      std::filesystem::path(folder != nullptr ? folder : "") / "dinosaur.lc";
  if (folder == nullptr || !std::filesystem::exists(path)) {
    GTEST_SKIP() << "data file not found: " << path;
  }
  TextFile file = TextFile::open(path.string());
  checkLcHeader(file);
  const LcCounts counts = readLcCounts(file);
  EXPECT_EQ(counts.allCameraNum, 36);
  EXPECT_EQ(counts.pointNum, 4983);
  const LcProblem problem = readLcRecords(file, counts);
  EXPECT_EQ(problem.cameraProjections(0, 0), -14.430231011327074);
  EXPECT_EQ(problem.cameraProjections(2, 3), 0.012249358697517865);
  EXPECT_EQ(problem.observationRow(0)[0], 20.31);
  EXPECT_EQ(problem.observationRow(0)[1], 405.6);

  // How many points have each view count.
  const LcVisibility visibility = indexLcObservations(problem);
  std::map<int, int> points;
  for (const int n : visibility.viewNum) ++points[n];
  EXPECT_EQ(points, (std::map<int, int>{{2, 2300},
                                        {3, 1167},
                                        {4, 584},
                                        {5, 375},
                                        {6, 221},
                                        {7, 141},
                                        {8, 88},
                                        {9, 44},
                                        {10, 26},
                                        {11, 15},
                                        {12, 14},
                                        {13, 5},
                                        {14, 2},
                                        {21, 1}}));

  std::vector<int> rankDeficient;
  const CameraTables tables = pretreatLcCameras(problem, rankDeficient);
  EXPECT_TRUE(rankDeficient.empty());
  ASSERT_EQ(tables.cameraBlocks.size(), 36u);
  for (int c = 0; c < counts.allCameraNum; ++c) {
    const ViewBlock& block = tables.cameraBlocks[static_cast<std::size_t>(c)];
    EXPECT_TRUE(block.pose.allFinite() && block.derivativeCoefficients.allFinite());
    const Eigen::Matrix<double, 3, 7> pose = block.pose;
    const Camera camera = problem.cameraProjections.middleRows<3>(3 * c);
    const Camera normalised = camera / camera.block<1, 3>(2, 0).norm();
    expectNear(cameraOf(pose.leftCols<3>(), pose.middleCols<3>(3), pose.col(6)), normalised,
               1e-9 * normalised.cwiseAbs().maxCoeff());
  }
}

}  // namespace
}  // namespace tessmark
