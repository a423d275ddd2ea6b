#include "solvers/least_squares/gauss_newton_step.hpp"

namespace tessmark {

Eigen::Vector3d gaussNewtonStep(const Eigen::Ref<const JacobianMatrix>& jacobian,
                                const Eigen::Ref<const Eigen::VectorXd>& residuals,
                                LeastSquaresScratch& scratch) {
  return householderLeastSquares(jacobian, residuals, scratch);
}

}  // namespace tessmark
