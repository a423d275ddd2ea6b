#pragma once
// The Gauss-Newton least-squares step shared by the residual-based solvers.

#include <Eigen/Core>

#include "model/least_squares.hpp"

namespace tessmark {

// The 3-vector d minimising |J d - r| for a 2n x 3 J: Householder QR without pivoting; when the
// first component of that solution is NaN (and only then), the least-squares, minimum-norm solution
// of a singular value decomposition instead. A rank-deficient J (a single view gives 2 x 3) is not
// an error. Computed in `scratch`; J and r are left as they are.
inline Eigen::Vector3d gaussNewtonStep(const Eigen::Ref<const JacobianMatrix>& jacobian,
                                       const Eigen::Ref<const Eigen::VectorXd>& residuals,
                                       LeastSquaresScratch& scratch) {
  return householderLeastSquares(jacobian, residuals, scratch);
}

}  // namespace tessmark
