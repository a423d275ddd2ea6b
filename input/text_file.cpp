#include "input/text_file.hpp"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "input/input_error.hpp"

namespace tessmark {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

bool isDigit(char c) { return c >= '0' && c <= '9'; }

enum class Conversion { ok, notNumber, outOfRange };

// C atoi accepts a leading '+', std::from_chars does not; both take a '-'.
Conversion convertInt(std::string_view token, int& value) {
  const char* first = token.data();
  const char* last = first + token.size();
  if (first != last && *first == '+') ++first;
  if (first == last || !(isDigit(*first) || (*first == '-' && first == token.data()))) {
    return Conversion::notNumber;
  }
  const auto [end, error] = std::from_chars(first, last, value);
  if (end != last) return Conversion::notNumber;
  if (error == std::errc::result_out_of_range) return Conversion::outOfRange;
  return error == std::errc{} ? Conversion::ok : Conversion::notNumber;
}

// Decimal or exponent notation only: the first character after the sign must be a digit or a point,
// which keeps out "inf", "nan" and "infinity" (std::from_chars and atof take those); the general
// format of std::from_chars has no hexadecimal notation.
Conversion convertDouble(std::string_view token, double& value) {
  const char* first = token.data();
  const char* last = first + token.size();
  if (first != last && *first == '+') ++first;
  const char* mantissa =
      (first != last && *first == '-' && first == token.data()) ? first + 1 : first;
  if (mantissa == last || !(isDigit(*mantissa) || *mantissa == '.')) return Conversion::notNumber;
  const auto [end, error] = std::from_chars(first, last, value, std::chars_format::general);
  if (end != last) return Conversion::notNumber;
  if (error == std::errc::result_out_of_range) {
    // std::from_chars leaves the value alone on underflow as well as on overflow; atof gives the
    // nearest double in the first case, which a well-formed token keeps.
    const std::string copy(token);
    const double nearest = std::strtod(copy.c_str(), nullptr);
    if (std::isinf(nearest)) return Conversion::outOfRange;
    value = nearest;
    return Conversion::ok;
  }
  return error == std::errc{} ? Conversion::ok : Conversion::notNumber;
}

}  // namespace

TextFile TextFile::open(const std::string& path) {
  std::FILE* stream = std::fopen(path.c_str(), "rb");
  if (stream == nullptr) {
    throw InputError(InputError::Kind::cannotOpen, path, 0, std::strerror(errno));
  }
  std::string text;
  std::error_code sizeError;
  const auto size = std::filesystem::file_size(path, sizeError);
  if (!sizeError) text.reserve(static_cast<std::size_t>(size));

  char buffer[1 << 16];
  std::size_t count = 0;
  while ((count = std::fread(buffer, 1, sizeof buffer, stream)) > 0) text.append(buffer, count);
  const bool failed = std::ferror(stream) != 0;
  const int reason = errno;
  std::fclose(stream);
  if (failed) throw InputError(InputError::Kind::cannotOpen, path, 0, std::strerror(reason));
  return fromText(path, std::move(text));
}

TextFile TextFile::fromText(std::string path, std::string text) {
  TextFile file;
  file.path_ = std::move(path);
  file.text_ = std::move(text);
  return file;
}

std::string_view TextFile::nextLine(std::string_view what) {
  if (position_ >= text_.size()) {
    throw InputError(InputError::Kind::malformed, path_, lineNumber_ + 1,
                     "expected " + std::string(what) + ", found the end of the file");
  }
  const char* begin = text_.data() + position_;
  const std::size_t rest = text_.size() - position_;
  const auto* feed = static_cast<const char*>(std::memchr(begin, '\n', rest));
  const std::size_t length = feed != nullptr ? static_cast<std::size_t>(feed - begin) : rest;
  position_ += feed != nullptr ? length + 1 : length;
  ++lineNumber_;
  return {begin, length};
}

std::size_t TextFile::remainingLines(std::size_t limit) const {
  std::size_t lines = 0;
  const char* cursor = text_.data() + position_;
  const char* end = text_.data() + text_.size();
  while (lines < limit && cursor != end) {
    const auto* feed = static_cast<const char*>(std::memchr(cursor, '\n', end - cursor));
    ++lines;
    cursor = feed != nullptr ? feed + 1 : end;
  }
  return lines;
}

LineTokens::LineTokens(const TextFile& file, std::string_view line) : file_(file), rest_(line) {}

std::string_view LineTokens::next() {
  std::size_t start = 0;
  while (start < rest_.size() && isBlank(rest_[start])) ++start;
  std::size_t stop = start;
  while (stop < rest_.size() && !isBlank(rest_[stop])) ++stop;
  const std::string_view token = rest_.substr(start, stop - start);
  rest_.remove_prefix(stop);
  return token;
}

void LineTokens::require(int count, std::string_view what) const {
  LineTokens ahead = *this;
  int found = 0;
  while (found < count && !ahead.next().empty()) ++found;
  if (found < count) {
    fail("expected " + std::to_string(count) + (count == 1 ? " value (" : " values (") +
         std::string(what) + "), found " + std::to_string(found));
  }
}

int LineTokens::nextInt(std::string_view what) {
  const std::string_view token = next();
  if (token.empty())
    fail("expected an integer " + std::string(what) + ", found the end of the line");
  int value = 0;
  switch (convertInt(token, value)) {
    case Conversion::ok:
      return value;
    case Conversion::outOfRange:
      fail("expected an integer " + std::string(what) + ", found " + quotedToken(token) +
           " (outside the 32-bit range)");
    case Conversion::notNumber:
      break;
  }
  fail("expected an integer " + std::string(what) + ", found " + quotedToken(token));
}

double LineTokens::nextDouble(std::string_view what) {
  const std::string_view token = next();
  if (token.empty()) fail("expected a real " + std::string(what) + ", found the end of the line");
  double value = 0.0;
  switch (convertDouble(token, value)) {
    case Conversion::ok:
      return value;
    case Conversion::outOfRange:
      fail("expected a real " + std::string(what) + ", found " + quotedToken(token) +
           " (outside the range of a double)");
    case Conversion::notNumber:
      break;
  }
  fail("expected a real " + std::string(what) + ", found " + quotedToken(token));
}

void LineTokens::fail(std::string detail) const {
  throw InputError(InputError::Kind::malformed, file_.path(), file_.lineNumber(),
                   std::move(detail));
}

std::string quotedToken(std::string_view token) {
  constexpr std::size_t kShown = 40;
  std::string quoted = "'";
  for (std::size_t i = 0; i < token.size() && i < kShown; ++i) {
    const auto byte = static_cast<unsigned char>(token[i]);
    if (byte >= 0x20 && byte < 0x7f) {
      quoted += static_cast<char>(byte);
    } else {
      constexpr const char* kHex = "0123456789ABCDEF";
      quoted += "\\x";
      quoted += kHex[byte >> 4];
      quoted += kHex[byte & 0xf];
    }
  }
  quoted += token.size() > kShown ? "'..." : "'";
  return quoted;
}

}  // namespace tessmark
