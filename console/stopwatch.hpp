#pragma once
// A high-resolution stopwatch on the monotonic clock, in nanosecond ticks. One clock read per start
// or stop, so it can wrap every point of a run without distorting what it measures.

#include <cstdint>

namespace tessmark {

struct Stopwatch {
  std::int64_t startTicks = 0;  // 0 until started
  std::int64_t stopTicks = 0;   // 0 until stopped
  std::int64_t frequency;       // ticks per second: 1000000000 (nanoseconds)

  Stopwatch();
  void start();
  void stop();
  // (stopTicks - startTicks) / frequency: the difference as a signed 64-bit count, the division in
  // floating point. Meaningless (possibly negative) before stop().
  double seconds() const;
};

}  // namespace tessmark
