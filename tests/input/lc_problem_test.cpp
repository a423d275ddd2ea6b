#include "input/lc_problem.hpp"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "input/input_error.hpp"
#include "tests/input/capture_input_error.hpp"
#include "tests/support/malformed_cases.hpp"

namespace tessmark {
namespace {

using testing::captureInputError;
using testing::lcMalformedCases;
using testing::MalformedCase;

const std::string kHeader = "Jingle_bells,_jingle_bells,_Jingle_all_the_way!\n";

LcProblem readText(std::string text) {
  TextFile file = TextFile::fromText("dinosaur.lc", std::move(text));
  checkLcHeader(file);
  const LcCounts counts = readLcCounts(file);
  return readLcRecords(file, counts);
}

std::string cameraLine(double first) { return testing::lcCameraLine(first); }

TEST(LcReader, ReadsAWellFormedFileExactly) {
  const std::string text = kHeader.substr(0, kHeader.size() - 1) + " and a comment\r\n" +
                           "2 cameras\r\n"
                           "  3\n"
                           "1 2 3 4 5 6 7 8 9 10 11 12 extra tokens\n"
                           "-1.5e2\t+0.25 0 -0 1E-3 2 3 4 5 6 7 0.012249240354938502\r\n"
                           "20.3100 405.6000 -1.0000 -1.0000\n"
                           "-1 -1 -1.0 -1e0 ignored 99\n"
                           "  7 -8.5 -0.5 -1.5\r\n"
                           "the rest of the file is not read\n";
  const LcProblem problem = readText(text);

  EXPECT_EQ(problem.allCameraNum, 2);
  EXPECT_EQ(problem.pointNum, 3);
  Eigen::MatrixXd cameras(6, 4);
  cameras << 1, 2, 3, 4,  //
      5, 6, 7, 8,         //
      9, 10, 11, 12,      //
      -150, 0.25, 0, -0,  //
      1e-3, 2, 3, 4,      //
      5, 6, 7, 0.012249240354938502;
  EXPECT_EQ(problem.cameraProjections, cameras);
  ASSERT_EQ(problem.rowLength(), 4u);
  EXPECT_EQ(problem.lcObservations,
            (std::vector<double>{20.31, 405.6, -1, -1, -1, -1, -1, -1, 7, -8.5, -0.5, -1.5}));
  EXPECT_EQ(problem.observationRow(2)[1], -8.5);
}

TEST(LcReader, ZeroCountsReadNoRecords) {
  struct Case {
    const char* name;
    std::string text;
    int cameras, points;
  };
  const Case cases[] = {
      {"nothing at all", "0\n0\n", 0, 0},
      {"cameras without points", "2\n0\n" + cameraLine(1) + cameraLine(13), 2, 0},
      // Without cameras a point line holds no numbers, but the line is still there.
      {"points without cameras", "0\n2\n\n  \n", 0, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const LcProblem problem = readText(kHeader + c.text);
    EXPECT_EQ(problem.allCameraNum, c.cameras);
    EXPECT_EQ(problem.pointNum, c.points);
    EXPECT_EQ(problem.cameraProjections.rows(), 3 * c.cameras);
    EXPECT_EQ(problem.lcObservations.size(), problem.rowLength() * c.points);
  }
}

TEST(LcReader, AcceptsEveryHeaderIdAndNothingElse) {
  for (const std::string_view id : kLcHeaderIds) {
    for (const std::string& line : {std::string(id), "  " + std::string(id) + "\tmore words"}) {
      SCOPED_TRACE(line);
      TextFile file = TextFile::fromText("dinosaur.lc", line + "\n0\n0\n");
      EXPECT_NO_THROW(checkLcHeader(file));
      EXPECT_EQ(file.lineNumber(), 1);
    }
  }
  EXPECT_EQ(kLcHeaderIds[3].size(), 17u);
  EXPECT_EQ(kLcHeaderIds[3].back(), '!');

  const std::string expected =
      "expected one of the header IDs 'Jingle_bells,_jingle_bells,_Jingle_all_the_way!', "
      "'Tovalen_is_great!', 'stereohomology!', 'Tessmark_lc_data!', found ";
  struct Rejected {
    std::string text;
    std::string found;
  };
  const std::vector<Rejected> rejected = {
      {"", "an empty file"},
      {"\nTovalen_is_great!\n", "an empty line"},
      {"tovalen_is_great!\n", "'tovalen_is_great!'"},
      {"Tovalen_is_great!!\n", "'Tovalen_is_great!!'"},
      {"stereohomology\n", "'stereohomology'"},
      // The BAL program's header ID belongs to the other format.
      {"Rome_is_not_built_in_one_day!\n", "'Rome_is_not_built_in_one_day!'"},
      // A phrase with a blank is two tokens: it can never be a header ID.
      {"Twinkle,_twinkle,_little_star,_How_I wonder_what_you_are!\n",
       "'Twinkle,_twinkle,_little_star,_How_I'"},
  };
  for (const Rejected& item : rejected) {
    SCOPED_TRACE(item.text);
    TextFile file = TextFile::fromText("dinosaur.lc", item.text);
    const InputError error = captureInputError([&] { checkLcHeader(file); });
    EXPECT_EQ(error.kind, InputError::Kind::wrongHeader);
    EXPECT_EQ(error.line, 1);
    EXPECT_EQ(error.detail, expected + item.found);
  }
}

TEST(LcReader, MalformedInputNamesLineAndExpectation) {
  for (const MalformedCase& item : lcMalformedCases()) {
    SCOPED_TRACE(item.rule);
    const InputError error = captureInputError([&] { readText(kHeader + item.text); });
    EXPECT_EQ(error.kind, InputError::Kind::malformed);
    EXPECT_EQ(error.file, "dinosaur.lc");
    EXPECT_EQ(error.line, item.line);
    EXPECT_EQ(error.detail, item.detail);
    EXPECT_EQ(std::string(error.what()),
              "dinosaur.lc:" + std::to_string(item.line) + ": " + item.detail);
  }
}

}  // namespace
}  // namespace tessmark
