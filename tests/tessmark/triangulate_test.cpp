// The public interface on its own terms: choosing a solver by key or name, the BAL camera helper,
// bad input refused with the reason the header names, no allocation once the room is there, and
// many threads giving the numbers of one.

#include "tessmark/triangulate.hpp"

#include <atomic>
#include <bit>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <limits>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <Eigen/Core>
#include <Eigen/LU>

#include "solvers/menus.hpp"
#include "tests/support/allocation_counter.hpp"
#include "tools/synthetic_scene.hpp"

namespace tessmark {
namespace {

constexpr Rules kBothRules[] = {Rules::vorlant, Rules::sennic};

std::span<const MenuEntry> menuOf(Rules rules) {
  return rules == Rules::vorlant ? vorlantMenu() : sennicMenu();
}

// Every solver of both menus.
std::vector<Method> everyMethod() {
  std::vector<Method> methods;
  for (const Rules rules : kBothRules) {
    for (const std::string_view key : kMethodKeys) methods.push_back(Method::fromKey(rules, key));
  }
  return methods;
}

// One point's views, as a caller keeps them.
struct ViewStorage {
  std::vector<Eigen::Matrix<double, 3, 4>> cameras;
  std::vector<Eigen::Vector2d> observations;
  std::vector<CameraPose> poses;

  PointViews views() const { return {cameras, observations, poses}; }
};

// Point p of a ring of twelve cameras: seen by `viewCount` of them, starting at camera p, its
// images off by a deterministic fraction of a pixel.
ViewStorage ringPoint(int p, int viewCount) {
  static const std::vector<synthetic::SceneCamera> ring = synthetic::cameraRing(12);
  const Eigen::Vector3d point(0.1 * (p % 5) - 0.2, 0.07 * (p % 3), 0.03 * (p % 11) - 0.15);
  ViewStorage storage;
  for (int v = 0; v < viewCount; ++v) {
    const synthetic::SceneCamera& camera = ring[static_cast<std::size_t>((p + v) % 12)];
    const double offset = 0.2 + 0.1 * ((p + 3 * v) % 5);
    storage.cameras.push_back(camera.matrix);
    storage.observations.push_back(synthetic::project(camera.matrix, point) +
                                   Eigen::Vector2d(offset, v % 2 == 0 ? -offset : offset));
  }
  return storage;
}

TEST(Method, EveryKeyAndEveryNameOfBothMenusChoosesItsRow) {
  for (const Rules rules : kBothRules) {
    const std::span<const MenuEntry> menu = menuOf(rules);
    ASSERT_EQ(menu.size(), kMethodKeys.size());
    for (std::size_t row = 0; row < menu.size(); ++row) {
      SCOPED_TRACE(menu[row].selectedName);
      EXPECT_EQ(kMethodKeys[row], menu[row].key);
      const Method byKey = Method::fromKey(rules, kMethodKeys[row]);
      EXPECT_EQ(byKey.rules(), rules);
      EXPECT_EQ(byKey.key(), menu[row].key);
      EXPECT_EQ(byKey.name(), menu[row].selectedName);
      // The names tell the rows apart: the name finds the row the key finds.
      EXPECT_EQ(Method::fromName(rules, menu[row].selectedName), byKey);
    }
  }
}

TEST(Method, KeysAndNamesOutsideTheMenuAreRefused) {
  struct Case {
    Rules rules;
    std::string_view text;
    bool isName;
  };
  const Case cases[] = {
      {Rules::vorlant, "10", false},
      {Rules::vorlant, "x", false},  // the programs' keystroke would take it as "other"
      {Rules::sennic, "", false},
      {Rules::sennic, " 0", false},
      {Rules::vorlant, "Other", false},
      {Rules::vorlant, "Newton-Raphson iteration", true},  // a menu line, not the name
      {Rules::vorlant, "Gauss-Newton method", true},       // sennic's name for key 1
      {Rules::sennic, "Gauss-Newton", true},               // vorlant's name for key 1
      {Rules::sennic, "", true},
      {static_cast<Rules>(7), "0", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.text));
    try {
      if (c.isName) {
        Method::fromName(c.rules, c.text);
      } else {
        Method::fromKey(c.rules, c.text);
      }
      ADD_FAILURE() << "accepted";
    } catch (const TriangulationError& error) {
      EXPECT_EQ(error.reason(), TriangulationError::Reason::unknownMethod);
      EXPECT_EQ(error.view(), -1);
    }
  }
}

TEST(BalCamera, ProjectsAsTheBalCameraModelAndFactorsAsItsPose) {
  struct Case {
    Eigen::Vector3d angleAxis, translation;
    double focal;
  };
  const Case cases[] = {
      {{0.1, -0.2, 0.05}, {0.3, -0.1, -6.0}, 500.0},
      {{0.0, 0.0, 0.0}, {0.0, 0.0, -4.0}, 800.0},  // no rotation: R = I
      {{1.5, 0.4, -2.0}, {1.0, 2.0, 3.0}, 1200.0},
  };
  const Eigen::Vector3d point(0.4, -0.3, 0.2);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.focal);
    const BalCamera camera = balCamera(c.angleAxis, c.translation, c.focal);
    const Eigen::Matrix3d& r = camera.pose.rotation;
    EXPECT_LT((r * r.transpose() - Eigen::Matrix3d::Identity()).norm(), 1e-14);
    EXPECT_NEAR(r.determinant(), 1.0, 1e-14);
    if (c.angleAxis.isZero()) {
      EXPECT_EQ(r, Eigen::Matrix3d::Identity());
    }
    // x = -f Xc[0] / Xc[2], y = -f Xc[1] / Xc[2] with Xc = R X + t.
    const Eigen::Vector3d xc = r * point + c.translation;
    const Eigen::Vector2d expected(-c.focal * xc(0) / xc(2), -c.focal * xc(1) / xc(2));
    EXPECT_LT((synthetic::project(camera.matrix, point) - expected).norm(), 1e-9);
    // P = K R [I | -C].
    Eigen::Matrix<double, 3, 4> factored;
    factored << Eigen::Matrix3d::Identity(), -camera.pose.centre;
    factored = (camera.pose.calibration * r * factored).eval();
    EXPECT_LT((factored - camera.matrix).norm(), 1e-9 * camera.matrix.norm());
    EXPECT_EQ(camera.pose.calibration.diagonal(), Eigen::Vector3d(-c.focal, -c.focal, 1.0));
  }
}

