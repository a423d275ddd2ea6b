#pragma once
// A program's algorithm menu: one row per key '0'..'9' in key order, then the row that every other
// key selects. The same table drives the menu text, the echo, the report names and --help.

#include <span>

#include "solvers/solver.hpp"

namespace tessmark {

struct MenuEntry {
  const char* key;           // "0".."9", or "other" for the last row
  const char* menuLine;      // as shown in the menu
  const char* selectedName;  // as echoed and written to the reports
  SolverFunction solver;     // nullptr: not available in this build
};

// The row a keystroke selects: key - '0' (the byte taken as signed) picks rows 0..9 when it lies in
// 0..9 as an unsigned value; every other byte (letters, Enter, bytes above 127) picks the last row.
const MenuEntry& selectMenuEntry(std::span<const MenuEntry> menu, unsigned char key);

// The BAL triangulator's menu and the .lc triangulator's.
std::span<const MenuEntry> vorlantMenu();
std::span<const MenuEntry> sennicMenu();

}  // namespace tessmark
