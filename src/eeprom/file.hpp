// The EEPROM text file "ulo.txt": a header word, then 2048 byte tokens "%02Xh ".
#pragma once

#include <cstdint>
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

// What a file held when it was read, and which file it was: so that a save can tell whether
// someone else has written it since. The text is kept as its length and a 64-bit FNV-1a digest,
// so that a file of any length is read in bounded memory.
struct FileState {
    std::uint64_t size = 0, digest = 0;
    std::uint64_t device = 0, inode = 0;
};
constexpr std::uint64_t digest_start = 14695981039346656037ull;
std::uint64_t digest(std::uint64_t so_far, std::string_view text);
// How the file at a path differs from what was read: other bytes, no file at all, or another
// file in its place (a save by renaming a new file over it). A file written again with the
// same bytes has not changed.
enum class FileChange { none, changed, removed, replaced };
FileChange file_change(const std::string& path, const FileState& seen);

// Reads the file in chunks; wert is changed only on loaded. Anything that is not a regular
// file, or that fails while being read, counts as cannot_open. With `seen`, what was read.
LoadResult load_image(const std::string& path, Wert& wert, FileState* seen = nullptr);

// The file exactly as the writer produces it.
std::string format_image(const Wert& wert);
// Saves the image. Normally a new file is written beside the old one, synced and renamed over
// it, with the old one's permissions, owner and group. The old file is written in place
// instead when it has other hard links, when its owner or group cannot be given to a new file,
// or when no new file can be made in its folder; in place the new text is written whole,
// synced, read back and compared, and on any failure the old text is written back.
// cannot_open: the file (or the file a symbolic link names) may not be written, or, when it
// does not exist, cannot be made; cannot_write: writing failed and the old file is kept.
SaveResult save_image(const std::string& path, const Wert& wert);

// Keeps an image that could not be saved: writes it in the file format to a new file named
// "<path>.rescue-YYYYMMDD-HHMMSS" (local time; "-2", "-3", ... appended when that exists),
// beside the file, or in $TMPDIR (else /tmp) under the file's base name when its folder
// refuses. Never writes over an existing file. The name written, or "" if none could be.
std::string save_rescue(const std::string& path, const Wert& wert);

} // namespace ulo
