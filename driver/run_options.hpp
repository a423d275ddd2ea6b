#pragma once
// The command line both programs share. Every option is optional: with none, a program reads its
// fixed data file in the current directory, asks for the algorithm key and writes its reports
// there.

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "console/console.hpp"
#include "driver/program.hpp"

namespace tessmark {

struct RunOptions {
  std::string dataFile;                        // --data FILE
  std::optional<unsigned char> algorithmKey;   // --algorithm KEY (one byte)
  std::string outputDir;                       // --output-dir DIR; empty: the current directory
  ColorMode colorMode = ColorMode::automatic;  // --color=auto|always|never
  bool plainData = false;                      // --plain-bal (offered when preparePlain is set)
};

// What the command line asks for: a run, or a text to print and an exit status.
struct ParsedCommandLine {
  std::optional<RunOptions> options;  // set: run with these
  std::string text;                   // otherwise: print this (help, version or usage error)
  int status = 0;                     // and exit with this (0, or 2 for a usage error)
};

// One argument as the command-line parsers take it: "--name=value" splits at its first '=' into the
// option and its value; any other argument is the option alone.
class CommandLineArgument {
 public:
  // arguments[index]; takeValue may move `index` on to the argument it takes.
  CommandLineArgument(std::span<const char* const> arguments, std::size_t& index);

  std::string_view option;
  bool hasValue = false;  // the argument carried "=value"

  // The option's value: the text after '=', otherwise the next argument, which is then used up.
  // False when there is neither.
  bool takeValue(std::string_view& value);

 private:
  std::span<const char* const> arguments_;
  std::size_t& index_;
  std::string_view inlineValue_;
};

ParsedCommandLine parseCommandLine(const ProgramDescription& program,
                                   std::span<const char* const> arguments);

// --version text: "<name> (Tessmark) <version>, Eigen <its version>" and a line end.
std::string versionText(std::string_view name);

// --help text: usage, options, the algorithm keys from the menu table, the exit statuses.
std::string usageText(const ProgramDescription& program);

}  // namespace tessmark
