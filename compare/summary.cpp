#include "compare/summary.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
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

double median(std::vector<int> values) {
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

}  // namespace

std::vector<SolverSummary> summarize(const Comparison& comparison) {
  std::vector<SolverSummary> summaries(comparison.solvers.size());
  std::vector<int> loops(static_cast<std::size_t>(comparison.pointNum));
  for (std::size_t s = 0; s < summaries.size(); ++s) {
    SolverSummary& summary = summaries[s];
    for (int p = 0; p < comparison.pointNum; ++p) {
      const SolverOutcome& outcome = comparison.outcome(static_cast<int>(s), p);
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
  std::snprintf(line, sizeof line, "%-3s %-*s %8s %8s %14s %8s %7s %6s %6s %9s %9s\n", "key",
                static_cast<int>(kNameWidth), "solver", "Solvable", "Global", "final cost",
                "at best", "loops~", "max", "at cap", "nonfinite", "us/point");
  out << line;
  for (std::size_t s = 0; s < summaries.size(); ++s) {
    const SolverSummary& summary = summaries[s];
    const ComparedSolver& solver = comparison.solvers[s];
    std::snprintf(line, sizeof line, "%-3c %-*s %8d %8d %14.6g %8d %7g %6d %6d %9d %9.3f\n",
                  solver.key, static_cast<int>(kNameWidth),
                  cutName(solver.entry->selectedName).c_str(), summary.solvable, summary.global,
                  summary.totalFinalCost, summary.bestCost, summary.medianLoops, summary.maxLoops,
                  summary.capReached, summary.nonFinite, summary.microsecondsPerPoint);
    out << line;
  }
}

}  // namespace tessmark
