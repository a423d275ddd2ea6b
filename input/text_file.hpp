#pragma once
// Line-oriented access to a whole text file read into memory, with the token conversions the
// readers share. Tokens are separated by blank, tab, carriage return, vertical tab and form feed;
// a line ends at a line feed (or at the end of the file).

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

  // The next line, without its line feed, and makes it the current line. Throws InputError(malformed)
  // naming `what` when the file has no further line.
  std::string_view nextLine(std::string_view what);
  // 1-based number of the current line (0 before the first nextLine).
  int lineNumber() const { return lineNumber_; }

 private:
  std::string path_;
  std::string text_;
  std::size_t position_ = 0;
  int lineNumber_ = 0;
};

// Splits a line into its leading tokens; every conversion error names the file, the current line and
// what was expected.
class LineTokens {
 public:
  LineTokens(const TextFile& file, std::string_view line);
  // The next token, or an empty view when the line has no more.
  std::string_view next();
  // The next token converted; throws InputError(malformed) naming `what` when it is missing or is
  // not entirely a decimal integer (int32) / a real number in decimal or exponent notation.
  int nextInt(std::string_view what);
  double nextDouble(std::string_view what);

 private:
  const TextFile& file_;
  std::string_view rest_;
};

}  // namespace tessmark
