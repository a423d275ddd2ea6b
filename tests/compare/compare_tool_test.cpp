// tessmark-compare as a script runs it: its command line, the files it writes, what it refuses,
// and its plots.
#include "compare/compare_tool.hpp"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <optional>
#include <regex>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "compare/csv.hpp"
#include "compare/plots.hpp"
#include "compare/progress.hpp"
#include "tests/compare/csv_reader.hpp"
#include "tests/support/bzip2_text.hpp"
#include "tests/support/child_process.hpp"
#include "tests/support/program_output.hpp"

namespace tessmark {
namespace {

namespace fs = std::filesystem;
using testing::ChildResult;
using testing::describe;
using testing::parseCsv;
using testing::readFile;
using testing::runChild;
using testing::writeFile;

const std::string kCompare = TESSMARK_COMPARE;
using Table = std::vector<std::vector<std::string>>;

// ---- Command line -------------------------------------------------------------------------------

TEST(CompareCommandLine, OptionsAndTheFormatTheNameSuggests) {
  struct Case {
    std::vector<const char*> arguments;
    DataFormat format;
    std::string keys = "0123456789other";
    std::string outputDir = ".";
    int threads = 0;
    int repeat = 1;
    PointSolverOptions solver{};
  };
  const Case cases[] = {
      {{"p.txt"}, DataFormat::plainBal},
      {{"problem-49-7776-pre.txt.bz2"}, DataFormat::plainBal},
      {{"dinosaur.lc"}, DataFormat::lc},
      {{"dinosaur.lc.bz2"}, DataFormat::lc},
      {{"--format", "bal", "set.lc"}, DataFormat::plainBal},
      {{"--format=lc", "set.txt"}, DataFormat::lc},
      {{"--keys", "other20", "p.txt"}, DataFormat::plainBal, "other20"},
      {{"p.txt", "--keys=5", "--out", "o"}, DataFormat::plainBal, "5", "o"},
      {{"--out=a/b", "p.txt"}, DataFormat::plainBal, "0123456789other", "a/b"},
      {{"--threads", "2", "--repeat=5", "p.txt"},
       DataFormat::plainBal,
       "0123456789other",
       ".",
       2,
       5},
      {{"--threads=256", "--repeat", "1000", "p.txt"},
       DataFormat::plainBal,
       "0123456789other",
       ".",
       256,
       1000},
      {{"--tolerance", "1e-6", "--relative-tolerance=0.5", "--loop-cap", "7", "p.txt"},
       DataFormat::plainBal,
       "0123456789other",
       ".",
       0,
       1,
       {1e-6, 0.5, 7}},
      {{"--tolerance=0", "--relative-tolerance", "0", "--loop-cap=2147483647", "p.txt"},
       DataFormat::plainBal,
       "0123456789other",
       ".",
       0,
       1,
       {0.0, 0.0, 2147483647}},
  };
  for (const Case& c : cases) {
    const ParsedCompareLine parsed = parseCompareCommandLine(c.arguments);
    ASSERT_TRUE(parsed.options) << parsed.text;
    EXPECT_EQ(parsed.options->format, c.format) << c.arguments.back();
    EXPECT_EQ(parsed.options->keys, c.keys);
    EXPECT_EQ(parsed.options->outputDir, c.outputDir);
    EXPECT_EQ(parsed.options->run.threads, c.threads);
    EXPECT_EQ(parsed.options->run.repeat, c.repeat);
    EXPECT_EQ(parsed.options->run.solver.tolerance, c.solver.tolerance);
    EXPECT_EQ(parsed.options->run.solver.relativeTolerance, c.solver.relativeTolerance);
    EXPECT_EQ(parsed.options->run.solver.loopCap, c.solver.loopCap);
  }
  const ParsedCompareLine version = parseCompareCommandLine(std::vector<const char*>{"--version"});
  EXPECT_TRUE(version.text.starts_with("tessmark-compare (Tessmark) ")) << version.text;
  EXPECT_NE(version.text.find(", Eigen "), std::string::npos) << version.text;
  const ParsedCompareLine help = parseCompareCommandLine(std::vector<const char*>{"--help"});
  EXPECT_EQ(help.status, 0);
  for (const char* text :
       {"--format bal|lc", "--keys", "--out DIR", "--threads N", "--repeat K", "--tolerance E",
        "--relative-tolerance R", "--loop-cap N", "points.csv", "summary.csv", "cost_profile.png",
        "TESSMARK_PYTHON", "  128 ", "  129 "}) {
    EXPECT_NE(help.text.find(text), std::string::npos) << text;
  }
}

TEST(CompareCommandLine, UsageErrorsGiveStatusTwo) {
  struct Case {
    std::vector<const char*> arguments;
    const char* says;
  };
  const Case cases[] = {
      {{}, "no data file given"},
      {{"--format", "txt", "p.txt"}, "--format needs bal or lc"},
      {{"p.txt", "--format"}, "--format needs bal or lc"},
      {{"--keys", "0a", "p.txt"}, "--keys: unknown key 'a'"},
      {{"--keys=", "p.txt"}, "--keys: no keys given"},
      {{"--keys", "00", "p.txt"}, "--keys: key '0' is named twice"},
      {{"--keys", "0x", "p.txt"}, "--keys: unknown key 'x'"},
      {{"--out", "", "p.txt"}, "--out needs a folder"},
      {{"a.txt", "b.txt"}, "one data file only: 'b.txt'"},
      {{"--bogus", "p.txt"}, "unknown option '--bogus'"},
      {{"--threads", "0", "p.txt"}, "--threads needs a whole number from 1 to 256"},
      {{"--threads=257", "p.txt"}, "--threads needs a whole number from 1 to 256"},
      {{"--threads", "2x", "p.txt"}, "--threads needs a whole number from 1 to 256"},
      {{"--threads=", "p.txt"}, "--threads needs a whole number from 1 to 256"},
      {{"p.txt", "--threads"}, "--threads needs a whole number from 1 to 256"},
      {{"--repeat", "-1", "p.txt"}, "--repeat needs a whole number from 1 to 1000"},
      {{"--repeat=1001", "p.txt"}, "--repeat needs a whole number from 1 to 1000"},
      {{"--repeat", "9999999999", "p.txt"}, "--repeat needs a whole number from 1 to 1000"},
      {{"--loop-cap", "0", "p.txt"}, "--loop-cap needs a whole number from 1 to 2147483647"},
      {{"--tolerance", "-1e-9", "p.txt"}, "--tolerance needs a number of at least 0"},
      {{"--tolerance=nan", "p.txt"}, "--tolerance needs a number of at least 0"},
      {{"--tolerance=inf", "p.txt"}, "--tolerance needs a number of at least 0"},
      {{"--tolerance", "1e-9x", "p.txt"}, "--tolerance needs a number of at least 0"},
      {{"--relative-tolerance", "p.txt"}, "--relative-tolerance needs a number of at least 0"},
  };
  for (const Case& c : cases) {
    const ParsedCompareLine parsed = parseCompareCommandLine(c.arguments);
    EXPECT_FALSE(parsed.options);
    EXPECT_EQ(parsed.status, 2);
    EXPECT_TRUE(parsed.text.starts_with(std::string("tessmark-compare: ") + c.says)) << parsed.text;
    EXPECT_TRUE(parsed.text.ends_with("\nTry 'tessmark-compare --help' for more information.\n"));
    EXPECT_EQ(std::count(parsed.text.begin(), parsed.text.end(), '\n'), 2) << parsed.text;
  }
}

// The progress line fits the terminal; the solver's name gives way before the figures.
TEST(ProgressLine, FitsTheTerminalTheNameGivingWayFirst) {
  std::string error;
  const auto solvers = chooseSolvers(vorlantSolvers(), "0other", error);
  ASSERT_TRUE(solvers);
  struct Case {
    int s, done;
    std::size_t width;
    const char* starts;
    const char* has;
  };
  const Case cases[] = {
      {-1, 0, 120, "starts [....................] 0/7776 points, 0/s, ? left", ""},
      {0, 7776, 120, "[1/2] 0 Newton-Raphson [####################] 7776/7776 points", ""},
      {1, 3888, 200, "[2/2] other Default inexact damped Newton line search",
       "[##########..........]"},
      {1, 3888, 80, "[2/2] other Default", " [##########..........] 3888/7776 points"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.starts);
    const std::string line =
        ProgressBar::line(c.s, *solvers, c.done, 7776, 2.0, c.done > 0 ? 12.0 : NAN, c.width);
    EXPECT_TRUE(line.starts_with(c.starts)) << line;
    EXPECT_NE(line.find(c.has), std::string::npos) << line;
    EXPECT_LT(line.size(), c.width) << line;
    EXPECT_TRUE(line.ends_with(c.done > 0 ? ", 12 s left" : ", ? left")) << line;
  }
}

// ---- Runs ---------------------------------------------------------------------------------------

// A synthetic BAL problem (12 cameras, 40 points) and a .lc set, made once, and a folder per test.
class CompareTool : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    data_ = new testing::TemporaryFolder;
    for (const auto& [maker, name] :
         {std::pair{TESSMARK_MAKE_BAL, "problem.txt"}, std::pair{TESSMARK_MAKE_LC, "set.lc"}}) {
      const ChildResult made = runChild(
          {maker,
           {(data_->path() / name).string(), "--cameras", "12", "--points", "40", "--seed", "7"},
           data_->path()});
      ASSERT_TRUE(made.exited && made.status == 0) << describe(made);
    }
  }
  static void TearDownTestSuite() {
    delete data_;
    data_ = nullptr;
  }
  static std::string balText() { return readFile(data_->path() / "problem.txt"); }
  static std::string lcText() { return readFile(data_->path() / "set.lc"); }

