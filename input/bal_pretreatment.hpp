#pragma once
// Preparation of a loaded BAL problem: indexing of the observations by 3D point, the per-camera
// tables from the angle-axis cameras (the BAL camera model of model/camera_model.hpp), and the
// gathering of one point's views from them.

#include <vector>

#include <Eigen/Core>

#include "input/bal_problem.hpp"
#include "model/camera_model.hpp"
#include "model/camera_tables.hpp"
#include "model/point_workspace.hpp"

namespace tessmark {

// Where each point's observations lie: observations viewStart[p] .. viewStart[p]+viewNum[p]-1 of
// the (grouped) observation arrays, in file order.
struct ObservationIndex {
  std::vector<int> viewNum;
  std::vector<int> viewStart;
};

// Groups the observations by point. Observations already grouped by increasing point index (as BAL
// files store them) are left in place; otherwise the three observation arrays are reordered by a
// stable grouping, so every observation belongs to its point and each point keeps its file order.
// viewStart is the running sum of viewNum, so a point without observations gets viewNum 0 and the
// viewStart where its run would begin. Requires every point index in 0..pointNum-1 (the reader
// checks it) and arrays of imageCoordinates entries.
ObservationIndex indexObservations(BalProblem& problem);

// The blocks of every camera: pose and projection from balCameraModel, then the coefficient rows
// (buildCameraTables). cameraParameters holds 9 cameraNum values in the reader's layout; the
// distortion coefficients k1, k2 are not used. cameraNum 0 gives no blocks.
CameraTables pretreatCameras(const Eigen::VectorXd& cameraParameters, int cameraNum);

// Gathers point p into the workspace: its observations in file order (after indexObservations),
// each with its camera's rows. Returns the view count n.
int gatherBalPoint(PointWorkspace& workspace, const BalProblem& problem,
                   const ObservationIndex& index, const CameraTables& tables, int p);

}  // namespace tessmark
