// Fuzz target of the library's Triangulator (tessmark/triangulate.hpp): one point of up to eight
// views, triangulated by every method of both rules, on adversarial cameras and observations.
//
// The bytes describe the views: first every camera, then every observation.
//  - A camera is a raw 3x4 matrix, a pinhole camera s K R [I | -C] (focal lengths, skew, principal
//    point, angle-axis rotation, centre, positive or negative scale s), or a BAL camera
//    (balCamera: angle-axis, translation, focal length). Poses are passed for all views or none (a
//    raw camera's pose is raw too).
//  - An observation is raw, or the projection (plus an offset) of a point given, of another view's
//    camera centre, or of a point on another view's principal plane.
//  - Every number is one of a table of special values (zeros of both signs, the extremes of the
//    double range, subnormals, NaN, infinities, scales whose squares overflow or underflow) or
//    eight raw bytes.
// The invariants, for every method: only TriangulationError escapes, and then for every method
// with the same reason and view (bad input is refused before any method runs); a repeat call gives
// the same bits and allocates nothing; the loop count lies within the solvers' caps.

#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <vector>

#include <Eigen/Geometry>

#include "fuzz/fuzz_data.hpp"
#include "tessmark/triangulate.hpp"
#include "tests/support/allocation_counter.hpp"

namespace tessmark::fuzz {
namespace {

constexpr std::size_t kMostViews = 8;
// The most any solver may count: the .lc Armijo search runs from k = -10 to 1000.
constexpr int kMostLoops = 1010;

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kSpecial[] = {
    0.0,
    -0.0,
    1.0,
    -1.0,
    0.5,
    2.0,
    3.0,
    10.0,
    800.0,
    -800.0,
    1e-8,
    1e8,
    1e155,
    -1e155,
    1e-170,
    1e300,
    1e-300,
    std::numeric_limits<double>::min(),
    std::numeric_limits<double>::denorm_min(),
    std::numeric_limits<double>::max(),
    std::numeric_limits<double>::lowest(),
    std::numeric_limits<double>::epsilon(),
    1.0 + std::numeric_limits<double>::epsilon(),
    std::numeric_limits<double>::quiet_NaN(),
    kInf,
    -kInf,
};
constexpr std::size_t kSpecialCount = sizeof kSpecial / sizeof kSpecial[0];

// Takes the input apart; past its end every byte reads 0.
class Bytes {
 public:
  Bytes(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  std::uint8_t byte() { return offset_ < size_ ? data_[offset_++] : 0; }

  // A special value by a tag below 0xc0, otherwise the eight bytes that follow the tag.
  double number() {
    const std::uint8_t tag = byte();
    if (tag < 0xc0) return kSpecial[tag % kSpecialCount];
    std::uint64_t bits = 0;
    for (int i = 0; i < 8; ++i) bits |= std::uint64_t{byte()} << (8 * i);
    return std::bit_cast<double>(bits);
  }
  Eigen::Vector3d vector3() {
    const double x = number();
    const double y = number();
    return {x, y, number()};
  }
  Eigen::Vector2d vector2() {
    const double x = number();
    return {x, number()};
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t offset_ = 0;
};

Eigen::Matrix3d rotation(const Eigen::Vector3d& angleAxis) {
  const double angle = angleAxis.norm();
  if (!(angle > 0.0) || !std::isfinite(angle)) return Eigen::Matrix3d::Identity();
  return Eigen::AngleAxisd(angle, angleAxis / angle).toRotationMatrix();
}

// The camera of one view, with the pose the caller may pass.
struct View {
  Eigen::Matrix<double, 3, 4> camera;
  CameraPose pose;
};

View makeCamera(Bytes& bytes) {
  View view;
  switch (bytes.byte() % 3) {
    case 0: {  // raw
      for (int i = 0; i < 12; ++i) view.camera(i / 4, i % 4) = bytes.number();
      for (int i = 0; i < 9; ++i) view.pose.calibration(i / 3, i % 3) = bytes.number();
      view.pose.rotation = rotation(bytes.vector3());
      view.pose.centre = bytes.vector3();
      break;
    }
    case 1: {  // pinhole, scaled
      Eigen::Matrix3d k = Eigen::Matrix3d::Identity();
      k(0, 0) = bytes.number();
      k(1, 1) = bytes.number();
      k(0, 1) = bytes.number();
      k(0, 2) = bytes.number();
      k(1, 2) = bytes.number();
      view.pose.calibration = k;
      view.pose.rotation = rotation(bytes.vector3());
      view.pose.centre = bytes.vector3();
      const double scale = bytes.number();
      view.camera << k * view.pose.rotation, -(k * view.pose.rotation * view.pose.centre);
      view.camera *= scale;
      break;
    }
    default: {  // BAL
      const Eigen::Vector3d angleAxis = bytes.vector3();
      const Eigen::Vector3d translation = bytes.vector3();
      const BalCamera bal = balCamera(angleAxis, translation, bytes.number());
      view.camera = bal.matrix;
      view.pose = bal.pose;
      break;
    }
  }
  return view;
}

Eigen::Vector2d project(const Eigen::Matrix<double, 3, 4>& camera, const Eigen::Vector3d& point) {
  const Eigen::Vector3d image = camera * point.homogeneous();
  return image.head<2>() / image(2);
}

Eigen::Vector2d makeObservation(Bytes& bytes, const std::vector<View>& views, std::size_t v) {
  const std::uint8_t kind = bytes.byte() % 4;
  const View& other = views[bytes.byte() % views.size()];
  switch (kind) {
    case 0:
      return bytes.vector2();
    case 1: {
      const Eigen::Vector3d point = bytes.vector3();
      return project(views[v].camera, point) + bytes.vector2();
    }
    case 2:
      return project(views[v].camera, other.pose.centre) + bytes.vector2();
    default: {  // a point on the other camera's principal plane: C + a R^T e1 + b R^T e2
      const Eigen::Matrix3d r = other.pose.rotation;
      const double a = bytes.number();
      const Eigen::Vector3d point =
          other.pose.centre + a * r.row(0).transpose() + bytes.number() * r.row(1).transpose();
      return project(views[v].camera, point) + bytes.vector2();
    }
  }
}

bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }
bool sameBits(const Eigen::Vector3d& a, const Eigen::Vector3d& b) {
  return std::memcmp(a.data(), b.data(), sizeof(double) * 3) == 0;
}

bool sameTriangulation(const Triangulation& a, const Triangulation& b) {
  return sameBits(a.start, b.start) && sameBits(a.point, b.point) && a.loops == b.loops &&
         a.capReached == b.capReached && a.hessianModified == b.hessianModified &&
         sameBits(a.reprojError_m, b.reprojError_m) && sameBits(a.reprojError_f, b.reprojError_f) &&
         sameBits(a.gamma_m, b.gamma_m) && sameBits(a.gamma_f, b.gamma_f) &&
         sameBits(a.rho_m, b.rho_m) && sameBits(a.rho_f, b.rho_f) && sameBits(a.klc_m, b.klc_m) &&
         sameBits(a.klc_f, b.klc_f) && a.positiveSemidefinite == b.positiveSemidefinite &&
         a.solvable == b.solvable && a.global == b.global;
}

// One call's outcome: the triangulation, or the refusal's reason and view.
struct Outcome {
  std::optional<Triangulation> triangulation;
  TriangulationError::Reason reason{};
  std::ptrdiff_t view = 0;
};

Outcome triangulateOnce(Triangulator& triangulator, const PointViews& views, const Method& method) {
  Outcome outcome;
  try {
    outcome.triangulation = triangulator.triangulate(views, method);
  } catch (const TriangulationError& refusal) {
    outcome.reason = refusal.reason();
    outcome.view = refusal.view();
  }
  return outcome;
}

}  // namespace
}  // namespace tessmark::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tessmark;
  using namespace tessmark::fuzz;
  Bytes bytes(data, size);
  const std::size_t n = 1 + bytes.byte() % kMostViews;
  const bool givePoses = (bytes.byte() & 1) != 0;
  std::vector<View> views;
  for (std::size_t v = 0; v < n; ++v) views.push_back(makeCamera(bytes));
  std::vector<Eigen::Matrix<double, 3, 4>> cameras;
  std::vector<Eigen::Vector2d> observations;
  std::vector<CameraPose> poses;
  for (std::size_t v = 0; v < n; ++v) {
    cameras.push_back(views[v].camera);
    observations.push_back(makeObservation(bytes, views, v));
    if (givePoses) poses.push_back(views[v].pose);
  }
  const PointViews point{cameras, observations, poses};

