#include "model/camera_tables.hpp"

#include <algorithm>

#include "model/coefficients.hpp"

namespace tessmark {

void buildCoefficientTables(CameraTables& tables, int cameraNum) {
  tables.cameraJacobianCoefficients =
      buildJacobianCoefficients(cameraNum, tables.cameraProjections);
  tables.cameraCurvatureCoefficients =
      buildCurvatureCoefficients(cameraNum, tables.cameraProjections);
}

int largestViewCount(const std::vector<int>& viewNum) {
  return viewNum.empty() ? 0 : *std::max_element(viewNum.begin(), viewNum.end());
}

}  // namespace tessmark
