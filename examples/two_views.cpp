// Two cameras see one point; its images are half a pixel off. Three solvers of the .lc program's
// menu triangulate it from the same symmedian start, and each result is judged.
#include <cstdio>
#include <vector>

#include <Eigen/Geometry>
#include <tessmark/triangulate.hpp>

// A camera at `centre` looking at the origin: P = K [R | -R C].
Eigen::Matrix<double, 3, 4> lookingAtOrigin(const Eigen::Vector3d& centre) {
  const Eigen::Vector3d forward = -centre.normalized();
  const Eigen::Vector3d right = forward.cross(Eigen::Vector3d::UnitY()).normalized();
  Eigen::Matrix3d k, r;
  k << 800, 0, 320, 0, 800, 240, 0, 0, 1;
  r << right.transpose(), forward.cross(right).transpose(), forward.transpose();
  Eigen::Matrix<double, 3, 4> p;
  p << r, -r * centre;
  return k * p;
}

int main() {
  const std::vector<Eigen::Matrix<double, 3, 4>> cameras{lookingAtOrigin({-3, 1, 8}),
                                                         lookingAtOrigin({4, 2, 7})};
  const Eigen::Vector3d point(0.3, -0.2, 0.5);
  const Eigen::Vector2d offsets[] = {{0.5, -0.5}, {-0.5, 0.5}};
  std::vector<Eigen::Vector2d> images;
  for (int v = 0; v < 2; ++v)
    images.push_back((cameras[v] * point.homogeneous()).hnormalized() + offsets[v]);

  tessmark::Triangulator triangulator;
  for (const char* key : {"0", "2", "6"}) {
    const auto method = tessmark::Method::fromKey(tessmark::Rules::sennic, key);
    const tessmark::Triangulation t = triangulator.triangulate({cameras, images}, method);
    std::printf("%s: %s\n  start (%.6f, %.6f, %.6f)  R.E. %.3e\n", key, method.name().data(),
                t.start.x(), t.start.y(), t.start.z(), t.reprojError_m);
    std::printf("  final (%.6f, %.6f, %.6f)  R.E. %.3e  K.lc %.1e  %d loops  %s, %s\n", t.point.x(),
                t.point.y(), t.point.z(), t.reprojError_f, t.klc_f, t.loops,
                t.solvable ? "Solvable" : "Hard case", t.global ? "Global" : "Local");
  }
}
