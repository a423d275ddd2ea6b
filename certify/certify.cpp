#include "certify/certify.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <string>

#include <Eigen/Dense>

#include "certify/interval.hpp"
#include "certify/two_view.hpp"

namespace tessmark::certify {

namespace {

using Matrix34 = Eigen::Matrix<double, 3, 4>;
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// The most local polishes of one call: each starts from a box centre that improved the best value.
constexpr int kMostPolishes = 40;
// The neighbourhood of the best point bounded first holds the points within this many
// tolerances of its value by the local quadratic model.
constexpr double kNeighbourhood = 1e3;
// The most rounds of narrowing a box before it is bounded.
constexpr int kMostContractions = 8;

// A function of the box coordinates u = (a, b, t) of the form q = c + t (k0 + k1 a + k2 b): every
// homogeneous coordinate of every view's projection is one.
struct Bilinear {
  Interval c, k0, k1, k2;
};
struct BilinearMid {
  double c, k0, k1, k2;
};

// One view other than the reference: the residual numerators z0, z1 and the depth w, both scaled
// by the view's front side, so that w > 0 in front and the residual is (z0, z1) / w.
// The same functions in the coordinates (a, b, s), s = (1 - t) / (lambda t) the inverse depth
// along the reference ray (0 at infinity): dividing every homogeneous coordinate by lambda t > 0
// leaves the residuals and the depths' signs as they are and makes each one affine,
// q / (lambda t) = c + ka a + kb b + ks s.
struct Affine {
  Interval c, ka, kb, ks;
};

struct ViewTerms {
  std::array<Bilinear, 3> q;       // z0, z1, w
  std::array<BilinearMid, 3> mid;  // their midpoints, for the floating-point polish
  std::array<Affine, 3> e;         // z0, z1, w in the inverse-depth coordinates
};

struct Box {
  Interval a, b, t;
  double lb;
};
struct WorseBound {
  bool operator()(const Box& x, const Box& y) const { return x.lb > y.lb; }
};

// Values, gradient and Hessian (upper triangle 00 01 02 11 12 22) of the cost over a box.
struct Enclosure {
  Interval value{0.0};
  std::array<Interval, 3> gradient{Interval(0.0), Interval(0.0), Interval(0.0)};
  std::array<Interval, 6> hessian{Interval(0.0), Interval(0.0), Interval(0.0),
                                  Interval(0.0), Interval(0.0), Interval(0.0)};
};

constexpr int hessianIndex(int i, int j) {
  const int lo = i < j ? i : j, hi = i < j ? j : i;
  return lo == 0 ? hi : (lo == 1 ? 2 + hi : 5);
}

// The best value found so far and where: a point of the box coordinates (t = 1 is a point at
// infinity, t = 0 the reference's centre) or the limit at another view's centre.
struct Incumbent {
  double value = kInf;
  double a = 0, b = 0, t = 0;
  int centre = -1;
};

// The least point of the convex quadratic g . x + x^T A x / 2 on the cube |x_i| <= 1, in floating
// point: the best of the stationary points of its 27 faces (each coordinate free, or fixed at -1
// or +1) that lie on their face.
Eigen::Vector3d leastOnCube(const Eigen::Matrix3d& a, const Eigen::Vector3d& g) {
  Eigen::Vector3d best = Eigen::Vector3d::Zero();
  double bestValue = 0.0;
  for (int face = 0; face < 27; ++face) {
    std::array<int, 3> state{face % 3, (face / 3) % 3, face / 9};  // 0 free, 1 at -1, 2 at +1
    Eigen::Vector3d x = Eigen::Vector3d::Zero();
    std::array<int, 3> free{};
    int freeCount = 0;
    for (int i = 0; i < 3; ++i) {
      if (state[static_cast<std::size_t>(i)] == 0)
        free[static_cast<std::size_t>(freeCount++)] = i;
      else
        x(i) = state[static_cast<std::size_t>(i)] == 1 ? -1.0 : 1.0;
    }
    if (freeCount > 0) {
      Eigen::Matrix3d m = Eigen::Matrix3d::Identity();
      Eigen::Vector3d rhs = Eigen::Vector3d::Zero();
      for (int p = 0; p < freeCount; ++p) {
        const int i = free[static_cast<std::size_t>(p)];
        rhs(p) = -(g(i) + a.row(i).dot(x));
        for (int q = 0; q < freeCount; ++q) m(p, q) = a(i, free[static_cast<std::size_t>(q)]);
      }
      const Eigen::Vector3d y = m.ldlt().solve(rhs);
      bool inside = y.allFinite();
      for (int p = 0; p < freeCount && inside; ++p) {
        if (std::abs(y(p)) > 1.0) inside = false;
        x(free[static_cast<std::size_t>(p)]) = y(p);
      }
      if (!inside) continue;
    }
    const double value = g.dot(x) + 0.5 * x.dot(a * x);
    if (value < bestValue) {
      bestValue = value;
      best = x;
    }
  }
  return best;
}

// The least value over the box of eta of q(eta) = value + g . eta + eta^T A eta / 2, A given by
// its upper triangle (hessianIndex order), when an interval Cholesky factorisation proves every
// matrix of A positive definite (-inf otherwise). q is then convex and lies above its tangent
// plane at any eta0, so q >= q(eta0) + grad q(eta0) . (eta - eta0) on the box, which is tight
// when eta0 is q's least point (found in floating point on the unit cube; any eta0 gives a valid
// bound).
//
// Near q's least point the tangent plane's slope is mostly the rounding of g, multiplied by the
// box's width; there the curvature gives the better bound: with mu > 0 below every eigenvalue of A
// (A - mu I proven positive definite), q >= value + g . eta + mu |eta|^2 / 2 >= value - |g|^2 /
// (2 mu) everywhere. The larger of the two bounds is returned.
double convexQuadraticLow(Interval value, const std::array<Interval, 3>& g,
                          const std::array<Interval, 6>& a, const std::array<Interval, 3>& etaBox) {
  auto entry = [&](int i, int j) { return a[static_cast<std::size_t>(hessianIndex(i, j))]; };
  // Whether every matrix of A - shift I is positive definite (interval Cholesky factorisation).
  auto positiveDefinite = [&](double shift) {
    const Interval d0 = entry(0, 0) - Interval(shift);
    if (!(d0.lo > 0.0)) return false;
    const Interval l0 = sqrt(d0);
    const Interval l10 = entry(1, 0) / l0, l20 = entry(2, 0) / l0;
    const Interval d1 = entry(1, 1) - Interval(shift) - square(l10);
    if (!(d1.lo > 0.0)) return false;
    const Interval l21 = (entry(2, 1) - l20 * l10) / sqrt(d1);
    const Interval d2 = entry(2, 2) - Interval(shift) - square(l20) - square(l21);
    return d2.lo > 0.0;
  };
  if (!positiveDefinite(0.0)) return -kInf;
  Eigen::Matrix3d aMid;
  Eigen::Vector3d gMid;
  for (int i = 0; i < 3; ++i) {
    gMid(i) = g[static_cast<std::size_t>(i)].mid();
    for (int j = 0; j < 3; ++j) aMid(i, j) = entry(i, j).mid();
  }
  if (!gMid.allFinite() || !aMid.allFinite()) return -kInf;
  const Eigen::Vector3d eta0 = leastOnCube(aMid, gMid);
  Interval q = value;
  std::array<Interval, 3> slope;
  for (int i = 0; i < 3; ++i) {
    Interval ae(0.0);
    for (int j = 0; j < 3; ++j) ae += entry(i, j) * Interval(eta0(j));
    q += (g[static_cast<std::size_t>(i)] + Interval(0.5) * ae) * Interval(eta0(i));
    slope[static_cast<std::size_t>(i)] = g[static_cast<std::size_t>(i)] + ae;
  }
  for (int i = 0; i < 3; ++i)
    q += slope[static_cast<std::size_t>(i)] *
         (etaBox[static_cast<std::size_t>(i)] - Interval(eta0(i)));
  double low = q.lo == q.lo ? q.lo : -kInf;
  const double mu =
      0.5 *
      Eigen::SelfAdjointEigenSolver<Eigen::Matrix3d>(aMid, Eigen::EigenvaluesOnly).eigenvalues()(0);
  if (mu > 0.0 && positiveDefinite(mu)) {
    Interval slopeSquared(0.0);
    for (const Interval& gi : g) slopeSquared += square(Interval(gi.mag()));
    const Interval curved = value - slopeSquared / Interval(2.0 * mu);
    if (curved.lo == curved.lo) low = std::max(low, curved.lo);
  }
  return low;
}

// A symmetric matrix below every matrix of the interval matrix m (upper triangle): its midpoint
// less, on the diagonal, the row sums of its radii (for |E| <= R entrywise, eta^T E eta >=
// -sum_kl R_kl |eta_k| |eta_l| >= -sum_k eta_k^2 sum_l R_kl), or above every one (plus).
std::array<Interval, 6> matrixBound(const std::array<Interval, 6>& m, double sign) {
  std::array<double, 3> rowSum{0.0, 0.0, 0.0};
  std::array<double, 6> mid;
  for (int i = 0; i < 3; ++i)
    for (int j = i; j < 3; ++j) {
      const std::size_t k = static_cast<std::size_t>(hessianIndex(i, j));
      mid[k] = m[k].mid();
      const double r = detail::up(std::max(mid[k] - m[k].lo, m[k].hi - mid[k]));
      rowSum[static_cast<std::size_t>(i)] = detail::up(rowSum[static_cast<std::size_t>(i)] + r);
      if (i != j)
        rowSum[static_cast<std::size_t>(j)] = detail::up(rowSum[static_cast<std::size_t>(j)] + r);
    }
  std::array<Interval, 6> result;
  for (int i = 0; i < 3; ++i)
    for (int j = i; j < 3; ++j) {
      const std::size_t k = static_cast<std::size_t>(hessianIndex(i, j));
      result[k] =
          i == j ? Interval(mid[k]) + Interval(sign) * Interval(rowSum[static_cast<std::size_t>(i)])
                 : Interval(mid[k]);
    }
  return result;
}

// Narrows x to the values for which E0 + F x <= 0 can hold, E0 and F enclosing the constraint's
// other parts over the box: with x = x.lo + alpha (alpha >= 0) the constraint's left side is at
// least (E0 + F x.lo).lo + F.lo alpha, and with x = x.hi - alpha at least (E0 + F x.hi).lo - F.hi
// alpha. False when no value is left.
bool narrow(Interval& x, Interval e0, Interval f) {
  const Interval low = e0 + f * Interval(x.lo);
  if (f.lo > 0.0) {
    x.hi = std::min(x.hi, (Interval(x.lo) + Interval(-low.lo) / Interval(f.lo)).hi);
  } else if (low.lo > 0.0) {
    if (!(f.lo < 0.0)) return false;
    x.lo = std::max(x.lo, (Interval(x.lo) + Interval(low.lo) / Interval(-f.lo)).lo);
  }
  const Interval high = e0 + f * Interval(x.hi);
  if (f.hi < 0.0) {
    x.lo = std::max(x.lo, (Interval(x.hi) - Interval(-high.lo) / Interval(-f.hi)).lo);
  } else if (high.lo > 0.0) {
    if (!(f.hi > 0.0)) return false;
    x.hi = std::min(x.hi, (Interval(x.hi) - Interval(high.lo) / Interval(f.hi)).hi);
  }
  return x.lo <= x.hi;
}

// Whether x lies more than a million times the longest baseline from view r's centre: a candidate
// that far (a solver running off to infinity) is a poor scale for t, and the best point found
// along r's ray gives it instead. Floating point; only the scale of the coordinates depends on it.
bool farBeyondTheBaselines(const PointViews& views, std::size_t r, const Eigen::Vector3d& x) {
  auto centre = [&](std::size_t v) -> Eigen::Vector3d {
    const Eigen::Matrix3d m = views.cameras[v].leftCols<3>();
    return -m.partialPivLu().solve(views.cameras[v].col(3));
  };
  const Eigen::Vector3d cr = centre(r);
  double baseline = 0.0;
  for (std::size_t v = 0; v < views.cameras.size(); ++v)
    if (v != r) baseline = std::max(baseline, (centre(v) - cr).norm());
  const double distance = (x - cr).norm();
  return std::isfinite(baseline) && baseline > 0.0 && distance > 1e6 * baseline;
}

}  // namespace

struct Certifier::Workspace {
  // The problem of the current call.
  PointViews views;
  std::size_t n = 0;
  std::size_t reference = 0;
  double lambda = 1.0;  // scale of t: the reference depth s_r w_r of the point (a, b, 1/2)
  Eigen::Vector2d referenceObservation;
  std::vector<ViewTerms> terms;     // views other than the reference, in view order
  std::array<Interval, 9> inverse;  // enclosure of M_r^-1, row major
  std::array<Interval, 3> centre;   // enclosure of C_r = -M_r^-1 p4
  Eigen::Matrix3d inverseMid;
  Eigen::Vector3d centreMid;

