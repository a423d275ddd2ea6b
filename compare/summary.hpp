#pragma once
// Per-solver figures of a comparison: what the summary table and summary.csv show.

#include <iosfwd>
#include <vector>

#include "compare/comparison.hpp"

namespace tessmark {

struct SolverSummary {
  int solvable = 0;  // points labelled "Solvable" (the program's rule; start values mostly)
  int global = 0;    // points labelled "Global"
  double totalFinalCost = 0;  // sum of the finite final costs, in point order
  int bestCost = 0;           // points whose cost ratio is at most 1 + kBestCostTolerance
  double medianLoops = 0;     // the middle loop count (the mean of the two middle ones)
  int maxLoops = 0;
  int capReached = 0;  // points whose solver stopped at its loop cap
  int hessianModified =
      0;              // points with a Hessian made positive definite ("Not positive definite")
  int nonFinite = 0;  // points not solved: a non-finite final point or cost
  double solveSeconds = 0;  // sum of the solve times
  double passSeconds = 0;   // the solver's whole pass: gathering, solving and judging every point
  double microsecondsPerPoint = 0;  // their mean, in microseconds (0 without points)
};

// One summary per solver, in the comparison's order.
std::vector<SolverSummary> summarize(const Comparison& comparison);

// The summary as a console table: one row per solver, its key and name (long names cut to fit).
void writeSummaryTable(std::ostream& out, const Comparison& comparison,
                       const std::vector<SolverSummary>& summaries);

}  // namespace tessmark
