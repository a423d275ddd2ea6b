#pragma once
// What the library's sources share behind the public headers (not installed): the menus behind a
// Method, the refusal of bad input, the options as the per-point solver takes them, and the outcome
// as the public record.

#include <cstddef>
#include <string>

#include "dataset/point_outcome.hpp"
#include "dataset/point_solver.hpp"
#include "solvers/menus.hpp"
#include "tessmark/triangulate.hpp"

namespace tessmark {

// The programs' solvers and judgement rules behind the public Rules.
const SolverProgram& solversOf(Rules rules);

// The menu row a Method names.
struct LibraryAccess {
  static const MenuEntry& entry(const Method& method) {
    return solversOf(method.rules_).menu[static_cast<std::size_t>(method.row_)];
  }
};

// Throws TriangulationError(reason, view) with "tessmark: [view V: ]what".
[[noreturn]] void refuse(TriangulationError::Reason reason, std::ptrdiff_t view,
                         const std::string& what);

// The options as the per-point solver takes them; throws TriangulationError (badOptions) for
// values out of range.
PointSolverOptions solverOptions(const TriangulationOptions& options);

// The public record of one point's outcome.
Triangulation publicRecord(const PointOutcome& outcome);

}  // namespace tessmark
