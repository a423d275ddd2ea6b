#include "driver/vorlant.hpp"

#include <iomanip>
#include <iostream>
#include <new>
#include <string>

#include "console/console.hpp"
#include "console/stopwatch.hpp"
#include "console/time_stamp.hpp"
#include "driver/menu.hpp"
#include "driver/run_support.hpp"
#include "driver/triangulation_run.hpp"
#include "driver/vorlant_reports.hpp"
#include "input/bal_pretreatment.hpp"
#include "input/bal_problem.hpp"
#include "input/input_error.hpp"
#include "model/judgement.hpp"
#include "model/point_workspace.hpp"
#include "model/symmedian.hpp"

namespace tessmark {

namespace {

constexpr const char* kTitle = "Tessmark 2014(bigger data)";
constexpr const char* kDataFileName = "problem-49-7776-pre.txt";
constexpr const char* kDataSetPage = "http://grail.cs.washington.edu/projects/bal/";
constexpr double kTolerance = 1.0e-12;
constexpr int kReportedLoopCap = 1000;
constexpr DepthGuard kDepthGuard = DepthGuard::on;
constexpr JudgementRules kJudgement{kDepthGuard, KlcMeasure::newtonStep, KlcTests::asNamed};

constexpr int kRed = 12;
constexpr int kWhite = 15;

void white() { setColors(kWhite, consoleColors().defaultBackground); }

void printBanner() {
  const int defaultBackground = consoleColors().defaultBackground;
  std::cout << std::endl;
  std::cout << setTextColor(12)
            << " Mulitple view local L2 triangulator(for Bundle Adjustment in the Large)"
            << "\n";
  std::cout << setTextColor(6) << " Dec 05 2013 -- Feb 11 2014, for peer review reference "
            << "\n";
  std::cout << setTextColor(9) << "  How to use: "
            << "\n"
            << "  1) if you see this, it already works properly on a Windows operating system"
            << "\n"
            << "  2) place the ";
  setColors(11, defaultBackground);
  std::cout << kDataFileName << " ";
  std::cout << setTextColor(9) << "data file in the current directory;"
            << "\n"
            << "  3) Note: only the exact filename highlighted above is accepted;"
            << "\n"
            << "     see 'README.txt' and example files for more details."
            << "\n"
            << "     datasets: ";
  std::cout << setTextColor(10) << kDataSetPage << "\n";
}

int inputFailure(const InputError& error) {
  const std::string detail = std::string("vorlant: ") + error.what();
  switch (error.kind) {
    case InputError::Kind::cannotOpen:
      return reportFailure("open file error", detail, -127);
    case InputError::Kind::wrongHeader:
      return reportFailure("Wrong data file header ID!! ", detail, -128);
    case InputError::Kind::malformed:
      break;
  }
  return reportFailure(detail, "", -128);
}

}  // namespace

const ProgramInfo& vorlantProgram() {
  static const ProgramInfo program{"vorlant",
                                   "Triangulates every 3D point of a \"Bundle Adjustment in the "
                                   "Large\" problem (with the header-ID line\n"
                                   "\"Rome_is_not_built_in_one_day!\" first) with the chosen local "
                                   "solver, and appends the results and a\n"
                                   "summary with a time table to two report files.",
                                   kDataFileName, vorlantMenu()};
  return program;
}

int runVorlant(const RunOptions& options) {
  setupConsole(options.colorMode);
  setPauseEnabled(!options.algorithmKey.has_value());
  setConsoleTitle(kTitle);
  printBanner();

  Stopwatch totalWatch;
  Stopwatch pointWatch;
  Stopwatch loadingWatch;
  Stopwatch indexingWatch;
  Stopwatch pretreatingWatch;
  totalWatch.start();
  loadingWatch.start();

  // Loading.
  BalProblem bal;
  try {
    TextFile file = TextFile::open(options.dataFile);
    std::cout.flush();
    std::cout << setTextColor(9) << "Checking data file format:"
              << "\n";
    checkBalHeader(file);
    const BalCounts counts = readBalCounts(file);
    setColors(12, 14);
    std::cout << "Total camera number is: " << counts.cameraNum << "\n"
              << "Total point number is: " << counts.pointNum << "\n"
              << "Total 2D image coordinate number is: " << counts.imageCoordinates << "\n";
    setColors(9, consoleColors().defaultBackground);
    std::cout << "Importing data. Please wait..."
              << "\n";
    bal = readBalRecords(file, counts);
  } catch (const InputError& error) {
    return inputFailure(error);
  }
  loadingWatch.stop();
  std::cout << setTextColor(4) << "Time spent on data loading: " << loadingWatch.seconds()
            << " seconds"
            << "\n";
  std::cout.flush();
  std::cout << setTextColor(kRed) << "Data importing finished!"
            << "\n\n";

  // Indexing and pretreatment.
  indexingWatch.start();
  std::cout.flush();
  std::cout << setTextColor(9) << "Pretreating and indexing data. Please wait..."
            << "\n";
  const ObservationIndex index = indexObservations(bal);
  indexingWatch.stop();
  pretreatingWatch.start();
  const CameraTables tables = pretreatCameras(bal.cameraParameters, bal.cameraNum);
  const int maxViewNum = largestViewCount(index.viewNum);
  PointWorkspace workspace(maxViewNum);
  pretreatingWatch.stop();
  std::cout << setTextColor(4) << "Time spent on data indexing:" << indexingWatch.seconds()
            << " seconds"
            << "\n"
            << "Time spend on pretreating:  " << pretreatingWatch.seconds() << " seconds"
            << "\n";
  std::cout << setTextColor(kRed) << "Data importing and pretreatment finished !"
            << "\n\n";

  TriangulationRun run(bal.pointNum);
  run.cameraNum = bal.cameraNum;
  run.imageCoordinates = bal.imageCoordinates;
  run.maxViewNum = maxViewNum;
  run.loopCap = kReportedLoopCap;
  run.viewNum = index.viewNum;
  run.loadingSeconds = loadingWatch.seconds();
  run.indexingSeconds = indexingWatch.seconds();
  run.pretreatingSeconds = pretreatingWatch.seconds();

  // Algorithm menu.
  Stopwatch waitingWatch;
  waitingWatch.start();
  std::cout << setTextColor(10) << "Please select a desired algorithm number for triangulation:"
            << "\n";
  for (const MenuEntry& entry : vorlantMenu()) std::cout << entry.menuLine << "\n";
  white();
  int key = options.algorithmKey ? *options.algorithmKey : readKey();
  if (key < 0) {
    return reportFailure("vorlant: no algorithm key: standard input ended before a key was read",
                         "", kExitNoAlgorithm);
  }
  run.algorithmKey = static_cast<unsigned char>(key);
  const MenuEntry& entry = selectMenuEntry(vorlantMenu(), run.algorithmKey);
  run.algorithmName = entry.selectedName;
  std::cout << "\n"
            << setTextColor(kRed) << "Algorithm selected is : "
            << "\n"
            << "    " << static_cast<char>(run.algorithmKey) << ": " << run.algorithmName << "\n\n";
  white();
  if (entry.solver == nullptr) {
    return reportFailure(
        std::string("vorlant: \"") + run.algorithmName + "\" is not available in this build", "",
        kExitNoAlgorithm);
  }
  if (!isFileNameByte(run.algorithmKey)) {
    return reportFailure("vorlant: the key typed cannot be part of the report file names", "",
                         kExitReportFile);
  }

  run.displayInterval = displayInterval(run.pointNum);
  pause();
  std::cout << "\n"
            << "   Start triangulating [ display every " << setTextColor(14) << run.displayInterval
            << setTextColor(kWhite) << " points ] ..."
            << "\n\n";
  waitingWatch.stop();
  run.waitingSeconds = waitingWatch.seconds();

  // Report files.
  const std::string resultsName = vorlantResultsFileName(run, fileStamp());
  const std::string summaryName = vorlantSummaryFileName(run, fileStamp());
  const std::string createdAt = reportStamp();
  const std::string resultsPath = reportPath(options.outputDir, resultsName);
  const std::string summaryPath = reportPath(options.outputDir, summaryName);
  std::string fileError;
  ReportFile results = openReportFile(resultsPath, fileError);
  if (!results) return reportFailure("vorlant: " + fileError, "", kExitReportFile);
  writeVorlantResultsHeader(results.get(), run, createdAt);

  // The points, one after the other.
  for (int p = 0; p < run.pointNum; ++p) {
    const auto i = static_cast<std::size_t>(p);
    int loopCounter = 0;
    pointWatch.start();
    const int n = gatherBalPoint(workspace, bal, index, tables, p);
    const PointProblem problem = workspace.problem(n);
    const Eigen::Vector3d x_m = symmedianPoint(problem);
    SolverContext context{kDepthGuard, workspace.scratch};
    const SolverResult solved = entry.solver(problem, context, x_m, kTolerance);
    const Eigen::Vector3d& x_f = solved.point;
    pointWatch.stop();
    loopCounter = solved.loops;
    if (solved.hessianModified) ++run.notPositiveDefiniteCount;
    run.pointSeconds[i] = pointWatch.seconds();

    if (showsProgress(p, run.pointNum, run.displayInterval))
      writeVorlantProgressLine(std::cout, p, n, run.pointNum);
    run.pointLoops[i] = loopCounter;

    const PointJudgement judgement = judgePoint(problem, x_m, x_f, kJudgement);
    run.rho_m[i] = judgement.rho_m;
    run.rho_f[i] = judgement.rho_f;
    run.reprojError_f[i] = judgement.reprojError_f;
    run.gamma_f[i] = judgement.gamma_f;
    run.klc_f[i] = judgement.klc_f;
    run.reprojError_m[i] = judgement.reprojError_m;
    run.gamma_m[i] = judgement.gamma_m;
    run.klc_m[i] = judgement.klc_m;
    ++(judgement.solvable ? run.solvableCount : run.hardCaseCount);
    ++(judgement.global ? run.globalSolutionCount : run.localSolutionCount);
    writeVorlantPointRecord(results.get(), run, p, x_m, x_f, judgement.solvable, judgement.global);
  }
  totalWatch.stop();
  run.totalSeconds = totalWatch.seconds();

  // Summaries.
  writeVorlantResultsSummary(results.get(), run);
  if (!closeReportFile(std::move(results), resultsPath, fileError)) {
    return reportFailure("vorlant: " + fileError, "", kExitReportFile);
  }
  ReportFile summary = openReportFile(summaryPath, fileError);
  if (!summary) return reportFailure("vorlant: " + fileError, "", kExitReportFile);
  writeVorlantSummaryFile(summary.get(), run, createdAt);
  if (!closeReportFile(std::move(summary), summaryPath, fileError)) {
    return reportFailure("vorlant: " + fileError, "", kExitReportFile);
  }

  // Console summary; doubles in the fixed, five-decimal notation the progress lines left.
  std::cout << std::fixed << std::setprecision(5);
  std::cout << "\n"
            << "  Triangulating finished !"
            << "\n"
            << "  Total point number triangulated: " << run.pointNum << " points;"
            << "\n"
            << "  Total time elapse: " << run.totalSeconds << " seconds;"
            << "\n"
            << "  Time consumption on triangulation: " << setTextColor(kRed)
            << sumOf(run.pointSeconds) << " seconds;"
            << "\n";
  std::cout << setTextColor(kWhite) << "  Time on loading:" << run.loadingSeconds << " seconds;"
            << "\n"
            << "  Time on indexing: " << run.indexingSeconds << " seconds;"
            << "\n"
            << "  Time on pretreating: " << run.pretreatingSeconds << " seconds;"
            << "\n"
            << "  Time on waiting: " << run.waitingSeconds << " seconds;"
            << "\n"
            << "  Outputs were appended to:"
            << "\n"
            << "       " << setTextColor(14) << resultsPath << setTextColor(kWhite) << "  and "
            << "\n"
            << "       " << setTextColor(14) << summaryPath << setTextColor(kWhite) << " ;"
            << "\n"
            << "  Please check them."
            << "\n"
            << "  Thank you!"
            << "\n\n";
  std::cout.flush();
  pause();
  return 0;
}

int vorlantMain(std::span<const char* const> arguments) {
  const ParsedCommandLine parsed = parseCommandLine(vorlantProgram(), arguments);
  if (!parsed.options) {
    (parsed.status == 0 ? std::cout : std::cerr) << parsed.text;
    return parsed.status;
  }
  int status;
  try {
    status = runVorlant(*parsed.options);
  } catch (const std::bad_alloc&) {
    status = reportFailure(
        "bad allocation",
        "vorlant: memory ran out; the data set is too large for this machine, or its counts "
        "are wrong",
        kExitOutOfMemory);
  }
  std::cout.flush();
  resetConsoleColors();
  return status;
}

}  // namespace tessmark
