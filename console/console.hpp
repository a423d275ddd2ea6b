#pragma once
// Coloured console text, the window title, one-keystroke input and the "pause" prompt, on a POSIX
// terminal.
//
// Colours are the 16 classic console colours (bit 0 blue, bit 1 green, bit 2 red, bit 3 intensity),
// written as ANSI SGR sequences: text 30-37 / 90-97, background 40-47 / 100-107. kDefaultColor
// stands for the terminal's own text or background colour (SGR 39 / 49): POSIX offers no way to
// read the current colours back, so the colours found at start-up are always "the terminal's own".
//
// Every colour change writes the whole attribute (text and background) at once, even when it
// repeats the current colours, as a console attribute word would. Sequences are written only to a
// stream whose colours are enabled (see ColorMode); everything else still updates the remembered
// colours.

#include <iosfwd>
#include <string>

namespace tessmark {

// The terminal's own colour. Colour arguments are kDefaultColor or 0..15; anything else is a
// programming error (asserted; written as the terminal's own colour when assertions are off).
constexpr int kDefaultColor = -1;

enum class ColorMode { automatic, always, never };

// The process-wide colour state. Current colours change with every colour call; the defaults are
// the colours found at start-up (the terminal's own).
struct ConsoleColors {
  int currentText = kDefaultColor;
  int currentBackground = kDefaultColor;
  int defaultText = kDefaultColor;
  int defaultBackground = kDefaultColor;
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

// Stream manipulator: `std::cout << setTextColor(12) << "text"`. Flushes the stream, sets the
// current text colour, keeps the current background and writes the attribute to that stream.
struct TextColor {
  int color;
};
inline TextColor setTextColor(int color) { return TextColor{color}; }
std::ostream& operator<<(std::ostream& stream, TextColor textColor);

// Sets both current colours and writes the attribute to standard output (flushed first).
void setColors(int text, int background);

// Back to the terminal's own colours: writes SGR 0 (flushed) to every stream that received a colour
// sequence since the last reset, and makes the defaults current again. Safe to call more than once.
// Called at every exit.
void resetConsoleColors();

// Sets the terminal window title with an OSC sequence; does nothing unless standard output is a
// terminal.
void setConsoleTitle(const std::string& title);

// Reads one keystroke and returns its byte (0..255), or -1 at end of input or on a read error.
// Standard output is flushed first. On a terminal: raw mode (no canonical input, no echo, signal
// keys still active), no Enter needed; the terminal is restored before returning, and also when
// SIGINT, SIGTERM, SIGHUP or SIGQUIT arrives while waiting: the signal then takes its previous
// course (a process that survives it goes on waiting in raw mode). Otherwise: one byte from
// standard input with read(2), never waiting on anything but that input.
int readKey();

// The "pause" prompt: when pauses are enabled and standard input is a terminal, prints
// "Press any key to continue . . ." to standard output, waits for one key and ends the line.
// Otherwise prints nothing and returns at once.
void pause();
void setPauseEnabled(bool enabled);

}  // namespace tessmark
