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
                      const PointRecordFormats& formats) {
  const PointOutcome& o = run.outcomes[static_cast<std::size_t>(p)];
  const PointJudgement& j = o.judgement;
  PrintfText text;
  text.append(formats.first, {p + 1, o.start(0), o.point(0), o.loops, formats.reportedLoopCap});
  text.append(formats.second, {o.viewCount, o.start(1), o.point(1), j.reprojError_m, j.klc_m});
  text.append(kRecordLabel, {solvableLabel(j.solvable)});
  text.append(formats.third, {o.pointSeconds, o.start(2), o.point(2), j.reprojError_f, j.klc_f});
  text.append(kRecordLabel, {globalLabel(j.global)});
  text.writeTo(file);
}

void writeTimeTableRows(std::FILE* file, const TriangulationRun& run) {
  PrintfText text;
  for (int p = 0; p < run.pointNum; ++p) {
    const PointOutcome& o = run.outcomes[static_cast<std::size_t>(p)];
    const PointJudgement& j = o.judgement;
    text.append(kTimeTableRow,
                {p + 1, o.viewCount, o.pointSeconds, o.loops, j.reprojError_f, j.klc_f,
                 j.reprojError_m, j.klc_m, j.rho_f, j.gamma_f, j.rho_m, j.gamma_m});
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
