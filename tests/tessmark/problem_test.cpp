// The public data-set interface: a file loads into the cameras, poses and views the programs
// prepare from it, with the file's indices, in every form a BAL file comes in; a bad file is
// refused as the programs' readers refuse it; the whole-problem call gives the programs' numbers
// for every point, the same bits at any thread count, tells progress and stops when asked; the
// options change how far a solver goes and nothing else.

#include "tessmark/problem.hpp"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include <unistd.h>

#include <gtest/gtest.h>
#include <Eigen/Core>

#include "dataset/data_set.hpp"
#include "dataset/point_solver.hpp"
#include "model/point_workspace.hpp"
#include "solvers/menus.hpp"
#include "tests/support/bzip2_text.hpp"
#include "tests/support/malformed_cases.hpp"
#include "tests/tessmark/library_fixtures.hpp"

namespace tessmark {
namespace {

namespace fs = std::filesystem;
using testing::bits;
using testing::differences;
using testing::madeData;
using testing::MalformedCase;
using testing::realData;
using testing::ViewStorage;

// A scratch folder of its own for each test, removed after it.
class Scratch {
 public:
  Scratch()
      : folder_(fs::temp_directory_path() /
                ("tessmark-problem-" + std::to_string(::getpid()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name())) {
    fs::create_directories(folder_);
  }
  ~Scratch() {
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }
  std::string write(const std::string& name, const std::string& bytes) const {
    const std::string path = (folder_ / name).string();
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }

 private:
  fs::path folder_;
};

const std::string kBalHeader = "Rome_is_not_built_in_one_day!\n";

// Three BAL cameras and three points, the observations not grouped by point; point 1 has none.
const std::string kBalBody =
    "3 3 5\n"
    "1 2 10.5 -3.25\n"
    "0 0 1 2\n"
    "2 0 3 4\n"
    "0 2 5 6\n"
    "2 2 7 8\n"
    // camera 0: w, t, f, k1, k2
    "0\n0\n0\n0\n0\n-10\n500\n0\n0\n"
    "0.1\n0\n0\n1\n0\n-10\n480\n0.2\n0.1\n"
    "0\n-0.2\n0.05\n-1\n0.5\n-9\n520\n0\n0\n";
const double kBalParameters[3][7] = {
    {0, 0, 0, 0, 0, -10, 500}, {0.1, 0, 0, 1, 0, -10, 480}, {0, -0.2, 0.05, -1, 0.5, -9, 520}};

// Three .lc cameras, camera 1 no perspective camera (zero third row on the left); point 0 seen by
// cameras 0 and 2, point 1 by cameras 1 and 2.
const std::string kLcText =
    "Tessmark_lc_data!\n3\n2\n"
    "500 0 0 0 0 500 0 0 0 0 1 5\n"
    "500 0 0 0 0 500 0 0 0 0 0 1\n"
    "400 0 100 0 0 400 0 0 0.1 0 1 6\n"
    "10 20 -1 -1 11 21\n"
    "-1 -1 12 22 13 23\n";

struct ExpectedView {
  int camera;
  double x, y;
};

void expectViews(const Problem& problem, int point, const std::vector<ExpectedView>& expected) {
  SCOPED_TRACE(::testing::Message() << "point " << point);
  const std::vector<PointView> views = problem.views(point);
  EXPECT_EQ(problem.viewCount(point), static_cast<int>(expected.size()));
  ASSERT_EQ(views.size(), expected.size());
  for (std::size_t j = 0; j < views.size(); ++j) {
    EXPECT_EQ(views[j].camera, expected[j].camera) << "view " << j;
    EXPECT_EQ(views[j].observation, Eigen::Vector2d(expected[j].x, expected[j].y)) << "view " << j;
  }
}

bool sameBits(const Eigen::MatrixXd& a, const Eigen::MatrixXd& b) {
  if (a.rows() != b.rows() || a.cols() != b.cols()) return false;
  for (Eigen::Index i = 0; i < a.size(); ++i) {
    if (bits(a.data()[i]) != bits(b.data()[i])) return false;
  }
  return true;
}

TEST(ProblemLoad, EveryFormOfABalFileGivesTheCamerasAndViewsOfTheFile) {
  const Scratch scratch;
  const std::string plain = kBalBody;
  const struct {
    const char* form;
    std::string path;
    ProblemFormat format;
  } forms[] = {
      {"header-ID line", scratch.write("problem.txt", kBalHeader + plain), ProblemFormat::byName},
      {"standard BAL", scratch.write("plain.txt", plain), ProblemFormat::bal},
      {"compressed", scratch.write("plain.txt.bz2", testing::bzip2Compressed(plain)),
       ProblemFormat::byName},
      {"compressed, header-ID line",
       scratch.write("problem.bal.bz2", testing::bzip2Compressed(kBalHeader + plain)),
       ProblemFormat::bal},
  };
  for (const auto& form : forms) {
    SCOPED_TRACE(form.form);
    const Problem problem = Problem::load(form.path, form.format);
    EXPECT_EQ(problem.format(), ProblemFormat::bal);
    EXPECT_EQ(problem.rules(), Rules::vorlant);
    EXPECT_EQ(problem.cameraCount(), 3);
    EXPECT_EQ(problem.pointCount(), 3);
    EXPECT_EQ(problem.observationCount(), 5);
    EXPECT_EQ(problem.largestViewCount(), 3);
    EXPECT_TRUE(problem.rankDeficientCameras().empty());
    ASSERT_EQ(problem.cameras().size(), 3u);
    ASSERT_EQ(problem.poses().size(), 3u);
    for (int c = 0; c < 3; ++c) {
      SCOPED_TRACE(::testing::Message() << "camera " << c);
      const double* q = kBalParameters[c];
      const BalCamera expected = balCamera({q[0], q[1], q[2]}, {q[3], q[4], q[5]}, q[6]);
      const auto i = static_cast<std::size_t>(c);
      EXPECT_TRUE(sameBits(problem.cameras()[i], expected.matrix));
      EXPECT_TRUE(sameBits(problem.poses()[i].calibration, expected.pose.calibration));
      EXPECT_TRUE(sameBits(problem.poses()[i].rotation, expected.pose.rotation));
      EXPECT_TRUE(sameBits(problem.poses()[i].centre, expected.pose.centre));
    }
    // Each point's views in the order of its observation lines; the file's indices kept.
    expectViews(problem, 0, {{0, 1, 2}, {2, 3, 4}});
    expectViews(problem, 1, {});
    expectViews(problem, 2, {{1, 10.5, -3.25}, {0, 5, 6}, {2, 7, 8}});
  }
}

TEST(ProblemLoad, ALcSetGivesItsMatricesAsReadAndItsViewsInCameraOrder) {
  const Scratch scratch;
  for (const std::string& path : {scratch.write("set.lc", kLcText),
                                  scratch.write("set.lc.bz2", testing::bzip2Compressed(kLcText))}) {
    SCOPED_TRACE(path);
    const Problem problem = Problem::load(path);
    EXPECT_EQ(problem.format(), ProblemFormat::lc);
    EXPECT_EQ(problem.rules(), Rules::sennic);
    EXPECT_EQ(problem.cameraCount(), 3);
    EXPECT_EQ(problem.pointCount(), 2);
    EXPECT_EQ(problem.observationCount(), 4);
    EXPECT_EQ(problem.largestViewCount(), 2);
    ASSERT_EQ(problem.rankDeficientCameras().size(), 1u);
    EXPECT_EQ(problem.rankDeficientCameras()[0], 1);
    Eigen::Matrix<double, 3, 4> third;
    third << 400, 0, 100, 0, 0, 400, 0, 0, 0.1, 0, 1, 6;
    EXPECT_EQ(problem.cameras()[2], third);
    EXPECT_TRUE(problem.poses()[0].calibration.allFinite());
    EXPECT_FALSE(problem.poses()[1].calibration.allFinite() &&
                 problem.poses()[1].rotation.allFinite() && problem.poses()[1].centre.allFinite());
    expectViews(problem, 0, {{0, 10, 20}, {2, 11, 21}});
    expectViews(problem, 1, {{1, 12, 22}, {2, 13, 23}});
  }
}

TEST(ProblemLoad, ViewsIntoAVectorReplaceItsContents) {
  const Scratch scratch;
  const Problem problem = Problem::load(scratch.write("problem.txt", kBalHeader + kBalBody));
  std::vector<PointView> views(7);
  problem.views(2, views);
  EXPECT_EQ(views.size(), 3u);
  problem.views(1, views);
  EXPECT_TRUE(views.empty());
  EXPECT_THROW(problem.views(3, views), TriangulationError);
  EXPECT_THROW(problem.viewCount(-1), TriangulationError);
}

// The readers' own tables of malformed input, from files: the same line and the same words.
TEST(ProblemLoad, RefusesMalformedFilesAsTheReadersDo) {
  const Scratch scratch;
  const struct {
    const char* format;
    std::string header;
    const char* name;
    const std::vector<MalformedCase>& cases;
  } tables[] = {
      {"BAL", kBalHeader, "problem.txt", testing::balMalformedCases()},
      {"BAL without the header-ID line", "", "problem.txt", testing::plainBalMalformedCases()},
      {".lc", "Jingle_bells,_jingle_bells,_Jingle_all_the_way!\n", "dinosaur.lc",
       testing::lcMalformedCases()},
  };
  for (const auto& table : tables) {
    for (const MalformedCase& item : table.cases) {
      SCOPED_TRACE(::testing::Message() << table.format << ": " << item.rule);
      const std::string path = scratch.write(table.name, table.header + item.text);
      try {
        (void)Problem::load(path);
        ADD_FAILURE() << "loaded";
      } catch (const DataFileError& error) {
        EXPECT_EQ(error.reason(), TriangulationError::Reason::malformedFile);
        EXPECT_EQ(error.file(), path);
        EXPECT_EQ(error.line(), item.line);
        EXPECT_EQ(error.detail(), item.detail);
        EXPECT_EQ(std::string(error.what()),
                  path + ":" + std::to_string(item.line) + ": " + item.detail);
      }
    }
  }
}

TEST(ProblemLoad, AFileThatCannotBeOpenedOrHasNoHeaderIdIsNamed) {
  const Scratch scratch;
  const std::string missing = scratch.write("here.txt", "") + ".missing";
  const struct {
    const char* name;
    std::string path;
    TriangulationError::Reason reason;
    std::int64_t line;
  } cases[] = {
      {"missing file", missing, TriangulationError::Reason::cannotOpen, 0},
      {"folder", fs::path(missing).parent_path().string(), TriangulationError::Reason::cannotOpen,
       0},
      {"no .lc header ID", scratch.write("set.lc", "Rome\n1\n0\n"),
       TriangulationError::Reason::wrongHeader, 1},
      {"neither header ID nor counts", scratch.write("x.txt", "Tovalen_is_great!\n1 1 1\n"),
       TriangulationError::Reason::malformedFile, 1},
      {"damaged compressed stream",
       scratch.write("bad.txt.bz2", testing::bzip2Compressed(kBalBody).substr(0, 40)),
       TriangulationError::Reason::malformedFile, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      (void)Problem::load(c.path);
      ADD_FAILURE() << "loaded";
    } catch (const DataFileError& error) {
      EXPECT_EQ(error.reason(), c.reason) << error.what();
      EXPECT_EQ(error.file(), c.path);
      if (c.reason != TriangulationError::Reason::malformedFile || c.line > 0) {
        EXPECT_EQ(error.line(), c.line) << error.what();
      }
      EXPECT_FALSE(error.detail().empty());
    }
  }
}

// The menu row of a key.
std::size_t rowOf(std::string_view key) {
  return static_cast<std::size_t>(std::find(kMethodKeys.begin(), kMethodKeys.end(), key) -
                                  kMethodKeys.begin());
}

// The programs' path for every point of a data set (one workspace, in point order), once.
const std::vector<PointOutcome>& programOutcomes(const std::string& path, Rules rules,
                                                 std::size_t row) {
  static std::map<std::string, std::vector<PointOutcome>> cache;
  std::vector<PointOutcome>& outcomes = cache[path + "|" + std::to_string(row)];
  if (outcomes.empty()) {
    const DataSet set = loadDataSet(path, formatOfName(path));
    const SolverProgram& program = rules == Rules::vorlant ? vorlantSolvers() : sennicSolvers();
    PointWorkspace workspace(set.maxViewNum);
    PointSolver solver(program, program.menu[row], workspace);
    for (int p = 0; p < set.pointNum; ++p) outcomes.push_back(solver.triangulate(*set.points, p));
  }
  return outcomes;
}

const Problem& loaded(const std::string& path) {
  static std::map<std::string, std::unique_ptr<Problem>> cache;
  std::unique_ptr<Problem>& problem = cache[path];
  if (!problem) problem = std::make_unique<Problem>(Problem::load(path));
  return *problem;
}

struct InvarianceCase {
  const char* name;
  std::string (*path)();
  const char* key;
};

const InvarianceCase kInvarianceCases[] = {
    {"made BAL, Newton-Raphson", [] { return madeData().path("larger.txt"); }, "0"},
    {"made BAL, Levenberg-Marquardt-Yamashita-Fukushima",
     [] { return madeData().path("larger.txt"); }, "6"},
    {"made .lc, Newton-Raphson", [] { return madeData().path("larger.lc"); }, "0"},
    {"made .lc, the default row", [] { return madeData().path("larger.lc"); }, "other"},
    {"Ladybug, Newton-Raphson", [] { return realData("problem-49-7776-pre.txt"); }, "0"},
    {"Dinosaur, Levenberg-Marquardt-Yamashita-Fukushima", [] { return realData("dinosaur.lc"); },
     "6"},
};

// A real data set that TESSMARK_DATA_DIR lacks is left out of a table of cases, and said so.
bool absent(const std::string& path, const char* name) {
  if (!path.empty()) return false;
  std::cout << "[ SKIPPED  ] " << name << ": not in TESSMARK_DATA_DIR\n";
  return true;
}

// Every point with the programs' numbers, bit for bit, at every thread count.
TEST(TriangulateAll, GivesTheProgramsNumbersWhateverTheThreadCount) {
  for (const InvarianceCase& c : kInvarianceCases) {
    SCOPED_TRACE(c.name);
    const std::string path = c.path();
    if (absent(path, c.name)) continue;
    const Problem& problem = loaded(path);
    const Method method = Method::fromKey(problem.rules(), c.key);
    const std::vector<PointOutcome>& expected =
        programOutcomes(path, problem.rules(), rowOf(c.key));
    ASSERT_EQ(expected.size(), static_cast<std::size_t>(problem.pointCount()));
    for (const int threads : {1, 2, 3}) {
      SCOPED_TRACE(::testing::Message() << threads << " threads");
      ProblemOptions options;
      options.threads = threads;
      const ProblemTriangulation all = triangulateAll(problem, method, options);
      ASSERT_FALSE(all.cancelled);
      ASSERT_EQ(all.points.size(), expected.size());
      int differing = 0;
      for (std::size_t p = 0; p < expected.size(); ++p) {
        const std::string difference = differences(expected[p], all.points[p]);
        if (!difference.empty() && ++differing <= 3) {
          ADD_FAILURE() << "point " << p << ": " << difference;
        }
      }
      EXPECT_EQ(differing, 0);
    }
  }
}

// The points without a solution: a .lc point seen by a camera that is no perspective camera comes
// out as sennic reports it; a BAL point that no observation names is all NaN and labelled neither
// Solvable nor Global (vorlant's reports put it at the origin, Solvable and Global).
TEST(TriangulateAll, PointsWithoutASolutionAreNotLabelledSolved) {
  const Scratch scratch;
  for (const std::string& path :
       {scratch.write("problem.txt", kBalHeader + kBalBody), scratch.write("set.lc", kLcText)}) {
    SCOPED_TRACE(path);
    const Problem problem = Problem::load(path);
    const std::vector<PointOutcome>& expected = programOutcomes(path, problem.rules(), 0);
    for (const int threads : {1, 2}) {
      ProblemOptions options;
      options.threads = threads;
      const ProblemTriangulation all =
          triangulateAll(problem, Method::fromKey(problem.rules(), "0"), options);
      ASSERT_EQ(all.points.size(), expected.size());
      for (const std::size_t p : {0, 2}) {
        if (p < expected.size()) {
          EXPECT_EQ(differences(expected[p], all.points[p]), "") << "point " << p;
        }
      }
      const Triangulation& unsolved = all.points[1];
      if (problem.format() == ProblemFormat::lc) {
        EXPECT_EQ(differences(expected[1], unsolved), "");
      } else {
        EXPECT_TRUE(std::isnan(unsolved.start.x()) && std::isnan(unsolved.point.x()));
        EXPECT_TRUE(std::isnan(unsolved.reprojError_f) && std::isnan(unsolved.klc_m));
        EXPECT_EQ(unsolved.loops, 0);
        EXPECT_FALSE(unsolved.solvable);
      }
      EXPECT_FALSE(unsolved.point.allFinite());
      EXPECT_FALSE(unsolved.global);
    }
  }
}

TEST(TriangulatePoints, GivesTheChosenPointsInTheOrderAsked) {
  const std::string path = madeData().path("synthetic.txt");
  const Problem& problem = loaded(path);
  const Method method = Method::fromKey(Rules::vorlant, "2");
  const std::vector<PointOutcome>& expected = programOutcomes(path, Rules::vorlant, 2);
  const int chosen[] = {5, 2, 5, 59, 0};
  ProblemOptions options;
  options.threads = 2;
  const ProblemTriangulation some = triangulatePoints(problem, chosen, method, options);
  ASSERT_EQ(some.points.size(), std::size(chosen));
  for (std::size_t k = 0; k < std::size(chosen); ++k) {
    EXPECT_EQ(differences(expected[static_cast<std::size_t>(chosen[k])], some.points[k]), "")
        << "entry " << k;
  }
  const ProblemTriangulation none = triangulatePoints(problem, {}, method);
  EXPECT_TRUE(none.points.empty());
  EXPECT_FALSE(none.cancelled);

  // An index the problem does not hold is refused before any point is triangulated.
  for (const std::vector<int>& bad : {std::vector<int>{3, 60}, std::vector<int>{-1}}) {
    bool told = false;
    ProblemOptions watched;
    watched.progress = [&](std::size_t, std::size_t) { told = true; };
    try {
      (void)triangulatePoints(problem, bad, method, watched);
      ADD_FAILURE() << "accepted";
    } catch (const TriangulationError& error) {
      EXPECT_EQ(error.reason(), TriangulationError::Reason::unknownPoint) << error.what();
    }
    EXPECT_FALSE(told);
  }
}

TEST(TriangulateAll, TellsItsProgressAndStopsWhenAsked) {
  const Problem& problem = loaded(madeData().path("larger.txt"));
  const auto total = static_cast<std::size_t>(problem.pointCount());
  const Method method = Method::fromKey(Rules::vorlant, "0");

  std::vector<std::size_t> seen;
  ProblemOptions options;
  options.threads = 2;
  options.progress = [&](std::size_t done, std::size_t of) {
    EXPECT_EQ(of, total);
    seen.push_back(done);
  };
  EXPECT_EQ(triangulateAll(problem, method, options).points.size(), total);
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.back(), total);
  EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
  EXPECT_EQ(std::adjacent_find(seen.begin(), seen.end()), seen.end());

