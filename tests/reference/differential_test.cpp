// Every solver of both menus against its reference form (tests/reference/reference_solvers.hpp),
// point by point, where the geometry is hard: on the shared hard-b.lc set (when present) and on
// the project's own hard scene (tools/synthetic_scene.hpp), and, as a control, on easy data. The
// fast side is the public interface, which gives exactly the programs' numbers; the reference side
// starts, solves and judges the point with the reference model.
//
// Where both runs stop before their loop cap, the two must agree in both labels, in the final cost
// (1e-9 relative) and in the loop count. What rounding alone decides is not held against the fast
// path, and is listed instead; it must show in the reference's own runs:
//  - a loop count (or one run's cap) at the stopping test's rounding floor: both runs end at the
//    same point and the reference sat there through the extra loops, or the reference's own count
//    moves when its data moves by rounding (nudgedRuns);
//  - an end that rounding decides: the reference's own end moves when its data moves by rounding,
//    or its count does and the fast end lies within ten times the spread of its ends.
// On the easy data none of this is allowed: every point must agree outright, so that a fault that
// shows on every point cannot pass for rounding on the hard sets.
//
// A point where one run ends non-finite and the other does not is a difference, except where both
// ran off to infinity before they parted (past 1e70, where the model's own formulas begin to
// overflow): such points, and those where both runs reach their cap, are reported, not compared.
// Whatever the runs do, the reference's judgement of the fast end itself must be the fast's.
//
// A Debug build (the sanitizer run of CI) compares every fifth point.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <Eigen/Core>

#include "input/lc_pretreatment.hpp"
#include "input/lc_problem.hpp"
#include "input/text_file.hpp"
#include "tessmark/triangulate.hpp"
#include "tests/reference/reference_model.hpp"
#include "tests/reference/reference_solvers.hpp"
#include "tools/synthetic_scene.hpp"