// A three-view point and what each case breaks in it.
struct BadInput {
  const char* name;
  void (*breakIt)(ViewStorage& storage);
  TriangulationError::Reason reason;
  std::ptrdiff_t view;
};

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

const BadInput kBadInputs[] = {
    {"no views",
     [](ViewStorage& s) {
       s.cameras.clear();
       s.observations.clear();
     },
     TriangulationError::Reason::noViews, -1},
    {"an observation short", [](ViewStorage& s) { s.observations.pop_back(); },
     TriangulationError::Reason::sizeMismatch, -1},
    {"an observation more",
     [](ViewStorage& s) {
       s.observations.push_back({1.0, 2.0});
     },
     TriangulationError::Reason::sizeMismatch, -1},
    {"one pose for three cameras",
     [](ViewStorage& s) {
       s.poses.push_back(
           {Eigen::Matrix3d::Identity(), Eigen::Matrix3d::Identity(), Eigen::Vector3d::Zero()});
     },
     TriangulationError::Reason::sizeMismatch, -1},
    {"NaN in a camera matrix", [](ViewStorage& s) { s.cameras[1](0, 2) = kNaN; },
     TriangulationError::Reason::nonFiniteCamera, 1},
    {"infinity in a camera matrix", [](ViewStorage& s) { s.cameras[2](2, 3) = -kInf; },
     TriangulationError::Reason::nonFiniteCamera, 2},
    {"NaN observation", [](ViewStorage& s) { s.observations[0].y() = kNaN; },
     TriangulationError::Reason::nonFiniteObservation, 0},
    {"infinite observation", [](ViewStorage& s) { s.observations[2].x() = kInf; },
     TriangulationError::Reason::nonFiniteObservation, 2},
    {"NaN in a given pose",
     [](ViewStorage& s) {
       for (std::size_t v = 0; v < s.cameras.size(); ++v) {
         s.poses.push_back(
             {Eigen::Matrix3d::Identity(), Eigen::Matrix3d::Identity(), Eigen::Vector3d::Zero()});
       }
       s.poses[1].centre.z() = kNaN;
     },
     TriangulationError::Reason::nonFinitePose, 1},
    {"left block with a zero third row",
     [](ViewStorage& s) { s.cameras[1].row(2).head<3>().setZero(); },
     TriangulationError::Reason::notPerspective, 1},
    {"singular left block",
     [](ViewStorage& s) { s.cameras[0].row(1).head<3>() = 2.0 * s.cameras[0].row(2).head<3>(); },
     TriangulationError::Reason::notPerspective, 0},
};

