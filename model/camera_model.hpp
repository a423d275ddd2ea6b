#pragma once
// The two camera models the data formats carry, turned into what every point's problem is built
// from: a 3x4 projection matrix P and a pose block [K | R | C] (calibration, rotation world to
// camera, camera centre).
//
// BAL camera (angle-axis w, translation t, focal length f; radial distortion ignored):
// Xc = R X + t; x = -f Xc[0] / Xc[2], y = -f Xc[1] / Xc[2]. With K = diag(-f, -f, 1) the projection
// matrix is P = [K R | K t].
//
// .lc camera: a 3x4 matrix P as read, mapping X~ = (X, 1) to x = (p1 . X~) / (p3 . X~),
// y = (p2 . X~) / (p3 . X~); its pose block comes from decomposeCamera.

#include <Eigen/Core>

namespace tessmark {

// The rotation (world to camera) of the angle-axis vector w by Rodrigues' formula: with
// theta = |w| and W the cross-product matrix of w, R = I + (sin theta / theta) W +
// ((1 - cos theta) / theta^2) W W. The identity when theta < kDblEpsilon (strict, so a length of
// exactly kDblEpsilon takes the formula); a NaN theta takes the formula and gives NaN entries.
Eigen::Matrix3d rotationFromAngleAxis(const Eigen::Vector3d& w);
// diag(-f, -f, 1).
Eigen::Matrix3d focalIntrinsics(double f);

// A camera's projection matrix and its pose block.
struct PreparedCamera {
  Eigen::Matrix<double, 3, 4> projection;  // P
  Eigen::Matrix<double, 3, 7> pose;        // [K | R | C]
};

// A BAL camera: K = focalIntrinsics(f), R = rotationFromAngleAxis(w), C = -R^T t, P = [K R | K t].
PreparedCamera balCameraModel(const Eigen::Vector3d& w, const Eigen::Vector3d& t, double f);

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

}  // namespace tessmark
