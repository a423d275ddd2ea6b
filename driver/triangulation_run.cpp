#include "driver/triangulation_run.hpp"

#include <algorithm>
#include <iomanip>
#include <ostream>

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

void recordJudgement(TriangulationRun& run, int p, const PointJudgement& judgement) {
  const auto i = static_cast<std::size_t>(p);
  run.rho_m[i] = judgement.rho_m;
  run.rho_f[i] = judgement.rho_f;
  run.reprojError_f[i] = judgement.reprojError_f;
  run.gamma_f[i] = judgement.gamma_f;
  run.klc_f[i] = judgement.klc_f;
  run.reprojError_m[i] = judgement.reprojError_m;
  run.gamma_m[i] = judgement.gamma_m;
  run.klc_m[i] = judgement.klc_m;
  ++(judgement.solvable ? run.solvableCount : run.hardCaseCount);
  ++(judgement.global ? run.globalSolutionCount : run.localSolutionCount);
}

double sumOf(const std::vector<double>& values) {
  double sum = 0.0;
  for (double value : values) sum += value;
  return sum;
}

double maximumOf(const std::vector<double>& values) {
  const int index = maximumIndexOf(values);
  return index < 0 ? 0.0 : values[static_cast<std::size_t>(index)];
}

int maximumIndexOf(const std::vector<double>& values) {
  if (values.empty()) return -1;
  std::size_t best = 0;
  for (std::size_t i = 1; i < values.size(); ++i) {
    if (values[i] > values[best]) best = i;
  }
  return static_cast<int>(best);
}

void writeRunFindings(std::ostream& out, const TriangulationRun& run) {
  const std::ios_base::fmtflags flags = out.flags();
  const std::streamsize precision = out.precision();
  const int largest = maximumIndexOf(run.klc_f);
  if (largest >= 0) {
    out << "  Largest final K_{LC} distance: " << std::scientific << std::setprecision(6)
        << run.klc_f[static_cast<std::size_t>(largest)] << " at point " << largest + 1 << ";\n";
  }
  if (run.capReachedCount > 0) {
    out << "  Points whose solver stopped at its loop cap: " << run.capReachedCount << ";\n";
  }
  out.flags(flags);
  out.precision(precision);
}

}  // namespace tessmark
