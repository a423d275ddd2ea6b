#include "model/derivatives.hpp"

namespace tessmark {

namespace {

// The dot products of one view with X~ that every derivative is built from, each in one fixed
// summation order so that every function gives the same bits for the same quantity: the camera
// rows as (p0 x0 + p2 x2) + (p1 x1 + p3 x3) (a two-lane dot), the Jacobian coefficient rows as
// (c0 x0 + c1 x1) + (c2 x2 + c3 x3), the curvature coefficient rows from left to right.
inline double cameraDot(const ViewBlock& view, int row, const Eigen::Vector4d& xh) {
  return view.cameraRows.col(row).dot(xh);
}

// Rows 0..5 of the derivative coefficients dotted with X~: w^2 d pi_c / dX_i at 3c + i.
EIGEN_ALWAYS_INLINE Eigen::Matrix<double, 6, 1> jacobianDots(const ViewBlock& view,
                                                             const Eigen::Vector4d& xh) {
  const auto rows = view.derivativeCoefficients.topRows<6>();
  return (rows.col(0) * xh(0) + rows.col(1) * xh(1)) + (rows.col(2) * xh(2) + rows.col(3) * xh(3));
}

// All 18 rows: the Jacobian's, then w^3 d2 pi_c / dX_i dX_j at 6 + 6c + k.
EIGEN_ALWAYS_INLINE Eigen::Matrix<double, 18, 1> derivativeDots(const ViewBlock& view,
                                                                const Eigen::Vector4d& xh) {
  const auto rows = view.derivativeCoefficients.bottomRows<12>();
  Eigen::Matrix<double, 18, 1> q;
  q.head<6>() = jacobianDots(view, xh);
  q.tail<12>() =
      ((rows.col(0) * xh(0) + rows.col(1) * xh(1)) + rows.col(2) * xh(2)) + rows.col(3) * xh(3);
  return q;
}

inline double guardDepth(double w) {
  if (w > 0.0 && w < kDblEpsilon) return w + kDblEpsilon;
  if (w < 0.0 && w > -kDblEpsilon) return w - kDblEpsilon;
  return w;
}

// The depth a view's gradient terms divide by.
inline double gradientDepth(double w, DepthGuard guard) {
  return guard == DepthGuard::on ? guardDepth(w) : w;
}

// The squared depth a view's Jacobian rows in the Hessian divide by.
inline double hessianSquaredDepth(double w2, DepthGuard guard) {
  return guard == DepthGuard::on && w2 < kDblEpsilon ? w2 + kDblEpsilon : w2;
}

// Symmetric 3x3 accumulators kept as their six upper entries (00 01 02 11 12 22) and mirrored
// once at the end.
using Pairs = Eigen::Matrix<double, 6, 1>;

inline Eigen::Matrix3d symmetricFromPairs(const Pairs& m) {
  Eigen::Matrix3d s;
  s << m(0), m(1), m(2), m(1), m(3), m(4), m(2), m(4), m(5);
  return s;
}

// Adds row^T row for one Jacobian row (the six upper entries).
inline void addOuterProduct(Pairs& sum, const Eigen::Vector3d& row) {
  sum(0) += row(0) * row(0);
  sum(1) += row(0) * row(1);
  sum(2) += row(0) * row(2);
  sum(3) += row(1) * row(1);
  sum(4) += row(1) * row(2);
  sum(5) += row(2) * row(2);
}

// The residual of coordinate c with the depth w given, as the gradient builds it: the camera row
// divided by w, then dotted with X~.
inline double gradientResidual(const ViewBlock& view, const Eigen::Vector4d& xh, int c, double w) {
  return Eigen::Vector4d(view.cameraRows.col(c) / w).dot(xh) - view.observation(c);
}

// The view's two Jacobian rows, the scaled rows q divided by `squaredDepth`, x row then y row.
using JacobianRows = Eigen::Matrix<double, 6, 1>;
inline JacobianRows jacobianRows(const Eigen::Matrix<double, 6, 1>& q, double squaredDepth) {
  return q / squaredDepth;
}

// Adds the view's two Jacobian rows to J^T J.
inline void addGaussNewtonTerms(Pairs& gaussNewton, const JacobianRows& rows) {
  for (int c = 0; c < 2; ++c) addOuterProduct(gaussNewton, rows.segment<3>(3 * c));
}

// Adds view v's terms of g = J^T r: `rows` are its Jacobian rows and w the depth of its
// residuals, both from the same (guarded or plain) depth.
inline void addGradientTerms(Eigen::Vector3d& gradient, const ViewBlock& view,
                             const Eigen::Vector4d& xh, const JacobianRows& rows, double w) {
  for (int c = 0; c < 2; ++c) {
    gradient += rows.segment<3>(3 * c) * gradientResidual(view, xh, c, w);
  }
}

// Adds view v's second-order terms sum_c r_c d2pi_c / dX2 (plain depth w; a_c = p_c . X~).
inline void addSecondOrderTerms(Pairs& secondOrder, const ViewBlock& view, const double (&a)[2],
                                const Eigen::Matrix<double, 18, 1>& q, double w) {
  // Scaled residuals e_c = w r_c, so that e_c q_ck / w^4 = r_c d2pi_c / dX_i dX_j.
  const double e0 = a[0] - view.observation(0) * w;
  const double e1 = a[1] - view.observation(1) * w;
  const double w2 = w * w;
  const double w4 = w2 * w2;
  for (int k = 0; k < 6; ++k) secondOrder(k) += (e0 * q(6 + k) + e1 * q(12 + k)) / w4;
}

// Every sum one pass can give; evaluate() fills those asked for.
struct Sums {
  double cost = 0.0;
  Eigen::Vector3d gradient = Eigen::Vector3d::Zero();
  Pairs gaussNewton = Pairs::Zero();       // with the Hessian's guard
  Pairs plainGaussNewton = Pairs::Zero();  // plain squared depth
  Pairs secondOrder = Pairs::Zero();
  bool guardActed = false;  // some depth was changed by the guard: the two J^T J differ
};

enum Wanted : unsigned {
  kCost = 1,
  kGradient = 2,
  kHessian = 4,        // gaussNewton (guarded) and secondOrder
  kPlainGauss = 8,     // plainGaussNewton as well
  kLinearisation = 16  // the residual vector and the Jacobian, written to a Linearisation
};

// Where a pass writes the residual vector and the Jacobian (2n rows, column-major).
struct Linearisation {
  double* residuals = nullptr;
  double* jacobian = nullptr;
  Eigen::Index jacobianStride = 0;
};

// Writes view v's residuals (a_c / w - u_c) and its Jacobian rows (q_c / w^2, the plain depth's
// `rows`), as residualVector and projectionJacobian compute them.
inline void writeLinearisation(const Linearisation& out, int v, const ViewBlock& view,
                               const double (&a)[2], const JacobianRows& rows, double w) {
  for (int c = 0; c < 2; ++c) {
    const Eigen::Index row = 2 * Eigen::Index{v} + c;
    out.residuals[row] = a[c] / w - view.observation(c);
    for (int i = 0; i < 3; ++i) out.jacobian[row + i * out.jacobianStride] = rows(3 * c + i);
  }
}

// The gradient's terms of one view. Its Jacobian rows are those of the plain depth unless the
// guard moves the depth (|w| below epsilon), so the plain rows are shared whenever it does not.
inline void addGuardedGradientTerms(Eigen::Vector3d& gradient, const ViewBlock& view,
                                    const Eigen::Vector4d& xh, const Eigen::Matrix<double, 6, 1>& q,
                                    const JacobianRows& plainRows, double w, DepthGuard guard) {
  const double depth = gradientDepth(w, guard);
  if (depth == w) {
    addGradientTerms(gradient, view, xh, plainRows, w);
  } else {
    addGradientTerms(gradient, view, xh, jacobianRows(q, depth * depth), depth);
  }
}

template <unsigned wanted>
Sums evaluate(const PointProblem& problem, const Eigen::Vector3d& x, DepthGuard guard,
              const Linearisation& linearisation = {}) {
  const Eigen::Vector4d xh = homogeneous(x);
  Sums sums;
  for (int v = 0; v < problem.viewCount; ++v) {
    const ViewBlock& view = problem.views[v];
    const double w = cameraDot(view, 2, xh);
    const double a[2] = {cameraDot(view, 0, xh), cameraDot(view, 1, xh)};
    if constexpr ((wanted & kCost) != 0) {
      for (int c = 0; c < 2; ++c) {
        const double r = a[c] / w - view.observation(c);
        sums.cost += r * r;
      }
    }
    if constexpr ((wanted & (kHessian | kPlainGauss)) != 0) {
      const Eigen::Matrix<double, 18, 1> q = derivativeDots(view, xh);
      const double w2 = w * w;
      const JacobianRows rows = jacobianRows(q.head<6>(), w2);
      if constexpr ((wanted & kLinearisation) != 0) {
        writeLinearisation(linearisation, v, view, a, rows, w);
      }
      if constexpr ((wanted & kGradient) != 0) {
        addGuardedGradientTerms(sums.gradient, view, xh, q.head<6>(), rows, w, guard);
      }
      addSecondOrderTerms(sums.secondOrder, view, a, q, w);
      const double guarded = hessianSquaredDepth(w2, guard);
      if (guarded != w2 && !sums.guardActed) {
        // From here on the two J^T J part ways: the guarded one starts as the plain one so far.
        sums.guardActed = true;
        sums.gaussNewton = sums.plainGaussNewton;
      }
      addGaussNewtonTerms(sums.plainGaussNewton, rows);
      if (sums.guardActed) {
        addGaussNewtonTerms(sums.gaussNewton,
                            guarded == w2 ? rows : jacobianRows(q.head<6>(), guarded));
      }
    } else if constexpr ((wanted & (kGradient | kLinearisation)) != 0) {
      const Eigen::Matrix<double, 6, 1> q = jacobianDots(view, xh);
      if constexpr ((wanted & kLinearisation) != 0) {
        const JacobianRows rows = jacobianRows(q, w * w);
        writeLinearisation(linearisation, v, view, a, rows, w);
        if constexpr ((wanted & kGradient) != 0) {
          addGuardedGradientTerms(sums.gradient, view, xh, q, rows, w, guard);
        }
      } else {
        const double depth = gradientDepth(w, guard);
        addGradientTerms(sums.gradient, view, xh, jacobianRows(q, depth * depth), depth);
      }
    }
  }
  if (!sums.guardActed) sums.gaussNewton = sums.plainGaussNewton;
  return sums;
}

Linearisation linearisationOf(Eigen::Ref<Eigen::VectorXd>& residuals,
                              Eigen::Ref<JacobianMatrix>& jacobian) {
  return {residuals.data(), jacobian.data(), jacobian.outerStride()};
}

}  // namespace

double reprojectionCost(const PointProblem& problem, const Eigen::Vector3d& x) {
  return evaluate<kCost>(problem, x, DepthGuard::off).cost;
}

void residualVector(const PointProblem& problem, const Eigen::Vector3d& x,
                    Eigen::Ref<Eigen::VectorXd> residuals) {
  const Eigen::Vector4d xh = homogeneous(x);
  for (int v = 0; v < problem.viewCount; ++v) {
    const ViewBlock& view = problem.views[v];
    const double w = cameraDot(view, 2, xh);
    for (int c = 0; c < 2; ++c) {
      residuals(2 * v + c) = cameraDot(view, c, xh) / w - view.observation(c);
    }
  }
}

void projectionJacobian(const PointProblem& problem, const Eigen::Vector3d& x,
                        Eigen::Ref<JacobianMatrix> jacobian) {
  const Eigen::Vector4d xh = homogeneous(x);
  for (int v = 0; v < problem.viewCount; ++v) {
    const ViewBlock& view = problem.views[v];
    const double w = cameraDot(view, 2, xh);
    const double squaredDepth = w * w;
    const Eigen::Matrix<double, 6, 1> q = jacobianDots(view, xh);
    for (int c = 0; c < 2; ++c) {
      jacobian.row(2 * v + c) = q.segment<3>(3 * c).transpose() / squaredDepth;
    }
  }
}

void residualsAndJacobian(const PointProblem& problem, const Eigen::Vector3d& x,
                          Eigen::Ref<Eigen::VectorXd> residuals,
                          Eigen::Ref<JacobianMatrix> jacobian) {
  evaluate<kLinearisation>(problem, x, DepthGuard::off, linearisationOf(residuals, jacobian));
}

Eigen::Vector3d costGradient(const PointProblem& problem, const Eigen::Vector3d& x,
                             DepthGuard guard) {
  return evaluate<kGradient>(problem, x, guard).gradient;
}

HessianParts hessianParts(const PointProblem& problem, const Eigen::Vector3d& x, DepthGuard guard) {
  const Sums sums = evaluate<kHessian>(problem, x, guard);
  return {symmetricFromPairs(sums.gaussNewton), symmetricFromPairs(sums.secondOrder)};
}

Eigen::Matrix3d costHessian(const PointProblem& problem, const Eigen::Vector3d& x,
                            DepthGuard guard) {
  const HessianParts parts = hessianParts(problem, x, guard);
  return parts.gaussNewton + parts.secondOrder;
}

GradientAndHessian gradientAndHessian(const PointProblem& problem, const Eigen::Vector3d& x,
                                      DepthGuard guard) {
  const Sums sums = evaluate<kGradient | kHessian>(problem, x, guard);
  return {sums.gradient,
          symmetricFromPairs(sums.gaussNewton) + symmetricFromPairs(sums.secondOrder)};
}

Eigen::Vector3d residualsJacobianAndGradient(const PointProblem& problem, const Eigen::Vector3d& x,
                                             DepthGuard guard,
                                             Eigen::Ref<Eigen::VectorXd> residuals,
                                             Eigen::Ref<JacobianMatrix> jacobian) {
  return evaluate<kGradient | kLinearisation>(problem, x, guard,
                                              linearisationOf(residuals, jacobian))
      .gradient;
}

GradientAndHessian residualsJacobianAndDerivatives(const PointProblem& problem,
                                                   const Eigen::Vector3d& x, DepthGuard guard,
                                                   Eigen::Ref<Eigen::VectorXd> residuals,
                                                   Eigen::Ref<JacobianMatrix> jacobian) {
  const Sums sums = evaluate<kGradient | kHessian | kLinearisation>(
      problem, x, guard, linearisationOf(residuals, jacobian));
  return {sums.gradient,
          symmetricFromPairs(sums.gaussNewton) + symmetricFromPairs(sums.secondOrder)};
}

PointEvaluation evaluatePoint(const PointProblem& problem, const Eigen::Vector3d& x,
                              DepthGuard guard) {
  const Sums sums = evaluate<kCost | kGradient | kHessian | kPlainGauss>(problem, x, guard);
  return {sums.cost, sums.gradient, symmetricFromPairs(sums.gaussNewton),
          symmetricFromPairs(sums.plainGaussNewton), symmetricFromPairs(sums.secondOrder)};
}

}  // namespace tessmark
