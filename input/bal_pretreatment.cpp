#include "input/bal_pretreatment.hpp"

#include <algorithm>
#include <cassert>
#include <utility>

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

CameraTables pretreatCameras(const Eigen::VectorXd& cameraParameters, int cameraNum) {
  assert(cameraNum >= 0 && cameraParameters.size() == 9 * Eigen::Index{cameraNum});
  Eigen::MatrixXd poses(3 * Eigen::Index{cameraNum}, 7);
  Eigen::MatrixXd projections(3 * Eigen::Index{cameraNum}, 4);
  for (int c = 0; c < cameraNum; ++c) {
    const auto parameters = cameraParameters.segment<9>(9 * Eigen::Index{c});
    const PreparedCamera camera =
        balCameraModel(parameters.segment<3>(0), parameters.segment<3>(3), parameters[6]);
    poses.middleRows<3>(3 * Eigen::Index{c}) = camera.pose;
    projections.middleRows<3>(3 * Eigen::Index{c}) = camera.projection;
  }
  return buildCameraTables(projections, poses, cameraNum);
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