  // No plots but in the test of the plots: they take seconds each.
  void SetUp() override { setenv("TESSMARK_PYTHON", kNoPython, 1); }
  void TearDown() override { unsetenv("TESSMARK_PYTHON"); }
  static constexpr const char* kNoPython = "/nonexistent/python3";

  ChildResult compare(std::vector<std::string> arguments) {
    return runChild({kCompare, std::move(arguments), folder_.path()});
  }
  fs::path in(const std::string& name) const { return folder_.path() / name; }

  testing::TemporaryFolder folder_;
  static testing::TemporaryFolder* data_;
};

testing::TemporaryFolder* CompareTool::data_ = nullptr;

// The tidy files: the header rows, one row per (point, solver) and per solver, every field where
// it belongs, numbers that read as numbers; the console table lists every solver.
TEST_F(CompareTool, WritesTidyFilesAndATable) {
  writeFile(in("problem.txt"), balText());
  const ChildResult run = compare({"--out", "out", "problem.txt"});
  ASSERT_TRUE(run.exited && run.status == 0) << describe(run);

  const Table points = parseCsv(readFile(in("out/points.csv")));
  ASSERT_EQ(points.size(), 1u + 11u * 40u);
  EXPECT_EQ(points[0],
            std::vector<std::string>(std::begin(kPointColumns), std::end(kPointColumns)));
  std::set<std::string> names;
  for (std::size_t r = 1; r < points.size(); ++r) {
    const std::vector<std::string>& row = points[r];
    ASSERT_EQ(row.size(), std::size(kPointColumns)) << "row " << r;
    const std::size_t s = (r - 1) / 40;
    EXPECT_EQ(row[0], std::to_string((r - 1) % 40 + 1));
    EXPECT_EQ(row[2], kMenuKeys[s]);
    EXPECT_EQ(row[3], vorlantMenu()[s].selectedName);
    names.insert(row[3]);
    for (const std::size_t column : {5, 6, 16, 17, 18}) {
      EXPECT_TRUE(row[column] == "true" || row[column] == "false") << row[column];
    }
    for (const std::size_t column : {7, 8, 9, 12, 13, 14, 15, 19, 20, 21, 22}) {
      char* end = nullptr;
      std::strtod(row[column].c_str(), &end);
      EXPECT_EQ(*end, '\0') << kPointColumns[column] << ": '" << row[column] << "'";
    }
  }
  EXPECT_EQ(names.size(), 11u);

  // The LaTeX table beside it (its form has tests of its own): a row per solver.
  const std::string table = readFile(in("out/summary.tex"));
  EXPECT_NE(table.find("\\midrule\n0 & Newton-Raphson & "), std::string::npos) << table;
  EXPECT_NE(table.find("\nother & Default inexact"), std::string::npos) << table;

  const Table summary = parseCsv(readFile(in("out/summary.csv")));
  ASSERT_EQ(summary.size(), 12u);
  EXPECT_EQ(summary[0],
            std::vector<std::string>(std::begin(kSummaryColumns), std::end(kSummaryColumns)));
  for (std::size_t s = 0; s < 11; ++s) {
    EXPECT_EQ(summary[s + 1][0], kMenuKeys[s]);
    EXPECT_EQ(summary[s + 1][2], "40");
  }

  const std::vector<std::string> rows = testing::linesStartingWith(run.out, "other Default");
  EXPECT_EQ(rows.size(), 1u) << run.out;
  EXPECT_NE(run.out.find("vorlant's solvers and rules"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("12 cameras, 40 points"), std::string::npos) << run.out;
  EXPECT_EQ(run.err, "") << "no progress bar without a terminal";
}

// The rows without the columns that hold times.
Table withoutTimes(Table table) {
  for (std::vector<std::string>& row : table) {
    row.erase(row.begin() + 19, row.begin() + 21);  // start_seconds, solve_seconds
    row.pop_back();                                 // time_ratio
  }
  return table;
}

// The public formats as distributed give the results of the header-ID file; an .lc set is read by
// its name or by --format.
TEST_F(CompareTool, HeaderlessAndCompressedFilesGiveTheSameResults) {
  const std::string plain = balText().substr(balText().find('\n') + 1);
  struct Case {
    const char* name;
    std::string bytes;
    std::vector<std::string> options;
  };
  const Case cases[] = {
      {"problem.txt", balText(), {}},
      {"plain.txt", plain, {}},
      {"plain.txt.bz2", testing::bzip2Compressed(plain), {}},
      {"header.txt.bz2", testing::bzip2Compressed(balText(), 1), {"--format", "bal"}},
  };
  std::optional<Table> first;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    writeFile(in(c.name), c.bytes);
    std::vector<std::string> arguments = {"--keys", "026other", "--out",
                                          std::string(c.name) + ".out"};
    arguments.insert(arguments.end(), c.options.begin(), c.options.end());
    arguments.push_back(c.name);
    const ChildResult run = compare(arguments);
    ASSERT_TRUE(run.exited && run.status == 0) << describe(run);
    const Table table =
        withoutTimes(parseCsv(readFile(in(std::string(c.name) + ".out/points.csv"))));
    ASSERT_EQ(table.size(), 1u + 4u * 40u);
    if (!first) first = table;
    EXPECT_EQ(table, *first);
  }

  for (const auto& [name, options] :
       {std::pair<std::string, std::vector<std::string>>{"set.lc", {}},
        {"set.lc.bz2", {}},
        {"set.txt", {"--format", "lc"}}}) {
    SCOPED_TRACE(name);
    writeFile(in(name), name.ends_with(".bz2") ? testing::bzip2Compressed(lcText()) : lcText());
    std::vector<std::string> arguments = {"--keys", "1other", "--out", name + ".out"};
    arguments.insert(arguments.end(), options.begin(), options.end());
    arguments.push_back(name);
    const ChildResult run = compare(arguments);
    ASSERT_TRUE(run.exited && run.status == 0) << describe(run);
    EXPECT_NE(run.out.find("sennic's solvers and rules"), std::string::npos) << run.out;
    EXPECT_EQ(parseCsv(readFile(in(name + ".out/summary.csv"))).size(), 3u);
  }
}

