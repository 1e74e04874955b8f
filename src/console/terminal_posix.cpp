// The console model on a real terminal, through curses and the POSIX terminal interface. The
// model is the truth; curses only shows it: every cell goes out as its code page 437 glyph, so
// no byte of the model (a wheel name may hold ESC or BEL) ever reaches the terminal as a
// control. Keys are read as bytes straight from the terminal and decoded by decode_keys, not
// by curses. A terminal of 21 to 24 rows shows the 25 rows without some that are always blank;
// one of 27 rows or more shows the help lines below them.
#include "console/terminal.hpp"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <iterator>
#include <string>
#include <string_view>

#include <fcntl.h>
#include <langinfo.h>
#include <poll.h>
#include <strings.h>
#include <sys/ioctl.h>
#include <sys/time.h>
#include <termios.h>
#include <unistd.h>
#include <wchar.h>

#ifndef NCURSES_WIDECHAR
#define NCURSES_WIDECHAR 1
#endif
#include <curses.h>

namespace ulo {
namespace {

// Signals are the process's, not one terminal's: their state lives here, where the handlers
// can reach it. A handler only records the signal and wakes the loop through the pipe.
volatile std::sig_atomic_t stop_requested = 0; // the stop signal, 0 if none
volatile std::sig_atomic_t resized = 0;
// A terminal that takes no output (stalled, or held by flow control) must not hold the program
// past a stop: a watchdog looks a moment after the stop, and if the terminal still has no room,
// curses' output goes nowhere from then on.
volatile std::sig_atomic_t curses_out = -1; // the descriptor curses writes to
volatile std::sig_atomic_t nowhere = -1;    // /dev/null, opened read-only: every write fails
volatile std::sig_atomic_t stalled = 0;     // curses' output has been taken away
// The terminal's modes as the program found them, put back by hand when curses cannot.
termios found_modes{};
bool modes_found = false;
constexpr long watchdog_us = 250 * 1000;
int wake_read = -1;
int wake_write = -1;

// Every signal whose default ends the process is a request to stop: the edits go to a rescue
// copy and the terminal is given back. SIGXFSZ is not among them: it is ignored, so that a
// file size limit fails a save instead of ending the program.
constexpr int handled_signals[] = {SIGTERM, SIGHUP,  SIGINT,    SIGQUIT, SIGUSR1,
                                   SIGUSR2, SIGALRM, SIGVTALRM, SIGXCPU,
#ifdef SIGPWR
                                   SIGPWR,
#endif
                                   SIGWINCH};
struct sigaction saved_actions[std::size(handled_signals)];
bool signals_installed = false;
// What SIGTSTP did before curses put its own handler there, if it did.
struct sigaction tstp_before;

// Arms the watchdog, once or again; setitimer is a plain system call here.
void arm_watchdog(long us) {
    itimerval timer{};
    timer.it_value.tv_usec = us;
    ::setitimer(ITIMER_REAL, &timer, nullptr);
}

// The watchdog: a terminal with room is still taking the output, so look again later; one
// without loses curses' output. A write waiting for room is interrupted by the signal itself.
void watch_output() {
    pollfd out{curses_out, POLLOUT, 0};
    if (curses_out < 0 || nowhere < 0 || (::poll(&out, 1, 0) == 1 && (out.revents & POLLOUT))) {
        arm_watchdog(watchdog_us);
        return;
    }
    ::dup2(nowhere, curses_out);
    stalled = 1;
}

// The first request to stop is the one taken; the watchdog starts looking at the output.
void request_stop(int sig) {
    stop_requested = sig;
    arm_watchdog(watchdog_us);
}

void on_signal(int sig) {
    const int saved_errno = errno;
    if (sig == SIGWINCH) {
        resized = 1;
    } else if (stop_requested == 0) {
        request_stop(sig);
    } else if (sig == SIGALRM) {
        watch_output();
    }
    const char wake = 0;
    if (wake_write >= 0 && ::write(wake_write, &wake, 1) < 0) {
        // the pipe is full: the loop is awake already
    }
    errno = saved_errno;
}

bool install_signals() {
    int pipe_fds[2];
    if (::pipe2(pipe_fds, O_CLOEXEC | O_NONBLOCK) != 0) return false;
    wake_read = pipe_fds[0];
    wake_write = pipe_fds[1];
    stop_requested = 0;
    resized = 0;
    for (std::size_t i = 0; i < std::size(handled_signals); ++i) {
        const int sig = handled_signals[i];
        sigaction(sig, nullptr, &saved_actions[i]);
        // A stop signal the caller chose to ignore (nohup) stays ignored.
        if (sig != SIGWINCH && saved_actions[i].sa_handler == SIG_IGN) continue;
        struct sigaction action {};
        action.sa_handler = on_signal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = 0; // no SA_RESTART: a signal must end the wait in poll()
        sigaction(sig, &action, nullptr);
    }
    signals_installed = true;
    return true;
}

void restore_signals() {
    if (!signals_installed) return;
    arm_watchdog(0);
    for (std::size_t i = 0; i < std::size(handled_signals); ++i)
        sigaction(handled_signals[i], &saved_actions[i], nullptr);
    signals_installed = false;
    ::close(wake_write);
    ::close(wake_read);
    wake_write = wake_read = -1;
}

void drain_wake_pipe() {
    char buffer[64];
    while (::read(wake_read, buffer, sizeof buffer) > 0) {
    }
}

SCREEN* session(const Terminal& term) { return static_cast<SCREEN*>(term.session); }

bool locale_is_utf8() {
    const char* codeset = nl_langinfo(CODESET);
    return codeset && (strcasecmp(codeset, "UTF-8") == 0 || strcasecmp(codeset, "UTF8") == 0);
}

// PC colour numbers 0..7 in curses' numbering.
constexpr short curses_colour[8] = {COLOR_BLACK, COLOR_BLUE,    COLOR_GREEN,  COLOR_CYAN,
                                    COLOR_RED,   COLOR_MAGENTA, COLOR_YELLOW, COLOR_WHITE};

// Colour pairs: 1 + foreground + 16 * background, for every PC attribute when the terminal
// has pairs enough, otherwise for the 16 foregrounds on black.
void set_up_colours(TerminalColours& colours) {
    colours = TerminalColours{};
    colours.reverse_highlight = colour_refused();
    if (colours.reverse_highlight || !has_colors() || start_color() == ERR) return;
    colours.on = true;
    // Pair 0, which curses returns to after every update, is the terminal's own colours: so it
    // need not set both colours back after each key. No cell is drawn in it.
    use_default_colors();
    colours.pairs_for_backgrounds = COLOR_PAIRS > 16 * 8;
    const int backgrounds = colours.pairs_for_backgrounds ? 8 : 1;
    for (int bg = 0; bg < backgrounds; ++bg) {
        for (int fg = 0; fg < 16; ++fg) {
            short f = curses_colour[fg & 7];
            if (fg >= 8 && COLORS >= 16) f = static_cast<short>(f + 8);
            init_pair(static_cast<short>(1 + fg + 16 * bg), f, curses_colour[bg]);
        }
    }
    // The console's own black, not the terminal's background, behind everything drawn: the
    // rows and columns the screen leaves free, the help and the notice included, so that the
    // screen reads the same on a light theme as on a dark one.
    cchar_t blank;
    const wchar_t space[2] = {L' ', L'\0'};
    setcchar(&blank, space, A_NORMAL, static_cast<short>(1 + light_grey), nullptr);
    wbkgrnd(stdscr, &blank);
}

// The curses attributes and colour pair of a PC attribute byte.
attr_t cell_attributes(const TerminalColours& colours, std::uint8_t attr, short& pair) {
    const int fg = attr & 0x0F;
    attr_t a = (attr & 0x80) ? A_BLINK : A_NORMAL;
    pair = 0;
    if (colours.on) {
        pair = colour_pair(colours, attr);
        if (fg >= 8 && COLORS < 16) a |= A_BOLD; // the bright half of the PC colours
    } else if (shade(attr) == Shade::highlight) {
        // No colours: the highlight must still stand out.
        a |= colours.reverse_highlight     ? A_REVERSE
             : (termattrs() & A_UNDERLINE) ? (A_BOLD | A_UNDERLINE)
                                           : A_STANDOUT;
    } else if (shade(attr) == Shade::marked) {
        // and a value that differs too, otherwise than the highlight
        a |= (termattrs() & A_UNDERLINE) ? A_UNDERLINE : A_BOLD;
    }
    return a;
}

void put_cell(const Terminal& term, int x, int y, Cell c) {
    short pair = 0;
    const attr_t a = cell_attributes(term.colours, c.attr, pair);
    const wchar_t text[2] = {static_cast<wchar_t>(terminal_glyph(c.ch, term.utf8)), L'\0'};
    cchar_t cc;
    setcchar(&cc, text, a, pair, nullptr);
    // The bottom-right cell reports ERR (the cursor cannot move past it) but is written.
    mvwadd_wch(stdscr, y - 1, x - 1, &cc);
}

// The notice, broken between words to fit the terminal's width.
void show_notice() {
    werase(stdscr);
    const std::vector<std::string> rows = notice_rows(COLS, LINES);
    for (std::size_t row = 0; row < rows.size(); ++row)
        mvwaddnstr(stdscr, static_cast<int>(row), 0, rows[row].data(),
                   static_cast<int>(rows[row].size()));
    wrefresh(stdscr);
}

// Takes the terminal's size as it is now; a terminal too small for the model shows the notice
// instead, and the model comes back whole when it is large enough.
void take_size(Terminal& term) {
    winsize ws{};
    if (::ioctl(term.fd, TIOCGWINSZ, &ws) == 0 && ws.ws_row > 0 && ws.ws_col > 0)
        resizeterm(ws.ws_row, ws.ws_col);
    const bool was_small = term.too_small;
    term.too_small = !screen_fits(LINES, COLS);
    term.help_shown.clear();
    // A key cut apart on its way in or out of the notice is not completed on the other side.
    if (term.too_small || was_small) term.decoder.held.clear();
    if (term.too_small) {
        show_notice();
    } else {
        wclear(stdscr);
        term.repaint = true;
    }
}

// The help rows below the screen, only those that changed; rows no longer needed are erased.
void show_help(Terminal& term, const Console& con) {
    const std::vector<std::string> rows = help_rows(con.help, LINES);
    const std::size_t count = std::max(rows.size(), term.help_shown.size());
    for (std::size_t i = 0; i < count; ++i) {
        const int y = console_height + 1 + static_cast<int>(i);
        if (i >= rows.size()) {
            wmove(stdscr, y - 1, 0);
            wclrtoeol(stdscr);
            continue;
        }
        const std::string& row = rows[i];
        for (std::size_t x = 0; x < row.size(); ++x)
            if (help_changed(term, rows, i, x))
                put_cell(term, static_cast<int>(x) + 1, y,
                         Cell{static_cast<std::uint8_t>(row[x]), light_grey});
    }
    term.help_shown = rows;
}

void show(Terminal& term, const Console& con) {
    if (term.too_small) return;
    for (int y = 1; y <= console_height; ++y) {
        const int row = terminal_row(y, LINES);
        if (row == 0) continue;
        for (int x = 1; x <= console_width; ++x)
            if (cell_changed(term, con, x, y)) put_cell(term, x, row, cell(con, x, y));
    }
    show_help(term, con);
    term.shown.cells = con.cells;
    term.shown.x = con.x;
    term.shown.y = con.y;
    term.repaint = false;
    if (con.bells > 0) beep();
    wmove(stdscr, std::clamp(cursor_row(con.y, LINES) - 1, 0, LINES - 1),
          std::clamp(con.x - 1, 0, COLS - 1));
    curs_set(1);
    wrefresh(stdscr);
}

void release_session(Terminal& term) {
    curses_out = -1;
    if (term.session) {
        delscreen(session(term));
        sigaction(SIGTSTP, &tstp_before, nullptr); // curses' handler would use the freed screen
    }
    if (term.in) std::fclose(term.in);
    if (term.out) std::fclose(term.out);
    term.session = nullptr;
    term.in = term.out = nullptr;
    term.started = false;
}

// Writes the whole text; after a stop, a write the watchdog interrupts is given up.
void write_all(int fd, std::string_view text) {
    while (!text.empty()) {
        const ssize_t n = ::write(fd, text.data(), text.size());
        if (n < 0 && errno == EINTR && stop_requested == 0) continue;
        if (n <= 0) return;
        text.remove_prefix(static_cast<std::size_t>(n));
    }
}

// Queues the keys decoded; Ctrl+C at the notice ends the program as SIGINT does.
void take_keys(Terminal& term, Console& con, const std::vector<int>& codes) {
    if (queue_keys(term.too_small, con, codes) && stop_requested == 0) request_stop(SIGINT);
}

// Asks whether the terminal reports keys by the keyboard protocol. Every terminal answers the
// device attributes query sent behind it, so the wait ends with that answer; one that answers
// nothing costs keyboard_answer_wait_ms once. Keys typed meanwhile are kept; an answer coming
// later still is a private sequence, which the key decoder drops whole.
void ask_keyboard_protocol(Terminal& term, Console& con) {
    using clock = std::chrono::steady_clock;
    write_all(term.fd, keyboard_query);
    const auto deadline = clock::now() + std::chrono::milliseconds(keyboard_answer_wait_ms);
    KeyboardAnswers answers;
    std::string got;
    while (!answers.attributes && stop_requested == 0) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - clock::now());
        if (left.count() <= 0) break;
        pollfd fds[2] = {{term.fd, POLLIN, 0}, {wake_read, POLLIN, 0}};
        const int ready = ::poll(fds, 2, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) continue;
        if (ready > 0 && fds[1].revents != 0) {
            drain_wake_pipe(); // a resize: taken up once the wait is over
            if ((fds[0].revents & POLLIN) == 0) continue;
        }
        if (ready <= 0 || (fds[0].revents & POLLIN) == 0) break;
        char buffer[256];
        const ssize_t n = ::read(term.fd, buffer, sizeof buffer);
        if (n <= 0) break;
        got.append(buffer, static_cast<std::size_t>(n));
        take_answers(got, answers);
    }
    if (answers.protocol) {
        // The mode belongs to the screen it is set on: set it once curses has switched to
        // its own screen, which wrefresh makes sure of.
        wrefresh(stdscr);
        write_all(term.fd, keyboard_push);
        term.keyboard_protocol = term.decoder.protocol = true;
    }
    take_keys(term, con, decode_keys(term.decoder, got, false));
}

