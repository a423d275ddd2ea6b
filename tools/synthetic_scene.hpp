#pragma once
// Synthetic scenes with known answers: a ring of pinhole cameras looking at the origin, and the
// per-point problems they observe, built with the same coefficient builders the programs use.

#include <vector>

#include <Eigen/Core>

#include "model/point_problem.hpp"

namespace tessmark::synthetic {

struct SceneCamera {
  Eigen::Matrix3d calibration;         // K (A in the pose block)
  Eigen::Matrix3d rotation;            // R, world to camera (B)
  Eigen::Vector3d centre;              // C
  Eigen::Matrix<double, 3, 4> matrix;  // P = K [R | -R C]
};

// A camera at `centre` looking at `target`, focal length f (pixels), principal point (cx, cy).
SceneCamera lookAtCamera(const Eigen::Vector3d& centre, const Eigen::Vector3d& target, double f,
                         double cx = 320.0, double cy = 240.0);

// n cameras evenly spaced on a horizontal ring of the given radius around the origin, slightly
// raised, all looking at the origin.
std::vector<SceneCamera> cameraRing(int n, double radius = 10.0, double f = 800.0);

// Storage for one point's problem: the per-view pieces in the layout of model/coefficients.hpp,
// and the same data packed into view blocks as the driver's workspace holds them; problem() views
// the blocks. The blocks are packed when the data is made: after changing a piece, call pack().
struct PointData {
  int viewCount = 0;
  Eigen::MatrixXd projections;            // 3n x 4
  Eigen::VectorXd observations;           // 2n
  Eigen::MatrixXd jacobianCoefficients;   // 2n x 12
  Eigen::MatrixXd curvatureCoefficients;  // 12n x 4
  Eigen::MatrixXd poses;                  // 3n x 7
  std::vector<ViewBlock> views;           // n

  void pack();
  PointProblem problem() const { return PointProblem{viewCount, views.data()}; }
};

// The problem of `point` seen by `cameras`, observations exact projections plus Gaussian noise of
// standard deviation `noise` pixels (seeded, so reproducible).
PointData observePoint(const std::vector<SceneCamera>& cameras, const Eigen::Vector3d& point,
                       double noise = 0.0, unsigned seed = 1);

// The same problem with explicit observations (2n values).
PointData pointData(const std::vector<SceneCamera>& cameras, const Eigen::VectorXd& observations);

// Three cameras [I | t] and the point kExactPoint, whose projections are exact binary fractions:
// at kExactPoint every residual is exactly 0 (not merely rounding noise).
inline const Eigen::Vector3d kExactPoint(0.5, 0.25, 1.0);
PointData exactlyReprojectingProblem();

// Three affine cameras (third row (0, 0, 0, 1)) and observations none of them fits: the projections
// are linear in X, so the cost is a quadratic whose Hessian is the same everywhere, with a single
// minimiser at a nonzero cost.
PointData affineProblem();

// A scene whose points are hard to triangulate, for testing the solvers where the geometry is
// hard: twelve cameras (two clusters of three with short baselines facing each other across the
// scene, three frames of a camera moving forward towards it, two cameras on a ring around it and a
// side camera whose principal plane cuts through it) and points of five kinds: ordinary points,
// points close to one camera's principal plane, far points (10^2 to 10^5 units away), points near
// the forward camera's direction of motion, and points seen only by one short-baseline cluster.
// Every point has its own pixel noise of 10 to 60 pixels, and about one point in eight has one
// outlying view (an image point hundreds to thousands of pixels off). Deterministic from the seed.
struct HardView {
  int camera;  // index into HardScene::cameras, increasing along a point's views
  Eigen::Vector2d observation;
};
struct HardScene {
  std::vector<SceneCamera> cameras;
  std::vector<std::vector<HardView>> points;  // each point's views, at least two
};
HardScene hardScene(int points, unsigned seed);

// The exact projection of a point by a camera matrix.
Eigen::Vector2d project(const Eigen::Matrix<double, 3, 4>& camera, const Eigen::Vector3d& point);

}  // namespace tessmark::synthetic
