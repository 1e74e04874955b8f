#include "console/glyphs.hpp"

#include <wchar.h>

namespace ulo {

// The C library's width table, as the locale has it.
bool one_column(char32_t c) { return ::wcwidth(static_cast<wchar_t>(c)) == 1; }

} // namespace ulo
