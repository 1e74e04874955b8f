// The real terminal: shows the console model on the process's own terminal (/dev/tty) through
// ncursesw and reads its keys. The only code that includes curses is terminal.cpp.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "console/console.hpp"
#include "console/glyphs.hpp"
#include "console/keys.hpp"

namespace ulo {

struct Terminal {
    int fd = -1;              // /dev/tty
    bool started = false;     // curses is running
    bool closed = false;      // terminal_close has given the terminal back
    bool too_small = false;   // showing the "enlarge the terminal" notice
    bool repaint = true;      // the next show writes every cell, not only the changed ones
    bool utf8 = true;         // the locale can show the code page 437 glyphs
    int stop_signal = 0;      // SIGTERM, SIGHUP or SIGINT that asked us to stop
    const char* failure = nullptr; // why curses could not start, shown when we close
    bool keyboard_protocol = false; // the keyboard protocol's mode is on: switch it off at the end
    KeyDecoder decoder;
    std::vector<std::string> help_shown; // the rows below the screen as last shown
    Console shown{};          // the model as it was last shown
    // The curses session, opaque here so that curses stays inside terminal.cpp, and the
    // duplicates of `fd` it reads and writes through.
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

} // namespace ulo
