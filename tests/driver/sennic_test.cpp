// The built sennic program, run as a script would run it: in a fresh folder, standard input from a
// pipe or /dev/null, no terminal, with a time limit so that nothing can wait for a key.
#include "driver/sennic.hpp"

#include <algorithm>
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

#include "input/lc_problem.hpp"
#include "solvers/menus.hpp"
#include "tests/support/child_process.hpp"
#include "tests/support/program_output.hpp"
#include "tests/support/report_format.hpp"
#include "tests/support/report_sample.hpp"

namespace tessmark {
namespace {

namespace fs = std::filesystem;
using testing::ChildResult;
using testing::describe;
using testing::firstLines;
using testing::linesOf;
using testing::linesStartingWith;
using testing::parseSennicResultsReport;
using testing::parseSennicSummaryReport;
using testing::readFile;
using testing::Reports;
using testing::runChild;
using testing::withLine;
using testing::withoutColorSequences;
using testing::writeFile;

const std::string kSennic = TESSMARK_SENNIC;
const std::string kMakeLcProblem = TESSMARK_MAKE_LC;
constexpr const char* kDefaultDataFile = "dinosaur.lc";
constexpr const char* kRankDeficiencyWarning =
    "something is wrong; rank deficiency of input camera. not perspective. \n";
// The most loops any solver of the program may count: its Armijo search runs from -10 to 1000.
constexpr int kMostLoops = 1010;

// ---- The data file ------------------------------------------------------------------------------

// What the reports of a well-formed .lc file must show: its counts and every point's cameras.
struct ProblemShape {
  int allCameraNum = 0, pointNum = 0;
  std::vector<std::vector<int>> cameras;  // per point, the cameras that see it
  int views(std::size_t p) const { return static_cast<int>(cameras[p].size()); }
  int maxViews() const {
    int most = 0;
    for (const auto& list : cameras) most = std::max(most, static_cast<int>(list.size()));
    return most;
  }
};

ProblemShape shapeOf(const std::string& text) {
  ProblemShape shape;
  const std::vector<std::string> lines = linesOf(text);
  shape.allCameraNum = std::stoi(lines.at(1));
  shape.pointNum = std::stoi(lines.at(2));
  for (int p = 0; p < shape.pointNum; ++p) {
    std::istringstream row(lines.at(static_cast<std::size_t>(3 + shape.allCameraNum + p)));
    std::vector<int> seenBy;
    for (int c = 0; c < shape.allCameraNum; ++c) {
      double x = 0, y = 0;
      row >> x >> y;
      if (x != -1.0) seenBy.push_back(c);
    }
    shape.cameras.push_back(seenBy);
  }
  return shape;
}

// ---- The run's output ---------------------------------------------------------------------------

// The report files, not the data file "dinosaur.lc" beside them.
std::vector<fs::path> reportFilesIn(const fs::path& folder) {
  std::vector<fs::path> files = testing::reportFilesIn(folder, "dinosaur");
  std::erase_if(files, [](const fs::path& file) { return file.extension() != ".txt"; });
  return files;
}

std::string progressLine(int point, int views, int pointNum) {
  char line[128];
  std::snprintf(line, sizeof line, "   Point No.%5d  from%4d views %7.3f%% done.\n", point, views,
                100.0 * point / pointNum);
  return line;
}

// The reports of a run of `shape`'s data set with `key`.
void checkReports(const fs::path& folder, const ProblemShape& shape, char key,
                  const std::string& algorithmName, Reports& reports) {
  const std::string prefix = "dinosaur" + std::to_string(shape.allCameraNum) + "-" +
                             std::to_string(shape.pointNum) + "-A" + std::string(1, key);
  std::vector<int> views;
  for (const auto& cameras : shape.cameras) views.push_back(static_cast<int>(cameras.size()));
  testing::checkReports(reportFilesIn(folder),
                        {prefix, algorithmName, shape.allCameraNum, shape.pointNum, views, 500,
                         kMostLoops, parseSennicResultsReport, parseSennicSummaryReport},
                        reports);
}

// The console of a run that triangulated `shape`'s points with `key`: the counts, the phase times,
// the menu with its blank line, the echo, a progress line before every 500th point (and the first
// and last) and where the reports went; colour sequences exactly when asked.
void checkConsole(const ChildResult& run, const ProblemShape& shape, char key,
                  const std::string& algorithmName, const Reports& reports, bool colors) {
  EXPECT_EQ(run.out.find('\x1b') != std::string::npos, colors)
      << "colour sequences on standard output";
  EXPECT_EQ(run.err, "");
  const std::string out = withoutColorSequences(run.out);

  EXPECT_TRUE(out.starts_with("\ntessmark(per Oxford visual geometry group data format)\n")) << out;
  EXPECT_NE(out.find("  2) place the  dinosaur.lc data file in the same directory as the "
                     "Calculator\n"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("Total camera number is: " + std::to_string(shape.allCameraNum) +
                     "\nTotal point number is: " + std::to_string(shape.pointNum) +
                     "\nLoading data, please wait ...\nData importing finished !\nTime on "
                     "loading - indexing - pretreating:\n       "),
            std::string::npos)
      << out;
  EXPECT_NE(out.find(" (seconds)\nPlease select"), std::string::npos) << out;
  std::string menu = "Please select a desired algorithm number for triangulation:\n\n";
  for (const MenuEntry& entry : sennicMenu()) menu += std::string(entry.menuLine) + "\n";
  EXPECT_NE(out.find(menu), std::string::npos) << out;
  EXPECT_NE(out.find("Algorithm selected is : \n    " + std::string(1, key) + ": " + algorithmName +
                     "\n\n"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("   Start triangulating [ display every 500 points ] ...\n\n"),
            std::string::npos);

  std::vector<std::string> expected;
  for (int p = 0; p < shape.pointNum; ++p) {
    if (p == 0 || (p + 1) % 500 == 0 || p + 1 == shape.pointNum) {
      expected.push_back(
          progressLine(p + 1, shape.views(static_cast<std::size_t>(p)), shape.pointNum));
    }
  }
  EXPECT_EQ(linesStartingWith(out, "   Point No."), expected);

  const std::size_t finished = out.find("\n  Triangulating finished !\n");
  ASSERT_NE(finished, std::string::npos) << out;
  EXPECT_NE(out.find("  Total point number triangulated : " + std::to_string(shape.pointNum) +
                         " points;\n  Total time elapse :",
                     finished),
            std::string::npos)
      << out;
  // The names follow the output folder, when one is given.
  const std::size_t appended = out.find("  Outputs were appended to:\n       ", finished);
  ASSERT_NE(appended, std::string::npos) << out;
  EXPECT_NE(out.find(reports.resultsName + "     and \n       ", appended), std::string::npos)
      << out;
  EXPECT_TRUE(out.ends_with(reports.summaryName + " ;\n  Please check them.\n  Thank you!\n\n"))
      << out;
  EXPECT_EQ(out.find("Time on waiting"), std::string::npos);
}

// ---- Fixture ------------------------------------------------------------------------------------

// A synthetic turntable set made once (12 cameras, 40 points), and a fresh folder per test.
class SennicProgram : public testing::MadeDataTest {
 protected:
  static void SetUpTestSuite() { makeData(kMakeLcProblem, "set.lc"); }
  static void TearDownTestSuite() { dropData(); }

  static ChildResult sennic(const fs::path& folder, std::vector<std::string> arguments,
                            std::optional<std::string> input = std::nullopt,
                            std::chrono::seconds timeLimit = std::chrono::seconds{60}) {
    return runChild({kSennic, std::move(arguments), folder, std::move(input), timeLimit});
  }
};

// ---- Complete runs ------------------------------------------------------------------------------

TEST_F(SennicProgram, CompleteRunsWriteTwoWellFormedReports) {
  struct Case {
    std::string name;
    std::vector<std::string> arguments;
    std::optional<std::string> input;  // none: /dev/null
    const char* dataName = "set.lc";
    std::optional<std::string> headerLine = std::nullopt;  // replaces the header-ID line
    const char* reportDir = "";
    bool colors = false;
  };
  std::vector<Case> cases = {
      {"key from a pipe", {"--data", "set.lc"}, "0"},
      {"key on the command line", {"--data", "set.lc", "--algorithm", "0"}, std::nullopt},
      {"keys after the first are left alone", {"--data=set.lc"}, "0123\n"},
      {"default data file", {"--algorithm=0"}, std::nullopt, kDefaultDataFile},
      {"output folder",
       {"--data", "set.lc", "--algorithm", "0", "--output-dir", "reports"},
       std::nullopt,
       "set.lc",
       std::nullopt,
       "reports"},
      {"header ID with blanks around it",
       {"--data", "set.lc"},
       "0",
       "set.lc",
       "  stereohomology!  and the rest of the line"},
      {"colours when asked",
       {"--data", "set.lc", "--algorithm", "0", "--color=always"},
       std::nullopt,
       "set.lc",
       std::nullopt,
       "",
       true},
  };
  for (const std::string_view id : kLcHeaderIds) {
    cases.push_back({"header ID " + std::string(id),
                     {"--data", "set.lc", "--algorithm", "0"},
                     std::nullopt,
                     "set.lc",
                     std::string(id)});
  }
  const ProblemShape shape = shapeOf(problem());
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(c.name);
    const fs::path folder = newFolder("case" + std::to_string(i));
    writeFile(folder / c.dataName,
              c.headerLine ? withLine(problem(), 1, *c.headerLine) : problem());
    if (*c.reportDir != '\0') fs::create_directory(folder / c.reportDir);

    const ChildResult run = sennic(folder, c.arguments, c.input);
    ASSERT_TRUE(run.exited && run.status == 0) << describe(run);
    Reports reports;
    checkReports(folder / c.reportDir, shape, '0', "Newton-Raphson", reports);
    if (HasFatalFailure()) return;
    checkConsole(run, shape, '0', "Newton-Raphson", reports, c.colors);
    EXPECT_EQ(reportFilesIn(folder).size(), 2u) << "report files outside " << c.reportDir;
  }
}

// A camera matrix whose left block has a zero third row is no perspective camera: the run warns
// once, goes on, and the points that camera sees come out non-finite; every other point is as
// before.
TEST_F(SennicProgram, ADegenerateCameraWarnsAndItsPointsFlowThroughNonFinite) {
  const ProblemShape shape = shapeOf(problem());
  constexpr int kCamera = 5;
  std::istringstream entries(linesOf(problem()).at(3 + kCamera));
  std::string line;
  for (int k = 0; k < 12; ++k) {
    std::string entry;
    entries >> entry;
    line += (k == 8 || k == 9 || k == 10 ? std::string("0") : entry) + (k < 11 ? " " : "");
  }

  Reports intact, degenerate;
  for (auto [text, reports, name] :
       {std::tuple{problem(), &intact, "intact"},
        std::tuple{withLine(problem(), 4 + kCamera, line), &degenerate, "degenerate"}}) {
    SCOPED_TRACE(name);
    const fs::path folder = newFolder(name);
    writeFile(folder / "set.lc", text);
    const ChildResult run = sennic(folder, {"--data", "set.lc", "--algorithm", "0"});
    ASSERT_TRUE(run.exited && run.status == 0) << describe(run);
    const std::size_t warning = run.out.find(kRankDeficiencyWarning);
    EXPECT_EQ(warning != std::string::npos, reports == &degenerate) << run.out;
    EXPECT_EQ(run.out.find(kRankDeficiencyWarning, warning + 1), std::string::npos) << run.out;
    checkReports(folder, shape, '0', "Newton-Raphson", *reports);
    if (HasFatalFailure()) return;
  }

  int touched = 0;
  for (std::size_t i = 0; i < shape.cameras.size(); ++i) {
    SCOPED_TRACE("point " + std::to_string(i + 1));
    const testing::PointRecord& record = degenerate.results.points[i];
    const auto& cameras = shape.cameras[i];
    if (std::find(cameras.begin(), cameras.end(), kCamera) != cameras.end()) {
      ++touched;
      EXPECT_FALSE(std::isfinite(record.x_m[0]) && std::isfinite(record.x_f[0]));
      EXPECT_EQ(record.global, "Local");
    } else {
      EXPECT_EQ(record.text, intact.results.points[i].text);
    }
  }
  EXPECT_GT(touched, 0) << "no point is seen by camera " << kCamera;
}

// ---- A console that goes away ------------------------------------------------------------------

// A reader that closes standard output early (`sennic | head -n N`), or a full disk behind it,
// costs the console text only: the run completes, both reports are those of a run whose console
// was read to the end, line by line, and the exit status (5) and one message on standard error
// say that the console was lost. The key comes after the reader has gone.
TEST_F(SennicProgram, ALostConsoleLeavesTheReportsWhole) {
  const ProblemShape shape = shapeOf(problem());
  const std::vector<std::string> arguments = {"--data", "set.lc"};
  const fs::path wholeFolder = newFolder("whole");
  writeFile(wholeFolder / "set.lc", problem());
  const ChildResult whole = sennic(wholeFolder, arguments, "0");
  ASSERT_TRUE(whole.exited && whole.status == 0) << describe(whole);
  Reports expected;
  checkReports(wholeFolder, shape, '0', "Newton-Raphson", expected);
  if (HasFatalFailure()) return;
  const std::size_t menuEnd = whole.out.find(" Otherwise: inexact Newton line search");
  ASSERT_NE(menuEnd, std::string::npos) << whole.out;
  const int menuLines =
      static_cast<int>(std::count(whole.out.begin(), whole.out.begin() + menuEnd, '\n')) + 1;

  struct Case {
    std::string name;
    std::optional<int> linesRead;  // none: standard output is /dev/full
  };
  const std::vector<Case> cases = {
      {"reader gone before the first line", 0},
      {"reader gone after three lines", 3},
      {"reader gone after the menu", menuLines},
      {"full disk", std::nullopt},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(c.name);
    const fs::path folder = newFolder("lost" + std::to_string(i));
    writeFile(folder / "set.lc", problem());
    ChildResult run;
    if (c.linesRead) {
      testing::ChildRequest request{kSennic, arguments, folder, "0"};
      request.outputLinesBeforeClose = c.linesRead;
      run = runChild(request);
    } else {
      std::vector<std::string> shell = {"-c", "exec \"$0\" \"$@\" >/dev/full", kSennic};
      shell.insert(shell.end(), arguments.begin(), arguments.end());
      run = runChild({"/bin/sh", shell, folder, "0"});
    }
    Reports reports;
    checkReports(folder, shape, '0', "Newton-Raphson", reports);
    if (HasFatalFailure()) return;
    testing::expectSameReportsButTimes(reports, expected);
    testing::expectConsoleLost(run, whole.out, reports);
    if (c.linesRead) {
      EXPECT_EQ(static_cast<int>(linesOf(run.out).size()), *c.linesRead);
    }
  }
}

// ---- Failures -----------------------------------------------------------------------------------

// Every failure ends with its status and a message on standard error, and leaves no report file.
// One case per kind of failure (the reader's rules are tested one by one on in-memory text).
TEST_F(SennicProgram, FailuresReportAndWriteNoReports) {
  const std::string& good = problem();
  const ProblemShape shape = shapeOf(good);
  const int firstPointLine = 4 + shape.allCameraNum;
  const auto line = [](int number) { return "set.lc:" + std::to_string(number) + ":"; };

  // A key whose solver this build does not have yet (none when every solver is there).
  std::optional<std::string> unavailableKey;
  for (const MenuEntry& entry : sennicMenu()) {
    if (entry.solver == nullptr && !unavailableKey) {
      unavailableKey = entry.key == std::string("other") ? "q" : entry.key;
    }
  }
  // Point 1 with only the y of one of its views replaced by -1.
  const int camera = shape.cameras.at(0).at(0);
  std::vector<std::string> tokens;
  {
    std::istringstream row(linesOf(good).at(static_cast<std::size_t>(firstPointLine - 1)));
    for (std::string token; row >> token;) tokens.push_back(token);
  }
  tokens.at(2 * static_cast<std::size_t>(camera) + 1) = "-1";
  std::string halfView;
  for (const std::string& token : tokens) halfView += token + " ";

  struct Case {
    std::string name;
    std::optional<std::string> data;  // written to set.lc; none: no data file
    std::vector<std::string> arguments;
    int status;
    std::vector<std::string> stderrHas;
    std::optional<std::string> input = std::nullopt;
  };
  const std::vector<std::string> run0 = {"--data", "set.lc", "--algorithm", "0"};
  std::vector<Case> cases = {
      {"missing data file", std::nullopt, run0, 129, {"open file error\n", "set.lc"}},
      {"wrong header ID",
       withLine(good, 1, "Rome_is_not_built_in_one_day!"),
       run0,
       128,
       {"Wrong file format!! \n The first line of the dinosaur.lcdata file must be "
        "Jingle_bells,_jingle_bells,_Jingle_all_the_way!\n",
        line(1)}},
      {"negative point count", withLine(good, 3, "-4983"), run0, 128, {line(3), "non-negative"}},
      {"file ends among the points",
       firstLines(good, firstPointLine + 2),
       run0,
       128,
       {line(firstPointLine + 3), "end of the file"}},
      // 2e9 points claimed by a file of a few kilobytes: refused, not allocated.
      {"huge point count",
       withLine(good, 3, "2000000000"),
       run0,
       128,
       {"of 2000000000", "end of the file"}},
      {"view with one coordinate -1",
       withLine(good, firstPointLine, halfView),
       run0,
       128,
       {line(firstPointLine), "camera " + std::to_string(camera)}},
      {"input ends at the menu", good, {"--data", "set.lc"}, 1, {"no algorithm key"}, ""},
      {"missing output folder",
       good,
       {"--data", "set.lc", "--algorithm", "0", "--output-dir", "no-such-dir"},
       3,
       {"no-such-dir"}},
      {"unknown option", good, {"--bogus"}, 2, {"sennic: unknown option '--bogus'"}},
  };
  if (unavailableKey) {
    cases.push_back({"algorithm not available",
                     good,
                     {"--data", "set.lc", "--algorithm", *unavailableKey},
                     1,
                     {"is not available"}});
  }

  for (std::size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(c.name);
    const fs::path folder = newFolder("case" + std::to_string(i));
    if (c.data) writeFile(folder / "set.lc", *c.data);
    const ChildResult run = sennic(folder, c.arguments, c.input);
    testing::expectFailure(run, c.status, c.stderrHas);
    EXPECT_TRUE(reportFilesIn(folder).empty()) << "a failed run left a report file";
  }
}

// ---- Real data ----------------------------------------------------------------------------------

// Every key that has a solver in this build, on the Dinosaur sequence, one test per key: the run
// completes, both reports keep their formats, the counts are the data set's.
class SennicOnDinosaur : public SennicProgram,
                         public ::testing::WithParamInterface<const MenuEntry*> {};

std::vector<const MenuEntry*> keysWithASolver() {
  std::vector<const MenuEntry*> entries;
  for (const MenuEntry& entry : sennicMenu()) {
    if (entry.solver != nullptr) entries.push_back(&entry);
  }
  return entries;
}

TEST_P(SennicOnDinosaur, RunsToTheEndWithWellFormedReports) {
  const char* dataDir = std::getenv("TESSMARK_DATA_DIR");
  const fs::path data = fs::path(dataDir != nullptr ? dataDir : "") / kDefaultDataFile;
  if (dataDir == nullptr || !fs::exists(data)) GTEST_SKIP() << "data file not found: " << data;
  const ProblemShape shape = shapeOf(readFile(data));
  ASSERT_EQ(shape.allCameraNum, 36);
  ASSERT_EQ(shape.pointNum, 4983);
  ASSERT_EQ(shape.maxViews(), 21);

  const MenuEntry& entry = *GetParam();
  const char key = entry.key == std::string("other") ? 'q' : entry.key[0];
#ifndef NDEBUG
  // A minute or more per key unoptimised under the sanitizers: key 0 stands for the program's side
  // there, the solvers' own tests cover the rest.
  if (key != '0')
    GTEST_SKIP() << "runs of the whole real data set per key are for optimised builds";
#endif
  // The keystroke from a pipe, in a folder that holds the data set under its own name. A whole run
  // may take a while in a sanitizer build on a busy machine.
  const fs::path folder = newFolder("run");
  fs::copy_file(data, folder / kDefaultDataFile);
  const ChildResult run = sennic(folder, {}, std::string(1, key), std::chrono::seconds{600});
  ASSERT_TRUE(run.exited && run.status == 0) << describe(run);
  Reports reports;
  checkReports(folder, shape, key, entry.selectedName, reports);
  if (HasFatalFailure()) return;
  checkConsole(run, shape, key, entry.selectedName, reports, false);
  EXPECT_LE(reports.results.sumReprojError_f, reports.results.sumReprojError_m);
}

INSTANTIATE_TEST_SUITE_P(Keys, SennicOnDinosaur, ::testing::ValuesIn(keysWithASolver()),
                         [](const ::testing::TestParamInfo<const MenuEntry*>& info) {
                           return std::string("key_") + info.param->key;
                         });

}  // namespace
}  // namespace tessmark