  // Stopped from the progress callback: no results, marked cancelled.
  std::stop_source stop;
  options.cancel = stop.get_token();
  std::size_t lastTold = 0;
  options.progress = [&](std::size_t done, std::size_t) {
    lastTold = done;
    if (done >= 100) stop.request_stop();
  };
  const ProblemTriangulation stopped = triangulateAll(problem, method, options);
  EXPECT_TRUE(stopped.cancelled);
  EXPECT_TRUE(stopped.points.empty());
  EXPECT_LT(lastTold, total);
  // Stopped before the call: nothing runs.
  lastTold = 0;
  EXPECT_TRUE(triangulateAll(problem, method, options).cancelled);
  EXPECT_EQ(lastTold, 0u);
}

// Point p's views as a caller of Triangulator holds them, from the Problem.
ViewStorage heldViews(const Problem& problem, int p) {
  ViewStorage held;
  for (const PointView& view : problem.views(p)) {
    const auto c = static_cast<std::size_t>(view.camera);
    held.cameras.push_back(problem.cameras()[c]);
    held.poses.push_back(problem.poses()[c]);
    held.observations.push_back(view.observation);
  }
  return held;
}

TEST(TriangulationOptions, ValuesOutOfRangeAreRefused) {
  const Problem& problem = loaded(madeData().path("synthetic.txt"));
  const Method method = Method::fromKey(Rules::vorlant, "0");
  const ViewStorage held = heldViews(problem, 0);
  const double nan = std::nan("");
  const double inf = HUGE_VAL;
  const struct {
    const char* name;
    TriangulationOptions options;
  } cases[] = {
      {"NaN tolerance", {nan, 0, 0}},
      {"negative tolerance", {-1e-12, 0, 0}},
      {"infinite tolerance", {inf, 0, 0}},
      {"NaN relative tolerance", {1e-12, nan, 0}},
      {"negative relative tolerance", {1e-12, -1e-3, 0}},
      {"infinite relative tolerance", {1e-12, inf, 0}},
      {"negative loop cap", {1e-12, 0, -1}},
  };
  Triangulator triangulator;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ProblemOptions options;
    options.solver = c.options;
    for (int call = 0; call < 2; ++call) {
      try {
        if (call == 0) {
          (void)triangulator.triangulate(held.views(), method, c.options);
        } else {
          (void)triangulateAll(problem, method, options);
        }
        ADD_FAILURE() << "accepted by call " << call;
      } catch (const TriangulationError& error) {
        EXPECT_EQ(error.reason(), TriangulationError::Reason::badOptions) << error.what();
      }
    }
  }
}

// The points a default run of Gauss-Newton keeps at its cap (|g| stalls just above 1e-12) stop
// early under a looser tolerance; the start and its judgement do not move, and the final cost
// stays where the default run leaves it.
TEST(TriangulationOptions, ALooserToleranceEndsGaussNewtonEarlyAndChangesNothingElse) {
  const struct {
    const char* name;
    std::string (*path)();
    int stride;
  } sets[] = {
      {"made BAL", [] { return madeData().path("larger.txt"); }, 8},
      {"Ladybug", [] { return realData("problem-49-7776-pre.txt"); }, 24},
  };
  for (const auto& set : sets) {
    SCOPED_TRACE(set.name);
    const std::string path = set.path();
    if (absent(path, set.name)) continue;
    const Problem& problem = loaded(path);
    const Method gaussNewton = Method::fromKey(Rules::vorlant, "1");
    ASSERT_EQ(gaussNewton.name(), "Gauss-Newton");
    std::vector<int> chosen;
    for (int p = 0; p < problem.pointCount(); p += set.stride) chosen.push_back(p);
    const ProblemTriangulation fixed = triangulatePoints(problem, chosen, gaussNewton);
    ProblemOptions loose;
    loose.solver.tolerance = 1e-6;
    const ProblemTriangulation early = triangulatePoints(problem, chosen, gaussNewton, loose);
    ASSERT_EQ(early.points.size(), chosen.size());

    int cappedBefore = 0, cappedAfter = 0, fewerLoops = 0;
    for (std::size_t k = 0; k < chosen.size(); ++k) {
      SCOPED_TRACE(::testing::Message() << "point " << chosen[k]);
      const Triangulation& a = fixed.points[k];
      const Triangulation& b = early.points[k];
      for (int i = 0; i < 3; ++i) ASSERT_EQ(bits(a.start(i)), bits(b.start(i)));
      ASSERT_EQ(bits(a.reprojError_m), bits(b.reprojError_m));
      ASSERT_EQ(bits(a.rho_m), bits(b.rho_m));
      ASSERT_EQ(bits(a.klc_m), bits(b.klc_m));
      ASSERT_EQ(a.solvable, b.solvable);
      ASSERT_LE(b.loops, a.loops);
      EXPECT_LE(std::abs(b.reprojError_f - a.reprojError_f), 1e-6 * (1 + a.reprojError_f));
      cappedBefore += a.capReached ? 1 : 0;
      cappedAfter += b.capReached ? 1 : 0;
      fewerLoops += b.loops < a.loops ? 1 : 0;
    }
    std::cout << set.name << ": " << chosen.size() << " points, at the cap " << cappedBefore
              << " -> " << cappedAfter << ", fewer loops " << fewerLoops << "\n";
    EXPECT_GT(fewerLoops, 0);
    EXPECT_LT(cappedAfter, cappedBefore);
  }
}

// relativeTolerance r stops a point as the absolute tolerance r times its start's cost does.
TEST(TriangulationOptions, ARelativeToleranceScalesWithTheStartsCost) {
  const Problem& problem = loaded(madeData().path("synthetic.txt"));
  const Method gaussNewton = Method::fromKey(Rules::vorlant, "1");
  ProblemOptions relative;
  relative.solver.relativeTolerance = 1e-7;
  const ProblemTriangulation all = triangulateAll(problem, gaussNewton, relative);
  Triangulator triangulator;
  int looserThanAbsolute = 0;
  for (int p = 0; p < problem.pointCount(); ++p) {
    const double scaled = 1e-7 * all.points[static_cast<std::size_t>(p)].reprojError_m;
    looserThanAbsolute += scaled > 1e-12 ? 1 : 0;
    const Triangulation alone = triangulator.triangulate(heldViews(problem, p).views(), gaussNewton,
                                                         {std::max(1e-12, scaled), 0.0, 0});
    const Triangulation& together = all.points[static_cast<std::size_t>(p)];
    EXPECT_EQ(alone.loops, together.loops) << "point " << p;
    for (int i = 0; i < 3; ++i) EXPECT_EQ(bits(alone.point(i)), bits(together.point(i)));
  }
  EXPECT_GT(looserThanAbsolute, 0);
}

// A loop cap ends every solver of both menus no later than its own cap would, and a point that
// ends before the cap ends exactly as with the solver's own.
TEST(TriangulationOptions, ALoopCapChangesOnlyThePointsThatReachIt) {
  int capped = 0;
  for (const char* name : {"synthetic.txt", "synthetic.lc"}) {
    const std::string path = madeData().path(name);
    const Problem& problem = loaded(path);
    for (std::size_t row = 0; row < kMethodKeys.size(); ++row) {
      SCOPED_TRACE(::testing::Message() << name << " key " << kMethodKeys[row]);
      const std::vector<PointOutcome>& expected = programOutcomes(path, problem.rules(), row);
      ProblemOptions options;
      options.solver.loopCap = 3;
      const ProblemTriangulation all =
          triangulateAll(problem, Method::fromKey(problem.rules(), kMethodKeys[row]), options);
      for (std::size_t p = 0; p < expected.size(); ++p) {
        const Triangulation& t = all.points[p];
        if (!t.capReached) {
          EXPECT_EQ(differences(expected[p], t), "") << "point " << p;
          continue;
        }
        ++capped;
        EXPECT_LE(t.loops, expected[p].loops) << "point " << p;
        EXPECT_LE(t.loops, 3 + 10) << "point " << p;
        for (int i = 0; i < 3; ++i) EXPECT_EQ(bits(t.start(i)), bits(expected[p].start(i)));
      }
    }
  }
  EXPECT_GT(capped, 0);
}

}  // namespace
}  // namespace tessmark
