#include "driver/sennic.hpp"

#include <cstdint>
#include <iomanip>
#include <iostream>
#include <memory>
#include <string>

#include "console/console.hpp"
#include "driver/sennic_reports.hpp"

namespace tessmark {

namespace {

constexpr int kRed = 12;
constexpr int kYellow = 14;
constexpr int kWhite = 15;

constexpr ColoredText kBanner[] = {
    {12, false, "tessmark(per Oxford visual geometry group data format)\n"},
    {6, false, " Dec 05 2013 -- Feb 11 2014, for peer review reference \n"},
    {9, false,
     "  How to use: \n"
     "  1) if you see this, it already works properly on a Windows operating system\n"
     "  2) place the "},
    {3, true, " dinosaur.lc "},
    {9, false,
     "data file in the same directory as the Calculator\n"
     "  3) Note: only the exact filename highlighted above is accepted;\n"
     "     see 'README.txt' and example files for more details.\n"
     "     data sets: "},
    {11, false, "http://www.robots.ox.ac.uk/~vgg/data/data-mview.html\n"},
};

constexpr ColoredText kWrongHeader[] = {
    {12, false, "Wrong file format!! \n"},
    {15, false, " The first line of the "},
    {11, false, "dinosaur.lc"},
    {15, false, "data file must be "},
    {14, false, "Jingle_bells,_jingle_bells,_Jingle_all_the_way!\n"},
};

constexpr const char* kRankDeficientCamera =
    "something is wrong; rank deficiency of input camera. not perspective. \n";

// The console lines and stopwatches of the loading, indexing and pretreating phases. The header and
// the counts lie outside the total and the loading time.
class LcConsole : public ProgramLoad {
 public:
  using ProgramLoad::ProgramLoad;

  void counted(const DataCounts& counts) override {
    clocks_.total.start();
    setColors(kRed, kYellow);
    std::cout << "Total camera number is: " << counts.cameraNum << "\n"
              << "Total point number is: " << counts.pointNum << "\n";
    setColors(kWhite, consoleColors().defaultBackground);
    std::cout << "Loading data, please wait ..."
              << "\n";
    clocks_.loading.start();
  }
  void recordsRead() override { clocks_.loading.stop(); }
  void indexing() override { clocks_.indexing.start(); }
  void indexed() override { clocks_.indexing.stop(); }
  void pretreating() override { clocks_.pretreating.start(); }
  void rankDeficientCamera(int) override { std::cout << kRankDeficientCamera; }
  void pretreated(int maxViewNum) override {
    reserveWorkspace(maxViewNum);
    clocks_.pretreating.stop();
    std::cout << setTextColor(kRed) << "Data importing finished !"
              << "\n"
              << "Time on loading - indexing - pretreating:"
              << "\n"
              << "       ";
    std::cout << std::defaultfloat << std::setprecision(6);
    std::cout << setTextColor(kWhite) << std::setw(8) << clocks_.loading.seconds()
              << setTextColor(kRed) << " - " << setTextColor(kWhite) << std::setw(8)
              << clocks_.indexing.seconds() << setTextColor(kRed) << " - " << setTextColor(kWhite)
              << std::setw(10) << clocks_.pretreating.seconds() << setTextColor(kRed)
              << " (seconds)"
              << "\n";
  }
};

std::unique_ptr<ProgramLoad> lcConsole(const PreparationClocks& clocks) {
  return std::make_unique<LcConsole>(clocks);
}

// Doubles in the notation the first progress line left on the stream (fixed, three decimals), or,
// with no point, in the stream's default notation (as the phase times were written).
void writeClosingSummary(const TriangulationRun& run, const std::string& resultsPath,
                         const std::string& summaryPath) {
  std::cout << "\n"
            << "  Triangulating finished !"
            << "\n"
            << "  Total point number triangulated : " << run.pointNum << " points;"
            << "\n"
            << "  Total time elapse :" << setTextColor(kYellow) << run.totalSeconds
            << setTextColor(kWhite) << " seconds;"
            << "\n"
            << "  Time consumption on triangulation :" << setTextColor(kRed)
            << sumOf(run.outcomes, pointSeconds) << setTextColor(kWhite) << " seconds;"
            << "\n";
  writeRunFindings(std::cout, run);
  std::cout << "  Outputs were appended to:"
            << "\n"
            << "       " << setTextColor(kYellow) << resultsPath << setTextColor(kWhite)
            << "     and "
            << "\n"
            << "       " << setTextColor(kYellow) << summaryPath << setTextColor(kWhite) << " ;"
            << "\n"
            << "  Please check them."
            << "\n"
            << "  Thank you!"
            << "\n\n";
}

}  // namespace

void writeSennicProgressLine(std::ostream& out, int p, int n, int pointNum) {
  const double percent = static_cast<double>((std::int64_t{p} + 1) * 100) / pointNum;
  out << "   Point No." << std::setw(5) << p + 1 << "  from" << std::setw(4) << n << " views "
      << std::fixed << std::setprecision(3) << std::setw(7) << percent << "% done."
      << "\n";
}

const ProgramDescription& sennicProgram() {
  static const ProgramDescription program{
      .name = "sennic",
      .summary =
          "Triangulates every 3D point of a multi-view \".lc\" data set (3x4 camera matrices and "
          "a dense table of\nimage points, -1 -1 where a camera does not see a point) with the "
          "chosen local solver, and appends\nthe results and a summary with a time table to two "
          "report files.",
      .defaultDataFile = "dinosaur.lc",
      .title = "Tessmark 2014(dinosaur.lc)",
      .banner = kBanner,
      .wrongHeader = kWrongHeader,
      .format = DataFormat::lc,
      .loadObserver = lcConsole,
      .solvers = sennicSolvers(),
      .blankLineAfterMenuHeading = true,
      .timesWaiting = false,
      .progressBeforePoint = true,
      .progressLine = writeSennicProgressLine,
      .reports = sennicReports(),
      .closingSummary = writeClosingSummary,
  };
  return program;
}

}  // namespace tessmark
