#include "solvers/newton/newton_system.hpp"

#include <Eigen/Cholesky>

#include "model/linear_solve.hpp"

namespace tessmark {

Eigen::Vector3d solveNewtonSystem(const Eigen::Matrix3d& hessian, const Eigen::Vector3d& gradient) {
  Eigen::Vector3d step = Eigen::LDLT<Eigen::Matrix3d>(hessian).solve(gradient);
  if (needsSvdFallback(step)) step = svdSolve(hessian, gradient);
  return step;
}

}  // namespace tessmark
