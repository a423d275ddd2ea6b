#include "tests/support/report_sample.hpp"

#include <cstdlib>

#include <gtest/gtest.h>

namespace tessmark::testing {

std::string written(const std::function<void(std::FILE*)>& write) {
  char* buffer = nullptr;
  std::size_t size = 0;
  std::FILE* file = open_memstream(&buffer, &size);
  if (file == nullptr) {
    ADD_FAILURE() << "open_memstream failed";
    return {};
  }
  write(file);
  std::fclose(file);
  std::string text(buffer, size);
  std::free(buffer);
  return text;
}

ReportSample::ReportSample() {
  run.cameraNum = 3;
  run.imageCoordinates = 7;
  run.maxViewNum = 3;
  run.algorithmKey = '0';
  run.algorithmName = "Newton-Raphson";
  struct Point {
    Eigen::Vector3d x_m, x_f;
    int views;
    double seconds;
    int loops;
    double reprojError_m, reprojError_f, klc_m, klc_f, rho_f, gamma_f, rho_m, gamma_m;
    bool solvable, global;
  };
  const Point points[3] = {
      {{1.5, -2.25, 3.0},
       {1.25, -2.0, 3.125},
       2,
       1.5e-6,
       4,
       0.25,
       0.125,
       1e-3,
       1e-16,
       101220.5,
       0.353553,
       98712.25,
       0.5,
       true,
       true},
      {{0.5, 0.5, 0.5},
       {0.5, 0.5, 0.5},
       3,
       2.0e-6,
       1000,
       1.5,
       1.0,
       2e-3,
       kNaN,
       1.0,
       1.0,
       1.0,
       1.0,
       true,
       false},
      {{100.0, -1e-13, 0.0},
       {kNaN, kInf, -kInf},
       2,
       3.0e-6,
       0,
       kNaN,
       kInf,
       5.0,
       -kInf,
       kNaN,
       kInf,
       12.5,
       kNaN,
       false,
       false},
  };
  for (int p = 0; p < 3; ++p) {
    const Point& point = points[p];
    PointOutcome outcome;
    outcome.start = point.x_m;
    outcome.point = point.x_f;
    outcome.viewCount = point.views;
    outcome.pointSeconds = point.seconds;
    outcome.loops = point.loops;
    PointJudgement& j = outcome.judgement;
    j.reprojError_m = point.reprojError_m;
    j.reprojError_f = point.reprojError_f;
    j.klc_m = point.klc_m;
    j.klc_f = point.klc_f;
    j.rho_f = point.rho_f;
    j.gamma_f = point.gamma_f;
    j.rho_m = point.rho_m;
    j.gamma_m = point.gamma_m;
    j.solvable = point.solvable;
    j.global = point.global;
    recordOutcome(run, p, outcome);
  }
}

std::string ReportSample::resultsFile(const ReportWriters& writers) const {
  return written([&](std::FILE* file) {
    writers.resultsHeader(file, run, kCreatedAt);
    for (int p = 0; p < 3; ++p) writers.pointRecord(file, run, p);
    writers.resultsSummary(file, run);
  });
}

std::string ReportSample::summaryFile(const ReportWriters& writers) const {
  return written([&](std::FILE* file) { writers.summaryFile(file, run, kCreatedAt); });
}

}  // namespace tessmark::testing
