#pragma once
// Closed intervals of doubles whose arithmetic encloses the exact result: every operation is done
// in the current (round-to-nearest) mode and its endpoints are then pushed outwards by a safety
// margin larger than any rounding error the operation can make.
//
// Why the margin is enough: a correctly rounded operation (+, -, *, /, sqrt) returns w with
// |w - v| <= 2^-52 |w| + 2^-1074 for the exact value v (half an ulp, relative to the result, plus
// the absolute error of gradual underflow). down(w) returns a double at most w - 2^-50 |w| -
// 2^-1060 (the margin is computed exactly or rounded upwards, and the final subtraction can give
// back at most half an ulp of w, which the margin's fourfold slack covers), so down(w) <= v; up(w)
// the same upwards. The bound w - 2^-52 |w| grows with w, so down() of the smallest of several
// rounded values bounds the smallest exact one. Overflow and invalid operations give an infinite
// endpoint (NaN never survives as an endpoint: down(NaN) is -inf, up(NaN) is +inf), so a lost value
// widens the interval to the whole line instead of poisoning a comparison.
//
// Nothing here switches the rounding mode, so the code needs no special compiler flags; it must not
// be built with -ffast-math (which the build never does). The operations keep every operand's
// dependence apart, so they overestimate ranges as interval arithmetic does: the bounds are valid,
// not tight.

#include <algorithm>
#include <cmath>
#include <limits>

namespace tessmark::certify {

namespace detail {

inline constexpr double kInfinity = std::numeric_limits<double>::infinity();

// A double at or below every value that rounds to w.
inline double down(double w) {
  const double r = w - (std::abs(w) * 0x1p-50 + 0x1p-1060);
  return r == r ? r : -kInfinity;  // NaN (from inf - inf, or a NaN w): no information
}

// A double at or above every value that rounds to w.
inline double up(double w) {
  const double r = w + (std::abs(w) * 0x1p-50 + 0x1p-1060);
  return r == r ? r : kInfinity;
}

// std::fmin and std::fmax (a NaN operand gives the other one), written out so that they inline.
inline double minNumber(double a, double b) { return (b < a || a != a) ? b : a; }
inline double maxNumber(double a, double b) { return (b > a || a != a) ? b : a; }

}  // namespace detail

struct Interval {
  double lo = 0.0;
  double hi = 0.0;

  Interval() = default;
  // The exact value x (a double is exact; no widening).
  constexpr Interval(double x) : lo(x), hi(x) {}  // NOLINT: implicit by design
  constexpr Interval(double low, double high) : lo(low), hi(high) {}

  double mid() const { return 0.5 * lo + 0.5 * hi; }
  double radius() const { return 0.5 * hi - 0.5 * lo; }
  bool contains(double x) const { return lo <= x && x <= hi; }
  // Whether zero lies in the interval (or the interval is not well formed).
  bool straddlesZero() const { return !(lo > 0.0) && !(hi < 0.0); }
  // The smallest and the largest magnitude of its values.
  double mig() const { return lo > 0.0 ? lo : (hi < 0.0 ? -hi : 0.0); }
  double mag() const { return std::max(std::abs(lo), std::abs(hi)); }
};

inline Interval operator+(Interval a, Interval b) {
  return {detail::down(a.lo + b.lo), detail::up(a.hi + b.hi)};
}
inline Interval operator-(Interval a, Interval b) {
  return {detail::down(a.lo - b.hi), detail::up(a.hi - b.lo)};
}
inline Interval operator-(Interval a) { return {-a.hi, -a.lo}; }

inline Interval operator*(Interval a, Interval b) {
  const double p0 = a.lo * b.lo, p1 = a.lo * b.hi, p2 = a.hi * b.lo, p3 = a.hi * b.hi;
  // A NaN product (0 * inf) compares false everywhere; minNumber/maxNumber skip it, and an all-NaN
  // set gives NaN, which down/up turn into the whole line.
  return {detail::down(detail::minNumber(detail::minNumber(p0, p1), detail::minNumber(p2, p3))),
          detail::up(detail::maxNumber(detail::maxNumber(p0, p1), detail::maxNumber(p2, p3)))};
}

// Division by an interval that may hold zero gives the whole line.
inline Interval operator/(Interval a, Interval b) {
  if (b.straddlesZero()) return {-detail::kInfinity, detail::kInfinity};
  const double q0 = a.lo / b.lo, q1 = a.lo / b.hi, q2 = a.hi / b.lo, q3 = a.hi / b.hi;
  return {detail::down(detail::minNumber(detail::minNumber(q0, q1), detail::minNumber(q2, q3))),
          detail::up(detail::maxNumber(detail::maxNumber(q0, q1), detail::maxNumber(q2, q3)))};
}

inline Interval& operator+=(Interval& a, Interval b) { return a = a + b; }
inline Interval& operator-=(Interval& a, Interval b) { return a = a - b; }

// x^2, tighter than x * x for an interval around zero.
inline Interval square(Interval a) {
  const double l = a.mig();
  const double h = a.mag();
  return {l == 0.0 ? 0.0 : std::max(0.0, detail::down(l * l)), detail::up(h * h)};
}

// The square root of the non-negative part (a lower end below zero counts as zero).
inline Interval sqrt(Interval a) {
  return {a.lo > 0.0 ? std::max(0.0, detail::down(std::sqrt(a.lo))) : 0.0,
          a.hi > 0.0 ? detail::up(std::sqrt(a.hi)) : 0.0};
}

// The smallest interval holding both.
inline Interval hull(Interval a, Interval b) {
  return {detail::minNumber(a.lo, b.lo), detail::maxNumber(a.hi, b.hi)};
}

}  // namespace tessmark::certify
