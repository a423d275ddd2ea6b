#include "compare/latex.hpp"

#include <cmath>
#include <cstdlib>
#include <string>

namespace tessmark {

std::string latexText(std::string_view text) {
  std::string set;
  for (const char c : text) {
    switch (c) {
      case '#':
      case '$':
      case '%':
      case '&':
      case '_':
      case '{':
      case '}':
        set += '\\';
        set += c;
        break;
      case '~':
        set += "\\textasciitilde{}";
        break;
      case '^':
        set += "\\textasciicircum{}";
        break;
      case '\\':
        set += "\\textbackslash{}";
        break;
      default:
        set += static_cast<unsigned char>(c) < 0x20 ? ' ' : c;
    }
  }
  return set;
}

std::string latexNumber(double value) {
  if (std::isnan(value)) return "--";
  if (std::isinf(value)) return value > 0 ? "$\\infty$" : "$-\\infty$";
  char text[64];
  std::snprintf(text, sizeof text, "%.6g", value);
  const std::string plain = text;
  const std::size_t e = plain.find('e');
  if (e == std::string::npos) return plain;
  const std::string mantissa = plain.substr(0, e);
  std::string set = "$";
  if (mantissa != "1") set.append(mantissa).append("\\times");
  return set.append("10^{").append(std::to_string(std::atoi(plain.c_str() + e + 1))).append("}$");
}

void writeSummaryLatex(std::FILE* file, const Comparison& comparison,
                       const std::vector<SolverSummary>& summaries) {
  std::fprintf(file,
               "%% tessmark-compare: %zu solvers on %d points. Needs \\usepackage{booktabs}.\n"
               "\\begin{tabular}{clrrrrrrrrr}\n"
               "\\toprule\n"
               "Key & Solver & Solvable & Global & Final cost & At best & Loops & Max loops & "
               "At cap & Non-finite & $\\mu$s/point \\\\\n"
               "\\midrule\n",
               summaries.size(), comparison.pointNum);
  for (std::size_t s = 0; s < summaries.size(); ++s) {
    const SolverSummary& summary = summaries[s];
    const ComparedSolver& solver = comparison.solvers[s];
    char timing[32];
    std::snprintf(timing, sizeof timing, "%.3f", summary.microsecondsPerPoint);
    std::fprintf(file, "%s & %s & %d & %d & %s & %d & %s & %d & %d & %d & %s \\\\\n",
                 latexText(std::string(solver.key)).c_str(),
                 latexText(solver.entry->selectedName).c_str(), summary.solvable, summary.global,
                 latexNumber(summary.totalFinalCost).c_str(), summary.bestCost,
                 latexNumber(summary.medianLoops).c_str(), summary.maxLoops, summary.capReached,
                 summary.nonFinite, timing);
  }
  std::fprintf(file, "\\bottomrule\n\\end{tabular}\n");
}

}  // namespace tessmark
