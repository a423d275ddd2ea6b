// Fuzz target of the per-point path after loading, on small BAL problems and .lc data sets alike
// (the header ID decides the reader): for every solver of both programs' menus in turn, every point
// is located and gathered, started at its symmedian point, solved with the program's depth guard,
// judged under both programs' rules (the program's own judgement goes to the reports; the costs do
// not depend on the rules; sharing the start's evaluation between solver and judgement changes
// no bit of either), and written as report lines (the results file's header, three
// lines per point and its summary block, then the summary file) to a memory stream with the
// program's writers. The solvers' loop counts stay within their caps, and every point record is
// three lines.
//
// Inputs beyond kBound (16 cameras, 4 points, 64 BAL observations, 16 views of one point) are
// skipped, as are inputs the readers refuse (their targets cover them): with every solver of both
// menus allowed 1000 iterations a point, a larger input would spend the fuzzer's time on size
// rather than content.

#include <stdio.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>

#include "driver/sennic.hpp"
#include "driver/triangulation_run.hpp"
#include "driver/vorlant.hpp"
#include "fuzz/fuzz_data.hpp"
#include "model/judgement.hpp"
#include "model/symmedian.hpp"
#include "solvers/menus.hpp"

namespace tessmark::fuzz {
namespace {

constexpr CountBound kBound{.cameras = 16, .points = 4, .observations = 64, .views = 16};
// The tolerance the run hands every solver.
constexpr double kTolerance = 1.0e-12;
// The most any solver may count: the .lc Armijo search runs from k = -10 to 1000.
constexpr int kMostLoops = 1010;
const std::string kCreatedAt = "Wed Jan 01 00:00:00 2014";
const std::string kStamp = "00_00_00-Jan01-2014";

// A memory stream that the report writers write to, and the number of lines written so far.
class MemoryStream {
 public:
  MemoryStream() : file_(open_memstream(&bytes_, &size_)) {
    check(file_ != nullptr, "open_memstream failed");
  }
  MemoryStream(const MemoryStream&) = delete;
  MemoryStream& operator=(const MemoryStream&) = delete;
  ~MemoryStream() {
    std::fclose(file_);
    std::free(bytes_);
  }
  std::FILE* get() const { return file_; }
  long long lines() {
    std::fflush(file_);
    for (; counted_ < size_; ++counted_) lines_ += bytes_[counted_] == '\n';
    return lines_;
  }

