#include "tests/reference/reference_solvers.hpp"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <limits>

#include <Eigen/Cholesky>
#include <Eigen/Eigenvalues>
#include <Eigen/QR>
#include <Eigen/SVD>

#include "tests/reference/reference_model.hpp"

namespace tessmark::reference {

namespace {

using Data = synthetic::PointData;
using Eigen::Matrix3d;
using Eigen::Vector3d;
using Eigen::VectorXd;

constexpr double kEps = 2.220446049250313e-16;  // DBL_EPSILON

void record(Trace* trace, const Vector3d& x) {
  if (trace != nullptr) trace->push_back(x);
}

// J^T J and J^T r, entry by entry from the columns of J.
Matrix3d normalMatrix(const Jacobian& j) {
  Matrix3d a;
  for (int row = 0; row < 3; ++row) {
    for (int col = 0; col <= row; ++col) {
      a(row, col) = j.col(row).dot(j.col(col));
      a(col, row) = a(row, col);
    }
  }
  return a;
}

Vector3d normalGradient(const Jacobian& j, const VectorXd& r) {
  return {j.col(0).dot(r), j.col(1).dot(r), j.col(2).dot(r)};
}

// The least-squares step of J d = r: Householder QR, the SVD when the first component is NaN.
Vector3d gaussNewtonStep(const Jacobian& j, const VectorXd& r) {
  Vector3d d = Eigen::HouseholderQR<Jacobian>(j).solve(r);
  if (std::isnan(d(0))) d = svdSolve(j, r);
  return d;
}

// (M + mu I) d = b by LDLT with symmetric pivoting; in the diagonal solve a pivot whose magnitude
// does not exceed max(eps max_i |D_ii|, 1 / DBL_MAX) gives a zero component. One factorisation,
// several right-hand sides.
class DampedLdlt {
 public:
  DampedLdlt(const Matrix3d& m, double mu) {
    Matrix3d system = m;
    for (int i = 0; i < 3; ++i) system(i, i) += mu;
    ldlt_.compute(system);
    const Vector3d pivots = ldlt_.vectorD();
    double largest = 0.0;
    for (int i = 0; i < 3; ++i) largest = std::max(largest, std::abs(pivots(i)));
    tolerance_ = std::max(kEps * largest, 1.0 / std::numeric_limits<double>::max());
  }

  Vector3d solve(const Vector3d& b) const {
    Vector3d d = ldlt_.transpositionsP() * b;
    ldlt_.matrixL().solveInPlace(d);
    const Vector3d pivots = ldlt_.vectorD();
    for (int i = 0; i < 3; ++i) d(i) = std::abs(pivots(i)) <= tolerance_ ? 0.0 : d(i) / pivots(i);
    ldlt_.matrixU().solveInPlace(d);
    return ldlt_.transpositionsP().transpose() * d;
  }

