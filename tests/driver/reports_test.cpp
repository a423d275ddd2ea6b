// The two programs' report writers, one table row per program: the file names, the point record,
// and both files written from the shared sample, read back by the programs' report parsers.
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "driver/sennic_reports.hpp"
#include "driver/vorlant_reports.hpp"
#include "tests/support/report_format.hpp"
#include "tests/support/report_sample.hpp"

namespace tessmark {
namespace {

using testing::kCreatedAt;
using testing::kEigenVersionText;
using testing::kInf;
using testing::ReportSample;
using testing::ResultsReport;
using testing::SummaryReport;
using testing::written;

struct NameCase {
  int cameraNum, pointNum, imageCoordinates;
  unsigned char key;
  const char* results;
  const char* summary;
};

struct ReportCase {
  const char* program;
  ReportWriters (*writers)();
  std::string (*parseResults)(const std::string& text, ResultsReport& report);
  std::string (*parseSummary)(const std::string& text, SummaryReport& report);
  // What the program's run holds beyond the shared sample.
  void (*fill)(TriangulationRun& run);
  std::vector<NameCase> names;
  // Points 1 and 3 of the sample, as the point record writes them.
  const char* ordinaryRecord;
  const char* brokenDownRecord;
  int loopCap;
  // Texts each file holds, its last lines, and the line of the count of modified Hessians (7).
  std::vector<std::string> resultsHas;
  std::string resultsEnds;
  std::vector<std::string> summaryHas;
  std::string notPositiveDefinite;
};

constexpr const char* kStamp = "09_05_07-Feb03-2014";

// The last row of the time table, the same in both programs' summary files.
const std::string kLastSummaryRow =
    "\n   3\t 2\t0.000003000000000000\t   0\t                 inf\t-inf\t       nan\t"
    "5.0000000000e+00\t nan\tinf\t12.500000\tnan\n";

const ReportCase kReportCases[] = {
    {
        "vorlant",
        vorlantReports,
        testing::parseResultsReport,
        testing::parseSummaryReport,
        [](TriangulationRun&) {},
        {
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
        },
        "Point No.      1\t    1.500000000000\t   1.250000000000000\tLoop No.\t    4\tof  1000;\n"
        "          2 views\t   -2.250000000000\t  -2.000000000000000\tR.E.(0)\t2.500000e-01\t"
        "K.lc(0)\t1.000000e-03\tSolvable\n"
        " 0.000001500000 s\t    3.000000000000\t   3.125000000000000\tR.E.(f)\t1.250000e-01\t"
        "K.lc(f)\t1.000000e-16\tGlobal\n",
        // Non-finite values stand in their own columns, padded like numbers.
        "Point No.      3\t  100.000000000000\t                 nan\tLoop No.\t    0\tof  1000;\n"
        "          2 views\t   -0.000000000000\t                 inf\tR.E.(0)\tnan\t"
        "K.lc(0)\t5.000000e+00\tHard case\n"
        " 0.000003000000 s\t    0.000000000000\t                -inf\tR.E.(f)\tinf\t"
        "K.lc(f)\t-inf\tLocal\n",
        1000,
        {"epsilon is 2.2204460492503131e-16 \n",
         "\nTotal symmedian point reprojection error is \n                 nan: \n",
         "Maximum final K_{LC} distance is \n1.000000000000000E-16: \n",
         "Time on Triangulating: 0.00000650000000000000 seconds("},
        "",
        {"\n1.000000000000000E-16 (Maximum final K_{LC} distance);  0 jacobians are Not positive "
         "definite\n",
         "\n   1\t 2\t0.000001500000000000\t   4\t0.125000000000000000\t9.999999999999999791e-17\t"
         "0.2500000000\t1.0000000000e-03\t 101220.500000\t0.353553\t98712.250000\t0.500000\n"},
        ");  7 jacobians are Not positive definite\n",
    },
    {
        "sennic",
        sennicReports,
        testing::parseSennicResultsReport,
        testing::parseSennicSummaryReport,
        // No observation count; phase times of its own.
        [](TriangulationRun& run) {
          run.imageCoordinates = 0;
          run.loadingSeconds = 0.0625;
          run.indexingSeconds = 0.00078125;
          run.pretreatingSeconds = 0.000390625;
        },
        {
            // The camera and point counts only: the observation count is no part of the names.
            {3, 10, 99, '1', "dinosaur3-10-A1_Results09_05_07-Feb03-2014.txt",
             "dinosaur3-10-A1_Summary09_05_07-Feb03-2014.txt"},
            {36, 4983, 99, 'q', "dinosaur36-4983-Aq_Results09_05_07-Feb03-2014.txt",
             "dinosaur36-4983-Aq_Summary09_05_07-Feb03-2014.txt"},
            {0, 0, 99, 'Z', "dinosaur0-0-AZ_Results09_05_07-Feb03-2014.txt",
             "dinosaur0-0-AZ_Summary09_05_07-Feb03-2014.txt"},
            {1073741823, 2147483647, 99, '0',
             "dinosaur1073741823-2147483647-A0_Results09_05_07-Feb03-2014.txt",
             "dinosaur1073741823-2147483647-A0_Summary09_05_07-Feb03-2014.txt"},
        },
        "Point  No.      1\t      1.500000000000\t   1.250000000000000\tLoop No.\t    4\tof   "
        "500; \n"
        "          2 views\t     -2.250000000000\t  -2.000000000000000\tR.E.(0)\t2.500000e-01\t"
        "K.lc(0)\t1.000000e-03\tSolvable\n"
        " 0.000001500000 s\t      3.000000000000\t   3.125000000000000\tR.E.(f)\t1.250000e-01\t"
        "K.lc(f)\t1.000000e-16\tGlobal\n",
        "Point  No.      3\t    100.000000000000\t                 nan\tLoop No.\t    0\tof   "
        "500; \n"
        "          2 views\t     -0.000000000000\t                 inf\tR.E.(0)\tnan\t"
        "K.lc(0)\t5.000000e+00\tHard case\n"
        " 0.000003000000 s\t      0.000000000000\t                -inf\tR.E.(f)\tinf\t"
        "K.lc(f)\t-inf\tLocal\n",
        500,
        {" (max camera number);  epsilon used is 2.2204460492503131e-16 \n",
         // The summary block opens with a 92-dash rule; its counts come in this program's order.
         "\tLocal\n" + std::string(92, '-') +
             "\nTotal symmedian point reprojection error is \n                 nan: \n",
         "Hard case number 1 and solvable case number 2 of all 3 points; \n",
         "Global solution number 1 and possible local solution number 2 of all 3 points; \n"},
        "Total time consumption is 0.00000650000000000000 seconds(with data importing, exporting "
        "and displaying excluded)\n"
        "Time on loading - indexing - pretreating: 0.062500000000 - 0.000781250000 - "
        "0.000390625000000 seconds\n",
        {"Algorithm: Newton-Raphson; report created at: 09:05:07 Feb 03, 2014\n"
         "         inf(final)\t         nan(symm) <--Total reprojection errors; Eigen C++ "
         "version " +
         kEigenVersionText +
         ";\n"
         "3-3 <--(allCameraNum-pointNum); 3 (max camera number); HardCase and local solution "
         "numbers: 1-2-3 \n"
         "Max final K_{LC}: 1.000000000000000E-16,  0 jacobians are Not positive definite\n"
         " 0.000006500000 seconds <--(Triangulation time with "
         "importing-indexing-pretreating(0.06250000-0.00078125-0.0003906250), exporting and "
         "displaying excluded); epsilon: 2.2204460492503131e-16\n\n\nNo.\tViewNo."},
        ",  7 jacobians are Not positive definite\n",
    },
};

class Reports : public ::testing::TestWithParam<const ReportCase*> {
 protected:
  ReportSample sample() const {
    ReportSample sample;
    GetParam()->fill(sample.run);
    return sample;
  }
};

TEST_P(Reports, NamesHoldTheCountsTheKeyByteAndTheStamp) {
  const ReportCase& c = *GetParam();
  const ReportWriters writers = c.writers();
  for (const NameCase& name : c.names) {
    SCOPED_TRACE(name.results);
    TriangulationRun run(0);
    run.cameraNum = name.cameraNum;
    run.pointNum = name.pointNum;
    run.imageCoordinates = name.imageCoordinates;
    run.algorithmKey = name.key;
    EXPECT_EQ(writers.resultsFileName(run, kStamp), name.results);
    EXPECT_EQ(writers.summaryFileName(run, kStamp), name.summary);
  }
}

TEST_P(Reports, PointRecordsThreeLinesColumnByColumn) {
  const ReportCase& c = *GetParam();
  const ReportWriters writers = c.writers();
  const ReportSample s = sample();
  EXPECT_EQ(written([&](std::FILE* file) { writers.pointRecord(file, s.run, 0); }),
            c.ordinaryRecord);
  EXPECT_EQ(written([&](std::FILE* file) { writers.pointRecord(file, s.run, 2); }),
            c.brokenDownRecord);
}

TEST_P(Reports, ResultsFileKeepsEveryLinesFormat) {
  const ReportCase& c = *GetParam();
  const ReportSample s = sample();
  const std::string text = s.resultsFile(c.writers());
  ResultsReport report;
  ASSERT_EQ(c.parseResults(text, report), "") << text;

  EXPECT_EQ(report.createdAt, kCreatedAt);
  EXPECT_EQ(report.algorithmName, "Newton-Raphson");
  EXPECT_EQ(report.eigenVersion, kEigenVersionText);
  EXPECT_EQ(report.cameraNum, 3);
  EXPECT_EQ(report.pointNum, 3);
  EXPECT_EQ(report.imageCoordinates, s.run.imageCoordinates);
  EXPECT_EQ(report.maxViewNum, 3);
  EXPECT_EQ(report.epsilon, 2.220446049250313e-16);
  ASSERT_EQ(report.points.size(), 3u);
  EXPECT_EQ(report.points[1].views, 3);
  EXPECT_EQ(report.points[1].loops, 1000);
  EXPECT_EQ(report.points[1].loopCap, c.loopCap);
  EXPECT_TRUE(std::isnan(report.points[1].klc_f));

  // A NaN in a sum spreads, a NaN after the first element is no maximum.
  EXPECT_TRUE(std::isnan(report.sumReprojError_m));
  EXPECT_EQ(report.maxKlc_m, 5.0);
  EXPECT_EQ(report.sumReprojError_f, kInf);
  EXPECT_EQ(report.maxKlc_f, 1e-16);
  EXPECT_EQ(report.hardCaseCount, 1);
  EXPECT_EQ(report.solvableCount, 2);
  EXPECT_EQ(report.globalSolutionCount, 1);
  EXPECT_EQ(report.localSolutionCount, 2);
  for (const std::string& part : c.resultsHas) {
    EXPECT_NE(text.find(part), std::string::npos) << part << "\nin\n" << text;
  }
  EXPECT_TRUE(text.ends_with(c.resultsEnds)) << text;
}

TEST_P(Reports, WithoutPointsTheMaximaReadZero) {
  const ReportCase& c = *GetParam();
  const ReportWriters writers = c.writers();
  TriangulationRun run(0);
  run.algorithmName = "Gauss-Newton";
  const std::string text = written([&](std::FILE* file) {
    writers.resultsHeader(file, run, kCreatedAt);
    writers.resultsSummary(file, run);
  });
  ResultsReport report;
  ASSERT_EQ(c.parseResults(text, report), "") << text;
  EXPECT_EQ(report.sumReprojError_m, 0.0);
  EXPECT_EQ(report.maxKlc_m, 0.0);
  EXPECT_EQ(report.maxKlc_f, 0.0);
}

TEST_P(Reports, SummaryFileKeepsEveryLinesFormatAndOneRowPerPoint) {
  const ReportCase& c = *GetParam();
  ReportSample s = sample();
  const std::string text = s.summaryFile(c.writers());
  SummaryReport report;
  ASSERT_EQ(c.parseSummary(text, report), "") << text;

  EXPECT_EQ(report.algorithmName, "Newton-Raphson");
  EXPECT_EQ(report.createdAt, kCreatedAt);
  EXPECT_EQ(report.eigenVersion, kEigenVersionText);
  EXPECT_EQ(report.sumReprojError_f, kInf);
  EXPECT_TRUE(std::isnan(report.sumReprojError_m));
  EXPECT_EQ(report.maxKlc_f, 1e-16);
  EXPECT_EQ(report.pointNum, 3);
  EXPECT_EQ(report.maxViewNum, 3);
  ASSERT_EQ(report.rows.size(), 3u);
  for (const std::string& part : c.summaryHas) {
    EXPECT_NE(text.find(part), std::string::npos) << part << "\nin\n" << text;
  }
  EXPECT_TRUE(text.ends_with(kLastSummaryRow)) << text;

  s.run.notPositiveDefiniteCount = 7;
  EXPECT_NE(s.summaryFile(c.writers()).find(c.notPositiveDefinite), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Programs, Reports, ::testing::Values(&kReportCases[0], &kReportCases[1]),
                         [](const auto& info) { return std::string(info.param->program); });

}  // namespace
}  // namespace tessmark
