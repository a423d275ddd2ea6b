#!/usr/bin/env python3
"""The comparison's figure script on a small hand-made points.csv: every figure in every format
(the SVG parses as XML, the PDF has its header, the PNG its size and resolution), its command line,
and the choices of axes that keep the figures readable.

    python3 tests/compare/plot_script_test.py scripts/plot_comparison.py

Exits 77 (CTest's skip) when matplotlib cannot be imported.
"""

import importlib.util
import os
import struct
import subprocess
import sys
import tempfile
import unittest
import xml.etree.ElementTree as ElementTree

SCRIPT = os.path.abspath(sys.argv[1]) if len(sys.argv) > 1 else ""

HEADER = ("point,views,key,solver,loops,cap_reached,hessian_modified,start_cost,final_cost,final_x,"
          "final_y,final_z,rho_start,rho_final,klc_start,klc_final,psd,solvable,global,"
          "start_seconds,solve_seconds,cost_ratio,time_ratio")


def points_csv(rows):
    """rows: (key, solver, loops, cost_ratio, time_ratio), the other columns filled in."""
    lines = [HEADER]
    for point, (key, solver, loops, cost, time) in enumerate(rows):
        solver = f'"{solver}"' if "," in solver else solver
        lines.append(f"{point + 1},3,{key},{solver},{loops},false,false,1,1,0,0,0,1,1,0,0,true,"
                     f"true,true,1e-06,1e-06,{cost},{time}")
    return "\r\n".join(lines) + "\r\n"


def png_size_and_dpi(data):
    """(width, height) from IHDR and the horizontal dots per inch from pHYs (0 without it)."""
    width, height = struct.unpack(">II", data[16:24])
    dpi = 0.0
    at = data.find(b"pHYs")
    if at > 0:
        per_unit, _, unit = struct.unpack(">IIB", data[at + 4:at + 13])
        dpi = per_unit * 0.0254 if unit == 1 else 0.0
    return width, height, dpi


def load_script():
    script_spec = importlib.util.spec_from_file_location("plot_comparison", SCRIPT)
    module = importlib.util.module_from_spec(script_spec)
    script_spec.loader.exec_module(module)
    return module


class Figures(unittest.TestCase):
    def run_script(self, *arguments):
        return subprocess.run([sys.executable, SCRIPT, *arguments], capture_output=True,
                              text=True, timeout=300)

    # Three solvers, one with a failed point and a cost outlier, one that reaches the loop cap, a
    # folder whose name begins with a dash and a title with a comma.
    def test_every_figure_in_every_format(self):
        rows = []
        for point in range(12):
            rows.append(("0", "Newton-Raphson", 4 + point % 3, 1.0, 1.0 + point / 10))
            rows.append(("1", "Gauss-Newton, capped", 1000 if point < 3 else 5,
                         "inf" if point == 0 else 1.0 + point * 1e-3, "inf" if point == 0 else 3.0))
            rows.append(("other", "Default", 3, 2e15 if point == 1 else 1.0, 1.0))
        rows.sort(key=lambda row: row[0])
        with tempfile.TemporaryDirectory() as scratch:
            folder = os.path.join(scratch, "-figures")
            os.mkdir(folder)
            with open(os.path.join(folder, "points.csv"), "w", newline="") as file:
                file.write(points_csv(rows))
            run = self.run_script("--title", "a, b", "--", folder)
            self.assertEqual(run.returncode, 0, run.stderr)
            self.assertEqual(run.stdout, f"  drawing the figures into {folder} ...\n")
            for figure in ("cost_profile", "time_profile", "loops"):
                with self.subTest(figure=figure):
                    with open(os.path.join(folder, figure + ".png"), "rb") as file:
                        png = file.read()
                    self.assertTrue(png.startswith(b"\x89PNG\r\n\x1a\n"))
                    width, height, dpi = png_size_and_dpi(png)
                    self.assertGreaterEqual(dpi, 200)
                    # One column of a paper (3.5 in) for the profiles, both columns for the loops.
                    inches = 7.0 if figure == "loops" else 3.5
                    self.assertAlmostEqual(width / dpi, inches, delta=0.05)
                    self.assertLess(height / dpi, 9.0)
                    with open(os.path.join(folder, figure + ".pdf"), "rb") as file:
                        self.assertTrue(file.read().startswith(b"%PDF-"))
                    svg = ElementTree.parse(os.path.join(folder, figure + ".svg")).getroot()
                    self.assertEqual(svg.tag, "{http://www.w3.org/2000/svg}svg")
                    # Text stays text: the title and the solvers can be found and edited.
                    text = "".join(svg.itertext())
                    self.assertIn("a, b", text)
                    self.assertIn("Newton-Raphson", text)
                    if figure != "loops":
                        self.assertIn("1 failed", text)

    def test_command_line(self):
        for arguments in ([], ["--no-such-option", "x"], ["a", "b"]):
            with self.subTest(arguments=arguments):
                run = self.run_script(*arguments)
                self.assertEqual(run.returncode, 2)
                self.assertIn("usage: plot_comparison.py [--title TEXT] [--] DIR", run.stderr)
                self.assertEqual(run.stdout, "")
        with tempfile.TemporaryDirectory() as scratch:
            run = self.run_script("--", os.path.join(scratch, "-missing"))
            self.assertNotEqual(run.returncode, 0)
            self.assertIn("points.csv", run.stderr)


class Axes(unittest.TestCase):
    def setUp(self):
        self.script = load_script()

    # One bin per count up to 10, then bins of equal log width, none empty of counts, the last
    # ending just past the largest count.
    def test_loop_bins_cover_every_count(self):
        for most in (0, 1, 10, 11, 12, 50, 1000, 100000):
            with self.subTest(most=most):
                edges = self.script.loop_edges(most)
                self.assertEqual(edges[0], -0.5)
                self.assertEqual(edges[-1], most + 0.5)
                self.assertTrue(all(b - a >= 1 for a, b in zip(edges, edges[1:])))
                self.assertEqual(edges[:min(most, 10) + 2],
                                 [b - 0.5 for b in range(min(most, 10) + 2)])
                self.assertLessEqual(len(edges), 12 + 20)

    # The tau axis covers every ratio of a small set and of a set whose largest ratio is modest; a
    # single outlier among thousands of points does not stretch it; failures never count.
    def test_tau_axis_ends_where_the_curves_stop_changing(self):
        end = self.script.tau_axis_end
        inf = float("inf")
        self.assertEqual(end({"a": [1.0, 1.0, inf]}), 1.0)
        self.assertAlmostEqual(end({"a": [1.0, 3.0], "b": [1.0, 1.5]}), 1.05 * 1.5849625, 5)
        many = [1.0] * 4000 + [2.0] * 1000
        self.assertEqual(end({"a": many + [2.0 ** 40]}), 1.05)
        self.assertEqual(end({"a": many + [2.0 ** 40] * 6}), 42.0)
        self.assertEqual(end({"a": many + [2000.0]}), 12.0)


if __name__ == "__main__":
    try:
        import matplotlib  # noqa: F401  (only whether it imports)
    except ImportError:
        print("skipped: this Python cannot import matplotlib")
        sys.exit(77)
    unittest.main(argv=sys.argv[:1])
