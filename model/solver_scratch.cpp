#include "model/solver_scratch.hpp"

namespace tessmark {

SolverScratch::SolverScratch(int maxViewNum)
    : residuals(Eigen::VectorXd::Zero(2 * Eigen::Index{maxViewNum})),
      trialResiduals(Eigen::VectorXd::Zero(2 * Eigen::Index{maxViewNum})),
      jacobian(JacobianMatrix::Zero(2 * Eigen::Index{maxViewNum}, 3)),
      jacobianStep(Eigen::VectorXd::Zero(2 * Eigen::Index{maxViewNum})),
      leastSquares(maxViewNum) {}

}  // namespace tessmark
