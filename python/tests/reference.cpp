// The numbers the Python module must reproduce, computed by the public library itself. Reads
// requests from standard input, one per line, numbers as C hexadecimal floats (Python's
// float.hex()), and answers each with one line, every double printed with %a:
//
//   point RULES KEY N POSES, then N lines: the 12 entries of P (row by row), x, y, and when POSES
//       is 1 the entries of K and R (row by row) and C
//     -> ok start(3) point(3) loops cap_reached hessian_modified start_cost final_cost gamma_start
//           gamma_final rho_start rho_final klc_start klc_final psd solvable global
//      | error REASON VIEW
//   bal w0 w1 w2 t0 t1 t2 f
//     -> bal P(12) K(9) R(9) C(3), row by row
//   repeat R
//     -> nothing: the points from here on are kept, and at the end of the input triangulated again
//        in R timed passes over all of them; the last line of the output is then
//        "time SECONDS CALLS" (the C++ counterpart of the Python loop of
//        bench/python_triangulate.py)

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <limits>
#include <string>
#include <vector>

#include <Eigen/Core>
#include <tessmark/triangulate.hpp>

namespace {

// One point's request, kept for the timed passes.
struct Request {
  std::vector<Eigen::Matrix<double, 3, 4>> cameras;
  std::vector<Eigen::Vector2d> observations;
  std::vector<tessmark::CameraPose> poses;
  tessmark::Method method;
};

// Timing: the passes over the kept points (0: none kept, nothing timed).
long repeat = 0;
std::vector<Request> kept;

double readNumber() {
  std::string token;
  if (!(std::cin >> token)) {
    std::fprintf(stderr, "reference: the input ended inside a request\n");
    std::exit(2);
  }
  return std::strtod(token.c_str(), nullptr);
}

template <typename Matrix>
void readMatrix(Matrix& matrix) {
  for (Eigen::Index r = 0; r < matrix.rows(); ++r) {
    for (Eigen::Index c = 0; c < matrix.cols(); ++c) matrix(r, c) = readNumber();
  }
}

template <typename Matrix>
void printMatrix(const Matrix& matrix) {
  for (Eigen::Index r = 0; r < matrix.rows(); ++r) {
    for (Eigen::Index c = 0; c < matrix.cols(); ++c) std::printf(" %a", matrix(r, c));
  }
}

void point(tessmark::Triangulator& triangulator) {
  std::string rules, key;
  std::size_t n = 0;
  int withPoses = 0;
  std::cin >> rules >> key >> n >> withPoses;
  std::vector<Eigen::Matrix<double, 3, 4>> cameras(n);
  std::vector<Eigen::Vector2d> observations(n);
  std::vector<tessmark::CameraPose> poses(withPoses != 0 ? n : 0);
  for (std::size_t v = 0; v < n; ++v) {
    readMatrix(cameras[v]);
    readMatrix(observations[v]);
    if (withPoses != 0) {
      readMatrix(poses[v].calibration);
      readMatrix(poses[v].rotation);
      readMatrix(poses[v].centre);
    }
  }
  const tessmark::Rules chosen =
      rules == "sennic" ? tessmark::Rules::sennic : tessmark::Rules::vorlant;
  try {
    const tessmark::Method method = tessmark::Method::fromKey(chosen, key);
    if (repeat > 0) kept.push_back({cameras, observations, poses, method});
    const tessmark::Triangulation t =
        triangulator.triangulate({cameras, observations, poses}, method);
    std::printf("ok");
    printMatrix(t.start.transpose());
    printMatrix(t.point.transpose());
    std::printf(" %d %d %d", t.loops, t.capReached, t.hessianModified);
    for (const double value : {t.reprojError_m, t.reprojError_f, t.gamma_m, t.gamma_f, t.rho_m,
                               t.rho_f, t.klc_m, t.klc_f}) {
      std::printf(" %a", value);
    }
    std::printf(" %d %d %d\n", t.positiveSemidefinite, t.solvable, t.global);
  } catch (const tessmark::TriangulationError& error) {
    std::printf("error %d %td\n", static_cast<int>(error.reason()), error.view());
  }
}

void bal() {
  Eigen::Vector3d angleAxis, translation;
  readMatrix(angleAxis);
  readMatrix(translation);
  const double focal = readNumber();
  const tessmark::BalCamera camera = tessmark::balCamera(angleAxis, translation, focal);
  std::printf("bal");
  printMatrix(camera.matrix);
  printMatrix(camera.pose.calibration);
  printMatrix(camera.pose.rotation);
  printMatrix(camera.pose.centre.transpose());
  std::printf("\n");
}

}  // namespace

int main() {
  tessmark::Triangulator triangulator;
  std::string request;
  while (std::cin >> request) {
    if (request == "point") {
      point(triangulator);
    } else if (request == "bal") {
      bal();
    } else if (request == "repeat") {
      std::cin >> repeat;
    } else {
      std::fprintf(stderr, "reference: unknown request \"%s\"\n", request.c_str());
      return 2;
    }
  }
  if (repeat > 0) {
    double best = std::numeric_limits<double>::infinity();
    for (long r = 0; r < repeat; ++r) {
      const auto begin = std::chrono::steady_clock::now();
      for (const Request& request : kept) {
        triangulator.triangulate({request.cameras, request.observations, request.poses},
                                 request.method);
      }
      const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - begin;
      best = std::min(best, seconds.count());
    }
    std::printf("time %.9f %zu\n", best, kept.size());
  }
  return 0;
}
