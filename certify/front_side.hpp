#pragma once
// Which side of each camera is "in front": the sign s_c such that the points camera c sees have
// s_c (p3 . X~) > 0 (certify.hpp takes one such sign per view).
//
// The sign of p3 . X~ alone, or of det(M) p3 . X~, does not decide it on real data:
//  - a BAL camera looks down its negative z axis: P = [K R | K t] with K = diag(-f, -f, 1), so
//    p3 . X~ is the camera-frame z of X, negative in front, whatever f and R are. That is the
//    format's own convention and needs no data: kBalFrontSide.
//  - a .lc file's matrices carry no convention: a set whose image pairs are (row, column) swaps
//    two rows of every P, which flips det(M) and leaves every point "behind" by the determinant
//    rule. Its cameras' sides are decided by the data, by majority: camera c's side is the sign of
//    p3 . X~ shared by most of the points it sees (their closed-form starts, which do not depend
//    on any side). A camera with no finite vote, or a tie, gets the fallback side.

#include <cstddef>
#include <vector>

#include <Eigen/Core>

namespace tessmark::certify {

// BAL cameras: p3 . X~ < 0 in front.
inline constexpr int kBalFrontSide = -1;

// Tallies, camera by camera, on which side of its principal plane the points it sees lie.
class FrontSideVote {
 public:
  explicit FrontSideVote(std::size_t cameraCount)
      : positive_(cameraCount, 0), negative_(cameraCount, 0) {}

  // Camera `camera` (matrix `matrix`) sees a point whose start is `start`. A point on the
  // principal plane, or a non-finite one, does not vote.
  void add(std::size_t camera, const Eigen::Matrix<double, 3, 4>& matrix,
           const Eigen::Vector3d& start);

  // +1 or -1 per camera: the side of the majority of its votes, `fallback` for no vote or a tie.
  std::vector<int> sides(int fallback = 1) const;

  std::size_t votes(std::size_t camera, int side) const {
    return side > 0 ? positive_[camera] : negative_[camera];
  }

 private:
  std::vector<std::size_t> positive_, negative_;
};

}  // namespace tessmark::certify
