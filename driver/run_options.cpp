#include "driver/run_options.hpp"

#include <string_view>

#include "console/option_table.hpp"

namespace tessmark {

namespace {

constexpr ExitStatusLine kExitStatuses[] = {
    {0, "the run completed and both reports were written"},
    {kExitNoAlgorithm, "no algorithm key could be read, or the chosen algorithm is not available"},
    {kExitUsage, "the command line is wrong"},
    {kExitReportFile,
     "the output folder is missing or not writable (checked before anything else), or a\n"
     "report file could not be created or written"},
    {kExitOutOfMemory, "memory ran out"},
    {kExitConsoleLost,
     "the run completed and both reports were written, but standard output could not\n"
     "take all of the console text (its reader closed it early, or the disk is full)"},
    {kExitMalformedData, "the data file is not in the expected format (the program's status -128)"},
    {kExitCannotOpenData, "the data file cannot be opened (the program's status -127)"},
};

// Where the reading has got to, beyond the options themselves.
struct ReadingState {
  bool dataGiven = false;       // by --data
  bool positionalData = false;  // as a lone file name
};

std::string oneDataFileOnly(std::string_view name) {
  return "one data file only: '" + std::string(name) + "'";
}

// The programs' command line; the setters fill `options` and `state`.
OptionTable optionTable(const ProgramDescription& program, RunOptions& options,
                        ReadingState& state) {
  using Kind = OptionRow::Kind;
  OptionTable table;
  table.program = program.name;
  table.wrong = [name = std::string(program.name)](const std::string& problem) {
    return name + ": " + problem + "\nTry '" + name + " --help' for more information.\n";
  };
  table.rows.push_back({.kind = Kind::value,
                        .name = "--data",
                        .synopsis = "[--data FILE | FILE]",
                        .label = "--data FILE, FILE",
                        .help = std::string("read FILE instead of \"") + program.defaultDataFile +
                                "\" in the current directory",
                        .needs = "--data needs a file name",
                        .set = [&](std::string_view value) -> std::string {
                          if (value.empty()) return "--data needs a file name";
                          if (state.positionalData) return oneDataFileOnly(value);
                          options.dataFile = value;
                          state.dataGiven = true;
                          return "";
                        }});
  table.rows.push_back({.kind = Kind::value,
                        .name = "--algorithm",
                        .synopsis = "[--algorithm KEY]",
                        .label = "--algorithm KEY",
                        .help = "take KEY (one character) as the menu keystroke; nothing waits "
                                "for a key",
                        .needs = "--algorithm needs exactly one character",
                        .set = [&](std::string_view value) -> std::string {
                          if (value.size() != 1) return "--algorithm needs exactly one character";
                          options.algorithmKey = static_cast<unsigned char>(value[0]);
                          return "";
                        }});
  table.rows.push_back({.kind = Kind::value,
                        .name = "--output-dir",
                        .synopsis = "[--output-dir DIR]",
                        .label = "--output-dir DIR",
                        .help = "write the two report files into DIR (default: the current "
                                "directory)",
                        .needs = "--output-dir needs a folder",
                        .set = [&](std::string_view value) -> std::string {
                          if (value.empty()) return "--output-dir needs a folder";
                          options.outputDir = value;
                          return "";
                        }});
  table.rows.push_back(
      {.kind = Kind::value,
       .name = "--color",
       .synopsis = "[--color=WHEN]",
       .label = "--color=WHEN",
       .help = "colours: auto (terminal only, unless NO_COLOR is set), always, never",
       .needs = "--color needs auto, always or never",
       .set = [&](std::string_view value) -> std::string {
         if (value == "auto") {
           options.colorMode = ColorMode::automatic;
         } else if (value == "always") {
           options.colorMode = ColorMode::always;
         } else if (value == "never") {
           options.colorMode = ColorMode::never;
         } else {
           return "--color needs auto, always or never";
         }
         return "";
       }});
  if (program.plainFormat) {
    table.rows.push_back({.kind = Kind::flag,
                          .name = "--plain-bal",
                          .synopsis = "[--plain-bal]",
                          .label = "--plain-bal",
                          .help = "FILE is a standard BAL file, without the header-ID line (one "
                                  "there is\nskipped); a name ending in \".bz2\" is decompressed "
                                  "as it is read",
                          .set = [&](std::string_view) -> std::string {
                            options.plainData = true;
                            return "";
                          }});
  }
  table.rows.push_back(helpRow(true, [&program] { return usageText(program); }));
  table.rows.push_back(versionRow(program.name));
  // A lone file name is the data file.
  table.rows.push_back(
      {.kind = Kind::positional, .set = [&](std::string_view argument) -> std::string {
         if (argument.empty()) return "unknown option ''";
         if (state.positionalData || state.dataGiven) {
           return oneDataFileOnly(argument);
         }
         options.dataFile = argument;
         state.positionalData = true;
         return "";
       }});
  return table;
}

}  // namespace

std::string usageText(const ProgramDescription& program) {
  RunOptions options;
  ReadingState state;
  const OptionTable table = optionTable(program, options, state);
  std::string text = usageLine(table) + "\n" + program.summary + "\n\nOptions:\n" +
                     optionList(table) +
                     "\nAlgorithm keys, as the menu shows them (without --algorithm, one keystroke "
                     "is read from\nstandard input; any key that is not a digit selects the last "
                     "line):\n";
  for (const MenuEntry& entry : program.solvers.menu) {
    text += std::string(entry.menuLine) + (entry.solver ? "" : " (not available yet)") + "\n";
  }
  return text + "\n" + exitStatusList(kExitStatuses);
}

ParsedCommandLine parseCommandLine(const ProgramDescription& program,
                                   std::span<const char* const> arguments) {
  RunOptions options;
  options.dataFile = program.defaultDataFile;
  ReadingState state;
  const OptionReading reading = readOptions(optionTable(program, options, state), arguments);
  switch (reading.outcome) {
    case OptionReading::Outcome::proceed:
      return {options, {}, 0};
    case OptionReading::Outcome::show:
      return {std::nullopt, reading.text, 0};
    case OptionReading::Outcome::wrong:
      break;
  }
  return {std::nullopt, reading.text, kExitUsage};
}

}  // namespace tessmark
