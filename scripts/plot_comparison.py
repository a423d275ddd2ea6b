#!/usr/bin/env python3
"""Draws the figures of a solver comparison from DIR/points.csv, as tessmark-compare writes it.

    python3 scripts/plot_comparison.py [--title TEXT] [--] DIR

writes, each as .png (300 dpi), .pdf and .svg, sized for one column of a paper
    DIR/cost_profile.*  performance profile of the final cost
    DIR/time_profile.*  performance profile of the solve time
    DIR/loops.*         histograms of the loop counts, one panel per solver (two columns wide)

A performance profile (Dolan and More, 2002) shows, for each solver s, the fraction rho_s(tau) of
the points whose ratio r = value / best value of that point is at most tau, over log2(tau). The
ratios are the CSV's cost_ratio and time_ratio columns (tessmark-compare computes them); a point
the solver did not solve has r = inf and never counts. The narrow panel at the right shows each
curve's level for tau -> infinity: the fraction of points the solver solved at all, so the gap
above it is the failed fraction (also given in the legend). The tau axis ends where the curves
stop changing (past the largest ratio that more than one point in a thousand reaches); the
fraction axis is a logit scale when every curve starts at 0.9 or above (and not all at 1), so
that 0.99, 0.999 and 0.9999 lie apart. tessmark-compare runs this script itself (it carries a copy) when Python can import
matplotlib (Debian: python3-matplotlib). A folder whose name begins with a dash follows "--".
"""

import argparse
import csv
import math
import os
import sys
import textwrap

FORMATS = ("png", "pdf", "svg")
COLUMN_WIDTH = 3.5  # inches: one column of a two-column paper
PAGE_WIDTH = 7.0    # inches: both columns
DPI = 300

# Eleven solvers at most: colours, dashes and markers each repeat with a different period, so that
# no two curves share all three.
COLOURS = ["#1f77b4", "#d62728", "#2ca02c", "#ff7f0e", "#9467bd", "#8c564b", "#e377c2",
           "#17becf", "#7f7f7f", "#bcbd22", "#000000"]
DASHES = ["-", "--", "-.", ":", (0, (5, 1, 1, 1, 1, 1))]
MARKERS = ["o", "s", "^", "v", "D", "P", "X", "<", ">", "*", "h"]
HOLLOW = {"markersize": 3.5, "markerfacecolor": "none", "markeredgewidth": 0.8}


def style(index):
    return {"color": COLOURS[index % len(COLOURS)],
            "linestyle": DASHES[index % len(DASHES)],
            "marker": MARKERS[index % len(MARKERS)]}


def read_rows(folder):
    """The columns the figures need, (cost_ratio, time_ratio, loops) per row, grouped by solver in
    the order of the file; the group's label is "key: solver"."""
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


def short(label, width):
    return label if len(label) <= width else label[:width - 1].rstrip() + "\u2026"


def wrapped_title(text, width):
    return "\n".join(textwrap.wrap(text, width))


# Ratios up to 1 + TIE count as 1: the point's best value, up to rounding (the summary's
# best_cost_points uses the same tolerance).
TIE = 1e-9


def fraction_at(values, tau):
    """rho(tau) of one solver: the fraction of its (sorted) ratios that are at most tau."""
    count = 0
    for r in values:
        if r > max(tau, 1.0 + TIE):
            break
        count += 1
    return count / max(len(values), 1)


