#pragma once
// The closed-form start of every point: the "symmedian point", the point with the smallest sum of
// squared perpendicular distances to the n viewing rays.

#include <Eigen/Core>

#include "model/point_problem.hpp"

namespace tessmark {

// For each view v, with pose block [A | B | c] and observation u: the ray direction
// d = B^T A^-1 (u, 1) (A solved by Householder QR), normalised; Q = I - d d^T; S += Q, t += Q c.
// Then S X0 = t by Householder QR; when X0's first component is NaN (parallel rays, one view), by
// the SVD least-squares fallback instead. Reads only viewCount, poses and observations.
// A singular calibration gives a NaN direction and a non-finite result; nothing throws.
Eigen::Vector3d symmedianPoint(const PointProblem& problem);

}  // namespace tessmark
