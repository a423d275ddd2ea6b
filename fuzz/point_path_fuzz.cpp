// Fuzz target of the per-point path after loading, on small BAL problems and .lc data sets alike
// (the header ID decides the reader): for every solver of both programs' menus in turn, every point
// is triangulated by the one per-point solver as the programs run it (locate, gather, symmedian
// start, the solver with the program's depth guard and tolerance, the judgement under the program's
// rules, sharing the start's evaluation between solver and judgement), and again from the same
// start as the comparison runs it; both give the same bits, and so does a solve that shares
// nothing. The judgement under the other program's rules gives the same costs. Every number of the
// outcome is printed by the reports' formatter under every conversion the reports use, and must
// read exactly as snprintf writes it. The solvers' loop counts stay within their caps.
//
// Inputs beyond kBound (16 cameras, 4 points, 64 BAL observations, 16 views of one point) are
// skipped, as are inputs the readers refuse (their targets cover them): with every solver of both
// menus allowed 1000 iterations a point, a larger input would spend the fuzzer's time on size
// rather than content.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>

#include "console/printf_text.hpp"
#include "dataset/point_solver.hpp"
#include "fuzz/fuzz_data.hpp"
#include "model/judgement.hpp"
#include "solvers/menus.hpp"

namespace tessmark::fuzz {
namespace {

constexpr CountBound kBound{.cameras = 16, .points = 4, .observations = 64, .views = 16};
// The most any solver may count: the .lc Armijo search runs from k = -10 to 1000.
constexpr int kMostLoops = 1010;
// Every conversion of a number in the two programs' report lines.
constexpr const char* kReportConversions[] = {
    "%7d",      "%5d",      "%18.12lf", "%20.12lf", "%20.15lf", "%.6e",  "%.12lf",
    "%20.18lf", "%.18e",    "%10.10lf", "%10.10e",  "%lf",      "%.15E", "%20.20lf",
    "%12.10lf", "%15.12lf", "%.8lf",    "%.10lf",   "%.16e",    "%4d",   "%2d"};

bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

bool sameOutcome(const PointOutcome& a, const PointOutcome& b) {
  for (int k = 0; k < 3; ++k) {
    if (!sameBits(a.start(k), b.start(k)) || !sameBits(a.point(k), b.point(k))) return false;
  }
  return a.viewCount == b.viewCount && a.loops == b.loops &&
         a.hessianModified == b.hessianModified && a.capReached == b.capReached;
}

bool sameJudgement(const PointJudgement& a, const PointJudgement& b) {
  return sameBits(a.reprojError_m, b.reprojError_m) && sameBits(a.reprojError_f, b.reprojError_f) &&
         sameBits(a.gamma_m, b.gamma_m) && sameBits(a.gamma_f, b.gamma_f) &&
         sameBits(a.rho_m, b.rho_m) && sameBits(a.rho_f, b.rho_f) && sameBits(a.klc_m, b.klc_m) &&
         sameBits(a.klc_f, b.klc_f) && a.positiveSemidefinite == b.positiveSemidefinite &&
         a.solvable == b.solvable && a.global == b.global;
}

// The reports' formatter against snprintf, for one number under every conversion of the reports.
template <typename Number>
void checkPrinted(Number value) {
  for (const char* conversion : kReportConversions) {
    const bool integral = conversion[std::strlen(conversion) - 1] == 'd';
    if (integral != std::is_integral_v<Number>) continue;
    char expected[600];
    std::snprintf(expected, sizeof expected, conversion, value);
    PrintfText text;
    text.append(conversion, {PrintfArgument(value)});
    check(text.str() == expected, "the reports' formatter writes a number unlike snprintf");
  }
}

void checkPrintedOutcome(const PointOutcome& o) {
  const PointJudgement& j = o.judgement;
  for (const double value :
       {o.start(0), o.start(1), o.start(2), o.point(0), o.point(1), o.point(2), j.reprojError_m,
        j.reprojError_f, j.gamma_m, j.gamma_f, j.rho_m, j.rho_f, j.klc_m, j.klc_f}) {
    checkPrinted(value);
  }
  checkPrinted(o.loops);
  checkPrinted(o.viewCount);
}

// Every point of the data set with the solver of `entry` under `program`'s rules; `otherRules` are
// the other program's judgement rules.
void runRow(const DataSet& data, const SolverProgram& program, const MenuEntry& entry,
            const JudgementRules& otherRules) {
  PointWorkspace workspace(data.maxViewNum);
  PointSolver solver(program, entry, workspace);
  PointWorkspace secondWorkspace(data.maxViewNum);
  PointSolver second(program, entry, secondWorkspace);
  for (int p = 0; p < data.pointNum; ++p) {
    const PointOutcome outcome = solver.triangulate(*data.points, p);
    check(outcome.viewCount == data.viewNum[static_cast<std::size_t>(p)],
          "an outcome of another view count than indexing gave the point");
    check(outcome.loops >= 0 && outcome.loops <= kMostLoops, "a loop count beyond every cap");
    const PointOutcome from = second.triangulateFrom(*data.points, p, outcome.start);
    check(sameOutcome(from, outcome) && sameJudgement(from.judgement, outcome.judgement),
          "the comparison's path gives another outcome than the programs'");

    // A solve that shares nothing, and the judgement made from scratch, give the same bits.
    const PointProblem problem = workspace.problem(outcome.viewCount);
    SolverContext alone{program.depthGuard, workspace.scratch};
    const SolverResult solved =
        entry.solver(problem, alone, outcome.start, solver.options().tolerance);
    PointOutcome unshared = outcome;
    unshared.point = solved.point;
    unshared.loops = solved.loops;
    unshared.hessianModified = solved.hessianModified;
    unshared.capReached = solved.capReached;
    check(sameOutcome(unshared, outcome),
          "sharing the start's evaluation changes a solver's result");
    check(sameJudgement(judgePoint(problem, outcome.start, outcome.point, program.judgement),
                        outcome.judgement),
          "sharing the start's evaluation changes a judgement");
    const PointJudgement other = judgePoint(problem, outcome.start, outcome.point, otherRules);
    check(sameBits(other.reprojError_m, outcome.judgement.reprojError_m) &&
              sameBits(other.reprojError_f, outcome.judgement.reprojError_f),
          "the costs of a point depend on the judgement rules");
    checkPrintedOutcome(outcome);
  }
}

// The data set, read by the reader whose header ID the input carries; nothing when it is refused or
// beyond the bound.
std::optional<DataSet> load(std::string_view text) {
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
  const std::optional<DataSet> data =
      load(std::string_view(reinterpret_cast<const char*>(bytes), size));
  if (!data) return -1;  // not worth keeping in the corpus
  for (const SolverProgram* program : {&vorlantSolvers(), &sennicSolvers()}) {
    const SolverProgram& other = program == &vorlantSolvers() ? sennicSolvers() : vorlantSolvers();
    for (const MenuEntry& entry : program->menu) {
      if (entry.solver != nullptr) runRow(*data, *program, entry, other.judgement);
    }
  }
  return 0;
}
