#include "dataset/data_set.hpp"

#include <array>
#include <cassert>
#include <utility>

#include "console/stopwatch.hpp"
#include "dataset/point_sources.hpp"
#include "input/bzip2_file.hpp"

namespace tessmark {

namespace {

constexpr std::string_view kBalHeaderIds[] = {kBalHeaderId};
constexpr std::string_view kLcSuffixes[] = {".lc"};

DataCounts balCounts(const BalCounts& counts) {
  return {counts.cameraNum, counts.pointNum, counts.imageCoordinates,
          counts.layout == BalLayout::tokens};
}

DataCounts readBalFileCounts(TextFile& file) {
  checkBalHeader(file);
  return balCounts(readBalCounts(file));
}

DataCounts readPlainBalCounts(TextFile& file) {
  return balCounts(readBalCountsAfterOptionalHeader(file));
}

std::unique_ptr<PreparingSource> readBalFileRecords(TextFile& file, const DataCounts& counts) {
  auto source = std::make_unique<BalPointSource>();
  source->problem =
      readBalRecords(file, {counts.cameraNum, counts.pointNum, counts.imageCoordinates,
                            counts.recordsAsTokens ? BalLayout::tokens : BalLayout::lines});
  return source;
}

DataCounts readLcFileCounts(TextFile& file) {
  checkLcHeader(file);
  const LcCounts counts = readLcCounts(file);
  return {counts.allCameraNum, counts.pointNum, 0};
}

std::unique_ptr<PreparingSource> readLcFileRecords(TextFile& file, const DataCounts& counts) {
  auto source = std::make_unique<LcPointSource>();
  source->problem = readLcRecords(file, {counts.cameraNum, counts.pointNum});
  return source;
}

const std::array<DataFormatDescription, 3> kFormats{{
    {DataFormat::bal,
     "bal",
     {},
     kBalHeaderIds,
     true,
     false,
     vorlantSolvers,
     readBalFileCounts,
     readBalFileRecords},
    {DataFormat::plainBal,
     "plain-bal",
     {},
     kBalHeaderIds,
     false,
     true,
     vorlantSolvers,
     readPlainBalCounts,
     readBalFileRecords},
    {DataFormat::lc, "lc", kLcSuffixes, kLcHeaderIds, true, true, sennicSolvers, readLcFileCounts,
     readLcFileRecords},
}};

// Runs the steps after opening. The caller closes `file` after the preparation, outside every
// phase: closing a file is timed by none.
DataSet loadOpened(TextFile& file, const DataFormatDescription& format, LoadObserver& observer,
                   Stopwatch& loading) {
  DataSet set;
  set.format = &format;
  observer.checkingFormat();
  const DataCounts counts = format.readCounts(file);
  observer.counted(counts);
  std::unique_ptr<PreparingSource> source = format.readRecords(file, counts);
  if (format.readsCompressed) checkRestOfCompressedFile(file);
  loading.stop();
  observer.recordsRead();
  set.cameraNum = counts.cameraNum;
  set.pointNum = counts.pointNum;
  set.imageCoordinates = counts.imageCoordinates;
  set.loadingSeconds = loading.seconds();

  Stopwatch watch;
  observer.indexing();
  watch.start();
  set.viewNum = source->index();
  watch.stop();
  set.indexingSeconds = watch.seconds();
  observer.indexed();

  observer.pretreating();
  watch.start();
  set.rankDeficientCameras = source->pretreat();
  for (const int camera : set.rankDeficientCameras) observer.rankDeficientCamera(camera);
  set.maxViewNum = largestViewCount(set.viewNum);
  watch.stop();
  set.pretreatingSeconds = watch.seconds();
  observer.pretreated(set.maxViewNum);
  set.points = std::move(source);
  return set;
}

}  // namespace

const DataFormatDescription& describe(DataFormat format) {
  const auto& row = kFormats[static_cast<std::size_t>(format)];
  assert(row.format == format);
  return row;
}

std::span<const DataFormatDescription> dataFormats() { return kFormats; }

DataFormat formatOfName(std::string_view path) {
  if (path.ends_with(".bz2")) path.remove_suffix(4);
  for (const DataFormatDescription& row : kFormats) {
    for (const std::string_view suffix : row.suffixes) {
      if (path.ends_with(suffix)) return row.format;
    }
  }
  return DataFormat::plainBal;
}

DataSet loadDataSet(const std::string& path, DataFormat format, LoadObserver* observer) {
  LoadObserver quiet;
  LoadObserver& told = observer != nullptr ? *observer : quiet;
  const DataFormatDescription& row = describe(format);
  told.opening();
  Stopwatch loading;
  loading.start();
  TextFile file = row.readsCompressed ? openDataFile(path) : TextFile::open(path);
  return loadOpened(file, row, told, loading);
}

DataSet loadDataSet(TextFile& file, DataFormat format, LoadObserver* observer) {
  LoadObserver quiet;
  Stopwatch loading;
  loading.start();
  return loadOpened(file, describe(format), observer != nullptr ? *observer : quiet, loading);
}

}  // namespace tessmark
