"""Microseconds per point: a Python loop of tessmark.triangulate calls against the C++ library's
Triangulator on the same points (the pytest suite's reference program, timed in C++).

    build/python/tessmark-python bench/python_triangulate.py BUILD_DIR [DATA_FILE] [KEY] [REPEAT]

DATA_FILE: a BAL problem with its header-ID line (triangulated under vorlant's rules with the BAL
poses) or a .lc set (sennic's rules); default: Ladybug in ../shared/data beside the checkout.
Use a Release build, on a machine that is otherwise quiet.
"""

import pathlib
import subprocess
import sys
import time

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / "python" / "tests"))

import tessmark  # noqa: E402
from conftest import Reference, read_bal, read_lc  # noqa: E402


def main():
    build = pathlib.Path(sys.argv[1])
    root = pathlib.Path(__file__).resolve().parents[1]
    data = pathlib.Path(sys.argv[2]) if len(sys.argv) > 2 else (
        root.parent / "shared" / "data" / "problem-49-7776-pre.txt")
    key = sys.argv[3] if len(sys.argv) > 3 else "0"
    repeat = int(sys.argv[4]) if len(sys.argv) > 4 else 5

    if data.suffix == ".lc":
        rules = "sennic"
        matrices, views = read_lc(data)
        points = [(matrices[i], xy, None) for i, xy in views]
    else:
        rules = "vorlant"
        views, w, t, f = read_bal(data)
        cameras = tessmark.bal_camera(w, t, f)
        points = [(cameras.matrix[i], xy, cameras.take(i).pose) for i, xy in views]

    best_python = float("inf")
    for _ in range(repeat):
        begin = time.perf_counter()
        for c, o, poses in points:
            tessmark.triangulate(c, o, key, rules, poses)
        best_python = min(best_python, time.perf_counter() - begin)

    reference = Reference.__new__(Reference)
    reference.path = str(build / "python" / "tests" / "tessmark_python_reference")
    lines = [f"repeat {repeat}"]
    for c, o, poses in points:
        lines.append(f"point {rules} {key} {len(c)} {0 if poses is None else 1}")
        for v in range(len(c)):
            parts = [c[v], o[v]] + ([] if poses is None else [poses[0][v], poses[1][v], poses[2][v]])
            lines.append(" ".join(Reference._numbers(p) for p in parts))
    done = subprocess.run([reference.path], input="\n".join(lines) + "\n", capture_output=True,
                          text=True, check=True)
    _, seconds, count = done.stdout.splitlines()[-1].split()
    assert int(count) == len(points)
    cpp = float(seconds)

    n = len(points)
    print(f"{data.name}, key {key} ({tessmark.method_name(key, rules)}), {n} points")
    print(f"  Python loop of tessmark.triangulate: {1e6 * best_python / n:8.2f} us/point (best of {repeat} passes)")
    print(f"  C++ Triangulator::triangulate:       {1e6 * cpp / n:8.2f} us/point (best of {repeat} passes)")
    print(f"  overhead of the Python call:         {1e6 * (best_python - cpp) / n:8.2f} us/point")


if __name__ == "__main__":
    main()
