#pragma once
// The comparison's progress on a terminal: one line, redrawn in place, with the pass under way (the
// starts, or solver i of n with its key and name), a bar, the points done in that pass, their rate
// and an estimate of the time left for the whole comparison.

#include <chrono>
#include <cstdio>
#include <span>
#include <string>

#include "compare/comparison.hpp"

namespace tessmark {

class ProgressBar {
 public:
  // Draws on `out` only when it is a terminal; otherwise every call does nothing.
  ProgressBar(std::FILE* out, std::span<const ComparedSolver> solvers, int pointNum);
  ~ProgressBar();
  ProgressBar(const ProgressBar&) = delete;
  ProgressBar& operator=(const ProgressBar&) = delete;

  // Pass s (-1: the starts) has done `done` points. Redraws at most ten times a second, and at the
  // end of each pass.
  void update(int s, int done);
  // Clears the line.
  void finish();

  // The line for pass s with `done` points after `passSeconds` of it and `secondsLeft` estimated
  // for the rest, without the terminal controls; `width` columns at most.
  static std::string line(int s, std::span<const ComparedSolver> solvers, int done, int pointNum,
                          double passSeconds, double secondsLeft, std::size_t width);

 private:
  using Clock = std::chrono::steady_clock;

  std::FILE* out_;
  std::span<const ComparedSolver> solvers_;
  int pointNum_;
  bool active_;
  bool drawn_ = false;
  int pass_ = -2;
  Clock::time_point passStart_;
  Clock::time_point lastDraw_;
  double solverSeconds_ = 0;  // finished solver passes
  int solversDone_ = 0;
};

}  // namespace tessmark
