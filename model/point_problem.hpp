#pragma once
// The per-point triangulation problem: the data of the n views that observe one 3D point.
//
// Notation used by the whole model: X is the candidate point, X~ = (X, 1) its homogeneous form; for
// view v the rows of its 3x4 camera matrix are p1, p2, p3, the projective depth is w_v = p3 . X~,
// the projection is pi_{v,c} = (p_c . X~) / w_v (c = 0 for image x, c = 1 for image y) and the
// residual is r_{v,c} = pi_{v,c} - u_{v,c} (projected minus observed).

#include <Eigen/Core>

namespace tessmark {

// Read-only view of a column-major dynamic matrix; binds to blocks of a larger workspace without
// copying (the outer stride is the workspace's row count).
using MatrixView = Eigen::Ref<const Eigen::MatrixXd>;
using VectorView = Eigen::Ref<const Eigen::VectorXd>;

// One point's problem. Every field is a view into storage the caller owns (normally the driver's
// per-point workspace); only the first viewCount views are read.
//
//   projections           3n x 4   rows 3v..3v+2 are p1, p2, p3 of view v
//   observations          2n       element 2v is the observed x of view v, 2v+1 its y
//   jacobianCoefficients  2n x 12  row 2v+c, column 4i+b: p_c[i] p3[b] - p_c[b] p3[i]
//   curvatureCoefficients 12n x 4  row 12v+6c+k, column b: 2 p3[i] p3[j] p_c[b]
//                                  - (p_c[i] p3[j] + p_c[j] p3[i]) p3[b], k over the pairs
//                                  (0,0) (0,1) (0,2) (1,1) (1,2) (2,2)
//   poses                 3n x 7   rows 3v..3v+2 are [A | B | c]: calibration, rotation (world to
//                                  camera) and camera centre; read only by the symmedian start
struct PointProblem {
  int viewCount;
  MatrixView projections;
  VectorView observations;
  MatrixView jacobianCoefficients;
  MatrixView curvatureCoefficients;
  MatrixView poses;
};

// The homogeneous form X~ of a point.
inline Eigen::Vector4d homogeneous(const Eigen::Vector3d& x) { return {x(0), x(1), x(2), 1.0}; }

}  // namespace tessmark
