#include "compare/csv.hpp"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <memory>

namespace tessmark {

namespace {

constexpr const char* kRecordEnd = "\r\n";

// One record: fields joined by commas, ended by CRLF.
class Record {
 public:
  Record& number(double value) { return field(csvNumber(value)); }
  Record& integer(long long value) { return field(std::to_string(value)); }
  Record& flag(bool value) { return field(value ? "true" : "false"); }
  Record& text(std::string_view value) { return field(csvText(value)); }
  void writeTo(std::FILE* file) {
    text_ += kRecordEnd;
    std::fwrite(text_.data(), 1, text_.size(), file);
    text_.clear();
  }

 private:
  Record& field(const std::string& value) {
    if (!first_) text_ += ',';
    first_ = false;
    text_ += value;
    return *this;
  }
  std::string text_;
  bool first_ = true;
};

void writeHeader(std::FILE* file, std::span<const std::string_view> columns) {
  Record record;
  for (std::string_view column : columns) record.text(column);
  record.writeTo(file);
}

}  // namespace

std::string csvNumber(double value) {
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
  char buffer[32];
  const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, end);
}

std::string csvText(std::string_view text) {
  if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
  std::string quoted = "\"";
  for (const char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

void writePointsCsv(std::FILE* file, const Comparison& comparison) {
  writeHeader(file, kPointColumns);
  for (std::size_t s = 0; s < comparison.solvers.size(); ++s) {
    const ComparedSolver& solver = comparison.solvers[s];
    for (int p = 0; p < comparison.pointNum; ++p) {
      const auto i = static_cast<std::size_t>(p);
      const SolverOutcome& outcome = comparison.outcome(static_cast<int>(s), p);
      const PointJudgement& judged = outcome.judgement;
      Record()
          .integer(p + 1)
          .integer(comparison.viewNum[i])
          .text(std::string(solver.key))
          .text(solver.entry->selectedName)
          .integer(outcome.loops)
          .flag(outcome.capReached)
          .flag(outcome.hessianModified)
          .number(judged.reprojError_m)
          .number(judged.reprojError_f)
          .number(outcome.point(0))
          .number(outcome.point(1))
          .number(outcome.point(2))
          .number(judged.rho_m)
          .number(judged.rho_f)
          .number(judged.klc_m)
          .number(judged.klc_f)
          .flag(judged.positiveSemidefinite)
          .flag(judged.solvable)
          .flag(judged.global)
          .number(comparison.startSeconds[i])
          .number(outcome.solveSeconds)
          .number(outcome.costRatio)
          .number(outcome.timeRatio)
          .writeTo(file);
    }
  }
}

void writeSummaryCsv(std::FILE* file, const Comparison& comparison,
                     const std::vector<SolverSummary>& summaries) {
  writeHeader(file, kSummaryColumns);
  for (std::size_t s = 0; s < summaries.size(); ++s) {
    const SolverSummary& summary = summaries[s];
    const ComparedSolver& solver = comparison.solvers[s];
    Record()
        .text(std::string(solver.key))
        .text(solver.entry->selectedName)
        .integer(comparison.pointNum)
        .integer(summary.solvable)
        .integer(summary.global)
        .number(summary.totalFinalCost)
        .integer(summary.bestCost)
        .number(summary.medianLoops)
        .integer(summary.maxLoops)
        .integer(summary.capReached)
        .integer(summary.hessianModified)
        .integer(summary.nonFinite)
        .number(summary.solveSeconds)
        .number(summary.passSeconds)
        .number(summary.microsecondsPerPoint)
        .number(summary.medianCostRatio)
        .number(summary.p90CostRatio)
        .integer(summary.worseThanStart)
        .number(summary.commonFinalCost)
        .integer(summary.commonLeftOut)
        .number(summary.rmsPixels)
        .writeTo(file);
  }
}

std::string writeFileWith(const std::string& path, const std::function<void(std::FILE*)>& write) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return path + ": " + std::strerror(errno);
  std::setvbuf(file, nullptr, _IOFBF, std::size_t{1} << 20);
  write(file);
  const bool failed = std::ferror(file) != 0;
  const int savedErrno = errno;
  if (std::fclose(file) != 0 || failed) {
    return path + ": " + std::strerror(failed ? savedErrno : errno);
  }
  return "";
}

}  // namespace tessmark
