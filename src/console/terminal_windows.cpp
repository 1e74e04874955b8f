// The console model on the Windows console. The console is a grid of cells with PC text
// attributes, so the model goes out as it is: each changed run of cells of a row with
// WriteConsoleOutputW, its bytes as their code page 437 glyphs, its attributes unchanged. Keys
// come as key records (ReadConsoleInputW) and become PC key codes by console_key_code. The
// window follows the same fit rules as a terminal on Linux: 21 to 24 rows show the screen
// without some rows that are always blank, 27 rows or more show the help lines below it.
// Ctrl+C is a key, as on Linux; Ctrl+Break, closing the window, log-off and shutdown are the
// stop requests, as the stop signals are there.
#include <windows.h>

#include <io.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "console/key_records.hpp"
#include "console/terminal.hpp"

namespace ulo {
namespace {

static_assert(key_state::right_alt == RIGHT_ALT_PRESSED &&
              key_state::left_alt == LEFT_ALT_PRESSED &&
              key_state::right_ctrl == RIGHT_CTRL_PRESSED &&
              key_state::left_ctrl == LEFT_CTRL_PRESSED && key_state::shift == SHIFT_PRESSED);

// The number Linux gives the hang-up signal, which closing the window stands for here.
constexpr int hang_up = 1;

// The stop request and the event that wakes the loop for it; set by the control handler,
// which the system runs on a thread of its own.
std::atomic<int> stop_requested{0};
HANDLE wake = nullptr;

BOOL WINAPI on_control(DWORD type) {
    int sig = SIGTERM;
    if (type == CTRL_C_EVENT || type == CTRL_BREAK_EVENT) sig = SIGINT;
    if (type == CTRL_CLOSE_EVENT) sig = hang_up;
    int none = 0;
    stop_requested.compare_exchange_strong(none, sig);
    if (wake) SetEvent(wake);
    if (type == CTRL_C_EVENT || type == CTRL_BREAK_EVENT) return TRUE;
    // The system ends the process as soon as this returns: it waits for the program, which
    // keeps the edits and ends by itself (or the system's own time limit runs out).
    Sleep(INFINITE);
    return TRUE;
}

// The console as the program found it and as it is now.
struct WindowsConsole {
    HANDLE in = INVALID_HANDLE_VALUE;  // CONIN$
    HANDLE out = INVALID_HANDLE_VALUE; // CONOUT$
    DWORD in_mode = 0;
    DWORD out_mode = 0;
    CONSOLE_CURSOR_INFO cursor{};
    bool modes_saved = false;
    SMALL_RECT window{}; // the part of the buffer shown, as last taken
    int lines = 0, columns = 0;
};

WindowsConsole& console(const Terminal& term) {
    return *static_cast<WindowsConsole*>(term.session);
}

WORD cell_attributes(std::uint8_t attr) {
    const WORD a = attr & 0x7F; // the blink bit would be a bright background here
    // NO_COLOR: the highlight in reverse video, a value that differs underlined and bright
    // (consoles that show no underline, the legacy one among them, show it bright), everything
    // else light grey.
    if (!colour_refused()) return a;
    switch (shade(attr)) {
    case Shade::highlight: return light_grey | COMMON_LVB_REVERSE_VIDEO;
    case Shade::marked: return light_grey | FOREGROUND_INTENSITY | COMMON_LVB_UNDERSCORE;
    case Shade::plain: break;
    }
    return light_grey;
}

// Writes cells to row `row` (1-based, in the window) from column `x` on.
void write_cells(const WindowsConsole& wc, int x, int row, const std::vector<CHAR_INFO>& cells) {
    if (cells.empty()) return;
    const COORD size{static_cast<SHORT>(cells.size()), 1};
    SMALL_RECT rect;
    rect.Left = static_cast<SHORT>(wc.window.Left + x - 1);
    rect.Top = rect.Bottom = static_cast<SHORT>(wc.window.Top + row - 1);
    rect.Right = static_cast<SHORT>(rect.Left + cells.size() - 1);
    WriteConsoleOutputW(wc.out, cells.data(), size, COORD{0, 0}, &rect);
}

CHAR_INFO char_info(Cell c) {
    CHAR_INFO info{};
    info.Char.UnicodeChar = static_cast<WCHAR>(terminal_glyph(c.ch, true));
    info.Attributes = cell_attributes(c.attr);
    return info;
}

// Blanks the window, light grey on black.
void clear_window(const WindowsConsole& wc) {
    const std::vector<CHAR_INFO> blank(static_cast<std::size_t>(wc.columns), char_info(Cell{}));
    for (int row = 1; row <= wc.lines; ++row) write_cells(wc, 1, row, blank);
}

void show_notice(const WindowsConsole& wc) {
    clear_window(wc);
    const std::vector<std::string> rows = notice_rows(wc.columns, wc.lines);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        std::vector<CHAR_INFO> cells;
        for (char ch : rows[i]) cells.push_back(char_info(Cell{static_cast<std::uint8_t>(ch)}));
        write_cells(wc, 1, static_cast<int>(i) + 1, cells);
    }
    // The cursor after the text, as writing it leaves it.
    const int x =
        rows.empty() ? 0 : std::min<int>(static_cast<int>(rows.back().size()), wc.columns - 1);
    const int y = rows.empty() ? 0 : static_cast<int>(rows.size()) - 1;
    SetConsoleCursorPosition(wc.out, COORD{static_cast<SHORT>(wc.window.Left + x),
                                           static_cast<SHORT>(wc.window.Top + y)});
}

// Takes the window's size when it changed; a window too small for the model shows the notice
// instead, and the model comes back whole when it is large enough.
void take_size(Terminal& term) {
    WindowsConsole& wc = console(term);
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleScreenBufferInfo(wc.out, &info)) return;
    const SMALL_RECT w = info.srWindow;
    if (term.started && w.Left == wc.window.Left && w.Top == wc.window.Top &&
        w.Right == wc.window.Right && w.Bottom == wc.window.Bottom)
        return;
    wc.window = w;
    wc.lines = w.Bottom - w.Top + 1;
    wc.columns = w.Right - w.Left + 1;
    term.too_small = !screen_fits(wc.lines, wc.columns);
    term.help_shown.clear();
    if (term.too_small) {
        show_notice(wc);
    } else {
        clear_window(wc);
        term.repaint = true;
    }
}

