// Key records to PC key codes. The console reports each key by its virtual key code and scan
// code with the modifiers held, and the character it types: cursor, editing and function keys
// are taken by their virtual key, Alt with a character key by the key's position (its scan
// code, as the PC's Alt codes are), and everything else by the character typed. The codes
// are keycodes.hpp's, the same the terminal decoder gives.
#include "console/key_records.hpp"

#include "console/keycodes.hpp"

namespace ulo {
namespace {

using key::Codes;

// Virtual key codes the mapping needs.
constexpr unsigned short vk_back = 0x08;
constexpr unsigned short vk_tab = 0x09;
constexpr unsigned short vk_return = 0x0D;
constexpr unsigned short vk_escape = 0x1B;
constexpr unsigned short vk_space = 0x20;
constexpr unsigned short vk_2 = '2';

// A cursor, editing or function key: its virtual key code and its codes.
struct ExtendedKey {
    unsigned short vk;
    Codes codes;
};

constexpr ExtendedKey extended_keys[] = {
    {0x21, key::codes::page_up}, {0x22, key::codes::page_down}, {0x23, key::codes::end},
    {0x24, key::codes::home},    {0x25, key::codes::left},      {0x26, key::codes::up},
    {0x27, key::codes::right},   {0x28, key::codes::down},      {0x2D, key::codes::insert},
    {0x2E, key::codes::del},     {0x70, key::codes::f(1)},      {0x71, key::codes::f(2)},
    {0x72, key::codes::f(3)},    {0x73, key::codes::f(4)},      {0x74, key::codes::f(5)},
    {0x75, key::codes::f(6)},    {0x76, key::codes::f(7)},      {0x77, key::codes::f(8)},
    {0x78, key::codes::f(9)},    {0x79, key::codes::f(10)},     {0x7A, key::codes::f11},
    {0x7B, key::codes::f12},
};

// Alt with a character key: the PC's code comes from the key's scan code.
int alt_code(const ConsoleKey& k) {
    if (k.vk == vk_escape) return key::alt_escape;
    if (k.vk == vk_return) return key::alt_enter;
    if (k.vk == vk_space) return key::space; // Alt+Space is Space on the PC
    return key::alt_with_scan(k.scan);
}

// A character typed: the US keyboard's characters and controls; DEL is Backspace. A
// character of another layout, which no US key types, gives nothing.
int character_code(char32_t ch) {
    if (ch == 0x7F) return key::backspace;
    return ch < 0x80 ? static_cast<int>(ch) : 0;
}

// The code of a key with its modifiers, Alt before Ctrl before Shift.
int modified(const Codes& c, bool alt, bool ctrl, bool shift) {
    return alt ? c.alt : ctrl ? c.ctrl : shift ? c.shift : c.plain;
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
    for (const ExtendedKey& e : extended_keys)
        if (e.vk == k.vk) return modified(e.codes, alt, ctrl, shift);
    if (k.vk == vk_tab && shift) return alt ? key::codes::back_tab.alt : key::codes::back_tab.plain;
    if (alt) return alt_code(k);
    // Ctrl+Space and Ctrl+2 are the PC's NUL key.
    if (ctrl && (k.vk == vk_space || (k.vk == vk_2 && k.ch == 0))) return key::nul;
    // A console that reports Escape, Enter, Tab or Backspace without their character (Wine's
    // does for Escape) still means the key.
    if (k.ch == 0) {
        switch (k.vk) {
        case vk_escape: return key::escape;
        case vk_return: return key::enter;
        case vk_tab: return key::tab;
        case vk_back: return key::backspace;
        default: return 0;
        }
    }
    return character_code(k.ch);
}

} // namespace ulo
