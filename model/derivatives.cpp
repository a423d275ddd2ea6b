#include "model/derivatives.hpp"

namespace tessmark {

namespace {

// Rows of the per-view blocks, read in place from the problem's views.
inline Eigen::Vector4d cameraRow(const PointProblem& problem, int view, int row) {
  return problem.projections.row(3 * view + row).transpose();
}

// d pi_c / dX_i times w^2 for the three coordinates: the four-term dot products of the Jacobian
// coefficient row with X~.
inline Eigen::RowVector3d scaledJacobianRow(const PointProblem& problem, int row,
                                            const Eigen::Vector4d& xh) {
  const auto coefficients = problem.jacobianCoefficients.row(row);
  return {coefficients.segment<4>(0).dot(xh.transpose()),
          coefficients.segment<4>(4).dot(xh.transpose()),
          coefficients.segment<4>(8).dot(xh.transpose())};
}

// r_{v,c} = (p_c . X~) / w - u_{v,c}.
inline double plainResidual(const PointProblem& problem, int view, int c, const Eigen::Vector4d& xh,
                            double w) {
  return cameraRow(problem, view, c).dot(xh) / w - problem.observations(2 * view + c);
}

inline double guardDepth(double w) {
  if (w > 0.0 && w < kDblEpsilon) return w + kDblEpsilon;
  if (w < 0.0 && w > -kDblEpsilon) return w - kDblEpsilon;
  return w;
}

// Adds the symmetric matrix with rows (m0 m1 m2), (m1 m3 m4), (m2 m4 m5) to `sum`.
inline void addPairs(Eigen::Matrix3d& sum, const double (&m)[6]) {
  sum(0, 0) += m[0];
  sum(0, 1) += m[1];
  sum(0, 2) += m[2];
  sum(1, 1) += m[3];
  sum(1, 2) += m[4];
  sum(2, 2) += m[5];
  sum(1, 0) = sum(0, 1);
  sum(2, 0) = sum(0, 2);
  sum(2, 1) = sum(1, 2);
}

// The depth a view's gradient terms divide by.
inline double gradientDepth(double w, DepthGuard guard) {
  return guard == DepthGuard::on ? guardDepth(w) : w;
}

// The squared depth a view's Jacobian rows in the Hessian divide by.
inline double hessianSquaredDepth(double w2, DepthGuard guard) {
  return guard == DepthGuard::on && w2 < kDblEpsilon ? w2 + kDblEpsilon : w2;
}

// Adds view v's terms of g = J^T r, both built from the depth w given (guarded or not).
inline void addGradientTerms(Eigen::Vector3d& gradient, const PointProblem& problem, int v,
                             const Eigen::Vector4d& xh, double w) {
  const double squaredDepth = w * w;
  for (int c = 0; c < 2; ++c) {
    const double r = (cameraRow(problem, v, c) / w).dot(xh) - problem.observations(2 * v + c);
    gradient += (scaledJacobianRow(problem, 2 * v + c, xh) / squaredDepth).transpose() * r;
  }
}

// Adds view v's terms of J^T J, its Jacobian rows divided by `squaredDepth`.
inline void addGaussNewtonTerms(Eigen::Matrix3d& gaussNewton, const PointProblem& problem, int v,
                                const Eigen::Vector4d& xh, double squaredDepth) {
  for (int c = 0; c < 2; ++c) {
    const Eigen::RowVector3d row = scaledJacobianRow(problem, 2 * v + c, xh) / squaredDepth;
    gaussNewton.noalias() += row.transpose() * row;
  }
}

// Adds view v's second-order terms sum_c r_c d2pi_c / dX2 (plain depth w).
inline void addSecondOrderTerms(Eigen::Matrix3d& secondOrder, const PointProblem& problem, int v,
                                const Eigen::Vector4d& xh, double w) {
  // Scaled residuals e_c = w r_c, so that e_c q_ck / w^4 = r_c d2pi_c / dX_i dX_j.
  double e[2];
  for (int c = 0; c < 2; ++c) {
    e[c] = cameraRow(problem, v, c).dot(xh) - problem.observations(2 * v + c) * w;
  }
  const auto curvature = problem.curvatureCoefficients.middleRows<12>(12 * v);
  const double w2 = w * w;
  const double w4 = w2 * w2;
  double m[6];
  for (int k = 0; k < 6; ++k) {
    m[k] = (e[0] * curvature.row(k).dot(xh.transpose()) +
            e[1] * curvature.row(6 + k).dot(xh.transpose())) /
           w4;
  }
  addPairs(secondOrder, m);
}

}  // namespace

double reprojectionCost(const PointProblem& problem, const Eigen::Vector3d& x) {
  const Eigen::Vector4d xh = homogeneous(x);
  double cost = 0.0;
  for (int v = 0; v < problem.viewCount; ++v) {
    const double w = cameraRow(problem, v, 2).dot(xh);
    for (int c = 0; c < 2; ++c) {
      const double r = plainResidual(problem, v, c, xh, w);
      cost += r * r;
    }
  }
  return cost;
}

void residualVector(const PointProblem& problem, const Eigen::Vector3d& x,
                    Eigen::Ref<Eigen::VectorXd> residuals) {
  const Eigen::Vector4d xh = homogeneous(x);
  for (int v = 0; v < problem.viewCount; ++v) {
    const double w = cameraRow(problem, v, 2).dot(xh);
    for (int c = 0; c < 2; ++c) {
      residuals(2 * v + c) = plainResidual(problem, v, c, xh, w);
    }
  }
}

void projectionJacobian(const PointProblem& problem, const Eigen::Vector3d& x,
                        Eigen::Ref<JacobianMatrix> jacobian) {
  const Eigen::Vector4d xh = homogeneous(x);
  for (int v = 0; v < problem.viewCount; ++v) {
    const double w = cameraRow(problem, v, 2).dot(xh);
    const double squaredDepth = w * w;
    for (int c = 0; c < 2; ++c) {
      jacobian.row(2 * v + c) = scaledJacobianRow(problem, 2 * v + c, xh) / squaredDepth;
    }
  }
}

Eigen::Vector3d costGradient(const PointProblem& problem, const Eigen::Vector3d& x,
                             DepthGuard guard) {
  const Eigen::Vector4d xh = homogeneous(x);
  Eigen::Vector3d gradient = Eigen::Vector3d::Zero();
  for (int v = 0; v < problem.viewCount; ++v) {
    const double w = cameraRow(problem, v, 2).dot(xh);
    addGradientTerms(gradient, problem, v, xh, gradientDepth(w, guard));
  }
  return gradient;
}

HessianParts hessianParts(const PointProblem& problem, const Eigen::Vector3d& x, DepthGuard guard) {
  const Eigen::Vector4d xh = homogeneous(x);
  HessianParts parts{Eigen::Matrix3d::Zero(), Eigen::Matrix3d::Zero()};
  for (int v = 0; v < problem.viewCount; ++v) {
    const double w = cameraRow(problem, v, 2).dot(xh);
    addSecondOrderTerms(parts.secondOrder, problem, v, xh, w);
    addGaussNewtonTerms(parts.gaussNewton, problem, v, xh, hessianSquaredDepth(w * w, guard));
  }
  return parts;
}

Eigen::Matrix3d costHessian(const PointProblem& problem, const Eigen::Vector3d& x,
                            DepthGuard guard) {
  const HessianParts parts = hessianParts(problem, x, guard);
  return parts.gaussNewton + parts.secondOrder;
}

PointEvaluation evaluatePoint(const PointProblem& problem, const Eigen::Vector3d& x,
                              DepthGuard guard) {
  const Eigen::Vector4d xh = homogeneous(x);
  PointEvaluation evaluation{0.0, Eigen::Vector3d::Zero(), Eigen::Matrix3d::Zero(),
                             Eigen::Matrix3d::Zero(), Eigen::Matrix3d::Zero()};
  for (int v = 0; v < problem.viewCount; ++v) {
    const double w = cameraRow(problem, v, 2).dot(xh);
    for (int c = 0; c < 2; ++c) {
      const double r = plainResidual(problem, v, c, xh, w);
      evaluation.cost += r * r;
    }
    addGradientTerms(evaluation.gradient, problem, v, xh, gradientDepth(w, guard));
    addSecondOrderTerms(evaluation.secondOrder, problem, v, xh, w);
    const double w2 = w * w;
    addGaussNewtonTerms(evaluation.gaussNewton, problem, v, xh, hessianSquaredDepth(w2, guard));
    addGaussNewtonTerms(evaluation.plainGaussNewton, problem, v, xh, w2);
  }
  return evaluation;
}

}  // namespace tessmark