// Writes the cells of one row that changed, as one run from the first to the last of them.
template <typename Changed, typename CellAt>
void show_row(const WindowsConsole& wc, int row, int width, Changed changed, CellAt cell_at) {
    int first = 0, last = -1;
    for (int x = 1; x <= width; ++x) {
        if (!changed(x)) continue;
        if (first == 0) first = x;
        last = x;
    }
    std::vector<CHAR_INFO> cells;
    for (int x = first; first != 0 && x <= last; ++x) cells.push_back(char_info(cell_at(x)));
    write_cells(wc, first, row, cells);
}

void show_help(Terminal& term, const Console& con) {
    const WindowsConsole& wc = console(term);
    const std::vector<std::string> rows = help_rows(con.help, wc.lines);
    const std::size_t count = std::max(rows.size(), term.help_shown.size());
    for (std::size_t i = 0; i < count; ++i) {
        const int row = console_height + 1 + static_cast<int>(i);
        if (row > wc.lines) break;
        if (i >= rows.size()) {
            write_cells(
                wc, 1, row,
                std::vector<CHAR_INFO>(static_cast<std::size_t>(wc.columns), char_info(Cell{})));
            continue;
        }
        show_row(
            wc, row, console_width,
            [&](int x) { return help_changed(term, rows, i, static_cast<std::size_t>(x - 1)); },
            [&](int x) {
                return Cell{static_cast<std::uint8_t>(rows[i][x - 1]), light_grey};
            });
    }
    term.help_shown = rows;
}

