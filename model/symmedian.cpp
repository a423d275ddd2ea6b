#include "model/symmedian.hpp"

#include "model/linear_solve.hpp"
#include "model/small_kernels.hpp"

namespace tessmark {

Eigen::Vector3d symmedianPoint(const PointProblem& problem) {
  Eigen::Matrix3d sum = Eigen::Matrix3d::Zero();
  Eigen::Vector3d target = Eigen::Vector3d::Zero();
  for (int v = 0; v < problem.viewCount; ++v) {
    const ViewBlock& view = problem.views[v];
    const Eigen::Matrix3d calibration = view.pose.leftCols<3>();
    const Eigen::Matrix3d rotation = view.pose.middleCols<3>(3);
    const Eigen::Vector3d centre = view.pose.col(6);
    const Eigen::Vector3d image(view.observation(0), view.observation(1), 1.0);

    const Eigen::Vector3d cameraRay = householderSolve(calibration, image);
    Eigen::Vector3d direction = rotation.transpose() * cameraRay;
    direction /= direction.norm();
    const Eigen::Matrix3d projector =
        Eigen::Matrix3d::Identity() - direction * direction.transpose();
    sum += projector;
    target += projector * centre;
  }
  Eigen::Vector3d point = householderSolve(sum, target);
  if (needsSvdFallback(point)) point = svdSolve(sum, target);
  return point;
}

}  // namespace tessmark
