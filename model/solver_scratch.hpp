#pragma once
// Room for the arrays a solver iteration needs beside the point's problem: residuals, a Jacobian
// and a least-squares factorisation, sized once for the run's largest view count. Solvers use
// prefixes of this storage (2n rows for a point with n views), so no solver touches the heap.

#include <Eigen/Core>

#include "model/least_squares.hpp"

namespace tessmark {

struct SolverScratch {
  // Room for points with up to maxViewNum views.
  explicit SolverScratch(int maxViewNum);

  // Whether a point with n views fits.
  bool fits(int viewCount) const { return 2 * Eigen::Index{viewCount} <= residuals.rows(); }

  // The prefixes that a point with n views uses: 2n residuals, 2n Jacobian rows.
  auto residualsOf(int viewCount) { return residuals.head(2 * Eigen::Index{viewCount}); }
  auto trialResidualsOf(int viewCount) { return trialResiduals.head(2 * Eigen::Index{viewCount}); }
  auto jacobianOf(int viewCount) { return jacobian.topRows(2 * Eigen::Index{viewCount}); }
  auto jacobianStepOf(int viewCount) { return jacobianStep.head(2 * Eigen::Index{viewCount}); }

  Eigen::VectorXd residuals;         // 2m: r at the current iterate
  Eigen::VectorXd trialResiduals;    // 2m: r at a second point (a trial or intermediate point)
  JacobianMatrix jacobian;           // 2m x 3: J at the current iterate
  Eigen::VectorXd jacobianStep;      // 2m: J d for a step d (the change of a linear model)
  LeastSquaresScratch leastSquares;  // the factorisation of J
};

}  // namespace tessmark
