#pragma once
// Whole data sets through the library: load a BAL problem or a .lc multi-view set into a Problem,
// read its cameras, poses and each point's views, and triangulate all of its points (or a chosen
// few) with one method on every core, each point exactly as the programs `vorlant` and `sennic`
// triangulate it.
//
//   const tessmark::Problem problem = tessmark::Problem::load("problem-49-7776-pre.txt.bz2");
//   const auto method = tessmark::Method::fromKey(problem.rules(), "0");
//   const tessmark::ProblemTriangulation all = tessmark::triangulateAll(problem, method);
//   // all.points[p] is point p's Triangulation (tessmark/triangulate.hpp)
//
// Like tessmark/triangulate.hpp, this header needs only the standard library and Eigen 3.4, and
// belongs to the library's public, stable interface (link Tessmark::core).
//
// Indices: points and cameras keep the 0-based indices of the file (a BAL observation line's point
// and camera index; a .lc file's point line and camera line, counted from 0).
//
// Threads: a Problem never changes after loading; any number of threads may read it and
// triangulate from it at once.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <stop_token>
#include <string>
#include <vector>

#include <Eigen/Core>

#include "tessmark/triangulate.hpp"

namespace tessmark {

// The layout of a data file.
enum class ProblemFormat {
  // From the name: lc for a name that ends in ".lc" or ".lc.bz2", bal for any other.
  byName,
  // "Bundle Adjustment in the Large" text: the counts line (cameras, points, observations), one
  // line per observation (camera index, point index, x, y), then nine parameters per camera (angle
  // axis w, translation t, focal length f, radial distortion k1 k2, unused). The header-ID line
  // "Rome_is_not_built_in_one_day!" of vorlant's own file may come first, or not. Points beyond
  // the last camera parameter (the initial 3D points) are not read.
  bal,
  // The .lc multi-view format of sennic: a header-ID line, the camera count, the point count, one
  // 3x4 matrix per camera line (row by row), then per point an x and a y for every camera, "-1 -1"
  // where the camera does not see it.
  lc,
};

// One view of a point: the camera that sees it and the point's image in that camera (in the units
// of the camera's matrix: a BAL camera's x = -f Xc[0] / Xc[2], y = -f Xc[1] / Xc[2]).
struct PointView {
  int camera = 0;
  Eigen::Vector2d observation = Eigen::Vector2d::Zero();
};

// The error of a data file that cannot be opened or is not well formed. what() reads
// "FILE:LINE: DETAIL" ("FILE: DETAIL" where no line is concerned), as the programs print it.
class DataFileError : public TriangulationError {
 public:
  DataFileError(Reason reason, std::string file, std::int64_t line, std::string detail);

  // The file as given to Problem::load.
  const std::string& file() const noexcept { return file_; }
  // The 1-based line of the fault; 0 when it concerns the whole file (it cannot be opened or read,
  // or a compressed stream is damaged).
  std::int64_t line() const noexcept { return line_; }
  // What was expected there and what was found ("expected 4 values (camera index, point index, x,
  // y), found 3"), or the system's reason why the file cannot be opened.
  const std::string& detail() const noexcept { return detail_; }

 private:
  std::string file_;
  std::int64_t line_;
  std::string detail_;
};

// A data set, loaded and prepared as the programs prepare it: every camera's matrix and pose, and
// every point's views. A value that owns its arrays; moving it is cheap, copying is not offered.
//
// Memory: the observations are kept once, as read (about 24 bytes per BAL observation; the .lc
// set's dense table of 16 bytes per point and camera); cameras take a few hundred bytes each.
class Problem {
 public:
  // Reads and prepares the whole file (a name ending in ".bz2" is decompressed as it is read, and
  // the compressed stream is checked to its end). Throws DataFileError with reason cannotOpen (the
  // file cannot be opened or read), wrongHeader (a .lc file's first token is no header ID) or
  // malformedFile (anything else: the line and what was expected there), as the programs refuse
  // it; std::bad_alloc when memory runs out.
  static Problem load(const std::string& path, ProblemFormat format = ProblemFormat::byName);

