#pragma once
// Preparation of a loaded .lc problem: which cameras see each point, the decomposition of every
// camera matrix into its pose block (decomposeCamera, model/camera_model.hpp), the per-camera
// tables, and the gathering of one point's views from them. The matrices are used exactly as read;
// no further convention is applied.

#include <cstdint>
#include <vector>

#include <Eigen/Core>

#include "input/lc_problem.hpp"
#include "model/camera_model.hpp"
#include "model/camera_tables.hpp"
#include "model/point_workspace.hpp"

namespace tessmark {

// Which cameras see each point.
struct LcVisibility {
  int allCameraNum = 0;
  // pointNum entries: the number of cameras that see point i.
  std::vector<int> viewNum;
  // pointNum x allCameraNum, row-major: entry (i, c) is 1 when camera c sees point i (the x entry
  // of the point's row is not -1), else 0.
  std::vector<std::uint8_t> cameraVisibility;

  const std::uint8_t* visibilityRow(int i) const {
    return cameraVisibility.data() +
           static_cast<std::size_t>(i) * static_cast<std::size_t>(allCameraNum);
  }
};

// One pass over the observation table. The reader has refused views with only one coordinate
// equal to -1, so every point's view count equals the number of cameras in its visibility row.
LcVisibility indexLcObservations(const LcProblem& problem);

// The blocks of every camera: pose from decomposeCamera, the matrix as read, and the coefficient
// rows from the matrices as read (not normalised; buildCameraTables). The cameras that
// decomposeCamera found degenerate are appended to `rankDeficientCameras`, in camera order.
CameraTables pretreatLcCameras(const LcProblem& problem, std::vector<int>& rankDeficientCameras);

// Point i's cameras, in increasing order, into workspace.cameraList; returns their count n. Reads
// only the point's visibility row and allocates nothing.
int locateLcPoint(PointWorkspace& workspace, const LcVisibility& visibility, int i);
// Gathers point i's n views (the cameras locateLcPoint listed) into the workspace, the image
// coordinates from the point's row of the observation table. Allocates nothing.
void gatherLcPoint(PointWorkspace& workspace, const LcProblem& problem, const CameraTables& tables,
                   int i, int n);

}  // namespace tessmark
