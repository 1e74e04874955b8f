#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "editor/editor.hpp"
#include "support.hpp"

namespace ulo {
namespace {

using test::pair, test::set_pair;

// Each character is its own key code; "<...>" names another key.
std::vector<int> keys_of(const std::string& text) {
    static const std::pair<std::string, int> names[] = {
        {"<bs>", key::backspace}, {"<enter>", key::enter}, {"<esc>", key::escape},
        {"<altx>", key::alt_x},   {"<home>", key::home},   {"<up>", key::up},
        {"<pgup>", key::page_up}, {"<left>", key::left},   {"<right>", key::right},
        {"<end>", key::end},      {"<down>", key::down},   {"<pgdn>", key::page_down},
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
    Editor ed{field, start};
    test::press(ed, w, keys_of(keys));
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
        {6, 1, "30", 25, 24, 0},
        {6, 1, "309", 25, 24, 0},
        {6, 1, "0", 1, 0, 0},
        {6, 1, "05", 15, 14, 0},
        {24, 0, "<del>", 2, 1, 1},
        {24, 0, "<del>4", 4, 3, 0},
        {6, 0, "<del>", 1, 0, 1},
        {9, 0, "<del>", 1, 0, 1},
        {24, 1, "<bs>", 5, 4, 1},
        {19, 1, "<bs>", 10, 9, 1},
        {9, 1, "<bs>", 10, 9, 1},
        {24, 1, "<pgup>", 25, 24, 1},
        {0, 1, "<pgdn>", 1, 0, 1},
        {5, 0, "<pgup><pgup>", 8, 7, 0},
        {5, 1, "<left><ins><esc><altx> -", 6, 5, 1},
        // A file's 200 shows 25 and stays until written.
        {200, 0, "<pgup>1", 25, 200, 0},
        {200, 0, "<pgdn>", 24, 23, 0},
    };
    for (const auto& c : cases) {
        Wert w = test::example_image();
        set_byte(w, 3, c.stored);
        const Editor ed = press(w, 4, c.start, c.keys);
        EXPECT_EQ(selected_wheel(w) + 1, c.shown) << c.stored << " " << c.keys;
        EXPECT_EQ(byte(w, 3), c.stored_after) << c.stored << " " << c.keys;
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
        {1, "ABCDEFGHIJKLMNOPQ", "ABCDEFGHIJKLMNOQ", 16, 5},
        {1, "Vr6", "Vr6defghijklmnop", 4, 5},
        {16, "<bs>", "abcdefghijklmnp ", 15, 5},
        {16, "<del>", "abcdefghijklmno ", 16, 5},
        {1, "<bs>", "abcdefghijklmnop", 1, 5},
        {1, "<del>", "bcdefghijklmnop ", 1, 5},
        {5, "<bs><bs>", "abefghijklmnop  ", 3, 5},
        {8, "<home>x", "xbcdefghijklmnop", 2, 5},
        {3, "<end>xy", "abcdefghijklmnoy", 16, 5},
        {3, "<left><left>z", "zbcdefghijklmnop", 2, 5},
        {3, "<right>z", "abczefghijklmnop", 5, 5},
        {1, "&<alt8>%#", "/[%defghijklmnop", 4, 5},
        {4, "<pgup><pgdn><ins><esc><altx>\x7f\t\xe4", "abcdefghijklmnop", 4, 5},
        {16, "<right>", "abcdefghijklmnop", 1, 20},
        {7, "<enter>", "abcdefghijklmnop", 1, 20},
        {1, "<left>", "abcdefghijklmnop", 1, 4},
        {9, "<up>", "abcdefghijklmnop", 1, 3},
        {12, "<down>", "abcdefghijklmnop", 1, 6},
    };
    for (const auto& c : cases) {
        for (unsigned n : {0u, 24u}) {
            Wert w = test::example_image();
            set_byte(w, 3, n == 24 ? 99 : n); // 99 from a file works on configuration 25
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
        {'&', '/'}, {'(', ')'}, {')', '='}, {'*', '('},  {'+', '*'},  {'/', '#'},
        {'<', ';'}, {'=', '+'}, {'>', ':'}, {'\\', '^'}, {']', '\''}, {'^', '&'},
        {'{', '?'}, {382, '{'}, {383, '['}, {384, ']'},  {385, '}'},
    };
    const int not_characters[] = {key::backspace, key::enter, key::home, key::up, key::left,
                                  key::right,     key::end,   key::down, key::del};
    for (int k = 1; k < 512; ++k) {
        if (std::ranges::find(not_characters, k) != std::end(not_characters)) continue;
        int expect = k < 128 && as_typed.find(static_cast<char>(k)) != std::string::npos ? k : -1;
        for (const auto& [from, to] : translated)
            if (from == k) expect = static_cast<unsigned char>(to);
        Wert w = test::example_image();
        set_name(w, 0, "~~~~~~~~~~~~~~~~");
        Editor ed{5, 2, k};
        apply_rule(ed, w);
        EXPECT_EQ(name_char(w, 0, 2), expect < 0 ? '~' : static_cast<unsigned>(expect)) << k;
        EXPECT_EQ(ed.start, expect < 0 ? 2 : 3) << k;
    }
}

// What the command line lets a name hold is what its keys store, no more and no less.
TEST(WheelName, StorableBytesAreThoseAKeyStores) {
    std::set<int> stored;
    for (int k = 1; k < 512; ++k) stored.insert(name_character(k));
    for (int c = 0; c < 256; ++c)
        EXPECT_EQ(name_storable(static_cast<unsigned char>(c)), stored.count(c) == 1) << c;
}

// One byte of the record of configuration 1 (offset from address 64), before and after a key
// sequence; the flag and the field are unchanged where the row leaves them out.
struct ByteCase {
    int field;
    unsigned offset, before;
    int start;
    const char* keys;
    unsigned after;
    int start_after = -1, mode_after = -1;
};

TEST(WheelRecord, Bytes) {
    const ByteCase cases[] = {
        // The flags in byte +0: Space, Page Up and Page Down toggle one bit, nothing else does.
        {19, 0, 0xC7, 1, " ", 0xE7},
        {19, 0, 0xFF, 0, "<pgup>", 0xDF},
        {33, 0, 0x24, 1, "<pgdn>", 0xA4},
        {34, 0, 0x24, 1, "  ", 0x24},
        {34, 0, 0x00, 1, "<pgup>01<del>", 0x40},
        // cylinders in bits 0-4, 2 to 8; the flags stay.
        {20, 0, 0xE4, 1, "9", 0xE4},
        {20, 0, 0xE4, 1, "6", 0xE6},
        {20, 0, 0x1F, 1, "2", 0x02},
        {20, 0, 0x65, 1, "01<del><pgup> ", 0x65},
        // Decimal bytes and their leave rules; tdc_width has none on Escape and Alt+X.
        {22, 2, 60, 1, "0<esc>", 1, 0},
        {21, 1, 30, 1, "0<esc>", 0, 0},
        {21, 1, 30, 1, "0<altx>", 0, 0},
        {21, 1, 30, 1, "0<enter>", 1, 1, 33},
        {21, 1, 30, 1, "0<right>", 0, 0},
        {21, 1, 5, 1, "45", 30, 0},
        {23, 7, 99, 1, "<del>", 9, 1},
        {23, 7, 99, 1, "<del>5", 5, 0},
        {23, 7, 0, 1, "250", 99, 0},
        {23, 7, 0, 1, "0<up>", 1, 1, 34},
        {22, 2, 120, 1, "<del>", 12, 0},
        {22, 2, 120, 1, "<del>5", 120, 0},
        {22, 2, 0, 0, "<left>", 1, 1, 37},
        {22, 2, 200, 0, "3", 120, 0},
        {28, 9, 12, 1, "99", 60, 0},
        {28, 9, 12, 1, "<del><del><down>", 1, 1, 30},
        {28, 9, 0, 1, "<home>", 1, 1, 0},
        {28, 9, 12, 1, "<bs><pgup><pgdn>.- ", 12},
        // gap_count in the low nibble of +8; the high nibble stays.
        {26, 8, 0xD2, 1, "4", 0xD4},
        {26, 8, 0xD2, 1, "059<del>", 0xD2},
        {26, 8, 0xD4, 1, "<pgup>", 0xD4},
        {26, 8, 0xD1, 1, "<pgdn>", 0xD1},
        {26, 8, 0xF0, 1, "<pgdn>", 0xF0},
        {26, 8, 0xF0, 1, "<pgup>", 0xF1},
        {26, 8, 0x1F, 1, "<pgdn>", 0x1E},
        // gap_pulses: Page Up only while the whole byte reads below 15 as a signed number.
        {27, 8, 0x0F, 1, "<pgup>", 0x0F},
        {27, 8, 0x0E, 1, "<pgup>", 0x1E},
        {27, 8, 0x7A, 1, "<pgdn>", 0x6A},
        {27, 8, 0x7A, 1, "-", 0x9A},
        {27, 8, 0x8A, 1, "-", 0x1A},
        {27, 8, 0x8A, 1, "<pgdn>", 0x8A},
        {27, 8, 0x8A, 1, "2", 0xEA},
        // sync_pulses, the whole signed byte +15.
        {32, 15, 1, 1, "-", 255},
        {32, 15, 1, 1, "-0", 0},
        {32, 15, 0, 1, "<pgdn>", 255},
        {32, 15, 255, 1, "3", 253},
        {32, 15, 253, 1, "<pgdn>", 253},
        {32, 15, 0, 1, "2<pgup><pgup>", 1},
        {32, 15, 128, 1, "-", 1},
        {32, 15, 128, 1, "<pgup><del> ", 129},
        // cam_width in tenths, turned into whole degrees past 12.5.
        {29, 14, 30, 1, "125", 125, 0},
        {29, 14, 30, 1, "135", 141, 0},
        {29, 14, 30, 1, "126", 140, 0},
        {29, 14, 141, 0, "7", 141, 0},
        {29, 14, 141, 1, "7", 7, 0},
        {29, 14, 141, 1, "<del>", 13, 0},
        {29, 14, 125, 1, "<del>", 12, 0},
        {29, 14, 0, 1, "<altx>", 1},
        {29, 14, 0, 1, "<right><pgup><pgdn>", 0},
        {29, 14, 0, 0, "<enter>", 1, 1, 30},
    };
    for (const ByteCase& c : cases) {
        Wert w = test::example_image();
        set_byte(w, 64 + c.offset, c.before);
        const Wert before = w;
        const Editor ed = press(w, c.field, c.start, c.keys);
        SCOPED_TRACE(std::to_string(c.field) + " " + c.keys);
        EXPECT_EQ(byte(w, 64 + c.offset), c.after);
        EXPECT_EQ(ed.start, c.start_after < 0 ? c.start : c.start_after);
        EXPECT_EQ(ed.mode, c.mode_after < 0 ? c.field : c.mode_after);
        set_byte(w, 64 + c.offset, c.before);
        EXPECT_EQ(w, before) << "another byte changed";
    }
}

TEST(WheelRecord, GapPulsesStepByStepKeepTheGapCount) {
    const std::pair<const char*, int> steps[] = {
        {"-", 0},       {"<pgdn>", -1}, {"2", -2},      {"-", 1},       {"<pgup>", 1},
        {"3", 1},       {"<pgdn>", 0},  {"<pgdn>", -1}, {"<pgdn>", -2}, {"<pgdn>", -3},
        {"<pgdn>", -3}, {"0", 0},       {"3", 0},       {"1", 1},
    };
    for (unsigned count : {0u, 2u, 14u}) {
        Wert w = test::example_image();
        set_byte(w, 64 + 8, count);
        for (const auto& [keys, after] : steps) {
            press(w, 27, 1, keys);
            EXPECT_EQ(get(w, ParamId::gap_pulses, 0), after) << count << " " << keys;
            EXPECT_EQ(byte(w, 64 + 8) & 0x0F, count) << keys;
        }
    }
}

// Offsets and phases in tenths of a degree; the offsets are capped at 3600 div the pulses.
TEST(WheelRecord, PairsAndTheirCaps) {
    const struct {
        int field;
        unsigned pulses, before; // pulses: crank_pulses and cam_pulses of the record
        const char* keys;
        unsigned after;
    } cases[] = {
        {24, 36, 0, "150", 100},
        {30, 36, 0, "150", 100},
        {24, 60, 0, "1234", 60},
        {30, 7, 0, "999", 514},
        {24, 0, 0, "3601", 3600},
        {30, 0, 0, "99999", 3600},
        {24, 1, 0, "4000", 3600},
        {24, 36, 3000, "<del>", 300},
        {24, 36, 3000, "<pgup><pgdn><bs>-<esc>", 3000},
        {24, 36, 3000, "5", 5},
        {25, 0, 0, "3600", 3599},
        {25, 0, 0, "125", 125},
        {31, 0, 65535, "<del>9", 3599},
        {31, 0, 900, "<del><del><del><enter>", 0},
    };
    for (const auto& c : cases) {
        const unsigned offset = c.field == 24 ? 3 : c.field == 25 ? 5 : c.field == 30 ? 10 : 12;
        Wert w = test::example_image();
        set_byte(w, 64 + 2, c.pulses);
        set_byte(w, 64 + 9, c.pulses);
        set_pair(w, 64 + offset, c.before);
        press(w, c.field, 1, c.keys);
        EXPECT_EQ(pair(w, 64 + offset), c.after) << c.field << " " << c.keys;
    }
    // Raising the pulses later leaves a larger offset as it is.
    Wert w = test::example_image();
    set_pair(w, 64 + 3, 3000);
    press(w, 22, 1, "60<enter>");
    EXPECT_EQ(pair(w, 64 + 3), 3000u);
}

constexpr int wheel_fields[] = {4,  5,  19, 20, 21, 22, 23, 24, 25,
                                26, 27, 28, 29, 30, 31, 32, 33, 34};

// Any key in any field writes only the selected record and name (and field 4 the selection).
TEST(WheelFields, WritesStayInTheSelectedRecordAndName) {
    Wert base{};
    for (unsigned a = 0; a < eeprom_size; ++a) base[a] = static_cast<std::uint8_t>(a * 37 + 11);
    for (unsigned stored : {0u, 12u, 24u, 25u, 255u}) {
        base[3] = static_cast<std::uint8_t>(stored);
        const unsigned n = std::min(stored, 24u);
        for (int field : wheel_fields)
            for (int start : {0, 1, 9, 16})
                for (int k = 1; k < 420; ++k) {
                    Wert w = base;
                    Editor ed{field, field == 5 ? std::max(start, 1) : std::min(start, 1), k};
                    apply_rule(ed, w);
                    ASSERT_TRUE(field != 4 || w[3] == stored || w[3] <= 24) << k;
                    for (unsigned o = 0; o < 16; ++o) {
                        w[64 + 16 * n + o] = base[64 + 16 * n + o];
                        w[1024 + 16 * n + o] = base[1024 + 16 * n + o];
                    }
                    if (field == 4) w[3] = base[3];
                    ASSERT_EQ(w, base) << "field " << field << " key " << k << " sel " << stored;
                    ASSERT_TRUE(ed.mode >= 0 && ed.mode < field_count);
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
    // The name (field 5) moves within itself; its ways out are in WheelName.Editing.
    for (const auto& r : rows) test::expect_moves(r.row, test::example_image(), r.sets_flag);
}

} // namespace
} // namespace ulo
