#include "tessmark/problem.hpp"

#include <algorithm>
#include <cassert>
#include <limits>
#include <numeric>
#include <optional>
#include <utility>

#include "dataset/data_set.hpp"
#include "dataset/parallel_points.hpp"
#include "dataset/point_solver.hpp"
#include "dataset/point_sources.hpp"
#include "input/input_error.hpp"
#include "model/point_workspace.hpp"
#include "tessmark/library_support.hpp"

namespace tessmark {

struct Problem::Data {
  DataSet set;
  ProblemFormat format = ProblemFormat::bal;
  std::int64_t observationCount = 0;
  std::vector<Eigen::Matrix<double, 3, 4>> cameras;
  std::vector<CameraPose> poses;
  // The point source as its format keeps the views (one of the two is set).
  const BalPointSource* bal = nullptr;
  const LcPointSource* lc = nullptr;
};

// The loaded data behind a Problem, for the whole-problem calls.
struct ProblemAccess {
  static const Problem::Data& data(const Problem& problem) { return *problem.data_; }
};

namespace {

using Reason = TriangulationError::Reason;

DataFormat dataFormat(ProblemFormat format, const std::string& path) {
  switch (format) {
    case ProblemFormat::bal:
      return DataFormat::plainBal;
    case ProblemFormat::lc:
      return DataFormat::lc;
    case ProblemFormat::byName:
      break;
  }
  return formatOfName(path);
}

Reason reasonOf(InputError::Kind kind) {
  switch (kind) {
    case InputError::Kind::cannotOpen:
      return Reason::cannotOpen;
    case InputError::Kind::wrongHeader:
      return Reason::wrongHeader;
    case InputError::Kind::malformed:
      break;
  }
  return Reason::malformedFile;
}

// Every camera's matrix and pose, from the per-camera tables the points are gathered from.
void copyCameras(const CameraTables& tables, int cameraNum, Problem::Data& data) {
  const auto count = static_cast<std::size_t>(cameraNum);
  data.cameras.resize(count);
  data.poses.resize(count);
  for (int c = 0; c < cameraNum; ++c) {
    const auto i = static_cast<std::size_t>(c);
    const ViewBlock& block = tables.cameraBlocks[i];
    data.cameras[i] = block.camera();
    const Eigen::Matrix<double, 3, 7>& pose = block.pose;
    data.poses[i].calibration = pose.leftCols<3>();
    data.poses[i].rotation = pose.middleCols<3>(3);
    data.poses[i].centre = pose.col(6);
  }
}

void checkPoint(const Problem::Data& data, int point) {
  if (point < 0 || point >= data.set.pointNum) {
    refuse(Reason::unknownPoint, -1,
           "no point has the index " + std::to_string(point) + " (the problem has " +
               std::to_string(data.set.pointNum) + " points)");
  }
}

// The record of a point that no observation names: there is nothing to solve, so every number is
// NaN and neither label holds. (vorlant's reports print such a point at the origin, with cost 0,
// Solvable and Global: labels the data cannot support.)
Triangulation withoutViews() {
  constexpr double nan = std::numeric_limits<double>::quiet_NaN();
  Triangulation t;
  t.start = t.point = Eigen::Vector3d::Constant(nan);
  t.reprojError_m = t.reprojError_f = t.gamma_m = t.gamma_f = nan;
  t.rho_m = t.rho_f = t.klc_m = t.klc_f = nan;
  return t;
}

// One worker's room: a workspace for the largest point and the per-point solver over it.
struct Worker {
  Worker(const SolverProgram& program, const MenuEntry& entry, int maxViewNum,
         const PointSolverOptions& options)
      : workspace(maxViewNum), solver(program, entry, workspace, options) {}
  PointWorkspace workspace;
  PointSolver solver;
};

// Triangulates points[k] (point k when `points` is null) for k in [0, count) into entry k of the
// result.
ProblemTriangulation triangulateMany(const Problem::Data& data, const int* points,
                                     std::size_t count, const Method& method,
                                     const ProblemOptions& options) {
  const PointSolverOptions solving = solverOptions(options.solver);
  const MenuEntry& entry = LibraryAccess::entry(method);
  const SolverProgram& program = solversOf(method.rules());
  const int workers = workerCount(options.threads);
  // Made by each worker when it first runs: a worker that never runs costs nothing.
  std::vector<std::unique_ptr<Worker>> room(static_cast<std::size_t>(workers));

  ProblemTriangulation result;
  result.points.resize(count);
  const PointSource& source = *data.set.points;
  const auto work = [&](int worker, std::size_t k) {
    std::unique_ptr<Worker>& mine = room[static_cast<std::size_t>(worker)];
    if (!mine) mine = std::make_unique<Worker>(program, entry, data.set.maxViewNum, solving);
    const int p = points == nullptr ? static_cast<int>(k) : points[k];
    if (data.set.viewNum[static_cast<std::size_t>(p)] == 0) {
      result.points[k] = withoutViews();
      return;
    }
    result.points[k] = publicRecord(mine->solver.triangulate(source, p));
  };
  std::function<void(std::size_t)> progress;
  if (options.progress) {
    progress = [&](std::size_t done) { options.progress(done, count); };
  }
  if (!forEachPoint(count, workers, work, progress, options.cancel)) {
    result.points.clear();
    result.points.shrink_to_fit();
    result.cancelled = true;
  }
  return result;
}

}  // namespace

DataFileError::DataFileError(Reason reason, std::string file, std::int64_t line, std::string detail)
    : TriangulationError(
          reason, -1,
          line > 0 ? file + ":" + std::to_string(line) + ": " + detail : file + ": " + detail),
      file_(std::move(file)),
      line_(line),
      detail_(std::move(detail)) {}

Problem::Problem(std::unique_ptr<Data> data) : data_(std::move(data)) {}
Problem::Problem(Problem&&) noexcept = default;
Problem& Problem::operator=(Problem&&) noexcept = default;
Problem::~Problem() = default;

Problem Problem::load(const std::string& path, ProblemFormat format) {
  auto data = std::make_unique<Data>();
  const DataFormat read = dataFormat(format, path);
  try {
    data->set = loadDataSet(path, read);
  } catch (const InputError& error) {
    throw DataFileError(reasonOf(error.kind), error.file, error.line, error.detail);
  }
  const DataSet& set = data->set;
  if (read == DataFormat::lc) {
    data->format = ProblemFormat::lc;
    data->lc = dynamic_cast<const LcPointSource*>(set.points.get());
    assert(data->lc != nullptr);
    copyCameras(data->lc->tables, set.cameraNum, *data);
  } else {
    data->format = ProblemFormat::bal;
    data->bal = dynamic_cast<const BalPointSource*>(set.points.get());
    assert(data->bal != nullptr);
    copyCameras(data->bal->tables, set.cameraNum, *data);
  }
  data->observationCount = std::accumulate(set.viewNum.begin(), set.viewNum.end(), std::int64_t{0});
  return Problem(std::move(data));
}

ProblemFormat Problem::format() const { return data_->format; }

Rules Problem::rules() const {
  return data_->format == ProblemFormat::lc ? Rules::sennic : Rules::vorlant;
}

int Problem::cameraCount() const { return data_->set.cameraNum; }
int Problem::pointCount() const { return data_->set.pointNum; }
std::int64_t Problem::observationCount() const { return data_->observationCount; }
int Problem::largestViewCount() const { return data_->set.maxViewNum; }

std::span<const Eigen::Matrix<double, 3, 4>> Problem::cameras() const { return data_->cameras; }
std::span<const CameraPose> Problem::poses() const { return data_->poses; }
std::span<const int> Problem::rankDeficientCameras() const {
  return data_->set.rankDeficientCameras;
}

int Problem::viewCount(int point) const {
  checkPoint(*data_, point);
  return data_->set.viewNum[static_cast<std::size_t>(point)];
}

void Problem::views(int point, std::vector<PointView>& views) const {
  const int n = viewCount(point);
  views.resize(static_cast<std::size_t>(n));
  if (const BalPointSource* bal = data_->bal) {
    const int first = bal->observationIndex.viewStart[static_cast<std::size_t>(point)];
    for (int j = 0; j < n; ++j) {
      const int o = first + j;
      PointView& view = views[static_cast<std::size_t>(j)];
      view.camera = bal->problem.observationCamera[static_cast<std::size_t>(o)];
      view.observation = {bal->problem.observationTable(o, 0), bal->problem.observationTable(o, 1)};
    }
    return;
  }
  const LcPointSource& lc = *data_->lc;
  const std::uint8_t* seen = lc.visibility.visibilityRow(point);
  const double* row = lc.problem.observationRow(point);
  std::size_t j = 0;
  for (int c = 0; c < lc.problem.allCameraNum; ++c) {
    if (seen[c] == 0) continue;
    const auto x = static_cast<std::size_t>(2 * c);
    views[j++] = {c, {row[x], row[x + 1]}};
  }
  assert(j == views.size());
}

std::vector<PointView> Problem::views(int point) const {
  std::vector<PointView> list;
  views(point, list);
  return list;
}

ProblemTriangulation triangulateAll(const Problem& problem, const Method& method,
                                    const ProblemOptions& options) {
  const Problem::Data& data = ProblemAccess::data(problem);
  return triangulateMany(data, nullptr, static_cast<std::size_t>(data.set.pointNum), method,
                         options);
}

ProblemTriangulation triangulatePoints(const Problem& problem, std::span<const int> points,
                                       const Method& method, const ProblemOptions& options) {
  const Problem::Data& data = ProblemAccess::data(problem);
  for (const int point : points) checkPoint(data, point);
  return triangulateMany(data, points.data(), points.size(), method, options);
}

}  // namespace tessmark
