// Rules of fields 0-3, 6, 7 and 9-18: the general settings.
#include "editor/general.hpp"

#include <algorithm>

#include "editor/editor.hpp"
#include "editor/speed.hpp"

namespace ulo {

namespace {

// Where the cursor keys lead from each field of this group.
// clang-format off
constexpr Moves table[] = {
    // field  Enter     Up     Down     Left    Right     Home      End    flag
    { 0,       1,      38,       1, no_move,       2, no_move,      18,   moves},
    { 1,       2,       0,       4, no_move,       3,       0,      18,    goes},
    { 2,       3,      18,       3,       0, no_move,       0,      18,    goes},
    { 3,       4,       2,      20,       1, no_move,       0,      18,    goes},
    { 6,      21,       5,      33,      19,      21,       0,      18,    goes},
    { 7,       8,      19,       8, no_move,      33,       0,      18,   moves},
    { 9,      10,      37,      10, no_move,      25,       0,      18,   moves},
    {10,      11,       9,      11, no_move,      27,       0,      18,   moves},
    {11,      12,      10,      12, no_move,      28,       0,      18,   moves},
    {12,      13,      11,      13, no_move,      30,       0,      18,   moves},
    {13,      14,      12,      14, no_move,      32,       0,      18,    goes},
    {14,      15,      13,      15, no_move, no_move,       0,      18,   moves},
    {15,      16,      14,      16, no_move,      17,       0,      18,   moves},
    {16,      17,      15,      38, no_move,      18,       0,      18,   moves},
    {17,      18,      32,      18,      15, no_move,       0,      18,   moves},
    {18,       0,      17,       2,      16, no_move,       0, no_move,   moves},
};
// clang-format on

// The 16-bit parameters typed in decimal: the pair each field edits and the largest value a
// digit may make.
struct Decimal {
    int field;
    unsigned address;
    unsigned max;
};

constexpr Decimal decimals[] = {
    {9, addr::vss_pulses_per_km, vss_pulses_per_km_max},
    {10, addr::vss_pulse_width, vss_pulse_width_max},
    {11, addr::aux_speed_pulses, aux_speed_pulses_max},
    {12, addr::aux_speed_pulse_width, aux_speed_pulse_width_max},
    {14, addr::lis_lower_threshold, lis_lower_threshold_max},
    {15, addr::lis_upper_threshold, lis_upper_threshold_max},
    {16, addr::kickdown_threshold, kickdown_threshold_max},
    {17, addr::first_high_frequency, high_frequency_max},
    {18, addr::second_high_frequency, high_frequency_max},
};

static_assert(contrast_high(contrast_high_value) && !contrast_high(contrast_low_value));
static_assert(brightness_percent(brightness_full) == 100);

const Decimal* find_decimal(int field) {
    for (const Decimal& d : decimals)
        if (d.field == field)
            return &d;
    return nullptr;
}

// What a field's value becomes when the field is left. A value typed below the device's
// minimum may stand while it is being typed (the user may be on the way to a larger one),
// but not once the user moves on or ends the editing. Values above the maximum are left
// alone: only the typing clamps.
unsigned left_value(int field, unsigned v) {
    switch (field) {
    case 9: return std::max(v, vss_pulses_per_km_min);
    case 10: return std::max(v, vss_pulse_width_min);
    case 11: return std::max(v, aux_speed_pulses_min);
    case 17:
    case 18: return v < high_frequency_min ? 0 : v;
    default: return v;
    }
}

void leave(int field, Wert& w) {
    if (const Decimal* d = find_decimal(field))
        set_pair(w, d->address, left_value(field, pair(w, d->address)));
}

bool is_toggle_key(int k) { return k == key::space || k == key::page_up || k == key::page_down; }

// Digits replace the value on arrival and append to it after that, never beyond `max`.
// Returns the new value, or `v` for keys that are not digits or Delete.
unsigned typed(Editor& ed, unsigned v, unsigned max) {
    if (key::is_digit(ed.letter)) {
        const unsigned x = ed.start ? key::digit(ed.letter) : v * 10 + key::digit(ed.letter);
        ed.start = 0;
        return std::min(x, max);
    }
    if (ed.letter == key::del) {
        ed.start = 0;
        return v / 10;
    }
    return v;
}

void brightness_key(int k, Wert& w) {
    const unsigned b = brightness(w);
    if (k == '1')
        set_brightness(w, brightness_full);
    else if (key::is_digit(k))
        set_brightness(w, brightness_per_digit * key::digit(k));
    else if (k == key::page_up && b < brightness_full)
        set_brightness(w, b + brightness_step);
    else if (k == key::page_down && b >= brightness_step)
        set_brightness(w, b - brightness_step);
    else if (k == key::del)
        set_brightness(w, b / 10);
}

// The TDC cylinder cannot lie beyond the selected wheel's cylinders. Only the count in bits
// 0 to 4 limits it: the flags sharing that byte say nothing about the engine.
void tdc_cyl_key(int k, Wert& w) {
    if (key::is_digit(k) && key::digit(k) <= tdc_cyl_max)
        set_tdc_cyl(w, std::min(key::digit(k), cylinders(w, selected_wheel(w))));
    else if (k == key::del)
        set_tdc_cyl(w, tdc_cyl(w) / 10);
}

void value_key(Editor& ed, Wert& w) {
    const int k = ed.letter;
    switch (ed.mode) {
    case 0: set_last_menu(w, typed(ed, last_menu(w), last_menu_max)); break;
    case 1:
        if (is_toggle_key(k))
            set_edit_mode_bit(w, !edit_mode_bit(w));
        break;
    case 2: brightness_key(k, w); break;
    case 3:
        if (is_toggle_key(k))
            set_contrast(w, contrast(w) == contrast_high_value ? contrast_low_value
                                                               : contrast_high_value);
        break;
    case 6: tdc_cyl_key(k, w); break;
    case 7: set_max_poti_speed(w, speed_key(ed, max_poti_speed(w))); break;
    case 13:
        if (is_toggle_key(k))
            set_lis_inversion(w, lis_inversion(w) == lis_inversion_normal ? lis_inversion_inverted
                                                                          : lis_inversion_normal);
        break;
    default:
        if (const Decimal* d = find_decimal(ed.mode))
            set_pair(w, d->address, typed(ed, pair(w, d->address), d->max));
        break;
    }
}

} // namespace

void general_rule(Editor& ed, Wert& w) {
    const Moves* row = find_moves(table, ed.mode);
    if (!row)
        return;
    const int target = move_target(*row, ed.letter);
    if (target != no_move || key::ends_editing(ed.letter))
        leave(ed.mode, w);
    if (target != no_move)
        go_to(ed, *row, target);
    else
        value_key(ed, w);
}

} // namespace ulo
