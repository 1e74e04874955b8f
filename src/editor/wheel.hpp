// Limits of the wheel configuration values: what the editor lets a user type into a wheel
// record, its name and the configuration number. Anything that checks such values uses these.
#pragma once

namespace ulo {

// The configuration number, stored 0..24 and shown 1..25.
constexpr unsigned wheel_select_max = 24;
// Two digits at most: a shown number that would reach this is not typed on.
constexpr unsigned wheel_select_shown_limit = 100;

constexpr unsigned wheel_name_length = 16;

constexpr unsigned cylinders_min = 2;
constexpr unsigned cylinders_max = 8;

// Whole cam degrees.
constexpr unsigned tdc_width_max = 30;
constexpr unsigned crank_pulses_max = 120;
// Tenths of a crank degree.
constexpr unsigned crank_width_max = 99;
constexpr unsigned cam_pulses_max = 60;
// tdc_width, crank_pulses, crank_width, cam_pulses and cam_width are never left at 0.
constexpr unsigned wheel_value_min = 1;

// Tenths of a degree in one turn. The offset of the first pulse cannot exceed one pulse
// spacing: 3600 div the pulse count.
constexpr unsigned full_turn_tenths = 3600;
// The phases lie within one turn, 0.0 to 359.9 degrees.
constexpr unsigned phase_max = full_turn_tenths - 1;

constexpr unsigned gap_count_min = 1;
constexpr unsigned gap_count_max = 4;

// gap_pulses and sync_pulses: pulses removed (negative) or added to the wheel.
constexpr int signed_pulses_min = -3;
constexpr int signed_pulses_max = 1;

// cam_width up to this is in tenths of a degree; above it the byte holds whole degrees with
// the form bit set.
constexpr unsigned cam_width_tenths_max = 125;
constexpr unsigned cam_width_degrees_bit = 0x80;
// Whole degrees arise from a number typed before the digit that passes 12.5 degrees: 12
// (followed by 6..9) is the least such number, 125 the greatest.
constexpr unsigned cam_width_degrees_min = cam_width_tenths_max / 10;
constexpr unsigned cam_width_degrees_max = cam_width_tenths_max;

// The largest offset of the first pulse for `pulses` pulses per turn, in tenths of a degree.
// A count of 0 (only a file brings it) is treated as one pulse.
unsigned offset_cap(unsigned pulses);

// The character a key stores in a wheel name, or -1 for a key the name ignores.
int name_character(int key);

} // namespace ulo
