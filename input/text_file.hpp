#pragma once
// Line-oriented access to a whole text file read into memory, with the token conversions the
// readers share. Tokens are separated by blank, tab, carriage return, vertical tab and form feed;
// a line ends at a line feed (or at the end of the file). The bytes are taken as they are on disk,
// so a carriage return before the line feed stays in the line and separates tokens like a blank.

#include <cstddef>
#include <string>
#include <string_view>

namespace tessmark {

class TextFile {
 public:
  // Reads the whole file; throws InputError(cannotOpen) with the system's reason.
  static TextFile open(const std::string& path);
  // A file whose contents are given in memory (used by tests); `path` names it in messages.
  static TextFile fromText(std::string path, std::string text);

  const std::string& path() const { return path_; }

  // The next line, without its line feed, and makes it the current line. Throws
  // InputError(malformed) naming `what` when the file has no further line.
  std::string_view nextLine(std::string_view what);
  // 1-based number of the current line (0 before the first nextLine).
  int lineNumber() const { return lineNumber_; }
  // How many lines follow the current one, counted up to `limit` (the count stops there, so a check
  // of the form remainingLines(n) < n reads no further than it needs). A last line without a line
  // feed counts; an empty text has no lines. One memchr pass, nothing is consumed.
  std::size_t remainingLines(std::size_t limit) const;

 private:
  std::string path_;
  std::string text_;
  std::size_t position_ = 0;
  int lineNumber_ = 0;
};

// Splits a line into its leading tokens; every conversion error names the file, the current line
// and what was expected.
class LineTokens {
 public:
  LineTokens(const TextFile& file, std::string_view line);
  // The next token, or an empty view when the line has no more.
  std::string_view next();
  // Checks that at least `count` tokens remain, without consuming them; otherwise throws
  // InputError(malformed): "expected <count> values (<what>), found <k>".
  void require(int count, std::string_view what) const;
  // The next token converted; throws InputError(malformed) naming `what` when it is missing or is
  // not entirely a decimal integer (int32) / a real number in decimal or exponent notation.
  // Both accept an optional leading '+' or '-' and give the values of C atoi / atof for every token
  // they accept. nextInt rejects anything but digits after the sign and values outside int32;
  // nextDouble rejects "inf", "nan", hexadecimal notation and values that overflow a double (an
  // underflow gives the nearest double, 0 or subnormal, as atof does). Messages read
  // "expected an integer <what>, found '...'" and "expected a real <what>, found '...'".
  int nextInt(std::string_view what);
  double nextDouble(std::string_view what);

 private:
  [[noreturn]] void fail(std::string detail) const;

  const TextFile& file_;
  std::string_view rest_;
};

// A token as error messages show it: in single quotes, bytes outside printable ASCII as \xNN, and
// cut to its first 40 bytes followed by "..." when longer.
std::string quotedToken(std::string_view token);

}  // namespace tessmark