// A camera matrix scaled by a positive factor is the same camera, however large or small the
// factor: its pose is derived as the unscaled one's (the .lc reader's decomposition), so the point
// is taken and started where the unscaled views start it, not refused as no perspective camera.
TEST(Triangulator, AScaledCameraIsTheSameCameraForThePose) {
  const Method method = Method::fromKey(Rules::sennic, "0");
  const ViewStorage plain = ringPoint(4, 3);
  Triangulator triangulator;
  const Eigen::Vector3d start = triangulator.triangulate(plain.views(), method).start;
  for (const double factor : {1e155, 1e-170, 1e300, 1e-300}) {
    SCOPED_TRACE(factor);
    ViewStorage scaled = plain;
    scaled.cameras[1] *= factor;
    const Triangulation t = triangulator.triangulate(scaled.views(), method);
    EXPECT_LT((t.start - start).norm(), 1e-9 * (1.0 + start.norm())) << t.start.transpose();
  }
}

void PrintTo(const BadInput& input, std::ostream* out) { *out << input.name; }

class RefusesBadInput : public ::testing::TestWithParam<BadInput> {};

TEST_P(RefusesBadInput, WithTheReasonAndViewNamedAndTheTriangulatorStillWorks) {
  const Method method = Method::fromKey(Rules::sennic, "0");
  const ViewStorage good = ringPoint(3, 3);
  Triangulator triangulator;
  const Triangulation before = triangulator.triangulate(good.views(), method);
  ViewStorage bad = good;
  GetParam().breakIt(bad);
  try {
    triangulator.triangulate(bad.views(), method);
    ADD_FAILURE() << "accepted";
  } catch (const TriangulationError& error) {
    EXPECT_EQ(error.reason(), GetParam().reason) << error.what();
    EXPECT_EQ(error.view(), GetParam().view) << error.what();
    EXPECT_EQ(std::string(error.what()).rfind("tessmark: ", 0), 0u) << error.what();
  }
  const Triangulation after = triangulator.triangulate(good.views(), method);
  EXPECT_EQ(after.point, before.point);
  EXPECT_EQ(after.loops, before.loops);
}

INSTANTIATE_TEST_SUITE_P(Cases, RefusesBadInput, ::testing::ValuesIn(kBadInputs),
                         [](const ::testing::TestParamInfo<BadInput>& info) {
                           std::string name;
                           for (const char* c = info.param.name; *c != '\0'; ++c) {
                             if (std::isalnum(static_cast<unsigned char>(*c))) name += *c;
                           }
                           return name;
                         });

// Room asked for beyond the workspace's int row counts is refused up front, not wrapped around into
// a small or negative size.
TEST(Triangulator, RefusesRoomForMoreViewsThanAPointMayHave) {
  for (const std::size_t views :
       {std::size_t{std::numeric_limits<int>::max()}, std::numeric_limits<std::size_t>::max()}) {
    try {
      const Triangulator triangulator(views);
      ADD_FAILURE() << views << " views accepted";
    } catch (const TriangulationError& error) {
      EXPECT_EQ(error.reason(), TriangulationError::Reason::tooManyViews) << error.what();
    }
  }
}

// An affine camera (third row (0, 0, 0, 1)) has no pose to derive, but with its pose given the
// point is triangulated like any other: the check concerns the derivation only.
TEST(Triangulator, AcceptsCamerasWithoutADerivablePoseWhenThePosesAreGiven) {
  ViewStorage storage = ringPoint(2, 3);
  storage.cameras[1].row(2) << 0.0, 0.0, 0.0, 1.0;
  const auto ring = synthetic::cameraRing(12);
  for (std::size_t v = 0; v < storage.cameras.size(); ++v) {
    const auto& camera = ring[(2 + v) % 12];
    storage.poses.push_back({camera.calibration, camera.rotation, camera.centre});
  }
  Triangulator triangulator;
  const Triangulation result =
      triangulator.triangulate(storage.views(), Method::fromKey(Rules::vorlant, "1"));
  EXPECT_TRUE(result.start.allFinite());
  EXPECT_GE(result.loops, 1);
}

