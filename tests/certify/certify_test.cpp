// The certifier's promises: a verdict is never wrong. Planted problems with several local minima,
// where a dense multistart search over the points in front of the cameras finds the global minimum,
// check that no candidate the search beats is certified, that the search's best is, and that the
// lower bound never exceeds the cost of any point the search found; the exact two-view optimum and
// the branch and bound agree; the limits at infinity and at a camera's centre are found and named;
// a candidate behind a camera is never certified; the interval arithmetic encloses exact results.

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <Eigen/Dense>

#include "certify/certify.hpp"
#include "certify/front_side.hpp"
#include "certify/interval.hpp"
#include "certify/two_view.hpp"
#include "input/bal_pretreatment.hpp"
#include "input/bal_problem.hpp"
#include "input/text_file.hpp"
#include "tessmark/triangulate.hpp"
#include "tests/support/allocation_counter.hpp"
#include "tools/synthetic_scene.hpp"

namespace tessmark::certify {
namespace {

using Matrix34 = Eigen::Matrix<double, 3, 4>;

// One point's views, owning their storage.
struct Problem {
  std::vector<Matrix34> cameras;
  std::vector<Eigen::Vector2d> observations;
  std::vector<int> sides;

  PointViews views() const { return {cameras, observations, sides}; }
  void add(const Matrix34& camera, const Eigen::Vector2d& observation, int side = 1) {
    cameras.push_back(camera);
    observations.push_back(observation);
    sides.push_back(side);
  }
};

double cost(const Problem& p, const Eigen::Vector3d& x) {
  double sum = 0.0;
  for (std::size_t v = 0; v < p.cameras.size(); ++v)
    sum += ((p.cameras[v] * x.homogeneous()).hnormalized() - p.observations[v]).squaredNorm();
  return sum;
}

bool inFront(const Problem& p, const Eigen::Vector3d& x) {
  for (std::size_t v = 0; v < p.cameras.size(); ++v)
    if (!(p.sides[v] * p.cameras[v].row(2).dot(x.homogeneous()) > 0.0)) return false;
  return true;
}

// Levenberg-Marquardt in world coordinates, kept in front of every camera: the test's own local
// solver, independent of the certifier's.
Eigen::Vector3d localMinimum(const Problem& p, Eigen::Vector3d x) {
  double damping = 1e-3, value = cost(p, x);
  for (int iteration = 0; iteration < 200; ++iteration) {
    Eigen::Matrix3d normal = Eigen::Matrix3d::Zero();
    Eigen::Vector3d gradient = Eigen::Vector3d::Zero();
    for (std::size_t v = 0; v < p.cameras.size(); ++v) {
      const Eigen::Vector3d y = p.cameras[v] * x.homogeneous();
      for (int j = 0; j < 2; ++j) {
        const double r = y(j) / y(2) - p.observations[v](j);
        const Eigen::Vector3d row =
            (p.cameras[v].row(j).head<3>() - y(j) / y(2) * p.cameras[v].row(2).head<3>()) / y(2);
        normal += row * row.transpose();
        gradient += r * row;
      }
    }
    bool improved = false;
    for (int attempt = 0; attempt < 20 && !improved; ++attempt) {
      Eigen::Matrix3d damped = normal;
      damped.diagonal() *= 1.0 + damping;
      const Eigen::Vector3d next = x - damped.ldlt().solve(gradient);
      const double nextValue = cost(p, next);
      if (inFront(p, next) && nextValue < value) {
        improved = true;
        const bool tiny = value - nextValue <= 1e-15 * value;
        x = next;
        value = nextValue;
        damping /= 4.0;
        if (tiny) return x;
      } else {
        damping *= 8.0;
      }
    }
    if (!improved) return x;
  }
  return x;
}

// The dense search: starts on a grid of reference-image offsets and depths (logarithmic) in front
// of camera 0, each refined by localMinimum; the distinct local minima found (by cost), best first.
std::vector<Eigen::Vector3d> denseSearch(const Problem& p, double window) {
  const Matrix34& p0 = p.cameras[0];
  const Eigen::Matrix3d m0 = p0.leftCols<3>();
  const Eigen::Vector3d centre = -m0.inverse() * p0.col(3);
  std::vector<Eigen::Vector3d> minima;
  for (int i = -2; i <= 2; ++i)
    for (int j = -2; j <= 2; ++j)
      for (int k = 0; k < 20; ++k) {
        const Eigen::Vector2d image = p.observations[0] + window / 2.0 * Eigen::Vector2d(i, j);
        Eigen::Vector3d ray = m0.inverse() * image.homogeneous();
        ray *= p.sides[0] * (ray.dot(m0.row(2)) > 0 ? 1.0 : -1.0) / ray.norm();
        const double depth = std::pow(10.0, -1.5 + k * 0.3);  // 0.03 .. 1e4
        const Eigen::Vector3d start = centre + depth * ray;
        if (!inFront(p, start)) continue;
        const Eigen::Vector3d x = localMinimum(p, start);
        bool known = false;
        for (const Eigen::Vector3d& m : minima)
          if (std::abs(cost(p, m) - cost(p, x)) <= 1e-7 * cost(p, x)) known = true;
        if (!known) minima.push_back(x);
      }
  std::sort(minima.begin(), minima.end(), [&](const Eigen::Vector3d& a, const Eigen::Vector3d& b) {
    return cost(p, a) < cost(p, b);
  });
  return minima;
}

Matrix34 lookAt(const Eigen::Vector3d& centre, const Eigen::Vector3d& target, double f) {
  return synthetic::lookAtCamera(centre, target, f, 320.0, 240.0).matrix;
}

// Three or four cameras with short baselines watching a far point through heavy noise (several
// stationary points along the nearly parallel rays), sometimes one more camera that has the point
// near its principal plane.
Problem plantedProblem(unsigned seed) {
  std::mt19937 random(seed);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  std::normal_distribution<double> noise(0.0, 8.0);
  const Eigen::Vector3d point = Eigen::Vector3d::Zero();
  Problem p;
  const int views = 3 + static_cast<int>(seed % 2);
  const Eigen::Vector3d base =
      6.0 * Eigen::Vector3d(unit(random), unit(random), unit(random)).normalized();
  for (int v = 0; v < views; ++v) {
    // Short baselines: every centre within 0.6 of a common one, 6 away from the point.
    const Eigen::Vector3d centre =
        base + 0.6 * Eigen::Vector3d(unit(random), unit(random), unit(random));
    const Eigen::Vector3d target =
        point + 1.5 * Eigen::Vector3d(unit(random), unit(random), unit(random));
    const Matrix34 camera = lookAt(centre, target, 500.0);
    p.add(camera,
          synthetic::project(camera, point) + Eigen::Vector2d(noise(random), noise(random)));
  }
  if (seed % 3 == 0) {
    // The point lies a little in front of this camera's principal plane, far off its image centre.
    const Eigen::Vector3d centre = point + Eigen::Vector3d(2.0, 0.0, -0.3);
    const Matrix34 camera = lookAt(centre, centre + Eigen::Vector3d(0.0, 0.2, 1.0), 500.0);
    p.add(camera,
          synthetic::project(camera, point) + Eigen::Vector2d(noise(random), noise(random)));
  }
  return p;
}

TEST(IntervalTest, EnclosesTheExactResultOfEveryOperation) {
  // long double carries 11 more bits than double: a double result that was not widened would miss
  // it whenever the operation rounded.
  std::mt19937_64 random(7);
  std::uniform_real_distribution<double> mantissa(-1.0, 1.0);
  std::uniform_int_distribution<int> exponent(-300, 300);
  auto draw = [&] { return std::ldexp(mantissa(random), exponent(random) / 10); };
  auto encloses = [](Interval i, long double exact) { return i.lo <= exact && exact <= i.hi; };
  int rounded = 0;
  for (int k = 0; k < 200000; ++k) {
    const double a = draw(), b = draw();
    const long double la = a, lb = b;
    ASSERT_TRUE(encloses(Interval(a) + Interval(b), la + lb)) << a << " + " << b;
    ASSERT_TRUE(encloses(Interval(a) - Interval(b), la - lb)) << a << " - " << b;
    ASSERT_TRUE(encloses(Interval(a) * Interval(b), la * lb)) << a << " * " << b;
    ASSERT_TRUE(encloses(Interval(a) / Interval(b), la / lb)) << a << " / " << b;
    ASSERT_TRUE(encloses(square(Interval(a)), la * la)) << a;
    ASSERT_TRUE(encloses(sqrt(Interval(std::abs(a))), std::sqrt(std::fabs(la)))) << a;
    rounded += static_cast<long double>(a * b) != la * lb;
  }
  EXPECT_GT(rounded, 100000);  // the check met rounding errors, not exact cases only
  // Intervals of width: every combination of endpoints inside the result.
  const Interval x(-2.0, 3.0), y(0.5, 4.0);
  EXPECT_LE((x * y).lo, -8.0);
  EXPECT_GE((x * y).hi, 12.0);
  EXPECT_LE((x / y).lo, -4.0);
  EXPECT_GE((x / y).hi, 6.0);
  EXPECT_EQ(square(x).lo, 0.0);
  // Division by an interval around zero, and lost values, give the whole line.
  EXPECT_EQ((y / x).lo, -std::numeric_limits<double>::infinity());
  EXPECT_EQ((y / x).hi, std::numeric_limits<double>::infinity());
  const Interval lost = Interval(std::numeric_limits<double>::infinity()) -
                        Interval(std::numeric_limits<double>::infinity());
  EXPECT_EQ(lost.lo, -std::numeric_limits<double>::infinity());
  EXPECT_EQ(lost.hi, std::numeric_limits<double>::infinity());
  // Tiny results: the absolute margin covers underflow.
  const Interval tiny = Interval(1e-200) * Interval(1e-200);
  EXPECT_LT(tiny.lo, 0.0);
  EXPECT_GT(tiny.hi, 0.0);
}

TEST(FrontSideTest, BalConventionAndMajorityVotes) {
  // A BAL camera looks down its negative axis: a point in front has p3 . X~ < 0.
  const BalCamera bal = balCamera(Eigen::Vector3d(0.1, -0.2, 0.05), Eigen::Vector3d(0, 0, -5), 500);
  const Eigen::Vector3d ahead = bal.pose.centre + 3.0 * bal.pose.rotation.row(2).transpose() * -1.0;
  EXPECT_LT(kBalFrontSide * -1.0 * bal.matrix.row(2).dot(ahead.homogeneous()), 0.0);
  EXPECT_GT(kBalFrontSide * bal.matrix.row(2).dot(ahead.homogeneous()), 0.0);

  // Majority: camera 0 as it is, camera 1 negated (a .lc matrix may carry either sign), camera 2
  // with its first two rows swapped ((row, column) images: the determinant flips, p3 does not),
  // camera 3 sees nothing, camera 4 a tie.
  const Matrix34 p = lookAt(Eigen::Vector3d(0, 0, -10), Eigen::Vector3d::Zero(), 500);
  Matrix34 swapped = p;
  swapped.row(0).swap(swapped.row(1));
  FrontSideVote vote(5);
  std::mt19937 random(3);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  for (int k = 0; k < 50; ++k) {
    const Eigen::Vector3d x(unit(random), unit(random), unit(random));
    vote.add(0, p, x);
    vote.add(1, -p, x);
    vote.add(2, swapped, x);
  }
  vote.add(0, p, Eigen::Vector3d(0, 0, -20));  // one outlier behind does not turn camera 0
  vote.add(1, -p, Eigen::Vector3d::Constant(std::numeric_limits<double>::quiet_NaN()));
  vote.add(4, p, Eigen::Vector3d(0, 0, 1));
  vote.add(4, p, Eigen::Vector3d(0, 0, -20));
  EXPECT_EQ(vote.sides(), (std::vector<int>{1, -1, 1, 1, 1}));
  EXPECT_EQ(vote.sides(-1), (std::vector<int>{1, -1, 1, -1, -1}));
  EXPECT_EQ(vote.votes(1, -1), 50u);
}

TEST(CertifierTest, RefusesBadInput) {
  Problem good;
  good.add(lookAt(Eigen::Vector3d(0, 0, -10), Eigen::Vector3d::Zero(), 500), {320, 240});
  good.add(lookAt(Eigen::Vector3d(1, 0, -10), Eigen::Vector3d::Zero(), 500), {300, 240});
  Certifier certifier;
  const Eigen::Vector3d x = Eigen::Vector3d::Zero();
  struct Case {
    const char* name;
    void (*spoil)(Problem&);
  };
  const Case cases[] = {
      {"no view", [](Problem& p) { p = Problem{}; }},
      {"sizes differ", [](Problem& p) { p.observations.pop_back(); }},
      {"sides differ", [](Problem& p) { p.sides.pop_back(); }},
      {"side 0", [](Problem& p) { p.sides[1] = 0; }},
      {"non-finite camera", [](Problem& p) { p.cameras[0](1, 2) = std::nan(""); }},
      {"non-finite observation",
       [](Problem& p) { p.observations[1](0) = std::numeric_limits<double>::infinity(); }},
  };
  for (const Case& c : cases) {
    Problem p = good;
    c.spoil(p);
    EXPECT_THROW(certifier.certify(p.views(), x), std::invalid_argument) << c.name;
  }
  EXPECT_NO_THROW(certifier.certify(good.views(), x));
}

// A ring of cameras, a noisy point: the solver's minimum is certified with a lower bound within
// the tolerance; a nearby candidate is beaten by a returned point of lower cost; a candidate behind
// a camera, or not finite, is never certified, and the verdict names the view.
TEST(CertifierTest, VerdictsOnAWellConditionedPoint) {
  const std::vector<synthetic::SceneCamera> ring = synthetic::cameraRing(5);
  const synthetic::PointData data =
      synthetic::observePoint(ring, Eigen::Vector3d(0.3, -0.2, 0.4), 0.8, 4);
  Problem p;
  for (int v = 0; v < data.viewCount; ++v)
    p.add(ring[static_cast<std::size_t>(v)].matrix, data.observations.segment<2>(2 * v));
  const Eigen::Vector3d minimum = localMinimum(p, Eigen::Vector3d(0.3, -0.2, 0.4));
  Certifier certifier;

  const Certificate c = certifier.certify(p.views(), minimum);
  EXPECT_EQ(c.verdict, Verdict::certified);
  EXPECT_EQ(c.view, -1);
  EXPECT_LE(c.lowerBound, cost(p, minimum));
  EXPECT_LE(c.candidateCost - c.lowerBound, c.tolerance);
  EXPECT_EQ(c.infimum, Infimum::finite);
  EXPECT_LT(c.boxes, 100);

  const Eigen::Vector3d nearby = minimum + Eigen::Vector3d(0.0, 0.0, 0.01);
  const Certificate b = certifier.certify(p.views(), nearby);
  EXPECT_EQ(b.verdict, Verdict::beaten);
  EXPECT_LT(cost(p, b.best), cost(p, nearby) - 0.5 * b.tolerance);
  EXPECT_TRUE(inFront(p, b.best));
  EXPECT_NEAR(b.upperBound, cost(p, minimum), 1e-9 * cost(p, minimum));

  // The mirror image of the minimum through camera 0's centre lies behind camera 0.
  const Eigen::Vector3d centre0 = ring[0].centre;
  const Certificate behind = certifier.certify(p.views(), 2.0 * centre0 - minimum);
  EXPECT_EQ(behind.verdict, Verdict::notInFront);
  EXPECT_EQ(behind.view, 0);
  EXPECT_NEAR(behind.upperBound, cost(p, minimum), 1e-9 * cost(p, minimum));

  const Certificate lost = certifier.certify(
      p.views(), Eigen::Vector3d::Constant(std::numeric_limits<double>::quiet_NaN()));
  EXPECT_EQ(lost.verdict, Verdict::notInFront);
  EXPECT_EQ(lost.view, -1);
}

// The cheap path: where the cost is convex over every point that may beat the minimum (wide
// baselines, moderate noise), the first box proves it, from 2 to 10 views.
TEST(CertifierTest, AWellConditionedMinimumIsCertifiedByItsFirstBox) {
  struct Case {
    int views;
    double noise;
  };
  for (const Case& k : {Case{2, 0.5}, Case{3, 0.5}, Case{5, 2.0}, Case{10, 0.5}}) {
    SCOPED_TRACE(std::to_string(k.views) + " views, noise " + std::to_string(k.noise));
    const std::vector<synthetic::SceneCamera> ring = synthetic::cameraRing(k.views);
    const synthetic::PointData data =
        synthetic::observePoint(ring, Eigen::Vector3d(-0.4, 0.3, 0.2), k.noise, 7);
    Problem p;
    for (int v = 0; v < data.viewCount; ++v)
      p.add(ring[static_cast<std::size_t>(v)].matrix, data.observations.segment<2>(2 * v));
    const Eigen::Vector3d minimum = localMinimum(p, Eigen::Vector3d(-0.4, 0.3, 0.2));
    Certifier certifier;
    const Certificate c = certifier.certify(p.views(), minimum);
    EXPECT_EQ(c.verdict, Verdict::certified);
    EXPECT_LE(c.lowerBound, cost(p, minimum));
    EXPECT_EQ(c.boxes, 1);
  }
}

// Two cameras whose observations only fit a point behind both: that point costs nothing, yet it
// is never certified; the minimum in front is reported with its bounds.
TEST(CertifierTest, ACheaperPointBehindTheCamerasIsNeverCertified) {
  Problem p;
  const Matrix34 left = lookAt(Eigen::Vector3d(-1, 0, 0), Eigen::Vector3d(-1, 0, 10), 500);
  const Matrix34 right = lookAt(Eigen::Vector3d(1, 0, 0), Eigen::Vector3d(1, 0, 10), 500);
  const Eigen::Vector3d behind(0.2, 0.1, -4.0);
  p.add(left, synthetic::project(left, behind));
  p.add(right, synthetic::project(right, behind));
  ASSERT_LT(cost(p, behind), 1e-20);
  Certifier certifier;
  const Certificate c = certifier.certify(p.views(), behind);
  EXPECT_EQ(c.verdict, Verdict::notInFront);
  EXPECT_GE(c.view, 0);
  EXPECT_GT(c.lowerBound, 1.0);  // nothing in front comes close to zero
}

// Two cameras side by side whose rays diverge: in front of both, the cost falls towards its value
// at infinity and never reaches it. A far candidate is certified, a near one beaten by a farther
// point, and the infimum is named.
TEST(CertifierTest, InfimumApproachedAtInfinity) {
  Problem p;
  const Matrix34 left = lookAt(Eigen::Vector3d(-1, 0, 0), Eigen::Vector3d(-1, 0, 10), 500);
  const Matrix34 right = lookAt(Eigen::Vector3d(1, 0, 0), Eigen::Vector3d(1, 0, 10), 500);
  p.add(left, {318.0, 240.0});    // 2 px left of the image centre: the ray leans left
  p.add(right, {322.0, 240.0});   // the ray leans right
  const double atInfinity = 8.0;  // both see the same direction: a 4 px disparity, halved
  Certifier certifier;
  const Certificate near = certifier.certify(p.views(), Eigen::Vector3d(0, 0, 100));
  EXPECT_EQ(near.verdict, Verdict::beaten);
  EXPECT_EQ(near.infimum, Infimum::atInfinity);
  EXPECT_NEAR(near.upperBound, atInfinity, 1e-8);
  EXPECT_LE(near.lowerBound, atInfinity);
  EXPECT_GT(near.lowerBound, atInfinity - 1e-8);
  EXPECT_TRUE(inFront(p, near.best));
  EXPECT_LT(cost(p, near.best), cost(p, Eigen::Vector3d(0, 0, 100)));
  // At 1e12 the cost is within the tolerance of its infimum: never beaten (the search may run out
  // of budget in coordinates scaled by so far a point, which is allowed).
  const Certificate far = certifier.certify(p.views(), Eigen::Vector3d(0, 0, 1e12));
  EXPECT_NE(far.verdict, Verdict::beaten);
  EXPECT_LE(far.lowerBound, atInfinity);
  // A solver that ran off to 1e163: the squares of its homogeneous coordinates overflow, its
  // residuals do not, so its cost is known and judged like any other.
  const Certificate runaway = certifier.certify(p.views(), Eigen::Vector3d(0, 0, 1e163));
  EXPECT_NEAR(runaway.candidateCost, atInfinity, 1e-8);
  EXPECT_NE(runaway.verdict, Verdict::beaten);
  EXPECT_LE(runaway.lowerBound, atInfinity);
}

// Forward motion: camera 1 stands in front of camera 0 on its axis. Camera 0's observation lies
// on the far side of the epipole from every point in front of both, so the lowest cost is
// approached only at camera 1's centre (camera 0's residual at the epipole, camera 1's zero).
TEST(CertifierTest, InfimumApproachedAtACameraCentre) {
  Problem p;
  const Matrix34 back = lookAt(Eigen::Vector3d(0, 0, 0), Eigen::Vector3d(0, 0, 10), 100);
  const Matrix34 front = lookAt(Eigen::Vector3d(0, 0, 2), Eigen::Vector3d(0, 0, 12), 100);
  const Eigen::Vector2d epipole = synthetic::project(back, Eigen::Vector3d(0, 0, 2));
  p.add(back, epipole + Eigen::Vector2d(-1.0, 0.0));
  p.add(front, Eigen::Vector2d(320.0 + 100.0, 240.0));  // 100 px right of its image centre
  Certifier certifier;
  const Eigen::Vector3d candidate(0.5, 0.0, 2.5);
  const Certificate c = certifier.certify(p.views(), candidate);
  EXPECT_EQ(c.verdict, Verdict::beaten);
  EXPECT_EQ(c.infimum, Infimum::atCameraCentre);
  EXPECT_EQ(c.centreView, 1);
  EXPECT_NEAR(c.upperBound, 1.0, 1e-8);
  EXPECT_GT(c.lowerBound, 1.0 - 1e-8);
  EXPECT_TRUE(inFront(p, c.best));
  EXPECT_LT(cost(p, c.best), cost(p, candidate));
}

// Planted problems (short baselines, heavy noise, a point near a camera's principal plane): the
// dense search's minima and points around them, each offered as a candidate. The lower bound never
// exceeds a cost the search found, a candidate the search beats by more than the tolerance is never
// certified, a beaten candidate's witness is a better point in front, and the search's best is
// certified unless a limit lies below it.
TEST(CertifierTest, NeverCertifiesACandidateTheDenseSearchBeats) {
  Options options;
  options.maxBoxes = 20000;
  Certifier certifier(options);
  int undecided = 0, verdicts = 0, certified = 0, beaten = 0, nearAPlane = 0;
  for (unsigned seed = 1; seed <= 24; ++seed) {
    const Problem p = plantedProblem(seed);
    nearAPlane += p.cameras.size() > 4 || seed % 3 == 0;
    std::vector<Eigen::Vector3d> candidates = denseSearch(p, 24.0);
    ASSERT_FALSE(candidates.empty()) << seed;
    const Eigen::Vector3d top = candidates.front();
    const double best = cost(p, top);
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    for (double step : {1e-7, 1e-5, 1e-3, 1e-1}) {
      const Eigen::Vector3d x = top + step * (1.0 + top.norm()) *
                                          Eigen::Vector3d(unit(random), unit(random), unit(random));
      if (inFront(p, x)) candidates.push_back(x);
    }
    for (const Eigen::Vector3d& m : candidates) {
      const Certificate c = certifier.certify(p.views(), m);
      ASSERT_NE(c.verdict, Verdict::notInFront) << seed;
      ++verdicts;
      undecided += c.verdict == Verdict::undecided;
      certified += c.verdict == Verdict::certified;
      beaten += c.verdict == Verdict::beaten;
      EXPECT_LE(c.lowerBound, best * (1.0 + 1e-12)) << seed;  // holds for every point found
      if (cost(p, m) > best + c.tolerance) {
        EXPECT_NE(c.verdict, Verdict::certified) << seed << " " << cost(p, m) << " " << best;
      }
      if (c.verdict == Verdict::beaten) {
        EXPECT_LT(cost(p, c.best), cost(p, m) - 0.5 * c.tolerance) << seed;
        EXPECT_TRUE(inFront(p, c.best)) << seed;
      }
      if (c.verdict == Verdict::certified) {
        EXPECT_LE(cost(p, m) - c.lowerBound, c.tolerance) << seed;
      }
    }
    const Certificate c = certifier.certify(p.views(), top);
    if (c.verdict == Verdict::beaten) {
      EXPECT_NE(c.infimum, Infimum::finite) << seed;
    }
  }
  EXPECT_LE(undecided * 5, verdicts);  // nearly flat valleys may exhaust the budget, rarely
  EXPECT_GE(certified, 20);
  EXPECT_GE(beaten, 30);
  EXPECT_GE(nearAPlane, 8);
}

// Random two-view problems: the exact optimum of the degree-six polynomial and the branch and bound
// (without that starting point) find the same minimum.
TEST(CertifierTest, TwoViewOptimumAgreesWithTheBranchAndBound) {
  std::mt19937 random(11);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  std::normal_distribution<double> noise(0.0, 3.0);
  Options alone;
  alone.twoViewStart = false;
  Certifier search(alone);
  int exact = 0;
  for (int k = 0; k < 40; ++k) {
    const Eigen::Vector3d point(unit(random), unit(random), unit(random));
    Problem p;
    for (int v = 0; v < 2; ++v) {
      const Eigen::Vector3d centre =
          Eigen::Vector3d(unit(random), unit(random), unit(random)).normalized() *
          (4.0 + 4.0 * unit(random) + 4.0);
      const Matrix34 camera =
          lookAt(centre, 0.3 * Eigen::Vector3d(unit(random), unit(random), unit(random)), 700.0);
      p.add(camera,
            synthetic::project(camera, point) + Eigen::Vector2d(noise(random), noise(random)));
    }
    const TwoViewOptimum optimum =
        twoViewOptimum(p.cameras[0], p.cameras[1], p.observations[0], p.observations[1], 1, 1);
    const Certificate c = search.certify(p.views(), point);  // the true point: not the optimum
    ASSERT_NE(c.verdict, Verdict::undecided) << k;
    if (!optimum.found || !optimum.global) continue;
    ++exact;
    EXPECT_NEAR(c.upperBound, optimum.cost, 1e-8 * (1.0 + optimum.cost)) << k;
    EXPECT_LE(c.lowerBound, optimum.cost + 1e-12) << k;
    EXPECT_EQ(search.certify(p.views(), optimum.point).verdict, Verdict::certified) << k;
  }
  EXPECT_GE(exact, 30);
}

TEST(CertifierTest, ReusedRoomAllocatesNothing) {
  const std::vector<synthetic::SceneCamera> ring = synthetic::cameraRing(6);
  const synthetic::PointData data =
      synthetic::observePoint(ring, Eigen::Vector3d(0.1, 0.2, -0.3), 1.0, 9);
  Problem p;
  for (int v = 0; v < data.viewCount; ++v)
    p.add(ring[static_cast<std::size_t>(v)].matrix, data.observations.segment<2>(2 * v));
  const Eigen::Vector3d nearby =
      localMinimum(p, Eigen::Vector3d(0.1, 0.2, -0.3)) + Eigen::Vector3d(0.01, 0, 0);
  Certifier certifier;
  certifier.certify(p.views(), nearby);
  const testing::AllocationScope scope;
  const Certificate c = certifier.certify(p.views(), nearby);
  EXPECT_EQ(scope.count(), 0u);
  EXPECT_EQ(c.verdict, Verdict::beaten);
}

// Ladybug, as the issue tells it: point 7087 of the reports (7086 from 0) has a minimum of cost
// 1614.13 at a finite point in front of every camera, which no solver reaches; point 48 (47) is
// one whose cost in front is approached only at infinity. Over a sample of points and every
// solver, a final point that another solver's final point beats is never certified.
class LadybugTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    const char* folder = std::getenv("TESSMARK_DATA_DIR");
    if (folder == nullptr) return;
    const std::filesystem::path path = std::filesystem::path(folder) / "problem-49-7776-pre.txt";
    if (!std::filesystem::exists(path)) return;
    TextFile file = TextFile::open(path.string());
    const BalCounts counts = readBalCountsAfterOptionalHeader(file);
    problem_ = new BalProblem(readBalRecords(file, counts));
    index_ = new ObservationIndex(indexObservations(*problem_));
  }
  static void TearDownTestSuite() {
    delete problem_;
    delete index_;
    problem_ = nullptr;
    index_ = nullptr;
  }
  void SetUp() override {
    if (problem_ == nullptr) GTEST_SKIP() << "problem-49-7776-pre.txt is not in TESSMARK_DATA_DIR";
  }

