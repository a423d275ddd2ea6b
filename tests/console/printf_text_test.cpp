// PrintfText against the C library's snprintf: byte identity over every format string of both
// programs' reports, on values chosen to break a formatter (random bit patterns, subnormals,
// extremes, signed zeros, non-finite values, decimal halfway cases), and the conversions beyond
// the reports' that it hands to snprintf. Each text is made both from the format string and from
// the format parsed once into a PrintfFormat.

#include "console/printf_text.hpp"

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace tessmark {
namespace {

// snprintf's text for the same arguments (the conversions take them as printf would).
template <typename... Args>
std::string libraryText(const char* format, Args... args) {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#pragma GCC diagnostic ignored "-Wformat-security"
#pragma GCC diagnostic ignored "-Wformat-truncation"
  // Hidden from the compiler's format checks, which would judge the literal at each call.
  const char* volatile hidden = format;
  const int needed = std::snprintf(nullptr, 0, hidden, args...);
  std::string text(static_cast<std::size_t>(needed) + 1, '\0');
  std::snprintf(text.data(), text.size(), hidden, args...);
#pragma GCC diagnostic pop
  text.resize(static_cast<std::size_t>(needed));
  return text;
}

// PrintfText's text from the format string; the text from the parsed format must be the same.
template <typename... Args>
std::string fastText(const char* format, Args... args) {
  PrintfText text;
  text.append(format, {PrintfArgument(args)...});
  PrintfText fromParsed;
  fromParsed.append(PrintfFormat(format), {PrintfArgument(args)...});
  EXPECT_EQ(fromParsed.str(), text.str()) << "parsed once: " << format;
  return text.str();
}

// Doubles that have tripped formatters: every class of IEEE value, halfway cases at the reports'
// precisions, and random bit patterns (which are mostly huge or tiny).
std::vector<double> awkwardReals() {
  std::vector<double> values = {0.0,
                                -0.0,
                                1.0,
                                -1.0,
                                0.5,
                                1.5,
                                2.5,
                                0.125,
                                0.375,
                                -0.0625,
                                9.5,
                                99.5,
                                999999.5,
                                0.05,
                                0.15,
                                1e-5,
                                9.9,
                                1e-12,
                                2.220446049250313e-16,
                                0.1 + 0.2,
                                1.0 / 3.0,
                                123456.7890123456789,
                                1e15,
                                1e16,
                                1e22,
                                1e23,
                                9007199254740993.0,
                                DBL_MAX,
                                -DBL_MAX,
                                DBL_MIN,
                                std::numeric_limits<double>::denorm_min(),
                                -std::numeric_limits<double>::denorm_min(),
                                DBL_MIN / 3.0,
                                std::numeric_limits<double>::infinity(),
                                -std::numeric_limits<double>::infinity(),
                                std::numeric_limits<double>::quiet_NaN(),
                                -std::numeric_limits<double>::quiet_NaN()};
  // Exact halves at 6, 12, 15 and 18 decimals: k + 1/2 of the last place is a binary fraction when
  // the place is a power of two's multiple; these land on ties or next to them.
  for (int k = 0; k < 64; ++k) {
    values.push_back(std::ldexp(2 * k + 1, -7));
    values.push_back(std::ldexp(2 * k + 1, -20) + 1000.0);
    values.push_back(std::ldexp(2 * k + 1, -41));
    values.push_back(std::ldexp(2 * k + 1, -53) + 0.5);
  }
  std::mt19937_64 random(20240611);
  for (int k = 0; k < 3000; ++k) {
    const std::uint64_t bits = random();
    double value;
    std::memcpy(&value, &bits, sizeof value);
    values.push_back(value);
  }
  // And values of the sizes the reports actually hold.
  std::uniform_real_distribution<double> exponent(-20.0, 20.0);
  for (int k = 0; k < 3000; ++k) {
    values.push_back((k % 2 ? -1.0 : 1.0) * std::pow(10.0, exponent(random)));
  }
  return values;
}

std::vector<int> awkwardInts() {
  return {0, 1, -1, 7, 42, 500, 1000, 9999, 99999, 100000, 1234567, 12345678, INT_MAX, INT_MIN};
}

// Every per-point and summary format of both programs' reports, as the report writers hold them,
// by their argument pattern.
struct FormatCase {
  const char* format;
  const char* pattern;  // 'd' int, 'f' double, 's' text, in argument order
};

const FormatCase kReportFormats[] = {
    // vorlant's point record and the shared rows.
    {"Point No.%7d\t%18.12lf\t%20.15lf\tLoop No.\t%5d\tof %5d;\n", "dffdd"},
    {"      %5d views\t%18.12lf\t%20.15lf\tR.E.(0)\t%.6e\tK.lc(0)\t%.6e", "dffff"},
    {" %.12lf s\t%18.12lf\t%20.15lf\tR.E.(f)\t%.6e\tK.lc(f)\t%.6e", "fffff"},
    {"\t%s\n", "s"},
    {"%4d\t%2d\t%20.18lf\t%4d\t%20.18lf\t%.18e\t%10.10lf\t%10.10e\t %lf\t%lf\t%lf\t%lf\n",
     "ddfdffffffff"},
    // sennic's point record.
    {"Point  No.%7d\t%20.12lf\t%20.15lf\tLoop No.\t%5d\tof %5d; \n", "dffdd"},
    {"      %5d views\t%20.12lf\t%20.15lf\tR.E.(0)\t%.6e\tK.lc(0)\t%.6e", "dffff"},
    {" %.12lf s\t%20.12lf\t%20.15lf\tR.E.(f)\t%.6e\tK.lc(f)\t%.6e", "fffff"},
    // Summary lines.
    {"Total symmedian point reprojection error is \n%20.20lf: \n", "f"},
    {"Maximum symmedian point K_{LC} distance is \n%.15E: \n", "f"},
    {"epsilon is %.16e \n", "f"},
    {"%12.10lf(final)\t%12.10lf(symm)\n", "ff"},
    {"Time on loading - indexing - pretreating: %.12lf - %.12lf - %.15lf seconds\n", "fff"},
    {"%15.12lf seconds (%.8lf-%.8lf-%.10lf)\n", "ffff"},
    {"Data %d-%d-%d ; Algorithm: %s;\n", "ddds"},
};

TEST(PrintfText, ReportFormatsMatchSnprintfByteForByte) {
  const std::vector<double> reals = awkwardReals();
  const std::vector<int> ints = awkwardInts();
  const char* texts[] = {"Solvable", "Hard case", "", "Newton-Raphson"};
  std::mt19937 pick(7);
  for (const FormatCase& c : kReportFormats) {
    SCOPED_TRACE(c.format);
    const PrintfFormat parsed(c.format);
    const std::size_t count = std::strlen(c.pattern);
    for (std::size_t trial = 0; trial < reals.size(); ++trial) {
      // Argument k of trial t: the reals in turn (so each appears in every position), the ints and
      // texts picked at random.
      double r[12];
      int d[12];
      const char* s[12];
      for (std::size_t k = 0; k < count; ++k) {
        r[k] = reals[(trial + k * 977) % reals.size()];
        d[k] = ints[pick() % ints.size()];
        s[k] = texts[pick() % 4];
      }
      PrintfText fast;
      PrintfText fastParsed;
      const auto append = [&](std::initializer_list<PrintfArgument> list) {
        fast.append(c.format, list);
        fastParsed.append(parsed, list);
      };
      std::vector<PrintfArgument> arguments;
      for (std::size_t k = 0; k < count; ++k) {
        switch (c.pattern[k]) {
          case 'd':
            arguments.emplace_back(d[k]);
            break;
          case 'f':
            arguments.emplace_back(r[k]);
            break;
          default:
            arguments.emplace_back(s[k]);
            break;
        }
      }
      // The library's text, one conversion's argument at a time from the same list.
      std::string expected;
      switch (count) {
        case 1:
          expected =
              c.pattern[0] == 's' ? libraryText(c.format, s[0]) : libraryText(c.format, r[0]);
          append({arguments[0]});
          break;
        case 2:
          expected = libraryText(c.format, r[0], r[1]);
          append({arguments[0], arguments[1]});
          break;
        case 3:
          expected = libraryText(c.format, r[0], r[1], r[2]);
          append({arguments[0], arguments[1], arguments[2]});
          break;
        case 4:
          expected = c.pattern[3] == 's' ? libraryText(c.format, d[0], d[1], d[2], s[3])
                                         : libraryText(c.format, r[0], r[1], r[2], r[3]);
          append({arguments[0], arguments[1], arguments[2], arguments[3]});
          break;
        case 5:
          expected =
              c.pattern[0] == 'd'
                  ? (c.pattern[3] == 'd' ? libraryText(c.format, d[0], r[1], r[2], d[3], d[4])
                                         : libraryText(c.format, d[0], r[1], r[2], r[3], r[4]))
                  : libraryText(c.format, r[0], r[1], r[2], r[3], r[4]);
          append({arguments[0], arguments[1], arguments[2], arguments[3], arguments[4]});
          break;
        default:
          expected = libraryText(c.format, d[0], d[1], r[2], d[3], r[4], r[5], r[6], r[7], r[8],
                                 r[9], r[10], r[11]);
          append({arguments[0], arguments[1], arguments[2], arguments[3], arguments[4],
                  arguments[5], arguments[6], arguments[7], arguments[8], arguments[9],
                  arguments[10], arguments[11]});
          break;
      }
      ASSERT_EQ(fast.str(), expected) << "trial " << trial;
      ASSERT_EQ(fastParsed.str(), expected) << "trial " << trial << ", parsed once";
    }
  }
}

// Flags, widths and precisions beyond the reports', each conversion against snprintf.
TEST(PrintfText, ConversionsMatchSnprintfForEveryFlagWidthAndPrecision) {
  const std::vector<double> reals = awkwardReals();
  const char* const realFormats[] = {
      "%f",    "%F",  "%e",       "%E",      "%lf",       "%.0f",     "%.0e",    "%.1f",
      "%+f",   "% e", "%-12.3f|", "%012.3f", "%-+14.2E|", "%0+14.2e", "% 09.4f", "%30.25e",
      "%.40f", "%3f", "%*.*f",    "%.*e",    "%#.0f",     "%g",       "%10.4g"};
  for (const char* format : realFormats) {
    SCOPED_TRACE(format);
    const bool widthStar = std::strstr(format, "*.*") != nullptr;
    const bool precisionStar = !widthStar && std::strchr(format, '*') != nullptr;
    for (std::size_t i = 0; i < reals.size(); i += 7) {
      const double value = reals[i];
      if (widthStar) {
        const int width = static_cast<int>(i % 31) - 15;
        const int precision = static_cast<int>(i % 13) - 2;
        ASSERT_EQ(fastText(format, width, precision, value),
                  libraryText(format, width, precision, value));
      } else if (precisionStar) {
        const int precision = static_cast<int>(i % 13) - 2;
        ASSERT_EQ(fastText(format, precision, value), libraryText(format, precision, value));
      } else {
        ASSERT_EQ(fastText(format, value), libraryText(format, value)) << value;
      }
    }
  }
  const char* const intFormats[] = {"%d",   "%i",    "%7d",  "%-7d|", "%07d", "%+d",   "% d",
                                    "%.3d", "%8.3d", "%.0d", "%+05d", "%x",   "%-+8d|"};
  for (const char* format : intFormats) {
    SCOPED_TRACE(format);
    for (int value : awkwardInts()) {
      ASSERT_EQ(fastText(format, value), libraryText(format, value));
      if (value != std::numeric_limits<int>::min()) {  // its negation does not exist
        ASSERT_EQ(fastText(format, -value), libraryText(format, -value));
      }
    }
  }
  const char* const textFormats[] = {"%s", "%12s|", "%-12s|", "%.3s|", "%8.2s|"};
  for (const char* format : textFormats) {
    for (const char* value : {"", "Local", "Global solution"}) {
      ASSERT_EQ(fastText(format, value), libraryText(format, value));
    }
  }
  EXPECT_EQ(fastText("100%% %s", "done"), "100% done");
}

// Fixed notation is formatted in exact integer arithmetic while m 10^N 2^e (the value m 2^e at N
// digits) fits 128 bits and N <= 22, by std::to_chars beyond: every precision on both sides of
// that limit, on the decimal halfway cases of each precision (odd multiples of 2^-(N+1), which
// round to the even digit), on every power of two, and on the largest values the integer path can
// still hold.
TEST(PrintfText, FixedNotationMatchesSnprintfOnBothSidesOfTheExactIntegerLimit) {
  std::mt19937_64 random(11);
  for (int precision = 0; precision <= 25; ++precision) {
    SCOPED_TRACE(precision);
    std::vector<double> values;
    for (int j = 0; j < 64; ++j) values.push_back(std::ldexp(2.0 * j + 1.0, -(precision + 1)));
    for (int e = -1074; e <= 1023; e += 7) values.push_back(std::ldexp(1.0, e));
    // Around the 128-bit limit: m 10^N 2^e near 2^128.
    const int limitExponent =
        128 - 53 - static_cast<int>(std::ceil(precision * 3.3219280948873623));
    for (int e = limitExponent - 3; e <= limitExponent + 3; ++e) {
      values.push_back(std::ldexp(1.0, 52 + e) * (1.0 + std::ldexp(1.0, -52)));
      values.push_back(std::ldexp(static_cast<double>(random() >> 11), e));
      values.push_back(std::nextafter(std::ldexp(1.0, 53 + e), 0.0));
    }
    for (int k = 0; k < 200; ++k) {
      values.push_back(
          std::ldexp(static_cast<double>(random() >> 11), static_cast<int>(random() % 160) - 140));
    }
    const std::string format = "%." + std::to_string(precision) + "f";
    for (const double value : values) {
      ASSERT_EQ(fastText(format.c_str(), value), libraryText(format.c_str(), value)) << value;
      ASSERT_EQ(fastText(format.c_str(), -value), libraryText(format.c_str(), -value)) << value;
    }
  }
}

// Text longer than the inline room spills to the heap and stays whole; writeTo writes it all.
TEST(PrintfText, LongTextStaysWholeAndIsWrittenOnce) {
  PrintfText text;
  std::string expected;
  for (int k = 0; k < 400; ++k) {
    text.append("%20.15lf\t%d\n", {k * 0.1, k});
    expected += libraryText("%20.15lf\t%d\n", k * 0.1, k);
  }
  ASSERT_GT(expected.size(), PrintfText::kInline);
  EXPECT_EQ(text.str(), expected);

  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  text.writeTo(file);
  EXPECT_EQ(text.size(), 0u);
  std::rewind(file);
  std::string written(expected.size() + 1, '\0');
  EXPECT_EQ(std::fread(written.data(), 1, written.size(), file), expected.size());
  written.resize(expected.size());
  EXPECT_EQ(written, expected);
  std::fclose(file);
}

}  // namespace
}  // namespace tessmark
