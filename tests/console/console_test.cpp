#include "console/console.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iomanip>
#include <iostream>
#include <iterator>
#include <optional>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include "tests/support/terminal_session.hpp"

namespace tessmark {
namespace {

// ---- Small POSIX fixtures -----------------------------------------------------------------------

void writeAll(int fd, const std::string& bytes) {
  ASSERT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
}

struct Pipe {
  int readEnd = -1;
  int writeEnd = -1;
  Pipe() {
    int fds[2];
    if (pipe(fds) == 0) {
      readEnd = fds[0];
      writeEnd = fds[1];
    }
  }
  ~Pipe() {
    closeRead();
    closeWrite();
  }
  void closeRead() {
    if (readEnd >= 0) close(readEnd);
    readEnd = -1;
  }
  void closeWrite() {
    if (writeEnd >= 0) close(writeEnd);
    writeEnd = -1;
  }
};

struct PseudoTerminal {
  int master = -1;
  int slave = -1;
  PseudoTerminal() { openpty(&master, &slave, nullptr, nullptr, nullptr); }
  ~PseudoTerminal() {
    close(master);
    close(slave);
  }
};

// Points a standard descriptor elsewhere for the lifetime of the object.
class ScopedDescriptor {
 public:
  ScopedDescriptor(int fd, int replacement) : fd_(fd), saved_(dup(fd)) { dup2(replacement, fd); }
  ~ScopedDescriptor() {
    dup2(saved_, fd_);
    close(saved_);
  }

 private:
  int fd_;
  int saved_;
};

class ScopedEnvironment {
 public:
  ScopedEnvironment(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) saved_ = old;
    if (value != nullptr) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  ~ScopedEnvironment() {
    if (saved_) {
      setenv(name_, saved_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> saved_;
};

// Keeps everything written to it and marks every flush with '|', so the tests see the order of
// flushes and sequences.
class RecordingBuffer : public std::streambuf {
 public:
  std::string text;

 protected:
  int_type overflow(int_type c) override {
    if (!traits_type::eq_int_type(c, traits_type::eof())) text += traits_type::to_char_type(c);
    return traits_type::not_eof(c);
  }
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    text.append(s, static_cast<std::size_t>(n));
    return n;
  }
  int sync() override {
    text += '|';
    return 0;
  }
};

// Records std::cout and std::cerr (cerr without its per-output flush and without its tie to cout,
// so each buffer shows only its own stream's flushes) and starts from clean colour state.
class CapturedConsoleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    savedOut_ = std::cout.rdbuf(&out_);
    savedErr_ = std::cerr.rdbuf(&err_);
    savedErrFlags_ = std::cerr.flags();
    std::cerr.unsetf(std::ios::unitbuf);
    savedTie_ = std::cerr.tie(nullptr);
    resetConsoleColors();
    out_.text.clear();
    err_.text.clear();
  }
  void TearDown() override {
    resetConsoleColors();
    setupConsole(ColorMode::never);
    std::cout.rdbuf(savedOut_);
    std::cerr.rdbuf(savedErr_);
    std::cerr.flags(savedErrFlags_);
    std::cerr.tie(savedTie_);
  }

  RecordingBuffer out_;
  RecordingBuffer err_;

