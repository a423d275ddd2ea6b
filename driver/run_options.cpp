#include "driver/run_options.hpp"

#include <string_view>

namespace tessmark {

namespace {

constexpr const char* kPlainBalHelp =
    "  --plain-bal        FILE is a standard BAL file, without the header-ID line (one there is\n"
    "                     skipped); a name ending in \".bz2\" is decompressed as it is read\n";

// One line saying what is wrong, and where to look.
std::string usageError(const ProgramDescription& program, const std::string& problem) {
  return std::string(program.name) + ": " + problem + "\nTry '" + program.name +
         " --help' for more information.\n";
}

}  // namespace

std::string usageText(const ProgramDescription& program) {
  std::string text =
      std::string("Usage: ") + program.name +
      " [--data FILE | FILE] [--algorithm KEY] [--output-dir DIR] [--color=WHEN] " +
      (program.plainFormat ? "[--plain-bal] " : "") + "[--help] [--version]\n\n" + program.summary +
      "\n\n"
      "Options:\n"
      "  --data FILE, FILE  read FILE instead of \"" +
      program.defaultDataFile +
      "\" in the current directory\n"
      "  --algorithm KEY    take KEY (one character) as the menu keystroke; nothing waits for a "
      "key\n"
      "  --output-dir DIR   write the two report files into DIR (default: the current directory)\n"
      "  --color=WHEN       colours: auto (terminal only, unless NO_COLOR is set), always, "
      "never\n" +
      (program.plainFormat ? kPlainBalHelp : "") +
      "  -h, --help         show this text\n"
      "  --version          show the version and the Eigen version\n\n"
      "Algorithm keys, as the menu shows them (without --algorithm, one keystroke is read from\n"
      "standard input; any key that is not a digit selects the last line):\n";
  for (const MenuEntry& entry : program.solvers.menu) {
    text += std::string(entry.menuLine) + (entry.solver ? "" : " (not available yet)") + "\n";
  }
  text +=
      "\nExit status:\n"
      "  0    the run completed and both reports were written\n"
      "  1    no algorithm key could be read, or the chosen algorithm is not available\n"
      "  2    the command line is wrong\n"
      "  3    the output folder is missing or not writable (checked before anything else), or a\n"
      "       report file could not be created or written\n"
      "  4    memory ran out\n"
      "  5    the run completed and both reports were written, but standard output could not\n"
      "       take all of the console text (its reader closed it early, or the disk is full)\n"
      "  128  the data file is not in the expected format (the program's status -128)\n"
      "  129  the data file cannot be opened (the program's status -127)\n";
  return text;
}

ParsedCommandLine parseCommandLine(const ProgramDescription& program,
                                   std::span<const char* const> arguments) {
  RunOptions options;
  options.dataFile = program.defaultDataFile;
  bool dataGiven = false;       // by --data
  bool positionalData = false;  // as a lone file name
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    CommandLineArgument current(arguments, i);
    const std::string_view argument = current.option;
    const bool hasValue = current.hasValue;
    std::string_view value;
    const auto takeValue = [&] { return current.takeValue(value); };

    if ((argument == "--help" && !hasValue) || argument == "-h") {
      return {std::nullopt, usageText(program), 0};
    }
    if (argument == "--version" && !hasValue) {
      return {std::nullopt, versionText(program.name), 0};
    }
    if (argument == "--data") {
      if (!takeValue() || value.empty())
        return {std::nullopt, usageError(program, "--data needs a file name"), 2};
      if (positionalData) {
        return {std::nullopt,
                usageError(program, "one data file only: '" + std::string(value) + "'"), 2};
      }
      options.dataFile = value;
      dataGiven = true;
    } else if (argument == "--algorithm") {
      if (!takeValue() || value.size() != 1) {
        return {std::nullopt, usageError(program, "--algorithm needs exactly one character"), 2};
      }
      options.algorithmKey = static_cast<unsigned char>(value[0]);
    } else if (argument == "--output-dir") {
      if (!takeValue() || value.empty())
        return {std::nullopt, usageError(program, "--output-dir needs a folder"), 2};
      options.outputDir = value;
    } else if (argument == "--plain-bal" && !hasValue && program.plainFormat) {
      options.plainData = true;
    } else if (argument == "--color") {
      if (!takeValue())
        return {std::nullopt, usageError(program, "--color needs auto, always or never"), 2};
      if (value == "auto") {
        options.colorMode = ColorMode::automatic;
      } else if (value == "always") {
        options.colorMode = ColorMode::always;
      } else if (value == "never") {
        options.colorMode = ColorMode::never;
      } else {
        return {std::nullopt, usageError(program, "--color needs auto, always or never"), 2};
      }
    } else if (!argument.starts_with("-") && !argument.empty() && !hasValue) {
      // A lone file name is the data file.
      if (positionalData || dataGiven) {
        return {std::nullopt,
                usageError(program, "one data file only: '" + std::string(arguments[i]) + "'"), 2};
      }
      options.dataFile = argument;
      positionalData = true;
    } else {
      return {std::nullopt,
              usageError(program, "unknown option '" + std::string(arguments[i]) + "'"), 2};
    }
  }
  return {options, {}, 0};
}

}  // namespace tessmark
