#include "solvers/menus.hpp"

#include <cstring>
#include <optional>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "model/judgement.hpp"
#include "model/symmedian.hpp"
#include "tools/synthetic_scene.hpp"

namespace tessmark {
namespace {

// Both menus: keys '0' to '9' in order, each row's menu line led by its key, then the row every
// other key selects.
TEST(Menus, ElevenRowsInKeyOrder) {
  for (const auto menu : {vorlantMenu(), sennicMenu()}) {
    ASSERT_EQ(menu.size(), 11u);
    for (int digit = 0; digit <= 9; ++digit) {
      const MenuEntry& entry = menu[static_cast<std::size_t>(digit)];
      EXPECT_EQ(std::string(entry.key), std::to_string(digit));
      EXPECT_TRUE(std::string(entry.menuLine).starts_with("  " + std::to_string(digit) + ": "))
          << entry.menuLine;
    }
    EXPECT_STREQ(menu.back().key, "other");
    EXPECT_TRUE(std::string(menu.back().menuLine).starts_with(" Otherwise: "));
    EXPECT_NE(menu[0].solver, nullptr) << "key 0, Newton-Raphson, runs";
  }
}

// The .lc program words menu lines 1 and 4 and selected names 1 and 2 its own way; every other text
// is the BAL program's. Each program runs its own solvers.
TEST(Menus, TheLcMenuDiffersInItsOwnRowsOnly) {
  const auto bal = vorlantMenu();
  const auto lc = sennicMenu();
  const std::set<std::size_t> ownLines{1, 4};
  const std::set<std::size_t> ownNames{1, 2};
  for (std::size_t i = 0; i < bal.size(); ++i) {
    SCOPED_TRACE(bal[i].key);
    EXPECT_EQ(std::string(bal[i].menuLine) == lc[i].menuLine, !ownLines.contains(i));
    EXPECT_EQ(std::string(bal[i].selectedName) == lc[i].selectedName, !ownNames.contains(i));
    if (bal[i].solver != nullptr && lc[i].solver != nullptr) {
      EXPECT_NE(bal[i].solver, lc[i].solver);
    }
  }
}

// Bit for bit, NaN included.
template <typename Derived>
bool sameBits(const Eigen::DenseBase<Derived>& a, const Eigen::DenseBase<Derived>& b) {
  return std::memcmp(a.derived().data(), b.derived().data(), sizeof(double) * a.size()) == 0;
}
bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof(double)) == 0; }

// Every solver of both menus, offered room for its start's evaluation, runs exactly as without it.
// Where it fills the room (the Newton family, through startDerivatives) the room holds
// evaluatePoint at the start, which judges the point exactly as the judgement that evaluates the
// start itself. Starts: a noisy point's symmedian start, a far start, and a start on a principal
// plane (a zero depth, non-finite results).
TEST(MenuSolvers, SharingTheStartsEvaluationChangesNothing) {
  const auto noisy =
      synthetic::observePoint(synthetic::cameraRing(6), Eigen::Vector3d(0.3, 0.2, -0.4), 0.5, 5);
  const auto onPlane = synthetic::observePoint(synthetic::cameraRing(3), Eigen::Vector3d::Zero());
  struct Start {
    const synthetic::PointData* data;
    Eigen::Vector3d x;
  };
  const Start starts[] = {{&noisy, symmedianPoint(noisy.problem())},
                          {&noisy, Eigen::Vector3d(4.0, -3.0, 2.0)},
                          {&onPlane, onPlane.poses.block<3, 1>(0, 6)}};
  for (const SolverProgram* program : {&vorlantSolvers(), &sennicSolvers()}) {
    ASSERT_EQ(program->depthGuard, program->judgement.depthGuard) << program->name;
    for (const MenuEntry& entry : program->menu) {
      if (entry.solver == nullptr) continue;
      for (const Start& start : starts) {
        SCOPED_TRACE(std::string(program->name) + " key " + entry.key);
        const PointProblem problem = start.data->problem();
        SolverScratch scratch(problem.viewCount);
        SolverContext alone{program->depthGuard, scratch};
        const SolverResult plain = entry.solver(problem, alone, start.x, kSolverTolerance);
        std::optional<PointEvaluation> room;
        SolverContext offering{program->depthGuard, scratch, &room};
        const SolverResult shared = entry.solver(problem, offering, start.x, kSolverTolerance);
        EXPECT_TRUE(sameBits(shared.point, plain.point));
        EXPECT_EQ(shared.loops, plain.loops);
        EXPECT_EQ(shared.hessianModified, plain.hessianModified);
        EXPECT_EQ(shared.capReached, plain.capReached);
        if (!room.has_value()) continue;

        const PointEvaluation fresh = evaluatePoint(problem, start.x, program->depthGuard);
        EXPECT_TRUE(sameBits(room->cost, fresh.cost));
        EXPECT_TRUE(sameBits(room->gradient, fresh.gradient));
        EXPECT_TRUE(sameBits(room->gaussNewton, fresh.gaussNewton));
        EXPECT_TRUE(sameBits(room->plainGaussNewton, fresh.plainGaussNewton));
        EXPECT_TRUE(sameBits(room->secondOrder, fresh.secondOrder));
        const PointJudgement a = judgePoint(problem, *room, shared.point, program->judgement);
        const PointJudgement b = judgePoint(problem, start.x, shared.point, program->judgement);
        for (const auto field :
             {&PointJudgement::reprojError_m, &PointJudgement::reprojError_f,
              &PointJudgement::gamma_m, &PointJudgement::gamma_f, &PointJudgement::rho_m,
              &PointJudgement::rho_f, &PointJudgement::klc_m, &PointJudgement::klc_f}) {
          EXPECT_TRUE(sameBits(a.*field, b.*field));
        }
        EXPECT_EQ(a.positiveSemidefinite, b.positiveSemidefinite);
        EXPECT_EQ(a.solvable, b.solvable);
        EXPECT_EQ(a.global, b.global);
      }
    }
  }
  // Newton-Raphson with a zero tolerance takes no step and evaluates nothing.
  std::optional<PointEvaluation> untouched;
  SolverScratch scratch(noisy.problem().viewCount);
  SolverContext context{DepthGuard::on, scratch, &untouched};
  vorlantSolvers().menu[0].solver(noisy.problem(), context, starts[0].x, 0.0);
  EXPECT_FALSE(untouched.has_value());
}

