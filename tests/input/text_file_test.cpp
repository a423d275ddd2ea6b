#include "input/text_file.hpp"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "input/input_error.hpp"
#include "tests/input/capture_input_error.hpp"

namespace tessmark {
namespace {

using testing::captureInputError;

TEST(InputError, MessageNamesFileLineAndDetail) {
  const InputError onLine(InputError::Kind::malformed, "data.txt", 3, "expected x, found y");
  EXPECT_STREQ(onLine.what(), "data.txt:3: expected x, found y");
  const InputError wholeFile(InputError::Kind::cannotOpen, "data.txt", 0, "No such file");
  EXPECT_STREQ(wholeFile.what(), "data.txt: No such file");
}

// Every line of the file, read to its end.
std::vector<std::string> allLines(TextFile& file) {
  std::vector<std::string> lines;
  while (!file.atEnd()) lines.emplace_back(file.nextLine("a line"));
  return lines;
}

// A source that hands out `text` in pieces of at most `piece` bytes, as a pipe may.
TextFile::Source piecewise(std::string text, std::size_t piece) {
  std::size_t offset = 0;
  return [text = std::move(text), piece, offset](char* buffer, std::size_t size) mutable {
    const std::size_t taken = std::min({size, piece, text.size() - offset});
    std::memcpy(buffer, text.data() + offset, taken);
    offset += taken;
    return taken;
  };
}

TEST(TextFile, SplitsLinesAtLineFeedsOnly) {
  TextFile file = TextFile::fromText("t.txt", "first line\r\n\n  last without feed");
  EXPECT_FALSE(file.atEnd());
  EXPECT_EQ(file.nextLine("line 1"), "first line\r");
  EXPECT_EQ(file.lineNumber(), 1);
  EXPECT_EQ(file.nextLine("line 2"), "");
  EXPECT_FALSE(file.atEnd());
  EXPECT_EQ(file.nextLine("line 3"), "  last without feed");
  EXPECT_EQ(file.lineNumber(), 3);
  EXPECT_TRUE(file.atEnd());

  const InputError error = captureInputError([&] { file.nextLine("the counts line"); });
  EXPECT_EQ(error.kind, InputError::Kind::malformed);
  EXPECT_EQ(error.line, 4);
  EXPECT_EQ(error.detail, "expected the counts line, found the end of the file");
}

TEST(TextFile, FinalLineFeedEndsTheLastLine) {
  struct Case {
    std::string text;
    std::vector<std::string> lines;
  };
  for (const Case& c : {Case{"", {}}, Case{"\n", {""}}, Case{"a\nb\n", {"a", "b"}},
                        Case{"a\nb", {"a", "b"}}, Case{"\n\n", {"", ""}}}) {
    SCOPED_TRACE(c.text);
    TextFile file = TextFile::fromText("t", c.text);
    EXPECT_EQ(allLines(file), c.lines);
  }
}

// The buffer is refilled between lines and inside them; the lines come out the same however the
// bytes arrive, and a line longer than a chunk comes out whole.
TEST(TextFile, LinesAreTheSameHoweverTheBytesArrive) {
  const std::string longLine(TextFile::kChunkSize * 5 / 2, 'w');
  const std::string text = "one\r\n\n" + longLine + "\nthree\n" + longLine + "x";
  const std::vector<std::string> expected = {"one\r", "", longLine, "three", longLine + "x"};
  struct Arrival {
    std::size_t piece;
    bool lengthKnown;
  };
  for (const Arrival& arrival :
       {Arrival{3, false}, Arrival{4093, false}, Arrival{TextFile::kChunkSize - 1, true},
        Arrival{TextFile::kChunkSize, false}, Arrival{4 * TextFile::kChunkSize, true}}) {
    SCOPED_TRACE(arrival.piece);
    TextFile file = TextFile::fromSource(
        "t", piecewise(text, arrival.piece),
        arrival.lengthKnown ? std::optional<std::uint64_t>(text.size()) : std::nullopt);
    EXPECT_EQ(allLines(file), expected);
    EXPECT_EQ(file.lineNumber(), 5);
  }
}

// Reading line 1 asks the source for nothing more once its line feed has arrived.
TEST(TextFile, ReadsNoFurtherThanTheLineAsked) {
  int calls = 0;
  TextFile file = TextFile::fromSource("stream", [&calls](char* buffer, std::size_t size) {
    ++calls;
    if (calls > 1) ADD_FAILURE() << "read past line 1";
    const std::string first = "first line\n";
    EXPECT_GE(size, first.size());
    std::memcpy(buffer, first.data(), first.size());
    return first.size();
  });
  EXPECT_EQ(file.nextLine("line 1"), "first line");
  EXPECT_EQ(calls, 1);
}

// Known for a text or a regular file, they bound what the rest of the file can hold; unknown for a
// source without a length.
TEST(TextFile, RemainingBytesCountWhatFollowsTheCurrentLine) {
  TextFile text = TextFile::fromText("t", "ab\ncd\ne");
  EXPECT_EQ(text.remainingBytes(), 7u);
  text.nextLine("line 1");
  EXPECT_EQ(text.remainingBytes(), 4u);
  text.nextLine("line 2");
  text.nextLine("line 3");
  EXPECT_EQ(text.remainingBytes(), 0u);

  TextFile stream = TextFile::fromSource("s", piecewise("ab\n", 64));
  EXPECT_EQ(stream.remainingBytes(), std::nullopt);
  stream.nextLine("line 1");
  EXPECT_EQ(stream.remainingBytes(), std::nullopt);
}

// A line longer than the bound is refused with its number, and reading stops there: an endless
// line is not read on.
TEST(TextFile, RefusesALineLongerThanTheBound) {
  constexpr std::size_t kMax = TextFile::kMaxLineLength;
  const std::string expectedDetail = "expected the counts line, found a line longer than 16 MiB";
  {
    TextFile file = TextFile::fromText(
        "t", "ok\n" + std::string(kMax, 'x') + "\n" + std::string(kMax + 1, 'y') + "\nz\n");
    EXPECT_EQ(file.nextLine("line 1"), "ok");
    EXPECT_EQ(file.nextLine("line 2").size(), kMax);  // the longest accepted
    const InputError error = captureInputError([&] { file.nextLine("the counts line"); });
    EXPECT_EQ(error.kind, InputError::Kind::malformed);
    EXPECT_EQ(error.line, 3);
    EXPECT_EQ(error.detail, expectedDetail);
  }
  {
    std::size_t delivered = 0;
    TextFile endless =
        TextFile::fromSource("endless", [&delivered](char* buffer, std::size_t size) {
          std::memset(buffer, 'e', size);
          delivered += size;
          return size;
        });
    const InputError error = captureInputError([&] { endless.nextLine("the counts line"); });
    EXPECT_EQ(error.line, 1);
    EXPECT_EQ(error.detail, expectedDetail);
    EXPECT_LE(delivered, kMax + 2 * TextFile::kChunkSize);
  }
}

TEST(TextFile, OpenReadsTheBytesAsStored) {
  const auto path = std::filesystem::temp_directory_path() /
                    ("tessmark_text_file_test_" + std::to_string(::getpid()) + ".txt");
  {
    std::ofstream out(path, std::ios::binary);
    out << "one\r\ntwo";
  }
  TextFile file = TextFile::open(path.string());
  std::filesystem::remove(path);  // the open file stays readable
  EXPECT_EQ(file.path(), path.string());
  EXPECT_EQ(file.remainingBytes(), 8u);
  EXPECT_EQ(file.nextLine("line 1"), "one\r");
  EXPECT_EQ(file.nextLine("line 2"), "two");
  EXPECT_TRUE(file.atEnd());
}

// A device of unknown length that never sends a line feed ends at the line bound, not when memory
// runs out.
TEST(TextFile, DevZeroIsRefusedAtTheLineBound) {
  if (!std::filesystem::exists("/dev/zero")) GTEST_SKIP() << "no /dev/zero";
  TextFile file = TextFile::open("/dev/zero");
  EXPECT_EQ(file.remainingBytes(), std::nullopt);
  const InputError error = captureInputError([&] { file.nextLine("the header ID line"); });
  EXPECT_EQ(error.kind, InputError::Kind::malformed);
  EXPECT_EQ(error.line, 1);
  EXPECT_EQ(error.detail, "expected the header ID line, found a line longer than 16 MiB");
}

TEST(TextFile, OpenFailureCarriesTheSystemReason) {
  const std::string missing = "/nonexistent-folder/problem.txt";
  const InputError error = captureInputError([&] { TextFile::open(missing); });
  EXPECT_EQ(error.kind, InputError::Kind::cannotOpen);
  EXPECT_EQ(error.line, 0);
  EXPECT_EQ(error.detail, std::strerror(ENOENT));
  EXPECT_EQ(std::string(error.what()), missing + ": " + std::strerror(ENOENT));

  // A folder opens on some systems but cannot be read.
  const std::string folder = std::filesystem::temp_directory_path().string();
  EXPECT_EQ(captureInputError([&] { TextFile::open(folder); }).kind, InputError::Kind::cannotOpen);
}

TEST(LineTokens, SeparatesAtEveryBlankCharacter) {
  const TextFile file = TextFile::fromText("t", "");
  LineTokens tokens(file, "\t 12\v-3\f+4\r");
  tokens.require(3, "a, b, c");
  EXPECT_EQ(tokens.next(), "12");
  EXPECT_EQ(tokens.next(), "-3");
  EXPECT_EQ(tokens.next(), "+4");
  EXPECT_EQ(tokens.next(), "");
  EXPECT_EQ(tokens.next(), "");
}

TEST(LineTokens, RequireCountsWithoutConsuming) {
  TextFile file = TextFile::fromText("t.txt", "skip\n 7 8 9 \n");
  file.nextLine("line 1");
  LineTokens tokens(file, file.nextLine("line 2"));
  const InputError error = captureInputError([&] { tokens.require(4, "a, b, c, d"); });
  EXPECT_EQ(error.kind, InputError::Kind::malformed);
  EXPECT_EQ(error.line, 2);
  EXPECT_EQ(error.detail, "expected 4 values (a, b, c, d), found 3");
  EXPECT_EQ(captureInputError([&] { LineTokens(file, "").require(1, "f"); }).detail,
            "expected 1 value (f), found 0");

  tokens.require(3, "a, b, c");
  EXPECT_EQ(tokens.nextInt("a"), 7);
  tokens.require(2, "b, c");
  EXPECT_EQ(tokens.nextInt("b"), 8);
  EXPECT_EQ(tokens.nextInt("c"), 9);
  EXPECT_EQ(captureInputError([&] { tokens.nextInt("d"); }).detail,
            "expected an integer d, found the end of the line");
  EXPECT_EQ(captureInputError([&] { tokens.nextDouble("e"); }).detail,
            "expected a real e, found the end of the line");
}

// Every accepted token converts to what C atoi / atof give.
TEST(LineTokens, AcceptedIntegersMatchAtoi) {
  const TextFile file = TextFile::fromText("t", "");
  for (const char* token : {"0", "+12", "-7", "007", "-0", "2147483647", "-2147483648"}) {
    SCOPED_TRACE(token);
    EXPECT_EQ(LineTokens(file, token).nextInt("count"), std::atoi(token));
  }
}

TEST(LineTokens, AcceptedRealsMatchAtof) {
  const TextFile file = TextFile::fromText("t", "");
  for (const char* token :
       {"3", "+1.5", "-3.8599e+02", "1e-3", "1E3", ".5", "5.", "+.25e1", "-0", "-6.2e+00",
        "4.9e-324", "1e-400", "1.7976931348623157e308", "0.1234567890123456789"}) {
    SCOPED_TRACE(token);
    const double value = LineTokens(file, token).nextDouble("x");
    const double expected = std::atof(token);
    EXPECT_EQ(value, expected);
    EXPECT_EQ(std::signbit(value), std::signbit(expected));
  }
}

// Plain decimals of every length and point position, the way most data files write their values,
// convert to the correctly rounded double as strtod gives it, bit for bit.
TEST(LineTokens, PlainDecimalsAreCorrectlyRounded) {
  const TextFile file = TextFile::fromText("t", "");
  std::uint64_t state = 2014;
  const auto nextRandom = [&state] {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return state >> 33;
  };
  const auto sameAsStrtod = [&file](const std::string& token) -> ::testing::AssertionResult {
    const double value = LineTokens(file, token).nextDouble("x");
    const double expected = std::strtod(token.c_str(), nullptr);
    if (std::memcmp(&value, &expected, sizeof value) == 0) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "'" << token << "' gives " << value << ", strtod " << expected;
  };
  // Around the 15 digits below 2^53 and the exact powers of ten, and the signed zeros.
  for (const char* token :
       {"-1.0000", "-0.0000", "+0.", "999999999999999", "0.000000000000001", "1234567890123456",
        "9007199254740993", "123456789012345.6", "-3.326500e-01", "1e22", "1e23", "9.99e-22",
        "123456789012345e-22", "5e-23", "-0e5", "1E+0022"}) {
    EXPECT_TRUE(sameAsStrtod(token));
  }
  for (int trial = 0; trial < 200000; ++trial) {
    std::string token = trial % 3 == 0 ? "-" : (trial % 7 == 0 ? "+" : "");
    const int digitCount = 1 + static_cast<int>(nextRandom() % 18);
    const int pointAt = static_cast<int>(nextRandom() % (digitCount + 2)) - 1;
    for (int d = 0; d < digitCount; ++d) {
      if (d == pointAt) token += '.';
      token += static_cast<char>('0' + nextRandom() % 10);
    }
    if (pointAt == digitCount) token += '.';
    if (trial % 2 == 1) {
      const char* const marks[] = {"e", "E", "e+", "e-", "E-", "e0", "e-0"};
      token += marks[nextRandom() % 7] + std::to_string(nextRandom() % 40);
    }
    ASSERT_TRUE(sameAsStrtod(token));
  }
}

TEST(LineTokens, RejectsTokensThatAreNotEntirelyAnInteger) {
  TextFile file = TextFile::fromText("t.txt", "line\n");
  file.nextLine("line 1");
  for (const char* token :
       {"12abc", "1.0", "1e3", "+", "-", "+-1", "--1", "-+1", "0x10", "abc", "\xff"}) {
    SCOPED_TRACE(token);
    const InputError error = captureInputError([&] { LineTokens(file, token).nextInt("count"); });
    EXPECT_EQ(error.kind, InputError::Kind::malformed);
    EXPECT_EQ(error.line, 1);
    EXPECT_EQ(error.detail, "expected an integer count, found " + quotedToken(token));
  }
  for (const char* token : {"2147483648", "-2147483649", "99999999999999999999"}) {
    SCOPED_TRACE(token);
    EXPECT_EQ(
        captureInputError([&] { LineTokens(file, token).nextInt("count"); }).detail,
        "expected an integer count, found '" + std::string(token) + "' (outside the 32-bit range)");
  }
}

TEST(LineTokens, RejectsTokensThatAreNotEntirelyAReal) {
  TextFile file = TextFile::fromText("t.txt", "line\n");
  file.nextLine("line 1");
  for (const char* token :
       {"inf",   "-inf", "nan",  "NAN", "infinity", "0x1p3", "1e",   "1.2.3", "abc",
        "+-1",   "--1",  "-+1",  "e5",  ".",        "-.",    "+",    "-",     "1,5",
        "12abc", "1-",   "1.0.", "..5", "1e+",      "1E-",   "1e5x", "1e-5.0"}) {
    SCOPED_TRACE(token);
    const InputError error = captureInputError([&] { LineTokens(file, token).nextDouble("x"); });
    EXPECT_EQ(error.kind, InputError::Kind::malformed);
    EXPECT_EQ(error.line, 1);
    EXPECT_EQ(error.detail, "expected a real x, found '" + std::string(token) + "'");
  }
  for (const char* token : {"1e400", "-1e400"}) {
    SCOPED_TRACE(token);
    EXPECT_EQ(
        captureInputError([&] { LineTokens(file, token).nextDouble("x"); }).detail,
        "expected a real x, found '" + std::string(token) + "' (outside the range of a double)");
  }
}

TEST(QuotedToken, EscapesAndShortens) {
  EXPECT_EQ(quotedToken("abc"), "'abc'");
  EXPECT_EQ(quotedToken(std::string_view("a\0\x7f\xe9", 4)), "'a\\x00\\x7F\\xE9'");
  EXPECT_EQ(quotedToken(std::string(41, 'x')), "'" + std::string(40, 'x') + "'...");
}

}  // namespace
}  // namespace tessmark
