#include "model/least_squares.hpp"

#include <cmath>
#include <limits>
#include <random>

#include <gtest/gtest.h>
#include <Eigen/QR>
#include <Eigen/SVD>

#include "tests/support/allocation_counter.hpp"

namespace tessmark {
namespace {

struct System {
  JacobianMatrix jacobian;
  Eigen::VectorXd residuals;
};

System randomSystem(int rows, unsigned seed) {
  std::mt19937 random(seed);
  std::normal_distribution<double> normal(0.0, 100.0);
  System system{JacobianMatrix(rows, 3), Eigen::VectorXd(rows)};
  for (int i = 0; i < rows; ++i) {
    for (int j = 0; j < 3; ++j) system.jacobian(i, j) = normal(random);
    system.residuals(i) = normal(random);
  }
  return system;
}

// The kernels work in the scratch of a larger capacity, as the solvers use them.
TEST(LeastSquares, QrSolutionsAreEigensArithmeticInTheScratch) {
  LeastSquaresScratch scratch(12);
  for (const int rows : {2, 3, 4, 8, 24}) {
    for (unsigned seed = 1; seed <= 3; ++seed) {
      const System s = randomSystem(rows, seed);
      const JacobianMatrix& j = s.jacobian;
      EXPECT_EQ(householderLeastSquares(j, s.residuals, scratch),
                Eigen::Vector3d(Eigen::HouseholderQR<JacobianMatrix>(j).solve(s.residuals)))
          << rows << " rows";
      EXPECT_EQ(pivotingLeastSquares(j, s.residuals, scratch),
                Eigen::Vector3d(Eigen::ColPivHouseholderQR<JacobianMatrix>(j).solve(s.residuals)))
          << rows << " rows";
      const Eigen::Vector3d svd = Eigen::JacobiSVD<Eigen::MatrixXd>(
                                      Eigen::MatrixXd(j), Eigen::ComputeThinU | Eigen::ComputeThinV)
                                      .solve(s.residuals);
      EXPECT_TRUE(svdLeastSquares(s.jacobian, s.residuals, scratch).isApprox(svd, 1e-12))
          << rows << " rows";
    }
  }
}

// The kernels add their sums in Eigen's packet order, which changes with the length's remainder
// modulo 4: every length from 1 to 30 rows, on matrix families that reach the kernels' branches
// (exact cancellations that zero a right-hand side entry and skip its division, a repeated or
// zero column that lowers the pivoting rank, a tail below DBL_MIN that makes a reflector the
// identity, columns of very different scales), bit for bit against Eigen's own decompositions.
TEST(LeastSquares, EveryLengthAndFamilyIsEigensArithmetic) {
  enum class Family { random, integers, repeatedColumn, zeroColumn, tinyTail, scaled };
  LeastSquaresScratch scratch(15);
  for (const Family family : {Family::random, Family::integers, Family::repeatedColumn,
                              Family::zeroColumn, Family::tinyTail, Family::scaled}) {
    for (int rows = 1; rows <= 30; ++rows) {
      for (unsigned seed = 1; seed <= 4; ++seed) {
        System s = randomSystem(rows, 1000 * seed + static_cast<unsigned>(rows));
        JacobianMatrix& j = s.jacobian;
        switch (family) {
          case Family::random:
            break;
          case Family::integers:
            j = j.array().round() / 25.0;
            s.residuals = s.residuals.array().round() / 25.0;
            j.col(2) = j.col(0) + j.col(1);
            s.residuals = j.col(0) - j.col(1);
            break;
          case Family::repeatedColumn:
            j.col(seed % 3) = j.col((seed + 1) % 3);
            break;
          case Family::zeroColumn:
            j.col(seed % 3).setZero();
            break;
          case Family::tinyTail:
            j.bottomRows(rows - 1) *= 1e-170;
            break;
          case Family::scaled:
            j.col(0) *= 1e-8;
            j.col(2) *= 1e8;
            break;
        }
        const auto where = ::testing::Message() << "family " << static_cast<int>(family) << ", "
                                                << rows << " rows, seed " << seed;
        const Eigen::Vector3d plain = householderLeastSquares(j, s.residuals, scratch);
        const Eigen::Vector3d eigenPlain =
            Eigen::HouseholderQR<JacobianMatrix>(j).solve(s.residuals);
        if (!std::isnan(eigenPlain(0))) {  // NaN first components go to the SVD, tested below
          EXPECT_EQ(plain, eigenPlain) << where;
        }
        const Eigen::Vector3d pivoted = pivotingLeastSquares(j, s.residuals, scratch);
        const Eigen::Vector3d eigenPivoted =
            Eigen::ColPivHouseholderQR<JacobianMatrix>(j).solve(s.residuals);
        if (!std::isnan(eigenPivoted(0))) {
          EXPECT_EQ(pivoted, eigenPivoted) << where;
        }
        Eigen::Matrix3d normal;
        for (int a = 0; a < 3; ++a) {
          for (int b = 0; b < 3; ++b)
            normal(a, b) = j.col(std::min(a, b)).dot(j.col(std::max(a, b)));
        }
        EXPECT_EQ(normalMatrix(j), normal) << where;
        EXPECT_EQ(normalGradient(j, s.residuals),
                  Eigen::Vector3d(j.col(0).dot(s.residuals), j.col(1).dot(s.residuals),
                                  j.col(2).dot(s.residuals)))
            << where;
      }
    }
  }
}

TEST(LeastSquares, SvdGivesTheMinimumNormSolutionOfRankDeficientSystems) {
  LeastSquaresScratch scratch(4);
  // Two equal columns: the minimum-norm solution splits their weight evenly.
  JacobianMatrix twin(4, 3);
  twin << 1, 1, 0,  //
      2, 2, 1,      //
      0, 0, 3,      //
      1, 1, 1;
  const Eigen::Vector4d r(2, 5, 3, 3);  // = twin * (1, 1, 1)
  EXPECT_TRUE(svdLeastSquares(twin, r, scratch).isApprox(Eigen::Vector3d(1, 1, 1), 1e-12));
  // The pivoting QR finds rank 2 and puts the dependent column's component to 0.
  const Eigen::Vector3d pivoted = pivotingLeastSquares(twin, r, scratch);
  EXPECT_TRUE((twin * pivoted).isApprox(r, 1e-12));
  EXPECT_TRUE(pivoted(0) == 0.0 || pivoted(1) == 0.0) << pivoted.transpose();
}

TEST(LeastSquares, NaNFirstComponentFallsBackToTheSvd) {
  LeastSquaresScratch scratch(2);
  // A zero Jacobian: back substitution divides by zero pivots, the first component is NaN, and
  // the SVD counts every direction as null: the step is 0.
  const JacobianMatrix zero = JacobianMatrix::Zero(4, 3);
  const Eigen::Vector4d r(1, -2, 3, 0.5);
  EXPECT_EQ(householderLeastSquares(zero, r, scratch), Eigen::Vector3d::Zero());
  EXPECT_EQ(pivotingLeastSquares(zero, r, scratch), Eigen::Vector3d::Zero());
  // A non-finite Jacobian has no decomposition: NaN throughout, no garbage.
  JacobianMatrix broken = JacobianMatrix::Ones(4, 3);
  broken(2, 1) = std::numeric_limits<double>::infinity();
  EXPECT_TRUE(svdLeastSquares(broken, r, scratch).array().isNaN().all());
}

// The solvers call these once or more per iteration: they must work in the scratch alone, the
// fallback included.
TEST(LeastSquares, SolutionsAllocateNothing) {
  LeastSquaresScratch scratch(12);
  const System regular = randomSystem(24, 5);
  const System single = randomSystem(2, 6);
  const JacobianMatrix zero = JacobianMatrix::Zero(8, 3);  // NaN first component: the fallback
  const Eigen::VectorXd r = Eigen::VectorXd::Ones(8);
  double sum = 0.0;
  const testing::AllocationScope allocations;
  for (const System* s : {&regular, &single}) {
    sum += householderLeastSquares(s->jacobian, s->residuals, scratch).sum();
    sum += pivotingLeastSquares(s->jacobian, s->residuals, scratch).sum();
    sum += svdLeastSquares(s->jacobian, s->residuals, scratch).sum();
  }
  sum += householderLeastSquares(zero, r, scratch).sum();
  sum += pivotingLeastSquares(zero, r, scratch).sum();
  EXPECT_EQ(allocations.count(), 0u);
  EXPECT_TRUE(std::isfinite(sum));
}

TEST(LeastSquares, NormalEquationPiecesAreColumnProducts) {
  const System s = randomSystem(6, 7);
  const Eigen::Matrix3d normal = normalMatrix(s.jacobian);
  EXPECT_TRUE(normal.isApprox(s.jacobian.transpose() * s.jacobian, 1e-14));
  EXPECT_EQ(normal, normal.transpose());
  EXPECT_TRUE(normalGradient(s.jacobian, s.residuals)
                  .isApprox(s.jacobian.transpose() * s.residuals, 1e-14));
}

}  // namespace
}  // namespace tessmark
