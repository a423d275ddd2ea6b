#include "driver/triangulation_run.hpp"

#include <algorithm>
#include <iomanip>
#include <ostream>

namespace tessmark {

TriangulationRun::TriangulationRun(int points)
    : pointNum(points), outcomes(static_cast<std::size_t>(points)) {}

int displayInterval(int pointNum) {
  if (pointNum <= 8000) return std::max(500, 500 * (pointNum / 5000));
  if (pointNum <= 100000) return std::max(2500, 500 * (pointNum / 10000));
  return std::max(5000, 1000 * (pointNum / 30000));
}

void recordOutcome(TriangulationRun& run, int p, const PointOutcome& outcome) {
  run.outcomes[static_cast<std::size_t>(p)] = outcome;
  if (outcome.hessianModified) ++run.notPositiveDefiniteCount;
  if (outcome.capReached) ++run.capReachedCount;
  ++(outcome.judgement.solvable ? run.solvableCount : run.hardCaseCount);
  ++(outcome.judgement.global ? run.globalSolutionCount : run.localSolutionCount);
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
  const int largest = maximumIndexOf(run.outcomes, finalKlc);
  if (largest >= 0) {
    out << "  Largest final K_{LC} distance: " << std::scientific << std::setprecision(6)
        << finalKlc(run.outcomes[static_cast<std::size_t>(largest)]) << " at point " << largest + 1
        << ";\n";
  }
  if (run.capReachedCount > 0) {
    out << "  Points whose solver stopped at its loop cap: " << run.capReachedCount << ";\n";
  }
  out.flags(flags);
  out.precision(precision);
}

}  // namespace tessmark
