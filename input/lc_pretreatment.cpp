#include "input/lc_pretreatment.hpp"

#include <cassert>
#include <cmath>
#include <limits>

#include <Eigen/LU>

namespace tessmark {

LcVisibility indexLcObservations(const LcProblem& problem) {
  const int cameraNum = problem.allCameraNum;
  assert(problem.lcObservations.size() ==
         problem.rowLength() * static_cast<std::size_t>(problem.pointNum));
  LcVisibility visibility;
  visibility.allCameraNum = cameraNum;
  visibility.viewNum.assign(static_cast<std::size_t>(problem.pointNum), 0);
  visibility.cameraVisibility.resize(static_cast<std::size_t>(problem.pointNum) *
                                     static_cast<std::size_t>(cameraNum));
  for (int i = 0; i < problem.pointNum; ++i) {
    const double* row = problem.observationRow(i);
    std::uint8_t* seen = visibility.cameraVisibility.data() +
                         static_cast<std::size_t>(i) * static_cast<std::size_t>(cameraNum);
    int views = 0;
    for (int c = 0; c < cameraNum; ++c) {
      seen[c] = row[2 * c] != kMissingView;
      views += seen[c];
    }
    visibility.viewNum[static_cast<std::size_t>(i)] = views;
  }
  return visibility;
}

namespace {

double thirdRowSquares(const Eigen::Matrix<double, 3, 4>& camera) {
  return camera(2, 0) * camera(2, 0) + camera(2, 1) * camera(2, 1) + camera(2, 2) * camera(2, 2);
}

}  // namespace

CameraDecomposition decomposeCamera(const Eigen::Matrix<double, 3, 4>& camera) {
  CameraDecomposition result;
  const double s = thirdRowSquares(camera);
  result.rankDeficient = (camera.block<1, 3>(2, 0).array() == 0.0).all();
  Eigen::Matrix<double, 3, 4> p;
  if ((s >= std::numeric_limits<double>::min() && s <= std::numeric_limits<double>::max()) ||
      result.rankDeficient || !camera.allFinite()) {
    p = camera / std::sqrt(s);
  } else {
    // The squares overflowed or underflowed, though the row is finite and not zero. P scaled by a
    // positive factor is the same camera: scaled by the row's largest entry first, the row's sum of
    // squares lies in [1, 3].
    const Eigen::Matrix<double, 3, 4> scaled =
        camera / camera.block<1, 3>(2, 0).cwiseAbs().maxCoeff();
    p = scaled / std::sqrt(thirdRowSquares(scaled));
  }
  const Eigen::Matrix3d m = p.leftCols<3>();
  const Eigen::Matrix3d a = m * m.transpose();

  // A = K K^T for the upper triangular K with K(2,2) = 1, read off entry by entry from the bottom
  // right: A(0,2) = cx, A(1,2) = cy, A(1,1) = fy^2 + cy^2, A(0,1) = q fy^2 + cx cy and
  // A(0,0) = fx^2 + q^2 fy^2 + cx^2.
  const double cx = a(0, 2);
  const double cy = a(1, 2);
  const double d = a(1, 1) - cy * cy;
  const double fy = std::sqrt(d);
  const double q = (a(0, 1) - cx * cy) / d;
  const double fx = fy * std::sqrt((a(0, 0) - cx * cx) / d - q * q);
  Eigen::Matrix3d k;
  k << fx, q * fy, cx,  //
      0.0, fy, cy,      //
      0.0, 0.0, 1.0;

  const Eigen::Matrix3d kInverse = Eigen::PartialPivLU<Eigen::Matrix3d>(k).inverse();
  result.pose.leftCols<3>() = k;
  result.pose.middleCols<3>(3) = kInverse * m;
  result.pose.col(6) = -(m.inverse() * p.col(3));
  return result;
}

CameraTables pretreatLcCameras(const LcProblem& problem, std::vector<int>& rankDeficientCameras) {
  const int cameraNum = problem.allCameraNum;
  CameraTables tables;
  tables.cameraProjections = problem.cameraProjections;
  tables.cameraPoses.resize(3 * Eigen::Index{cameraNum}, 7);
  for (int c = 0; c < cameraNum; ++c) {
    const CameraDecomposition decomposition =
        decomposeCamera(tables.cameraProjections.middleRows<3>(3 * Eigen::Index{c}));
    tables.cameraPoses.middleRows<3>(3 * Eigen::Index{c}) = decomposition.pose;
    if (decomposition.rankDeficient) rankDeficientCameras.push_back(c);
  }
  buildCoefficientTables(tables, cameraNum);
  return tables;
}

int locateLcPoint(PointWorkspace& workspace, const LcVisibility& visibility, int i) {
  const std::uint8_t* seen = visibility.visibilityRow(i);
  int n = 0;
  for (int c = 0; c < visibility.allCameraNum; ++c) {
    if (seen[c] != 0) workspace.cameraList[static_cast<std::size_t>(n++)] = c;
  }
  assert(n == visibility.viewNum[static_cast<std::size_t>(i)]);
  return n;
}

void gatherLcPoint(PointWorkspace& workspace, const LcProblem& problem, const CameraTables& tables,
                   int i, int n) {
  const double* row = problem.observationRow(i);
  for (int j = 0; j < n; ++j) {
    const int c = workspace.cameraList[static_cast<std::size_t>(j)];
    workspace.gatherView(j, tables, c, row[2 * c], row[2 * c + 1]);
  }
}

}  // namespace tessmark
