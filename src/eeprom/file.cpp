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

void feed(ImageReader& reader, std::string_view text) {
    for (char c : text) {
        if (reader.too_many) return;
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
    return reader.header_seen && !reader.too_many && reader.i == eeprom_size;
}

bool parse_image(std::string_view text, Wert& wert) {
    Wert read{};
    ImageReader reader{&read};
    feed(reader, text);
    if (!finished(reader)) return false;
    wert = read;
    return true;
}

std::string format_image(const Wert& wert) {
    std::string text = header_text;
    text.reserve(sizeof header_text - 1 + eeprom_size / 16 + eeprom_size * 4);
    char token[8];
    for (unsigned a = 0; a < eeprom_size; ++a) {
        if (a % 16 == 0) text += '\n';
        std::snprintf(token, sizeof token, "%02Xh ", static_cast<unsigned>(wert[a]));
        text += token;
    }
    return text;
}

std::uint64_t digest(std::uint64_t so_far, std::string_view text) {
    for (unsigned char c : text) so_far = (so_far ^ c) * 1099511628211ull;
    return so_far;
}

} // namespace ulo
