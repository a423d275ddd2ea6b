#include "fuzz/fuzz_data.hpp"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "driver/sennic.hpp"
#include "driver/vorlant.hpp"
#include "model/camera_tables.hpp"

namespace tessmark::fuzz {

namespace {

// The workspace and the counts every loaded data set hands over.
PreparedData prepared(std::unique_ptr<PointSource> points, int cameraNum, int pointNum,
                      int imageCoordinates, std::vector<int> viewNum) {
  PreparedData data;
  data.cameraNum = cameraNum;
  data.pointNum = pointNum;
  data.imageCoordinates = imageCoordinates;
  data.maxViewNum = largestViewCount(viewNum);
  data.viewNum = std::move(viewNum);
  data.workspace = std::make_unique<PointWorkspace>(data.maxViewNum);
  data.points = std::move(points);
  return data;
}

// The records after the counts, indexing and pretreating, for either form of the BAL file.
std::optional<PreparedData> loadBalRecords(TextFile& file, const BalCounts& counts,
                                           const CountBound& bound) {
  if (counts.cameraNum > bound.cameras || counts.pointNum > bound.points ||
      counts.imageCoordinates > bound.observations) {
    return std::nullopt;
  }
  auto points = std::make_unique<BalPointSource>();
  points->problem = readBalRecords(file, counts);
  points->index = indexObservations(points->problem);
  if (largestViewCount(points->index.viewNum) > bound.views) return std::nullopt;
  points->tables = pretreatCameras(points->problem.cameraParameters, points->problem.cameraNum);
  const BalProblem& problem = points->problem;
  std::vector<int> viewNum = points->index.viewNum;
  return prepared(std::move(points), problem.cameraNum, problem.pointNum, problem.imageCoordinates,
                  std::move(viewNum));
}

}  // namespace

std::optional<PreparedData> loadBal(TextFile& file, const CountBound& bound) {
  checkBalHeader(file);
  return loadBalRecords(file, readBalCounts(file), bound);
}

std::optional<PreparedData> loadPlainBal(TextFile& file, const CountBound& bound) {
  return loadBalRecords(file, readBalCountsAfterOptionalHeader(file), bound);
}

std::optional<PreparedData> loadLc(TextFile& file, const CountBound& bound) {
  checkLcHeader(file);
  const LcCounts counts = readLcCounts(file);
  if (counts.allCameraNum > bound.cameras || counts.pointNum > bound.points) return std::nullopt;
  auto points = std::make_unique<LcPointSource>();
  points->problem = readLcRecords(file, counts);
  points->visibility = indexLcObservations(points->problem);
  if (largestViewCount(points->visibility.viewNum) > bound.views) return std::nullopt;
  std::vector<int> rankDeficient;
  points->tables = pretreatLcCameras(points->problem, rankDeficient);
  check(std::is_sorted(rankDeficient.begin(), rankDeficient.end()),
        "rank-deficient cameras out of camera order");
  const LcProblem& problem = points->problem;
  std::vector<int> viewNum = points->visibility.viewNum;
  return prepared(std::move(points), problem.allCameraNum, problem.pointNum, 0, std::move(viewNum));
}

bool sameBalData(const PreparedData& a, const PreparedData& b) {
  const auto& x = static_cast<const BalPointSource&>(*a.points);
  const auto& y = static_cast<const BalPointSource&>(*b.points);
  const BalProblem& p = x.problem;
  const BalProblem& q = y.problem;
  // Both the records and what indexing made of them; the tables follow from the parameters.
  return p.cameraNum == q.cameraNum && p.pointNum == q.pointNum &&
         p.imageCoordinates == q.imageCoordinates &&
         sameVector(p.observationCamera, q.observationCamera) &&
         sameVector(p.observationPoint, q.observationPoint) &&
         sameMatrix(p.observationTable, q.observationTable) &&
         sameMatrix(p.cameraParameters, q.cameraParameters) &&
         sameVector(x.index.viewNum, y.index.viewNum) &&
         sameVector(x.index.viewStart, y.index.viewStart) && a.maxViewNum == b.maxViewNum;
}

bool sameLcData(const PreparedData& a, const PreparedData& b) {
  const auto& x = static_cast<const LcPointSource&>(*a.points);
  const auto& y = static_cast<const LcPointSource&>(*b.points);
  // Both the records and the visibility made of them; the tables follow from the matrices.
  return x.problem.allCameraNum == y.problem.allCameraNum &&
         x.problem.pointNum == y.problem.pointNum &&
         sameMatrix(x.problem.cameraProjections, y.problem.cameraProjections) &&
         sameVector(x.problem.lcObservations, y.problem.lcObservations) &&
         sameVector(x.visibility.viewNum, y.visibility.viewNum) &&
         sameVector(x.visibility.cameraVisibility, y.visibility.cameraVisibility) &&
         a.maxViewNum == b.maxViewNum;
}

long long gatherEveryPoint(const PreparedData& data) {
  PointWorkspace& workspace = *data.workspace;
  long long views = 0;
  for (int p = 0; p < data.pointNum; ++p) {
    const int n = data.points->locate(p, workspace);
    check(n == data.viewNum[static_cast<std::size_t>(p)], "located view count differs from index");
    check(n >= 0 && n <= data.maxViewNum, "view count outside the workspace");
    data.points->gather(p, n, workspace);
    check(workspace.problem(n).viewCount == n, "gathered problem has another view count");
    views += n;
  }
  return views;
}

TextFile trickledFile(std::string_view text) {
  auto bytes = std::make_shared<const std::string>(text);
  std::size_t offset = 0;
  std::size_t turn = 0;
  TextFile::Source source = [bytes, offset, turn](char* buffer, std::size_t size) mutable {
    const std::size_t piece = 1 + turn++ % 7;
    const std::size_t taken = std::min({size, piece, bytes->size() - offset});
    std::memcpy(buffer, bytes->data() + offset, taken);
    offset += taken;
    return taken;
  };
  return TextFile::fromSource("trickled", std::move(source));
}

void checkRefusal(const InputError& refusal) {
  check(refusal.kind != InputError::Kind::cannotOpen, "a read error from memory");
  check(refusal.line >= 1, "a refusal that names no line");
  check(refusal.detail.rfind("expected ", 0) == 0, "a refusal that does not say what was expected");
}

void check(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "fuzz check failed: %s\n", what);
  std::abort();
}

}  // namespace tessmark::fuzz
