#pragma once
// Coloured console text, the window title, one-keystroke input and the "pause" prompt, on a POSIX
// terminal.
//
// Colours are the 16 classic console colours (bit 0 blue, bit 1 green, bit 2 red, bit 3 intensity),
// written as ANSI SGR sequences: text 30-37 / 90-97, background 40-47 / 100-107. kDefaultColor
// stands for the terminal's own text or background colour (SGR 39 / 49): POSIX offers no way to
// read the current colours back, so the colours found at start-up are always "the terminal's own".
// Two exceptions make the text readable on dark and light terminal themes alike:
//  - white (15) on the terminal's own background is the programs' way back to normal text: it is
//    written as the terminal's own text colour (SGR 39), not as bright white;
//  - the highlight colours 14 (yellow), 11 (cyan) and 10 (green) on the terminal's own background
//    are written as mid-tone entries of the 256-colour palette (38;5;136, 38;5;30, 38;5;28), when
//    the environment names a terminal that has it (TERM containing "256color" or "direct", or
//    COLORTERM set); elsewhere as their bright codes 93, 96, 92.
//
// Every colour change writes the whole attribute (text and background) at once, even when it
// repeats the current colours, as a console attribute word would. Sequences are written only to a
// stream whose colours are enabled (see ColorMode); everything else still updates the remembered
// colours.

#include <iosfwd>
#include <string>
#include <string_view>

namespace tessmark {

// The 16 classic console colours, numbered as a console attribute holds them, and the terminal's
// own colour (kDefaultColor). Any other value is a programming error (asserted; written as the
// terminal's own colour when assertions are off).
enum class Color : int {
  terminal = -1,
  black,
  darkBlue,
  darkGreen,
  darkCyan,
  darkRed,
  darkMagenta,
  darkYellow,
  gray,
  darkGray,
  blue,
  green,
  cyan,
  red,
  magenta,
  yellow,
  white,
};
constexpr Color kDefaultColor = Color::terminal;

enum class ColorMode { automatic, always, never };

// The process-wide colour state. Current colours change with every colour call; the defaults are
// the colours found at start-up (the terminal's own).
struct ConsoleColors {
  Color currentText = kDefaultColor;
  Color currentBackground = kDefaultColor;
  Color defaultText = kDefaultColor;
  Color defaultBackground = kDefaultColor;
};

// Console set-up, once at start: decides which streams get colour sequences and sets the current
// colours to the defaults. automatic: colours on a stream only when it is a terminal and the
// environment variable NO_COLOR is unset or empty; always / never: as named. A program that never
// calls it behaves as with automatic.
void setupConsole(ColorMode mode);
const ConsoleColors& consoleColors();

// Whether colour sequences are written to the given stream (std::cout or std::cerr; false for any
// other stream).
bool colorsEnabled(const std::ostream& stream);

// Stream manipulator: `std::cout << setTextColor(Color::red) << "text"`. Flushes the stream, sets
// the current text colour, keeps the current background and writes the attribute to that stream.
struct TextColor {
  Color color;
};
inline TextColor setTextColor(Color color) { return TextColor{color}; }
std::ostream& operator<<(std::ostream& stream, TextColor textColor);

// Sets both current colours and writes the attribute to standard output (flushed first).
void setColors(Color text, Color background);

// Back to the terminal's own colours: writes SGR 0 (flushed) to every stream that received a colour
// sequence since the last reset, and makes the defaults current again. Safe to call more than once.
void resetConsoleColors();

// Puts back everything the console changed, at a normal exit: the colours (resetConsoleColors),
// then the window title (popped from the terminal's title stack, when setConsoleTitle pushed it).
// Safe to call more than once. It is also registered with atexit at the first change, so an exit
// through std::exit or a return from main that skips it still restores.
//
// Exits by signal restore too. From the first change on (a colour sequence written, the title set,
// a key read on a terminal), SIGINT, SIGTERM, SIGHUP and SIGQUIT get a handler that puts back the
// terminal modes (when a key read is under way), writes SGR 0 to the descriptors of the streams
// that received colours and pops the title (async-signal-safe calls only: write(2), tcsetattr,
// sigaction, raise), and then lets the signal take its previous course: re-raised with the previous
// disposition when that was the default, so the process ends by that signal as it would have. A
// signal that was ignored stays ignored and gets no handler. Where the program has its own handler
// for the signal, that handler is called after the terminal modes only are put back, since the
// program may live on; it is then the program's part to call restoreConsole before it exits.
//
// Stops put the terminal back as well, whenever they come. From the first change on, when SIGTSTP
// and SIGCONT both have their default dispositions, Ctrl-Z (SIGTSTP) puts back the terminal modes
// (during a key read) and writes SGR 0 to the coloured streams that are terminals before the
// process stops; SIGCONT (fg) reapplies the current colours there and, during a key read, raw mode,
// so the text goes on in its colour and the shell is never left in the program's colours. Both
// handlers restart what they interrupt (SA_RESTART), so no write fails for them.
void restoreConsole();

// Sets the terminal window title with an OSC sequence; does nothing unless standard output is a
// terminal. The first call pushes the terminal's own title on its title stack first (CSI 22;0 t),
// and restoreConsole pops it back (CSI 23;0 t). Terminals without a title stack ignore both
// sequences (xterm and most emulators after it have one); there the program's title stays after it
// ends, as no portable way reads the old title back. The Linux console shows no titles at all.
void setConsoleTitle(const std::string& title);

// Reads one keystroke and returns its first byte (0..255), or -1 at end of input or on a read
// error. Standard output is flushed first.
//
// On a terminal: raw mode (no canonical input, no echo, signal keys still active), no Enter needed.
// The rest of the same keystroke is read and discarded, so that nothing of it reaches the next read
// or the shell afterwards: an escape sequence (ESC [ parameters final byte, as the arrow and
// function keys send; ESC O and one byte; ESC [ [ and one byte on the Linux console; ESC and one
// byte, as Alt with a key sends) and the continuation bytes of a UTF-8 character. Bytes of the
// keystroke still on their way are awaited for at most kKeystrokeGapMilliseconds each, so ESC
// pressed alone returns after that delay. Keys typed ahead as separate keystrokes are kept.
// The terminal is restored before returning, and on every signal (see restoreConsole). A signal
// whose course lets the process live interrupts the wait, which then starts over in raw mode.
// Ctrl-Z puts the terminal modes and colours back before the process stops, and fg enters raw mode
// again and reapplies the colours, so the key is still taken without echo and without Enter (see
// restoreConsole).
//
// Otherwise (a pipe, a file): exactly one byte from standard input with read(2), nothing beyond it
// consumed, never waiting on anything but that input.
int readKey();
inline constexpr int kKeystrokeGapMilliseconds = 100;

// Shows a prompt that waits for a key to the person at the keyboard when standard output does not:
// when standard input is a terminal (a key will be read from it) and standard output is not one (a
// file, a pipe), `prompt` is written as it is to standard error when that is a terminal, otherwise
// to the controlling terminal (/dev/tty; nothing when there is none). Standard output never gets
// it, and nothing is written when standard output is a terminal or standard input is not.
void promptAtKeyboard(std::string_view prompt);

// The "pause" prompt: when pauses are enabled and standard input is a terminal, prints
// "Press any key to continue . . ." to standard output (and by promptAtKeyboard to the keyboard's
// terminal when standard output is not one), waits for one key and ends the line(s). Otherwise
// prints nothing and returns at once.
void pause();
void setPauseEnabled(bool enabled);

}  // namespace tessmark