void show(Terminal& term, Console& con) {
    take_size(term);
    if (term.too_small) return;
    const WindowsConsole& wc = console(term);
    for (int y = 1; y <= console_height; ++y) {
        const int row = terminal_row(y, wc.lines);
        if (row == 0) continue;
        show_row(
            wc, row, console_width, [&](int x) { return cell_changed(term, con, x, y); },
            [&](int x) { return cell(con, x, y); });
    }
    show_help(term, con);
    term.shown.cells = con.cells;
    term.shown.x = con.x;
    term.shown.y = con.y;
    term.repaint = false;
    if (con.bells > 0) {
        DWORD written = 0;
        WriteConsoleW(wc.out, L"\a", 1, &written, nullptr);
    }
    con.bells = 0;
    const int x = std::clamp(con.x - 1, 0, wc.columns - 1);
    const int y = std::clamp(cursor_row(con.y, wc.lines) - 1, 0, wc.lines - 1);
    SetConsoleCursorPosition(wc.out, COORD{static_cast<SHORT>(wc.window.Left + x),
                                           static_cast<SHORT>(wc.window.Top + y)});
}

// Switches the console to keys one by one, without echo and with Ctrl+C as a key, and the
// cursor on; what it was is kept for the end.
bool start_console(Terminal& term) {
    WindowsConsole& wc = console(term);
    if (!GetConsoleMode(wc.in, &wc.in_mode) || !GetConsoleMode(wc.out, &wc.out_mode)) return false;
    GetConsoleCursorInfo(wc.out, &wc.cursor);
    wc.modes_saved = true;
    const DWORD keys_only =
        ENABLE_WINDOW_INPUT | ENABLE_EXTENDED_FLAGS | (wc.in_mode & ENABLE_QUICK_EDIT_MODE);
    if (!SetConsoleMode(wc.in, keys_only)) return false;
    CONSOLE_CURSOR_INFO shown = wc.cursor;
    shown.bVisible = TRUE;
    SetConsoleCursorInfo(wc.out, &shown);
    term.started = true;
    take_size(term);
    return true;
}

// Queues the keys decoded; Ctrl+C at the notice ends the program as Ctrl+Break does.
void take_keys(Terminal& term, Console& con, const std::vector<int>& codes) {
    int none = 0;
    if (queue_keys(term.too_small, con, codes))
        stop_requested.compare_exchange_strong(none, SIGINT);
}

// Reads the records waiting; false when the console has gone.
bool read_records(Terminal& term, Console& con) {
    WindowsConsole& wc = console(term);
    INPUT_RECORD records[64];
    DWORD count = 0;
    if (!ReadConsoleInputW(wc.in, records, 64, &count)) return false;
    std::vector<int> codes;
    for (DWORD i = 0; i < count; ++i) {
        if (records[i].EventType != KEY_EVENT) continue; // a resize is taken at the next show
        const KEY_EVENT_RECORD& k = records[i].Event.KeyEvent;
        const ConsoleKey key{k.bKeyDown != 0, k.wVirtualKeyCode, k.wVirtualScanCode,
                             static_cast<char32_t>(k.uChar.UnicodeChar), k.dwControlKeyState};
        const int code = console_key_code(key);
        for (WORD n = 0; code != 0 && n < std::max<WORD>(k.wRepeatCount, 1); ++n)
            codes.push_back(code);
    }
    take_keys(term, con, codes);
    return true;
}

void take_stop(Terminal& term, Console& con) {
    term.stop_signal = stop_requested;
    con.closed = true;
}

// Shows the model and reads keys until one is queued (`block`) or none is ready.
void serve(Terminal& term, Console& con, bool block) {
    if (stop_requested != 0) return take_stop(term, con);
    if (!term.started && !start_console(term)) {
        con.closed = true;
        return;
    }
    for (;;) {
        if (stop_requested != 0) return take_stop(term, con);
        show(term, con);
        if (block && !con.keys.empty()) return;
        const HANDLE handles[2] = {console(term).in, wake};
        const DWORD ready = WaitForMultipleObjects(2, handles, FALSE, block ? INFINITE : 0);
        if (ready == WAIT_OBJECT_0) {
            if (!read_records(term, con)) {
                con.closed = true;
                return;
            }
            continue;
        }
        if (ready == WAIT_OBJECT_0 + 1) continue;
        if (ready == WAIT_TIMEOUT && !block) return;
        if (ready != WAIT_TIMEOUT) {
            con.closed = true;
            return;
        }
    }
}

