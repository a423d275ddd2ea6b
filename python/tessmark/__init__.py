"""Tessmark's per-point triangulation from Python, with numpy arrays in and out.

Hand ``triangulate`` the 3x4 camera matrices and the image observations of one 3D point, choose one
of the eleven local solvers of a program's menu, and get the closed-form start, the final point, the
solver's loop count and the judgement of both points, exactly as the C++ library
(``tessmark/triangulate.hpp``) and the programs ``vorlant`` and ``sennic`` compute them.

    >>> import numpy as np, tessmark
    >>> result = tessmark.triangulate(cameras, observations, method="0", rules="sennic")
    >>> result.point, result.final_cost, result.solvable, result.global_

Contents:
    triangulate(cameras, observations, method="0", rules="vorlant", poses=None) -> Triangulation
    bal_camera(angle_axis, translation, focal) -> BalCamera
    method_name(method, rules="vorlant"), method_key(method, rules="vorlant")
    METHOD_KEYS, RULES, ERROR_REASONS
    Triangulation, BalCamera, TriangulationError

Arrays: every array argument may be any array_like of real numbers. float64 arrays are read as they
are, whatever their strides (non-contiguous views are fine); other values are converted by numpy when
they convert to float64 exactly (bool, integers, float16, float32); complex numbers, objects, text and
long doubles are refused with a TypeError. A wrong shape raises a ValueError naming the argument, the
shape expected and the shape given. The arrays are only read during the call: nothing keeps them.

Threads: the GIL is released while the library computes, so several Python threads triangulate in
parallel; each thread has its own room for the library's work.
"""

from typing import NamedTuple, Tuple

import numpy as np

from . import _tessmark
from ._tessmark import ERROR_REASONS, METHOD_KEYS, Triangulation, TriangulationError

__all__ = [
    "triangulate",
    "bal_camera",
    "method_name",
    "method_key",
    "METHOD_KEYS",
    "RULES",
    "ERROR_REASONS",
    "Triangulation",
    "BalCamera",
    "TriangulationError",
]

#: The two programs' rules, by name: whose solver copies run and how the points are judged.
RULES = ("vorlant", "sennic")

Triangulation.__doc__ = """The diagnostics of one point (read-only).

Suffix or prefix "start": at the start x_m (the symmedian point); "final": at the solver's final
point x_f. The names are those of the columns of tessmark-compare's points.csv.

Attributes:
    start (ndarray, shape (3,)): x_m, the symmedian point, nearest to the viewing rays.
    point (ndarray, shape (3,)): x_f, the solver's final iterate (non-finite when it diverged).
    loops (int): the solver's loop count, as the programs report it.
    cap_reached (bool): the solver stopped at its own loop cap.
    hessian_modified (bool): some Hessian had to be made positive definite.
    start_cost, final_cost (float): the sum of squared reprojection residuals (not halved).
    gamma_start, gamma_final (float): their square roots.
    rho_start, rho_final (float): 1/m, m the largest real part of the eigenvalues of
        (J^T J)^-1 N; rho > 1 or rho < 0 means the cost is locally convex; infinite at a point
        that reprojects exactly.
    klc_start, klc_final (float): the K_LC distances, under the rules' measure.
    psd (bool): the Hessian at x_f is positive semidefinite.
    solvable (bool): "Solvable" (True) or "Hard case" (False).
    global_ (bool): "Global" (True) or "Local" (False); any NaN makes it False.

start and point return a new array on each access.
"""


def _triangulation_as_dict(self):
    """The fields as a dict, keyed by the names of points.csv ("global" for global_)."""
    return {
        "start": self.start,
        "point": self.point,
        "loops": self.loops,
        "cap_reached": self.cap_reached,
        "hessian_modified": self.hessian_modified,
        "start_cost": self.start_cost,
        "final_cost": self.final_cost,
        "gamma_start": self.gamma_start,
        "gamma_final": self.gamma_final,
        "rho_start": self.rho_start,
        "rho_final": self.rho_final,
        "klc_start": self.klc_start,
        "klc_final": self.klc_final,
        "psd": self.psd,
        "solvable": self.solvable,
        "global": self.global_,
    }


def _triangulation_repr(self):
    return (
        f"Triangulation(point={np.array2string(self.point, precision=6)}, loops={self.loops}, "
        f"final_cost={self.final_cost:.6g}, "
        f"{'Solvable' if self.solvable else 'Hard case'}, {'Global' if self.global_ else 'Local'})"
    )


Triangulation.as_dict = _triangulation_as_dict
Triangulation.__repr__ = _triangulation_repr


