#include "console/stopwatch.hpp"

#include <time.h>

namespace tessmark {
namespace {

constexpr std::int64_t kNanosecondsPerSecond = 1000000000;

std::int64_t monotonicTicks() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::int64_t>(now.tv_sec) * kNanosecondsPerSecond + now.tv_nsec;
}

}  // namespace

Stopwatch::Stopwatch() : frequency(kNanosecondsPerSecond) {}

void Stopwatch::start() { startTicks = monotonicTicks(); }

void Stopwatch::stop() { stopTicks = monotonicTicks(); }

double Stopwatch::seconds() const {
  const std::int64_t elapsed = stopTicks - startTicks;
  return static_cast<double>(elapsed) / static_cast<double>(frequency);
}

}  // namespace tessmark
