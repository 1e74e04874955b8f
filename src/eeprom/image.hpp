// The EEPROM image: the 2048 bytes of the device's configuration memory.
//
// The device keeps its configuration in a 2048-byte EEPROM: this is the memory and how its bytes
// are read and written. What each byte means is the parameter table's
// (params.hpp).
#pragma once

#include <array>
#include <cassert>
#include <cstdint>

namespace ulo {

constexpr unsigned eeprom_size = 2048;

// `wert`: one entry per EEPROM byte, address a at index a.
using Wert = std::array<std::uint8_t, eeprom_size>;

// ---- Raw access ------------------------------------------------------------------------

inline unsigned byte(const Wert& wert, unsigned address) {
    assert(address < eeprom_size);
    return wert[address];
}
// Every stored value is reduced to its low 8 bits, so -1 is kept as 255.
inline void set_byte(Wert& wert, unsigned address, unsigned value) {
    assert(address < eeprom_size);
    wert[address] = static_cast<std::uint8_t>(value & 0xFFu);
}

// ---- Regions -------------------------------------------------------------------------
// Where each parameter lies is in the parameter table (params.hpp); these are the regions it
// places them in.

constexpr unsigned wheel_count = 25;       // configurations n = 0..24, shown as 1..25
constexpr unsigned ramp_table_points = 99; // ramp points r = 1..99
constexpr unsigned wheel_name_length = 16;

// Byte `offset` (0..15) of the wheel record of configuration n.
constexpr unsigned record_address(unsigned n, unsigned offset) { return 64 + 16 * n + offset; }
// Character p (1..16) of the wheel name of configuration n.
constexpr unsigned name_address(unsigned n, unsigned p) { return 1023 + 16 * n + p; }

inline unsigned name_char(const Wert& w, unsigned n, unsigned p) {
    assert(n < wheel_count && p >= 1 && p <= wheel_name_length);
    return byte(w, name_address(n, p));
}
inline void set_name_char(Wert& w, unsigned n, unsigned p, unsigned c) {
    assert(n < wheel_count && p >= 1 && p <= wheel_name_length);
    set_byte(w, name_address(n, p), c);
}

} // namespace ulo
