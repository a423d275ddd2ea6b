#include "model/camera_tables.hpp"

#include <algorithm>
#include <limits>

#include "model/coefficients.hpp"

namespace tessmark {

CameraTables buildCameraTables(const Eigen::MatrixXd& projections, const Eigen::MatrixXd& poses,
                               int cameraNum) {
  const Eigen::MatrixXd jacobianCoefficients = buildJacobianCoefficients(cameraNum, projections);
  const Eigen::MatrixXd curvatureCoefficients = buildCurvatureCoefficients(cameraNum, projections);
  CameraTables tables;
  tables.cameraBlocks.resize(static_cast<std::size_t>(cameraNum));
  for (int c = 0; c < cameraNum; ++c) {
    const Eigen::Index row = 3 * Eigen::Index{c};
    const Eigen::Matrix<double, 3, 7> pose =
        row + 3 <= poses.rows() && poses.cols() == 7
            ? Eigen::Matrix<double, 3, 7>(poses.middleRows<3>(row))
            : Eigen::Matrix<double, 3, 7>::Constant(std::numeric_limits<double>::quiet_NaN());
    tables.cameraBlocks[static_cast<std::size_t>(c)].assign(
        projections.middleRows<3>(row), jacobianCoefficients.middleRows<2>(2 * Eigen::Index{c}),
        curvatureCoefficients.middleRows<12>(12 * Eigen::Index{c}), pose, 0.0, 0.0);
  }
  return tables;
}

int largestViewCount(const std::vector<int>& viewNum) {
  return viewNum.empty() ? 0 : *std::max_element(viewNum.begin(), viewNum.end());
}

}  // namespace tessmark