  Problem(Problem&&) noexcept;
  Problem& operator=(Problem&&) noexcept;
  Problem(const Problem&) = delete;
  Problem& operator=(const Problem&) = delete;
  ~Problem();

  // The format it was read as (never byName).
  ProblemFormat format() const;
  // The rules of the program that reads this format: vorlant for BAL, sennic for .lc. A method of
  // either rules may triangulate its points; these give the program's numbers.
  Rules rules() const;

  int cameraCount() const;
  int pointCount() const;
  std::int64_t observationCount() const;  // the views of all points
  int largestViewCount() const;           // the most views a point has (0 without points)

  // Camera c's matrix and pose, c in [0, cameraCount()). BAL: balCamera() of its parameters, as
  // vorlant prepares them. .lc: the matrix as read, the pose derived from it as sennic derives it
  // (see PointViews); a camera that is no perspective camera has a non-finite pose, and the points
  // it sees come out non-finite, as in sennic's reports.
  std::span<const Eigen::Matrix<double, 3, 4>> cameras() const;
  std::span<const CameraPose> poses() const;
  // The cameras that are no perspective camera, in increasing order (always none for BAL).
  std::span<const int> rankDeficientCameras() const;

  // Point p's view count, p in [0, pointCount()). A BAL point that no observation names has 0.
  int viewCount(int point) const;
  // Point p's views into `views` (replacing its contents; no allocation once its capacity holds
  // them): a BAL point's in the order of its observation lines, a .lc point's in camera order.
  void views(int point, std::vector<PointView>& views) const;
  std::vector<PointView> views(int point) const;

  struct Data;  // the loaded data set

 private:
  explicit Problem(std::unique_ptr<Data> data);
  friend struct ProblemAccess;
  std::unique_ptr<Data> data_;
};

// How triangulateAll and triangulatePoints run.
struct ProblemOptions {
  TriangulationOptions solver;  // tolerance and loop cap (defaults: the programs')
  int threads = 0;              // the worker threads; 0: every core the process may use
  // Told the number of points done so far, rising, after every few points, from the worker
  // threads one call at a time; the last call of a complete run tells the whole count. It must
  // not call back into the running triangulation.
  std::function<void(std::size_t done, std::size_t total)> progress;
  // Once a stop is requested, no further point is begun; the points under way are finished, and
  // the call returns a cancelled result.
  std::stop_token cancel;
};

// The outcome of a whole-problem call.
struct ProblemTriangulation {
  // One per point asked for, in the order asked (triangulateAll: points[p] for point p); empty
  // when cancelled.
  std::vector<Triangulation> points;
  bool cancelled = false;  // a stop was requested before every point was done
};

// Triangulates every point of `problem` with `method`, over options.threads threads: for each
// point the symmedian start, the method's solver and the judgement under the method's rules,
// exactly as the program of those rules does (problem.rules() gives the program's own numbers,
// bit for bit). The results are the same bits whatever the thread count. A point seen by a camera
// that is no perspective camera (.lc) comes out non-finite, labelled Local, as in sennic's
// reports. A BAL point that no observation names has nothing to solve: its record has NaN
// coordinates and diagnostics, 0 loops, Hard case and Local (vorlant's reports print it at the
// origin with cost 0, Solvable and Global).
//
// Throws TriangulationError (badOptions) for options that are not valid (see
// TriangulationOptions; threads may be any number, 0 or less meaning every core). Memory: the
// results (about 150 bytes per point) and room for one point per thread.
ProblemTriangulation triangulateAll(const Problem& problem, const Method& method,
                                    const ProblemOptions& options = {});
// The same for the chosen points, in the order given (an index may repeat). Throws
// TriangulationError (unknownPoint) for an index outside [0, problem.pointCount()), before any
// point is triangulated.
ProblemTriangulation triangulatePoints(const Problem& problem, std::span<const int> points,
                                       const Method& method, const ProblemOptions& options = {});

}  // namespace tessmark
