#pragma once
// The state of one triangulation run: the data summary, the choices, the phase times, one outcome
// per point and the label counters. The per-point loop fills it; the report writers only read it.

#include <iosfwd>
#include <string>
#include <vector>

#include "dataset/point_outcome.hpp"

namespace tessmark {

struct TriangulationRun {
  explicit TriangulationRun(int pointNum);

  int cameraNum = 0;
  int pointNum = 0;
  int imageCoordinates = 0;
  int maxViewNum = 0;

  unsigned char algorithmKey = 0;  // the byte exactly as typed
  std::string algorithmName;
  int displayInterval = 0;

  double loadingSeconds = 0.0;
  double indexingSeconds = 0.0;
  double pretreatingSeconds = 0.0;
  double waitingSeconds = 0.0;
  double totalSeconds = 0.0;

  // One per point, in point order.
  std::vector<PointOutcome> outcomes;

  int solvableCount = 0;
  int hardCaseCount = 0;
  int globalSolutionCount = 0;
  int localSolutionCount = 0;
  int notPositiveDefiniteCount = 0;
  int capReachedCount = 0;  // points whose solver stopped at its loop cap
};

// Keeps point p's outcome and counts its labels and its solver's flags.
void recordOutcome(TriangulationRun& run, int p, const PointOutcome& outcome);

// Progress-display step: <= 8000 points: 500 (points / 5000), at least 500; up to 100000:
// 500 (points / 10000), at least 2500; beyond: 1000 (points / 30000), at least 5000.
int displayInterval(int pointNum);

// Sum in point order, from 0.
double sumOf(const std::vector<double>& values);
// The first element, replaced only by a later element that compares greater (so a NaN after the
// first is passed over). With no points there is no distance at all, and the maximum reads 0.
double maximumOf(const std::vector<double>& values);
// The index of that maximum (0 with no greater element, -1 with no elements).
int maximumIndexOf(const std::vector<double>& values);

// The same over one value of every outcome, `value(outcome)`.
template <typename Value>
double sumOf(const std::vector<PointOutcome>& outcomes, Value value) {
  double sum = 0.0;
  for (const PointOutcome& outcome : outcomes) sum += value(outcome);
  return sum;
}
template <typename Value>
int maximumIndexOf(const std::vector<PointOutcome>& outcomes, Value value) {
  if (outcomes.empty()) return -1;
  std::size_t best = 0;
  for (std::size_t i = 1; i < outcomes.size(); ++i) {
    if (value(outcomes[i]) > value(outcomes[best])) best = i;
  }
  return static_cast<int>(best);
}
template <typename Value>
double maximumOf(const std::vector<PointOutcome>& outcomes, Value value) {
  const int index = maximumIndexOf(outcomes, value);
  return index < 0 ? 0.0 : value(outcomes[static_cast<std::size_t>(index)]);
}

// The values the summaries gather.
inline double startCost(const PointOutcome& o) { return o.judgement.reprojError_m; }
inline double finalCost(const PointOutcome& o) { return o.judgement.reprojError_f; }
inline double startKlc(const PointOutcome& o) { return o.judgement.klc_m; }
inline double finalKlc(const PointOutcome& o) { return o.judgement.klc_f; }
inline double pointSeconds(const PointOutcome& o) { return o.pointSeconds; }

// What the closing summary adds to a program's own lines: the point that holds the largest final
// K_LC distance and, when any point's solver stopped at its loop cap, how many did. Restores the
// stream's number format.
void writeRunFindings(std::ostream& out, const TriangulationRun& run);

}  // namespace tessmark
