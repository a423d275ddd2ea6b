#include "console/printf_text.hpp"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace tessmark {

namespace {

using printf_detail::Conversion;

constexpr int kLargestPrecision = 500;

// The next argument when it has the kind a conversion needs.
const PrintfArgument* take(const PrintfArgument*& next, const PrintfArgument* end,
                           PrintfArgument::Kind kind) {
  if (next == end || next->kind != kind) return nullptr;
  return next++;
}

// Parses the directive that starts at `percent`. A '*' width or precision is only marked: it takes
// its int when the directive is formatted (resolve()).
Conversion parse(const char* percent) {
  Conversion directive;
  directive.begin = percent;
  const char* c = percent + 1;
  for (;; ++c) {
    const bool flag = *c == '+' || *c == ' ' || *c == '0' || *c == '#' || *c == '\'';
    if (flag && directive.flagCount < sizeof directive.flags) {
      directive.flags[directive.flagCount++] = *c;
    }
    if (*c == '-') {
      directive.leftAlign = true;
    } else if (*c == '+') {
      directive.plusSign = true;
    } else if (*c == ' ') {
      directive.blankSign = true;
    } else if (*c == '0') {
      directive.zeroPad = true;
    } else if (*c == '#' || *c == '\'') {
      directive.unusual = true;
    } else {
      break;
    }
  }
  if (*c == '*') {
    ++c;
    directive.widthArgument = true;
  } else {
    for (; *c >= '0' && *c <= '9'; ++c) {
      directive.width =
          directive.width < 100000 ? directive.width * 10 + (*c - '0') : directive.width;
    }
  }
  if (*c == '.') {
    ++c;
    directive.precision = 0;
    if (*c == '*') {
      ++c;
      directive.precisionArgument = true;
    } else {
      for (; *c >= '0' && *c <= '9'; ++c) {
        directive.precision = directive.precision < 100000 ? directive.precision * 10 + (*c - '0')
                                                           : directive.precision;
      }
    }
  }
  // Length modifiers: 'l' is printf's no-op on the floating conversions; every other one is
  // formatted by snprintf.
  bool ell = false;
  directive.lengthBegin = c;
  const auto lengthModifier = [](char m) {
    return m == 'h' || m == 'l' || m == 'L' || m == 'q' || m == 'j' || m == 'z' || m == 't';
  };
  for (; lengthModifier(*c); ++c) {
    if (*c == 'l' && !ell) {
      ell = true;
    } else {
      directive.unusual = true;
    }
  }
  directive.conversion = *c;
  directive.end = *c == 0 ? c : c + 1;
  if (ell &&
      (directive.conversion == 'd' || directive.conversion == 'i' || directive.conversion == 's')) {
    directive.unusual = true;
  }
  if (directive.width > 100000 || directive.precision > kLargestPrecision) directive.unusual = true;
  return directive;
}

// The directive with its '*' width and precision taken from the arguments, in that order, as
// printf takes them: a negative width aligns left, a negative precision counts as none given.
Conversion resolve(Conversion directive, const PrintfArgument*& next, const PrintfArgument* end) {
  if (directive.widthArgument) {
    const PrintfArgument* width = take(next, end, PrintfArgument::Kind::integer);
    directive.width = width ? width->integer : 0;
    if (directive.width < 0) {
      directive.leftAlign = true;
      directive.width = directive.width == -2147483647 - 1 ? 0 : -directive.width;
    }
  }
  if (directive.precisionArgument) {
    const PrintfArgument* precision = take(next, end, PrintfArgument::Kind::integer);
    directive.precision = precision && precision->integer >= 0 ? precision->integer : -1;
  }
  if (directive.width > 100000 || directive.precision > kLargestPrecision) directive.unusual = true;
  return directive;
}

// Writes `body` (sign included) padded to the directive's width: zeros after `signLength`
// bytes of sign when zero padding applies, blanks otherwise.
void pad(PrintfText& text, const Conversion& directive, const char* body, std::size_t length,
         std::size_t signLength, bool zeroPadding) {
  const std::size_t width = static_cast<std::size_t>(directive.width);
  const std::size_t fill = width > length ? width - length : 0;
  char* out = text.extend(length + fill);
  if (directive.leftAlign) {
    std::memcpy(out, body, length);
    std::memset(out + length, ' ', fill);
  } else if (zeroPadding) {
    std::memcpy(out, body, signLength);
    std::memset(out + signLength, '0', fill);
    std::memcpy(out + signLength + fill, body + signLength, length - signLength);
  } else {
    std::memset(out, ' ', fill);
    std::memcpy(out + fill, body, length);
  }
}

void formatInteger(PrintfText& text, const Conversion& directive, int value) {
  char buffer[32];
  char* out = buffer;
  if (value < 0) {
    *out++ = '-';
  } else if (directive.plusSign) {
    *out++ = '+';
  } else if (directive.blankSign) {
    *out++ = ' ';
  }
  const std::size_t signLength = static_cast<std::size_t>(out - buffer);
  const unsigned magnitude =
      value < 0 ? 0u - static_cast<unsigned>(value) : static_cast<unsigned>(value);
  char digits[16];
  const std::size_t digitCount =
      directive.precision == 0 && magnitude == 0
          ? 0
          : static_cast<std::size_t>(std::to_chars(digits, digits + sizeof digits, magnitude).ptr -
                                     digits);
  if (directive.precision > static_cast<int>(digitCount)) {
    // At most 500 zeros, checked by parse(); room for them comes from a larger buffer.
    char wide[kLargestPrecision + 32];
    std::memcpy(wide, buffer, signLength);
    const std::size_t zeros = static_cast<std::size_t>(directive.precision) - digitCount;
    std::memset(wide + signLength, '0', zeros);
    std::memcpy(wide + signLength + zeros, digits, digitCount);
    pad(text, directive, wide, signLength + zeros + digitCount, signLength, false);
    return;
  }
  std::memcpy(out, digits, digitCount);
  pad(text, directive, buffer, signLength + digitCount, signLength,
      directive.zeroPad && directive.precision < 0 && !directive.leftAlign);
}

__extension__ typedef unsigned __int128 Uint128;

// The digits of `value`, most significant first, written to the end of the `[begin, end)` buffer;
// returns where they start. At least one digit.
char* writeDigitsBackwards(char* end, std::uint64_t value) {
  static constexpr char kPairs[] =
      "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
      "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
      "8081828384858687888990919293949596979899";
  while (value >= 100) {
    const std::uint64_t pair = value % 100;
    value /= 100;
    end -= 2;
    std::memcpy(end, kPairs + 2 * pair, 2);
  }
  if (value >= 10) {
    end -= 2;
    std::memcpy(end, kPairs + 2 * value, 2);
    return end;
  }
  *--end = static_cast<char>('0' + value);
  return end;
}

constexpr int kExactFixedPrecision = 22;  // 10^22 < 2^74, so m 10^22 < 2^127 for m < 2^53

// %.Nf of a finite, non-negative value in exact integer arithmetic: the value is m 2^e exactly, and
// its fixed text is the decimal digits of q = m 10^N / 2^-e rounded to the nearest integer, a tie
// to the even one (printf's rounding in the default mode), with the point N digits from the
// right. Writes the text at `out` and returns its end when N <= 22 and m 10^N 2^e fits 128 bits;
// otherwise writes nothing and returns nullptr, and std::to_chars takes the value.
char* exactFixed(char* out, double magnitude, int precision) {
  if (precision > kExactFixedPrecision) return nullptr;
  std::uint64_t bits;
  std::memcpy(&bits, &magnitude, sizeof bits);
  const int biased = static_cast<int>(bits >> 52);
  const std::uint64_t fraction = bits & ((std::uint64_t{1} << 52) - 1);
  const std::uint64_t m = biased == 0 ? fraction : fraction | (std::uint64_t{1} << 52);
  const int e = (biased == 0 ? 1 : biased) - 1075;
  static constexpr std::uint64_t kPowers[] = {1u,
                                              10u,
                                              100u,
                                              1000u,
                                              10000u,
                                              100000u,
                                              1000000u,
                                              10000000u,
                                              100000000u,
                                              1000000000u,
                                              10000000000u,
                                              100000000000u,
                                              1000000000000u,
                                              10000000000000u,
                                              100000000000000u,
                                              1000000000000000u,
                                              10000000000000000u,
                                              100000000000000000u,
                                              1000000000000000000u,
                                              10000000000000000000u};
  // 10^N as a 128-bit number: beyond 10^19 a second factor.
  const Uint128 power = precision <= 19 ? Uint128{kPowers[precision]}
                                        : Uint128{kPowers[19]} * kPowers[precision - 19];
  const Uint128 scaled = power * m;
  Uint128 q = 0;
  if (e >= 0) {
    if (e >= 127 || (scaled >> (127 - e)) != 0) return nullptr;
    q = scaled << e;
  } else if (e > -128) {
    const int shift = -e;
    q = scaled >> shift;
    const Uint128 remainder = scaled - (q << shift);
    const Uint128 half = Uint128{1} << (shift - 1);
    if (remainder > half || (remainder == half && (q & 1) != 0)) ++q;
  }
  // (e <= -128: scaled < 2^127 <= half, so q rounds to 0.)
  char digits[48];
  char* const digitsEnd = digits + sizeof digits;
  char* first;
  constexpr std::uint64_t kChunk = 10000000000000000000u;  // 10^19
  if (q <= UINT64_MAX) {
    first = writeDigitsBackwards(digitsEnd, static_cast<std::uint64_t>(q));
  } else {
    // Up to 39 digits: the low 19 digits with their zeros, then the rest.
    const std::uint64_t low = static_cast<std::uint64_t>(q % kChunk);
    Uint128 high = q / kChunk;
    char* const lowStart = digitsEnd - 19;
    char* const lowFirst = writeDigitsBackwards(digitsEnd, low);
    std::memset(lowStart, '0', static_cast<std::size_t>(lowFirst - lowStart));
    if (high <= UINT64_MAX) {
      first = writeDigitsBackwards(lowStart, static_cast<std::uint64_t>(high));
    } else {
      const std::uint64_t middle = static_cast<std::uint64_t>(high % kChunk);
      high /= kChunk;
      char* const middleStart = lowStart - 19;
      char* const middleFirst = writeDigitsBackwards(lowStart, middle);
      std::memset(middleStart, '0', static_cast<std::size_t>(middleFirst - middleStart));
      first = writeDigitsBackwards(middleStart, static_cast<std::uint64_t>(high));
    }
  }
  const std::size_t count = static_cast<std::size_t>(digitsEnd - first);
  const std::size_t fractionDigits = static_cast<std::size_t>(precision);
  if (count <= fractionDigits) {
    // "0." and the zeros that lead the fraction.
    *out++ = '0';
    if (fractionDigits == 0) return out;
    *out++ = '.';
    std::memset(out, '0', fractionDigits - count);
    out += fractionDigits - count;
    std::memcpy(out, first, count);
    return out + count;
  }
  const std::size_t integerDigits = count - fractionDigits;
  std::memcpy(out, first, integerDigits);
  out += integerDigits;
  if (fractionDigits == 0) return out;
  *out++ = '.';
  std::memcpy(out, first + integerDigits, fractionDigits);
  return out + fractionDigits;
}

void formatReal(PrintfText& text, const Conversion& directive, double value) {
  const bool upper = directive.conversion == 'F' || directive.conversion == 'E';
  const bool scientific = directive.conversion == 'e' || directive.conversion == 'E';
  const int precision = directive.precision < 0 ? 6 : directive.precision;
  // 309 integer digits, the point, the precision, the exponent and the sign.
  char buffer[kLargestPrecision + 340];
  char* out = buffer;
  if (std::signbit(value)) {
    *out++ = '-';
  } else if (directive.plusSign) {
    *out++ = '+';
  } else if (directive.blankSign) {
    *out++ = ' ';
  }
  const std::size_t signLength = static_cast<std::size_t>(out - buffer);
  if (!std::isfinite(value)) {
    const char* word = std::isnan(value) ? (upper ? "NAN" : "nan") : (upper ? "INF" : "inf");
    std::memcpy(out, word, 3);
    pad(text, directive, buffer, signLength + 3, signLength, false);
    return;
  }
  char* last = scientific ? nullptr : exactFixed(out, std::fabs(value), precision);
  if (last == nullptr) {
    const std::chars_format format =
        scientific ? std::chars_format::scientific : std::chars_format::fixed;
    last = std::to_chars(out, buffer + sizeof buffer, std::fabs(value), format, precision).ptr;
  }
  if (upper && scientific) {
    for (char* c = out; c != last; ++c) {
      if (*c == 'e') *c = 'E';
    }
  }
  pad(text, directive, buffer, static_cast<std::size_t>(last - buffer), signLength,
      directive.zeroPad && !directive.leftAlign);
}

void formatText(PrintfText& text, const Conversion& directive, const char* value) {
  std::size_t length = std::strlen(value);
  if (directive.precision >= 0 && static_cast<std::size_t>(directive.precision) < length) {
    length = static_cast<std::size_t>(directive.precision);
  }
  pad(text, directive, value, length, 0, false);
}

// One conversion by snprintf, with the argument as its own kind and any '*' already resolved.
void formatByLibrary(PrintfText& text, const Conversion& directive,
                     const PrintfArgument& argument) {
  // '%', the flags, the width and the precision as numbers, then the length and the conversion.
  char format[64];
  char* out = format;
  char* const last = format + sizeof format - 1;
  *out++ = '%';
  for (std::size_t i = 0; i < directive.flagCount; ++i) *out++ = directive.flags[i];
  if (directive.leftAlign) *out++ = '-';
  if (directive.width > 0) out = std::to_chars(out, last, directive.width).ptr;
  if (directive.precision >= 0) {
    *out++ = '.';
    out = std::to_chars(out, last, directive.precision).ptr;
  }
  for (const char* c = directive.lengthBegin; c != directive.end && out != last; ++c) *out++ = *c;
  *out = 0;
  const auto print = [&](char* out, std::size_t size) {
    switch (argument.kind) {
      case PrintfArgument::Kind::integer:
        return std::snprintf(out, size, format, argument.integer);
      case PrintfArgument::Kind::real:
        return std::snprintf(out, size, format, argument.real);
      case PrintfArgument::Kind::text:
        return std::snprintf(out, size, format, argument.text);
    }
    return 0;
  };
  const int needed = print(nullptr, 0);
  if (needed <= 0) return;
  std::string printed(static_cast<std::size_t>(needed) + 1, '\0');
  print(printed.data(), printed.size());
  text.append(printed.data(), static_cast<std::size_t>(needed));
}

// Formats one directive, its '*' already resolved, with the arguments from `next` on.
void formatResolved(PrintfText& text, const Conversion& directive, const PrintfArgument*& next,
                    const PrintfArgument* end) {
  switch (directive.unusual ? 0 : directive.conversion) {
    case 'd':
    case 'i':
      if (const PrintfArgument* a = take(next, end, PrintfArgument::Kind::integer)) {
        formatInteger(text, directive, a->integer);
      }
      break;
    case 'f':
    case 'F':
    case 'e':
    case 'E':
      if (const PrintfArgument* a = take(next, end, PrintfArgument::Kind::real)) {
        formatReal(text, directive, a->real);
      }
      break;
    case 's':
      if (next != end && next->kind == PrintfArgument::Kind::text && next->text != nullptr &&
          !directive.zeroPad) {
        formatText(text, directive, next->text);
        ++next;
        break;
      }
      [[fallthrough]];
    default:
      if (directive.conversion != 0 && next != end) formatByLibrary(text, directive, *next++);
      break;
  }
}

// Formats one parsed directive with the arguments from `next` on.
void formatDirective(PrintfText& text, const Conversion& parsed, const PrintfArgument*& next,
                     const PrintfArgument* end) {
  if (parsed.widthArgument || parsed.precisionArgument) {
    formatResolved(text, resolve(parsed, next, end), next, end);
  } else {
    formatResolved(text, parsed, next, end);
  }
}

// Calls `literal(begin, length)` for each run of plain text and `directive(conversion)` for each
// conversion of `format`, in order; "%%" is a run of one '%'.
template <typename Literal, typename Directive>
void walk(const char* format, Literal&& literal, Directive&& directive) {
  const char* c = format;
  while (*c != 0) {
    const char* run = c;
    while (*c != 0 && *c != '%') ++c;
    if (c != run) literal(run, static_cast<std::size_t>(c - run));
    if (*c == 0) break;
    if (c[1] == '%') {
      literal(c + 1, 1);
      c += 2;
      continue;
    }
    const Conversion conversion = parse(c);
    c = conversion.end;
    directive(conversion);
  }
}

}  // namespace