 private:
  std::streambuf* savedOut_ = nullptr;
  std::streambuf* savedErr_ = nullptr;
  std::ios::fmtflags savedErrFlags_{};
  std::ostream* savedTie_ = nullptr;
};

// ---- Colours
// --------------------------------------------------------------------------------------

TEST_F(CapturedConsoleTest, AlwaysModeWritesTheWholeAttributeToTheStreamUsed) {
  setupConsole(ColorMode::always);
  EXPECT_TRUE(colorsEnabled(std::cout));
  EXPECT_TRUE(colorsEnabled(std::cerr));

  std::cout << "a";
  setColors(Color::red, Color::yellow);
  std::cout << setTextColor(Color::white) << "b";
  std::cerr << setTextColor(Color::red) << "c";
  setColors(Color::white, kDefaultColor);
  setColors(Color::white, kDefaultColor);  // a repeat is written again
  std::cout << std::setw(3) << setTextColor(Color::blue)
            << 7;  // the field width is left for the number

  EXPECT_EQ(out_.text, "a|\x1b[91;103m|\x1b[97;103mb|\x1b[39;49m|\x1b[39;49m|\x1b[94;49m  7");
  EXPECT_EQ(err_.text, "|\x1b[91;103mc");
  EXPECT_EQ(consoleColors().currentText, Color::blue);
  EXPECT_EQ(consoleColors().currentBackground, kDefaultColor);

  // Streams other than the console's never get sequences, but still move the colour state.
  std::ostringstream other;
  other << setTextColor(Color::green) << "d";
  EXPECT_FALSE(colorsEnabled(other));
  EXPECT_EQ(other.str(), "d");
  EXPECT_EQ(consoleColors().currentText, Color::green);

  out_.text.clear();
  err_.text.clear();
  resetConsoleColors();
  resetConsoleColors();
  EXPECT_EQ(out_.text, "\x1b[0m|");
  EXPECT_EQ(err_.text, "\x1b[0m|");
  EXPECT_EQ(consoleColors().currentText, kDefaultColor);
}

TEST_F(CapturedConsoleTest, ResetTouchesOnlyStreamsThatReceivedColours) {
  setupConsole(ColorMode::always);
  std::cerr << setTextColor(Color::red);
  err_.text.clear();
  resetConsoleColors();
  EXPECT_EQ(out_.text, "");
  EXPECT_EQ(err_.text, "\x1b[0m|");
}

TEST_F(CapturedConsoleTest, NeverModeWritesNoSequencesButTracksTheColours) {
  setupConsole(ColorMode::never);
  EXPECT_FALSE(colorsEnabled(std::cout));
  EXPECT_FALSE(colorsEnabled(std::cerr));

  setColors(Color::red, Color::yellow);
  std::cout << setTextColor(Color::blue) << "x";
  std::cerr << setTextColor(Color::green) << "y";
  EXPECT_EQ(out_.text, "||x");
  EXPECT_EQ(err_.text, "|y");
  EXPECT_EQ(consoleColors().currentText, Color::green);
  EXPECT_EQ(consoleColors().currentBackground, Color::yellow);

  resetConsoleColors();
  EXPECT_EQ(out_.text, "||x");
  EXPECT_EQ(err_.text, "|y");
  EXPECT_EQ(consoleColors().currentText, consoleColors().defaultText);
  EXPECT_EQ(consoleColors().currentBackground, consoleColors().defaultBackground);
}

// On a background of its own every colour keeps its 16-colour code, whatever the terminal.
TEST_F(CapturedConsoleTest, MapsTheColourBitsToSgrCodes) {
  struct ColorCodes {
    Color color;
    const char* sequence;  // the colour as text and as background
  };
  const std::vector<ColorCodes> table = {
      {Color::black, "\x1b[30;40m"},      {Color::darkBlue, "\x1b[34;44m"},
      {Color::darkGreen, "\x1b[32;42m"},  {Color::darkCyan, "\x1b[36;46m"},
      {Color::darkRed, "\x1b[31;41m"},    {Color::darkMagenta, "\x1b[35;45m"},
      {Color::darkYellow, "\x1b[33;43m"}, {Color::gray, "\x1b[37;47m"},
      {Color::darkGray, "\x1b[90;100m"},  {Color::blue, "\x1b[94;104m"},
      {Color::green, "\x1b[92;102m"},     {Color::cyan, "\x1b[96;106m"},
      {Color::red, "\x1b[91;101m"},       {Color::magenta, "\x1b[95;105m"},
      {Color::yellow, "\x1b[93;103m"},    {Color::white, "\x1b[97;107m"},
      {kDefaultColor, "\x1b[39;49m"},
  };
  ScopedEnvironment term("TERM", "xterm-256color");
  setupConsole(ColorMode::always);
  for (const ColorCodes& entry : table) {
    SCOPED_TRACE(static_cast<int>(entry.color));
    out_.text.clear();
    setColors(entry.color, entry.color);
    EXPECT_EQ(out_.text, std::string("|") + entry.sequence);
  }
}

// On the terminal's own background, white is the terminal's own text colour, and the highlight
// colours (yellow, cyan, green) are mid tones of the 256-colour palette where the terminal has it,
// so that text reads on dark and light themes; every other colour keeps its code.
TEST_F(CapturedConsoleTest, TextOnTheDefaultBackgroundReadsOnAnyTheme) {
  struct Terminal {
    const char* term;
    const char* colorTerm;  // nullptr: unset
    std::vector<std::pair<Color, const char*>> codes;
  };
  const std::vector<std::pair<Color, const char*>> common = {
      {Color::white, "\x1b[39;49m"},   {Color::red, "\x1b[91;49m"},
      {Color::blue, "\x1b[94;49m"},    {Color::darkYellow, "\x1b[33;49m"},
      {Color::darkRed, "\x1b[31;49m"}, {Color::darkCyan, "\x1b[36;49m"},
      {Color::black, "\x1b[30;49m"},   {kDefaultColor, "\x1b[39;49m"},
  };
  const std::vector<std::pair<Color, const char*>> extended = {{Color::yellow, "\x1b[38;5;136;49m"},
                                                               {Color::cyan, "\x1b[38;5;30;49m"},
                                                               {Color::green, "\x1b[38;5;28;49m"}};
  const std::vector<std::pair<Color, const char*>> bright = {
      {Color::yellow, "\x1b[93;49m"}, {Color::cyan, "\x1b[96;49m"}, {Color::green, "\x1b[92;49m"}};
  const std::vector<Terminal> terminals = {
      {"xterm-256color", nullptr, extended},
      {"tmux-256color", nullptr, extended},
      {"xterm-direct", nullptr, extended},
      {"xterm", "truecolor", extended},
      {"linux", nullptr, bright},
      {"xterm", nullptr, bright},
      {nullptr, nullptr, bright},
  };
  for (const Terminal& terminal : terminals) {
    SCOPED_TRACE(std::string(terminal.term ? terminal.term : "(no TERM)") +
                 " COLORTERM=" + (terminal.colorTerm ? terminal.colorTerm : "(unset)"));
    ScopedEnvironment term("TERM", terminal.term);
    ScopedEnvironment colorTerm("COLORTERM", terminal.colorTerm);
    setupConsole(ColorMode::always);
    std::vector<std::pair<Color, const char*>> codes = common;
    codes.insert(codes.end(), terminal.codes.begin(), terminal.codes.end());
    for (const auto& [color, sequence] : codes) {
      SCOPED_TRACE(static_cast<int>(color));
      out_.text.clear();
      setColors(color, kDefaultColor);
      EXPECT_EQ(out_.text, std::string("|") + sequence);
      err_.text.clear();
      std::cerr << setTextColor(color);
      EXPECT_EQ(err_.text, std::string("|") + sequence);
    }
  }
}

TEST(ConsoleColorModeTest, AutomaticModeColoursOnlyTerminalsWithoutNoColor) {
  struct AutomaticCase {
    const char* name;
    bool outTerminal;
    bool errTerminal;
    const char* noColor;  // nullptr: unset
    bool outColored;
    bool errColored;
  };
  const std::vector<AutomaticCase> cases = {
      {"terminals", true, true, nullptr, true, true},
      {"NO_COLOR set", true, true, "1", false, false},
      {"NO_COLOR empty", true, true, "", true, true},
      {"output redirected", false, true, nullptr, false, true},
      {"errors redirected", true, false, nullptr, true, false},
  };
  for (const AutomaticCase& c : cases) {
    SCOPED_TRACE(c.name);
    PseudoTerminal terminal;
    Pipe redirect;
    ASSERT_GE(terminal.slave, 0);
    ASSERT_GE(redirect.writeEnd, 0);
    bool outColored = false;
    bool errColored = false;
    std::fflush(stdout);
    std::fflush(stderr);
    {
      ScopedEnvironment noColor("NO_COLOR", c.noColor);
      ScopedDescriptor out(STDOUT_FILENO, c.outTerminal ? terminal.slave : redirect.writeEnd);
      ScopedDescriptor err(STDERR_FILENO, c.errTerminal ? terminal.slave : redirect.writeEnd);
      setupConsole(ColorMode::automatic);
      outColored = colorsEnabled(std::cout);
      errColored = colorsEnabled(std::cerr);
      setupConsole(ColorMode::never);
    }
    EXPECT_EQ(outColored, c.outColored);
    EXPECT_EQ(errColored, c.errColored);
  }
}

TEST_F(CapturedConsoleTest, TitleGoesOnlyToATerminalWithoutControlCharacters) {
  PseudoTerminal terminal;
  Pipe redirect;
  std::fflush(stdout);
  {
    ScopedDescriptor out(STDOUT_FILENO, redirect.writeEnd);
    setConsoleTitle("Tessmark");
  }
  EXPECT_EQ(out_.text, "");
  {
    ScopedDescriptor out(STDOUT_FILENO, terminal.slave);
    setConsoleTitle("Tess\x07mark\x1b]2;x");
    setConsoleTitle("Second");
    restoreConsole();
    restoreConsole();
  }
  // The terminal's own title is pushed once before the first title and popped back once.
  EXPECT_EQ(out_.text, "\x1b[22;0t\x1b]0;Tessmark]2;x\x07|\x1b]0;Second\x07|\x1b[23;0t|");
}

// ---- Keys and pause without a terminal
// ------------------------------------------------------------

TEST(ReadKeyTest, ReadsSingleBytesFromAPipeThenReportsEndOfInput) {
  Pipe input;
  // An escape sequence is no keystroke on a pipe: every byte is a key of its own.
  writeAll(input.writeEnd, std::string("a\xff\0\x1b[A", 6));
  input.closeWrite();
  ScopedDescriptor in(STDIN_FILENO, input.readEnd);
  EXPECT_EQ(readKey(), 'a');
  EXPECT_EQ(readKey(), 255);
  EXPECT_EQ(readKey(), 0);
  EXPECT_EQ(readKey(), 0x1b);
  EXPECT_EQ(readKey(), '[');
  EXPECT_EQ(readKey(), 'A');
  EXPECT_EQ(readKey(), -1);
  EXPECT_EQ(readKey(), -1);
}

TEST_F(CapturedConsoleTest, PauseWithoutATerminalNeitherPrintsNorReads) {
  Pipe input;  // the writing end stays open: a pause that reads would take the 'k'
  writeAll(input.writeEnd, "k");
  ScopedDescriptor in(STDIN_FILENO, input.readEnd);
  setPauseEnabled(true);
  pause();
  EXPECT_EQ(out_.text, "");
  EXPECT_EQ(readKey(), 'k');
}

// ---- Keys and pause on a pseudo-terminal
// ----------------------------------------------------------

bool sameAttributes(const termios& a, const termios& b) {
  return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
         a.c_lflag == b.c_lflag && std::memcmp(a.c_cc, b.c_cc, sizeof a.c_cc) == 0;
}

struct TerminalRun {
  bool sawRawMode = false;
  termios waitingAttributes{};  // the terminal while the child waited for a key
  int status = 0;               // from waitpid
  std::string output;           // the child's standard output
  bool restored = false;        // attributes after the child equal those before it
  std::string echoed;           // the terminal's echo of the input, up to a final probe "z"
};

// Runs `body` in a child whose standard input is a fresh pseudo-terminal and whose standard output
// is a pipe. Once the child waits in raw mode, `drive` acts on it (child pid, terminal master, the
// reading end of the child's output). The child's exit status is body's result. Guarded by alarm()
// against a child that never returns.
TerminalRun runOnTerminal(const std::function<int()>& body,
                          const std::function<void(pid_t, int, int)>& drive) {
  TerminalRun run;
  PseudoTerminal terminal;
  Pipe output;
  termios before{};
  if (terminal.slave < 0 || output.readEnd < 0 || tcgetattr(terminal.slave, &before) != 0) {
    ADD_FAILURE() << "no pseudo-terminal";
    return run;
  }
  std::cout.flush();
  std::fflush(stdout);
  std::fflush(stderr);
  const pid_t child = fork();
  if (child == 0) {
    const rlimit noCore{0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
    alarm(10);
    dup2(terminal.slave, STDIN_FILENO);
    dup2(output.writeEnd, STDOUT_FILENO);
    close(terminal.master);
    close(terminal.slave);
    close(output.readEnd);
    close(output.writeEnd);
    const int result = body();
    std::cout.flush();
    std::fflush(stdout);
    _exit(result & 0xff);
  }
  output.closeWrite();

  for (int attempt = 0; attempt < 2000 && !run.sawRawMode; ++attempt) {
    termios now{};
    if (tcgetattr(terminal.slave, &now) == 0 && (now.c_lflag & ICANON) == 0) {
      run.sawRawMode = true;
      run.waitingAttributes = now;
    } else {
      usleep(5000);
    }
  }
  if (run.sawRawMode) {
    drive(child, terminal.master, output.readEnd);
  } else {
    kill(child, SIGKILL);
  }

  char buffer[256];
  ssize_t count = 0;
  while ((count = read(output.readEnd, buffer, sizeof buffer)) > 0) {
    run.output.append(buffer, static_cast<std::size_t>(count));
  }
  waitpid(child, &run.status, 0);

  termios after{};
  run.restored = tcgetattr(terminal.slave, &after) == 0 && sameAttributes(before, after);
  if (run.restored) {  // echo is on again: everything echoed so far arrives before the probe's echo
    writeAll(terminal.master, "z");
    char byte = 0;
    while (read(terminal.master, &byte, 1) == 1) {
      run.echoed += byte;
      if (byte == 'z') break;
    }
  }
  return run;
}

TEST(TerminalKeyTest, ReadsOneKeyInRawModeWithoutEchoAndRestoresTheTerminal) {
  const TerminalRun run = runOnTerminal([] { return readKey(); },
                                        [](pid_t, int master, int) { writeAll(master, "x"); });
  ASSERT_TRUE(run.sawRawMode);
  EXPECT_EQ(run.waitingAttributes.c_lflag & ECHO, 0u);
  EXPECT_NE(run.waitingAttributes.c_lflag & ISIG, 0u);  // Ctrl-C still interrupts
  ASSERT_TRUE(WIFEXITED(run.status));
  EXPECT_EQ(WEXITSTATUS(run.status), 'x');  // returned without Enter
  EXPECT_TRUE(run.restored);
  EXPECT_EQ(run.echoed, "z");
}

TEST(TerminalKeyTest, SignalWhileWaitingRestoresTheTerminalAndTakesItsDefaultCourse) {
  for (int signalNumber : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
    SCOPED_TRACE(strsignal(signalNumber));
    const TerminalRun run =
        runOnTerminal([] { return readKey(); },
                      [signalNumber](pid_t child, int, int) { kill(child, signalNumber); });
    ASSERT_TRUE(run.sawRawMode);
    ASSERT_TRUE(WIFSIGNALED(run.status));
    EXPECT_EQ(WTERMSIG(run.status), signalNumber);
    EXPECT_TRUE(run.restored);
  }
}

volatile std::sig_atomic_t interruptsCaught = 0;

TEST(TerminalKeyTest, SignalThatTheProgramSurvivesKeepsTheWaitGoing) {
  const auto body = [] {
    struct sigaction action = {};
    action.sa_handler = [](int) {
      interruptsCaught = interruptsCaught + 1;
      [[maybe_unused]] const ssize_t written = write(STDOUT_FILENO, "!", 1);
    };
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    const int key = readKey();
    return interruptsCaught == 1 ? key : 1;
  };
  // The key is typed only after the program's handler has run, so the wait must have been
  // interrupted and resumed.
  const TerminalRun run = runOnTerminal(body, [](pid_t child, int master, int output) {
    kill(child, SIGINT);
    char mark = 0;
    ASSERT_EQ(read(output, &mark, 1), 1);
    ASSERT_EQ(mark, '!');
    writeAll(master, "x");
  });
  ASSERT_TRUE(run.sawRawMode);
  ASSERT_TRUE(WIFEXITED(run.status));
  EXPECT_EQ(WEXITSTATUS(run.status), 'x');  // the program's own handler ran, then the key came
  EXPECT_TRUE(run.restored);
}

TEST(TerminalPauseTest, PromptsAndTakesOneKeyOnlyWhenEnabled) {
  struct PauseCase {
    bool enabled;
    const char* output;
    int nextKey;  // the key that a readKey() after the pause gets
  };
  for (const PauseCase& c :
       {PauseCase{true, "Press any key to continue . . .\n", 'q'}, PauseCase{false, "", 'k'}}) {
    SCOPED_TRACE(c.enabled);
    const bool enabled = c.enabled;
    const TerminalRun run = runOnTerminal(
        [enabled] {
          setPauseEnabled(enabled);
          pause();
          return readKey();
        },
        [](pid_t, int master, int) { writeAll(master, "kq"); });
    ASSERT_TRUE(run.sawRawMode);
    EXPECT_EQ(run.output, c.output);
    ASSERT_TRUE(WIFEXITED(run.status));
    EXPECT_EQ(WEXITSTATUS(run.status), c.nextKey);
    EXPECT_TRUE(run.restored);
  }
}

// ---- A whole session on a pseudo-terminal, as from a shell
// ------------------------------------------

using testing::describeWaitStatus;
using testing::TerminalSession;

// Everything one keystroke sends is taken as that key: the next read gets the next keystroke, and
// nothing is left behind for the shell. Each keystroke is typed together with the next key 'q',
// as fast typing or a slow machine would deliver them.
TEST(TerminalSessionTest, RestOfAKeystrokeIsDiscardedAndTheNextKeyKept) {
  struct Keystroke {
    const char* name;
    std::string bytes;
    int key;  // what readKey returns for it
  };
  const std::vector<Keystroke> keystrokes = {
      {"letter", "a", 'a'},
      {"Up arrow", "\x1b[A", 0x1b},
      {"Ctrl-Right", "\x1b[1;5C", 0x1b},
      {"F5", "\x1b[15~", 0x1b},
      {"F1 (application mode)", "\x1bOP", 0x1b},
      {"F1 (Linux console)", "\x1b[[A", 0x1b},
      {"Alt-x", "\x1bx", 0x1b},
      {"Alt-Up", "\x1b\x1b[A", 0x1b},
      {"e acute in UTF-8", "\xc3\xa9", 0xc3},
      {"euro sign in UTF-8", "\xe2\x82\xac", 0xe2},
  };
  const auto body = [] {
    const int first = readKey();
    const int second = readKey();
    std::cout << "keys " << first << " " << second << "." << std::flush;
    return 0;
  };
  for (const Keystroke& keystroke : keystrokes) {
    SCOPED_TRACE(keystroke.name);
    TerminalSession session(body);
    ASSERT_TRUE(session.waitForRawMode());
    session.type(keystroke.bytes + "q");
    EXPECT_NE(session.waitForOutput("keys " + std::to_string(keystroke.key) + " " +
                                    std::to_string('q') + "."),
              std::string::npos)
        << session.output();
    const int status = session.waitForExit();
    EXPECT_TRUE(WIFEXITED(status)) << describeWaitStatus(status);
    EXPECT_EQ(session.unreadInput(), "");
    EXPECT_TRUE(session.modesAsAtStart());
  }
}

// ESC pressed alone is a key of its own once the keystroke gap has passed, and the next key typed
// after it is the next key.
TEST(TerminalSessionTest, EscapeAloneIsAKey) {
  TerminalSession session([] {
    std::cout << "first " << readKey() << "." << std::flush;
    return readKey();
  });
  ASSERT_TRUE(session.waitForRawMode());
  session.type("\x1b");
  ASSERT_NE(session.waitForOutput("first 27."), std::string::npos) << session.output();
  session.type("q");
  const int status = session.waitForExit();
  ASSERT_TRUE(WIFEXITED(status)) << describeWaitStatus(status);
  EXPECT_EQ(WEXITSTATUS(status), 'q');
}

// Colours and the title are put back by a signal that ends the program whether or not a key is
// being read, and the signal still ends it.
TEST(TerminalSessionTest, EndingSignalRestoresColoursTitleAndModes) {
  struct Case {
    int signal;
    bool duringKeyRead;
  };
  std::vector<Case> cases;
  for (int signalNumber : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
    cases.push_back({signalNumber, false});
    cases.push_back({signalNumber, true});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(strsignal(c.signal)) + (c.duringKeyRead ? " at a key" : " at work"));
    const bool duringKeyRead = c.duringKeyRead;
    TerminalSession session([duringKeyRead] {
      const rlimit noCore{0, 0};
      setrlimit(RLIMIT_CORE, &noCore);
      setupConsole(ColorMode::always);
      setConsoleTitle("Busy");
      std::cout << setTextColor(Color::red) << "ready" << std::flush;
      if (duringKeyRead) {
        readKey();
      } else {
        poll(nullptr, 0, -1);  // busy elsewhere, for as long as it takes
      }
      return 0;
    });
    ASSERT_NE(session.waitForOutput("ready"), std::string::npos);
    if (duringKeyRead) {
      ASSERT_TRUE(session.waitForRawMode());
    }
    session.sendSignal(c.signal);
    const int status = session.waitForExit();
    ASSERT_TRUE(WIFSIGNALED(status)) << describeWaitStatus(status);
    EXPECT_EQ(WTERMSIG(status), c.signal);
    const std::string& output = session.output();
    EXPECT_TRUE(output.starts_with("\x1b[22;0t\x1b]0;Busy\x07\x1b[91;49mready")) << output;
    EXPECT_TRUE(output.ends_with("ready\x1b[0m\x1b[23;0t")) << output;
    EXPECT_TRUE(session.modesAsAtStart());
  }
}

// Ctrl-Z at a key gives the shell its terminal back as it was (modes and colours); fg brings back
// raw mode and the colours, and the key is still taken without echo or Enter.
TEST(TerminalSessionTest, CtrlZAndFgDuringAKeyRead) {
  TerminalSession session([] {
    setupConsole(ColorMode::always);
    std::cout << setTextColor(Color::red) << "ready" << std::flush;
    return readKey();
  });
  ASSERT_TRUE(session.waitForRawMode());
  const termios raw = session.modes();
  session.type("\x1a");  // Ctrl-Z
  ASSERT_TRUE(session.waitForStop());
  EXPECT_TRUE(session.modesAsAtStart());
  std::size_t seen = session.waitForOutput("ready\x1b[0m");
  EXPECT_NE(seen, std::string::npos) << session.output();

  session.continueInForeground();
  ASSERT_TRUE(session.waitForRawMode());
  EXPECT_EQ(session.modes().c_lflag, raw.c_lflag);
  EXPECT_NE(session.waitForOutput("\x1b[91;49m", seen), std::string::npos) << session.output();
  session.type("k");
  const int status = session.waitForExit();
  ASSERT_TRUE(WIFEXITED(status)) << describeWaitStatus(status);
  EXPECT_EQ(WEXITSTATUS(status), 'k');
  EXPECT_TRUE(session.modesAsAtStart());
  EXPECT_EQ(session.unreadInput(), "");
  EXPECT_EQ(session.output().find('k'), std::string::npos) << "the key was echoed";
}

std::string fileText(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

volatile std::sig_atomic_t goOn = 0;

// Ctrl-Z while the program is busy (no key read) gives the shell its terminal in its own colours;
// fg brings the program's colour back, and the text it writes after that is in it again.
TEST(TerminalSessionTest, CtrlZAndFgWhileBusy) {
  TerminalSession session([] {
    struct sigaction action = {};
    action.sa_handler = [](int) { goOn = 1; };
    sigemptyset(&action.sa_mask);
    sigaction(SIGUSR1, &action, nullptr);
    setupConsole(ColorMode::always);
    std::cout << setTextColor(Color::red) << "ready" << std::flush;
    while (goOn == 0) poll(nullptr, 0, 10);  // busy elsewhere
    std::cout << "more" << std::flush;
    resetConsoleColors();
    return 0;
  });
  const std::size_t ready = session.waitForOutput("ready");
  ASSERT_NE(ready, std::string::npos) << session.output();
  session.type("\x1a");  // Ctrl-Z (the terminal echoes it as ^Z)
  ASSERT_TRUE(session.waitForStop());
  const std::size_t reset = session.waitForOutput("\x1b[0m", ready);
  ASSERT_NE(reset, std::string::npos) << session.output();
  EXPECT_TRUE(session.modesAsAtStart());

  session.continueInForeground();
  const std::size_t resumed = session.waitForOutput("\x1b[91;49m", reset);
  ASSERT_NE(resumed, std::string::npos) << session.output();
  session.sendSignal(SIGUSR1);
  const int status = session.waitForExit();
  ASSERT_TRUE(WIFEXITED(status)) << describeWaitStatus(status);
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_NE(session.output().find("more", resumed), std::string::npos) << session.output();
  EXPECT_TRUE(session.output().ends_with("more\x1b[0m")) << session.output();
}

// With standard output in a file and the key read from the terminal, the pause prompt reaches the
// terminal too: on standard error when that is the terminal, otherwise on the controlling
// terminal. The file gets what it always got; with standard output on the terminal the prompt is
// written there once.
TEST(TerminalSessionTest, PausePromptReachesTheKeyboardWhenStandardOutputDoesNot) {
  struct Case {
    const char* name;
    bool outputToFile;
    bool errorsToFile;
  };
  constexpr std::string_view kPrompt = "Press any key to continue . . .";
  for (const Case& c :
       {Case{"output in a file", true, false}, Case{"output and errors in files", true, true},
        Case{"output on the terminal", false, false}}) {
    SCOPED_TRACE(c.name);
    std::string folder =
        (std::filesystem::temp_directory_path() / "tessmark-console-XXXXXX").string();
    ASSERT_NE(mkdtemp(folder.data()), nullptr);
    const std::string out = folder + "/out.txt";
    const std::string err = folder + "/err.txt";
    TerminalSession session([&] {
      const auto redirect = [](const std::string& path, int fd) {
        const int file = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        dup2(file, fd);
      };
      if (c.outputToFile) redirect(out, STDOUT_FILENO);
      if (c.errorsToFile) redirect(err, STDERR_FILENO);
      setPauseEnabled(true);
      pause();
      std::cout << "done" << std::flush;
      return 0;
    });
    ASSERT_NE(session.waitForOutput(kPrompt), std::string::npos) << session.output();
    ASSERT_TRUE(session.waitForRawMode());
    session.type("k");
    const int status = session.waitForExit();
    ASSERT_TRUE(WIFEXITED(status)) << describeWaitStatus(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    if (c.outputToFile) {
      EXPECT_EQ(session.output(), std::string(kPrompt) + "\r\n");
      EXPECT_EQ(fileText(out), std::string(kPrompt) + "\ndone");
    } else {
      EXPECT_EQ(session.output(), std::string(kPrompt) + "\r\ndone");
    }
    if (c.errorsToFile) {
      EXPECT_EQ(fileText(err), "");
    }
    EXPECT_EQ(session.unreadInput(), "");
    std::filesystem::remove_all(folder);
  }
}

}  // namespace
}  // namespace tessmark
