#pragma once
// The comparison's tidy tables as CSV (RFC 4180): a header row, then one record per row; records
// end in CRLF; a field is quoted ("...", an inner quote doubled) when it holds a comma, a quote, a
// carriage return or a line feed. Numbers are written in the shortest form that reads back as the
// same double (std::to_chars), integers in decimal, flags as true / false; non-finite numbers as
// nan, inf and -inf (the sign of a NaN is dropped), which data-frame readers take as NaN and the
// infinities.

#include <cstdio>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "compare/comparison.hpp"
#include "compare/summary.hpp"

namespace tessmark {

std::string csvNumber(double value);
std::string csvText(std::string_view text);

// points.csv: one row per (point, solver), solver by solver in the comparison's order, points in
// file order (1-based, as the reports number them). Columns:
//   point views key solver loops cap_reached hessian_modified start_cost final_cost final_x
//   final_y final_z rho_start rho_final klc_start klc_final psd solvable global start_seconds
//   solve_seconds cost_ratio time_ratio
// start_seconds covers gathering the point and its symmedian start (once per point, the same in
// every row of the point), solve_seconds the solver call alone; the programs' point time is their
// sum. Costs are reprojectionCost (squared pixels), psd the Hessian test at the final point.
inline constexpr std::string_view kPointColumns[] = {"point",
                                                     "views",
                                                     "key",
                                                     "solver",
                                                     "loops",
                                                     "cap_reached",
                                                     "hessian_modified",
                                                     "start_cost",
                                                     "final_cost",
                                                     "final_x",
                                                     "final_y",
                                                     "final_z",
                                                     "rho_start",
                                                     "rho_final",
                                                     "klc_start",
                                                     "klc_final",
                                                     "psd",
                                                     "solvable",
                                                     "global",
                                                     "start_seconds",
                                                     "solve_seconds",
                                                     "cost_ratio",
                                                     "time_ratio"};
void writePointsCsv(std::FILE* file, const Comparison& comparison);

// summary.csv: one row per solver, the figures of SolverSummary. Columns:
//   key solver points solvable global total_final_cost best_cost_points median_loops max_loops
//   cap_reached hessian_modified non_finite solve_seconds pass_seconds us_per_point
//   median_cost_ratio p90_cost_ratio worse_than_start common_final_cost common_left_out
//   rms_pixels
// total_final_cost sums the solved points only (non_finite counts the others); us_per_point is the
// mean solve time; pass_seconds the whole pass of the solver (gathering, solving and judging). The
// last six are SolverSummary's figures that no single point decides.
inline constexpr std::string_view kSummaryColumns[] = {"key",
                                                       "solver",
                                                       "points",
                                                       "solvable",
                                                       "global",
                                                       "total_final_cost",
                                                       "best_cost_points",
                                                       "median_loops",
                                                       "max_loops",
                                                       "cap_reached",
                                                       "hessian_modified",
                                                       "non_finite",
                                                       "solve_seconds",
                                                       "pass_seconds",
                                                       "us_per_point",
                                                       "median_cost_ratio",
                                                       "p90_cost_ratio",
                                                       "worse_than_start",
                                                       "common_final_cost",
                                                       "common_left_out",
                                                       "rms_pixels"};
void writeSummaryCsv(std::FILE* file, const Comparison& comparison,
                     const std::vector<SolverSummary>& summaries);

// Creates (or replaces) the file at `path` and lets `write` fill it. Returns "" or the path and the
// system's reason when it cannot be created or written.
std::string writeFileWith(const std::string& path, const std::function<void(std::FILE*)>& write);

}  // namespace tessmark
