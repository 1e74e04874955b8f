// Rules and help of fields 4, 5 and 19-34: the wheel configurations. Fields 5 and 19-34 always
// work on the configuration the screen shows, so every write stays inside its record or name.
#include <algorithm>
#include <cstdint>
#include <string>

#include "editor/editor.hpp"

namespace ulo {

namespace {

// Where the cursor keys lead from each field of this group.
// The field each key leads to is given by its number (editor.hpp names every number).
// The wheel name leaves Left, Right, Home and End to the name cursor (name_rule).
// clang-format off
constexpr Moves table[] = {
    // field                  Enter  Up  Down     Left    Right     Home      End   flag
    {field::wheel_select,        19,  1,   19, no_move,       5,       0,      18, moves},
    {field::name,                20,  3,    6, no_move, no_move, no_move, no_move, moves},
    {field::write_protection,     7,  4,    7, no_move,       6,       0,      18,  goes},
    {field::cylinders,            6,  3,   21,       5, no_move,       0,      18,  goes},
    {field::tdc_width,           33, 20,   34,       6, no_move,       0,      18, moves},
    {field::crank_pulses,        23, 33,   24,      37,      23,       0,      18, moves},
    {field::crank_width,         24, 34,   24,      22, no_move,       0,      18, moves},
    {field::crank_offset,        25, 23,   25, no_move, no_move,       0,      18, moves},
    {field::gap_phase,           27, 24,   26,       9, no_move,       0,      18, moves},
    {field::gap_count,           28, 25,   29,      27, no_move,       0,      18,  goes},
    {field::gap_pulses,          26, 25,   28,      10,      26,       0,      18,  goes},
    {field::cam_pulses,          29, 27,   30,      11,      29,       0,      18, moves},
    {field::cam_width,           30, 26,   30,      28, no_move,       0,      18, moves},
    {field::cam_offset,          31, 29,   31,      12, no_move,       0,      18, moves},
    {field::sync_phase,          32, 30,   32, no_move, no_move,       0,      18, moves},
    {field::sync_pulses,          4, 31,   17,      13, no_move,       0,      18,  goes},
    {field::cam_inversion,       34,  6,   22,       7,      34,       0,      18,  goes},
    {field::crank_flag,          22, 21,   23,      33, no_move,       0,      18,  goes},
};
// clang-format on

using enum ParamId;

// ---- wheel_select -------------------------------------------------------------------------------

// The configuration number is typed as shown, 1..25; two digits at most.
constexpr unsigned shown_number_limit = 100;

void select_key(Editor& ed, Wert& w) {
    const unsigned last = static_cast<unsigned>(param(wheel_select).high);
    const unsigned n = selected_wheel(w); // a file's value above 24 counts as the 25 shown
    const unsigned shown = n + 1;
    const int k = ed.letter;
    if (key::is_digit(k)) {
        const unsigned d = key::digit(k);
        if (ed.start) {
            put(w, wheel_select, 0, d == 0 ? 0 : d - 1);
            ed.start = 0;
            return;
        }
        const unsigned m = shown * 10 + d;
        if (m >= shown_number_limit) return;
        put(w, wheel_select, 0, std::min(m - 1, last));
        return;
    }
    switch (k) {
    case key::page_up:
        if (n < last) put(w, wheel_select, 0, n + 1);
        break;
    case key::page_down:
        if (n > 0) put(w, wheel_select, 0, n - 1);
        break;
    case key::backspace: put(w, wheel_select, 0, n % 10); break;
    case key::del:
        put(w, wheel_select, 0, n < 9 ? 0 : shown / 10 - 1);
        ed.start = 1; // the next digit begins a new number
        break;
    default: break;
    }
}

// ---- The selected configuration's values --------------------------------------------------------

// A digit key sets a small count on its own, when the digit lies within the parameter's range.
void digit_sets(int k, Wert& w, unsigned n, ParamId id) {
    const Param& p = param(id);
    if (key::is_digit(k) && key::digit(k) >= p.low && key::digit(k) <= p.high)
        put(w, id, n, key::digit(k));
}

void gap_count_key(int k, Wert& w, unsigned n) {
    const Param& p = param(gap_count);
    const long long c = get(w, gap_count, n);
    digit_sets(k, w, n, gap_count);
    if (k == key::page_up && c < p.high) put(w, gap_count, n, c + 1);
    if (k == key::page_down && c > p.low) put(w, gap_count, n, c - 1);
}

// The new value of a signed pulse count v for key k; v itself for keys the field ignores.
// A digit up to 3 gives that many pulses, removed where v is negative; `-` turns -1 into +1,
// +1 into -1 and -2, -3 into +1; `may_rise` says whether Page Up may add a pulse.
long long signed_pulses_after(const Param& p, long long v, int k, bool may_rise) {
    if (key::is_digit(k)) {
        const long long d = key::digit(k);
        if (d > -p.low) return v;
        if (v < 0) return -d;
        return d <= p.high ? d : v;
    }
    switch (k) {
    case key::minus: return v >= -1 ? -v : p.high;
    case key::page_up: return may_rise ? v + 1 : v;
    case key::page_down: return v > p.low ? v - 1 : v;
    default: return v;
    }
}

void gap_pulses_key(int k, Wert& w, unsigned n) {
    // Page Up stops at +1: the whole byte, read as signed, reaches 15 only once the nibble
    // is 0 and the gap count is full, or the nibble is positive.
    const auto whole = static_cast<std::int8_t>(byte(w, param_address(param(gap_pulses), n)));
    const long long v = get(w, gap_pulses, n);
    const long long after = signed_pulses_after(param(gap_pulses), v, k, whole < 15);
    if (after != v) put(w, gap_pulses, n, after);
}

void sync_pulses_key(int k, Wert& w, unsigned n) {
    const Param& p = param(sync_pulses);
    const long long v = get(w, sync_pulses, n);
    const long long after = signed_pulses_after(p, v, k, v < p.high);
    if (after != v) put(w, sync_pulses, n, after);
}

// cam_width typed past 12.5 degrees turns what was typed before into whole degrees.
void cam_width_key(Editor& ed, Wert& w, unsigned n) {
    const auto v = static_cast<unsigned>(get(w, cam_width, n));
    if (key::is_digit(ed.letter)) {
        const unsigned d = key::digit(ed.letter);
        if (ed.start) {
            put(w, cam_width, n, d);
        } else if (!cam_width_in_degrees(v)) {
            // past 12.5 degrees the number typed so far becomes whole degrees
            const unsigned t = v * 10 + d;
            put(w, cam_width, n, cam_width_in_degrees(t) ? cam_width_from_degrees(v) : t);
        }
        // Whole degrees take no further digit: the byte has no room for another one.
        ed.start = 0;
    } else if (ed.letter == key::del) {
        put(w, cam_width, n, cam_width_in_degrees(v) ? cam_width_degrees(v) : v / 10);
        ed.start = 0;
    }
}

// The offset of the first pulse is typed up to one pulse spacing of the wheel as it is now.
void offset_key(Editor& ed, Wert& w, unsigned n, ParamId offset, ParamId pulses) {
    Typing t = typing(param(offset));
    t.max = offset_cap(static_cast<unsigned>(get(w, pulses, n)));
    put(w, offset, n, type_number(ed, get(w, offset, n), t));
}

void value_key(Editor& ed, Wert& w, unsigned n) {
    const int k = ed.letter;
    switch (ed.mode) {
    case field::wheel_select: select_key(ed, w); break;
    case field::cylinders: digit_sets(k, w, n, cylinders); break;
    case field::crank_width: {
        // Delete leaves the crank width's fresh-entry flag as it is.
        const int start = ed.start;
        plain_key(ed, w);
        if (k == key::del) ed.start = start;
        break;
    }
    case field::crank_offset: offset_key(ed, w, n, crank_offset, crank_pulses); break;
    case field::gap_count: gap_count_key(k, w, n); break;
    case field::gap_pulses: gap_pulses_key(k, w, n); break;
    case field::cam_width: cam_width_key(ed, w, n); break;
    case field::cam_offset: offset_key(ed, w, n, cam_offset, cam_pulses); break;
    case field::sync_pulses: sync_pulses_key(k, w, n); break;
    default: plain_key(ed, w); break;
    }
}

// ---- The wheel name -----------------------------------------------------------------------------

// Characters p+1..16 move one place left and the last becomes a space.
void remove_name_char(Wert& w, unsigned n, unsigned p) {
    for (unsigned q = p; q < wheel_name_length; ++q) set_name_char(w, n, q, name_char(w, n, q + 1));
    set_name_char(w, n, wheel_name_length, ' ');
}

void name_rule(Editor& ed, Wert& w, unsigned n, const Moves& row) {
    // The name cursor is 1 on arrival; kept within the name whatever `start` holds.
    constexpr int last = static_cast<int>(wheel_name_length);
    const auto p = static_cast<unsigned>(std::clamp(ed.start, 1, last));
    const auto at = [&ed](unsigned q) { ed.start = static_cast<int>(q); };
    switch (ed.letter) {
    case key::left:
        if (p > 1)
            at(p - 1);
        else
            go_to(ed, row, field::wheel_select);
        return;
    case key::right:
        if (p < wheel_name_length)
            at(p + 1);
        else
            go_to(ed, row, field::cylinders);
        return;
    case key::home: at(1); return;
    case key::end: at(wheel_name_length); return;
    case key::backspace:
        if (p > 1) {
            at(p - 1);
            remove_name_char(w, n, p - 1);
        }
        return;
    case key::del: remove_name_char(w, n, p); return;
    default: break;
    }
    const int c = name_character(ed.letter);
    if (c < 0) return;
    set_name_char(w, n, p, static_cast<unsigned>(c));
    if (p < wheel_name_length) at(p + 1);
}

} // namespace

void wheel_rule(Editor& ed, Wert& w) {
    const Moves* row = find_moves(table, ed.mode);
    if (!leave_or_move(ed, w, row)) return;
    const unsigned n = selected_wheel(w);
    if (ed.mode == field::name)
        name_rule(ed, w, n, *row);
    else
        value_key(ed, w, n);
}

namespace {

// What the keys of a field do where its rule has particulars of its own.
std::string value_keys(const Editor& ed, const Wert& w, const Param& p) {
    switch (ed.mode) {
    case field::wheel_select:
        return "digits type the configuration, Delete drops one; Page Up and Page Down step";
    case field::cylinders:
        return "a digit " + help_number(p, p.low) + ".." + help_number(p, p.high) + " sets it";
    case field::crank_offset:
    case field::cam_offset: {
        const auto pulses =
            get(w, ed.mode == field::crank_offset ? crank_pulses : cam_pulses, selected_wheel(w));
        return "digits type up to one pulse spacing, " +
               help_number(p, offset_cap(static_cast<unsigned>(pulses))) + " at " +
               std::to_string(pulses) + (pulses == 1 ? " pulse" : " pulses") + "; Delete drops one";
    }
    case field::gap_count:
        return "a digit " + help_number(p, p.low) + ".." + help_number(p, p.high) +
               " sets it; Page Up and Page Down step it";
    case field::gap_pulses:
    case field::sync_pulses:
        return "a digit 0.." + help_number(p, -p.low) +
               " sets the count, - its sign; Page Up and "
               "Page Down step it";
    case field::cam_width:
        return "digits type tenths up to " + help_number(p, cam_width_tenths_max) +
               ", past it whole degrees; at least " + help_number(p, p.leave_min) + " on leaving";
    default: return plain_keys(p);
    }
}

// The keys of a wheel name store the characters of a German keyboard's keys: the help says
// what each key stores, from the same rule that stores it.
std::vector<std::string> name_help(const Editor& ed, const Wert& w, const Param& p) {
    const NameKeyRows keys = name_key_rows();
    return {item_name({p.id, field_index(ed, w, p)}) +
                ": 16 characters, typed at the cursor by the keys below",
            "type   " + keys.keys, "stores " + keys.stores,
            "Left, Right, Home, End move; Backspace, Delete remove"};
}

} // namespace

std::vector<std::string> wheel_help(const Editor& ed, const Wert& w) {
    const Param& p = *field_param(ed.mode);
    if (ed.mode == field::name) return name_help(ed, w, p);
    return help_lines(ed, w, p, value_keys(ed, w, p));
}

} // namespace ulo
