#pragma once
// The data-set layer: every input format as one row of a table (its name, the file names that
// suggest it, its header IDs, the rules its points are judged by, and the steps that read, index
// and pretreat a file into a point source), and one loader over that table. Every front end loads
// through it: the two programs (with an observer that prints their console lines and runs their
// stopwatches at the phase boundaries), the comparison tool, the library, the fuzz targets and
// the benchmarks (with none).
//
// A third format needs a reader and a pretreatment (input/), a point source over them
// (dataset/point_sources.hpp) and one row of the table (dataset/data_set.cpp).

#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "input/text_file.hpp"
#include "model/point_workspace.hpp"
#include "solvers/menus.hpp"

namespace tessmark {

// Where a data set's points come from, once it is loaded and prepared. Both calls only read the
// source and write into the caller's workspace, so threads may share one source, each with its own
// workspace.
class PointSource {
 public:
  virtual ~PointSource() = default;
  // The work for point p that lies outside the programs' point stopwatch (the .lc camera scan fills
  // the workspace's camera list); returns the point's view count n.
  virtual int locate(int p, PointWorkspace& workspace) const = 0;
  // Copies the point's n views into the workspace (inside the point stopwatch).
  virtual void gather(int p, int n, PointWorkspace& workspace) const = 0;
};

// The input formats, one row each of the format table.
enum class DataFormat {
  bal,       // BAL with the header-ID line first (vorlant's file)
  plainBal,  // BAL as distributed: the header-ID line optional, ".bz2" names decompressed
  lc,        // the .lc multi-view format (sennic's file), ".bz2" names decompressed
};

// A file's counts, as its count lines give them.
struct DataCounts {
  int cameraNum = 0;
  int pointNum = 0;
  int imageCoordinates = 0;  // the BAL observation count; 0 where the format has none
  // The records that follow are whitespace-separated tokens wherever the line ends fall (a
  // standard BAL file without its header-ID line), not one record per line.
  bool recordsAsTokens = false;
};

// A format's point source while it is prepared: the records read, then indexed and pretreated.
class PreparingSource : public PointSource {
 public:
  // Indexing: the view count of every point.
  virtual std::vector<int> index() = 0;
  // Pretreatment: the per-camera tables. Returns the cameras that are no perspective camera.
  virtual std::vector<int> pretreat() = 0;
};

// One row of the format table.
struct DataFormatDescription {
  DataFormat format;
  std::string_view name;                        // "bal", "plain-bal", "lc"
  std::span<const std::string_view> suffixes;   // the names that suggest it (formatOfName)
  std::span<const std::string_view> headerIds;  // the accepted first tokens of line 1
  bool headerRequired;                          // false: line 1 may be the counts line
  bool readsCompressed;  // a ".bz2" name is decompressed, and the stream checked to its end
  const SolverProgram& (*rules)();  // the menu and the judgement rules of its points
  // The steps, run by loadDataSet in this order: the header (where there is one) and the counts;
  // the records, into the format's point source; then that source's index() and pretreat().
  DataCounts (*readCounts)(TextFile& file);
  std::unique_ptr<PreparingSource> (*readRecords)(TextFile& file, const DataCounts& counts);
};

// The row of a format.
const DataFormatDescription& describe(DataFormat format);
// Every row, in the order of DataFormat.
std::span<const DataFormatDescription> dataFormats();

// The format a file name suggests: the first row one of whose suffixes ends the name, ".bz2"
// aside (lc for ".lc" and ".lc.bz2"); plainBal otherwise.
DataFormat formatOfName(std::string_view path);

// Told the phase boundaries of a load, in this order: opening, checkingFormat, counted, recordsRead
// (still inside the open file: closing it belongs to no phase), indexing, indexed, pretreating,
// rankDeficientCamera for each such camera, pretreated. A failure (InputError) ends the sequence.
class LoadObserver {
 public:
  virtual ~LoadObserver() = default;
  virtual void opening() {}         // the file is opened next
  virtual void checkingFormat() {}  // the file is open; its header and counts are read next
  virtual void counted(const DataCounts&) {}  // the counts are read; the records follow
  virtual void recordsRead() {}  // every record read (a compressed stream checked to its end)
  virtual void indexing() {}
  virtual void indexed() {}
  virtual void pretreating() {}
  virtual void rankDeficientCamera(int) {}  // a camera that is no perspective camera
  virtual void pretreated(int /*maxViewNum*/) {}
};

// A data set loaded and prepared: its counts, its points' view counts and its point source.
struct DataSet {
  const DataFormatDescription* format = nullptr;
  int cameraNum = 0;
  int pointNum = 0;
  int imageCoordinates = 0;  // the BAL observation count; 0 for a .lc set
  int maxViewNum = 0;        // the largest view count of a point (a workspace's size)
  std::vector<int> viewNum;
  // Cameras that are no perspective camera (their points come out non-finite), in camera order.
  std::vector<int> rankDeficientCameras;
  // The three phases as the loader times them: loading from opening the file to its last record
  // (a compressed stream checked to its end), indexing, pretreating.
  double loadingSeconds = 0.0;
  double indexingSeconds = 0.0;
  double pretreatingSeconds = 0.0;
  std::unique_ptr<const PointSource> points;

  const SolverProgram& rules() const { return format->rules(); }
};

// Reads the whole file in `format` and prepares it, telling `observer` (when given) each phase
// boundary. Throws InputError (file, line, what was expected) for a file that cannot be opened or
// is not well formed; returns only after the input has been read completely.
DataSet loadDataSet(const std::string& path, DataFormat format, LoadObserver* observer = nullptr);
// The same from a file already open (a file in memory, a trickled source); `observer`'s opening
// is not called.
DataSet loadDataSet(TextFile& file, DataFormat format, LoadObserver* observer = nullptr);

}  // namespace tessmark
