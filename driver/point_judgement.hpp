#pragma once
// The diagnostics of one triangulated point, at its symmedian start x_m and its final point x_f,
// and the two labels they give.

#include <Eigen/Core>

#include "model/derivatives.hpp"
#include "model/point_problem.hpp"

namespace tessmark {

struct PointJudgement {
  double reprojError_m, reprojError_f;  // reprojectionCost
  double gamma_m, gamma_f;              // their square roots
  double rho_m, rho_f;                  // curvatureRho
  double klc_m, klc_f;                  // klcDistance
  bool positiveSemidefinite;            // of costHessian at x_f
  bool solvable;                        // "Solvable" / "Hard case"
  bool global;                          // "Global" / "Local"
};

PointJudgement judgePoint(const PointProblem& problem, const Eigen::Vector3d& x_m,
                          const Eigen::Vector3d& x_f, DepthGuard guard);

}  // namespace tessmark
