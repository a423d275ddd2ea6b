#pragma once
// Runs a built program as a child process the way a script would: in a given folder, standard input
// from a pipe (or /dev/null), never a terminal, standard output and error captured, with a time
// limit after which the child is killed.

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tessmark::testing {

struct ChildRequest {
  std::string program;
  std::vector<std::string> arguments;
  std::filesystem::path workingDir;
  // Bytes on standard input (a pipe, closed after them); none: standard input is /dev/null.
  std::optional<std::string> input = std::nullopt;
  std::chrono::seconds timeLimit{60};
  // When set: standard output is a pipe whose reader takes this many lines (fewer when the output
  // ends first) and then closes it, as `| head -n N` does; ChildResult::out holds those lines. The
  // bytes of `input` are written only after the close, so a program that waits for a key has
  // written what comes before the key read, and no more, when its reader goes.
  std::optional<int> outputLinesBeforeClose = std::nullopt;
};

struct ChildResult {
  bool exited = false;    // ended by exit (not by a signal, not killed at the time limit)
  int status = -1;        // the exit status as the shell sees it (0..255)
  bool timedOut = false;  // killed at the time limit
  std::string out, err;
};

// Allocations larger than a few GiB fail in the child (an address-space limit; for sanitizer builds
// the allocator's own limit), so a program that trusts a huge count cannot exhaust the machine.
ChildResult runChild(const ChildRequest& request);

// A fresh, empty temporary folder, removed with everything in it when the object goes.
class TemporaryFolder {
 public:
  TemporaryFolder();
  ~TemporaryFolder();
  TemporaryFolder(const TemporaryFolder&) = delete;
  TemporaryFolder& operator=(const TemporaryFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

std::string readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, const std::string& text);

}  // namespace tessmark::testing
