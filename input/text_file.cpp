#include "input/text_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <system_error>
#include <utility>

#include "input/input_error.hpp"

namespace tessmark {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Closes the descriptor when the last copy of the file's source goes.
struct FileDescriptor {
  explicit FileDescriptor(int fd) : fd(fd) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() { ::close(fd); }
  int fd;
};

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

// Short decimals, nearly all the values of the data files ("-1.0000", "-3.326500e-01"), take a
// shortcut. With at most 15 digits the digits read as an integer M below 2^53, and with a net power
// of ten 10^E, |E| <= 22, the value is M * 10^E or M / 10^-E: both operands exact in a double, so
// the one correctly rounded operation gives the correctly rounded value that the general conversion
// gives, the sign of a zero included. False, and `value` untouched, for anything else: the general
// way then decides.
bool shortDecimal(const char* next, const char* last, double& value) {
  static constexpr double kPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                            1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                            1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
  constexpr int kMostDigits = 15;
  constexpr int kMostPower = 22;
  const bool negative = next != last && *next == '-';
  if (next != last && (*next == '+' || *next == '-')) ++next;
  std::int64_t digits = 0;
  int digitCount = 0;
  int power = 0;
  bool point = false;
  for (; next != last; ++next) {
    if (isDigit(*next)) {
      if (++digitCount > kMostDigits) return false;
      digits = 10 * digits + (*next - '0');
      power -= point ? 1 : 0;
    } else if (*next == '.' && !point) {
      point = true;
    } else {
      break;
    }
  }
  if (digitCount == 0) return false;
  if (next != last) {
    if (*next != 'e' && *next != 'E') return false;
    ++next;
    const bool negativeExponent = next != last && *next == '-';
    if (next != last && (*next == '+' || *next == '-')) ++next;
    if (next == last || last - next > 4) return false;  // "1e", "1e+", or a long exponent
    int exponent = 0;
    for (; next != last; ++next) {
      if (!isDigit(*next)) return false;
      exponent = 10 * exponent + (*next - '0');
    }
    power += negativeExponent ? -exponent : exponent;
  }
  if (power < -kMostPower || power > kMostPower) return false;
  const double whole = static_cast<double>(digits);
  const double magnitude = power >= 0 ? whole * kPowersOfTen[power] : whole / kPowersOfTen[-power];
  value = negative ? -magnitude : magnitude;
  return true;
}

// Decimal or exponent notation only: the first character after the sign must be a digit or a point,
// which keeps out "inf", "nan" and "infinity" (std::from_chars and atof take those); the general
// format of std::from_chars has no hexadecimal notation.
Conversion convertDouble(std::string_view token, double& value) {
  const char* first = token.data();
  const char* last = first + token.size();
  if (shortDecimal(first, last, value)) return Conversion::ok;
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

FileBytes openFileBytes(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw InputError(InputError::Kind::cannotOpen, path, 0, std::strerror(errno));
  const auto descriptor = std::make_shared<FileDescriptor>(fd);
  struct stat status {};
  if (fstat(fd, &status) != 0) {
    throw InputError(InputError::Kind::cannotOpen, path, 0, std::strerror(errno));
  }
  if (S_ISDIR(status.st_mode)) {
    throw InputError(InputError::Kind::cannotOpen, path, 0, std::strerror(EISDIR));
  }
  FileBytes bytes;
  if (S_ISREG(status.st_mode)) bytes.size = static_cast<std::uint64_t>(status.st_size);
  bytes.source = [descriptor, path](char* buffer, std::size_t count) -> std::size_t {
    for (;;) {
      const ssize_t got = ::read(descriptor->fd, buffer, count);
      if (got >= 0) return static_cast<std::size_t>(got);
      if (errno != EINTR) {
        throw InputError(InputError::Kind::cannotOpen, path, 0, std::strerror(errno));
      }
    }
  };
  return bytes;
}

TextFile TextFile::open(const std::string& path) {
  FileBytes bytes = openFileBytes(path);
  return fromSource(path, std::move(bytes.source), bytes.size);
}

TextFile TextFile::fromText(std::string path, std::string text) {
  const std::uint64_t size = text.size();
  auto shared = std::make_shared<const std::string>(std::move(text));
  std::size_t offset = 0;
  Source source = [shared, offset](char* buffer, std::size_t count) mutable {
    const std::size_t taken = std::min(count, shared->size() - offset);
    std::memcpy(buffer, shared->data() + offset, taken);
    offset += taken;
    return taken;
  };
  return fromSource(std::move(path), std::move(source), size);
}

TextFile TextFile::fromSource(std::string path, Source source, std::optional<std::uint64_t> size,
                              bool checksLate) {
  TextFile file;
  file.path_ = std::move(path);
  file.source_ = std::move(source);
  file.size_ = size;
  file.checksLate_ = checksLate;
  return file;
}

void TextFile::refuse(InputError::Kind kind, std::int64_t line, std::string detail) const {
  if (checksLate_ && source_) {
    // The source's own fault, when it finds one, is thrown from here.
    std::string scratch(kChunkSize, '\0');
    std::uint64_t read = 0;
    while (read < kLateCheckBytes) {
      const std::size_t got = source_(scratch.data(), scratch.size());
      if (got == 0) break;
      read += got;
    }
  }
  throw InputError(kind, path_, line, std::move(detail));
}

void TextFile::Free::operator()(char* bytes) const { std::free(bytes); }

bool TextFile::fill() {
  // Unread bytes move to the front; a buffer full of one unfinished line grows, up to a line one
  // chunk longer than the longest accepted.
  if (begin_ > 0) {
    std::memmove(buffer_.get(), buffer_.get() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
  }
  if (capacity_ - end_ < kChunkSize / 2) {
    const std::size_t capacity =
        capacity_ == 0 ? kChunkSize : std::min(2 * capacity_, kMaxLineLength + kChunkSize);
    if (capacity > capacity_) {
      char* grown = static_cast<char*>(std::realloc(buffer_.get(), capacity));
      if (grown == nullptr) throw std::bad_alloc();
      buffer_.release();
      buffer_.reset(grown);
      capacity_ = capacity;
    }
  }
  const std::size_t got = source_(buffer_.get() + end_, capacity_ - end_);
  end_ += got;
  return got > 0;
}

std::string_view TextFile::nextLine(std::string_view what) {
  tokenRest_ = {};
  const char* feed = nullptr;
  for (;;) {
    const char* from = buffer_.get() + begin_ + scanned_;
    const std::size_t unscanned = end_ - begin_ - scanned_;
    feed = unscanned > 0 ? static_cast<const char*>(std::memchr(from, '\n', unscanned)) : nullptr;
    if (feed != nullptr) break;
    scanned_ = end_ - begin_;
    if (scanned_ > kMaxLineLength) break;
    if (!fill()) break;
  }
  const char* begin = buffer_.get() + begin_;
  const std::size_t length = feed != nullptr ? static_cast<std::size_t>(feed - begin) : scanned_;
  if (length > kMaxLineLength) {
    refuse(InputError::Kind::malformed, lineNumber_ + 1,
           "expected " + std::string(what) + ", found a line longer than " +
               std::to_string(kMaxLineLength >> 20) + " MiB");
  }
  if (feed == nullptr && length == 0) {
    refuse(InputError::Kind::malformed, lineNumber_ + 1,
           "expected " + std::string(what) + ", found the end of the file");
  }
  const std::size_t taken = feed != nullptr ? length + 1 : length;
  begin_ += taken;
  consumed_ += taken;
  scanned_ = 0;
  ++lineNumber_;
  return {begin, length};
}

bool TextFile::atEnd() { return begin_ == end_ && !fill(); }

std::string_view TextFile::nextToken(std::string_view what) {
  for (;;) {
    std::size_t start = 0;
    while (start < tokenRest_.size() && isBlank(tokenRest_[start])) ++start;
    if (start < tokenRest_.size()) {
      std::size_t stop = start + 1;
      while (stop < tokenRest_.size() && !isBlank(tokenRest_[stop])) ++stop;
      const std::string_view token = tokenRest_.substr(start, stop - start);
      tokenRest_.remove_prefix(stop);
      return token;
    }
    tokenRest_ = {};
    if (atEnd()) return {};
    tokenRest_ = nextLine(what);
  }
}

void TextFile::skipRest() {
  tokenRest_ = {};
  do {
    consumed_ += end_ - begin_;
    begin_ = end_ = scanned_ = 0;
  } while (fill());
}

std::optional<std::uint64_t> TextFile::remainingBytes() const {
  if (!size_) return std::nullopt;
  return *size_ > consumed_ ? *size_ - consumed_ : 0;
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
  file_.refuse(InputError::Kind::malformed, file_.lineNumber(), std::move(detail));
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
