// Parameter files in UTF-16: what Windows tools write as "Unicode" text (PowerShell 5.1's >,
// Notepad's "Unicode"), read as the UTF-8 the program takes names and values in.
#pragma once

#include <string>
#include <string_view>

namespace ulo {

// True for text that starts with a UTF-16 byte-order mark: FF FE (little-endian) or FE FF
// (big-endian).
bool utf16_marked(std::string_view text);

// Such text, after its mark, as UTF-8 in `utf8`. False for UTF-16 that is no text, with `why`
// saying what is wrong: "its UTF-16 text has an odd number of bytes", "... holds a lone
// surrogate (DC00) in line 3".
bool utf16_to_utf8(std::string_view text, std::string& utf8, std::string& why);

} // namespace ulo
