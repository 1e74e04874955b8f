#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "editor/editor.hpp"
#include "editor/wheel.hpp"
#include "support.hpp"

namespace ulo {
namespace {

// Each character is its own key code; "<...>" names another key.
std::vector<int> keys_of(const std::string& text) {
    static const std::pair<std::string, int> names[] = {
        {"<bs>", key::backspace}, {"<enter>", key::enter}, {"<esc>", key::escape},
        {"<altx>", key::alt_x},
        {"<home>", key::home}, {"<up>", key::up}, {"<pgup>", key::page_up}, {"<left>", key::left},
        {"<right>", key::right}, {"<end>", key::end}, {"<down>", key::down},
        {"<pgdn>", key::page_down},
        {"<del>", key::del},      {"<ins>", key::insert},  {"<alt8>", key::alt_8},
    };
    std::vector<int> out;
    for (std::size_t i = 0; i < text.size();) {
        int code = static_cast<unsigned char>(text[i]);
        std::size_t length = 1;
        for (const auto& [name, k] : names)
            if (text.compare(i, name.size(), name) == 0) code = k, length = name.size();
        out.push_back(code);
        i += length;
    }
    return out;
}

Editor press(Wert& w, int field, int start, const std::string& keys) {
    Editor ed;
    ed.mode = field;
    ed.start = start;
    for (int k : keys_of(keys)) {
        ed.letter = k;
        apply_rule(ed, w);
    }
    return ed;
}

std::string name_of(const Wert& w, unsigned n) {
    std::string s;
    for (unsigned p = 1; p <= wheel_name_length; ++p) s += static_cast<char>(name_char(w, n, p));
    return s;
}

void set_name(Wert& w, unsigned n, const std::string& s) {
    for (unsigned p = 1; p <= wheel_name_length; ++p)
        set_name_char(w, n, p, static_cast<unsigned char>(s[p - 1]));
}

TEST(WheelSelect, Sequences) {
    const struct {
        unsigned stored; // wheel_select before
        int start;
        const char* keys;
        unsigned shown, stored_after;
        int start_after;
    } cases[] = {
        {6, 1, "3", 3, 2, 0},          {6, 1, "30", 25, 24, 0},     {6, 1, "309", 25, 24, 0},
        {6, 1, "0", 1, 0, 0},          {6, 1, "05", 15, 14, 0},     {6, 1, "26", 25, 24, 0},
        {24, 0, "<del>", 2, 1, 1},     {24, 0, "<del>4", 4, 3, 0},  {6, 0, "<del>", 1, 0, 1},
        {9, 0, "<del>", 1, 0, 1},      {24, 1, "<bs>", 5, 4, 1},    {19, 1, "<bs>", 10, 9, 1},
        {9, 1, "<bs>", 10, 9, 1},      {24, 1, "<pgup>", 25, 24, 1}, {0, 1, "<pgdn>", 1, 0, 1},
        {5, 0, "<pgup><pgup>", 8, 7, 0}, {5, 1, "<left><ins><esc><altx> -", 6, 5, 1},
        // A file's 200 shows 25 and stays until written.
        {200, 0, "<pgup>1", 25, 200, 0}, {200, 0, "<pgdn>", 24, 23, 0}, {200, 1, "<bs>", 5, 4, 1},
        {200, 1, "<del>", 2, 1, 1},
    };
    for (const auto& c : cases) {
        Wert w = test::example_image();
        set_wheel_select(w, c.stored);
        const Editor ed = press(w, 4, c.start, c.keys);
        EXPECT_EQ(selected_wheel(w) + 1, c.shown) << c.stored << " " << c.keys;
        EXPECT_EQ(wheel_select(w), c.stored_after) << c.stored << " " << c.keys;
        EXPECT_EQ(ed.start, c.start_after) << c.stored << " " << c.keys;
    }
}

TEST(WheelName, Editing) {
    const struct {
        int start;
        const char* keys;
        const char* after;
        int cursor, mode;
    } cases[] = {
        {1, "ABCDEFGHIJKLMNOPQ", "ABCDEFGHIJKLMNOQ", 16, 5}, {1, "Vr6", "Vr6defghijklmnop", 4, 5},
        {16, "<bs>", "abcdefghijklmnp ", 15, 5},     {16, "<del>", "abcdefghijklmno ", 16, 5},
        {1, "<bs>", "abcdefghijklmnop", 1, 5},       {1, "<del>", "bcdefghijklmnop ", 1, 5},
        {5, "<bs><bs>", "abefghijklmnop  ", 3, 5},   {5, "<del><del>", "abcdghijklmnop  ", 5, 5},
        {8, "<home>x", "xbcdefghijklmnop", 2, 5},    {3, "<end>xy", "abcdefghijklmnoy", 16, 5},
        {3, "<left><left>z", "zbcdefghijklmnop", 2, 5}, {3, "<right>z", "abczefghijklmnop", 5, 5},
        {1, "&<alt8>%#", "/[%defghijklmnop", 4, 5},
        {4, "<pgup><pgdn><ins><esc><altx>\x7f\t\xe4", "abcdefghijklmnop", 4, 5},
        {16, "<right>", "abcdefghijklmnop", 1, 20},  {7, "<enter>", "abcdefghijklmnop", 1, 20},
        {1, "<left>", "abcdefghijklmnop", 1, 4},     {9, "<up>", "abcdefghijklmnop", 1, 3},
        {12, "<down>", "abcdefghijklmnop", 1, 6},
    };
    for (const auto& c : cases) {
        for (unsigned n : {0u, 24u}) {
            Wert w = test::example_image();
            set_wheel_select(w, n == 24 ? 99 : n); // 99 from a file works on configuration 25
            set_name(w, n, "abcdefghijklmnop");
            const Wert before = w;
            const Editor ed = press(w, 5, c.start, c.keys);
            EXPECT_EQ(name_of(w, n), c.after) << c.keys;
            EXPECT_EQ(ed.start, c.cursor) << c.keys;
            EXPECT_EQ(ed.mode, c.mode) << c.keys;
            set_name(w, n, "abcdefghijklmnop");
            EXPECT_EQ(w, before) << "outside the name: " << c.keys;
        }
    }
}

// The whole key range: stored as typed, translated, or ignored without moving the cursor.
TEST(WheelName, Characters) {
    const std::string as_typed =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789 !$%,-._";
    const std::pair<int, char> translated[] = {
        {'&', '/'}, {'(', ')'}, {')', '='}, {'*', '('}, {'+', '*'}, {'/', '#'}, {'<', ';'},
        {'=', '+'}, {'>', ':'},
        {'\\', '^'}, {']', '\''}, {'^', '&'}, {'{', '?'}, {382, '{'}, {383, '['}, {384, ']'},
        {385, '}'},
    };
    const int not_characters[] = {key::backspace, key::enter, key::home, key::up, key::left,
                                  key::right, key::end, key::down, key::del};
    for (int k = 1; k < 512; ++k) {
        if (std::ranges::find(not_characters, k) != std::end(not_characters)) continue;
        int expect = k < 128 && as_typed.find(static_cast<char>(k)) != std::string::npos ? k : -1;
        for (const auto& [from, to] : translated)
            if (from == k) expect = static_cast<unsigned char>(to);
        Wert w = test::example_image();
        set_name(w, 0, "~~~~~~~~~~~~~~~~");
        Editor ed;
        ed.mode = 5, ed.start = 2, ed.letter = k;
        apply_rule(ed, w);
        EXPECT_EQ(name_character(k), expect) << k;
        EXPECT_EQ(name_char(w, 0, 2), expect < 0 ? '~' : static_cast<unsigned>(expect)) << k;
        EXPECT_EQ(ed.start, expect < 0 ? 2 : 3) << k;
    }
}

// One byte of the record of configuration 1, before and after a key sequence.
struct ByteCase {
    int field;
    unsigned offset, before;
    int start;
    const char* keys;
    unsigned after;
    int start_after, mode_after;
};

TEST(WheelRecord, Bytes) {
    namespace a = addr;
    const ByteCase cases[] = {
        // The flags: Space, Page Up and Page Down toggle one bit; digits and Delete do nothing.
        {19, a::wheel_flags, 0xC7, 1, " ", 0xE7, 1, 19},
        {19, a::wheel_flags, 0xFF, 0, "<pgup>", 0xDF, 0, 19},
        {33, a::wheel_flags, 0x24, 1, "<pgdn>", 0xA4, 1, 33},
        {34, a::wheel_flags, 0x24, 1, "  ", 0x24, 1, 34},
        {34, a::wheel_flags, 0x00, 1, "<pgup>01<del>", 0x40, 1, 34},
        {20, a::wheel_flags, 0xE4, 1, "9", 0xE4, 1, 20},
        {20, a::wheel_flags, 0xE4, 1, "6", 0xE6, 1, 20},
        {20, a::wheel_flags, 0x1F, 1, "2", 0x02, 1, 20},
        {20, a::wheel_flags, 0x65, 1, "01<del><pgup> ", 0x65, 1, 20},
        // Decimal bytes and their leave rules.
        {22, a::crank_pulses, 60, 1, "0<esc>", 1, 0, 22},
        {22, a::crank_pulses, 60, 1, "0<altx>", 1, 0, 22},
        {21, a::tdc_width, 30, 1, "0<esc>", 0, 0, 21},
        {21, a::tdc_width, 30, 1, "0<altx>", 0, 0, 21},
        {21, a::tdc_width, 30, 1, "0<enter>", 1, 1, 33},
        {21, a::tdc_width, 30, 1, "0<right>", 0, 0, 21},
        {21, a::tdc_width, 5, 1, "45", 30, 0, 21},
        {23, a::crank_width, 99, 1, "<del>", 9, 1, 23},
        {23, a::crank_width, 99, 1, "<del>5", 5, 0, 23},
        {23, a::crank_width, 0, 1, "250", 99, 0, 23},
        {23, a::crank_width, 0, 1, "0<up>", 1, 1, 34},
        {22, a::crank_pulses, 120, 1, "<del>", 12, 0, 22},
        {22, a::crank_pulses, 120, 1, "<del>5", 120, 0, 22},
        {22, a::crank_pulses, 0, 0, "<left>", 1, 1, 37},
        {22, a::crank_pulses, 200, 0, "3", 120, 0, 22},
        {28, a::cam_pulses, 12, 1, "99", 60, 0, 28},
        {28, a::cam_pulses, 12, 1, "<del><del><down>", 1, 1, 30},
        {28, a::cam_pulses, 0, 1, "<home>", 1, 1, 0},
        {28, a::cam_pulses, 12, 1, "<bs><pgup><pgdn>.- ", 12, 1, 28},
        // gap_count in the low nibble; the high nibble stays.
        {26, a::gaps, 0xD2, 1, "4", 0xD4, 1, 26},
        {26, a::gaps, 0xD2, 1, "059<del>", 0xD2, 1, 26},
        {26, a::gaps, 0xD4, 1, "<pgup>", 0xD4, 1, 26},
        {26, a::gaps, 0xD1, 1, "<pgdn>", 0xD1, 1, 26},
        {26, a::gaps, 0xF0, 1, "<pgdn>", 0xF0, 1, 26},
        {26, a::gaps, 0xF0, 1, "<pgup>", 0xF1, 1, 26},
        {26, a::gaps, 0x1F, 1, "<pgdn>", 0x1E, 1, 26},
        // gap_pulses: Page Up only while the whole byte reads below 15 as a signed number.
        {27, a::gaps, 0x0F, 1, "<pgup>", 0x0F, 1, 27},
        {27, a::gaps, 0x0E, 1, "<pgup>", 0x1E, 1, 27},
        {27, a::gaps, 0x7A, 1, "<pgdn>", 0x6A, 1, 27},
        {27, a::gaps, 0x7A, 1, "-", 0x9A, 1, 27},
        {27, a::gaps, 0x8A, 1, "-", 0x1A, 1, 27},
        {27, a::gaps, 0x8A, 1, "<pgup>", 0x9A, 1, 27},
        {27, a::gaps, 0x8A, 1, "<pgdn>", 0x8A, 1, 27},
        {27, a::gaps, 0x8A, 1, "2", 0xEA, 1, 27},
        // sync_pulses, a whole signed byte.
        {32, a::sync_pulses, 1, 1, "-", 255, 1, 32},
        {32, a::sync_pulses, 1, 1, "-0", 0, 1, 32},
        {32, a::sync_pulses, 0, 1, "<pgdn>", 255, 1, 32},
        {32, a::sync_pulses, 255, 1, "3", 253, 1, 32},
        {32, a::sync_pulses, 253, 1, "<pgdn>", 253, 1, 32},
        {32, a::sync_pulses, 0, 1, "2<pgup><pgup>", 1, 1, 32},
        {32, a::sync_pulses, 100, 1, "-", 156, 1, 32},
        {32, a::sync_pulses, 128, 1, "-", 1, 1, 32},
        {32, a::sync_pulses, 128, 1, "<pgup><del> ", 129, 1, 32},
        // cam_width in tenths, turned into whole degrees past 12.5.
        {29, a::cam_width, 30, 1, "125", 125, 0, 29},
        {29, a::cam_width, 30, 1, "135", 141, 0, 29},
        {29, a::cam_width, 30, 1, "126", 140, 0, 29},
        {29, a::cam_width, 141, 0, "7", 141, 0, 29},
        {29, a::cam_width, 141, 1, "7", 7, 0, 29},
        {29, a::cam_width, 141, 1, "<del>", 13, 0, 29},
        {29, a::cam_width, 125, 1, "<del>", 12, 0, 29},
        {29, a::cam_width, 99, 0, "9", 227, 0, 29},
        {29, a::cam_width, 0, 1, "<esc>", 1, 1, 29},
        {29, a::cam_width, 0, 1, "<right><pgup><pgdn>", 0, 1, 29},
        {29, a::cam_width, 0, 0, "<enter>", 1, 1, 30},
    };
    for (const ByteCase& c : cases) {
        Wert w = test::example_image();
        set_wheel_byte(w, 0, c.offset, c.before);
        const Wert before = w;
        const Editor ed = press(w, c.field, c.start, c.keys);
        EXPECT_EQ(wheel_byte(w, 0, c.offset), c.after) << c.field << " " << c.keys;
        EXPECT_EQ(ed.start, c.start_after) << c.field << " " << c.keys;
        EXPECT_EQ(ed.mode, c.mode_after) << c.field << " " << c.keys;
        set_wheel_byte(w, 0, c.offset, c.before);
        EXPECT_EQ(w, before) << "another byte changed: " << c.field << " " << c.keys;
    }
}

TEST(WheelRecord, GapPulsesStepByStepKeepTheGapCount) {
    const std::pair<const char*, int> steps[] = {
        {"-", 0}, {"<pgdn>", -1}, {"2", -2}, {"-", 1}, {"<pgup>", 1}, {"3", 1}, {"<pgdn>", 0},
        {"<pgdn>", -1}, {"<pgdn>", -2}, {"<pgdn>", -3}, {"<pgdn>", -3}, {"0", 0}, {"3", 0},
        {"1", 1},
    };
    for (unsigned count : {0u, 2u, 14u}) {
        Wert w = test::example_image();
        set_wheel_byte(w, 0, addr::gaps, count);
        for (const auto& [keys, after] : steps) {
            press(w, 27, 1, keys);
            EXPECT_EQ(gap_pulses(w, 0), after) << count << " " << keys;
            EXPECT_EQ(gap_count(w, 0), count) << keys;
        }
    }
}

TEST(WheelRecord, PairsAndTheirCaps) {
    const struct {
        int field;
        unsigned pulses, before; // pulses: crank_pulses and cam_pulses of the record
        const char* keys;
        unsigned after;
    } cases[] = {
        {24, 36, 0, "150", 100}, {30, 36, 0, "150", 100}, {24, 60, 0, "1234", 60},
        {30, 7, 0, "999", 514},
        {24, 0, 0, "3601", 3600}, {30, 0, 0, "99999", 3600}, {24, 1, 0, "4000", 3600},
        {24, 36, 3000, "<del>", 300}, {24, 36, 3000, "<pgup><pgdn><bs>-<esc>", 3000},
        {24, 36, 3000, "5", 5},
        {25, 0, 0, "3600", 3599}, {25, 0, 0, "125", 125},   {31, 0, 65535, "<del>9", 3599},
        {31, 0, 900, "<del><del><del><enter>", 0},
    };
    for (const auto& c : cases) {
        const unsigned offset = c.field == 24 ? addr::crank_offset : c.field == 25 ? addr::gap_phase
                                : c.field == 30 ? addr::cam_offset : addr::sync_phase;
        Wert w = test::example_image();
        set_crank_pulses(w, 0, c.pulses);
        set_cam_pulses(w, 0, c.pulses);
        set_wheel_pair(w, 0, offset, c.before);
        press(w, c.field, 1, c.keys);
        EXPECT_EQ(wheel_pair(w, 0, offset), c.after) << c.field << " " << c.keys;
    }
}

TEST(WheelRecord, RaisingThePulsesKeepsTheOffset) {
    Wert w = test::example_image();
    set_crank_offset(w, 0, 3000);
    press(w, 22, 1, "60<enter>");
    EXPECT_EQ(crank_offset(w, 0), 3000u);
}

constexpr int wheel_fields[] = {4,  5,  19, 20, 21, 22, 23, 24, 25,
                                26, 27, 28, 29, 30, 31, 32, 33, 34};

// Any key in any field writes only the selected record and name (and field 4 the selection).
TEST(WheelFields, WritesStayInTheSelectedRecordAndName) {
    Wert base{};
    for (unsigned a = 0; a < eeprom_size; ++a) base[a] = static_cast<std::uint8_t>(a * 37 + 11);
    for (unsigned stored : {0u, 12u, 24u, 25u, 255u}) {
        set_wheel_select(base, stored);
        const unsigned n = selected_wheel(base);
        for (int field : wheel_fields) {
            for (int start : {0, 1, 9, 16}) {
                for (int k = 1; k < 420; ++k) {
                    Wert w = base;
                    Editor ed;
                    ed.mode = field, ed.letter = k;
                    ed.start = field == 5 ? std::max(start, 1) : std::min(start, 1);
                    apply_rule(ed, w);
                    if (field == 4 && wheel_select(w) != stored) {
                        ASSERT_LE(wheel_select(w), wheel_select_max);
                    }
                    for (unsigned o = 0; o < 16; ++o)
                        w[record_address(n, o)] = base[record_address(n, o)];
                    for (unsigned p = 1; p <= 16; ++p)
                        w[name_address(n, p)] = base[name_address(n, p)];
                    if (field == 4) w[addr::wheel_select] = base[addr::wheel_select];
                    ASSERT_EQ(w, base) << "field " << field << " key " << k << " sel " << stored;
                    ASSERT_TRUE(ed.mode >= 0 && ed.mode < field_count);
                }
            }
        }
    }
}

TEST(WheelFields, Moves) {
    // Enter, Up, Down, Left, Right, Home, End; -1 where the key is ignored. The fields that
    // only go leave the fresh-entry flag as it was.
    const struct {
        test::MovesRow row;
        bool sets_flag;
    } rows[] = {
        {{4, {19, 1, 19, -1, 5, 0, 18}}, true},     {{19, {7, 4, 7, -1, 6, 0, 18}}, false},
        {{20, {6, 3, 21, 5, -1, 0, 18}}, false},    {{21, {33, 20, 34, 6, -1, 0, 18}}, true},
        {{22, {23, 33, 24, 37, 23, 0, 18}}, true},  {{23, {24, 34, 24, 22, -1, 0, 18}}, true},
        {{24, {25, 23, 25, -1, -1, 0, 18}}, true},  {{25, {27, 24, 26, 9, -1, 0, 18}}, true},
        {{26, {28, 25, 29, 27, -1, 0, 18}}, false}, {{27, {26, 25, 28, 10, 26, 0, 18}}, false},
        {{28, {29, 27, 30, 11, 29, 0, 18}}, true},  {{29, {30, 26, 30, 28, -1, 0, 18}}, true},
        {{30, {31, 29, 31, 12, -1, 0, 18}}, true},  {{31, {32, 30, 32, -1, -1, 0, 18}}, true},
        {{32, {4, 31, 17, 13, -1, 0, 18}}, false},  {{33, {34, 6, 22, 7, 34, 0, 18}}, false},
        {{34, {22, 21, 23, 33, -1, 0, 18}}, false},
    };
    for (const auto& r : rows) test::expect_moves(r.row, test::example_image(), r.sets_flag);
    // The name leaves with Enter, Up and Down from any position; the other cursor keys move
    // within it (see WheelName).
    for (const auto& [keys, target] : {std::pair{"<enter>", 20}, {"<up>", 3}, {"<down>", 6}}) {
        Wert w = test::example_image();
        const Editor ed = press(w, 5, 7, keys);
        EXPECT_EQ(ed.mode, target) << keys;
        EXPECT_EQ(ed.start, 1) << keys;
    }
}

// Whatever was typed, every key that leaves a field leaves the flag set for the next one.
TEST(WheelFields, EveryWayOutLeavesTheFlagSet) {
    for (int field : wheel_fields) {
        for (int k : {key::enter, key::up, key::down, key::left, key::right, key::home, key::end}) {
            Wert w = test::example_image();
            Editor ed = press(w, field, 1, "1");
            if (field == 5) ed.start = k == key::left ? 1 : 16; // at the ends of the name
            ed.letter = k;
            apply_rule(ed, w);
            if (ed.mode != field) {
                EXPECT_EQ(ed.start, 1) << field << " key " << k;
            }
        }
    }
}

} // namespace
} // namespace ulo
