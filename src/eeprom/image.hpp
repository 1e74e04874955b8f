// The EEPROM image and the one map of what each of its bytes means.
//
// The device keeps its configuration in a 2048-byte EEPROM. This header is the only place
// that knows addresses, widths, bit layouts, signedness and the conversions to the units
// the screen shows; everything else names parameters through the accessors below.
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
// A byte pair: low byte at the lower address, value = high * 256 + low, unsigned.
inline unsigned pair(const Wert& wert, unsigned low) {
    return byte(wert, low + 1) * 256u + byte(wert, low);
}
inline void set_pair(Wert& wert, unsigned low, unsigned value) {
    set_byte(wert, low, value & 0xFFu);
    set_byte(wert, low + 1, (value >> 8) & 0xFFu);
}
inline int signed_byte(const Wert& wert, unsigned address) {
    return static_cast<std::int8_t>(byte(wert, address));
}
// The high nibble read as a 4-bit two's complement number, -8..7.
inline int signed_high_nibble(const Wert& wert, unsigned address) {
    return static_cast<std::int8_t>(byte(wert, address) & 0xF0u) >> 4;
}
// Stores g in the high nibble; the low nibble stays.
inline void set_signed_high_nibble(Wert& wert, unsigned address, int g) {
    set_byte(wert, address, (byte(wert, address) & 0x0Fu) + 16u * static_cast<unsigned>(g & 0x0F));
}

// ---- Addresses -------------------------------------------------------------------------

constexpr unsigned wheel_count = 25;      // configurations n = 0..24, shown as 1..25
constexpr unsigned ramp_table_points = 99; // ramp points r = 1..99

// Byte `offset` (0..15) of the wheel record of configuration n.
constexpr unsigned record_address(unsigned n, unsigned offset) { return 64 + 16 * n + offset; }
// Character p (1..16) of the wheel name of configuration n.
constexpr unsigned name_address(unsigned n, unsigned p) { return 1023 + 16 * n + p; }
// Low bytes of the speed and the time of ramp point r; the high byte follows.
constexpr unsigned ramp_speed_address(unsigned r) { return 510 + 2 * r; }
constexpr unsigned ramp_time_address(unsigned r) { return 708 + 2 * r; }

namespace addr {
// Table A: general settings.
constexpr unsigned last_menu = 0;
constexpr unsigned brightness = 1;
constexpr unsigned contrast = 2;
constexpr unsigned wheel_select = 3;
constexpr unsigned ramp_points = 4;
constexpr unsigned max_poti_speed = 5;  // pair 5/6
constexpr unsigned edit_mode_bit = 7;   // bit 0
constexpr unsigned lis_inversion = 8;
constexpr unsigned lis_upper_threshold = 9;  // pair 9/10
constexpr unsigned lis_lower_threshold = 11; // pair 11/12
constexpr unsigned tdc_cyl = 13;
constexpr unsigned kickdown_threshold = 14;    // pair 14/15
constexpr unsigned first_high_frequency = 16;  // pair 16/17
constexpr unsigned second_high_frequency = 18; // pair 18/19
constexpr unsigned vss_pulses_per_km = 32;     // pair 32/33
constexpr unsigned vss_pulse_width = 34;       // pair 34/35
constexpr unsigned aux_speed_pulses = 36;      // pair 36/37
constexpr unsigned aux_speed_pulse_width = 38; // pair 38/39

// Table B: offsets within a wheel record.
constexpr unsigned wheel_flags = 0; // cylinders (bits 0-4) and three flag bits
constexpr unsigned tdc_width = 1;
constexpr unsigned crank_pulses = 2;
constexpr unsigned crank_offset = 3; // pair +3/+4
constexpr unsigned gap_phase = 5;    // pair +5/+6
constexpr unsigned crank_width = 7;
constexpr unsigned gaps = 8; // gap_pulses (high nibble, signed) and gap_count (low nibble)
constexpr unsigned cam_pulses = 9;
constexpr unsigned cam_offset = 10; // pair +10/+11
constexpr unsigned sync_phase = 12; // pair +12/+13
constexpr unsigned cam_width = 14;
constexpr unsigned sync_pulses = 15;

// Table D: the CAN identifier, least significant byte first.
constexpr unsigned can_id = 1536; // 1536..1539
} // namespace addr

// Bits of record byte +0.
constexpr unsigned cylinders_mask = 0x1F;
constexpr unsigned write_protection_bit = 0x20;
constexpr unsigned crank_flag_bit = 0x40;
constexpr unsigned cam_inversion_bit = 0x80;

