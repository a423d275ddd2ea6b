"""tessmark.triangulate and its companions: the library's numbers bit for bit (synthetic scenes and
the real data sets), input refused with clear exceptions and never a crash, the GIL released during
the library's work, and no reference leaked or dropped."""

import gc
import math
import sys
import threading
import time

import numpy as np
import pytest

import tessmark
from conftest import (FIELDS, assert_identical, camera_ring, data_file, project, read_bal,
                      read_lc, same_double)


def ring_points(count, ring, rng, view_counts=(1, 2, 3, 5, 12)):
    """count points inside the ring, each seen by consecutive cameras, images off by up to a pixel;
    the last few are hard: far away, or close to a camera."""
    points = []
    for p in range(count):
        n = view_counts[p % len(view_counts)]
        chosen = (p + np.arange(n)) % len(ring)
        point = rng.uniform(-0.5, 0.5, 3)
        if p % 17 == 16:
            point = point * 400.0
        if p % 23 == 22:
            point = np.array([8.0, 1.0, 0.0]) * 0.97
        observations = project(ring[chosen], point) + rng.uniform(-1, 1, (n, 2))
        points.append((ring[chosen], observations, None))
    return points


@pytest.fixture(scope="module")
def ring_scene():
    return ring_points(60, camera_ring(12), np.random.default_rng(2014))


@pytest.fixture(scope="module")
def bal_scene():
    """A BAL-like scene: eight cameras with their vorlant poses, images in BAL's convention."""
    rng = np.random.default_rng(7)
    w = rng.normal(0, 0.2, (8, 3))
    t = np.column_stack([rng.normal(0, 0.3, (8, 2)), rng.uniform(-12, -8, 8)])
    f = rng.uniform(400, 600, 8)
    cameras = tessmark.bal_camera(w, t, f)
    points = []
    for p in range(40):
        chosen = np.sort(rng.choice(8, size=2 + p % 6, replace=False))
        point = rng.uniform(-1, 1, 3)
        images = project(cameras.matrix[chosen], point) + rng.uniform(-0.5, 0.5, (len(chosen), 2))
        points.append((cameras.matrix[chosen], images, cameras.take(chosen).pose))
    return (w, t, f), cameras, points


@pytest.mark.parametrize("rules", tessmark.RULES)
@pytest.mark.parametrize("key", tessmark.METHOD_KEYS)
def test_every_solver_gives_the_library_numbers_bit_for_bit(reference, ring_scene, bal_scene,
                                                            rules, key):
    points = ring_scene + bal_scene[2]
    expected = reference.triangulate(points, rules, key)
    for p, ((cameras, observations, poses), want) in enumerate(zip(points, expected)):
        got = tessmark.triangulate(cameras, observations, key, rules, poses)
        assert_identical(got, want, context=(rules, key, p))


def test_the_scene_exercises_more_than_the_easy_path(reference, ring_scene):
    # The comparison above would be weak if every point were easy: the scene holds points judged
    # Hard case and Local, and solvers that stop at their loop cap or modify a Hessian.
    results = [tessmark.triangulate(c, o, key, "vorlant") for key in tessmark.METHOD_KEYS
               for c, o, _ in ring_scene]
    assert any(not r.solvable for r in results)
    assert any(not r.global_ for r in results)
    assert any(r.solvable and r.global_ for r in results)
    assert any(r.hessian_modified for r in results)


def test_bal_camera_matches_the_library_one_at_a_time_and_stacked(reference, bal_scene):
    (w, t, f), stacked, _ = bal_scene
    expected = reference.bal_cameras(w, t, f)
    for i, want in enumerate(expected):
        single = tessmark.bal_camera(w[i], t[i], f[i])
        for part, stacked_part, wanted in zip(single, stacked, want):
            assert part.shape == wanted.shape
            assert part.tobytes() == wanted.tobytes()
            assert stacked_part[i].tobytes() == wanted.tobytes()
    assert stacked.matrix.shape == (8, 3, 4) and stacked.centre.shape == (8, 3)
    # A point in front of the camera is seen where the BAL convention puts it.
    point = np.array([0.1, -0.2, 0.3])
    xc = stacked.rotation[0] @ point + t[0]
    assert np.allclose(project(stacked.matrix[:1], point)[0], -f[0] * xc[:2] / xc[2])
    # The identity rotation below the machine epsilon.
    tiny = tessmark.bal_camera([1e-17, 0, 0], [0, 0, -5], 500.0)
    assert np.array_equal(tiny.rotation, np.eye(3))


