// Rules of fields 4, 5 and 19-34: the wheel configurations. Fields 5 and 19-34 always work on
// the configuration the screen shows, so every write stays inside its record or name.
#include "editor/wheel.hpp"

#include <algorithm>

#include "editor/editor.hpp"

namespace ulo {

namespace {

// Field 5 leaves Left, Right, Home and End to the name cursor (name_rule).
constexpr Moves table[] = {
    {4, 19, 1, 19, no_move, 5, 0, 18, moves},
    {5, 20, 3, 6, no_move, no_move, no_move, no_move, moves},
    {19, 7, 4, 7, no_move, 6, 0, 18, goes},
    {20, 6, 3, 21, 5, no_move, 0, 18, goes},
    {21, 33, 20, 34, 6, no_move, 0, 18, moves},
    {22, 23, 33, 24, 37, 23, 0, 18, moves},
    {23, 24, 34, 24, 22, no_move, 0, 18, moves},
    {24, 25, 23, 25, no_move, no_move, 0, 18, moves},
    {25, 27, 24, 26, 9, no_move, 0, 18, moves},
    {26, 28, 25, 29, 27, no_move, 0, 18, goes},
    {27, 26, 25, 28, 10, 26, 0, 18, goes},
    {28, 29, 27, 30, 11, 29, 0, 18, moves},
    {29, 30, 26, 30, 28, no_move, 0, 18, moves},
    {30, 31, 29, 31, 12, no_move, 0, 18, moves},
    {31, 32, 30, 32, no_move, no_move, 0, 18, moves},
    {32, 4, 31, 17, 13, no_move, 0, 18, goes},
    {33, 34, 6, 22, 7, 34, 0, 18, goes},
    {34, 22, 21, 23, 33, no_move, 0, 18, goes},
};

constexpr bool clears_flag = true;
constexpr bool keeps_flag = false;

// The count or width a field will not leave at 0 (it becomes 1); -1 for fields where 0 is a
// valid value.
int never_zero_offset(int field) {
    switch (field) {
    case 21: return addr::tdc_width;
    case 22: return addr::crank_pulses;
    case 23: return addr::crank_width;
    case 28: return addr::cam_pulses;
    case 29: return addr::cam_width;
    default: return -1;
    }
}

void leave(int field, Wert& w, unsigned n) {
    const int offset = never_zero_offset(field);
    if (offset < 0) return;
    const auto o = static_cast<unsigned>(offset);
    if (wheel_byte(w, n, o) == 0) set_wheel_byte(w, n, o, wheel_value_min);
}

// tdc_width keeps a 0 typed just before the editing ends; the counts and widths do not.
bool leaves_on_end(int field) { return field != 21; }

// ---- Field 4 ------------------------------------------------------------------------------

void select_key(Editor& ed, Wert& w) {
    const unsigned n = selected_wheel(w); // a file's value above 24 counts as the 25 shown
    const unsigned shown = n + 1;
    const int k = ed.letter;
    if (key::is_digit(k)) {
        const unsigned d = key::digit(k);
        if (ed.start) {
            set_wheel_select(w, d == 0 ? 0 : d - 1);
            ed.start = 0;
            return;
        }
        const unsigned m = shown * 10 + d;
        if (m >= wheel_select_shown_limit) return;
        set_wheel_select(w, std::min(m - 1, wheel_select_max));
        return;
    }
    switch (k) {
    case key::page_up:
        if (n < wheel_select_max) set_wheel_select(w, n + 1);
        break;
    case key::page_down:
        if (n > 0) set_wheel_select(w, n - 1);
        break;
    case key::backspace: set_wheel_select(w, n % 10); break;
    case key::del:
        set_wheel_select(w, n < 9 ? 0 : shown / 10 - 1);
        ed.start = 1; // the next digit begins a new number
        break;
    default: break;
    }
}

// ---- Fields 19-34 --------------------------------------------------------------------------

void toggle_key(int k, Wert& w, unsigned n, unsigned bit) {
    if (k == key::space || k == key::page_up || k == key::page_down) toggle_wheel_flag(w, n, bit);
}

void cylinders_key(int k, Wert& w, unsigned n) {
    if (!key::is_digit(k)) return;
    const unsigned d = key::digit(k);
    if (d >= cylinders_min && d <= cylinders_max) set_cylinders(w, n, d);
}

// A value typed digit by digit: a fresh entry starts over, otherwise the digit is appended and
// the result cut to `limit`.
unsigned appended(const Editor& ed, unsigned value, int k, unsigned limit) {
    const unsigned d = key::digit(k);
    if (ed.start) return d;
    return std::min(value * 10 + d, limit);
}

void byte_key(Editor& ed, Wert& w, unsigned n, unsigned offset, unsigned maximum,
              bool delete_clears) {
    const unsigned v = wheel_byte(w, n, offset);
    if (key::is_digit(ed.letter)) {
        set_wheel_byte(w, n, offset, appended(ed, v, ed.letter, maximum));
        ed.start = 0;
    } else if (ed.letter == key::del) {
        set_wheel_byte(w, n, offset, v / 10);
        if (delete_clears) ed.start = 0;
    }
}

void pair_key(Editor& ed, Wert& w, unsigned n, unsigned offset, unsigned cap) {
    const unsigned v = wheel_pair(w, n, offset);
    if (key::is_digit(ed.letter)) {
        set_wheel_pair(w, n, offset, appended(ed, v, ed.letter, cap));
        ed.start = 0;
    } else if (ed.letter == key::del) {
        set_wheel_pair(w, n, offset, v / 10);
        ed.start = 0;
    }
}

void gap_count_key(int k, Wert& w, unsigned n) {
    const unsigned c = gap_count(w, n);
    if (key::is_digit(k)) {
        const unsigned d = key::digit(k);
        if (d >= gap_count_min && d <= gap_count_max) set_gap_count(w, n, d);
    } else if (k == key::page_up) {
        if (c < gap_count_max) set_gap_count(w, n, c + 1);
    } else if (k == key::page_down) {
        if (c > gap_count_min) set_gap_count(w, n, c - 1);
    }
}

// The new value of a signed pulse count v for key k; v itself for keys the field ignores.
// `may_rise` says whether Page Up may add a pulse.
int signed_pulses_after(int v, int k, bool may_rise) {
    if (key::is_digit(k)) {
        const int d = static_cast<int>(key::digit(k));
        if (d > -signed_pulses_min) return v;
        if (v < 0) return -d;
        return d <= signed_pulses_max ? d : v;
    }
    switch (k) {
    case key::minus: return v >= -1 ? -v : signed_pulses_max;
    case key::page_up: return may_rise ? v + 1 : v;
    case key::page_down: return v > signed_pulses_min ? v - 1 : v;
    default: return v;
    }
}

void gap_pulses_key(int k, Wert& w, unsigned n) {
    // Page Up stops at +1: the whole byte, read as signed, reaches 15 only once the nibble
    // is 0 and the gap count is full, or the nibble is positive.
    const bool may_rise = signed_byte(w, record_address(n, addr::gaps)) < 15;
    const int v = gap_pulses(w, n);
    const int after = signed_pulses_after(v, k, may_rise);
    if (after != v) set_gap_pulses(w, n, after);
}

void sync_pulses_key(int k, Wert& w, unsigned n) {
    const int v = sync_pulses(w, n);
    const int after = signed_pulses_after(v, k, v < signed_pulses_max);
    if (after != v) set_sync_pulses(w, n, after);
}

// cam_width typed past 12.5 degrees turns what was typed before into whole degrees.
void cam_width_key(Editor& ed, Wert& w, unsigned n) {
    const unsigned v = cam_width(w, n);
    if (key::is_digit(ed.letter)) {
        const unsigned d = key::digit(ed.letter);
        if (ed.start) {
            set_cam_width(w, n, d);
        } else if (!cam_width_in_degrees(v)) {
            const unsigned t = v * 10 + d;
            set_cam_width(w, n, t <= cam_width_tenths_max ? t : v | cam_width_degrees_bit);
        }
        // Whole degrees take no further digit: the byte has no room for another one.
        ed.start = 0;
    } else if (ed.letter == key::del) {
        set_cam_width(w, n, cam_width_in_degrees(v) ? cam_width_degrees(v) : v / 10);
        ed.start = 0;
    }
}

void value_key(Editor& ed, Wert& w, unsigned n) {
    const int k = ed.letter;
    switch (ed.mode) {
    case 4: select_key(ed, w); break;
    case 19: toggle_key(k, w, n, write_protection_bit); break;
    case 20: cylinders_key(k, w, n); break;
    case 21: byte_key(ed, w, n, addr::tdc_width, tdc_width_max, clears_flag); break;
    case 22: byte_key(ed, w, n, addr::crank_pulses, crank_pulses_max, clears_flag); break;
    case 23: byte_key(ed, w, n, addr::crank_width, crank_width_max, keeps_flag); break;
    case 24: pair_key(ed, w, n, addr::crank_offset, offset_cap(crank_pulses(w, n))); break;
    case 25: pair_key(ed, w, n, addr::gap_phase, phase_max); break;
    case 26: gap_count_key(k, w, n); break;
    case 27: gap_pulses_key(k, w, n); break;
    case 28: byte_key(ed, w, n, addr::cam_pulses, cam_pulses_max, clears_flag); break;
    case 29: cam_width_key(ed, w, n); break;
    case 30: pair_key(ed, w, n, addr::cam_offset, offset_cap(cam_pulses(w, n))); break;
    case 31: pair_key(ed, w, n, addr::sync_phase, phase_max); break;
    case 32: sync_pulses_key(k, w, n); break;
    case 33: toggle_key(k, w, n, cam_inversion_bit); break;
    case 34: toggle_key(k, w, n, crank_flag_bit); break;
    default: break;
    }
}

// ---- Field 5 ------------------------------------------------------------------------------

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
        if (p > 1) at(p - 1);
        else go_to(ed, row, 4);
        return;
    case key::right:
        if (p < wheel_name_length) at(p + 1);
        else go_to(ed, row, 20);
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

// Key codes name US key positions; these keys store the character a German keyboard shows on
// that key (Shift+7 is "/", AltGr+7 to AltGr+0 give the braces and brackets), so a name is
// typed as the keys are labelled.
struct Translation {
    int key;
    char stored;
};
constexpr Translation translations[] = {
    {'&', '/'}, {'(', ')'}, {')', '='}, {'*', '('}, {'+', '*'}, {'/', '#'},
    {'<', ';'}, {'=', '+'}, {'>', ':'}, {'\\', '^'}, {']', '\''}, {'^', '&'},
    {'{', '?'}, {key::alt_7, '{'}, {key::alt_8, '['}, {key::alt_9, ']'}, {key::alt_0, '}'},
};

bool stored_as_typed(int k) {
    if ((k >= 'A' && k <= 'Z') || (k >= 'a' && k <= 'z') || key::is_digit(k)) return true;
    switch (k) {
    case ' ': case '!': case '$': case '%': case ',': case '-': case '.': case '_': return true;
    default: return false;
    }
}

} // namespace

unsigned offset_cap(unsigned pulses) { return full_turn_tenths / std::max(pulses, 1u); }

int name_character(int k) {
    if (stored_as_typed(k)) return k;
    for (const Translation& t : translations)
        if (t.key == k) return t.stored;
    return -1;
}

// Escape and Alt+X first bring a count or width out of 0; a cursor key that leaves a field
// does so before it moves.
void wheel_rule(Editor& ed, Wert& w) {
    const Moves* row = find_moves(table, ed.mode);
    if (row == nullptr) return;
    const unsigned n = selected_wheel(w);
    if (key::ends_editing(ed.letter)) {
        if (leaves_on_end(ed.mode)) leave(ed.mode, w, n);
        return;
    }
    const int target = move_target(*row, ed.letter);
    if (target != no_move) {
        leave(ed.mode, w, n);
        go_to(ed, *row, target);
    } else if (ed.mode == 5) {
        name_rule(ed, w, n, *row);
    } else {
        value_key(ed, w, n);
    }
}

} // namespace ulo
