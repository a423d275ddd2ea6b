#include "compare/compare_tool.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>
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

// The options that take a whole number from 1 to `most`, and the field it goes into.
struct CountOption {
  std::string_view name;
  int most;
  int& (*field)(CompareOptions&);
};
constexpr CountOption kCountOptions[] = {
    {"--threads", kMostCompareThreads, [](CompareOptions& o) -> int& { return o.run.threads; }},
    {"--repeat", kMostCompareRepeats, [](CompareOptions& o) -> int& { return o.run.repeat; }},
    {"--loop-cap", std::numeric_limits<int>::max(),
     [](CompareOptions& o) -> int& { return o.run.solver.loopCap; }},
};

// The options that take a finite number >= 0, and the field it goes into.
struct ToleranceOption {
  std::string_view name;
  double& (*field)(CompareOptions&);
};
constexpr ToleranceOption kToleranceOptions[] = {
    {"--tolerance", [](CompareOptions& o) -> double& { return o.run.solver.tolerance; }},
    {"--relative-tolerance",
     [](CompareOptions& o) -> double& { return o.run.solver.relativeTolerance; }},
};

template <typename Option, std::size_t n>
const Option* findOption(const Option (&options)[n], std::string_view name) {
  for (const Option& option : options) {
    if (option.name == name) return &option;
  }
  return nullptr;
}

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

std::string compareUsageText() {
  return std::string("Usage: ") + kName +
         " [--format bal|lc] [--keys KEYS] [--out DIR] [--threads N] [--repeat K]\n"
         "                        [--tolerance E] [--relative-tolerance R] [--loop-cap N] "
         "[--help]\n"
         "                        [--version] DATAFILE\n\n"
         "Loads DATAFILE once, runs every chosen solver of the program's menu on every point from "
         "the\nsame symmedian start, judges each result by that program's rules, and writes a "
         "table to the\nconsole, DIR/points.csv (one row per point and solver), DIR/summary.csv "
         "(one row per solver)\nwith its LaTeX table DIR/summary.tex and, when Python can import "
         "matplotlib, the performance\nprofiles DIR/cost_profile.png and DIR/time_profile.png and "
         "the loop histograms DIR/loops.png\n(each also as .pdf and .svg).\n\n"
         "Options:\n"
         "  --format bal|lc  bal: a BAL problem, with or without the header-ID line, judged by "
         "vorlant's\n"
         "                   solvers and rules; lc: a .lc data set, by sennic's (default: lc "
         "for a name\n"
         "                   ending in .lc or .lc.bz2, bal otherwise). A name ending in .bz2 is\n"
         "                   decompressed as it is read.\n"
         "  --keys KEYS      the solvers by their menu keys, in this order (default: 0123456789x;"
         "\n                   x is the row that any other key selects)\n"
         "  --out DIR        write the files into DIR (default: the current directory); DIR is "
         "created\n                   when missing, once the data file has been read\n"
         "  --threads N      share the points out to N threads (default: one per core); the "
         "results are\n                   the same whatever N, only the times differ\n"
         "  --repeat K       run each point's solve K times and keep the shortest time (default: "
         "1);\n                   the results are those of every run\n"
         "  --tolerance E    the solvers' stopping tolerance (default: 1e-12, as the programs')\n"
         "  --relative-tolerance R\n"
         "                   stop at R times the start's cost where that is larger than E "
         "(default: 0)\n"
         "  --loop-cap N     every solver's loop cap in place of its own (default: its own)\n"
         "  -h, --help       show this text\n"
         "  --version        show the version and the Eigen version\n\n"
         "Environment: TESSMARK_PYTHON names the Python interpreter for the plots (default: "
         "python3,\nthen /usr/bin/python3).\n\n"
         "Exit status:\n"
         "  0    the files were written (and the plots drawn, or skipped with a note)\n"
         "  1    a chosen key's solver is not available in this build\n"
         "  2    the command line is wrong\n"
         "  3    the output folder or a file in it cannot be written\n"
         "  4    memory ran out\n"
         "  5    matplotlib was found but the plots could not be drawn\n"
         "  128  the data file is not in the expected format\n"
         "  129  the data file cannot be opened\n";
}

ParsedCompareLine parseCompareCommandLine(std::span<const char* const> arguments) {
  CompareOptions options;
  bool formatGiven = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    CommandLineArgument current(arguments, i);
    const std::string_view argument = current.option;
    const bool hasValue = current.hasValue;
    std::string_view value;
    const auto takeValue = [&] { return current.takeValue(value); };
    if ((argument == "--help" && !hasValue) || argument == "-h") {
      return {std::nullopt, compareUsageText(), 0};
    }
    if (argument == "--version" && !hasValue) {
      return {std::nullopt, versionText(kName), 0};
    }
    if (argument == "--format") {
      if (!takeValue() || (value != "bal" && value != "lc")) {
        return {std::nullopt, usageError("--format needs bal or lc"), kCompareExitUsage};
      }
      options.format = value == "lc" ? DataFormat::lc : DataFormat::plainBal;
      formatGiven = true;
    } else if (argument == "--keys") {
      if (!takeValue()) return {std::nullopt, usageError("--keys needs keys"), kCompareExitUsage};
      if (const std::string problem = keyListProblem(value); !problem.empty()) {
        return {std::nullopt, usageError("--keys: " + problem), kCompareExitUsage};
      }
      options.keys = value;
    } else if (argument == "--out") {
      if (!takeValue() || value.empty()) {
        return {std::nullopt, usageError("--out needs a folder"), kCompareExitUsage};
      }
      options.outputDir = value;
    } else if (const CountOption* count = findOption(kCountOptions, argument)) {
      const std::optional<int> number =
          takeValue() ? numberArgument(value, 1, count->most) : std::nullopt;
      if (!number) {
        return {std::nullopt,
                usageError(std::string(count->name) + " needs a whole number from 1 to " +
                           std::to_string(count->most)),
                kCompareExitUsage};
      }
      count->field(options) = *number;
    } else if (const ToleranceOption* tolerance = findOption(kToleranceOptions, argument)) {
      const std::optional<double> number =
          takeValue() ? numberArgument(value, 0.0, std::numeric_limits<double>::max())
                      : std::nullopt;
      if (!number) {
        return {std::nullopt,
                usageError(std::string(tolerance->name) + " needs a number of at least 0"),
                kCompareExitUsage};
      }
      tolerance->field(options) = *number;
    } else if (!argument.starts_with("-") && !argument.empty() && !hasValue) {
      if (!options.dataFile.empty()) {
        return {std::nullopt, usageError("one data file only: '" + std::string(argument) + "'"),
                kCompareExitUsage};
      }
      options.dataFile = argument;
    } else {
      return {std::nullopt, usageError("unknown option '" + std::string(arguments[i]) + "'"),
              kCompareExitUsage};
    }
  }
  if (options.dataFile.empty()) {
    return {std::nullopt, usageError("no data file given"), kCompareExitUsage};
  }
  if (!formatGiven) options.format = formatOfName(options.dataFile);
  return {options, {}, 0};
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
    return 0;
  }
  std::cout << std::flush;
  const std::string title =
      std::filesystem::path(options.dataFile).filename().string() + ", " + rules.name + " rules";
  if (failure = drawPlots(python, options.outputDir, title); !failure.empty()) {
    std::cerr << kName << ": no plots: " << failure << "\n";
    return kCompareExitPlots;
  }
  std::cout << "  drew " << plotFilesText(options.outputDir) << "\n";
  return 0;
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
