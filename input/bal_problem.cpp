#include "input/bal_problem.hpp"

#include <algorithm>
#include <cassert>
#include <cctype>
#include <cstdint>
#include <optional>
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

[[noreturn]] void malformed(const TextFile& file, std::int64_t line, std::string detail) {
  file.refuse(InputError::Kind::malformed, line, std::move(detail));
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

// Names the first record line that the file lacks: the file ended after `available` records.
[[noreturn]] void missingRecord(const TextFile& file, const BalCounts& counts,
                                std::int64_t available) {
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
  malformed(file, file.lineNumber() + 1, "expected " + expected + ", found the end of the file");
}

// The fewest bytes a record line can take: an observation holds four tokens and three separators
// ("0 0 0 0") and a camera parameter one token; each ends with a line feed, except possibly the
// last line of the file.
constexpr std::uint64_t kShortestObservationLine = 8;
constexpr std::uint64_t kShortestParameterLine = 2;
// First room for records from a source of unknown length.
constexpr std::int64_t kUnknownLengthRecords = std::int64_t{1} << 16;

// Room for records as they arrive: at first as many as the rest of the file can hold (lines of at
// least `shortestLine` bytes), never more than `count`; doubled, up to `count`, when full.
class RecordRoom {
 public:
  RecordRoom(const TextFile& file, std::int64_t count, std::uint64_t shortestLine) : count_(count) {
    const std::optional<std::uint64_t> remaining = file.remainingBytes();
    const std::uint64_t fits =
        remaining ? (*remaining + 1) / shortestLine : std::uint64_t{kUnknownLengthRecords};
    size_ =
        static_cast<std::int64_t>(std::min<std::uint64_t>(static_cast<std::uint64_t>(count), fits));
  }
  std::int64_t size() const { return size_; }
  // Grows the room when record `index` does not fit; true when it grew.
  bool grow(std::int64_t index) {
    if (index < size_) return false;
    size_ = std::min(count_, std::max(2 * size_, kUnknownLengthRecords));
    return true;
  }

 private:
  std::int64_t count_;
  std::int64_t size_ = 0;
};

// The next value of the whitespace-separated layout, wherever it lies, as the tokens of its own
// (their conversions name the line it is on). At the end of the file the value is missing:
// "expected <missing()>, found the end of the file", named on the line of the last value read when
// its record (or the counts) has begun, as a short line is, and otherwise on the line after the
// last, as a missing line is.
template <typename Missing>
std::string_view nextValueToken(TextFile& file, std::string_view what, bool recordBegun,
                                Missing&& missing) {
  const std::int64_t lastValueLine = file.lineNumber();
  const std::string_view token = file.nextToken(what);
  if (token.empty()) {
    malformed(file, recordBegun ? lastValueLine : file.lineNumber() + 1,
              "expected " + missing() + ", found the end of the file");
  }
  return token;
}

template <typename Missing>
LineTokens nextValue(TextFile& file, std::string_view what, bool recordBegun, Missing&& missing) {
  return LineTokens(file, nextValueToken(file, what, recordBegun, missing));
}

// Refuses counts with more points than observations, on the current line.
void checkPointCount(const TextFile& file, const BalCounts& counts) {
  if (counts.pointNum > counts.imageCoordinates) {
    malformed(file, file.lineNumber(),
              "expected a point count no larger than the observation count (every point needs at "
              "least one observation), found point count " +
                  std::to_string(counts.pointNum) + " and observation count " +
                  std::to_string(counts.imageCoordinates));
  }
}

// Line `line` as the counts line.
BalCounts countsOnLine(const TextFile& file, std::string_view line) {
  LineTokens tokens(file, line);
  tokens.require(3, kCountNames);
  BalCounts counts;
  counts.cameraNum = readCount(file, tokens, "camera count");
  counts.pointNum = readCount(file, tokens, "point count");
  counts.imageCoordinates = readCount(file, tokens, "observation count");
  checkPointCount(file, counts);
  return counts;
}

}  // namespace

void checkBalHeader(TextFile& file) {
  const std::string expected = "expected the header ID '" + std::string(kBalHeaderId) + "', found ";
  if (file.atEnd()) {
    file.refuse(InputError::Kind::wrongHeader, 1, expected + "an empty file");
  }
  std::string_view line;
  try {
    line = file.nextLine("the header ID '" + std::string(kBalHeaderId) + "'");
  } catch (const InputError& error) {
    // A read error, or a fault of a compressed stream (line 0), stays what it is.
    if (error.kind != InputError::Kind::malformed || error.line == 0) throw;
    // A line too long to be the header.
    throw InputError(InputError::Kind::wrongHeader, error.file, error.line, error.detail);
  }
  LineTokens tokens(file, line);
  const std::string_view token = tokens.next();
  if (token != kBalHeaderId) {
    file.refuse(InputError::Kind::wrongHeader, file.lineNumber(),
                expected + (token.empty() ? "an empty line" : quotedToken(token)));
  }
}

BalCounts readBalCounts(TextFile& file) {
  return countsOnLine(file, file.nextLine("the counts line (" + std::string(kCountNames) + ")"));
}

