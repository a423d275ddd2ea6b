#include "tests/reference/reference_model.hpp"

#include <cmath>
#include <limits>

#include <Eigen/Cholesky>
#include <Eigen/Eigenvalues>
#include <Eigen/QR>
#include <Eigen/SVD>

namespace tessmark::reference {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

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

Eigen::VectorXd residualVector(const synthetic::PointData& data, const Eigen::Vector3d& x) {
  const Eigen::Vector4d xh = homogeneous(x);
  Eigen::VectorXd r(2 * data.viewCount);
  for (int v = 0; v < data.viewCount; ++v) {
    const double w = cameraRow(data, v, 2).dot(xh);
    for (int c = 0; c < 2; ++c) {
      r(2 * v + c) = cameraRow(data, v, c).dot(xh) / w - data.observations(2 * v + c);
    }
  }
  return r;
}

Jacobian projectionJacobian(const synthetic::PointData& data, const Eigen::Vector3d& x) {
  const Eigen::Vector4d xh = homogeneous(x);
  Jacobian jacobian(2 * data.viewCount, 3);
  for (int v = 0; v < data.viewCount; ++v) {
    const double w = cameraRow(data, v, 2).dot(xh);
    for (int c = 0; c < 2; ++c) {
      jacobian.row(2 * v + c) = scaledJacobianRow(data, 2 * v + c, xh) / (w * w);
    }
  }
  return jacobian;
}

Eigen::Matrix3d costHessian(const synthetic::PointData& data, const Eigen::Vector3d& x,
                            DepthGuard guard) {
  const HessianParts parts = hessianParts(data, x, guard);
  return parts.gaussNewton + parts.secondOrder;
}

Eigen::Vector3d symmedianPoint(const synthetic::PointData& data) {
  Eigen::Matrix3d sum = Eigen::Matrix3d::Zero();
  Eigen::Vector3d target = Eigen::Vector3d::Zero();
  for (int v = 0; v < data.viewCount; ++v) {
    const Eigen::Matrix3d calibration = data.poses.block<3, 3>(3 * v, 0);
    const Eigen::Matrix3d rotation = data.poses.block<3, 3>(3 * v, 3);
    const Eigen::Vector3d centre = data.poses.block<3, 1>(3 * v, 6);
    const Eigen::Vector3d image(data.observations(2 * v), data.observations(2 * v + 1), 1.0);
    const Eigen::Vector3d y = householderSolve(calibration, image);
    Eigen::Vector3d d = rotation.transpose() * y;
    d = d / d.norm();
    const Eigen::Matrix3d q = Eigen::Matrix3d::Identity() - d * d.transpose();
    sum += q;
    target += q * centre;
  }
  Eigen::Vector3d point = householderSolve(sum, target);
  if (std::isnan(point(0))) point = svdSolve(sum, target);
  return point;
}

Eigen::Vector3d householderSolve(const Eigen::Matrix3d& a, const Eigen::Vector3d& b) {
  return Eigen::HouseholderQR<Eigen::Matrix3d>(a).solve(b);
}

Eigen::Vector3d svdSolve(const Jacobian& a, const Eigen::VectorXd& b) {
  if (!a.allFinite()) return Eigen::Vector3d::Constant(kNaN);
  // Thin factors need a dynamic column count (Eigen asserts so in a Debug build); the full ones of
  // a 2n x 3 Jacobian solve the same least-squares problem.
  return Eigen::JacobiSVD<Jacobian>(a, Eigen::ComputeFullU | Eigen::ComputeFullV).solve(b);
}

Eigen::Vector3d svdSolve(const Eigen::Matrix3d& a, const Eigen::Vector3d& b) {
  if (!a.allFinite()) return Eigen::Vector3d::Constant(kNaN);
  return Eigen::JacobiSVD<Eigen::Matrix3d>(a, Eigen::ComputeFullU | Eigen::ComputeFullV).solve(b);
}

Eigen::Matrix3d svdSolve(const Eigen::Matrix3d& a, const Eigen::Matrix3d& b) {
  if (!a.allFinite()) return Eigen::Matrix3d::Constant(kNaN);
  return Eigen::JacobiSVD<Eigen::Matrix3d>(a, Eigen::ComputeFullU | Eigen::ComputeFullV).solve(b);
}

Eigen::Vector3d solveNewtonSystem(const Eigen::Matrix3d& h, const Eigen::Vector3d& g) {
  const Eigen::Vector3d dx = ldltSolve(h, g);
  if (!std::isnan(dx(0))) return dx;
  return svdSolve(h, g);
}

Eigen::Matrix3d colPivHouseholderSolve(const Eigen::Matrix3d& a, const Eigen::Matrix3d& b) {
  return Eigen::ColPivHouseholderQR<Eigen::Matrix3d>(a).solve(b);
}

Eigen::Vector3d ldltSolve(const Eigen::Matrix3d& h, const Eigen::Vector3d& g) {
  return Eigen::LDLT<Eigen::Matrix3d>(h).solve(g);
}

Eigen::Vector3d symmetricEigenvalues(const Eigen::Matrix3d& matrix) {
  if (!matrix.allFinite()) return Eigen::Vector3d::Constant(kNaN);
  const Eigen::SelfAdjointEigenSolver<Eigen::Matrix3d> eigen(matrix, Eigen::EigenvaluesOnly);
  if (eigen.info() != Eigen::Success) return Eigen::Vector3d::Constant(kNaN);
  return eigen.eigenvalues();
}

double largestRealEigenvalue(const Eigen::Matrix3d& matrix) {
  if (!matrix.allFinite()) return kNaN;
  const Eigen::EigenSolver<Eigen::Matrix3d> eigen(matrix, false);
  if (eigen.info() != Eigen::Success) return kNaN;
  return eigen.eigenvalues().real().maxCoeff();
}

double curvatureRho(const synthetic::PointData& data, const Eigen::Vector3d& x) {
  const HessianParts parts = hessianParts(data, x, DepthGuard::off);
  const Eigen::Matrix3d n = -parts.secondOrder;
  Eigen::Matrix3d z = colPivHouseholderSolve(parts.gaussNewton, n);
  if (std::isnan(z(0, 0))) z = svdSolve(parts.gaussNewton, n);
  return 1.0 / largestRealEigenvalue(z);
}

double klcDistance(const synthetic::PointData& data, const Eigen::Vector3d& x, DepthGuard guard,
                   KlcMeasure measure) {
  const Eigen::Matrix3d h = costHessian(data, x, guard);
  const Eigen::Vector3d g = costGradient(data, x, guard);
  const Eigen::Vector3d d = householderSolve(h, g);
  if (std::isnan(d(0))) return svdSolve(h, g).norm();
  if (measure == KlcMeasure::newtonStep) return d.norm();
  return d.norm() * std::abs(g.dot(d) / d.dot(h * d));
}

bool isPositiveSemidefinite(const Eigen::Matrix3d& matrix) {
  const double smallest = symmetricEigenvalues(matrix)(0);
  return !(smallest < 0.0 || std::isnan(smallest));
}

PointJudgement judgePoint(const synthetic::PointData& data, const Eigen::Vector3d& x_m,
                          const Eigen::Vector3d& x_f, const JudgementRules& rules) {
  PointJudgement j{};
  j.reprojError_m = reprojectionCost(data, x_m);
  j.reprojError_f = reprojectionCost(data, x_f);
  j.gamma_m = std::sqrt(j.reprojError_m);
  j.gamma_f = std::sqrt(j.reprojError_f);
  j.rho_m = curvatureRho(data, x_m);
  j.rho_f = curvatureRho(data, x_f);
  j.klc_m = klcDistance(data, x_m, rules.depthGuard, rules.klcMeasure);
  j.klc_f = klcDistance(data, x_f, rules.depthGuard, rules.klcMeasure);
  j.positiveSemidefinite = isPositiveSemidefinite(costHessian(data, x_f, rules.depthGuard));
  const bool startKlc = j.klc_m < 9.9;
  const bool finalKlc = j.klc_f < 1e-5;
  const bool traded = rules.klcTests == KlcTests::traded;
  j.solvable = j.gamma_m * j.gamma_m < j.rho_m * j.rho_m && (traded ? finalKlc : startKlc);
  j.global = j.positiveSemidefinite && j.gamma_f * j.gamma_f < j.rho_f * j.rho_f &&
             (traded ? startKlc : finalKlc) && j.reprojError_f <= j.reprojError_m;
  return j;
}

}  // namespace tessmark::reference
