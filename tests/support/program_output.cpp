#include "tests/support/program_output.hpp"

#include <algorithm>
#include <regex>
#include <set>
#include <sstream>

#include <Eigen/Core>

#include "tests/support/report_format.hpp"

namespace tessmark::testing {

namespace fs = std::filesystem;

std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);) lines.push_back(line);
  return lines;
}

std::string textOf(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

std::string withLine(const std::string& text, int number, const std::string& line) {
  std::vector<std::string> lines = linesOf(text);
  lines.at(static_cast<std::size_t>(number - 1)) = line;
  return textOf(lines);
}

std::string firstLines(const std::string& text, int count) {
  std::vector<std::string> lines = linesOf(text);
  lines.resize(static_cast<std::size_t>(count));
  return textOf(lines);
}

std::vector<fs::path> reportFilesIn(const fs::path& folder, const std::string& prefix) {
  std::vector<fs::path> files;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    if (entry.path().filename().string().starts_with(prefix)) files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

std::string withoutColorSequences(const std::string& text) {
  std::string plain;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text.compare(i, 2, "\x1b[") == 0) {
      const std::size_t end = text.find('m', i);
      if (end != std::string::npos) {
        i = end;
        continue;
      }
    }
    plain += text[i];
  }
  return plain;
}

std::vector<std::string> linesStartingWith(const std::string& text, const std::string& start) {
  std::vector<std::string> lines;
  for (const std::string& line : linesOf(text)) {
    if (line.starts_with(start)) lines.push_back(line + "\n");
  }
  return lines;
}

