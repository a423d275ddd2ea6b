#pragma once
// Tessmark's per-point triangulation as a library: hand it the 3x4 camera matrices and the image
// observations of one 3D point, choose one of the eleven local solvers of a program's menu, and get
// the closed-form start, the final point, the solver's loop count and the judgement of both points,
// exactly as the programs `vorlant` (BAL problems) and `sennic` (.lc multi-view sets) compute them.
//
// This header and tessmark/problem.hpp (whole data files: loading, and every point on every core)
// are the library's public, stable interface: they need only the standard library and Eigen 3.4,
// and no other Tessmark header is installed (the static libraries behind them are, for the linker
// only). Link the CMake target Tessmark::core:
//
//   find_package(Tessmark 0.1 REQUIRED)
//   target_link_libraries(app PRIVATE Tessmark::core)
//
// The fixed-size Eigen types below cross the library boundary, and Eigen aligns them according to
// the vector instructions a translation unit is compiled for: build the caller with the Eigen 3.4
// the package finds and the same instruction-set flags as the library (for instance -march=native
// on both sides or on neither).
//
// What one call does, for a point seen in n >= 1 views:
//  1. Per view v: the camera's pose block [K | R | C] (calibration, rotation world to camera,
//     camera centre), the caller's or derived from P as the .lc reader derives it (see PointViews);
//     and the coefficient rows of P's first and second derivatives, from P as given.
//  2. The start x_m: the "symmedian point", nearest in the least-squares sense to the n viewing
//     rays, the lines through C_v along R_v^T K_v^-1 (u_v, 1).
//  3. The chosen solver refines x_m into the final point x_f. It minimises the L2 reprojection
//     cost sum_v |pi_v(X) - u_v|^2, pi_v(X) = (p1 . X~, p2 . X~) / (p3 . X~), X~ = (X, 1), p1..p3
//     the rows of P_v; stopping tolerance 1e-12, as both programs hand every solver (a caller may
//     choose another, and another loop cap: TriangulationOptions).
//  4. The judgement at x_m and at x_f: reprojection error, gamma, rho, the K_LC distance, the
//     positive semidefiniteness of the Hessian at x_f, and the labels Solvable / Hard case and
//     Global / Local, under the chosen program's rules.
//
// Errors: bad input (no view, sizes that disagree, a non-finite camera matrix, observation or pose,
// a camera matrix that is no perspective camera, an unknown solver key or name, options out of
// range) throws TriangulationError before anything is solved. Numerical breakdown is not an error:
// a solver that diverges returns non-finite coordinates, which the judgement labels Local, as in
// the programs' reports.
//
// Threads: nothing here keeps hidden shared state. A Triangulator holds the room one call works in
// and must not be used by two threads at once; give each thread its own, and points may be
// triangulated in parallel. Methods are plain values, free to share.
//
// Memory: a Triangulator allocates only when a point has more views than any point before (or than
// the capacity it was made with); every other call allocates nothing on its success path.

#include <array>
#include <cstddef>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

#include <Eigen/Core>

