// The built vorlant program, run as a script would run it: in a fresh folder, standard input from a
// pipe or /dev/null, no terminal, with a time limit so that nothing can wait for a key.
#include "driver/vorlant.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <Eigen/Core>

#include "driver/menu.hpp"
#include "tests/driver/child_process.hpp"
#include "tests/driver/report_format.hpp"

namespace tessmark {
namespace {

namespace fs = std::filesystem;
using testing::ChildRequest;
using testing::ChildResult;
using testing::parseResultsReport;
using testing::parseSummaryReport;
using testing::readFile;
using testing::ResultsReport;
using testing::runChild;
using testing::SummaryReport;
using testing::TemporaryFolder;
using testing::writeFile;

const std::string kVorlant = TESSMARK_VORLANT;
const std::string kMakeBalProblem = TESSMARK_MAKE_BAL;
constexpr const char* kDefaultDataFile = "problem-49-7776-pre.txt";

// ---- The data file ------------------------------------------------------------------------------

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

// The file with line `number` (1-based) replaced.
std::string withLine(const std::string& text, int number, const std::string& line) {
  std::vector<std::string> lines = linesOf(text);
  lines.at(static_cast<std::size_t>(number - 1)) = line;
  return textOf(lines);
}

// The file's first `count` lines.
std::string firstLines(const std::string& text, int count) {
  std::vector<std::string> lines = linesOf(text);
  lines.resize(static_cast<std::size_t>(count));
  return textOf(lines);
}

// What the reports of a well-formed BAL file must show: its counts and every point's view count.
struct ProblemShape {
  int cameraNum = 0, pointNum = 0, imageCoordinates = 0;
  std::vector<int> views;
  int maxViews() const { return views.empty() ? 0 : *std::max_element(views.begin(), views.end()); }
};

ProblemShape shapeOf(const std::string& text) {
  ProblemShape shape;
  std::istringstream stream(text);
  std::string header;
  std::getline(stream, header);
  stream >> shape.cameraNum >> shape.pointNum >> shape.imageCoordinates;
  shape.views.assign(static_cast<std::size_t>(shape.pointNum), 0);
  for (int i = 0; i < shape.imageCoordinates; ++i) {
    int camera = 0, point = 0;
    double x = 0, y = 0;
    stream >> camera >> point >> x >> y;
    ++shape.views.at(static_cast<std::size_t>(point));
  }
  return shape;
}

// ---- The run's output ---------------------------------------------------------------------------

std::vector<fs::path> reportFilesIn(const fs::path& folder) {
  std::vector<fs::path> files;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    if (entry.path().filename().string().starts_with("brimvaleRun")) files.push_back(entry.path());
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

// Whether `text` is exactly `format`, whose six conversions are hour, minute, second, month
// abbreviation, day and year, with every two-digit field in two digits.
bool isTimeText(const std::string& text, const std::string& format) {
  static const std::set<std::string> kMonths{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                             "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const testing::FormatMatch match = testing::matchFormat(format, text);
  if (!match.matched || match.length != text.size() || match.fields.size() != 6) return false;
  const std::vector<std::string>& f = match.fields;
  for (const std::size_t i : {0, 1, 2, 4}) {
    if (f[i].size() != 2 || f[i][0] == '-') return false;
  }
  return std::stoi(f[0]) < 24 && std::stoi(f[1]) < 60 && std::stoi(f[2]) < 60 &&
         kMonths.contains(f[3]) && std::stoi(f[4]) >= 1 && std::stoi(f[4]) <= 31 &&
         std::stoi(f[5]) > 0;
}

std::string progressLine(int point, int views, int pointNum) {
  char line[128];
  std::snprintf(line, sizeof line, "   Point No.%8d:    with%5d views:%10.5f%% done.\n", point,
                views, 100.0 * point / pointNum);
  return line;
}

struct Reports {
  std::string resultsName, summaryName;
  ResultsReport results;
  SummaryReport summary;
};

// Exactly two report files in `folder`, named after the counts and the key, every line in its
// format, one record and one table row per point with the point's view count, and summaries that
// agree with the records.
void checkReports(const fs::path& folder, const ProblemShape& shape, char key,
                  const std::string& algorithmName, Reports& reports) {
  const std::vector<fs::path> files = reportFilesIn(folder);
  ASSERT_EQ(files.size(), 2u) << "report files in " << folder;
  const std::string prefix = "brimvaleRun" + std::to_string(shape.cameraNum) + "-" +
                             std::to_string(shape.pointNum) + "-" +
                             std::to_string(shape.imageCoordinates) + "A" + std::string(1, key);
  reports.resultsName = files[0].filename().string();
  reports.summaryName = files[1].filename().string();
  EXPECT_TRUE(isTimeText(reports.resultsName, prefix + "_Results%d_%d_%d-%s%d-%d.txt"))
      << reports.resultsName;
  EXPECT_TRUE(isTimeText(reports.summaryName, prefix + "_Summary%d_%d_%d-%s%d-%d.txt"))
      << reports.summaryName;

  ResultsReport& results = reports.results;
  SummaryReport& summary = reports.summary;
  ASSERT_EQ(parseResultsReport(readFile(files[0]), results), "") << reports.resultsName;
  ASSERT_EQ(parseSummaryReport(readFile(files[1]), summary), "") << reports.summaryName;

  const std::string eigenVersion = std::to_string(EIGEN_WORLD_VERSION) + "." +
                                   std::to_string(EIGEN_MAJOR_VERSION) + "." +
                                   std::to_string(EIGEN_MINOR_VERSION);
  EXPECT_TRUE(isTimeText(results.createdAt, "%d:%d:%d %s %d, %d")) << results.createdAt;
  EXPECT_EQ(summary.createdAt, results.createdAt);
  EXPECT_EQ(results.algorithmName, algorithmName);
  EXPECT_EQ(summary.algorithmName, algorithmName);
  EXPECT_EQ(results.eigenVersion, eigenVersion);
  EXPECT_EQ(summary.eigenVersion, eigenVersion);
  EXPECT_EQ(results.cameraNum, shape.cameraNum);
  EXPECT_EQ(results.imageCoordinates, shape.imageCoordinates);
  EXPECT_EQ(results.maxViewNum, shape.maxViews());
  EXPECT_EQ(summary.cameraNum, shape.cameraNum);
  EXPECT_EQ(summary.pointNum, shape.pointNum);
  EXPECT_EQ(summary.imageCoordinates, shape.imageCoordinates);
  EXPECT_EQ(summary.maxViewNum, shape.maxViews());
  EXPECT_EQ(results.epsilon, 2.220446049250313e-16);
  // Only the Greenstadt solver (key 4) modifies Hessians, at most once per point.
  if (key == '4') {
    EXPECT_GE(summary.notPositiveDefiniteCount, 0);
    EXPECT_LE(summary.notPositiveDefiniteCount, shape.pointNum);
  } else {
    EXPECT_EQ(summary.notPositiveDefiniteCount, 0);
  }

  ASSERT_EQ(results.points.size(), shape.views.size());
  ASSERT_EQ(summary.rows.size(), shape.views.size());
  int hardCases = 0, locals = 0;
  for (std::size_t i = 0; i < shape.views.size(); ++i) {
    const testing::PointRecord& record = results.points[i];
    const testing::SummaryRow& row = summary.rows[i];
    EXPECT_EQ(record.views, shape.views[i]) << "point " << i + 1;
    EXPECT_EQ(row.views, shape.views[i]) << "point " << i + 1;
    EXPECT_EQ(record.loopCap, 1000);
    EXPECT_EQ(row.loops, record.loops) << "point " << i + 1;
    EXPECT_TRUE(record.loops >= 0 && record.loops <= 1000) << "point " << i + 1;
    hardCases += record.solvable == "Hard case";
    locals += record.global == "Local";
  }
  EXPECT_EQ(results.hardCaseCount, hardCases);
  EXPECT_EQ(results.localSolutionCount, locals);
  EXPECT_EQ(results.solvableCount, shape.pointNum - hardCases);
  EXPECT_EQ(results.globalSolutionCount, shape.pointNum - locals);
  EXPECT_EQ(summary.hardCaseCount, hardCases);
  EXPECT_EQ(summary.localSolutionCount, locals);
  // A point whose solver diverged to a non-finite result makes the final sum NaN in both files.
  if (std::isnan(results.sumReprojError_f)) {
    EXPECT_TRUE(std::isnan(summary.sumReprojError_f));
  } else {
    EXPECT_DOUBLE_EQ(summary.sumReprojError_f, results.sumReprojError_f);
  }
  EXPECT_DOUBLE_EQ(summary.sumReprojError_m, results.sumReprojError_m);
  EXPECT_EQ(summary.maxKlc_f, results.maxKlc_f);
}

// The console of a run with key 0 that triangulated `shape`'s points: the menu, the echo, the
// progress lines (every 500th point) and where the reports went; colour sequences exactly when
// asked.
void checkConsole(const ChildResult& run, const ProblemShape& shape, const Reports& reports,
                  bool colors) {
  EXPECT_EQ(run.out.find('\x1b') != std::string::npos, colors)
      << "colour sequences on standard output";
  EXPECT_EQ(run.err, "");
  const std::string out = withoutColorSequences(run.out);

  std::string menu = "Please select a desired algorithm number for triangulation:\n";
  for (const MenuEntry& entry : vorlantMenu()) menu += std::string(entry.menuLine) + "\n";
  EXPECT_NE(out.find(menu), std::string::npos) << out;
  EXPECT_NE(out.find("Algorithm selected is : \n    0: Newton-Raphson\n\n"), std::string::npos)
      << out;
  EXPECT_NE(out.find("   Start triangulating [ display every 500 points ] ...\n\n"),
            std::string::npos);

  std::vector<std::string> expected, shown;
  for (int p = 0; p < shape.pointNum; ++p) {
    if (p == 0 || (p + 1) % 500 == 0 || p + 1 == shape.pointNum) {
      expected.push_back(
          progressLine(p + 1, shape.views[static_cast<std::size_t>(p)], shape.pointNum));
    }
  }
  std::istringstream lines(out);
  for (std::string line; std::getline(lines, line);) {
    if (line.starts_with("   Point No.")) shown.push_back(line + "\n");
  }
  EXPECT_EQ(shown, expected);

  const std::size_t appended = out.find("  Outputs were appended to:\n");
  ASSERT_NE(appended, std::string::npos) << out;
  EXPECT_NE(out.find(reports.resultsName + "  and \n", appended), std::string::npos) << out;
  EXPECT_NE(out.find(reports.summaryName + " ;\n", appended), std::string::npos) << out;
}

// The keystroke that selects a menu row: its digit, or 'x' for the row every other key selects.
char keyOf(const MenuEntry& entry) { return entry.key[1] == '\0' ? entry.key[0] : 'x'; }

// The echo of the selected row on the console.
std::string echoOf(const MenuEntry& entry) {
  return "Algorithm selected is : \n    " + std::string(1, keyOf(entry)) + ": " +
         entry.selectedName + "\n\n";
}

std::string describe(const ChildResult& run) {
  return "status " + std::to_string(run.status) +
         (run.timedOut ? " (killed at the time limit)" : "") + "\n--- standard output:\n" +
         run.out + "\n--- standard error:\n" + run.err;
}

// ---- Fixture ------------------------------------------------------------------------------------

// A synthetic problem made once (12 cameras, 40 points), and a fresh folder per test.
class VorlantProgram : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dataFolder_ = new TemporaryFolder;
    const fs::path path = dataFolder_->path() / "problem.txt";
    const ChildResult made =
        runChild({kMakeBalProblem,
                  {path.string(), "--cameras", "12", "--points", "40", "--seed", "11"},
                  dataFolder_->path()});
    ASSERT_TRUE(made.exited && made.status == 0) << describe(made);
    problem_ = new std::string(readFile(path));
  }
  static void TearDownTestSuite() {
    delete problem_;
    problem_ = nullptr;
    delete dataFolder_;
    dataFolder_ = nullptr;
  }

  const std::string& problem() const { return *problem_; }

  // A new empty working folder inside the test's folder.
  fs::path newFolder(const std::string& name) {
    const fs::path path = folder_.path() / name;
    fs::create_directories(path);
    return path;
  }

  static ChildResult vorlant(const fs::path& folder, std::vector<std::string> arguments,
                             std::optional<std::string> input = std::nullopt) {
    return runChild({kVorlant, std::move(arguments), folder, std::move(input)});
  }

  TemporaryFolder folder_;

 private:
  static TemporaryFolder* dataFolder_;
  static std::string* problem_;
};

TemporaryFolder* VorlantProgram::dataFolder_ = nullptr;
std::string* VorlantProgram::problem_ = nullptr;

// ---- Complete runs ------------------------------------------------------------------------------

TEST_F(VorlantProgram, CompleteRunsWriteTwoWellFormedReports) {
  struct Case {
    const char* name;
    std::vector<std::string> arguments;
    std::optional<std::string> input;  // none: /dev/null
    const char* dataName = "problem.txt";
    std::optional<std::string> headerLine = std::nullopt;  // replaces the header-ID line
    const char* reportDir = "";
    bool colors = false;
  };
  const Case cases[] = {
      {"key from a pipe", {"--data", "problem.txt"}, "0"},
      {"key on the command line", {"--data", "problem.txt", "--algorithm", "0"}, std::nullopt},
      {"keys after the first are left alone", {"--data=problem.txt"}, "0123\n"},
      {"default data file", {"--algorithm=0"}, std::nullopt, kDefaultDataFile},
      {"output folder",
       {"--data", "problem.txt", "--algorithm", "0", "--output-dir", "reports"},
       std::nullopt,
       "problem.txt",
       std::nullopt,
       "reports"},
      {"header ID after blanks",
       {"--data", "problem.txt"},
       "0",
       "problem.txt",
       " \t Rome_is_not_built_in_one_day!"},
      {"header ID with trailing text",
       {"--data", "problem.txt"},
       "0",
       "problem.txt",
       "Rome_is_not_built_in_one_day! and the rest of the line"},
      {"colours when asked",
       {"--data", "problem.txt", "--algorithm", "0", "--color=always"},
       std::nullopt,
       "problem.txt",
       std::nullopt,
       "",
       true},
  };
  const ProblemShape shape = shapeOf(problem());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path folder = newFolder(c.name);
    writeFile(folder / c.dataName,
              c.headerLine ? withLine(problem(), 1, *c.headerLine) : problem());
    if (*c.reportDir != '\0') fs::create_directory(folder / c.reportDir);

    const ChildResult run = vorlant(folder, c.arguments, c.input);
    ASSERT_TRUE(run.exited && run.status == 0) << describe(run);
    Reports reports;
    checkReports(folder / c.reportDir, shape, '0', "Newton-Raphson", reports);
    if (HasFatalFailure()) return;
    checkConsole(run, shape, reports, c.colors);
    EXPECT_EQ(reportFilesIn(folder).size(), 2u) << "report files outside " << c.reportDir;
  }
}

// Every solver the menu has, chosen by its key: a complete run with both reports in their formats.
TEST_F(VorlantProgram, EveryAvailableKeyRunsToTheEnd) {
  const ProblemShape shape = shapeOf(problem());
  for (const MenuEntry& entry : vorlantMenu()) {
    if (entry.solver == nullptr) continue;
    const char key = keyOf(entry);
    SCOPED_TRACE(std::string("key ") + key);
    const fs::path folder = newFolder(std::string("key-") + key);
    writeFile(folder / "problem.txt", problem());
    const ChildResult run =
        vorlant(folder, {"--data", "problem.txt", "--algorithm", std::string(1, key)});
    ASSERT_TRUE(run.exited && run.status == 0) << describe(run);
    EXPECT_NE(withoutColorSequences(run.out).find(echoOf(entry)), std::string::npos) << run.out;
    Reports reports;
    checkReports(folder, shape, key, entry.selectedName, reports);
  }
}

// Valid BAL files need not group the observations by point: the file sorted by camera index gives
// the same points, verdicts and diagnostics as the grouped one.
TEST_F(VorlantProgram, ObservationsOutOfPointOrderGiveTheSameResults) {
  const ProblemShape shape = shapeOf(problem());
  std::vector<std::string> lines = linesOf(problem());
  const auto first = lines.begin() + 2;
  std::stable_sort(
      first, first + shape.imageCoordinates,
      [](const std::string& a, const std::string& b) { return std::stoi(a) < std::stoi(b); });
  const std::string reordered = textOf(lines);
  ASSERT_NE(reordered, problem());

  Reports grouped, shuffled;
  for (auto [text, reports, name] : {std::tuple{&problem(), &grouped, "grouped"},
                                     std::tuple{&reordered, &shuffled, "reordered"}}) {
    SCOPED_TRACE(name);
    const fs::path folder = newFolder(name);
    writeFile(folder / "problem.txt", *text);
    const ChildResult run = vorlant(folder, {"--data", "problem.txt", "--algorithm", "0"});
    ASSERT_TRUE(run.exited && run.status == 0) << describe(run);
    checkReports(folder, shape, '0', "Newton-Raphson", *reports);
    if (HasFatalFailure()) return;
  }
  for (std::size_t i = 0; i < shape.views.size(); ++i) {
    EXPECT_EQ(shuffled.results.points[i].text, grouped.results.points[i].text) << "point " << i + 1;
    EXPECT_EQ(shuffled.summary.rows[i].text, grouped.summary.rows[i].text) << "point " << i + 1;
  }
  EXPECT_EQ(shuffled.results.sumReprojError_f, grouped.results.sumReprojError_f);
  EXPECT_EQ(shuffled.results.sumReprojError_m, grouped.results.sumReprojError_m);
}

// ---- Failures -----------------------------------------------------------------------------------

// Every failure ends with its status and a message on standard error, and leaves no report file.
TEST_F(VorlantProgram, FailuresReportAndWriteNoReports) {
  const std::string& good = problem();
  const int m = shapeOf(good).imageCoordinates;
  const auto line = [](int number) { return "problem.txt:" + std::to_string(number) + ":"; };
  // Line 3 is the first observation, "camera point x y".
  std::istringstream firstObservation(linesOf(good).at(2));
  std::string camera, point, x, y;
  firstObservation >> camera >> point >> x >> y;

  // A key whose solver this build does not have yet (none when every solver is there).
  std::optional<std::string> unavailableKey;
  for (const MenuEntry& entry : vorlantMenu().first(10)) {
    if (entry.solver == nullptr && !unavailableKey) unavailableKey = entry.key;
  }

  struct Case {
    std::string name;
    std::optional<std::string> data;  // written to problem.txt; none: no data file
    std::vector<std::string> arguments;
    int status;
    std::vector<std::string> stderrHas;
    std::optional<std::string> input = std::nullopt;
  };
  const std::vector<std::string> run0 = {"--data", "problem.txt", "--algorithm", "0"};
  std::vector<Case> cases = {
      // The data file's two historic failures, -127 and -128 as the shell sees them.
      {"missing data file", std::nullopt, run0, 129, {"open file error\n", "problem.txt"}},
      {"missing default data file",
       std::nullopt,
       {"--algorithm", "0"},
       129,
       {"open file error\n", kDefaultDataFile}},
      {"header ID in other case",
       withLine(good, 1, "rome_is_not_built_in_one_day!"),
       run0,
       128,
       {"Wrong data file header ID!! \n", line(1)}},
      {"header ID with one more '!'",
       withLine(good, 1, "Rome_is_not_built_in_one_day!!"),
       run0,
       128,
       {"Wrong data file header ID!! \n", line(1)}},
      {"empty first line",
       withLine(good, 1, ""),
       run0,
       128,
       {"Wrong data file header ID!! \n", line(1)}},
      {"empty file", "", run0, 128, {"Wrong data file header ID!! \n"}},
      // One malformed file per rule: the message names the file and the line.
      {"missing count", withLine(good, 2, "12 40"), run0, 128, {line(2)}},
      {"count not a number",
       withLine(good, 2, "12 forty " + std::to_string(m)),
       run0,
       128,
       {line(2), "'forty'"}},
      {"negative count",
       withLine(good, 2, "12 -40 " + std::to_string(m)),
       run0,
       128,
       {line(2), "-40"}},
      {"short observation line",
       withLine(good, 3, camera + " " + point + " " + x),
       run0,
       128,
       {line(3)}},
      {"observation token not a number",
       withLine(good, 3, camera + " " + point + " abc " + y),
       run0,
       128,
       {line(3), "'abc'"}},
      {"camera parameter not a number",
       withLine(good, m + 9, "1400,5"),
       run0,
       128,
       {line(m + 9), "'1400,5'"}},
      {"file ends among the observations",
       firstLines(good, 10),
       run0,
       128,
       {line(11), "end of the file"}},
      {"file ends among the cameras",
       firstLines(good, m + 52),
       run0,
       128,
       {line(m + 53), "end of the file"}},
      // A count far beyond the file's length must not reach the allocator (144 GB of camera
      // parameters here): the file is short, and that is what the message says.
      {"huge camera count in a short file",
       withLine(good, 2, "2000000000 40 " + std::to_string(m)),
       run0,
       128,
       {line(m + 231), "end of the file"}},
      {"camera index out of range",
       withLine(good, 3, "12 " + point + " " + x + " " + y),
       run0,
       128,
       {line(3), "0 to 11"}},
      {"negative camera index",
       withLine(good, 3, "-1 " + point + " " + x + " " + y),
       run0,
       128,
       {line(3)}},
      {"point index out of range",
       withLine(good, 3, camera + " 40 " + x + " " + y),
       run0,
       128,
       {line(3), "0 to 39"}},
      // The run's own failures.
      {"input ends at the menu", good, {"--data", "problem.txt"}, 1, {"no algorithm key"}, ""},
      {"missing output folder",
       good,
       {"--data", "problem.txt", "--algorithm", "0", "--output-dir", "no-such-dir"},
       3,
       {"no-such-dir/brimvaleRun"}},
      {"unknown option",
       good,
       {"--data", "problem.txt", "--bogus"},
       2,
       {"unknown option '--bogus'", "Usage: vorlant"}},
      {"two-character key",
       good,
       {"--data", "problem.txt", "--algorithm=01"},
       2,
       {"--algorithm needs exactly one character"}},
  };
  if (unavailableKey) {
    cases.push_back({"algorithm not available",
                     good,
                     {"--data", "problem.txt", "--algorithm", *unavailableKey},
                     1,
                     {"is not available"}});
  }

  for (std::size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(c.name);
    const fs::path folder = newFolder("case" + std::to_string(i));
    if (c.data) writeFile(folder / "problem.txt", *c.data);
    const ChildResult run = vorlant(folder, c.arguments, c.input);
    EXPECT_TRUE(run.exited) << describe(run);
    EXPECT_EQ(run.status, c.status) << describe(run);
    for (const std::string& text : c.stderrHas) {
      EXPECT_NE(run.err.find(text), std::string::npos) << "'" << text << "' not in\n" << run.err;
    }
    EXPECT_EQ(run.out.find("Outputs were appended"), std::string::npos);
    EXPECT_TRUE(reportFilesIn(folder).empty()) << "a failed run left a report file";
  }
}

// ---- Real data ----------------------------------------------------------------------------------

// A run on the real problem takes well under a second in an optimised build, but a minute or more
// in an unoptimised sanitizer build (Eigen without inlining): the limit is only there against a
// hang. Unoptimised builds run each key once; the run-to-run comparison needs the second run only
// where runs are cheap.
constexpr std::chrono::seconds kRealDataTimeLimit{900};
#ifdef NDEBUG
constexpr int kRealDataRuns = 2;
#else
constexpr int kRealDataRuns = 1;
#endif

ChildResult vorlantOnRealData(const fs::path& folder, const fs::path& data, char key) {
  return runChild({kVorlant,
                   {"--data", fs::absolute(data).string(), "--algorithm", std::string(1, key)},
                   folder,
                   std::nullopt,
                   kRealDataTimeLimit});
}

TEST_F(VorlantProgram, Problem49WithNewtonRaphson) {
  const char* dataDir = std::getenv("TESSMARK_DATA_DIR");
  const fs::path data = fs::path(dataDir != nullptr ? dataDir : "") / kDefaultDataFile;
  if (dataDir == nullptr || !fs::exists(data)) GTEST_SKIP() << "data file not found: " << data;

  const fs::path folder = newFolder("real");
  const ChildResult run = vorlantOnRealData(folder, data, '0');
  ASSERT_TRUE(run.exited && run.status == 0) << describe(run);
  const ProblemShape shape = shapeOf(readFile(data));
  ASSERT_EQ(shape.pointNum, 7776);
  Reports reports;
  checkReports(folder, shape, '0', "Newton-Raphson", reports);
  if (HasFatalFailure()) return;
  checkConsole(run, shape, reports, false);

  for (const testing::PointRecord& record : reports.results.points) {
    if (record.global == "Global") {
      EXPECT_LE(record.reprojError_f, record.reprojError_m) << "point " << record.number;
    }
  }
  EXPECT_LT(reports.results.sumReprojError_f, reports.results.sumReprojError_m);
}

// Every available key on the real problem, twice: both runs complete with well-formed reports, and
// every point's record (loop count, final point, costs, verdicts) and table row is the same in
// both (one run only in unoptimised builds, see kRealDataRuns).
TEST_F(VorlantProgram, Problem49EveryKeyIsReproducible) {
  const char* dataDir = std::getenv("TESSMARK_DATA_DIR");
  const fs::path data = fs::path(dataDir != nullptr ? dataDir : "") / kDefaultDataFile;
  if (dataDir == nullptr || !fs::exists(data)) GTEST_SKIP() << "data file not found: " << data;
  const ProblemShape shape = shapeOf(readFile(data));

  for (const MenuEntry& entry : vorlantMenu()) {
    if (entry.solver == nullptr) continue;
    const char key = keyOf(entry);
    SCOPED_TRACE(std::string("key ") + key);
    Reports runs[2];
    for (int i = 0; i < kRealDataRuns; ++i) {
      const fs::path folder = newFolder("real-" + std::string(1, key) + "-" + std::to_string(i));
      const ChildResult run = vorlantOnRealData(folder, data, key);
      ASSERT_TRUE(run.exited && run.status == 0) << describe(run);
      checkReports(folder, shape, key, entry.selectedName, runs[i]);
      if (HasFatalFailure()) return;
    }
    if (kRealDataRuns < 2) continue;
    for (std::size_t p = 0; p < shape.views.size(); ++p) {
      EXPECT_EQ(runs[1].results.points[p].text, runs[0].results.points[p].text)
          << "point " << p + 1;
      EXPECT_EQ(runs[1].summary.rows[p].text, runs[0].summary.rows[p].text) << "point " << p + 1;
    }
    EXPECT_EQ(runs[1].summary.notPositiveDefiniteCount, runs[0].summary.notPositiveDefiniteCount);
  }
}

}  // namespace
}  // namespace tessmark