  // The search.
  std::vector<Box> heap;
  double prunedLow = kInf;  // the least bound of the boxes dropped
  Incumbent best;
  double tolerance = 0;
  bool candidateInFront = false;
  double candidateHi = kInf;
  double relativeTolerance = 0, absoluteTolerance = 0;
  int boxes = 0;
  int polishes = 0;

  std::vector<double> centreLimits;
  std::vector<double> viewLow;  // per view: the natural lower bound of its term over a box  // per
                                // view: the cost's limit at its centre (+inf: none)

  // How far below the best value a box's bound may stay and the box be dropped: the final bracket
  // [lowerBound, upperBound] is this narrow. A quarter of the candidate's tolerance while the best
  // value is within two tolerances of the candidate's cost (so that a candidate either is certified
  // or is beaten by more than half the tolerance), the whole tolerance of the best value otherwise.
  double gap() const {
    if (!std::isfinite(best.value)) return absoluteTolerance;
    if (candidateInFront && best.value > candidateHi - 2.0 * tolerance) return 0.25 * tolerance;
    return std::max(absoluteTolerance, relativeTolerance * best.value);
  }
  double pruneLevel() const { return best.value - gap(); }

  bool setUp(std::size_t r, double scale);
  Interval bilinear(const Bilinear& q, const Box& box) const;
  double naturalBound(const Box& box, bool& allInFront);
  void enclose(const Box& box, int order, Enclosure& out) const;
  bool pointValue(double a, double b, double t, Interval& value) const;
  bool contract(Box& box, double low);
  double bound(Box& box);
  double convexBound(const Box& box, double low) const;
  void offer(double value, double a, double b, double t, bool polish);
  double floatCost(double a, double b, double t);
  void polish(double a, double b, double t);
  int splitDimension(const Box& box);
  Eigen::Vector3d toWorld(double a, double b, double t) const;
  Eigen::Vector3d toBox(const Eigen::Vector3d& x) const;
};

namespace {

void validate(const PointViews& views) {
  if (views.cameras.empty())
    throw std::invalid_argument("certify: a point needs at least one view");
  if (views.observations.size() != views.cameras.size() ||
      views.frontSides.size() != views.cameras.size())
    throw std::invalid_argument("certify: cameras, observations and front sides differ in number");
  for (std::size_t v = 0; v < views.cameras.size(); ++v) {
    if (!views.cameras[v].allFinite())
      throw std::invalid_argument("certify: camera matrix of view " + std::to_string(v) +
                                  " is not finite");
    if (!views.observations[v].allFinite())
      throw std::invalid_argument("certify: observation of view " + std::to_string(v) +
                                  " is not finite");
    if (views.frontSides[v] != 1 && views.frontSides[v] != -1)
      throw std::invalid_argument("certify: front side of view " + std::to_string(v) +
                                  " is neither +1 nor -1");
  }
}

// An enclosure of P X~ (X finite, exact).
std::array<Interval, 3> project(const Matrix34& p, const Eigen::Vector3d& x) {
  std::array<Interval, 3> y;
  for (int i = 0; i < 3; ++i)
    y[static_cast<std::size_t>(i)] =
        Interval(p(i, 0)) * x(0) + Interval(p(i, 1)) * x(1) + Interval(p(i, 2)) * x(2) + p(i, 3);
  return y;
}

}  // namespace

PointCost rigorousCost(const PointViews& views, const Eigen::Vector3d& x) {
  PointCost result{kNaN, kNaN, false, -1};
  if (!x.allFinite()) return result;
  Interval sum(0.0);
  for (std::size_t v = 0; v < views.cameras.size(); ++v) {
    const std::array<Interval, 3> y = project(views.cameras[v], x);
    const Interval w = views.frontSides[v] > 0 ? y[2] : -y[2];
    if (!(w.lo > 0.0) && result.offending < 0) result.offending = static_cast<int>(v);
    const Interval z0 = y[0] - Interval(views.observations[v](0)) * y[2];
    const Interval z1 = y[1] - Interval(views.observations[v](1)) * y[2];
    // The quotients first: the squares of a far point's z and w overflow, its residuals do not.
    sum += square(z0 / y[2]) + square(z1 / y[2]);
  }
  // A point on a principal plane has no finite cost: the division gave the whole line.
  if (std::isfinite(sum.hi)) {
    result.lo = sum.lo;
    result.hi = sum.hi;
  }
  result.inFront = result.offending < 0;
  return result;
}

bool Certifier::Workspace::setUp(std::size_t r, double scale) {
  const Matrix34& p = views.cameras[r];
  // M_r^-1 = adj(M_r) / det(M_r), each cofactor an interval 2x2 determinant.
  auto m = [&](int i, int j) { return Interval(p(i, j)); };
  std::array<Interval, 9> cofactor;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) {
      const int i1 = (i + 1) % 3, i2 = (i + 2) % 3, j1 = (j + 1) % 3, j2 = (j + 2) % 3;
      cofactor[static_cast<std::size_t>(3 * i + j)] = m(i1, j1) * m(i2, j2) - m(i1, j2) * m(i2, j1);
    }
  const Interval det = m(0, 0) * cofactor[0] + m(0, 1) * cofactor[1] + m(0, 2) * cofactor[2];
  if (det.straddlesZero()) return false;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      inverse[static_cast<std::size_t>(3 * i + j)] =
          cofactor[static_cast<std::size_t>(3 * j + i)] / det;
  for (int i = 0; i < 3; ++i) {
    Interval s(0.0);
    for (int j = 0; j < 3; ++j) s += inverse[static_cast<std::size_t>(3 * i + j)] * p(j, 3);
    centre[static_cast<std::size_t>(i)] = -s;
  }
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j)
      inverseMid(i, j) = inverse[static_cast<std::size_t>(3 * i + j)].mid();
    centreMid(i) = centre[static_cast<std::size_t>(i)].mid();
  }
  if (!inverseMid.allFinite() || !centreMid.allFinite()) return false;

  reference = r;
  const int sr = views.frontSides[r];
  lambda = scale;
  const double ls = sr * lambda;  // exact
  referenceObservation = views.observations[r];
  terms.clear();
  viewLow.assign(n, 0.0);
  for (std::size_t v = 0; v < n; ++v) {
    if (v == r) continue;
    const Matrix34& pv = views.cameras[v];
    // Q_v = P_v T^-1 = [M_v M_r^-1 | M_v C_r + p4_v]; the box point is Y = (ls t a, ls t b, ls t,
    // 1 - t), so y = Q Y = Q3 + t (ls (Q0 a + Q1 b + Q2) - Q3).
    std::array<Bilinear, 3> y;
    for (int i = 0; i < 3; ++i) {
      std::array<Interval, 4> q;
      for (int j = 0; j < 3; ++j) {
        Interval s(0.0);
        for (int k = 0; k < 3; ++k)
          s += Interval(pv(i, k)) * inverse[static_cast<std::size_t>(3 * k + j)];
        q[static_cast<std::size_t>(j)] = s;
      }
      Interval s(pv(i, 3));
      for (int k = 0; k < 3; ++k) s += Interval(pv(i, k)) * centre[static_cast<std::size_t>(k)];
      q[3] = s;
      y[static_cast<std::size_t>(i)] = {q[3], Interval(ls) * q[2] - q[3], Interval(ls) * q[0],
                                        Interval(ls) * q[1]};
    }
    const double sv = views.frontSides[v];
    const Eigen::Vector2d& u = views.observations[v];
    ViewTerms terms_v;
    auto combine = [&](const Bilinear& x, const Bilinear& w, double uc) {
      // sv (x - uc w), coefficient by coefficient
      return Bilinear{
          Interval(sv) * (x.c - Interval(uc) * w.c), Interval(sv) * (x.k0 - Interval(uc) * w.k0),
          Interval(sv) * (x.k1 - Interval(uc) * w.k1), Interval(sv) * (x.k2 - Interval(uc) * w.k2)};
    };
    terms_v.q[0] = combine(y[0], y[2], u(0));
    terms_v.q[1] = combine(y[1], y[2], u(1));
    terms_v.q[2] = {Interval(sv) * y[2].c, Interval(sv) * y[2].k0, Interval(sv) * y[2].k1,
                    Interval(sv) * y[2].k2};
    for (std::size_t i = 0; i < 3; ++i) {
      const Bilinear& b = terms_v.q[i];
      terms_v.mid[i] = {b.c.mid(), b.k0.mid(), b.k1.mid(), b.k2.mid()};
      // q = c + t (k0 + k1 a + k2 b) = lambda t ((c + k0) / lambda + a k1 / lambda + b k2 / lambda
      // + c s)
      const Interval l(lambda);
      terms_v.e[i] = {(b.c + b.k0) / l, b.k1 / l, b.k2 / l, b.c};
    }
    terms.push_back(terms_v);
  }
  return true;
}

