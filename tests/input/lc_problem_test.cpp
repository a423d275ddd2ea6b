#include "input/lc_problem.hpp"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "input/input_error.hpp"
#include "tests/input/capture_input_error.hpp"

namespace tessmark {
namespace {

using testing::captureInputError;

const std::string kHeader = "Jingle_bells,_jingle_bells,_Jingle_all_the_way!\n";

LcProblem readText(std::string text) {
  TextFile file = TextFile::fromText("dinosaur.lc", std::move(text));
  checkLcHeader(file);
  const LcCounts counts = readLcCounts(file);
  return readLcRecords(file, counts);
}

// A camera line whose entry k is `first` + k.
std::string cameraLine(double first) {
  std::string line;
  for (int k = 0; k < 12; ++k) line += std::to_string(first + k) + (k < 11 ? " " : "\n");
  return line;
}

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

// One case per format rule: the file after the header line, the line the error names and its
// detail.
struct MalformedCase {
  const char* rule;
  std::string text;
  int line;
  std::string detail;
};

const std::string kCameraFields = "(the 12 entries of a 3x4 camera matrix, row by row)";
std::string pointFields(int cameras) {
  return "(x and y in each of the " + std::to_string(cameras) +
         " cameras, -1 -1 where it does not see the point)";
}

const std::vector<MalformedCase> kMalformedCases = {
    // The counts.
    {"no camera count line", "", 2, "expected the camera count line, found the end of the file"},
    {"empty camera count line", "\n1\n", 2,
     "expected an integer camera count, found the end of the line"},
    {"camera count not a number", "two\n1\n", 2, "expected an integer camera count, found 'two'"},
    {"camera count not an integer", "2.0\n1\n", 2, "expected an integer camera count, found '2.0'"},
    {"negative camera count", "-1\n1\n", 2, "expected a non-negative camera count, found -1"},
    {"camera count whose point lines no int32 can count", "1073741824\n0\n", 2,
     "expected a camera count of at most 1073741823, found 1073741824"},
    {"no point count line", "1\n", 3, "expected the point count line, found the end of the file"},
    {"point count beyond int32", "1\n2147483648\n", 3,
     "expected an integer point count, found '2147483648' (outside the 32-bit range)"},
    {"negative point count", "1\n-3\n", 3, "expected a non-negative point count, found -3"},
    // The cameras.
    {"camera line with eleven numbers", "1\n0\n1 2 3 4 5 6 7 8 9 10 11\n", 4,
     "expected 12 values " + kCameraFields + ", found 11"},
    {"camera entry not a number", "2\n0\n" + cameraLine(1) + "1 2 3 4 5 6 x 8 9 10 11 12\n", 5,
     "expected a real camera matrix entry P(1,2), found 'x'"},
    {"camera entry nan", "1\n0\n1 2 3 4 5 6 7 8 9 10 11 nan\n", 4,
     "expected a real camera matrix entry P(2,3), found 'nan'"},
    {"file ends among the cameras", "3\n1\n" + cameraLine(1), 5,
     "expected camera line 2 of 3 " + kCameraFields + ", found the end of the file"},
    {"huge camera count in a small file", "1000000000\n1\n" + cameraLine(1), 5,
     "expected camera line 2 of 1000000000 " + kCameraFields + ", found the end of the file"},
    // The points.
    {"point line one number short", "2\n1\n" + cameraLine(1) + cameraLine(2) + "1 2 -1\n", 6,
     "expected 4 values " + pointFields(2) + ", found 3"},
    {"empty point line", "1\n2\n" + cameraLine(1) + "1 2\n\n", 6,
     "expected 2 values " + pointFields(1) + ", found 0"},
    // A short line is named short before any fault of its values is.
    {"short point line with a word first", "2\n1\n" + cameraLine(1) + cameraLine(2) + "abc 2 -1\n",
     6, "expected 4 values " + pointFields(2) + ", found 3"},
    {"short point line with a half view first",
     "2\n1\n" + cameraLine(1) + cameraLine(2) + "-1 5 3\n", 6,
     "expected 4 values " + pointFields(2) + ", found 3"},
    {"last coordinate not a number", "2\n1\n" + cameraLine(1) + cameraLine(2) + "1 2 3 x\n", 6,
     "expected a real y coordinate, found 'x'"},
    {"coordinate not a number", "1\n1\n" + cameraLine(1) + "1 abc\n", 5,
     "expected a real y coordinate, found 'abc'"},
    {"coordinate inf", "1\n1\n" + cameraLine(1) + "-inf 1\n", 5,
     "expected a real x coordinate, found '-inf'"},
    {"file ends among the points", "1\n3\n" + cameraLine(1) + "1 2\n", 6,
     "expected point line 2 of 3 " + pointFields(1) + ", found the end of the file"},
    {"file ends with the cameras", "1\n1\n" + cameraLine(1), 5,
     "expected point line 1 of 1 " + pointFields(1) + ", found the end of the file"},
    {"huge point count in a small file", "1\n2000000000\n" + cameraLine(1) + "1 2\n", 6,
     "expected point line 2 of 2000000000 " + pointFields(1) + ", found the end of the file"},
    // A view with one coordinate -1: its camera would be in the point's list or its count, not
    // both.
    {"only x missing", "2\n1\n" + cameraLine(1) + cameraLine(2) + "1 2 -1 5.5\n", 6,
     "expected both coordinates of camera 1 to be -1 (a view it does not have) or neither, found "
     "x = -1, y = 5.5"},
    {"only y missing", "2\n2\n" + cameraLine(1) + cameraLine(2) + "-1 -1 3 4\n0.25 -1.0 3 4\n", 7,
     "expected both coordinates of camera 0 to be -1 (a view it does not have) or neither, found "
     "x = 0.25, y = -1"},
};

TEST(LcReader, MalformedInputNamesLineAndExpectation) {
  for (const MalformedCase& item : kMalformedCases) {
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
