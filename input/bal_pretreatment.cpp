#include "input/bal_pretreatment.hpp"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <utility>

#include "model/derivatives.hpp"

namespace tessmark {

ObservationIndex indexObservations(BalProblem& problem) {
  const int pointNum = problem.pointNum;
  const int observationNum = problem.imageCoordinates;
  assert(pointNum >= 0 && observationNum >= 0);
  assert(problem.observationCamera.size() == static_cast<std::size_t>(observationNum));
  assert(problem.observationPoint.size() == static_cast<std::size_t>(observationNum));
  assert(problem.observationTable.rows() == observationNum && problem.observationTable.cols() == 2);

  ObservationIndex index;
  index.viewNum.assign(pointNum, 0);
  index.viewStart.assign(pointNum, 0);

  bool grouped = true;
  int previous = 0;
  for (const int point : problem.observationPoint) {
    assert(point >= 0 && point < pointNum);
    ++index.viewNum[point];
    grouped = grouped && point >= previous;
    previous = point;
  }
  // A point's views start where the previous point's end, absent points included, both for grouped
  // input and after the grouping below.
  int start = 0;
  for (int p = 0; p < pointNum; ++p) {
    index.viewStart[p] = start;
    start += index.viewNum[p];
  }
  if (grouped) return index;

  // Counting sort by point: observation i goes to the next free slot of its point, so each point
  // keeps its observations in file order.
  std::vector<int> nextSlot = index.viewStart;
  std::vector<int> cameras(observationNum);
  std::vector<int> points(observationNum);
  Eigen::MatrixXd table(observationNum, 2);
  for (int i = 0; i < observationNum; ++i) {
    const int point = problem.observationPoint[i];
    const int slot = nextSlot[point]++;
    cameras[slot] = problem.observationCamera[i];
    points[slot] = point;
    table.row(slot) = problem.observationTable.row(i);
  }
  problem.observationCamera = std::move(cameras);
  problem.observationPoint = std::move(points);
  problem.observationTable = std::move(table);
  return index;
}

Eigen::Matrix3d rotationFromAngleAxis(const Eigen::Vector3d& w) {
  const double theta = std::sqrt(w[0] * w[0] + w[1] * w[1] + w[2] * w[2]);
  if (theta < kDblEpsilon) return Eigen::Matrix3d::Identity();

  Eigen::Matrix3d cross;
  cross << 0.0, -w[2], w[1],  //
      w[2], 0.0, -w[0],       //
      -w[1], w[0], 0.0;
  // W W is formed on its own, then scaled and added, so that the result does not depend on how an
  // expression template would order the sums.
  const Eigen::Matrix3d crossSquared = cross * cross;
  Eigen::Matrix3d rotation = Eigen::Matrix3d::Identity() + (std::sin(theta) / theta) * cross;
  rotation += ((1.0 - std::cos(theta)) / (theta * theta)) * crossSquared;
  return rotation;
}

Eigen::Matrix3d focalIntrinsics(double f) {
  Eigen::Matrix3d k = Eigen::Matrix3d::Identity();
  k(0, 0) = -f;
  k(1, 1) = -f;
  return k;
}

CameraTables pretreatCameras(const Eigen::VectorXd& cameraParameters, int cameraNum) {
  assert(cameraNum >= 0 && cameraParameters.size() == 9 * Eigen::Index{cameraNum});
  CameraTables tables;
  tables.cameraPoses.resize(3 * Eigen::Index{cameraNum}, 7);
  tables.cameraProjections.resize(3 * Eigen::Index{cameraNum}, 4);
  for (int c = 0; c < cameraNum; ++c) {
    const auto parameters = cameraParameters.segment<9>(9 * Eigen::Index{c});
    const Eigen::Vector3d w = parameters.segment<3>(0);
    const Eigen::Vector3d t = parameters.segment<3>(3);
    const Eigen::Matrix3d k = focalIntrinsics(parameters[6]);
    const Eigen::Matrix3d r = rotationFromAngleAxis(w);
    const Eigen::Vector3d centre = -(r.transpose() * t);

    auto pose = tables.cameraPoses.middleRows<3>(3 * Eigen::Index{c});
    pose.leftCols<3>() = k;
    pose.middleCols<3>(3) = r;
    pose.col(6) = centre;
    auto projection = tables.cameraProjections.middleRows<3>(3 * Eigen::Index{c});
    projection.leftCols<3>() = k * r;
    projection.col(3) = k * t;
  }
  buildCoefficientTables(tables, cameraNum);
  return tables;
}

int gatherBalPoint(PointWorkspace& workspace, const BalProblem& problem,
                   const ObservationIndex& index, const CameraTables& tables, int p) {
  const auto i = static_cast<std::size_t>(p);
  const int n = index.viewNum[i];
  for (int j = 0; j < n; ++j) {
    const int o = index.viewStart[i] + j;
    workspace.gatherView(j, tables, problem.observationCamera[static_cast<std::size_t>(o)],
                         problem.observationTable(o, 0), problem.observationTable(o, 1));
  }
  return n;
}

}  // namespace tessmark