 private:
  Eigen::LDLT<Matrix3d> ldlt_;
  double tolerance_ = 0.0;
};

double cube(double t) { return t * t * t; }

// ---------------------------------------------------------------------------------------------
// Newton-Raphson: pure Newton steps, stopping on the step length.

struct NewtonCopy {
  DepthGuard guard;
  int cap;
  bool countsEntry;  // the count is incremented before the loop and k starts at 1
};

Run newtonRaphson(const Data& data, const Vector3d& start, double epsilon, Trace* trace,
                  const NewtonCopy& copy) {
  Run run;
  Vector3d x = start;
  Vector3d g = costGradient(data, x, copy.guard);
  double err = 2.0 * epsilon;
  int k = 0;
  if (copy.countsEntry) {
    ++run.loops;
    k = 1;
  }
  while (err > epsilon) {
    const Matrix3d h = costHessian(data, x, copy.guard);
    const Vector3d dx = solveNewtonSystem(h, g);
    x = x - dx;
    g = costGradient(data, x, copy.guard);
    err = dx.norm();
    ++run.loops;
    ++k;
    record(trace, x);
    if (k == copy.cap) {
      run.capReached = true;
      break;
    }
  }
  run.point = x;
  return run;
}

// ---------------------------------------------------------------------------------------------
// Newton-Raphson with Greenstadt's modification.

Run greenstadt(const Data& data, const Vector3d& start, double epsilon, Trace* trace,
               Program program) {
  const bool lc = program == Program::sennic;
  const DepthGuard guard = depthGuardOf(program);
  const int cap = lc ? 500 : 1000;
  const double floor = lc ? kEps : 0.0;
  Run run;
  Vector3d x = start;
  Vector3d g = costGradient(data, x, guard);
  double err;
  int k;
  if (lc) {
    err = 2.0 * epsilon;
    k = 0;
  } else {
    err = g.norm();
    ++run.loops;
    k = 1;
  }
  while (err > epsilon) {
    Matrix3d h = costHessian(data, x, guard);
    if (h.allFinite()) {
      const Eigen::SelfAdjointEigenSolver<Matrix3d> eigen(h);
      if (eigen.info() == Eigen::Success && eigen.eigenvalues()(0) <= floor) {
        const double delta = std::max(kEps, kEps * h.cwiseAbs().maxCoeff());
        Vector3d d = eigen.eigenvalues();
        for (int i = 0; i < 3; ++i) {
          if (lc ? d(i) < kEps : d(i) <= 0.0) {
            d(i) = delta;
            run.hessianModified = true;
          }
        }
        h = eigen.eigenvectors() * d.asDiagonal() * eigen.eigenvectors().transpose();
      }
    }
    const Vector3d dx = solveNewtonSystem(h, g);
    if (!lc) {
      x = x - dx;
      err = dx.norm();
    } else {
      // Backtracking along -dx: t = 1, 1/4, ..., 1/4^20, the first trial whose cost is below
      // cost(x) - 1e-4 (t |dx|)^3 (or NaN); after 20 failed reductions the last trial is taken.
      const double costAtX = reprojectionCost(data, x);
      const double length = dx.norm();
      double t = 1.0;
      Vector3d trial = x - dx;
      for (int j = 0;;) {
        const double trialCost = reprojectionCost(data, trial);
        if (trialCost < costAtX - 1e-4 * cube(t * length) || std::isnan(trialCost)) break;
        if (j == 20) break;
        ++j;
        t = std::pow(0.25, j);
        trial = x - t * dx;
      }
      x = trial;
      err = t * length;
    }
    g = costGradient(data, x, guard);
    ++run.loops;
    ++k;
    record(trace, x);
    if (k == cap) {
      run.capReached = true;
      break;
    }
  }
  run.point = x;
  return run;
}

// ---------------------------------------------------------------------------------------------
// Jarratt's iteration.

Run jarratt(const Data& data, const Vector3d& start, double epsilon, Trace* trace,
            Program program) {
  const DepthGuard guard = depthGuardOf(program);
  const int cap = program == Program::sennic ? 500 : 1000;
  Run run;
  Vector3d x = start;
  Vector3d g = costGradient(data, x, guard);
  double err = g.norm();
  ++run.loops;
  int k = 1;
  while (err > epsilon) {
    const Matrix3d h = costHessian(data, x, guard);
    const Eigen::LDLT<Matrix3d> ldlt(h);
    Vector3d u = ldlt.solve(g);
    // The factorisation chosen for u serves the second solve too.
    const bool usesSvd = std::isnan(u(0));
    if (usesSvd) u = svdSolve(h, g);
    const Vector3d y = x - (2.0 / 3.0) * u;
    const Matrix3d hy = costHessian(data, y, guard);
    const Matrix3d t = usesSvd ? svdSolve(h, Matrix3d(hy - h)) : Matrix3d(ldlt.solve(hy - h));
    const Vector3d w = x - u;
    const Vector3d tu = t * u;
    const Vector3d v = 0.75 * (t * (u - 1.5 * tu));
    x = w + v;
    g = costGradient(data, x, guard);
    err = (u - v).norm();
    ++run.loops;
    ++k;
    record(trace, x);
    if (k == cap) {
      run.capReached = true;
      break;
    }
  }
  run.point = x;
  return run;
}

// ---------------------------------------------------------------------------------------------
// The damped Newton line search, exact (Newton direction) and inexact (Gauss-Newton direction).

struct DampedCopy {
  DepthGuard guard;
  int cap;
  bool exact;
  bool
      newtonFallback;  // the Newton direction falls back to the SVD when its first component is NaN
};

Run dampedNewton(const Data& data, const Vector3d& start, double epsilon, Trace* trace,
                 const DampedCopy& copy) {
  Run run;
  Vector3d x = start;
  Vector3d g = costGradient(data, x, copy.guard);
  for (int k = 0;;) {
    Vector3d d;
    Matrix3d h;
    if (copy.exact) {
      h = costHessian(data, x, copy.guard);
      d = -(copy.newtonFallback ? solveNewtonSystem(h, g) : ldltSolve(h, g));
    } else {
      const VectorXd r = residualVector(data, x);
      const Jacobian j = projectionJacobian(data, x);
      d = -gaussNewtonStep(j, r);
      h = costHessian(data, x, copy.guard);
    }
    double c = d.dot(h * d);
    if (c <= 2e-16) {
      const double largest = symmetricEigenvalues(h)(2);
      if (largest < 2e-16) {
        // The unit steepest-descent direction; none at a zero gradient.
        const double length = g.norm();
        d = length == 0.0 ? Vector3d::Zero() : Vector3d(-g / length);
        c = 0.5;
      }
    }
    Vector3d step;
    if ((d.array() == 0.0).all()) {
      // A zero direction (a stationary point): a zero step, where alpha would be 0/0.
      step.setZero();
    } else {
      const double alpha = -g.dot(d) / c;
      step = alpha * d;
    }
    x = x + step;
    g = costGradient(data, x, copy.guard);
    const double err = step.norm();
    ++run.loops;
    ++k;
    record(trace, x);
    if (k >= copy.cap) {
      run.capReached = true;
      break;
    }
    if (!(err > epsilon)) break;
  }
  run.point = x;
  return run;
}

// ---------------------------------------------------------------------------------------------
// Gauss-Newton.

Run gaussNewtonVorlant(const Data& data, const Vector3d& start, double epsilon, Trace* trace) {
  Run run;
  Vector3d x = start;
  Vector3d g = costGradient(data, x, DepthGuard::on);
  for (int k = 0;;) {
    const VectorXd r = residualVector(data, x);
    const Jacobian j = projectionJacobian(data, x);
    const Vector3d d = gaussNewtonStep(j, r);
    const Matrix3d a = normalMatrix(j);
    const double curvature = d.dot(a * d);
    // A zero step leaves x where it is (alpha would be 0/0).
    if (curvature != 0.0) {
      const double alpha = -g.dot(d) / curvature;
      x = x + alpha * d;
    }
    g = costGradient(data, x, DepthGuard::on);
    ++run.loops;
    ++k;
    record(trace, x);
    if (k >= 1000) {
      run.capReached = true;
      break;
    }
    if (!(g.norm() > epsilon)) break;
  }
  run.point = x;
  return run;
}

Run gaussNewtonSennic(const Data& data, const Vector3d& start, double epsilon, Trace* trace) {
  Run run;
  Vector3d x = start;
  for (int k = 0;;) {
    const VectorXd r = residualVector(data, x);
    const Jacobian j = projectionJacobian(data, x);
    const Vector3d d = gaussNewtonStep(j, r);
    x = x - d;
    ++run.loops;
    ++k;
    record(trace, x);
    if (k >= 500) {
      run.capReached = true;
      break;
    }
    if (!(d.norm() > epsilon)) break;
  }
  run.point = x;
  return run;
}

// ---------------------------------------------------------------------------------------------
// Gauss-Newton with a trust region.

Run trustRegion(const Data& data, const Vector3d& start, double epsilon, Trace* trace,
                Program program) {
  const bool lc = program == Program::sennic;
  const int cap = lc ? 500 : 1000;
  Run run;
  Vector3d x = start;
  double radius = 1.0;
  int phase = 4;
  double fPrev = reprojectionCost(data, x);
  double fCur = 0.0;
  double stepLength = 2.0 * epsilon;
  double costDrop = 2.0 * epsilon;
  for (int k = 0; stepLength > epsilon && costDrop > epsilon;) {
    const VectorXd r = residualVector(data, x);
    const Jacobian j = projectionJacobian(data, x);
    const Vector3d d = gaussNewtonStep(j, r);
    if (phase > 3) fCur = fPrev;
    const double fTrial = reprojectionCost(data, x - d);
    bool accept = false;
    Vector3d s = Vector3d::Zero();
    if (!(fTrial > fCur)) {
      if (phase > 0) {
        s = d;
        accept = true;
      }
    } else {
      const Vector3d g = normalGradient(j, r);
      const Matrix3d b = normalMatrix(j);
      const Vector3d p = trustRegionStep(g, b, radius, lc);
      const double f0 = reprojectionCost(data, x);
      const double f1 = reprojectionCost(data, x + p);
      const double actual = f0 - f1;
      const double predicted = lc ? -2.0 * g.dot(p) - p.dot(b * p) : -g.dot(p) - 0.5 * p.dot(b * p);
      const double rho = actual / (predicted + kEps);
      if (rho > 0.9) {
        s = -p;
        radius = 4.0 * radius;
        phase = 1;
        accept = true;
      } else if (rho >= 0.1) {
        s = -p;
        phase = 2;
        accept = true;
      } else {
        radius = 0.25 * radius;
        phase = 0;
      }
    }
    if (accept) {
      x = x - s;
      fPrev = fCur;
      fCur = reprojectionCost(data, x);
      stepLength = s.norm();
      costDrop = fPrev - fCur;
    }
    ++run.loops;
    ++k;
    record(trace, x);
    if (k >= cap) {
      run.capReached = true;
      break;
    }
  }
  run.point = x;
  return run;
}

// The .lc program's default: the Gauss-Newton trust-region solver that compares every trial with
// the cost of the start.
Run startReferencedTrustRegion(const Data& data, const Vector3d& start, double epsilon,
                               Trace* trace) {
  Run run;
  Vector3d x = start;
  double radius = 1.0;
  int phase = 4;
  double f0 = 0.0;
  double fCur = 0.0;
  double fSaved = 0.0;
  double stepLength = 2.0 * epsilon;
  double costDrop = 2.0 * epsilon;
  for (int k = 0; stepLength > epsilon && costDrop > epsilon;) {
    const VectorXd r = residualVector(data, x);
    const Jacobian j = projectionJacobian(data, x);
    Vector3d s = gaussNewtonStep(j, r);
    if (k == 0) f0 = r.dot(r);
    if (phase == 4) {
      fCur = f0;
    } else if (phase >= 1 && phase <= 3) {
      fCur = r.dot(r);
      costDrop = fSaved - fCur;
    }
    const double fTrial = reprojectionCost(data, x - s);
    if (fTrial > f0) {
      const Vector3d g = normalGradient(j, r);
      const Matrix3d b = normalMatrix(j);
      const Vector3d p = trustRegionStep(g, b, radius, true);
      const double actual = reprojectionCost(data, x) - reprojectionCost(data, x + p);
      const double predicted = -g.dot(p) - 0.5 * p.dot(b * p);
      const double rho = actual / (predicted + kEps);
      if (rho > 0.9) {
        s = -p;
        radius = 4.0 * radius;
        phase = 1;
      } else if (rho >= 0.1) {
        s = -p;
        phase = 2;
      } else {
        s.setZero();
        radius = 0.25 * radius;
        phase = 0;
      }
    }
    fSaved = (k >= 6 && k <= 29) ? f0 : fCur;
    if (phase > 0) {
      x = x - s;
      stepLength = s.norm();
    }
    ++run.loops;
    ++k;
    record(trace, x);
    if (k == 500) {
      run.capReached = true;
      break;
    }
  }
  run.point = x;
  return run;
}

// ---------------------------------------------------------------------------------------------
// Gauss-Newton with an Armijo-type backtracking search.

Run armijo(const Data& data, const Vector3d& start, double epsilon, Trace* trace, Program program) {
  const bool lc = program == Program::sennic;
  Run run;
  Vector3d x = start;
  double err = 2.0 * epsilon;
  double lastTrialCost = 0.0;
  for (int k = lc ? -10 : 0; err > epsilon;) {
    const VectorXd r = residualVector(data, x);
    const Jacobian j = projectionJacobian(data, x);
    Vector3d d = Eigen::ColPivHouseholderQR<Jacobian>(j).solve(r);
    if (std::isnan(d(0))) d = svdSolve(j, r);
    double alpha = 1.0;
    Vector3d trial = x - d;
    double f0;
    if (!lc) {
      f0 = reprojectionCost(data, x);
    } else {
      f0 = k < 1 ? r.dot(r) : lastTrialCost;
    }
    const double length = d.norm();
    double fTrial = std::numeric_limits<double>::quiet_NaN();
    for (int m = 0;;) {
      fTrial = reprojectionCost(data, trial);
      const double threshold = f0 - 0.01 * cube(alpha * length);
      if (fTrial < threshold || std::isnan(fTrial) || std::isnan(threshold)) break;
      ++m;
      alpha = std::pow(0.25, m);
      trial = x - alpha * d;
      if (m == 20) {
        fTrial = lc ? reprojectionCost(data, trial) : std::numeric_limits<double>::quiet_NaN();
        break;
      }
    }
    x = trial;
    lastTrialCost = fTrial;
    err = alpha * length;
    ++run.loops;
    ++k;
    record(trace, x);
    if (k >= 1000) {
      run.capReached = true;
      break;
    }
  }
  run.point = x;
  return run;
}

// ---------------------------------------------------------------------------------------------
// Levenberg-Marquardt, damped by mu = r.r: the Gauss-Newton matrix (general algorithm) or the
// exact Hessian (the large-data Yamashita-Fukushima copy), every step taken.

Run levenbergMarquardt(const Data& data, const Vector3d& start, double epsilon, Trace* trace,
                       Program program, bool exactHessian) {
  const DepthGuard guard = depthGuardOf(program);
  const int cap = program == Program::sennic ? 500 : 1000;
  Run run;
  Vector3d x = start;
  Vector3d g = costGradient(data, x, guard);
  for (int k = 0;;) {
    const VectorXd r = residualVector(data, x);
    const Jacobian j = projectionJacobian(data, x);
    const double mu = r.dot(r);
    const Matrix3d m = exactHessian ? costHessian(data, x, guard) : normalMatrix(j);
    const Vector3d d = DampedLdlt(m, mu).solve(g);
    x = x - d;
    g = costGradient(data, x, guard);
    ++run.loops;
    ++k;
    record(trace, x);
    if (k >= cap) {
      run.capReached = true;
      break;
    }
    if (!(d.norm() > epsilon)) break;
  }
  run.point = x;
  return run;
}

// The .lc copy of Yamashita-Fukushima: damping only for large residuals, and a backtracking search
// against the cost of the start.
Run gatedYamashitaFukushima(const Data& data, const Vector3d& start, double epsilon, Trace* trace) {
  Run run;
  Vector3d x = start;
  double refCost = 0.0;
  for (int k = 0;;) {
    const VectorXd r = residualVector(data, x);
    const Jacobian j = projectionJacobian(data, x);
    const Vector3d g = costGradient(data, x, DepthGuard::off);
    const double s = r.dot(r);
    const double mu = std::sqrt(0.5 * s / data.viewCount) > 20.0 ? s : 0.0;
    Matrix3d a = normalMatrix(j);
    for (int i = 0; i < 3; ++i) a(i, i) += mu;
    const Vector3d d = -DampedLdlt(a, 0.0).solve(g);
    if (k == 0) refCost = s;
    double alpha = 1.0;
    Vector3d trial = x + d;
    double fTrial = reprojectionCost(data, trial);
    const double length = d.norm();
    for (int m = 0;;) {
      const double threshold = refCost - 1e-4 * cube(alpha * length);
      if (fTrial < threshold || std::isnan(fTrial) || std::isnan(threshold)) break;
      ++m;
      alpha = std::pow(0.25, m);
      trial = x + alpha * d;
      fTrial = reprojectionCost(data, trial);
      if (m >= 20) break;
    }
    x = trial;
    ++run.loops;
    ++k;
    record(trace, x);
    if (k >= 500) {
      run.capReached = true;
      break;
    }
    if (!(alpha * length > epsilon)) break;
  }
  run.point = x;
  return run;
}

// ---------------------------------------------------------------------------------------------
// Levenberg-Marquardt-Fan, cubic.

Run fan(const Data& data, const Vector3d& start, double epsilon, Trace* trace, Program program) {
  const bool lc = program == Program::sennic;
  const DepthGuard guard = depthGuardOf(program);
  const int cap = lc ? 500 : 1000;
  Run run;
  Vector3d x = start;
  Vector3d g = lc ? Vector3d::Zero() : costGradient(data, x, guard);
  double lambda = 0.001;
  for (int k = 0;;) {
    const VectorXd r = residualVector(data, x);
    const double f0 = r.dot(r);
    const double mu = lambda * f0;
    const Jacobian j = projectionJacobian(data, x);
    Matrix3d m;
    if (lc) {
      m = normalMatrix(j);
      g = normalGradient(j, r);
    } else {
      m = costHessian(data, x, guard);
    }
    const DampedLdlt factors(m, mu);
    const Vector3d d1 = -factors.solve(g);
    const Vector3d y = x + d1;
    const VectorXd rY = residualVector(data, y);
    const Vector3d d2 = -factors.solve(normalGradient(j, rY));
    const Vector3d s = d1 + d2;
    const double actual = f0 - rY.dot(rY);
    const double predicted =
        (f0 - (r + j * d1).squaredNorm()) + (rY.dot(rY) - (rY + j * d2).squaredNorm());
    const double rho = actual / predicted;
    if (rho >= 0.3) x = x + s;
    if (rho < 0.5) {
      lambda = 8.0 * lambda;
    } else if (rho > 0.7) {
      lambda = lambda * 0.125;
      if (!(lambda > 0.5)) lambda = 0.5;
    }
    if (!lc) g = costGradient(data, x, guard);
    ++run.loops;
    ++k;
    record(trace, x);
    if (k >= cap) {
      run.capReached = true;
      break;
    }
    if (!(d1.norm() > epsilon)) break;
  }
  run.point = x;
  return run;
}

// ---------------------------------------------------------------------------------------------
// The two menus.

template <Program program>
Run newtonRaphsonOf(const Data& data, const Vector3d& start, double epsilon, Trace* trace) {
  constexpr bool lc = program == Program::sennic;
  return newtonRaphson(data, start, epsilon, trace,
                       {lc ? DepthGuard::off : DepthGuard::on, lc ? 500 : 1000, !lc});
}
template <Program program>
Run trustRegionOf(const Data& data, const Vector3d& start, double epsilon, Trace* trace) {
  return trustRegion(data, start, epsilon, trace, program);
}
template <Program program>
Run jarrattOf(const Data& data, const Vector3d& start, double epsilon, Trace* trace) {
  return jarratt(data, start, epsilon, trace, program);
}
template <Program program>
Run greenstadtOf(const Data& data, const Vector3d& start, double epsilon, Trace* trace) {
  return greenstadt(data, start, epsilon, trace, program);
}
template <Program program>
Run fanOf(const Data& data, const Vector3d& start, double epsilon, Trace* trace) {
  return fan(data, start, epsilon, trace, program);
}
template <Program program, bool exactHessian>
Run levenbergMarquardtOf(const Data& data, const Vector3d& start, double epsilon, Trace* trace) {
  return levenbergMarquardt(data, start, epsilon, trace, program, exactHessian);
}
template <Program program, bool exact>
Run dampedNewtonOf(const Data& data, const Vector3d& start, double epsilon, Trace* trace) {
  constexpr bool lc = program == Program::sennic;
  return dampedNewton(data, start, epsilon, trace,
                      {lc ? DepthGuard::off : DepthGuard::on, lc ? 500 : 1000, exact, !lc});
}
template <Program program>
Run armijoOf(const Data& data, const Vector3d& start, double epsilon, Trace* trace) {
  return armijo(data, start, epsilon, trace, program);
}

constexpr Program kV = Program::vorlant;
constexpr Program kS = Program::sennic;

constexpr Solver kVorlantMenu[11] = {
    newtonRaphsonOf<kV>,
    gaussNewtonVorlant,
    trustRegionOf<kV>,
    jarrattOf<kV>,
    greenstadtOf<kV>,
    fanOf<kV>,
    levenbergMarquardtOf<kV, true>,
    levenbergMarquardtOf<kV, false>,
    dampedNewtonOf<kV, true>,
    armijoOf<kV>,
    dampedNewtonOf<kV, false>,
};

constexpr Solver kSennicMenu[11] = {
    newtonRaphsonOf<kS>,        gaussNewtonSennic,
    trustRegionOf<kS>,          jarrattOf<kS>,
    greenstadtOf<kS>,           fanOf<kS>,
    gatedYamashitaFukushima,    levenbergMarquardtOf<kS, false>,
    dampedNewtonOf<kS, true>,   armijoOf<kS>,
    startReferencedTrustRegion,
};

}  // namespace

Vector3d trustRegionStep(const Vector3d& g, const Matrix3d& b, double radius, bool plainBoundary) {
  Vector3d p = Vector3d::Zero();
  Vector3d q = g;
  Vector3d v = -q;
  double qq = q.dot(q);
  const double radius2 = radius * radius;
  if (!(qq > 1e-6)) return p;
  for (int steps = 1;; ++steps) {
    const Vector3d bv = b * v;
    const double kappa = v.dot(bv);
    // v has outgrown the doubles: alpha is 0 from here on and p cannot move any more (left to
    // itself the loop would end only when 0 * inf puts NaN into some components of p or q).
    if (std::isinf(kappa) && kappa > 0.0 && b.allFinite()) return p;
    const double alpha = qq / kappa;
    p = p + alpha * v;
    if (kappa < 0.0 || p.dot(p) > radius2) break;
    q = q + alpha * bv;
    const double qqNew = q.dot(q);
    const double beta = qqNew / qq;
    qq = qqNew;
    v = v + (beta * v - q);
    if (!(qqNew > 1e-6)) return p;
    // A bound far beyond any run that ends by itself (the loop can otherwise run until v
    // overflows).
    if (steps == 2000) return p;
  }
  // The boundary step from p along v.
  const double a = v.dot(v);
  const double bb = 2.0 * p.dot(v);
  const double c = p.dot(p) - radius2;
  const double disc = bb * bb - 4.0 * a * c;
  double tau;
  if (plainBoundary) {
    const double sigma = a > 0.0 ? 1.0 : -1.0;
    tau = (sigma * std::sqrt(std::abs(disc)) - bb) / (2.0 * a);
  } else {
    if (disc >= 0.0 && a > kEps) {
      tau = (std::sqrt(disc) - bb) / (2.0 * a);
    } else if (disc >= 0.0) {
      tau = -c / bb;
    } else {
      tau = -bb / (2.0 * a);
    }
    if (!(tau > 0.0)) tau = kEps;
  }
  return p + tau * v;
}

Solver menuSolver(Program program, int row) {
  assert(row >= 0 && row < 11);
  return program == Program::vorlant ? kVorlantMenu[row] : kSennicMenu[row];
}

DepthGuard depthGuardOf(Program program) {
  return program == Program::vorlant ? DepthGuard::on : DepthGuard::off;
}

JudgementRules judgementRulesOf(Program program) {
  if (program == Program::vorlant) {
    return {DepthGuard::on, KlcMeasure::newtonStep, KlcTests::asNamed};
  }
  return {DepthGuard::off, KlcMeasure::curvatureScaledStep, KlcTests::traded};
}

}  // namespace tessmark::reference
