// The fast per-point kernels against their reference forms (tests/reference/reference_model.hpp):
// the derivatives bit for bit, on synthetic scenes; the 3x3 kernels to rounding, or to the decision
// they feed, on random and constructed matrices.

#include "model/small_kernels.hpp"

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include <gtest/gtest.h>
#include <Eigen/Cholesky>
#include <Eigen/Geometry>

#include "model/derivatives.hpp"
#include "model/diagnostics.hpp"
#include "tests/reference/reference_model.hpp"
#include "tools/synthetic_scene.hpp"

namespace tessmark {
namespace {

struct Scene {
  int views;
  double noise;
};

class DerivativesAgainstReference : public ::testing::TestWithParam<Scene> {};

// Points around the scene, and points whose depth in camera 0 is tiny, so that both depth guards
// act on some of them.
std::vector<Eigen::Vector3d> probePoints(const synthetic::PointData& data) {
  std::vector<Eigen::Vector3d> points;
  std::mt19937 random(5);
  std::uniform_real_distribution<double> coordinate(-3.0, 3.0);
  for (int i = 0; i < 40; ++i) {
    points.emplace_back(coordinate(random), coordinate(random), coordinate(random));
  }
  // On camera 0's principal plane, nudged by less than the guard's epsilon in depth.
  const Eigen::Vector4d p3 = data.projections.row(2).transpose();
  const Eigen::Vector3d normal = p3.head<3>();
  for (const double depth : {0.0, 1e-17, -1e-17, 1e-9}) {
    const Eigen::Vector3d base(0.3, -0.2, 0.1);
    const double w = p3.head<3>().dot(base) + p3(3);
    points.push_back(base + normal * ((depth - w) / normal.squaredNorm()));
  }
  return points;
}

TEST_P(DerivativesAgainstReference, EveryFunctionGivesTheReferenceBits) {
  const Scene scene = GetParam();
  const auto data = synthetic::observePoint(synthetic::cameraRing(scene.views),
                                            Eigen::Vector3d(0.2, -0.1, 0.3), scene.noise, 3);
  const PointProblem problem = data.problem();
  Eigen::VectorXd r(2 * scene.views), rFused(2 * scene.views);
  JacobianMatrix j(2 * scene.views, 3), jFused(2 * scene.views, 3);
  for (const Eigen::Vector3d& x : probePoints(data)) {
    SCOPED_TRACE(x.transpose());
    const double cost = reference::reprojectionCost(data, x);
    EXPECT_EQ(reprojectionCost(problem, x), cost);
    const auto same = [](const auto& a, const auto& b) {
      // Bit for bit, NaN included.
      return a.size() == b.size() &&
             std::memcmp(a.data(), b.data(), sizeof(double) * std::size_t(a.size())) == 0;
    };
    residualVector(problem, x, r);
    projectionJacobian(problem, x, j);
    for (const DepthGuard guard : {DepthGuard::off, DepthGuard::on}) {
      const Eigen::Vector3d g = reference::costGradient(data, x, guard);
      const HessianParts parts = reference::hessianParts(data, x, guard);
      const Eigen::Matrix3d h = parts.gaussNewton + parts.secondOrder;
      EXPECT_TRUE(same(costGradient(problem, x, guard), g));
      EXPECT_TRUE(same(costHessian(problem, x, guard), h));
      const HessianParts fast = hessianParts(problem, x, guard);
      EXPECT_TRUE(same(fast.gaussNewton, parts.gaussNewton));
      EXPECT_TRUE(same(fast.secondOrder, parts.secondOrder));
      const GradientAndHessian both = gradientAndHessian(problem, x, guard);
      EXPECT_TRUE(same(both.gradient, g));
      EXPECT_TRUE(same(both.hessian, h));
      const PointEvaluation evaluation = evaluatePoint(problem, x, guard);
      EXPECT_TRUE(std::memcmp(&evaluation.cost, &cost, sizeof cost) == 0);
      EXPECT_TRUE(same(evaluation.gradient, g));
      EXPECT_TRUE(same(evaluation.gaussNewton, parts.gaussNewton));
      EXPECT_TRUE(same(evaluation.secondOrder, parts.secondOrder));
      EXPECT_TRUE(same(evaluation.plainGaussNewton,
                       reference::hessianParts(data, x, DepthGuard::off).gaussNewton));
      rFused.setConstant(-1.0);
      jFused.setConstant(-1.0);
      EXPECT_TRUE(same(residualsJacobianAndGradient(problem, x, guard, rFused, jFused), g));
      EXPECT_TRUE(same(rFused, r));
      EXPECT_TRUE(same(jFused, j));
      rFused.setConstant(-1.0);
      jFused.setConstant(-1.0);
      const GradientAndHessian all =
          residualsJacobianAndDerivatives(problem, x, guard, rFused, jFused);
      EXPECT_TRUE(same(all.gradient, g));
      EXPECT_TRUE(same(all.hessian, h));
      EXPECT_TRUE(same(rFused, r));
      EXPECT_TRUE(same(jFused, j));
    }
    rFused.setConstant(-1.0);
    jFused.setConstant(-1.0);
    residualsAndJacobian(problem, x, rFused, jFused);
    EXPECT_TRUE(same(rFused, r));
    EXPECT_TRUE(same(jFused, j));
  }
}

INSTANTIATE_TEST_SUITE_P(Scenes, DerivativesAgainstReference,
                         ::testing::Values(Scene{1, 0.0}, Scene{2, 0.5}, Scene{4, 0.5},
                                           Scene{7, 3.0}, Scene{12, 0.0}));

Eigen::Matrix3d randomMatrix(std::mt19937& random) {
  std::uniform_real_distribution<double> entry(-1.0, 1.0);
  Eigen::Matrix3d m;
  for (int i = 0; i < 9; ++i) m(i) = entry(random);
  return m;
}

// Calibration matrices are upper triangular by construction (the back substitution alone); the
// symmedian's normal matrix and the K_LC Hessians are symmetric; both paths give the reference's
// bits, infinities and NaN of singular matrices included.
TEST(HouseholderSolve, TriangularAndGeneralMatricesGiveTheReferenceBits) {
  std::mt19937 random(17);
  for (int trial = 0; trial < 6000; ++trial) {
    Eigen::Matrix3d a = randomMatrix(random);
    if (trial % 3 == 0) a.triangularView<Eigen::StrictlyLower>().setZero();
    if (trial % 3 == 1) a = (a + a.transpose()).eval();
    if (trial % 7 == 0) a(1, 1) = 0.0;  // singular: infinities and NaN must match too
    Eigen::Vector3d b = randomMatrix(random).col(0);
    if (trial % 5 == 0) b(2) = 0.0;
    const Eigen::Vector3d fast = householderSolve(a, b);
    const Eigen::Vector3d slow = reference::householderSolve(a, b);
    for (int i = 0; i < 3; ++i) {
      EXPECT_TRUE(fast(i) == slow(i) || (std::isnan(fast(i)) && std::isnan(slow(i))))
          << "trial " << trial;
    }
  }
  // The BAL calibration diag(-f, -f, 1) of the real data's cameras.
  const Eigen::Matrix3d k = Eigen::Vector3d(-512.3, -512.3, 1.0).asDiagonal();
  const Eigen::Vector3d image(-101.25, 33.5, 1.0);
  EXPECT_EQ(householderSolve(k, image), reference::householderSolve(k, image));
}

TEST(QuickHouseholderSolve, AgreesWithTheReferenceToRounding) {
  std::mt19937 random(23);
  for (int trial = 0; trial < 2000; ++trial) {
    // Symmetric like the Hessians it serves, and general; condition kept moderate.
    Eigen::Matrix3d a = randomMatrix(random);
    if (trial % 2 == 0) a = (a + a.transpose()).eval();
    a.diagonal().array() += 3.0;
    const Eigen::Vector3d b = randomMatrix(random).col(1);
    const Eigen::Vector3d fast = quickHouseholderSolve(a, b);
    const Eigen::Vector3d slow = reference::householderSolve(a, b);
    EXPECT_LE((fast - slow).norm(), 1e-13 * slow.norm()) << "trial " << trial;
  }
}

// rho's solve: bit for bit Eigen's, signed zeros included, on the matrices that decide its
// branches: Gram matrices J^T J over many scales, rank-deficient ones (the rank threshold and the
// zero rows of Z), ties between column norms (the pivot order), triangular and zero columns
// (reflectors that are the identity), entries near the underflow limit, and non-finite input.
TEST(ColPivHouseholderSolve, GivesTheReferenceBits) {
  struct Family {
    const char* name;
    Eigen::Matrix3d (*make)(const Eigen::Matrix3d& random, int trial);
  };
  const Family families[] = {
      {"general", [](const Eigen::Matrix3d& m, int) { return m; }},
      {"gram",
       [](const Eigen::Matrix3d& m, int trial) {
         return Eigen::Matrix3d(m.transpose() * m * std::pow(10.0, trial % 17 - 8));
       }},
      {"rank two",
       [](const Eigen::Matrix3d& m, int) {
         Eigen::Matrix3d a = m;
         a.col(2) = 0.5 * a.col(0) + a.col(1);
         return a;
       }},
      {"rank one",
       [](const Eigen::Matrix3d& m, int) {
         Eigen::Matrix3d a = m;
         a.col(1) = 3.0 * a.col(0);
         a.col(2) = -a.col(0);
         return a;
       }},
      {"equal column norms",
       [](const Eigen::Matrix3d& m, int) {
         Eigen::Matrix3d a = m;
         a.col(1) = -a.col(0);
         a(2, 2) = 0.0;
         return a;
       }},
      {"triangular with a zero column",
       [](const Eigen::Matrix3d& m, int trial) {
         Eigen::Matrix3d a = m.triangularView<Eigen::Upper>();
         if (trial % 2 == 0) a.col(1).setZero();
         return a;
       }},
      {"near underflow",
       [](const Eigen::Matrix3d& m, int trial) {
         Eigen::Matrix3d a = Eigen::Matrix3d::Zero();
         a(1, 1) = trial % 3 == 0 ? 0.0 : 1e-300 * m(0, 0);
         a(2, 0) = 1e-160 * m(1, 0);
         return a;
       }},
  };
  std::mt19937 random(37);
  for (const Family& family : families) {
    SCOPED_TRACE(family.name);
    for (int trial = 0; trial < 4000; ++trial) {
      const Eigen::Matrix3d a = family.make(randomMatrix(random), trial);
      Eigen::Matrix3d b = randomMatrix(random);
      if (trial % 5 == 0) b.row(trial % 3).setZero();
      const Eigen::Matrix3d fast = colPivHouseholderSolve(a, b);
      const Eigen::Matrix3d slow = reference::colPivHouseholderSolve(a, b);
      ASSERT_EQ(std::memcmp(fast.data(), slow.data(), sizeof fast), 0) << "trial " << trial << "\n"
                                                                       << a << "\n"
                                                                       << fast << "\n"
                                                                       << slow;
    }
  }
  Eigen::Matrix3d broken = Eigen::Matrix3d::Identity();
  broken(2, 1) = std::numeric_limits<double>::quiet_NaN();
  EXPECT_TRUE(colPivHouseholderSolve(broken, Eigen::Matrix3d::Identity()).hasNaN());
  // A zero A detects no rank deficiency (its threshold is 0 too): R's zero pivots give
  // infinities and NaN, as in the reference.
  const Eigen::Matrix3d fromZero =
      colPivHouseholderSolve(Eigen::Matrix3d::Zero(), Eigen::Matrix3d::Ones());
  const Eigen::Matrix3d referenceFromZero =
      reference::colPivHouseholderSolve(Eigen::Matrix3d::Zero(), Eigen::Matrix3d::Ones());
  for (int i = 0; i < 9; ++i) {
    EXPECT_TRUE(fromZero(i) == referenceFromZero(i) ||
                (std::isnan(fromZero(i)) && std::isnan(referenceFromZero(i))));
  }
}

// The Newton systems' solve: bit for bit Eigen's LDLT, signed zeros included, on symmetric
// matrices that take each of its branches: every pivot order (diagonals of every order of
// magnitude, ties), indefinite and semidefinite Hessians, zero pivots at each step (components
// dropped), a zero diagonal (the early exit), and non-finite input.
TEST(LdltSolve, GivesTheReferenceBits) {
  struct Family {
    const char* name;
    void (*shape)(Eigen::Matrix3d& h, Eigen::Vector3d& g, int trial);
  };
  const Family families[] = {
      {"symmetric", [](Eigen::Matrix3d&, Eigen::Vector3d&, int) {}},
      {"gram", [](Eigen::Matrix3d& h, Eigen::Vector3d&,
                  int trial) { h = (h.transpose() * h * std::pow(10.0, trial % 17 - 8)).eval(); }},
      {"tied diagonal",
       [](Eigen::Matrix3d& h, Eigen::Vector3d&, int trial) {
         h(1, 1) = h(0, 0);
         h(2, 2) = trial % 2 == 0 ? -h(0, 0) : h(0, 0);
       }},
      {"zero diagonal",
       [](Eigen::Matrix3d& h, Eigen::Vector3d&, int trial) {
         h.diagonal().setZero();
         if (trial % 3 == 0) h.setZero();
       }},
      {"zero pivot later",
       [](Eigen::Matrix3d& h, Eigen::Vector3d& g, int trial) {
         h.row(trial % 3).setZero();
         h.col(trial % 3).setZero();
         g(trial % 3) = 0.0;
       }},
      {"block diagonal",
       [](Eigen::Matrix3d& h, Eigen::Vector3d& g, int) {
         h(0, 1) = h(1, 0) = 0.0;
         h(0, 2) = h(2, 0) = 0.0;
         g(1) = 0.0;
       }},
  };
  std::mt19937 random(41);
  for (const Family& family : families) {
    SCOPED_TRACE(family.name);
    for (int trial = 0; trial < 4000; ++trial) {
      const Eigen::Matrix3d m = randomMatrix(random);
      Eigen::Matrix3d h = m + m.transpose();
      Eigen::Vector3d g = randomMatrix(random).col(0);
      family.shape(h, g, trial);
      const Eigen::Vector3d fast = ldltSolve(h, g);
      const Eigen::Vector3d slow = reference::ldltSolve(h, g);
      ASSERT_EQ(std::memcmp(fast.data(), slow.data(), sizeof fast), 0) << "trial " << trial << "\n"
                                                                       << h << "\n"
                                                                       << fast.transpose() << "\n"
                                                                       << slow.transpose();
      // The factors themselves, which the damped systems divide by their own rule.
      const SymmetricLdlt factors = symmetricLdlt(h);
      const Eigen::LDLT<Eigen::Matrix3d> eigen(h);
      const Eigen::Vector3d d = eigen.vectorD();
      const Eigen::Matrix3d l = eigen.matrixL();
      ASSERT_EQ(std::memcmp(factors.d.data(), d.data(), sizeof d), 0) << "trial " << trial;
      const double lower[3] = {factors.l10, factors.l20, factors.l21};
      const double eigenLower[3] = {l(1, 0), l(2, 0), l(2, 1)};
      ASSERT_EQ(std::memcmp(lower, eigenLower, sizeof lower), 0) << "trial " << trial;
      ASSERT_EQ(factors.t0, eigen.transpositionsP().indices()(0)) << "trial " << trial;
      ASSERT_EQ(factors.t1, eigen.transpositionsP().indices()(1)) << "trial " << trial;
      // A 3x3 right-hand side, whose triangular solves Eigen orders differently.
      Eigen::Matrix3d b = randomMatrix(random);
      if (trial % 5 == 0) b.row(trial % 3).setZero();  // zeros, whose signs the sums decide
      if (trial % 7 == 0) b.col(trial % 3) = -b.col((trial + 1) % 3);
      const Eigen::Matrix3d fastColumns = ldltSolve(factors, b);
      const Eigen::Matrix3d slowColumns = eigen.solve(b);
      ASSERT_EQ(std::memcmp(fastColumns.data(), slowColumns.data(), sizeof fastColumns), 0)
          << "trial " << trial << "\n"
          << fastColumns << "\n"
          << slowColumns;
    }
  }
  Eigen::Matrix3d broken = Eigen::Matrix3d::Identity();
  broken(2, 1) = std::numeric_limits<double>::infinity();
  const Eigen::Vector3d g(1.0, 2.0, 3.0);
  const Eigen::Vector3d fast = ldltSolve(broken, g);
  const Eigen::Vector3d slow = reference::ldltSolve(broken, g);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(std::isnan(fast(i)), std::isnan(slow(i)));
}

Eigen::Matrix3d randomRotation(std::mt19937& random) {
  std::uniform_real_distribution<double> angle(-3.0, 3.0);
  const double z = angle(random);
  const double y = angle(random);
  const double x = angle(random);
  return (Eigen::AngleAxisd(z, Eigen::Vector3d::UnitZ()) *
          Eigen::AngleAxisd(y, Eigen::Vector3d::UnitY()) *
          Eigen::AngleAxisd(x, Eigen::Vector3d::UnitX()))
      .toRotationMatrix();
}

// The PSD decision and the eigenvalue thresholds: the decided eigenvalue has the reference's side
// of the threshold, also for matrices built with an eigenvalue at, just below or just above it.
TEST(DecidedEigenvalues, TakeTheReferenceSideOfTheThreshold) {
  std::mt19937 random(29);
  const double thresholds[] = {0.0, 2.220446049250313e-16, 2e-16};
  for (int trial = 0; trial < 3000; ++trial) {
    const Eigen::Matrix3d rotation = randomRotation(random);
    const double threshold = thresholds[trial % 3];
    const double scale = std::pow(10.0, (trial % 11) - 5);
    const double nearThreshold[] = {threshold, threshold * (1 + 1e-3), -1e-17, 1e-17, -0.5, 0.5};
    Eigen::Vector3d values(nearThreshold[trial % 6], 1.0 * scale, 2.0 * scale);
    if (trial % 4 == 0) values = -values;
    const Eigen::Matrix3d m = rotation * values.asDiagonal() * rotation.transpose();
    const Eigen::Vector3d reference = reference::symmetricEigenvalues(m);
    const double smallest = decidedSmallestEigenvalue(m, threshold);
    const double largest = decidedLargestEigenvalue(m, threshold);
    EXPECT_EQ(smallest <= threshold, reference(0) <= threshold) << "trial " << trial;
    EXPECT_EQ(smallest < threshold, reference(0) < threshold) << "trial " << trial;
    EXPECT_EQ(largest < threshold, reference(2) < threshold) << "trial " << trial;
    EXPECT_EQ(isPositiveSemidefinite(m), !(reference(0) < 0.0)) << "trial " << trial;
  }
  const double nan = std::numeric_limits<double>::quiet_NaN();
  Eigen::Matrix3d broken = Eigen::Matrix3d::Identity();
  broken(1, 0) = nan;
  EXPECT_TRUE(std::isnan(decidedSmallestEigenvalue(broken, 0.0)));
  EXPECT_FALSE(isPositiveSemidefinite(broken));
  EXPECT_FALSE(clearlyAboveThreshold(broken, 0.0));
}

// The certificate's claim: whenever it holds, the decided smallest eigenvalue (and the iterative
// solver's) lies above the threshold. Spectra from far above the threshold to across it, with the
// gap to it swept through the certificate's delta, every scale, both thresholds the callers use;
// and it does hold for the well-conditioned matrices it is there for.
TEST(DecidedEigenvalues, ClearlyAboveThresholdIsACertificate) {
  std::mt19937 random(37);
  const double thresholds[] = {0.0, 2.220446049250313e-16};
  int certified = 0;
  for (int trial = 0; trial < 20000; ++trial) {
    const Eigen::Matrix3d rotation = randomRotation(random);
    const double threshold = thresholds[trial % 2];
    const double scale = std::pow(10.0, (trial % 13) - 6);
    // The smallest eigenvalue's gap to the threshold, relative to the largest: 10^-12 .. 1.
    const double gap = std::pow(10.0, -((trial / 2) % 25) * 0.5);
    const double sign = trial % 7 == 0 ? -1.0 : 1.0;
    const Eigen::Vector3d values(threshold + sign * gap * 3.0 * scale, (1.0 + (trial % 3)) * scale,
                                 3.0 * scale);
    const Eigen::Matrix3d m = rotation * values.asDiagonal() * rotation.transpose();
    const bool holds = clearlyAboveThreshold(m, threshold);
    if (sign > 0.0 && gap >= 1e-4) {
      EXPECT_TRUE(holds) << "trial " << trial;
    }
    if (!holds) continue;
    ++certified;
    EXPECT_GT(decidedSmallestEigenvalue(m, threshold), threshold) << "trial " << trial;
    EXPECT_GT(reference::symmetricEigenvalues(m)(0), threshold) << "trial " << trial;
    EXPECT_TRUE(isPositiveSemidefinite(m)) << "trial " << trial;
  }
  EXPECT_GT(certified, 5000);
  EXPECT_TRUE(
      clearlyAboveThreshold(Eigen::Vector3d(1.0, 2.0, 3.0).asDiagonal().toDenseMatrix(), 0.0));
  EXPECT_FALSE(
      clearlyAboveThreshold(Eigen::Vector3d(0.0, 2.0, 3.0).asDiagonal().toDenseMatrix(), 0.0));
  EXPECT_FALSE(clearlyAboveThreshold(Eigen::Matrix3d::Zero(), 0.0));
}

// The certificate at every scale: its margin comes from the matrix scaled to unit largest entry, so
// it survives where the squares of the entries underflow (the Hessian of a point far away has
// entries near 1e-230, and the margin taken from their plain squares was 0). A smallest eigenvalue
// below zero by a few units of rounding is never certified, and a clearly positive definite
// matrix still is, down to entries of 1e-280; below 1e-290 nothing is certified.
TEST(DecidedEigenvalues, ClearlyAboveThresholdAtEveryScale) {
  std::mt19937 random(43);
  for (int trial = 0; trial < 6000; ++trial) {
    const Eigen::Matrix3d rotation = randomRotation(random);
    const double scale = std::pow(10.0, -150.0 - 10.0 * (trial % 14));  // 1e-150 .. 1e-280
    const double gap = std::pow(10.0, -12.0 - (trial / 14) % 6);        // 1e-12 .. 1e-17
    const Eigen::Vector3d below(-gap * scale, scale, 3.0 * scale);
    const Eigen::Vector3d above(0.5 * scale, scale, 3.0 * scale);
    EXPECT_FALSE(clearlyAboveThreshold(rotation * below.asDiagonal() * rotation.transpose(), 0.0))
        << "trial " << trial;
    EXPECT_TRUE(clearlyAboveThreshold(rotation * above.asDiagonal() * rotation.transpose(), 0.0))
        << "trial " << trial;
  }
  EXPECT_FALSE(clearlyAboveThreshold(Eigen::Matrix3d::Identity() * 1e-300, 0.0));
}

// The largest eigenvalue's certificate: whenever it holds, the decided largest eigenvalue (and the
// iterative solver's) lies above the threshold. Indefinite and definite spectra whose largest
// eigenvalue sweeps from far above the threshold to across it, every scale; it holds for every
// definite one clearly above.
TEST(DecidedEigenvalues, LargestClearlyAboveThresholdIsACertificate) {
  std::mt19937 random(41);
  const double threshold = 2e-16;
  int certified = 0;
  for (int trial = 0; trial < 20000; ++trial) {
    const Eigen::Matrix3d rotation = randomRotation(random);
    const double scale = std::pow(10.0, (trial % 13) - 6);
    const double gap = std::pow(10.0, -((trial / 2) % 25) * 0.5);  // 10^-12 .. 1, relative
    const double sign = trial % 7 == 0 ? -1.0 : 1.0;
    const double others = trial % 3 == 0 ? 1.0 : -1.0;  // definite or indefinite
    const Eigen::Vector3d values(others * 2.0 * scale, others * scale,
                                 threshold + sign * gap * 3.0 * scale);
    const Eigen::Matrix3d m = rotation * values.asDiagonal() * rotation.transpose();
    const bool holds = largestClearlyAboveThreshold(m, threshold);
    if (others > 0.0 && sign > 0.0 && gap >= 1e-4) {
      EXPECT_TRUE(holds) << "trial " << trial;  // every diagonal entry is then clearly above
    }
    if (!holds) continue;
    ++certified;
    EXPECT_GT(decidedLargestEigenvalue(m, threshold), threshold) << "trial " << trial;
    EXPECT_GT(reference::symmetricEigenvalues(m)(2), threshold) << "trial " << trial;
  }
  EXPECT_GT(certified, 5000);
  EXPECT_TRUE(largestClearlyAboveThreshold(
      Eigen::Vector3d(-2.0, -1.0, 1.0).asDiagonal().toDenseMatrix(), threshold));
  EXPECT_FALSE(largestClearlyAboveThreshold(
      Eigen::Vector3d(-2.0, -1.0, 0.0).asDiagonal().toDenseMatrix(), threshold));
  // Above the threshold, but within the closed form's decision margin: not for the certificate.
  EXPECT_FALSE(largestClearlyAboveThreshold(
      Eigen::Vector3d(-2.0, -1.0, threshold + 1e-10).asDiagonal().toDenseMatrix(), threshold));
  Eigen::Matrix3d broken = Eigen::Matrix3d::Identity();
  broken(2, 1) = std::numeric_limits<double>::quiet_NaN();
  EXPECT_FALSE(largestClearlyAboveThreshold(broken, threshold));
}

// rho's eigenvalue: matrices shaped like Z = (J^T J)^-1 N (real spectrum), general ones with a
// complex pair, and repeated or clustered eigenvalues (where the reference takes over).
TEST(LargestRealEigenvalue, AgreesWithTheGeneralSolver) {
  std::mt19937 random(31);
  for (int trial = 0; trial < 3000; ++trial) {
    Eigen::Matrix3d z;
    switch (trial % 4) {
      case 0: {
        const Eigen::Matrix3d j = randomMatrix(random);
        const Eigen::Matrix3d spd = j * j.transpose() + 0.1 * Eigen::Matrix3d::Identity();
        const Eigen::Matrix3d s = randomMatrix(random);
        z = spd.inverse() * (s + s.transpose());
        break;
      }
      case 1:
        z = randomMatrix(random) * std::pow(10.0, (trial % 9) - 4);
        break;
      case 2: {
        // A double eigenvalue, similar to a diagonal matrix.
        const Eigen::Matrix3d basis = randomMatrix(random) + 2.0 * Eigen::Matrix3d::Identity();
        z = basis * Eigen::Vector3d(0.7, 0.7, -0.2).asDiagonal() * basis.inverse();
        break;
      }
      default:
        z = Eigen::Matrix3d::Identity() * 0.25 + 1e-9 * randomMatrix(random);
        break;
    }
    const double fast = largestRealEigenvalue(z);
    const double slow = reference::largestRealEigenvalue(z);
    EXPECT_NEAR(fast, slow, 1e-9 * z.cwiseAbs().maxCoeff()) << "trial " << trial;
  }
  EXPECT_EQ(largestRealEigenvalue(Eigen::Matrix3d::Zero()), 0.0);
  Eigen::Matrix3d infinite = Eigen::Matrix3d::Identity();
  infinite(2, 2) = std::numeric_limits<double>::infinity();
  EXPECT_TRUE(std::isnan(largestRealEigenvalue(infinite)));
}

}  // namespace
}  // namespace tessmark
