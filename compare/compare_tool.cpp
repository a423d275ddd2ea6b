#include "compare/compare_tool.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <initializer_list>
#include <iomanip>
#include <iostream>
#include <limits>
#include <new>
#include <optional>
#include <string_view>

#include "compare/comparison.hpp"
#include "compare/csv.hpp"
#include "compare/latex.hpp"
#include "compare/plots.hpp"
#include "compare/progress.hpp"
#include "compare/summary.hpp"
#include "console/command_line.hpp"
#include "console/option_table.hpp"
#include "console/stopwatch.hpp"
#include "dataset/parallel_points.hpp"
#include "input/input_error.hpp"

namespace tessmark {

namespace {

constexpr const char* kName = "tessmark-compare";

std::string usageError(const std::string& problem) {
  return std::string(kName) + ": " + problem + "\nTry '" + kName +
         " --help' for more information.\n";
}

// The pieces one after the other (a string built by append: GCC 12 warns falsely of overlapping
// copies in chains of operator+ that start from a literal).
std::string joinedText(std::initializer_list<std::string_view> pieces) {
  std::string text;
  for (const std::string_view piece : pieces) text.append(piece);
  return text;
}

// The options that take a whole number from 1 to `most`, and the field it goes into.
struct CountOption {
  std::string_view name;
  std::string_view value;  // its value's name in the usage ("N")
  const char* help;
  int most;
  int& (*field)(CompareOptions&);
};
constexpr CountOption kCountOptions[] = {
    {"--threads", "N",
     "share the points out to N threads (default: one per core); the results are\nthe same "
     "whatever N, only the times differ",
     kMostCompareThreads, [](CompareOptions& o) -> int& { return o.run.threads; }},
    {"--repeat", "K",
     "run each point's solve K times and keep the shortest time (default: 1);\nthe results are "
     "those of every run",
     kMostCompareRepeats, [](CompareOptions& o) -> int& { return o.run.repeat; }},
};

// The options that take a finite number >= 0, and the field it goes into.
struct ToleranceOption {
  std::string_view name;
  std::string_view value;
  const char* help;
  double& (*field)(CompareOptions&);
};
constexpr ToleranceOption kToleranceOptions[] = {
    {"--tolerance", "E", "the solvers' stopping tolerance (default: 1e-12, as the programs')",
     [](CompareOptions& o) -> double& { return o.run.solver.tolerance; }},
    {"--relative-tolerance", "R",
     "stop at R times the start's cost where that is larger than E (default: 0)",
     [](CompareOptions& o) -> double& { return o.run.solver.relativeTolerance; }},
};

// The loop cap, a whole number from 1 on.
constexpr CountOption kLoopCapOption{
    "--loop-cap", "N", "every solver's loop cap in place of its own (default: its own)",
    std::numeric_limits<int>::max(),
    [](CompareOptions& o) -> int& { return o.run.solver.loopCap; }};

// `value` as a number of type T when it is all of it and within [least, most].
template <typename T>
std::optional<T> numberArgument(std::string_view value, T least, T most) {
  T number{};
  const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), number);
  if (value.empty() || error != std::errc() || end != value.data() + value.size() ||
      !(number >= least && number <= most)) {
    return std::nullopt;
  }
  return number;
}

// --format's names of the formats it reads.
const char* formatName(DataFormat format) { return format == DataFormat::lc ? "lc" : "bal"; }

std::string joined(const std::string& folder, const char* name) {
  return (std::filesystem::path(folder) / name).string();
}

int failInput(const InputError& error) {
  std::cerr << kName << ": " << error.what() << "\n";
  return error.kind == InputError::Kind::cannotOpen ? kCompareExitCannotOpen
                                                    : kCompareExitMalformed;
}

void describeData(const CompareOptions& options, const DataSet& data, const SolverProgram& rules) {
  std::cout << kName << ": " << options.dataFile << " (" << formatName(options.format) << ", "
            << rules.name << "'s solvers and rules)\n"
            << "  " << data.cameraNum << " cameras, " << data.pointNum << " points";
  if (options.format != DataFormat::lc) {
    std::cout << ", " << data.imageCoordinates << " observations";
  }
  std::cout << ", at most " << data.maxViewNum << " views per point\n"
            << std::setprecision(6) << "  loading " << data.loadingSeconds << " s, indexing "
            << data.indexingSeconds << " s, pretreating " << data.pretreatingSeconds << " s\n";
  for (const int camera : data.rankDeficientCameras) {
    std::cout << "  note: camera " << camera
              << " is no perspective camera (its left 3x3 block has a zero third row); the points "
                 "it sees come out non-finite\n";
  }
}

}  // namespace

