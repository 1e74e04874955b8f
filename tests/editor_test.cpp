#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <optional>
#include <sstream>
#include <vector>

#include "editor/editor.hpp"
#include "screen/screen.hpp"
#include "support.hpp"

namespace ulo {
namespace {

// The screen of one cycle: redraw, colour 12, highlight.
Console highlighted(const Wert& w, const Editor& ed) {
    Console con;
    screen(con, w, ed.ramp);
    textcolor(con, light_red);
    highlight(con, ed, w);
    return con;
}

struct HighlightCase {
    int field;
    int x, y;
    std::string text; // the highlighted cells, as bytes
    int cursor_x, cursor_y;
};

// On the example image: every field's value, exactly its cells in light red, and the cursor.
const HighlightCase highlight_cases[] = {
    {0, 29, 5, " 3", 30, 5},       {1, 28, 6, " on", 31, 6},
    {2, 68, 5, "100 %", 69, 5},    {3, 67, 6, "high", 70, 6},
    {4, 29, 8, " 1", 30, 8},       {5, 40, 8, "\"60-2 Crank      \"", 41, 8},
    {6, 57, 9, "1", 57, 9},        {7, 27, 10, "6000", 30, 10},
    {8, 29, 11, " 5", 30, 11},     {9, 26, 14, " 4000", 30, 14},
    {10, 27, 15, "  10", 30, 15},  {11, 28, 17, "  4", 30, 17},
    {12, 28, 18, " 50", 30, 18},   {13, 27, 20, "norm", 31, 20},
    {14, 27, 21, " 800", 30, 21},  {15, 27, 22, "3600", 30, 22},
    {16, 27, 23, "4000", 30, 23},  {17, 66, 22, "    0", 70, 22},
    {18, 66, 23, " 1000", 70, 23}, {19, 28, 9, " no", 30, 9},
    {20, 70, 8, "4", 70, 8},       {21, 69, 9, "30", 70, 9},
    {22, 55, 12, " 60", 57, 12},   {23, 68, 12, "3.0", 70, 12},
    {24, 66, 13, "120.0", 70, 13}, {25, 66, 14, "  0.0", 70, 14},
    {26, 70, 15, "2", 70, 15},     {27, 56, 15, " 1", 57, 15},
    {28, 55, 17, "  1", 57, 17},   {29, 67, 17, " 3.0", 70, 17},
    {30, 66, 18, "  0.0", 70, 18}, {31, 66, 19, " 90.0", 70, 19},
    {32, 56, 20, " 1", 57, 20},    {33, 55, 10, " no", 57, 10},
    {34, 68, 10, " no", 70, 10},   {35, 2, 12, "01", 3, 12},
    {36, 12, 12, " 2.50", 16, 12}, {37, 27, 12, "1000", 30, 12},
    {38, 20, 25, "18", 21, 25},    {39, 23, 25, "DA", 24, 25},
    {40, 26, 25, "F1", 27, 25},    {41, 29, 25, "10", 30, 25},
};

void expect_highlight(const Console& con, const HighlightCase& c) {
    const int width = static_cast<int>(c.text.size());
    EXPECT_EQ(test::cells(con, c.x, c.y, width), c.text) << "field " << c.field;
    int red = 0;
    for (const Cell& cl : con.cells) red += cl.attr == light_red;
    EXPECT_EQ(red, width) << "field " << c.field << ": only the value is red";
    for (int x = c.x; x < c.x + width; ++x)
        EXPECT_EQ(cell(con, x, c.y).attr, light_red) << "field " << c.field << " column " << x;
    EXPECT_EQ(con.x, c.cursor_x) << "field " << c.field;
    EXPECT_EQ(con.y, c.cursor_y) << "field " << c.field;
}

TEST(Highlight, EveryFieldOnTheExampleImage) {
    static_assert(std::size(highlight_cases) == field_count);
    const Wert w = test::example_image();
    for (const HighlightCase& c : highlight_cases) expect_highlight(highlighted(w, {c.field}), c);
}

TEST(Highlight, OtherForms) {
    struct Case {
        const char* what;
        void (*change)(Wert&, Editor&);
        HighlightCase expect;
    };
    const Case cases[] = {
        {"cam_width in whole degrees",
         [](Wert& w, Editor&) { put(w, ParamId::cam_width, 0, 141); },
         {29, 68, 17, " 13", 70, 17}},
        {"name cursor on character 16",
         [](Wert&, Editor& ed) { ed.start = 16; },
         {5, 40, 8, "\"60-2 Crank      \"", 56, 8}},
        {"ramp point 0 while it is typed",
         [](Wert& w, Editor& ed) {
             ed.ramp = 0;
             put(w, ParamId::ramp_time, 0, 1);
         },
         {35, 2, 12, "00", 3, 12}},
        {"time of ramp point 99",
         [](Wert& w, Editor& ed) { ed.ramp = 99, put(w, ParamId::ramp_time, 99, 9999); },
         {36, 12, 12, "99.99", 16, 12}},
        {"speed of ramp point 99",
         [](Wert& w, Editor& ed) { ed.ramp = 99, put(w, ParamId::ramp_speed, 99, 19998); },
         {37, 27, 12, "9999", 30, 12}},
        {"configuration 25 from a wheel_select above 24",
         [](Wert& w, Editor&) {
             put(w, ParamId::wheel_select, 0, 77);
             put(w, ParamId::crank_pulses, 24, 120);
         },
         {22, 55, 12, "120", 57, 12}},
        {"brightness 9",
         [](Wert& w, Editor&) { put(w, ParamId::brightness, 0, 9); },
         {2, 68, 5, "  0 %", 69, 5}},
    };
    for (const Case& c : cases) {
        Wert w = test::example_image();
        Editor ed{c.expect.field};
        c.change(w, ed);
        SCOPED_TRACE(c.what);
        expect_highlight(highlighted(w, ed), c.expect);
    }
}

// Each field's name is that of the parameter the table has it edit; the ramp point's number
// edits none, and the CAN id's four fields each edit one of its bytes.
TEST(Fields, NamedAfterTheParameterTheyEdit) {
    using enum ParamId;
    const struct {
        int field;
        std::optional<ParamId> edits;
    } cases[] = {
        {field::last_menu, last_menu},
        {field::edit_mode_bit, edit_mode_bit},
        {field::brightness, brightness},
        {field::contrast, contrast},
        {field::wheel_select, wheel_select},
        {field::name, name},
        {field::tdc_cyl, tdc_cyl},
        {field::max_poti_speed, max_poti_speed},
        {field::ramp_points, ramp_points},
        {field::vss_pulses_per_km, vss_pulses_per_km},
        {field::vss_pulse_width, vss_pulse_width},
        {field::aux_speed_pulses, aux_speed_pulses},
        {field::aux_speed_pulse_width, aux_speed_pulse_width},
        {field::lis_inversion, lis_inversion},
        {field::lis_lower_threshold, lis_lower_threshold},
        {field::lis_upper_threshold, lis_upper_threshold},
        {field::kickdown_threshold, kickdown_threshold},
        {field::first_high_frequency, first_high_frequency},
        {field::second_high_frequency, second_high_frequency},
        {field::write_protection, write_protection},
        {field::cylinders, cylinders},
        {field::tdc_width, tdc_width},
        {field::crank_pulses, crank_pulses},
        {field::crank_width, crank_width},
        {field::crank_offset, crank_offset},
        {field::gap_phase, gap_phase},
        {field::gap_count, gap_count},
        {field::gap_pulses, gap_pulses},
        {field::cam_pulses, cam_pulses},
        {field::cam_width, cam_width},
        {field::cam_offset, cam_offset},
        {field::sync_phase, sync_phase},
        {field::sync_pulses, sync_pulses},
        {field::cam_inversion, cam_inversion},
        {field::crank_flag, crank_flag},
        {field::ramp_point, std::nullopt},
        {field::ramp_time, ramp_time},
        {field::ramp_speed, ramp_speed},
        {field::can_id_1, can_id},
        {field::can_id_2, can_id},
        {field::can_id_3, can_id},
        {field::can_id_4, can_id},
    };
    static_assert(std::size(cases) == field_count);
    int field = 0;
    for (const auto& c : cases) {
        EXPECT_EQ(c.field, field++) << "the names count the fields 0..41 in order";
        const Param* p = field_param(c.field);
        EXPECT_EQ(p != nullptr ? std::optional(p->id) : std::nullopt, c.edits)
            << "field " << c.field;
    }
}

// The editor entered and run until it ends, a closed console when the script runs out.
void run_editor(Console& con, Editor& ed, Wert& wert) {
    enter_editor(ed);
    while (!edit(con, ed, wert)) con.closed = true;
}

// One editor run on the example image, with the keys in con.script.
struct EditRun {
    Console con;
    Wert wert = test::example_image();
    Editor ed;
};

// The shortest sequence of cursor keys that takes the editor from field 0 to each field,
// found by trying the real rules: so every field is reachable, and the paths are real ones.
std::vector<std::vector<int>> paths_to_every_field() {
    const int cursor_keys[] = {key::enter, key::up,   key::down, key::left,
                               key::right, key::home, key::end};
    std::vector<std::vector<int>> path(field_count);
    std::vector<bool> seen(field_count, false);
    std::vector<int> queue = {0};
    seen[0] = true;
    for (std::size_t q = 0; q < queue.size(); ++q) {
        for (int k : cursor_keys) {
            Wert w = test::example_image();
            Editor ed;
            test::press(ed, w, path[queue[q]]);
            test::press(ed, w, {k});
            if (ed.mode >= 0 && ed.mode < field_count && !seen[ed.mode]) {
                seen[ed.mode] = true;
                path[ed.mode] = path[queue[q]];
                path[ed.mode].push_back(k);
                queue.push_back(ed.mode);
            }
        }
    }
    for (int f = 0; f < field_count; ++f) EXPECT_TRUE(seen[f]) << "field " << f << " unreachable";
    return path;
}

// Keys no field knows, Alt+Escape among them, do not end the run; Escape and Alt+X do, and
// the keys after them stay unread.
TEST(Engine, EscapeAndAltXEndTheRunFromEveryField) {
    const auto paths = paths_to_every_field();
    for (int field = 0; field < field_count; ++field) {
        for (int end_key : {key::escape, key::alt_x}) {
            EditRun r;
            r.con.script.assign(paths[field].begin(), paths[field].end());
            // without a reference F5, F6 and Shift+F6 are keys no field knows either
            r.con.script.insert(r.con.script.end(), {key::insert, key::f1, key::f5, key::f6,
                                                     key::shift_f6, key::alt_escape, end_key, '5'});
            run_editor(r.con, r.ed, r.wert);
            EXPECT_EQ(r.ed.mode, field) << "the run ended on field " << field;
            EXPECT_EQ(r.ed.letter, end_key);
            EXPECT_EQ(r.con.script.size(), 1u) << "field " << field << ": '5' stays unread";
        }
    }
}

TEST(Engine, KeysNoFieldKnowsChangeNothing) {
    const int ignored[] = {key::insert,   key::f1,       key::f5,         key::f6, key::shift_f6,
                           324 /* F10 */, 389 /* F11 */, key::alt_escape, 3};
    for (int field = 0; field < field_count; ++field) {
        for (int k : ignored) {
            Wert w = test::example_image();
            Editor ed{field, 1, k};
            apply_rule(ed, w);
            EXPECT_TRUE(w == test::example_image() && ed.mode == field && ed.start == 1)
                << "field " << field << " key " << k;
        }
    }
}

TEST(Engine, EveryEntryStartsOnFieldZeroWithTheFlagSet) {
    EditRun r;
    r.ed.mode = 37;
    r.ed.start = 0;
    r.ed.ramp = 7;
    r.con.script = {key::escape};
    run_editor(r.con, r.ed, r.wert);
    EXPECT_EQ(r.ed.mode, 0);
    EXPECT_EQ(r.ed.start, 1);
    EXPECT_EQ(r.ed.ramp, 7u) << "the ramp point is kept between runs";
    // The last cycle drew field 0 highlighted with the cursor on its second digit.
    Console con = highlighted(r.wert, r.ed);
    EXPECT_EQ(cell(r.con, 29, 5).attr, light_red);
    EXPECT_EQ(r.con.cells, con.cells);
}

TEST(Engine, ExtendedKeysAreOneCode) {
    Console con;
    con.script = {key::alt_x, 'a', key::del};
    EXPECT_EQ(read_key(con), key::alt_x);
    EXPECT_EQ(read_key(con), 'a');
    EXPECT_EQ(read_key(con), key::del);
}

// F5 takes the reference's value into the current field and nothing else: of the byte the
// configuration's three flags share with its cylinders, and of the byte the gap pulses share
// with the gaps, only the field's own bits; of the CAN id only the field's byte; of the wheel
// name all 16 characters. The reference differs from the image in all of these and more.
TEST(Compare, F5TakesExactlyWhatTheFieldEdits) {
    const Wert edited = test::example_image(); // configuration 1: byte +0 0x04, byte +8 0x12
    Wert ref = edited;
    set_byte(ref, 64, 0xE7);   // cam inversion, crank, write protection, 7 cylinders
    set_byte(ref, 72, 0xD3);   // gap pulses -3, 3 gaps
    set_byte(ref, 1538, 0x22); // the CAN id's second byte on the screen
    set_byte(ref, 1537, 0x33);
    put(ref, ParamId::crank_offset, 0, 60);
    const std::string ref_name = "36-1 Crank     x";
    for (unsigned p = 1; p <= 16; ++p)
        set_name_char(ref, 0, p, static_cast<unsigned char>(ref_name[p - 1]));
    const struct {
        int field;
        unsigned address;
        std::vector<std::uint8_t> bytes; // what the image holds there afterwards
    } cases[] = {
        {field::cylinders, 64, {0x07}},  {field::write_protection, 64, {0x24}},
        {field::crank_flag, 64, {0x44}}, {field::cam_inversion, 64, {0x84}},
        {field::gap_pulses, 72, {0xD2}}, {field::gap_count, 72, {0x13}},
        {field::can_id_2, 1538, {0x22}}, {field::name, 1024, {ref_name.begin(), ref_name.end()}},
    };
    for (const auto& c : cases) {
        Wert w = edited;
        const bool name = c.field == field::name; // start: the name cursor, on character 3
        Editor ed{c.field, name ? 3 : 0, key::f5};
        ed.reference = Reference{ref, "ref.txt"};
        EXPECT_TRUE(reference_key(ed, w)) << "field " << c.field;
        Wert want = edited;
        for (std::size_t k = 0; k < c.bytes.size(); ++k)
            set_byte(want, c.address + static_cast<unsigned>(k), c.bytes[k]);
        EXPECT_EQ(w, want) << "field " << c.field;
        EXPECT_EQ(ed.mode, c.field);
        EXPECT_EQ(ed.start, name ? 3 : 1)
            << "field " << c.field << ": a digit then types a new value; the name cursor stays";
    }
}

// The help below the screen for each of the 42 fields, where a field's row or the image gives
// the figures. The example image is edited (the first configuration's crank pulses, cylinders
// and name) and the file as loaded holds other values in several forms, each in its field's
// last line.
TEST(Help, NamesTheFieldItsValuesItsKeysAndTheValueInTheFile) {
    const std::string can_keys = "hexadecimal digits type the byte (0-9, A-F), Delete drops one";
    const std::string yes_no = "Space, Page Up or Page Down switch between yes and no";
    const std::string signed_count =
        "a digit 0..3 sets the count, - its sign; Page Up and Page Down step it";
    const struct {
        int field;
        std::vector<std::string> lines;
    } cases[] = {
        {0, {"last_menu: 0..10", "digits type up to 10; Delete drops one"}},
        {1, {"edit_mode_bit: on or off", "Space, Page Up or Page Down switch between on and off"}},
        {2,
         {"brightness: 0..100 % in steps of 20 (stored 0..55, last digit 0..5)",
          "1 gives 100 %, 0 and 2..9 give 0..80 %; Page Up and Page Down step by 20 %",
          "in the file: 100 % (stored 55)"}},
        {3, {"contrast: high or low", "Space, Page Up or Page Down switch between high and low"}},
        {4,
         {"wheel_select: 1..25",
          "digits type the configuration, Delete drops one; Page Up and Page Down step"}},
        {5,
         {"wheel[1].name: 16 characters, typed at the cursor by the keys below",
          R"(type   Space ! $ % & ( ) * + , - . / 0-9 < = > A-Z \ ] ^ _ a-z { Alt+7..0)",
          R"(stores space ! $ % / ) = ( * , - . # 0-9 ; + : A-Z ^ ' & _ a-z ? {[]})",
          "Left, Right, Home, End move; Backspace, Delete remove",
          "in the file: \"60-2 Crank      \""}},
        {6,
         {"tdc_cyl: 0..8",
          "a digit sets it, at most the 6 cylinders of the selected configuration"}},
        {7,
         {"max_poti_speed: 0..9999 rpm", "digits type up to 9999, no further; Delete drops one",
          "in the file: 1000 rpm"}},
        {8,
         {"ramp_points: 2..99",
          "digits type up to 99, no further; Delete drops one; at least 2 on leaving"}},
        {9,
         {"vss_pulses_per_km: 2401..50000",
          "digits type up to 50000; Delete drops one; at least 2401 on leaving"}},
        {10,
         {"vss_pulse_width: 670..6700 ms",
          "digits type up to 6700; Delete drops one; at least 670 on leaving"}},
        {11,
         {"aux_speed_pulses: 1..120",
          "digits type up to 120; Delete drops one; at least 1 on leaving"}},
        {12, {"aux_speed_pulse_width: 0..100 %", "digits type up to 100; Delete drops one"}},
        {13,
         {"lis_inversion: norm or inv", "Space, Page Up or Page Down switch between norm and inv"}},
        {14, {"lis_lower_threshold: 0..5000 mV", "digits type up to 5000; Delete drops one"}},
        {15, {"lis_upper_threshold: 0..5000 mV", "digits type up to 5000; Delete drops one"}},
        {16, {"kickdown_threshold: 0..5000 mV", "digits type up to 5000; Delete drops one"}},
        {17,
         {"first_high_frequency: 0 or 31..20000 Hz",
          "digits type up to 20000; Delete drops one; below 31 it is 0 (off) on leaving"}},
        {18,
         {"second_high_frequency: 0 or 31..20000 Hz",
          "digits type up to 20000; Delete drops one; below 31 it is 0 (off) on leaving"}},
        {19, {"wheel[1].write_protection: yes or no", yes_no}},
        {20, {"wheel[1].cylinders: 2..8", "a digit 2..8 sets it", "in the file: 4"}},
        {21,
         {"wheel[1].tdc_width: 0..30 deg",
          "digits type up to 30; Delete drops one; at least 1 on leaving (not on Escape)"}},
        {22,
         {"wheel[1].crank_pulses: 1..120",
          "digits type up to 120; Delete drops one; at least 1 on leaving", "in the file: 60"}},
        {23,
         {"wheel[1].crank_width: 0.1..9.9 deg",
          "digits type up to 9.9; Delete drops one; at least 0.1 on leaving"}},
        {24,
         {"wheel[1].crank_offset: 0.0..360.0 deg",
          "digits type up to one pulse spacing, 10.0 at 36 pulses; Delete drops one",
          "in the file: 6.5 deg"}},
        {25, {"wheel[1].gap_phase: 0.0..359.9 deg", "digits type up to 359.9; Delete drops one"}},
        {26, {"wheel[1].gap_count: 1..4", "a digit 1..4 sets it; Page Up and Page Down step it"}},
        {27, {"wheel[1].gap_pulses: -3..1", signed_count, "in the file: -2"}},
        {28,
         {"wheel[1].cam_pulses: 1..60",
          "digits type up to 60; Delete drops one; at least 1 on leaving"}},
        {29,
         {"wheel[1].cam_width: 0.1..12.5 deg, or 12..125 whole degrees (no decimal point)",
          "digits type tenths up to 12.5, past it whole degrees; at least 0.1 on leaving",
          "in the file: 13 deg"}},
        {30,
         {"wheel[1].cam_offset: 0.0..360.0 deg",
          "digits type up to one pulse spacing, 360.0 at 1 pulse; Delete drops one"}},
        {31, {"wheel[1].sync_phase: 0.0..359.9 deg", "digits type up to 359.9; Delete drops one"}},
        {32, {"wheel[1].sync_pulses: -3..1", signed_count}},
        {33, {"wheel[1].cam_inversion: yes or no", yes_no}},
        {34, {"wheel[1].crank_flag: yes or no", yes_no}},
        {35,
         {"ramp point on the screen: 1 of 5 in use (the tables hold 99)",
          "digits pick a point in use; Page Up and Page Down step through all 99"}},
        {36,
         {"ramp[1].time: 0.00..99.99 s", "digits type up to 99.99, no further; Delete drops one",
          "in the file: 0.99 s"}},
        {37,
         {"ramp[1].speed: 0..9999 rpm", "digits type up to 9999, no further; Delete drops one"}},
        {38, {"can_id = 18DAF110, byte 1 of 4, 00..FF", can_keys, "in the file: 18DAF1FF"}},
        {39, {"can_id = 18DAF110, byte 2 of 4, 00..FF", can_keys, "in the file: 18DAF1FF"}},
        {40, {"can_id = 18DAF110, byte 3 of 4, 00..FF", can_keys, "in the file: 18DAF1FF"}},
        {41, {"can_id = 18DAF110, byte 4 of 4, 00..FF", can_keys, "in the file: 18DAF1FF"}},
    };
    static_assert(std::size(cases) == field_count);
    Wert w = test::example_image();
    put(w, ParamId::crank_pulses, 0, 36);
    put(w, ParamId::cylinders, 0, 6);
    set_name_char(w, 0, 1, 'X');
    Wert loaded = test::example_image();
    put(loaded, ParamId::brightness, 0, 55);
    put(loaded, ParamId::max_poti_speed, 0, 2000);
    put(loaded, ParamId::crank_offset, 0, 65);
    put(loaded, ParamId::gap_pulses, 0, -2);
    put(loaded, ParamId::cam_width, 0, cam_width_degrees_bit | 13);
    put(loaded, ParamId::ramp_time, 1, 99);
    set_byte(loaded, 1536, 0xFF);
    int field = 0;
    for (const auto& c : cases) {
        ASSERT_EQ(c.field, field++) << "the table lists the fields in order";
        const std::vector<std::string> lines = field_help({c.field}, w, loaded);
        EXPECT_EQ(lines, c.lines) << "field " << c.field;
        for (const std::string& line : lines)
            EXPECT_LE(line.size(), 80u) << "field " << c.field << ": " << line;
    }
}

// The wheel name's help says what each key stores: typed in field 5, every key it lists stores
// the character under it, and every other key of the 255 ordinary ones stores nothing.
TEST(Help, TheWheelNameKeysStoreWhatTheHelpSays) {
    const auto columns = [](const std::string& row) {
        std::istringstream in(row);
        std::vector<std::string> words;
        for (std::string w; in >> w;) words.push_back(w);
        return words;
    };
    const std::vector<std::string> keys = columns(name_key_rows().keys);
    const std::vector<std::string> stores = columns(name_key_rows().stores);
    ASSERT_EQ(keys.size(), stores.size());
    std::map<int, char> listed; // key code -> the character the help says it stores
    for (std::size_t i = 0; i < keys.size(); ++i) {
        const std::string &k = keys[i], &c = stores[i];
        if (k == "Space") {
            listed[' '] = c == "space" ? ' ' : '?';
        } else if (k == "Alt+7..0") {
            ASSERT_EQ(c.size(), 4u);
            for (int d = 0; d < 4; ++d) listed[key::alt_7 + d] = c[static_cast<std::size_t>(d)];
        } else if (k.size() == 3 && k[1] == '-') {
            EXPECT_EQ(c, k);
            for (char x = k[0]; x <= k[2]; ++x) listed[x] = x;
        } else {
            ASSERT_EQ(k.size(), 1u) << k;
            ASSERT_EQ(c.size(), 1u) << c;
            listed[k[0]] = c[0];
        }
    }
    EXPECT_EQ(listed.size(), 26u * 2 + 10 + 21 + 4); // letters, digits, the others, Alt
    std::vector<int> tried{key::alt_7, key::alt_8, key::alt_9, key::alt_0};
    for (int k = 1; k < 256; ++k) tried.push_back(k);
    for (int k : tried) {
        if (k == key::backspace || k == key::enter || k == key::escape) continue;
        Wert w = test::example_image();
        set_name_char(w, 0, 1, 0x01); // no key stores it
        Editor ed{5, 1, k};
        apply_rule(ed, w);
        const auto it = listed.find(k);
        EXPECT_EQ(name_char(w, 0, 1), it == listed.end() ? 0x01u : unsigned(uint8_t(it->second)))
            << "key " << k;
    }
}

} // namespace
} // namespace ulo
