#include "model/coefficients.hpp"

namespace tessmark {

namespace {
constexpr int kPairs[6][2] = {{0, 0}, {0, 1}, {0, 2}, {1, 1}, {1, 2}, {2, 2}};
}

Eigen::Matrix<double, 2, 12> jacobianCoefficientBlock(const Eigen::Matrix<double, 3, 4>& camera) {
  Eigen::Matrix<double, 2, 12> block;
  for (int c = 0; c < 2; ++c) {
    for (int i = 0; i < 3; ++i) {
      for (int b = 0; b < 4; ++b) {
        block(c, 4 * i + b) = camera(c, i) * camera(2, b) - camera(c, b) * camera(2, i);
      }
    }
  }
  return block;
}

Eigen::Matrix<double, 12, 4> curvatureCoefficientBlock(const Eigen::Matrix<double, 3, 4>& camera) {
  Eigen::Matrix<double, 12, 4> block;
  for (int c = 0; c < 2; ++c) {
    for (int k = 0; k < 6; ++k) {
      const int i = kPairs[k][0];
      const int j = kPairs[k][1];
      for (int b = 0; b < 4; ++b) {
        block(6 * c + k, b) =
            2.0 * camera(2, i) * camera(2, j) * camera(c, b) -
            (camera(c, i) * camera(2, j) + camera(c, j) * camera(2, i)) * camera(2, b);
      }
    }
  }
  return block;
}

Eigen::MatrixXd buildJacobianCoefficients(int cameraNum, const Eigen::MatrixXd& cameraProjections) {
  Eigen::MatrixXd table = Eigen::MatrixXd::Zero(2 * Eigen::Index{cameraNum}, 12);
  for (int c = 0; c < cameraNum; ++c) {
    table.middleRows<2>(2 * c) = jacobianCoefficientBlock(cameraProjections.middleRows<3>(3 * c));
  }
  return table;
}

Eigen::MatrixXd buildCurvatureCoefficients(int cameraNum,
                                           const Eigen::MatrixXd& cameraProjections) {
  Eigen::MatrixXd table(12 * Eigen::Index{cameraNum}, 4);
  for (int c = 0; c < cameraNum; ++c) {
    table.middleRows<12>(12 * c) =
        curvatureCoefficientBlock(cameraProjections.middleRows<3>(3 * c));
  }
  return table;
}

}  // namespace tessmark
