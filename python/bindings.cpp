// The compiled part of the Python package `tessmark` (tessmark._tessmark): the public library
// tessmark/triangulate.hpp, with numpy arrays in and out. The package's __init__.py gives these
// functions their documented signatures; the contract of each is in its docstring there and in
// tessmark/__init__.pyi.
//
// Input arrays are read, never kept: each is checked for its shape and its element type, copied
// into the calling thread's own buffers (the library's column-major Eigen matrices), and the GIL is
// released while the library works on the copies.

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <Eigen/Core>
#include <tessmark/triangulate.hpp>

namespace py = pybind11;

namespace {

using Camera = Eigen::Matrix<double, 3, 4>;
using Reason = tessmark::TriangulationError::Reason;

// tessmark.TriangulationError, made once when the module is imported and kept for the life of the
// process (never released: the interpreter may be gone when static objects are destroyed).
PyObject* errorType = nullptr;

const char* reasonName(Reason reason) {
  switch (reason) {
    case Reason::noViews:
      return "no_views";
    case Reason::sizeMismatch:
      return "size_mismatch";
    case Reason::tooManyViews:
      return "too_many_views";
    case Reason::nonFiniteCamera:
      return "non_finite_camera";
    case Reason::nonFiniteObservation:
      return "non_finite_observation";
    case Reason::nonFinitePose:
      return "non_finite_pose";
    case Reason::notPerspective:
      return "not_perspective";
    case Reason::unknownMethod:
      return "unknown_method";
    case Reason::badOptions:
      return "bad_options";
    case Reason::unknownPoint:
      return "unknown_point";
    case Reason::cannotOpen:
      return "cannot_open";
    case Reason::wrongHeader:
      return "wrong_header";
    case Reason::malformedFile:
      return "malformed_file";
  }
  return "unknown";
}

// Raises tessmark.TriangulationError with its reason and view (None when no single view).
void raiseTriangulationError(const tessmark::TriangulationError& error) {
  py::object instance = py::reinterpret_borrow<py::object>(errorType)(error.what());
  instance.attr("reason") = reasonName(error.reason());
  instance.attr("view") = error.view() < 0 ? py::object(py::none()) : py::int_(error.view());
  PyErr_SetObject(errorType, instance.ptr());
}

tessmark::Rules rulesOf(std::string_view rules) {
  if (rules == "vorlant") return tessmark::Rules::vorlant;
  if (rules == "sennic") return tessmark::Rules::sennic;
  throw tessmark::TriangulationError(
      Reason::unknownMethod, -1,
      "tessmark: unknown rules \"" + std::string(rules) + "\" (vorlant or sennic)");
}

// A solver by its key ("0".."9", "other") or by its selected name under the rules.
tessmark::Method methodOf(std::string_view method, std::string_view rules) {
  const tessmark::Rules chosen = rulesOf(rules);
  for (const std::string_view key : tessmark::kMethodKeys) {
    if (method == key) return tessmark::Method::fromKey(chosen, key);
  }
  try {
    return tessmark::Method::fromName(chosen, method);
  } catch (const tessmark::TriangulationError&) {
    throw tessmark::TriangulationError(
        Reason::unknownMethod, -1,
        "tessmark: \"" + std::string(method) +
            "\" is neither a solver key (0 to 9, other) nor the name of a solver of the " +
            std::string(rules) + " menu");
  }
}

std::string shapeText(const py::array& array) {
  std::string text = "(";
  for (py::ssize_t d = 0; d < array.ndim(); ++d) {
    if (d > 0) text += ", ";
    text += std::to_string(array.shape(d));
  }
  return text + (array.ndim() == 1 ? ",)" : ")");
}

// `object` as a float64 array whose shape is `trailing` after an optional leading dimension
// (stacked: (n, *trailing)). A float64 array is taken as it is, whatever its strides; any other
// array_like is converted by numpy when its values convert to float64 safely (bool, integers,
// float16, float32); complex, object, text and long double values are refused with a TypeError,
// a wrong shape with a ValueError, both naming the argument.
py::array_t<double> realArray(py::handle object, const char* name,
                              std::initializer_list<py::ssize_t> trailing, bool stacked) {
  std::string expected = stacked ? "(n" : "(";
  for (const py::ssize_t extent : trailing) {
    if (expected.size() > 1) expected += ", ";
    expected += std::to_string(extent);
  }
  expected += trailing.size() + (stacked ? 1 : 0) == 1 ? ",)" : ")";

  py::array array;
  if (py::array_t<double>::check_(object)) {
    array = py::reinterpret_borrow<py::array>(object);
  } else {
    const py::module_ numpy = py::module_::import("numpy");
    array = numpy.attr("asarray")(object);
    const py::dtype float64 = py::dtype::of<double>();
    if (!numpy.attr("can_cast")(array.dtype(), float64, "safe").cast<bool>()) {
      throw py::type_error(std::string(name) + ": expected real numbers that convert to float64 " +
                           "exactly, got an array of " +
                           py::str(array.dtype()).cast<std::string>());
    }
    array = numpy.attr("asarray")(array, float64);
  }

  bool fits = array.ndim() == static_cast<py::ssize_t>(trailing.size()) + (stacked ? 1 : 0);
  if (fits) {
    py::ssize_t d = stacked ? 1 : 0;
    for (const py::ssize_t extent : trailing) fits = fits && array.shape(d++) == extent;
  }
  if (!fits) {
    throw py::value_error(std::string(name) + ": expected an array of shape " + expected +
                          ", got shape " + shapeText(array));
  }
  return py::reinterpret_borrow<py::array_t<double>>(array);
}

// The calling thread's copies of one point's views, and its room for the library's work: grown to
// the largest point seen, then reused, so a call allocates nothing once the room is there.
struct ThreadRoom {
  std::vector<Camera> cameras;
  std::vector<Eigen::Vector2d> observations;
  std::vector<tessmark::CameraPose> poses;
  tessmark::Triangulator triangulator;
};

ThreadRoom& threadRoom() {
  thread_local ThreadRoom room;
  return room;
}

// Copies a stack of r x c matrices (any strides) into column-major Eigen matrices.
template <typename Matrix>
void copyMatrices(const py::array_t<double>& array, std::vector<Matrix>& into) {
  const auto view = array.unchecked<3>();
  into.resize(static_cast<std::size_t>(view.shape(0)));
  for (py::ssize_t i = 0; i < view.shape(0); ++i) {
    Matrix& matrix = into[static_cast<std::size_t>(i)];
    for (py::ssize_t r = 0; r < Matrix::RowsAtCompileTime; ++r) {
      for (py::ssize_t c = 0; c < Matrix::ColsAtCompileTime; ++c) matrix(r, c) = view(i, r, c);
    }
  }
}

py::array_t<double> vector3(const Eigen::Vector3d& value) {
  py::array_t<double> array(3);
  auto out = array.mutable_unchecked<1>();
  for (py::ssize_t i = 0; i < 3; ++i) out(i) = value(i);
  return array;
}

tessmark::Triangulation triangulate(py::handle cameras, py::handle observations,
                                    std::string_view method, std::string_view rules,
                                    py::handle poses) {
  const tessmark::Method chosen = methodOf(method, rules);
  ThreadRoom& room = threadRoom();
  copyMatrices(realArray(cameras, "cameras", {3, 4}, true), room.cameras);
  {
    const py::array_t<double> array = realArray(observations, "observations", {2}, true);
    const auto view = array.unchecked<2>();
    room.observations.resize(static_cast<std::size_t>(view.shape(0)));
    for (py::ssize_t v = 0; v < view.shape(0); ++v) {
      room.observations[static_cast<std::size_t>(v)] = {view(v, 0), view(v, 1)};
    }
  }
  room.poses.clear();
  if (!poses.is_none()) {
    if (!py::isinstance<py::sequence>(poses) || py::isinstance<py::str>(poses) ||
        py::len(poses) != 3) {
      throw py::type_error(
          "poses: expected None or a sequence (calibration, rotation, centre) of arrays of "
          "shapes (n, 3, 3), (n, 3, 3), (n, 3)");
    }
    const py::sequence parts = py::reinterpret_borrow<py::sequence>(poses);
    std::vector<Eigen::Matrix3d> calibration, rotation;
    copyMatrices(realArray(parts[0], "poses[0] (calibration)", {3, 3}, true), calibration);
    copyMatrices(realArray(parts[1], "poses[1] (rotation)", {3, 3}, true), rotation);
    const py::array_t<double> centreArray = realArray(parts[2], "poses[2] (centre)", {3}, true);
    const auto centre = centreArray.unchecked<2>();
    if (static_cast<std::size_t>(centre.shape(0)) != calibration.size() ||
        rotation.size() != calibration.size()) {
      throw tessmark::TriangulationError(
          Reason::sizeMismatch, -1,
          "tessmark: the poses' calibration, rotation and centre arrays hold " +
              std::to_string(calibration.size()) + ", " + std::to_string(rotation.size()) +
              " and " + std::to_string(centre.shape(0)) + " views");
    }
    room.poses.resize(calibration.size());
    for (std::size_t v = 0; v < calibration.size(); ++v) {
      const auto i = static_cast<py::ssize_t>(v);
      room.poses[v] = {calibration[v], rotation[v], {centre(i, 0), centre(i, 1), centre(i, 2)}};
    }
  }

  const py::gil_scoped_release release;
  return room.triangulator.triangulate({room.cameras, room.observations, room.poses}, chosen);
}

// balCamera for one camera (angle_axis (3,), translation (3,), focal a number) or for m cameras
// ((m, 3), (m, 3), (m,)): the matrices, calibrations, rotations and centres, stacked likewise.
py::tuple balCameras(py::handle angleAxis, py::handle translation, py::handle focal) {
  const bool stacked =
      py::array(py::module_::import("numpy").attr("asarray")(angleAxis)).ndim() != 1;
  const auto w = realArray(angleAxis, "angle_axis", {3}, stacked);
  const auto t = realArray(translation, "translation", {3}, stacked);
  const auto f =
      stacked ? realArray(focal, "focal", {}, true) : realArray(focal, "focal", {}, false);
  const py::ssize_t m = stacked ? w.shape(0) : 1;
  if (stacked && (t.shape(0) != m || f.shape(0) != m)) {
    throw py::value_error("bal_camera: angle_axis, translation and focal hold " +
                          std::to_string(m) + ", " + std::to_string(t.shape(0)) + " and " +
                          std::to_string(f.shape(0)) + " cameras");
  }
  std::vector<tessmark::BalCamera> made(static_cast<std::size_t>(m));
  for (py::ssize_t i = 0; i < m; ++i) {
    const auto row = [&](const py::array_t<double>& a, py::ssize_t k) {
      return stacked ? a.at(i, k) : a.at(k);
    };
    made[static_cast<std::size_t>(i)] =
        tessmark::balCamera({row(w, 0), row(w, 1), row(w, 2)}, {row(t, 0), row(t, 1), row(t, 2)},
                            stacked ? f.at(i) : f.at());
  }
  auto stack = [&](auto part, std::vector<py::ssize_t> shape) {
    std::vector<py::ssize_t> full = shape;
    if (stacked) full.insert(full.begin(), m);
    py::array_t<double> array(full);
    double* out = array.mutable_data();
    for (const tessmark::BalCamera& camera : made) {
      const auto& value = part(camera);
      for (Eigen::Index r = 0; r < value.rows(); ++r) {
        for (Eigen::Index c = 0; c < value.cols(); ++c) *out++ = value(r, c);
      }
    }
    return array;
  };
  return py::make_tuple(
      stack([](const tessmark::BalCamera& c) -> const Camera& { return c.matrix; }, {3, 4}),
      stack(
          [](const tessmark::BalCamera& c) -> const Eigen::Matrix3d& { return c.pose.calibration; },
          {3, 3}),
      stack([](const tessmark::BalCamera& c) -> const Eigen::Matrix3d& { return c.pose.rotation; },
            {3, 3}),
      stack([](const tessmark::BalCamera& c) -> const Eigen::Vector3d& { return c.pose.centre; },
            {3}));
}

}  // namespace