def triangulate(cameras, observations, method="0", rules="vorlant", poses=None):
    """Triangulate one 3D point seen in n >= 1 views: start, solve and judge it.

    Args:
        cameras: array_like, shape (n, 3, 4). View v's camera matrix P_v; a point X is seen at
            x = (p1 . X~) / (p3 . X~), y = (p2 . X~) / (p3 . X~), X~ = (X, 1), p1..p3 P's rows.
        observations: array_like, shape (n, 2). View v's image point (x, y), in P's units.
        method: str. The solver: a key of METHOD_KEYS ("0".."9", "other") or the selected name
            as that program writes it (method_name gives it), e.g. "0" or "Newton-Raphson".
        rules: str. "vorlant" (the BAL program) or "sennic" (the .lc program): whose copy of the
            solver runs and how both points are judged.
        poses: None, or a sequence (calibration, rotation, centre) of array_likes of shapes
            (n, 3, 3), (n, 3, 3), (n, 3): each view's K, R (world to camera) and camera centre C,
            with P = s K R [I | -C]. They set only the start's viewing rays. None: derived from P
            as sennic derives them (sennic's numbers exactly); for vorlant's numbers exactly, pass
            the poses of bal_camera().

    Returns:
        Triangulation: start and point (arrays of shape (3,)), loops, the flags, the costs,
        gamma, rho and K_LC at both points, and the labels solvable and global_.

    Raises:
        TriangulationError (a ValueError): bad input, refused before anything is solved, with
            .reason (one of ERROR_REASONS) and .view (the 0-based view, or None): no view, sizes
            that disagree, a non-finite camera, observation or pose (NaN, inf), a camera matrix
            that is no perspective camera, an unknown method or rules.
        ValueError: an array of the wrong shape.
        TypeError: values that do not convert to float64 exactly (complex, object, text), or
            poses that are not a sequence of three arrays.

    A solver that diverges is no error: its final point is non-finite and it is judged Local.
    The GIL is released while the library computes.
    """
    return _tessmark.triangulate(cameras, observations, method, rules, poses)


class BalCamera(NamedTuple):
    """A BAL camera as vorlant prepares it (see bal_camera).

    For one camera the shapes are (3, 4), (3, 3), (3, 3), (3,); for m cameras the same with a
    leading m.

    Attributes:
        matrix: P = [K R | K t].
        calibration: K = diag(-f, -f, 1).
        rotation: R, world to camera, by Rodrigues' formula.
        centre: C = -R^T t.
    """

    matrix: np.ndarray
    calibration: np.ndarray
    rotation: np.ndarray
    centre: np.ndarray

    @property
    def pose(self) -> Tuple[np.ndarray, np.ndarray, np.ndarray]:
        """(calibration, rotation, centre): the poses argument of triangulate."""
        return (self.calibration, self.rotation, self.centre)

    def take(self, indices) -> "BalCamera":
        """The cameras at indices (an integer array, shape (n,)) of a stack of m cameras: the
        cameras of one point's views, in view order, e.g.
        triangulate(c.matrix, observations, poses=c.take(indices).pose)."""
        indices = np.asarray(indices)
        return BalCamera(*(part[indices] for part in self))


def bal_camera(angle_axis, translation, focal):
    """A BAL camera's matrix and pose, as vorlant prepares them.

    Args:
        angle_axis: array_like, shape (3,) or (m, 3). The rotation w (angle-axis); R by Rodrigues'
            formula, the identity when |w| is below the machine epsilon.
        translation: array_like, shape (3,) or (m, 3). t.
        focal: float, or array_like of shape (m,). The focal length f (radial distortion is
            ignored).

    Returns:
        BalCamera(matrix, calibration, rotation, centre) of shapes (3, 4), (3, 3), (3, 3), (3,),
        or (m, 3, 4), (m, 3, 3), (m, 3, 3), (m, 3) for m cameras: P = [K R | K t],
        K = diag(-f, -f, 1), C = -R^T t. A world point X is seen at x = -f Xc[0] / Xc[2],
        y = -f Xc[1] / Xc[2], Xc = R X + t. Pass .pose as triangulate's poses to get vorlant's
        numbers exactly.
    """
    return BalCamera(*_tessmark.bal_camera(angle_axis, translation, focal))


def method_name(method, rules="vorlant"):
    """The selected name of a solver, as the program of rules echoes it and writes it to its
    reports: method_name("1", "vorlant") == "Gauss-Newton". method is a key of METHOD_KEYS or a
    name; raises TriangulationError (reason "unknown_method") for any other text."""
    return _tessmark.method_name(method, rules)


def method_key(method, rules="vorlant"):
    """The menu key ("0".."9", "other") of a solver given by its key or its selected name under
    rules; raises TriangulationError (reason "unknown_method") for any other text."""
    return _tessmark.method_key(method, rules)