void write_text(HANDLE out, const std::string& utf8) {
    if (utf8.empty()) return;
    const int size =
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), size);
    DWORD written = 0;
    WriteConsoleW(out, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
}

// Leaves the whole screen in the console as text, from the window's top when the program has
// drawn there: its rows keep their colours, and the cursor stands below them.
void leave_screen(Terminal& term, const Console& con) {
    const WindowsConsole& wc = console(term);
    if (term.started) {
        clear_window(wc);
        SetConsoleCursorPosition(wc.out, COORD{wc.window.Left, wc.window.Top});
    }
    const std::string text = plain_text(con, true, false);
    write_text(wc.out, text);
    CONSOLE_SCREEN_BUFFER_INFO info;
    const int rows = static_cast<int>(std::count(text.begin(), text.end(), '\n'));
    if (!colour_refused() && GetConsoleScreenBufferInfo(wc.out, &info)) {
        for (int y = 1; y <= rows; ++y) {
            WORD attributes[console_width];
            for (int x = 1; x <= console_width; ++x)
                attributes[x - 1] = cell_attributes(cell(con, x, y).attr);
            const COORD at{0, static_cast<SHORT>(info.dwCursorPosition.Y - rows + y - 1)};
            DWORD written = 0;
            if (at.Y >= 0)
                WriteConsoleOutputAttribute(wc.out, attributes, console_width, at, &written);
        }
    }
    if (term.failure) write_text(wc.out, std::string(term.failure) + "\r\n");
}

} // namespace

void tell(const Terminal&, const std::string& text) {
    // On a console as characters: the C library would hand it a byte at a time.
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stderr)));
    DWORD mode = 0;
    if (handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode)) {
        std::fflush(stderr);
        write_text(handle, text);
        return;
    }
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
}

bool terminal_open(Terminal& term) {
    auto* wc = new WindowsConsole;
    wc->in = CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE,
                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    wc->out = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    DWORD mode = 0;
    if (wc->in == INVALID_HANDLE_VALUE || wc->out == INVALID_HANDLE_VALUE ||
        !GetConsoleMode(wc->in, &mode) || !GetConsoleMode(wc->out, &mode)) {
        if (wc->in != INVALID_HANDLE_VALUE) CloseHandle(wc->in);
        if (wc->out != INVALID_HANDLE_VALUE) CloseHandle(wc->out);
        delete wc;
        return false;
    }
    term.session = wc;
    stop_requested = 0;
    wake = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    SetConsoleCtrlHandler(on_control, TRUE);
    return true;
}

void terminal_wait(Terminal& term, Console& con) { serve(term, con, true); }

void terminal_poll(Terminal& term, Console& con) { serve(term, con, false); }

void terminal_close(Terminal& term, const Console& con) {
    if (term.closed || !term.session) return;
    term.closed = true;
    WindowsConsole& wc = console(term);
    leave_screen(term, con);
    if (wc.modes_saved) {
        SetConsoleMode(wc.in, wc.in_mode);
        SetConsoleMode(wc.out, wc.out_mode);
        SetConsoleCursorInfo(wc.out, &wc.cursor);
    }
    term.started = false;
}

Terminal::~Terminal() {
    if (!session) return;
    if (!closed) terminal_close(*this, shown);
    // The handler stays until here: a window closed while the edits are being kept waits for
    // them. Afterwards closing the window ends the program at once.
    WindowsConsole* wc = static_cast<WindowsConsole*>(session);
    CloseHandle(wc->in);
    CloseHandle(wc->out);
    delete wc;
    session = nullptr;
    SetConsoleCtrlHandler(on_control, FALSE);
}

} // namespace ulo
