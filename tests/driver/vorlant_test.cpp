// The built vorlant program, run as a script would run it: in a fresh folder, standard input from a
// pipe or /dev/null, no terminal, with a time limit so that nothing can wait for a key.
#include "driver/vorlant.hpp"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <Eigen/Core>

#include "console/console.hpp"
#include "driver/sennic.hpp"
#include "solvers/menus.hpp"
#include "tests/support/bzip2_text.hpp"
#include "tests/support/child_process.hpp"
#include "tests/support/program_output.hpp"
#include "tests/support/report_format.hpp"

namespace tessmark {
namespace {

namespace fs = std::filesystem;
using testing::ChildRequest;
using testing::ChildResult;
using testing::describe;
using testing::firstLines;
using testing::linesOf;
using testing::parseResultsReport;
using testing::parseSummaryReport;
using testing::readFile;
using testing::Reports;
using testing::ResultsReport;
using testing::runChild;
using testing::textOf;
using testing::withLine;
using testing::withoutColorSequences;
using testing::writeFile;

const std::string kVorlant = TESSMARK_VORLANT;
const std::string kMakeBalProblem = TESSMARK_MAKE_BAL;
constexpr const char* kDefaultDataFile = "problem-49-7776-pre.txt";
constexpr const char* kPlainBalHint =
    "\nvorlant: a standard BAL file, without the header-ID line (compressed as .bz2 or not), is "
    "read with --plain-bal\n";

// ---- The data file ------------------------------------------------------------------------------

// What the reports of a well-formed BAL file must show: its counts and every point's view count.
struct ProblemShape {
  int cameraNum = 0, pointNum = 0, imageCoordinates = 0;
  std::vector<int> views;
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
  return testing::reportFilesIn(folder, "brimvaleRun");
}

std::string progressLine(int point, int views, int pointNum) {
  char line[128];
  std::snprintf(line, sizeof line, "   Point No.%8d:    with%5d views:%10.5f%% done.\n", point,
                views, 100.0 * point / pointNum);
  return line;
}

// The reports of a run of `shape`'s problem with key 0 (Newton-Raphson) or the given key.
void checkReports(const fs::path& folder, const ProblemShape& shape, char key,
                  const std::string& algorithmName, Reports& reports) {
  const std::string prefix = "brimvaleRun" + std::to_string(shape.cameraNum) + "-" +
                             std::to_string(shape.pointNum) + "-" +
                             std::to_string(shape.imageCoordinates) + "A" + std::string(1, key);
  testing::checkReports(reportFilesIn(folder),
                        {prefix, algorithmName, shape.cameraNum, shape.pointNum, shape.views, 1000,
                         1000, parseResultsReport, parseSummaryReport},
                        reports);
  if (::testing::Test::HasFatalFailure()) return;
  // What only this program's reports show.
  EXPECT_EQ(reports.results.imageCoordinates, shape.imageCoordinates);
  EXPECT_EQ(reports.summary.imageCoordinates, shape.imageCoordinates);
  // Only the Greenstadt solver (key 4) modifies Hessians, at most once per point.
  if (key == '4') {
    EXPECT_GE(reports.summary.notPositiveDefiniteCount, 0);
    EXPECT_LE(reports.summary.notPositiveDefiniteCount, shape.pointNum);
  } else {
    EXPECT_EQ(reports.summary.notPositiveDefiniteCount, 0);
  }
  // A point whose solver diverged to a non-finite result makes the final sum NaN in both files.
  if (std::isnan(reports.results.sumReprojError_f)) {
    EXPECT_TRUE(std::isnan(reports.summary.sumReprojError_f));
  } else {
    EXPECT_DOUBLE_EQ(reports.summary.sumReprojError_f, reports.results.sumReprojError_f);
  }
  EXPECT_DOUBLE_EQ(reports.summary.sumReprojError_m, reports.results.sumReprojError_m);
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

  std::vector<std::string> expected;
  for (int p = 0; p < shape.pointNum; ++p) {
    if (p == 0 || (p + 1) % 500 == 0 || p + 1 == shape.pointNum) {
      expected.push_back(
          progressLine(p + 1, shape.views[static_cast<std::size_t>(p)], shape.pointNum));
    }
  }
  EXPECT_EQ(testing::linesStartingWith(out, "   Point No."), expected);

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

// ---- The closing summary ------------------------------------------------------------------------

// The closing summary writes its times in the notation the first progress line left on the
// console: fixed, with the program's decimals, after a point; with no point (no progress line) the
// stream's default notation, as the phase times before it.
TEST(ClosingSummary, TimesInTheNotationTheProgressLinesLeft) {
  struct Case {
    const ProgramDescription* program;
    int pointNum;
    const char* totalTime;  // as the summary shows it
  };
  const Case cases[] = {
      {&vorlantProgram(), 0, "  Total time elapse: 0.25 seconds;\n"},
      {&vorlantProgram(), 1, "  Total time elapse: 0.25000 seconds;\n"},
      {&sennicProgram(), 0, "  Total time elapse :0.25 seconds;\n"},
      {&sennicProgram(), 1, "  Total time elapse :0.250 seconds;\n"},
  };
  setupConsole(ColorMode::never);
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.program->name) + ", " + std::to_string(c.pointNum) + " points");
    TriangulationRun run(c.pointNum);
    run.totalSeconds = 0.25;
    std::ostringstream console;
    console.copyfmt(std::cout);
    std::streambuf* const saved = std::cout.rdbuf(console.rdbuf());
    const std::ios::fmtflags flags = std::cout.flags();
    const std::streamsize precision = std::cout.precision();
    if (c.pointNum > 0) c.program->progressLine(std::cout, 0, 2, c.pointNum);
    c.program->closingSummary(run, "results.txt", "summary.txt");
    std::cout.flags(flags);
    std::cout.precision(precision);
    std::cout.rdbuf(saved);
    EXPECT_NE(console.str().find(c.totalTime), std::string::npos) << console.str();
  }
}

