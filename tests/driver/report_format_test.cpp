// The report checker must reject what printf would not have written, or the end-to-end checks that
// rest on it prove nothing.
#include "tests/support/report_format.hpp"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace tessmark::testing {
namespace {

TEST(MatchFormat, AcceptsExactlyWhatPrintfWrites) {
  struct Case {
    const char* format;
    const char* text;
    bool matches;
  };
  const Case cases[] = {
      {"%d;", "-12;", true},
      {"%d;", "12a;", false},
      {"%5d|", "    1|", true},
      {"%5d|", "   1|", false},    // one blank short of the width
      {"%5d|", "     1|", false},  // one too many
      {"%5d|", "123456|", true},   // wider than the field: no padding
      {"%5d|", "   -1|", true},
      {"%18.12lf|", "   -0.368906825663|", true},
      {"%18.12lf|", "-0.368906825663|", false},
      {"%18.12lf|", "   -0.36890682566|", false},  // too few decimals
      {"%20.15lf|", "                 nan|", true},
      {"%20.15lf|", "                -nan|", true},
      {"%20.15lf|", "                -inf|", true},
      {"%20.15lf|", "nan|", false},
      {"%lf|", "0.500000|", true},
      {"%lf|", "0.5|", false},
      {"%lf|", "inf|", true},
      {"%lf|", "Infinity|", false},
      {"%.6e|", "6.110828e-03|", true},
      {"%.6e|", "6.11083e-03|", false},
      {"%.6e|", "6.110828E-03|", false},
      {"%.6e|", "61.10828e-03|", false},
      {"%.6e|", "6.110828e-3|", false},
      {"%.6e|", "1.000000e+100|", true},
      {"%.6e|", "-nan|", true},
      {"%.6e|", "NAN|", false},
      {"%.15E|", "1.217346786466217E-15|", true},
      {"%.15E|", "NAN|", true},
      {"%.15E|", "-INF|", true},
      {"%.15E|", "nan|", false},
      {"%10.10e|", "      -inf|", true},
      {"%10.10e|", "1.0000000000e-03|", true},
      {"%4d\t%2d\n", "   1\t 2\n", true},
      {"%4d\t%2d\n", "   1\t2\n", false},
      {"Algorithm: %s;\n", "Algorithm: Gauss-Newton with trust region;\n", true},
      {"Algorithm: %s;\n", "Algorithm: x\ny;\n", false},  // %s ends at the line
      {"%d.%d.%d;", "3.4.0;", true},
      {"%20.20lf: ", "42.29989526213073958161: ", true},
      {"%20.20lf: ", "42.2998952621307395816: ", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(matchFormat(c.format, c.text).matched, c.matches)
        << "format \"" << c.format << "\", text \"" << c.text << "\"";
  }
}

TEST(MatchFormat, FieldsAreTheConversionsWithoutPadding) {
  const FormatMatch match = matchFormat("%s(Algorithm used); date: %s\n%5d|%.6e|end",
                                        "Newton-Raphson(Algorithm used); "
                                        "date: 09:05:07 Feb 03, 2014\n   42|-nan|end and more");
  ASSERT_TRUE(match.matched);
  EXPECT_EQ(match.fields,
            (std::vector<std::string>{"Newton-Raphson", "09:05:07 Feb 03, 2014", "42", "-nan"}));
  EXPECT_EQ(
      match.length,
      std::string("Newton-Raphson(Algorithm used); date: 09:05:07 Feb 03, 2014\n   42|-nan|end")
          .size());
}

TEST(ReportScanner, NamesTheLineThatBreaksTheFormat) {
  ReportScanner scanner("a 1\nb 2\nc x\n");
  EXPECT_TRUE(scanner.next("a %d\n"));
  EXPECT_TRUE(scanner.next("b %d\nc "));
  EXPECT_FALSE(scanner.next("%d\n"));
  EXPECT_EQ(scanner.line(), 3);
  EXPECT_NE(scanner.error().find("line 3"), std::string::npos) << scanner.error();
  EXPECT_FALSE(scanner.atEnd());
}

TEST(ParseResultsReport, RejectsRecordsOutOfOrderAndTrailingText) {
  const std::string header =
      "Supporting material to Tessmark ; created at 09:05:07 Feb 03, 2014\n"
      "Data 3-2-4 ; maxViewNum: 2; Eigen C++: 3.4.0; Algorithm: Newton-Raphson;\n"
      "Total camera number: 3; Total 3D point number: 2; Total 2D image coordinates: 4; epsilon is "
      "2.2204460492503131e-16 \n"
      "NOTE: A brief summary is at the bottom and a separate time consumption table TXT file.\n" +
      std::string(117, '-') + "\n" +
      "             \t---------- Symmedian point ---\t--- Final solution ---\t--- Supplementary "
      "Information -----\n" +
      std::string(117, '-') + "\n";
  const auto record = [](int number, const char* verdict) {
    return "Point No." + std::string(6, ' ') + std::to_string(number) +
           "\t    1.500000000000\t   1.250000000000000\tLoop No.\t    4\tof  1000;\n"
           "          2 views\t   -2.250000000000\t  "
           "-2.000000000000000\tR.E.(0)\t2.500000e-01\tK.lc(0)\t"
           "1.000000e-03\tSolvable\n"
           " 0.000001500000 s\t    3.000000000000\t   "
           "3.125000000000000\tR.E.(f)\t1.250000e-01\tK.lc(f)\t"
           "1.000000e-16\t" +
           std::string(verdict) + "\n";
  };
  const std::string summary =
      "\nTotal symmedian point reprojection error is \n0.50000000000000000000: \n"
      "Maximum symmedian point K_{LC} distance is \n1.000000000000000E-03: \n"
      "Hard case number, local solution number in total point number: 0-0-2 \n"
      "\nTotal final reprojection error is \n0.25000000000000000000: \n"
      "Maximum final K_{LC} distance is \n1.000000000000000E-16: \n"
      "Solvable case, global solution number in total number: 2-2-2 \n"
      "Time on loading: 0.000100 seconds; on indexing: 0.000001 seconds; on pretreating: 0.000010 "
      "seconds; on "
      "waiting: 0.000020 seconds;\n"
      "Time on Triangulating: 0.00000300000000000000 seconds(with data importing, exporting and "
      "displaying "
      "excluded)\n";

  ResultsReport report;
  EXPECT_EQ(
      parseResultsReport(header + record(1, "Global") + record(2, "Global") + summary, report), "");
  EXPECT_EQ(report.points.size(), 2u);
  for (const std::string& text :
       {header + record(2, "Global") + record(1, "Global") + summary,
        header + record(1, "Global") + summary,
        header + record(1, "Global") + record(2, "Globally") + summary,
        header + record(1, "Global") + record(2, "Global") + summary + "\n"}) {
    ResultsReport rejected;
    EXPECT_NE(parseResultsReport(text, rejected), "") << text;
  }
}

}  // namespace
}  // namespace tessmark::testing
