#include "driver/run_options.hpp"

#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <Eigen/Core>

#include "driver/sennic.hpp"
#include "driver/vorlant.hpp"

namespace tessmark {
namespace {

ParsedCommandLine parse(const std::vector<const char*>& arguments) {
  return parseCommandLine(vorlantProgram(), arguments);
}

std::string shown(const std::vector<const char*>& arguments) {
  std::string text;
  for (const char* argument : arguments) text += std::string(" [") + argument + "]";
  return text;
}

TEST(ParseCommandLine, EveryOptionInBothFormsAndTheDefaults) {
  struct Case {
    std::vector<const char*> arguments;
    std::string dataFile = "problem-49-7776-pre.txt";
    std::optional<unsigned char> algorithmKey = std::nullopt;
    std::string outputDir = "";
    ColorMode colorMode = ColorMode::automatic;
  };
  const Case cases[] = {
      {{}},
      {{"--data", "f.txt"}, "f.txt"},
      {{"f.txt"}, "f.txt"},  // a lone file name is the data file
      {{"f.txt", "--algorithm", "3"}, "f.txt", '3'},
      {{"--data=f.txt"}, "f.txt"},
      {{"--data=a=b"}, "a=b"},  // the value runs from the first '='
      {{"--algorithm", "7"}, "problem-49-7776-pre.txt", '7'},
      {{"--algorithm=7"}, "problem-49-7776-pre.txt", '7'},
      {{"--algorithm=q"}, "problem-49-7776-pre.txt", 'q'},
      {{"--algorithm", "\xff"}, "problem-49-7776-pre.txt", 0xff},
      {{"--output-dir", "out"}, "problem-49-7776-pre.txt", std::nullopt, "out"},
      {{"--output-dir=out/"}, "problem-49-7776-pre.txt", std::nullopt, "out/"},
      {{"--color", "always"}, "problem-49-7776-pre.txt", std::nullopt, "", ColorMode::always},
      {{"--color=never"}, "problem-49-7776-pre.txt", std::nullopt, "", ColorMode::never},
      {{"--color=always", "--color=auto"},
       "problem-49-7776-pre.txt",
       std::nullopt,
       "",
       ColorMode::automatic},
      {{"--data", "x.txt", "--algorithm=0", "--output-dir", "o", "--color", "never"},
       "x.txt",
       '0',
       "o",
       ColorMode::never},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(shown(c.arguments));
    const ParsedCommandLine parsed = parse(c.arguments);
    ASSERT_TRUE(parsed.options) << parsed.text;
    EXPECT_EQ(parsed.status, 0);
    EXPECT_EQ(parsed.options->dataFile, c.dataFile);
    EXPECT_EQ(parsed.options->algorithmKey, c.algorithmKey);
    EXPECT_EQ(parsed.options->outputDir, c.outputDir);
    EXPECT_EQ(parsed.options->colorMode, c.colorMode);
  }
}

// A usage error is one line saying what is wrong and a hint to --help, not the whole usage.
TEST(ParseCommandLine, UsageErrorsGiveStatusTwoAndAHint) {
  struct Case {
    std::vector<const char*> arguments;
    const char* says;
  };
  const Case cases[] = {
      {{"--algorithm", ""}, "--algorithm needs exactly one character"},
      {{"--algorithm="}, "--algorithm needs exactly one character"},
      {{"--algorithm", "12"}, "--algorithm needs exactly one character"},
      {{"--algorithm=12"}, "--algorithm needs exactly one character"},
      {{"--algorithm"}, "--algorithm needs exactly one character"},
      {{"--data"}, "--data needs a file name"},
      {{"--data="}, "--data needs a file name"},
      {{"--output-dir"}, "--output-dir needs a folder"},
      {{"--output-dir="}, "--output-dir needs a folder"},
      {{"--color"}, "--color needs auto, always or never"},
      {{"--color=sometimes"}, "--color needs auto, always or never"},
      {{"--bogus"}, "unknown option '--bogus'"},
      {{"--data", "f.txt", "extra.txt"}, "one data file only: 'extra.txt'"},
      {{"a.txt", "b.txt"}, "one data file only: 'b.txt'"},
      {{"a.txt", "--data", "b.txt"}, "one data file only: 'b.txt'"},
      {{"-x"}, "unknown option '-x'"},
      {{"--help=yes"}, "unknown option '--help=yes'"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(shown(c.arguments));
    const ParsedCommandLine parsed = parse(c.arguments);
    EXPECT_FALSE(parsed.options);
    EXPECT_EQ(parsed.status, 2);
    EXPECT_EQ(parsed.text,
              std::string("vorlant: ") + c.says + "\nTry 'vorlant --help' for more information.\n");
  }
}

TEST(ParseCommandLine, HelpListsOptionsAlgorithmsAndStatuses) {
  const ParsedCommandLine parsed = parse({"--help"});
  EXPECT_FALSE(parsed.options);
  EXPECT_EQ(parsed.status, 0);
  EXPECT_EQ(parsed.text, usageText(vorlantProgram()));
  EXPECT_EQ(parse({"-h"}).text, parsed.text);
  EXPECT_TRUE(parsed.text.starts_with("Usage: vorlant")) << parsed.text;
  for (const char* option :
       {"--data FILE", "--algorithm KEY", "--output-dir DIR", "--color=WHEN", "--version"}) {
    EXPECT_NE(parsed.text.find(option), std::string::npos) << option;
  }
  // Every key reads as the menu shows it, each menu line on a line of its own.
  for (const MenuEntry& entry : vorlantMenu()) {
    EXPECT_NE(parsed.text.find(std::string("\n") + entry.menuLine), std::string::npos)
        << entry.menuLine;
  }
  for (const char* status : {"  0 ", "  2 ", "  128 ", "  129 "}) {
    EXPECT_NE(parsed.text.find(status), std::string::npos) << status;
  }
}

// --plain-bal belongs to the BAL program only: its help names it, the .lc program refuses it.
TEST(ParseCommandLine, PlainBalIsTheBalProgramsOption) {
  for (const std::vector<const char*>& arguments :
       {std::vector<const char*>{"--plain-bal"}, {"f.txt.bz2", "--plain-bal", "--algorithm=0"}}) {
    SCOPED_TRACE(shown(arguments));
    const ParsedCommandLine parsed = parse(arguments);
    ASSERT_TRUE(parsed.options) << parsed.text;
    EXPECT_TRUE(parsed.options->plainData);
  }
  EXPECT_FALSE(parse({"f.txt"}).options->plainData);
  EXPECT_EQ(parse({"--plain-bal=yes"}).status, 2);
  EXPECT_NE(usageText(vorlantProgram()).find("--plain-bal"), std::string::npos);

  const ParsedCommandLine sennic =
      parseCommandLine(sennicProgram(), std::vector<const char*>{"--plain-bal"});
  EXPECT_FALSE(sennic.options);
  EXPECT_EQ(sennic.status, 2);
  EXPECT_NE(sennic.text.find("unknown option '--plain-bal'"), std::string::npos) << sennic.text;
  EXPECT_EQ(usageText(sennicProgram()).find("--plain-bal"), std::string::npos);
}

TEST(ParseCommandLine, VersionNamesTheProgramAndTheEigenItIsBuiltWith) {
  const ParsedCommandLine parsed = parse({"--version"});
  EXPECT_FALSE(parsed.options);
  EXPECT_EQ(parsed.status, 0);
  const std::string eigen = "Eigen " + std::to_string(EIGEN_WORLD_VERSION) + "." +
                            std::to_string(EIGEN_MAJOR_VERSION) + "." +
                            std::to_string(EIGEN_MINOR_VERSION);
  EXPECT_TRUE(parsed.text.starts_with("vorlant")) << parsed.text;
  EXPECT_NE(parsed.text.find(eigen), std::string::npos) << parsed.text;
  EXPECT_TRUE(parsed.text.ends_with("\n"));
}

// The .lc program shares the command line; its help names the program, its own data file and the
// exit statuses of its data-file failures.
TEST(ParseCommandLine, TheLcProgramTakesTheSameOptionsWithItsOwnDataFile) {
  const ParsedCommandLine defaults = parseCommandLine(sennicProgram(), std::vector<const char*>{});
  ASSERT_TRUE(defaults.options);
  EXPECT_EQ(defaults.options->dataFile, "dinosaur.lc");
  const ParsedCommandLine given = parseCommandLine(
      sennicProgram(), std::vector<const char*>{"--data", "set.lc", "--algorithm", "2"});
  ASSERT_TRUE(given.options);
  EXPECT_EQ(given.options->dataFile, "set.lc");
  EXPECT_EQ(given.options->algorithmKey, '2');

  const std::string help =
      parseCommandLine(sennicProgram(), std::vector<const char*>{"--help"}).text;
  EXPECT_TRUE(help.starts_with("Usage: sennic")) << help;
  for (const char* text : {"\"dinosaur.lc\"", "--algorithm KEY", "  128 ", "  129 "}) {
    EXPECT_NE(help.find(text), std::string::npos) << text;
  }
  EXPECT_TRUE(parseCommandLine(sennicProgram(), std::vector<const char*>{"--version"})
                  .text.starts_with("sennic"));
}

}  // namespace
}  // namespace tessmark
