#include "editor/editor.hpp"

#include "screen/screen.hpp"

namespace ulo {

const Moves* find_moves(const Moves* table, std::size_t count, int field) {
    for (std::size_t k = 0; k < count; ++k)
        if (table[k].field == field) return &table[k];
    return nullptr;
}

int move_target(const Moves& row, int k) {
    switch (k) {
    case key::enter: return row.enter;
    case key::up: return row.up;
    case key::down: return row.down;
    case key::left: return row.left;
    case key::right: return row.right;
    case key::home: return row.home;
    case key::end: return row.end;
    default: return no_move;
    }
}

void go_to(Editor& ed, const Moves& row, int target) {
    ed.mode = target;
    if (row.sets_flag) ed.start = 1;
}

void apply_rule(Editor& ed, Wert& wert) {
    switch (ed.mode) {
    case 0: case 1: case 2: case 3: case 6: case 7:
    case 9: case 10: case 11: case 12: case 13: case 14: case 15: case 16: case 17: case 18:
        general_rule(ed, wert);
        break;
    case 4: case 5:
    case 19: case 20: case 21: case 22: case 23: case 24: case 25: case 26:
    case 27: case 28: case 29: case 30: case 31: case 32: case 33: case 34:
        wheel_rule(ed, wert);
        break;
    case 8: case 35: case 36: case 37: ramp_rule(ed, wert); break;
    case 38: case 39: case 40: case 41: can_rule(ed, wert); break;
    default: break;
    }
}

namespace {

// Where each field's value stands, the format it is written again in, and where the console
// cursor is left. Each highlight covers exactly the value the screen has just drawn.
struct Highlight {
    int field;
    unsigned x, y;
    const char* format;
    unsigned cursor_x, cursor_y;
};

constexpr Highlight highlights[field_count] = {
    {0, 29, 5, "%2u", 30, 5},
    {1, 28, 6, "%3s", 31, 6},
    {2, 68, 5, "%3u %", 69, 5},
    {3, 67, 6, "%4s", 70, 6},
    {4, 29, 8, "%2u", 30, 8},
    {5, 40, 8, nullptr, 0, 8}, // the quoted name; the cursor on name character `start`
    {6, 57, 9, "%1u", 57, 9},
    {7, 27, 10, "%4u", 30, 10},
    {8, 29, 11, "%2u", 30, 11},
    {9, 26, 14, "%5u", 30, 14},
    {10, 27, 15, "%4u", 30, 15},
    {11, 28, 17, "%3u", 30, 17},
    {12, 28, 18, "%3u", 30, 18},
    {13, 27, 20, "%4s", 31, 20},
    {14, 27, 21, "%4u", 30, 21},
    {15, 27, 22, "%4u", 30, 22},
    {16, 27, 23, "%4u", 30, 23},
    {17, 66, 22, "%5u", 70, 22},
    {18, 66, 23, "%5u", 70, 23},
    {19, 28, 9, "%3s", 30, 9},
    {20, 70, 8, "%u", 70, 8},
    {21, 69, 9, "%2u", 70, 9},
    {22, 55, 12, "%3u", 57, 12},
    {23, 68, 12, "%3.1f", 70, 12},
    {24, 66, 13, "%5.1f", 70, 13},
    {25, 66, 14, "%5.1f", 70, 14},
    {26, 70, 15, "%1u", 70, 15},
    {27, 56, 15, "%2i", 57, 15},
    {28, 55, 17, "%3u", 57, 17},
    {29, 67, 17, nullptr, 70, 17}, // cam_width: "%3u" from column 68 or "%4.1f" from 67
    {30, 66, 18, "%5.1f", 70, 18},
    {31, 66, 19, "%5.1f", 70, 19},
    {32, 56, 20, "%2i", 57, 20},
    {33, 55, 10, "%3s", 57, 10},
    {34, 68, 10, "%3s", 70, 10},
    {35, 2, 12, "%02u", 3, 12},
    {36, 12, 12, "%5.2f", 16, 12},
    {37, 27, 12, "%4u", 30, 12},
    {38, 20, 25, "%02X", 21, 25},
    {39, 23, 25, "%02X", 24, 25},
    {40, 26, 25, "%02X", 27, 25},
    {41, 29, 25, "%02X", 30, 25},
};

template <typename T> void show(Console& con, const Highlight& h, T value) {
    gotoxy(con, h.x, h.y);
    cprintf(con, h.format, value);
}

const char* yes_no(bool b) { return b ? "yes" : "no"; }

} // namespace

void highlight(Console& con, const Editor& ed, const Wert& w) {
    if (ed.mode < 0 || ed.mode >= field_count) return;
    const Highlight& h = highlights[ed.mode];
    const unsigned n = selected_wheel(w);
    switch (ed.mode) {
    case 0: show(con, h, last_menu(w)); break;
    case 1: show(con, h, edit_mode_bit(w) ? "off" : "on"); break;
    case 2: show(con, h, brightness_percent(brightness(w))); break;
    case 3: show(con, h, contrast_high(contrast(w)) ? "high" : "low"); break;
    case 4: show(con, h, n + 1); break;
    case 5:
        gotoxy(con, h.x, h.y);
        write_name(con, w, n);
        gotoxy(con, h.x + static_cast<unsigned>(ed.start), h.y);
        return;
    case 6: show(con, h, tdc_cyl(w)); break;
    case 7: show(con, h, halved(max_poti_speed(w))); break;
    case 8: show(con, h, ramp_points(w)); break;
    case 9: show(con, h, vss_pulses_per_km(w)); break;
    case 10: show(con, h, vss_pulse_width(w)); break;
    case 11: show(con, h, aux_speed_pulses(w)); break;
    case 12: show(con, h, aux_speed_pulse_width(w)); break;
    case 13: show(con, h, lis_inversion(w) == 0 ? "norm" : "inv"); break;
    case 14: show(con, h, lis_lower_threshold(w)); break;
    case 15: show(con, h, lis_upper_threshold(w)); break;
    case 16: show(con, h, kickdown_threshold(w)); break;
    case 17: show(con, h, first_high_frequency(w)); break;
    case 18: show(con, h, second_high_frequency(w)); break;
    case 19: show(con, h, yes_no(write_protection(w, n))); break;
    case 20: show(con, h, cylinders(w, n)); break;
    case 21: show(con, h, tdc_width(w, n)); break;
    case 22: show(con, h, crank_pulses(w, n)); break;
    case 23: show(con, h, tenths(crank_width(w, n))); break;
    case 24: show(con, h, tenths(crank_offset(w, n))); break;
    case 25: show(con, h, tenths(gap_phase(w, n))); break;
    case 26: show(con, h, gap_count(w, n)); break;
    case 27: show(con, h, gap_pulses(w, n)); break;
    case 28: show(con, h, cam_pulses(w, n)); break;
    case 29: {
        const unsigned cw = cam_width(w, n);
        if (cam_width_in_degrees(cw)) {
            gotoxy(con, 68, h.y);
            cprintf(con, "%3u", cam_width_degrees(cw));
        } else {
            gotoxy(con, 67, h.y);
            cprintf(con, "%4.1f", tenths(cw));
        }
        break;
    }
    case 30: show(con, h, tenths(cam_offset(w, n))); break;
    case 31: show(con, h, tenths(sync_phase(w, n))); break;
    case 32: show(con, h, sync_pulses(w, n)); break;
    case 33: show(con, h, yes_no(cam_inversion(w, n))); break;
    case 34: show(con, h, yes_no(crank_flag(w, n))); break;
    case 35: show(con, h, ed.ramp); break;
    case 36: show(con, h, hundredths(ramp_time(w, ed.ramp))); break;
    case 37: show(con, h, halved(ramp_speed(w, ed.ramp))); break;
    case 38: show(con, h, can_byte(w, 3)); break;
    case 39: show(con, h, can_byte(w, 2)); break;
    case 40: show(con, h, can_byte(w, 1)); break;
    case 41: show(con, h, can_byte(w, 0)); break;
    }
    gotoxy(con, h.cursor_x, h.cursor_y);
}

int read_key(Console& con) {
    int k = getch(con);
    if (k == 0) k = 256 + getch(con);
    return k;
}

void enter_editor(Editor& ed) {
    ed.mode = 0;
    ed.start = 1;
    ed.drawn = false;
}

bool edit(Console& con, Editor& ed, Wert& wert) {
    for (;;) {
        if (!ed.drawn) {
            screen(con, wert, ed.ramp);
            textcolor(con, light_red);
            highlight(con, ed, wert);
            ed.drawn = true;
        }
        if (!key_ready(con)) return false;
        ed.letter = read_key(con);
        ed.drawn = false;
        apply_rule(ed, wert);
        if (key::ends_editing(ed.letter)) return true;
    }
}

} // namespace ulo
