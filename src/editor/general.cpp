// Rules and help of fields 0-3, 6, 7 and 9-18: the general settings.
#include <algorithm>
#include <string>

#include "editor/editor.hpp"

namespace ulo {

namespace {

// Where the cursor keys lead from each field of this group.
// The field each key leads to is given by its number (editor.hpp names every number).
// clang-format off
constexpr Moves table[] = {
    // field                       Enter  Up  Down     Left    Right     Home      End   flag
    {field::last_menu,                 1, 38,    1, no_move,       2, no_move,      18, moves},
    {field::edit_mode_bit,             2,  0,    4, no_move,       3,       0,      18,  goes},
    {field::brightness,                3, 18,    3,       0, no_move,       0,      18,  goes},
    {field::contrast,                  4,  2,   20,       1, no_move,       0,      18,  goes},
    {field::tdc_cyl,                  21,  5,   33,      19,      21,       0,      18,  goes},
    {field::max_poti_speed,            8, 19,    8, no_move,      33,       0,      18, moves},
    {field::vss_pulses_per_km,        10, 37,   10, no_move,      25,       0,      18, moves},
    {field::vss_pulse_width,          11,  9,   11, no_move,      27,       0,      18, moves},
    {field::aux_speed_pulses,         12, 10,   12, no_move,      28,       0,      18, moves},
    {field::aux_speed_pulse_width,    13, 11,   13, no_move,      30,       0,      18, moves},
    {field::lis_inversion,            14, 12,   14, no_move,      32,       0,      18,  goes},
    {field::lis_lower_threshold,      15, 13,   15, no_move, no_move,       0,      18, moves},
    {field::lis_upper_threshold,      16, 14,   16, no_move,      17,       0,      18, moves},
    {field::kickdown_threshold,       17, 15,   38, no_move,      18,       0,      18, moves},
    {field::first_high_frequency,     18, 32,   18,      15, no_move,       0,      18, moves},
    {field::second_high_frequency,     0, 17,    2,      16, no_move,       0, no_move, moves},
};
// clang-format on

// A digit d stores 5 x d, '1' the full 50 (100 %); Page Up and Page Down step by 10 (20 %),
// Delete keeps the tens.
void brightness_key(int k, Wert& w) {
    const auto b = static_cast<unsigned>(get(w, ParamId::brightness));
    if (k == '1')
        put(w, ParamId::brightness, 0, brightness_full);
    else if (key::is_digit(k))
        put(w, ParamId::brightness, 0, brightness_per_digit * key::digit(k));
    else if (k == key::page_up && b < brightness_full)
        put(w, ParamId::brightness, 0, b + brightness_step);
    else if (k == key::page_down && b >= brightness_step)
        put(w, ParamId::brightness, 0, b - brightness_step);
    else if (k == key::del)
        put(w, ParamId::brightness, 0, b / 10);
}

// The TDC cylinder is one digit, never beyond the selected wheel's cylinders. Only the count
// in bits 0 to 4 limits it: the flags sharing that byte say nothing about the engine.
void tdc_cyl_key(int k, Wert& w) {
    const Param& p = param(ParamId::tdc_cyl);
    if (key::is_digit(k) && key::digit(k) <= p.high)
        put(w, p.id, 0,
            std::min<long long>(key::digit(k), get(w, ParamId::cylinders, selected_wheel(w))));
    else if (k == key::del)
        put(w, p.id, 0, get(w, p.id) / 10);
}

} // namespace

void general_rule(Editor& ed, Wert& w) {
    if (!leave_or_move(ed, w, find_moves(table, ed.mode))) return;
    switch (ed.mode) {
    case field::brightness: brightness_key(ed.letter, w); break;
    case field::tdc_cyl: tdc_cyl_key(ed.letter, w); break;
    default: plain_key(ed, w); break;
    }
}

std::vector<std::string> general_help(const Editor& ed, const Wert& w) {
    const Param& p = *field_param(ed.mode);
    switch (ed.mode) {
    case field::brightness:
        return help_lines(ed, w, p,
                          "1 gives " + help_number(p, brightness_full) + " %, 0 and 2..9 give 0.." +
                              help_number(p, 9 * brightness_per_digit) +
                              " %; Page Up and Page Down step by " +
                              help_number(p, brightness_step) + " %");
    case field::tdc_cyl:
        return help_lines(ed, w, p,
                          "a digit sets it, at most the " +
                              std::to_string(get(w, ParamId::cylinders, selected_wheel(w))) +
                              " cylinders of the selected configuration");
    default: return help_lines(ed, w, p, plain_keys(p));
    }
}

} // namespace ulo
