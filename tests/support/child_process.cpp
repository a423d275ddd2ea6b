#include "tests/support/child_process.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace tessmark::testing {

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

constexpr rlim_t kAddressSpaceLimit = rlim_t{4} << 30;

[[noreturn]] void fail(const std::string& what) {
  throw std::runtime_error(what + ": " + std::strerror(errno));
}

// An unlinked temporary file for one captured stream.
int captureFile() {
  std::FILE* file = std::tmpfile();
  if (file == nullptr) fail("tmpfile");
  const int fd = dup(fileno(file));
  std::fclose(file);
  if (fd < 0) fail("dup");
  return fd;
}

std::string readAll(int fd) {
  std::string text;
  if (lseek(fd, 0, SEEK_SET) < 0) fail("lseek");
  char buffer[1 << 14];
  for (;;) {
    const ssize_t count = read(fd, buffer, sizeof buffer);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) break;
    text.append(buffer, static_cast<std::size_t>(count));
  }
  return text;
}

// Reads up to `lines` lines from the pipe `fd` (fewer when it ends, or the deadline passes first),
// then closes it; returns them.
std::string readLinesThenClose(int fd, int lines, std::chrono::steady_clock::time_point deadline) {
  std::string text;
  int seen = 0;
  char byte = 0;
  while (seen < lines) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd ready{fd, POLLIN, 0};
    const int polled = poll(&ready, 1, static_cast<int>(left.count()));
    if (polled < 0 && errno == EINTR) continue;
    if (polled <= 0) break;
    const ssize_t count = read(fd, &byte, 1);  // one byte at a time: nothing past the last line
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) break;
    text += byte;
    seen += byte == '\n';
  }
  close(fd);
  return text;
}

}  // namespace

ChildResult runChild(const ChildRequest& request) {
  // Everything the child needs is prepared before fork: after it, only async-signal-safe calls.
  std::vector<std::string> argumentStore{request.program};
  argumentStore.insert(argumentStore.end(), request.arguments.begin(), request.arguments.end());
  std::vector<char*> argv;
  for (std::string& argument : argumentStore) argv.push_back(argument.data());
  argv.push_back(nullptr);

  std::vector<std::string> environmentStore;
  std::string sanitizerOptions =
      kSanitized ? "allocator_may_return_null=1:max_allocation_size=4294967296" : "";
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string_view variable = *entry;
    if (variable.starts_with("ASAN_OPTIONS=") && kSanitized) {
      sanitizerOptions = std::string(variable.substr(13)) + ":" + sanitizerOptions;
      continue;
    }
    environmentStore.emplace_back(variable);
  }
  if (kSanitized) environmentStore.push_back("ASAN_OPTIONS=" + sanitizerOptions);
  std::vector<char*> envp;
  for (std::string& variable : environmentStore) envp.push_back(variable.data());
  envp.push_back(nullptr);
  const std::string workingDir = request.workingDir.string();

  int input = -1;
  int inputWriter = -1;
  const bool closingReader = request.outputLinesBeforeClose.has_value();
  const auto writeInput = [&] {
    if (!request.input->empty() &&
        write(inputWriter, request.input->data(), request.input->size()) !=
            static_cast<ssize_t>(request.input->size())) {
      fail("write to the child's input");
    }
    close(inputWriter);
  };
  if (request.input) {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) fail("pipe");
    input = ends[0];
    inputWriter = ends[1];
    // The inputs are far smaller than a pipe's buffer: written in full before the child starts,
    // or, for a reader that closes early, once it has closed.
    if (request.input->size() > 4096)
      throw std::invalid_argument("child input too large for the pipe");
    if (!closingReader) writeInput();
  } else {
    input = open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (input < 0) fail("open /dev/null");
  }
  int outputReader = -1;
  int out = -1;
  if (closingReader) {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) fail("pipe");
    outputReader = ends[0];
    out = ends[1];
  } else {
    out = captureFile();
  }
  const int err = captureFile();

  const pid_t pid = fork();
  if (pid < 0) fail("fork");
  if (pid == 0) {
    if (!kSanitized) {
      const rlimit limit{kAddressSpaceLimit, kAddressSpaceLimit};
      setrlimit(RLIMIT_AS, &limit);
    }
    if (chdir(workingDir.c_str()) != 0 || dup2(input, STDIN_FILENO) < 0 ||
        dup2(out, STDOUT_FILENO) < 0 || dup2(err, STDERR_FILENO) < 0) {
      _exit(125);
    }
    execve(argv[0], argv.data(), envp.data());
    _exit(126);
  }
  close(input);

  ChildResult result;
  const auto deadline = std::chrono::steady_clock::now() + request.timeLimit;
  if (closingReader) {
    close(out);
    out = -1;
    result.out = readLinesThenClose(outputReader, *request.outputLinesBeforeClose, deadline);
    if (request.input) writeInput();
  }
  int waitStatus = 0;
  for (;;) {
    const pid_t done = waitpid(pid, &waitStatus, WNOHANG);
    if (done == pid) break;
    if (done < 0 && errno != EINTR) fail("waitpid");
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &waitStatus, 0);
      result.timedOut = true;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (!result.timedOut && WIFEXITED(waitStatus)) {
    result.exited = true;
    result.status = WEXITSTATUS(waitStatus);
  }
  if (!closingReader) {
    result.out = readAll(out);
    close(out);
  }
  result.err = readAll(err);
  close(err);
  if (!result.exited && !result.timedOut && WIFSIGNALED(waitStatus)) {
    result.err += "\n[child ended by signal " + std::to_string(WTERMSIG(waitStatus)) + "]";
  }
  return result;
}

TemporaryFolder::TemporaryFolder() {
  std::string pattern =
      (std::filesystem::temp_directory_path() / "tessmark-driver-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) fail("mkdtemp");
  path_ = pattern;
}

TemporaryFolder::~TemporaryFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string readFile(const std::filesystem::path& path) {
  std::ifstream stream(path, std::ios::binary);
  if (!stream) throw std::runtime_error("cannot read " + path.string());
  std::ostringstream text;
  text << stream.rdbuf();
  return text.str();
}

void writeFile(const std::filesystem::path& path, const std::string& text) {
  std::ofstream stream(path, std::ios::binary | std::ios::trunc);
  stream << text;
  if (!stream.flush()) throw std::runtime_error("cannot write " + path.string());
}

}  // namespace tessmark::testing
