// Loads a data set (a BAL problem, with or without its header-ID line, plain or .bz2, or a .lc
// set), triangulates every point with one solver of its program's menu on every core, and
// prints what the points came to.
//   triangulate_file FILE [KEY [THREADS]]     KEY: 0..9 or other (default 0); THREADS: 0 = all
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include <tessmark/problem.hpp>

int main(int argc, char** argv) {
  if (argc < 2 || argc > 4) {
    std::fprintf(stderr, "usage: triangulate_file FILE [KEY [THREADS]]\n");
    return 2;
  }
  try {
    const tessmark::Problem problem = tessmark::Problem::load(argv[1]);
    const auto method = tessmark::Method::fromKey(problem.rules(), argc > 2 ? argv[2] : "0");
    tessmark::ProblemOptions options;
    options.threads = argc > 3 ? std::atoi(argv[3]) : 0;
    const tessmark::ProblemTriangulation all = tessmark::triangulateAll(problem, method, options);

    int solvable = 0, global = 0, capped = 0, unsolved = 0;
    double cost = 0;
    for (const tessmark::Triangulation& t : all.points) {
      solvable += t.solvable;
      global += t.global;
      capped += t.capReached;
      if (t.point.allFinite()) {
        cost += t.reprojError_f;
      } else {
        ++unsolved;
      }
    }
    std::printf("%d cameras, %d points, %lld views; %s\n", problem.cameraCount(),
                problem.pointCount(), static_cast<long long>(problem.observationCount()),
                method.name().data());
    std::printf("Solvable %d, Global %d, at the loop cap %d, not solved %d\n", solvable, global,
                capped, unsolved);
    std::printf("final cost of the solved points %.9e\n", cost);
  } catch (const tessmark::DataFileError& error) {
    std::fprintf(stderr, "%s\n", error.what());  // FILE:LINE: what was expected there
    return 1;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s\n", error.what());
    return 1;
  }
}
