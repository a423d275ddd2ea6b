#pragma once
// tessmark-compare: every chosen solver of a program's menu on every point of one data set, with a
// table on the console, tidy CSV files and performance-profile plots.
//
//   tessmark-compare [--format bal|lc] [--keys 0123456789other] [--out DIR] [--threads N]
//                    [--repeat K] [--tolerance E] [--relative-tolerance R] [--loop-cap N]
//                    DATAFILE

#include <optional>
#include <span>
#include <string>

#include "compare/comparison.hpp"
#include "dataset/data_set.hpp"

namespace tessmark {

// Exit statuses: those of the programs where they mean the same, and one of its own.
inline constexpr int kCompareExitDone = 0;
inline constexpr int kCompareExitUnavailable = 1;  // a chosen key's solver is not in this build
inline constexpr int kCompareExitUsage = 2;
inline constexpr int kCompareExitOutput = 3;
inline constexpr int kCompareExitOutOfMemory = 4;
inline constexpr int kCompareExitPlots = 5;  // matplotlib is there but the pictures failed
inline constexpr int kCompareExitMalformed = 128;
inline constexpr int kCompareExitCannotOpen = 129;

struct CompareOptions {
  std::string dataFile;
  // From --format (bal: plainBal, lc: lc), else from the file name (formatOfName).
  DataFormat format = DataFormat::plainBal;
  std::string keys = allMenuKeys();
  std::string outputDir = ".";
  ComparisonOptions run;  // --threads, --repeat, --tolerance, --relative-tolerance, --loop-cap
};

// The largest --threads and --repeat it takes.
inline constexpr int kMostCompareThreads = 256;
inline constexpr int kMostCompareRepeats = 1000;

struct ParsedCompareLine {
  std::optional<CompareOptions> options;  // set: run with these
  std::string text;                       // otherwise: print this (help, version, usage error)
  int status = 0;
};

ParsedCompareLine parseCompareCommandLine(std::span<const char* const> arguments);
std::string compareUsageText();

// Why the comparison's files cannot go into `outputDir`, or "": it must be a writable folder, or a
// name that does not exist yet in a writable folder (it is then created once the data is read).
std::string compareOutputProblem(const std::string& outputDir);

// The whole program; returns its exit status.
int compareMain(std::span<const char* const> arguments);

}  // namespace tessmark
