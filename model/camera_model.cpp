#include "model/camera_model.hpp"

#include <cmath>
#include <limits>

#include <Eigen/LU>

#include "model/derivatives.hpp"

namespace tessmark {

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

PreparedCamera balCameraModel(const Eigen::Vector3d& w, const Eigen::Vector3d& t, double f) {
  const Eigen::Matrix3d k = focalIntrinsics(f);
  const Eigen::Matrix3d r = rotationFromAngleAxis(w);
  PreparedCamera camera;
  camera.pose.leftCols<3>() = k;
  camera.pose.middleCols<3>(3) = r;
  camera.pose.col(6) = -(r.transpose() * t);
  camera.projection.leftCols<3>() = k * r;
  camera.projection.col(3) = k * t;
  return camera;
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

}  // namespace tessmark
