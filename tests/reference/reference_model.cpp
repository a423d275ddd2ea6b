#include "tests/model/reference_model.hpp"

#include <Eigen/Cholesky>
#include <Eigen/Eigenvalues>
#include <Eigen/QR>

namespace tessmark::reference {

namespace {

using RowView = Eigen::Ref<const Eigen::MatrixXd>;

Eigen::Vector4d cameraRow(const synthetic::PointData& data, int view, int row) {
  return data.projections.row(3 * view + row).transpose();
}

Eigen::RowVector3d scaledJacobianRow(const synthetic::PointData& data, int row,
                                     const Eigen::Vector4d& xh) {
  const RowView table = data.jacobianCoefficients;
  const auto coefficients = table.row(row);
  return {coefficients.segment<4>(0).dot(xh.transpose()),
          coefficients.segment<4>(4).dot(xh.transpose()),
          coefficients.segment<4>(8).dot(xh.transpose())};
}

double guardDepth(double w) {
  if (w > 0.0 && w < kDblEpsilon) return w + kDblEpsilon;
  if (w < 0.0 && w > -kDblEpsilon) return w - kDblEpsilon;
  return w;
}

}  // namespace

double reprojectionCost(const synthetic::PointData& data, const Eigen::Vector3d& x) {
  const Eigen::Vector4d xh = homogeneous(x);
  double cost = 0.0;
  for (int v = 0; v < data.viewCount; ++v) {
    const double w = cameraRow(data, v, 2).dot(xh);
    for (int c = 0; c < 2; ++c) {
      const double r = cameraRow(data, v, c).dot(xh) / w - data.observations(2 * v + c);
      cost += r * r;
    }
  }
  return cost;
}

Eigen::Vector3d costGradient(const synthetic::PointData& data, const Eigen::Vector3d& x,
                             DepthGuard guard) {
  const Eigen::Vector4d xh = homogeneous(x);
  Eigen::Vector3d gradient = Eigen::Vector3d::Zero();
  for (int v = 0; v < data.viewCount; ++v) {
    double w = cameraRow(data, v, 2).dot(xh);
    if (guard == DepthGuard::on) w = guardDepth(w);
    for (int c = 0; c < 2; ++c) {
      const double r = (cameraRow(data, v, c) / w).dot(xh) - data.observations(2 * v + c);
      gradient += (scaledJacobianRow(data, 2 * v + c, xh) / (w * w)).transpose() * r;
    }
  }
  return gradient;
}

HessianParts hessianParts(const synthetic::PointData& data, const Eigen::Vector3d& x,
                          DepthGuard guard) {
  const Eigen::Vector4d xh = homogeneous(x);
  HessianParts parts{Eigen::Matrix3d::Zero(), Eigen::Matrix3d::Zero()};
  const RowView curvatureTable = data.curvatureCoefficients;
  for (int v = 0; v < data.viewCount; ++v) {
    const double w = cameraRow(data, v, 2).dot(xh);
    double e[2];
    for (int c = 0; c < 2; ++c) {
      e[c] = cameraRow(data, v, c).dot(xh) - data.observations(2 * v + c) * w;
    }
    const auto curvature = curvatureTable.middleRows<12>(12 * v);
    const double w2 = w * w;
    const double w4 = w2 * w2;
    double m[6];
    for (int k = 0; k < 6; ++k) {
      m[k] = (e[0] * curvature.row(k).dot(xh.transpose()) +
              e[1] * curvature.row(6 + k).dot(xh.transpose())) /
             w4;
    }
    Eigen::Matrix3d s;
    s << m[0], m[1], m[2], m[1], m[3], m[4], m[2], m[4], m[5];
    parts.secondOrder += s;
    const double squaredDepth = guard == DepthGuard::on && w2 < kDblEpsilon ? w2 + kDblEpsilon : w2;
    for (int c = 0; c < 2; ++c) {
      const Eigen::RowVector3d row = scaledJacobianRow(data, 2 * v + c, xh) / squaredDepth;
      parts.gaussNewton.noalias() += row.transpose() * row;
    }
  }
  return parts;
}

Eigen::Vector3d householderSolve(const Eigen::Matrix3d& a, const Eigen::Vector3d& b) {
  return Eigen::HouseholderQR<Eigen::Matrix3d>(a).solve(b);
}

Eigen::Matrix3d colPivHouseholderSolve(const Eigen::Matrix3d& a, const Eigen::Matrix3d& b) {
  return Eigen::ColPivHouseholderQR<Eigen::Matrix3d>(a).solve(b);
}

Eigen::Vector3d ldltSolve(const Eigen::Matrix3d& h, const Eigen::Vector3d& g) {
  return Eigen::LDLT<Eigen::Matrix3d>(h).solve(g);
}

Eigen::Vector3d symmetricEigenvalues(const Eigen::Matrix3d& matrix) {
  return Eigen::SelfAdjointEigenSolver<Eigen::Matrix3d>(matrix, Eigen::EigenvaluesOnly)
      .eigenvalues();
}

double largestRealEigenvalue(const Eigen::Matrix3d& matrix) {
  const Eigen::EigenSolver<Eigen::Matrix3d> eigen(matrix, false);
  return eigen.eigenvalues().real().maxCoeff();
}

}  // namespace tessmark::reference
