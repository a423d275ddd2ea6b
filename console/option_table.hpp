#pragma once
// A command line as a table: one row per option (its names, the value it takes, its part of the
// usage line, its help line and what it sets), read by one parser and one usage writer, so that
// what a program accepts and what its --help says cannot drift apart. The programs, the data
// makers and the comparison tool each describe their command line this way.

#include <cstddef>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tessmark {

struct OptionRow {
  enum class Kind {
    flag,        // no value; "--name=value" is an unknown option
    value,       // a value: "--name=value" (where the table allows it) or the next argument
    shows,       // no value; stops the reading and shows a text (--help, --version)
    positional,  // the arguments that are no option (name and alias unused)
  };
  Kind kind = Kind::flag;
  std::string_view name{};   // "--data"
  std::string_view alias{};  // a second name ("-h"), or ""
  std::string synopsis{};    // its part of the usage line ("[--data FILE | FILE]"), or "" for none
  std::string label{};       // its column in the option list ("--data FILE, FILE"), or "" for none
  std::string help{};        // its description there; a '\n' starts a line under the first
  std::string needs{};       // value rows: the problem when the value is missing
  // flag, value and positional rows: takes the value ("" for a flag) and returns "" or the problem.
  std::function<std::string(std::string_view value)> set{};
  // shows rows: the text to show.
  std::function<std::string()> show{};
};

struct OptionTable {
  std::string_view program;  // as the usage line names it
  std::vector<OptionRow> rows;
  // Whether "--name=value" gives an option its value (otherwise the whole argument is a name).
  bool attachedValues = true;
  // An argument that starts with this and names no row is an unknown option; any other goes to
  // the positional row.
  std::string_view optionPrefix = "-";
  // Whether a shows row wins wherever it stands (otherwise the arguments are read in order and
  // the first problem ends the reading).
  bool showsFirst = false;
  // The option list's labels wider than this (0: none) stand alone on their line, their help
  // starting on the next, so that one long name does not push every help text to the right.
  std::size_t widestLabel = 0;
  // The usage line's width (0: one line however long): the synopses that would pass it go on
  // to the next line, under the first.
  std::size_t usageWidth = 0;
  // The text for a wrong command line, from the problem found.
  std::function<std::string(const std::string& problem)> wrong;
};

// The rows every command line has: "-h, --help" showing `usage` (in the usage line as "[--help]"
// when `inSynopsis`), and "--version" showing versionText(program).
OptionRow helpRow(bool inSynopsis, std::function<std::string()> usage);
OptionRow versionRow(std::string_view program);

// What reading a command line came to.
struct OptionReading {
  enum class Outcome { proceed, show, wrong };
  Outcome outcome = Outcome::proceed;
  std::string text;  // show: the row's text; wrong: table.wrong of the problem
};

// Reads `arguments` (without the program name) through the table's rows, in order.
OptionReading readOptions(const OptionTable& table, std::span<const char* const> arguments);

// "Usage: <program> <synopsis of every row that has one>" and a line end, wrapped at
// table.usageWidth.
std::string usageLine(const OptionTable& table);
// The option list: "  <label>  <help>" for every row with a label, the help in one column two
// spaces after the longest label (of those within table.widestLabel), its later lines indented
// to that column.
std::string optionList(const OptionTable& table);

// One line of an "Exit status:" list.
struct ExitStatusLine {
  int status;  // as the program returns it; listed as the shell sees it (status & 0xff)
  std::string_view meaning;  // a '\n' starts a line under the first
};
// "Exit status:" and the lines, the meanings in one column two spaces after the widest status.
std::string exitStatusList(std::span<const ExitStatusLine> lines);

}  // namespace tessmark
