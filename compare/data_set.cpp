#include "compare/data_set.hpp"

#include <memory>
#include <utility>

#include "console/stopwatch.hpp"
#include "driver/sennic.hpp"
#include "driver/vorlant.hpp"
#include "input/bzip2_file.hpp"

namespace tessmark {

namespace {

// The three preparation phases' stopwatches, and the data they fill.
struct Phases {
  Stopwatch loading, indexing, pretreating;

  void finish(PreparedData& data, int maxViewNum) const {
    data.maxViewNum = maxViewNum;
    data.workspace = std::make_unique<PointWorkspace>(maxViewNum);
    data.loadingSeconds = loading.seconds();
    data.indexingSeconds = indexing.seconds();
    data.pretreatingSeconds = pretreating.seconds();
  }
};

DataSet loadBal(const std::string& path) {
  Phases phases;
  auto points = std::make_unique<BalPointSource>();
  phases.loading.start();
  TextFile file = openDataFile(path);
  const BalCounts counts = readBalCountsAfterOptionalHeader(file);
  points->problem = readBalRecords(file, counts);
  checkRestOfCompressedFile(file);
  phases.loading.stop();
  phases.indexing.start();
  points->index = indexObservations(points->problem);
  phases.indexing.stop();
  phases.pretreating.start();
  points->tables = pretreatCameras(points->problem.cameraParameters, points->problem.cameraNum);
  phases.pretreating.stop();

  DataSet set;
  set.format = DataFormat::bal;
  set.data.cameraNum = counts.cameraNum;
  set.data.pointNum = counts.pointNum;
  set.data.imageCoordinates = counts.imageCoordinates;
  set.data.viewNum = points->index.viewNum;
  phases.finish(set.data, largestViewCount(points->index.viewNum));
  set.data.points = std::move(points);
  return set;
}

DataSet loadLc(const std::string& path) {
  Phases phases;
  auto points = std::make_unique<LcPointSource>();
  phases.loading.start();
  TextFile file = openDataFile(path);
  checkLcHeader(file);
  const LcCounts counts = readLcCounts(file);
  points->problem = readLcRecords(file, counts);
  checkRestOfCompressedFile(file);
  phases.loading.stop();
  phases.indexing.start();
  points->visibility = indexLcObservations(points->problem);
  phases.indexing.stop();
  DataSet set;
  set.format = DataFormat::lc;
  phases.pretreating.start();
  points->tables = pretreatLcCameras(points->problem, set.rankDeficientCameras);
  phases.pretreating.stop();

  set.data.cameraNum = counts.allCameraNum;
  set.data.pointNum = counts.pointNum;
  set.data.viewNum = points->visibility.viewNum;
  phases.finish(set.data, largestViewCount(points->visibility.viewNum));
  set.data.points = std::move(points);
  return set;
}

}  // namespace

DataFormat formatOfName(std::string_view path) {
  if (path.ends_with(".bz2")) path.remove_suffix(4);
  return path.ends_with(".lc") ? DataFormat::lc : DataFormat::bal;
}

const SolverProgram& solverProgramOf(DataFormat format) {
  return format == DataFormat::lc ? sennicSolvers() : vorlantSolvers();
}

DataSet loadDataSet(const std::string& path, DataFormat format) {
  return format == DataFormat::lc ? loadLc(path) : loadBal(path);
}

}  // namespace tessmark
