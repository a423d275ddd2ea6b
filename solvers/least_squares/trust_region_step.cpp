#include "solvers/least_squares/trust_region_step.hpp"

#include <cmath>
#include <limits>

#include "model/derivatives.hpp"

namespace tessmark {

namespace {

constexpr double kSmallSquaredGradient = 1e-6;
constexpr double kInfinity = std::numeric_limits<double>::infinity();

// tau with |p + tau v| = radius, by the chosen rule.
double boundaryFactor(const Eigen::Vector3d& p, const Eigen::Vector3d& v, double squaredRadius,
                      TrustRegionBoundary boundary) {
  const double a = v.dot(v);
  const double b = 2.0 * p.dot(v);
  const double c = p.dot(p) - squaredRadius;
  const double disc = b * b - 4.0 * a * c;
  if (boundary == TrustRegionBoundary::plain) {
    const double sigma = a > 0.0 ? 1.0 : -1.0;
    return (sigma * std::sqrt(std::abs(disc)) - b) / (2.0 * a);
  }
  double tau;
  if (disc >= 0.0) {
    tau = a > kDblEpsilon ? (std::sqrt(disc) - b) / (2.0 * a) : -c / b;
  } else {
    tau = -b / (2.0 * a);  // disc < 0 or NaN
  }
  if (!(tau > 0.0)) tau = kDblEpsilon;
  return tau;
}

}  // namespace

SubproblemStep trustRegionStep(const Eigen::Vector3d& gradient, const Eigen::Matrix3d& model,
                               double radius, TrustRegionBoundary boundary) {
  Eigen::Vector3d p = Eigen::Vector3d::Zero();
  Eigen::Vector3d q = gradient;
  Eigen::Vector3d v = -q;
  double qq = q.dot(q);
  const double squaredRadius = radius * radius;
  if (!(qq > kSmallSquaredGradient)) return {p, 0, SubproblemEnd::smallGradient};

  const bool finiteModel = model.allFinite();
  for (int steps = 1;; ++steps) {
    const Eigen::Vector3d modelTimesV = model * v;
    const double kappa = v.dot(modelTimesV);
    if (kappa == kInfinity && finiteModel) return {p, steps, SubproblemEnd::stagnated};
    const double alpha = qq / kappa;
    p += alpha * v;
    if (kappa < 0.0) {
      return {p + boundaryFactor(p, v, squaredRadius, boundary) * v, steps,
              SubproblemEnd::negativeCurvature};
    }
    if (p.dot(p) > squaredRadius) {
      return {p + boundaryFactor(p, v, squaredRadius, boundary) * v, steps,
              SubproblemEnd::leftRegion};
    }
    q += alpha * modelTimesV;
    const double qqNew = q.dot(q);
    const double beta = qqNew / qq;
    qq = qqNew;
    v += beta * v - q;
    if (!(qqNew > kSmallSquaredGradient)) return {p, steps, SubproblemEnd::converged};
    if (steps == kTrustRegionInnerSteps) return {p, steps, SubproblemEnd::stepCap};
  }
}

}  // namespace tessmark
