// The console the program draws on: an 80x25 grid of cells, each one character byte and one
// PC text attribute, with a cursor and a current attribute. The operations below behave like
// the PC text console the program was designed for. The model never waits: the terminal
// backend shows it on a real terminal and queues the keys typed there, and tests read it and
// queue keys directly.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

namespace ulo {

constexpr int console_width = 80;
constexpr int console_height = 25;

// PC colours the program uses.
constexpr unsigned light_grey = 7;
constexpr unsigned light_red = 12;
constexpr unsigned yellow = 14; // a value that differs from the one it is compared with

struct Cell {
    std::uint8_t ch = ' ';
    std::uint8_t attr = light_grey; // bits 0-3 foreground, 4-6 background, 7 blink
    bool operator==(const Cell&) const = default;
};

struct Console {
    std::array<Cell, console_width * console_height> cells{};
    int x = 1, y = 1;               // the cursor, 1-based column and row
    std::uint8_t attr = light_grey; // given to every cell written or cleared
    unsigned bells = 0;             // bell bytes written and not yet sounded
    std::deque<int> keys;           // codes not yet read; an extended key is 0, then its code
    std::deque<int> script;         // without a terminal: key codes typed one at a time, each
                                    // only when the program waits for a key
    bool closed = false;            // no more keys will come (terminal gone, or told to stop)
    std::vector<std::string> help;  // lines shown below the screen where the terminal has room,
                                    // bytes in code page 437 like the cells
};

Cell& cell(Console& con, int x, int y);
const Cell& cell(const Console& con, int x, int y);

void clrscr(Console& con);
// Positions outside the 80x25 screen are ignored.
void gotoxy(Console& con, unsigned x, unsigned y);
// Replaces the foreground and blink bits; the background stays.
void textcolor(Console& con, unsigned c);
// printf-style output at the cursor, byte by byte with the console's control handling.
int cprintf(Console& con, const char* format, ...);
// Writes bytes at the cursor: bell, backspace, line feed and carriage return act; every other
// byte is stored; the cursor wraps after column 80 and the screen scrolls below row 25.
void put_bytes(Console& con, std::string_view bytes);
void put_byte(Console& con, unsigned char b);

// Keys. An ordinary key gives its code 1..255; an extended key gives 0 and then, on the next
// call, its second code. When no key is queued, getch takes the script's next one, or, when
// there is none, reads Escape and marks the console closed: it never waits.
// kbhit sees only keys already typed, never the script's.
int getch(Console& con);
int getche(Console& con);
bool kbhit(Console& con);
// One whole key code: an ordinary key's 1..255, an extended key's 0 and second code as 256 +
// that code. read_key_echoed writes the first code read at the cursor, as getche does.
int read_key(Console& con);
int read_key_echoed(Console& con);
// True when getch can give a key now: one is queued (the script's next one is queued here, the
// program now waiting for it), or no more can come. False: the program must wait for a key.
bool key_ready(Console& con);
// Queues a key code as the keyboard would deliver it: codes from 256 up as 0 and code - 256.
void push_key(Console& con, int key_code);

// The bytes of one row (1..25), 80 of them.
std::string row_bytes(const Console& con, int y);
// One row as UTF-8 text with code page 437 glyphs.
std::string row_text(const Console& con, int y);
// The code page 437 glyph of a byte, as a Unicode code point.
char32_t cp437(unsigned char b);
std::string utf8(char32_t c);
// UTF-8 text as the bytes of code page 437 that show it: a character the code page lacks, a
// control character and a byte that is no UTF-8 become '?'.
std::string cp437_text(std::string_view utf8_text);

} // namespace ulo