namespace {

constexpr ExitStatusLine kExitStatuses[] = {
    {kCompareExitDone, "the files were written (and the plots drawn, or skipped with a note)"},
    {kCompareExitUnavailable, "a chosen key's solver is not available in this build"},
    {kCompareExitUsage, "the command line is wrong"},
    {kCompareExitOutput, "the output folder or a file in it cannot be written"},
    {kCompareExitOutOfMemory, "memory ran out"},
    {kCompareExitPlots, "matplotlib was found but the plots could not be drawn"},
    {kCompareExitMalformed, "the data file is not in the expected format"},
    {kCompareExitCannotOpen, "the data file cannot be opened"},
};

// The comparison's command line; the setters fill `options` and `formatGiven`.
OptionTable optionTable(CompareOptions& options, bool& formatGiven) {
  using Kind = OptionRow::Kind;
  OptionTable table;
  table.program = kName;
  table.wrong = usageError;
  table.widestLabel = 15;  // "--format bal|lc"; the longer names put their help on the next line
  table.usageWidth = 100;
  table.rows.push_back(
      {.kind = Kind::value,
       .name = "--format",
       .synopsis = "[--format bal|lc]",
       .label = "--format bal|lc",
       .help = "bal: a BAL problem, with or without the header-ID line, judged by vorlant's\n"
               "solvers and rules; lc: a .lc data set, by sennic's (default: lc for a name\n"
               "ending in .lc or .lc.bz2, bal otherwise). A name ending in .bz2 is\n"
               "decompressed as it is read.",
       .needs = "--format needs bal or lc",
       .set = [&](std::string_view value) -> std::string {
         if (value != "bal" && value != "lc") return "--format needs bal or lc";
         options.format = value == "lc" ? DataFormat::lc : DataFormat::plainBal;
         formatGiven = true;
         return "";
       }});
  table.rows.push_back({.kind = Kind::value,
                        .name = "--keys",
                        .synopsis = "[--keys KEYS]",
                        .label = "--keys KEYS",
                        .help = "the solvers by their menu keys, in this order (default: " +
                                allMenuKeys() + ";\n" + std::string(kMenuKeys[kDefaultRow]) +
                                " is the row that any other keystroke selects)",
                        .needs = "--keys needs keys",
                        .set = [&](std::string_view value) -> std::string {
                          if (std::string problem; !menuRowsOfKeys(value, problem)) {
                            return "--keys: " + problem;
                          }
                          options.keys = value;
                          return "";
                        }});
  table.rows.push_back({.kind = Kind::value,
                        .name = "--out",
                        .synopsis = "[--out DIR]",
                        .label = "--out DIR",
                        .help = "write the files into DIR (default: the current directory); DIR "
                                "is created\nwhen missing, once the data file has been read",
                        .needs = "--out needs a folder",
                        .set = [&](std::string_view value) -> std::string {
                          if (value.empty()) return "--out needs a folder";
                          options.outputDir = value;
                          return "";
                        }});
  const auto countRow = [&options](const CountOption& count) -> OptionRow {
    const std::string problem =
        joinedText({count.name, " needs a whole number from 1 to ", std::to_string(count.most)});
    return {.kind = Kind::value,
            .name = count.name,
            .synopsis = joinedText({"[", count.name, " ", count.value, "]"}),
            .label = joinedText({count.name, " ", count.value}),
            .help = count.help,
            .needs = problem,
            .set = [&options, &count, problem](std::string_view value) -> std::string {
              const std::optional<int> number = numberArgument(value, 1, count.most);
              if (!number) return problem;
              count.field(options) = *number;
              return "";
            }};
  };
  for (const CountOption& count : kCountOptions) table.rows.push_back(countRow(count));
  for (const ToleranceOption& tolerance : kToleranceOptions) {
    const std::string problem = joinedText({tolerance.name, " needs a number of at least 0"});
    table.rows.push_back(
        {.kind = Kind::value,
         .name = tolerance.name,
         .synopsis = joinedText({"[", tolerance.name, " ", tolerance.value, "]"}),
         .label = joinedText({tolerance.name, " ", tolerance.value}),
         .help = tolerance.help,
         .needs = problem,
         .set = [&options, &tolerance, problem](std::string_view value) -> std::string {
           const std::optional<double> number =
               numberArgument(value, 0.0, std::numeric_limits<double>::max());
           if (!number) return problem;
           tolerance.field(options) = *number;
           return "";
         }});
  }
  table.rows.push_back(countRow(kLoopCapOption));
  table.rows.push_back(helpRow(true, compareUsageText));
  table.rows.push_back(versionRow(kName));
  table.rows.push_back({.kind = Kind::positional,
                        .synopsis = "DATAFILE",
                        .set = [&](std::string_view argument) -> std::string {
                          if (argument.empty()) return "unknown option ''";
                          if (!options.dataFile.empty()) {
                            return "one data file only: '" + std::string(argument) + "'";
                          }
                          options.dataFile = argument;
                          return "";
                        }});
  return table;
}

}  // namespace

