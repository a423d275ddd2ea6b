#include "driver/run.hpp"

#include <csignal>
#include <cstdio>
#include <iostream>
#include <new>
#include <optional>
#include <string>

#include "console/console.hpp"
#include "console/stopwatch.hpp"
#include "console/time_stamp.hpp"
#include "dataset/point_solver.hpp"
#include "driver/run_support.hpp"
#include "input/input_error.hpp"

namespace tessmark {

namespace {

void white() { setColors(Color::white, consoleColors().defaultBackground); }

// The key as the echo shows it: a printable character as typed; a control byte (Escape, Enter)
// would act on the terminal instead of showing, so it is shown as in the report names ("x1B").
std::string echoedKey(unsigned char key) {
  return key >= 0x20 && key < 0x7f ? std::string(1, static_cast<char>(key)) : fileNameKey(key);
}

// Loading and preparation through the program's observer; returns the failure status, or 0 with
// `data` and the workspace it reserved filled.
int prepareData(const ProgramDescription& program, const RunOptions& options,
                const PreparationClocks& clocks, DataSet& data,
                std::optional<PointWorkspace>& workspace) {
  try {
    const std::unique_ptr<ProgramLoad> observer = program.loadObserver(clocks);
    const DataFormat format = options.plainData ? *program.plainFormat : program.format;
    data = loadDataSet(options.dataFile, format, observer.get());
    workspace = std::move(observer->workspace);
  } catch (const InputError& error) {
    const std::string detail = std::string(program.name) + ": " + error.what();
    switch (error.kind) {
      case InputError::Kind::cannotOpen:
        return reportFailure("open file error", detail, kExitCannotOpenData);
      case InputError::Kind::wrongHeader:
        return reportFailure(program.wrongHeader,
                             options.plainData || program.wrongHeaderHint == nullptr
                                 ? detail
                                 : detail + "\n" + program.name + ": " + program.wrongHeaderHint,
                             kExitMalformedData);
      case InputError::Kind::malformed:
        break;
    }
    return reportFailure(detail, "", kExitMalformedData);
  }
  return 0;
}

// The menu, the keystroke and its echo. Returns the chosen row, or null after reporting why the
// run cannot go on (`status` then holds the exit status).
const MenuEntry* chooseAlgorithm(const ProgramDescription& program, const RunOptions& options,
                                 TriangulationRun& run, int& status) {
  std::string menu = "Please select a desired algorithm number for triangulation:\n";
  if (program.blankLineAfterMenuHeading) menu += "\n";
  for (const MenuEntry& entry : program.solvers.menu) menu += std::string(entry.menuLine) + "\n";
  std::cout << setTextColor(Color::green) << menu;
  white();
  // The menu is the prompt of the key: where standard output goes elsewhere, the keyboard's
  // terminal sees it too.
  if (!options.algorithmKey) promptAtKeyboard(menu);
  const int key = options.algorithmKey ? *options.algorithmKey : readKey();
  const std::string name = program.name;
  if (key < 0) {
    status = reportFailure(name + ": no algorithm key: standard input ended before a key was read",
                           "", kExitNoAlgorithm);
    return nullptr;
  }
  run.algorithmKey = static_cast<unsigned char>(key);
  const MenuEntry& entry = selectMenuEntry(program.solvers.menu, run.algorithmKey);
  run.algorithmName = entry.selectedName;
  std::cout << "\n"
            << setTextColor(Color::red) << "Algorithm selected is : "
            << "\n"
            << "    " << echoedKey(run.algorithmKey) << ": " << run.algorithmName << "\n\n";
  white();
  if (entry.solver == nullptr) {
    status = reportFailure(name + ": \"" + run.algorithmName + "\" is not available in this build",
                           "", kExitNoAlgorithm);
    return nullptr;
  }
  return &entry;
}

}  // namespace

int runTriangulation(const ProgramDescription& program, const RunOptions& options) {
  const std::string name = program.name;

  // Start-up.
  setupConsole(options.colorMode);
  setPauseEnabled(!options.algorithmKey.has_value());
  setConsoleTitle(program.title);
  std::cout << std::endl;
  writeColoredText(std::cout, program.banner);

  // Loading, indexing and pretreating.
  Stopwatch totalWatch;
  Stopwatch loadingWatch;
  Stopwatch indexingWatch;
  Stopwatch pretreatingWatch;
  DataSet data;
  std::optional<PointWorkspace> workspace;
  if (const int status =
          prepareData(program, options, {totalWatch, loadingWatch, indexingWatch, pretreatingWatch},
                      data, workspace);
      status != 0) {
    return status;
  }
  TriangulationRun run(data.pointNum);
  run.cameraNum = data.cameraNum;
  run.imageCoordinates = data.imageCoordinates;
  run.maxViewNum = data.maxViewNum;
  run.loadingSeconds = loadingWatch.seconds();
  run.indexingSeconds = indexingWatch.seconds();
  run.pretreatingSeconds = pretreatingWatch.seconds();

  // The algorithm menu, the pause and the display interval.
  Stopwatch waitingWatch;
  if (program.timesWaiting) waitingWatch.start();
  int status = 0;
  const MenuEntry* entry = chooseAlgorithm(program, options, run, status);
  if (entry == nullptr) return status;
  run.displayInterval = displayInterval(run.pointNum);
  pause();
  std::cout << "\n"
            << "   Start triangulating [ display every " << setTextColor(Color::yellow)
            << run.displayInterval << setTextColor(Color::white) << " points ] ..."
            << "\n\n";
  if (program.timesWaiting) {
    waitingWatch.stop();
    run.waitingSeconds = waitingWatch.seconds();
  }

  // The report files: both names and the creation text are taken once, before the first point.
  const ReportWriters& reports = program.reports;
  const std::string resultsName = reports.resultsFileName(run, fileStamp());
  const std::string summaryName = reports.summaryFileName(run, fileStamp());
  const std::string createdAt = reportStamp();
  const std::string resultsPath = reportPath(options.outputDir, resultsName);
  const std::string summaryPath = reportPath(options.outputDir, summaryName);
  std::string fileError;
  ReportFile results = openReportFile(resultsPath, fileError);
  if (!results) return reportFailure(name + ": " + fileError, "", kExitReportFile);
  reports.resultsHeader(results.get(), run, createdAt);

  // The points, one after the other.
  if (!workspace) workspace.emplace(data.maxViewNum);
  PointSolver solver(program.solvers, *entry, *workspace);
  for (int p = 0; p < run.pointNum; ++p) {
    const bool showsLine = showsProgress(p, run.pointNum, run.displayInterval);
    if (program.progressBeforePoint && showsLine) {
      program.progressLine(std::cout, p, data.viewNum[static_cast<std::size_t>(p)], run.pointNum);
    }
    recordOutcome(run, p, solver.triangulate(*data.points, p));
    if (!program.progressBeforePoint && showsLine) {
      program.progressLine(std::cout, p, run.outcomes[static_cast<std::size_t>(p)].viewCount,
                           run.pointNum);
    }
    reports.pointRecord(results.get(), run, p);
  }
  totalWatch.stop();
  run.totalSeconds = totalWatch.seconds();

  // The summaries.
  reports.resultsSummary(results.get(), run);
  if (!closeReportFile(std::move(results), resultsPath, fileError)) {
    return reportFailure(name + ": " + fileError, "", kExitReportFile);
  }
  ReportFile summary = openReportFile(summaryPath, fileError);
  if (!summary) return reportFailure(name + ": " + fileError, "", kExitReportFile);
  reports.summaryFile(summary.get(), run, createdAt);
  if (!closeReportFile(std::move(summary), summaryPath, fileError)) {
    return reportFailure(name + ": " + fileError, "", kExitReportFile);
  }

  // The closing summary on the console.
  program.closingSummary(run, resultsPath, summaryPath);
  std::cout.flush();
  pause();
  if (consoleLost()) return reportConsoleLost(name, resultsPath, summaryPath);
  return 0;
}

int programMain(const ProgramDescription& program, std::span<const char* const> arguments) {
  const ParsedCommandLine parsed = parseCommandLine(program, arguments);
  if (!parsed.options) {
    (parsed.status == 0 ? std::cout : std::cerr) << parsed.text;
    return parsed.status;
  }
  // Before any dialogue: a run whose reports could not be written is not started.
  const std::string& outputDir = parsed.options->outputDir;
  if (const std::string problem = outputDirProblem(outputDir); !problem.empty()) {
    std::cerr << program.name << ": cannot write the reports into '"
              << (outputDir.empty() ? "." : outputDir) << "': " << problem << "\n";
    return kExitReportFile;
  }
  // Line by line on a pipe too, so that whoever reads it sees the run as it goes.
  std::setvbuf(stdout, nullptr, _IOLBF, BUFSIZ);
  // A reader that closes the pipe early costs the console text only: writes to it fail (EPIPE)
  // instead of ending the process, and the run goes on to its reports.
  std::signal(SIGPIPE, SIG_IGN);
  int status;
  try {
    status = runTriangulation(program, *parsed.options);
  } catch (const std::bad_alloc&) {
    status = reportFailure("bad allocation",
                           std::string(program.name) +
                               ": memory ran out; the data set is too large for this machine, or "
                               "its counts are wrong",
                           kExitOutOfMemory);
  }
  std::cout.flush();
  restoreConsole();
  return status;
}

}  // namespace tessmark
