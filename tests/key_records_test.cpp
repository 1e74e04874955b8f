#include "console/key_records.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console/keycodes.hpp"
#include "console/keys.hpp"

namespace ulo {
namespace {

using namespace key_state;

// One key as the Windows console reports it, the bytes an xterm sends for the same key (""
// where the cases have none), and the code the editor must get from both.
struct RecordCase {
    const char* what;
    ConsoleKey record;
    std::string xterm;
    int code;
};

ConsoleKey press(unsigned short vk, unsigned short scan, char32_t ch, unsigned state = 0) {
    return {true, vk, scan, ch, state};
}

const RecordCase record_cases[] = {
    {"a", press('A', 30, 'a'), "a", 'a'},
    {"Shift+a", press('A', 30, 'A', shift), "A", 'A'},
    {"7", press('7', 8, '7'), "7", '7'},
    {"minus", press(0xBD, 12, '-'), "-", key::minus},
    {"keypad 7 with Num Lock", press(0x67, 71, '7'), "7", '7'},
    {"Escape", press(0x1B, 1, 0x1B), "\x1b", key::escape},
    {"Escape without its character", press(0x1B, 1, 0), "", key::escape},
    {"Enter", press(0x0D, 28, '\r'), "\r", key::enter},
    {"Backspace", press(0x08, 14, 0x08), "\x7f", key::backspace},
    {"Tab", press(0x09, 15, '\t'), "\t", 9},
    {"Shift+Tab", press(0x09, 15, 0, shift), "\x1b[Z", 256 + 15},
    {"Space", press(0x20, 57, ' '), " ", key::space},
    {"Ctrl+C", press('C', 46, 3, left_ctrl), "\x03", 3},
    {"Ctrl+Space", press(0x20, 57, ' ', right_ctrl), std::string(1, '\0'), 256 + 3},
    {"Page Up", press(0x21, 73, 0), "\x1b[5~", key::page_up},
    {"Page Down", press(0x22, 81, 0), "\x1b[6~", key::page_down},
    {"Home", press(0x24, 71, 0), "\x1b[1~", key::home},
    {"End", press(0x23, 79, 0), "\x1b[4~", key::end},
    {"Up", press(0x26, 72, 0), "\x1b[A", key::up},
    {"Down", press(0x28, 80, 0), "\x1b[B", key::down},
    {"Left", press(0x25, 75, 0), "\x1b[D", key::left},
    {"Right", press(0x27, 77, 0), "\x1b[C", key::right},
    {"Insert", press(0x2D, 82, 0), "\x1b[2~", key::insert},
    {"Delete", press(0x2E, 83, 0), "\x1b[3~", key::del},
    {"F1", press(0x70, 59, 0), "\x1bOP", key::f1},
    {"F10", press(0x79, 68, 0), "\x1b[21~", 256 + 68},
    {"F12", press(0x7B, 88, 0), "\x1b[24~", 256 + 134},
    {"Shift+F1", press(0x70, 59, 0, shift), "\x1b[1;2P", 256 + 84},
    {"Ctrl+Up", press(0x26, 72, 0, right_ctrl), "\x1b[1;5A", 256 + 141},
    {"Alt+Page Down", press(0x22, 81, 0, left_alt), "\x1b[6;3~", 256 + 161},
    {"Alt+X", press('X', 45, 'x', left_alt), "\x1bx", key::alt_x},
    {"Alt+Shift+X", press('X', 45, 'X', left_alt | shift), "\x1bX", key::alt_x},
    {"right Alt+X on a US keyboard", press('X', 45, 'x', right_alt), "\x1bx", key::alt_x},
    {"Ctrl+Alt+X", press('X', 45, 0, left_ctrl | left_alt), "", key::alt_x},
    {"Alt+7", press('7', 8, '7', left_alt),
     "\x1b"
     "7",
     key::alt_7},
    {"Alt+8", press('8', 9, '8', left_alt),
     "\x1b"
     "8",
     key::alt_8},
    {"Alt+9", press('9', 10, '9', left_alt),
     "\x1b"
     "9",
     key::alt_9},
    {"Alt+0", press('0', 11, '0', left_alt),
     "\x1b"
     "0",
     key::alt_0},
    {"Alt+Enter", press(0x0D, 28, '\r', left_alt), "\x1b\r", 256 + 28},
    {"Alt+Escape", press(0x1B, 1, 0x1B, left_alt), "\x1b\x1b", key::alt_escape},
    {"Alt+Space", press(0x20, 57, ' ', left_alt), "\x1b ", key::space},
    // AltGr (the left Ctrl with the right Alt): a German keyboard's @ is AltGr+Q, its \ is
    // AltGr+ß.
    {"AltGr+Q", press('Q', 16, '@', left_ctrl | right_alt), "@", '@'},
    {"AltGr+sharp s", press(0xDB, 12, '\\', left_ctrl | right_alt), "\\", '\\'},
    {"a character no US key types", press(0xDE, 40, U'\u00e4'), "", 0},
    {"Alt alone", press(0x12, 56, 0, left_alt), "", 0},
    {"Shift alone", press(0x10, 42, 0, shift), "", 0},
    {"Ctrl alone", press(0x11, 29, 0, left_ctrl), "", 0},
    {"a released", {false, 'A', 30, 'a', 0}, "", 0},
    {"Escape released", {false, 0x1B, 1, 0x1B, 0}, "", 0},
};

TEST(KeyRecords, GiveTheCodesTheTerminalDecoderGives) {
    for (const RecordCase& c : record_cases) {
        EXPECT_EQ(console_key_code(c.record), c.code) << c.what;
        if (c.xterm.empty()) continue;
        KeyDecoder decoder;
        std::vector<int> codes = decode_keys(decoder, c.xterm, false);
        const std::vector<int> rest = decode_keys(decoder, "", true);
        codes.insert(codes.end(), rest.begin(), rest.end());
        EXPECT_EQ(codes, std::vector<int>{c.code}) << c.what << " from a terminal";
    }
}

} // namespace
} // namespace ulo
