#pragma once
// A child process on a fresh pseudo-terminal, started the way an interactive shell starts a job:
// the terminal is its controlling terminal and its standard input, output and error, and the child
// runs in a process group of its own in the terminal's foreground. Its parent is a small
// job-control process in the same session standing in for the shell, so a typed Ctrl-C or Ctrl-Z
// reaches the child as it would from a shell, a stop is reported here, and continueInForeground()
// does what `fg` does. Every wait is bounded by the session's time limit; whatever is left is
// killed at the end.

#include <sys/types.h>
#include <termios.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tessmark::testing {

class TerminalSession {
 public:
  // Runs `body` in the child; its result is the child's exit status.
  explicit TerminalSession(const std::function<int()>& body);
  // Runs `program` with `arguments` in `workingDir` with exactly the variables of `environment`.
  TerminalSession(const std::string& program, const std::vector<std::string>& arguments,
                  const std::filesystem::path& workingDir,
                  const std::vector<std::string>& environment);
  ~TerminalSession();
  TerminalSession(const TerminalSession&) = delete;
  TerminalSession& operator=(const TerminalSession&) = delete;

  bool started() const { return child_ > 0; }
  pid_t child() const { return child_; }

  // The terminal's modes before the child started, and now.
  const termios& initialModes() const { return initialModes_; }
  termios modes() const;
  // Whether the modes now are those the child started with (flags and control characters).
  bool modesAsAtStart() const;

  // Everything the child wrote to the terminal so far.
  const std::string& output() const { return output_; }
  // Waits until the output holds `text` at or after byte `from`; the position just past it, or
  // std::string::npos when it did not come before the child ended or in time.
  std::size_t waitForOutput(std::string_view text, std::size_t from = 0);
  // Waits until the terminal is in raw mode (no canonical input): a key read is under way. False
  // when the child ended first or it did not come in time.
  bool waitForRawMode();

  // Types bytes on the keyboard.
  void type(std::string_view bytes);
  // Sends a signal to the child.
  void sendSignal(int signal);

  // Waits until the child is stopped (the stand-in shell then holds the terminal again).
  bool waitForStop();
  // What `fg` does: gives the terminal back to the child and continues it.
  void continueInForeground();
  // Waits for the end of the child and returns its wait status, or -1 when it did not end in time
  // (it is then killed).
  int waitForExit();

  // After the child ended: the bytes typed that nobody read, taken off the terminal.
  std::string unreadInput();

 private:
  void start(const std::function<void()>& runChild);
  // Reads the child's output and the shell's events until `done` holds or the time limit passes.
  bool waitUntil(const std::function<bool()>& done);
  void readEvents();
  // Reads what output is still on its way.
  void drainOutput();

  std::chrono::steady_clock::time_point deadline_;
  int master_ = -1;
  int slave_ = -1;
  int events_ = -1;    // from the stand-in shell
  int commands_ = -1;  // to the stand-in shell
  pid_t shell_ = -1;
  pid_t child_ = -1;
  termios initialModes_{};
  std::string output_;
  bool stopped_ = false;
  bool exited_ = false;
  int exitStatus_ = -1;
};

// A wait status as a test message: "exited with 3", "ended by Interrupt", "did not end in time"
// (-1).
std::string describeWaitStatus(int status);

}  // namespace tessmark::testing
