#pragma once
// A certificate of global optimality for one triangulated point: is a candidate (any solver's final
// point) the point of least L2 reprojection cost among all points in front of every camera that
// sees it, or is there a better one?
//
// The problem. A point is seen in n >= 1 views; view v has the 3x4 camera matrix P_v (rows p1, p2,
// p3), the observed image point u_v and a front side s_v (+1 or -1). The cost of a point X is
//   f(X) = sum_v |pi_v(X) - u_v|^2,  pi_v(X) = (p1 . X~, p2 . X~) / (p3 . X~),  X~ = (X, 1),
// the plain sum of squared reprojection errors (in the units of the images, as the programs
// report it). The feasible region is the set of points in front of every view: s_v (p3 . X~) > 0
// for all v. The certifier bounds the infimum f* of f over that region.
//
// Which side is "in front" is an input, one sign per view, because the sign of p3 . X~ does not
// decide it on real data: a BAL camera looks down its negative axis (kBalFrontSide), and a .lc set
// whose image pairs are (row, column) swaps two rows of every P. front_side.hpp has the rules that
// decide it per camera from a data set.
//
// Where the infimum may lie. f need not attain f* at a finite point: along a direction in front of
// every camera the cost tends to its value at infinity, and along the ray that camera v observes
// (the points C_v + e d_v, e -> 0+, that v sees exactly at u_v) it tends to the other views'
// residuals at v's centre C_v. Both limits are part of the search and are reported (Infimum); a
// point that beats a candidate is always a finite point in front of every camera (far along the
// direction, or close to the centre, when the infimum lies there).
//
// The verdict, with tolerance tol = max(absoluteTolerance, relativeTolerance f(candidate)):
//  - certified: the candidate is in front of every view and f(candidate) <= f* + tol. lowerBound is
//    the proof: no feasible point costs less than it, and f(candidate) - lowerBound <= tol.
//  - beaten: the candidate is in front of every view and `best` is a feasible point with
//    f(best) < f(candidate) - tol/2 (both costs bounded rigorously).
//  - notInFront: the candidate is not provably in front of view `view` (behind it, on its
//    principal plane, or within rounding of it), or it is not finite (view -1). Such a candidate is
//    never certified, whatever its cost. The bounds still describe f* over the feasible region.
//  - undecided: the budget (maxBoxes) ran out first; lowerBound and upperBound are the best bounds
//    on f* reached.
// Whatever the verdict, f* lies in [lowerBound, upperBound] (upperBound is +inf when no feasible
// point was found, lowerBound +inf when the region is provably empty).
//
// Method. A branch and bound over a compact parametrisation of the region in front of one view r
// (the reference): a point is (a, b, t), (a, b) its image in r and t in [0, 1] its place on that
// ray, 0 at r's centre, 1 at infinity, so both limits are faces of a box. Any point of cost at
// most U has |(a, b) - u_r|^2 <= U, which bounds the first two coordinates. Every view's
// homogeneous projection is bilinear in (a, b, t) (a projective change of coordinates that sends
// r's matrix to [I | 0]), which gives cheap enclosures. A box is bounded below by
//  - the views' residual bounds: |z_v| / |w_v| over the box, from interval enclosures of the
//    bilinear numerators z_v and depths w_v (a box behind any view is dropped);
//  - the mean-value form f(p) + [grad f](box) . (x - p) and a second-order form, both about the
//    best point p when the box holds it (the box centre otherwise): for the second-order form,
//    when a matrix below the cost's Hessian over the box is proven positive definite (an interval
//    Cholesky factorisation with positive pivots), f >= f(p) + g(p) . (x - p) + (x - p)^T A (x - p)
//    / 2 there, which is within g^T A^-1 g / 2 of f(p): the certificate of a local minimum whose
//    neighbourhood holds every point of lower cost (the idea of Hartley and Seo's verification of
//    L2 minima; Kahl et al. and Lu and Hartley give the branch and bound around it). Its cheapest
//    form works in the inverse-depth coordinates (a, b, 1/depth), where every view's projection is
//    affine: on the convex set of points whose residuals fit their budgets, each view's Hessian is
//    its Gauss-Newton part less a term in the residual, which the budgets bound.
// The first box is the whole region narrowed to the points that may beat the best value; a
// well-conditioned minimum is certified by that one box after a local polish of the candidate.
// Upper bounds come from rigorous evaluations at box centres, a damped Gauss-Newton polish of the
// best ones, the limits at the cameras' centres and, for two views, the exact optimum of the
// epipolar-constrained problem (two_view.hpp, Hartley and Sturm 1997). Short baselines, nearly
// parallel rays and several minima take more boxes.
//
// Rigour. Every bound that enters a decision is computed in interval arithmetic with outward
// rounding by a stated margin (interval.hpp), including the change of coordinates (the inverse of
// r's left 3x3 block is enclosed through its adjugate and an interval determinant) and the costs
// of the candidate and of `best`, evaluated from the camera matrices as given. The coordinates of
// `best` are the double values returned. A non-finite intermediate widens a bound to nothing; it
// can make a verdict undecided, never wrong.
//
// Threads: a Certifier holds the room one call works in and must not be shared between threads at
// once; give each thread its own. It allocates while its room grows (more views, more boxes than
// any call before) and reuses it afterwards.