bool start_curses(Terminal& term, Console& con) {
    const int in_fd = ::fcntl(term.fd, F_DUPFD_CLOEXEC, 0);
    const int out_fd = ::fcntl(term.fd, F_DUPFD_CLOEXEC, 0);
    term.in = in_fd >= 0 ? ::fdopen(in_fd, "r") : nullptr;
    term.out = out_fd >= 0 ? ::fdopen(out_fd, "w") : nullptr;
    if (!term.in && in_fd >= 0) ::close(in_fd);
    if (!term.out && out_fd >= 0) ::close(out_fd);
    if (!term.in || !term.out) {
        term.failure = "ulocfg: cannot set up the terminal";
        release_session(term);
        return false;
    }
    curses_out = out_fd;
    sigaction(SIGTSTP, nullptr, &tstp_before);
    SCREEN* screen = newterm(nullptr, term.out, term.in);
    if (!screen) {
        term.failure = "ulocfg: the terminal type (TERM) is not known to curses";
        release_session(term);
        return false;
    }
    term.session = screen;
    term.started = true;
    set_term(screen);
    const char* cursor_address = tigetstr("cup");
    if (cursor_address == nullptr || cursor_address == reinterpret_cast<char*>(-1)) {
        // "dumb" and its like cannot place text anywhere but at the end.
        endwin();
        release_session(term);
        term.failure = "ulocfg: this terminal (TERM) cannot move its cursor";
        return false;
    }
    term.utf8 = locale_is_utf8();
    raw(); // Ctrl+C and Ctrl+Z are keys, not signals
    noecho();
    nonl();
    keypad(stdscr, FALSE); // the bytes are decoded by decode_keys
    set_up_colours(term.colours);
    resized = 0;
    take_size(term);
    ask_keyboard_protocol(term, con);
    return true;
}

