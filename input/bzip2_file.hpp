#pragma once
// Data files as they are distributed: compressed with bzip2 (a name ending in ".bz2"), read through
// libbz2 as a stream. The decompressed text goes through the same TextFile and the same readers as
// an uncompressed file; only the source of its bytes differs.
//
// Memory: one compressed chunk (TextFile::kChunkSize) and libbz2's decoder state (about 3.6 MB with
// its fast setting), whatever the size of the file; nothing is decompressed ahead of the reader.

#include <string>
#include <string_view>

#include "input/text_file.hpp"

namespace tessmark {

// Whether `path` names a bzip2 file: it ends in ".bz2".
bool isBzip2Name(std::string_view path);

// Opens a bzip2-compressed file for streaming as text; messages name `path`. Concatenated streams
// (as parallel compressors write them) are read one after the other. Throws
// InputError(cannotOpen) when the file cannot be opened or read, as TextFile::open does, and
// InputError(malformed, line 0) naming the decompressed bytes delivered so far when the data is no
// bzip2 stream ("expected a bzip2 stream, found ..."), is corrupt (a bad block or checksum), or
// ends before its end-of-stream marker (a truncated file), and when anything but another stream
// follows a stream's end. The length of the text is unknown (TextFile::remainingBytes is none).
// The decoder checks a block's checksum only after handing out its text, so the file checks late
// (TextFile::refuse): a reader's refusal of a damaged file reports the damage.
TextFile openBzip2File(const std::string& path);

// The same for bzip2 data from any source of bytes (a file's, or bytes in memory); `path` names it
// in messages. A read error of `compressed` is thrown as it comes.
TextFile decompressedFile(std::string path, TextFile::Source compressed);

// The data file as the tools read it: openBzip2File for a ".bz2" name, TextFile::open otherwise.
TextFile openDataFile(const std::string& path);

// Reads and discards what is left of `file` and, when its name marks it compressed, so checks the
// rest of the stream: the readers stop after their last record, and a compressed file whose tail is
// damaged or missing must not pass as whole. Nothing is done for an uncompressed file. Throws as
// openBzip2File's reads do.
void checkRestOfCompressedFile(TextFile& file);

}  // namespace tessmark
