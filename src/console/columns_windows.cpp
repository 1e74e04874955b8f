// How wide the console shows a character. Windows has no width table to ask: a console cell
// takes every character of the code page 437 set, and only the wide characters of East Asian
// scripts take two.
#include "console/glyphs.hpp"

namespace ulo {

int glyph_columns(char32_t c) {
    const bool wide =
        c >= 0x1100 && (c <= 0x115F || (c >= 0x2E80 && c <= 0xA4CF) ||
                        (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
                        (c >= 0xFF00 && c <= 0xFF60) || (c >= 0xFFE0 && c <= 0xFFE6));
    return wide ? 2 : 1;
}

} // namespace ulo
