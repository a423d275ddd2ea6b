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

constexpr ColoredText kBanner[] = {
    {Color::red, false, "tessmark(per Oxford visual geometry group data format)\n"},
    {Color::darkYellow, false, " Dec 05 2013 -- Feb 11 2014, for peer review reference \n"},
    {Color::blue, false,
     "  How to use: \n"
     "  1) if you see this, it already works properly on a Windows operating system\n"
     "  2) place the "},
    {Color::darkCyan, true, " dinosaur.lc "},
    {Color::blue, false,
     "data file in the same directory as the Calculator\n"
     "  3) Note: only the exact filename highlighted above is accepted;\n"
     "     see 'README.txt' and example files for more details.\n"
     "     data sets: "},
    {Color::cyan, false, "http://www.robots.ox.ac.uk/~vgg/data/data-mview.html\n"},
};

constexpr ColoredText kWrongHeader[] = {
    {Color::red, false, "Wrong file format!! \n"},
    {Color::white, false, " The first line of the "},
    {Color::cyan, false, "dinosaur.lc"},
    {Color::white, false, "data file must be "},
    {Color::yellow, false, "Jingle_bells,_jingle_bells,_Jingle_all_the_way!\n"},
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
    setColors(Color::red, Color::yellow);
    std::cout << "Total camera number is: " << counts.cameraNum << "\n"
              << "Total point number is: " << counts.pointNum << "\n";
    setColors(Color::white, consoleColors().defaultBackground);
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
    std::cout << setTextColor(Color::red) << "Data importing finished !"
              << "\n"
              << "Time on loading - indexing - pretreating:"
              << "\n"
              << "       ";
    std::cout << std::defaultfloat << std::setprecision(6);
    std::cout << setTextColor(Color::white) << std::setw(8) << clocks_.loading.seconds()
              << setTextColor(Color::red) << " - " << setTextColor(Color::white) << std::setw(8)
              << clocks_.indexing.seconds() << setTextColor(Color::red) << " - "
              << setTextColor(Color::white) << std::setw(10) << clocks_.pretreating.seconds()
              << setTextColor(Color::red) << " (seconds)"
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
            << "  Total time elapse :" << setTextColor(Color::yellow) << run.totalSeconds
            << setTextColor(Color::white) << " seconds;"
            << "\n"
            << "  Time consumption on triangulation :" << setTextColor(Color::red)
            << sumOf(run.outcomes, pointSeconds) << setTextColor(Color::white) << " seconds;"
            << "\n";
  writeRunFindings(std::cout, run);
  std::cout << "  Outputs were appended to:"
            << "\n"
            << "       " << setTextColor(Color::yellow) << resultsPath << setTextColor(Color::white)
            << "     and "
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