// ---- Table A: general settings ---------------------------------------------------------

inline unsigned last_menu(const Wert& w) { return byte(w, addr::last_menu); }
inline void set_last_menu(Wert& w, unsigned v) { set_byte(w, addr::last_menu, v); }
inline unsigned brightness(const Wert& w) { return byte(w, addr::brightness); }
inline void set_brightness(Wert& w, unsigned v) { set_byte(w, addr::brightness, v); }
inline unsigned contrast(const Wert& w) { return byte(w, addr::contrast); }
inline void set_contrast(Wert& w, unsigned v) { set_byte(w, addr::contrast, v); }
inline unsigned wheel_select(const Wert& w) { return byte(w, addr::wheel_select); }
inline void set_wheel_select(Wert& w, unsigned v) { set_byte(w, addr::wheel_select, v); }
inline unsigned ramp_points(const Wert& w) { return byte(w, addr::ramp_points); }
inline void set_ramp_points(Wert& w, unsigned v) { set_byte(w, addr::ramp_points, v); }
// Stored as twice the speed in rpm.
inline unsigned max_poti_speed(const Wert& w) { return pair(w, addr::max_poti_speed); }
inline void set_max_poti_speed(Wert& w, unsigned v) { set_pair(w, addr::max_poti_speed, v); }
// Bit 0 of address 7; bits 1..7 belong to no parameter and are kept.
inline bool edit_mode_bit(const Wert& w) { return byte(w, addr::edit_mode_bit) & 1u; }
inline void set_edit_mode_bit(Wert& w, bool on) {
    set_byte(w, addr::edit_mode_bit, (byte(w, addr::edit_mode_bit) & ~1u) | (on ? 1u : 0u));
}
inline unsigned lis_inversion(const Wert& w) { return byte(w, addr::lis_inversion); }
inline void set_lis_inversion(Wert& w, unsigned v) { set_byte(w, addr::lis_inversion, v); }
inline unsigned lis_upper_threshold(const Wert& w) { return pair(w, addr::lis_upper_threshold); }
inline void set_lis_upper_threshold(Wert& w, unsigned v) {
    set_pair(w, addr::lis_upper_threshold, v);
}
inline unsigned lis_lower_threshold(const Wert& w) { return pair(w, addr::lis_lower_threshold); }
inline void set_lis_lower_threshold(Wert& w, unsigned v) {
    set_pair(w, addr::lis_lower_threshold, v);
}
inline unsigned tdc_cyl(const Wert& w) { return byte(w, addr::tdc_cyl); }
inline void set_tdc_cyl(Wert& w, unsigned v) { set_byte(w, addr::tdc_cyl, v); }
inline unsigned kickdown_threshold(const Wert& w) { return pair(w, addr::kickdown_threshold); }
inline void set_kickdown_threshold(Wert& w, unsigned v) {
    set_pair(w, addr::kickdown_threshold, v);
}
inline unsigned first_high_frequency(const Wert& w) { return pair(w, addr::first_high_frequency); }
inline void set_first_high_frequency(Wert& w, unsigned v) {
    set_pair(w, addr::first_high_frequency, v);
}
inline unsigned second_high_frequency(const Wert& w) {
    return pair(w, addr::second_high_frequency);
}
inline void set_second_high_frequency(Wert& w, unsigned v) {
    set_pair(w, addr::second_high_frequency, v);
}
inline unsigned vss_pulses_per_km(const Wert& w) { return pair(w, addr::vss_pulses_per_km); }
inline void set_vss_pulses_per_km(Wert& w, unsigned v) { set_pair(w, addr::vss_pulses_per_km, v); }
inline unsigned vss_pulse_width(const Wert& w) { return pair(w, addr::vss_pulse_width); }
inline void set_vss_pulse_width(Wert& w, unsigned v) { set_pair(w, addr::vss_pulse_width, v); }
inline unsigned aux_speed_pulses(const Wert& w) { return pair(w, addr::aux_speed_pulses); }
inline void set_aux_speed_pulses(Wert& w, unsigned v) { set_pair(w, addr::aux_speed_pulses, v); }
inline unsigned aux_speed_pulse_width(const Wert& w) {
    return pair(w, addr::aux_speed_pulse_width);
}
inline void set_aux_speed_pulse_width(Wert& w, unsigned v) {
    set_pair(w, addr::aux_speed_pulse_width, v);
}

