#pragma once
// Text compressed as the bzip2 tool compresses it, and compressed bytes decoded by plain libbz2,
// for tests and fuzz targets of the readers of .bz2 files (libbz2 in memory; link BZip2::BZip2,
// which the input library brings along).

#include <bzlib.h>

#include <cstddef>
#include <limits>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tessmark::testing {

// One bzip2 stream holding `text`; blockSize100k 1..9 as the tool's -1..-9 (a small block size
// makes a few hundred kilobytes of text several blocks).
inline std::string bzip2Compressed(std::string_view text, int blockSize100k = 9) {
  // bzip2's worst case: 1% more than the input and 600 bytes.
  std::string compressed(text.size() + text.size() / 100 + 600, '\0');
  auto length = static_cast<unsigned>(compressed.size());
  std::string input(text);
  if (BZ2_bzBuffToBuffCompress(compressed.data(), &length, input.data(),
                               static_cast<unsigned>(input.size()), blockSize100k, 0, 0) != BZ_OK) {
    throw std::runtime_error("bzip2 compression failed");
  }
  compressed.resize(length);
  return compressed;
}

// What plain libbz2 makes of `compressed`, stream after stream.
struct PlainDecode {
  std::string text;      // what it handed out, up to a fault
  bool whole = false;    // every stream decoded to its end, nothing after the last one
  bool tooLong = false;  // the text went beyond `mostText` bytes (the decoding stopped there)
};

inline PlainDecode plainDecode(std::string_view compressed,
                               std::size_t mostText = std::numeric_limits<std::size_t>::max()) {
  PlainDecode decoded;
  std::vector<char> input(compressed.begin(), compressed.end());
  std::size_t offset = 0;
  char out[1 << 14];
  while (offset < input.size()) {
    bz_stream stream{};
    if (BZ2_bzDecompressInit(&stream, 0, 0) != BZ_OK) return decoded;
    stream.next_in = input.data() + offset;
    stream.avail_in = static_cast<unsigned>(input.size() - offset);
    int status = BZ_OK;
    while (status == BZ_OK) {
      stream.next_out = out;
      stream.avail_out = sizeof out;
      status = BZ2_bzDecompress(&stream);
      decoded.text.append(out, sizeof out - stream.avail_out);
      if (decoded.text.size() > mostText) {
        decoded.tooLong = true;
        BZ2_bzDecompressEnd(&stream);
        return decoded;
      }
      // No input left and room left for output: the stream ends early.
      if (status == BZ_OK && stream.avail_in == 0 && stream.avail_out > 0) status = BZ_DATA_ERROR;
    }
    offset = input.size() - stream.avail_in;
    BZ2_bzDecompressEnd(&stream);
    if (status != BZ_STREAM_END) return decoded;
  }
  decoded.whole = !input.empty();
  return decoded;
}

}  // namespace tessmark::testing