Interval Certifier::Workspace::bilinear(const Bilinear& q, const Box& box) const {
  return q.c + box.t * (q.k0 + q.k1 * box.a + q.k2 * box.b);
}

double Certifier::Workspace::naturalBound(const Box& box, bool& allInFront) {
  // viewLow[0] is the reference's term, viewLow[1 + i] that of terms[i].
  viewLow[0] =
      (square(box.a - referenceObservation(0)) + square(box.b - referenceObservation(1))).lo;
  double low = viewLow[0];
  // The box formulas extend smoothly to t = 0 (the reference's centre) and t = 1 (infinity), so
  // the faces need no exception.
  allInFront = true;
  for (std::size_t i = 0; i < terms.size(); ++i) {
    const ViewTerms& k = terms[i];
    const Interval w = bilinear(k.q[2], box);
    if (!(w.hi > 0.0)) return kInf;  // behind this view everywhere
    if (!(w.lo > 0.0)) allInFront = false;
    const Interval z0 = bilinear(k.q[0], box), z1 = bilinear(k.q[1], box);
    // In front, 0 < w <= w.hi, so |z / w|^2 >= |z|^2 / w.hi^2 (also where the box straddles the
    // principal plane).
    const double numerator = (square(z0) + square(z1)).lo;
    const double denominator = detail::up(w.hi * w.hi);
    const double term = detail::down(numerator / denominator);
    viewLow[i + 1] = term == term ? std::max(0.0, term) : 0.0;
    low = detail::down(low + viewLow[i + 1]);
  }
  return low == low ? low : -kInf;
}

