// The key rules of the general settings, fields 0-3, 6, 7 and 9-18.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "editor/editor.hpp"
#include "editor/general.hpp"
#include "support.hpp"

namespace ulo {
namespace {

using Keys = std::initializer_list<int>;
constexpr int esc = key::escape, alt_x = key::alt_x, del = key::del, space = key::space;
constexpr int enter = key::enter, up = key::up, down = key::down, left = key::left,
              right = key::right, home = key::home, end = key::end, pg_up = key::page_up,
              pg_down = key::page_down;

constexpr int general_fields[] = {0, 1, 2, 3, 6, 7, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18};

// Applies each key to the current field in turn, as the editor does between redraws.
void type(Editor& ed, Wert& w, Keys keys) {
    for (int k : keys) {
        ed.letter = k;
        apply_rule(ed, w);
    }
}

Editor at(int field, int start) {
    Editor ed;
    ed.mode = field;
    ed.start = start;
    return ed;
}

std::string describe(int field, Keys keys) {
    std::string s = "field " + std::to_string(field) + ", keys";
    for (int k : keys) s += " " + std::to_string(k);
    return s;
}

// The number a typed field shows: rpm for field 7, the byte for field 0, else the pair.
unsigned address_of(int field) {
    switch (field) {
    case 7: return addr::max_poti_speed;
    case 9: return addr::vss_pulses_per_km;
    case 10: return addr::vss_pulse_width;
    case 11: return addr::aux_speed_pulses;
    case 12: return addr::aux_speed_pulse_width;
    case 14: return addr::lis_lower_threshold;
    case 15: return addr::lis_upper_threshold;
    case 16: return addr::kickdown_threshold;
    case 17: return addr::first_high_frequency;
    case 18: return addr::second_high_frequency;
    }
    ADD_FAILURE() << "field " << field << " has no pair";
    return addr::vss_pulses_per_km;
}
unsigned shown(const Wert& w, int field) {
    if (field == 0) return last_menu(w);
    return field == 7 ? halved(max_poti_speed(w)) : pair(w, address_of(field));
}
void set_shown(Wert& w, int field, unsigned v) {
    if (field == 0) return set_last_menu(w, v);
    set_pair(w, address_of(field), field == 7 ? 2 * v : v);
}

// ---- Decimal entry ---------------------------------------------------------------------

struct Entry {
    int field;
    unsigned before; // the value shown before the keys
    int start;       // the fresh-entry flag before the keys
    Keys keys;
    unsigned after;
};

const Entry entries[] = {
    // Clamped at MAX, and further digits keep it there.
    {9, 4000, 1, {'9', '9', '9', '9'}, 9999},
    {9, 4000, 1, {'9', '9', '9', '9', '9'}, 50000},
    {9, 4000, 1, {'9', '9', '9', '9', '9', '9'}, 50000},
    {10, 10, 1, {'6', '7', '0', '1'}, 6700},   {10, 10, 1, {'6', '6', '9', '9'}, 6699},
    {11, 4, 1, {'1', '2', '1'}, 120},          {11, 4, 1, {'9', '9'}, 99},
    {12, 50, 1, {'1', '0', '1'}, 100},         {12, 50, 1, {'9', '9'}, 99},
    {14, 800, 1, {'5', '0', '0', '1'}, 5000},  {14, 800, 1, {'4', '9', '9', '9'}, 4999},
    {15, 3600, 1, {'5', '0', '0', '0', '7'}, 5000},
    {16, 4000, 1, {'9', '9', '9', '9'}, 5000},
    {17, 0, 1, {'2', '0', '0', '0', '1'}, 20000},
    {18, 1000, 1, {'1', '9', '9', '9', '9'}, 19999},
    // The first digit after arrival replaces, later ones append.
    {12, 5, 0, {'3'}, 53},                     {12, 5, 1, {'3'}, 3},
    {9, 4000, 1, {'0', '0', '7'}, 7},
    // Delete drops the last digit; digits append to what is left.
    {9, 4000, 1, {del}, 400},                  {9, 4000, 0, {del, del, '5'}, 405},
    {14, 0, 0, {del}, 0},
    // A value above MAX from the file is clamped by the first digit appended, not by Delete.
    {14, 60000, 0, {'1'}, 5000},               {9, 65535, 0, {'9'}, 50000},
    {14, 60000, 1, {del}, 6000},
    // Page Up, Page Down, Space, Backspace and letters are ignored.
    {9, 4000, 0, {pg_up, pg_down, space, key::backspace, 'a'}, 4000},
    {14, 800, 1, {pg_up, '1'}, 1},
    // Field 0 takes 0..10.
    {0, 3, 1, {'5', '3'}, 10},                 {0, 3, 1, {'1', '0'}, 10},
    {0, 3, 1, {'1', '2'}, 10},                 {0, 3, 1, {'0', '7'}, 7},
    {0, 10, 1, {'7'}, 7},                      {0, 10, 1, {'1', '0', '0'}, 10},
    {0, 10, 0, {del}, 1},                      {0, 200, 0, {'1'}, 10},
    {0, 200, 0, {del}, 20},                    {0, 3, 0, {pg_up, space}, 3},
    // Field 7 in rpm: a digit that would store 20000 or more is refused, not clamped.
    {7, 6000, 1, {'1', '2', '3', '4'}, 1234},  {7, 6000, 1, {'1', '2', '3', '4', '5'}, 1234},
    {7, 6000, 1, {'1', '2', '3', '4', '5', del}, 123},
    {7, 6000, 1, {'9', '9', '9', '9', '9'}, 9999},
    {7, 6000, 1, {'1', '0', '0', '0', '0'}, 1000},
    {7, 6000, 1, {'1', '0', '0', '0', del, '5'}, 1005},
    {7, 6000, 1, {'0'}, 0},                    {7, 6000, 0, {del}, 600},
    {7, 6000, 0, {pg_up, pg_down, space, left}, 6000},
};

TEST(GeneralDecimalEntry, KeysGiveTheValue) {
    for (const Entry& e : entries) {
        SCOPED_TRACE(describe(e.field, e.keys) + ", before " + std::to_string(e.before));
        Wert w = test::example_image();
        set_shown(w, e.field, e.before);
        Editor ed = at(e.field, e.start);
        type(ed, w, e.keys);
        EXPECT_EQ(shown(w, e.field), e.after);
        EXPECT_EQ(ed.mode, e.field);
        // Any digit or Delete clears the flag; the other keys leave it.
        bool typed = false;
        for (int k : e.keys) typed = typed || key::is_digit(k) || k == del;
        EXPECT_EQ(ed.start, typed ? 0 : e.start);
    }
}

// Every 16-bit decimal field clamps at its own MAX, writing both bytes.
TEST(GeneralDecimalEntry, EachFieldClampsAtItsMaximum) {
    const struct {
        int field;
        unsigned max;
    } maxima[] = {{9, vss_pulses_per_km_max},    {10, vss_pulse_width_max},
                  {11, aux_speed_pulses_max},    {12, aux_speed_pulse_width_max},
                  {14, lis_lower_threshold_max}, {15, lis_upper_threshold_max},
                  {16, kickdown_threshold_max},  {17, high_frequency_max},
                  {18, high_frequency_max}};
    for (const auto& m : maxima) {
        for (unsigned before : {m.max / 10, m.max, 65535u}) {
            Wert w{};
            set_shown(w, m.field, before);
            Editor ed = at(m.field, 0);
            type(ed, w, {'9'});
            EXPECT_EQ(shown(w, m.field), m.max) << "field " << m.field << ", before " << before;
        }
    }
}

// Stored twice the rpm; Delete keeps the stored value even.
TEST(GeneralPotiSpeed, StoredDoubledAndDeleteClearsBitZero) {
    const struct {
        unsigned before;
        int k;
        unsigned after;
    } cases[] = {
        {2468, '5', 2468}, {2000, '0', 2000},   {1999, '4', 19998}, {1999, '5', 1999},
        {2468, del, 246},  {2471, del, 246},    {65535, del, 6552}, {65535, '1', 65535},
    };
    for (const auto& c : cases) {
        Wert w = test::example_image();
        set_max_poti_speed(w, c.before);
        Editor ed = at(7, 0);
        type(ed, w, {c.k});
        EXPECT_EQ(max_poti_speed(w), c.after) << "stored " << c.before << ", key " << c.k;
    }
}

// ---- Moves -----------------------------------------------------------------------------

TEST(GeneralMoves, CursorKeysLeadToTheirTargets) {
    // Enter, Up, Down, Left, Right, Home, End; -1 where the key is ignored. The fields that
    // only go leave the fresh-entry flag as it was.
    const struct {
        test::MovesRow row;
        bool sets_flag;
    } rows[] = {
        {{0, {1, 38, 1, -1, 2, -1, 18}}, true},     {{1, {2, 0, 4, -1, 3, 0, 18}}, false},
        {{2, {3, 18, 3, 0, -1, 0, 18}}, false},     {{3, {4, 2, 20, 1, -1, 0, 18}}, false},
        {{6, {21, 5, 33, 19, 21, 0, 18}}, false},   {{7, {8, 19, 8, -1, 33, 0, 18}}, true},
        {{9, {10, 37, 10, -1, 25, 0, 18}}, true},   {{10, {11, 9, 11, -1, 27, 0, 18}}, true},
        {{11, {12, 10, 12, -1, 28, 0, 18}}, true},  {{12, {13, 11, 13, -1, 30, 0, 18}}, true},
        {{13, {14, 12, 14, -1, 32, 0, 18}}, false}, {{14, {15, 13, 15, -1, -1, 0, 18}}, true},
        {{15, {16, 14, 16, -1, 17, 0, 18}}, true},  {{16, {17, 15, 38, -1, 18, 0, 18}}, true},
        {{17, {18, 32, 18, 15, -1, 0, 18}}, true},  {{18, {0, 17, 2, 16, -1, 0, -1}}, true},
    };
    Wert w = test::example_image();
    set_vss_pulse_width(w, vss_pulse_width_min); // a value no leave rule corrects
    for (const auto& r : rows) test::expect_moves(r.row, w, r.sets_flag);
}

// Keys known to no field of the group leave the image, the cursor and the flag as they are.
TEST(GeneralMoves, UnknownKeysChangeNothing) {
    for (int field : general_fields) {
        for (int k : {key::backspace, key::minus, int{'a'}, int{'F'}, key::insert, key::f1,
                      key::alt_escape, key::alt_7, key::alt_0, 255}) {
            for (int start : {0, 1}) {
                Wert w = test::example_image();
                const Wert before = w;
                Editor ed = at(field, start);
                type(ed, w, {k});
                EXPECT_TRUE(w == before && ed.mode == field && ed.start == start)
                    << describe(field, {k}) << ", start " << start;
            }
        }
    }
}

// ---- Leave rules -----------------------------------------------------------------------

struct Leave {
    int field;
    unsigned before;
    Keys keys;
    unsigned after;
    int mode_after;
};

const Leave leaves[] = {
    // Field 9 keeps at least 2401 on every key that leaves it and on Escape and Alt+X...
    {9, 4000, {'5', enter}, 2401, 10},  {9, 2400, {up}, 2401, 37},   {9, 0, {down}, 2401, 10},
    {9, 0, {right}, 2401, 25},          {9, 0, {home}, 2401, 0},     {9, 0, {end}, 2401, 18},
    {9, 100, {esc}, 2401, 9},           {9, 100, {alt_x}, 2401, 9},  {9, 2402, {enter}, 2402, 10},
    // ... but not on a key it ignores, nor on digits and Delete.
    {9, 5, {left}, 5, 9},               {9, 2401, {del}, 240, 9},    {9, 0, {pg_up}, 0, 9},
    // Field 10: at least 670. Field 11: 0 becomes 1.
    {10, 100, {esc}, 670, 10},          {10, 669, {enter}, 670, 11}, {10, 670, {up}, 670, 9},
    {10, 0, {alt_x}, 670, 10},          {10, 0, {left}, 0, 10},      {11, 0, {esc}, 1, 11},
    {11, 0, {right}, 1, 28},            {11, 0, {home}, 1, 0},       {11, 2, {down}, 2, 12},
    {11, 0, {left}, 0, 11},
    // Fields 17 and 18: 1..30 become 0 (off); 0 and 31 on stay.
    {17, 0, {'2', '5', down}, 0, 18},   {17, 0, {'3', '1', down}, 31, 18},
    {17, 30, {esc}, 0, 17},             {17, 1, {alt_x}, 0, 17},     {17, 0, {enter}, 0, 18},
    {17, 25, {left}, 0, 15},            {17, 25, {up}, 0, 32},       {17, 25, {right}, 25, 17},
    {18, 25, {end}, 25, 18},            {18, 25, {down}, 0, 2},      {18, 25, {enter}, 0, 0},
    {18, 25, {home}, 0, 0},             {18, 30, {left}, 0, 16},     {18, 31, {esc}, 31, 18},
    // Values above MAX from the file are not lowered on leaving.
    {9, 60000, {enter}, 60000, 10},     {10, 65535, {esc}, 65535, 10},
    {17, 65535, {alt_x}, 65535, 17},
    // Fields without a leave rule keep small values.
    {12, 0, {esc}, 0, 12},              {14, 0, {enter}, 0, 15},     {16, 0, {down}, 0, 38},
    {0, 0, {esc}, 0, 0},                {7, 0, {alt_x}, 0, 7},
};

TEST(GeneralLeaveRules, AppliedOnLeavingAndOnEnding) {
    for (const Leave& l : leaves) {
        SCOPED_TRACE(describe(l.field, l.keys) + ", before " + std::to_string(l.before));
        Wert w = test::example_image();
        set_shown(w, l.field, l.before);
        Editor ed = at(l.field, 1);
        type(ed, w, l.keys);
        EXPECT_EQ(shown(w, l.field), l.after);
        EXPECT_EQ(ed.mode, l.mode_after);
    }
}

// Escape and Alt+X keep the cursor and the flag and touch nothing but a leave rule's value.
TEST(GeneralLeaveRules, EndKeysTouchOnlyTheLeaveRulesValue) {
    for (int field : general_fields) {
        for (int k : {esc, alt_x}) {
            for (std::uint8_t fill : {std::uint8_t{0}, std::uint8_t{0xFF}}) {
                Wert w;
                w.fill(fill);
                Wert expected = w;
                if (fill == 0 && field == 9) set_vss_pulses_per_km(expected, vss_pulses_per_km_min);
                if (fill == 0 && field == 10) set_vss_pulse_width(expected, vss_pulse_width_min);
                if (fill == 0 && field == 11) set_aux_speed_pulses(expected, aux_speed_pulses_min);
                Editor ed = at(field, fill & 1);
                type(ed, w, {k});
                EXPECT_TRUE(w == expected && ed.mode == field && ed.start == (fill & 1))
                    << describe(field, {k}) << ", fill " << int{fill};
            }
        }
    }
}

// ---- Toggles and brightness ------------------------------------------------------------

struct Step {
    int field;
    unsigned before; // the byte at the field's address
    int key;
    unsigned after;
};

void set_byte_of(Wert& w, int field, unsigned v) {
    switch (field) {
    case 1: return set_byte(w, addr::edit_mode_bit, v);
    case 2: return set_brightness(w, v);
    case 3: return set_contrast(w, v);
    case 13: return set_lis_inversion(w, v);
    }
    ADD_FAILURE() << "field " << field;
}

const Step steps[] = {
    // Field 1 inverts bit 0 of address 7 and keeps bits 1-7 (6 shows "on", 7 "off").
    {1, 6, space, 7},         {1, 7, space, 6},        {1, 0xFE, pg_up, 0xFF},
    {1, 0x01, pg_down, 0x00}, {1, 0xA5, space, 0xA4},  {1, 6, '1', 6},
    {1, 7, del, 7},
    // Field 3: 100 becomes 50, anything else 100 ("high").
    {3, 0, space, 100},       {3, 100, space, 50},     {3, 50, pg_up, 100},
    {3, 77, pg_down, 100},    {3, 100, '5', 100},      {3, 100, del, 100},
    // Field 13: 0 becomes 1, anything else 0.
    {13, 0, space, 1},        {13, 1, pg_up, 0},       {13, 200, pg_down, 0},
    {13, 0, '1', 0},          {13, 5, del, 5},
    // Field 2: a digit replaces the whole value; '1' is full brightness.
    {2, 45, '0', 0},          {2, 45, '1', 50},        {2, 45, '2', 10},
    {2, 45, '3', 15},         {2, 0, '4', 20},         {2, 0, '5', 25},
    {2, 0, '6', 30},          {2, 0, '7', 35},         {2, 0, '8', 40},
    {2, 0, '9', 45},
    // Page Up adds 10 below 50 only, Page Down takes 10 from 10 and more only.
    {2, 45, pg_up, 55},       {2, 40, pg_up, 50},      {2, 0, pg_up, 10},
    {2, 50, pg_up, 50},       {2, 200, pg_up, 200},    {2, 5, pg_down, 5},
    {2, 10, pg_down, 0},      {2, 55, pg_down, 45},    {2, 200, pg_down, 190},
    {2, 50, del, 5},          {2, 5, del, 0},          {2, 50, space, 50},
};

TEST(GeneralTogglesAndBrightness, KeysStepTheByte) {
    for (const Step& s : steps) {
        for (int start : {0, 1}) { // these fields neither read nor change the flag
            Wert w = test::example_image();
            set_byte_of(w, s.field, s.before);
            Wert expected = w;
            set_byte_of(expected, s.field, s.after);
            Editor ed = at(s.field, start);
            type(ed, w, {s.key});
            EXPECT_TRUE(w == expected && ed.start == start && ed.mode == s.field)
                << describe(s.field, {s.key}) << ", before " << s.before << ", start " << start;
        }
    }
}

// ---- Field 6, TDC cylinder -------------------------------------------------------------

struct Tdc {
    unsigned select;     // wheel_select
    unsigned wheel_byte; // byte +0 of the selected record: cylinders and three flags
    unsigned before;
    int key;
    unsigned after;
};

const Tdc tdcs[] = {
    {0, 4, 2, '6', 4},        {0, 4, 2, '3', 3},        {0, 4, 2, '4', 4},
    {0, 4, 2, '0', 0},        {0, 4, 2, '9', 2},
    // The flags in bits 5-7 do not lift the limit.
    {0, 36, 2, '6', 4},       {0, 36, 2, '9', 2},       {0, 0xE4, 2, '8', 4},
    {0, 0xE0, 2, '3', 0},
    // No cylinders: every digit stores 0. Enough of them: the digit as typed, up to 8.
    {0, 0, 2, '5', 0},        {0, 0, 2, '8', 0},        {0, 0, 2, '9', 2},
    {0, 8, 2, '8', 8},        {0, 31, 2, '8', 8},       {0, 31, 2, '9', 2},
    // Delete drops a digit (a file may bring two); other keys are ignored.
    {0, 4, 7, del, 0},        {0, 4, 25, del, 2},       {0, 4, 2, pg_up, 2},
    {0, 4, 2, pg_down, 2},    {0, 4, 2, space, 2},
    // The selected wheel's record counts, and a wheel_select above 24 reads as 24.
    {2, 3, 1, '6', 3},        {24, 5, 1, '6', 5},       {200, 2, 1, '6', 2},
    {255, 6, 1, '8', 6},
};

TEST(GeneralTdcCylinder, LimitedByTheSelectedWheelsCylinders) {
    for (const Tdc& t : tdcs) {
        for (int start : {0, 1}) {
            Wert w = test::example_image();
            // Every other record allows all eight, so only the selected one can limit.
            for (unsigned n = 0; n < wheel_count; ++n) set_wheel_byte(w, n, addr::wheel_flags, 8);
            set_wheel_select(w, t.select);
            set_wheel_byte(w, selected_wheel(w), addr::wheel_flags, t.wheel_byte);
            set_tdc_cyl(w, t.before);
            Wert expected = w;
            set_tdc_cyl(expected, t.after);
            Editor ed = at(6, start);
            type(ed, w, {t.key});
            EXPECT_TRUE(w == expected && ed.start == start && ed.mode == 6)
                << "wheel " << t.select << " byte " << t.wheel_byte << ", key " << t.key
                << ", start " << start << ": tdc_cyl " << tdc_cyl(w);
        }
    }
}

// The flag set by a move lets the first digit in the next field replace its value; the
// fields that only go carry it through as it was.
TEST(GeneralWalk, FlagCarriesAcrossFields) {
    Wert w = test::example_image();
    Editor ed = at(16, 1);
    type(ed, w, {'1', '2', up, '3', up, up, up, '9', '9', up});
    EXPECT_EQ(kickdown_threshold(w), 12u);
    EXPECT_EQ(lis_upper_threshold(w), 3u);
    EXPECT_EQ(lis_lower_threshold(w), 800u);
    EXPECT_EQ(aux_speed_pulse_width(w), 99u); // field 13 kept the flag field 14 set
    EXPECT_EQ(ed.mode, 11);
    EXPECT_EQ(ed.start, 1);
}

} // namespace
} // namespace ulo
