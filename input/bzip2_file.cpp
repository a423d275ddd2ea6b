#include "input/bzip2_file.hpp"

#include <bzlib.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "input/input_error.hpp"

namespace tessmark {

namespace {

// The compressed file and libbz2's decoder, shared by the copies of the TextFile's source.
class Bzip2Stream {
 public:
  Bzip2Stream(std::string path, TextFile::Source compressed)
      : path_(std::move(path)), compressed_(std::move(compressed)), input_(kInputChunk) {}
  Bzip2Stream(const Bzip2Stream&) = delete;
  Bzip2Stream& operator=(const Bzip2Stream&) = delete;
  ~Bzip2Stream() {
    if (decoding_) BZ2_bzDecompressEnd(&stream_);
  }

  // Up to `size` decompressed bytes into `buffer`; 0 only after the last stream's end. Once it has
  // thrown, every later call throws the same error: the decoder is not driven past a fault.
  std::size_t read(char* buffer, std::size_t size) {
    if (failure_) throw *failure_;
    try {
      return decompress(buffer, size);
    } catch (const InputError& error) {
      failure_ = error;
      throw;
    }
  }

 private:
  static constexpr std::size_t kInputChunk = TextFile::kChunkSize;

  std::size_t decompress(char* buffer, std::size_t size) {
    std::size_t delivered = 0;
    while (delivered == 0 && size > 0) {
      if (!decoding_) {
        // Between streams: the file may end here, or hold another stream.
        if (stream_.avail_in == 0 && !refill()) {
          if (streams_ == 0) {
            throw InputError(InputError::Kind::malformed, path_, 0,
                             "expected a bzip2 stream, found an empty file");
          }
          return 0;
        }
        start();
      }
      if (stream_.avail_in == 0 && !refill()) {
        corrupt("the end of the file inside a compressed stream (a truncated file)");
      }
      stream_.next_out = buffer;
      stream_.avail_out = static_cast<unsigned>(std::min<std::size_t>(size, UINT_MAX));
      const int status = BZ2_bzDecompress(&stream_);
      delivered = static_cast<std::size_t>(stream_.next_out - buffer);
      produced_ += delivered;
      switch (status) {
        case BZ_OK:
          break;
        case BZ_STREAM_END:
          BZ2_bzDecompressEnd(&stream_);
          decoding_ = false;
          ++streams_;
          break;
        case BZ_DATA_ERROR_MAGIC:
          corrupt(streams_ == 0 ? "data that is no bzip2 stream"
                                : "data that is no bzip2 stream after the end of stream " +
                                      std::to_string(streams_));
        case BZ_MEM_ERROR:
          throw std::bad_alloc();
        default:  // BZ_DATA_ERROR and anything libbz2 may add
          corrupt("corrupt compressed data (a damaged block or a checksum mismatch)");
      }
    }
    return delivered;
  }

  void start() {
    stream_.bzalloc = nullptr;
    stream_.bzfree = nullptr;
    stream_.opaque = nullptr;
    const char* next = stream_.next_in;
    const unsigned available = stream_.avail_in;
    if (BZ2_bzDecompressInit(&stream_, 0, 0) != BZ_OK) throw std::bad_alloc();
    stream_.next_in = const_cast<char*>(next);
    stream_.avail_in = available;
    decoding_ = true;
  }

  // Reads the next compressed chunk; false at the end of the file.
  bool refill() {
    const std::size_t got = compressed_(input_.data(), input_.size());
    stream_.next_in = input_.data();
    stream_.avail_in = static_cast<unsigned>(got);
    return got > 0;
  }

  [[noreturn]] void corrupt(const std::string& found) const {
    throw InputError(InputError::Kind::malformed, path_, 0,
                     "expected a bzip2 stream, found " + found + " after " +
                         std::to_string(produced_) + " decompressed bytes");
  }

  std::string path_;
  TextFile::Source compressed_;
  std::vector<char> input_;
  bz_stream stream_{};
  bool decoding_ = false;
  int streams_ = 0;  // streams read to their end
  std::uint64_t produced_ = 0;
  std::optional<InputError> failure_;
};

}  // namespace

bool isBzip2Name(std::string_view path) { return path.ends_with(".bz2"); }

TextFile decompressedFile(std::string path, TextFile::Source compressed) {
  auto stream = std::make_shared<Bzip2Stream>(path, std::move(compressed));
  return TextFile::fromSource(
      std::move(path),
      [stream](char* buffer, std::size_t size) { return stream->read(buffer, size); }, std::nullopt,
      true);
}

TextFile openBzip2File(const std::string& path) {
  return decompressedFile(path, openFileBytes(path).source);
}

TextFile openDataFile(const std::string& path) {
  return isBzip2Name(path) ? openBzip2File(path) : TextFile::open(path);
}

void checkRestOfCompressedFile(TextFile& file) {
  if (isBzip2Name(file.path())) file.skipRest();
}

}  // namespace tessmark