bool isTimeText(const std::string& text, const std::string& format) {
  static const std::set<std::string> kMonths{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                             "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const FormatMatch match = matchFormat(format, text);
  if (!match.matched || match.length != text.size() || match.fields.size() != 6) return false;
  const std::vector<std::string>& f = match.fields;
  for (const std::size_t i : {0, 1, 2, 4}) {
    if (f[i].size() != 2 || f[i][0] == '-') return false;
  }
  return std::stoi(f[0]) < 24 && std::stoi(f[1]) < 60 && std::stoi(f[2]) < 60 &&
         kMonths.contains(f[3]) && std::stoi(f[4]) >= 1 && std::stoi(f[4]) <= 31 &&
         std::stoi(f[5]) > 0;
}

std::string describe(const ChildResult& run) {
  return "status " + std::to_string(run.status) +
         (run.timedOut ? " (killed at the time limit)" : "") + "\n--- standard output:\n" +
         run.out + "\n--- standard error:\n" + run.err;
}

void expectFailure(const ChildResult& run, int status, const std::vector<std::string>& stderrHas) {
  EXPECT_TRUE(run.exited) << describe(run);
  EXPECT_EQ(run.status, status) << describe(run);
  const std::string err = withoutColorSequences(run.err);
  for (const std::string& text : stderrHas) {
    EXPECT_NE(err.find(text), std::string::npos) << "'" << text << "' not in\n" << err;
  }
  EXPECT_EQ(run.out.find("Outputs were appended"), std::string::npos);
}

void checkReports(const std::vector<fs::path>& files, const ExpectedReports& expected,
                  Reports& reports) {
  ASSERT_EQ(files.size(), 2u) << "report files";
  reports.resultsName = files[0].filename().string();
  reports.summaryName = files[1].filename().string();
  EXPECT_TRUE(isTimeText(reports.resultsName, expected.namePrefix + "_Results%d_%d_%d-%s%d-%d.txt"))
      << reports.resultsName;
  EXPECT_TRUE(isTimeText(reports.summaryName, expected.namePrefix + "_Summary%d_%d_%d-%s%d-%d.txt"))
      << reports.summaryName;

  ResultsReport& results = reports.results;
  SummaryReport& summary = reports.summary;
  ASSERT_EQ(expected.parseResults(readFile(files[0]), results), "") << reports.resultsName;
  ASSERT_EQ(expected.parseSummary(readFile(files[1]), summary), "") << reports.summaryName;

  const std::string eigenVersion = std::to_string(EIGEN_WORLD_VERSION) + "." +
                                   std::to_string(EIGEN_MAJOR_VERSION) + "." +
                                   std::to_string(EIGEN_MINOR_VERSION);
  const int maxViewNum =
      expected.views.empty() ? 0 : *std::max_element(expected.views.begin(), expected.views.end());
  EXPECT_TRUE(isTimeText(results.createdAt, "%d:%d:%d %s %d, %d")) << results.createdAt;
  EXPECT_EQ(summary.createdAt, results.createdAt);
  EXPECT_EQ(results.algorithmName, expected.algorithmName);
  EXPECT_EQ(summary.algorithmName, expected.algorithmName);
  EXPECT_EQ(results.eigenVersion, eigenVersion);
  EXPECT_EQ(summary.eigenVersion, eigenVersion);
  EXPECT_EQ(results.cameraNum, expected.cameraNum);
  EXPECT_EQ(summary.cameraNum, expected.cameraNum);
  EXPECT_EQ(results.maxViewNum, maxViewNum);
  EXPECT_EQ(summary.maxViewNum, maxViewNum);
  EXPECT_EQ(summary.pointNum, expected.pointNum);
  EXPECT_EQ(results.epsilon, 2.220446049250313e-16);
  EXPECT_EQ(summary.epsilon, 2.220446049250313e-16);

  ASSERT_EQ(results.points.size(), expected.views.size());
  ASSERT_EQ(summary.rows.size(), expected.views.size());
  int hardCases = 0, locals = 0;
  for (std::size_t i = 0; i < expected.views.size(); ++i) {
    const PointRecord& record = results.points[i];
    const SummaryRow& row = summary.rows[i];
    EXPECT_EQ(record.views, expected.views[i]) << "point " << i + 1;
    EXPECT_EQ(row.views, expected.views[i]) << "point " << i + 1;
    EXPECT_EQ(record.loopCap, expected.loopCap);
    EXPECT_EQ(row.loops, record.loops) << "point " << i + 1;
    EXPECT_TRUE(record.loops >= 0 && record.loops <= expected.mostLoops) << "point " << i + 1;
    hardCases += record.solvable == "Hard case";
    locals += record.global == "Local";
  }
  EXPECT_EQ(results.hardCaseCount, hardCases);
  EXPECT_EQ(results.localSolutionCount, locals);
  EXPECT_EQ(results.solvableCount, expected.pointNum - hardCases);
  EXPECT_EQ(results.globalSolutionCount, expected.pointNum - locals);
  EXPECT_EQ(summary.hardCaseCount, hardCases);
  EXPECT_EQ(summary.localSolutionCount, locals);
  EXPECT_EQ(summary.maxKlc_f, results.maxKlc_f);
}

TemporaryFolder* MadeDataTest::dataFolder_ = nullptr;
std::string* MadeDataTest::problem_ = nullptr;

void MadeDataTest::makeData(const std::string& maker, const std::string& fileName) {
  dataFolder_ = new TemporaryFolder;
  const fs::path path = dataFolder_->path() / fileName;
  const ChildResult made =
      runChild({maker,
                {path.string(), "--cameras", "12", "--points", "40", "--seed", "11"},
                dataFolder_->path()});
  ASSERT_TRUE(made.exited && made.status == 0) << describe(made);
  problem_ = new std::string(readFile(path));
}

void MadeDataTest::dropData() {
  delete problem_;
  problem_ = nullptr;
  delete dataFolder_;
  dataFolder_ = nullptr;
}

fs::path MadeDataTest::newFolder(const std::string& name) {
  const fs::path path = folder_.path() / name;
  fs::create_directories(path);
  return path;
}

void expectSameReportsButTimes(const Reports& actual, const Reports& expected) {
  const ResultsReport& a = actual.results;
  const ResultsReport& b = expected.results;
  EXPECT_EQ(a.algorithmName, b.algorithmName);
  EXPECT_EQ(a.cameraNum, b.cameraNum);
  EXPECT_EQ(a.pointNum, b.pointNum);
  EXPECT_EQ(a.imageCoordinates, b.imageCoordinates);
  EXPECT_EQ(a.maxViewNum, b.maxViewNum);
  ASSERT_EQ(a.points.size(), b.points.size());
  for (std::size_t i = 0; i < a.points.size(); ++i) {
    EXPECT_EQ(a.points[i].text, b.points[i].text) << "results file, point " << i + 1;
  }
  EXPECT_EQ(a.sumReprojError_m, b.sumReprojError_m);
  EXPECT_EQ(a.sumReprojError_f, b.sumReprojError_f);
  EXPECT_EQ(a.maxKlc_m, b.maxKlc_m);
  EXPECT_EQ(a.maxKlc_f, b.maxKlc_f);
  EXPECT_EQ(a.hardCaseCount, b.hardCaseCount);
  EXPECT_EQ(a.solvableCount, b.solvableCount);
  EXPECT_EQ(a.globalSolutionCount, b.globalSolutionCount);
  EXPECT_EQ(a.localSolutionCount, b.localSolutionCount);

  const SummaryReport& c = actual.summary;
  const SummaryReport& d = expected.summary;
  EXPECT_EQ(c.algorithmName, d.algorithmName);
  EXPECT_EQ(c.sumReprojError_f, d.sumReprojError_f);
  EXPECT_EQ(c.sumReprojError_m, d.sumReprojError_m);
  EXPECT_EQ(c.hardCaseCount, d.hardCaseCount);
  EXPECT_EQ(c.localSolutionCount, d.localSolutionCount);
  EXPECT_EQ(c.maxKlc_f, d.maxKlc_f);
  EXPECT_EQ(c.notPositiveDefiniteCount, d.notPositiveDefiniteCount);
  ASSERT_EQ(c.rows.size(), d.rows.size());
  for (std::size_t i = 0; i < c.rows.size(); ++i) {
    EXPECT_EQ(c.rows[i].text, d.rows[i].text) << "summary file, row " << i + 1;
  }
}

void expectConsoleLost(const ChildResult& run, const std::string& wholeConsole,
                       const Reports& reports) {
  EXPECT_TRUE(run.exited) << describe(run);
  EXPECT_EQ(run.status, 5) << describe(run);
  // The same text so far, but for the times (and the blanks that pad them).
  static const std::regex kNumber(" *[0-9][0-9.eE+-]*");
  const std::string masked = std::regex_replace(run.out, kNumber, "#");
  std::string wholeMasked = std::regex_replace(wholeConsole, kNumber, "#");
  wholeMasked.resize(std::min(wholeMasked.size(), masked.size()));
  EXPECT_EQ(masked, wholeMasked) << "the console text so far:\n" << run.out;
  const std::vector<std::string> lines = linesOf(run.err);
  ASSERT_EQ(lines.size(), 3u) << run.err;
  EXPECT_NE(lines[0].find("standard output could not be written"), std::string::npos) << run.err;
  EXPECT_TRUE(lines[1].ends_with(reports.resultsName)) << run.err;
  EXPECT_TRUE(lines[2].ends_with(reports.summaryName)) << run.err;
}

}  // namespace tessmark::testing
