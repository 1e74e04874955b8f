// Rules of fields 8 and 35-37: the speed ramp.
#include "editor/ramp.hpp"

#include <algorithm>

#include "editor/editor.hpp"
#include "editor/speed.hpp"

namespace ulo {

static_assert(ramp_point_max == ramp_table_points,
              "a point past the tables would edit other parameters");

namespace {

constexpr Moves ramp_moves[] = {
    // field, Enter, Up, Down, Left, Right, Home, End
    {8, 35, 7, 37, no_move, no_move, 0, 18, moves},
    {35, 36, 8, 9, no_move, 36, 0, 18, moves},
    {36, 35, 8, 9, 35, 37, 0, 18, moves},
    {37, 35, 8, 9, 36, 22, 0, 18, moves},
};

// A number typed digit by digit: on arrival the digit replaces the value, after that it is
// appended, unless the result would pass `max`, in which case the digit is refused.
unsigned typed(unsigned value, unsigned digit, bool fresh, unsigned max) {
    if (fresh) return digit;
    const unsigned x = value * 10 + digit;
    return x <= max ? x : value;
}

// The highest point number that can be typed. A file may bring more points in use than the
// tables hold; past point 99 the addresses would fall on the time table and the wheel names.
unsigned typeable_points(const Wert& w) { return std::min(ramp_points(w), ramp_point_max); }

// Corrections made when the cursor leaves a field, also on Escape and Alt+X.
void leave(Editor& ed, Wert& w) {
    switch (ed.mode) {
    case 8:
        if (ramp_points(w) < ramp_points_min) set_ramp_points(w, ramp_points_min);
        break;
    case 35:
        // point 0 exists only while a number is being typed
        if (ed.ramp < ramp_point_min) ed.ramp = ramp_point_min;
        break;
    default: break;
    }
}

void ramp_points_key(Editor& ed, Wert& w) {
    if (key::is_digit(ed.letter)) {
        const unsigned n = ramp_points(w);
        set_ramp_points(w, typed(n, key::digit(ed.letter), ed.start != 0, ramp_points_max));
        ed.start = 0;
    } else if (ed.letter == key::del) {
        set_ramp_points(w, ramp_points(w) / 10);
        ed.start = 0;
    }
}

void point_digit(Editor& ed, const Wert& w, unsigned d) {
    const unsigned last = typeable_points(w);
    if (ed.start != 0) {
        if (d > last) return;
        ed.ramp = d;
        // with fewer than ten points each digit picks a point on its own
        if (ramp_points(w) >= ramp_points_two_digits) ed.start = 0;
    } else if (ed.ramp * 10 + d <= last) {
        ed.ramp = ed.ramp * 10 + d;
    }
}

// Paging is not held to the points in use: it also reaches the spare points of the tables.
void point_number_key(Editor& ed, const Wert& w) {
    if (key::is_digit(ed.letter)) {
        point_digit(ed, w, key::digit(ed.letter));
    } else if (ed.letter == key::page_up) {
        ed.start = 1;
        if (ed.ramp < ramp_point_max) ++ed.ramp;
    } else if (ed.letter == key::page_down) {
        ed.start = 1;
        if (ed.ramp > ramp_point_page_down) --ed.ramp;
    } else if (ed.letter == key::del) {
        ed.ramp /= 10;
        ed.start = 0;
    }
}

void time_key(Editor& ed, Wert& w) {
    const unsigned t = ramp_time(w, ed.ramp);
    if (key::is_digit(ed.letter)) {
        set_ramp_time(w, ed.ramp, typed(t, key::digit(ed.letter), ed.start != 0, ramp_time_max));
        ed.start = 0;
    } else if (ed.letter == key::del) {
        set_ramp_time(w, ed.ramp, t / 10);
        ed.start = 0;
    }
}

} // namespace

void ramp_rule(Editor& ed, Wert& wert) {
    const Moves* row = find_moves(ramp_moves, ed.mode);
    if (row == nullptr) return;
    const int target = move_target(*row, ed.letter);
    if (target != no_move || key::ends_editing(ed.letter)) leave(ed, wert);
    if (target != no_move) {
        go_to(ed, *row, target);
        return;
    }
    switch (ed.mode) {
    case 8: ramp_points_key(ed, wert); break;
    case 35: point_number_key(ed, wert); break;
    case 36: time_key(ed, wert); break;
    case 37: set_ramp_speed(wert, ed.ramp, speed_key(ed, ramp_speed(wert, ed.ramp))); break;
    default: break;
    }
}

} // namespace ulo
