// The real terminal: shows the console model on the process's own terminal (/dev/tty) through
// ncursesw, or on Windows on the process's console, and reads its keys. The backend of the
// platform (terminal_posix.cpp, the only code that includes curses; terminal_windows.cpp)
// does that; terminal.cpp holds what it decides without the platform.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "console/console.hpp"
#include "console/glyphs.hpp"
#include "console/keys.hpp"
#include "console/layout.hpp"

namespace ulo {

// How cells are coloured, settled when curses starts.
struct TerminalColours {
    bool on = false;                    // cells have colour pairs
    bool pairs_for_backgrounds = false; // a pair for every PC attribute, not only foregrounds
    bool reverse_highlight = false;     // NO_COLOR: the highlight in reverse video
};

struct Terminal {
    int fd = -1;                    // /dev/tty
    bool started = false;           // curses is running
    bool closed = false;            // terminal_close has given the terminal back
    bool too_small = false;         // showing the "enlarge the terminal" notice
    bool repaint = true;            // the next show writes every cell, not only the changed ones
    bool utf8 = true;               // the locale can show the code page 437 glyphs
    int stop_signal = 0;            // SIGTERM, SIGHUP or SIGINT that asked us to stop
    const char* failure = nullptr;  // why curses could not start, shown when we close
    bool keyboard_protocol = false; // the keyboard protocol's mode is on: switch it off at the end
    TerminalColours colours;
    KeyDecoder decoder;
    std::vector<std::string> help_shown; // the rows below the screen as last shown
    Console shown{};                     // the model as it was last shown
    // The curses session (on Windows, the console's handles and modes), opaque here so that
    // the platform stays inside the backend, and the duplicates of `fd` curses reads and
    // writes through.
    void* session = nullptr;
    std::FILE* in = nullptr;
    std::FILE* out = nullptr;

    Terminal() = default;
    Terminal(const Terminal&) = delete;
    Terminal& operator=(const Terminal&) = delete;
    ~Terminal();
};

// Opens /dev/tty; false when the process has no terminal. Curses starts only when the first
// key is awaited, so a message written before that ends up as plain text on the terminal.
bool terminal_open(Terminal& term);
// Shows the console and waits until at least one key code is queued, or marks it closed.
void terminal_wait(Terminal& term, Console& con);
// Queues the key codes already typed, without waiting.
void terminal_poll(Terminal& term, Console& con);
// Gives the terminal back in the state it was found; the last screen stays visible.
void terminal_close(Terminal& term, const Console& con);
// Writes a message to standard error. After a stop signal, a terminal there that takes no
// output (stalled, or held by flow control) makes it give up within a fraction of a second
// rather than hold the program.
void tell(const Terminal& term, const std::string& text);

// ---- Shared by the backends: no curses, no operating system ------------------------------

constexpr std::string_view too_small_notice =
    "ulocfg needs a terminal of at least 80x21 - please enlarge this window, or press Ctrl+C "
    "to quit";
// The notice on a terminal too small for the screen, broken between words to fit `width`
// columns, in at most `lines` rows.
std::vector<std::string> notice_rows(int width, int lines);
// NO_COLOR set to anything but "" asks every program for text without colours.
bool colour_refused();
// Whether the text left on the terminal at the end is coloured: a TERM that is set and not
// "dumb", and colours not refused.
bool terminal_has_colours();
// How a cell stands out where there are no colours: the highlight (and the save question) in
// reverse video or the like, a value that differs from the one it is compared with underlined,
// everything else plain.
enum class Shade { plain, highlight, marked };
Shade shade(std::uint8_t attr);
// The colour pair of a PC attribute byte: 1 + foreground + 16 * background, or 1 +
// foreground where there are pairs only for the foregrounds on black.
short colour_pair(const TerminalColours& colours, std::uint8_t attr);
// Whether cell (x, y) of the screen must be written: on a repaint, or when it changed since
// it was last shown.
bool cell_changed(const Terminal& term, const Console& con, int x, int y);
// Whether byte x of help row i must be written: on a repaint, on a row not shown before, or
// when it changed.
bool help_changed(const Terminal& term, const std::vector<std::string>& rows, std::size_t i,
                  std::size_t x);
// Queues the keys decoded. At the notice nobody sees the screen they would act on: they are
// thrown away. True when Ctrl+C was among them there: it ends the program as SIGINT does.
bool queue_keys(bool at_notice, Console& con, const std::vector<int>& codes);

} // namespace ulo
