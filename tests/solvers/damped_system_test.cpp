#include "solvers/least_squares/damped_system.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <ostream>
#include <random>
#include <string>

#include <gtest/gtest.h>
#include <Eigen/Cholesky>
#include <Eigen/LU>

namespace tessmark {
namespace {

struct DampedCase {
  const char* name;
  Eigen::Matrix3d matrix;
  double mu;
  Eigen::Vector3d rhs;
  Eigen::Vector3d solution;  // exact
};

void PrintTo(const DampedCase& c, std::ostream* out) { *out << c.name; }

class DampedSystemCases : public ::testing::TestWithParam<DampedCase> {};

TEST_P(DampedSystemCases, SolvesWithTheNegligiblePivotRule) {
  const DampedCase& c = GetParam();
  EXPECT_EQ(solveDampedSystem(c.matrix, c.mu, c.rhs), c.solution);
}

Eigen::Matrix3d diagonal(double a, double b, double c) {
  return Eigen::Vector3d(a, b, c).asDiagonal();
}

const double kTwoPow52 = std::ldexp(1.0, 52);

INSTANTIATE_TEST_SUITE_P(
    Systems, DampedSystemCases,
    ::testing::Values(
        // mu lifts a zero pivot: the damped matrix is regular.
        DampedCase{"damped_zero_pivot", diagonal(1, 0, 1), 1.0, {2, 5, 4}, {1, 5, 2}},
        // An exactly singular undamped matrix: the zero pivot gives a zero component.
        DampedCase{"zero_pivot", diagonal(1, 0, 1), 0.0, {1, 5, 2}, {1, 0, 2}},
        // A pivot at DBL_EPSILON times the largest is negligible (Eigen 3.4's own solve would
        // divide by it); twice that is not.
        DampedCase{"pivot_at_relative_threshold",
                   diagonal(1, 1.0 / kTwoPow52, 1),
                   0.0,
                   {1, 1, 2},
                   {1, 0, 2}},
        DampedCase{"pivot_above_relative_threshold",
                   diagonal(1, 2.0 / kTwoPow52, 1),
                   0.0,
                   {1, 1, 2},
                   {1, kTwoPow52 / 2.0, 2}},
        // The threshold is relative to the largest pivot, so a uniformly tiny matrix still solves.
        DampedCase{"uniformly_tiny",
                   diagonal(1e-200, 1e-200, 1e-200),
                   0.0,
                   {1e-200, 2e-200, 0},
                   {1, 2, 0}},
        // An indefinite matrix is solved as it is.
        DampedCase{"indefinite", diagonal(2, -4, 1), 0.0, {2, 2, -3}, {1, -0.5, -3}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DampedSystem, OneFactorisationServesSeveralRightHandSides) {
  Eigen::Matrix3d m;
  m << 4, 1, 0.5,  //
      1, 3, -1,    //
      0.5, -1, 2;
  const double mu = 0.75;
  const DampedSystem system(m, mu);
  const Eigen::Matrix3d damped = m + mu * Eigen::Matrix3d::Identity();
  for (const Eigen::Vector3d& b : {Eigen::Vector3d(1, 2, 3), Eigen::Vector3d(-5, 0.25, 7)}) {
    EXPECT_EQ(system.solve(b), solveDampedSystem(m, mu, b));
    EXPECT_TRUE(system.solve(b).isApprox(damped.inverse() * b, 1e-14));
  }
}

TEST(DampedSystem, NonFiniteInputGivesANonFiniteSolution) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_FALSE(solveDampedSystem(Eigen::Matrix3d::Identity(), nan, {1, 2, 3}).allFinite());
  EXPECT_FALSE(solveDampedSystem(Eigen::Matrix3d::Identity(), 1.0, {inf, 0, 0}).allFinite());
  EXPECT_FALSE(solveDampedSystem(Eigen::Matrix3d::Constant(nan), 0.0, {1, 2, 3}).allFinite());
}

// The same rule written over Eigen's own LDLT: the oracle for the direct factorisation.
Eigen::Vector3d referenceDampedSolve(const Eigen::Matrix3d& matrix, double mu,
                                     const Eigen::Vector3d& rhs) {
  Eigen::Matrix3d damped = matrix;
  damped.diagonal().array() += mu;
  const Eigen::LDLT<Eigen::Matrix3d> ldlt(damped);
  double largest = 0.0;
  for (int i = 0; i < 3; ++i) largest = std::max(largest, std::abs(ldlt.vectorD()(i)));
  const double negligible = std::max(std::numeric_limits<double>::epsilon() * largest,
                                     1.0 / std::numeric_limits<double>::max());
  Eigen::Vector3d d = ldlt.transpositionsP() * rhs;
  ldlt.matrixL().solveInPlace(d);
  for (int i = 0; i < 3; ++i) {
    const double pivot = ldlt.vectorD()(i);
    d(i) = std::abs(pivot) <= negligible ? 0.0 : d(i) / pivot;
  }
  ldlt.matrixU().solveInPlace(d);
  return ldlt.transpositionsP().transpose() * d;
}

// Bit for bit the rule over Eigen's LDLT, on the matrices the solvers bring: Gauss-Newton
// matrices (semidefinite, of every scale, rank-deficient ones), indefinite exact Hessians, a zero
// matrix, with damping from none to dominant.
TEST(DampedSystem, DirectFactorsGiveTheBitsOfEigensLdlt) {
  std::mt19937 random(17);
  std::uniform_real_distribution<double> uniform(-1.0, 1.0);
  for (int trial = 0; trial < 6000; ++trial) {
    Eigen::Matrix3d a;
    for (int i = 0; i < 9; ++i) a.data()[i] = uniform(random);
    Eigen::Matrix3d m;
    switch (trial % 4) {
      case 0:
        m = a.transpose() * a * std::pow(10.0, trial % 13 - 6);
        break;
      case 1:
        a.col(trial % 3) = a.col((trial + 1) % 3);  // rank 2
        m = a.transpose() * a;
        break;
      case 2:
        m = a + a.transpose();  // indefinite
        break;
      default:
        m = trial % 8 == 3 ? Eigen::Matrix3d::Zero() : Eigen::Matrix3d(a * a.transpose() * 1e-9);
        break;
    }
    const double mu =
        trial % 5 == 0 ? 0.0 : std::pow(10.0, trial % 11 - 5) * std::abs(uniform(random));
    const Eigen::Vector3d rhs(uniform(random), uniform(random), uniform(random));
    const Eigen::Vector3d fast = solveDampedSystem(m, mu, rhs);
    const Eigen::Vector3d slow = referenceDampedSolve(m, mu, rhs);
    ASSERT_EQ(std::memcmp(fast.data(), slow.data(), sizeof fast), 0) << "trial " << trial << "\n"
                                                                     << m << "\nmu " << mu << "\n"
                                                                     << fast.transpose() << "\n"
                                                                     << slow.transpose();
  }
}

}  // namespace
}  // namespace tessmark