TEST(Triangulator, AllocatesNothingOnceItHasRoomForThePointsViews) {
  std::vector<ViewStorage> points;
  for (int p = 0; p < 20; ++p) points.push_back(ringPoint(p, 1 + p % 10));
  for (const Method& method : everyMethod()) {
    SCOPED_TRACE(std::string(method.name()));
    Triangulator grown;
    grown.triangulate(ringPoint(0, 10).views(), method);
    EXPECT_EQ(grown.viewCapacity(), 10u);
    Triangulator reserved(10);
    double costs = 0.0;
    {
      const testing::AllocationScope allocations;
      for (const ViewStorage& point : points) {
        costs += grown.triangulate(point.views(), method).reprojError_f;
        costs += reserved.triangulate(point.views(), method).reprojError_f;
      }
      EXPECT_EQ(allocations.count(), 0u);
    }
    EXPECT_GT(costs, 0.0);
    // More views than the room: it grows once and keeps the new room.
    const ViewStorage twelve[] = {ringPoint(5, 12), ringPoint(6, 12)};
    {
      const testing::AllocationScope allocations;
      grown.triangulate(twelve[0].views(), method);
      EXPECT_GT(allocations.count(), 0u);
    }
    EXPECT_EQ(grown.viewCapacity(), 12u);
    const testing::AllocationScope allocations;
    grown.triangulate(twelve[1].views(), method);
    grown.triangulate(points[3].views(), method);
    EXPECT_EQ(allocations.count(), 0u);
  }
}

// Bit for bit, NaN included.
bool same(double a, double b) {
  return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}
bool same(const Eigen::Vector3d& a, const Eigen::Vector3d& b) {
  return same(a(0), b(0)) && same(a(1), b(1)) && same(a(2), b(2));
}
bool same(const Triangulation& a, const Triangulation& b) {
  return same(a.start, b.start) && same(a.point, b.point) && a.loops == b.loops &&
         a.capReached == b.capReached && a.hessianModified == b.hessianModified &&
         same(a.reprojError_m, b.reprojError_m) && same(a.reprojError_f, b.reprojError_f) &&
         same(a.gamma_m, b.gamma_m) && same(a.gamma_f, b.gamma_f) && same(a.rho_m, b.rho_m) &&
         same(a.rho_f, b.rho_f) && same(a.klc_m, b.klc_m) && same(a.klc_f, b.klc_f) &&
         a.positiveSemidefinite == b.positiveSemidefinite && a.solvable == b.solvable &&
         a.global == b.global;
}

// Each thread takes the next unsolved point, with its own triangulator, so every thread sees the
// points in another order and with other view counts before them than the single thread did.
TEST(Triangulator, ManyThreadsGiveTheNumbersOfOne) {
  const std::vector<Method> methods = everyMethod();
  constexpr int kPoints = 264;  // every method on every view count 1..12
  std::vector<ViewStorage> points;
  for (int p = 0; p < kPoints; ++p) points.push_back(ringPoint(p, 1 + p % 12));
  auto methodOf = [&](int p) { return methods[static_cast<std::size_t>(p / 12) % methods.size()]; };

  std::vector<Triangulation> alone(kPoints);
  Triangulator single;
  for (int p = kPoints - 1; p >= 0; --p)
    alone[p] = single.triangulate(points[p].views(), methodOf(p));

  std::vector<Triangulation> together(kPoints);
  std::atomic<int> next{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&] {
      Triangulator own;
      for (int p = next++; p < kPoints; p = next++) {
        together[p] = own.triangulate(points[p].views(), methodOf(p));
      }
    });
  }
  for (std::thread& thread : threads) thread.join();

  int differing = 0;
  for (int p = 0; p < kPoints; ++p) {
    if (!same(alone[p], together[p])) {
      ++differing;
      ADD_FAILURE() << "point " << p << " (" << methodOf(p).name() << ") differs";
    }
  }
  EXPECT_EQ(differing, 0);
}

}  // namespace
}  // namespace tessmark