PYBIND11_MODULE(_tessmark, m) {
  m.doc() = "The compiled part of tessmark: use the package tessmark, not this module.";

  errorType = PyErr_NewExceptionWithDoc(
      "tessmark.TriangulationError",
      "Bad input, refused before anything is computed (a ValueError).\n\n"
      "Attributes: reason, one of tessmark.ERROR_REASONS; view, the 0-based view the error\n"
      "concerns, or None when it concerns no single view.",
      PyExc_ValueError, nullptr);
  if (errorType == nullptr) throw py::error_already_set();
  Py_INCREF(errorType);  // the module's reference below, and ours for the translator
  m.add_object("TriangulationError", py::handle(errorType));
  py::register_exception_translator([](std::exception_ptr pending) {
    try {
      if (pending) std::rethrow_exception(pending);
    } catch (const tessmark::TriangulationError& error) {
      raiseTriangulationError(error);
    }
  });

  py::tuple keys(tessmark::kMethodKeys.size());
  for (std::size_t i = 0; i < tessmark::kMethodKeys.size(); ++i) {
    keys[i] = py::str(tessmark::kMethodKeys[i].data(), tessmark::kMethodKeys[i].size());
  }
  m.attr("METHOD_KEYS") = keys;
  m.attr("ERROR_REASONS") = py::make_tuple(
      "no_views", "size_mismatch", "too_many_views", "non_finite_camera", "non_finite_observation",
      "non_finite_pose", "not_perspective", "unknown_method", "bad_options", "unknown_point",
      "cannot_open", "wrong_header", "malformed_file");

  py::class_<tessmark::Triangulation> result(m, "Triangulation");
  result.attr("__module__") = "tessmark";
  result
      .def_property_readonly("start",
                             [](const tessmark::Triangulation& t) { return vector3(t.start); })
      .def_property_readonly("point",
                             [](const tessmark::Triangulation& t) { return vector3(t.point); })
      .def_readonly("loops", &tessmark::Triangulation::loops)
      .def_readonly("cap_reached", &tessmark::Triangulation::capReached)
      .def_readonly("hessian_modified", &tessmark::Triangulation::hessianModified)
      .def_readonly("start_cost", &tessmark::Triangulation::reprojError_m)
      .def_readonly("final_cost", &tessmark::Triangulation::reprojError_f)
      .def_readonly("gamma_start", &tessmark::Triangulation::gamma_m)
      .def_readonly("gamma_final", &tessmark::Triangulation::gamma_f)
      .def_readonly("rho_start", &tessmark::Triangulation::rho_m)
      .def_readonly("rho_final", &tessmark::Triangulation::rho_f)
      .def_readonly("klc_start", &tessmark::Triangulation::klc_m)
      .def_readonly("klc_final", &tessmark::Triangulation::klc_f)
      .def_readonly("psd", &tessmark::Triangulation::positiveSemidefinite)
      .def_readonly("solvable", &tessmark::Triangulation::solvable)
      .def_readonly("global_", &tessmark::Triangulation::global);

  m.def("triangulate", &triangulate, py::arg("cameras"), py::arg("observations"), py::arg("method"),
        py::arg("rules"), py::arg("poses"), "See tessmark.triangulate.");
  m.def("bal_camera", &balCameras, py::arg("angle_axis"), py::arg("translation"), py::arg("focal"),
        "See tessmark.bal_camera.");
  m.def(
      "method_name",
      [](std::string_view method, std::string_view rules) {
        return std::string(methodOf(method, rules).name());
      },
      py::arg("method"), py::arg("rules"), "See tessmark.method_name.");
  m.def(
      "method_key",
      [](std::string_view method, std::string_view rules) {
        return std::string(methodOf(method, rules).key());
      },
      py::arg("method"), py::arg("rules"), "See tessmark.method_key.");
}
