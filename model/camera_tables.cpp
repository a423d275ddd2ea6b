#include "model/camera_tables.hpp"

#include <algorithm>
#include <limits>

#include "model/coefficients.hpp"

namespace tessmark {

void buildCoefficientTables(CameraTables& tables, int cameraNum) {
  tables.cameraJacobianCoefficients =
      buildJacobianCoefficients(cameraNum, tables.cameraProjections);
  tables.cameraCurvatureCoefficients =
      buildCurvatureCoefficients(cameraNum, tables.cameraProjections);
  tables.cameraBlocks.resize(static_cast<std::size_t>(cameraNum));
  for (int c = 0; c < cameraNum; ++c) {
    const Eigen::Index row = 3 * Eigen::Index{c};
    const Eigen::Matrix<double, 3, 7> pose =
        row + 3 <= tables.cameraPoses.rows() && tables.cameraPoses.cols() == 7
            ? Eigen::Matrix<double, 3, 7>(tables.cameraPoses.middleRows<3>(row))
            : Eigen::Matrix<double, 3, 7>::Constant(std::numeric_limits<double>::quiet_NaN());
    tables.cameraBlocks[static_cast<std::size_t>(c)].assign(
        tables.cameraProjections.middleRows<3>(row),
        tables.cameraJacobianCoefficients.middleRows<2>(2 * Eigen::Index{c}),
        tables.cameraCurvatureCoefficients.middleRows<12>(12 * Eigen::Index{c}), pose, 0.0, 0.0);
  }
}

int largestViewCount(const std::vector<int>& viewNum) {
  return viewNum.empty() ? 0 : *std::max_element(viewNum.begin(), viewNum.end());
}

}  // namespace tessmark
