// The key rules of the general settings, fields 0-3, 6, 7 and 9-18.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "editor/editor.hpp"
#include "support.hpp"

namespace ulo {
namespace {

using namespace key;
using test::pair, test::set_pair;
using test::press;
using Keys = std::vector<int>;

constexpr int general_fields[] = {0, 1, 2, 3, 6, 7, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18};

std::string describe(int field, const Keys& keys) {
    return "field " + std::to_string(field) + ", keys " + testing::PrintToString(keys);
}

// The low address of each 16-bit field, as the device's memory map has it.
unsigned address_of(int field) {
    const std::pair<int, unsigned> pairs[] = {{7, 5},   {9, 32}, {10, 34}, {11, 36}, {12, 38},
                                              {14, 11}, {15, 9}, {16, 14}, {17, 16}, {18, 18}};
    for (const auto& [f, a] : pairs)
        if (f == field) return a;
    ADD_FAILURE() << "field " << field << " has no pair";
    return 32;
}
// The number a typed field shows: rpm for field 7, the byte for field 0, else the pair.
unsigned shown(const Wert& w, int field) {
    if (field == 0) return byte(w, 0);
    return field == 7 ? pair(w, 5) / 2 : pair(w, address_of(field));
}
void set_shown(Wert& w, int field, unsigned v) {
    if (field == 0) return set_byte(w, 0, v);
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
    {9, 4000, 1, {'9', '9', '9', '9', '9'}, 50000},
    {9, 4000, 1, {'9', '9', '9', '9', '9', '9'}, 50000},
    // The first digit after arrival replaces, later ones append.
    {12, 5, 0, {'3'}, 53},
    {12, 5, 1, {'3'}, 3},
    {9, 4000, 1, {'0', '0', '7'}, 7},
    // Delete drops the last digit, also of a value above MAX; digits append to what is left.
    {9, 4000, 1, {del}, 400},
    {9, 4000, 0, {del, del, '5'}, 405},
    {14, 60000, 1, {del}, 6000},
    // Page Up, Page Down, Space, Backspace and letters are ignored.
    {9, 4000, 1, {page_up, page_down, space, backspace, 'a'}, 4000},
    // Field 0 takes 0..10.
    {0, 3, 1, {'5', '3'}, 10},
    {0, 3, 1, {'1', '0'}, 10},
    {0, 3, 1, {'0', '7'}, 7},
    {0, 10, 1, {'7'}, 7},
    {0, 10, 0, {del}, 1},
    {0, 200, 0, {'1'}, 10},
    {0, 3, 0, {page_up, space}, 3},
    // Field 7 in rpm: a digit that would store 20000 or more is refused, not clamped.
    {7, 6000, 1, {'1', '2', '3', '4', '5'}, 1234},
    {7, 6000, 1, {'1', '2', '3', '4', '5', del}, 123},
    {7, 6000, 1, {'9', '9', '9', '9', '9'}, 9999},
    {7, 6000, 0, {del}, 600},
    {7, 6000, 0, {page_up, page_down, space, left}, 6000},
};

TEST(GeneralDecimalEntry, KeysGiveTheValue) {
    for (const Entry& e : entries) {
        SCOPED_TRACE(describe(e.field, e.keys) + ", before " + std::to_string(e.before));
        Wert w = test::example_image();
        set_shown(w, e.field, e.before);
        Editor ed{e.field, e.start};
        press(ed, w, e.keys);
        EXPECT_EQ(shown(w, e.field), e.after);
        EXPECT_EQ(ed.mode, e.field);
        // Any digit or Delete clears the flag; the other keys leave it.
        bool typed = false;
        for (int k : e.keys) typed = typed || is_digit(k) || k == del;
        EXPECT_EQ(ed.start, typed ? 0 : e.start);
    }
}

// Every 16-bit decimal field clamps at its own MAX, writing both bytes, also from a value the
// file brought above it.
TEST(GeneralDecimalEntry, EachFieldClampsAtItsMaximum) {
    const std::pair<int, unsigned> maxima[] = {{9, 50000}, {10, 6700},  {11, 120},
                                               {12, 100},  {14, 5000},  {15, 5000},
                                               {16, 5000}, {17, 20000}, {18, 20000}};
    for (const auto& [field, max] : maxima) {
        for (unsigned before : {max / 10, max, 65535u}) {
            Wert w{};
            set_shown(w, field, before);
            Editor ed{field, 0};
            press(ed, w, {'9'});
            EXPECT_EQ(shown(w, field), max) << "field " << field << ", before " << before;
        }
    }
}

// Field 7 stores twice the rpm, refuses from 20000 on, and Delete keeps the stored value even.
TEST(GeneralPotiSpeed, StoredDoubledAndDeleteClearsBitZero) {
    const struct {
        unsigned before;
        int k;
        unsigned after;
    } cases[] = {{2000, '0', 2000}, {1999, '4', 19998}, {1999, '5', 1999},
                 {2471, del, 246},  {65535, del, 6552}, {65535, '1', 65535}};
    for (const auto& c : cases) {
        Wert w = test::example_image();
        set_pair(w, 5, c.before);
        Editor ed{7, 0};
        press(ed, w, {c.k});
        EXPECT_EQ(pair(w, 5), c.after) << "stored " << c.before << ", key " << c.k;
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
    set_pair(w, 34, 670); // a vss_pulse_width no leave rule corrects
    for (const auto& r : rows) test::expect_moves(r.row, w, r.sets_flag);
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
    // Field 9 keeps at least 2401 on every key that leaves it and on Escape and Alt+X, but not
    // on a key it ignores, nor on digits and Delete.
    {9, 4000, {'5', enter}, 2401, 10},
    {9, 2400, {up}, 2401, 37},
    {9, 2402, {enter}, 2402, 10},
    {9, 0, {right}, 2401, 25},
    {9, 100, {escape}, 2401, 9},
    {9, 5, {left}, 5, 9},
    {9, 2401, {del}, 240, 9},
    {9, 0, {page_up}, 0, 9},
    // Field 10: at least 670. Field 11: 0 becomes 1.
    {10, 100, {escape}, 670, 10},
    {10, 669, {enter}, 670, 11},
    {10, 670, {up}, 670, 9},
    {10, 0, {alt_x}, 670, 10},
    {10, 0, {home}, 670, 0},
    {11, 0, {escape}, 1, 11},
    {11, 0, {right}, 1, 28},
    {11, 2, {down}, 2, 12},
    {11, 0, {end}, 1, 18},
    // Fields 17 and 18: 1..30 become 0 (off); 0 and 31 on stay.
    {17, 0, {'2', '5', down}, 0, 18},
    {17, 0, {'3', '1', down}, 31, 18},
    {17, 30, {escape}, 0, 17},
    {17, 1, {alt_x}, 0, 17},
    {17, 0, {enter}, 0, 18},
    {17, 25, {left}, 0, 15},
    {17, 25, {up}, 0, 32},
    {17, 25, {right}, 25, 17},
    {18, 25, {end}, 25, 18},
    {18, 25, {down}, 0, 2},
    {18, 25, {home}, 0, 0},
    {18, 31, {escape}, 31, 18},
    // Values above MAX from the file are not lowered on leaving.
    {9, 60000, {enter}, 60000, 10},
    {17, 65535, {alt_x}, 65535, 17},
    // Fields without a leave rule keep small values.
    {14, 0, {enter}, 0, 15},
    {16, 0, {down}, 0, 38},
};

TEST(GeneralLeaveRules, AppliedOnLeavingAndOnEnding) {
    for (const Leave& l : leaves) {
        SCOPED_TRACE(describe(l.field, l.keys) + ", before " + std::to_string(l.before));
        Wert w = test::example_image();
        set_shown(w, l.field, l.before);
        Editor ed{l.field, 1};
        press(ed, w, l.keys);
        EXPECT_EQ(shown(w, l.field), l.after);
        EXPECT_EQ(ed.mode, l.mode_after);
    }
}

// Escape and Alt+X keep the cursor and the flag and touch nothing but a leave rule's value;
// keys that only the wheel fields know, or no field, touch nothing at all.
TEST(GeneralLeaveRules, EndAndUnknownKeysTouchOnlyTheLeaveRulesValue) {
    for (int field : general_fields)
        for (int k : {escape, alt_x, backspace, minus, int{'a'}, int{'F'}, alt_7, 255})
            for (std::uint8_t fill : {std::uint8_t{0}, std::uint8_t{0xFF}}) {
                Wert w;
                w.fill(fill);
                Wert expected = w;
                if ((k == escape || k == alt_x) && fill == 0) {
                    if (field == 9) set_pair(expected, 32, 2401);
                    if (field == 10) set_pair(expected, 34, 670);
                    if (field == 11) set_pair(expected, 36, 1);
                }
                Editor ed{field, fill & 1};
                press(ed, w, {k});
                EXPECT_TRUE(w == expected && ed.mode == field && ed.start == (fill & 1))
                    << describe(field, {k}) << ", fill " << int{fill};
            }
}

// ---- Toggles, brightness and field 6 ---------------------------------------------------

// The byte of a one-byte field, before and after one key, with the flag neither read nor
// changed. For field 6 also byte +0 of the selected wheel record; every other record allows all
// eight cylinders, so only the selected one can limit.
struct Step {
    int field;
    unsigned before;
    int key;
    unsigned after;
    unsigned wheel_byte = 8, select = 0;
};

const Step steps[] = {
    // Field 1 inverts bit 0 of address 7 and keeps bits 1-7 (6 shows "on", 7 "off").
    {1, 6, space, 7},
    {1, 7, space, 6},
    {1, 0xFE, page_up, 0xFF},
    {1, 0x01, page_down, 0},
    {1, 6, '1', 6},
    {1, 7, del, 7},
    // Field 3: 100 becomes 50, anything else 100 ("high").
    {3, 0, space, 100},
    {3, 100, space, 50},
    {3, 77, page_down, 100},
    {3, 50, page_up, 100},
    {3, 100, '5', 100},
    {3, 100, del, 100},
    // Field 13: 0 becomes 1, anything else 0.
    {13, 0, page_up, 1},
    {13, 1, space, 0},
    {13, 200, page_down, 0},
    {13, 0, '1', 0},
    {13, 5, del, 5},
    // Field 2: a digit replaces the whole value; '1' is full brightness.
    {2, 45, '0', 0},
    {2, 45, '1', 50},
    {2, 45, '2', 10},
    {2, 45, '3', 15},
    {2, 0, '8', 40},
    {2, 0, '9', 45},
    // Page Up adds 10 below 50 only, Page Down takes 10 from 10 and more only.
    {2, 45, page_up, 55},
    {2, 40, page_up, 50},
    {2, 50, page_up, 50},
    {2, 5, page_down, 5},
    {2, 10, page_down, 0},
    {2, 55, page_down, 45},
    {2, 50, del, 5},
    {2, 50, space, 50},
    // Field 6: one digit 0..8, limited by the cylinder count in bits 0-4 of the selected
    // record; the three flags above it do not lift the limit.
    {6, 2, '6', 4, 4},
    {6, 2, '3', 3, 4},
    {6, 2, '4', 4, 4},
    {6, 2, '9', 2, 4},
    {6, 2, '6', 4, 36},
    {6, 2, '9', 2, 36},
    {6, 2, '8', 4, 0xE4},
    {6, 2, '3', 0, 0xE0},
    {6, 2, '5', 0, 0},
    {6, 2, '8', 8, 8},
    {6, 2, '8', 8, 31},
    // Delete drops a digit (a file may bring two); other keys are ignored.
    {6, 25, del, 2, 4},
    {6, 2, page_up, 2, 4},
    {6, 2, page_down, 2, 4},
    {6, 2, space, 2, 4},
    // The selected wheel's record counts, and a wheel_select above 24 reads as 24.
    {6, 1, '6', 3, 3, 2},
    {6, 1, '6', 2, 2, 200},
};

TEST(GeneralTogglesAndBrightness, KeysStepTheByte) {
    const unsigned address[] = {0, 7, 1, 2, 0, 0, 13, 0, 0, 0, 0, 0, 0, 8}; // by field
    for (const Step& s : steps)
        for (int start : {0, 1}) {
            Wert w = test::example_image();
            for (unsigned n = 0; n < 25; ++n) set_byte(w, 64 + 16 * n, 8);
            set_byte(w, 3, s.select);
            set_byte(w, 64 + 16 * std::min(s.select, 24u), s.wheel_byte);
            set_byte(w, address[s.field], s.before);
            Wert expected = w;
            set_byte(expected, address[s.field], s.after);
            Editor ed{s.field, start};
            press(ed, w, {s.key});
            EXPECT_TRUE(w == expected && ed.start == start && ed.mode == s.field)
                << describe(s.field, {s.key}) << ", before " << s.before << ", start " << start
                << ", wheel " << s.select << " byte " << s.wheel_byte;
        }
}

// The flag set by a move lets the first digit in the next field replace its value; the
// fields that only go carry it through as it was.
TEST(GeneralWalk, FlagCarriesAcrossFields) {
    Wert w = test::example_image();
    Editor ed{16, 1};
    press(ed, w, {'1', '2', up, '3', up, up, up, '9', '9', up});
    EXPECT_EQ(pair(w, 14), 12u);
    EXPECT_EQ(pair(w, 9), 3u);
    EXPECT_EQ(pair(w, 11), 800u);
    EXPECT_EQ(pair(w, 38), 99u); // field 13 kept the flag field 14 set
    EXPECT_EQ(ed.mode, 11);
    EXPECT_EQ(ed.start, 1);
}

} // namespace
} // namespace ulo
