// The key rules of the general settings, fields 0-3, 6, 7 and 9-18.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "editor/editor.hpp"
#include "editor/general.hpp"
#include "support.hpp"

namespace ulo {
namespace {

// Applies each key to the current field in turn, as the editor does between redraws.
void type(Editor& ed, Wert& w, std::initializer_list<int> keys) {
    for (int k : keys) {
        ed.letter = k;
        apply_rule(ed, w);
    }
}

std::string describe(int field, std::initializer_list<int> keys) {
    std::string s = "field " + std::to_string(field) + ", keys";
    for (int k : keys) s += " " + std::to_string(k);
    return s;
}

// The 16-bit parameter a decimal field edits.
unsigned value16(const Wert& w, int field) {
    switch (field) {
    case 9: return vss_pulses_per_km(w);
    case 10: return vss_pulse_width(w);
    case 11: return aux_speed_pulses(w);
    case 12: return aux_speed_pulse_width(w);
    case 14: return lis_lower_threshold(w);
    case 15: return lis_upper_threshold(w);
    case 16: return kickdown_threshold(w);
    case 17: return first_high_frequency(w);
    case 18: return second_high_frequency(w);
    }
    ADD_FAILURE() << "field " << field << " is not a 16-bit decimal field";
    return 0;
}

void set_value16(Wert& w, int field, unsigned v) {
    switch (field) {
    case 9: set_vss_pulses_per_km(w, v); return;
    case 10: set_vss_pulse_width(w, v); return;
    case 11: set_aux_speed_pulses(w, v); return;
    case 12: set_aux_speed_pulse_width(w, v); return;
    case 14: set_lis_lower_threshold(w, v); return;
    case 15: set_lis_upper_threshold(w, v); return;
    case 16: set_kickdown_threshold(w, v); return;
    case 17: set_first_high_frequency(w, v); return;
    case 18: set_second_high_frequency(w, v); return;
    }
    ADD_FAILURE() << "field " << field << " is not a 16-bit decimal field";
}

// The value fields 0, 7 and 9-18 show, as the number the user reads (rpm for field 7).
unsigned shown(const Wert& w, int field) {
    if (field == 0) return last_menu(w);
    if (field == 7) return halved(max_poti_speed(w));
    return value16(w, field);
}

void set_shown(Wert& w, int field, unsigned v) {
    if (field == 0) return set_last_menu(w, v);
    if (field == 7) return set_max_poti_speed(w, 2 * v);
    set_value16(w, field, v);
}

constexpr int general_fields[] = {0, 1, 2, 3, 6, 7, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18};
constexpr int no_leave_rule[] = {0, 1, 2, 3, 6, 7, 12, 13, 14, 15, 16};

// ---- Decimal entry ---------------------------------------------------------------------

struct Entry {
    int field;
    unsigned before; // the value shown before the keys
    int start;       // the fresh-entry flag before the keys
    std::initializer_list<int> keys;
    unsigned after;
};

const Entry entries[] = {
    // Clamped at MAX, and further digits keep it there.
    {9, 4000, 1, {'9', '9', '9', '9'}, 9999},
    {9, 4000, 1, {'9', '9', '9', '9', '9'}, 50000},
    {9, 4000, 1, {'9', '9', '9', '9', '9', '9'}, 50000},
    {9, 4000, 1, {'5', '0', '0', '0', '0'}, 50000},
    {10, 10, 1, {'6', '7', '0', '1'}, 6700},
    {10, 10, 1, {'6', '6', '9', '9'}, 6699},
    {11, 4, 1, {'1', '2', '1'}, 120},
    {11, 4, 1, {'9', '9'}, 99},
    {11, 4, 1, {'2', '0', '0'}, 120},
    {12, 50, 1, {'1', '0', '0'}, 100},
    {12, 50, 1, {'1', '0', '1'}, 100},
    {12, 50, 1, {'9', '9'}, 99},
    {14, 800, 1, {'5', '0', '0', '1'}, 5000},
    {14, 800, 1, {'4', '9', '9', '9'}, 4999},
    {15, 3600, 1, {'6'}, 6},
    {15, 3600, 1, {'5', '0', '0', '0', '7'}, 5000},
    {16, 4000, 1, {'7'}, 7},
    {16, 4000, 1, {'9', '9', '9', '9'}, 5000},
    {17, 0, 1, {'2', '0', '0', '0', '1'}, 20000},
    {17, 0, 1, {'1', '9', '9', '9', '9'}, 19999},
    {18, 1000, 1, {'2', '5'}, 25},
    {18, 1000, 1, {'3', '0', '0', '0', '0'}, 20000},
    // A digit after arrival replaces, later ones append.
    {12, 5, 0, {'3'}, 53},
    {12, 5, 1, {'3'}, 3},
    {9, 4000, 1, {'0'}, 0},
    {9, 4000, 1, {'0', '0', '7'}, 7},
    // Delete drops the last digit; digits append to what is left.
    {9, 4000, 1, {key::del}, 400},
    {9, 4000, 0, {key::del, key::del, '5'}, 405},
    {14, 0, 0, {key::del}, 0},
    {16, 4000, 1, {key::del, '9'}, 4009},
    // A value above MAX from the file is clamped by the first digit appended, not by Delete.
    {14, 60000, 0, {'1'}, 5000},
    {9, 65535, 0, {'9'}, 50000},
    {14, 60000, 1, {key::del}, 6000},
    // Page Up, Page Down, Space, Backspace and letters are ignored.
    {9, 4000, 0, {key::page_up, key::page_down, key::space, key::backspace, 'a'}, 4000},
    {14, 800, 1, {key::page_up, '1'}, 1},
    // Field 0: 0..10.
    {0, 3, 1, {'5', '3'}, 10},
    {0, 3, 1, {'1', '0'}, 10},
    {0, 3, 1, {'1', '2'}, 10},
    {0, 3, 1, {'0', '7'}, 7},
    {0, 10, 1, {'7'}, 7},
    {0, 10, 1, {'1', '5'}, 10},
    {0, 10, 1, {'1', '0', '0'}, 10},
    {0, 10, 0, {key::del}, 1},
    {0, 200, 0, {'1'}, 10},
    {0, 200, 0, {key::del}, 20},
    {0, 3, 0, {key::page_up, key::space}, 3},
    // Field 7 in rpm: refused, not clamped, once the stored value would reach 20000.
    {7, 6000, 1, {'1', '2', '3', '4'}, 1234},
    {7, 6000, 1, {'1', '2', '3', '4', '5'}, 1234},
    {7, 6000, 1, {'1', '2', '3', '4', '5', key::del}, 123},
    {7, 6000, 1, {'9', '9', '9', '9'}, 9999},
    {7, 6000, 1, {'9', '9', '9', '9', '9'}, 9999},
    {7, 6000, 1, {'1', '0', '0', '0', '0'}, 1000},
    {7, 6000, 1, {'1', '0', '0', '0', key::del, '5'}, 1005},
    {7, 6000, 1, {'2', '0', '0', '0'}, 2000},
    {7, 6000, 1, {'0'}, 0},
    {7, 6000, 0, {key::del}, 600},
    {7, 6000, 0, {key::page_up, key::page_down, key::space, key::left}, 6000},
};

TEST(GeneralDecimalEntry, KeysGiveTheValue) {
    for (const Entry& e : entries) {
        SCOPED_TRACE(describe(e.field, e.keys) + ", before " + std::to_string(e.before));
        Wert w = test::example_image();
        set_shown(w, e.field, e.before);
        Editor ed;
        ed.mode = e.field;
        ed.start = e.start;
        type(ed, w, e.keys);
        EXPECT_EQ(shown(w, e.field), e.after);
        EXPECT_EQ(ed.mode, e.field);
    }
}

// Every 16-bit decimal field clamps at its own MAX, whatever the value was before.
TEST(GeneralDecimalEntry, EachFieldClampsAtItsMaximum) {
    const struct {
        int field;
        unsigned max;
    } maxima[] = {
        {9, vss_pulses_per_km_max},     {10, vss_pulse_width_max},
        {11, aux_speed_pulses_max},     {12, aux_speed_pulse_width_max},
        {14, lis_lower_threshold_max},  {15, lis_upper_threshold_max},
        {16, kickdown_threshold_max},   {17, high_frequency_max},
        {18, high_frequency_max},
    };
    for (const auto& m : maxima) {
        SCOPED_TRACE("field " + std::to_string(m.field));
        for (unsigned before : {m.max - 1, m.max, 65535u}) {
            Wert w{};
            set_value16(w, m.field, before);
            Editor ed;
            ed.mode = m.field;
            ed.start = 0;
            type(ed, w, {'9'});
            EXPECT_EQ(value16(w, m.field), m.max) << "before " << before;
        }
    }
}

// The digit and Delete keys of the typed fields clear the flag; the first digit replaces.
TEST(GeneralDecimalEntry, DigitsAndDeleteClearTheFlag) {
    for (int field : {0, 7, 9, 10, 11, 12, 14, 15, 16, 17, 18}) {
        for (int k : {int{'0'}, int{'4'}, int{'9'}, key::del}) {
            SCOPED_TRACE(describe(field, {k}));
            Wert w = test::example_image();
            Editor ed;
            ed.mode = field;
            ed.start = 1;
            type(ed, w, {k});
            EXPECT_EQ(ed.start, 0);
        }
    }
}

// The stored speed is twice the rpm; Delete keeps it even, so no half rpm is left over.
TEST(GeneralPotiSpeed, StoredDoubledAndDeleteClearsBitZero) {
    const struct {
        unsigned stored_before;
        int start;
        int k;
        unsigned stored_after;
    } cases[] = {
        {12000, 1, '7', 14},
        {2468, 0, '5', 2468},    // 24690: refused
        {2000, 0, '0', 2000},    // exactly 20000: refused
        {1999, 0, '4', 19998},   // just below 20000: taken
        {1999, 0, '5', 1999},    // 20000: refused
        {2468, 0, key::del, 246},
        {2471, 0, key::del, 246}, // 247 with bit 0 cleared
        {65535, 0, key::del, 6552},
        {65535, 0, '1', 65535}, // refused, the file's value stays
        {1, 0, key::del, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("stored " + std::to_string(c.stored_before) + ", key " + std::to_string(c.k));
        Wert w = test::example_image();
        set_max_poti_speed(w, c.stored_before);
        Editor ed;
        ed.mode = 7;
        ed.start = c.start;
        type(ed, w, {c.k});
        EXPECT_EQ(max_poti_speed(w), c.stored_after);
        EXPECT_EQ(ed.start, 0);
    }
}

// ---- Moves -----------------------------------------------------------------------------

struct Move {
    int field;
    int key;
    int target; // the field after the key; the same field where the key is ignored
    int start;  // the flag after the key, which was 0 before it
};

const Move moves_cases[] = {
    // Enter from every field; the flag is set only by the fields that move.
    {0, key::enter, 1, 1},
    {1, key::enter, 2, 0},
    {2, key::enter, 3, 0},
    {3, key::enter, 4, 0},
    {6, key::enter, 21, 0},
    {7, key::enter, 8, 1},
    {9, key::enter, 10, 1},
    {10, key::enter, 11, 1},
    {11, key::enter, 12, 1},
    {12, key::enter, 13, 1},
    {13, key::enter, 14, 0},
    {14, key::enter, 15, 1},
    {15, key::enter, 16, 1},
    {16, key::enter, 17, 1},
    {17, key::enter, 18, 1},
    {18, key::enter, 0, 1},
    // Targets into the other groups and across the screen.
    {0, key::up, 38, 1},
    {0, key::right, 2, 1},
    {1, key::up, 0, 0},
    {1, key::down, 4, 0},
    {1, key::right, 3, 0},
    {2, key::up, 18, 0},
    {2, key::left, 0, 0},
    {3, key::up, 2, 0},
    {3, key::down, 20, 0},
    {3, key::left, 1, 0},
    {6, key::up, 5, 0},
    {6, key::down, 33, 0},
    {6, key::left, 19, 0},
    {6, key::right, 21, 0},
    {7, key::up, 19, 1},
    {7, key::down, 8, 1},
    {7, key::right, 33, 1},
    {9, key::up, 37, 1},
    {9, key::right, 25, 1},
    {10, key::up, 9, 1},
    {10, key::right, 27, 1},
    {11, key::right, 28, 1},
    {12, key::right, 30, 1},
    {13, key::up, 12, 0},
    {13, key::right, 32, 0},
    {14, key::down, 15, 1},
    {15, key::right, 17, 1},
    {16, key::down, 38, 1},
    {16, key::right, 18, 1},
    {17, key::up, 32, 1},
    {17, key::left, 15, 1},
    {18, key::up, 17, 1},
    {18, key::down, 2, 1},
    {18, key::left, 16, 1},
    // Keys a field does not know: nothing changes.
    {0, key::left, 0, 0},
    {0, key::home, 0, 0},
    {1, key::left, 1, 0},
    {2, key::right, 2, 0},
    {3, key::right, 3, 0},
    {7, key::left, 7, 0},
    {9, key::left, 9, 0},
    {10, key::left, 10, 0},
    {11, key::left, 11, 0},
    {12, key::left, 12, 0},
    {13, key::left, 13, 0},
    {14, key::left, 14, 0},
    {14, key::right, 14, 0},
    {15, key::left, 15, 0},
    {16, key::left, 16, 0},
    {17, key::right, 17, 0},
    {18, key::right, 18, 0},
    {18, key::end, 18, 0},
};

TEST(GeneralMoves, CursorKeysLeadToTheirTargets) {
    for (const Move& m : moves_cases) {
        SCOPED_TRACE(describe(m.field, {m.key}));
        Wert w = test::example_image();
        Editor ed;
        ed.mode = m.field;
        ed.start = 0;
        type(ed, w, {m.key});
        EXPECT_EQ(ed.mode, m.target);
        EXPECT_EQ(ed.start, m.start);
    }
}

// Home leads to field 0 and End to field 18 from every field but those two themselves.
TEST(GeneralMoves, HomeAndEnd) {
    for (int field : general_fields) {
        SCOPED_TRACE("field " + std::to_string(field));
        for (int k : {key::home, key::end}) {
            Wert w = test::example_image();
            Editor ed;
            ed.mode = field;
            type(ed, w, {k});
            const int target = k == key::home ? 0 : 18;
            EXPECT_EQ(ed.mode, field == target ? field : target);
        }
    }
}

// Keys known to no field of the group leave the image, the cursor and the flag as they are.
TEST(GeneralMoves, UnknownKeysChangeNothing) {
    for (int field : general_fields) {
        for (int k : {key::backspace, key::minus, int{'a'}, int{'F'}, key::insert, key::f1,
                      key::alt_escape, key::alt_7, key::alt_0, 0x7F, 255}) {
            for (int start : {0, 1}) {
                SCOPED_TRACE(describe(field, {k}) + ", start " + std::to_string(start));
                Wert w = test::example_image();
                const Wert before = w;
                Editor ed;
                ed.mode = field;
                ed.start = start;
                type(ed, w, {k});
                EXPECT_EQ(w, before);
                EXPECT_EQ(ed.mode, field);
                EXPECT_EQ(ed.start, start);
            }
        }
    }
}

// ---- Leave rules -----------------------------------------------------------------------

struct Leave {
    int field;
    unsigned before;
    std::initializer_list<int> keys;
    unsigned after;
    int mode_after;
};

const Leave leaves[] = {
    // Field 9 keeps at least 2401 on every key that leaves it and on Escape and Alt+X.
    {9, 4000, {'5', key::enter}, 2401, 10},
    {9, 2400, {key::up}, 2401, 37},
    {9, 0, {key::down}, 2401, 10},
    {9, 0, {key::right}, 2401, 25},
    {9, 0, {key::home}, 2401, 0},
    {9, 0, {key::end}, 2401, 18},
    {9, 100, {key::escape}, 2401, 9},
    {9, 100, {key::alt_x}, 2401, 9},
    {9, 2401, {key::enter}, 2401, 10},
    {9, 2402, {key::enter}, 2402, 10},
    // ... but not on the keys it ignores, nor on digits and Delete.
    {9, 5, {key::left}, 5, 9},
    {9, 4000, {'5'}, 5, 9},
    {9, 2401, {key::del}, 240, 9},
    {9, 0, {key::page_up}, 0, 9},
    // Field 10: at least 670.
    {10, 100, {key::escape}, 670, 10},
    {10, 669, {key::enter}, 670, 11},
    {10, 670, {key::up}, 670, 9},
    {10, 0, {key::alt_x}, 670, 10},
    {10, 0, {key::left}, 0, 10},
    // Field 11: 0 becomes 1.
    {11, 0, {key::escape}, 1, 11},
    {11, 0, {key::right}, 1, 28},
    {11, 0, {key::home}, 1, 0},
    {11, 2, {key::down}, 2, 12},
    {11, 0, {key::left}, 0, 11},
    // Fields 17 and 18: 1..30 become 0 (off), 0 and 31 on stay.
    {17, 0, {'2', '5', key::down}, 0, 18},
    {17, 0, {'3', '1', key::down}, 31, 18},
    {17, 30, {key::escape}, 0, 17},
    {17, 1, {key::alt_x}, 0, 17},
    {17, 0, {key::enter}, 0, 18},
    {17, 25, {key::left}, 0, 15},
    {17, 25, {key::up}, 0, 32},
    {17, 25, {key::right}, 25, 17},
    {18, 25, {key::end}, 25, 18},
    {18, 25, {key::down}, 0, 2},
    {18, 25, {key::enter}, 0, 0},
    {18, 25, {key::home}, 0, 0},
    {18, 30, {key::left}, 0, 16},
    {18, 31, {key::escape}, 31, 18},
    // Values above MAX from the file are not lowered on leaving.
    {9, 60000, {key::enter}, 60000, 10},
    {10, 65535, {key::escape}, 65535, 10},
    {17, 65535, {key::alt_x}, 65535, 17},
    // Fields without a leave rule keep small values.
    {12, 0, {key::escape}, 0, 12},
    {14, 0, {key::enter}, 0, 15},
    {16, 0, {key::down}, 0, 38},
    {0, 0, {key::escape}, 0, 0},
    {7, 0, {key::alt_x}, 0, 7},
};

TEST(GeneralLeaveRules, AppliedOnLeavingAndOnEnding) {
    for (const Leave& l : leaves) {
        SCOPED_TRACE(describe(l.field, l.keys) + ", before " + std::to_string(l.before));
        Wert w = test::example_image();
        set_shown(w, l.field, l.before);
        Editor ed;
        ed.mode = l.field;
        ed.start = 1;
        type(ed, w, l.keys);
        EXPECT_EQ(shown(w, l.field), l.after);
        EXPECT_EQ(ed.mode, l.mode_after);
    }
}

// Escape and Alt+X keep the cursor and the flag, and touch nothing outside the field's value.
TEST(GeneralLeaveRules, EndKeysKeepCursorAndFlag) {
    for (int field : general_fields) {
        for (int k : {key::escape, key::alt_x}) {
            for (int start : {0, 1}) {
                SCOPED_TRACE(describe(field, {k}) + ", start " + std::to_string(start));
                Wert w{}; // every leave rule has something to raise or keep here
                Editor ed;
                ed.mode = field;
                ed.start = start;
                type(ed, w, {k});
                EXPECT_EQ(ed.mode, field);
                EXPECT_EQ(ed.start, start);
                Wert expected{};
                if (field == 9) set_vss_pulses_per_km(expected, vss_pulses_per_km_min);
                if (field == 10) set_vss_pulse_width(expected, vss_pulse_width_min);
                if (field == 11) set_aux_speed_pulses(expected, aux_speed_pulses_min);
                EXPECT_EQ(w, expected);
            }
        }
    }
}

// In the fields without a leave rule the end keys change nothing, whatever the values are.
TEST(GeneralLeaveRules, NoLeaveRuleNoChange) {
    for (int field : no_leave_rule) {
        for (std::uint8_t fill : {std::uint8_t{0}, std::uint8_t{1}, std::uint8_t{0xFF}}) {
            Wert w;
            w.fill(fill);
            const Wert before = w;
            Editor ed;
            ed.mode = field;
            type(ed, w, {key::escape, key::alt_x});
            EXPECT_EQ(w, before) << "field " << field << ", fill " << int{fill};
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
    // Field 1 inverts bit 0 of address 7 and keeps bits 1-7.
    {1, 6, key::space, 7},
    {1, 7, key::space, 6},
    {1, 0xFE, key::page_up, 0xFF},
    {1, 0x01, key::page_down, 0x00},
    {1, 0xA5, key::space, 0xA4},
    {1, 6, '1', 6},
    {1, 7, key::del, 7},
    // Field 3: 100 becomes 50, anything else 100.
    {3, 0, key::space, 100},
    {3, 100, key::space, 50},
    {3, 50, key::page_up, 100},
    {3, 77, key::page_down, 100},
    {3, 99, key::space, 100},
    {3, 100, '5', 100},
    {3, 100, key::del, 100},
    // Field 13: 0 becomes 1, anything else 0.
    {13, 0, key::space, 1},
    {13, 1, key::page_up, 0},
    {13, 200, key::page_down, 0},
    {13, 0, '1', 0},
    {13, 5, key::del, 5},
    // Field 2: a digit replaces the whole value.
    {2, 45, '0', 0},
    {2, 45, '1', 50},
    {2, 45, '2', 10},
    {2, 45, '3', 15},
    {2, 0, '4', 20},
    {2, 0, '5', 25},
    {2, 0, '6', 30},
    {2, 0, '7', 35},
    {2, 0, '8', 40},
    {2, 0, '9', 45},
    // Page Up adds 10 below 50 only, Page Down takes 10 from 10 and more only.
    {2, 45, key::page_up, 55},
    {2, 40, key::page_up, 50},
    {2, 0, key::page_up, 10},
    {2, 50, key::page_up, 50},
    {2, 200, key::page_up, 200},
    {2, 5, key::page_down, 5},
    {2, 10, key::page_down, 0},
    {2, 55, key::page_down, 45},
    {2, 200, key::page_down, 190},
    {2, 50, key::del, 5},
    {2, 5, key::del, 0},
    {2, 50, key::space, 50},
};

TEST(GeneralTogglesAndBrightness, KeysStepTheByte) {
    for (const Step& s : steps) {
        for (int start : {0, 1}) { // these fields neither read nor change the flag
            SCOPED_TRACE(describe(s.field, {s.key}) + ", before " + std::to_string(s.before) +
                         ", start " + std::to_string(start));
            Wert w = test::example_image();
            set_byte_of(w, s.field, s.before);
            Wert expected = w;
            set_byte_of(expected, s.field, s.after);
            Editor ed;
            ed.mode = s.field;
            ed.start = start;
            type(ed, w, {s.key});
            EXPECT_EQ(w, expected);
            EXPECT_EQ(ed.start, start);
            EXPECT_EQ(ed.mode, s.field);
        }
    }
}

TEST(GeneralTogglesAndBrightness, WhatTheScreenShows) {
    Wert w = test::example_image();
    Editor ed;
    set_brightness(w, 45);
    ed.mode = 2;
    type(ed, w, {key::page_up});
    EXPECT_EQ(brightness_percent(brightness(w)), 100u);
    type(ed, w, {key::del});
    EXPECT_EQ(brightness_percent(brightness(w)), 0u);

    set_contrast(w, 0);
    ed.mode = 3;
    type(ed, w, {key::space});
    EXPECT_TRUE(contrast_high(contrast(w)));
    type(ed, w, {key::space});
    EXPECT_FALSE(contrast_high(contrast(w)));

    set_byte(w, addr::edit_mode_bit, 6);
    ed.mode = 1;
    EXPECT_FALSE(edit_mode_bit(w));
    type(ed, w, {key::space});
    EXPECT_TRUE(edit_mode_bit(w)); // shown "off"
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
    {0, 4, 2, '6', 4},
    {0, 4, 2, '3', 3},
    {0, 4, 2, '4', 4},
    {0, 4, 2, '0', 0},
    {0, 4, 2, '9', 2},
    // The flags in bits 5-7 do not lift the limit.
    {0, 4 | write_protection_bit, 2, '6', 4},
    {0, 4 | write_protection_bit, 2, '9', 2},
    {0, 0xE4, 2, '8', 4},
    {0, 0xE0, 2, '3', 0},
    // No cylinders: every digit stores 0.
    {0, 0, 2, '0', 0},
    {0, 0, 2, '5', 0},
    {0, 0, 2, '8', 0},
    {0, 0, 2, '9', 2},
    // Enough cylinders: the digit as typed, up to 8.
    {0, 8, 2, '8', 8},
    {0, 31, 2, '8', 8},
    {0, 31, 2, '9', 2},
    // Delete drops a digit; a file may bring a two-digit value.
    {0, 4, 7, key::del, 0},
    {0, 4, 25, key::del, 2},
    // Other keys are ignored.
    {0, 4, 2, key::page_up, 2},
    {0, 4, 2, key::page_down, 2},
    {0, 4, 2, key::space, 2},
    // The record of the selected wheel counts, and a wheel_select above 24 reads as 24.
    {2, 3, 1, '6', 3},
    {24, 5, 1, '6', 5},
    {200, 2, 1, '6', 2},
    {255, 6, 1, '8', 6},
};

TEST(GeneralTdcCylinder, LimitedByTheSelectedWheelsCylinders) {
    for (const Tdc& t : tdcs) {
        for (int start : {0, 1}) {
            SCOPED_TRACE("wheel " + std::to_string(t.select) + " byte " +
                         std::to_string(t.wheel_byte) + ", key " + std::to_string(t.key) +
                         ", start " + std::to_string(start));
            Wert w = test::example_image();
            // Every other record allows all eight, so only the selected one can limit.
            for (unsigned n = 0; n < wheel_count; ++n) set_wheel_byte(w, n, addr::wheel_flags, 8);
            set_wheel_select(w, t.select);
            set_wheel_byte(w, selected_wheel(w), addr::wheel_flags, t.wheel_byte);
            set_tdc_cyl(w, t.before);
            Wert expected = w;
            set_tdc_cyl(expected, t.after);
            Editor ed;
            ed.mode = 6;
            ed.start = start;
            type(ed, w, {t.key});
            EXPECT_EQ(w, expected); // the wheel record and wheel_select stay as they were
            EXPECT_EQ(ed.start, start);
            EXPECT_EQ(ed.mode, 6);
        }
    }
}

// ---- A walk through several fields -----------------------------------------------------

// The flag set by a move lets the first digit in the next field replace its value, while the
// fields that only go carry the flag through as it was.
TEST(GeneralWalk, FlagCarriesAcrossFields) {
    Wert w = test::example_image();
    Editor ed; // field 0, flag set
    type(ed, w, {'7', key::enter, key::space, key::enter, '4', key::enter, key::space});
    EXPECT_EQ(last_menu(w), 7u);
    EXPECT_TRUE(edit_mode_bit(w));
    EXPECT_EQ(brightness(w), 20u);
    EXPECT_EQ(contrast(w), contrast_low_value);
    EXPECT_EQ(ed.mode, 3);
    // Fields 1-3 go, so the flag is still the one field 0's Enter set.
    EXPECT_EQ(ed.start, 1);

    ed.mode = 16;
    type(ed, w, {'1', '2', key::up, '3', key::up, key::up, key::up, '9', '9', key::up});
    EXPECT_EQ(kickdown_threshold(w), 12u);
    EXPECT_EQ(lis_upper_threshold(w), 3u);
    EXPECT_EQ(lis_lower_threshold(w), 800u);
    EXPECT_EQ(aux_speed_pulse_width(w), 99u);
    EXPECT_EQ(ed.mode, 11);
    EXPECT_EQ(ed.start, 1);
}

} // namespace
} // namespace ulo