// Reads what the terminal sent and queues its keys; false when the terminal has gone.
bool read_keys(Terminal& term, Console& con) {
    char buffer[256];
    const ssize_t n = ::read(term.fd, buffer, sizeof buffer);
    if (n < 0) return errno == EINTR || errno == EAGAIN;
    if (n == 0) return false; // hung up
    const std::string_view bytes(buffer, static_cast<std::size_t>(n));
    take_keys(term, con, decode_keys(term.decoder, bytes, false));
    return true;
}

void take_stop(Terminal& term, Console& con) {
    term.stop_signal = stop_requested;
    con.closed = true;
}

// Shows the model and reads keys until one is queued (`block`) or none is ready.
void serve(Terminal& term, Console& con, bool block) {
    if (stop_requested != 0) return take_stop(term, con);
    if (!term.started && !start_curses(term, con)) {
        con.closed = true;
        return;
    }
    for (;;) {
        if (stop_requested != 0) return take_stop(term, con);
        if (resized != 0) {
            resized = 0;
            take_size(term);
        }
        show(term, con);
        con.bells = 0;
        const bool held = waiting(term.decoder);
        if (block && !con.keys.empty()) return;
        // A held Escape waits for the rest of its sequence, but not for longer.
        const int timeout = held ? hold_ms(term.decoder) : block ? -1 : 0;
        pollfd fds[2] = {{term.fd, POLLIN, 0}, {wake_read, POLLIN, 0}};
        const int ready = ::poll(fds, 2, timeout);
        if (ready < 0) {
            if (errno == EINTR) continue;
            con.closed = true;
            return;
        }
        if (fds[1].revents != 0) drain_wake_pipe();
        if (fds[0].revents & POLLNVAL) {
            con.closed = true;
            return;
        }
        if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
            if (!read_keys(term, con)) {
                con.closed = true;
                return;
            }
            continue;
        }
        if (ready == 0 && held) {
            take_keys(term, con, decode_keys(term.decoder, "", true));
            continue;
        }
        if (ready == 0 && !block) return;
    }
}

} // namespace

