#include "model/point_problem.hpp"

namespace tessmark {

void ViewBlock::assign(const Eigen::Matrix<double, 3, 4>& camera,
                       const Eigen::Matrix<double, 2, 12>& jacobianCoefficients,
                       const Eigen::Matrix<double, 12, 4>& curvatureCoefficients,
                       const Eigen::Matrix<double, 3, 7>& cameraPose, double x, double y) {
  cameraRows = camera.transpose();
  for (int c = 0; c < 2; ++c) {
    for (int i = 0; i < 3; ++i) {
      derivativeCoefficients.row(3 * c + i) = jacobianCoefficients.block<1, 4>(c, 4 * i);
    }
  }
  derivativeCoefficients.bottomRows<12>() = curvatureCoefficients;
  observation = {x, y};
  pose = cameraPose;
}

Eigen::Matrix<double, 2, 12> ViewBlock::jacobianCoefficients() const {
  Eigen::Matrix<double, 2, 12> block;
  for (int c = 0; c < 2; ++c) {
    for (int i = 0; i < 3; ++i) {
      block.block<1, 4>(c, 4 * i) = derivativeCoefficients.row(3 * c + i);
    }
  }
  return block;
}

}  // namespace tessmark