// The configuration the screen and the editor work on. A file may bring a wheel_select above
// 24; it then reads as 24 (configuration 25), so every record and name address stays within
// the 25 records and names. The stored byte is left as it is until field 4 writes it.
inline unsigned selected_wheel(const Wert& w) {
    unsigned n = wheel_select(w);
    return n < wheel_count ? n : wheel_count - 1;
}

// ---- Table B: the wheel record of configuration n --------------------------------------

inline unsigned wheel_byte(const Wert& w, unsigned n, unsigned offset) {
    assert(n < wheel_count && offset < 16);
    return byte(w, record_address(n, offset));
}
inline void set_wheel_byte(Wert& w, unsigned n, unsigned offset, unsigned v) {
    assert(n < wheel_count && offset < 16);
    set_byte(w, record_address(n, offset), v);
}
inline unsigned wheel_pair(const Wert& w, unsigned n, unsigned offset) {
    assert(n < wheel_count && offset < 15);
    return pair(w, record_address(n, offset));
}
inline void set_wheel_pair(Wert& w, unsigned n, unsigned offset, unsigned v) {
    assert(n < wheel_count && offset < 15);
    set_pair(w, record_address(n, offset), v);
}

inline unsigned cylinders(const Wert& w, unsigned n) {
    return wheel_byte(w, n, addr::wheel_flags) & cylinders_mask;
}
// Sets bits 0..4; the three flags in bits 5..7 stay.
inline void set_cylinders(Wert& w, unsigned n, unsigned v) {
    unsigned b = wheel_byte(w, n, addr::wheel_flags);
    set_wheel_byte(w, n, addr::wheel_flags, (b & ~cylinders_mask) | (v & cylinders_mask));
}
inline bool wheel_flag(const Wert& w, unsigned n, unsigned bit) {
    return wheel_byte(w, n, addr::wheel_flags) & bit;
}
inline void toggle_wheel_flag(Wert& w, unsigned n, unsigned bit) {
    set_wheel_byte(w, n, addr::wheel_flags, wheel_byte(w, n, addr::wheel_flags) ^ bit);
}
inline bool write_protection(const Wert& w, unsigned n) {
    return wheel_flag(w, n, write_protection_bit);
}
inline bool crank_flag(const Wert& w, unsigned n) { return wheel_flag(w, n, crank_flag_bit); }
inline bool cam_inversion(const Wert& w, unsigned n) {
    return wheel_flag(w, n, cam_inversion_bit);
}
inline unsigned tdc_width(const Wert& w, unsigned n) { return wheel_byte(w, n, addr::tdc_width); }
inline void set_tdc_width(Wert& w, unsigned n, unsigned v) {
    set_wheel_byte(w, n, addr::tdc_width, v);
}
inline unsigned crank_pulses(const Wert& w, unsigned n) {
    return wheel_byte(w, n, addr::crank_pulses);
}
inline void set_crank_pulses(Wert& w, unsigned n, unsigned v) {
    set_wheel_byte(w, n, addr::crank_pulses, v);
}
// Tenths of a degree crank.
inline unsigned crank_offset(const Wert& w, unsigned n) {
    return wheel_pair(w, n, addr::crank_offset);
}
inline void set_crank_offset(Wert& w, unsigned n, unsigned v) {
    set_wheel_pair(w, n, addr::crank_offset, v);
}
inline unsigned gap_phase(const Wert& w, unsigned n) { return wheel_pair(w, n, addr::gap_phase); }
inline void set_gap_phase(Wert& w, unsigned n, unsigned v) {
    set_wheel_pair(w, n, addr::gap_phase, v);
}
inline unsigned crank_width(const Wert& w, unsigned n) {
    return wheel_byte(w, n, addr::crank_width);
}
inline void set_crank_width(Wert& w, unsigned n, unsigned v) {
    set_wheel_byte(w, n, addr::crank_width, v);
}
// Signed high nibble of +8, -8..7; the low nibble is gap_count.
inline int gap_pulses(const Wert& w, unsigned n) {
    assert(n < wheel_count);
    return signed_high_nibble(w, record_address(n, addr::gaps));
}
inline void set_gap_pulses(Wert& w, unsigned n, int v) {
    assert(n < wheel_count);
    set_signed_high_nibble(w, record_address(n, addr::gaps), v);
}
inline unsigned gap_count(const Wert& w, unsigned n) {
    return wheel_byte(w, n, addr::gaps) & 0x0Fu;
}
inline void set_gap_count(Wert& w, unsigned n, unsigned v) {
    set_wheel_byte(w, n, addr::gaps, (wheel_byte(w, n, addr::gaps) & 0xF0u) | (v & 0x0Fu));
}
inline unsigned cam_pulses(const Wert& w, unsigned n) {
    return wheel_byte(w, n, addr::cam_pulses);
}
inline void set_cam_pulses(Wert& w, unsigned n, unsigned v) {
    set_wheel_byte(w, n, addr::cam_pulses, v);
}
// Tenths of a degree cam.
inline unsigned cam_offset(const Wert& w, unsigned n) { return wheel_pair(w, n, addr::cam_offset); }
inline void set_cam_offset(Wert& w, unsigned n, unsigned v) {
    set_wheel_pair(w, n, addr::cam_offset, v);
}
inline unsigned sync_phase(const Wert& w, unsigned n) { return wheel_pair(w, n, addr::sync_phase); }
inline void set_sync_phase(Wert& w, unsigned n, unsigned v) {
    set_wheel_pair(w, n, addr::sync_phase, v);
}
// Two forms: 0..125 tenths of a degree; 126..255 whole degrees in bits 0..6.
inline unsigned cam_width(const Wert& w, unsigned n) { return wheel_byte(w, n, addr::cam_width); }
inline void set_cam_width(Wert& w, unsigned n, unsigned v) {
    set_wheel_byte(w, n, addr::cam_width, v);
}
// Signed byte +15, -128..127.
inline int sync_pulses(const Wert& w, unsigned n) {
    assert(n < wheel_count);
    return signed_byte(w, record_address(n, addr::sync_pulses));
}
inline void set_sync_pulses(Wert& w, unsigned n, int v) {
    set_wheel_byte(w, n, addr::sync_pulses, static_cast<unsigned>(v));
}