def test_methods_by_key_and_by_name():
    assert tessmark.METHOD_KEYS == ("0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "other")
    assert tessmark.method_name("0", "vorlant") == "Newton-Raphson"
    assert tessmark.method_name("1", "vorlant") == "Gauss-Newton"
    assert tessmark.method_name("1", "sennic") == "Gauss-Newton method"
    for rules in tessmark.RULES:
        names = [tessmark.method_name(key, rules) for key in tessmark.METHOD_KEYS]
        assert len(set(names)) == len(names)
        for key, name in zip(tessmark.METHOD_KEYS, names):
            assert tessmark.method_key(name, rules) == key
            assert tessmark.method_name(name, rules) == name
    # A name selects the same solver as its key.
    ring = camera_ring(4)
    images = project(ring, np.array([0.1, 0.2, 0.3])) + 0.3
    by_key = tessmark.triangulate(ring, images, "1", "sennic")
    by_name = tessmark.triangulate(ring, images, "Gauss-Newton method", "sennic")
    assert by_key.as_dict().keys() == by_name.as_dict().keys()
    assert all(same_double(a, b) for a, b in zip(by_key.point, by_name.point))
    assert by_key.loops == by_name.loops


def test_result_fields_and_repr():
    ring = camera_ring(3)
    result = tessmark.triangulate(ring, project(ring, np.array([0.1, 0.2, 0.3])) + 0.2)
    assert result.start.shape == (3,) and result.start.dtype == np.float64
    assert result.point.shape == (3,)
    assert isinstance(result.loops, int) and isinstance(result.global_, bool)
    fields = result.as_dict()
    assert list(fields) == [name.rstrip("_") for name in FIELDS]
    assert "Solvable" in repr(result) and "Global" in repr(result)
    # Read-only, and the arrays are copies: writing into one does not change the result.
    with pytest.raises(AttributeError):
        result.loops = 7
    result.point[0] = 1e9
    assert result.point[0] != 1e9


# ---- bad input: the library's reasons, and the arrays' own errors ----------------------------

def good_point(n=3):
    ring = camera_ring(n)
    return ring, project(ring, np.array([0.1, 0.2, 0.3])) + 0.25


def with_value(array, index, value):
    array = np.array(array)
    array[index] = value
    return array


def refusal_cases():
    cameras, observations = good_point()
    zero_row = with_value(cameras, (1, 2, slice(0, 3)), 0.0)
    k = np.tile(np.eye(3), (3, 1, 1))
    poses = (k, k, np.zeros((3, 3)))
    return [
        ("no view", dict(cameras=np.zeros((0, 3, 4)), observations=np.zeros((0, 2))),
         "no_views", None),
        ("fewer observations", dict(cameras=cameras, observations=observations[:2]),
         "size_mismatch", None),
        ("fewer poses", dict(cameras=cameras, observations=observations,
                             poses=(k[:2], k[:2], np.zeros((2, 3)))), "size_mismatch", None),
        ("pose parts disagree", dict(cameras=cameras, observations=observations,
                                     poses=(k, k[:2], np.zeros((3, 3)))), "size_mismatch", None),
        ("NaN in a camera", dict(cameras=with_value(cameras, (2, 0, 3), np.nan),
                                 observations=observations), "non_finite_camera", 2),
        ("inf in an observation", dict(cameras=cameras,
                                       observations=with_value(observations, (1, 0), np.inf)),
         "non_finite_observation", 1),
        ("NaN in a pose", dict(cameras=cameras, observations=observations,
                               poses=(k, with_value(k, (0, 1, 1), np.nan), np.zeros((3, 3)))),
         "non_finite_pose", 0),
        ("no perspective camera", dict(cameras=zero_row, observations=observations),
         "not_perspective", 1),
        ("unknown key", dict(cameras=cameras, observations=observations, method="x"),
         "unknown_method", None),
        ("key 10", dict(cameras=cameras, observations=observations, method="10"),
         "unknown_method", None),
        ("the other menu's name", dict(cameras=cameras, observations=observations,
                                       method="Gauss-Newton method", rules="vorlant"),
         "unknown_method", None),
        ("unknown rules", dict(cameras=cameras, observations=observations, rules="colmap"),
         "unknown_method", None),
    ]


@pytest.mark.parametrize("case", refusal_cases(), ids=lambda case: case[0])
def test_bad_input_raises_triangulation_error_with_reason_and_view(case):
    _, arguments, reason, view = case
    with pytest.raises(tessmark.TriangulationError) as raised:
        tessmark.triangulate(**arguments)
    assert isinstance(raised.value, ValueError)
    assert raised.value.reason == reason and reason in tessmark.ERROR_REASONS
    assert raised.value.view == view
    message = str(raised.value)
    assert message.startswith("tessmark: ")
    if view is not None:
        assert f"view {view}:" in message


def test_methods_refused_by_name_lookup_too():
    with pytest.raises(tessmark.TriangulationError, match="neither a solver key"):
        tessmark.method_name("Newton", "vorlant")
    with pytest.raises(tessmark.TriangulationError, match="unknown rules"):
        tessmark.method_key("0", "sennick")


def shape_cases():
    cameras, observations = good_point()
    return [
        ("cameras (n, 4, 3)", dict(cameras=cameras.transpose(0, 2, 1), observations=observations),
         ValueError, r"cameras: expected an array of shape \(n, 3, 4\), got shape \(3, 4, 3\)"),
        ("one camera without the stack", dict(cameras=cameras[0], observations=observations[:1]),
         ValueError, r"got shape \(3, 4\)"),
        ("observations (n,)", dict(cameras=cameras, observations=observations[:, 0]),
         ValueError, r"observations: expected an array of shape \(n, 2\), got shape \(3,\)"),
        ("observations homogeneous", dict(cameras=cameras,
                                          observations=np.hstack([observations, np.ones((3, 1))])),
         ValueError, r"got shape \(3, 3\)"),
        ("a scalar", dict(cameras=1.0, observations=observations), ValueError, r"got shape \(\)"),
        ("ragged lists", dict(cameras=[[1, 2], [3]], observations=observations),
         (ValueError, TypeError), ""),
        ("complex", dict(cameras=cameras.astype(complex), observations=observations), TypeError,
         "cameras: expected real numbers.*complex128"),
        ("text", dict(cameras=cameras, observations=observations.astype(str)), TypeError,
         "observations: expected real numbers"),
        ("objects", dict(cameras=cameras.astype(object), observations=observations), TypeError,
         "object"),
        ("long double", dict(cameras=cameras.astype(np.longdouble), observations=observations),
         TypeError, "float128"),
        ("poses not three parts", dict(cameras=cameras, observations=observations,
                                       poses=(np.zeros((3, 3, 3)),)), TypeError, "poses: expected"),
        ("poses a text", dict(cameras=cameras, observations=observations, poses="KRC"),
         TypeError, "poses: expected"),
        ("centre (n, 4)", dict(cameras=cameras, observations=observations,
                               poses=(np.zeros((3, 3, 3)), np.zeros((3, 3, 3)), np.zeros((3, 4)))),
         ValueError, r"poses\[2\] \(centre\): expected an array of shape \(n, 3\)"),
        ("method not a text", dict(cameras=cameras, observations=observations, method=0),
         TypeError, ""),
    ]


@pytest.mark.parametrize("case", shape_cases(), ids=lambda case: case[0])
def test_wrong_shapes_and_types_raise_clear_exceptions(case):
    _, arguments, error, pattern = case
    with pytest.raises(error, match=pattern) as raised:
        tessmark.triangulate(**arguments)
    # Shapes and types are the caller's programming errors, not the library's refusals.
    assert not isinstance(raised.value, tessmark.TriangulationError)


def test_other_real_dtypes_and_layouts_are_converted_exactly():
    cameras, observations = good_point(4)
    reference = tessmark.triangulate(cameras, observations, "2", "sennic")
    # Non-contiguous views (a transposed copy read back through strides, every other row of a
    # larger stack), Fortran order, big-endian, lists, and values that float32 holds exactly.
    wide = np.zeros((8, 3, 4))
    wide[::2] = cameras
    variants = [
        (np.asfortranarray(cameras), observations),
        (wide[::2], observations),
        (np.ascontiguousarray(cameras.transpose(0, 2, 1)).transpose(0, 2, 1), observations.T.copy().T),
        (cameras.astype(">f8"), observations.astype(">f8")),
        (cameras.tolist(), observations.tolist()),
    ]
    for cameras_variant, observations_variant in variants:
        result = tessmark.triangulate(cameras_variant, observations_variant, "2", "sennic")
        assert result.point.tobytes() == reference.point.tobytes()
        assert result.loops == reference.loops
    exact32 = np.round(cameras * 4) / 4  # a quarter-pixel grid: exact in float32
    in64 = tessmark.triangulate(exact32, np.round(observations), "0", "sennic")
    in32 = tessmark.triangulate(exact32.astype(np.float32), np.round(observations).astype(np.int32),
                                "0", "sennic")
    assert in32.point.tobytes() == in64.point.tobytes()


def test_bal_camera_refuses_bad_shapes():
    with pytest.raises(ValueError, match=r"angle_axis: expected an array of shape \(n, 3\)"):
        tessmark.bal_camera(np.zeros((2, 4)), np.zeros((2, 3)), [1, 2])
    with pytest.raises(ValueError, match="hold 2, 3 and 2 cameras"):
        tessmark.bal_camera(np.zeros((2, 3)), np.zeros((3, 3)), [1, 2])
    with pytest.raises(ValueError, match=r"focal: expected an array of shape \(\)"):
        tessmark.bal_camera(np.zeros(3), np.zeros(3), [1.0, 2.0])
    with pytest.raises(TypeError):
        tessmark.bal_camera(np.zeros(3), np.zeros(3), 1 + 2j)


# ---- threads and references -------------------------------------------------------------------

def test_the_gil_is_released_while_the_library_computes():
    # With a switch interval far longer than the test, a thread that holds the GIL never hands it
    # over by itself: the counting thread can only progress while triangulate has released it.
    cameras, observations = good_point(12)
    counted = [0]
    stop = threading.Event()

    def count():
        while not stop.is_set():
            counted[0] += 1
            time.sleep(0)

    interval = sys.getswitchinterval()
    counter = threading.Thread(target=count)
    counter.start()
    time.sleep(0.05)  # the counter runs, and then waits for the GIL
    sys.setswitchinterval(1000.0)
    try:
        before = counted[0]
        deadline = time.monotonic() + 20.0
        calls = 0
        while counted[0] - before < 20 and time.monotonic() < deadline:
            tessmark.triangulate(cameras, observations, "0", "sennic")
            calls += 1
        progressed = counted[0] - before
    finally:
        sys.setswitchinterval(interval)
        stop.set()
        counter.join()
    assert progressed >= 20, f"the other thread counted {progressed} during {calls} calls"


def test_threads_give_the_numbers_of_one(reference, ring_scene):
    expected = [tessmark.triangulate(c, o, "6", "vorlant") for c, o, _ in ring_scene]
    failures = []

    def work():
        for _ in range(5):
            for (c, o, _), want in zip(ring_scene, expected):
                got = tessmark.triangulate(c, o, "6", "vorlant")
                if got.point.tobytes() != want.point.tobytes() or got.loops != want.loops:
                    failures.append((got, want))

    threads = [threading.Thread(target=work) for _ in range(4)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert not failures


def test_no_reference_is_leaked_or_dropped():
    cameras, observations = good_point(5)
    k = np.tile(np.eye(3), (5, 1, 1))
    poses = (k, k, np.zeros((5, 3)))
    listed = observations.tolist()
    watched = [cameras, observations, k, poses, listed]
    counts = [sys.getrefcount(obj) for obj in watched]
    gc.collect()
    for _ in range(2000):
        tessmark.triangulate(cameras, observations, "0", "vorlant", poses)
        tessmark.triangulate(cameras, listed, "1", "sennic")
        for bad in ((cameras, observations[:1]), (cameras.astype(complex), observations),
                    (cameras[:, :2], observations)):
            with pytest.raises((ValueError, TypeError)):
                tessmark.triangulate(*bad)
    del bad  # it holds the last refused arguments
    assert [sys.getrefcount(obj) for obj in watched] == counts
    # The result's arrays belong to the caller: they outlive the result and the inputs.
    result = tessmark.triangulate(cameras, observations)
    point, start = result.point, result.start
    expected = point.copy()
    del result, cameras, observations
    gc.collect()
    assert sys.getrefcount(point) == 2 and sys.getrefcount(start) == 2
    assert np.array_equal(point, expected)


def test_the_error_carries_its_reason_through_the_except_clauses_of_the_standard_library():
    cameras, observations = good_point()
    try:
        tessmark.triangulate(cameras, with_value(observations, (0, 1), np.nan))
    except ValueError as error:
        assert type(error) is tessmark.TriangulationError
        assert (error.reason, error.view) == ("non_finite_observation", 0)
    else:
        pytest.fail("no error")


# ---- the real data sets -----------------------------------------------------------------------

def test_ladybug_key_0_is_the_library_bit_for_bit(reference):
    views, w, t, f = read_bal(data_file("problem-49-7776-pre.txt"))
    cameras = tessmark.bal_camera(w, t, f)
    points = [(cameras.matrix[i], xy, cameras.take(i).pose) for i, xy in views]
    expected = reference.triangulate(points, "vorlant", "0")
    for p, ((c, o, poses), want) in enumerate(zip(points, expected)):
        assert_identical(tessmark.triangulate(c, o, "0", "vorlant", poses), want, context=p)


def test_dinosaur_key_0_is_the_library_bit_for_bit(reference):
    matrices, views = read_lc(data_file("dinosaur.lc"))
    points = [(matrices[i], xy, None) for i, xy in views]
    expected = reference.triangulate(points, "sennic", "0")
    for p, ((c, o, _), want) in enumerate(zip(points, expected)):
        assert_identical(tessmark.triangulate(c, o, "0", "sennic"), want, context=p)


def test_the_package_documents_itself():
    for function in (tessmark.triangulate, tessmark.bal_camera, tessmark.method_name,
                     tessmark.method_key):
        assert function.__doc__ and len(function.__doc__) > 100
    assert "(n, 3, 4)" in tessmark.triangulate.__doc__ and "(n, 2)" in tessmark.triangulate.__doc__
    assert "global_" in tessmark.Triangulation.__doc__
    assert tessmark.TriangulationError.__module__ == "tessmark"
    assert tessmark.Triangulation.__module__ == "tessmark"
    assert set(tessmark.__all__) <= set(dir(tessmark))


def test_the_example_runs():
    import os
    import pathlib
    import subprocess

    script = pathlib.Path(os.environ.get("TESSMARK_EXAMPLES", "")) / "python_triangulate.py"
    if not script.is_file():
        pytest.fail(f"{script}: TESSMARK_EXAMPLES does not name the examples folder")
    done = subprocess.run([sys.executable, str(script)], capture_output=True, text=True, check=True)
    lines = done.stdout.splitlines()
    assert sum(line.startswith("point ") for line in lines) == 5
    assert sum("Newton-Raphson" in line for line in lines) == 5
    assert all("final (" in line for line in lines if "loops" in line)


def report_records(path):
    """The per-point records of a program's Results report: per point the start and final
    coordinates, the loop count, both costs and K_LC distances as printed, and both labels."""
    lines = path.read_text().splitlines()
    first = [i for i, line in enumerate(lines) if line.startswith(("Point No.", "Point  No."))]
    records = []
    for i in first:
        one, two, three = (lines[i + k].split("\t") for k in range(3))
        records.append({
            "start": [one[1].strip(), two[1].strip(), three[1].strip()],
            "point": [one[2].strip(), two[2].strip(), three[2].strip()],
            "loops": int(one[4]),
            "costs": [two[4], three[4]],
            "klc": [two[6], three[6]],
            "labels": [two[7], three[7]],
        })
    return records


def printed(result):
    """A Triangulation as the programs print it in their Results reports."""
    def text(form, value):
        return (form % value).strip().replace("-nan", "nan")
    return {
        "start": [text("%.12f", v) for v in result.start],
        "point": [text("%.15f", v) for v in result.point],
        "loops": result.loops,
        "costs": [text("%.6e", result.start_cost), text("%.6e", result.final_cost)],
        "klc": [text("%.6e", result.klc_start), text("%.6e", result.klc_final)],
        "labels": ["Solvable" if result.solvable else "Hard case",
                   "Global" if result.global_ else "Local"],
    }


@pytest.mark.parametrize("program,data,key", [("vorlant", "problem-49-7776-pre.txt", "0"),
                                              ("sennic", "dinosaur.lc", "0"),
                                              ("sennic", "dinosaur.lc", "2")])
def test_the_real_data_as_the_programs_report_it(tmp_path, program, data, key):
    import os
    import subprocess

    path = data_file(data)
    executable = os.environ.get("TESSMARK_" + program.upper())
    if not executable:
        pytest.fail(f"TESSMARK_{program.upper()} is not set: run these tests through ctest")
    subprocess.run([executable, "--data", str(path), "--algorithm", key, "--output-dir",
                    str(tmp_path), "--color=never"], stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, check=True)
    (report,) = [p for p in tmp_path.iterdir() if "_Results" in p.name]
    records = report_records(report)
    if program == "vorlant":
        views, w, t, f = read_bal(path)
        cameras = tessmark.bal_camera(w, t, f)
        points = [(cameras.matrix[i], xy, cameras.take(i).pose) for i, xy in views]
    else:
        matrices, views = read_lc(path)
        points = [(matrices[i], xy, None) for i, xy in views]
    assert len(records) == len(points)
    for p, ((c, o, poses), record) in enumerate(zip(points, records)):
        assert printed(tessmark.triangulate(c, o, key, program, poses)) == record, p