void tell(const Terminal& term, const std::string& text) {
    if (term.stop_signal == 0) return write_all(STDERR_FILENO, text);
    // A timer interrupts a write that waits too long; its signal does nothing else.
    struct sigaction quiet {
    }, before{};
    quiet.sa_handler = [](int) {};
    sigemptyset(&quiet.sa_mask);
    sigaction(SIGALRM, &quiet, &before);
    itimerval limit{}, old{};
    limit.it_value.tv_usec = 300 * 1000;
    limit.it_interval = limit.it_value; // again, should the first come before the write
    setitimer(ITIMER_REAL, &limit, &old);
    // A stop is requested: a write the timer interrupts is given up, and the message with it.
    write_all(STDERR_FILENO, text);
    setitimer(ITIMER_REAL, &old, nullptr);
    sigaction(SIGALRM, &before, nullptr);
}

bool terminal_open(Terminal& term) {
    term.fd = ::open("/dev/tty", O_RDWR | O_CLOEXEC);
    if (term.fd < 0) return false;
    modes_found = ::tcgetattr(term.fd, &found_modes) == 0;
    nowhere = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    stalled = 0;
    if (!install_signals()) {
        ::close(term.fd);
        term.fd = -1;
        return false;
    }
    return true;
}

void terminal_wait(Terminal& term, Console& con) { serve(term, con, true); }