// The cost's enclosure over the box: order 0 the value, 1 with the gradient, 2 with the Hessian.
// Every view must be in front over the whole box (w.lo > 0).
void Certifier::Workspace::enclose(const Box& box, int order, Enclosure& out) const {
  out = Enclosure{};
  const Interval da = box.a - referenceObservation(0), db = box.b - referenceObservation(1);
  out.value = square(da) + square(db);
  if (order >= 1) {
    out.gradient[0] = Interval(2.0) * da;
    out.gradient[1] = Interval(2.0) * db;
  }
  if (order >= 2) {
    out.hessian[hessianIndex(0, 0)] = Interval(2.0);
    out.hessian[hessianIndex(1, 1)] = Interval(2.0);
  }
  for (const ViewTerms& k : terms) {
    std::array<Interval, 3> value;
    std::array<std::array<Interval, 3>, 3> grad;
    for (std::size_t i = 0; i < 3; ++i) {
      const Bilinear& q = k.q[i];
      const Interval l = q.k0 + q.k1 * box.a + q.k2 * box.b;
      value[i] = q.c + box.t * l;
      grad[i] = {box.t * q.k1, box.t * q.k2, l};
    }
    const Interval& w = value[2];
    for (std::size_t j = 0; j < 2; ++j) {
      const Interval zeta = value[j] / w;
      out.value += square(zeta);
      if (order < 1) continue;
      std::array<Interval, 3> dz;
      for (std::size_t i = 0; i < 3; ++i) dz[i] = (grad[j][i] - zeta * grad[2][i]) / w;
      for (std::size_t i = 0; i < 3; ++i) out.gradient[i] += Interval(2.0) * zeta * dz[i];
      if (order < 2) continue;
      // Second derivatives of z_j and w: only d2/da dt = k1 and d2/db dt = k2 are not zero.
      for (int i = 0; i < 3; ++i)
        for (int m = i; m < 3; ++m) {
          const std::size_t iu = static_cast<std::size_t>(i), mu = static_cast<std::size_t>(m);
          Interval d2z(0.0), d2w(0.0);
          if (m == 2 && i < 2) {
            d2z = i == 0 ? k.q[j].k1 : k.q[j].k2;
            d2w = i == 0 ? k.q[2].k1 : k.q[2].k2;
          }
          const Interval d2zeta =
              (d2z - dz[iu] * grad[2][mu] - grad[2][iu] * dz[mu] - zeta * d2w) / w;
          const Interval outer = i == m ? square(dz[iu]) : dz[iu] * dz[mu];
          out.hessian[static_cast<std::size_t>(hessianIndex(i, m))] +=
              Interval(2.0) * (outer + zeta * d2zeta);
        }
    }
  }
}

// The rigorous cost at the box point (a, b, t), when it is in front of every view (t = 1 is the
// limit at infinity, t = 0 at the reference's centre).
bool Certifier::Workspace::pointValue(double a, double b, double t, Interval& value) const {
  const Box point{Interval(a), Interval(b), Interval(t), 0.0};
  if (!(t >= 0.0 && t <= 1.0)) return false;
  for (const ViewTerms& k : terms)
    if (!(bilinear(k.q[2], point).lo > 0.0)) return false;
  Enclosure e;
  enclose(point, 0, e);
  value = e.value;
  return value.hi == value.hi;
}

double Certifier::Workspace::floatCost(double a, double b, double t) {
  if (!(t >= 0.0 && t <= 1.0)) return kInf;
  double sum = (Eigen::Vector2d(a, b) - referenceObservation).squaredNorm();
  for (const ViewTerms& k : terms) {
    std::array<double, 3> y;
    for (std::size_t i = 0; i < 3; ++i) {
      const BilinearMid& q = k.mid[i];
      y[i] = q.c + t * (q.k0 + q.k1 * a + q.k2 * b);
    }
    if (!(y[2] > 0.0)) return kInf;
    sum += (y[0] * y[0] + y[1] * y[1]) / (y[2] * y[2]);
  }
  return sum == sum ? sum : kInf;
}

// Damped Gauss-Newton (Levenberg-Marquardt with Marquardt's scaling) in the box coordinates, t kept
// in [0, 1]; the result is offered as a new best value when it is one.
void Certifier::Workspace::polish(double a, double b, double t) {
  ++polishes;
  Eigen::Vector3d x(a, b, t);
  double cost = floatCost(a, b, t);
  if (!std::isfinite(cost)) return;
  double damping = 1e-3;
  for (int iteration = 0; iteration < 60; ++iteration) {
    // The normal equations J^T J and J^T r, accumulated view by view.
    Eigen::Matrix3d normal = Eigen::Matrix3d::Zero();
    Eigen::Vector3d gradient(x(0) - referenceObservation(0), x(1) - referenceObservation(1), 0.0);
    normal(0, 0) = normal(1, 1) = 1.0;
    for (const ViewTerms& k : terms) {
      std::array<double, 3> y;
      std::array<Eigen::Vector3d, 3> g;
      for (std::size_t i = 0; i < 3; ++i) {
        const BilinearMid& q = k.mid[i];
        const double l = q.k0 + q.k1 * x(0) + q.k2 * x(1);
        y[i] = q.c + x(2) * l;
        g[i] = Eigen::Vector3d(x(2) * q.k1, x(2) * q.k2, l);
      }
      for (std::size_t j = 0; j < 2; ++j) {
        const double residual = y[j] / y[2];
        const Eigen::Vector3d row = (g[j] - residual * g[2]) / y[2];
        normal += row * row.transpose();
        gradient += residual * row;
      }
    }
    bool improved = false;
    for (int attempt = 0; attempt < 12 && !improved; ++attempt) {
      Eigen::Matrix3d damped = normal;
      for (int i = 0; i < 3; ++i) damped(i, i) += damping * (normal(i, i) + 1e-300);
      const Eigen::Vector3d step = damped.ldlt().solve(-gradient);
      Eigen::Vector3d next = x + step;
      next(2) = std::clamp(next(2), 0.0, 1.0);
      const double nextCost = floatCost(next(0), next(1), next(2));
      if (nextCost < cost) {
        improved = true;
        const double change = cost - nextCost;
        x = next;
        cost = nextCost;
        damping = std::max(damping / 4.0, 1e-12);
        if (change <= 1e-15 * cost) iteration = 1000;
      } else {
        damping *= 8.0;
      }
    }
    if (!improved) break;
  }
  Interval value;
  if (pointValue(x(0), x(1), x(2), value)) offer(value.hi, x(0), x(1), x(2), false);
}

void Certifier::Workspace::offer(double value, double a, double b, double t, bool mayPolish) {
  if (!(value < best.value)) return;
  const bool worthPolishing = value < best.value - gap();
  best = Incumbent{value, a, b, t, -1};
  if (mayPolish && worthPolishing && polishes < kMostPolishes) polish(a, b, t);
}

// Removes from the box points that no point of cost at most the best value U can be. At such a
// point each view's squared residual is at most its budget U - (the other views' lower bounds
// over the box, from naturalBound, whose total is `low`), so with rho its square root:
//   the reference: |a - u0| <= rho and |b - u1| <= rho;
//   another view: |z_j| <= rho w, four constraints +-z_j - rho w <= 0, bilinear in (a, b, t),
//   each narrowing every coordinate in turn.
// False when the box is left empty (every point in it costs more than U).
bool Certifier::Workspace::contract(Box& box, double low) {
  auto radius = [&](std::size_t view) {
    // the others' bound, rounded down, then the budget rounded up
    const double others = detail::down(low - viewLow[view]);
    return sqrt(Interval(detail::up(best.value - others))).hi;
  };
  const double r0 = radius(0);
  box.a.lo = std::max(box.a.lo, detail::down(referenceObservation(0) - r0));
  box.a.hi = std::min(box.a.hi, detail::up(referenceObservation(0) + r0));
  box.b.lo = std::max(box.b.lo, detail::down(referenceObservation(1) - r0));
  box.b.hi = std::min(box.b.hi, detail::up(referenceObservation(1) + r0));
  if (!(box.a.lo <= box.a.hi && box.b.lo <= box.b.hi)) return false;
  for (std::size_t i = 0; i < terms.size(); ++i) {
    const ViewTerms& k = terms[i];
    const Interval rho(radius(i + 1));
    const Bilinear& w = k.q[2];
    for (std::size_t j = 0; j < 2; ++j) {
      const Bilinear& z = k.q[j];
      for (double sign : {1.0, -1.0}) {
        const Interval c = Interval(sign) * z.c - rho * w.c;
        const Interval k0 = Interval(sign) * z.k0 - rho * w.k0;
        const Interval k1 = Interval(sign) * z.k1 - rho * w.k1;
        const Interval k2 = Interval(sign) * z.k2 - rho * w.k2;
        // c + t (k0 + k1 a + k2 b) <= 0
        if (!narrow(box.t, c, k0 + k1 * box.a + k2 * box.b)) return false;
        if (!narrow(box.a, c + box.t * (k0 + k2 * box.b), box.t * k1)) return false;
        if (!narrow(box.b, c + box.t * (k0 + k1 * box.a), box.t * k2)) return false;
      }
    }
  }
  return true;
}

