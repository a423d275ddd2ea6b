#include "console/option_table.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tessmark {
namespace {

// A small command line: a flag, a value, --help and the positional arguments, each setter
// recording what it took.
struct Recorded {
  bool quiet = false;
  std::string level;
  std::vector<std::string> files;
};

OptionTable sampleTable(Recorded& taken) {
  using Kind = OptionRow::Kind;
  OptionTable table;
  table.program = "sample";
  table.wrong = [](const std::string& problem) { return "wrong: " + problem; };
  table.rows.push_back({.kind = Kind::flag,
                        .name = "--quiet",
                        .synopsis = "[--quiet]",
                        .label = "--quiet",
                        .help = "say less",
                        .set = [&taken](std::string_view) -> std::string {
                          taken.quiet = true;
                          return "";
                        }});
  table.rows.push_back({.kind = Kind::value,
                        .name = "--level",
                        .synopsis = "[--level N]",
                        .label = "--level N",
                        .help = "how deep\nto go",
                        .needs = "--level needs a number",
                        .set = [&taken](std::string_view value) -> std::string {
                          if (value == "bad") return "--level: bad";
                          taken.level = value;
                          return "";
                        }});
  table.rows.push_back(helpRow(true, [] { return std::string("the help"); }));
  table.rows.push_back({.kind = Kind::positional,
                        .synopsis = "FILE...",
                        .set = [&taken](std::string_view value) -> std::string {
                          taken.files.emplace_back(value);
                          return "";
                        }});
  return table;
}

struct ReadCase {
  std::vector<const char*> arguments;
  OptionReading::Outcome outcome;
  std::string text;   // of a show or a wrong outcome
  std::string level;  // what --level took, when it proceeds
  std::size_t files;
};

TEST(OptionTable, ReadsTheRowsInOrderAndNamesTheFirstProblem) {
  using Outcome = OptionReading::Outcome;
  const ReadCase cases[] = {
      {{"a", "--level", "3", "b"}, Outcome::proceed, "", "3", 2},
      {{"--level=7", "a"}, Outcome::proceed, "", "7", 1},
      {{"--quiet", "--help", "--nonsense"}, Outcome::show, "the help", "", 0},
      {{"--nonsense", "--help"}, Outcome::wrong, "wrong: unknown option '--nonsense'", "", 0},
      {{"--quiet=yes"}, Outcome::wrong, "wrong: unknown option '--quiet=yes'", "", 0},
      {{"a", "--level"}, Outcome::wrong, "wrong: --level needs a number", "", 1},
      {{"--level", "bad"}, Outcome::wrong, "wrong: --level: bad", "", 0},
  };
  for (const ReadCase& c : cases) {
    Recorded taken;
    const OptionReading reading = readOptions(sampleTable(taken), c.arguments);
    SCOPED_TRACE(c.arguments.empty() ? "" : c.arguments.front());
    EXPECT_EQ(reading.outcome, c.outcome);
    EXPECT_EQ(reading.text, c.text);
    if (c.outcome == Outcome::proceed) {
      EXPECT_EQ(taken.level, c.level);
    }
    EXPECT_EQ(taken.files.size(), c.files);
  }
}

TEST(OptionTable, HelpWinsWhereverItStandsWhenTheTableSaysSo) {
  Recorded taken;
  OptionTable table = sampleTable(taken);
  table.showsFirst = true;
  const std::vector<const char*> arguments{"--nonsense", "--help"};
  const OptionReading reading = readOptions(table, arguments);
  EXPECT_EQ(reading.outcome, OptionReading::Outcome::show);
  EXPECT_EQ(reading.text, "the help");
}

TEST(OptionTable, UsageLineAndOptionListComeFromTheRows) {
  Recorded taken;
  OptionTable table = sampleTable(taken);
  EXPECT_EQ(usageLine(table), "Usage: sample [--quiet] [--level N] [--help] FILE...\n");
  table.usageWidth = 35;
  EXPECT_EQ(usageLine(table),
            "Usage: sample [--quiet] [--level N]\n"
            "              [--help] FILE...\n");
  EXPECT_EQ(optionList(table),
            "  --quiet     say less\n"
            "  --level N   how deep\n"
            "              to go\n"
            "  -h, --help  show this text\n");
  // A label wider than the table's limit stands alone; the others keep their narrow column.
  table.widestLabel = 9;
  EXPECT_EQ(optionList(table),
            "  --quiet    say less\n"
            "  --level N  how deep\n"
            "             to go\n"
            "  -h, --help\n"
            "             show this text\n");
}

}  // namespace
}  // namespace tessmark
