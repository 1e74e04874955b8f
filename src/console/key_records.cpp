// Key records to PC key codes. The console reports each key by its virtual key code and scan
// code with the modifiers held, and the character it types: cursor, editing and function keys
// are taken by their virtual key, Alt with a character key by the key's position (its scan
// code, as the PC's Alt codes are), and everything else by the character typed.
#include "console/key_records.hpp"

namespace ulo {
namespace {

constexpr int ext(int second) { return 256 + second; }

// Virtual key codes the mapping needs.
constexpr unsigned short vk_back = 0x08;
constexpr unsigned short vk_tab = 0x09;
constexpr unsigned short vk_return = 0x0D;
constexpr unsigned short vk_escape = 0x1B;
constexpr unsigned short vk_space = 0x20;
constexpr unsigned short vk_2 = '2';

// A cursor, editing or function key: its virtual key code and its codes alone and with
// Shift, Ctrl or Alt.
struct ExtendedKey {
    unsigned short vk;
    int plain, shift, ctrl, alt;
};

constexpr ExtendedKey extended_keys[] = {
    {0x21, ext(73), ext(73), ext(132), ext(153)},   // Page Up
    {0x22, ext(81), ext(81), ext(118), ext(161)},   // Page Down
    {0x23, ext(79), ext(79), ext(117), ext(159)},   // End
    {0x24, ext(71), ext(71), ext(119), ext(151)},   // Home
    {0x25, ext(75), ext(75), ext(115), ext(155)},   // Left
    {0x26, ext(72), ext(72), ext(141), ext(152)},   // Up
    {0x27, ext(77), ext(77), ext(116), ext(157)},   // Right
    {0x28, ext(80), ext(80), ext(145), ext(160)},   // Down
    {0x2D, ext(82), ext(82), ext(146), ext(162)},   // Insert
    {0x2E, ext(83), ext(83), ext(147), ext(163)},   // Delete
    {0x70, ext(59), ext(84), ext(94), ext(104)},    // F1
    {0x71, ext(60), ext(85), ext(95), ext(105)},    // F2
    {0x72, ext(61), ext(86), ext(96), ext(106)},    // F3
    {0x73, ext(62), ext(87), ext(97), ext(107)},    // F4
    {0x74, ext(63), ext(88), ext(98), ext(108)},    // F5
    {0x75, ext(64), ext(89), ext(99), ext(109)},    // F6
    {0x76, ext(65), ext(90), ext(100), ext(110)},   // F7
    {0x77, ext(66), ext(91), ext(101), ext(111)},   // F8
    {0x78, ext(67), ext(92), ext(102), ext(112)},   // F9
    {0x79, ext(68), ext(93), ext(103), ext(113)},   // F10
    {0x7A, ext(133), ext(135), ext(137), ext(139)}, // F11
    {0x7B, ext(134), ext(136), ext(138), ext(140)}, // F12
};

// Alt with a character key: the PC's code is the key's scan code, 120..131 for the keys of
// the digit row (scan codes 2..13); 0 for keys Alt gives nothing with.
int alt_code(const ConsoleKey& k) {
    if (k.vk == vk_escape) return ext(1);
    if (k.vk == vk_return) return ext(28);
    if (k.vk == vk_space) return ' '; // Alt+Space is Space on the PC
    const int s = k.scan;
    if (s >= 2 && s <= 13) return ext(s + 118);
    if ((s >= 16 && s <= 27) || (s >= 30 && s <= 41) || (s >= 43 && s <= 53)) return ext(s);
    return 0;
}

// A character typed: the US keyboard's characters and controls; DEL is Backspace. A
// character of another layout, which no US key types, gives nothing.
int character_code(char32_t ch) {
    if (ch == 0x7F) return 8;
    return ch < 0x80 ? static_cast<int>(ch) : 0;
}

} // namespace

int console_key_code(const ConsoleKey& k) {
    if (!k.down) return 0;
    const bool alt = (k.state & (key_state::left_alt | key_state::right_alt)) != 0;
    const bool ctrl = (k.state & (key_state::left_ctrl | key_state::right_ctrl)) != 0;
    const bool shift = (k.state & key_state::shift) != 0;
    // AltGr is reported as the left Ctrl with the right Alt: what it types is a character.
    const bool alt_gr =
        (k.state & key_state::right_alt) != 0 && (k.state & key_state::left_ctrl) != 0;
    if (alt_gr && k.ch >= 0x20) return character_code(k.ch);
    for (const ExtendedKey& key : extended_keys)
        if (key.vk == k.vk) return alt ? key.alt : ctrl ? key.ctrl : shift ? key.shift : key.plain;
    if (k.vk == vk_tab && shift) return alt ? ext(165) : ext(15); // Shift+Tab
    if (alt) return alt_code(k);
    // Ctrl+Space and Ctrl+2 are the PC's NUL key.
    if (ctrl && (k.vk == vk_space || (k.vk == vk_2 && k.ch == 0))) return ext(3);
    // A console that reports Escape, Enter, Tab or Backspace without their character (Wine's
    // does for Escape) still means the key.
    if (k.ch == 0) {
        switch (k.vk) {
        case vk_escape: return 27;
        case vk_return: return 13;
        case vk_tab: return 9;
        case vk_back: return 8;
        default: return 0;
        }
    }
    return character_code(k.ch);
}

} // namespace ulo
