#include "input/lc_pretreatment.hpp"

#include <cassert>

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

CameraTables pretreatLcCameras(const LcProblem& problem, std::vector<int>& rankDeficientCameras) {
  const int cameraNum = problem.allCameraNum;
  Eigen::MatrixXd poses(3 * Eigen::Index{cameraNum}, 7);
  for (int c = 0; c < cameraNum; ++c) {
    const CameraDecomposition decomposition =
        decomposeCamera(problem.cameraProjections.middleRows<3>(3 * Eigen::Index{c}));
    poses.middleRows<3>(3 * Eigen::Index{c}) = decomposition.pose;
    if (decomposition.rankDeficient) rankDeficientCameras.push_back(c);
  }
  return buildCameraTables(problem.cameraProjections, poses, cameraNum);
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
