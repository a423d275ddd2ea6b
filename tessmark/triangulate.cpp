#include "tessmark/triangulate.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <string>

#include "dataset/point_solver.hpp"
#include "model/camera_model.hpp"
#include "model/coefficients.hpp"
#include "model/point_workspace.hpp"
#include "solvers/menus.hpp"
#include "tessmark/library_support.hpp"

namespace tessmark {

// The installed header spells the menus' keys for callers that see no internal header; they are
// the menus' own.
static_assert(std::ranges::equal(kMethodKeys, kMenuKeys));

namespace {

using Reason = TriangulationError::Reason;

// The workspace addresses a point's rows with int counts, 12 rows per view.
constexpr std::size_t kMostViews = std::numeric_limits<int>::max() / 12;

bool knownRules(Rules rules) { return rules == Rules::vorlant || rules == Rules::sennic; }

void checkRules(Rules rules) {
  if (!knownRules(rules)) refuse(Reason::unknownMethod, -1, "unknown rules (vorlant or sennic)");
}

// Everything that can be checked before the workspace is touched.
void checkViews(const PointViews& views) {
  const std::size_t n = views.cameras.size();
  if (n == 0) refuse(Reason::noViews, -1, "a point needs at least one view");
  if (n > kMostViews) {
    refuse(Reason::tooManyViews, -1,
           std::to_string(n) + " views, more than the " + std::to_string(kMostViews) +
               " a point may have");
  }
  if (views.observations.size() != n) {
    refuse(Reason::sizeMismatch, -1,
           std::to_string(n) + " cameras but " + std::to_string(views.observations.size()) +
               " observations");
  }
  if (!views.poses.empty() && views.poses.size() != n) {
    refuse(Reason::sizeMismatch, -1,
           std::to_string(n) + " cameras but " + std::to_string(views.poses.size()) +
               " poses (give none, or one per camera)");
  }
  for (std::size_t v = 0; v < n; ++v) {
    const auto view = static_cast<std::ptrdiff_t>(v);
    if (!views.cameras[v].allFinite()) {
      refuse(Reason::nonFiniteCamera, view, "the camera matrix has a non-finite entry");
    }
    if (!views.observations[v].allFinite()) {
      refuse(Reason::nonFiniteObservation, view, "the observation has a non-finite coordinate");
    }
    if (!views.poses.empty()) {
      const CameraPose& pose = views.poses[v];
      if (!pose.calibration.allFinite() || !pose.rotation.allFinite() || !pose.centre.allFinite()) {
        refuse(Reason::nonFinitePose, view, "the camera pose has a non-finite entry");
      }
    }
  }
}

}  // namespace

const SolverProgram& solversOf(Rules rules) {
  return rules == Rules::vorlant ? vorlantSolvers() : sennicSolvers();
}

void refuse(Reason reason, std::ptrdiff_t view, const std::string& what) {
  const std::string where = view < 0 ? "" : "view " + std::to_string(view) + ": ";
  throw TriangulationError(reason, view, "tessmark: " + where + what);
}

PointSolverOptions solverOptions(const TriangulationOptions& options) {
  const auto usable = [](double tolerance) { return std::isfinite(tolerance) && tolerance >= 0; };
  if (!usable(options.tolerance)) {
    refuse(Reason::badOptions, -1,
           "the tolerance must be finite and not negative, found " +
               std::to_string(options.tolerance));
  }
  if (!usable(options.relativeTolerance)) {
    refuse(Reason::badOptions, -1,
           "the relative tolerance must be finite and not negative, found " +
               std::to_string(options.relativeTolerance));
  }
  if (options.loopCap < 0) {
    refuse(Reason::badOptions, -1,
           "the loop cap must be 0 (the solver's own) or positive, found " +
               std::to_string(options.loopCap));
  }
  return {options.tolerance, options.relativeTolerance, options.loopCap};
}

Triangulation publicRecord(const PointOutcome& outcome) {
  const PointJudgement& judgement = outcome.judgement;
  Triangulation result;
  result.start = outcome.start;
  result.point = outcome.point;
  result.loops = outcome.loops;
  result.capReached = outcome.capReached;
  result.hessianModified = outcome.hessianModified;
  result.reprojError_m = judgement.reprojError_m;
  result.reprojError_f = judgement.reprojError_f;
  result.gamma_m = judgement.gamma_m;
  result.gamma_f = judgement.gamma_f;
  result.rho_m = judgement.rho_m;
  result.rho_f = judgement.rho_f;
  result.klc_m = judgement.klc_m;
  result.klc_f = judgement.klc_f;
  result.positiveSemidefinite = judgement.positiveSemidefinite;
  result.solvable = judgement.solvable;
  result.global = judgement.global;
  return result;
}

TriangulationError::TriangulationError(Reason reason, std::ptrdiff_t view,
                                       const std::string& message)
    : std::invalid_argument(message), reason_(reason), view_(view) {}

Method Method::fromKey(Rules rules, std::string_view key) {
  checkRules(rules);
  if (const std::optional<std::size_t> row = menuRowOfKey(key)) {
    const MenuEntry& entry = solversOf(rules).menu[*row];
    if (entry.solver == nullptr) {
      refuse(
          Reason::unknownMethod, -1,
          "the solver \"" + std::string(entry.selectedName) + "\" is not available in this build");
    }
    return Method(rules, static_cast<int>(*row));
  }
  refuse(Reason::unknownMethod, -1,
         "no solver has the key \"" + std::string(key) + "\" (the keys are 0 to 9 and other)");
}

Method Method::fromName(Rules rules, std::string_view name) {
  checkRules(rules);
  const SolverProgram& program = solversOf(rules);
  for (std::size_t row = 0; row < program.menu.size(); ++row) {
    if (name == program.menu[row].selectedName) return fromKey(rules, program.menu[row].key);
  }
  refuse(Reason::unknownMethod, -1,
         "the " + std::string(program.name) + " menu has no solver named \"" + std::string(name) +
             "\"");
}

std::string_view Method::name() const {
  return solversOf(rules_).menu[static_cast<std::size_t>(row_)].selectedName;
}

BalCamera balCamera(const Eigen::Vector3d& angleAxis, const Eigen::Vector3d& translation,
                    double focalLength) {
  // The large-data program's own camera model.
  const PreparedCamera prepared = balCameraModel(angleAxis, translation, focalLength);
  BalCamera camera;
  camera.matrix = prepared.projection;
  camera.pose.calibration = prepared.pose.leftCols<3>();
  camera.pose.rotation = prepared.pose.middleCols<3>(3);
  camera.pose.centre = prepared.pose.col(6);
  return camera;
}

// The programs' per-point workspace, grown to the largest view count seen.
struct Triangulator::Workspace {
  explicit Workspace(int capacity) : point(capacity), capacity(capacity) {}
  PointWorkspace point;
  int capacity;
};

Triangulator::Triangulator(std::size_t viewCapacity) {
  if (viewCapacity > kMostViews) {
    refuse(Reason::tooManyViews, -1,
           "room for " + std::to_string(viewCapacity) + " views, more than the " +
               std::to_string(kMostViews) + " a point may have");
  }
  if (viewCapacity > 0) workspace_ = std::make_unique<Workspace>(static_cast<int>(viewCapacity));
}

Triangulator::~Triangulator() = default;
Triangulator::Triangulator(Triangulator&&) noexcept = default;
Triangulator& Triangulator::operator=(Triangulator&&) noexcept = default;

std::size_t Triangulator::viewCapacity() const {
  return workspace_ ? static_cast<std::size_t>(workspace_->capacity) : 0;
}

Triangulation Triangulator::triangulate(const PointViews& views, const Method& method,
                                        const TriangulationOptions& options) {
  checkRules(method.rules_);
  checkViews(views);
  const PointSolverOptions solving = solverOptions(options);
  const SolverProgram& program = solversOf(method.rules_);
  const MenuEntry& entry = program.menu[static_cast<std::size_t>(method.row_)];
  const int n = static_cast<int>(views.cameras.size());
  if (!workspace_ || workspace_->capacity < n) workspace_ = std::make_unique<Workspace>(n);
  PointWorkspace& workspace = workspace_->point;

  // The point's views, one block each, as the programs gather them from their camera tables.
  for (int v = 0; v < n; ++v) {
    const auto i = static_cast<std::size_t>(v);
    const Eigen::Matrix<double, 3, 4>& camera = views.cameras[i];
    Eigen::Matrix<double, 3, 7> pose;
    if (views.poses.empty()) {
      pose = decomposeCamera(camera).pose;
      if (!pose.allFinite()) {
        refuse(Reason::notPerspective, v,
               "the camera matrix is not a perspective camera (its pose block is not finite)");
      }
    } else {
      pose << views.poses[i].calibration, views.poses[i].rotation, views.poses[i].centre;
    }
    const Eigen::Vector2d& observation = views.observations[i];
    workspace.views[i].assign(camera, jacobianCoefficientBlock(camera),
                              curvatureCoefficientBlock(camera), pose, observation.x(),
                              observation.y());
  }

  // Start, solve and judge, as each program does for every point of its data set.
  return publicRecord(
      PointSolver(program, entry, workspace, solving).triangulate(workspace.problem(n)));
}

}  // namespace tessmark