  Triangulator triangulator;
  std::optional<Outcome> firstRefusal;
  bool accepted = false;
  for (const Rules rules : {Rules::vorlant, Rules::sennic}) {
    for (const std::string_view key : kMethodKeys) {
      std::optional<Method> chosen;
      try {
        chosen = Method::fromKey(rules, key);
      } catch (const TriangulationError&) {
        continue;  // a solver this build does not have
      }
      const Method& method = *chosen;
      const Outcome first = triangulateOnce(triangulator, point, method);
      const std::size_t before = testing::allocationCount();
      const Outcome again = triangulateOnce(triangulator, point, method);
      const std::size_t allocations = testing::allocationCount() - before;
      check(first.triangulation.has_value() == again.triangulation.has_value(),
            "a repeat call is refused where the first was not, or the other way round");
      if (!first.triangulation) {
        check(first.reason == again.reason && first.view == again.view,
              "a repeat call is refused for another reason");
        if (!firstRefusal) firstRefusal = first;
        check(!accepted, "views one method takes are refused by another");
        check(first.reason == firstRefusal->reason && first.view == firstRefusal->view,
              "methods refuse the same views for different reasons");
        continue;
      }
      check(!firstRefusal, "views one method refuses are taken by another");
      accepted = true;
      check(sameTriangulation(*first.triangulation, *again.triangulation),
            "a repeat call gives other bits");
      check(allocations == 0, "a repeat call allocates");
      check(first.triangulation->loops >= 0 && first.triangulation->loops <= kMostLoops,
            "a loop count beyond every cap");
    }
  }
  return 0;
}
