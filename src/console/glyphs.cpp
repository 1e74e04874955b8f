// How the console model's cells show on a real terminal, and the plain text the program
// leaves there at the end. No curses here: the tests check these without a terminal.
#include "console/glyphs.hpp"

#include <algorithm>
#include <string>

namespace ulo {

namespace {

// What a terminal without Unicode shows for a glyph: box lines as + - |, the degree sign as
// o, the control pictures as '.', anything else outside ASCII as '?'.
char32_t ascii_fallback(unsigned char b, char32_t shape) {
    if (shape == ' ') return ' ';
    if (b < 0x20 || b == 0x7F) return '.';
    if (shape < 0x7F) return shape;
    switch (shape) {
    case U'\u00B0': return 'o';
    case U'\u00A0': return ' ';
    case U'\u2500':
    case U'\u2501':
    case U'\u2550': return '-';
    case U'\u2502':
    case U'\u2503':
    case U'\u2551': return '|';
    default: break;
    }
    if (shape >= 0x2500 && shape <= 0x257F) return '+';
    return '?';
}

// The SGR colour of a PC foreground, for the plain text left on the terminal at the end.
std::string sgr_colour(int fg) {
    constexpr int ansi[8] = {0, 4, 2, 6, 1, 5, 3, 7}; // PC colour order to ANSI order
    return "\x1b[" + std::to_string((fg >= 8 ? 90 : 30) + ansi[fg & 7]) + "m";
}

} // namespace

char32_t terminal_glyph(unsigned char b, bool utf8) {
    char32_t c = cp437(b);
    if (c < 0x20 || (c >= 0x7F && c < 0xA0)) c = ' ';
    if (!utf8) return ascii_fallback(b, c);
    if (c >= 0x80 && glyph_columns(c) != 1) return '?';
    return c;
}

std::string plain_text(const Console& con, bool utf8, bool sgr) {
    const auto blank = [&](int x, int y) {
        return terminal_glyph(cell(con, x, y).ch, utf8) == U' ';
    };
    int last_row = 0;
    for (int y = 1; y <= console_height; ++y)
        for (int x = 1; x <= console_width; ++x)
            if (!blank(x, y)) last_row = y;
    last_row = std::max(last_row, con.y - 1);

    std::string text;
    for (int y = 1; y <= last_row; ++y) {
        int end = console_width;
        while (end > 0 && blank(end, y)) --end;
        int coloured = light_grey; // the foreground the terminal writes in now
        for (int x = 1; x <= end; ++x) {
            const Cell c = cell(con, x, y);
            const int fg = c.attr & 0x0F;
            if (sgr && fg != coloured) {
                text += fg == light_grey ? std::string("\x1b[0m") : sgr_colour(fg);
                coloured = fg;
            }
            const char32_t g = terminal_glyph(c.ch, utf8);
            text += utf8 ? ulo::utf8(g) : std::string(1, static_cast<char>(g));
        }
        if (coloured != light_grey) text += "\x1b[0m";
        text += "\r\n";
    }
    return text;
}

} // namespace ulo
