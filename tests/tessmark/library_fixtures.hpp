#pragma once
// What the library's tests share: data sets made once per test program by the project's data
// makers, the real data sets when TESSMARK_DATA_DIR has them, a point's views as a caller holds
// them, and the comparison of a point's outcome on the programs' path with the library's record,
// bit for bit.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include <Eigen/Core>

#include "dataset/point_outcome.hpp"
#include "tessmark/triangulate.hpp"

namespace tessmark::testing {

// Made in a scratch folder when first asked for, removed at exit:
//   synthetic.txt, synthetic.lc  12 cameras, 60 points (BAL with the header-ID line; .lc)
//   larger.txt, larger.lc        2000 and 1500 points, enough for many chunks on every thread
class MadeData {
 public:
  MadeData();
  ~MadeData();
  MadeData(const MadeData&) = delete;
  MadeData& operator=(const MadeData&) = delete;
  std::string path(const char* name) const { return (folder_ / name).string(); }

 private:
  void make(const char* maker, const char* name, const char* options);
  std::filesystem::path folder_;
};
const MadeData& madeData();

// The path of a real data set in TESSMARK_DATA_DIR, or "" when it is absent (the test skips).
std::string realData(const char* name);

// One point's views as a caller of the interface holds them.
struct ViewStorage {
  std::vector<Eigen::Matrix<double, 3, 4>> cameras;
  std::vector<Eigen::Vector2d> observations;
  std::vector<CameraPose> poses;

  PointViews views() const { return {cameras, observations, poses}; }
};

std::uint64_t bits(double value);
// Every field, bit for bit; a description of the first fields that differ, or "".
std::string differences(const PointOutcome& program, const Triangulation& api);

}  // namespace tessmark::testing
