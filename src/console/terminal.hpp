// The real terminal: shows the console model on the process's own terminal (/dev/tty) through
// ncursesw and reads its keys. The only code that includes curses is terminal.cpp.
#pragma once

#include "console/console.hpp"
#include "console/keys.hpp"

namespace ulo {

struct Terminal {
    int fd = -1;              // /dev/tty
    bool started = false;     // curses is running
    bool too_small = false;   // showing the "enlarge the terminal" notice
    int stop_signal = 0;      // SIGTERM, SIGHUP or SIGINT that asked us to stop
    KeyDecoder decoder;
    Console shown{};          // what the terminal shows now
    ~Terminal();
};

// Opens /dev/tty; false when the process has no terminal.
bool terminal_open(Terminal& term);
// Shows the console and waits until at least one key code is queued, or marks it closed.
void terminal_wait(Terminal& term, Console& con);
// Queues the key codes already typed, without waiting.
void terminal_poll(Terminal& term, Console& con);
// Gives the terminal back in the state it was found; the last screen stays visible.
void terminal_close(Terminal& term, const Console& con);

} // namespace ulo
