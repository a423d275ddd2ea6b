#pragma once
// The summary as a LaTeX table body (booktabs), for a paper: the tabular environment alone, so that
// the document chooses the float, the caption and the size around it:
//
//   \usepackage{booktabs}  ...  \begin{table}\centering\input{summary.tex}\caption{...}\end{table}

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "compare/comparison.hpp"
#include "compare/summary.hpp"

namespace tessmark {

// Text set as it reads: the ten characters LaTeX gives a meaning (# $ % & _ { } ~ ^ \) escaped;
// control characters become spaces.
std::string latexText(std::string_view text);

// A number in text mode: %.6g, with an exponent written as $m\times10^{e}$; infinities as
// $\infty$ / $-\infty$, NaN as "--".
std::string latexNumber(double value);

// summary.tex: the columns of the console table (key, solver, Solvable, Global, final cost, at
// best, median and largest loop counts, at cap, non-finite, microseconds per point), one row per
// solver in the comparison's order, between \toprule, \midrule and \bottomrule.
void writeSummaryLatex(std::FILE* file, const Comparison& comparison,
                       const std::vector<SolverSummary>& summaries);

}  // namespace tessmark
