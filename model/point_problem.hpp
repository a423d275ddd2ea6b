#pragma once
// The per-point triangulation problem: the data of the n views that observe one 3D point.
//
// Notation used by the whole model: X is the candidate point, X~ = (X, 1) its homogeneous form; for
// view v the rows of its 3x4 camera matrix are p1, p2, p3, the projective depth is w_v = p3 . X~,
// the projection is pi_{v,c} = (p_c . X~) / w_v (c = 0 for image x, c = 1 for image y) and the
// residual is r_{v,c} = pi_{v,c} - u_{v,c} (projected minus observed).

#include <Eigen/Core>

namespace tessmark {

// Everything one view contributes, in one contiguous block of fixed-size pieces, so that an
// evaluation walks each view once and reads it front to back. The camera's derivative rows are
// those of model/coefficients.hpp, stored transposed so that one evaluation of all 18 of them is a
// short column sweep:
//
//   cameraRows              4x3   column r is row r of P (p1, p2, p3)
//   derivativeCoefficients 18x4   row 3c+i: columns 4i..4i+3 of jacobianCoefficientBlock row c
//                                 (dotted with X~: w^2 d pi_c / dX_i); row 6+6c+k: row 6c+k of
//                                 curvatureCoefficientBlock (dotted with X~: w^3 d2 pi_c / dX_i
//                                 dX_j for the k-th pair (0,0) (0,1) (0,2) (1,1) (1,2) (2,2))
//   observation             2     the observed (x, y)
//   pose                    3x7   [A | B | c]: calibration, rotation (world to camera) and camera
//                                 centre; read only by the symmedian start
struct ViewBlock {
  Eigen::Matrix<double, 4, 3> cameraRows;
  Eigen::Matrix<double, 18, 4> derivativeCoefficients;
  Eigen::Vector2d observation;
  Eigen::Matrix<double, 3, 7> pose;

  // Fills the block from one camera's matrix, its two coefficient blocks, its pose and (x, y).
  void assign(const Eigen::Matrix<double, 3, 4>& camera,
              const Eigen::Matrix<double, 2, 12>& jacobianCoefficients,
              const Eigen::Matrix<double, 12, 4>& curvatureCoefficients,
              const Eigen::Matrix<double, 3, 7>& cameraPose, double x, double y);

  // The pieces in the layout of model/coefficients.hpp, for checks and tools.
  Eigen::Matrix<double, 3, 4> camera() const { return cameraRows.transpose(); }
  Eigen::Matrix<double, 2, 12> jacobianCoefficients() const;
  Eigen::Matrix<double, 12, 4> curvatureCoefficients() const {
    return derivativeCoefficients.bottomRows<12>();
  }
};

// One point's problem: a read-only view of viewCount blocks in storage the caller owns (normally
// the driver's per-point workspace). Solvers and the judgement reach the blocks only through the
// model functions (derivatives, symmedian, diagnostics).
struct PointProblem {
  int viewCount;
  const ViewBlock* views;
};

// The homogeneous form X~ of a point.
inline Eigen::Vector4d homogeneous(const Eigen::Vector3d& x) { return {x(0), x(1), x(2), 1.0}; }

}  // namespace tessmark