 private:
  char* bytes_ = nullptr;
  std::size_t size_ = 0;
  std::FILE* file_;
  std::size_t counted_ = 0;
  long long lines_ = 0;
};

bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

bool sameResult(const SolverResult& a, const SolverResult& b) {
  return sameBits(a.point.x(), b.point.x()) && sameBits(a.point.y(), b.point.y()) &&
         sameBits(a.point.z(), b.point.z()) && a.loops == b.loops &&
         a.hessianModified == b.hessianModified && a.capReached == b.capReached;
}

bool sameJudgement(const PointJudgement& a, const PointJudgement& b) {
  return sameBits(a.reprojError_m, b.reprojError_m) && sameBits(a.reprojError_f, b.reprojError_f) &&
         sameBits(a.gamma_m, b.gamma_m) && sameBits(a.gamma_f, b.gamma_f) &&
         sameBits(a.rho_m, b.rho_m) && sameBits(a.rho_f, b.rho_f) && sameBits(a.klc_m, b.klc_m) &&
         sameBits(a.klc_f, b.klc_f) && a.positiveSemidefinite == b.positiveSemidefinite &&
         a.solvable == b.solvable && a.global == b.global;
}

// The key that selects a row: its digit, or Escape for the row every other key selects.
unsigned char rowKey(const MenuEntry& entry) {
  return entry.key[0] >= '0' && entry.key[0] <= '9' && entry.key[1] == '\0'
             ? static_cast<unsigned char>(entry.key[0])
             : 0x1b;
}

// One run of `program` with the solver of `entry` over every point, as the run driver does it,
// with its reports written to `out`.
// `otherRules` are the other program's judgement rules.
void runRow(const PreparedData& data, const ProgramDescription& program, const MenuEntry& entry,
            const JudgementRules& otherRules, MemoryStream& out) {
  TriangulationRun run(data.pointNum);
  run.cameraNum = data.cameraNum;
  run.imageCoordinates = data.imageCoordinates;
  run.maxViewNum = data.maxViewNum;
  run.viewNum = data.viewNum;
  run.algorithmKey = rowKey(entry);
  run.algorithmName = entry.selectedName;
  run.displayInterval = displayInterval(run.pointNum);
  check(&selectMenuEntry(program.solvers.menu, run.algorithmKey) == &entry,
        "a row's key selects another row");

  const ReportWriters& reports = program.reports;
  for (const std::string& name :
       {reports.resultsFileName(run, kStamp), reports.summaryFileName(run, kStamp)}) {
    check(name.find('/') == std::string::npos, "a report name with a folder in it");
  }
  reports.resultsHeader(out.get(), run, kCreatedAt);

  PointWorkspace& workspace = *data.workspace;
  for (int p = 0; p < run.pointNum; ++p) {
    const auto i = static_cast<std::size_t>(p);
    const int n = data.points->locate(p, workspace);
    data.points->gather(p, n, workspace);
    const PointProblem problem = workspace.problem(n);
    const Eigen::Vector3d x_m = symmedianPoint(problem);
    // Solved as the run does it, sharing the start's evaluation with the judgement, and once
    // without that room: both give the same bits.
    SharedStart start(program.solvers.depthGuard, program.solvers.judgement);
    SolverContext context{program.solvers.depthGuard, workspace.scratch, start.room()};
    const SolverResult solved = entry.solver(problem, context, x_m, kTolerance);
    SolverContext alone{program.solvers.depthGuard, workspace.scratch};
    check(sameResult(entry.solver(problem, alone, x_m, kTolerance), solved),
          "sharing the start's evaluation changes a solver's result");
    check(solved.loops >= 0 && solved.loops <= kMostLoops, "a loop count beyond every cap");
    run.pointLoops[i] = solved.loops;
    if (solved.hessianModified) ++run.notPositiveDefiniteCount;
    if (solved.capReached) ++run.capReachedCount;

    const PointJudgement judgement = start.judge(problem, x_m, solved.point);
    check(
        sameJudgement(judgePoint(problem, x_m, solved.point, program.solvers.judgement), judgement),
        "sharing the start's evaluation changes a judgement");
    recordJudgement(run, p, judgement);
    const PointJudgement other = judgePoint(problem, x_m, solved.point, otherRules);
    check(sameBits(other.reprojError_m, judgement.reprojError_m) &&
              sameBits(other.reprojError_f, judgement.reprojError_f),
          "the costs of a point depend on the judgement rules");

    const long long before = out.lines();
    reports.pointRecord(out.get(), run, p, x_m, solved.point, judgement.solvable, judgement.global);
    check(out.lines() - before == 3, "a point record of other than three lines");
  }
  reports.resultsSummary(out.get(), run);
  reports.summaryFile(out.get(), run, kCreatedAt);
  std::ostringstream console;
  writeRunFindings(console, run);
}

// The data set, read by the reader whose header ID the input carries; nothing when it is refused or
// beyond the bound.
std::optional<PreparedData> load(std::string_view text) {
  try {
    TextFile bal = TextFile::fromText("fuzz", std::string(text));
    return loadBal(bal, kBound);
  } catch (const InputError& refusal) {
    if (refusal.kind != InputError::Kind::wrongHeader) return std::nullopt;
  }
  try {
    TextFile lc = TextFile::fromText("fuzz", std::string(text));
    return loadLc(lc, kBound);
  } catch (const InputError&) {
    return std::nullopt;
  }
}

}  // namespace
}  // namespace tessmark::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  using namespace tessmark;
  using namespace tessmark::fuzz;
  const std::optional<PreparedData> data =
      load(std::string_view(reinterpret_cast<const char*>(bytes), size));
  if (!data) return -1;  // not worth keeping in the corpus
  MemoryStream out;
  for (const ProgramDescription* program : {&vorlantProgram(), &sennicProgram()}) {
    const ProgramDescription& other =
        program == &vorlantProgram() ? sennicProgram() : vorlantProgram();
    for (const MenuEntry& entry : program->solvers.menu) {
      if (entry.solver != nullptr) runRow(*data, *program, entry, other.solvers.judgement, out);
    }
  }
  return 0;
}
