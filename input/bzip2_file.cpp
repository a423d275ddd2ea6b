#include "input/bzip2_file.hpp"

#include <bzlib.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "input/input_error.hpp"

namespace tessmark {

namespace {

// The compressed file and libbz2's decoder, shared by the copies of the TextFile's source.
class Bzip2Stream {
 public:
  Bzip2Stream(std::string path, int fd) : path_(std::move(path)), fd_(fd), input_(kInputChunk) {}
  Bzip2Stream(const Bzip2Stream&) = delete;
  Bzip2Stream& operator=(const Bzip2Stream&) = delete;
  ~Bzip2Stream() {
    if (decoding_) BZ2_bzDecompressEnd(&stream_);
    ::close(fd_);
  }

  // Up to `size` decompressed bytes into `buffer`; 0 only after the last stream's end.
  std::size_t read(char* buffer, std::size_t size) {
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

 private:
  static constexpr std::size_t kInputChunk = TextFile::kChunkSize;

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
    for (;;) {
      const ssize_t got = ::read(fd_, input_.data(), input_.size());
      if (got > 0) {
        stream_.next_in = input_.data();
        stream_.avail_in = static_cast<unsigned>(got);
        return true;
      }
      if (got == 0) return false;
      if (errno != EINTR) {
        throw InputError(InputError::Kind::cannotOpen, path_, 0, std::strerror(errno));
      }
    }
  }

  [[noreturn]] void corrupt(const std::string& found) const {
    throw InputError(InputError::Kind::malformed, path_, 0,
                     "expected a bzip2 stream, found " + found + " after " +
                         std::to_string(produced_) + " decompressed bytes");
  }

  std::string path_;
  int fd_;
  std::vector<char> input_;
  bz_stream stream_{};
  bool decoding_ = false;
  int streams_ = 0;  // streams read to their end
  std::uint64_t produced_ = 0;
};

}  // namespace

bool isBzip2Name(std::string_view path) { return path.ends_with(".bz2"); }

TextFile openBzip2File(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw InputError(InputError::Kind::cannotOpen, path, 0, std::strerror(errno));
  auto stream = std::make_shared<Bzip2Stream>(path, fd);
  struct stat status {};
  if (fstat(fd, &status) != 0) {
    throw InputError(InputError::Kind::cannotOpen, path, 0, std::strerror(errno));
  }
  if (S_ISDIR(status.st_mode)) {
    throw InputError(InputError::Kind::cannotOpen, path, 0, std::strerror(EISDIR));
  }
  return TextFile::fromSource(
      path, [stream](char* buffer, std::size_t size) { return stream->read(buffer, size); });
}

TextFile openDataFile(const std::string& path) {
  return isBzip2Name(path) ? openBzip2File(path) : TextFile::open(path);
}

void checkRestOfCompressedFile(TextFile& file) {
  if (isBzip2Name(file.path())) file.skipRest();
}

}  // namespace tessmark
