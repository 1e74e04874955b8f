// The EEPROM text file "ulo.txt": a header word, then 2048 byte tokens "%02Xh ".
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "eeprom/image.hpp"

namespace ulo {

// incorrect: not 2048 byte tokens after the first word; utf16: the text begins with a UTF-16
// byte-order mark (Notepad's "Unicode", PowerShell 5.1's ">"); nul_bytes: it holds a NUL byte,
// which no text editor writes into a text file; busy: another ulocfg run is saving the file.
enum class LoadResult { loaded, cannot_open, incorrect, utf16, nul_bytes, busy };
// busy: another ulocfg run is saving the file; changed: it no longer holds what was read.
enum class SaveResult { saved, cannot_open, cannot_write, busy, changed };

// How a file writes its line breaks and whether it begins with a UTF-8 byte-order mark: a save
// keeps both, so that a file kept with Windows line breaks stays so.
struct TextForm {
    bool crlf = false;
    bool bom = false;
    bool operator==(const TextForm&) const = default;
};

// The value of a hexadecimal digit character: '0'..'9' give 0..9, 'A'..'F' give 10..15; any
// other character gives its own code read as a signed 8-bit number ('a' gives 97).
int convert(signed char value);

// Streams a file's text through the reader's rules. The first token is skipped; every later
// lower-case 'h' stores the two characters before it as one byte.
// The text may arrive in pieces of any size; only the two characters before the current one
// are kept, so a token of any length obeys the same rules in bounded memory.
struct ImageReader {
    Wert* wert;
    unsigned i = 0; // bytes stored so far, also the address of the next one
    bool in_token = false;
    bool header_seen = false; // the first token has started
    bool in_header = false;   // inside the first token, which is skipped whole
    bool too_many = false;    // a 2049th byte was found; the rest of the text is ignored
    LoadResult flaw = LoadResult::loaded; // utf16 or nul_bytes once the text shows it
    std::uint64_t seen = 0;               // characters fed so far
    TextForm form{};                      // as the text's start shows it
    bool line_break_seen = false;         // the first line break has told the form
    char before = 0;                      // the character fed last
    char start[3] = {};                   // the text's first three characters
    // The two characters before the current one within its token (first is the farther one);
    // positions before the token's start count as code 0.
    signed char first = 0, second = 0;
};
void feed(ImageReader& reader, std::string_view text);
// True when the text gave exactly 2048 bytes after its first token.
bool finished(const ImageReader& reader);

// Reads an image from a file's text as `read_through` hands it over: it calls its argument
// with each piece in turn, stops where that returns false, and returns false when the file
// could not be read, which makes it as unusable as one that did not open. wert is changed only
// on loaded.
// `form`, when given, receives how the text wrote its lines.
template <typename ReadThrough>
LoadResult read_image(ReadThrough read_through, Wert& wert, TextForm* form = nullptr) {
    Wert read{};
    ImageReader reader{&read};
    const bool whole = read_through([&](std::string_view piece) {
        feed(reader, piece);
        return !reader.too_many && reader.flaw == LoadResult::loaded;
    });
    if (!whole) return LoadResult::cannot_open;
    if (reader.flaw != LoadResult::loaded) return reader.flaw;
    if (!finished(reader)) return LoadResult::incorrect;
    wert = read;
    if (form) *form = reader.form;
    return LoadResult::loaded;
}

// The whole reader for text held in memory. wert is changed only when the text is correct.
bool parse_image(std::string_view text, Wert& wert);

// What a file held when it was read, and which file it was, so that a save writes that file and
// no other, and can tell whether someone else has written it since. The text is kept as its
// length and a 64-bit FNV-1a digest, so that a file of any length is read in bounded memory.
// `place` holds the file's folder open and its name there: a name given as a symbolic link is
// followed once, when the file is read, and never again.
struct Place; // disk.hpp
struct FileState {
    std::uint64_t size = 0, digest = 0;
    std::uint64_t device = 0, inode = 0;
    bool existed = false; // there was a file at the place when it was found
    TextForm form;        // how the file wrote its lines
    std::shared_ptr<const Place> place;
};
constexpr std::uint64_t digest_start = 14695981039346656037ull;
std::uint64_t digest(std::uint64_t so_far, std::string_view text);

// Reads the file in chunks; wert is changed only on loaded. Anything that is not a regular
// file, or that fails while being read, counts as cannot_open. With `seen`, what was read and
// where.
// On cannot_open, `error` (when given) receives the system's code for why, for error_text.
// plain: a plain file only (a pipe or a device is refused at once), as the editor and the
// commands that write need; stream: anything readable, "-" for standard input, as the
// commands that only read take; for_saving: a plain file, read under the save lock, which
// `seen` then holds until the save (or the end of the last copy of `seen`), so that no other
// ulocfg run writes the file in between.
enum class Reading { plain, stream, for_saving };
LoadResult load_image(const std::string& path, Wert& wert, FileState* seen = nullptr,
                      int* error = nullptr, Reading reading = Reading::plain);

// Why a text is no image, for utf16 and nul_bytes: "ulo.txt is UTF-16 text: save it as ANSI
// or UTF-8".
std::string flaw_text(const std::string& name, LoadResult flaw);
// Whether a path names standard input ("-"), a pipe or a device rather than a file.
bool is_stream(const std::string& path);

// Why an operation on a file failed, in the system's words: "No such file or directory".
std::string error_text(int error);

// How the file at the place differs from what was read: other bytes (whatever file holds
// them: editors save by renaming a new file into place), no file at all, or something other
// than a plain file in its place (a symbolic link put there or changed). A file written again
// with the same bytes has not changed. When the folder the path named is another folder now
// (the one read was moved away), the file at the path is told as replaced, or as removed
// when there is none.
enum class FileChange { none, changed, removed, replaced };
FileChange file_change(const FileState& seen);
// Where a save puts the file when its folder has moved since it was read ("old/ulo.txt"); ""
// when it is still at the path the user gave.
std::string moved_to(const FileState& seen);

// The file exactly as the writer produces it: LF line breaks and no byte-order mark, unless
// the form says otherwise.
std::string format_image(const Wert& wert, TextForm form = {});

// Saves the image into the file that was read, at its place, and nowhere else. Normally a new
// file is written beside the old one, synced and renamed over it, with the old one's
// permissions, owner and group. The old file is written in place instead when it has other
// hard links, extended attributes or an access list a new file would not carry, when its owner
// or group cannot be given to a new file, or when no new file can be made in its folder. In
// place, the new text is written over the old (padded with spaces to the old length, so that
// the file loads as the old or the new image at every moment), synced, cut to length, read
// back and compared; on any failure the old text is written back. When something other than
// the file read is at its name now (the user has been asked), a new file takes the name:
// a symbolic link there is replaced, never written through.
// The text keeps the form the file had. A save holds the folder's save lock, waiting a few
// seconds for another ulocfg run that holds it (busy after that).
// With `change` given, the file is first compared with what was read, under the lock: when
// it differs, nothing is written, *change says how, and the result is changed.
// cannot_open: the file may not be written, or no file can be made at its place;
// cannot_write: writing failed and the old file is kept. On failure, `error` (when given)
// receives the system's code for why.
SaveResult save_image(const FileState& seen, const Wert& wert, int* error = nullptr,
                      FileChange* change = nullptr);
// Saves to `path` as it is now: a symbolic link there names the file to write.
SaveResult save_image(const std::string& path, const Wert& wert);

// Keeps an image that could not be saved: writes it in the file format to a new file, readable
// by its owner alone, named "<name>.rescue-YYYYMMDD-HHMMSS-XXXXXX" (local time and a random
// part), beside the file that was read, or in $TMPDIR (else /tmp) when its folder refuses; a
// name too long for its folder is shortened. Never writes over an existing file. The name
// written, or "" if none could be.
std::string save_rescue(const FileState& seen, const Wert& wert);

} // namespace ulo
