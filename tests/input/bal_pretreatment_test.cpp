#include "input/bal_pretreatment.hpp"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <numeric>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <Eigen/Geometry>

#include "model/coefficients.hpp"
#include "model/derivatives.hpp"

namespace tessmark {
namespace {

// Observations with the given point indices; observation i has camera 10 i and image point (i, -i),
// so every row can be traced after a reordering.
BalProblem problemWithPoints(const std::vector<int>& points, int pointNum) {
  BalProblem problem;
  problem.pointNum = pointNum;
  problem.imageCoordinates = static_cast<int>(points.size());
  problem.cameraNum = 10 * problem.imageCoordinates;
  problem.observationPoint = points;
  problem.observationTable.resize(problem.imageCoordinates, 2);
  for (int i = 0; i < problem.imageCoordinates; ++i) {
    problem.observationCamera.push_back(10 * i);
    problem.observationTable.row(i) << i, -i;
  }
  return problem;
}

TEST(IndexObservations, GroupedInputStaysInPlaceAndAbsentPointsGetNoViews) {
  BalProblem problem = problemWithPoints({0, 0, 2, 2, 2, 4}, 6);
  const BalProblem original = problem;
  const ObservationIndex index = indexObservations(problem);
  EXPECT_EQ(index.viewNum, (std::vector<int>{2, 0, 3, 0, 1, 0}));
  EXPECT_EQ(index.viewStart, (std::vector<int>{0, 2, 2, 5, 5, 6}));
  EXPECT_EQ(problem.observationCamera, original.observationCamera);
  EXPECT_EQ(problem.observationPoint, original.observationPoint);
  EXPECT_EQ(problem.observationTable, original.observationTable);
}

TEST(IndexObservations, OutOfOrderInputIsGroupedStably) {
  // Point 0 is seen by observations 1 and 3, point 1 by 0 and 4, point 2 by 2; point 3 by none.
  BalProblem problem = problemWithPoints({1, 0, 2, 0, 1}, 4);
  const ObservationIndex index = indexObservations(problem);
  EXPECT_EQ(index.viewNum, (std::vector<int>{2, 2, 1, 0}));
  EXPECT_EQ(index.viewStart, (std::vector<int>{0, 2, 4, 5}));
  EXPECT_EQ(problem.observationPoint, (std::vector<int>{0, 0, 1, 1, 2}));
  EXPECT_EQ(problem.observationCamera, (std::vector<int>{10, 30, 0, 40, 20}));
  Eigen::MatrixXd table(5, 2);
  table << 1, -1, 3, -3, 0, 0, 4, -4, 2, -2;
  EXPECT_EQ(problem.observationTable, table);
}

TEST(IndexObservations, NoObservations) {
  BalProblem noPoints = problemWithPoints({}, 0);
  EXPECT_TRUE(indexObservations(noPoints).viewNum.empty());
  BalProblem unseen = problemWithPoints({}, 3);
  const ObservationIndex index = indexObservations(unseen);
  EXPECT_EQ(index.viewNum, (std::vector<int>{0, 0, 0}));
  EXPECT_EQ(index.viewStart, (std::vector<int>{0, 0, 0}));
}

TEST(LargestViewCount, IsTheMaximumAndZeroWithoutPoints) {
  EXPECT_EQ(largestViewCount({}), 0);
  EXPECT_EQ(largestViewCount({0, 0}), 0);
  EXPECT_EQ(largestViewCount({2, 0, 5, 3}), 5);
  EXPECT_EQ(largestViewCount({7}), 7);
}

TEST(RotationFromAngleAxis, ShortVectorsGiveTheIdentity) {
  EXPECT_EQ(rotationFromAngleAxis(Eigen::Vector3d::Zero()), Eigen::Matrix3d::Identity());
  const double below = std::nextafter(kDblEpsilon, 0.0);
  EXPECT_EQ(rotationFromAngleAxis(Eigen::Vector3d(below, 0.0, 0.0)), Eigen::Matrix3d::Identity());
}

TEST(RotationFromAngleAxis, LengthExactlyEpsilonTakesRodrigues) {
  // sin(eps)/eps rounds to 1 and 1 - cos(eps) to 0, so R = I + W exactly.
  const Eigen::Matrix3d r = rotationFromAngleAxis(Eigen::Vector3d(kDblEpsilon, 0.0, 0.0));
  Eigen::Matrix3d expected = Eigen::Matrix3d::Identity();
  expected(2, 1) = kDblEpsilon;
  expected(1, 2) = -kDblEpsilon;
  EXPECT_EQ(r, expected);
}

TEST(RotationFromAngleAxis, NotANumberTakesRodrigues) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_TRUE(rotationFromAngleAxis(Eigen::Vector3d(nan, 0.0, 0.0)).hasNaN());
}

TEST(RotationFromAngleAxis, AgreesWithEigenAngleAxis) {
  for (const Eigen::Vector3d& w : {Eigen::Vector3d(0.3, -0.7, 1.1), Eigen::Vector3d(-2.5, 0.4, 0.9),
                                   Eigen::Vector3d(1e-5, 2e-5, -1e-5)}) {
    SCOPED_TRACE(w.transpose());
    const Eigen::Matrix3d expected = Eigen::AngleAxisd(w.norm(), w.normalized()).toRotationMatrix();
    EXPECT_TRUE(rotationFromAngleAxis(w).isApprox(expected, 1e-14));
  }
}

// Two cameras in the BAL parameter layout: w, t, f, k1, k2.
Eigen::VectorXd twoCameras() {
  Eigen::VectorXd parameters(18);
  parameters << 0.1, -0.2, 0.3, 0.5, -0.3, -4.0, 500.0, 0.01, -0.002,  //
      -1.2, 0.4, 2.0, 2.0, 1.0, -6.0, 800.0, 0.0, 0.0;
  return parameters;
}

TEST(PretreatCameras, ProjectionMatchesTheBalCameraModel) {
  const Eigen::VectorXd parameters = twoCameras();
  const CameraTables tables = pretreatCameras(parameters, 2);
  ASSERT_EQ(tables.cameraBlocks.size(), 2u);

  const std::vector<Eigen::Vector3d> points = {
      {0.1, 0.2, 0.3}, {-1.0, 0.5, 2.0}, {3.0, -2.0, -1.0}};
  for (int c = 0; c < 2; ++c) {
    SCOPED_TRACE(c);
    const Eigen::Vector3d w = parameters.segment<3>(9 * c);
    const Eigen::Vector3d t = parameters.segment<3>(9 * c + 3);
    const double f = parameters[9 * c + 6];
    const Eigen::Matrix3d r = rotationFromAngleAxis(w);
    const ViewBlock& block = tables.cameraBlocks[static_cast<std::size_t>(c)];
    const Eigen::Matrix<double, 3, 4> p = block.camera();
    const Eigen::Matrix<double, 3, 7> pose = block.pose;

    EXPECT_EQ(Eigen::Matrix3d(pose.leftCols<3>()),
              Eigen::Vector3d(-f, -f, 1.0).asDiagonal().toDenseMatrix());
    EXPECT_EQ(Eigen::Matrix3d(pose.middleCols<3>(3)), r);
    const Eigen::Vector3d centre = pose.col(6);
    EXPECT_LT((r * centre + t).norm(), 1e-12);
    EXPECT_LT((p * centre.homogeneous()).norm(), 1e-9);

    for (const Eigen::Vector3d& x : points) {
      const Eigen::Vector3d xc = r * x + t;
      const Eigen::Vector3d image = p * x.homogeneous();
      EXPECT_NEAR(image[0] / image[2], -f * xc[0] / xc[2], 1e-9);
      EXPECT_NEAR(image[1] / image[2], -f * xc[1] / xc[2], 1e-9);
    }

    // Each camera's coefficient rows sit in its own block.
    EXPECT_EQ(Eigen::MatrixXd(block.jacobianCoefficients()),
              Eigen::MatrixXd(jacobianCoefficientBlock(p)));
    EXPECT_EQ(Eigen::MatrixXd(block.curvatureCoefficients()),
              Eigen::MatrixXd(curvatureCoefficientBlock(p)));
  }
}

TEST(PretreatCameras, PointInFrontProjectsWithTheSignsOfItsCameraCoordinates) {
  // BAL cameras look down -z: with f > 0 a point with Xc[2] < 0 keeps the signs of Xc[0], Xc[1].
  const Eigen::VectorXd parameters = twoCameras().head<9>();
  const CameraTables tables = pretreatCameras(parameters, 1);
  const Eigen::Matrix3d r = rotationFromAngleAxis(parameters.head<3>());
  const Eigen::Vector3d t = parameters.segment<3>(3);
  for (const Eigen::Vector3d& xc :
       {Eigen::Vector3d(1.0, -2.0, -5.0), Eigen::Vector3d(-0.5, 3.0, -1.0)}) {
    const Eigen::Vector3d x = r.transpose() * (xc - t);
    const Eigen::Vector3d image = tables.cameraBlocks[0].camera() * x.homogeneous();
    EXPECT_EQ(std::signbit(image[0] / image[2]), std::signbit(xc[0]));
    EXPECT_EQ(std::signbit(image[1] / image[2]), std::signbit(xc[1]));
  }
}

TEST(PretreatCameras, NoCamerasGiveNoBlocks) {
  EXPECT_TRUE(pretreatCameras(Eigen::VectorXd(0), 0).cameraBlocks.empty());
}

// The shipped data set, read from disk, through every stage of this folder.
TEST(RealData, Problem49LoadsIndexesAndPretreats) {
  const char* folder = std::getenv("TESSMARK_DATA_DIR");
  const std::filesystem::path path =
      std::filesystem::path(folder != nullptr ? folder : "") / "problem-49-7776-pre.txt";
  if (folder == nullptr || !std::filesystem::exists(path)) {
    GTEST_SKIP() << "data file not found: " << path;
  }
  TextFile file = TextFile::open(path.string());
  checkBalHeader(file);
  const BalCounts counts = readBalCounts(file);
  EXPECT_EQ(counts.cameraNum, 49);
  EXPECT_EQ(counts.pointNum, 7776);
  EXPECT_EQ(counts.imageCoordinates, 31843);
  BalProblem problem = readBalRecords(file, counts);
  EXPECT_EQ(problem.observationTable(0, 0), -332.65);
  EXPECT_EQ(problem.observationTable(0, 1), 262.09);

  const ObservationIndex index = indexObservations(problem);
  EXPECT_EQ(std::accumulate(index.viewNum.begin(), index.viewNum.end(), 0), 31843);
  EXPECT_GE(*std::min_element(index.viewNum.begin(), index.viewNum.end()), 2);
  for (int p = 0; p < problem.pointNum; ++p) {
    for (int j = 0; j < index.viewNum[p]; ++j) {
      ASSERT_EQ(problem.observationPoint[index.viewStart[p] + j], p);
    }
  }

  const CameraTables tables = pretreatCameras(problem.cameraParameters, problem.cameraNum);
  ASSERT_EQ(tables.cameraBlocks.size(), 49u);
  for (const ViewBlock& block : tables.cameraBlocks) {
    EXPECT_TRUE(block.cameraRows.allFinite() && block.derivativeCoefficients.allFinite());
  }
}

}  // namespace
}  // namespace tessmark
