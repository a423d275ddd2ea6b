#include "console/console.hpp"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cassert>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <ostream>
#include <string>
#include <string_view>

namespace tessmark {
namespace {

// The two streams that can carry colours, by index; their descriptors are kStreamFd[index].
enum StreamIndex { kStdout = 0, kStderr = 1, kStreamCount = 2 };
constexpr int kStreamFd[kStreamCount] = {STDOUT_FILENO, STDERR_FILENO};

// No attempt to open the controlling terminal made yet.
constexpr int kNotOpened = -2;

struct ConsoleState {
  ConsoleColors colors;
  bool enabled[kStreamCount] = {false, false};
  bool terminal[kStreamCount] = {false, false};  // the stream's descriptor is a terminal
  bool extendedPalette = false;                  // the terminal draws the 256-colour palette
  bool pauseEnabled = true;
  bool restoreAtExit = false;         // restoreConsole registered with atexit
  int keyboardTerminal = kNotOpened;  // /dev/tty for promptAtKeyboard: a descriptor, or -1
};

// ---- What an exit must put back -----------------------------------------------------------------
// Read by the signal handlers, so plain flags of sig_atomic_t; the buffers they guard are written
// before the flag is set.

// Whether a stream received a colour sequence since the last reset.
volatile std::sig_atomic_t colored[kStreamCount] = {0, 0};
// Whether setConsoleTitle pushed the terminal's title on its title stack.
volatile std::sig_atomic_t titlePushed = 0;
// Whether a key read holds the terminal in raw mode; savedTerminal then holds its modes.
volatile std::sig_atomic_t rawMode = 0;
termios savedTerminal;
termios rawTerminal;

constexpr char kColorReset[] = "\x1b[0m";
constexpr char kTitlePush[] = "\x1b[22;0t";
constexpr char kTitlePop[] = "\x1b[23;0t";

// Whether the terminal described by the environment draws the 256-colour palette: TERM names a
// 256-colour or direct-colour terminal, or COLORTERM is set (truecolor, 24bit).
bool terminalHasExtendedPalette() {
  const char* term = std::getenv("TERM");
  const char* colorTerm = std::getenv("COLORTERM");
  const std::string_view name = term != nullptr ? term : "";
  return (colorTerm != nullptr && colorTerm[0] != '\0') ||
         name.find("256color") != std::string_view::npos ||
         name.find("direct") != std::string_view::npos;
}

bool terminalWantsColors(int fd) {
  const char* noColor = std::getenv("NO_COLOR");
  const bool noColorSet = noColor != nullptr && noColor[0] != '\0';
  return !noColorSet && isatty(fd) == 1;
}

void resolveColorMode(ConsoleState& state, ColorMode mode) {
  for (int i = 0; i < kStreamCount; ++i) state.terminal[i] = isatty(kStreamFd[i]) == 1;
  state.extendedPalette = terminalHasExtendedPalette();
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

// The bright colours the programs highlight with on the terminal's own background, as entries of
// the 256-colour palette of a mid tone that reads on a dark and on a light background alike
// (contrast about 3:1 or more against white and against black): the bright variants (SGR 93, 96,
// 92) are near white and vanish on a light background. 0: no such entry.
int highlightEntry(Color color) {
  switch (color) {
    case Color::yellow:
      return 136;  // #af8700
    case Color::cyan:
      return 30;  // #008787
    case Color::green:
      return 28;  // #008700
    default:
      return 0;
  }
}

// The text part of an attribute, without the leading ESC [ and the trailing background.
std::string textCode(const ConsoleColors& colors, bool extendedPalette) {
  const int color = static_cast<int>(colors.currentText);
  assert(colors.currentText == kDefaultColor || isConsoleColor(color));
  if (!isConsoleColor(color)) return "39";
  // White on the terminal's own background is the way back to normal text: the terminal's own
  // colour, whatever its theme.
  if (colors.currentText == Color::white && colors.currentBackground == kDefaultColor) return "39";
  if (extendedPalette && colors.currentBackground == kDefaultColor &&
      highlightEntry(colors.currentText) != 0) {
    return "38;5;" + std::to_string(highlightEntry(colors.currentText));
  }
  return std::to_string(((color & 8) != 0 ? 90 : 30) + ansiHue(color));
}

int backgroundCode(Color background) {
  const int color = static_cast<int>(background);
  assert(background == kDefaultColor || isConsoleColor(color));
  if (!isConsoleColor(color)) return 49;
  return ((color & 8) != 0 ? 100 : 40) + ansiHue(color);
}

std::string attributeSequence(const ConsoleColors& colors, bool extendedPalette) {
  return "\x1b[" + textCode(colors, extendedPalette) + ";" +
         std::to_string(backgroundCode(colors.currentBackground)) + "m";
}

// ---- Signal handlers ----------------------------------------------------------------------------
// Async-signal-safe calls only: write, tcsetattr, tcgetpgrp, getpgrp, sigaction, sigprocmask,
// raise.

void writeRaw(int fd, const char* bytes, std::size_t size) {
  while (size > 0) {
    const ssize_t written = write(fd, bytes, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return;
    bytes += written;
    size -= static_cast<std::size_t>(written);
  }
}

void restoreModesFromHandler() {
  if (rawMode != 0) tcsetattr(STDIN_FILENO, TCSANOW, &savedTerminal);
}

// Everything an ending process must put back. Colour and title sequences go straight to the
// descriptors: a sequence cut short in a stream's buffer is cancelled by the ESC that starts these.
void restoreAllFromHandler() {
  restoreModesFromHandler();
  for (int i = 0; i < kStreamCount; ++i) {
    if (colored[i] != 0) writeRaw(kStreamFd[i], kColorReset, sizeof kColorReset - 1);
  }
  if (titlePushed != 0) writeRaw(STDOUT_FILENO, kTitlePop, sizeof kTitlePop - 1);
}

constexpr int kExitSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
constexpr int kExitSignalCount = sizeof kExitSignals / sizeof kExitSignals[0];
struct sigaction previousExitActions[kExitSignalCount];

void onExitSignal(int signal, siginfo_t* info, void* context) {
  const int savedErrno = errno;
  int index = 0;
  while (index < kExitSignalCount && kExitSignals[index] != signal) ++index;
  if (index == kExitSignalCount) return;
  const struct sigaction& previous = previousExitActions[index];
  if ((previous.sa_flags & SA_SIGINFO) == 0 && previous.sa_handler == SIG_DFL) {
    restoreAllFromHandler();
    // The signal is blocked while this handler runs; with the default disposition back it ends
    // the process as soon as the handler returns.
    sigaction(signal, &previous, nullptr);
    raise(signal);
  } else {
    restoreModesFromHandler();
    if ((previous.sa_flags & SA_SIGINFO) != 0) {
      previous.sa_sigaction(signal, info, context);
    } else {
      previous.sa_handler(signal);
    }
  }
  errno = savedErrno;
}

bool isOurs(const struct sigaction& action) {
  return (action.sa_flags & SA_SIGINFO) != 0 && action.sa_sigaction == onExitSignal;
}

// Installs the handler for every exit signal that has neither it nor SIG_IGN, keeping the
// disposition found as the previous course. Called at every change to the terminal, so a handler
// the program installed in between is chained rather than lost.
void ensureExitHandlers() {
  struct sigaction action = {};
  action.sa_sigaction = onExitSignal;
  sigemptyset(&action.sa_mask);
  for (int signal : kExitSignals) sigaddset(&action.sa_mask, signal);
  sigaddset(&action.sa_mask, SIGTSTP);
  sigaddset(&action.sa_mask, SIGCONT);
  action.sa_flags =
      SA_SIGINFO;  // no SA_RESTART: an interrupted read must come back to re-enter raw mode
  for (int i = 0; i < kExitSignalCount; ++i) {
    struct sigaction current = {};
    if (sigaction(kExitSignals[i], nullptr, &current) != 0) continue;
    if (isOurs(current)) continue;
    if ((current.sa_flags & SA_SIGINFO) == 0 && current.sa_handler == SIG_IGN) continue;
    // The previous course is recorded before the handler can run.
    sigset_t block;
    sigset_t old;
    sigemptyset(&block);
    sigaddset(&block, kExitSignals[i]);
    sigprocmask(SIG_BLOCK, &block, &old);
    if (sigaction(kExitSignals[i], &action, &current) == 0 && !isOurs(current)) {
      previousExitActions[i] = current;
    }
    sigprocmask(SIG_SETMASK, &old, nullptr);
  }
}

// ---- Stop and continue --------------------------------------------------------------------------
// Ctrl-Z gives the shell back a terminal as it was, whenever it comes: the modes (during a key
// read) and the colours are put back before the process stops, and fg brings back raw mode and the
// colours, so the text goes on in its colour and a key read still takes its key without echo and
// without Enter.

// The current attribute of each coloured stream whose descriptor is a terminal, rewritten at every
// colour change (its length is 0 while it is rewritten, and after a reset).
constexpr std::size_t kSequenceRoom = 32;
char resumeColors[kStreamCount][kSequenceRoom];
volatile std::sig_atomic_t resumeColorLength[kStreamCount] = {0, 0};

void keepForResume(int index, const std::string& sequence) {
  resumeColorLength[index] = 0;
  if (!consoleState().terminal[index] || sequence.size() >= kSequenceRoom) return;
  std::atomic_signal_fence(std::memory_order_seq_cst);
  std::memcpy(resumeColors[index], sequence.data(), sequence.size());
  std::atomic_signal_fence(std::memory_order_seq_cst);
  resumeColorLength[index] = static_cast<std::sig_atomic_t>(sequence.size());
}

void onStop(int) {
  const int savedErrno = errno;
  restoreModesFromHandler();
  for (int i = 0; i < kStreamCount; ++i) {
    if (resumeColorLength[i] > 0) writeRaw(kStreamFd[i], kColorReset, sizeof kColorReset - 1);
  }
  // Stop with the default action once this handler returns; SIGCONT puts the handler back.
  struct sigaction stop = {};
  stop.sa_handler = SIG_DFL;
  sigemptyset(&stop.sa_mask);
  sigaction(SIGTSTP, &stop, nullptr);
  raise(SIGTSTP);
  errno = savedErrno;
}

// SA_RESTART: a write or a wait that the stop interrupted goes on by itself (a key read's raw mode
// is put back by onContinue), so that no stream sees a failed write for it.
void installStopHandler() {
  struct sigaction action = {};
  action.sa_handler = onStop;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGTSTP, &action, nullptr);
}

void onContinue(int) {
  const int savedErrno = errno;
  installStopHandler();
  // Only in the foreground: in the background a read or a write to the terminal stops the process
  // again (SIGTTIN, SIGTTOU), and the next SIGCONT from fg comes back here.
  if (rawMode != 0 && tcgetpgrp(STDIN_FILENO) == getpgrp()) {
    tcsetattr(STDIN_FILENO, TCSANOW, &rawTerminal);
  }
  for (int i = 0; i < kStreamCount; ++i) {
    const auto length = static_cast<std::size_t>(resumeColorLength[i]);
    if (length > 0 && tcgetpgrp(kStreamFd[i]) == getpgrp()) {
      writeRaw(kStreamFd[i], resumeColors[i], length);
    }
  }
  errno = savedErrno;
}

// Takes over SIGTSTP and SIGCONT, once, when both have their default dispositions (a program with
// its own job control keeps it).
void ensureStopHandlers() {
  static bool tried = false;
  if (tried) return;
  tried = true;
  struct sigaction stop = {};
  struct sigaction resume = {};
  if (sigaction(SIGTSTP, nullptr, &stop) != 0 || sigaction(SIGCONT, nullptr, &resume) != 0) return;
  if (stop.sa_handler != SIG_DFL || (stop.sa_flags & SA_SIGINFO) != 0 ||
      resume.sa_handler != SIG_DFL || (resume.sa_flags & SA_SIGINFO) != 0) {
    return;
  }
  struct sigaction action = {};
  action.sa_handler = onContinue;
  sigemptyset(&action.sa_mask);
  sigaddset(&action.sa_mask, SIGTSTP);
  action.sa_flags = SA_RESTART;
  sigaction(SIGCONT, &action, nullptr);
  installStopHandler();
}

// The first change to the terminal: from here on, exits and stops put it back.
void noteTerminalChanged() {
  ConsoleState& state = consoleState();
  if (!state.restoreAtExit) {
    state.restoreAtExit = true;
    std::atexit(restoreConsole);
  }
  ensureExitHandlers();
  ensureStopHandlers();
}

// Writes the current attribute (text and background) to the stream when its colours are enabled.
// Unformatted output, so a pending field width stays for the text that follows.
void writeAttribute(std::ostream& stream) {
  ConsoleState& state = consoleState();
  const int index = streamIndex(stream);
  if (index < 0 || !state.enabled[index]) return;
  if (colored[index] == 0) noteTerminalChanged();
  const std::string sequence = attributeSequence(state.colors, state.extendedPalette);
  stream.write(sequence.data(), static_cast<std::streamsize>(sequence.size()));
  colored[index] = 1;
  keepForResume(index, sequence);
}

// ---- Raw keyboard -------------------------------------------------------------------------------

int readPlainByte() {
  unsigned char byte = 0;
  for (;;) {
    const ssize_t count = read(STDIN_FILENO, &byte, 1);
    if (count == 1) return byte;
    if (count < 0 && errno == EINTR) continue;
    return -1;
  }
}

// The next byte of the keystroke under way, if one arrives within the keystroke gap; -1 otherwise.
int followingByte() {
  pollfd input{STDIN_FILENO, POLLIN, 0};
  for (;;) {
    const int ready = poll(&input, 1, kKeystrokeGapMilliseconds);
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0 || (input.revents & POLLIN) == 0) return -1;
    unsigned char byte = 0;
    const ssize_t count = read(STDIN_FILENO, &byte, 1);
    if (count == 1) return byte;
    if (count < 0 && errno == EINTR) continue;
    return -1;
  }
}

// Reads and drops what else the keystroke that began with `first` sends.
void discardRestOfKeystroke(unsigned char first) {
  constexpr unsigned char kEscape = 0x1b;
  constexpr int kLongestParameters = 32;
  if (first == kEscape) {
    const int second = followingByte();
    if (second == '[') {
      // CSI: parameter bytes 0x30-0x3F and intermediate bytes 0x20-0x2F up to one final byte
      // 0x40-0x7E; the Linux console sends ESC [ [ and one letter for F1-F5.
      int next = followingByte();
      if (next == '[') {
        followingByte();
        return;
      }
      for (int count = 0; next >= 0x20 && next <= 0x3f && count < kLongestParameters; ++count) {
        next = followingByte();
      }
    } else if (second == 'O') {
      followingByte();  // SS3 and its one final byte
    } else if (second == kEscape) {
      discardRestOfKeystroke(kEscape);  // Alt with a key that sends a sequence of its own
    }
    // ESC and any other byte: Alt with that key.
    return;
  }
  // A UTF-8 lead byte announces one to three continuation bytes.
  const int continuations = first >= 0xf0 && first <= 0xf4   ? 3
                            : first >= 0xe0 && first <= 0xef ? 2
                            : first >= 0xc2 && first <= 0xdf ? 1
                                                             : 0;
  for (int i = 0; i < continuations; ++i) {
    const int next = followingByte();
    if (next < 0x80 || next > 0xbf) return;
  }
}

// One keystroke from the terminal with ICANON and ECHO off (ISIG kept, so Ctrl-C still interrupts).
// A signal whose course lets the process live interrupts the read: the terminal is then already
// restored, and the wait starts over in raw mode.
int readTerminalByte() {
  termios original{};
  if (tcgetattr(STDIN_FILENO, &original) != 0) return readPlainByte();
  termios raw = original;
  raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  savedTerminal = original;
  rawTerminal = raw;
  noteTerminalChanged();
  int key = -1;
  for (;;) {
    ensureExitHandlers();
    rawMode = 1;
    if (tcsetattr(STDIN_FILENO, TCSANOW, &raw) != 0) {
      rawMode = 0;
      return readPlainByte();
    }
    unsigned char byte = 0;
    const ssize_t count = read(STDIN_FILENO, &byte, 1);
    const int readErrno = errno;
    if (count == 1) {
      key = byte;
      discardRestOfKeystroke(byte);
    }
    tcsetattr(STDIN_FILENO, TCSANOW, &original);
    rawMode = 0;
    if (count == 1 || !(count < 0 && readErrno == EINTR)) return key;
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

void setColors(Color text, Color background) {
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
    if (colored[i] == 0) continue;
    streams[i]->write(kColorReset, sizeof kColorReset - 1);
    streams[i]->flush();
    colored[i] = 0;
    resumeColorLength[i] = 0;
  }
}

void restoreConsole() {
  resetConsoleColors();
  if (titlePushed != 0) {
    std::cout.write(kTitlePop, sizeof kTitlePop - 1);
    std::cout.flush();
    titlePushed = 0;
  }
}

void setConsoleTitle(const std::string& title) {
  if (isatty(STDOUT_FILENO) != 1) return;
  noteTerminalChanged();
  // Control characters would end the sequence early or start another one; they are dropped.
  std::string sequence = titlePushed != 0 ? "" : kTitlePush;
  sequence += "\x1b]0;";
  for (char c : title) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte != 0x7f) sequence += c;
  }
  sequence += '\x07';
  std::cout.write(sequence.data(), static_cast<std::streamsize>(sequence.size()));
  std::cout.flush();
  titlePushed = 1;
}

int readKey() {
  std::cout.flush();
  if (isatty(STDIN_FILENO) == 1) return readTerminalByte();
  return readPlainByte();
}

void promptAtKeyboard(std::string_view prompt) {
  ConsoleState& state = consoleState();
  if (isatty(STDIN_FILENO) != 1 || isatty(STDOUT_FILENO) == 1) return;
  if (isatty(STDERR_FILENO) == 1) {
    std::cerr.flush();
    // In the colour of the text around it, not in what an error message left on the stream.
    if (colored[kStderr] != 0) writeAttribute(std::cerr);
    std::cerr.write(prompt.data(), static_cast<std::streamsize>(prompt.size()));
    std::cerr.flush();
    return;
  }
  if (state.keyboardTerminal == kNotOpened) {
    state.keyboardTerminal = ::open("/dev/tty", O_WRONLY | O_NOCTTY | O_CLOEXEC);
  }
  if (state.keyboardTerminal >= 0) writeRaw(state.keyboardTerminal, prompt.data(), prompt.size());
}

void pause() {
  if (!consoleState().pauseEnabled || isatty(STDIN_FILENO) != 1) return;
  constexpr std::string_view kPrompt = "Press any key to continue . . .";
  std::cout << kPrompt << std::flush;
  promptAtKeyboard(kPrompt);
  readKey();
  std::cout << std::endl;
  promptAtKeyboard("\n");
}

void setPauseEnabled(bool enabled) { consoleState().pauseEnabled = enabled; }

}  // namespace tessmark
