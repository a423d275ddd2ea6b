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

  // Figures that a single point cannot decide, and that do not reward failing.
  double medianCostRatio = 0;  // the middle cost ratio over all points (inf counts as largest)
  double p90CostRatio = 0;     // the smallest ratio at least 90% of the points reach
  int worseThanStart = 0;      // solved points whose final cost exceeds their start cost
  // Over the points that every compared solver solved (the same points for every solver):
  double commonFinalCost = 0;  // the sum of their final costs
  int commonLeftOut = 0;       // the points left out: some solver did not solve them
  double rmsPixels = 0;  // sqrt(commonFinalCost / their observations): the RMS reprojection error
                         // of one observation (image point) in pixels; NaN without observations
};

// One summary per solver, in the comparison's order.
std::vector<SolverSummary> summarize(const Comparison& comparison);

// The summary as a console table: one row per solver, its key and name (long names cut to fit).
void writeSummaryTable(std::ostream& out, const Comparison& comparison,
                       const std::vector<SolverSummary>& summaries);

}  // namespace tessmark
