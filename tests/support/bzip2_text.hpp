#pragma once
// Text compressed as the bzip2 tool compresses it, for tests of the readers of .bz2 files (libbz2
// in memory; link BZip2::BZip2, which the input library brings along).

#include <bzlib.h>

#include <stdexcept>
#include <string>
#include <string_view>

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

}  // namespace tessmark::testing