  struct Point {
    Problem problem;
    std::vector<CameraPose> poses;
  };
  static Point point(int p) {
    Point result;
    const std::size_t pu = static_cast<std::size_t>(p);
    for (int j = 0; j < index_->viewNum[pu]; ++j) {
      const int o = index_->viewStart[pu] + j;
      const int c = problem_->observationCamera[static_cast<std::size_t>(o)];
      const Eigen::VectorXd& q = problem_->cameraParameters;
      const BalCamera camera =
          balCamera(q.segment<3>(9 * c), q.segment<3>(9 * c + 3), q(9 * c + 6));
      result.problem.add(camera.matrix,
                         {problem_->observationTable(o, 0), problem_->observationTable(o, 1)},
                         kBalFrontSide);
      result.poses.push_back(camera.pose);
    }
    return result;
  }
  static Eigen::Vector3d finalPoint(const Point& x, const char* key) {
    Triangulator triangulator;
    return triangulator
        .triangulate({x.problem.cameras, x.problem.observations, x.poses},
                     Method::fromKey(Rules::vorlant, key))
        .point;
  }

  static BalProblem* problem_;
  static ObservationIndex* index_;
};
BalProblem* LadybugTest::problem_ = nullptr;
ObservationIndex* LadybugTest::index_ = nullptr;

