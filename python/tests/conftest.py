"""Fixtures of the package's tests: synthetic scenes made with numpy, the C++ reference program
(reference.cpp, over the public library) that computes what the module must give bit for bit, and
readers of the real data sets (which skip when the data folder is absent)."""

import math
import os
import pathlib
import subprocess

import numpy as np
import pytest

import tessmark

# The fields of a Triangulation in the order the reference program prints them.
FIELDS = (
    "start", "point", "loops", "cap_reached", "hessian_modified", "start_cost", "final_cost",
    "gamma_start", "gamma_final", "rho_start", "rho_final", "klc_start", "klc_final", "psd",
    "solvable", "global_",
)


def looking_at_origin(centre, focal=800.0):
    """P = K [R | -R C] of a camera at centre looking at the origin."""
    centre = np.asarray(centre, dtype=float)
    forward = -centre / np.linalg.norm(centre)
    right = np.cross(forward, [0.0, 1.0, 0.0])
    right /= np.linalg.norm(right)
    rotation = np.stack([right, np.cross(forward, right), forward])
    k = np.array([[focal, 0, 320], [0, focal, 240], [0, 0, 1]])
    return k @ np.hstack([rotation, (-rotation @ centre)[:, None]])


def camera_ring(count, radius=8.0):
    """count cameras on a tilted ring around the origin, all looking at it."""
    angles = 2 * math.pi * np.arange(count) / count
    return np.stack(
        [looking_at_origin([radius * math.cos(a), 1.0 + 0.5 * math.sin(3 * a), radius * math.sin(a)])
         for a in angles])


def project(cameras, point):
    """The images of a world point in a stack of cameras: shape (n, 2)."""
    image = cameras @ np.append(point, 1.0)
    return image[:, :2] / image[:, 2:]


class Reference:
    """The C++ reference program: requests in, the library's results out, as exact doubles."""

    def __init__(self):
        path = os.environ.get("TESSMARK_REFERENCE")
        if not path:
            pytest.fail("TESSMARK_REFERENCE is not set: run these tests through ctest")
        self.path = path

    def _run(self, text):
        done = subprocess.run([self.path], input=text, capture_output=True, text=True, check=True)
        return done.stdout.splitlines()

    @staticmethod
    def _numbers(values):
        return " ".join(float(v).hex() for v in np.ravel(values))

    def triangulate(self, points, rules, key):
        """points: (cameras, observations, poses or None) per point. Returns per point a dict of
        the fields, or ("error", reason index, view)."""
        lines = []
        for cameras, observations, poses in points:
            lines.append(f"point {rules} {key} {len(cameras)} {0 if poses is None else 1}")
            for v in range(len(cameras)):
                parts = [cameras[v], observations[v]]
                if poses is not None:
                    parts += [poses[0][v], poses[1][v], poses[2][v]]
                lines.append(" ".join(self._numbers(p) for p in parts))
        results = []
        for line in self._run("\n".join(lines) + "\n"):
            words = line.split()
            if words[0] == "error":
                results.append(("error", int(words[1]), int(words[2])))
                continue
            values = words[1:]
            result = {
                "start": [float.fromhex(w) for w in values[0:3]],
                "point": [float.fromhex(w) for w in values[3:6]],
                "loops": int(values[6]),
                "cap_reached": values[7] == "1",
                "hessian_modified": values[8] == "1",
            }
            for name, word in zip(FIELDS[5:13], values[9:17]):
                result[name] = float.fromhex(word)
            for name, word in zip(FIELDS[13:], values[17:20]):
                result[name] = word == "1"
            results.append(result)
        assert len(results) == len(points)
        return results

    def bal_cameras(self, angle_axes, translations, focals):
        """Per camera (matrix, calibration, rotation, centre) as the library makes them."""
        lines = [f"bal {self._numbers(w)} {self._numbers(t)} {float(f).hex()}"
                 for w, t, f in zip(angle_axes, translations, focals)]
        cameras = []
        for line in self._run("\n".join(lines) + "\n"):
            values = np.array([float.fromhex(w) for w in line.split()[1:]])
            cameras.append((values[:12].reshape(3, 4), values[12:21].reshape(3, 3),
                            values[21:30].reshape(3, 3), values[30:33]))
        return cameras


@pytest.fixture(scope="session")
def reference():
    return Reference()


def same_double(a, b):
    """Bit for bit (every NaN alike: the sign of a NaN is not part of the contract)."""
    a, b = float(a), float(b)
    return (math.isnan(a) and math.isnan(b)) or a.hex() == b.hex()


def assert_identical(result, expected, context=""):
    """A Triangulation equals the reference's fields bit for bit."""
    for name in FIELDS:
        got, want = getattr(result, name), expected[name]
        if name in ("start", "point"):
            assert all(same_double(g, w) for g, w in zip(got, want)), (context, name, got, want)
        elif isinstance(want, float):
            assert same_double(got, want), (context, name, got, want)
        else:
            assert got == want, (context, name, got, want)


def data_file(name):
    """A real data set, or a skip when the data folder (TESSMARK_DATA_DIR) does not hold it."""
    folder = os.environ.get("TESSMARK_DATA_DIR", "")
    path = pathlib.Path(folder) / name
    if not folder or not path.is_file():
        pytest.skip(f"{name}: no real data in {folder or '(TESSMARK_DATA_DIR not set)'}")
    return path


def read_bal(path):
    """A BAL problem with its header-ID line: per point (camera indices, observations), and the
    cameras' angle-axes, translations and focal lengths."""
    with open(path) as file:
        file.readline()
        cameras, points, count = (int(w) for w in file.readline().split())
        table = np.loadtxt(file, max_rows=count)
        parameters = np.loadtxt(file, max_rows=9 * cameras).reshape(cameras, 9)
    camera_index = table[:, 0].astype(int)
    point_index = table[:, 1].astype(int)
    order = np.argsort(point_index, kind="stable")
    bounds = np.searchsorted(point_index[order], np.arange(points + 1))
    views = [(camera_index[order[a:b]], table[order[a:b], 2:4]) for a, b in zip(bounds, bounds[1:])]
    return views, parameters[:, 0:3], parameters[:, 3:6], parameters[:, 6]


def read_lc(path):
    """A .lc set: the camera matrices, and per point (camera indices, observations)."""
    with open(path) as file:
        file.readline()
        cameras = int(file.readline().split()[0])
        points = int(file.readline().split()[0])
        matrices = np.array([[float(w) for w in file.readline().split()[:12]]
                             for _ in range(cameras)]).reshape(cameras, 3, 4)
        views = []
        for _ in range(points):
            row = np.array([float(w) for w in file.readline().split()[:2 * cameras]])
            xy = row.reshape(cameras, 2)
            seen = np.flatnonzero(~((xy[:, 0] == -1) & (xy[:, 1] == -1)))
            views.append((seen, xy[seen]))
    return matrices, views
