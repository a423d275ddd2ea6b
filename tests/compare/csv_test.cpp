#include "compare/csv.hpp"

#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/compare/csv_reader.hpp"

namespace tessmark {
namespace {

// Every finite double reads back as itself; the non-finite ones in the one documented spelling.
TEST(CsvNumber, RoundTripsEveryDouble) {
  const double finite[] = {0.0,
                           -0.0,
                           1.0 / 3.0,
                           -2.5,
                           1e-300,
                           std::numeric_limits<double>::denorm_min(),
                           std::numeric_limits<double>::max(),
                           std::numeric_limits<double>::lowest(),
                           123456789.12345678,
                           0.1 + 0.2};
  for (const double value : finite) {
    const std::string text = csvNumber(value);
    SCOPED_TRACE(text);
    EXPECT_EQ(std::strtod(text.c_str(), nullptr), value);
    EXPECT_EQ(std::signbit(std::strtod(text.c_str(), nullptr)), std::signbit(value));
    EXPECT_EQ(text.find_first_of(", \""), std::string::npos);
  }
  EXPECT_EQ(csvNumber(std::numeric_limits<double>::quiet_NaN()), "nan");
  EXPECT_EQ(csvNumber(-std::numeric_limits<double>::quiet_NaN()), "nan");
  EXPECT_EQ(csvNumber(std::numeric_limits<double>::infinity()), "inf");
  EXPECT_EQ(csvNumber(-std::numeric_limits<double>::infinity()), "-inf");
  EXPECT_EQ(csvNumber(0.5), "0.5");
}

TEST(CsvText, QuotesOnlyWhatNeedsIt) {
  struct Case {
    const char* text;
    const char* field;
  };
  const Case cases[] = {
      {"Newton-Raphson", "Newton-Raphson"},
      {"Inexact Newton,Levenberg-Marquardt", "\"Inexact Newton,Levenberg-Marquardt\""},
      {"say \"hi\"", "\"say \"\"hi\"\"\""},
      {"two\nlines", "\"two\nlines\""},
      {"cr\r", "\"cr\r\""},
      {"", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(csvText(c.text), c.field);
    const auto records = testing::parseCsv(csvText(c.text) + "\r\n");
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0], std::vector<std::string>{c.text});
  }
}

}  // namespace
}  // namespace tessmark
