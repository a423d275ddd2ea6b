#pragma once
// The solver side of the two programs: each program's algorithm menu (one row per key '0'..'9' in
// key order, then the row that every other key selects) and the rules its solvers and its
// judgement follow. The same table drives the menu text, the echo, the report names, --help, the
// comparison tool and the library's choice of solver.

#include <cstddef>
#include <iterator>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "model/judgement.hpp"
#include "solvers/solver.hpp"

namespace tessmark {

// The epsilon both programs hand to every solver of their menus.
inline constexpr double kSolverTolerance = 1.0e-12;

// The keys of every menu in row order: "0".."9", then "other", the row that every other keystroke
// selects. The one spelling of the keys: the library, the comparison tool and the tools take
// these, and every menu has one row per key.
inline constexpr std::string_view kMenuKeys[] = {"0", "1", "2", "3", "4",    "5",
                                                 "6", "7", "8", "9", "other"};
inline constexpr std::size_t kMenuRows = std::size(kMenuKeys);
// The row every keystroke other than '0'..'9' selects.
inline constexpr std::size_t kDefaultRow = kMenuRows - 1;

// The row of a key as kMenuKeys spells it, or none for any other text.
constexpr std::optional<std::size_t> menuRowOfKey(std::string_view key) {
  for (std::size_t row = 0; row < kMenuRows; ++row) {
    if (kMenuKeys[row] == key) return row;
  }
  return std::nullopt;
}

// Every key in row order, written one after the other as menuRowsOfKeys reads a list:
// "0123456789other".
std::string allMenuKeys();

// The rows a list of keys names, in its order: each key as kMenuKeys spells it, written one after
// the other ("20other"). Returns none and says what is wrong in `problem` for an empty list, a
// text that starts no key, or a key named twice.
std::optional<std::vector<std::size_t>> menuRowsOfKeys(std::string_view keys, std::string& problem);

struct MenuEntry {
  const char* key;           // kMenuKeys[row]
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
  std::span<const MenuEntry> menu;  // kMenuRows rows
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
