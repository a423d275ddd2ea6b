#include "compare/summary.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <ostream>
#include <string>

namespace tessmark {

namespace {

constexpr std::size_t kNameWidth = 44;

std::string cutName(const char* name) {
  std::string text = name;
  if (text.size() > kNameWidth) text = text.substr(0, kNameWidth - 3) + "...";
  return text;
}

template <typename Value>
double median(std::vector<Value> values) {
  if (values.empty()) return 0.0;
  const std::size_t middle = values.size() / 2;
  std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(middle),
                   values.end());
  const double upper = values[middle];
  if (values.size() % 2 == 1) return upper;
  const double lower =
      *std::max_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(middle));
  return (lower + upper) / 2.0;
}

// The smallest value that at least `share` of the values are at most (nearest rank).
double quantile(std::vector<double> values, double share) {
  if (values.empty()) return 0.0;
  const auto rank = static_cast<std::size_t>(std::ceil(share * static_cast<double>(values.size())));
  const auto at = static_cast<std::ptrdiff_t>(std::max<std::size_t>(rank, 1) - 1);
  std::nth_element(values.begin(), values.begin() + at, values.end());
  return values[static_cast<std::size_t>(at)];
}

// Whether every compared solver solved point p.
bool solvedByAll(const Comparison& comparison, int p) {
  for (std::size_t s = 0; s < comparison.solvers.size(); ++s) {
    if (!solvedPoint(comparison.outcome(static_cast<int>(s), p))) return false;
  }
  return true;
}

}  // namespace

std::vector<SolverSummary> summarize(const Comparison& comparison) {
  std::vector<SolverSummary> summaries(comparison.solvers.size());
  const auto pointCount = static_cast<std::size_t>(comparison.pointNum);
  std::vector<int> loops(pointCount);
  std::vector<double> costRatios(pointCount);
  std::vector<bool> common(pointCount);
  int commonCount = 0;
  double commonObservations = 0;
  for (int p = 0; p < comparison.pointNum; ++p) {
    const auto i = static_cast<std::size_t>(p);
    common[i] = solvedByAll(comparison, p);
    commonCount += common[i] ? 1 : 0;
    if (common[i] && i < comparison.viewNum.size()) commonObservations += comparison.viewNum[i];
  }
  for (std::size_t s = 0; s < summaries.size(); ++s) {
    SolverSummary& summary = summaries[s];
    for (int p = 0; p < comparison.pointNum; ++p) {
      const SolverOutcome& outcome = comparison.outcome(static_cast<int>(s), p);
      const auto i = static_cast<std::size_t>(p);
      costRatios[i] = outcome.costRatio;
      if (common[i]) summary.commonFinalCost += outcome.judgement.reprojError_f;
      summary.worseThanStart +=
          solvedPoint(outcome) && outcome.judgement.reprojError_f > outcome.judgement.reprojError_m
              ? 1
              : 0;
      summary.solvable += outcome.judgement.solvable ? 1 : 0;
      summary.global += outcome.judgement.global ? 1 : 0;
      if (solvedPoint(outcome)) {
        summary.totalFinalCost += outcome.judgement.reprojError_f;
      } else {
        ++summary.nonFinite;
      }
      summary.bestCost += outcome.costRatio <= 1.0 + kBestCostTolerance ? 1 : 0;
      loops[static_cast<std::size_t>(p)] = outcome.loops;
      summary.maxLoops = std::max(summary.maxLoops, outcome.loops);
      summary.capReached += outcome.capReached ? 1 : 0;
      summary.hessianModified += outcome.hessianModified ? 1 : 0;
      summary.solveSeconds += outcome.solveSeconds;
    }
    summary.medianLoops = median(loops);
    summary.medianCostRatio = median(costRatios);
    summary.p90CostRatio = quantile(costRatios, 0.9);
    summary.commonLeftOut = comparison.pointNum - commonCount;
    summary.rmsPixels = commonObservations > 0
                            ? std::sqrt(summary.commonFinalCost / commonObservations)
                            : std::numeric_limits<double>::quiet_NaN();
    summary.passSeconds = comparison.passSeconds[s];
    if (comparison.pointNum > 0) {
      summary.microsecondsPerPoint = 1e6 * summary.solveSeconds / comparison.pointNum;
    }
  }
  return summaries;
}

void writeSummaryTable(std::ostream& out, const Comparison& comparison,
                       const std::vector<SolverSummary>& summaries) {
  char line[256];
  std::snprintf(line, sizeof line, "%-5s %-*s %8s %8s %14s %8s %7s %6s %6s %9s %9s\n", "key",
                static_cast<int>(kNameWidth), "solver", "Solvable", "Global", "final cost",
                "at best", "loops~", "max", "at cap", "nonfinite", "us/point");
  out << line;
  for (std::size_t s = 0; s < summaries.size(); ++s) {
    const SolverSummary& summary = summaries[s];
    const ComparedSolver& solver = comparison.solvers[s];
    std::snprintf(line, sizeof line, "%-5.*s %-*s %8d %8d %14.6g %8d %7g %6d %6d %9d %9.3f\n",
                  static_cast<int>(solver.key.size()), solver.key.data(),
                  static_cast<int>(kNameWidth), cutName(solver.entry->selectedName).c_str(),
                  summary.solvable, summary.global, summary.totalFinalCost, summary.bestCost,
                  summary.medianLoops, summary.maxLoops, summary.capReached, summary.nonFinite,
                  summary.microsecondsPerPoint);
    out << line;
  }
  if (summaries.empty()) return;
  const int leftOut = summaries[0].commonLeftOut;
  out << "\n  cost ratio to the best of the point: median and 90th percentile; worse: solved "
         "points ending above their start;\n  common cost and RMS error per observation over the "
      << comparison.pointNum - leftOut << " points every solver solved (" << leftOut
      << " left out)\n";
  std::snprintf(line, sizeof line, "%-5s %12s %12s %8s %14s %10s\n", "key", "ratio~", "ratio p90",
                "worse", "common cost", "RMS px");
  out << line;
  for (std::size_t s = 0; s < summaries.size(); ++s) {
    const SolverSummary& summary = summaries[s];
    std::snprintf(line, sizeof line, "%-5.*s %12.6g %12.6g %8d %14.6g %10.4g\n",
                  static_cast<int>(comparison.solvers[s].key.size()),
                  comparison.solvers[s].key.data(), summary.medianCostRatio, summary.p90CostRatio,
                  summary.worseThanStart, summary.commonFinalCost, summary.rmsPixels);
    out << line;
  }
}

}  // namespace tessmark
