// PC key codes from the key records a Windows console delivers: the key's virtual key code,
// its scan code (the PC keyboard's own), the character it types and the modifiers held. The
// codes are those the terminal decoder gives for the same keys on Linux.
#pragma once

namespace ulo {

// The modifiers held with a key, as the console reports them.
namespace key_state {
constexpr unsigned right_alt = 0x0001;
constexpr unsigned left_alt = 0x0002;
constexpr unsigned right_ctrl = 0x0004;
constexpr unsigned left_ctrl = 0x0008;
constexpr unsigned shift = 0x0010;
} // namespace key_state

struct ConsoleKey {
    bool down = true;        // pressed, not released
    unsigned short vk = 0;   // the virtual key code
    unsigned short scan = 0; // the scan code
    char32_t ch = 0;         // the character typed, 0 for none
    unsigned state = 0;      // key_state bits
};

// The key code of a record: 1..255 for a character, 256 + the PC's second code for an
// extended key, 0 for a record that is no key of the program's (a release, a modifier alone,
// a character no US key types).
int console_key_code(const ConsoleKey& k);

} // namespace ulo