// Character p (1..16) of the wheel name of configuration n.
inline unsigned name_char(const Wert& w, unsigned n, unsigned p) {
    assert(n < wheel_count && p >= 1 && p <= 16);
    return byte(w, name_address(n, p));
}
inline void set_name_char(Wert& w, unsigned n, unsigned p, unsigned c) {
    assert(n < wheel_count && p >= 1 && p <= 16);
    set_byte(w, name_address(n, p), c);
}

// ---- Table C: the speed ramp -----------------------------------------------------------
// Point 0 is reachable only while the point number is being typed; its addresses (510/511,
// 708/709) still lie inside the image.

inline unsigned ramp_speed(const Wert& w, unsigned r) {
    assert(r <= ramp_table_points);
    return pair(w, ramp_speed_address(r));
}
inline void set_ramp_speed(Wert& w, unsigned r, unsigned v) {
    assert(r <= ramp_table_points);
    set_pair(w, ramp_speed_address(r), v);
}
inline unsigned ramp_time(const Wert& w, unsigned r) {
    assert(r <= ramp_table_points);
    return pair(w, ramp_time_address(r));
}
inline void set_ramp_time(Wert& w, unsigned r, unsigned v) {
    assert(r <= ramp_table_points);
    set_pair(w, ramp_time_address(r), v);
}

// ---- Table D: the CAN identifier -------------------------------------------------------

// Byte k (0 = least significant, at 1536; 3 = most significant, at 1539).
inline unsigned can_byte(const Wert& w, unsigned k) {
    assert(k < 4);
    return byte(w, addr::can_id + k);
}
inline void set_can_byte(Wert& w, unsigned k, unsigned v) {
    assert(k < 4);
    set_byte(w, addr::can_id + k, v);
}
inline unsigned long can_id(const Wert& w) {
    return (static_cast<unsigned long>(can_byte(w, 3)) << 24) | (can_byte(w, 2) << 16) |
           (can_byte(w, 1) << 8) | can_byte(w, 0);
}

// ---- Conversions to the screen's units -------------------------------------------------

// Brightness is shown in steps of 20 %: 0..9 give 0, 10..19 give 20, 50..59 give 100.
constexpr unsigned brightness_percent(unsigned b) { return b / 10 * 20; }
// Speeds are stored doubled; 601 shows as 300 rpm.
constexpr unsigned halved(unsigned s) { return s >> 1; }
constexpr double tenths(unsigned v) { return v * 0.1; }
constexpr double hundredths(unsigned v) { return v * 0.01; }
// cam_width above 125 is in whole degrees (bits 0..6); 125 and below in tenths.
constexpr bool cam_width_in_degrees(unsigned b) { return b > 125; }
constexpr unsigned cam_width_degrees(unsigned b) { return b & 0x7Fu; }
constexpr bool contrast_high(unsigned c) { return c == 100; }

} // namespace ulo
