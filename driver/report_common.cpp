#include "driver/report_common.hpp"

#include "driver/run_support.hpp"

namespace tessmark {

namespace {

// clang-format off
const PrintfFormat kRecordLabel = "\t%s\n";
const PrintfFormat kTimeTableRow = "%4d\t%2d\t%20.18lf\t%4d\t%20.18lf\t%.18e\t%10.10lf\t%10.10e\t %lf\t%lf\t%lf\t%lf\n";
// clang-format on

}  // namespace

void writePointRecord(std::FILE* file, const TriangulationRun& run, int p,
                      const Eigen::Vector3d& x_m, const Eigen::Vector3d& x_f, bool solvable,
                      bool global, const PointRecordFormats& formats) {
  const auto i = static_cast<std::size_t>(p);
  PrintfText text;
  text.append(formats.first, {p + 1, x_m(0), x_f(0), run.pointLoops[i], formats.reportedLoopCap});
  text.append(formats.second, {run.viewNum[i], x_m(1), x_f(1), run.reprojError_m[i], run.klc_m[i]});
  text.append(kRecordLabel, {solvableLabel(solvable)});
  text.append(formats.third,
              {run.pointSeconds[i], x_m(2), x_f(2), run.reprojError_f[i], run.klc_f[i]});
  text.append(kRecordLabel, {globalLabel(global)});
  text.writeTo(file);
}

void writeTimeTableRows(std::FILE* file, const TriangulationRun& run) {
  PrintfText text;
  for (int p = 0; p < run.pointNum; ++p) {
    const auto i = static_cast<std::size_t>(p);
    text.append(kTimeTableRow,
                {p + 1, run.viewNum[i], run.pointSeconds[i], run.pointLoops[i],
                 run.reprojError_f[i], run.klc_f[i], run.reprojError_m[i], run.klc_m[i],
                 run.rho_f[i], run.gamma_f[i], run.rho_m[i], run.gamma_m[i]});
    // One write for many rows, before the inline room runs out.
    if (text.size() > PrintfText::kInline / 2) text.writeTo(file);
  }
  text.writeTo(file);
}

std::string reportFileName(const std::string& prefix, const TriangulationRun& run, const char* kind,
                           const std::string& stamp) {
  return prefix + fileNameKey(run.algorithmKey) + kind + stamp + ".txt";
}

}  // namespace tessmark