// The lower bound of the cost over the box (+inf when the box lies behind a view), and the box's
// centre offered as a new best value.
double Certifier::Workspace::bound(Box& box) {
  ++boxes;
  bool allInFront = false;
  double low = naturalBound(box, allInFront);
  // Narrow the box to where a point of cost at most the best value may lie and bound it again,
  // while that shrinks it by more than a tenth in some coordinate.
  for (int round = 0; round < kMostContractions && std::isfinite(best.value) && low < pruneLevel();
       ++round) {
    const Box before = box;
    if (!contract(box, low)) return best.value;
    low = naturalBound(box, allInFront);
    const bool shrunk = box.a.hi - box.a.lo < 0.9 * (before.a.hi - before.a.lo) ||
                        box.b.hi - box.b.lo < 0.9 * (before.b.hi - before.b.lo) ||
                        box.t.hi - box.t.lo < 0.9 * (before.t.hi - before.t.lo);
    if (!shrunk) break;
  }
  if (!(low < pruneLevel()) || !allInFront) return low;
  low = std::max(low, convexBound(box, low));
  if (!(low < pruneLevel())) return low;

  // Where the cost is monotone in a coordinate over the whole box, its least value on the box lies
  // on the face where that coordinate is least costly: the box is replaced by that face (the cost
  // falling towards infinity, t = 1, is the common case).
  Enclosure atCentre, overBox;
  enclose(box, 2, overBox);
  bool collapsed = false;
  for (std::size_t i = 0; i < 3; ++i) {
    Interval& side = i == 0 ? box.a : (i == 1 ? box.b : box.t);
    if (!(side.lo < side.hi)) continue;
    if (overBox.gradient[i].lo > 0.0) {
      side = Interval(side.lo);
      collapsed = true;
    } else if (overBox.gradient[i].hi < 0.0) {
      side = Interval(side.hi);
      collapsed = true;
    }
  }
  if (collapsed) {
    low = std::max(low, naturalBound(box, allInFront));
    if (!(low < pruneLevel())) return low;
    enclose(box, 2, overBox);
  }
  const double ca = box.a.mid(), cb = box.b.mid(), ct = box.t.mid();
  const Box centrePoint{Interval(ca), Interval(cb), Interval(ct), 0.0};
  enclose(centrePoint, 1, atCentre);
  offer(atCentre.value.hi, ca, cb, ct, true);

  // The forms below expand about a point p of the box: the best point when the box holds it (near a
  // minimum its gradient is nearly zero, so the second-order form is within rounding of its value
  // however wide the box is), the centre otherwise.
  std::array<double, 3> p{ca, cb, ct};
  const Enclosure* atP = &atCentre;
  Enclosure atBest;
  if (best.centre < 0 && box.a.contains(best.a) && box.b.contains(best.b) &&
      box.t.contains(best.t) && (best.a != ca || best.b != cb || best.t != ct)) {
    enclose(Box{Interval(best.a), Interval(best.b), Interval(best.t), 0.0}, 1, atBest);
    if (atBest.value.hi == atBest.value.hi) {
      p = {best.a, best.b, best.t};
      atP = &atBest;
    }
  }
  const std::array<Interval, 3> offset{box.a - p[0], box.b - p[1], box.t - p[2]};

  // Mean-value form around p.
  Interval meanValue = atP->value;
  for (std::size_t i = 0; i < 3; ++i) meanValue += overBox.gradient[i] * offset[i];
  low = std::max(low, meanValue.lo);

  // Second-order form, in the coordinates eta = (u - p) / h (h the largest distances from p to the
  // box's faces, D = diag h, so the box lies in the cube |eta_i| <= 1):
  //   f(p + D eta) = f(p) + g . eta + eta^T D H(xi) D eta / 2,  g = D grad f(p),
  // with xi in the box. D H(xi) D lies within the enclosure, so above the matrix A of
  // matrixBound, and f >= f(p) + g . eta + eta^T A eta / 2 on the box (convexQuadraticLow).
  std::array<double, 3> half;
  std::array<Interval, 3> g, etaBox;
  for (std::size_t i = 0; i < 3; ++i) {
    const Interval& side = i == 0 ? box.a : (i == 1 ? box.b : box.t);
    // A coordinate of zero width (a face) does not move: its terms vanish.
    half[i] = side.lo == side.hi ? 0.0 : offset[i].mag();
    g[i] = atP->gradient[i] * Interval(half[i]);
    etaBox[i] = half[i] > 0.0 ? offset[i] / Interval(half[i]) : Interval(0.0);
  }
  std::array<Interval, 6> scaled;
  for (int i = 0; i < 3; ++i)
    for (int j = i; j < 3; ++j) {
      const std::size_t k = static_cast<std::size_t>(hessianIndex(i, j));
      scaled[k] = overBox.hessian[k] * Interval(half[static_cast<std::size_t>(i)]) *
                  Interval(half[static_cast<std::size_t>(j)]);
    }
  std::array<Interval, 6> a = matrixBound(scaled, -1.0);
  // Any positive curvature will do along a coordinate that does not move.
  for (int i = 0; i < 3; ++i)
    for (int j = i; j < 3; ++j)
      if (half[static_cast<std::size_t>(i)] == 0.0 || half[static_cast<std::size_t>(j)] == 0.0)
        a[static_cast<std::size_t>(hessianIndex(i, j))] = Interval(i == j ? 1.0 : 0.0);
  low = std::max(low, convexQuadraticLow(atP->value, g, a, etaBox));
  return low;
}

