#pragma once
// A triangulator program as the run driver sees it: a small table of what sets it apart from the
// other program. Everything a program shares with the other (the phases, the menu dialogue, the
// per-point loop, the counters, the timing, the report files) lives once in driver/run.cpp.

#include <cstdio>
#include <iosfwd>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "console/stopwatch.hpp"
#include "dataset/data_set.hpp"
#include "driver/run_support.hpp"
#include "driver/triangulation_run.hpp"
#include "model/point_workspace.hpp"
#include "solvers/menus.hpp"

namespace tessmark {

// The stopwatches of a run's preparation phases; the run creates them, and the program's load
// observer starts and stops them at the boundaries its console dialogue fixes.
struct PreparationClocks {
  Stopwatch& total;
  Stopwatch& loading;
  Stopwatch& indexing;
  Stopwatch& pretreating;
};

// A program's observer of the load: its console lines and stopwatches at the phase boundaries. It
// reserves the run's workspace (reserveWorkspace) before it stops the pretreating stopwatch, so
// that the pretreating phase includes it.
class ProgramLoad : public LoadObserver {
 public:
  explicit ProgramLoad(const PreparationClocks& clocks) : clocks_(clocks) {}

  std::optional<PointWorkspace> workspace;

 protected:
  void reserveWorkspace(int maxViewNum) { workspace.emplace(maxViewNum); }
  const PreparationClocks& clocks_;
};

// The two report files: names and the four writing steps, in the order the run calls them.
struct ReportWriters {
  std::string (*resultsFileName)(const TriangulationRun& run, const std::string& stamp);
  std::string (*summaryFileName)(const TriangulationRun& run, const std::string& stamp);
  void (*resultsHeader)(std::FILE* file, const TriangulationRun& run, const std::string& createdAt);
  void (*pointRecord)(std::FILE* file, const TriangulationRun& run, int p);
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

  // The data file: its format, and the format chosen by --plain-bal (for the BAL program a standard
  // BAL file without the header-ID line, compressed when its name ends in ".bz2"; none: the program
  // has no such option).
  DataFormat format;
  std::optional<DataFormat> plainFormat = std::nullopt;
  // The console lines and the stopwatches of the loading, indexing and pretreating phases: an
  // observer of the load (dataset/data_set.hpp) that starts the total stopwatch where the
  // program's total begins. It prints nothing of a failure.
  std::unique_ptr<ProgramLoad> (*loadObserver)(const PreparationClocks& clocks);

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