TEST_F(LadybugTest, Point7087HasAFiniteMinimumNoSolverReaches) {
  const Point x = point(7086);
  ASSERT_EQ(x.problem.cameras.size(), 11u);
  Certifier certifier;
  const Certificate c = certifier.certify(x.problem.views(), finalPoint(x, "7"));
  EXPECT_EQ(c.verdict, Verdict::notInFront);
  EXPECT_EQ(c.infimum, Infimum::finite);
  EXPECT_NEAR(c.upperBound, 1614.134257, 1e-5);
  EXPECT_NEAR(c.lowerBound, 1614.134257, 1e-5);
  EXPECT_TRUE(inFront(x.problem, c.best));
  // Key 4's final point, about 1e15 away, is in front and costs 1615.94: never certified. (The
  // search in coordinates that hold so far a point may run out of budget: undecided is allowed.)
  Options budget;
  budget.maxBoxes = 20000;
  Certifier limited(budget);
  const Certificate far = limited.certify(x.problem.views(), finalPoint(x, "4"));
  EXPECT_NE(far.verdict, Verdict::certified);
  EXPECT_NE(far.verdict, Verdict::notInFront);
  EXPECT_LT(far.lowerBound, 1614.134258);
}

TEST_F(LadybugTest, Point48IsApproachedOnlyAtInfinity) {
  const Point x = point(47);
  Certifier certifier;
  const Certificate c = certifier.certify(x.problem.views(), finalPoint(x, "0"));
  EXPECT_EQ(c.verdict, Verdict::notInFront);
  EXPECT_EQ(c.infimum, Infimum::atInfinity);
  EXPECT_NEAR(c.upperBound, 897.907134, 1e-5);
}

TEST_F(LadybugTest, AFinalPointAnotherSolverBeatsIsNeverCertified) {
  Certifier certifier;
  int compared = 0;
  for (int p = 0; p < static_cast<int>(index_->viewNum.size()); p += 53) {
    const Point x = point(p);
    std::vector<Eigen::Vector3d> finals;
    for (std::string_view key : kMethodKeys)
      finals.push_back(finalPoint(x, std::string(key).c_str()));
    for (const Eigen::Vector3d& candidate : finals) {
      const Certificate c = certifier.certify(x.problem.views(), candidate);
      if (c.verdict != Verdict::certified) continue;
      for (const Eigen::Vector3d& other : finals) {
        const PointCost o = rigorousCost(x.problem.views(), other);
        if (!o.inFront) continue;
        ++compared;
        EXPECT_LE(c.lowerBound, o.hi) << p;
        EXPECT_FALSE(o.hi < c.candidateCost - c.tolerance) << p;
      }
    }
  }
  EXPECT_GT(compared, 1000);
}

}  // namespace
}  // namespace tessmark::certify
