// The EEPROM text file "ulo.txt": a header word, then 2048 byte tokens "%02Xh ".
#pragma once

#include <string>
#include <string_view>

#include "eeprom/image.hpp"

namespace ulo {

enum class LoadResult { loaded, cannot_open, incorrect };
enum class SaveResult { saved, cannot_open, cannot_write };

// The value of a hexadecimal digit character: '0'..'9' give 0..9, 'A'..'F' give 10..15; any
// other character gives its own code read as a signed 8-bit number ('a' gives 97).
int convert(signed char value);

// Streams a file's text through the reader's rules. The first token is skipped; every later
// lower-case 'h' stores the two characters before it as one byte.
// The text may arrive in pieces of any size; only the two characters before the current one
// are kept, so a token of any length obeys the same rules in bounded memory.
struct ImageReader {
    Wert* wert;
    unsigned i = 0;              // bytes stored so far, also the address of the next one
    bool in_token = false;
    bool header_seen = false;    // the first token has started
    bool in_header = false;      // inside the first token, which is skipped whole
    bool too_many = false;       // a 2049th byte was found; the rest of the text is ignored
    // The two characters before the current one within its token (first is the farther one);
    // positions before the token's start count as code 0.
    signed char first = 0, second = 0;
};
void feed(ImageReader& reader, std::string_view text);
// True when the text gave exactly 2048 bytes after its first token.
bool finished(const ImageReader& reader);

// The whole reader for text held in memory. wert is changed only when the text is correct.
bool parse_image(std::string_view text, Wert& wert);
// Reads the file in chunks; wert is changed only on loaded. Anything that is not a regular
// file, or that fails while being read, counts as cannot_open.
LoadResult load_image(const std::string& path, Wert& wert);

// The file exactly as the writer produces it.
std::string format_image(const Wert& wert);
// Replaces the file atomically: the old file stays whole unless the new one is complete.
// cannot_open: the file (or the file a symbolic link names) may not be written, or no new
// file can be made beside it; cannot_write: writing the new file failed, the old one is kept.
SaveResult save_image(const std::string& path, const Wert& wert);

} // namespace ulo
