"""Five cameras on a ring see five points; their images are up to a pixel off. Three solvers of the
.lc program's menu triangulate every point from the same symmedian start, and each result is judged.

    PYTHONPATH=build/python /usr/bin/python3 examples/python_triangulate.py
"""

import numpy as np

import tessmark


def looking_at_origin(centre, focal=800.0):
    """P = K [R | -R C] of a camera at centre looking at the origin."""
    forward = -centre / np.linalg.norm(centre)
    right = np.cross(forward, [0.0, 1.0, 0.0])
    right /= np.linalg.norm(right)
    rotation = np.stack([right, np.cross(forward, right), forward])
    k = np.array([[focal, 0, 320], [0, focal, 240], [0, 0, 1]])
    return k @ np.hstack([rotation, (-rotation @ centre)[:, None]])


angles = np.linspace(0, 2 * np.pi, 5, endpoint=False)
cameras = np.stack([looking_at_origin(np.array([8 * np.cos(a), 1.5, 8 * np.sin(a)]))
                    for a in angles])                              # shape (5, 3, 4)
rng = np.random.default_rng(2014)
points = rng.uniform(-0.5, 0.5, (5, 3))

for p, point in enumerate(points):
    images = cameras @ np.append(point, 1.0)                        # shape (5, 3)
    observations = images[:, :2] / images[:, 2:] + rng.uniform(-1, 1, (5, 2))
    print(f"point {p}: true ({point[0]:.6f}, {point[1]:.6f}, {point[2]:.6f})")
    for key in ("0", "2", "6"):
        t = tessmark.triangulate(cameras, observations, method=key, rules="sennic")
        print(f"  {key}: {tessmark.method_name(key, 'sennic')}")
        print(f"     final ({t.point[0]:.6f}, {t.point[1]:.6f}, {t.point[2]:.6f})"
              f"  R.E. {t.start_cost:.3e} -> {t.final_cost:.3e}  {t.loops} loops"
              f"  {'Solvable' if t.solvable else 'Hard case'}, {'Global' if t.global_ else 'Local'}")
