#include "solvers/newton/newton_system.hpp"

#include <limits>

#include "model/linear_solve.hpp"
#include "model/small_kernels.hpp"

namespace tessmark {

NewtonFactorisation::NewtonFactorisation(const Eigen::Matrix3d& hessian,
                                         const Eigen::Vector3d& gradient)
    : hessian_(hessian), finite_(hessian.allFinite()) {
  if (finite_) ldlt_ = symmetricLdlt(hessian);
  step_ =
      finite_ && gradient.allFinite() ? ldltSolve(ldlt_, gradient) : ldltSolve(hessian, gradient);
  if (!needsSvdFallback(step_)) return;
  usesSvd_ = true;
  // Eigen leaves the decomposition of a non-finite matrix unset: solving with it would read
  // garbage.
  svdComputed_ = hessian.allFinite();
  if (svdComputed_) {
    svd_.emplace(hessian, Eigen::ComputeFullU | Eigen::ComputeFullV);
    step_ = svd_->solve(gradient);
  } else {
    step_.setConstant(std::numeric_limits<double>::quiet_NaN());
  }
}

Eigen::Matrix3d NewtonFactorisation::solve(const Eigen::Matrix3d& rightHandSides) const {
  if (!usesSvd_) {
    if (finite_) return ldltSolve(ldlt_, rightHandSides);
    return Eigen::LDLT<Eigen::Matrix3d>(hessian_).solve(rightHandSides);
  }
  if (svdComputed_) return svd_->solve(rightHandSides);
  return Eigen::Matrix3d::Constant(std::numeric_limits<double>::quiet_NaN());
}

}  // namespace tessmark
