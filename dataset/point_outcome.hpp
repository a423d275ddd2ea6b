#pragma once
// What the triangulation of one point yields: the one record that the programs' reports, the
// comparison's tables and the library read.

#include <Eigen/Core>

#include "model/judgement.hpp"

namespace tessmark {

struct PointOutcome {
  Eigen::Vector3d start = Eigen::Vector3d::Zero();  // x_m, the symmedian point
  Eigen::Vector3d point = Eigen::Vector3d::Zero();  // x_f, the solver's final iterate
  int viewCount = 0;
  int loops = 0;                 // the solver's loop count, as the reports print it
  bool capReached = false;       // the solver stopped at its own loop cap
  bool hessianModified = false;  // some Hessian had to be made positive definite (Greenstadt)
  PointJudgement judgement{};    // R.E., gamma, rho, K_LC at x_m and x_f, the PSD test, the labels
  // What the path that made the outcome timed, in seconds (0 where it timed nothing):
  double pointSeconds = 0.0;  // gathering, start and solve, as the programs time a point
  double solveSeconds = 0.0;  // the solver call alone, as the comparison times it
};

}  // namespace tessmark
