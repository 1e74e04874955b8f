// How wide the terminal's locale shows a character.
#include "console/glyphs.hpp"

#include <wchar.h>

namespace ulo {

int glyph_columns(char32_t c) { return ::wcwidth(static_cast<wchar_t>(c)); }

} // namespace ulo
