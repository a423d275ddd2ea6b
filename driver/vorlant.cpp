#include "driver/vorlant.hpp"

#include <cstdint>
#include <iomanip>
#include <iostream>
#include <memory>
#include <string>

#include "console/console.hpp"
#include "driver/vorlant_reports.hpp"

namespace tessmark {

namespace {

constexpr ColoredText kBanner[] = {
    {Color::red, false,
     " Mulitple view local L2 triangulator(for Bundle Adjustment in the Large)\n"},
    {Color::darkYellow, false, " Dec 05 2013 -- Feb 11 2014, for peer review reference \n"},
    {Color::blue, false,
     "  How to use: \n"
     "  1) if you see this, it already works properly on a Windows operating system\n"
     "  2) place the "},
    {Color::cyan, true, "problem-49-7776-pre.txt "},
    {Color::blue, false,
     "data file in the current directory;\n"
     "  3) Note: only the exact filename highlighted above is accepted;\n"
     "     see 'README.txt' and example files for more details.\n"
     "     datasets: "},
    {Color::green, false, "http://grail.cs.washington.edu/projects/bal/\n"},
};

constexpr ColoredText kWrongHeader[] = {{Color::red, false, "Wrong data file header ID!! \n"}};

// The console lines and stopwatches of the loading, indexing and pretreating phases, the same for
// the BAL file with the header-ID line first and for a standard BAL file (--plain-bal).
class BalConsole : public ProgramLoad {
 public:
  using ProgramLoad::ProgramLoad;

  void opening() override {
    clocks_.total.start();
    clocks_.loading.start();
  }
  void checkingFormat() override {
    std::cout.flush();
    std::cout << setTextColor(Color::blue) << "Checking data file format:"
              << "\n";
  }
  void counted(const DataCounts& counts) override {
    setColors(Color::red, Color::yellow);
    std::cout << "Total camera number is: " << counts.cameraNum << "\n"
              << "Total point number is: " << counts.pointNum << "\n"
              << "Total 2D image coordinate number is: " << counts.imageCoordinates << "\n";
    setColors(Color::blue, consoleColors().defaultBackground);
    std::cout << "Importing data. Please wait..."
              << "\n";
  }
  void recordsRead() override {
    clocks_.loading.stop();
    std::cout << setTextColor(Color::darkRed)
              << "Time spent on data loading: " << clocks_.loading.seconds() << " seconds"
              << "\n";
    std::cout.flush();
    std::cout << setTextColor(Color::red) << "Data importing finished!"
              << "\n\n";
  }
  void indexing() override {
    clocks_.indexing.start();
    std::cout.flush();
    std::cout << setTextColor(Color::blue) << "Pretreating and indexing data. Please wait..."
              << "\n";
  }
  void indexed() override { clocks_.indexing.stop(); }
  void pretreating() override { clocks_.pretreating.start(); }
  void pretreated(int maxViewNum) override {
    reserveWorkspace(maxViewNum);
    clocks_.pretreating.stop();
    std::cout << setTextColor(Color::darkRed)
              << "Time spent on data indexing:" << clocks_.indexing.seconds() << " seconds"
              << "\n"
              << "Time spend on pretreating:  " << clocks_.pretreating.seconds() << " seconds"
              << "\n";
    std::cout << setTextColor(Color::red) << "Data importing and pretreatment finished !"
              << "\n\n";
  }
};

std::unique_ptr<ProgramLoad> balConsole(const PreparationClocks& clocks) {
  return std::make_unique<BalConsole>(clocks);
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
            << "  Time consumption on triangulation: " << setTextColor(Color::red)
            << sumOf(run.outcomes, pointSeconds) << " seconds;"
            << "\n";
  std::cout << setTextColor(Color::white) << "  Time on loading:" << run.loadingSeconds
            << " seconds;"
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
            << "       " << setTextColor(Color::yellow) << resultsPath << setTextColor(Color::white)
            << "  and "
            << "\n"
            << "       " << setTextColor(Color::yellow) << summaryPath << setTextColor(Color::white)
            << " ;"
            << "\n"
            << "  Please check them."
            << "\n"
            << "  Thank you!"
            << "\n\n";
}

}  // namespace

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
      .format = DataFormat::bal,
      .plainFormat = DataFormat::plainBal,
      .loadObserver = balConsole,
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
