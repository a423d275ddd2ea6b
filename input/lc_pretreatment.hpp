#pragma once
// Preparation of a loaded .lc problem: which cameras see each point, the decomposition of every
// camera matrix into its pose block, the per-camera tables, and the gathering of one point's views
// from them.
//
// Camera model: camera c maps X~ = (X, 1) to x = (p1 . X~) / (p3 . X~), y = (p2 . X~) / (p3 . X~),
// p1, p2, p3 the rows of its matrix P exactly as read; no further convention is applied.

#include <cstdint>
#include <vector>

#include <Eigen/Core>

#include "input/lc_problem.hpp"
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

// The pose block [K | R | C] of one camera matrix P, and whether P is degenerate.
struct CameraDecomposition {
  Eigen::Matrix<double, 3, 7> pose;
  // The left 3x3 block of P has a zero third row: P is not a perspective camera, and the pose block
  // holds non-finite values. Not an error: the caller warns, and the camera's points flow through.
  bool rankDeficient = false;
};

// With M the left 3x3 block of P normalised so that its third row has unit length (P / n, n the
// length of that row), K is the upper triangular factor of M M^T = K K^T with K(2,2) = 1 and
// non-negative K(0,0), K(1,1) (K(0,1) the skew), R = K^-1 M (K^-1 from an LU decomposition with
// partial pivoting) and C = -M^-1 p4 (p4 the fourth column of the normalised P), the camera centre,
// so that the normalised P equals K R [I | -C]. No sign correction: det R = -1 when det M < 0, and
// a factor s < 0 on P flips the sign of R only (K and C are unchanged); a factor s > 0 changes
// nothing. Where the sum of squares of that row is a normal double, n is its square root, to the
// bit; where it overflows or underflows (a row of entries beyond about 1e154 or below about 1e-154
// in size), P is divided by the row's largest entry magnitude first, so that any finite camera with
// a non-zero third row decomposes as well as its rescaled copies do.
CameraDecomposition decomposeCamera(const Eigen::Matrix<double, 3, 4>& camera);

// The tables of every camera: pose rows from decomposeCamera, projection rows as read, then both
// coefficient tables from the matrices as read (not normalised). The cameras that decomposeCamera
// found degenerate are appended to `rankDeficientCameras`, in camera order.
CameraTables pretreatLcCameras(const LcProblem& problem, std::vector<int>& rankDeficientCameras);

// Point i's cameras, in increasing order, into workspace.cameraList; returns their count n. Reads
// only the point's visibility row and allocates nothing.
int locateLcPoint(PointWorkspace& workspace, const LcVisibility& visibility, int i);
// Gathers point i's n views (the cameras locateLcPoint listed) into the workspace, the image
// coordinates from the point's row of the observation table. Allocates nothing.
void gatherLcPoint(PointWorkspace& workspace, const LcProblem& problem, const CameraTables& tables,
                   int i, int n);

}  // namespace tessmark
