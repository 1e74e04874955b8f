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

FieldGroup field_group(int field) {
    using enum FieldGroup;
    // clang-format off
    constexpr FieldGroup groups[field_count] = {
        general, general, general, general, wheel, wheel, general, general, ramp, general, // 0..9
        general, general, general, general, general, general, general, general, general,  // ..18
        wheel, wheel, wheel, wheel, wheel, wheel, wheel, wheel,                            // ..26
        wheel, wheel, wheel, wheel, wheel, wheel, wheel, wheel,                            // ..34
        ramp, ramp, ramp, can, can, can, can,                                              // ..41
    };
    // clang-format on
    static_assert(groups[field::name] == wheel && groups[field::ramp_point] == ramp &&
                  groups[field::can_id_1] == can && groups[field::can_id_4] == can);
    return field >= 0 && field < field_count ? groups[field] : none;
}

void apply_rule(Editor& ed, Wert& wert) {
    switch (field_group(ed.mode)) {
    case FieldGroup::general: general_rule(ed, wert); break;
    case FieldGroup::wheel: wheel_rule(ed, wert); break;
    case FieldGroup::ramp: ramp_rule(ed, wert); break;
    case FieldGroup::can: can_rule(ed, wert); break;
    case FieldGroup::none: break;
    }
}

Typing typing(const Param& p) {
    return {p.high, digit_base(p), digit_scale(p), p.past == Past::refuses};
}

namespace {

// The value of a digit key in `base`, either case for hexadecimal, or -1.
int digit_value(int k, unsigned base) {
    if (key::is_digit(k)) return static_cast<int>(key::digit(k));
    if (base != 16) return -1;
    if (k >= 'a' && k <= 'f') return k - 'a' + 10;
    if (k >= 'A' && k <= 'F') return k - 'A' + 10;
    return -1;
}

bool is_toggle_key(int k) { return k == key::space || k == key::page_up || k == key::page_down; }

// The correction a field makes to its value when it is left; on Escape and Alt+X only where
// its parameter says so.
void leave_field(Editor& ed, Wert& w, bool ending) {
    const Param* p = field_param(ed.mode);
    if (p == nullptr || p->leave == Leave::none || (ending && !p->leave_on_end)) return;
    const unsigned index = field_index(ed, w, *p);
    if (get(w, p->id, index) >= p->leave_min) return;
    put(w, p->id, index, p->leave == Leave::raise ? p->leave_min : 0);
}

} // namespace

long long type_number(Editor& ed, long long stored, const Typing& t) {
    if (const int d = digit_value(ed.letter, t.base); d >= 0) {
        const long long x = t.scale * d + (ed.start ? 0 : stored * t.base);
        const bool fresh = ed.start != 0;
        ed.start = 0;
        if (fresh || x <= t.max) return x;
        return t.refuses ? stored : t.max;
    }
    if (ed.letter == key::del) {
        ed.start = 0;
        return stored / t.base / t.scale * t.scale;
    }
    return stored;
}

unsigned field_index(const Editor& ed, const Wert& w, const Param& p) {
    switch (p.group) {
    case Group::wheel: return selected_wheel(w);
    case Group::ramp_point: return ed.ramp;
    default: return 0;
    }
}

void leave(Editor& ed, Wert& w) {
    if (ed.mode == field::ramp_point) leave_ramp_point(ed);
    leave_field(ed, w, false);
}

bool leave_or_move(Editor& ed, Wert& w, const Moves* row) {
    if (row == nullptr) return false;
    const int target = move_target(*row, ed.letter);
    const bool ending = key::ends_editing(ed.letter);
    if (target != no_move || ending) leave_field(ed, w, ending);
    if (target != no_move) go_to(ed, *row, target);
    return target == no_move && !ending;
}

void plain_key(Editor& ed, Wert& w) {
    const Param* p = field_param(ed.mode);
    if (p == nullptr) return;
    const unsigned index = field_index(ed, w, *p);
    const long long v = get(w, p->id, index);
    if (const Words* two = words(p->shown)) {
        if (is_toggle_key(ed.letter))
            put(w, p->id, index, shows_first(*two, v) ? two->second_value : two->first_value);
        return;
    }
    const long long after = type_number(ed, v, typing(*p));
    if (after != v) put(w, p->id, index, after);
}

