#pragma once
// What the fuzz targets share: a data set loaded from bytes in memory by the data-set layer's
// loader (header, counts, records, indexing or visibility, camera pretreatment or decomposition),
// the gathering of every point, and a check that stops the process with a message when an invariant
// breaks. The loaders are the programs' own (dataset/data_set.hpp), without an observer.

#include <climits>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dataset/data_set.hpp"
#include "input/input_error.hpp"
#include "input/text_file.hpp"

namespace tessmark::fuzz {

// The largest data set a target explores. A loader returns nothing for a file whose counts (read
// from its count lines, before any record) or whose largest view count (after indexing) exceed
// it, so that a target spends its time on the content of small problems rather than on their size.
struct CountBound {
  int cameras = INT_MAX;
  int points = INT_MAX;
  int observations = INT_MAX;  // BAL observation lines
  int views = INT_MAX;         // views of one point
};

// The data set of `format` in `file`, or none beyond the bound. Throws InputError as the readers
// do.
std::optional<DataSet> loadBounded(TextFile& file, DataFormat format, const CountBound& bound = {});
// vorlant's file, a standard BAL file (header-ID line optional: vorlant --plain-bal), sennic's
// file.
inline std::optional<DataSet> loadBal(TextFile& file, const CountBound& bound = {}) {
  return loadBounded(file, DataFormat::bal, bound);
}
inline std::optional<DataSet> loadPlainBal(TextFile& file, const CountBound& bound = {}) {
  return loadBounded(file, DataFormat::plainBal, bound);
}
inline std::optional<DataSet> loadLc(TextFile& file, const CountBound& bound = {}) {
  return loadBounded(file, DataFormat::lc, bound);
}

// Whether two loads of the same text gave the same data set, to the bit: the records and what
// indexing (BAL) or the visibility (.lc) made of them; the tables follow from those.
bool sameBalData(const DataSet& a, const DataSet& b);
bool sameLcData(const DataSet& a, const DataSet& b);

// Locates and gathers every point through the data's point source, checking that each point's view
// count is the one indexing gave it and fits the workspace, and that its problem has that many
// views. Returns the sum of the view counts.
long long gatherEveryPoint(const DataSet& data);

// A file that hands out `text` a few bytes at a time (1 to 7, in turn) and whose length is unknown,
// as a pipe's is: the streaming path and the record room of unknown length, which a text of known
// length never takes.
TextFile trickledFile(std::string_view text);

// What a reader made of one input: the prepared data set, or the refusal.
struct LoadOutcome {
  std::optional<DataSet> data;
  std::optional<InputError> refusal;
};

// The reader target's one step, for a loader of either format (loadBal or loadLc): loads `text`
// from memory and again trickled (trickledFile), checks that a refusal names a line and says what
// was expected there ("expected ..."), that a loaded data set keeps the promises `checkData`
// checks, and that both ways give the same refusal or, as `sameData` judges, the same data set.
// Gathers every point of a loaded data set.
template <typename Load, typename CheckData, typename SameData>
void fuzzReader(std::string_view text, Load load, CheckData checkData, SameData sameData);

// Equality to the bit, so that -0 differs from 0 (the readers never store a NaN).
template <typename T>
bool sameVector(const std::vector<T>& a, const std::vector<T>& b) {
  return a.size() == b.size() &&
         (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(T)) == 0);
}
template <typename Matrix>
bool sameMatrix(const Matrix& a, const Matrix& b) {
  return a.rows() == b.rows() && a.cols() == b.cols() &&
         (a.size() == 0 || std::memcmp(a.data(), b.data(),
                                       static_cast<std::size_t>(a.size()) * sizeof(double)) == 0);
}

// Stops the process (abort, so libFuzzer keeps the input) with `what` on the error stream unless
// `condition` holds.
void check(bool condition, const char* what);

// Checks a refusal: a malformed input or a wrong header (never a read error: the bytes are in
// memory), on a line from 1 on, with a detail of the form "expected ...".
void checkRefusal(const InputError& refusal);

template <typename Load>
LoadOutcome loadOutcome(TextFile file, Load load) {
  try {
    return {load(file), std::nullopt};
  } catch (const InputError& refusal) {
    checkRefusal(refusal);
    return {std::nullopt, refusal};
  }
}

template <typename Load, typename CheckData, typename SameData>
void fuzzReader(std::string_view text, Load load, CheckData checkData, SameData sameData) {
  const auto loadAndCheck = [&](TextFile& file) {
    std::optional<DataSet> data = load(file, CountBound{});
    if (data) checkData(*data);
    return data;
  };
  const LoadOutcome whole =
      loadOutcome(TextFile::fromText("fuzz", std::string(text)), loadAndCheck);
  const LoadOutcome trickled = loadOutcome(trickledFile(text), loadAndCheck);
  check(whole.refusal.has_value() == trickled.refusal.has_value(),
        "a trickled input is refused where the whole one is not, or the other way round");
  if (whole.refusal) {
    check(whole.refusal->kind == trickled.refusal->kind &&
              whole.refusal->line == trickled.refusal->line &&
              whole.refusal->detail == trickled.refusal->detail,
          "a trickled input is refused for another reason");
    return;
  }
  check(sameData(*whole.data, *trickled.data), "a trickled input loads another data set");
  gatherEveryPoint(*whole.data);
}

}  // namespace tessmark::fuzz
