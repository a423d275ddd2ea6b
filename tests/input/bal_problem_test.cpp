#include "input/bal_problem.hpp"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "input/input_error.hpp"
#include "tests/input/capture_input_error.hpp"
#include "tests/support/malformed_cases.hpp"

namespace tessmark {
namespace {

using testing::balMalformedCases;
using testing::captureInputError;
using testing::MalformedCase;
using testing::plainBalMalformedCases;

const std::string kHeader = std::string(kBalHeaderId) + "\n";

BalProblem readFile(TextFile file) {
  checkBalHeader(file);
  const BalCounts counts = readBalCounts(file);
  return readBalRecords(file, counts);
}

BalProblem readText(std::string text) {
  return readFile(TextFile::fromText("problem.txt", std::move(text)));
}

// The standard layout: the header-ID line optional, the rest read by tokens.
BalProblem readPlainFile(TextFile file) {
  const BalCounts counts = readBalCountsAfterOptionalHeader(file);
  return readBalRecords(file, counts);
}

// The same text from a source of unknown length (as a pipe), in pieces of `piece` bytes.
BalProblem readStream(std::string text, std::size_t piece,
                      BalProblem (*read)(TextFile) = readFile) {
  std::size_t offset = 0;
  auto source = [text = std::move(text), piece, offset](char* buffer, std::size_t size) mutable {
    const std::size_t taken = std::min({size, piece, text.size() - offset});
    std::memcpy(buffer, text.data() + offset, taken);
    offset += taken;
    return taken;
  };
  return read(TextFile::fromSource("problem.txt", std::move(source)));
}

// Nine parameter lines of one camera, each holding `value` + k.
std::string cameraLines(double value) {
  std::string lines;
  for (int k = 0; k < 9; ++k) lines += std::to_string(value + k) + "\n";
  return lines;
}

TEST(BalReader, ReadsAWellFormedFileExactly) {
  const std::string text = std::string(kBalHeaderId) +
                           " trailing words\r\n"
                           "2 3 4 extra 99\r\n"
                           "0 0     -3.326500e+02 2.620900e+02\r\n"
                           "1\t0 +1.5 -2 ignored tokens 17\n"
                           "  1 1 7 8\n"
                           "+0 2 1e3 -0.5E-1\r\n"
                           "1.5e-02\n-2.1\n+3\n4 ignored\n5\n6\n7.5e2\n-1e-3\n1e-4\r\n"
                           "0\n0\n0\n-1\n-2\n-3\n400\n0\n0\n"
                           "0.5 0.5 0.5\n1 1 1\nnot part of the problem\n";
  const BalProblem problem = readText(text);

  EXPECT_EQ(problem.cameraNum, 2);
  EXPECT_EQ(problem.pointNum, 3);
  EXPECT_EQ(problem.imageCoordinates, 4);
  EXPECT_EQ(problem.observationCamera, (std::vector<int>{0, 1, 1, 0}));
  EXPECT_EQ(problem.observationPoint, (std::vector<int>{0, 0, 1, 2}));
  Eigen::MatrixXd table(4, 2);
  table << -332.65, 262.09, 1.5, -2.0, 7.0, 8.0, 1000.0, -0.05;
  EXPECT_EQ(problem.observationTable, table);
  Eigen::VectorXd parameters(18);
  parameters << 0.015, -2.1, 3, 4, 5, 6, 750, -0.001, 0.0001, 0, 0, 0, -1, -2, -3, 400, 0, 0;
  EXPECT_EQ(problem.cameraParameters, parameters);
}

TEST(BalReader, CameraParametersFollowTheCountsWhenThereAreNoObservations) {
  const BalProblem problem = readText(kHeader + "1 0 0\n" + cameraLines(10.0));
  EXPECT_EQ(problem.imageCoordinates, 0);
  EXPECT_TRUE(problem.observationCamera.empty());
  EXPECT_EQ(problem.observationTable.rows(), 0);
  ASSERT_EQ(problem.cameraParameters.size(), 9);
  EXPECT_EQ(problem.cameraParameters[0], 10.0);
  EXPECT_EQ(problem.cameraParameters[8], 18.0);
}

TEST(BalReader, AllCountsZeroIsAnEmptyProblem) {
  const BalProblem problem = readText(kHeader + "0 0 0");
  EXPECT_EQ(problem.cameraNum, 0);
  EXPECT_EQ(problem.pointNum, 0);
  EXPECT_EQ(problem.imageCoordinates, 0);
  EXPECT_EQ(problem.cameraParameters.size(), 0);
}

TEST(BalReader, HeaderIdIsTheExactFirstToken) {
  const std::string id = kBalHeaderId;
  for (const std::string& line : {id, "   " + id, "\t" + id + " and more", id + "\r", id + "\tx"}) {
    SCOPED_TRACE(line);
    TextFile file = TextFile::fromText("problem.txt", line + "\n0 0 0\n");
    EXPECT_NO_THROW(checkBalHeader(file));
    EXPECT_EQ(file.lineNumber(), 1);
  }

  struct Rejected {
    std::string text;
    std::string found;
  };
  const std::vector<Rejected> rejected = {
      {"", "an empty file"},
      {"\n" + id + "\n", "an empty line"},
      {" \t\r\n", "an empty line"},
      {"rome_is_not_built_in_one_day!\n", "'rome_is_not_built_in_one_day!'"},
      {id + "!\n", "'" + id + "!'"},
      {"Rome_is_not_built_in_one_day\n", "'Rome_is_not_built_in_one_day'"},
      {"x " + id + "\n", "'x'"},
  };
  for (const Rejected& item : rejected) {
    SCOPED_TRACE(item.text);
    TextFile file = TextFile::fromText("problem.txt", item.text);
    const InputError error = captureInputError([&] { checkBalHeader(file); });
    EXPECT_EQ(error.kind, InputError::Kind::wrongHeader);
    EXPECT_EQ(error.line, 1);
    EXPECT_EQ(error.detail, "expected the header ID '" + id + "', found " + item.found);
  }
}

// Each case from a text of known length and from a stream of unknown length, whose arrays start
// small and grow.
TEST(BalReader, MalformedInputNamesLineAndExpectation) {
  for (const MalformedCase& item : balMalformedCases()) {
    SCOPED_TRACE(item.rule);
    for (bool stream : {false, true}) {
      SCOPED_TRACE(stream ? "stream" : "text");
      const InputError error = captureInputError(
          [&] { stream ? readStream(kHeader + item.text, 4096) : readText(kHeader + item.text); });
      EXPECT_EQ(error.kind, InputError::Kind::malformed);
      EXPECT_EQ(error.file, "problem.txt");
      EXPECT_EQ(error.line, item.line);
      EXPECT_EQ(error.detail, item.detail);
      EXPECT_EQ(std::string(error.what()),
                "problem.txt:" + std::to_string(item.line) + ": " + item.detail);
    }
  }
}

// A wrong header is refused from line 1 alone: the source fails the test if asked for more.
TEST(BalReader, WrongHeaderIsRefusedWithoutReadingTheRest) {
  int calls = 0;
  TextFile file = TextFile::fromSource("huge.txt", [&calls](char* buffer, std::size_t size) {
    if (++calls > 1) {
      ADD_FAILURE() << "read past line 1";
      std::memset(buffer, '0', size);
      return size;
    }
    const std::string first = "Rome_is_not_built_in_one_day\n";
    std::memcpy(buffer, first.data(), first.size());
    return first.size();
  });
  const InputError error = captureInputError([&] { checkBalHeader(file); });
  EXPECT_EQ(error.kind, InputError::Kind::wrongHeader);
  EXPECT_EQ(error.line, 1);
  EXPECT_EQ(calls, 1);
}

// A first line that never ends is no header: refused as a wrong header at the line bound. A read
// error on line 1 stays a read error.
TEST(BalReader, FirstLineThatCannotBeReadWhole) {
  struct Case {
    const char* name;
    TextFile::Source source;
    InputError::Kind kind;
    std::string detail;
  };
  const std::vector<Case> cases = {
      {"endless line",
       [](char* buffer, std::size_t size) {
         std::memset(buffer, 0, size);
         return size;
       },
       InputError::Kind::wrongHeader,
       "expected the header ID '" + std::string(kBalHeaderId) +
           "', found a line longer than 16 MiB"},
      {"read error inside the line",
       [calls = 0](char* buffer, std::size_t) mutable -> std::size_t {
         if (++calls > 1) {
           throw InputError(InputError::Kind::cannotOpen, "device", 0, "Input/output error");
         }
         std::memcpy(buffer, "Rome", 4);
         return 4;
       },
       InputError::Kind::cannotOpen, "Input/output error"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TextFile file = TextFile::fromSource("device", c.source);
    const InputError error = captureInputError([&] { checkBalHeader(file); });
    EXPECT_EQ(error.kind, c.kind);
    EXPECT_EQ(error.detail, c.detail);
  }
}

// More records than the first room of a stream of unknown length: the arrays grow and end up
// exactly as from a text of known length.
// ---- The standard layout, read by tokens -------------------------------------------------------

void expectSameProblem(const BalProblem& read, const BalProblem& expected) {
  EXPECT_EQ(read.cameraNum, expected.cameraNum);
  EXPECT_EQ(read.pointNum, expected.pointNum);
  EXPECT_EQ(read.imageCoordinates, expected.imageCoordinates);
  EXPECT_EQ(read.observationCamera, expected.observationCamera);
  EXPECT_EQ(read.observationPoint, expected.observationPoint);
  EXPECT_EQ(read.observationTable, expected.observationTable);
  EXPECT_EQ(read.cameraParameters, expected.cameraParameters);
}

// Standard BAL readers take the file as whitespace-separated tokens: wherever its line ends fall
// (a blank line after the counts, as trimmed public files have it, a record broken over lines, all
// on one line), it is the same problem, from a text and from a stream alike.
TEST(PlainBalReader, LineEndsCountAsBlanks) {
  const std::string parameters = cameraLines(1.0) + cameraLines(20.0);
  std::string oneLine = parameters;
  std::replace(oneLine.begin(), oneLine.end(), '\n', ' ');
  const std::string canonical = "2 2 3\n0 0 -3.5 2.25\n1 0 7 8\n1 1 +1e3 -0.5\n" + parameters;
  const BalProblem expected = readText(kHeader + canonical);
  struct Case {
    const char* layout;
    std::string text;
  };
  const Case cases[] = {
      {"as distributed", canonical},
      {"with the header-ID line", kHeader + canonical},
      {"the header-ID line with more words", std::string(kBalHeaderId) + " x 1\n" + canonical},
      {"a blank line after the counts",
       "2 2 3\n\n0 0 -3.5 2.25\n1 0 7 8\n1 1 +1e3 -0.5\n" + parameters},
      {"blank lines and blanks everywhere, CRLF line ends",
       "\r\n\n  2 2 3 \r\n\t\n0 0 -3.5 2.25\r\n\n1 0 7 8\r\n1 1 +1e3 -0.5\r\n\n" + parameters +
           "\n\n"},
      {"records and counts broken over lines",
       "2 2\n3\n0\n0 -3.5\n2.25 1 0\n7\n8 1\n1\n+1e3\n-0.5 " + parameters},
      {"everything on one line, no line feed at the end",
       "2 2 3 0 0 -3.5 2.25 1 0 7 8 1 1 +1e3 -0.5 " + oneLine},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.layout);
    expectSameProblem(readPlainFile(TextFile::fromText("problem.txt", c.text)), expected);
    expectSameProblem(readStream(c.text, 5, readPlainFile), expected);
  }

  // The header-ID file keeps its line rules: there a blank line is a short record.
  const InputError error = captureInputError(
      [&] { readText(kHeader + "2 2 3\n\n0 0 -3.5 2.25\n1 0 7 8\n1 1 +1e3 -0.5\n" + parameters); });
  EXPECT_EQ(error.line, 3);
  EXPECT_EQ(error.detail, "expected 4 values (camera index, point index, x, y), found 0");
}

TEST(PlainBalReader, MalformedInputNamesLineAndExpectation) {
  for (const MalformedCase& item : plainBalMalformedCases()) {
    SCOPED_TRACE(item.rule);
    for (bool stream : {false, true}) {
      SCOPED_TRACE(stream ? "stream" : "text");
      const InputError error = captureInputError([&] {
        stream ? readStream(item.text, 4096, readPlainFile)
               : readPlainFile(TextFile::fromText("problem.txt", item.text));
      });
      EXPECT_EQ(error.kind, InputError::Kind::malformed);
      EXPECT_EQ(error.line, item.line);
      EXPECT_EQ(error.detail, item.detail);
    }
  }
}

TEST(BalReader, StreamOfUnknownLengthReadsTheSameAsAText) {
  constexpr int kCameras = 9000;  // 81000 parameter lines
  constexpr int kPoints = 50000;
  constexpr int kObservations = 2 * kPoints;
  std::string text = kHeader + std::to_string(kCameras) + " " + std::to_string(kPoints) + " " +
                     std::to_string(kObservations) + "\n";
  for (int i = 0; i < kObservations; ++i) {
    text += std::to_string(i % kCameras) + " " + std::to_string(i / 2) + " " +
            std::to_string(0.5 * i) + " " + std::to_string(-0.25 * i) + "\n";
  }
  for (int k = 0; k < 9 * kCameras; ++k) text += std::to_string(k) + ".125\n";

  const BalProblem fromText = readText(text);
  const BalProblem fromStream = readStream(text, 65521);
  ASSERT_EQ(fromText.imageCoordinates, kObservations);
  EXPECT_EQ(fromText.observationTable(kObservations - 1, 1), -0.25 * (kObservations - 1));
  EXPECT_EQ(fromText.cameraParameters[9 * kCameras - 1], 9 * kCameras - 1 + 0.125);
  EXPECT_EQ(fromStream.observationCamera, fromText.observationCamera);
  EXPECT_EQ(fromStream.observationPoint, fromText.observationPoint);
  EXPECT_EQ(fromStream.observationTable, fromText.observationTable);
  EXPECT_EQ(fromStream.cameraParameters, fromText.cameraParameters);
}

}  // namespace
}  // namespace tessmark
