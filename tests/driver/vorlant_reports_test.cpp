#include "driver/vorlant_reports.hpp"

#include <cmath>
#include <cstdio>
#include <string>

#include <gtest/gtest.h>
#include <Eigen/Core>

#include "tests/driver/report_format.hpp"
#include "tests/driver/report_sample.hpp"

namespace tessmark {
namespace {

using testing::kCreatedAt;
using testing::kInf;
using testing::parseResultsReport;
using testing::parseSummaryReport;
using testing::ResultsReport;
using testing::SummaryReport;
using testing::written;

const std::string& kEigenVersion = testing::kEigenVersionText;

// The shared sample, written by vorlant's writers.
struct Sample : testing::ReportSample {
  std::string resultsFile() const { return ReportSample::resultsFile(vorlantReports()); }
  std::string summaryFile() const { return ReportSample::summaryFile(vorlantReports()); }
};

TEST(VorlantReportNames, CountsKeyByteAndStamp) {
  struct Case {
    int cameraNum, pointNum, imageCoordinates;
    unsigned char key;
    const char* results;
    const char* summary;
  };
  const Case cases[] = {
      {3, 10, 25, '5', "brimvaleRun3-10-25A5_Results09_05_07-Feb03-2014.txt",
       "brimvaleRun3-10-25A5_Summary09_05_07-Feb03-2014.txt"},
      {49, 7776, 31843, 'q', "brimvaleRun49-7776-31843Aq_Results09_05_07-Feb03-2014.txt",
       "brimvaleRun49-7776-31843Aq_Summary09_05_07-Feb03-2014.txt"},
      // A byte that is no printable character goes in as its hexadecimal digits.
      {0, 0, 0, 0xe9, "brimvaleRun0-0-0AxE9_Results09_05_07-Feb03-2014.txt",
       "brimvaleRun0-0-0AxE9_Summary09_05_07-Feb03-2014.txt"},
      {1, 2, 3, '\n', "brimvaleRun1-2-3Ax0A_Results09_05_07-Feb03-2014.txt",
       "brimvaleRun1-2-3Ax0A_Summary09_05_07-Feb03-2014.txt"},
      {2147483647, 2147483647, 2147483647, 'A',
       "brimvaleRun2147483647-2147483647-2147483647AA_Results09_05_07-Feb03-2014.txt",
       "brimvaleRun2147483647-2147483647-2147483647AA_Summary09_05_07-Feb03-2014.txt"},
  };
  for (const Case& c : cases) {
    TriangulationRun run(0);
    run.cameraNum = c.cameraNum;
    run.pointNum = c.pointNum;
    run.imageCoordinates = c.imageCoordinates;
    run.algorithmKey = c.key;
    EXPECT_EQ(vorlantResultsFileName(run, "09_05_07-Feb03-2014"), c.results);
    EXPECT_EQ(vorlantSummaryFileName(run, "09_05_07-Feb03-2014"), c.summary);
  }
}

TEST(VorlantPointRecord, ThreeLinesColumnByColumn) {
  const Sample sample;
  const std::string ordinary =
      written([&](std::FILE* file) { writeVorlantPointRecord(file, sample.run, 0); });
  EXPECT_EQ(
      ordinary,
      "Point No.      1\t    1.500000000000\t   1.250000000000000\tLoop No.\t    4\tof  1000;\n"
      "          2 views\t   -2.250000000000\t  "
      "-2.000000000000000\tR.E.(0)\t2.500000e-01\tK.lc(0)\t"
      "1.000000e-03\tSolvable\n"
      " 0.000001500000 s\t    3.000000000000\t   "
      "3.125000000000000\tR.E.(f)\t1.250000e-01\tK.lc(f)\t"
      "1.000000e-16\tGlobal\n");

  // Non-finite values stand in their own columns, padded like numbers.
  const std::string brokenDown =
      written([&](std::FILE* file) { writeVorlantPointRecord(file, sample.run, 2); });
  EXPECT_EQ(
      brokenDown,
      "Point No.      3\t  100.000000000000\t                 nan\tLoop No.\t    0\tof  1000;\n"
      "          2 views\t   -0.000000000000\t                 "
      "inf\tR.E.(0)\tnan\tK.lc(0)\t5.000000e+00\t"
      "Hard case\n"
      " 0.000003000000 s\t    0.000000000000\t                "
      "-inf\tR.E.(f)\tinf\tK.lc(f)\t-inf\tLocal\n");
}

TEST(VorlantResultsFile, EveryLineKeepsItsFormat) {
  const Sample sample;
  const std::string text = sample.resultsFile();
  ResultsReport report;
  ASSERT_EQ(parseResultsReport(text, report), "") << text;

  EXPECT_EQ(report.createdAt, kCreatedAt);
  EXPECT_EQ(report.cameraNum, 3);
  EXPECT_EQ(report.pointNum, 3);
  EXPECT_EQ(report.imageCoordinates, 7);
  EXPECT_EQ(report.maxViewNum, 3);
  EXPECT_EQ(report.eigenVersion, kEigenVersion);
  EXPECT_EQ(report.algorithmName, "Newton-Raphson");
  EXPECT_NE(text.find("epsilon is 2.2204460492503131e-16 \n"), std::string::npos);
  ASSERT_EQ(report.points.size(), 3u);
  EXPECT_EQ(report.points[1].loops, 1000);
  EXPECT_EQ(report.points[1].views, 3);
  EXPECT_TRUE(std::isnan(report.points[1].klc_f));

  // The summary block: a NaN in a sum spreads, a NaN after the first element is no maximum.
  EXPECT_TRUE(std::isnan(report.sumReprojError_m));
  EXPECT_EQ(report.maxKlc_m, 5.0);
  EXPECT_EQ(report.sumReprojError_f, kInf);
  EXPECT_EQ(report.maxKlc_f, 1e-16);
  EXPECT_EQ(report.hardCaseCount, 1);
  EXPECT_EQ(report.localSolutionCount, 2);
  EXPECT_EQ(report.solvableCount, 2);
  EXPECT_EQ(report.globalSolutionCount, 1);
  EXPECT_NE(text.find("\nTotal symmedian point reprojection error is \n                 nan: \n"),
            std::string::npos);
  EXPECT_NE(text.find("Maximum final K_{LC} distance is \n1.000000000000000E-16: \n"),
            std::string::npos);
  EXPECT_NE(text.find("Time on Triangulating: 0.00000650000000000000 seconds("), std::string::npos);
}

TEST(VorlantResultsFile, WithoutPointsTheMaximaReadZero) {
  TriangulationRun run(0);
  run.algorithmName = "Newton-Raphson";
  const std::string text = written([&](std::FILE* file) {
    writeVorlantResultsHeader(file, run, kCreatedAt);
    writeVorlantResultsSummary(file, run);
  });
  ResultsReport report;
  ASSERT_EQ(parseResultsReport(text, report), "") << text;
  EXPECT_EQ(report.sumReprojError_m, 0.0);
  EXPECT_EQ(report.maxKlc_m, 0.0);
  EXPECT_EQ(report.maxKlc_f, 0.0);
}

TEST(VorlantSummaryFile, EveryLineKeepsItsFormatAndOneRowPerPoint) {
  Sample sample;
  const std::string text = sample.summaryFile();
  SummaryReport report;
  ASSERT_EQ(parseSummaryReport(text, report), "") << text;

  EXPECT_EQ(report.algorithmName, "Newton-Raphson");
  EXPECT_EQ(report.createdAt, kCreatedAt);
  EXPECT_EQ(report.eigenVersion, kEigenVersion);
  EXPECT_EQ(report.sumReprojError_f, kInf);
  EXPECT_TRUE(std::isnan(report.sumReprojError_m));
  EXPECT_EQ(report.maxKlc_f, 1e-16);
  EXPECT_EQ(report.pointNum, 3);
  EXPECT_EQ(report.maxViewNum, 3);
  ASSERT_EQ(report.rows.size(), 3u);
  EXPECT_NE(
      text.find(
          "\n1.000000000000000E-16 (Maximum final K_{LC} distance);  0 jacobians are Not positive "
          "definite\n"),
      std::string::npos)
      << text;
  EXPECT_NE(
      text.find(
          "\n   1\t 2\t0.000001500000000000\t   4\t0.125000000000000000\t9.999999999999999791e-17\t"
          "0.2500000000\t1.0000000000e-03\t 101220.500000\t0.353553\t98712.250000\t0.500000\n"),
      std::string::npos)
      << text;
  EXPECT_TRUE(text.ends_with(
      "\n   3\t 2\t0.000003000000000000\t   0\t                 inf\t-inf\t       nan\t"
      "5.0000000000e+00\t nan\tinf\t12.500000\tnan\n"))
      << text;

  sample.run.notPositiveDefiniteCount = 7;
  EXPECT_NE(sample.summaryFile().find(");  7 jacobians are Not positive definite\n"),
            std::string::npos);
}

}  // namespace
}  // namespace tessmark
