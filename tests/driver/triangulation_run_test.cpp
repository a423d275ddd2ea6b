#include "driver/triangulation_run.hpp"

#include <climits>
#include <cmath>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

namespace tessmark {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(DisplayInterval, EachRangeDividesBeforeItMultipliesAndHasItsFloor) {
  struct Case {
    int pointNum;
    int interval;
  };
  const Case cases[] = {
      {0, 500},       {1, 500},       {4999, 500},      {5000, 500},         {7776, 500},
      {8000, 500},    {8001, 2500},   {49999, 2500},    {50000, 2500},       {59999, 2500},
      {60000, 3000},  {99999, 4500},  {100000, 5000},   {100001, 5000},      {179999, 5000},
      {180000, 6000}, {209999, 6000}, {1000000, 33000}, {INT_MAX, 71582000},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(displayInterval(c.pointNum), c.interval) << "pointNum " << c.pointNum;
  }
}

TEST(SumOf, AddsInPointOrderFromZero) {
  EXPECT_EQ(sumOf({}), 0.0);
  EXPECT_EQ(sumOf({2.5}), 2.5);
  // Left to right: (1e16 + 1) + 1 loses both ones; any other order keeps at least one.
  EXPECT_EQ(sumOf({1e16, 1.0, 1.0}), 1e16);
  EXPECT_TRUE(std::isnan(sumOf({1.0, kNaN, 2.0})));
}

TEST(MaximumOf, StartsFromTheFirstAndTakesOnlyGreaterElements) {
  struct Case {
    const char* name;
    std::vector<double> values;
    double maximum;  // NaN: the result must be NaN
  };
  const Case cases[] = {
      {"empty reads 0", {}, 0.0},
      {"single", {-3.0}, -3.0},
      {"all negative", {-5.0, -1.0, -7.0}, -1.0},
      {"NaN after the first is passed over", {1.0, kNaN, 3.0, kNaN}, 3.0},
      {"NaN only after the first", {2.0, kNaN}, 2.0},
      {"NaN first stays", {kNaN, 1.0, 2.0}, kNaN},
      {"infinity", {1.0, kInf, 2.0}, kInf},
  };
  for (const Case& c : cases) {
    const double maximum = maximumOf(c.values);
    if (std::isnan(c.maximum)) {
      EXPECT_TRUE(std::isnan(maximum)) << c.name;
    } else {
      EXPECT_EQ(maximum, c.maximum) << c.name;
    }
  }
}

}  // namespace
}  // namespace tessmark
