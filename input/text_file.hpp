#pragma once
// Line-oriented reading of a text file, streamed through one bounded buffer, with the token
// conversions the readers share. Tokens are separated by blank, tab, carriage return, vertical tab
// and form feed; a line ends at a line feed (or at the end of the file). The bytes are taken as
// they are on disk, so a carriage return before the line feed stays in the line and separates
// tokens like a blank.
//
// Memory: the file is never held whole. Bytes are read in chunks of kChunkSize into one buffer that
// holds the current line and what was read past it; the buffer grows only for a line longer than a
// chunk, and a line longer than kMaxLineLength is refused, so reading any file, /dev/zero included,
// takes at most about kMaxLineLength bytes. Reading line 1 reads at most one chunk past its line
// feed.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "input/input_error.hpp"

namespace tessmark {

class TextFile {
 public:
  // Bytes read from the source at a time.
  static constexpr std::size_t kChunkSize = std::size_t{1} << 16;
  // The longest line accepted, line feed excluded: far beyond any real record.
  static constexpr std::size_t kMaxLineLength = std::size_t{16} << 20;

  // A source of bytes: stores up to `size` bytes at `buffer` and returns how many, 0 only at the
  // end of the file. A read error is thrown (as InputError(cannotOpen)).
  using Source = std::function<std::size_t(char* buffer, std::size_t size)>;

  // Opens the file for streaming; throws InputError(cannotOpen) with the system's reason when it
  // cannot be opened or is a folder, and likewise on a later read error (line 0: the whole file).
  // The length is known for a regular file (see remainingBytes).
  static TextFile open(const std::string& path);
  // A file whose contents are given in memory (used by tests); `path` names it in messages.
  static TextFile fromText(std::string path, std::string text);
  // A file read from `source`; `size` is its length in bytes when known. `path` names it in
  // messages. `checksLate`: the source checks its bytes only after it has handed them out (a
  // compressed stream checks a block's checksum at the block's end), see refuse.
  static TextFile fromSource(std::string path, Source source,
                             std::optional<std::uint64_t> size = std::nullopt,
                             bool checksLate = false);

  const std::string& path() const { return path_; }

  // The next line, without its line feed, and makes it the current line. The view stays valid
  // until the next call of nextLine or atEnd. Throws InputError(malformed) naming `what` and the
  // line's number when the file has no further line ("expected <what>, found the end of the
  // file") or when the line is longer than kMaxLineLength ("expected <what>, found a line longer
  // than 16 MiB"; the read stops there).
  std::string_view nextLine(std::string_view what);
  // Whether the file has no further line. Reads at most one chunk ahead; a last line without a line
  // feed is a line, an empty text has none. Tokens left on the current line (nextToken) are not
  // looked at: a reader of tokens asks nextToken instead.
  bool atEnd();
  // Reading by tokens, for layouts where line ends are blanks like any other (blank lines and a
  // record broken over lines are allowed): the next token after the last one taken, on the current
  // line or on a later one; the line it is on becomes the current line (lineNumber names it). An
  // empty view at the end of the file. The view stays valid until the next call of nextToken,
  // nextLine or atEnd. Lines are read with nextLine(what), so a line longer than kMaxLineLength is
  // refused as there. nextLine drops whatever tokens its predecessor still held.
  std::string_view nextToken(std::string_view what);
  // Drops the tokens left on the current line: the next token is read from the next line.
  void skipLineRest() { tokenRest_ = {}; }
  // 1-based number of the current line (0 before the first nextLine).
  std::int64_t lineNumber() const { return lineNumber_; }
  // The bytes after the current line (its line feed excluded) when the file's length is known: a
  // bound on what the rest of the file can hold. None for a source of unknown length (a pipe, a
  // device).
  std::optional<std::uint64_t> remainingBytes() const;
  // Reads the rest of the source and throws it away, so that a source that checks its bytes as it
  // delivers them (a compressed stream) has checked them all. The current line's view is invalid
  // afterwards, and the file is at its end.
  void skipRest();

  // Throws InputError(kind, path, line, detail): a reader's refusal of the text. The readers refuse
  // through here, so that the fault of a source that checks late comes first: from such a source
  // up to kLateCheckBytes more bytes are read (and dropped) before, and a fault the source finds
  // among them is what is thrown. One flipped bit in a compressed file thus reads as corrupt
  // compressed data, not as the faulty record its block decompressed to. The bound covers the rest
  // of the block that held the refused line (a bzip2 block decompresses to at most about 46 MB),
  // and keeps a refusal of a small file that decompresses to a huge one quick. The file must not be
  // read after a refusal.
  [[noreturn]] void refuse(InputError::Kind kind, std::int64_t line, std::string detail) const;
  static constexpr std::uint64_t kLateCheckBytes = std::uint64_t{64} << 20;

 private:
  TextFile() = default;
  // Reads one more chunk behind the unread bytes; false at the end of the file.
  bool fill();

  std::string path_;
  Source source_;
  std::optional<std::uint64_t> size_;
  bool checksLate_ = false;
  struct Free {
    void operator()(char* bytes) const;
  };
  std::unique_ptr<char, Free> buffer_;  // malloc'd: realloc grows a large one without copying
  std::size_t capacity_ = 0;
  std::size_t begin_ = 0;  // unread bytes are buffer_[begin_, end_)
  std::size_t end_ = 0;
  std::size_t scanned_ = 0;     // bytes from begin_ already known to hold no line feed
  std::uint64_t consumed_ = 0;  // bytes handed out as lines, line feeds included
  std::int64_t lineNumber_ = 0;
  std::string_view tokenRest_;  // the current line after the last token nextToken took
};

// The bytes of the file at `path`, streamed through its descriptor (closed with the last copy of
// the source), and its length when it is a regular file. Throws InputError(cannotOpen) with the
// system's reason when it cannot be opened or is a folder, and from the source on a read error.
struct FileBytes {
  TextFile::Source source;
  std::optional<std::uint64_t> size;
};
FileBytes openFileBytes(const std::string& path);

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

// Reads the record on `line` with `read(LineTokens&)`, which throws InputError on a fault, and
// walks a well-formed line once. A faulty line is read again the careful way: `require(count,
// what)` first, then `read`, so a line with fewer than `count` values is named short before any
// fault of its values is, whatever `read` had written meanwhile.
template <typename Read>
void readRecordLine(const TextFile& file, std::string_view line, int count, std::string_view what,
                    Read&& read) {
  try {
    LineTokens tokens(file, line);
    read(tokens);
  } catch (const InputError& error) {
    if (error.line == 0) throw;  // the source's fault (see TextFile::refuse), not the line's
    LineTokens tokens(file, line);
    tokens.require(count, what);
    read(tokens);
    throw;
  }
}

// A token as error messages show it: in single quotes, bytes outside printable ASCII as \xNN, and
// cut to its first 40 bytes followed by "..." when longer.
std::string quotedToken(std::string_view token);

}  // namespace tessmark
