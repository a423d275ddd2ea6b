#include "console/console.hpp"

#include <termios.h>
#include <unistd.h>

#include <cassert>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <ostream>
#include <string>

namespace tessmark {
namespace {

// The two streams that can carry colours, by index.
enum StreamIndex { kStdout = 0, kStderr = 1, kStreamCount = 2 };

struct ConsoleState {
  ConsoleColors colors;
  bool enabled[kStreamCount] = {false, false};
  // Whether a stream received a colour sequence since the last reset.
  bool colored[kStreamCount] = {false, false};
  bool pauseEnabled = true;
};

bool terminalWantsColors(int fd) {
  const char* noColor = std::getenv("NO_COLOR");
  const bool noColorSet = noColor != nullptr && noColor[0] != '\0';
  return !noColorSet && isatty(fd) == 1;
}

void resolveColorMode(ConsoleState& state, ColorMode mode) {
  switch (mode) {
    case ColorMode::always:
      state.enabled[kStdout] = state.enabled[kStderr] = true;
      break;
    case ColorMode::never:
      state.enabled[kStdout] = state.enabled[kStderr] = false;
      break;
    case ColorMode::automatic:
      state.enabled[kStdout] = terminalWantsColors(STDOUT_FILENO);
      state.enabled[kStderr] = terminalWantsColors(STDERR_FILENO);
      break;
  }
}

// Programs that never call setupConsole() behave as with ColorMode::automatic.
ConsoleState& consoleState() {
  static ConsoleState state = [] {
    ConsoleState initial;
    resolveColorMode(initial, ColorMode::automatic);
    return initial;
  }();
  return state;
}

int streamIndex(const std::ostream& stream) {
  if (&stream == &std::cout) return kStdout;
  if (&stream == &std::cerr) return kStderr;
  return -1;
}

bool isConsoleColor(int color) { return color >= 0 && color <= 15; }

// Console colour bits are blue, green, red; ANSI colour numbers are red, green, blue.
int ansiHue(int color) { return ((color & 1) << 2) | (color & 2) | ((color & 4) >> 2); }

int textCode(int color) {
  assert(color == kDefaultColor || isConsoleColor(color));
  if (!isConsoleColor(color)) return 39;
  return ((color & 8) != 0 ? 90 : 30) + ansiHue(color);
}

int backgroundCode(int color) {
  assert(color == kDefaultColor || isConsoleColor(color));
  if (!isConsoleColor(color)) return 49;
  return ((color & 8) != 0 ? 100 : 40) + ansiHue(color);
}

// Writes the current attribute (text and background) to the stream when its colours are enabled.
// Unformatted output, so a pending field width stays for the text that follows.
void writeAttribute(std::ostream& stream) {
  ConsoleState& state = consoleState();
  const int index = streamIndex(stream);
  if (index < 0 || !state.enabled[index]) return;
  const std::string sequence = "\x1b[" + std::to_string(textCode(state.colors.currentText)) + ";" +
                               std::to_string(backgroundCode(state.colors.currentBackground)) + "m";
  stream.write(sequence.data(), static_cast<std::streamsize>(sequence.size()));
  state.colored[index] = true;
}

// ---- Raw keyboard ------------------------------------------------------------------------------
// While a key is awaited in raw mode, these signals first put the terminal back and then take
// their previous course (re-raised with the previous disposition restored).

constexpr int kRestoringSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
constexpr int kRestoringSignalCount = sizeof(kRestoringSignals) / sizeof(kRestoringSignals[0]);

// Written before the handlers are installed, read by them.
termios savedTerminal;
struct sigaction previousActions[kRestoringSignalCount];
bool handlerInstalled[kRestoringSignalCount];

void restoreTerminalAndReraise(int signal) {
  const int savedErrno = errno;
  tcsetattr(STDIN_FILENO, TCSANOW, &savedTerminal);
  for (int i = 0; i < kRestoringSignalCount; ++i) {
    if (kRestoringSignals[i] == signal) sigaction(signal, &previousActions[i], nullptr);
  }
  // The signal is blocked while this handler runs; it is delivered with the previous disposition
  // as soon as the handler returns.
  raise(signal);
  errno = savedErrno;
}

void installRestoringHandlers() {
  struct sigaction action = {};
  action.sa_handler = restoreTerminalAndReraise;
  sigemptyset(&action.sa_mask);
  for (int signal : kRestoringSignals) sigaddset(&action.sa_mask, signal);
  action.sa_flags = 0;  // no SA_RESTART: an interrupted read must come back to re-enter raw mode
  for (int i = 0; i < kRestoringSignalCount; ++i) {
    handlerInstalled[i] = false;
    if (sigaction(kRestoringSignals[i], nullptr, &previousActions[i]) != 0) continue;
    if (previousActions[i].sa_handler == SIG_IGN) continue;  // cannot end the process
    handlerInstalled[i] = sigaction(kRestoringSignals[i], &action, nullptr) == 0;
  }
}

void removeRestoringHandlers() {
  for (int i = 0; i < kRestoringSignalCount; ++i) {
    if (handlerInstalled[i]) sigaction(kRestoringSignals[i], &previousActions[i], nullptr);
    handlerInstalled[i] = false;
  }
}

int readPlainByte() {
  unsigned char byte = 0;
  for (;;) {
    const ssize_t count = read(STDIN_FILENO, &byte, 1);
    if (count == 1) return byte;
    if (count < 0 && errno == EINTR) continue;
    return -1;
  }
}

// One byte from the terminal with ICANON and ECHO off (ISIG kept, so Ctrl-C still interrupts).
// A signal whose handler lets the process live interrupts the read: the terminal is then already
// restored, and the wait starts over in raw mode.
int readTerminalByte() {
  if (tcgetattr(STDIN_FILENO, &savedTerminal) != 0) return readPlainByte();
  termios raw = savedTerminal;
  raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  for (;;) {
    installRestoringHandlers();
    if (tcsetattr(STDIN_FILENO, TCSANOW, &raw) != 0) {
      removeRestoringHandlers();
      return readPlainByte();
    }
    unsigned char byte = 0;
    const ssize_t count = read(STDIN_FILENO, &byte, 1);
    const int readErrno = errno;
    tcsetattr(STDIN_FILENO, TCSANOW, &savedTerminal);
    removeRestoringHandlers();
    if (count == 1) return byte;
    if (count < 0 && readErrno == EINTR) continue;
    return -1;
  }
}

}  // namespace

void setupConsole(ColorMode mode) {
  ConsoleState& state = consoleState();
  resolveColorMode(state, mode);
  state.colors = ConsoleColors{};
}

const ConsoleColors& consoleColors() { return consoleState().colors; }

bool colorsEnabled(const std::ostream& stream) {
  const int index = streamIndex(stream);
  return index >= 0 && consoleState().enabled[index];
}

std::ostream& operator<<(std::ostream& stream, TextColor textColor) {
  stream.flush();
  consoleState().colors.currentText = textColor.color;
  writeAttribute(stream);
  return stream;
}

void setColors(int text, int background) {
  std::cout.flush();
  ConsoleColors& colors = consoleState().colors;
  colors.currentText = text;
  colors.currentBackground = background;
  writeAttribute(std::cout);
}

void resetConsoleColors() {
  ConsoleState& state = consoleState();
  state.colors.currentText = state.colors.defaultText;
  state.colors.currentBackground = state.colors.defaultBackground;
  std::ostream* streams[kStreamCount] = {&std::cout, &std::cerr};
  for (int i = 0; i < kStreamCount; ++i) {
    if (!state.colored[i]) continue;
    streams[i]->write("\x1b[0m", 4);
    streams[i]->flush();
    state.colored[i] = false;
  }
}

void setConsoleTitle(const std::string& title) {
  if (isatty(STDOUT_FILENO) != 1) return;
  // Control characters would end the sequence early or start another one; they are dropped.
  std::string sequence = "\x1b]0;";
  for (char c : title) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte != 0x7f) sequence += c;
  }
  sequence += '\x07';
  std::cout.write(sequence.data(), static_cast<std::streamsize>(sequence.size()));
  std::cout.flush();
}

int readKey() {
  std::cout.flush();
  if (isatty(STDIN_FILENO) == 1) return readTerminalByte();
  return readPlainByte();
}

void pause() {
  if (!consoleState().pauseEnabled || isatty(STDIN_FILENO) != 1) return;
  std::cout << "Press any key to continue . . ." << std::flush;
  readKey();
  std::cout << std::endl;
}

void setPauseEnabled(bool enabled) { consoleState().pauseEnabled = enabled; }

}  // namespace tessmark
