// Limits of the CAN identifier fields (38-41). Anything that checks CAN bytes uses these.
#pragma once

namespace ulo {

// Each of the four bytes takes any value 00..FF; the first byte is not held to the 29 bits
// of the identifier.
constexpr unsigned can_byte_max = 0xFF;
constexpr unsigned can_digit_base = 16; // bytes are typed in hexadecimal

} // namespace ulo
