#include "driver/triangulation_run.hpp"

#include <algorithm>

namespace tessmark {

TriangulationRun::TriangulationRun(int points)
    : pointNum(points),
      viewNum(static_cast<std::size_t>(points)),
      pointSeconds(viewNum.size()),
      pointLoops(viewNum.size()),
      reprojError_m(viewNum.size()),
      reprojError_f(viewNum.size()),
      klc_m(viewNum.size()),
      klc_f(viewNum.size()),
      rho_m(viewNum.size()),
      rho_f(viewNum.size()),
      gamma_m(viewNum.size()),
      gamma_f(viewNum.size()) {}

int displayInterval(int pointNum) {
  if (pointNum <= 8000) return std::max(500, 500 * (pointNum / 5000));
  if (pointNum <= 100000) return std::max(2500, 500 * (pointNum / 10000));
  return std::max(5000, 1000 * (pointNum / 30000));
}

double sumOf(const std::vector<double>& values) {
  double sum = 0.0;
  for (double value : values) sum += value;
  return sum;
}

double maximumOf(const std::vector<double>& values) {
  if (values.empty()) return 0.0;
  double maximum = values.front();
  for (double value : values) {
    if (value > maximum) maximum = value;
  }
  return maximum;
}

}  // namespace tessmark
