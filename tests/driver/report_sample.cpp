#include "tests/driver/report_sample.hpp"

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
  run.viewNum = {2, 3, 2};
  run.pointSeconds = {1.5e-6, 2.0e-6, 3.0e-6};
  run.pointLoops = {4, 1000, 0};
  run.reprojError_m = {0.25, 1.5, kNaN};
  run.reprojError_f = {0.125, 1.0, kInf};
  run.klc_m = {1e-3, 2e-3, 5.0};
  run.klc_f = {1e-16, kNaN, -kInf};
  run.rho_f = {101220.5, 1.0, kNaN};
  run.gamma_f = {0.353553, 1.0, kInf};
  run.rho_m = {98712.25, 1.0, 12.5};
  run.gamma_m = {0.5, 1.0, kNaN};
  run.solvableCount = 2;
  run.hardCaseCount = 1;
  run.globalSolutionCount = 1;
  run.localSolutionCount = 2;
}

std::string ReportSample::resultsFile(const ReportWriters& writers) const {
  return written([&](std::FILE* file) {
    writers.resultsHeader(file, run, kCreatedAt);
    for (int p = 0; p < 3; ++p)
      writers.pointRecord(file, run, p, x_m[p], x_f[p], solvable[p], global[p]);
    writers.resultsSummary(file, run);
  });
}

std::string ReportSample::summaryFile(const ReportWriters& writers) const {
  return written([&](std::FILE* file) { writers.summaryFile(file, run, kCreatedAt); });
}

}  // namespace tessmark::testing
