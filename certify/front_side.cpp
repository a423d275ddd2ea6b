#include "certify/front_side.hpp"

#include <cmath>

#include <Eigen/Geometry>

namespace tessmark::certify {

void FrontSideVote::add(std::size_t camera, const Eigen::Matrix<double, 3, 4>& matrix,
                        const Eigen::Vector3d& start) {
  const double depth = matrix.row(2).dot(start.homogeneous());
  if (!std::isfinite(depth)) return;
  if (depth > 0.0) ++positive_[camera];
  if (depth < 0.0) ++negative_[camera];
}

std::vector<int> FrontSideVote::sides(int fallback) const {
  std::vector<int> result(positive_.size(), fallback);
  for (std::size_t c = 0; c < result.size(); ++c) {
    if (positive_[c] > negative_[c]) result[c] = 1;
    if (negative_[c] > positive_[c]) result[c] = -1;
  }
  return result;
}

}  // namespace tessmark::certify