void terminal_poll(Terminal& term, Console& con) { serve(term, con, false); }

void terminal_close(Terminal& term, const Console& con) {
    if (term.closed || term.fd < 0) return;
    term.closed = true;
    if (term.started) {
        if (!stalled) show(term, con); // a terminal without an alternate screen keeps this one
        // Off on the screen it was switched on for, before curses leaves that screen.
        if (term.keyboard_protocol && !stalled) write_all(term.fd, keyboard_pop);
        term.keyboard_protocol = false;
        curs_set(1);
        endwin();
        release_session(term);
        // Curses could not put the modes back through the descriptor it lost.
        if (stalled && modes_found) ::tcsetattr(term.fd, TCSANOW, &found_modes);
    } else {
        term.utf8 = locale_is_utf8();
    }
    std::string text = plain_text(con, term.utf8, terminal_has_colours());
    if (term.failure) text += std::string(term.failure) + "\r\n";
    if (!stalled) write_all(term.fd, text);
    restore_signals();
}

Terminal::~Terminal() {
    if (nowhere >= 0) ::close(nowhere);
    nowhere = -1;
    if (fd < 0) return;
    if (!closed) {
        if (started)
            terminal_close(*this, shown);
        else
            restore_signals();
    }
    ::close(fd);
}

} // namespace ulo
