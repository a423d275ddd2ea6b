"""Type stub of the package tessmark: per-point triangulation over the C++ library."""

from typing import Dict, Literal, NamedTuple, Optional, Sequence, Tuple, Union

import numpy as np
import numpy.typing as npt

ArrayLike = npt.ArrayLike
Rules = Literal["vorlant", "sennic"]
ErrorReason = Literal[
    "no_views",
    "size_mismatch",
    "too_many_views",
    "non_finite_camera",
    "non_finite_observation",
    "non_finite_pose",
    "not_perspective",
    "unknown_method",
    "bad_options",
    "unknown_point",
    "cannot_open",
    "wrong_header",
    "malformed_file",
]

METHOD_KEYS: Tuple[str, ...]
RULES: Tuple[str, str]
ERROR_REASONS: Tuple[ErrorReason, ...]

class TriangulationError(ValueError):
    """Bad input, refused before anything is computed."""

    reason: ErrorReason
    view: Optional[int]

class Triangulation:
    """The diagnostics of one point (read-only)."""

    @property
    def start(self) -> npt.NDArray[np.float64]: ...  # shape (3,)
    @property
    def point(self) -> npt.NDArray[np.float64]: ...  # shape (3,)
    @property
    def loops(self) -> int: ...
    @property
    def cap_reached(self) -> bool: ...
    @property
    def hessian_modified(self) -> bool: ...
    @property
    def start_cost(self) -> float: ...
    @property
    def final_cost(self) -> float: ...
    @property
    def gamma_start(self) -> float: ...
    @property
    def gamma_final(self) -> float: ...
    @property
    def rho_start(self) -> float: ...
    @property
    def rho_final(self) -> float: ...
    @property
    def klc_start(self) -> float: ...
    @property
    def klc_final(self) -> float: ...
    @property
    def psd(self) -> bool: ...
    @property
    def solvable(self) -> bool: ...
    @property
    def global_(self) -> bool: ...
    def as_dict(self) -> Dict[str, Union[npt.NDArray[np.float64], int, float, bool]]: ...

class BalCamera(NamedTuple):
    matrix: npt.NDArray[np.float64]  # (3, 4) or (m, 3, 4)
    calibration: npt.NDArray[np.float64]  # (3, 3) or (m, 3, 3)
    rotation: npt.NDArray[np.float64]  # (3, 3) or (m, 3, 3)
    centre: npt.NDArray[np.float64]  # (3,) or (m, 3)
    @property
    def pose(
        self,
    ) -> Tuple[npt.NDArray[np.float64], npt.NDArray[np.float64], npt.NDArray[np.float64]]: ...
    def take(self, indices: ArrayLike) -> "BalCamera": ...

def triangulate(
    cameras: ArrayLike,  # (n, 3, 4)
    observations: ArrayLike,  # (n, 2)
    method: str = "0",
    rules: Rules = "vorlant",
    poses: Optional[Sequence[ArrayLike]] = None,  # ((n, 3, 3), (n, 3, 3), (n, 3))
) -> Triangulation: ...
def bal_camera(
    angle_axis: ArrayLike,  # (3,) or (m, 3)
    translation: ArrayLike,  # (3,) or (m, 3)
    focal: Union[float, ArrayLike],  # a number or (m,)
) -> BalCamera: ...
def method_name(method: str, rules: Rules = "vorlant") -> str: ...
def method_key(method: str, rules: Rules = "vorlant") -> str: ...