std::string compareUsageText() {
  CompareOptions options;
  bool formatGiven = false;
  const OptionTable table = optionTable(options, formatGiven);
  return usageLine(table) +
         "\n"
         "Loads DATAFILE once, runs every chosen solver of the program's menu on every point from "
         "the\nsame symmedian start, judges each result by that program's rules, and writes a "
         "table to the\nconsole, DIR/points.csv (one row per point and solver), DIR/summary.csv "
         "(one row per solver)\nwith its LaTeX table DIR/summary.tex and, when Python can import "
         "matplotlib, the performance\nprofiles DIR/cost_profile.png and DIR/time_profile.png and "
         "the loop histograms DIR/loops.png\n(each also as .pdf and .svg).\n\n"
         "Options:\n" +
         optionList(table) +
         "\nEnvironment: TESSMARK_PYTHON names the Python interpreter for the plots (default: "
         "python3,\nthen /usr/bin/python3).\n\n" +
         exitStatusList(kExitStatuses);
}

ParsedCompareLine parseCompareCommandLine(std::span<const char* const> arguments) {
  CompareOptions options;
  bool formatGiven = false;
  const OptionReading reading = readOptions(optionTable(options, formatGiven), arguments);
  switch (reading.outcome) {
    case OptionReading::Outcome::proceed:
      break;
    case OptionReading::Outcome::show:
      return {std::nullopt, reading.text, kCompareExitDone};
    case OptionReading::Outcome::wrong:
      return {std::nullopt, reading.text, kCompareExitUsage};
  }
  if (options.dataFile.empty()) {
    return {std::nullopt, usageError("no data file given"), kCompareExitUsage};
  }
  if (!formatGiven) options.format = formatOfName(options.dataFile);
  return {options, {}, kCompareExitDone};
}