def tau_axis_end(ratios):
    """log2 of the right end of the tau axis: past the largest finite ratio that more than one
    point in a thousand of some solver reaches, so that single outliers (a scheduler hiccup in a
    time) do not stretch the axis; never below 1. Ratios beyond it still count in the panel at
    the right."""
    end = 1.0
    for values in ratios.values():
        finite = [r for r in values if math.isfinite(r)]
        if not finite:
            continue
        if len(finite) <= 1000 or max(finite) <= 4096:
            reach = max(finite)
        else:
            reach = finite[len(finite) - 1 - len(finite) // 1000]
        end = max(end, math.log2(max(reach, 1.0)) * 1.05)
    return end if end <= 8 else float(math.ceil(end))


def marker_places(xs, ys, stagger, end):
    """Where a curve (the corners xs, ys of its steps) carries its markers: three on its rise, at
    the heights a third apart that `stagger` (0..1, different for every solver) shifts, and two on
    the whole tau axis, shifted the same way; so that curves lying on each other still show every
    solver, and each curve is marked where it changes."""
    def height(x):
        at = 0
        while at + 1 < len(xs) and xs[at + 1] <= x:
            at += 1
        return ys[at]

    places = [end * (j + stagger) / 2 for j in range(2)]
    if ys[-1] > ys[0]:
        for k in range(3):
            level = ys[0] + (ys[-1] - ys[0]) * (k + stagger) / 3
            places.append(next(x for x, y in zip(xs, ys) if y >= level))
    return [(x, height(x)) for x in sorted(places)]


def logit_fraction_axis(axes, lowest, points):
    """A logit scale for fractions that all start at 0.9 or above: each decade of 1 - rho gets the
    same room, from below the lowest curve to a top edge that stands for 1 (half a point above the
    largest fraction short of it). Returns (bottom, top) of the curves."""
    from matplotlib.ticker import FixedLocator, NullFormatter, NullLocator

    top = 1.0 - 0.5 / points
    bottom = 1.0 - min(0.5, 2.0 * max(1.0 - lowest, 1.0 / points))
    axes.set_yscale("logit", nonpositive="clip")
    # 0.9, 0.99, ... above the bottom and at least a factor 2 in 1 - rho below the top.
    decades = [k for k in range(1, 10)
               if 1.0 - 10.0 ** -k >= bottom and 10.0 ** -k >= 1.0 / points]
    ticks = [1.0 - 10.0 ** -k for k in decades]
    labels = [f"{1.0 - 10.0 ** -k:.{k}f}" for k in decades]
    if not decades:  # the curves lie within one decade of the top: the lowest start is marked
        ticks = [lowest]
        labels = [f"{lowest:.{math.ceil(-math.log10(1.0 - lowest)) + 1}f}"]
    axes.yaxis.set_major_locator(FixedLocator(ticks + [top]))
    axes.set_yticklabels(labels + ["1"])
    axes.yaxis.set_minor_locator(NullLocator())
    axes.yaxis.set_minor_formatter(NullFormatter())
    return bottom, top


def draw_profile(plt, solvers, column, what, title, base):
    from matplotlib.lines import Line2D
    from matplotlib.ticker import MaxNLocator

    ratios = {label: sorted(float(row[column]) for row in rows) for label, rows in solvers.items()}
    points = max((len(values) for values in ratios.values()), default=0)
    end = tau_axis_end(ratios)
    legend_height = 0.12 * max(len(ratios), 1) + 0.05
    figure = plt.figure(figsize=(COLUMN_WIDTH, 2.7 + legend_height), layout="constrained")
    grid = figure.add_gridspec(2, 2, width_ratios=(14, 1), height_ratios=(2.7, legend_height))
    axes = figure.add_subplot(grid[0, 0])
    limit = figure.add_subplot(grid[0, 1], sharey=axes)
    legend = figure.add_subplot(grid[1, :])
    legend.axis("off")

    starts = [fraction_at(values, 1.0) for values in ratios.values()]
    lowest = min(starts, default=1.0)
    logit = 0.9 <= lowest < 1.0
    if logit:
        bottom, top = logit_fraction_axis(axes, lowest, points)
    else:
        bottom, top = max(0.0, math.floor((lowest - 0.05) * 10) / 10), 1.0

    def clip(y):  # 1 itself lies beyond a logit axis: the top edge stands for it
        return min(y, top)

    count = len(ratios)
    handles = []
    for index, (label, values) in enumerate(ratios.items()):
        look = style(index)
        finite = [r for r in values if math.isfinite(r)]
        xs, ys = [0.0], [fraction_at(values, 1.0)]
        for position, r in enumerate(finite):
            if r <= 1.0 + TIE:
                continue
            x = math.log2(r)
            if x > end:
                break
            xs.append(x)
            ys.append((position + 1) / len(values))
        xs.append(end)
        ys.append(ys[-1])
        ys = [clip(y) for y in ys]
        axes.step(xs, ys, where="post", color=look["color"], linestyle=look["linestyle"],
                  linewidth=1.0)
        marks = marker_places(xs, ys, (index + 0.5) / max(count, 1), end)
        axes.plot([x for x, _ in marks], [y for _, y in marks], linestyle="none",
                  marker=look["marker"], color=look["color"], **HOLLOW)
        solved = len(finite) / max(len(values), 1)
        limit.plot([(index + 0.5) / max(count, 1)], [clip(solved)], linestyle="none",
                   marker=look["marker"], color=look["color"], **HOLLOW)
        failed = len(values) - len(finite)
        text = short(label, 44)
        if failed:
            text += f"  ({failed} failed, {100.0 * failed / len(values):.2g}%)"
        handles.append(Line2D([], [], linewidth=1.0, label=text, **look, **HOLLOW))

    if logit:
        axes.set_ylim(bottom, 1.0 - 0.3 / points)
    else:
        axes.set_ylim(bottom - 0.01 * (1.0 - bottom), 1.0 + 0.02 * (1.0 - bottom))
    axes.set_xlim(-0.02 * end, end)
    axes.xaxis.set_major_locator(MaxNLocator(nbins=6, steps=[1, 2, 2.5, 5, 10]))
    axes.set_xlabel(r"$\log_2\,\tau$: " + what + r" within a factor $\tau$ of the point's best",
                    fontsize=7)
    axes.set_ylabel(r"fraction of points $\rho(\tau)$", fontsize=7)
    axes.tick_params(labelsize=7)
    axes.grid(True, alpha=0.3, linewidth=0.5)
    limit.set_xlim(0.0, 1.0)
    limit.set_xticks([0.5])
    limit.set_xticklabels([r"$\infty$"])
    limit.tick_params(labelsize=7, labelleft=False)
    limit.grid(True, axis="y", alpha=0.3, linewidth=0.5)
    axes.set_title(wrapped_title(title, 58), fontsize=8)
    if all(start >= 1.0 for start in starts) and ratios:
        axes.text(0.5, 0.5, "every solver reaches the best\nvalue of every point", fontsize=7,
                  ha="center", va="center", transform=axes.transAxes)
    if handles:
        legend.legend(handles=handles, loc="upper left", ncols=1, fontsize=6, frameon=False,
                      handlelength=3.0, borderaxespad=0.0)
    save(figure, base)
    plt.close(figure)


def loop_edges(most):
    """Bin edges for loop counts 0..most: one bin per count up to 10, then about 20 bins of equal
    width on a logarithmic scale (each at least one count wide), so that a loop cap far beyond the
    usual counts keeps them readable and the bin of the cap is as wide as the others."""
    edges = [b - 0.5 for b in range(0, min(most, 10) + 2)]
    if most > 10:
        first, last = edges[-1], most + 0.5
        for step in range(1, 21):
            edge = math.floor(first * (last / first) ** (step / 20)) + 0.5
            if edge > edges[-1]:
                edges.append(min(edge, last))
        edges[-1] = last
    return edges


def draw_loops(plt, solvers, title, base):
    from matplotlib.ticker import (FixedLocator, FuncFormatter, LogLocator, NullFormatter,
                                   ScalarFormatter)

    loops = {label: [int(row["loops"]) for row in rows] for label, rows in solvers.items()}
    most = max((max(values, default=0) for values in loops.values()), default=0)
    points = max((len(values) for values in loops.values()), default=1)
    columns = 4
    panels = max(1, len(loops))
    lines = (panels + columns - 1) // columns
    figure, grid = plt.subplots(lines, columns, figsize=(PAGE_WIDTH, 0.3 + 1.45 * lines),
                                sharex=True, sharey=True, squeeze=False, layout="constrained")
    edges = loop_edges(most)
    # Counts on a log scale from below one point to above all of them, the same in every panel: a
    # bar of 352 of 365 points stands nearly full height, a single point is still seen.
    for index, axes in enumerate(grid.flat):
        if index >= len(loops):
            axes.set_visible(False)
            continue
        label, values = list(loops.items())[index]
        axes.hist(values, bins=edges, color=style(index)["color"])
        axes.set_xscale("symlog", linthresh=10, linscale=1.0)
        axes.set_yscale("log")
        axes.set_ylim(0.6, max(points, 1) * 2.0)
        axes.set_xlim(-0.5, max(most + 0.5, 10.5) * (1.15 if most > 10 else 1.0))
        ticks = [t for t in (0, 5, 10, 100, 1000, 10000) if t <= max(most, 10) * 1.15]
        axes.xaxis.set_major_locator(FixedLocator(ticks))
        axes.xaxis.set_major_formatter(ScalarFormatter())
        axes.xaxis.set_minor_formatter(NullFormatter())
        axes.yaxis.set_major_locator(LogLocator(base=10, numticks=6))
        axes.yaxis.set_major_formatter(FuncFormatter(lambda value, _: f"{value:g}"))
        axes.yaxis.set_minor_formatter(NullFormatter())
        # Two lines of title at most, so that neighbouring panels' titles never meet.
        first = textwrap.wrap(label, 28)[0]
        rest = label[len(first):].strip()
        axes.set_title(first + ("\n" + short(rest, 28) if rest else ""), fontsize=7)
        axes.tick_params(labelsize=6)
        axes.grid(True, axis="y", alpha=0.3, linewidth=0.5)
    figure.supxlabel("loops", fontsize=7)
    figure.supylabel("points", fontsize=7)
    figure.suptitle(wrapped_title(title, 110), fontsize=8)
    save(figure, base)
    plt.close(figure)


def save(figure, base):
    for form in FORMATS:
        # No creation date in the PDF and the SVG: the same comparison gives the same files.
        metadata = {"png": None, "pdf": {"CreationDate": None}, "svg": {"Date": None}}[form]
        figure.savefig(f"{base}.{form}", dpi=DPI, metadata=metadata)


def parse_arguments(arguments):
    parser = argparse.ArgumentParser(
        prog="plot_comparison.py", description=__doc__.split("\n\n")[0],
        usage="%(prog)s [--title TEXT] [--] DIR")
    parser.add_argument("folder", metavar="DIR", help="the folder that holds points.csv")
    parser.add_argument("--title", help="what the figures' titles name (default: DIR)")
    return parser.parse_args(arguments)


def main(arguments):
    options = parse_arguments(arguments)
    folder = options.folder
    name = options.title if options.title is not None else folder
    solvers = read_rows(folder)
    print(f"  drawing the figures into {folder} ...", flush=True)

    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    # Text stays text in the PDF (TrueType, not Type 3) and in the SVG; hashes fixed for SVG ids.
    matplotlib.rcParams.update({"pdf.fonttype": 42, "svg.fonttype": "none",
                                "svg.hashsalt": "tessmark"})
    draw_profile(plt, solvers, "cost_ratio", "final cost", "Final cost, " + name,
                 os.path.join(folder, "cost_profile"))
    draw_profile(plt, solvers, "time_ratio", "solve time", "Solve time, " + name,
                 os.path.join(folder, "time_profile"))
    draw_loops(plt, solvers, "Loop counts, " + name, os.path.join(folder, "loops"))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
