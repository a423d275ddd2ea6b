#include "input/bal_problem.hpp"

#include <cassert>
#include <cstdint>
#include <string>
#include <utility>

#include "input/input_error.hpp"

namespace tessmark {

namespace {

constexpr int kParametersPerCamera = 9;
constexpr const char* kCountNames = "camera count, point count, observation count";
constexpr const char* kObservationFields = "camera index, point index, x, y";
constexpr const char* kParameterNames[kParametersPerCamera] = {
    "camera rotation w0",    "camera rotation w1",    "camera rotation w2",
    "camera translation t0", "camera translation t1", "camera translation t2",
    "camera focal length f", "camera distortion k1",  "camera distortion k2"};

[[noreturn]] void malformed(const TextFile& file, int line, std::string detail) {
  throw InputError(InputError::Kind::malformed, file.path(), line, std::move(detail));
}

int readCount(const TextFile& file, LineTokens& tokens, const char* name) {
  const int count = tokens.nextInt(name);
  if (count < 0) {
    malformed(file, file.lineNumber(),
              "expected a non-negative " + std::string(name) + ", found " + std::to_string(count));
  }
  return count;
}

// An index into a table of `count` entries; `name` is "camera" or "point".
int readIndex(const TextFile& file, LineTokens& tokens, std::string_view what, const char* name,
              int count) {
  const int index = tokens.nextInt(what);
  if (index < 0 || index >= count) {
    const std::string found = std::string(what) + " " + std::to_string(index);
    malformed(file, file.lineNumber(),
              count > 0 ? "expected a " + std::string(what) + " from 0 to " +
                              std::to_string(count - 1) + ", found " + found
                        : "expected no observations (the " + std::string(name) +
                              " count is 0), found " + found);
  }
  return index;
}

// Names the first line that a file holding only `available` of the record lines lacks, exactly as
// reading up to it would.
[[noreturn]] void missingRecord(const TextFile& file, const BalCounts& counts,
                                std::int64_t available) {
  const std::int64_t line = file.lineNumber() + available + 1;
  const std::int64_t parameterLines = std::int64_t{kParametersPerCamera} * counts.cameraNum;
  std::string expected;
  if (available < counts.imageCoordinates) {
    expected = "observation line " + std::to_string(available + 1) + " of " +
               std::to_string(counts.imageCoordinates) + " (" + kObservationFields + ")";
  } else {
    const std::int64_t k = available - counts.imageCoordinates;
    expected = "camera parameter line " + std::to_string(k + 1) + " of " +
               std::to_string(parameterLines) + " (" + kParameterNames[k % kParametersPerCamera] +
               ")";
  }
  malformed(file, line > INT32_MAX ? 0 : static_cast<int>(line),
            "expected " + expected + ", found the end of the file");
}

}  // namespace

void checkBalHeader(TextFile& file) {
  const std::string expected = "expected the header ID '" + std::string(kBalHeaderId) + "', found ";
  if (file.remainingLines(1) == 0) {
    throw InputError(InputError::Kind::wrongHeader, file.path(), 1, expected + "an empty file");
  }
  LineTokens tokens(file, file.nextLine("the header ID line"));
  const std::string_view token = tokens.next();
  if (token != kBalHeaderId) {
    throw InputError(InputError::Kind::wrongHeader, file.path(), file.lineNumber(),
                     expected + (token.empty() ? "an empty line" : quotedToken(token)));
  }
}

BalCounts readBalCounts(TextFile& file) {
  LineTokens tokens(file, file.nextLine("the counts line (" + std::string(kCountNames) + ")"));
  tokens.require(3, kCountNames);
  BalCounts counts;
  counts.cameraNum = readCount(file, tokens, "camera count");
  counts.pointNum = readCount(file, tokens, "point count");
  counts.imageCoordinates = readCount(file, tokens, "observation count");
  return counts;
}

BalProblem readBalRecords(TextFile& file, const BalCounts& counts) {
  assert(counts.cameraNum >= 0 && counts.pointNum >= 0 && counts.imageCoordinates >= 0);
  // Every record is one line, so a file too short for its counts is found before anything is
  // allocated: a huge count in a small file never reaches the allocator.
  const std::int64_t needed =
      counts.imageCoordinates + std::int64_t{kParametersPerCamera} * counts.cameraNum;
  const auto available =
      static_cast<std::int64_t>(file.remainingLines(static_cast<std::size_t>(needed)));
  if (available < needed) missingRecord(file, counts, available);

  BalProblem problem;
  problem.cameraNum = counts.cameraNum;
  problem.pointNum = counts.pointNum;
  problem.imageCoordinates = counts.imageCoordinates;
  problem.observationCamera.resize(counts.imageCoordinates);
  problem.observationPoint.resize(counts.imageCoordinates);
  problem.observationTable.resize(counts.imageCoordinates, 2);
  problem.cameraParameters.resize(std::int64_t{kParametersPerCamera} * counts.cameraNum);

  const std::string observationLine =
      std::string("an observation line (") + kObservationFields + ")";
  for (int i = 0; i < counts.imageCoordinates; ++i) {
    LineTokens tokens(file, file.nextLine(observationLine));
    tokens.require(4, kObservationFields);
    problem.observationCamera[i] =
        readIndex(file, tokens, "camera index", "camera", counts.cameraNum);
    problem.observationPoint[i] = readIndex(file, tokens, "point index", "point", counts.pointNum);
    problem.observationTable(i, 0) = tokens.nextDouble("x coordinate");
    problem.observationTable(i, 1) = tokens.nextDouble("y coordinate");
  }

  for (Eigen::Index k = 0; k < problem.cameraParameters.size(); ++k) {
    const char* name = kParameterNames[k % kParametersPerCamera];
    LineTokens tokens(file, file.nextLine("a camera parameter line"));
    tokens.require(1, name);
    problem.cameraParameters[k] = tokens.nextDouble(name);
  }
  return problem;
}

}  // namespace tessmark
