#include "model/symmedian.hpp"

#include <Eigen/QR>

#include "model/linear_solve.hpp"

namespace tessmark {

Eigen::Vector3d symmedianPoint(const PointProblem& problem) {
  Eigen::Matrix3d sum = Eigen::Matrix3d::Zero();
  Eigen::Vector3d target = Eigen::Vector3d::Zero();
  for (int v = 0; v < problem.viewCount; ++v) {
    const auto pose = problem.poses.middleRows<3>(3 * v);
    const Eigen::Matrix3d calibration = pose.leftCols<3>();
    const Eigen::Matrix3d rotation = pose.middleCols<3>(3);
    const Eigen::Vector3d centre = pose.col(6);
    const Eigen::Vector3d image(problem.observations(2 * v), problem.observations(2 * v + 1), 1.0);

    const Eigen::Vector3d cameraRay =
        Eigen::HouseholderQR<Eigen::Matrix3d>(calibration).solve(image);
    Eigen::Vector3d direction = rotation.transpose() * cameraRay;
    direction /= direction.norm();
    const Eigen::Matrix3d projector =
        Eigen::Matrix3d::Identity() - direction * direction.transpose();
    sum += projector;
    target += projector * centre;
  }
  Eigen::Vector3d point = Eigen::HouseholderQR<Eigen::Matrix3d>(sum).solve(target);
  if (needsSvdFallback(point)) point = svdSolve(sum, target);
  return point;
}

}  // namespace tessmark
