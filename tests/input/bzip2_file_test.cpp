#include "input/bzip2_file.hpp"

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "input/bal_problem.hpp"
#include "input/input_error.hpp"
#include "input/lc_problem.hpp"
#include "tests/input/capture_input_error.hpp"
#include "tests/support/bzip2_text.hpp"

namespace tessmark {
namespace {

namespace fs = std::filesystem;
using testing::bzip2Compressed;
using testing::captureInputError;
using testing::PlainDecode;
using testing::plainDecode;

// A folder of files for one test, removed afterwards.
class Bzip2File : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "tessmark-bz2.XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    folder_ = pattern;
  }
  void TearDown() override { fs::remove_all(folder_); }

  std::string file(const std::string& name, const std::string& bytes) const {
    const fs::path path = folder_ / name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path.string();
  }

  fs::path folder_;
};

// Lines that compress poorly enough to fill several bzip2 blocks.
std::string manyLines(int count) {
  std::string text;
  std::uint32_t state = 12345;
  for (int i = 0; i < count; ++i) {
    state = state * 1664525u + 1013904223u;
    text +=
        std::to_string(i) + " " + std::to_string(state) + " " + std::to_string(state >> 7) + "\n";
  }
  return text;
}

std::string wholeText(TextFile& file) {
  std::string text;
  while (!file.atEnd()) {
    text += file.nextLine("a line");
    text += '\n';
  }
  return text;
}

TEST(Bzip2Name, OnlyTheSuffixCounts) {
  struct Case {
    const char* path;
    bool compressed;
  };
  const Case cases[] = {{"problem.txt.bz2", true}, {"dir.bz2/problem.txt", false},
                        {"problem.bz2", true},     {"problem.txt", false},
                        {"problem.BZ2", false},    {".bz2", true}};
  for (const Case& c : cases) EXPECT_EQ(isBzip2Name(c.path), c.compressed) << c.path;
}

