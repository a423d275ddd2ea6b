// Fuzz target of the compressed-input path on any bytes taken as the contents of a ".bz2" file:
// the decompressing source (stream after stream, whole or trickled a few bytes at a time) and the
// readers behind it, checked against a plain libbz2 decode of the same bytes.
//  - The text: where plain libbz2 decodes the bytes whole (every stream to its end, nothing after
//    the last), the lines delivered are its text; where it does not, the lines delivered before
//    the refusal agree with the text it handed out as far as both go, and the refusal is the
//    stream's own (no line, "expected a bzip2 stream, found ..."), the same whole or trickled.
//  - The readers (the standard BAL reader, the .lc reader): on a whole stream they load what they
//    load from the decoded text in memory, or refuse it alike; on a damaged one whose text they
//    read (not stopped by the bound below) they refuse with the stream's fault, never with a line
//    of the text the damage made.
// Inputs whose text plain libbz2 hands out beyond kMostText bytes are skipped: a few kilobytes can
// decompress to gigabytes, and the time would go on decompressing.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_data.hpp"
#include "input/bzip2_file.hpp"
#include "tests/support/bzip2_text.hpp"

namespace tessmark::fuzz {
namespace {

using testing::PlainDecode;

constexpr std::size_t kMostText = std::size_t{1} << 20;
constexpr CountBound kBound{.cameras = 64, .points = 256, .observations = 1024, .views = 64};
constexpr const char* kStreamFault = "expected a bzip2 stream, found ";

// The compressed bytes as a file's would come, whole or a few at a time.
TextFile compressedFile(std::string_view bytes, bool trickled) {
  auto shared = std::make_shared<const std::string>(bytes);
  std::size_t offset = 0;
  std::size_t turn = 0;
  TextFile::Source source = [shared, offset, turn, trickled](char* buffer,
                                                             std::size_t size) mutable {
    const std::size_t piece = trickled ? 1 + turn++ % 7 : size;
    const std::size_t taken = std::min({size, piece, shared->size() - offset});
    std::memcpy(buffer, shared->data() + offset, taken);
    offset += taken;
    return taken;
  };
  return decompressedFile("fuzz.bz2", std::move(source));
}

// The detail of a refusal without its byte count ("... after N decompressed bytes"), which depends
// on how far the decoder had got when the fault showed.
std::string withoutByteCount(const std::string& detail) {
  return detail.substr(0, detail.rfind(" after "));
}

void checkStreamFault(const InputError& refusal) {
  check(refusal.kind == InputError::Kind::malformed && refusal.line == 0 &&
            refusal.detail.rfind(kStreamFault, 0) == 0,
        "a damaged stream is refused for something else than the damage");
}

// The lines of the decompressed text, and the refusal that ended them if any.
struct Lines {
  std::string text;  // every line followed by a line feed
  std::optional<InputError> refusal;
};

Lines readLines(TextFile file) {
  Lines lines;
  try {
    while (!file.atEnd()) {
      lines.text += file.nextLine("a line");
      lines.text += '\n';
    }
  } catch (const InputError& refusal) {
    lines.refusal = refusal;
  }
  return lines;
}

void checkText(std::string_view bytes, const PlainDecode& decoded) {
  // The plain text as lines: a last line without its line feed gets one.
  std::string expected = decoded.text;
  if (!expected.empty() && expected.back() != '\n') expected += '\n';
  const Lines whole = readLines(compressedFile(bytes, false));
  const Lines trickled = readLines(compressedFile(bytes, true));
  for (const Lines* lines : {&whole, &trickled}) {
    if (decoded.whole) {
      check(!lines->refusal, "a whole stream is refused");
      check(lines->text == expected, "the text differs from plain libbz2's");
    } else {
      check(lines->refusal.has_value(), "a damaged stream passes");
      checkStreamFault(*lines->refusal);
      // libbz2 finds some faults in the middle of handing out a block, and how much of the block
      // it has handed out by then depends on the room it is given: the two texts agree as far as
      // both go.
      const std::size_t common = std::min(lines->text.size(), decoded.text.size());
      check(lines->text.compare(0, common, decoded.text, 0, common) == 0,
            "the text before a fault is not plain libbz2's");
    }
  }
  if (whole.refusal && trickled.refusal) {
    check(withoutByteCount(whole.refusal->detail) == withoutByteCount(trickled.refusal->detail),
          "a trickled stream is refused for another reason");
  }
}

// One reader on the compressed bytes against the same reader on the decoded text.
template <typename Load, typename SameData>
void checkReader(std::string_view bytes, const PlainDecode& decoded, Load load, SameData sameData) {
  const auto loadAll = [&](TextFile& file) {
    std::optional<DataSet> data = load(file, kBound);
    if (data) checkRestOfCompressedFile(file);
    return data;
  };
  bool skipped = false;  // beyond the bound: the reader stopped before the end of the text
  LoadOutcome compressed;
  try {
    TextFile file = compressedFile(bytes, false);
    compressed.data = loadAll(file);
    skipped = !compressed.data;
  } catch (const InputError& refusal) {
    compressed.refusal = refusal;
  }
  if (!decoded.whole) {
    if (!skipped) {
      check(compressed.refusal.has_value(), "a damaged stream loads");
      checkStreamFault(*compressed.refusal);
    }
    return;
  }
  LoadOutcome plain;
  try {
    TextFile file = TextFile::fromText("fuzz", decoded.text);
    plain.data = load(file, kBound);
  } catch (const InputError& refusal) {
    plain.refusal = refusal;
  }
  check(compressed.refusal.has_value() == plain.refusal.has_value(),
        "the compressed text is refused where the plain one is not, or the other way round");
  if (plain.refusal) {
    check(compressed.refusal->kind == plain.refusal->kind &&
              compressed.refusal->line == plain.refusal->line &&
              compressed.refusal->detail == plain.refusal->detail,
          "the compressed text is refused for another reason");
    return;
  }
  check(compressed.data.has_value() == plain.data.has_value(), "one load stopped at the bound");
  if (plain.data)
    check(sameData(*compressed.data, *plain.data), "the compressed text loads another data set");
}

}  // namespace
}  // namespace tessmark::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  using namespace tessmark::fuzz;
  const std::string_view input(reinterpret_cast<const char*>(bytes), size);
  const PlainDecode decoded = tessmark::testing::plainDecode(input, kMostText);
  if (decoded.tooLong) return -1;  // not worth keeping in the corpus
  checkText(input, decoded);
  checkReader(input, decoded, loadPlainBal, sameBalData);
  checkReader(input, decoded, loadLc, sameLcData);
  return 0;
}
