#include "input/text_file.hpp"

#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
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

TEST(TextFile, SplitsLinesAtLineFeedsOnly) {
  TextFile file = TextFile::fromText("t.txt", "first line\r\n\n  last without feed");
  EXPECT_EQ(file.remainingLines(100), 3u);
  EXPECT_EQ(file.remainingLines(2), 2u);
  EXPECT_EQ(file.nextLine("line 1"), "first line\r");
  EXPECT_EQ(file.lineNumber(), 1);
  EXPECT_EQ(file.nextLine("line 2"), "");
  EXPECT_EQ(file.remainingLines(100), 1u);
  EXPECT_EQ(file.nextLine("line 3"), "  last without feed");
  EXPECT_EQ(file.lineNumber(), 3);
  EXPECT_EQ(file.remainingLines(100), 0u);

  const InputError error = captureInputError([&] { file.nextLine("the counts line"); });
  EXPECT_EQ(error.kind, InputError::Kind::malformed);
  EXPECT_EQ(error.line, 4);
  EXPECT_EQ(error.detail, "expected the counts line, found the end of the file");
}

TEST(TextFile, FinalLineFeedEndsTheLastLine) {
  EXPECT_EQ(TextFile::fromText("t", "").remainingLines(10), 0u);
  EXPECT_EQ(TextFile::fromText("t", "\n").remainingLines(10), 1u);
  EXPECT_EQ(TextFile::fromText("t", "a\nb\n").remainingLines(10), 2u);
}

TEST(TextFile, OpenReadsTheBytesAsStored) {
  const auto path = std::filesystem::temp_directory_path() /
                    ("tessmark_text_file_test_" + std::to_string(::getpid()) + ".txt");
  {
    std::ofstream out(path, std::ios::binary);
    out << "one\r\ntwo";
  }
  TextFile file = TextFile::open(path.string());
  std::filesystem::remove(path);
  EXPECT_EQ(file.path(), path.string());
  EXPECT_EQ(file.nextLine("line 1"), "one\r");
  EXPECT_EQ(file.nextLine("line 2"), "two");
  EXPECT_EQ(file.remainingLines(10), 0u);
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
  for (const char* token : {"inf", "-inf", "nan", "NAN", "infinity", "0x1p3", "1e", "1.2.3", "abc",
                            "+-1", "--1", "e5", ".", "1,5", "12abc"}) {
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
