#include "model/point_workspace.hpp"

namespace tessmark {

PointWorkspace::PointWorkspace(int maxViewNum)
    : projections(Eigen::MatrixXd::Zero(3 * Eigen::Index{maxViewNum}, 4)),
      observations(Eigen::VectorXd::Zero(2 * Eigen::Index{maxViewNum})),
      poses(Eigen::MatrixXd::Zero(3 * Eigen::Index{maxViewNum}, 7)),
      jacobianCoefficients(Eigen::MatrixXd::Zero(2 * Eigen::Index{maxViewNum}, 12)),
      curvatureCoefficients(Eigen::MatrixXd::Zero(12 * Eigen::Index{maxViewNum}, 4)),
      cameraList(static_cast<std::size_t>(maxViewNum)),
      scratch(maxViewNum) {}

void PointWorkspace::gatherView(int j, const CameraTables& tables, int camera, double x, double y) {
  cameraList[static_cast<std::size_t>(j)] = camera;
  projections.middleRows<3>(3 * j) = tables.cameraProjections.middleRows<3>(3 * camera);
  poses.middleRows<3>(3 * j) = tables.cameraPoses.middleRows<3>(3 * camera);
  observations(2 * j) = x;
  observations(2 * j + 1) = y;
  jacobianCoefficients.middleRows<2>(2 * j) =
      tables.cameraJacobianCoefficients.middleRows<2>(2 * camera);
  curvatureCoefficients.middleRows<12>(12 * j) =
      tables.cameraCurvatureCoefficients.middleRows<12>(12 * camera);
}

PointProblem PointWorkspace::problem(int n) const {
  return PointProblem{n,
                      projections.topRows(3 * n),
                      observations.head(2 * n),
                      jacobianCoefficients.topRows(2 * n),
                      curvatureCoefficients.topRows(12 * n),
                      poses.topRows(3 * n)};
}

}  // namespace tessmark