// The table without the columns of these names (and with the header row it had).
Table withoutColumns(Table table, std::initializer_list<std::string_view> names) {
  for (const std::string_view name : names) {
    const auto column = std::find(table.at(0).begin(), table.at(0).end(), name);
    EXPECT_NE(column, table[0].end()) << name;
    const auto c = column - table[0].begin();
    for (std::vector<std::string>& row : table) row.erase(row.begin() + c);
  }
  return table;
}

// The lines of `text` with every match of `pattern` replaced by "#".
std::string masked(const std::string& text, const std::regex& pattern) {
  return std::regex_replace(text, pattern, "#");
}

// The files and the tables a comparison writes are the same on one thread as on two, and with
// each solve run three times, apart from the figures that are times: the CSV columns of times
// and the microseconds per point of the LaTeX and console tables.
TEST_F(CompareTool, SameFilesWhateverTheThreadsApartFromTimes) {
  // Enough points for many chunks of the parallel driver; fewer in a Debug build (the sanitizer
  // run), where Gauss-Newton's capped runs would take minutes on 700.
#ifdef NDEBUG
  const char* const points = "700";
#else
  const char* const points = "150";
#endif
  for (const auto& [maker, name] :
       {std::pair{TESSMARK_MAKE_BAL, "large.txt"}, std::pair{TESSMARK_MAKE_LC, "large.lc"}}) {
    SCOPED_TRACE(name);
    const ChildResult made =
        runChild({maker, {in(name).string(), "--points", points, "--seed", "3"}, folder_.path()});
    ASSERT_TRUE(made.exited && made.status == 0) << describe(made);
    const std::string one = std::string(name) + ".one";
    const std::string two = std::string(name) + ".two";
    const ChildResult oneRun = compare({"--threads", "1", "--out", one, name});
    const ChildResult twoRun = compare({"--threads=2", "--repeat", "3", "--out", two, name});
    ASSERT_TRUE(oneRun.exited && oneRun.status == 0) << describe(oneRun);
    ASSERT_TRUE(twoRun.exited && twoRun.status == 0) << describe(twoRun);
    EXPECT_NE(oneRun.out.find("  solvers: 0123456789other, on 1 thread\n"), std::string::npos)
        << oneRun.out;
    EXPECT_NE(twoRun.out.find("  solvers: 0123456789other, on 2 threads, each solve timed 3 times "
                              "(the shortest kept)\n"),
              std::string::npos)
        << twoRun.out;

    const auto points = [&](const std::string& folder) {
      return withoutColumns(parseCsv(readFile(in(folder) / "points.csv")),
                            {"start_seconds", "solve_seconds", "time_ratio"});
    };
    EXPECT_EQ(points(one), points(two));
    const auto summary = [&](const std::string& folder) {
      return withoutColumns(parseCsv(readFile(in(folder) / "summary.csv")),
                            {"solve_seconds", "pass_seconds", "us_per_point"});
    };
    EXPECT_EQ(summary(one), summary(two));
    // The last column of every row of a solver, before the rule at its end.
    const std::regex latexTime(R"( & [0-9.]+ \\\\\n)");
    EXPECT_EQ(masked(readFile(in(one) / "summary.tex"), latexTime),
              masked(readFile(in(two) / "summary.tex"), latexTime));
    // The console's tables, from the first one's head to the line of the times; the last column
    // of the first one is the microseconds per point.
    const auto tables = [](const std::string& out) {
      const std::size_t from = out.find("key ");
      const std::size_t second = out.find("\n  cost ratio");
      const std::size_t to = out.find("\n  starts: ");
      EXPECT_TRUE(from < second && second < to && to != std::string::npos) << out;
      return masked(out.substr(from, second - from), std::regex(R"( +[0-9.]+\n)")) +
             out.substr(second, to - second);
    };
    EXPECT_EQ(tables(oneRun.out), tables(twoRun.out));
  }
}

