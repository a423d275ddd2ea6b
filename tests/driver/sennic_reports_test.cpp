#include "driver/sennic_reports.hpp"

#include <cmath>
#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "tests/driver/report_format.hpp"
#include "tests/driver/report_sample.hpp"

namespace tessmark {
namespace {

using testing::kCreatedAt;
using testing::kEigenVersionText;
using testing::kInf;
using testing::parseSennicResultsReport;
using testing::parseSennicSummaryReport;
using testing::ReportSample;
using testing::ResultsReport;
using testing::SummaryReport;
using testing::written;

// The shared sample as the .lc program fills it: no observation count, phase times of its own.
struct Sample : ReportSample {
  Sample() {
    run.imageCoordinates = 0;
    run.loadingSeconds = 0.0625;
    run.indexingSeconds = 0.00078125;
    run.pretreatingSeconds = 0.000390625;
  }
  std::string resultsFile() const { return ReportSample::resultsFile(sennicReports()); }
  std::string summaryFile() const { return ReportSample::summaryFile(sennicReports()); }
};

TEST(SennicReportNames, CameraAndPointCountsThenTheKeyByteAndStamp) {
  struct Case {
    int allCameraNum, pointNum;
    unsigned char key;
    const char* results;
    const char* summary;
  };
  const Case cases[] = {
      {3, 10, '1', "dinosaur3-10-A1_Results09_05_07-Feb03-2014.txt",
       "dinosaur3-10-A1_Summary09_05_07-Feb03-2014.txt"},
      {36, 4983, 'q', "dinosaur36-4983-Aq_Results09_05_07-Feb03-2014.txt",
       "dinosaur36-4983-Aq_Summary09_05_07-Feb03-2014.txt"},
      {0, 0, 'Z', "dinosaur0-0-AZ_Results09_05_07-Feb03-2014.txt",
       "dinosaur0-0-AZ_Summary09_05_07-Feb03-2014.txt"},
      {1073741823, 2147483647, '0',
       "dinosaur1073741823-2147483647-A0_Results09_05_07-Feb03-2014.txt",
       "dinosaur1073741823-2147483647-A0_Summary09_05_07-Feb03-2014.txt"},
  };
  for (const Case& c : cases) {
    TriangulationRun run(0);
    run.cameraNum = c.allCameraNum;
    run.pointNum = c.pointNum;
    run.imageCoordinates = 99;  // no part of the .lc names
    run.algorithmKey = c.key;
    EXPECT_EQ(sennicResultsFileName(run, "09_05_07-Feb03-2014"), c.results);
    EXPECT_EQ(sennicSummaryFileName(run, "09_05_07-Feb03-2014"), c.summary);
  }
}

TEST(SennicPointRecord, ThreeLinesColumnByColumnWith500BesideTheLoops) {
  const Sample sample;
  const std::string ordinary =
      written([&](std::FILE* file) { writeSennicPointRecord(file, sample.run, 0); });
  EXPECT_EQ(ordinary,
            "Point  No.      1\t      1.500000000000\t   1.250000000000000\tLoop No.\t    4\tof   "
            "500; \n"
            "          2 views\t     -2.250000000000\t  -2.000000000000000\tR.E.(0)\t2.500000e-01\t"
            "K.lc(0)\t1.000000e-03\tSolvable\n"
            " 0.000001500000 s\t      3.000000000000\t   3.125000000000000\tR.E.(f)\t1.250000e-01\t"
            "K.lc(f)\t1.000000e-16\tGlobal\n");

  const std::string brokenDown =
      written([&](std::FILE* file) { writeSennicPointRecord(file, sample.run, 2); });
  EXPECT_EQ(brokenDown,
            "Point  No.      3\t    100.000000000000\t                 nan\tLoop No.\t    0\tof   "
            "500; \n"
            "          2 views\t     -0.000000000000\t                 inf\tR.E.(0)\tnan\t"
            "K.lc(0)\t5.000000e+00\tHard case\n"
            " 0.000003000000 s\t      0.000000000000\t                -inf\tR.E.(f)\tinf\t"
            "K.lc(f)\t-inf\tLocal\n");
}

TEST(SennicResultsFile, EveryLineKeepsItsFormat) {
  const Sample sample;
  const std::string text = sample.resultsFile();
  ResultsReport report;
  ASSERT_EQ(parseSennicResultsReport(text, report), "") << text;

  EXPECT_EQ(report.createdAt, kCreatedAt);
  EXPECT_EQ(report.algorithmName, "Newton-Raphson");
  EXPECT_EQ(report.eigenVersion, kEigenVersionText);
  EXPECT_EQ(report.cameraNum, 3);
  EXPECT_EQ(report.pointNum, 3);
  EXPECT_EQ(report.maxViewNum, 3);
  EXPECT_EQ(report.epsilon, 2.220446049250313e-16);
  EXPECT_NE(text.find(" (max camera number);  epsilon used is 2.2204460492503131e-16 \n"),
            std::string::npos);
  ASSERT_EQ(report.points.size(), 3u);
  EXPECT_EQ(report.points[1].loops, 1000);
  EXPECT_EQ(report.points[1].loopCap, 500);
  EXPECT_TRUE(std::isnan(report.points[1].klc_f));

  // The summary block opens with a 92-dash rule; its counts come in the .lc program's order.
  EXPECT_NE(text.find("\tLocal\n" + std::string(92, '-') +
                      "\nTotal symmedian point reprojection error is \n                 nan: \n"),
            std::string::npos)
      << text;
  EXPECT_EQ(report.maxKlc_m, 5.0);
  EXPECT_EQ(report.sumReprojError_f, kInf);
  EXPECT_EQ(report.maxKlc_f, 1e-16);
  EXPECT_EQ(report.hardCaseCount, 1);
  EXPECT_EQ(report.solvableCount, 2);
  EXPECT_EQ(report.globalSolutionCount, 1);
  EXPECT_EQ(report.localSolutionCount, 2);
  EXPECT_NE(text.find("Hard case number 1 and solvable case number 2 of all 3 points; \n"),
            std::string::npos);
  EXPECT_NE(
      text.find(
          "Global solution number 1 and possible local solution number 2 of all 3 points; \n"),
      std::string::npos);
  EXPECT_TRUE(text.ends_with(
      "Total time consumption is 0.00000650000000000000 seconds(with data importing, exporting and "
      "displaying excluded)\n"
      "Time on loading - indexing - pretreating: 0.062500000000 - 0.000781250000 - "
      "0.000390625000000 seconds\n"))
      << text;
}

TEST(SennicResultsFile, WithoutPointsTheMaximaReadZero) {
  TriangulationRun run(0);
  run.algorithmName = "Gauss-Newton method";
  const std::string text = written([&](std::FILE* file) {
    writeSennicResultsHeader(file, run, kCreatedAt);
    writeSennicResultsSummary(file, run);
  });
  ResultsReport report;
  ASSERT_EQ(parseSennicResultsReport(text, report), "") << text;
  EXPECT_EQ(report.sumReprojError_m, 0.0);
  EXPECT_EQ(report.maxKlc_m, 0.0);
  EXPECT_EQ(report.maxKlc_f, 0.0);
}

TEST(SennicSummaryFile, EveryLineKeepsItsFormatAndOneRowPerPoint) {
  Sample sample;
  const std::string text = sample.summaryFile();
  SummaryReport report;
  ASSERT_EQ(parseSennicSummaryReport(text, report), "") << text;

  EXPECT_EQ(report.algorithmName, "Newton-Raphson");
  EXPECT_EQ(report.createdAt, kCreatedAt);
  EXPECT_EQ(report.eigenVersion, kEigenVersionText);
  EXPECT_EQ(report.sumReprojError_f, kInf);
  EXPECT_TRUE(std::isnan(report.sumReprojError_m));
  EXPECT_EQ(report.cameraNum, 3);
  EXPECT_EQ(report.pointNum, 3);
  EXPECT_EQ(report.maxViewNum, 3);
  EXPECT_EQ(report.hardCaseCount, 1);
  EXPECT_EQ(report.localSolutionCount, 2);
  EXPECT_EQ(report.maxKlc_f, 1e-16);
  EXPECT_EQ(report.notPositiveDefiniteCount, 0);
  EXPECT_EQ(report.epsilon, 2.220446049250313e-16);
  ASSERT_EQ(report.rows.size(), 3u);
  EXPECT_TRUE(text.starts_with(
      "Algorithm: Newton-Raphson; report created at: 09:05:07 Feb 03, 2014\n"
      "         inf(final)\t         nan(symm) <--Total reprojection errors; Eigen C++ version " +
      kEigenVersionText +
      ";\n"
      "3-3 <--(allCameraNum-pointNum); 3 (max camera number); HardCase and local solution "
      "numbers: 1-2-3 \n"
      "Max final K_{LC}: 1.000000000000000E-16,  0 jacobians are Not positive definite\n"
      " 0.000006500000 seconds <--(Triangulation time with "
      "importing-indexing-pretreating(0.06250000-0.00078125-0.0003906250), exporting and "
      "displaying excluded); epsilon: 2.2204460492503131e-16\n\n\nNo.\tViewNo."))
      << text;
  // The rows are those of the BAL program's table.
  EXPECT_TRUE(text.ends_with(
      "\n   3\t 2\t0.000003000000000000\t   0\t                 inf\t-inf\t       nan\t"
      "5.0000000000e+00\t nan\tinf\t12.500000\tnan\n"))
      << text;

  sample.run.notPositiveDefiniteCount = 7;
  EXPECT_NE(sample.summaryFile().find(",  7 jacobians are Not positive definite\n"),
            std::string::npos);
}

}  // namespace
}  // namespace tessmark
