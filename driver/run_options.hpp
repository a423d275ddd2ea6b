#pragma once
// The command line both programs share. Every option is optional: with none, a program reads its
// fixed data file in the current directory, asks for the algorithm key and writes its reports
// there.

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "console/command_line.hpp"
#include "console/console.hpp"
#include "driver/program.hpp"

namespace tessmark {

struct RunOptions {
  std::string dataFile;                        // --data FILE
  std::optional<unsigned char> algorithmKey;   // --algorithm KEY (one byte)
  std::string outputDir;                       // --output-dir DIR; empty: the current directory
  ColorMode colorMode = ColorMode::automatic;  // --color=auto|always|never
  bool plainData = false;                      // --plain-bal (offered when plainFormat is set)
};

// What the command line asks for: a run, or a text to print and an exit status.
struct ParsedCommandLine {
  std::optional<RunOptions> options;  // set: run with these
  std::string text;                   // otherwise: print this (help, version or usage error)
  int status = 0;                     // and exit with this (0, or 2 for a usage error)
};

ParsedCommandLine parseCommandLine(const ProgramDescription& program,
                                   std::span<const char* const> arguments);

// --help text: usage, options, the algorithm keys from the menu table, the exit statuses.
std::string usageText(const ProgramDescription& program);

}  // namespace tessmark
