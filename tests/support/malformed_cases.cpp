#include "tests/support/malformed_cases.hpp"

#include "input/text_file.hpp"

namespace tessmark::testing {

namespace {

// What the BAL reader's messages name.
const std::string kCounts = "camera count, point count, observation count";
const std::string kFields = "(camera index, point index, x, y)";

// What the .lc reader's messages name.
const std::string kCameraFields = "(the 12 entries of a 3x4 camera matrix, row by row)";
std::string pointFields(int cameras) {
  return "(x and y in each of the " + std::to_string(cameras) +
         " cameras, -1 -1 where it does not see the point)";
}

// Nine camera parameter lines, holding 0 to 8.
std::string balCameraLines() {
  std::string lines;
  for (int k = 0; k < 9; ++k) lines += std::to_string(k) + "\n";
  return lines;
}

}  // namespace

std::string lcCameraLine(double first) {
  std::string line;
  for (int k = 0; k < 12; ++k) line += std::to_string(first + k) + (k < 11 ? " " : "\n");
  return line;
}

const std::vector<MalformedCase>& balMalformedCases() {
  static const std::vector<MalformedCase> cases = {
      {"no counts line", "", 2,
       "expected the counts line (" + kCounts + "), found the end of the file"},
      {"empty counts line", "\n", 2, "expected 3 values (" + kCounts + "), found 0"},
      {"a count missing", "49 7776\n", 2, "expected 3 values (" + kCounts + "), found 2"},
      {"count not a number", "1 abc 1\n", 2, "expected an integer point count, found 'abc'"},
      {"count with trailing letters", "1 1 3x\n", 2,
       "expected an integer observation count, found '3x'"},
      {"count not an integer", "1.0 1 1\n", 2, "expected an integer camera count, found '1.0'"},
      {"count beyond int32", "1 1 4294967296\n", 2,
       "expected an integer observation count, found '4294967296' (outside the 32-bit range)"},
      {"negative count", "-1 1 1\n", 2, "expected a non-negative camera count, found -1"},
      {"negative observation count", "1 1 -5\n", 2,
       "expected a non-negative observation count, found -5"},
      // Points without observations cannot be triangulated; such counts would only make the program
      // allocate per-point arrays that no record backs.
      {"more points than observations", "0 2147483647 0\n", 2,
       "expected a point count no larger than the observation count (every point needs at least "
       "one "
       "observation), found point count 2147483647 and observation count 0"},
      {"one point more than observations", "1 3 2\n0 0 1 2\n0 1 1 2\n" + std::string(9, '\n'), 2,
       "expected a point count no larger than the observation count (every point needs at least "
       "one "
       "observation), found point count 3 and observation count 2"},
      {"observation line with three values", "1 1 1\n0 0 1.5\n" + std::string(9, '\n'), 3,
       "expected 4 values " + kFields + ", found 3"},
      {"empty observation line", "1 2 2\n0 0 1 2\n\n" + std::string(9, '\n'), 4,
       "expected 4 values " + kFields + ", found 0"},
      // A short line is named short before any fault of its values is.
      {"short observation line with a bad index first", "1 1 1\n7 0 1.5\n" + std::string(9, '\n'),
       3, "expected 4 values " + kFields + ", found 3"},
      {"coordinate not a number", "1 1 1\n0 0 1.5 abc\n" + std::string(9, '\n'), 3,
       "expected a real y coordinate, found 'abc'"},
      {"coordinate nan", "1 1 1\n0 0 nan 1\n" + std::string(9, '\n'), 3,
       "expected a real x coordinate, found 'nan'"},
      {"index not an integer", "1 1 1\n0.0 0 1 2\n" + std::string(9, '\n'), 3,
       "expected an integer camera index, found '0.0'"},
      {"camera index equal to the camera count", "2 1 1\n2 0 1 2\n" + std::string(18, '\n'), 3,
       "expected a camera index from 0 to 1, found camera index 2"},
      {"negative camera index", "2 1 1\n-1 0 1 2\n" + std::string(18, '\n'), 3,
       "expected a camera index from 0 to 1, found camera index -1"},
      {"point index equal to the point count", "1 3 3\n0 2 1 2\n0 3 1 2\n" + std::string(10, '\n'),
       4, "expected a point index from 0 to 2, found point index 3"},
      {"negative point index", "1 3 3\n0 -1 1 2\n" + std::string(11, '\n'), 3,
       "expected a point index from 0 to 2, found point index -1"},
      {"observations without cameras", "0 1 1\n0 0 1 2\n", 3,
       "expected no observations (the camera count is 0), found camera index 0"},
      {"observations without points", "1 0 1\n0 0 1 2\n" + std::string(9, '\n'), 3,
       "expected no observations (the point count is 0), found point index 0"},
      {"file ends among the observations", "1 1 3\n0 0 1 2\n", 4,
       "expected observation line 2 of 3 " + kFields + ", found the end of the file"},
      {"file ends among the camera parameters", "1 1 1\n0 0 1 2\n1\n2\n3\n4\n5\n", 9,
       "expected camera parameter line 6 of 9 (camera translation t2), found the end of the file"},
      {"file ends with the counts", "1 1 1\n", 3,
       "expected observation line 1 of 1 " + kFields + ", found the end of the file"},
      // Caught before anything is allocated: 2e9 observations or 1.8e10 parameters would need
      // gigabytes.
      {"huge observation count", "1 1 2000000000\n0 0 1 2\n", 4,
       "expected observation line 2 of 2000000000 " + kFields + ", found the end of the file"},
      {"huge camera count", "2000000000 0 0\n1\n", 4,
       "expected camera parameter line 2 of 18000000000 (camera rotation w1), found the end of the "
       "file"},
      {"huge counts backed by nothing", "0 2000000000 2000000000\n", 3,
       "expected observation line 1 of 2000000000 " + kFields + ", found the end of the file"},
      {"endless observation line",
       "1 1 1\n0 0 1 " + std::string(TextFile::kMaxLineLength, '2') + "\n", 3,
       "expected an observation line " + kFields + ", found a line longer than 16 MiB"},
      {"empty camera parameter line", "1 0 0\n1\n2\n3\n4\n5\n6\n\n8\n9\n", 9,
       "expected 1 value (camera focal length f), found 0"},
      {"camera parameter not a number", "1 0 0\n0x1p3\n2\n3\n4\n5\n6\n7\n8\n9\n", 3,
       "expected a real camera rotation w0, found '0x1p3'"},
      {"camera parameter inf", "1 0 0\n1\n2\n3\n4\n5\n6\n7\n8\ninf\n", 11,
       "expected a real camera distortion k2, found 'inf'"},
  };
  return cases;
}

// The standard layout's faults: a value that is no number, or an index out of range, is named on
// the line of its token; a value the file lacks, by its place in its record, on the line where the
// record ends short (or after the last line when a whole record is missing).
const std::vector<MalformedCase>& plainBalMalformedCases() {
  static const std::vector<MalformedCase> cases = {
      {"empty file", "", 1,
       "expected the header ID or the counts line (" + kCounts + "), found the end of the file"},
      {"blank lines only", "\n \r\n", 3,
       "expected the header ID or the counts line (" + kCounts + "), found the end of the file"},
      {"a word first, after a blank line", "\nthree 1 1\n", 2,
       "expected the header ID 'Rome_is_not_built_in_one_day!' or the counts line (" + kCounts +
           "), found 'three'"},
      {"a count missing", "\n2 1\n\n", 2,
       "expected the observation count, found the end of the file"},
      {"a count that is no number, on a later line", "2 1\n\nx\n", 3,
       "expected an integer observation count, found 'x'"},
      {"a negative count", "2\n-1 1\n", 2, "expected a non-negative point count, found -1"},
      {"more points than observations", "1 3\n2\n0 0 1 2\n0 1 1 2\n" + balCameraLines(), 2,
       "expected a point count no larger than the observation count (every point needs at least "
       "one "
       "observation), found point count 3 and observation count 2"},
      {"a coordinate that is no number, on the second line of its record",
       "1 1 1\n0 0\n1.5 abc\n" + balCameraLines(), 3, "expected a real y coordinate, found 'abc'"},
      {"an index out of range, on a later line", "1 1 1\n0\n\n4 1 2\n" + balCameraLines(), 4,
       "expected a point index from 0 to 0, found point index 4"},
      {"the file ends inside an observation", "1 1 1\n0 0\n1\n\n", 3,
       "expected the y coordinate of observation 1 of 1 " + kFields +
           ", found the end of the file"},
      {"the file ends between observations", "1 1 3\n0 0 1 2\n", 3,
       "expected observation 2 of 3 " + kFields + ", found the end of the file"},
      {"the file ends among the camera parameters", "1 1 1\n0 0 1 2\n1 2 3\n4 5\n", 5,
       "expected camera parameter 6 of 9 (camera translation t2), found the end of the file"},
      // As for every standard reader, a token too few shifts every later value by one.
      {"a token too few", "1 1 1\n0 0 1\n" + balCameraLines(), 12,
       "expected camera parameter 9 of 9 (camera distortion k2), found the end of the file"},
      {"a camera parameter inf", "1 0 0\n1 2 3 4 5 6 7 8 inf\n", 2,
       "expected a real camera distortion k2, found 'inf'"},
      {"an endless line", "1 1 1\n0 0 1 " + std::string(TextFile::kMaxLineLength, '2') + "\n", 2,
       "expected an observation " + kFields + ", found a line longer than 16 MiB"},
      {"a huge count backed by nothing", "0 2000000000 2000000000\n", 2,
       "expected observation 1 of 2000000000 " + kFields + ", found the end of the file"},
  };
  return cases;
}

const std::vector<MalformedCase>& lcMalformedCases() {
  static const std::vector<MalformedCase> cases = {
      // The counts.
      {"no camera count line", "", 2, "expected the camera count line, found the end of the file"},
      {"empty camera count line", "\n1\n", 2,
       "expected an integer camera count, found the end of the line"},
      {"camera count not a number", "two\n1\n", 2, "expected an integer camera count, found 'two'"},
      {"camera count not an integer", "2.0\n1\n", 2,
       "expected an integer camera count, found '2.0'"},
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
      {"camera entry not a number", "2\n0\n" + lcCameraLine(1) + "1 2 3 4 5 6 x 8 9 10 11 12\n", 5,
       "expected a real camera matrix entry P(1,2), found 'x'"},
      {"camera entry nan", "1\n0\n1 2 3 4 5 6 7 8 9 10 11 nan\n", 4,
       "expected a real camera matrix entry P(2,3), found 'nan'"},
      {"file ends among the cameras", "3\n1\n" + lcCameraLine(1), 5,
       "expected camera line 2 of 3 " + kCameraFields + ", found the end of the file"},
      {"huge camera count in a small file", "1000000000\n1\n" + lcCameraLine(1), 5,
       "expected camera line 2 of 1000000000 " + kCameraFields + ", found the end of the file"},
      // The points.
      {"point line one number short", "2\n1\n" + lcCameraLine(1) + lcCameraLine(2) + "1 2 -1\n", 6,
       "expected 4 values " + pointFields(2) + ", found 3"},
      {"empty point line", "1\n2\n" + lcCameraLine(1) + "1 2\n\n", 6,
       "expected 2 values " + pointFields(1) + ", found 0"},
      // A short line is named short before any fault of its values is.
      {"short point line with a word first",
       "2\n1\n" + lcCameraLine(1) + lcCameraLine(2) + "abc 2 -1\n", 6,
       "expected 4 values " + pointFields(2) + ", found 3"},
      {"short point line with a half view first",
       "2\n1\n" + lcCameraLine(1) + lcCameraLine(2) + "-1 5 3\n", 6,
       "expected 4 values " + pointFields(2) + ", found 3"},
      {"last coordinate not a number", "2\n1\n" + lcCameraLine(1) + lcCameraLine(2) + "1 2 3 x\n",
       6, "expected a real y coordinate, found 'x'"},
      {"coordinate not a number", "1\n1\n" + lcCameraLine(1) + "1 abc\n", 5,
       "expected a real y coordinate, found 'abc'"},
      {"coordinate inf", "1\n1\n" + lcCameraLine(1) + "-inf 1\n", 5,
       "expected a real x coordinate, found '-inf'"},
      {"file ends among the points", "1\n3\n" + lcCameraLine(1) + "1 2\n", 6,
       "expected point line 2 of 3 " + pointFields(1) + ", found the end of the file"},
      {"file ends with the cameras", "1\n1\n" + lcCameraLine(1), 5,
       "expected point line 1 of 1 " + pointFields(1) + ", found the end of the file"},
      {"huge point count in a small file", "1\n2000000000\n" + lcCameraLine(1) + "1 2\n", 6,
       "expected point line 2 of 2000000000 " + pointFields(1) + ", found the end of the file"},
      // A view with one coordinate -1: its camera would be in the point's list or its count, not
      // both.
      {"only x missing", "2\n1\n" + lcCameraLine(1) + lcCameraLine(2) + "1 2 -1 5.5\n", 6,
       "expected both coordinates of camera 1 to be -1 (a view it does not have) or neither, found "
       "x = -1, y = 5.5"},
      {"only y missing",
       "2\n2\n" + lcCameraLine(1) + lcCameraLine(2) + "-1 -1 3 4\n0.25 -1.0 3 4\n", 7,
       "expected both coordinates of camera 0 to be -1 (a view it does not have) or neither, found "
       "x = 0.25, y = -1"},
  };
  return cases;
}

}  // namespace tessmark::testing