// Bad input is refused with the file, the line and what was expected, and nothing is written: the
// output folder is not created, or stays as it was.
TEST_F(CompareTool, BadInputIsRefusedBeforeAnythingIsWritten) {
  const std::string compressed = testing::bzip2Compressed(balText());
  const std::string& good = balText();
  const std::size_t secondLine = good.find('\n') + 1;
  struct Case {
    const char* name;
    const char* dataName;
    std::optional<std::string> bytes;
    std::vector<std::string> options;
    int status;
    std::vector<std::string> stderrHas;
  };
  const Case cases[] = {
      {"missing file",
       "problem.txt",
       std::nullopt,
       {},
       129,
       {"tessmark-compare: problem.txt: No such file or directory"}},
      {"short counts line",
       "problem.txt",
       good.substr(0, secondLine) + "12 40\n" + good.substr(good.find('\n', secondLine) + 1),
       {},
       128,
       {"problem.txt:2: expected 3 values"}},
      {"file ends early",
       "problem.txt",
       good.substr(0, good.size() / 3),
       {},
       128,
       {"problem.txt:", "found the end of the file"}},
      {"truncated .bz2",
       "problem.txt.bz2",
       compressed.substr(0, compressed.size() - 20),
       {},
       128,
       {"problem.txt.bz2: expected a bzip2 stream", "(a truncated file)"}},
      {"corrupt .bz2",
       "problem.txt.bz2",
       compressed.substr(0, 10) + "xxxxxxxx" + compressed.substr(18),
       {},
       128,
       {"problem.txt.bz2: expected a bzip2 stream"}},
      {"an .lc set read as BAL",
       "set.txt",
       lcText(),
       {},
       128,
       {"set.txt:1: expected the header ID 'Rome_is_not_built_in_one_day!' or the counts line"}},
      {"a BAL file read as .lc", "problem.lc", good, {}, 128, {"problem.lc:1:"}},
      {"output folder in a missing folder",
       "problem.txt",
       good,
       {"--out", "no/such/dir"},
       3,
       {"cannot write into 'no/such/dir'"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path folder = in(std::string("case-") + c.dataName);
    fs::remove_all(in(c.dataName));
    if (c.bytes) writeFile(in(c.dataName), *c.bytes);
    const std::string out = c.options.empty() ? "out" : c.options.back();
    std::vector<std::string> arguments =
        c.options.empty() ? std::vector<std::string>{"--out", "out"} : c.options;
    arguments.push_back(c.dataName);
    const ChildResult run = compare(arguments);
    testing::expectFailure(run, c.status, c.stderrHas);
    EXPECT_FALSE(fs::exists(in(out))) << "the output folder was created";
    EXPECT_EQ(run.out, "") << "nothing is reported before the input is read";

    // An existing output folder stays empty.
    fs::create_directory(in("kept"));
    std::vector<std::string> kept = {"--out", "kept", c.dataName};
    if (c.status != 3) {
      testing::expectFailure(compare(kept), c.status, c.stderrHas);
      EXPECT_TRUE(fs::is_empty(in("kept")));
    }
  }
}

// A folder named with a trailing slash is created like the same name without it, and one whose
// name begins with a dash is handed to the plotting script after "--", so that the script cannot
// take it for an option (a stand-in interpreter notes the folder it is given and refuses a call
// without the "--"); the note without an interpreter names it as "./-name".
TEST_F(CompareTool, FolderNamesWithATrailingSlashOrALeadingDash) {
  writeFile(in("problem.txt"), balText());
  const fs::path python = in("python");
  writeFile(python,
            "#!/bin/sh\n"
            "[ \"$1\" = -c ] && exit 0\n"
            "cat >/dev/null\n"
            "shift 2\n"
            "[ \"$1\" = -- ] || exit 2\n"
            "printf '%s\\n' \"$2\" >\"$(dirname \"$0\")/folder.txt\"\n"
            "[ -f \"$2/points.csv\" ]\n");
  fs::permissions(python, fs::perms::owner_all);
  struct Case {
    std::string out;
    const char* folder;    // where the files go, from the test's folder
    const char* argument;  // the script's folder argument, after "--"
    const char* noted;     // the folder as the note without an interpreter names it
  };
  const Case cases[] = {
      {"fresh/", "fresh", "fresh/", "fresh/"},
      {"again//", "again", "again//", "again//"},
      {"-h", "-h", "-h", "./-h"},
      {"--version", "--version", "--version", "./--version"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.out);
    setenv("TESSMARK_PYTHON", python.c_str(), 1);
    const ChildResult run = compare({"--keys", "0", "--out", c.out, "problem.txt"});
    ASSERT_TRUE(run.exited && run.status == 0) << describe(run);
    EXPECT_TRUE(fs::exists(in(c.folder) / "points.csv"));
    EXPECT_TRUE(fs::exists(in(c.folder) / "summary.csv"));
    EXPECT_EQ(readFile(in("folder.txt")), std::string(c.argument) + "\n");

    setenv("TESSMARK_PYTHON", kNoPython, 1);
    const ChildResult note = compare({"--keys", "0", "--out", c.out, "problem.txt"});
    ASSERT_TRUE(note.exited && note.status == 0) << describe(note);
    EXPECT_NE(note.out.find(std::string("scripts/plot_comparison.py ") + c.noted + "\n"),
              std::string::npos)
        << note.out;
  }
  // A trailing slash does not make a missing parent folder exist.
  const ChildResult missing = compare({"--out", "no/such/", "problem.txt"});
  testing::expectFailure(missing, 3, {"cannot write into 'no/such/'"});
}

// The pictures when matplotlib is there (CI installs it), and a one-line note and the CSV files
// when it is not; pictures of an earlier comparison in the folder do not stay behind.
TEST_F(CompareTool, DrawsThePlotsOrSaysHowToGetThem) {
  writeFile(in("problem.txt"), balText());
  fs::create_directory(in("without"));
  writeFile(in("without") / kPlotFiles[0], "a picture of an earlier comparison");
  const ChildResult without = compare({"--keys", "02", "--out", "without", "problem.txt"});
  ASSERT_TRUE(without.exited && without.status == 0) << describe(without);
  const std::vector<std::string> note = testing::linesStartingWith(without.out, "  no plots:");
  ASSERT_EQ(note.size(), 1u) << without.out;
  EXPECT_NE(note[0].find("python3-matplotlib"), std::string::npos);
  EXPECT_NE(note[0].find("scripts/plot_comparison.py without"), std::string::npos);
  EXPECT_TRUE(fs::exists(in("without/points.csv")));
  EXPECT_TRUE(fs::exists(in("without/summary.csv")));
  for (const char* file : kPlotFiles) EXPECT_FALSE(fs::exists(in("without") / file)) << file;

  unsetenv("TESSMARK_PYTHON");
  if (findPlottingPython().empty()) GTEST_SKIP() << "no Python with matplotlib on this machine";
  // A folder whose name begins with a dash is the script's folder, not an option of it.
  const ChildResult with = compare({"--keys", "02other", "--out=-with", "problem.txt"});
  ASSERT_TRUE(with.exited && with.status == 0) << describe(with);
  for (const char* file : kPlotFiles) {
    SCOPED_TRACE(file);
    const std::string bytes = readFile(in("-with") / file);
    const std::string_view name = file;
    const std::string_view start = name.ends_with(".png")   ? "\x89PNG\r\n\x1a\n"
                                   : name.ends_with(".pdf") ? "%PDF-"
                                                            : "<?xml";
    EXPECT_TRUE(bytes.starts_with(start));
    if (name.ends_with(".svg")) {
      EXPECT_NE(bytes.find("<svg"), std::string::npos);
    }
    EXPECT_GT(bytes.size(), 10000u);
  }
  EXPECT_EQ(testing::linesStartingWith(with.out, "  drawing the figures into -with").size(), 1u)
      << with.out;
  EXPECT_EQ(testing::linesStartingWith(with.out, "  drew -with/cost_profile, ").size(), 1u)
      << with.out;
}

}  // namespace
}  // namespace tessmark