// A run judges point after point through one SharedStart: what Newton-Raphson left at one point is
// not judged with the next, whose solver (Gauss-Newton) leaves nothing; and no room is offered
// when the solver's depth guard is not the judgement's.
TEST(SharedStart, JudgesEveryPointFromItsOwnStart) {
  const synthetic::PointData points[] = {
      synthetic::observePoint(synthetic::cameraRing(6), Eigen::Vector3d(0.3, 0.2, -0.4), 0.5, 5),
      synthetic::observePoint(synthetic::cameraRing(4), Eigen::Vector3d(-0.5, 0.1, 0.6), 0.5, 6)};
  const SolverProgram& program = vorlantSolvers();
  const SolverFunction solvers[] = {program.menu[0].solver, program.menu[1].solver};
  SharedStart start(program.depthGuard, program.judgement);
  SolverScratch scratch(6);
  for (int p = 0; p < 2; ++p) {
    const PointProblem problem = points[p].problem();
    const Eigen::Vector3d x_m = symmedianPoint(problem);
    SolverContext context{program.depthGuard, scratch, start.room()};
    const Eigen::Vector3d x_f = solvers[p](problem, context, x_m, kSolverTolerance).point;
    const PointJudgement shared = start.judge(problem, x_m, x_f);
    const PointJudgement own = judgePoint(problem, x_m, x_f, program.judgement);
    EXPECT_TRUE(sameBits(shared.reprojError_m, own.reprojError_m)) << "point " << p;
    EXPECT_TRUE(sameBits(shared.klc_m, own.klc_m)) << "point " << p;
    EXPECT_TRUE(sameBits(shared.rho_m, own.rho_m)) << "point " << p;
  }
  JudgementRules guarded = program.judgement;
  guarded.depthGuard = DepthGuard::on;
  EXPECT_EQ(SharedStart(DepthGuard::off, guarded).room(), nullptr);
  EXPECT_NE(SharedStart(DepthGuard::on, guarded).room(), nullptr);
}

TEST(SelectMenuEntry, DigitsPickTheirRowAndEveryOtherBytePicksTheLast) {
  const auto menu = vorlantMenu();
  for (int digit = 0; digit <= 9; ++digit) {
    const auto key = static_cast<unsigned char>('0' + digit);
    EXPECT_EQ(&selectMenuEntry(menu, key), &menu[static_cast<std::size_t>(digit)]) << "key " << key;
  }
  // Just below and above the digits, letters, line ends, NUL, and bytes above 127 (negative as a
  // signed byte, so key - '0' is negative too).
  for (const unsigned char key :
       {'/', ':', 'a', 'q', 'Z', '\n', '\r', ' ', '\0', '\x7f', '\x80', '\xb0', '\xff'}) {
    EXPECT_EQ(&selectMenuEntry(menu, key), &menu.back()) << "byte " << int{key};
  }
}

}  // namespace
}  // namespace tessmark