// A lower bound of the cost over the box by its convexity about the best point, in the
// inverse-depth coordinates (a, b, s) where every view's z0, z1 and w are affine (-inf when the box
// does not hold the best point, reaches the reference's centre or is not in front of every view).
// Each view's budget rho_v (contract) confines every point of cost at most U = best.value to
//   K = {points of the box (its enclosure in s), |(z0, z1)| <= rho_v w for every view v but the
//   reference},
// a convex set (second-order cones of affine functions); the box's other points cost more than U,
// and p must be in K (checked). On K, with v_j = grad z_j - r_j grad w and r_j = z_j / w, the
// Hessian of view v's term is (2 / w^2) (sum_j v_j v_j^T - r_j (v_j grad w^T + grad w v_j^T)),
// and for any sigma in (0, 1) (2 |r_j| |v_j . y| |grad w . y| <= sigma (v_j . y)^2 +
// r_j^2 (grad w . y)^2 / sigma)
//   y^T H_v y >= (2 / w^2) ((1 - sigma) sum_j (v_j . y)^2 - (|r|^2 / sigma) (grad w . y)^2)
//             >= 2 (1 - sigma) w_hi^-2 y^T G y - (2 / sigma) w_lo^-2 rho_v^2 y^T W y,
// G below every sum_j v_j v_j^T over K, W above grad w grad w^T (matrixBound), w in [w_lo, w_hi]
// over the box. Their sum with the reference's Hessian diag(2, 2, 0) is below the cost's Hessian
// everywhere on K, so the second-order form about p holds on K (convexQuadraticLow), and
// min(U, that bound) bounds the whole box.
double Certifier::Workspace::convexBound(const Box& box, double low) const {
  if (!(box.t.lo > 0.0) || best.centre >= 0 || !std::isfinite(best.value)) return -kInf;
  if (!(box.a.contains(best.a) && box.b.contains(best.b) && box.t.contains(best.t))) return -kInf;
  const Interval l(lambda), one(1.0);
  // s = (1 - t) / (lambda t) falls as t grows.
  const Interval sAtHi = (one - Interval(box.t.hi)) / (l * Interval(box.t.hi));
  const Interval sAtLo = (one - Interval(box.t.lo)) / (l * Interval(box.t.lo));
  const Interval s(std::max(0.0, sAtHi.lo), sAtLo.hi);
  const double ps = std::clamp((1.0 - best.t) / (lambda * best.t), s.lo, s.hi);
  const std::array<double, 3> p{best.a, best.b, ps};
  const std::array<Interval, 3> boxSides{box.a, box.b, s};
  auto affine = [](const Affine& e, Interval a, Interval b, Interval s) {
    return e.c + e.ka * a + e.kb * b + e.ks * s;
  };

  // Everything below is in the coordinates eta = (u - p) / h (h the largest distances from p to
  // the box's faces), where the bound of matrixBound is tightest.
  std::array<double, 3> half;
  std::array<Interval, 3> etaBox;
  for (std::size_t i = 0; i < 3; ++i) {
    const Interval offset = boxSides[i] - p[i];
    half[i] = boxSides[i].lo == boxSides[i].hi ? 0.0 : offset.mag();
    etaBox[i] = half[i] > 0.0 ? offset / Interval(half[i]) : Interval(0.0);
  }
  auto scaled = [&](const Affine& e) {
    return std::array<Interval, 3>{e.ka * Interval(half[0]), e.kb * Interval(half[1]),
                                   e.ks * Interval(half[2])};
  };

  // The value and the scaled gradient at p.
  const Interval da = Interval(p[0]) - referenceObservation(0);
  const Interval db = Interval(p[1]) - referenceObservation(1);
  Interval value = square(da) + square(db);
  std::array<Interval, 3> gradient{Interval(2.0) * da * Interval(half[0]),
                                   Interval(2.0) * db * Interval(half[1]), Interval(0.0)};
  // The lower bound of the scaled Hessian, accumulated: sum G_v / w_hi^2 and
  // sum rho_v^2 W_v / w_lo^2 apart, for the choice of sigma below.
  std::array<Interval, 6> positive, negative;
  positive.fill(Interval(0.0));
  negative.fill(Interval(0.0));
  for (std::size_t i = 0; i < terms.size(); ++i) {
    const ViewTerms& k = terms[i];
    const std::array<Interval, 3> gw = scaled(k.e[2]);
    const Interval wp = affine(k.e[2], Interval(p[0]), Interval(p[1]), Interval(p[2]));
    if (!(wp.lo > 0.0)) return -kInf;
    const Interval w = affine(k.e[2], box.a, box.b, s);
    if (!(w.lo > 0.0)) return -kInf;
    // The budget of this view's residual (as in contract).
    const double others = detail::down(low - viewLow[i + 1]);
    const double rho = sqrt(Interval(detail::up(best.value - others))).hi;
    std::array<Interval, 6> g;
    g.fill(Interval(0.0));
    Interval residualAtP(0.0);
    for (std::size_t j = 0; j < 2; ++j) {
      const std::array<Interval, 3> gz = scaled(k.e[j]);
      const Interval rp = affine(k.e[j], Interval(p[0]), Interval(p[1]), Interval(p[2])) / wp;
      residualAtP += square(rp);
      for (std::size_t c = 0; c < 3; ++c)
        gradient[c] += Interval(2.0) * rp * (gz[c] - rp * gw[c]) / wp;
      Interval r = affine(k.e[j], box.a, box.b, s) / w;
      r = Interval(std::max(r.lo, -rho), std::min(r.hi, rho));
      if (!(r.lo <= r.hi)) r = Interval(0.0);  // no point of K here: any value is safe
      std::array<Interval, 3> v;
      for (std::size_t c = 0; c < 3; ++c) v[c] = gz[c] - r * gw[c];
      for (int a = 0; a < 3; ++a)
        for (int b = a; b < 3; ++b) {
          const std::size_t au = static_cast<std::size_t>(a), bu = static_cast<std::size_t>(b);
          g[static_cast<std::size_t>(hessianIndex(a, b))] += a == b ? square(v[au]) : v[au] * v[bu];
        }
    }
    // p must lie in K, or the segments from it would leave the set the bound holds on.
    if (!(residualAtP.hi <= square(Interval(rho)).lo)) return -kInf;
    value += residualAtP;
    std::array<Interval, 6> ww;
    for (int a = 0; a < 3; ++a)
      for (int b = a; b < 3; ++b) {
        const std::size_t au = static_cast<std::size_t>(a), bu = static_cast<std::size_t>(b);
        ww[static_cast<std::size_t>(hessianIndex(a, b))] =
            a == b ? square(gw[au]) : gw[au] * gw[bu];
      }
    const std::array<Interval, 6> gLow = matrixBound(g, -1.0), wHigh = matrixBound(ww, 1.0);
    const Interval inverseHigh = Interval(1.0) / Interval(w.hi);  // 1 / w_hi, its lower end
    const Interval inverseLow = Interval(1.0) / Interval(w.lo);   // 1 / w_lo, its upper end
    const Interval positiveScale(square(Interval(inverseHigh.lo)).lo);
    const Interval negativeScale((square(Interval(inverseLow.hi)) * square(Interval(rho))).hi);
    for (std::size_t m = 0; m < 6; ++m) {
      positive[m] += positiveScale * gLow[m];
      negative[m] += negativeScale * wHigh[m];
    }
  }
  if (!(value.hi == value.hi)) return -kInf;
  const Interval referenceCurvature0 = Interval(2.0) * square(Interval(half[0]));
  const Interval referenceCurvature1 = Interval(2.0) * square(Interval(half[1]));

  double result = -kInf;
  for (double sigma : {0.25, 0.0625, 0.5}) {
    std::array<Interval, 6> a;
    for (int i = 0; i < 3; ++i)
      for (int j = i; j < 3; ++j) {
        const std::size_t m = static_cast<std::size_t>(hessianIndex(i, j));
        Interval entry =
            Interval(2.0 * (1.0 - sigma)) * positive[m] - Interval(2.0 / sigma) * negative[m];
        if (i == j && i == 0) entry += referenceCurvature0;
        if (i == j && i == 1) entry += referenceCurvature1;
        // Any positive curvature will do along a coordinate that does not move.
        if (half[static_cast<std::size_t>(i)] == 0.0 || half[static_cast<std::size_t>(j)] == 0.0)
          entry = Interval(i == j ? 1.0 : 0.0);
        a[m] = entry;
      }
    result = convexQuadraticLow(value, gradient, a, etaBox);
    if (result > -kInf) break;
  }
  return std::min(result, best.value);
}

int Certifier::Workspace::splitDimension(const Box& box) {
  // The coordinate whose width moves some view's projection the most, from the Jacobian at the
  // box centre.
  const double a = box.a.mid(), b = box.b.mid(), t = box.t.mid();
  std::array<double, 3> effect{box.a.hi - box.a.lo, box.b.hi - box.b.lo, 0.0};
  const std::array<double, 3> width{box.a.hi - box.a.lo, box.b.hi - box.b.lo, box.t.hi - box.t.lo};
  for (const ViewTerms& k : terms) {
    std::array<double, 3> y;
    std::array<Eigen::Vector3d, 3> g;
    for (std::size_t i = 0; i < 3; ++i) {
      const BilinearMid& q = k.mid[i];
      const double l = q.k0 + q.k1 * a + q.k2 * b;
      y[i] = q.c + t * l;
      g[i] = Eigen::Vector3d(t * q.k1, t * q.k2, l);
    }
    for (std::size_t j = 0; j < 2; ++j) {
      const Eigen::Vector3d d = (g[j] - (y[j] / y[2]) * g[2]) / y[2];
      for (std::size_t i = 0; i < 3; ++i)
        effect[i] = std::max(effect[i], std::abs(d(static_cast<Eigen::Index>(i))) * width[i]);
    }
  }
  int dimension = 0;
  for (int i = 1; i < 3; ++i)
    if (effect[static_cast<std::size_t>(i)] > effect[static_cast<std::size_t>(dimension)])
      dimension = i;
  if (!std::isfinite(effect[static_cast<std::size_t>(dimension)])) {
    // Near a principal plane the derivatives are no guide: split the widest relative to the root.
    dimension = width[2] > 0.25 ? 2 : (width[0] >= width[1] ? 0 : 1);
  }
  return dimension;
}

Eigen::Vector3d Certifier::Workspace::toWorld(double a, double b, double t) const {
  // X~ = T^-1 (ls t a, ls t b, ls t, 1 - t): X = M_r^-1 (ls t / (1 - t)) (a, b, 1) + C_r.
  const double ls = views.frontSides[reference] * lambda;
  const double scale = ls * t / (1.0 - t);
  return inverseMid * (scale * Eigen::Vector3d(a, b, 1.0)) + centreMid;
}