BalCounts readBalCountsAfterOptionalHeader(TextFile& file) {
  const std::string countsWhat = "the counts line (" + std::string(kCountNames) + ")";
  const std::string firstWhat = "the header ID or " + countsWhat;
  const std::string_view first = nextValueToken(file, firstWhat, false, [&] { return firstWhat; });
  if (first == kBalHeaderId) return readBalCounts(file);
  if (!std::isdigit(static_cast<unsigned char>(first[0])) && first[0] != '+' && first[0] != '-') {
    malformed(file, file.lineNumber(),
              "expected the header ID '" + std::string(kBalHeaderId) + "' or " + countsWhat +
                  ", found " + quotedToken(first));
  }
  BalCounts counts;
  LineTokens cameras(file, first);
  counts.cameraNum = readCount(file, cameras, "camera count");
  LineTokens points =
      nextValue(file, countsWhat, true, [] { return std::string("the point count"); });
  counts.pointNum = readCount(file, points, "point count");
  LineTokens observations =
      nextValue(file, countsWhat, true, [] { return std::string("the observation count"); });
  counts.imageCoordinates = readCount(file, observations, "observation count");
  checkPointCount(file, counts);
  counts.layout = BalLayout::tokens;
  return counts;
}

BalProblem readBalRecords(TextFile& file, const BalCounts& counts) {
  assert(counts.cameraNum >= 0 && counts.pointNum >= 0 && counts.imageCoordinates >= 0);
  BalProblem problem;
  problem.cameraNum = counts.cameraNum;
  problem.pointNum = counts.pointNum;
  problem.imageCoordinates = counts.imageCoordinates;

  RecordRoom observations(file, counts.imageCoordinates, kShortestObservationLine);
  const auto resizeObservations = [&problem](std::int64_t rows) {
    problem.observationCamera.resize(static_cast<std::size_t>(rows));
    problem.observationPoint.resize(static_cast<std::size_t>(rows));
    problem.observationTable.conservativeResize(rows, 2);
  };
  resizeObservations(observations.size());
  const std::string observationLine =
      std::string("an observation line (") + kObservationFields + ")";
  const std::int64_t parameterCount = std::int64_t{kParametersPerCamera} * counts.cameraNum;
  if (counts.layout == BalLayout::tokens) {
    // Each value where the next token is. A missing one is named by its place: a whole record, or
    // the field of the record that has begun.
    const std::string observationWhat = std::string("an observation (") + kObservationFields + ")";
    const auto observationText = [&counts](int i) {
      return "observation " + std::to_string(i + 1) + " of " +
             std::to_string(counts.imageCoordinates) + " (" + kObservationFields + ")";
    };
    for (int i = 0; i < counts.imageCoordinates; ++i) {
      const auto value = [&](const char* field) {
        const bool begun = std::string_view(field) != "camera index";
        return nextValue(file, observationWhat, begun, [&] {
          return begun ? std::string("the ") + field + " of " + observationText(i)
                       : observationText(i);
        });
      };
      LineTokens camera = value("camera index");
      if (observations.grow(i)) resizeObservations(observations.size());
      problem.observationCamera[i] =
          readIndex(file, camera, "camera index", "camera", counts.cameraNum);
      LineTokens point = value("point index");
      problem.observationPoint[i] = readIndex(file, point, "point index", "point", counts.pointNum);
      problem.observationTable(i, 0) = value("x coordinate").nextDouble("x coordinate");
      problem.observationTable(i, 1) = value("y coordinate").nextDouble("y coordinate");
    }
    RecordRoom parameters(file, parameterCount, kShortestParameterLine);
    problem.cameraParameters.resize(parameters.size());
    for (std::int64_t k = 0; k < parameterCount; ++k) {
      const char* name = kParameterNames[k % kParametersPerCamera];
      LineTokens value = nextValue(file, "a camera parameter", false, [&] {
        return "camera parameter " + std::to_string(k + 1) + " of " +
               std::to_string(parameterCount) + " (" + name + ")";
      });
      if (parameters.grow(k)) problem.cameraParameters.conservativeResize(parameters.size());
      problem.cameraParameters[k] = value.nextDouble(name);
    }
    return problem;
  }

  for (int i = 0; i < counts.imageCoordinates; ++i) {
    if (file.atEnd()) missingRecord(file, counts, i);
    const std::string_view line = file.nextLine(observationLine);
    if (observations.grow(i)) resizeObservations(observations.size());
    readRecordLine(file, line, 4, kObservationFields, [&](LineTokens& tokens) {
      problem.observationCamera[i] =
          readIndex(file, tokens, "camera index", "camera", counts.cameraNum);
      problem.observationPoint[i] =
          readIndex(file, tokens, "point index", "point", counts.pointNum);
      problem.observationTable(i, 0) = tokens.nextDouble("x coordinate");
      problem.observationTable(i, 1) = tokens.nextDouble("y coordinate");
    });
  }

  RecordRoom parameters(file, parameterCount, kShortestParameterLine);
  problem.cameraParameters.resize(parameters.size());
  for (std::int64_t k = 0; k < parameterCount; ++k) {
    if (file.atEnd()) missingRecord(file, counts, counts.imageCoordinates + k);
    const char* name = kParameterNames[k % kParametersPerCamera];
    const std::string_view line = file.nextLine("a camera parameter line");
    if (parameters.grow(k)) problem.cameraParameters.conservativeResize(parameters.size());
    readRecordLine(file, line, 1, name, [&](LineTokens& tokens) {
      problem.cameraParameters[k] = tokens.nextDouble(name);
    });
  }
  return problem;
}

}  // namespace tessmark
