// Fuzz target for the reader: the input is the whole content of "ulo.txt".
//
// Whatever the bytes, reading them must end in loaded or incorrect, never in a crash, a hang or
// a read outside the text (the sanitizers watch the last two). Beyond that the target checks
// what the reader promises:
// - it agrees with a second, deliberately plain reading of the same rules, written here from
//   the file format alone (no text with a NUL byte or a UTF-16 byte-order mark; split into
//   tokens, skip the first, one byte per lower-case h);
// - the text gives the same result read whole, streamed one byte at a time, and from a file;
// - an incorrect text leaves the image it was read into untouched;
// - a loaded image, written out again, has the writer's exact form and reads back the same.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include <fcntl.h>
#include <unistd.h>

#include "eeprom/file.hpp"
#include "scratch.hpp"

namespace {

using ulo::eeprom_size;
using ulo::Wert;

[[noreturn]] void broken(const char* what) {
    std::fprintf(stderr, "reader_fuzz: %s\n", what);
    std::abort();
}

#define CHECK(condition, what)                                                                     \
    do {                                                                                           \
        if (!(condition)) broken(what);                                                            \
    } while (false)

// ---- The plain reading -------------------------------------------------------------------

bool white(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

int digit_value(signed char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return c; // any other character counts with its own (signed) code
}

struct Plain {
    bool loaded = false;
    Wert image{};
};

bool utf16_marked(std::string_view text) {
    return text.starts_with("\xFF\xFE") || text.starts_with("\xFE\xFF");
}

Plain plain_reading(std::string_view text) {
    Plain result;
    // No text editor writes a NUL into a text: UTF-16, or no text at all.
    if (utf16_marked(text) || text.find('\0') != std::string_view::npos) return result;
    std::size_t pos = 0;
    auto next_token = [&](std::string_view& token) {
        while (pos < text.size() && white(text[pos])) ++pos;
        if (pos == text.size()) return false;
        const std::size_t begin = pos;
        while (pos < text.size() && !white(text[pos])) ++pos;
        token = text.substr(begin, pos - begin);
        return true;
    };
    std::string_view token;
    if (!next_token(token)) return result; // no header word: incorrect
    unsigned count = 0;                    // values found after the header, up to one too many
    while (count <= eeprom_size && next_token(token)) {
        for (std::size_t k = 0; k < token.size() && count <= eeprom_size; ++k) {
            if (token[k] != 'h') continue;
            const auto first = static_cast<signed char>(k >= 2 ? token[k - 2] : 0);
            const auto second = static_cast<signed char>(k >= 1 ? token[k - 1] : 0);
            const int value = digit_value(first) * 16 + digit_value(second);
            if (count < eeprom_size) result.image[count] = static_cast<std::uint8_t>(value & 0xFF);
            ++count;
        }
    }
    result.loaded = count == eeprom_size;
    return result;
}

// ---- The file ------------------------------------------------------------------------------

const std::string& file_path() { return ulo::fuzz::scratch_file("reader-fuzz"); }
using ulo::fuzz::write_file;

Wert filled(std::uint8_t value) {
    Wert w;
    w.fill(value);
    return w;
}

// The writer's form: the header, then 128 lines of 16 tokens "XXh ", each line begun by a
// line feed.
bool writer_form(const std::string& text, const Wert& w) {
    static const std::string header = "ULO EEPROM Memory:";
    if (text.size() != header.size() + eeprom_size / 16 + 4 * eeprom_size) return false;
    if (text.compare(0, header.size(), header) != 0) return false;
    static const char hex[] = "0123456789ABCDEF";
    std::size_t at = header.size();
    for (unsigned a = 0; a < eeprom_size; ++a) {
        if (a % 16 == 0 && text[at++] != '\n') return false;
        if (text[at] != hex[w[a] >> 4] || text[at + 1] != hex[w[a] & 15] || text[at + 2] != 'h' ||
            text[at + 3] != ' ')
            return false;
        at += 4;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const Plain expected = plain_reading(text);

    // Read whole, straight from the fuzzer's buffer, so any read past its end is caught.
    Wert whole = filled(0x5A);
    const bool loaded = ulo::parse_image(text, whole);
    CHECK(loaded == expected.loaded, "the reader and the plain reading disagree on loading");
    if (loaded)
        CHECK(whole == expected.image, "the reader and the plain reading give different bytes");
    else
        CHECK(whole == filled(0x5A), "an incorrect text changed the image");

    // Streamed one byte at a time: a token split anywhere reads as the same token.
    Wert streamed{};
    ulo::ImageReader reader{&streamed};
    for (std::size_t k = 0; k < size; ++k) ulo::feed(reader, text.substr(k, 1));
    CHECK(ulo::finished(reader) == loaded, "streaming byte by byte changes the result");
    if (loaded) CHECK(streamed == whole, "streaming byte by byte changes the bytes");

    // From a file, as the program reads it.
    const std::string& path = file_path();
    write_file(path, text);
    Wert from_file = filled(0xA5);
    const ulo::LoadResult result = ulo::load_image(path, from_file);
    if (loaded)
        CHECK(result == ulo::LoadResult::loaded, "the file does not load, the text does");
    else if (utf16_marked(text))
        CHECK(result == ulo::LoadResult::utf16, "a UTF-16 file is not told as one");
    else
        CHECK(result == ulo::LoadResult::incorrect || result == ulo::LoadResult::nul_bytes,
              "loading the file gives another result than reading the text");
    if (loaded)
        CHECK(from_file == whole, "loading the file gives other bytes than reading the text");
    else
        CHECK(from_file == filled(0xA5), "an incorrect file changed the image");

    // What was loaded is written in the exact form and reads back unchanged.
    if (loaded) {
        const std::string again = ulo::format_image(whole);
        CHECK(writer_form(again, whole), "the writer's text is not in its exact form");
        Wert reread{};
        CHECK(ulo::parse_image(again, reread) && reread == whole,
              "a written image does not read back the same");
        // In the form of a file from Windows, with CR LF and a byte-order mark, too.
        const std::string windows = ulo::format_image(whole, {true, true});
        reread = Wert{};
        CHECK(ulo::parse_image(windows, reread) && reread == whole,
              "a written image in CR LF form does not read back the same");
    }
    return 0;
}