Eigen::Vector3d Certifier::Workspace::toBox(const Eigen::Vector3d& x) const {
  const Eigen::Vector3d y = views.cameras[reference] * x.homogeneous();
  const double q = views.frontSides[reference] * y(2) / lambda;
  return {y(0) / y(2), y(1) / y(2), q / (1.0 + q)};
}

Certifier::Certifier(Options options)
    : options_(options), workspace_(std::make_unique<Workspace>()) {}
Certifier::~Certifier() = default;
Certifier::Certifier(Certifier&&) noexcept = default;
Certifier& Certifier::operator=(Certifier&&) noexcept = default;

Certificate Certifier::certify(const PointViews& views, const Eigen::Vector3d& candidate) {
  validate(views);
  Workspace& ws = *workspace_;
  ws.views = views;
  ws.n = views.cameras.size();
  ws.heap.clear();
  ws.prunedLow = kInf;
  ws.best = Incumbent{};
  ws.boxes = 0;
  ws.polishes = 0;
  ws.relativeTolerance = options_.relativeTolerance;
  ws.absoluteTolerance = options_.absoluteTolerance;

  Certificate result;
  result.best = Eigen::Vector3d::Constant(kNaN);
  result.bestCost = kInf;
  const PointCost candidateCost = rigorousCost(views, candidate);
  ws.candidateInFront = candidateCost.inFront;
  ws.candidateHi = candidateCost.inFront ? candidateCost.hi : kInf;
  result.candidateCost = candidateCost.hi;
  result.view = candidateCost.offending;
  ws.tolerance = candidateCost.inFront ? std::max(options_.absoluteTolerance,
                                                  options_.relativeTolerance * candidateCost.hi)
                                       : options_.absoluteTolerance;
  if (candidateCost.inFront) {
    result.best = candidate;
    result.bestCost = candidateCost.hi;
  }

  // The reference: the first view with a regular left block; t's scale puts the candidate (when
  // in front) at t = 1/2.
  bool ready = false;
  for (std::size_t r = 0; r < ws.n && !ready; ++r) {
    double scale = 1.0;
    if (candidate.allFinite() && !farBeyondTheBaselines(views, r, candidate)) {
      const double depth =
          views.frontSides[r] * views.cameras[r].row(2).dot(candidate.homogeneous());
      if (depth > 0.0 && std::isfinite(depth)) scale = depth;
    }
    ready = ws.setUp(r, scale);
  }
  if (!ready) {
    // No view has a regular left 3x3 block: no search, only the trivial bound.
    result.verdict = candidateCost.inFront ? Verdict::undecided : Verdict::notInFront;
    result.lowerBound = 0.0;
    result.upperBound = result.bestCost;
    result.infimum = candidateCost.inFront ? Infimum::finite : Infimum::none;
    result.tolerance = ws.tolerance;
    return result;
  }

  // Starting values: the candidate, the exact two-view optimum, points along the reference ray
  // (its centre, t = 0, and infinity, t = 1, among them) and the limits at the other centres.
  if (candidateCost.inFront) {
    const Eigen::Vector3d u = ws.toBox(candidate);
    ws.best = Incumbent{candidateCost.hi, u(0), u(1), std::clamp(u(2), 0.0, 1.0), -1};
    // A solver stops near its minimum, not at it: the polished point is the one the bounds
    // expand about.
    ws.polish(ws.best.a, ws.best.b, ws.best.t);
  }
  if (ws.n == 2 && options_.twoViewStart) {
    const TwoViewOptimum exact =
        twoViewOptimum(views.cameras[0], views.cameras[1], views.observations[0],
                       views.observations[1], views.frontSides[0], views.frontSides[1]);
    if (exact.found) {
      const PointCost c = rigorousCost(views, exact.point);
      if (c.inFront && c.hi < ws.best.value) {
        const Eigen::Vector3d u = ws.toBox(exact.point);
        ws.best = Incumbent{c.hi, u(0), u(1), std::clamp(u(2), 0.0, 1.0), -1};
        result.best = exact.point;
        result.bestCost = c.hi;
      }
    }
  }
  {
    const double a = ws.referenceObservation(0), b = ws.referenceObservation(1);
    double bestT = -1.0, bestValue = kInf;
    // The samples are compared in floating point and the least one evaluated rigorously; when that
    // one is not provably in front, all of them are.
    double leastFloat = kInf;
    for (int k = 0; k <= 16; ++k) {
      const double t = k / 16.0, value = ws.floatCost(a, b, t);
      if (value < leastFloat) {
        leastFloat = value;
        bestT = t;
      }
    }
    Interval value;
    if (bestT >= 0.0 && ws.pointValue(a, b, bestT, value)) {
      bestValue = value.hi;
    } else {
      bestT = -1.0;
      for (int k = 0; k <= 16; ++k) {
        const double t = k / 16.0;
        if (ws.pointValue(a, b, t, value) && value.hi < bestValue) {
          bestValue = value.hi;
          bestT = t;
        }
      }
    }
    if (bestT >= 0.0) {
      const bool hadNone = !std::isfinite(ws.best.value);
      ws.offer(bestValue, a, b, bestT, false);
      if (hadNone || bestValue < ws.best.value + ws.gap()) ws.polish(a, b, bestT);
    }
  }
  std::vector<double>& centreLimits = ws.centreLimits;
  centreLimits.assign(ws.n, kInf);
  for (std::size_t v = 0; v < ws.n; ++v) {
    if (v == ws.reference) continue;
    // C_v = -M_v^-1 p4_v, enclosed as for the reference; the limit along v's observed ray is the
    // other views' cost at C_v, when C_v is in front of them.
    const Matrix34& p = views.cameras[v];
    const Eigen::Matrix3d m = p.leftCols<3>();
    if (!(std::abs(m.determinant()) > 0.0)) continue;
    const Eigen::Vector3d c = -m.partialPivLu().solve(p.col(3));
    if (!c.allFinite()) continue;
    // The limit is evaluated at the double point c, and the distance from c to the true centre
    // does not matter: every point near c along v's ray is feasible and costs about that much,
    // and the witness search below checks a real point.
    Interval sum(0.0);
    bool inFront = true;
    for (std::size_t o = 0; o < ws.n && inFront; ++o) {
      if (o == v) continue;
      const std::array<Interval, 3> y = project(views.cameras[o], c);
      const Interval w = views.frontSides[o] > 0 ? y[2] : -y[2];
      if (!(w.lo > 0.0)) inFront = false;
      const Interval z0 = y[0] - Interval(views.observations[o](0)) * y[2];
      const Interval z1 = y[1] - Interval(views.observations[o](1)) * y[2];
      sum += (square(z0) + square(z1)) / square(y[2]);
    }
    if (inFront) centreLimits[v] = sum.hi;
  }

  // Witness search near a limit: points approaching it along the given path, the best feasible
  // one kept as `best`.
  auto approach = [&](auto pointAt) {
    for (int k = 1; k <= 60; ++k) {
      const Eigen::Vector3d x = pointAt(std::ldexp(1.0, -k));
      const PointCost c = rigorousCost(views, x);
      if (c.inFront && c.hi < result.bestCost) {
        result.best = x;
        result.bestCost = c.hi;
      }
      if (result.bestCost <= ws.best.value + 0.5 * ws.gap()) break;
    }
  };

  // Centre limits that beat the best value so far become it (a limit, not a point: the witness is
  // found after the search).
  for (std::size_t v = 0; v < ws.n; ++v) {
    if (centreLimits[v] < ws.best.value)
      ws.best = Incumbent{centreLimits[v], 0, 0, 0, static_cast<int>(v)};
  }

  if (std::isfinite(ws.best.value)) {
    // Every point of cost at most best.value lies in the disc of radius sqrt(best.value) about the
    // reference observation.
    const double radius = sqrt(Interval(ws.best.value)).hi;
    const double ua = ws.referenceObservation(0), ub = ws.referenceObservation(1);
    Box root{Interval(detail::down(ua - radius), detail::up(ua + radius)),
             Interval(detail::down(ub - radius), detail::up(ub + radius)), Interval(0.0, 1.0), 0.0};
    auto add = [&](Box box, double parentBound) {
      box.lb = std::max(parentBound, ws.bound(box));
      if (box.lb < ws.pruneLevel()) {
        ws.heap.push_back(box);
        std::push_heap(ws.heap.begin(), ws.heap.end(), WorseBound{});
      } else {
        ws.prunedLow = std::min(ws.prunedLow, box.lb);
      }
    };
    // The cheap certificate: a box about the best point, sized by the local quadratic model to
    // hold the points within kNeighbourhood tolerances of its value, is bounded on its own (where
    // the second-order form proves the minimum when it is one), and the rest of the root box in at
    // most six slabs around it. Without a usable model the root box is searched whole.
    // The cheapest certificate: the root box narrowed to where a point may beat the best value,
    // bounded whole about the best point. Where the cost is provably convex there, that one box
    // decides.
    Box whole = root;
    whole.lb = ws.bound(whole);
    const bool decided = !(whole.lb < ws.pruneLevel()) ||
                         (ws.candidateInFront && whole.lb >= ws.candidateHi - ws.tolerance);
    if (decided) ws.prunedLow = std::min(ws.prunedLow, whole.lb);
    Box centre = root;
    bool carved = false;
    if (!decided && std::isfinite(ws.best.value) && ws.best.centre < 0 && ws.best.t > 0.0 &&
        ws.best.t < 1.0) {
      Interval value;
      if (ws.pointValue(ws.best.a, ws.best.b, ws.best.t, value)) {
        const Box point{Interval(ws.best.a), Interval(ws.best.b), Interval(ws.best.t), 0.0};
        Enclosure e;
        ws.enclose(point, 2, e);
        Eigen::Matrix3d h;
        for (int i = 0; i < 3; ++i)
          for (int j = i; j < 3; ++j)
            h(i, j) = h(j, i) = 0.5 * e.hessian[static_cast<std::size_t>(hessianIndex(i, j))].mid();
        const Eigen::LLT<Eigen::Matrix3d> llt(h);
        if (llt.info() == Eigen::Success) {
          const Eigen::Matrix3d inverse = llt.solve(Eigen::Matrix3d::Identity());
          const std::array<double, 3> at{ws.best.a, ws.best.b, ws.best.t};
          const std::array<const Interval*, 3> rootSide{&root.a, &root.b, &root.t};
          // From a wide neighbourhood down: the first whose bound proves it (or the last tried).
          const double target =
              ws.candidateInFront ? ws.candidateHi - ws.tolerance : ws.pruneLevel();
          for (double level = 0.1 * ws.best.value; level >= kNeighbourhood * ws.gap();
               level *= 0.01) {
            Box trial = root;
            std::array<Interval*, 3> side{&trial.a, &trial.b, &trial.t};
            bool usable = true;
            for (int i = 0; i < 3; ++i) {
              const std::size_t iu = static_cast<std::size_t>(i);
              const double w = std::sqrt(2.0 * level * inverse(i, i));
              const double lo = std::max(rootSide[iu]->lo, at[iu] - w);
              const double hi = std::min(rootSide[iu]->hi, at[iu] + w);
              if (!(lo < hi)) usable = false;
              *side[iu] = Interval(lo, hi);
            }
            if (!usable) break;
            centre = trial;
            centre.lb = ws.bound(centre);
            carved = true;
            if (centre.lb >= target) break;
          }
        }
      }
    }
    if (carved) {
      if (centre.lb < ws.pruneLevel()) {
        ws.heap.push_back(centre);
        std::push_heap(ws.heap.begin(), ws.heap.end(), WorseBound{});
      } else {
        ws.prunedLow = std::min(ws.prunedLow, centre.lb);
      }
      // root minus centre: slabs below and above it in a, then in b within its a, then in t
      // within its a and b.
      Box rest = root;
      for (int i = 0; i < 3; ++i) {
        Interval& r = i == 0 ? rest.a : (i == 1 ? rest.b : rest.t);
        const Interval& c = i == 0 ? centre.a : (i == 1 ? centre.b : centre.t);
        if (r.lo < c.lo) {
          Box below = rest;
          (i == 0 ? below.a : (i == 1 ? below.b : below.t)) = Interval(r.lo, c.lo);
          add(below, 0.0);
        }
        if (c.hi < r.hi) {
          Box above = rest;
          (i == 0 ? above.a : (i == 1 ? above.b : above.t)) = Interval(c.hi, r.hi);
          add(above, 0.0);
        }
        r = c;
      }
    } else if (!decided) {
      add(root, 0.0);
    }
    while (!ws.heap.empty()) {
      const Box& top = ws.heap.front();
      if (ws.candidateInFront && top.lb >= ws.candidateHi - ws.tolerance) break;  // certified
      if (top.lb >= ws.pruneLevel()) break;                                       // gap closed
      if (ws.boxes >= options_.maxBoxes) break;
      std::pop_heap(ws.heap.begin(), ws.heap.end(), WorseBound{});
      const Box box = ws.heap.back();
      ws.heap.pop_back();
      const int d = ws.splitDimension(box);
      const Interval& side = d == 0 ? box.a : (d == 1 ? box.b : box.t);
      const double cut = side.mid();
      if (!(cut > side.lo && cut < side.hi)) {
        ws.prunedLow = std::min(ws.prunedLow, box.lb);  // too narrow to split: its bound stays
        continue;
      }
      for (int half = 0; half < 2; ++half) {
        Box child = box;
        Interval& part = d == 0 ? child.a : (d == 1 ? child.b : child.t);
        part = half == 0 ? Interval(side.lo, cut) : Interval(cut, side.hi);
        add(child, box.lb);
      }
    }
  }

  double lower = ws.prunedLow;
  if (!ws.heap.empty()) lower = std::min(lower, ws.heap.front().lb);
  if (!std::isfinite(ws.best.value) && ws.heap.empty() && lower == kInf) lower = 0.0;  // no search
  lower = std::max(0.0, std::min(lower, ws.best.value));
  result.lowerBound = lower;
  result.upperBound = ws.best.value;
  result.boxes = ws.boxes;

  // A finite witness of the best value.
  const Incumbent& b = ws.best;
  if (std::isfinite(b.value)) {
    if (b.centre >= 0) {
      const std::size_t v = static_cast<std::size_t>(b.centre);
      const Matrix34& p = views.cameras[v];
      const Eigen::Matrix3d m = p.leftCols<3>();
      const Eigen::Vector3d c = -m.partialPivLu().solve(p.col(3));
      Eigen::Vector3d ray =
          views.frontSides[v] * m.partialPivLu().solve(views.observations[v].homogeneous());
      ray *= (1.0 + c.norm()) / ray.norm();
      approach([&](double e) { return Eigen::Vector3d(c + e * ray); });
      result.infimum = Infimum::atCameraCentre;
      result.centreView = b.centre;
    } else if (b.t >= 1.0) {
      approach([&](double e) { return ws.toWorld(b.a, b.b, 1.0 - e); });
      result.infimum = Infimum::atInfinity;
    } else if (b.t <= 0.0) {
      approach([&](double e) { return ws.toWorld(b.a, b.b, e); });
      result.infimum = Infimum::atCameraCentre;
      result.centreView = static_cast<int>(ws.reference);
    } else {
      const Eigen::Vector3d x = ws.toWorld(b.a, b.b, b.t);
      const PointCost c = rigorousCost(views, x);
      if (c.inFront && c.hi < result.bestCost) {
        result.best = x;
        result.bestCost = c.hi;
      }
      result.infimum = Infimum::finite;
    }
  }

  result.tolerance = ws.candidateInFront ? ws.tolerance
                                         : std::max(options_.absoluteTolerance,
                                                    options_.relativeTolerance * ws.best.value);
  if (!ws.candidateInFront) {
    result.verdict = Verdict::notInFront;
  } else if (lower >= ws.candidateHi - ws.tolerance) {
    result.verdict = Verdict::certified;
  } else if (result.bestCost < candidateCost.lo - 0.5 * ws.tolerance) {
    result.verdict = Verdict::beaten;
  } else {
    result.verdict = Verdict::undecided;
  }
  return result;
}

}  // namespace tessmark::certify
