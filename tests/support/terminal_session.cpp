#include "tests/support/terminal_session.hpp"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>

namespace tessmark::testing {

namespace {

constexpr std::chrono::seconds kTimeLimit{30};

// What the stand-in shell reports: the child's pid once, then stops and the end.
struct Event {
  char kind;  // 'P' pid, 'S' stopped, 'E' ended (value: the wait status)
  int value;
};

void writeEvent(int fd, char kind, int value) {
  const Event event{kind, value};
  [[maybe_unused]] const ssize_t written = write(fd, &event, sizeof event);
}

bool sameModes(const termios& a, const termios& b) {
  return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
         a.c_lflag == b.c_lflag && std::memcmp(a.c_cc, b.c_cc, sizeof a.c_cc) == 0;
}

}  // namespace

TerminalSession::TerminalSession(const std::function<int()>& body) {
  start([&body] {
    const int status = body();
    _exit(status & 0xff);
  });
}

TerminalSession::TerminalSession(const std::string& program,
                                 const std::vector<std::string>& arguments,
                                 const std::filesystem::path& workingDir,
                                 const std::vector<std::string>& environment) {
  // Everything the child needs is prepared before fork.
  std::vector<std::string> argumentStore{program};
  argumentStore.insert(argumentStore.end(), arguments.begin(), arguments.end());
  std::vector<std::string> environmentStore = environment;
  std::vector<char*> argv;
  for (std::string& argument : argumentStore) argv.push_back(argument.data());
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (std::string& variable : environmentStore) envp.push_back(variable.data());
  envp.push_back(nullptr);
  const std::string folder = workingDir.string();
  start([&] {
    if (chdir(folder.c_str()) != 0) _exit(125);
    execve(argv[0], argv.data(), envp.data());
    _exit(126);
  });
}

void TerminalSession::start(const std::function<void()>& runChild) {
  deadline_ = std::chrono::steady_clock::now() + kTimeLimit;
  if (openpty(&master_, &slave_, nullptr, nullptr, nullptr) != 0) return;
  fcntl(master_, F_SETFD, FD_CLOEXEC);
  fcntl(slave_, F_SETFD, FD_CLOEXEC);
  tcgetattr(slave_, &initialModes_);
  int events[2];
  int commands[2];
  if (pipe2(events, O_CLOEXEC) != 0 || pipe2(commands, O_CLOEXEC) != 0) return;
  events_ = events[0];
  commands_ = commands[1];

  std::cout.flush();
  std::fflush(stdout);
  std::fflush(stderr);
  shell_ = fork();
  if (shell_ == 0) {
    // The stand-in shell: leads a new session whose controlling terminal is the pseudo-terminal.
    close(events[0]);
    close(commands[1]);
    close(master_);
    if (setsid() < 0 || ioctl(slave_, TIOCSCTTY, 0) != 0) _exit(120);
    int go[2];
    if (pipe(go) != 0) _exit(121);
    const pid_t child = fork();
    if (child == 0) {
      close(go[1]);
      setpgid(0, 0);
      char byte = 0;
      if (read(go[0], &byte, 1) != 1) _exit(122);  // until the shell made this group foreground
      close(go[0]);
      if (dup2(slave_, STDIN_FILENO) < 0 || dup2(slave_, STDOUT_FILENO) < 0 ||
          dup2(slave_, STDERR_FILENO) < 0) {
        _exit(123);
      }
      runChild();
      _exit(124);
    }
    close(go[0]);
    signal(SIGTTOU, SIG_IGN);  // the shell takes the terminal back from the background
    setpgid(child, child);
    tcsetpgrp(slave_, child);
    writeEvent(events[1], 'P', child);
    [[maybe_unused]] const ssize_t written = write(go[1], "g", 1);
    close(go[1]);
    for (;;) {
      int status = 0;
      if (waitpid(child, &status, WUNTRACED) != child) _exit(0);
      if (WIFSTOPPED(status)) {
        tcsetpgrp(slave_, getpgrp());
        writeEvent(events[1], 'S', WSTOPSIG(status));
        char command = 0;
        if (read(commands[0], &command, 1) != 1) {
          kill(child, SIGKILL);
          _exit(0);
        }
        tcsetpgrp(slave_, child);
        kill(-child, SIGCONT);
        continue;
      }
      writeEvent(events[1], 'E', status);
      _exit(0);
    }
  }
  close(events[1]);
  close(commands[0]);
  if (shell_ < 0) return;
  waitUntil([this] { return child_ > 0 || exited_; });
}

TerminalSession::~TerminalSession() {
  if (child_ > 0 && !exited_) kill(child_, SIGKILL);
  if (shell_ > 0) {
    if (commands_ >= 0) close(commands_);
    commands_ = -1;
    int status = 0;
    waitpid(shell_, &status, 0);
  }
  for (int fd : {master_, slave_, events_, commands_}) {
    if (fd >= 0) close(fd);
  }
}

termios TerminalSession::modes() const {
  termios now{};
  tcgetattr(slave_, &now);
  return now;
}

bool TerminalSession::modesAsAtStart() const { return sameModes(modes(), initialModes_); }

void TerminalSession::readEvents() {
  Event event{};
  if (read(events_, &event, sizeof event) != static_cast<ssize_t>(sizeof event)) {
    close(events_);  // the stand-in shell has gone
    events_ = -1;
    return;
  }
  if (event.kind == 'P') child_ = event.value;
  if (event.kind == 'S') stopped_ = true;
  if (event.kind == 'E') {
    exited_ = true;
    exitStatus_ = event.value;
  }
}

bool TerminalSession::waitUntil(const std::function<bool()>& done) {
  if (master_ < 0) return false;
  while (!done()) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline_ - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd fds[2] = {{master_, POLLIN, 0}, {events_, POLLIN, 0}};
    // Short polls: a change of the terminal's modes is no event.
    const nfds_t count = events_ >= 0 ? 2 : 1;
    if (poll(fds, count, static_cast<int>(std::min<long long>(left.count(), 10))) < 0) continue;
    if ((fds[0].revents & POLLIN) != 0) {
      char buffer[4096];
      const ssize_t got = read(master_, buffer, sizeof buffer);
      if (got > 0) output_.append(buffer, static_cast<std::size_t>(got));
    }
    if (count == 2 && (fds[1].revents & (POLLIN | POLLHUP)) != 0) readEvents();
  }
  return true;
}