// ---- Fixture ------------------------------------------------------------------------------------

// A synthetic problem made once (12 cameras, 40 points), and a fresh folder per test.
class VorlantProgram : public testing::MadeDataTest {
 protected:
  static void SetUpTestSuite() { makeData(kMakeBalProblem, "problem.txt"); }
  static void TearDownTestSuite() { dropData(); }

  static ChildResult vorlant(const fs::path& folder, std::vector<std::string> arguments,
                             std::optional<std::string> input = std::nullopt,
                             std::chrono::seconds timeLimit = std::chrono::seconds{60}) {
    return runChild({kVorlant, std::move(arguments), folder, std::move(input), timeLimit});
  }
};

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

// The public BAL layout behind --plain-bal: the file without its header-ID line, as it is and
// compressed, gives the reports of the file with it (times aside), under the same names; the option
// skips a header-ID line that is there, and reads tokens wherever the line ends fall (a blank line
// after the counts, as trimmed files have it). Without the option the header check stays as it is.
TEST_F(VorlantProgram, PlainBalFilesGiveTheResultsOfTheHeaderVersion) {
  const ProblemShape shape = shapeOf(problem());
  const std::string plain = problem().substr(problem().find('\n') + 1);
  std::string trimmed = plain;
  trimmed.insert(trimmed.find('\n') + 1, "\n");
  struct Case {
    const char* name;
    const char* dataName;
    std::string bytes;
    bool plainOption;
  };
  const Case cases[] = {
      {"header ID", "problem.txt", problem(), false},
      {"plain", "problem.txt", plain, true},
      {"plain, a blank line after the counts", "problem.txt", trimmed, true},
      {"header ID with the option", "problem.txt", problem(), true},
      {"plain, compressed", "problem.txt.bz2", testing::bzip2Compressed(plain), true},
      {"plain, compressed in small blocks", "p.bz2", testing::bzip2Compressed(plain, 1), true},
  };
  std::vector<Reports> runs;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path folder = newFolder(c.name);
    writeFile(folder / c.dataName, c.bytes);
    std::vector<std::string> arguments = {"--data", c.dataName, "--algorithm", "0"};
    if (c.plainOption) arguments.push_back("--plain-bal");
    const ChildResult run = vorlant(folder, arguments);
    ASSERT_TRUE(run.exited && run.status == 0) << describe(run);
    EXPECT_NE(run.out.find("Checking data file format:\n"), std::string::npos) << run.out;
    checkReports(folder, shape, '0', "Newton-Raphson", runs.emplace_back());
    if (HasFatalFailure()) return;
  }
  for (std::size_t k = 1; k < runs.size(); ++k) {
    for (std::size_t i = 0; i < shape.views.size(); ++i) {
      ASSERT_EQ(runs[k].results.points[i].text, runs[0].results.points[i].text)
          << cases[k].name << ", point " << i + 1;
      ASSERT_EQ(runs[k].summary.rows[i].text, runs[0].summary.rows[i].text)
          << cases[k].name << ", point " << i + 1;
    }
  }
}

