#include "solvers/least_squares/damped_system.hpp"

#include <cmath>
#include <limits>
#include <ostream>
#include <string>

#include <gtest/gtest.h>
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

}  // namespace
}  // namespace tessmark