PrintfFormat::PrintfFormat(const char* format) {
  walk(
      format,
      [&](const char* run, std::size_t length) {
        // A run that continues the previous one in the format joins it.
        if (!pieces_.empty() && !pieces_.back().hasConversion &&
            pieces_.back().literal + pieces_.back().literalLength == run) {
          pieces_.back().literalLength += length;
        } else {
          pieces_.push_back({run, length, false, {}});
        }
      },
      [&](const Conversion& conversion) {
        if (!pieces_.empty() && !pieces_.back().hasConversion) {
          pieces_.back().hasConversion = true;
          pieces_.back().conversion = conversion;
        } else {
          pieces_.push_back({nullptr, 0, true, conversion});
        }
      });
}

void PrintfText::append(const char* format, std::initializer_list<PrintfArgument> arguments) {
  const PrintfArgument* next = arguments.begin();
  const PrintfArgument* const end = arguments.end();
  walk(
      format, [&](const char* run, std::size_t length) { append(run, length); },
      [&](const Conversion& conversion) { formatDirective(*this, conversion, next, end); });
}

void PrintfText::append(const PrintfFormat& format,
                        std::initializer_list<PrintfArgument> arguments) {
  const PrintfArgument* next = arguments.begin();
  const PrintfArgument* const end = arguments.end();
  for (const PrintfFormat::Piece& piece : format.pieces_) {
    if (piece.literalLength != 0) append(piece.literal, piece.literalLength);
    if (piece.hasConversion) formatDirective(*this, piece.conversion, next, end);
  }
}

void PrintfText::append(const char* text, std::size_t length) {
  std::memcpy(extend(length), text, length);
}

char* PrintfText::grow(std::size_t count) {
  const std::size_t size = size_ + count;
  if (overflow_.empty()) overflow_.assign(inline_, size_);
  overflow_.resize(size);
  char* at = overflow_.data() + size_;
  size_ = size;
  return at;
}

void PrintfText::clear() {
  overflow_.clear();
  size_ = 0;
}

void PrintfText::writeTo(std::FILE* file) {
  if (size_ != 0) std::fwrite(data(), 1, size_, file);
  clear();
}

}  // namespace tessmark