TEST_F(VorlantProgram, PlainBalFailuresReportAndWriteNoReports) {
  const std::string plain = problem().substr(problem().find('\n') + 1);
  const std::string compressed = testing::bzip2Compressed(plain);
  struct Case {
    const char* name;
    const char* dataName;
    std::optional<std::string> bytes;  // none: no file of that name
    bool plainOption;
    int status;
    std::vector<std::string> stderrHas;
  };
  const Case cases[] = {
      {"plain file without the option",
       "problem.txt",
       plain,
       false,
       128,
       {"Wrong data file header ID!! \n", "problem.txt:1:", kPlainBalHint}},
      {"neither header nor counts with the option",
       "problem.txt",
       withLine(problem(), 1, "Rome_is_not_built_in_one_day"),
       true,
       128,
       {"problem.txt:1: expected the header ID 'Rome_is_not_built_in_one_day!' or the counts "
        "line"}},
      {"truncated compressed file",
       "problem.txt.bz2",
       compressed.substr(0, compressed.size() - 9),
       true,
       128,
       {"problem.txt.bz2: expected a bzip2 stream", "(a truncated file)"}},
      {"compressed file without the option",
       "problem.txt.bz2",
       compressed,
       false,
       128,
       {"Wrong data file header ID!! \n", kPlainBalHint}},
      {"missing compressed file",
       "problem.txt.bz2",
       std::nullopt,
       true,
       129,
       {"open file error\n"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path folder = newFolder(c.name);
    if (c.bytes) writeFile(folder / c.dataName, *c.bytes);
    std::vector<std::string> arguments = {"--data", c.dataName, "--algorithm", "0"};
    if (c.plainOption) arguments.push_back("--plain-bal");
    const ChildResult run = vorlant(folder, arguments);
    testing::expectFailure(run, c.status, c.stderrHas);
    EXPECT_TRUE(reportFilesIn(folder).empty()) << "a failed run left a report file";
  }
}

// ---- Failures -----------------------------------------------------------------------------------

// Every failure ends with its status and a message on standard error, and leaves no report file.
// One case per kind of failure: the reader's rules are tested one by one on in-memory text (input
// tests); here the program's side of each kind: message, status, no report.
TEST_F(VorlantProgram, FailuresReportAndWriteNoReports) {
  const std::string& good = problem();
  const int m = shapeOf(good).imageCoordinates;
  const auto line = [](int number) { return "problem.txt:" + std::to_string(number) + ":"; };

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
      {"wrong header ID",
       withLine(good, 1, "rome_is_not_built_in_one_day!"),
       run0,
       128,
       {"Wrong data file header ID!! \n", line(1)}},
      // A malformed file: the message names the file and the line.
      {"file ends among the cameras",
       firstLines(good, m + 52),
       run0,
       128,
       {line(m + 53), "end of the file"}},
      // The run's own failures.
      {"input ends at the menu", good, {"--data", "problem.txt"}, 1, {"no algorithm key"}, ""},
      {"missing output folder",
       good,
       {"--data", "problem.txt", "--algorithm", "0", "--output-dir", "no-such-dir"},
       3,
       {"vorlant: cannot write the reports into 'no-such-dir': No such file or directory\n"}},
      {"unknown option",
       good,
       {"--data", "problem.txt", "--bogus"},
       2,
       {"vorlant: unknown option '--bogus'\nTry 'vorlant --help' for more information.\n"}},
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
    testing::expectFailure(run, c.status, c.stderrHas);
    EXPECT_TRUE(reportFilesIn(folder).empty()) << "a failed run left a report file";
  }
}

// What follows a failure's headline on the error stream is in the colour of normal text (the
// terminal's own), not in the headline's last colour.
TEST_F(VorlantProgram, AFailuresDetailIsInTheColourOfNormalText) {
  const std::string plain = problem().substr(problem().find('\n') + 1);
  struct Case {
    const char* name;
    std::optional<std::string> data;  // none: no data file
    const char* headline;             // as written, with its colour
  };
  const Case cases[] = {
      {"wrong header ID", plain, "\x1b[91;49mWrong data file header ID!! \n"},
      {"missing data file", std::nullopt, "\x1b[91;49mopen file error\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path folder = newFolder(c.name);
    if (c.data) writeFile(folder / "problem.txt", *c.data);
    const ChildResult run =
        vorlant(folder, {"--data", "problem.txt", "--algorithm", "0", "--color=always"});
    ASSERT_TRUE(run.exited && run.status != 0) << describe(run);
    EXPECT_NE(run.err.find(std::string(c.headline) + "\x1b[39;49mvorlant: problem.txt"),
              std::string::npos)
        << run.err;
  }
}

// A reader that is gone before the first line (`vorlant | head -n 0`) costs the console only: the
// run completes with the reports of a run whose console was read, and exit status 5 says what was
// lost. (sennic's test takes more moments of the reader's going.)
TEST_F(VorlantProgram, ALostConsoleLeavesTheReportsWhole) {
  const ProblemShape shape = shapeOf(problem());
  const std::vector<std::string> arguments = {"--data", "problem.txt"};
  Reports expected;
  const fs::path wholeFolder = newFolder("whole");
  writeFile(wholeFolder / "problem.txt", problem());
  const ChildResult whole = vorlant(wholeFolder, arguments, "0");
  ASSERT_TRUE(whole.exited && whole.status == 0) << describe(whole);
  checkReports(wholeFolder, shape, '0', "Newton-Raphson", expected);
  if (HasFatalFailure()) return;

  const fs::path folder = newFolder("lost");
  writeFile(folder / "problem.txt", problem());
  ChildRequest request{kVorlant, arguments, folder, "0"};
  request.outputLinesBeforeClose = 0;
  const ChildResult run = runChild(request);
  Reports reports;
  checkReports(folder, shape, '0', "Newton-Raphson", reports);
  if (HasFatalFailure()) return;
  testing::expectSameReportsButTimes(reports, expected);
  testing::expectConsoleLost(run, whole.out, reports);
}

// Standard output through a pipe goes line by line: whoever reads it sees the progress while the
// run goes on, not all of it when the program ends. The first progress line must arrive on its own,
// long before the closing summary (50000 points take a good fraction of a second optimised; fully
// buffered, everything would come in one piece at exit).
TEST_F(VorlantProgram, APipeSeesTheProgressWhileTheRunGoesOn) {
#ifndef NDEBUG
  GTEST_SKIP() << "a run long enough to tell takes minutes unoptimised";
#endif
  const fs::path folder = newFolder("pipe");
  const ChildResult made =
      runChild({kMakeBalProblem, {"problem.txt", "--points", "50000", "--seed", "3"}, folder});
  ASSERT_TRUE(made.exited && made.status == 0) << describe(made);

  int output[2];
  ASSERT_EQ(pipe(output), 0);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, output[0]);
  posix_spawn_file_actions_addclose(&actions, output[1]);
  const std::string data = (folder / "problem.txt").string();
  const std::string outputDir = folder.string();
  std::vector<std::string> arguments = {kVorlant, "--data",       data,     "--algorithm",
                                        "0",      "--output-dir", outputDir};
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  pid_t child = 0;
  ASSERT_EQ(posix_spawn(&child, kVorlant.c_str(), &actions, nullptr, argv.data(), environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  close(output[1]);

  // Every chunk as it arrives; note the one that brings the first progress line.
  std::string received;
  std::string chunkWithFirstLine;
  char buffer[1 << 16];
  for (ssize_t count; (count = read(output[0], buffer, sizeof buffer)) != 0;) {
    if (count < 0) {
      if (errno == EINTR) continue;
      break;
    }
    const std::string chunk(buffer, static_cast<std::size_t>(count));
    received += chunk;
    if (chunkWithFirstLine.empty() && received.find("   Point No.") != std::string::npos) {
      chunkWithFirstLine = chunk;
    }
  }
  close(output[0]);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << received;
  ASSERT_NE(received.find("  Triangulating finished !"), std::string::npos) << received;
  EXPECT_EQ(chunkWithFirstLine.find("Triangulating finished"), std::string::npos)
      << "the first progress line came together with the end of the run";
}

// ---- Real data ----------------------------------------------------------------------------------

// A run on the real problem takes well under a second in an optimised build, but a minute or more
// in an unoptimised sanitizer build (Eigen without inlining): the limit is only there against a
// hang.
constexpr std::chrono::seconds kRealDataTimeLimit{900};

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

// Every key but 0 (run above) on the real problem, twice: both runs exit 0 and write well-formed
// reports, and every point's record and table row (all but the times) are the same in both.
class VorlantOnProblem49 : public VorlantProgram, public ::testing::WithParamInterface<char> {};

TEST_P(VorlantOnProblem49, RunsAndReproducesItsResults) {
  const char* dataDir = std::getenv("TESSMARK_DATA_DIR");
  const fs::path data = fs::path(dataDir != nullptr ? dataDir : "") / kDefaultDataFile;
  if (dataDir == nullptr || !fs::exists(data)) GTEST_SKIP() << "data file not found: " << data;
#ifndef NDEBUG
  // Twelve whole runs, a few million solver iterations for key 1 alone: many minutes unoptimised
  // (and under the sanitizers). The solvers' own tests cover those builds.
  GTEST_SKIP() << "runs of the whole real problem are for optimised builds";
#endif
  const char key = GetParam();
  const MenuEntry& entry = selectMenuEntry(vorlantMenu(), static_cast<unsigned char>(key));
  if (entry.solver == nullptr) GTEST_SKIP() << "key " << key << " is not available";

  const ProblemShape shape = shapeOf(readFile(data));
  Reports runs[2];
  for (int i = 0; i < 2; ++i) {
    const fs::path folder = newFolder("run" + std::to_string(i));
    const ChildResult run = vorlantOnRealData(folder, data, key);
    ASSERT_TRUE(run.exited && run.status == 0) << describe(run);
    checkReports(folder, shape, key, entry.selectedName, runs[i]);
    if (HasFatalFailure()) return;
    EXPECT_NE(run.out.find(echoOf(entry)), std::string::npos) << run.out;
    EXPECT_EQ(run.err, "");
  }
  const ResultsReport& first = runs[0].results;
  const ResultsReport& second = runs[1].results;
  ASSERT_EQ(first.points.size(), second.points.size());
  for (std::size_t p = 0; p < first.points.size(); ++p) {
    ASSERT_EQ(first.points[p].text, second.points[p].text) << "point " << p + 1;
  }
  if (!(std::isnan(first.sumReprojError_f) && std::isnan(second.sumReprojError_f))) {
    EXPECT_EQ(first.sumReprojError_f, second.sumReprojError_f);
  }
  EXPECT_EQ(first.solvableCount, second.solvableCount);
  EXPECT_EQ(first.globalSolutionCount, second.globalSolutionCount);
  ASSERT_EQ(runs[0].summary.rows.size(), runs[1].summary.rows.size());
  for (std::size_t p = 0; p < runs[0].summary.rows.size(); ++p) {
    ASSERT_EQ(runs[0].summary.rows[p].text, runs[1].summary.rows[p].text) << "row " << p + 1;
  }
  EXPECT_EQ(runs[0].summary.notPositiveDefiniteCount, runs[1].summary.notPositiveDefiniteCount);
  // Jarratt (key 3) diverges to a non-finite point on Ladybug, and the total with it.
  if (!std::isnan(first.sumReprojError_f)) {
    EXPECT_LT(first.sumReprojError_f, first.sumReprojError_m);
  }
}

INSTANTIATE_TEST_SUITE_P(Keys, VorlantOnProblem49,
                         ::testing::Values('1', '2', '3', '4', '5', '6', '7', '8', '9', 'x'),
                         [](const auto& info) { return std::string("key_") + info.param; });

}  // namespace
}  // namespace tessmark
