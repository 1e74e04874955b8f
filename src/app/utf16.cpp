#include "app/utf16.hpp"

#include <cstdint>
#include <cstdio>

namespace ulo {

namespace {

void append_utf8(std::string& out, std::uint32_t c) {
    const auto put = [&](std::uint32_t byte) { out += static_cast<char>(byte); };
    if (c < 0x80) {
        put(c);
    } else if (c < 0x800) {
        put(0xC0 | c >> 6);
        put(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        put(0xE0 | c >> 12);
        put(0x80 | (c >> 6 & 0x3F));
        put(0x80 | (c & 0x3F));
    } else {
        put(0xF0 | c >> 18);
        put(0x80 | (c >> 12 & 0x3F));
        put(0x80 | (c >> 6 & 0x3F));
        put(0x80 | (c & 0x3F));
    }
}

std::string hex4(std::uint32_t unit) {
    char text[8];
    std::snprintf(text, sizeof text, "%04X", static_cast<unsigned>(unit));
    return text;
}

} // namespace

bool utf16_marked(std::string_view text) {
    return text.starts_with("\xFF\xFE") || text.starts_with("\xFE\xFF");
}

bool utf16_to_utf8(std::string_view text, std::string& utf8, std::string& why) {
    const bool little = text.starts_with("\xFF\xFE");
    text.remove_prefix(2);
    utf8.clear();
    if (text.size() % 2 != 0) {
        why = "its UTF-16 text has an odd number of bytes";
        return false;
    }
    utf8.reserve(text.size() / 2);
    const auto unit = [&](std::size_t k) -> std::uint32_t {
        const std::uint32_t first = static_cast<unsigned char>(text[k]),
                            second = static_cast<unsigned char>(text[k + 1]);
        return little ? first | second << 8 : first << 8 | second;
    };
    unsigned line = 1;
    for (std::size_t k = 0; k < text.size(); k += 2) {
        std::uint32_t c = unit(k);
        if (c >= 0xD800 && c <= 0xDFFF) {
            // A high surrogate and the low one after it make one character beyond FFFF.
            const std::uint32_t next = k + 2 < text.size() ? unit(k + 2) : 0;
            if (c >= 0xDC00 || next < 0xDC00 || next > 0xDFFF) {
                why = "its UTF-16 text holds a lone surrogate (" + hex4(c) + ") in line " +
                      std::to_string(line);
                return false;
            }
            c = 0x10000 + ((c - 0xD800) << 10) + (next - 0xDC00);
            k += 2;
        }
        if (c == '\n') ++line;
        append_utf8(utf8, c);
    }
    return true;
}

} // namespace ulo
