// The summary as a LaTeX table: text and numbers set so that LaTeX reads them as written, and the
// table compiling inside a plain document where pdflatex is installed.
#include "compare/latex.hpp"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "compare/csv.hpp"
#include "solvers/menus.hpp"
#include "tests/support/child_process.hpp"
#include "tests/support/program_output.hpp"

namespace tessmark {
namespace {

namespace fs = std::filesystem;

TEST(LatexText, EscapesWhatLatexWouldRead) {
  struct Case {
    const char* text;
    const char* set;
  };
  const Case cases[] = {
      {"Inexact Newton,Levenberg-Marquardt", "Inexact Newton,Levenberg-Marquardt"},
      {"50% & more", "50\\% \\& more"},
      {"x_1 {a} #2 $5", "x\\_1 \\{a\\} \\#2 \\$5"},
      {"a~b^c\\d", "a\\textasciitilde{}b\\textasciicircum{}c\\textbackslash{}d"},
      {"two\nlines\ttab", "two lines tab"},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(latexText(c.text), c.set) << c.text;
}

TEST(LatexNumber, PlainOrWithATimesTenExponent) {
  struct Case {
    double value;
    const char* set;
  };
  const Case cases[] = {
      {8958.51, "8958.51"},
      {0.0, "0"},
      {4.5, "4.5"},
      {3.35591e6, "$3.35591\\times10^{6}$"},
      {1e6, "$10^{6}$"},
      {-2.5e-7, "$-2.5\\times10^{-7}$"},
      {std::numeric_limits<double>::infinity(), "$\\infty$"},
      {-std::numeric_limits<double>::infinity(), "$-\\infty$"},
      {std::numeric_limits<double>::quiet_NaN(), "--"},
  };
  for (const Case& c : cases) EXPECT_EQ(latexNumber(c.value), c.set) << c.value;
}

// Two solvers, one with a name full of characters LaTeX gives a meaning, and figures of every kind
// the table sets (an exponent, a fraction of loops, an infinite total).
struct TableFixture {
  MenuEntry awkward{"0", "  0: awkward", "Newton & Raphson_2 at 100% {cubic} ~#$^\\", nullptr};
  Comparison comparison;
  std::vector<SolverSummary> summaries;

  TableFixture() {
    comparison.solvers = {{"0", &awkward}, {"other", &vorlantMenu()[10]}};
    comparison.pointNum = 40;
    SolverSummary first;
    first.solvable = 39;
    first.global = 38;
    first.totalFinalCost = 3.35591e6;
    first.bestCost = 40;
    first.medianLoops = 4.5;
    first.maxLoops = 1000;
    first.capReached = 1;
    first.microsecondsPerPoint = 10.642;
    SolverSummary second = first;
    second.totalFinalCost = std::numeric_limits<double>::infinity();
    second.nonFinite = 2;
    summaries = {first, second};
  }

  std::string table() const {
    testing::TemporaryFolder folder;
    const std::string path = (folder.path() / "summary.tex").string();
    EXPECT_EQ(writeFileWith(
                  path, [&](std::FILE* file) { writeSummaryLatex(file, comparison, summaries); }),
              "");
    return testing::readFile(path);
  }
};

// The rows between the rules, eleven cells each, the figures where the header names them.
TEST(SummaryLatex, OneRowPerSolverBetweenTheRules) {
  const std::string table = TableFixture().table();
  std::istringstream lines(table);
  std::vector<std::string> body;
  std::string line;
  bool inside = false;
  while (std::getline(lines, line)) {
    if (line == "\\midrule") {
      inside = true;
    } else if (line == "\\bottomrule") {
      inside = false;
    } else if (inside) {
      body.push_back(line);
    }
  }
  ASSERT_EQ(body.size(), 2u) << table;
  EXPECT_EQ(body[0],
            "0 & Newton \\& Raphson\\_2 at 100\\% \\{cubic\\} "
            "\\textasciitilde{}\\#\\$\\textasciicircum{}\\textbackslash{} & 39 & 38 & "
            "$3.35591\\times10^{6}$ & 40 & 4.5 & 1000 & 1 & 0 & 10.642 \\\\");
  EXPECT_EQ(
      body[1],
      "other & Default inexact damped Newton line search, alpha dx norm stopping criterion & 39 & "
      "38 & $\\infty$ & 40 & 4.5 & 1000 & 1 & 2 & 10.642 \\\\");
  EXPECT_NE(table.find("\\begin{tabular}{clrrrrrrrrr}\n\\toprule\n"), std::string::npos);
  EXPECT_TRUE(table.ends_with("\\bottomrule\n\\end{tabular}\n")) << table;
}

std::string onPath(const char* program) {
  const char* path = std::getenv("PATH");
  std::istringstream folders(path == nullptr ? "" : path);
  std::string folder;
  while (std::getline(folders, folder, ':')) {
    const fs::path candidate = fs::path(folder.empty() ? "." : folder) / program;
    if (access(candidate.c_str(), X_OK) == 0) return candidate.string();
  }
  return "";
}

// The table as a paper includes it: inside a table float of a standard article with booktabs.
TEST(SummaryLatex, CompilesInAStandardDocument) {
  const std::string pdflatex = onPath("pdflatex");
  if (pdflatex.empty()) GTEST_SKIP() << "pdflatex is not installed";
  testing::TemporaryFolder folder;
  testing::writeFile(folder.path() / "summary.tex", TableFixture().table());
  testing::writeFile(folder.path() / "paper.tex",
                     "\\documentclass{article}\n\\usepackage{booktabs}\n\\begin{document}\n"
                     "\\begin{table}\n\\centering\\tiny\n\\input{summary.tex}\n"
                     "\\caption{Solvers compared.}\n\\end{table}\n\\end{document}\n");
  const testing::ChildResult run = testing::runChild(
      {pdflatex, {"-interaction=nonstopmode", "-halt-on-error", "paper.tex"}, folder.path()});
  ASSERT_TRUE(run.exited && run.status == 0) << testing::describe(run);
  EXPECT_TRUE(testing::readFile(folder.path() / "paper.pdf").starts_with("%PDF-"));
  EXPECT_EQ(run.out.find("Undefined control sequence"), std::string::npos) << run.out;
}

}  // namespace
}  // namespace tessmark