std::size_t TerminalSession::waitForOutput(std::string_view text, std::size_t from) {
  std::size_t found = std::string::npos;
  const auto find = [&] {
    if (from <= output_.size()) found = output_.find(text, from);
    return found != std::string::npos;
  };
  waitUntil([&] { return find() || exited_; });
  if (found == std::string::npos && exited_) {
    drainOutput();
    find();
  }
  return found == std::string::npos ? found : found + text.size();
}

bool TerminalSession::waitForRawMode() {
  const auto raw = [this] { return (modes().c_lflag & ICANON) == 0; };
  waitUntil([&] { return raw() || exited_; });
  return raw();
}

void TerminalSession::type(std::string_view bytes) {
  [[maybe_unused]] const ssize_t written = write(master_, bytes.data(), bytes.size());
}

void TerminalSession::sendSignal(int signal) {
  if (child_ > 0) kill(child_, signal);
}

bool TerminalSession::waitForStop() {
  const bool stopped = waitUntil([this] { return stopped_ || exited_; }) && stopped_;
  stopped_ = false;
  return stopped;
}

void TerminalSession::continueInForeground() {
  [[maybe_unused]] const ssize_t written = write(commands_, "c", 1);
}

int TerminalSession::waitForExit() {
  if (!waitUntil([this] { return exited_; })) {
    if (child_ > 0) kill(child_, SIGKILL);
    return -1;
  }
  drainOutput();
  return exitStatus_;
}

void TerminalSession::drainOutput() {
  for (;;) {
    pollfd fd{master_, POLLIN, 0};
    if (poll(&fd, 1, 50) <= 0) break;
    char buffer[4096];
    const ssize_t count = read(master_, buffer, sizeof buffer);
    if (count <= 0) break;
    output_.append(buffer, static_cast<std::size_t>(count));
  }
}

std::string TerminalSession::unreadInput() {
  const termios now = modes();
  termios peek = now;
  peek.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
  peek.c_cc[VMIN] = 0;
  peek.c_cc[VTIME] = 0;
  tcsetattr(slave_, TCSANOW, &peek);
  std::string unread;
  char buffer[256];
  ssize_t count = 0;
  while ((count = read(slave_, buffer, sizeof buffer)) > 0) {
    unread.append(buffer, static_cast<std::size_t>(count));
  }
  tcsetattr(slave_, TCSANOW, &now);
  return unread;
}

std::string describeWaitStatus(int status) {
  if (status < 0) return "did not end in time";
  if (WIFEXITED(status)) return "exited with " + std::to_string(WEXITSTATUS(status));
  if (WIFSIGNALED(status)) return std::string("ended by ") + strsignal(WTERMSIG(status));
  return "status " + std::to_string(status);
}

}  // namespace tessmark::testing
