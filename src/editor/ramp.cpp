// Rules and help of fields 8 and 35-37: the speed ramp.
#include <algorithm>
#include <string>

#include "editor/editor.hpp"

namespace ulo {

namespace {

// Where the cursor keys lead from each field of this group.
// The field each key leads to is given by its number (editor.hpp names every number).
// clang-format off
constexpr Moves ramp_moves[] = {
    // field             Enter  Up  Down     Left    Right  Home  End   flag
    {field::ramp_points,    35,  7,   37, no_move, no_move,    0,  18, moves},
    {field::ramp_point,     36,  8,    9, no_move,      36,    0,  18, moves},
    {field::ramp_time,      35,  8,    9,      35,      37,    0,  18, moves},
    {field::ramp_speed,     35,  8,    9,      36,      22,    0,  18, moves},
};
// clang-format on

// The ramp point's field, the number of the point on the screen, `ramp`: kept to the points the
// tables hold.
constexpr unsigned point_min = 1;       // a point 0 typed in becomes 1 when the field is left
constexpr unsigned point_page_down = 2; // Page Down stops at point 2, never reaching 1
// With fewer points in use than this every digit picks a point on its own.
constexpr unsigned points_two_digits = 10;

unsigned points_in_use(const Wert& w) {
    return static_cast<unsigned>(get(w, ParamId::ramp_points));
}

// The highest point number that can be typed. A file may bring more points in use than the
// tables hold; past point 99 the addresses would fall on the time table and the wheel names.
unsigned typeable_points(const Wert& w) { return std::min(points_in_use(w), ramp_table_points); }

void point_digit(Editor& ed, const Wert& w, unsigned d) {
    const unsigned last = typeable_points(w);
    if (ed.start != 0) {
        if (d > last) return;
        ed.ramp = d;
        if (points_in_use(w) >= points_two_digits) ed.start = 0;
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
        if (ed.ramp < ramp_table_points) ++ed.ramp;
    } else if (ed.letter == key::page_down) {
        ed.start = 1;
        if (ed.ramp > point_page_down) --ed.ramp;
    } else if (ed.letter == key::del) {
        ed.ramp /= 10;
        ed.start = 0;
    }
}

} // namespace

// Point 0 exists only while a number is being typed.
void leave_ramp_point(Editor& ed) { ed.ramp = std::max(ed.ramp, point_min); }

void ramp_rule(Editor& ed, Wert& wert) {
    const Moves* row = find_moves(ramp_moves, ed.mode);
    if (ed.mode == field::ramp_point && row != nullptr &&
        (move_target(*row, ed.letter) != no_move || key::ends_editing(ed.letter)))
        leave_ramp_point(ed);
    if (!leave_or_move(ed, wert, row)) return;
    if (ed.mode == field::ramp_point)
        point_number_key(ed, wert);
    else
        plain_key(ed, wert);
}

std::vector<std::string> ramp_help(const Editor& ed, const Wert& wert) {
    if (ed.mode == field::ramp_point)
        return {"ramp point on the screen: " + std::to_string(ed.ramp) + " of " +
                    std::to_string(points_in_use(wert)) + " in use (the tables hold " +
                    std::to_string(ramp_table_points) + ")",
                "digits pick a point in use; Page Up and Page Down step through all " +
                    std::to_string(ramp_table_points)};
    const Param& p = *field_param(ed.mode);
    return help_lines(ed, wert, p, plain_keys(p));
}

} // namespace ulo
