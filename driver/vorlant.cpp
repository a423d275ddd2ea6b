#include "driver/vorlant.hpp"

#include <cstdint>
#include <iomanip>
#include <iostream>
#include <memory>
#include <string>

#include "console/console.hpp"
#include "driver/vorlant_reports.hpp"
#include "input/bzip2_file.hpp"

namespace tessmark {

namespace {

constexpr int kRed = 12;
constexpr int kWhite = 15;

constexpr ColoredText kBanner[] = {
    {12, false, " Mulitple view local L2 triangulator(for Bundle Adjustment in the Large)\n"},
    {6, false, " Dec 05 2013 -- Feb 11 2014, for peer review reference \n"},
    {9, false,
     "  How to use: \n"
     "  1) if you see this, it already works properly on a Windows operating system\n"
     "  2) place the "},
    {11, true, "problem-49-7776-pre.txt "},
    {9, false,
     "data file in the current directory;\n"
     "  3) Note: only the exact filename highlighted above is accepted;\n"
     "     see 'README.txt' and example files for more details.\n"
     "     datasets: "},
    {10, false, "http://grail.cs.washington.edu/projects/bal/\n"},
};

constexpr ColoredText kWrongHeader[] = {{12, false, "Wrong data file header ID!! \n"}};

// The BAL file with the header-ID line first, or (plain) a standard BAL file without it (a
// header-ID line there is skipped), compressed when its name ends in ".bz2"; the same console lines
// for both.
PreparedData prepareBalFile(const std::string& path, const PreparationClocks& clocks, bool plain) {
  clocks.total.start();
  clocks.loading.start();
  auto points = std::make_unique<BalPointSource>();

  // Loading.
  TextFile file = plain ? openDataFile(path) : TextFile::open(path);
  std::cout.flush();
  std::cout << setTextColor(9) << "Checking data file format:"
            << "\n";
  if (!plain) checkBalHeader(file);
  const BalCounts counts = plain ? readBalCountsAfterOptionalHeader(file) : readBalCounts(file);
  setColors(12, 14);
  std::cout << "Total camera number is: " << counts.cameraNum << "\n"
            << "Total point number is: " << counts.pointNum << "\n"
            << "Total 2D image coordinate number is: " << counts.imageCoordinates << "\n";
  setColors(9, consoleColors().defaultBackground);
  std::cout << "Importing data. Please wait..."
            << "\n";
  points->problem = readBalRecords(file, counts);
  if (plain) checkRestOfCompressedFile(file);
  clocks.loading.stop();
  std::cout << setTextColor(4) << "Time spent on data loading: " << clocks.loading.seconds()
            << " seconds"
            << "\n";
  std::cout.flush();
  std::cout << setTextColor(kRed) << "Data importing finished!"
            << "\n\n";

  // Indexing and pretreatment.
  clocks.indexing.start();
  std::cout.flush();
  std::cout << setTextColor(9) << "Pretreating and indexing data. Please wait..."
            << "\n";
  points->index = indexObservations(points->problem);
  clocks.indexing.stop();
  clocks.pretreating.start();
  points->tables = pretreatCameras(points->problem.cameraParameters, points->problem.cameraNum);
  PreparedData data;
  data.maxViewNum = largestViewCount(points->index.viewNum);
  data.workspace = std::make_unique<PointWorkspace>(data.maxViewNum);
  clocks.pretreating.stop();
  std::cout << setTextColor(4) << "Time spent on data indexing:" << clocks.indexing.seconds()
            << " seconds"
            << "\n"
            << "Time spend on pretreating:  " << clocks.pretreating.seconds() << " seconds"
            << "\n";
  std::cout << setTextColor(kRed) << "Data importing and pretreatment finished !"
            << "\n\n";

  data.cameraNum = points->problem.cameraNum;
  data.pointNum = points->problem.pointNum;
  data.imageCoordinates = points->problem.imageCoordinates;
  data.viewNum = points->index.viewNum;
  data.loadingSeconds = clocks.loading.seconds();
  data.indexingSeconds = clocks.indexing.seconds();
  data.pretreatingSeconds = clocks.pretreating.seconds();
  data.points = std::move(points);
  return data;
}

PreparedData prepareBal(const std::string& path, const PreparationClocks& clocks) {
  return prepareBalFile(path, clocks, false);
}

PreparedData preparePlainBal(const std::string& path, const PreparationClocks& clocks) {
  return prepareBalFile(path, clocks, true);
}

// Doubles in the notation the first progress line left on the stream (fixed, five decimals), or,
// with no point, in the stream's default notation.
void writeClosingSummary(const TriangulationRun& run, const std::string& resultsPath,
                         const std::string& summaryPath) {
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
            << "\n";
  writeRunFindings(std::cout, run);
  std::cout << "  Outputs were appended to:"
            << "\n"
            << "       " << setTextColor(14) << resultsPath << setTextColor(kWhite) << "  and "
            << "\n"
            << "       " << setTextColor(14) << summaryPath << setTextColor(kWhite) << " ;"
            << "\n"
            << "  Please check them."
            << "\n"
            << "  Thank you!"
            << "\n\n";
}

}  // namespace

int BalPointSource::locate(int p, PointWorkspace&) const {
  return index.viewNum[static_cast<std::size_t>(p)];
}

void BalPointSource::gather(int p, int, PointWorkspace& workspace) const {
  gatherBalPoint(workspace, problem, index, tables, p);
}

void writeVorlantProgressLine(std::ostream& out, int p, int n, int pointNum) {
  const double percent = static_cast<double>((std::int64_t{p} + 1) * 100) / pointNum;
  out << "   Point No." << std::setw(8) << p + 1 << ":    with" << std::setw(5) << n
      << " views:" << std::fixed << std::setprecision(5) << std::setw(10) << percent << "% done."
      << "\n";
}

const ProgramDescription& vorlantProgram() {
  static const ProgramDescription program{
      .name = "vorlant",
      .summary =
          "Triangulates every 3D point of a \"Bundle Adjustment in the Large\" problem (with "
          "the header-ID line\n\"Rome_is_not_built_in_one_day!\" first) with the chosen "
          "local solver, and appends the results and a\nsummary with a time table to two "
          "report files.",
      .defaultDataFile = "problem-49-7776-pre.txt",
      .title = "Tessmark 2014(bigger data)",
      .banner = kBanner,
      .wrongHeader = kWrongHeader,
      .wrongHeaderHint =
          "a standard BAL file, without the header-ID line (compressed as .bz2 or "
          "not), is read with --plain-bal",
      .prepare = prepareBal,
      .preparePlain = preparePlainBal,
      .solvers = vorlantSolvers(),
      .blankLineAfterMenuHeading = false,
      .timesWaiting = true,
      .progressBeforePoint = false,
      .progressLine = writeVorlantProgressLine,
      .reports = vorlantReports(),
      .closingSummary = writeClosingSummary,
  };
  return program;
}

}  // namespace tessmark
