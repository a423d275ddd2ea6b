#pragma once
// Preparation of a loaded BAL problem: indexing of the observations by 3D point, the per-camera
// tables from the angle-axis cameras, and the gathering of one point's views from them.
//
// Camera model (BAL, radial distortion ignored): Xc = R X + t; x = -f Xc[0] / Xc[2],
// y = -f Xc[1] / Xc[2]. With K = diag(-f, -f, 1) the projection matrix is P = [K R | K t].

#include <vector>

#include <Eigen/Core>

#include "input/bal_problem.hpp"
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

// The rotation (world to camera) of the angle-axis vector w by Rodrigues' formula: with
// theta = |w| and W the cross-product matrix of w, R = I + (sin theta / theta) W +
// ((1 - cos theta) / theta^2) W W. The identity when theta < kDblEpsilon (strict, so a length of
// exactly kDblEpsilon takes the formula); a NaN theta takes the formula and gives NaN entries.
Eigen::Matrix3d rotationFromAngleAxis(const Eigen::Vector3d& w);
// diag(-f, -f, 1).
Eigen::Matrix3d focalIntrinsics(double f);

// The tables of every camera: pose rows [K | R | C] with C = -R^T t, projection rows [K R | K t],
// then both coefficient tables (buildCoefficientTables). cameraParameters holds 9 cameraNum values
// in the reader's layout; the distortion coefficients k1, k2 are not used. cameraNum 0 gives
// tables with no rows.
CameraTables pretreatCameras(const Eigen::VectorXd& cameraParameters, int cameraNum);

// Gathers point p into the workspace: its observations in file order (after indexObservations),
// each with its camera's rows. Returns the view count n.
int gatherBalPoint(PointWorkspace& workspace, const BalProblem& problem,
                   const ObservationIndex& index, const CameraTables& tables, int p);

}  // namespace tessmark