namespace tessmark {

// Whose rules a solver and the judgement follow. The two programs' menus run different copies of
// several solvers and judge differently:
//  - vorlant, the large-data (BAL) program: near-zero depths are kept away from zero in the
//    gradient and the Hessian (by the machine epsilon); K_LC is the length of the Newton step d of
//    H d = g; Solvable tests K_LC(x_m) < 9.9 and Global tests K_LC(x_f) < 1e-5;
//  - sennic, the .lc program: no such depth guard; K_LC is |d| |g.d / d^T H d|; the two K_LC tests
//    trade places (Solvable tests K_LC(x_f) < 1e-5, Global tests K_LC(x_m) < 9.9).
enum class Rules { vorlant, sennic };

// The keys of both menus in menu order: "0".."9", then "other", the row that every other keystroke
// selects in the programs.
inline constexpr auto kMethodKeys =
    std::to_array<std::string_view>({"0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "other"});

// One solver of one program's menu, chosen by its key or by the name the program echoes and writes
// to its reports. A small value: copy and share it freely.
class Method {
 public:
  // By key, one of kMethodKeys (so "0" picks the Newton-Raphson iteration of both menus, and
  // "other" the default row). Throws TriangulationError (unknownMethod) for any other text: unlike
  // the programs' keystroke, "x" or "10" is refused, not taken as the default.
  static Method fromKey(Rules rules, std::string_view key);
  // By the selected name exactly as that program writes it ("Gauss-Newton" under vorlant's rules,
  // "Gauss-Newton method" under sennic's). Throws TriangulationError (unknownMethod) for a name
  // that program's menu does not hold.
  static Method fromName(Rules rules, std::string_view name);

  Rules rules() const { return rules_; }
  std::string_view key() const { return kMethodKeys[static_cast<std::size_t>(row_)]; }
  // The selected name, as the program echoes it and writes it to its reports (a view of a
  // null-terminated text that lives as long as the program).
  std::string_view name() const;

  friend bool operator==(const Method&, const Method&) = default;

 private:
  Method(Rules rules, int row) : rules_(rules), row_(row) {}
  friend class Triangulator;
  friend struct LibraryAccess;

  Rules rules_;
  int row_;  // the menu row, 0..10
};

// A camera's pose block: P = s K R [I | -C] for a scalar s != 0. Used only by the start (the
// viewing ray of an observation u is the line through C along R^T K^-1 (u, 1)); the solver and the
// judgement read P alone.
struct CameraPose {
  Eigen::Matrix3d calibration;  // K
  Eigen::Matrix3d rotation;     // R, world to camera
  Eigen::Vector3d centre;       // C, in world coordinates
};

// A BAL camera (angle-axis rotation w, translation t, focal length f; radial distortion ignored)
// as the large-data program prepares it: R by Rodrigues' formula (the identity when |w| is below
// the machine epsilon), K = diag(-f, -f, 1), C = -R^T t, P = [K R | K t]. So a world point X is
// seen at x = -f Xc[0] / Xc[2], y = -f Xc[1] / Xc[2], Xc = R X + t. Allocates: prepare each camera
// once, not per point.
struct BalCamera {
  Eigen::Matrix<double, 3, 4> matrix;
  CameraPose pose;
};
BalCamera balCamera(const Eigen::Vector3d& angleAxis, const Eigen::Vector3d& translation,
                    double focalLength);

// The views of one point: view v is camera matrix cameras[v] observing the point at
// observations[v] (image x, y in the units of P). The spans are only read during the call.
//
// poses: empty, or one pose per view. When empty, each pose is derived from P as the .lc reader
// derives it: with M the left 3x3 block of P scaled so that its third row has unit length, K is the
// upper triangular factor of M M^T = K K^T with K(2,2) = 1 and non-negative K(0,0), K(1,1);
// R = K^-1 M and C = -M^-1 p4 (p4 the scaled fourth column). That gives sennic's numbers exactly.
// For a BAL camera the derived pose is K' = diag(f, f, 1), R' = diag(-1, -1, 1) R: the same rays,
// but a start that can differ from vorlant's in the last bits, and so a final point, loop count
// and judgement that can differ slightly. To get vorlant's numbers exactly, pass the poses of
// balCamera().
struct PointViews {
  std::span<const Eigen::Matrix<double, 3, 4>> cameras;
  std::span<const Eigen::Vector2d> observations;
  std::span<const CameraPose> poses = {};
};

// The diagnostics of one point (suffix _m: at the start x_m, _f: at the final point x_f).
struct Triangulation {
  Eigen::Vector3d start;         // x_m, the symmedian point
  Eigen::Vector3d point;         // x_f, the solver's final iterate
  int loops = 0;                 // the solver's loop count, as the programs report it
  bool capReached = false;       // the solver stopped at its own loop cap
  bool hessianModified = false;  // some Hessian had to be made positive definite (Greenstadt)

  double reprojError_m = 0, reprojError_f = 0;  // sum of squared residuals (not halved)
  double gamma_m = 0, gamma_f = 0;              // their square roots
  // 1 / m, m the largest real part of the eigenvalues of (J^T J)^-1 N (N the second-order part of
  // the Hessian, negated): rho > 1 or rho < 0 means the cost is locally convex; infinite at a point
  // that reprojects exactly.
  double rho_m = 0, rho_f = 0;
  double klc_m = 0, klc_f = 0;        // K_LC distances, under the rules' measure
  bool positiveSemidefinite = false;  // the Hessian at x_f (not tested at x_m)
  // "Solvable" (true) or "Hard case": gamma_m^2 < rho_m^2 and the start's K_LC test of the rules.
  bool solvable = false;
  // "Global" (true) or "Local": the PSD Hessian at x_f, gamma_f^2 < rho_f^2, the final K_LC test of
  // the rules and reprojError_f <= reprojError_m. Any NaN makes a comparison false.
  bool global = false;
};

// How a solver stops. The defaults are the values both programs use for every point (they take no
// options).
struct TriangulationOptions {
  // The solver's stopping tolerance epsilon (each solver tests its own quantity against it: the
  // gradient's length, the step's, see its menu line) is the larger of `tolerance` and
  // `relativeTolerance` times the reprojection cost at the start x_m (the sum of squared residuals,
  // in squared image units). Both finite and >= 0.
  double tolerance = 1e-12;
  double relativeTolerance = 0.0;
  // The solver's loop cap in place of its own (1000 in vorlant's menu; 500 in most of sennic's,
  // and its Gauss-Newton with Armijo line search counts from -10): the number replaces the cap and
  // the solver counts against it as against its own. 0 keeps the solver's own; otherwise >= 1.
  int loopCap = 0;
};

// The error of this interface: bad input, refused before anything is computed (DataFileError, in
// tessmark/problem.hpp, is the one for data files).
class TriangulationError : public std::invalid_argument {
 public:
  enum class Reason {
    noViews,               // fewer than one view
    sizeMismatch,          // observations, or a non-empty poses, not one per camera
    tooManyViews,          // more views than the workspace's index type can address
    nonFiniteCamera,       // a camera matrix with a NaN or infinite entry
    nonFiniteObservation,  // an observation with a NaN or infinite coordinate
    nonFinitePose,         // a given pose with a NaN or infinite entry
    notPerspective,        // no pose given, and the pose derived from P is not finite (for
                           // instance the left 3x3 block of P has a zero third row, or is singular)
    unknownMethod,         // a key or a name that the rules' menu does not hold
    badOptions,            // TriangulationOptions out of range (a NaN or negative tolerance...)
    unknownPoint,          // a point index that the problem does not hold (tessmark/problem.hpp)
    cannotOpen,            // a data file that cannot be opened or read (DataFileError)
    wrongHeader,           // a data file whose first token is no accepted header ID
    malformedFile,         // a data file that is not well formed
  };

  TriangulationError(Reason reason, std::ptrdiff_t view, const std::string& message);

  Reason reason() const noexcept { return reason_; }
  // The view the error concerns (0-based), or -1 when it concerns no single view.
  std::ptrdiff_t view() const noexcept { return view_; }

 private:
  Reason reason_;
  std::ptrdiff_t view_;
};

// The room one call works in, reused from call to call. Not for two threads at once.
class Triangulator {
 public:
  // Room for points of up to viewCapacity views from the start (0: grown by the first call).
  // Throws TriangulationError (tooManyViews) for more views than a point may have.
  explicit Triangulator(std::size_t viewCapacity = 0);
  ~Triangulator();
  Triangulator(Triangulator&&) noexcept;
  Triangulator& operator=(Triangulator&&) noexcept;
  Triangulator(const Triangulator&) = delete;
  Triangulator& operator=(const Triangulator&) = delete;

  // Start, solve and judge one point (see the top of this header). Throws TriangulationError for
  // bad input; allocates only to grow its room to views.cameras.size() views, and keeps that room.
  Triangulation triangulate(const PointViews& views, const Method& method,
                            const TriangulationOptions& options = {});

  // The most views a point may have without the room growing.
  std::size_t viewCapacity() const;

 private:
  struct Workspace;
  std::unique_ptr<Workspace> workspace_;
};

}  // namespace tessmark
