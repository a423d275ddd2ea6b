#include "console/stopwatch.hpp"

#include <gtest/gtest.h>

namespace tessmark {
namespace {

TEST(StopwatchTest, StartsZeroedWithNanosecondTicks) {
  const Stopwatch stopwatch;
  EXPECT_EQ(stopwatch.startTicks, 0);
  EXPECT_EQ(stopwatch.stopTicks, 0);
  EXPECT_EQ(stopwatch.frequency, 1000000000);
}

TEST(StopwatchTest, SecondsAreTheSignedTickDifferenceOverFrequency) {
  Stopwatch stopwatch;
  stopwatch.startTicks = 4000000000;
  stopwatch.stopTicks = 5500000000;
  EXPECT_DOUBLE_EQ(stopwatch.seconds(), 1.5);
  stopwatch.stopTicks = 1000000000;  // read as if stopped before it was started
  EXPECT_DOUBLE_EQ(stopwatch.seconds(), -3.0);
}

TEST(StopwatchTest, StartAndStopEachReadTheMonotonicClockOnce) {
  Stopwatch stopwatch;
  stopwatch.start();
  EXPECT_GT(stopwatch.startTicks, 0);
  EXPECT_EQ(stopwatch.stopTicks, 0);
  stopwatch.stop();
  const std::int64_t firstStop = stopwatch.stopTicks;
  EXPECT_GE(firstStop, stopwatch.startTicks);
  EXPECT_GE(stopwatch.seconds(), 0.0);

  // A restart moves only the start; the old stop is kept until the next stop().
  stopwatch.start();
  EXPECT_GE(stopwatch.startTicks, firstStop);
  EXPECT_EQ(stopwatch.stopTicks, firstStop);
  EXPECT_LE(stopwatch.seconds(), 0.0);
  stopwatch.stop();
  EXPECT_GE(stopwatch.stopTicks, stopwatch.startTicks);
}

}  // namespace
}  // namespace tessmark
