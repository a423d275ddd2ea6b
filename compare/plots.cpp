#include "compare/plots.hpp"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

extern char** environ;

namespace tessmark {

namespace {

// A child's end: its exit status, or -1 when it could not be started or was ended by a signal.
int waitFor(pid_t child) {
  int status = 0;
  while (waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Starts `arguments` (searched on the PATH) with standard input from `input` (a descriptor, or -1
// for /dev/null); with `quiet` its standard output and error go to /dev/null. Returns the child's
// id, or -1.
pid_t start(const std::vector<std::string>& arguments, int input, bool quiet) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (input >= 0) {
    posix_spawn_file_actions_adddup2(&actions, input, STDIN_FILENO);
  } else {
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  }
  if (quiet) {
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  }
  std::vector<char*> argv;
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  pid_t child = -1;
  const int failed = posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  return failed == 0 ? child : -1;
}

bool importsMatplotlib(const std::string& python) {
  const pid_t child = start({python, "-c", "import matplotlib"}, -1, true);
  return child > 0 && waitFor(child) == 0;
}

}  // namespace

std::string scriptFolderArgument(const std::string& folder) {
  return folder.starts_with("-") ? "./" + folder : folder;
}

std::string findPlottingPython() {
  if (const char* chosen = std::getenv("TESSMARK_PYTHON"); chosen != nullptr) {
    return *chosen != '\0' && importsMatplotlib(chosen) ? chosen : "";
  }
  for (const char* candidate : {"python3", "/usr/bin/python3"}) {
    if (importsMatplotlib(candidate)) return candidate;
  }
  return "";
}

std::string plotFilesText(const std::string& folder) {
  const auto inFolder = [&folder](const char* name) {
    return (std::filesystem::path(folder) / name).string();
  };
  return inFolder("cost_profile") + ", " + inFolder("time_profile") + " and " + inFolder("loops") +
         " (.png, .pdf, .svg)";
}

std::string drawPlots(const std::string& python, const std::string& folder,
                      const std::string& title) {
  int pipeEnds[2];
  if (pipe2(pipeEnds, O_CLOEXEC) != 0) return std::string("no pipe: ") + std::strerror(errno);
  const pid_t child = start({python, "-", "--title=" + title, "--", folder}, pipeEnds[0], false);
  ::close(pipeEnds[0]);
  if (child < 0) {
    ::close(pipeEnds[1]);
    return python + " could not be started";
  }
  // The script goes in through the pipe; a child that stops reading early ends the writes.
  const sighandler_t previous = signal(SIGPIPE, SIG_IGN);
  std::size_t written = 0;
  while (written < kPlotScript.size()) {
    const ssize_t got =
        ::write(pipeEnds[1], kPlotScript.data() + written, kPlotScript.size() - written);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    written += static_cast<std::size_t>(got);
  }
  ::close(pipeEnds[1]);
  signal(SIGPIPE, previous);
  const int status = waitFor(child);
  if (status != 0) {
    return python + " ended with status " + std::to_string(status) + " while drawing";
  }
  return "";
}

}  // namespace tessmark