namespace tessmark {
namespace {

namespace fs = std::filesystem;
using Camera = Eigen::Matrix<double, 3, 4>;

constexpr double kTolerance = 1e-12;
constexpr double kCostAgreement = 1e-9;

#ifdef NDEBUG
constexpr int kStride = 1;
#else
constexpr int kStride = 5;
#endif

// One point's views as the caller of the interface holds them.
struct Views {
  std::vector<Camera> cameras;
  std::vector<Eigen::Vector2d> observations;
};

std::vector<Views> readLcFile(const std::string& path) {
  TextFile file = TextFile::open(path);
  checkLcHeader(file);
  const LcProblem problem = readLcRecords(file, readLcCounts(file));
  std::vector<Views> points;
  for (int i = 0; i < problem.pointNum; ++i) {
    const double* row = problem.observationRow(i);
    Views views;
    for (int c = 0; c < problem.allCameraNum; ++c) {
      if (row[2 * c] == kMissingView) continue;
      views.cameras.push_back(problem.cameraProjections.middleRows<3>(3 * c));
      views.observations.emplace_back(row[2 * c], row[2 * c + 1]);
    }
    points.push_back(std::move(views));
  }
  return points;
}

std::vector<Views> scenePoints(const synthetic::HardScene& scene) {
  std::vector<Views> points;
  for (const std::vector<synthetic::HardView>& hard : scene.points) {
    Views views;
    for (const synthetic::HardView& view : hard) {
      views.cameras.push_back(scene.cameras[static_cast<std::size_t>(view.camera)].matrix);
      views.observations.push_back(view.observation);
    }
    points.push_back(std::move(views));
  }
  return points;
}

// The reference's copy of the point: the camera matrices, the pose blocks derived from them as the
// .lc reader derives them (and as the interface does when given no poses), the observations.
synthetic::PointData referenceData(const Views& views) {
  std::vector<synthetic::SceneCamera> cameras;
  Eigen::VectorXd observations(2 * static_cast<Eigen::Index>(views.cameras.size()));
  for (std::size_t v = 0; v < views.cameras.size(); ++v) {
    const Eigen::Matrix<double, 3, 7> pose = decomposeCamera(views.cameras[v]).pose;
    cameras.push_back({pose.leftCols<3>(), pose.middleCols<3>(3), pose.col(6), views.cameras[v]});
    observations.segment<2>(2 * static_cast<Eigen::Index>(v)) = views.observations[v];
  }
  return synthetic::pointData(cameras, observations);
}

struct DataSet {
  const char* name;
  // Empty when the data set is absent (the test then skips).
  std::vector<Views> (*load)();
  // Easy data: every point must agree outright (both runs reaching the cap aside), with no
  // allowance for rounding; so that a fault that shows on every point (a loop counted twice, say)
  // cannot pass for rounding on the hard sets.
  bool strict;
};

std::vector<Views> hardB() {
  const char* folder = std::getenv("TESSMARK_DATA_DIR");
  if (folder == nullptr) return {};
  const fs::path path = fs::path(folder) / "hard-b.lc";
  if (!fs::exists(path)) return {};
  return readLcFile(path.string());
}

std::vector<Views> madeHardScene() { return scenePoints(synthetic::hardScene(1000, 25)); }

// A ring of twelve cameras around points near its middle, each seen by two to six neighbouring
// cameras with half a pixel to two pixels of noise.
std::vector<Views> madeEasyScene() {
  const std::vector<synthetic::SceneCamera> cameras = synthetic::cameraRing(12);
  std::mt19937 random(25);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  std::normal_distribution<double> normal(0.0, 1.0);
  std::vector<Views> points;
  for (int i = 0; i < 300; ++i) {
    Eigen::Vector3d point;
    for (int k = 0; k < 3; ++k) point(k) = 2.0 * unit(random) - 1.0;
    const int first = static_cast<int>(unit(random) * 12.0) % 12;
    const int count = 2 + static_cast<int>(unit(random) * 5.0) % 5;
    const double noise = 0.5 + 1.5 * unit(random);
    Views views;
    for (int v = 0; v < count; ++v) {
      const synthetic::SceneCamera& camera = cameras[static_cast<std::size_t>((first + v) % 12)];
      const double dx = normal(random);
      const double dy = normal(random);
      views.cameras.push_back(camera.matrix);
      views.observations.push_back(synthetic::project(camera.matrix, point) +
                                   noise * Eigen::Vector2d(dx, dy));
    }
    points.push_back(std::move(views));
  }
  return points;
}

const DataSet kDataSets[] = {
    {"HardB", hardB, false}, {"MadeHard", madeHardScene, false}, {"MadeEasy", madeEasyScene, true}};

const std::vector<Views>& pointsOf(const DataSet& set) {
  static std::map<std::string, std::unique_ptr<std::vector<Views>>> cache;
  std::unique_ptr<std::vector<Views>>& entry = cache[set.name];
  if (!entry) entry = std::make_unique<std::vector<Views>>(set.load());
  return *entry;
}

struct Outcome {
  Eigen::Vector3d start;
  Eigen::Vector3d point;
  int loops;
  bool capReached;
  double cost;
  bool solvable;
  bool global;
};

bool costsAgree(double a, double b) {
  if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b);
  if (a == b) return true;
  return std::abs(a - b) <= kCostAgreement * std::max(std::abs(a), std::abs(b));
}

// Beyond this distance the model's own formulas begin to overflow (w^4 at |w| near 1.2e77, w^2 near
// 1.3e154): a run whose iterates pass it is running off to infinity, and where it ends (NaN at the
// overflow, or a finite point far out at the cap) is decided by rounding.
constexpr double kHorizon = 1e70;

bool beyondHorizon(const Eigen::Vector3d& x) {
  return !x.allFinite() || x.cwiseAbs().maxCoeff() >= kHorizon;
}

// The reference run again on the point's data moved by a few units of rounding (every observation
// scaled by 1 + 1e-13 s_k for four sign patterns s: all up, all down, alternating either way): the
// same problem to within rounding, whose arithmetic rounds differently at every step, as the fast
// path's does. Where rounding decides a run's loop count or its end, these runs show it.
struct NudgedRun {
  synthetic::PointData data;
  reference::Run run;
};
std::vector<NudgedRun> nudgedRuns(reference::Solver solver, const synthetic::PointData& data,
                                  const Eigen::Vector3d& start) {
  std::vector<NudgedRun> runs;
  for (int pattern = 0; pattern < 4; ++pattern) {
    synthetic::PointData nudged = data;
    for (Eigen::Index k = 0; k < nudged.observations.size(); ++k) {
      const bool up = pattern < 2 ? pattern == 0 : (k % 2 == 0) == (pattern == 2);
      nudged.observations(k) *= 1.0 + (up ? 1e-13 : -1e-13);
    }
    nudged.pack();
    const reference::Run run = solver(nudged, start, kTolerance, nullptr);
    runs.push_back({std::move(nudged), run});
  }
  return runs;
}

// Whether the two runs end at the same point (1e-7 relative) and the reference, from the shorter
// run's count on, stayed there: the extra loops of the longer run are spent at the stopping test's
// rounding floor, as where the test compares a cost drop with epsilon while one unit of rounding of
// the cost is about epsilon. (The fast run is not traced; its end is.)
bool stalledTogether(const Outcome& fast, const Outcome& slow, const reference::Trace& trace) {
  const double reach = 1e-7 * std::max(1.0, slow.point.norm());
  if (!((fast.point - slow.point).norm() <= reach)) return false;
  const int from = std::max(0, std::min(fast.loops, slow.loops) - 2);
  for (std::size_t i = static_cast<std::size_t>(from); i < trace.size(); ++i) {
    if (!((trace[i] - slow.point).norm() <= reach)) return false;
  }
  return true;
}

std::string describe(const Outcome& o) {
  std::ostringstream text;
  text.precision(10);
  text << o.loops << " loops" << (o.capReached ? " (cap)" : "") << ", cost " << o.cost << ", "
       << (o.solvable ? "Solvable" : "Hard case") << "/" << (o.global ? "Global" : "Local")
       << ", x (" << o.point.transpose() << ")";
  return text.str();
}

struct Case {
  int set;
  Rules rules;
  int row;
};

std::string caseName(const ::testing::TestParamInfo<Case>& info) {
  const Case& c = info.param;
  return std::string(kDataSets[c.set].name) + (c.rules == Rules::vorlant ? "Vorlant" : "Sennic") +
         "Key" + std::string(c.row == 10 ? "Other" : std::to_string(c.row));
}

// How a point's two runs compare.
enum class Verdict {
  agree,            // both stop before the cap and agree (or both end non-finite alike)
  bothCapped,       // both reach the cap: reported, not compared
  beyondHorizon,    // both run off to infinity: reported, not compared
  roundingFloor,    // same end; rounding at the stopping test decides the loop count (or one cap)
  roundingDecided,  // rounding decides where the run stops, or where it ends, for the reference too
  difference,
};

struct Comparison {
  Verdict verdict;
  std::string note;
};

std::string loopsNote(const Outcome& fast, const Outcome& slow) {
  return std::to_string(fast.loops) + (fast.capReached ? " (cap)" : "") + " against " +
         std::to_string(slow.loops) + (slow.capReached ? " (cap)" : "") + " loops";
}

double relativeGap(double a, double b) {
  return std::abs(a - b) / std::max({std::abs(a), std::abs(b), 1e-300});
}

Comparison compare(reference::Solver solver, const JudgementRules& rules,
                   const synthetic::PointData& data, const Outcome& fast, const Outcome& slow,
                   const reference::Trace& trace) {
  const bool finite = fast.point.allFinite(), slowFinite = slow.point.allFinite();
  const bool sameEnd = costsAgree(fast.cost, slow.cost) && fast.solvable == slow.solvable &&
                       fast.global == slow.global;
  if (finite == slowFinite && !fast.capReached && !slow.capReached && sameEnd &&
      fast.loops == slow.loops) {
    return {Verdict::agree, ""};
  }
  if (fast.capReached && slow.capReached && finite && slowFinite) return {Verdict::bothCapped, ""};
  // Both runs left the range of the model's arithmetic before they parted.
  const int parted = std::min(fast.loops, slow.loops);
  const auto passed = std::find_if(trace.begin(), trace.end(), beyondHorizon);
  if (beyondHorizon(fast.point) && beyondHorizon(slow.point) && passed != trace.end() &&
      passed - trace.begin() < parted) {
    return {Verdict::beyondHorizon, ""};
  }
  if (finite != slowFinite) return {Verdict::difference, "one run is not finite"};
  if (sameEnd && stalledTogether(fast, slow, trace)) {
    return {Verdict::roundingFloor, loopsNote(fast, slow)};
  }
  const std::vector<NudgedRun> nudged = nudgedRuns(solver, data, slow.start);
  bool countVaries = false;
  double spread = 0.0;
  bool endVaries = false;
  for (const auto& [nudgedData, run] : nudged) {
    countVaries = countVaries || run.loops != slow.loops || run.capReached != slow.capReached;
    const PointJudgement j = reference::judgePoint(nudgedData, slow.start, run.point, rules);
    spread = std::max(spread, relativeGap(j.reprojError_f, slow.cost));
    endVaries = endVaries || !costsAgree(j.reprojError_f, slow.cost) ||
                j.solvable != slow.solvable || j.global != slow.global;
  }
  if (sameEnd) {
    if (countVaries) return {Verdict::roundingFloor, loopsNote(fast, slow)};
    return {Verdict::difference, "loop counts differ"};
  }
  // The ends differ. Rounding decides them where it decides the reference's own end, or where it
  // decides where the reference stops and the fast end lies within ten times the spread of the
  // reference's ends (its labels are checked at its own end, by the caller).
  if (endVaries || (countVaries && relativeGap(fast.cost, slow.cost) <= 10.0 * spread)) {
    return {Verdict::roundingDecided, loopsNote(fast, slow)};
  }
  return {Verdict::difference, "the ends differ"};
}

class SolverAgainstReference : public ::testing::TestWithParam<Case> {};

TEST_P(SolverAgainstReference, AgreesWhereBothRunsStop) {
  const Case c = GetParam();
  const DataSet& set = kDataSets[c.set];
  const std::vector<Views>& points = pointsOf(set);
  if (points.empty()) GTEST_SKIP() << set.name << ": data set absent";
  const reference::Program program =
      c.rules == Rules::vorlant ? reference::Program::vorlant : reference::Program::sennic;
  const reference::Solver solver = reference::menuSolver(program, c.row);
  const JudgementRules rules = reference::judgementRulesOf(program);
  const Method method = Method::fromKey(c.rules, kMethodKeys[static_cast<std::size_t>(c.row)]);

  Triangulator triangulator;
  int compared = 0;
  std::map<Verdict, std::vector<std::string>> found;
  for (std::size_t i = 0; i < points.size(); i += kStride) {
    const Views& views = points[i];
    const Triangulation t = triangulator.triangulate({views.cameras, views.observations}, method);
    const Outcome fast{t.start,         t.point,    t.loops, t.capReached,
                       t.reprojError_f, t.solvable, t.global};
    const synthetic::PointData data = referenceData(views);
    const Eigen::Vector3d start = reference::symmedianPoint(data);
    reference::Trace trace;
    const reference::Run run = solver(data, start, kTolerance, &trace);
    const PointJudgement j = reference::judgePoint(data, start, run.point, rules);
    const Outcome slow{start,           run.point,  run.loops, run.capReached,
                       j.reprojError_f, j.solvable, j.global};
    ++compared;
    Comparison comparison = compare(solver, rules, data, fast, slow, trace);
    // The judgement of the fast run's own end (and start) by the reference: whatever the runs do,
    // the same point must be judged alike.
    const PointJudgement atFastEnd = reference::judgePoint(data, fast.start, fast.point, rules);
    if (!costsAgree(atFastEnd.reprojError_f, fast.cost) || atFastEnd.solvable != fast.solvable ||
        atFastEnd.global != fast.global) {
      comparison = {Verdict::difference, "the judgements of the fast end differ"};
    }
    if (set.strict && comparison.verdict != Verdict::agree &&
        comparison.verdict != Verdict::bothCapped) {
      comparison.verdict = Verdict::difference;
    }
    if (comparison.verdict == Verdict::agree) continue;
    // Points are numbered from 1, as the reports number them.
    std::string line = "point " + std::to_string(i + 1) + " (" +
                       std::to_string(views.cameras.size()) + " views): ";
    if (!comparison.note.empty()) line += comparison.note + ": ";
    found[comparison.verdict].push_back(line + "fast " + describe(fast) + "; reference " +
                                        describe(slow));
  }

  const auto count = [&](Verdict v) { return found[v].size(); };
  std::ostringstream report;
  report << set.name << " " << (c.rules == Rules::vorlant ? "vorlant" : "sennic") << " key "
         << method.key() << " (" << method.name() << "): " << compared << " points; "
         << count(Verdict::bothCapped) << " reach the cap in both runs, "
         << count(Verdict::beyondHorizon) << " run off to infinity in both, "
         << count(Verdict::roundingFloor) << " loop counts at the rounding floor, "
         << count(Verdict::roundingDecided) << " ends decided by rounding";
  const auto examples = [&](Verdict v, const char* what, std::size_t most) {
    const std::vector<std::string>& lines = found[v];
    for (std::size_t k = 0; k < lines.size() && k < most; ++k) {
      report << "\n  " << what << ": " << lines[k];
    }
  };
  examples(Verdict::bothCapped, "capped", 3);
  examples(Verdict::beyondHorizon, "to infinity", 3);
  examples(Verdict::roundingFloor, "floor", found[Verdict::roundingFloor].size());
  examples(Verdict::roundingDecided, "rounding", found[Verdict::roundingDecided].size());
  std::printf("%s\n", report.str().c_str());

  const std::vector<std::string>& differences = found[Verdict::difference];
  std::string listed;
  for (std::size_t k = 0; k < differences.size() && k < 12; ++k) listed += differences[k] + "\n";
  EXPECT_TRUE(differences.empty()) << differences.size() << " differences, the first ones:\n"
                                   << listed;
}

std::vector<Case> everyCase() {
  std::vector<Case> cases;
  for (int set = 0; set < 3; ++set) {
    for (const Rules rules : {Rules::vorlant, Rules::sennic}) {
      for (int row = 0; row < 11; ++row) cases.push_back({set, rules, row});
    }
  }
  return cases;
}

INSTANTIATE_TEST_SUITE_P(EveryKey, SolverAgainstReference, ::testing::ValuesIn(everyCase()),
                         caseName);

}  // namespace
}  // namespace tessmark
