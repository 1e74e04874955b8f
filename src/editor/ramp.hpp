// Limits of the speed ramp fields (8 and 35-37). Anything that checks ramp values uses these,
// so the editor and every other tool agree on them.
#pragma once

namespace ulo {

// Field 8, `ramp_points`: how many points of the ramp are in use.
constexpr unsigned ramp_points_max = 99; // a digit that would take the count past it is refused
constexpr unsigned ramp_points_min = 2;  // a smaller count is raised to it when the field is left

// Field 35, `ramp`: the number of the point on the screen.
constexpr unsigned ramp_point_min = 1;       // a point 0 typed in becomes 1 when the field is left
constexpr unsigned ramp_point_max = 99;      // the last point the tables hold; Page Up stops here
constexpr unsigned ramp_point_page_down = 2; // Page Down stops at point 2, never reaching 1
// With fewer points than this every digit picks a point on its own.
constexpr unsigned ramp_points_two_digits = 10;

// Field 36, `ramp_time`, in hundredths of a second.
constexpr unsigned ramp_time_max = 9999; // 99.99 s

// Field 37, `ramp_speed`: see speed.hpp, shared with `max_poti_speed`.

} // namespace ulo
