// The EEPROM text file's format: reading byte tokens and writing them as the device's tool does.
#include "eeprom/file.hpp"

#include <cstdio>

namespace ulo {

namespace {

constexpr char header_text[] = "ULO EEPROM Memory:";

bool is_space(char c) {
    switch (c) {
    case ' ':
    case '\t':
    case '\n':
    case '\r':
    case '\v':
    case '\f': return true;
    default: return false;
    }
}

} // namespace

int convert(signed char value) {
    if (value >= '0' && value <= '9') return value - '0';
    if (value >= 'A' && value <= 'F') return value - 'A' + 10;
    // Other tools write the digits in lower case; they are the same digits.
    if (value >= 'a' && value <= 'f') return value - 'a' + 10;
    return value;
}

namespace {

// Notes what the text's start tells: a byte-order mark, and the form of the first line break.
// A UTF-16 text shows itself by its mark, and one without a mark by its NUL bytes.
void note_form(ImageReader& reader, char c) {
    const std::uint64_t at = reader.seen++;
    if (at < sizeof reader.start) reader.start[at] = c;
    if (at == 1 &&
        ((reader.start[0] == '\xFF' && c == '\xFE') || (reader.start[0] == '\xFE' && c == '\xFF')))
        reader.flaw = LoadResult::utf16;
    if (at == 2) reader.form.bom = std::string_view(reader.start, 3) == "\xEF\xBB\xBF";
    if (c == '\0' && reader.flaw == LoadResult::loaded) reader.flaw = LoadResult::nul_bytes;
    if (!reader.line_break_seen && c == '\n') {
        reader.line_break_seen = true;
        reader.form.crlf = reader.before == '\r';
    }
    reader.before = c;
}

} // namespace

void feed(ImageReader& reader, std::string_view text) {
    for (char c : text) {
        if (reader.too_many || reader.flaw != LoadResult::loaded) return;
        note_form(reader, c);
        if (reader.flaw != LoadResult::loaded) return;
        if (is_space(c)) {
            reader.in_token = false;
            continue;
        }
        if (!reader.in_token) {
            reader.in_token = true;
            reader.in_header = !reader.header_seen;
            reader.header_seen = true;
            reader.first = 0;
            reader.second = 0;
        }
        if (reader.in_header) continue;
        if (c == 'h') {
            if (reader.i == eeprom_size) {
                // The 2049th value already makes the file wrong; nothing after it can help.
                reader.too_many = true;
                return;
            }
            int value = convert(reader.first) * 16 + convert(reader.second);
            (*reader.wert)[reader.i++] = static_cast<std::uint8_t>(value & 0xFF);
        }
        reader.first = reader.second;
        reader.second = static_cast<signed char>(c);
    }
}

bool finished(const ImageReader& reader) {
    return reader.header_seen && !reader.too_many && reader.flaw == LoadResult::loaded &&
           reader.i == eeprom_size;
}

bool parse_image(std::string_view text, Wert& wert) {
    Wert read{};
    ImageReader reader{&read};
    feed(reader, text);
    if (!finished(reader)) return false;
    wert = read;
    return true;
}

std::string format_image(const Wert& wert, TextForm form) {
    std::string text = form.bom ? "\xEF\xBB\xBF" : "";
    text += header_text;
    text.reserve(3 + sizeof header_text - 1 + eeprom_size / 8 + eeprom_size * 4);
    const char* line_break = form.crlf ? "\r\n" : "\n";
    char token[8];
    for (unsigned a = 0; a < eeprom_size; ++a) {
        if (a % 16 == 0) text += line_break;
        std::snprintf(token, sizeof token, "%02Xh ", static_cast<unsigned>(wert[a]));
        text += token;
    }
    return text;
}

std::string flaw_text(const std::string& name, LoadResult flaw) {
    return flaw == LoadResult::utf16 ? name + " is UTF-16 text: save it as ANSI or UTF-8"
                                     : name + " holds NUL bytes: it is no text file";
}

std::uint64_t digest(std::uint64_t so_far, std::string_view text) {
    for (unsigned char c : text) so_far = (so_far ^ c) * 1099511628211ull;
    return so_far;
}

} // namespace ulo
