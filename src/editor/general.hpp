// Limits of the general settings (fields 0-3, 6, 7, 9-18). The editor's rules and anything
// else that checks these parameters take them from here, so the device's ranges are written
// down once.
#pragma once

namespace ulo {

// `last_menu`: the device has menus 0..10.
constexpr unsigned last_menu_max = 10;

// `brightness`: the display takes 0..50 in steps of 10 (0..100 % in steps of 20 %).
constexpr unsigned brightness_full = 50;     // what '1' stores: 100 %
constexpr unsigned brightness_per_digit = 5; // any other digit d stores d times this
constexpr unsigned brightness_step = 10;     // one Page Up or Page Down: 20 %
// The highest value the keys reach: Page Up from the 45 that '9' stores. Every value the keys
// leave lies at most brightness_per_digit above a multiple of brightness_step.
constexpr unsigned brightness_max = brightness_full + brightness_per_digit;

// `contrast`: two settings only.
constexpr unsigned contrast_high_value = 100;
constexpr unsigned contrast_low_value = 50;

// `lis_inversion`: a flag byte.
constexpr unsigned lis_inversion_normal = 0;
constexpr unsigned lis_inversion_inverted = 1;

// `tdc_cyl`: a cylinder number typed as one digit, never above the wheel's cylinder count.
constexpr unsigned tdc_cyl_max = 8;

// `max_poti_speed`: see speed.hpp, shared with the ramp speeds.

// The 16-bit parameters typed in decimal: the largest value a digit may make and, where the
// device needs one, the least value the field keeps once it is left.
constexpr unsigned vss_pulses_per_km_max = 50000;
constexpr unsigned vss_pulses_per_km_min = 2401;
constexpr unsigned vss_pulse_width_max = 6700;
constexpr unsigned vss_pulse_width_min = 670;
constexpr unsigned aux_speed_pulses_max = 120;
constexpr unsigned aux_speed_pulses_min = 1;
constexpr unsigned aux_speed_pulse_width_max = 100;
constexpr unsigned lis_lower_threshold_max = 5000;
constexpr unsigned lis_upper_threshold_max = 5000;
constexpr unsigned kickdown_threshold_max = 5000;
// Both high frequencies: 0 is off, anything else is at least high_frequency_min hertz.
constexpr unsigned high_frequency_max = 20000;
constexpr unsigned high_frequency_min = 31;

} // namespace ulo
