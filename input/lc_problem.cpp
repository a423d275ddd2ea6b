#include "input/lc_problem.hpp"

#include <algorithm>
#include <cassert>
#include <charconv>
#include <cstdint>
#include <string>
#include <utility>

#include "input/input_error.hpp"

namespace tessmark {

namespace {

constexpr int kCameraEntries = 12;
// Twice this is the longest point line an int32 token count can describe.
constexpr int kMostCameras = INT32_MAX / 2;
// The tables start with room for at most this many values (8 MiB, address space only until the
// lines fill it) and grow as their lines arrive.
constexpr std::size_t kFirstReserve = std::size_t{1} << 20;

constexpr const char* kCameraFields = "the 12 entries of a 3x4 camera matrix, row by row";
constexpr const char* kEntryNames[kCameraEntries] = {
    "camera matrix entry P(0,0)", "camera matrix entry P(0,1)", "camera matrix entry P(0,2)",
    "camera matrix entry P(0,3)", "camera matrix entry P(1,0)", "camera matrix entry P(1,1)",
    "camera matrix entry P(1,2)", "camera matrix entry P(1,3)", "camera matrix entry P(2,0)",
    "camera matrix entry P(2,1)", "camera matrix entry P(2,2)", "camera matrix entry P(2,3)"};

[[noreturn]] void malformed(const TextFile& file, std::int64_t line, std::string detail) {
  file.refuse(InputError::Kind::malformed, line, std::move(detail));
}

std::string headerIdList() {
  std::string list;
  for (const std::string_view id : kLcHeaderIds) {
    list += (list.empty() ? "'" : ", '") + std::string(id) + "'";
  }
  return list;
}

// The next line, which `describe()` names when the file ends before it.
template <typename Describe>
std::string_view lineOrEnd(TextFile& file, Describe describe) {
  try {
    return file.nextLine("a further line");
  } catch (const InputError& error) {
    // A read error, or a fault of a compressed stream (line 0), stays what it is.
    if (error.kind != InputError::Kind::malformed || error.line == 0) throw;
    malformed(file, error.line, "expected " + describe() + ", found the end of the file");
  }
}

// Record `number` of `count` of its `kind`, e.g. "camera line 3 of 36 (...)".
std::string recordName(const char* kind, std::int64_t number, std::int64_t count,
                       std::string_view fields) {
  return std::string(kind) + " " + std::to_string(number) + " of " + std::to_string(count) + " (" +
         std::string(fields) + ")";
}

int readCount(TextFile& file, const char* name, int most) {
  LineTokens tokens(file, lineOrEnd(file, [&] { return "the " + std::string(name) + " line"; }));
  const int count = tokens.nextInt(name);
  if (count < 0) {
    malformed(file, file.lineNumber(),
              "expected a non-negative " + std::string(name) + ", found " + std::to_string(count));
  }
  if (count > most) {
    malformed(file, file.lineNumber(),
              "expected a " + std::string(name) + " of at most " + std::to_string(most) +
                  ", found " + std::to_string(count));
  }
  return count;
}

// Room for the first values of a table of `count`; the rest comes as the lines do.
void reserveFirst(std::vector<double>& values, std::size_t count) {
  values.reserve(std::min(count, kFirstReserve));
}

std::string shortest(double value) {
  char text[32];
  const auto result = std::to_chars(text, text + sizeof text, value);
  return std::string(text, result.ptr);
}

}  // namespace

void checkLcHeader(TextFile& file) {
  const std::string expected = "expected one of the header IDs " + headerIdList() + ", found ";
  std::string_view line;
  try {
    line = file.nextLine("the header ID line");
  } catch (const InputError& error) {
    if (error.kind != InputError::Kind::malformed || error.line == 0) throw;
    throw InputError(InputError::Kind::wrongHeader, file.path(), 1, expected + "an empty file");
  }
  LineTokens tokens(file, line);
  const std::string_view token = tokens.next();
  if (std::find(kLcHeaderIds.begin(), kLcHeaderIds.end(), token) == kLcHeaderIds.end()) {
    file.refuse(InputError::Kind::wrongHeader, file.lineNumber(),
                expected + (token.empty() ? "an empty line" : quotedToken(token)));
  }
}

LcCounts readLcCounts(TextFile& file) {
  LcCounts counts;
  counts.allCameraNum = readCount(file, "camera count", kMostCameras);
  counts.pointNum = readCount(file, "point count", INT32_MAX);
  return counts;
}

LcProblem readLcRecords(TextFile& file, const LcCounts& counts) {
  assert(counts.allCameraNum >= 0 && counts.allCameraNum <= kMostCameras && counts.pointNum >= 0);
  LcProblem problem;
  problem.allCameraNum = counts.allCameraNum;
  problem.pointNum = counts.pointNum;

  // The cameras, row by row as written.
  std::vector<double> entries;
  reserveFirst(entries, kCameraEntries * static_cast<std::size_t>(counts.allCameraNum));
  for (int c = 0; c < counts.allCameraNum; ++c) {
    LineTokens tokens(file, lineOrEnd(file, [&] {
                        return recordName("camera line", c + 1, counts.allCameraNum, kCameraFields);
                      }));
    tokens.require(kCameraEntries, kCameraFields);
    for (const char* name : kEntryNames) entries.push_back(tokens.nextDouble(name));
  }
  problem.cameraProjections.resize(3 * Eigen::Index{counts.allCameraNum}, 4);
  for (int c = 0; c < counts.allCameraNum; ++c) {
    for (int k = 0; k < kCameraEntries; ++k) {
      problem.cameraProjections(3 * c + k / 4, k % 4) =
          entries[static_cast<std::size_t>(kCameraEntries * c + k)];
    }
  }

  // The observation table, one row per point line.
  const std::size_t rowLength = problem.rowLength();
  const std::string pointFields = "x and y in each of the " + std::to_string(counts.allCameraNum) +
                                  " cameras, -1 -1 where it does not see the point";
  reserveFirst(problem.lcObservations, rowLength * static_cast<std::size_t>(counts.pointNum));
  for (int i = 0; i < counts.pointNum; ++i) {
    const std::string_view line = lineOrEnd(
        file, [&] { return recordName("point line", i + 1, counts.pointNum, pointFields); });
    const std::size_t start = problem.lcObservations.size();
    problem.lcObservations.resize(start + rowLength);
    double* row = problem.lcObservations.data() + start;
    readRecordLine(file, line, static_cast<int>(rowLength), pointFields, [&](LineTokens& tokens) {
      for (int c = 0; c < counts.allCameraNum; ++c) {
        const double x = tokens.nextDouble("x coordinate");
        const double y = tokens.nextDouble("y coordinate");
        if ((x == kMissingView) != (y == kMissingView)) {
          malformed(file, file.lineNumber(),
                    "expected both coordinates of camera " + std::to_string(c) +
                        " to be -1 (a view it does not have) or neither, found x = " + shortest(x) +
                        ", y = " + shortest(y));
        }
        row[2 * c] = x;
        row[2 * c + 1] = y;
      }
    });
  }
  return problem;
}

}  // namespace tessmark
