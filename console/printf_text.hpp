#pragma once
// printf's text, made faster: the conversions the report files use are formatted here with
// std::to_chars, which gives the same correctly rounded digits as the C library's printf in its
// default rounding mode, and the padding, sign and special-value rules of printf are applied on
// top. The result is byte for byte what snprintf(format, args...) writes.
//
// Conversions done here: %d and %i (int), %s (a C string), %f %F %e %E (double; the length
// modifier l is accepted and ignored), %%, with the flags '-', '+', ' ' and '0', a width and a
// precision (decimal, or '*' taking an int argument as printf does). Non-finite values read "nan",
// "-nan", "inf", "-inf" ("NAN", "INF" for the upper-case conversions), padded with blanks only, as
// glibc writes them. Any other conversion, flag or length (such as '#', %g, %x, %ld), a null %s and
// a precision beyond 500 are handed to snprintf for that conversion alone, so the text is still
// printf's. A conversion without a matching argument writes nothing (printf's behaviour is
// undefined there).
//
// A format written for many lines can be parsed once into a PrintfFormat and appended from there,
// with the same text as from the format string itself.

#include <cstddef>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <vector>

namespace tessmark {

// One argument of a format: what printf's varargs would carry.
struct PrintfArgument {
  enum class Kind { integer, real, text } kind;
  union {
    int integer;
    double real;
    const char* text;
  };

  PrintfArgument(int value) : kind(Kind::integer), integer(value) {}
  PrintfArgument(double value) : kind(Kind::real), real(value) {}
  PrintfArgument(const char* value) : kind(Kind::text), text(value) {}
};

namespace printf_detail {

// One conversion directive: %[flags][width][.precision][length]conversion.
struct Conversion {
  bool leftAlign = false;
  bool plusSign = false;
  bool blankSign = false;
  bool zeroPad = false;
  bool unusual = false;            // a flag or length this file does not format itself
  bool widthArgument = false;      // '*': the width is the next int argument
  bool precisionArgument = false;  // '.*': the precision is the next int argument
  char flags[8] = {};              // the flags as written but '-' (for snprintf)
  std::size_t flagCount = 0;
  const char* lengthBegin = nullptr;  // the length modifier and the conversion character
  int width = 0;
  int precision = -1;  // -1: none given
  char conversion = 0;
  const char* begin = nullptr;  // the '%'
  const char* end = nullptr;    // one past the conversion character
};

}  // namespace printf_detail

// A format string parsed once: its runs of plain text and its conversions, so that a format used
// for many lines is not parsed again for each. It points into `format`, which must outlive it (the
// report formats are string literals). Implicit, so a table of formats can be written as strings.
class PrintfFormat {
 public:
  PrintfFormat(const char* format);

 private:
  friend class PrintfText;
  // A run of plain text (possibly empty), then at most one conversion.
  struct Piece {
    const char* literal;
    std::size_t literalLength;
    bool hasConversion;
    printf_detail::Conversion conversion;
  };
  std::vector<Piece> pieces_;
};

// A text that grows without limit; holds up to kInline bytes without touching the heap.
class PrintfText {
 public:
  static constexpr std::size_t kInline = 2048;

  PrintfText() = default;
  PrintfText(const PrintfText&) = delete;
  PrintfText& operator=(const PrintfText&) = delete;

  // Appends snprintf(format, arguments...)'s text. The arguments must match the conversions as
  // printf's would (an int for %d, a double for %f, a C string for %s).
  void append(const char* format, std::initializer_list<PrintfArgument> arguments);
  void append(const PrintfFormat& format, std::initializer_list<PrintfArgument> arguments);
  void append(const char* text, std::size_t length);

  const char* data() const { return overflow_.empty() ? inline_ : overflow_.data(); }
  std::size_t size() const { return size_; }
  std::string str() const { return std::string(data(), size_); }
  void clear();

  // Room for `count` more bytes at the end of the text; returns where they go (valid until the
  // next call that changes the text).
  char* extend(std::size_t count) {
    if (overflow_.empty() && size_ + count <= kInline) {
      char* at = inline_ + size_;
      size_ += count;
      return at;
    }
    return grow(count);
  }

  // Writes the text to `file` (one fwrite; errors stay in the stream's error indicator, as
  // fprintf's would) and clears it.
  void writeTo(std::FILE* file);

 private:
  char* grow(std::size_t count);  // extend() beyond the inline room

  char inline_[kInline];
  std::string overflow_;  // used once the inline room is exceeded
  std::size_t size_ = 0;
};

}  // namespace tessmark
