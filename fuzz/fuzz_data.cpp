#include "fuzz/fuzz_data.hpp"

#include "dataset/point_sources.hpp"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace tessmark::fuzz {

namespace {

// Ends a load whose counts lie beyond the bound, before any record is read.
struct BeyondTheBound {};

class BoundedLoad : public LoadObserver {
 public:
  explicit BoundedLoad(const CountBound& bound) : bound_(bound) {}
  void counted(const DataCounts& counts) override {
    if (counts.cameraNum > bound_.cameras || counts.pointNum > bound_.points ||
        counts.imageCoordinates > bound_.observations) {
      throw BeyondTheBound{};
    }
  }

 private:
  const CountBound& bound_;
};

}  // namespace

std::optional<DataSet> loadBounded(TextFile& file, DataFormat format, const CountBound& bound) {
  BoundedLoad observer(bound);
  try {
    DataSet data = loadDataSet(file, format, &observer);
    check(std::is_sorted(data.rankDeficientCameras.begin(), data.rankDeficientCameras.end()),
          "rank-deficient cameras out of camera order");
    if (data.maxViewNum > bound.views) return std::nullopt;
    return data;
  } catch (const BeyondTheBound&) {
    return std::nullopt;
  }
}

bool sameBalData(const DataSet& a, const DataSet& b) {
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
         sameVector(x.observationIndex.viewNum, y.observationIndex.viewNum) &&
         sameVector(x.observationIndex.viewStart, y.observationIndex.viewStart) &&
         a.maxViewNum == b.maxViewNum;
}

bool sameLcData(const DataSet& a, const DataSet& b) {
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

long long gatherEveryPoint(const DataSet& data) {
  PointWorkspace workspace(data.maxViewNum);
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
