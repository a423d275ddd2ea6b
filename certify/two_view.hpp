#pragma once
// The exact L2 optimum of a point seen in two views (Hartley and Sturm, "Triangulation", 1997):
// the cost over all points is the least over the pencil of epipolar planes of the squared distances
// of the two observations from the pair of epipolar lines, and its stationary pencil parameters
// are the real roots of one polynomial of degree six (plus the parameter at infinity).
//
// Floating point throughout: the result is the optimum up to rounding, not a bound. The certifier
// uses it as the best point to prove (certify.hpp), so a wrong root costs time, never a wrong
// verdict.

#include <Eigen/Core>

namespace tessmark::certify {

struct TwoViewOptimum {
  // A stationary point of the cost in front of both views was found (its triangulation is finite
  // and s_v (p3 . X~) > 0 in both views, in floating point).
  bool found = false;
  // The least stationary value over all points (in front or not) is that point's: the exact
  // optimum in front of both views. When false, the optimum over the points in front lies at
  // another stationary point or at a limit (infinity, a camera centre); `point` is then only the
  // best stationary point in front.
  bool global = false;
  Eigen::Vector3d point{0, 0, 0};
  double cost = 0;  // f(point), in floating point
};

// The two cameras' matrices, observations and front sides (+1 or -1, as in certify.hpp).
// Degenerate geometry (a shared centre, an observation at the epipole) gives found = false.
TwoViewOptimum twoViewOptimum(const Eigen::Matrix<double, 3, 4>& p0,
                              const Eigen::Matrix<double, 3, 4>& p1, const Eigen::Vector2d& u0,
                              const Eigen::Vector2d& u1, int side0, int side1);

}  // namespace tessmark::certify
