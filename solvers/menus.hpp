#pragma once
// The solver side of the two programs: each program's algorithm menu (one row per key '0'..'9' in
// key order, then the row that every other key selects) and the rules its solvers and its
// judgement follow. The same table drives the menu text, the echo, the report names, --help, the
// comparison tool and the library's choice of solver.

#include <span>

#include "model/judgement.hpp"
#include "solvers/solver.hpp"

namespace tessmark {

// The epsilon both programs hand to every solver of their menus.
inline constexpr double kSolverTolerance = 1.0e-12;

struct MenuEntry {
  const char* key;           // "0".."9", or "other" for the last row
  const char* menuLine;      // as shown in the menu
  const char* selectedName;  // as echoed and written to the reports
  SolverFunction solver;     // nullptr: not available in this build
};

// The row a keystroke selects: key - '0' (the byte taken as signed) picks rows 0..9 when it lies in
// 0..9 as an unsigned value; every other byte (letters, Enter, bytes above 127) picks the last row.
const MenuEntry& selectMenuEntry(std::span<const MenuEntry> menu, unsigned char key);

// A program's solvers and rules.
struct SolverProgram {
  const char* name;                 // "vorlant" or "sennic"
  std::span<const MenuEntry> menu;  // eleven rows
  DepthGuard depthGuard;            // of the solvers' gradients and Hessians
  JudgementRules judgement;         // of every start and final point
};

// The BAL triangulator's: depth guard on, K_LC the Newton step length, the K_LC tests as named.
const SolverProgram& vorlantSolvers();
// The .lc triangulator's: no depth guard, K_LC scaled by |g.d / d^T H d|, the K_LC tests traded.
const SolverProgram& sennicSolvers();

// Their menus.
std::span<const MenuEntry> vorlantMenu();
std::span<const MenuEntry> sennicMenu();

}  // namespace tessmark
