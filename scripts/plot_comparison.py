#!/usr/bin/env python3
"""Draws the pictures of a solver comparison from DIR/points.csv, as tessmark-compare writes it.

    python3 scripts/plot_comparison.py DIR [--title TEXT]

writes
    DIR/cost_profile.png  performance profile of the final cost
    DIR/time_profile.png  performance profile of the solve time
    DIR/loops.png         histogram of the loop counts, one panel per solver

A performance profile (Dolan and More, 2002) shows, for each solver s, the fraction rho_s(tau) of
the points whose ratio r = value / best value of that point is at most tau, over a logarithmic tau
axis. The ratios are the CSV's cost_ratio and time_ratio columns (tessmark-compare computes them); a
point the solver did not solve has r = inf and never counts, so a curve ends below 1 by the
fraction of such points. tessmark-compare runs this script itself (it carries a copy) when Python
can import matplotlib (Debian: python3-matplotlib).
"""

import csv
import math
import os
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402  (after the backend is chosen)

LINE_STYLES = ["-", "--", "-.", ":"]


def read_rows(folder):
    """The columns the pictures need, (cost_ratio, time_ratio, loops) per row, grouped by solver in
    the order of the file."""
    solvers = {}
    with open(os.path.join(folder, "points.csv"), newline="", encoding="utf-8") as file:
        rows = csv.reader(file)
        header = next(rows)
        key, name, cost, time, loops = (header.index(column) for column in
                                        ("key", "solver", "cost_ratio", "time_ratio", "loops"))
        for row in rows:
            solvers.setdefault(row[key] + ": " + row[name], []).append(
                {"cost_ratio": row[cost], "time_ratio": row[time], "loops": row[loops]})
    return solvers


def style(index):
    colours = plt.get_cmap("tab20").colors
    return {"color": colours[(2 * index) % 20 + (index // 10) % 2],
            "linestyle": LINE_STYLES[index % len(LINE_STYLES)]}


def draw_profile(solvers, column, what, title, path):
    ratios = {label: sorted(float(row[column]) for row in rows) for label, rows in solvers.items()}
    finite = [r for values in ratios.values() for r in values if math.isfinite(r)]
    largest = max(finite, default=1.0)
    right = max(2.0, largest * 1.25)
    figure, axes = plt.subplots(figsize=(10, 6), layout="constrained")
    lowest = 1.0  # the smallest fraction at tau = 1 + 1e-9: the y axis starts a little below it
    for index, (label, values) in enumerate(ratios.items()):
        count = len(values)
        xs, ys = [1.0], [0.0]
        solved = 0
        for r in values:
            if not math.isfinite(r):
                break
            solved += 1
            xs.append(max(r, 1.0))
            ys.append(solved / count)
        lowest = min(lowest, sum(1 for r in values if r <= 1.0 + 1e-9) / max(count, 1))
        xs.append(right)
        ys.append(ys[-1])
        axes.step(xs, ys, where="post", label=label, linewidth=1.4, **style(index))
    axes.set_xscale("log", base=2)
    axes.set_xlim(1.0, right)
    # When every solver finds the best value for most points, the curves differ only near the
    # top: the axis then starts at a round value below the lowest curve.
    bottom = max(0.0, math.floor((lowest - 0.02) * 20) / 20)
    axes.set_ylim(bottom, 1.0 + 0.02 * (1.0 - bottom))
    axes.set_xlabel("tau: " + what + " within a factor tau of the best solver's for the point")
    axes.set_ylabel("fraction of points")
    axes.set_title(title)
    axes.grid(True, which="both", alpha=0.3)
    # Profiles rise towards the upper left; the lower right is usually free.
    if ratios:  # a data set without points has no curves
        axes.legend(loc="lower right", fontsize=8, framealpha=0.85)
    figure.savefig(path, dpi=80)
    plt.close(figure)


def loop_edges(most):
    """Bin edges for loop counts 0..most: one bin per count up to 10, then about 30 bins spread
    evenly on a logarithmic scale, so that a loop cap far beyond the usual counts keeps them
    readable."""
    edges = [b - 0.5 for b in range(0, min(most, 10) + 2)]
    if most > 10:
        ratio = ((most + 0.5) / edges[-1]) ** (1 / 30)
        while edges[-1] < most + 0.5:
            edges.append(min(max(edges[-1] + 1, round(edges[-1] * ratio + 0.5) - 0.5), most + 0.5))
    return edges


def draw_loops(solvers, title, path):
    loops = {label: [int(row["loops"]) for row in rows] for label, rows in solvers.items()}
    most = max((max(values, default=0) for values in loops.values()), default=0)
    columns = 4
    panels = max(1, len(loops))
    lines = (panels + columns - 1) // columns
    figure, grid = plt.subplots(lines, columns, figsize=(12, 2.4 * lines), sharex=True,
                                squeeze=False, layout="constrained")
    edges = loop_edges(most)
    for index, axes in enumerate(grid.flat):
        if index >= len(loops):
            axes.set_visible(False)
            continue
        label, values = list(loops.items())[index]
        axes.hist(values, bins=edges, color=style(index)["color"])
        axes.set_xscale("symlog", linthresh=10)
        axes.set_yscale("log")
        axes.set_title(label if len(label) <= 42 else label[:40] + "...", fontsize=8)
        axes.tick_params(labelsize=7)
    figure.supxlabel("loops")
    figure.supylabel("points")
    figure.suptitle(title)
    figure.savefig(path, dpi=80)
    plt.close(figure)


def main(arguments):
    if not arguments or arguments[0].startswith("-"):
        sys.stderr.write(__doc__)
        return 2
    folder = arguments[0]
    name = arguments[2] if len(arguments) >= 3 and arguments[1] == "--title" else folder
    solvers = read_rows(folder)
    draw_profile(solvers, "cost_ratio", "final cost", "Final cost: performance profile, " + name,
                 os.path.join(folder, "cost_profile.png"))
    draw_profile(solvers, "time_ratio", "solve time", "Solve time: performance profile, " + name,
                 os.path.join(folder, "time_profile.png"))
    draw_loops(solvers, "Loop counts, " + name, os.path.join(folder, "loops.png"))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