std::string compareOutputProblem(const std::string& outputDir) {
  struct stat status {};
  if (stat(outputDir.c_str(), &status) == 0) {
    if (!S_ISDIR(status.st_mode)) return "not a folder";
    if (access(outputDir.c_str(), W_OK | X_OK) != 0) return std::strerror(errno);
    return "";
  }
  if (errno != ENOENT) return std::strerror(errno);
  // The folder it would be created in: "fresh/" is created in ".", as "fresh" is.
  std::string name = outputDir;
  while (name.size() > 1 && name.back() == '/') name.pop_back();
  std::filesystem::path parent = std::filesystem::path(name).parent_path();
  if (parent.empty()) parent = ".";
  if (stat(parent.c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) {
    return "missing, and so is the folder it would be created in";
  }
  if (access(parent.c_str(), W_OK | X_OK) != 0) {
    return std::string("missing, and cannot be created: ") + std::strerror(errno);
  }
  return "";
}

namespace {

int runComparison(const CompareOptions& options) {
  const SolverProgram& rules = describe(options.format).rules();
  std::string error;
  const auto solvers = chooseSolvers(rules, options.keys, error);
  if (!solvers) {
    std::cerr << kName << ": " << error << "\n";
    return kCompareExitUnavailable;
  }

  // The input, read completely before anything is written.
  DataSet set;
  try {
    set = loadDataSet(options.dataFile, options.format);
  } catch (const InputError& failure) {
    return failInput(failure);
  }
  describeData(options, set, rules);
  std::cout << "  solvers: " << options.keys << ", on " << workerCount(options.run.threads)
            << (workerCount(options.run.threads) == 1 ? " thread" : " threads");
  if (options.run.repeat > 1) {
    std::cout << ", each solve timed " << options.run.repeat << " times (the shortest kept)";
  }
  const PointSolverOptions& stopping = options.run.solver;
  if (stopping.tolerance != PointSolverOptions{}.tolerance || stopping.relativeTolerance != 0 ||
      stopping.loopCap != 0) {
    std::cout << "\n  stopping: tolerance " << stopping.tolerance << ", relative tolerance "
              << stopping.relativeTolerance << ", loop cap ";
    if (stopping.loopCap == 0) {
      std::cout << "each solver's own";
    } else {
      std::cout << stopping.loopCap;
    }
  }
  std::cout << "\n" << std::flush;

  Stopwatch wholeWatch;
  wholeWatch.start();
  Comparison comparison;
  {
    ProgressBar bar(stderr, *solvers, set.pointNum);
    comparison = compareSolvers(
        set, rules, *solvers, [&bar](int s, int done) { bar.update(s, done); }, options.run);
  }
  wholeWatch.stop();
  const std::vector<SolverSummary> summaries = summarize(comparison);

  std::cout << "\n";
  writeSummaryTable(std::cout, comparison, summaries);
  std::cout << std::fixed << std::setprecision(3) << "\n  starts: " << comparison.startPassSeconds
            << " s (gathering and symmedian point, once per point); solvers and judgement: "
            << wholeWatch.seconds() - comparison.startPassSeconds
            << " s; whole comparison: " << wholeWatch.seconds() << " s\n";
  std::cout << std::defaultfloat;

  // The files.
  std::error_code created;
  std::filesystem::create_directory(options.outputDir, created);
  if (created) {
    std::cerr << kName << ": cannot create '" << options.outputDir << "': " << created.message()
              << "\n";
    return kCompareExitOutput;
  }
  const std::string pointsPath = joined(options.outputDir, "points.csv");
  const std::string summaryPath = joined(options.outputDir, "summary.csv");
  const std::string tablePath = joined(options.outputDir, "summary.tex");
  std::string failure =
      writeFileWith(pointsPath, [&](std::FILE* file) { writePointsCsv(file, comparison); });
  if (failure.empty()) {
    failure = writeFileWith(summaryPath,
                            [&](std::FILE* file) { writeSummaryCsv(file, comparison, summaries); });
  }
  if (failure.empty()) {
    failure = writeFileWith(
        tablePath, [&](std::FILE* file) { writeSummaryLatex(file, comparison, summaries); });
  }
  if (!failure.empty()) {
    std::cerr << kName << ": cannot write " << failure << "\n";
    return kCompareExitOutput;
  }
  std::cout << "  wrote " << pointsPath << " (" << comparison.outcomes.size() << " rows) and "
            << summaryPath << " (" << tablePath << " as a LaTeX table)\n";

  // The pictures; those of an earlier comparison in the folder go, whether or not new ones come.
  for (const char* file : kPlotFiles) {
    std::error_code ignored;
    std::filesystem::remove(joined(options.outputDir, file), ignored);
  }
  const std::string python = findPlottingPython();
  if (python.empty()) {
    std::cout << "  no plots: no Python with matplotlib found; install it (Debian: apt-get install "
                 "python3-matplotlib, or set TESSMARK_PYTHON) and run: python3 "
                 "scripts/plot_comparison.py "
              << scriptFolderArgument(options.outputDir) << "\n";
    return kCompareExitDone;
  }
  std::cout << std::flush;
  const std::string title =
      std::filesystem::path(options.dataFile).filename().string() + ", " + rules.name + " rules";
  if (failure = drawPlots(python, options.outputDir, title); !failure.empty()) {
    std::cerr << kName << ": no plots: " << failure << "\n";
    return kCompareExitPlots;
  }
  std::cout << "  drew " << plotFilesText(options.outputDir) << "\n";
  return kCompareExitDone;
}

}  // namespace

int compareMain(std::span<const char* const> arguments) {
  const ParsedCompareLine parsed = parseCompareCommandLine(arguments);
  if (!parsed.options) {
    (parsed.status == 0 ? std::cout : std::cerr) << parsed.text;
    return parsed.status;
  }
  if (const std::string problem = compareOutputProblem(parsed.options->outputDir);
      !problem.empty()) {
    std::cerr << kName << ": cannot write into '" << parsed.options->outputDir << "': " << problem
              << "\n";
    return kCompareExitOutput;
  }
  try {
    return runComparison(*parsed.options);
  } catch (const std::bad_alloc&) {
    std::cerr << kName
              << ": memory ran out; the data set is too large for this machine, or its "
                 "counts are wrong\n";
    return kCompareExitOutOfMemory;
  }
}

}  // namespace tessmark
