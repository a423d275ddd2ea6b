#pragma once
// Helpers of the end-to-end tests of both programs: editing a data file line by line, and reading
// what a run left (report files, console text).

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/child_process.hpp"
#include "tests/support/report_format.hpp"

namespace tessmark::testing {

// A text as lines without their line feeds, and back (every line ending with one).
std::vector<std::string> linesOf(const std::string& text);
std::string textOf(const std::vector<std::string>& lines);
// The text with line `number` (1-based) replaced.
std::string withLine(const std::string& text, int number, const std::string& line);
// The text's first `count` lines.
std::string firstLines(const std::string& text, int count);

// The files below `folder` whose names start with `prefix`, sorted by name (so a run's "_Results"
// file comes before its "_Summary" file).
std::vector<std::filesystem::path> reportFilesIn(const std::filesystem::path& folder,
                                                 const std::string& prefix);

// Console text without its ANSI colour sequences.
std::string withoutColorSequences(const std::string& text);
// The console lines that start with `start`, each with its line feed.
std::vector<std::string> linesStartingWith(const std::string& text, const std::string& start);

// Whether `text` is exactly `format`, whose six conversions are hour, minute, second, month
// abbreviation, day and year, with every two-digit field in two digits.
bool isTimeText(const std::string& text, const std::string& format);

// A child's status and output, for a failure message.
std::string describe(const ChildResult& run);

// A run that failed as it should: ended by exit with `status`, every text of `stderrHas` on
// standard error (colour sequences aside), and no closing summary.
void expectFailure(const ChildResult& run, int status, const std::vector<std::string>& stderrHas);

// A run's two report files, read back.
struct Reports {
  std::string resultsName, summaryName;
  ResultsReport results;
  SummaryReport summary;
};

// What a data file and a run make both reports show.
struct ExpectedReports {
  std::string namePrefix;  // the names up to "_Results" / "_Summary"
  std::string algorithmName;
  int cameraNum = 0;
  int pointNum = 0;
  std::vector<int> views;  // per point
  int loopCap = 0;         // printed beside every loop count
  int mostLoops = 0;       // the most loops a solver may count
  // The program's parsers.
  std::string (*parseResults)(const std::string& text, ResultsReport& report);
  std::string (*parseSummary)(const std::string& text, SummaryReport& report);
};

// `files` must be exactly the two reports of one run, named by the prefix, a time stamp and
// ".txt", every line in its format, one record and one table row per point with the point's view
// count, counters that agree with the verdicts, and a summary file that agrees with the results
// file. Fills `reports`.
void checkReports(const std::vector<std::filesystem::path>& files, const ExpectedReports& expected,
                  Reports& reports);

// Two runs of the same data set and key left the same reports, line for line, but for what the
// runs measured (times) and when they ran (stamps).
void expectSameReportsButTimes(const Reports& actual, const Reports& expected);

// A run whose standard output was lost (`console` is what its reader got) but which went on:
// status 5, one message on standard error naming both complete reports (`reports`, found in the
// output folder), and the console text so far as a whole run with the same key writes it
// (`wholeConsole`).
void expectConsoleLost(const ChildResult& run, const std::string& wholeConsole,
                       const Reports& reports);

// A synthetic data set made once per test suite by one of the data makers (12 cameras, 40 points,
// seed 11), and a fresh folder per test.
class MadeDataTest : public ::testing::Test {
 protected:
  // For SetUpTestSuite: runs `maker` into `fileName` in a folder of its own and keeps the text.
  static void makeData(const std::string& maker, const std::string& fileName);
  // For TearDownTestSuite.
  static void dropData();

  static const std::string& problem() { return *problem_; }
  // A new empty working folder inside the test's folder.
  std::filesystem::path newFolder(const std::string& name);

  TemporaryFolder folder_;

 private:
  static TemporaryFolder* dataFolder_;
  static std::string* problem_;
};

}  // namespace tessmark::testing
