#include "console/glyphs.hpp"

namespace ulo {

// A Windows console gives every character of the code page 437 set one cell, and Windows has
// no width table to ask; the wide characters of East Asian scripts never reach here.
bool one_column(char32_t c) {
    return !(c >= 0x1100 && (c <= 0x115F || (c >= 0x2E80 && c <= 0xA4CF) ||
                             (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
                             (c >= 0xFF00 && c <= 0xFF60) || (c >= 0xFFE0 && c <= 0xFFE6)));
}

} // namespace ulo
