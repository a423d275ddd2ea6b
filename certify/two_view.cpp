#include "certify/two_view.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

#include <Eigen/Dense>

namespace tessmark::certify {

namespace {

using Matrix34 = Eigen::Matrix<double, 3, 4>;
using Polynomial = Eigen::Matrix<double, 7, 1>;  // coefficient of t^k at k

Polynomial multiply(const Polynomial& p, const Polynomial& q) {
  Polynomial r = Polynomial::Zero();
  for (int i = 0; i < 7; ++i)
    for (int j = 0; i + j < 7; ++j) r(i + j) += p(i) * q(j);
  return r;
}

Polynomial linear(double c0, double c1) {
  Polynomial p = Polynomial::Zero();
  p(0) = c0;
  p(1) = c1;
  return p;
}

double evaluate(const Polynomial& p, double t) {
  double value = 0.0;
  for (int k = 6; k >= 0; --k) value = value * t + p(k);
  return value;
}

// The real roots of p (degree at most 6), from the eigenvalues of its companion matrix, each
// polished by Newton steps.
int realRoots(const Polynomial& p, std::array<double, 6>& roots) {
  int degree = 6;
  const double scale = p.cwiseAbs().maxCoeff();
  while (degree > 0 && std::abs(p(degree)) <= 1e-14 * scale) --degree;
  if (degree == 0) return 0;
  using Companion = Eigen::Matrix<double, Eigen::Dynamic, Eigen::Dynamic, 0, 6, 6>;  // no heap
  Companion companion = Companion::Zero(degree, degree);
  for (int i = 0; i < degree; ++i) companion(0, i) = -p(degree - 1 - i) / p(degree);
  for (int i = 1; i < degree; ++i) companion(i, i - 1) = 1.0;
  const Eigen::EigenSolver<Companion> solver(companion, false);
  if (solver.info() != Eigen::Success) return 0;
  Polynomial derivative = Polynomial::Zero();
  for (int k = 1; k < 7; ++k) derivative(k - 1) = k * p(k);
  int count = 0;
  for (int i = 0; i < degree; ++i) {
    const std::complex<double> root = solver.eigenvalues()(i);
    if (std::abs(root.imag()) > 1e-6 * (1.0 + std::abs(root.real()))) continue;
    double t = root.real();
    for (int step = 0; step < 3; ++step) {
      const double slope = evaluate(derivative, t);
      if (slope == 0.0) break;
      const double next = t - evaluate(p, t) / slope;
      if (!std::isfinite(next)) break;
      t = next;
    }
    roots[static_cast<std::size_t>(count++)] = t;
  }
  return count;
}

// The point of the line l = (l0, l1, l2) nearest the origin, homogeneous.
Eigen::Vector3d footOfLine(const Eigen::Vector3d& l) {
  return {-l(0) * l(2), -l(1) * l(2), l(0) * l(0) + l(1) * l(1)};
}

// The point whose images are x0 and x1 (homogeneous), by the homogeneous linear method; x0 and x1
// satisfy the epipolar constraint, so their rays meet and this is their intersection.
Eigen::Vector4d intersect(const Matrix34& p0, const Matrix34& p1, const Eigen::Vector3d& x0,
                          const Eigen::Vector3d& x1) {
  Eigen::Matrix4d a;
  a.row(0) = x0(0) * p0.row(2) - x0(2) * p0.row(0);
  a.row(1) = x0(1) * p0.row(2) - x0(2) * p0.row(1);
  a.row(2) = x1(0) * p1.row(2) - x1(2) * p1.row(0);
  a.row(3) = x1(1) * p1.row(2) - x1(2) * p1.row(1);
  for (int i = 0; i < 4; ++i) {
    const double norm = a.row(i).norm();
    if (norm > 0.0) a.row(i) /= norm;
  }
  const Eigen::JacobiSVD<Eigen::Matrix4d> svd(a, Eigen::ComputeFullV);
  return svd.matrixV().col(3);
}

double cost(const Matrix34& p0, const Matrix34& p1, const Eigen::Vector2d& u0,
            const Eigen::Vector2d& u1, const Eigen::Vector3d& x) {
  const Eigen::Vector3d y0 = p0 * x.homogeneous();
  const Eigen::Vector3d y1 = p1 * x.homogeneous();
  return (y0.hnormalized() - u0).squaredNorm() + (y1.hnormalized() - u1).squaredNorm();
}

}  // namespace

TwoViewOptimum twoViewOptimum(const Matrix34& p0, const Matrix34& p1, const Eigen::Vector2d& u0,
                              const Eigen::Vector2d& u1, int side0, int side1) {
  TwoViewOptimum result;
  const Eigen::Matrix3d m0 = p0.leftCols<3>();
  const Eigen::Matrix3d m1 = p1.leftCols<3>();
  const Eigen::PartialPivLU<Eigen::Matrix3d> lu0(m0);
  if (!(std::abs(m0.determinant()) > 0.0)) return result;
  const Eigen::Vector3d centre0 = -lu0.solve(p0.col(3));
  // F = [e1]_x M1 M0^-1, e1 = P1 C0~ the epipole in view 1.
  const Eigen::Vector3d e1 = p1 * centre0.homogeneous();
  Eigen::Matrix3d cross;
  cross << 0, -e1(2), e1(1), e1(2), 0, -e1(0), -e1(1), e1(0), 0;
  Eigen::Matrix3d f = cross * m1 * lu0.inverse();
  const double fNorm = f.norm();
  if (!(fNorm > 0.0) || !std::isfinite(fNorm)) return result;
  f /= fNorm;

  // Observations to the origin, epipoles onto the x axis.
  Eigen::Matrix3d t0 = Eigen::Matrix3d::Identity(), t1 = Eigen::Matrix3d::Identity();
  t0.col(2).head<2>() = u0;  // T^-1: the translation back
  t1.col(2).head<2>() = u1;
  f = t1.transpose() * f * t0;
  const Eigen::JacobiSVD<Eigen::Matrix3d> svd(f, Eigen::ComputeFullU | Eigen::ComputeFullV);
  Eigen::Vector3d e = svd.matrixV().col(2);
  Eigen::Vector3d ep = svd.matrixU().col(2);
  const double en = std::hypot(e(0), e(1)), epn = std::hypot(ep(0), ep(1));
  if (!(en > 1e-12 * e.norm()) || !(epn > 1e-12 * ep.norm())) return result;
  e /= en;
  ep /= epn;
  Eigen::Matrix3d r0, r1;
  r0 << e(0), e(1), 0, -e(1), e(0), 0, 0, 0, 1;
  r1 << ep(0), ep(1), 0, -ep(1), ep(0), 0, 0, 0, 1;
  f = r1 * f * r0.transpose();
  const double ff = e(2), fp = ep(2);
  const double a = f(1, 1), b = f(1, 2), c = f(2, 1), d = f(2, 2);

  // g(t) = t ((a t + b)^2 + f'^2 (c t + d)^2)^2 - (a d - b c) (1 + f^2 t^2)^2 (a t + b) (c t + d)
  const Polynomial at_b = linear(b, a), ct_d = linear(d, c);
  const Polynomial q = multiply(at_b, at_b) + fp * fp * multiply(ct_d, ct_d);
  Polynomial one_f = Polynomial::Zero();
  one_f(0) = 1.0;
  one_f(2) = ff * ff;
  const Polynomial g = multiply(linear(0.0, 1.0), multiply(q, q)) -
                       (a * d - b * c) * multiply(multiply(one_f, one_f), multiply(at_b, ct_d));
  std::array<double, 6> roots{};
  const int rootCount = realRoots(g, roots);

  // Each stationary parameter (and infinity) gives the pair of nearest points on the epipolar
  // lines.
  const Eigen::Matrix3d back0 = t0 * r0.transpose(), back1 = t1 * r1.transpose();
  double lowest = std::numeric_limits<double>::infinity();
  double lowestInFront = lowest;
  for (int i = 0; i <= rootCount; ++i) {
    Eigen::Vector3d l0, l1;
    if (i < rootCount) {
      const double t = roots[static_cast<std::size_t>(i)];
      l0 << t * ff, 1.0, -t;
      l1 << -fp * (c * t + d), a * t + b, c * t + d;
    } else {
      l0 << ff, 0.0, -1.0;
      l1 << -fp * c, a, c;
    }
    // The squared distances of the observations (now the origin) from the two lines: the least
    // cost of the points on this epipolar plane, wherever they lie (in front, behind, at infinity).
    const double planeCost = l0(2) * l0(2) / (l0(0) * l0(0) + l0(1) * l0(1)) +
                             l1(2) * l1(2) / (l1(0) * l1(0) + l1(1) * l1(1));
    if (planeCost < lowest) lowest = planeCost;
    const Eigen::Vector3d x0 = back0 * footOfLine(l0), x1 = back1 * footOfLine(l1);
    const Eigen::Vector4d h = intersect(p0, p1, x0, x1);
    if (!(std::abs(h(3)) > 0.0)) continue;
    const Eigen::Vector3d point = h.head<3>() / h(3);
    if (!point.allFinite()) continue;
    const double value = cost(p0, p1, u0, u1, point);
    if (!std::isfinite(value)) continue;
    const bool inFront = side0 * p0.row(2).dot(point.homogeneous()) > 0.0 &&
                         side1 * p1.row(2).dot(point.homogeneous()) > 0.0;
    if (inFront && value < lowestInFront) {
      lowestInFront = value;
      result.found = true;
      result.point = point;
      result.cost = value;
    }
  }
  // Rounding separates the triangulated cost from the plane's value by a few ulps.
  result.global = result.found && lowestInFront <= lowest * (1.0 + 1e-9) + 1e-12;
  return result;
}

}  // namespace tessmark::certify
