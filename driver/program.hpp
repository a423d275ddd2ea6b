#pragma once
// A triangulator program as the run driver sees it: a small table of what sets it apart from the
// other program. Everything a program shares with the other (the phases, the menu dialogue, the
// per-point loop, the counters, the timing, the report files) lives once in driver/run.cpp.

#include <cstdio>
#include <iosfwd>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include <Eigen/Core>

#include "console/stopwatch.hpp"
#include "driver/run_support.hpp"
#include "driver/triangulation_run.hpp"
#include "model/judgement.hpp"
#include "model/point_workspace.hpp"
#include "solvers/menus.hpp"

namespace tessmark {

// Where a data set's points come from, once it is loaded and prepared.
class PointSource {
 public:
  virtual ~PointSource() = default;
  // The work for point p that lies outside the point stopwatch (the .lc camera scan fills the
  // workspace's camera list); returns the point's view count n.
  virtual int locate(int p, PointWorkspace& workspace) const = 0;
  // Copies the point's n views into the workspace, inside the point stopwatch.
  virtual void gather(int p, int n, PointWorkspace& workspace) const = 0;
};

// What a program's loading, indexing and pretreating phases hand the run.
struct PreparedData {
  int cameraNum = 0;
  int pointNum = 0;
  int imageCoordinates = 0;  // the BAL observation count; 0 where the format has none
  int maxViewNum = 0;
  std::vector<int> viewNum;
  double loadingSeconds = 0.0;
  double indexingSeconds = 0.0;
  double pretreatingSeconds = 0.0;
  std::unique_ptr<PointSource> points;
  std::unique_ptr<PointWorkspace> workspace;  // reserved inside the pretreating phase
};

// The stopwatches a program's preparation starts and stops; the run creates them.
struct PreparationClocks {
  Stopwatch& total;
  Stopwatch& loading;
  Stopwatch& indexing;
  Stopwatch& pretreating;
};

// The two report files: names and the four writing steps, in the order the run calls them.
struct ReportWriters {
  std::string (*resultsFileName)(const TriangulationRun& run, const std::string& stamp);
  std::string (*summaryFileName)(const TriangulationRun& run, const std::string& stamp);
  void (*resultsHeader)(std::FILE* file, const TriangulationRun& run, const std::string& createdAt);
  void (*pointRecord)(std::FILE* file, const TriangulationRun& run, int p,
                      const Eigen::Vector3d& x_m, const Eigen::Vector3d& x_f, bool solvable,
                      bool global);
  void (*resultsSummary)(std::FILE* file, const TriangulationRun& run);
  void (*summaryFile)(std::FILE* file, const TriangulationRun& run, const std::string& createdAt);
};

struct ProgramDescription {
  // The command line and --help.
  const char* name;             // "vorlant"
  const char* summary;          // what the program does, for --help
  const char* defaultDataFile;  // read when --data is not given

  // Start-up: the console title and the banner (after an empty line).
  const char* title;
  std::span<const ColoredText> banner;
  // Written to the error stream when the data file's first line holds no accepted header ID.
  std::span<const ColoredText> wrongHeader;
  // A line added to that message when the data file was not read with --plain-bal: that the option
  // exists. Null: none.
  const char* wrongHeaderHint = nullptr;

  // Loading, indexing and pretreating, with their console lines and timings. Starts the total
  // stopwatch where the program's total begins. Throws InputError for a file that cannot be opened
  // or is not in the expected format; prints nothing of the failure itself.
  PreparedData (*prepare)(const std::string& path, const PreparationClocks& clocks);
  // The same for a data file in the format as publicly distributed, chosen by --plain-bal: for the
  // BAL program a standard BAL file without the header-ID line, compressed when its name ends in
  // ".bz2". Null: the program has no such option.
  PreparedData (*preparePlain)(const std::string& path, const PreparationClocks& clocks) = nullptr;

  // The menu and the rules of the solvers and the judgement.
  const SolverProgram& solvers;

  // The menu dialogue.
  bool blankLineAfterMenuHeading;
  bool timesWaiting;  // whether a waiting stopwatch covers the menu and the pause

  // The per-point loop.
  bool progressBeforePoint;  // the progress line opens the point, or follows its solve
  void (*progressLine)(std::ostream& out, int p, int n, int pointNum);

  // The reports and the closing summary on the console.
  ReportWriters reports;
  void (*closingSummary)(const TriangulationRun& run, const std::string& resultsPath,
                         const std::string& summaryPath);
};

}  // namespace tessmark