// The decompressed text reaches the reader exactly: single and several blocks, concatenated
// streams, a last line without a line feed.
TEST_F(Bzip2File, DeliversTheTextAsWritten) {
  const std::string large = manyLines(30000);  // about 800 KB: many 100k blocks at level 1
  ASSERT_GT(large.size(), 4 * TextFile::kChunkSize);
  struct Case {
    const char* name;
    std::string bytes;
    std::string text;
  };
  const Case cases[] = {
      {"small", bzip2Compressed("a b c\n1 2 3\n"), "a b c\n1 2 3\n"},
      {"no final feed", bzip2Compressed("a\nlast"), "a\nlast\n"},
      {"several blocks", bzip2Compressed(large, 1), large},
      {"two streams", bzip2Compressed("first\n") + bzip2Compressed("second\n"), "first\nsecond\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TextFile text = openBzip2File(file(std::string(c.name) + ".bz2", c.bytes));
    EXPECT_EQ(wholeText(text), c.text);
    EXPECT_FALSE(text.remainingBytes().has_value());
  }
}

// Damaged files are refused with the file's name and what is wrong, never read as text.
TEST_F(Bzip2File, RefusesDamagedFiles) {
  const std::string good = bzip2Compressed(manyLines(2000));
  std::string flipped = good;
  flipped[flipped.size() / 2] = static_cast<char>(flipped[flipped.size() / 2] ^ 0x55);
  struct Case {
    const char* name;
    std::string bytes;
    const char* says;
  };
  const Case cases[] = {
      {"empty", "", "expected a bzip2 stream, found an empty file"},
      {"plain text", "Rome_is_not_built_in_one_day!\n1 2 3\n",
       "found data that is no bzip2 stream"},
      {"cut in half", good.substr(0, good.size() / 2), "(a truncated file)"},
      {"last byte missing", good.substr(0, good.size() - 1), "(a truncated file)"},
      {"only the magic", good.substr(0, 4), "(a truncated file)"},
      {"a flipped byte", flipped, "corrupt compressed data"},
      {"garbage after the stream", good + "garbage", "no bzip2 stream after the end of stream 1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = file("damaged.bz2", c.bytes);
    const InputError error = captureInputError([&] {
      TextFile text = openBzip2File(path);
      wholeText(text);
    });
    EXPECT_EQ(error.kind, InputError::Kind::malformed);
    EXPECT_EQ(error.file, path);
    EXPECT_EQ(error.line, 0);
    EXPECT_NE(error.detail.find(c.says), std::string::npos) << error.detail;
  }
}

TEST_F(Bzip2File, AMissingFileCannotBeOpened) {
  const std::string path = (folder_ / "absent.bz2").string();
  const InputError error = captureInputError([&] { openBzip2File(path); });
  EXPECT_EQ(error.kind, InputError::Kind::cannotOpen);
  EXPECT_EQ(error.file, path);
  EXPECT_EQ(captureInputError([&] { openDataFile(path); }).kind, InputError::Kind::cannotOpen);
  EXPECT_EQ(captureInputError([&] { openBzip2File(folder_.string()); }).kind,
            InputError::Kind::cannotOpen);
}

// The readers stop after their last record; a compressed file whose tail is lost must still be
// refused once the rest is checked, and a whole one passes.
TEST_F(Bzip2File, TheRestOfACompressedFileIsChecked) {
  const std::string text = manyLines(30000);
  const std::string compressed = bzip2Compressed(text, 1);
  for (const std::size_t cut : {std::size_t{0}, std::size_t{1}, std::size_t{40}}) {
    SCOPED_TRACE("cut " + std::to_string(cut));
    TextFile file =
        openDataFile(this->file("tail.txt.bz2", compressed.substr(0, compressed.size() - cut)));
    EXPECT_EQ(file.nextLine("line 1"), text.substr(0, text.find('\n')));
    if (cut == 0) {
      checkRestOfCompressedFile(file);
      EXPECT_TRUE(file.atEnd());
    } else {
      const InputError error = captureInputError([&] { checkRestOfCompressedFile(file); });
      EXPECT_NE(error.detail.find("truncated"), std::string::npos) << error.detail;
    }
  }
  // An uncompressed file is left where the reader stopped.
  TextFile plain = openDataFile(file("plain.txt", "1\n2\n"));
  plain.nextLine("line 1");
  checkRestOfCompressedFile(plain);
  EXPECT_EQ(plain.nextLine("line 2"), "2");
}

// A standard BAL problem and a .lc set of a few thousand records each (a few hundred kilobytes:
// one bzip2 block, handed out in several chunks before its checksum is checked), and their
// readers.
struct CompressedReader {
  const char* name;
  std::string text;
  void (*read)(TextFile& file);
};

std::vector<CompressedReader> compressedReaders() {
  std::string bal = "6 2000 8000\n";
  for (int o = 0; o < 8000; ++o) {
    bal += std::to_string(o % 6) + " " + std::to_string(o / 4) + " " + std::to_string(o * 0.37) +
           " " + std::to_string(-o * 1.13) + "\n";
  }
  for (int k = 0; k < 54; ++k) bal += std::to_string(0.01 * k - 0.2) + "\n";
  std::string lc = "Tessmark_lc_data!\n4\n3000\n";
  for (int c = 0; c < 4; ++c) lc += "800 0 320 1 0 800 240 2 0 0 1 " + std::to_string(c + 5) + "\n";
  for (int p = 0; p < 3000; ++p) {
    for (int c = 0; c < 4; ++c)
      lc += std::to_string(p * 1.5 + c) + " " + std::to_string(c + 0.5 + p * 0.25) + " ";
    lc += "\n";
  }
  return {
      {"standard BAL", bal,
       [](TextFile& file) { readBalRecords(file, readBalCountsAfterOptionalHeader(file)); }},
      {".lc", lc,
       [](TextFile& file) {
         checkLcHeader(file);
         readLcRecords(file, readLcCounts(file));
       }},
  };
}

// libbz2 hands out a block's text before it checks the block's checksum. A file damaged so that
// the text reads as a faulty record (the record named as what is wrong) must be reported as the
// corrupt compressed data it is: the stream is checked on before a reader's refusal goes out.
TEST_F(Bzip2File, ADamagedBlockIsReportedAsSuchNotAsTheRecordItDecompressedTo) {
  for (const CompressedReader& reader : compressedReaders()) {
    SCOPED_TRACE(reader.name);
    ASSERT_GT(reader.text.size(), 2 * TextFile::kChunkSize);
    const std::string compressed = bzip2Compressed(reader.text);
    {
      TextFile intact = openBzip2File(file("intact.bz2", compressed));
      reader.read(intact);
    }
    // The first bit flip from the middle on whose text, as far as libbz2 hands it out, a reader
    // refuses on a line of its own.
    std::optional<std::string> damaged;
    for (std::size_t bit = 8 * compressed.size() / 2; bit < 8 * compressed.size() && !damaged;
         ++bit) {
      std::string flipped = compressed;
      flipped[bit / 8] = static_cast<char>(flipped[bit / 8] ^ (1 << (bit % 8)));
      const PlainDecode decoded = plainDecode(flipped);
      if (decoded.whole) continue;
      try {
        TextFile text = TextFile::fromText("text", decoded.text);
        reader.read(text);
      } catch (const InputError& refusal) {
        if (refusal.line > 0) damaged = flipped;
      }
    }
    ASSERT_TRUE(damaged.has_value()) << "no bit flip makes a faulty record";
    const std::string path = file("damaged.bz2", *damaged);
    const InputError error = captureInputError([&] {
      TextFile text = openBzip2File(path);
      reader.read(text);
    });
    EXPECT_EQ(error.kind, InputError::Kind::malformed);
    EXPECT_EQ(error.line, 0) << error.detail;
    EXPECT_NE(error.detail.find("corrupt compressed data"), std::string::npos) << error.detail;
  }
}

// A refusal reads on at most TextFile::kLateCheckBytes from a source that checks late (here an
// endless one), and then says what the reader found; a source that checks as it goes is not read
// on at all.
TEST(LateCheckingSource, ARefusalReadsOnABoundedAmount) {
  for (const bool checksLate : {true, false}) {
    SCOPED_TRACE(checksLate);
    std::uint64_t delivered = 0;
    TextFile::Source endless = [&delivered](char* buffer, std::size_t size) {
      for (std::size_t i = 0; i < size; ++i) buffer[i] = "0 x\n"[(delivered + i) % 4];
      delivered += size;
      return size;
    };
    TextFile file = TextFile::fromSource("endless", endless, std::nullopt, checksLate);
    const InputError error = captureInputError([&] { readBalCountsAfterOptionalHeader(file); });
    EXPECT_EQ(error.line, 1);
    EXPECT_EQ(error.detail, "expected an integer point count, found 'x'");
    const std::uint64_t readAhead = 2 * TextFile::kChunkSize;
    if (checksLate) {
      EXPECT_GE(delivered, TextFile::kLateCheckBytes);
      EXPECT_LE(delivered, TextFile::kLateCheckBytes + readAhead);
    } else {
      EXPECT_LE(delivered, readAhead);
    }
  }
}

// A fault of the stream found while a reader looks for a line stays the stream's fault, never
// "the end of the file" or a wrong header.
TEST_F(Bzip2File, AStreamFaultAtALineIsNotTakenForTheLinesEnd) {
  const std::string notCompressed = "Tessmark_lc_data!\n1\n1\n";
  const std::string truncated = bzip2Compressed("Tessmark_lc_data!\n").substr(0, 20);
  for (const auto& [name, bytes] :
       {std::pair{"not compressed", notCompressed}, std::pair{"truncated", truncated}}) {
    SCOPED_TRACE(name);
    const std::string path = file("set.lc.bz2", bytes);
    const InputError error = captureInputError([&] {
      TextFile text = openBzip2File(path);
      checkLcHeader(text);
      readLcCounts(text);
    });
    EXPECT_EQ(error.kind, InputError::Kind::malformed);
    EXPECT_EQ(error.line, 0) << error.detail;
    EXPECT_NE(error.detail.find("expected a bzip2 stream"), std::string::npos) << error.detail;
  }
}

// The counts of a BAL file with or without its header-ID line, and the lines errors name.
TEST(BalCountsAfterOptionalHeader, ReadsBothLayouts) {
  struct Case {
    const char* text;
    BalCounts counts;
    std::int64_t countsLine;
  };
  const Case cases[] = {
      {"Rome_is_not_built_in_one_day!\n2 3 4\n", {2, 3, 4}, 2},
      {"  Rome_is_not_built_in_one_day! more\n2 3 4\n", {2, 3, 4}, 2},
      {"2 3 4\n", {2, 3, 4}, 1},
      {"2 3 4 extra\n0 0 1 1\n", {2, 3, 4}, 1},
      {"0 0 0\n", {0, 0, 0}, 1},
      // Without the header ID read by tokens, as standard BAL readers read them: blank lines, and
      // the counts over lines.
      {"\n \t\n2 3 4\n", {2, 3, 4}, 3},
      {"\n2\n3 4\n", {2, 3, 4}, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    TextFile file = TextFile::fromText("p.txt", c.text);
    const BalCounts counts = readBalCountsAfterOptionalHeader(file);
    EXPECT_EQ(counts.cameraNum, c.counts.cameraNum);
    EXPECT_EQ(counts.pointNum, c.counts.pointNum);
    EXPECT_EQ(counts.imageCoordinates, c.counts.imageCoordinates);
    EXPECT_EQ(file.lineNumber(), c.countsLine);
  }
}

TEST(BalCountsAfterOptionalHeader, RefusesWhatIsNeither) {
  struct Case {
    const char* text;
    std::int64_t line;
    const char* says;
  };
  const Case cases[] = {
      {"", 1, "expected the header ID or the counts line"},
      {"Rome_is_not_built_in_one_day!!\n2 3 4\n", 1,
       "expected the header ID 'Rome_is_not_built_in_one_day!' or the counts line (camera count, "
       "point count, observation count), found 'Rome_is_not_built_in_one_day!!'"},
      {"\n\n", 3, "expected the header ID or the counts line"},
      {"x2 3 4\n", 1, "found 'x2'"},
      {"\n\nx2 3 4\n", 3, "found 'x2'"},
      {"Rome_is_not_built_in_one_day!\n", 2, "expected the counts line"},
      // The header-ID file keeps its line rules.
      {"Rome_is_not_built_in_one_day!\n2 3\n", 2, "expected 3 values"},
      {"Rome_is_not_built_in_one_day!\n\n2 3 4\n", 2, "expected 3 values"},
      {"2 3\n", 1, "expected the observation count, found the end of the file"},
      {"2\n\n", 1, "expected the point count, found the end of the file"},
      {"2 5 4\n", 1, "no larger than the observation count"},
      {"2 5\n4\n", 2, "no larger than the observation count"},
      {"2 y 4\n", 1, "expected an integer point count, found 'y'"},
      {"2 3\n-4\n", 2, "expected a non-negative observation count, found -4"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    TextFile file = TextFile::fromText("p.txt", c.text);
    const InputError error = captureInputError([&] { readBalCountsAfterOptionalHeader(file); });
    EXPECT_EQ(error.kind, InputError::Kind::malformed);
    EXPECT_EQ(error.line, c.line);
    EXPECT_NE(error.detail.find(c.says), std::string::npos) << error.detail;
  }
}

}  // namespace
}  // namespace tessmark