namespace {

// Each field's value is written again where the screen has just drawn it, in the screen's
// item that shows the field's parameter (the ramp point's number for field::ramp_point); of the
// CAN id only the field's own byte. `unit` says whether the highlight covers what the screen
// writes after the value. The console cursor is then left in column `cursor_x` of that row.
struct Highlight {
    int field;
    bool unit;
    unsigned cursor_x;
};
constexpr bool with_unit = true;
constexpr bool value_only = false;

constexpr Highlight highlights[field_count] = {
    {field::last_menu, value_only, 30},
    {field::edit_mode_bit, value_only, 31},
    {field::brightness, with_unit, 69},
    {field::contrast, value_only, 70},
    {field::wheel_select, value_only, 30},
    {field::name, value_only, 40}, // the quoted name; the cursor on name character `start`
    {field::tdc_cyl, value_only, 57},
    {field::max_poti_speed, value_only, 30},
    {field::ramp_points, value_only, 30},
    {field::vss_pulses_per_km, value_only, 30},
    {field::vss_pulse_width, value_only, 30},
    {field::aux_speed_pulses, value_only, 30},
    {field::aux_speed_pulse_width, value_only, 30},
    {field::lis_inversion, value_only, 31},
    {field::lis_lower_threshold, value_only, 30},
    {field::lis_upper_threshold, value_only, 30},
    {field::kickdown_threshold, value_only, 30},
    {field::first_high_frequency, value_only, 70},
    {field::second_high_frequency, value_only, 70},
    {field::write_protection, value_only, 30},
    {field::cylinders, value_only, 70},
    {field::tdc_width, value_only, 70},
    {field::crank_pulses, value_only, 57},
    {field::crank_width, value_only, 70},
    {field::crank_offset, value_only, 70},
    {field::gap_phase, value_only, 70},
    {field::gap_count, value_only, 70},
    {field::gap_pulses, value_only, 57},
    {field::cam_pulses, value_only, 57},
    {field::cam_width, value_only, 70}, // in the form the screen shows
    {field::cam_offset, value_only, 70},
    {field::sync_phase, value_only, 70},
    {field::sync_pulses, value_only, 57},
    {field::cam_inversion, value_only, 57},
    {field::crank_flag, value_only, 70},
    {field::ramp_point, value_only, 3},
    {field::ramp_time, value_only, 16},
    {field::ramp_speed, value_only, 30},
    {field::can_id_1, value_only, 21},
    {field::can_id_2, value_only, 24},
    {field::can_id_3, value_only, 27},
    {field::can_id_4, value_only, 30},
};

constexpr bool each_field_in_its_row() {
    for (int k = 0; k < field_count; ++k)
        if (highlights[k].field != k) return false;
    return true;
}
static_assert(each_field_in_its_row(), "highlight() indexes the table by field");

} // namespace

void highlight(Console& con, const Editor& ed, const Wert& w) {
    if (ed.mode < 0 || ed.mode >= field_count) return;
    const Highlight& h = highlights[ed.mode];
    const Param* p = field_param(ed.mode);
    const Shows shows = p != nullptr ? Shows(p->id) : std::nullopt;
    const bool can_byte = ed.mode >= field::can_id_1 && ed.mode <= field::can_id_4;
    write_item_value(con, w, ed.ramp, shows,
                     can_byte ? static_cast<unsigned>(ed.mode - field::can_id_1 + 1) : 0, h.unit);
    const unsigned name_cursor = ed.mode == field::name ? static_cast<unsigned>(ed.start) : 0;
    gotoxy(con, h.cursor_x + name_cursor, item_row(shows));
}

void enter_editor(Editor& ed) {
    ed.mode = field::last_menu;
    ed.start = 1;
    ed.drawn = false;
}

bool edit(Console& con, Editor& ed, Wert& wert) {
    for (;;) {
        if (!ed.drawn) {
            screen(con, wert, ed.ramp, ed.reference ? &ed.reference->wert : nullptr);
            if (ed.reference) reference_box(con, ed, wert, true);
            textcolor(con, light_red);
            highlight(con, ed, wert);
            ed.drawn = true;
        }
        if (!key_ready(con)) return false;
        ed.letter = read_key(con);
        ed.drawn = false;
        if (!reference_key(ed, wert)) apply_rule(ed, wert);
        if (key::ends_editing(ed.letter)) return true;
    }
}

} // namespace ulo