#include <cstddef>
#include <memory>
#include <span>
#include <stdexcept>
#include <vector>

#include <Eigen/Core>

namespace tessmark::certify {

// The views of one point. frontSides[v] is +1 when the points in front of view v have p3 . X~ > 0,
// -1 when they have p3 . X~ < 0. Bad input (no view, spans of different lengths, a non-finite
// matrix or observation, a side other than +1 or -1) throws std::invalid_argument.
struct PointViews {
  std::span<const Eigen::Matrix<double, 3, 4>> cameras;
  std::span<const Eigen::Vector2d> observations;
  std::span<const int> frontSides;
};

struct Options {
  double relativeTolerance = 1e-9;
  double absoluteTolerance = 1e-9;  // squared image units
  int maxBoxes = 200000;            // boxes bounded before the verdict is undecided
  // Two views: start from the exact optimum (two_view.hpp). Off, the search finds it alone.
  bool twoViewStart = true;
};

enum class Verdict { certified, beaten, notInFront, undecided };

// Where upperBound (the best value found, within the final gap of the infimum) is attained or
// approached.
enum class Infimum {
  finite,          // at the finite point `best`
  atInfinity,      // only in the limit along a direction (best: a far point in that direction)
  atCameraCentre,  // only in the limit at centreView's centre (best: a point close to it)
  none,            // no feasible point was found (the region may be empty: see lowerBound)
};

struct Certificate {
  Verdict verdict = Verdict::undecided;
  int view = -1;                    // notInFront: the view the candidate is not in front of
  double candidateCost = 0;         // upper end of f(candidate) (NaN when not finite)
  double tolerance = 0;             // tol above
  double lowerBound = 0;            // f* >= lowerBound (proven)
  double upperBound = 0;            // f* <= upperBound (a point or a limit reaches it)
  Eigen::Vector3d best{0, 0, 0};    // a finite feasible point, f(best) <= bestCost (NaN if none)
  double bestCost = 0;              // upper end of f(best)
  Infimum infimum = Infimum::none;  // where upperBound lies
  int centreView = -1;              // atCameraCentre: whose centre
  int boxes = 0;                    // boxes bounded (the work done)
};

// Certifies candidates point by point; reuses its room from call to call.
class Certifier {
 public:
  explicit Certifier(Options options = {});
  ~Certifier();
  Certifier(Certifier&&) noexcept;
  Certifier& operator=(Certifier&&) noexcept;
  Certifier(const Certifier&) = delete;
  Certifier& operator=(const Certifier&) = delete;

  const Options& options() const { return options_; }

  // The verdict on `candidate` for the point seen in `views` (see the top of this header).
  Certificate certify(const PointViews& views, const Eigen::Vector3d& candidate);

 private:
  struct Workspace;
  Options options_;
  std::unique_ptr<Workspace> workspace_;
};

// An enclosure [lo, hi] of f(X), NaN for a point that is not finite or lies on a view's principal
// plane (within rounding); inFront: X is provably in front of every view; offending: the first
// view it is not provably in front of (-1 when it is in front of all).
struct PointCost {
  double lo, hi;
  bool inFront;
  int offending;
};
PointCost rigorousCost(const PointViews& views, const Eigen::Vector3d& x);

}  // namespace tessmark::certify
