#pragma once
// The state of one triangulation run: counts, choices, phase times, per-point results and the label
// counters. The per-point loop fills it; the report writers only read it.

#include <iosfwd>
#include <string>
#include <vector>

#include "model/judgement.hpp"

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

  // One entry per point, in point order.
  std::vector<int> viewNum;
  std::vector<double> pointSeconds;
  std::vector<int> pointLoops;
  std::vector<double> reprojError_m, reprojError_f;
  std::vector<double> klc_m, klc_f;
  std::vector<double> rho_m, rho_f;
  std::vector<double> gamma_m, gamma_f;

  int solvableCount = 0;
  int hardCaseCount = 0;
  int globalSolutionCount = 0;
  int localSolutionCount = 0;
  int notPositiveDefiniteCount = 0;
  int capReachedCount = 0;  // points whose solver stopped at its loop cap
};

// Keeps point p's diagnostics (both points' R.E., gamma, rho and K_LC) and counts its labels.
void recordJudgement(TriangulationRun& run, int p, const PointJudgement& judgement);

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

// What the closing summary adds to a program's own lines: the point that holds the largest final
// K_LC distance and, when any point's solver stopped at its loop cap, how many did. Restores the
// stream's number format.
void writeRunFindings(std::ostream& out, const TriangulationRun& run);

}  // namespace tessmark
