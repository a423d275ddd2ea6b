#include "tools/maker_options.hpp"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/child_process.hpp"

namespace tessmark {
namespace {

using synthetic::MakerOptions;
using synthetic::MakerRequest;
using testing::ChildResult;
using testing::runChild;

MakerRequest parse(std::vector<std::string> arguments, MakerOptions& options) {
  arguments.insert(arguments.begin(), "maker");
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  const synthetic::MakerDescription maker{.name = "maker",
                                          .summary = "",
                                          .fewestCameras = 12,
                                          .defaults = options,
                                          .cameraShape = "on the ring"};
  return synthetic::parseMakerOptions(static_cast<int>(argv.size()), argv.data(), maker, options);
}

TEST(MakerOptions, HelpAnywhereWrongLinesAndRuns) {
  struct Case {
    std::vector<std::string> arguments;
    MakerRequest request;
  };
  const std::vector<Case> cases = {
      {{"out.txt"}, MakerRequest::make},
      {{"out.txt", "--cameras", "12", "--points", "0", "--noise", "0", "--seed", "7"},
       MakerRequest::make},
      {{"--help"}, MakerRequest::help},
      {{"-h"}, MakerRequest::help},
      {{"out.txt", "--cameras", "3", "--help"}, MakerRequest::help},
      {{}, MakerRequest::wrongCommandLine},
      {{"out.txt", "--cameras", "11"}, MakerRequest::wrongCommandLine},
      {{"out.txt", "--points", "-1"}, MakerRequest::wrongCommandLine},
      {{"out.txt", "--noise"}, MakerRequest::wrongCommandLine},
      {{"out.txt", "--colour", "red"}, MakerRequest::wrongCommandLine},
  };
  for (const Case& c : cases) {
    std::string line;
    for (const std::string& argument : c.arguments) line += argument + " ";
    SCOPED_TRACE(line);
    MakerOptions options{.output = "", .cameras = 49, .points = 7776};
    EXPECT_EQ(parse(c.arguments, options), c.request);
  }
}

// --help tells the defaults and exits 0 on standard output; a wrong line is one usage line on
// standard error and status 2, and writes nothing.
TEST(Makers, HelpShowsTheDefaultsAndAWrongLineFails) {
  struct Maker {
    std::string program;
    std::vector<std::string> helpHas;
  };
  const std::vector<Maker> makers = {
      {TESSMARK_MAKE_BAL,
       {"Usage: make_bal_problem OUTPUT", "at least 12 (default: 49)", "(default: 7776)",
        "(default: 0.5)", "(default: 2014)", "Exit status:"}},
      {TESSMARK_MAKE_LC,
       {"Usage: make_lc_problem OUTPUT", "at least 2 (default: 36)", "(default: 4983)",
        "(default: 0.5)", "(default: 2014)", "Tessmark_lc_data!"}},
  };
  const testing::TemporaryFolder folder;
  for (const Maker& maker : makers) {
    SCOPED_TRACE(maker.program);
    for (const char* help : {"--help", "-h"}) {
      const ChildResult run = runChild({maker.program, {help}, folder.path()});
      ASSERT_TRUE(run.exited) << run.err;
      EXPECT_EQ(run.status, 0);
      EXPECT_EQ(run.err, "");
      for (const std::string& text : maker.helpHas) {
        EXPECT_NE(run.out.find(text), std::string::npos) << text << " in\n" << run.out;
      }
    }
    const ChildResult wrong = runChild({maker.program, {"out.txt", "--points"}, folder.path()});
    ASSERT_TRUE(wrong.exited) << wrong.err;
    EXPECT_EQ(wrong.status, 2);
    EXPECT_EQ(wrong.out, "");
    EXPECT_TRUE(wrong.err.starts_with("usage: ")) << wrong.err;
    EXPECT_NE(wrong.err.find("--help"), std::string::npos) << wrong.err;
    EXPECT_FALSE(std::filesystem::exists(folder.path() / "out.txt"));
  }
}

}  // namespace
}  // namespace tessmark
