// The command line: the named parameters, their ranges against the editor's own rules, and
// show, get, set, diff, check and screen run through the entry function.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "app/cli.hpp"
#include "app/flow.hpp"
#include "app/image_io.hpp"
#include "app/suggest.hpp"
#include "editor/editor.hpp"
#include "eeprom/file.hpp"
#include "eeprom/params.hpp"
#include "support.hpp"

namespace ulo {
namespace {

namespace fs = std::filesystem;

using Dir = test::ScratchDir;

using test::Result;
using test::run;

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) result.push_back(line);
    return result;
}

Item item(const std::string& name) {
    Item it{};
    std::string why;
    EXPECT_TRUE(parse_item(name, it, why)) << name << ": " << why;
    return it;
}

// An image every field could have produced, with every wheel configuration different and
// bytes outside the parameters that are not zero.
Wert in_range_image() {
    Wert w = test::example_image();
    put(w, ParamId::vss_pulse_width, 0, 670); // the manual's 10 ms is below what the field keeps
    put(w, ParamId::crank_offset, 0, 60); // and its 120.0 degrees beyond one spacing of 60 pulses
    set_byte(w, 7, 0xFE);
    for (unsigned a = 20; a < 32; ++a) set_byte(w, a, 0xA5);
    set_byte(w, 2047, 0x5A);
    const std::string names[] = {"36-1 Crank", "(a)=b/c#d;e+f:g^", "x'&?{[]}!$%,-._", "Z"};
    for (unsigned n = 1; n < wheel_count; ++n) {
        set_byte(w, record_address(n, 0), (n << 5) | (2 + n % 7));
        put(w, ParamId::tdc_width, n, n);
        put(w, ParamId::crank_pulses, n, 1 + n * 4);
        put(w, ParamId::crank_offset, n, offset_cap(1 + n * 4) - n);
        put(w, ParamId::gap_phase, n, n * 149);
        put(w, ParamId::crank_width, n, 1 + n * 4);
        put(w, ParamId::gap_count, n, 1 + n % 4);
        put(w, ParamId::gap_pulses, n, static_cast<int>(n % 5) - 3);
        put(w, ParamId::cam_pulses, n, 1 + n * 2);
        put(w, ParamId::cam_offset, n, offset_cap(1 + n * 2) / 2);
        put(w, ParamId::sync_phase, n, 3599 - n);
        put(w, ParamId::cam_width, n, n % 2 ? 1 + n * 5 : 0x80 + 12 + n * 4);
        put(w, ParamId::sync_pulses, n, static_cast<int>(n % 5) - 3);
        const std::string name = names[n % 4];
        for (unsigned p = 1; p <= 16; ++p)
            set_name_char(w, n, p,
                          p <= name.size() ? static_cast<unsigned char>(name[p - 1]) : ' ');
    }
    for (unsigned r = 1; r <= 99; ++r) {
        put(w, ParamId::ramp_time, r, r * 101);
        put(w, ParamId::ramp_speed, r, 2 * r * 100);
    }
    return w;
}

// ---- The parameter table -----------------------------------------------------------------

TEST(Params, EveryItemHasANameThatLeadsBackToIt) {
    std::set<std::string> seen;
    for (Item it : every_item()) {
        const std::string name = item_name(it);
        EXPECT_TRUE(seen.insert(name).second) << name << " twice";
        EXPECT_EQ(item(name), it) << name;
    }
    EXPECT_EQ(seen.size(), 17u + 25u * 17u + 1u + 2u * 99u + 1u);
}

// Every parameter owns its bits alone, and writing it changes those bits and nothing else.
TEST(Params, WritingAParameterChangesOnlyItsOwnBits) {
    std::vector<unsigned> owners(eeprom_size * 8, 0);
    for (Item it : every_item()) {
        const Span s = span(it);
        for (unsigned a = s.address; a < s.address + s.count; ++a)
            for (unsigned bit = 0; bit < 8; ++bit)
                if (s.mask & (1u << bit)) ++owners[a * 8 + bit];
    }
    for (unsigned k = 0; k < owners.size(); ++k)
        ASSERT_LE(owners[k], 1u) << "address " << k / 8 << " bit " << k % 8;

    // each value is written with every bit it has turned over
    const Wert base = in_range_image();
    Wert flipped = base;
    for (auto& b : flipped) b = static_cast<std::uint8_t>(~b);
    for (Item it : every_item()) {
        Wert w = base;
        const Value v = read_value(flipped, it);
        write_value(w, it, v);
        EXPECT_EQ(read_value(w, it), v) << item_name(it);
        const Span s = span(it);
        for (unsigned a = 0; a < eeprom_size; ++a) {
            const bool inside = a >= s.address && a < s.address + s.count;
            EXPECT_EQ(w[a] ^ base[a], inside ? s.mask : 0u) << item_name(it) << " at " << a;
        }
    }
}

struct FormatCase {
    const char* name;
    unsigned address; // the bytes put there before reading
    std::vector<unsigned> bytes;
    const char* shown;
};

TEST(Params, ValuesShowInTheScreensUnitsAndComeBackExactly) {
    const unsigned rec = record_address(2, 0); // configuration 3
    const FormatCase cases[] = {
        {"edit_mode_bit", 7, {0x01}, "off"},
        {"brightness", 1, {45}, "80 % (stored 45)"},
        {"brightness", 1, {9}, "0 % (stored 9)"},
        {"brightness", 1, {55}, "100 % (stored 55)"},
        {"contrast", 2, {77}, "low (stored 77)"},
        {"lis_inversion", 8, {7}, "inv (stored 7)"},
        {"wheel_select", 3, {200}, "25 (stored 200)"},
        {"first_high_frequency", 16, {0xFF, 0xFF}, "65535 Hz"},
        {"max_poti_speed", 5, {0x59, 0x02}, "300 rpm (stored 601)"},
        {"wheel[3].cylinders", rec, {0xE4}, "4"},
        {"wheel[3].write_protection", rec, {0xE4}, "yes"},
        {"wheel[3].crank_offset", rec + 3, {0x10, 0x0E}, "360.0 deg"},
        {"wheel[3].gap_phase", rec + 5, {0xFF, 0xFF}, "6553.5 deg"},
        {"wheel[3].crank_width", rec + 7, {5}, "0.5 deg"},
        {"wheel[3].gap_pulses", rec + 8, {0xD3}, "-3"},
        {"wheel[3].gap_count", rec + 8, {0xD3}, "3"},
        {"wheel[3].gap_pulses", rec + 8, {0x80}, "-8"},
        {"wheel[3].cam_width", rec + 14, {125}, "12.5 deg"},
        {"wheel[3].cam_width", rec + 14, {0x8D}, "13 deg"},
        {"wheel[3].cam_width", rec + 14, {0}, "0.0 deg"},
        {"wheel[3].cam_width", rec + 14, {126}, "126 deg (stored 126)"},
        {"wheel[3].sync_pulses", rec + 15, {0xFD}, "-3"},
        {"wheel[3].name",
         name_address(2, 1),
         {'6', '0', '"', '\\', 7, 0xE1, ' ', 'x'},
         "\"60\\\"\\\\\\x07\\xE1 x\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\""},
        {"ramp[99].speed", 708, {0xD1, 0x07}, "1000 rpm (stored 2001)"},
    };
    for (const FormatCase& c : cases) {
        Wert w = test::example_image();
        for (unsigned k = 0; k < c.bytes.size(); ++k) set_byte(w, c.address + k, c.bytes[k]);
        const Item it = item(c.name);
        const Value v = read_value(w, it);
        EXPECT_EQ(format_value(it, v), c.shown) << c.name;
        Value back;
        std::string why;
        ASSERT_TRUE(parse_value(it, format_value(it, v), back, why)) << c.name << ": " << why;
        EXPECT_EQ(back, v) << c.name;
    }
}

// ---- Ranges against the editor's own rules --------------------------------------------------
//
// The range of each parameter must be exactly what its field can produce: every value reached
// by keys from an in-range value lies in range when the field is left, and every value in
// range is reached from the image's own value.

struct FieldCase {
    int field;
    const char* name;
    long long low, high;     // every value the parameter can hold
    unsigned pulses = 1;     // crank and cam pulses of the selected configuration
    unsigned flags_byte = 8; // byte +0 of its record: 8 cylinders, no flags
    bool alone = true;       // the field alone reaches every value in range
};

// The keys that type into a field, then those that leave it.
constexpr int keys[] = {'0',          '1',
                        '2',          '3',
                        '4',          '5',
                        '6',          '7',
                        '8',          '9',
                        key::del,     key::backspace,
                        key::page_up, key::page_down,
                        key::space,   key::minus,
                        key::enter,   key::up,
                        key::down,    key::left,
                        key::right,   key::home,
                        key::end,     key::escape,
                        key::alt_x};

struct State {
    long long value;
    int start;
};

// The values the field leaves behind, starting from `starts` and typing on.
std::set<long long> produced(const FieldCase& c, const Wert& base, Item it,
                             const std::vector<State>& starts) {
    Wert w = base;
    std::vector<bool> seen(static_cast<std::size_t>(c.high - c.low + 1) * 2);
    std::vector<State> todo;
    const auto visit = [&](State s) {
        const auto k = static_cast<std::size_t>(s.value - c.low) * 2 + (s.start != 0);
        if (!seen[k]) todo.push_back(s);
        seen[k] = true;
    };
    for (State s : starts) visit(s);
    std::set<long long> left;
    while (!todo.empty()) {
        const State s = todo.back();
        todo.pop_back();
        for (int k : keys) {
            write_value(w, it, Value{s.value, {}});
            Editor ed{c.field, s.start, k};
            apply_rule(ed, w);
            if (ed.mode != c.field || key::ends_editing(k))
                left.insert(read_value(w, it).n);
            else
                visit({read_value(w, it).n, ed.start});
        }
    }
    return left;
}

TEST(Params, RangesAreWhatTheEditorsFieldsProduce) {
    const FieldCase cases[] = {
        {0, "last_menu", 0, 255},
        {1, "edit_mode_bit", 0, 1},
        {2, "brightness", 0, 255},
        {3, "contrast", 0, 255},
        {4, "wheel_select", 0, 255},
        {6, "tdc_cyl", 0, 255},
        {6, "tdc_cyl", 0, 255, 1, 2, false},
        {6, "tdc_cyl", 0, 255, 1, 20},
        {6, "tdc_cyl", 0, 255, 1, 8 | 0x20},
        {7, "max_poti_speed", 0, 65535},
        {8, "ramp_points", 0, 255},
        {9, "vss_pulses_per_km", 0, 65535},
        {10, "vss_pulse_width", 0, 65535},
        {11, "aux_speed_pulses", 0, 65535},
        {12, "aux_speed_pulse_width", 0, 65535},
        {13, "lis_inversion", 0, 255},
        {14, "lis_lower_threshold", 0, 65535},
        {15, "lis_upper_threshold", 0, 65535},
        {16, "kickdown_threshold", 0, 65535},
        {17, "first_high_frequency", 0, 65535},
        {18, "second_high_frequency", 0, 65535},
        {19, "wheel[1].write_protection", 0, 1},
        {20, "wheel[1].cylinders", 0, 31},
        {21, "wheel[1].tdc_width", 0, 255},
        {22, "wheel[1].crank_pulses", 0, 255},
        {23, "wheel[1].crank_width", 0, 255},
        {24, "wheel[1].crank_offset", 0, 65535},
        {24, "wheel[1].crank_offset", 0, 65535, 120, 8, false},
        {24, "wheel[1].crank_offset", 0, 65535, 7, 8, false},
        {25, "wheel[1].gap_phase", 0, 65535},
        {26, "wheel[1].gap_count", 0, 15},
        {27, "wheel[1].gap_pulses", -8, 7},
        {28, "wheel[1].cam_pulses", 0, 255},
        {29, "wheel[1].cam_width", 0, 255},
        {30, "wheel[1].cam_offset", 0, 65535, 1},
        {30, "wheel[1].cam_offset", 0, 65535, 36, 8, false},
        {31, "wheel[1].sync_phase", 0, 65535},
        {32, "wheel[1].sync_pulses", -128, 127},
        {33, "wheel[1].cam_inversion", 0, 1},
        {34, "wheel[1].crank_flag", 0, 1},
        {36, "ramp[1].time", 0, 65535},
        {37, "ramp[1].speed", 0, 65535},
    };
    for (const FieldCase& c : cases) {
        const std::string what = std::string(c.name) + " pulses " + std::to_string(c.pulses) +
                                 " byte " + std::to_string(c.flags_byte);
        Wert base = in_range_image();
        set_byte(base, record_address(0, 0), c.flags_byte);
        put(base, ParamId::crank_pulses, 0, c.pulses);
        put(base, ParamId::cam_pulses, 0, c.pulses);
        put(base, ParamId::crank_offset, 0, 0); // within the spacing of any pulse count
        const Item it = item(c.name);

        std::set<long long> in;
        std::vector<State> starts;
        for (long long v = c.low; v <= c.high; ++v) {
            if (!in_range(it, Value{v, {}})) continue;
            in.insert(v);
            starts.push_back({v, 1});
            starts.push_back({v, 0});
        }
        ASSERT_FALSE(in.empty()) << what;
        for (long long v : produced(c, base, it, starts))
            EXPECT_TRUE(in.count(v)) << what << ": the field produces " << v;
        const long long own = read_value(base, it).n;
        ASSERT_TRUE(in.count(own)) << what << ": the image's own value " << own;
        if (!c.alone) continue; // other fields must change first
        const std::set<long long> reached = produced(c, base, it, {{own, 1}});
        for (long long v : in) EXPECT_TRUE(reached.count(v)) << what << ": never reaches " << v;
    }
}

TEST(Params, NamesTakeWhatTheNameFieldStores) {
    for (char c : std::string("\"@`|~<>\\\x07\x7F\xE1"))
        EXPECT_FALSE(name_storable(static_cast<unsigned char>(c))) << c;
    for (char c : std::string("Az09 !$%,-._/)=(*#;+:^'&?{[]}"))
        EXPECT_TRUE(name_storable(static_cast<unsigned char>(c))) << c;
}

// ---- set ------------------------------------------------------------------------------------

// Taken when `err` is empty, and the first parameter named then holds `stored`; refused with
// a message holding `err` otherwise.
struct SetCase {
    std::vector<std::string> args;
    long long stored = 0;
    const char* err = "";
};

TEST(Set, TakesValuesWithinTheFieldsRangesAndRefusesTheRest) {
    const SetCase cases[] = {
        {{"last_menu=0"}, 0},
        {{"last_menu=10"}, 10},
        {{"last_menu=11"},
         0,
         "ulocfg: last_menu=11 is rejected: the field takes 0..10; use --force to store it "
         "anyway.\n"},
        {{"last_menu=-1"}, 0, "takes a whole number"},
        {{"edit_mode_bit=off"}, 1},
        {{"edit_mode_bit=yes"}, 0, "takes on or off"},
        {{"brightness=100"}, 50},
        {{"brightness=20 %"}, 10},
        {{"brightness=0"}, 0},
        {{"brightness=30"}, 0, "steps of 20"},
        {{"brightness=120"}, 0, "the field takes 0..100 %"},
        {{"brightness=100 % (stored 55)"}, 55},
        {{"brightness=100 % (stored 56)"}, 0, "the field takes"},
        {{"brightness=80 % (stored 55)"}, 0, "has stored 55, which shows as 100 %"},
        {{"contrast=low"}, 50},
        {{"contrast=high"}, 100},
        {{"contrast=medium"}, 0, "takes high or low"},
        {{"contrast=low (stored 77)"}, 0, "the field takes high or low"},
        {{"wheel_select=1"}, 0},
        {{"wheel_select=25"}, 24},
        {{"wheel_select=0"}, 0, "the field takes 1..25"},
        {{"wheel_select=26"}, 0, "1..25"},
        // the TDC cylinder may pass the selected configuration's cylinders: a warning only
        {{"tdc_cyl=4"}, 4},
        {{"tdc_cyl=8"}, 8},
        {{"tdc_cyl=9"}, 0, "the field takes 0..8;"},
        {{"tdc_cyl=6", "wheel_select=5"}, 6}, // configuration 5 has 6 cylinders
        {{"max_poti_speed=9999"}, 19998},
        {{"max_poti_speed=0 rpm"}, 0},
        {{"max_poti_speed=10000"}, 0, "0..9999 rpm"},
        {{"max_poti_speed=300 rpm (stored 601)"}, 0, "0..9999 rpm"},
        {{"vss_pulses_per_km=2401"}, 2401},
        {{"vss_pulses_per_km=50000"}, 50000},
        {{"vss_pulses_per_km=2400"}, 0, "2401..50000"},
        {{"vss_pulses_per_km=50001"}, 0, "2401..50000"},
        {{"vss_pulse_width=670 ms"}, 670},
        {{"vss_pulse_width=6700"}, 6700},
        {{"vss_pulse_width=669"}, 0, "670..6700 ms"},
        {{"vss_pulse_width=6701"}, 0, "670..6700 ms"},
        {{"aux_speed_pulses=120"}, 120},
        {{"aux_speed_pulses=0"}, 0, "1..120"},
        {{"aux_speed_pulses=121"}, 0, "1..120"},
        {{"aux_speed_pulse_width=100"}, 100},
        {{"aux_speed_pulse_width=101"}, 0, "0..100 %"},
        {{"lis_inversion=inv"}, 1},
        {{"lis_lower_threshold=5000"}, 5000},
        {{"lis_upper_threshold=5001"}, 0, "0..5000 mV"},
        {{"kickdown_threshold=5001 mV"}, 0, "0..5000 mV"},
        {{"first_high_frequency=0"}, 0},
        {{"first_high_frequency=31"}, 31},
        {{"first_high_frequency=30"}, 0, "0 or 31..20000 Hz"},
        {{"second_high_frequency=20000 Hz"}, 20000},
        {{"second_high_frequency=20001"}, 0, "0 or 31..20000 Hz"},
        {{"wheel[25].cylinders=8"}, 8},
        {{"wheel[25].cylinders=1"}, 0, "2..8"},
        {{"wheel[25].cylinders=9"}, 0, "2..8"},
        {{"wheel[2].write_protection=yes"}, 1},
        {{"wheel[2].crank_flag=on"}, 0, "takes yes or no"},
        {{"wheel[2].tdc_width=0"}, 0},
        {{"wheel[2].tdc_width=30 deg"}, 30},
        {{"wheel[2].tdc_width=31"}, 0, "0..30 deg"},
        {{"wheel[2].crank_pulses=1"}, 1},
        {{"wheel[2].crank_pulses=120"}, 120},
        {{"wheel[2].crank_pulses=0"}, 0, "1..120"},
        {{"wheel[2].crank_pulses=121"}, 0, "1..120"},
        {{"wheel[2].crank_width=0.1"}, 1},
        {{"wheel[2].crank_width=9.9"}, 99},
        {{"wheel[2].crank_width=0.0"}, 0, "0.1..9.9 deg"},
        {{"wheel[2].crank_width=10"}, 0, "0.1..9.9 deg"},
        {{"wheel[2].crank_width=0.15"}, 0, "at most one decimal"},
        // an offset typed before the pulse count rose may stay beyond one pulse spacing
        {{"wheel[1].crank_offset=6.0"}, 60},
        {{"wheel[1].crank_offset=360.0"}, 3600},
        {{"wheel[1].crank_offset=360.1"}, 0, "the field takes 0.0..360.0 deg;"},
        {{"wheel[1].crank_offset=120.0", "wheel[1].crank_pulses=60"}, 1200},
        {{"wheel[2].gap_phase=359.9"}, 3599},
        {{"wheel[2].gap_phase=360"}, 0, "0.0..359.9 deg"},
        {{"wheel[2].gap_pulses=-3"}, -3},
        {{"wheel[2].gap_pulses=+1"}, 1},
        {{"wheel[2].gap_pulses=-4"}, 0, "-3..1"},
        {{"wheel[2].gap_pulses=2"}, 0, "-3..1"},
        {{"wheel[2].gap_count=4"}, 4},
        {{"wheel[2].gap_count=0"}, 0, "1..4"},
        {{"wheel[2].gap_count=5"}, 0, "1..4"},
        {{"wheel[2].cam_pulses=60"}, 60},
        {{"wheel[2].cam_pulses=61"}, 0, "1..60"},
        // cam widths: tenths up to 12.5, whole degrees from 12 stored with the top bit
        {{"wheel[2].cam_width=0.1"}, 1},
        {{"wheel[2].cam_width=12.5 deg"}, 125},
        {{"wheel[2].cam_width=12"}, 140},
        {{"wheel[2].cam_width=125"}, 253},
        {{"wheel[2].cam_width=0.0"}, 0, "0.1..12.5 deg"},
        {{"wheel[2].cam_width=12.6"}, 0, "or 12..125 whole degrees"},
        {{"wheel[2].cam_width=11"}, 0, "12..125 whole degrees"},
        {{"wheel[2].cam_width=126"}, 0, "12..125 whole degrees"},
        {{"wheel[1].cam_offset=360.0"}, 3600},
        {{"wheel[1].cam_offset=360.1"}, 0, "0.0..360.0 deg"},
        {{"wheel[3].cam_offset=120.0"}, 1200},
        {{"wheel[2].sync_phase=359.9"}, 3599},
        {{"wheel[2].sync_pulses=-3"}, -3},
        {{"wheel[2].sync_pulses=1"}, 1},
        {{"wheel[2].sync_pulses=-4"}, 0, "-3..1"},
        {{"wheel[2].sync_pulses=2"}, 0, "-3..1"},
        {{"ramp_points=2"}, 2},
        {{"ramp_points=99"}, 99},
        {{"ramp_points=1"}, 0, "2..99"},
        {{"ramp_points=100"}, 0, "2..99"},
        {{"ramp[3].time=2.5"}, 250},
        {{"ramp[3].time = 2.50 s"}, 250},
        {{"ramp[3].time=99.99"}, 9999},
        {{"ramp[3].time=100"}, 0, "0.00..99.99 s"},
        {{"ramp[3].time=2.555"}, 0, "at most two decimals"},
        {{"ramp[99].speed=9999"}, 19998},
        {{"ramp[99].speed=10000 rpm"}, 0, "0..9999 rpm"},
        {{"can_id=18daf111"}, 0x18DAF111},
        {{"can_id=FFFFFFFF"}, 0xFFFFFFFF},
        {{"can_id=123456789"}, 0, "up to 8 hexadecimal digits"},
        {{"can_id=18DAF11G"}, 0, "up to 8 hexadecimal digits"},
        // names of items
        {{"foo=1"}, 0, "ulocfg: foo=1 is rejected: foo is not a parameter.\n"},
        {{"Contrast=high"}, 0, "Contrast is not a parameter"},
        {{"wheel[0].name=x"}, 0, "numbered 1..25"},
        {{"wheel[26].cylinders=4"},
         0,
         "ulocfg: wheel[26].cylinders=4 is rejected: wheel configurations are numbered 1..25.\n"},
        {{"ramp[0].speed=1"}, 0, "numbered 1..99"},
        {{"ramp[100].time=1"}, 0, "numbered 1..99"},
        {{"wheel[1].time=1"}, 0, "wheel[1].time is not a parameter"},
        {{"ramp[1].name=x"}, 0, "ramp[1].name is not a parameter"},
        {{"wheel[x].name=x"}, 0, "not a parameter"},
        {{"crank_pulses=60"}, 0, "not a parameter"},
        // all or nothing
        {{"last_menu=5", "last_menu=6"}, 0, "given twice"},
        {{"last_menu=5", "vss_pulses_per_km=1"}, 0, "2401..50000"},
        {{"last_menu=5", "nonsense=1"}, 0, "nonsense is not a parameter"},
    };
    const Wert before = in_range_image();
    for (const SetCase& c : cases) {
        std::string what;
        for (const std::string& a : c.args) what += a + " ";
        Dir dir;
        std::vector<std::string> args = {"set", "--file", dir.put(before)};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const Result r = run(args);
        const bool taken = *c.err == '\0';
        EXPECT_EQ(r.status, taken ? status_ok : status_rejected) << what << r.err;
        EXPECT_NE(r.err.find(c.err), std::string::npos) << what << "\n" << r.err;
        if (!taken) {
            EXPECT_EQ(dir.read(), format_image(before)) << what << ": nothing is written";
            continue;
        }
        // the value stored, and nothing outside what was set changed
        const Wert after = dir.image();
        Wert expected = before;
        for (const std::string& a : c.args) {
            const Item it = item(a.substr(0, a.find_first_of(" =")));
            if (&a == &c.args[0]) {
                EXPECT_EQ(read_value(after, it).n, c.stored) << what;
            }
            write_value(expected, it, read_value(after, it));
        }
        EXPECT_EQ(after, expected) << what;
    }
}

// `show` of the image in a.txt, then `set` of every line it printed on b.txt, a copy with
// every shown bit turned over, so that set must bring each one back.
Result show_then_set(Dir& dir, const Wert& shown, bool force = false) {
    const Result show = run({"show", dir.put(shown, "a.txt")});
    EXPECT_EQ(show.status, status_ok);
    Wert other = shown;
    for (Item it : shown_items(shown)) {
        const Span s = span(it);
        for (unsigned a = s.address; a < s.address + s.count; ++a) other[a] ^= s.mask;
    }
    std::vector<std::string> args = {"set", "--file", dir.put(other, "b.txt")};
    if (force) args.push_back("--force");
    for (const std::string& line : lines(show.out)) args.push_back(line);
    return run(args);
}

// An image whose every parameter holds a value in range, each drawn at random, and random
// bytes between the parameters.
Wert random_in_range_image(std::mt19937& rng) {
    Wert w;
    for (auto& b : w) b = static_cast<std::uint8_t>(rng());
    for (Item it : every_item()) {
        const Param& p = param(it.id);
        Value v;
        do {
            if (p.shown == Shown::text) {
                v.name.clear();
                for (unsigned k = 0; k < wheel_name_length; ++k)
                    v.name += static_cast<char>(32 + rng() % 95);
            } else {
                const long long span = p.shown == Shown::hex ? 1LL << 32 : p.high - p.low + 300;
                v.n = p.low + static_cast<long long>(rng() % static_cast<unsigned long long>(span));
            }
        } while (!in_range(it, v));
        write_value(w, it, v);
    }
    return w;
}

// Whatever the editor makes of an image, show prints it and set of those lines writes it back.
TEST(Set, EveryImageTheEditorMakesComesBackThroughShowAndSet) {
    std::mt19937 rng(20261207);
    constexpr int keys_known[] = {'0',        '1',          '2',
                                  '3',        '4',          '5',
                                  '6',        '7',          '8',
                                  '9',        'a',          'F',
                                  'x',        '(',          key::alt_8,
                                  key::space, key::minus,   key::backspace,
                                  key::del,   key::page_up, key::page_down,
                                  key::enter, key::up,      key::down,
                                  key::left,  key::right,   key::home,
                                  key::end};
    Dir dir;
    for (int round = 0; round < 60; ++round) {
        Wert w = random_in_range_image(rng);
        Editor ed;
        for (int k = 0; k < 400; ++k) {
            ed.letter = keys_known[rng() % std::size(keys_known)];
            apply_rule(ed, w);
        }
        ed.letter = key::escape; // the leave rule of the last field, as the editor ends
        apply_rule(ed, w);

        const Result set = show_then_set(dir, w);
        ASSERT_EQ(set.status, status_ok) << "round " << round << "\n" << set.err;
        ASSERT_EQ(dir.image("b.txt"), w) << "round " << round;
    }
    // Images of random bytes, as a device or another program may write them, hold values no
    // field gives: set refuses them, and stores them all with --force.
    for (int round = 0; round < 20; ++round) {
        Wert w;
        for (auto& b : w) b = static_cast<std::uint8_t>(rng());
        const Result refused = show_then_set(dir, w);
        ASSERT_EQ(refused.status, status_rejected) << "round " << round;
        for (const std::string& line : lines(refused.err))
            ASSERT_TRUE(line.ends_with("; use --force to store it anyway.")) << line;
        const Result set = show_then_set(dir, w, true);
        ASSERT_EQ(set.status, status_ok) << "round " << round << "\n" << set.err;
        ASSERT_EQ(dir.image("b.txt"), w) << "round " << round;
    }
}

// A value the image holds is taken as it is; --force stores one outside the field's range
// where the parameter's bits hold it, and says so.
TEST(Set, ForceStoresValuesOutsideTheFieldsRangeThatTheBitsHold) {
    const struct {
        std::vector<std::string> args;
        int status;
        std::string err;
        const char* name; // what is stored, as show writes it; nullptr where nothing changes
        const char* shown;
    } cases[] = {
        // the sample's 10 ms is outside 670..6700 ms
        {{"vss_pulse_width=10"}, status_ok, "", nullptr, nullptr},
        {{"vss_pulse_width=11"},
         status_rejected,
         "ulocfg: vss_pulse_width=11 is rejected: the field takes 670..6700 ms; use --force to "
         "store it anyway.\n",
         nullptr,
         nullptr},
        {{"--force", "vss_pulse_width=11"},
         status_ok,
         "ulocfg: vss_pulse_width=11: warning: stored outside the field's range, 670..6700 ms\n",
         "vss_pulse_width",
         "vss_pulse_width = 11 ms"},
        {{"vss_pulse_width=65535", "--force"},
         status_ok,
         "ulocfg: vss_pulse_width=65535: warning: stored outside the field's range, 670..6700 ms\n",
         "vss_pulse_width",
         "vss_pulse_width = 65535 ms"},
        {{"--force", "vss_pulse_width=65536"},
         status_rejected,
         "ulocfg: vss_pulse_width=65536 is rejected: the field takes 670..6700 ms, and the value "
         "does not fit in the parameter's bits.\n",
         nullptr,
         nullptr},
        {{"--force", "wheel[1].gap_pulses=7"},
         status_ok,
         "ulocfg: wheel[1].gap_pulses=7: warning: stored outside the field's range, -3..1\n",
         "wheel[1].gap_pulses",
         "wheel[1].gap_pulses = 7"},
        {{"--force", "wheel[1].gap_pulses=-9"},
         status_rejected,
         "ulocfg: wheel[1].gap_pulses=-9 is rejected: the field takes -3..1, and the value does "
         "not fit in the parameter's bits.\n",
         nullptr,
         nullptr},
        {{"--force", "contrast=low (stored 77)"},
         status_ok,
         "ulocfg: contrast=low (stored 77): warning: stored outside the field's range, high or "
         "low\n",
         "contrast",
         "contrast = low (stored 77)"},
        {{"--force", "wheel[2].name=\"A@\\x01\""},
         status_ok,
         "ulocfg: wheel[2].name=\"A@\\x01\": warning: stored outside the field's range, 16 "
         "characters: letters, digits, space, !#$%&'()*+,-./:;=?[]^_{}\n",
         "wheel[2].name",
         "wheel[2].name = \"A@\\x01             \""},
        {{"--force", "last_menu=5"}, status_ok, "", "last_menu", "last_menu = 5"},
    };
    for (const auto& c : cases) {
        Dir dir;
        const std::string image = dir.put(test::example_image());
        const std::string before = dir.read();
        std::vector<std::string> args = {"set", "--file", image};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const Result r = run(args);
        EXPECT_EQ(r.status, c.status) << c.args[0];
        EXPECT_EQ(r.err, c.err);
        if (c.name == nullptr) {
            EXPECT_EQ(dir.read(), before) << c.args[0] << ": not a byte written";
            continue;
        }
        Wert want = test::example_image();
        write_value(want, item(c.name), read_value(dir.image(), item(c.name)));
        EXPECT_EQ(dir.image(), want) << c.args[0] << ": nothing else changed";
        EXPECT_EQ(show_line(dir.image(), item(c.name)), c.shown);
    }
}

TEST(Set, WheelNamesArePaddedAndHoldOnlyWhatTheFieldStores) {
    const std::pair<const char*, const char*> cases[] = {
        // the name stored, or refused
        {"wheel[2].name=\"36-1 Crank\"", "36-1 Crank      "},
        {"wheel[2].name=36-1 Crank", "36-1 Crank      "},
        {"wheel[2].name = \"  leading\"", "  leading       "},
        {"wheel[2].name=\"\"", "                "},
        {"wheel[2].name=\"(a)=b/c#d;e+f:g^\"", "(a)=b/c#d;e+f:g^"},
        {"wheel[2].name=\"\\x41\\x42\"", "AB              "},
        {"wheel[2].name=x=y", "x=y             "},
        {"wheel[2].name=\"0123456789ABCDEFG\"", nullptr},
        {"wheel[2].name=\"AB@\"", nullptr},
        {"wheel[2].name=\"A\\\"B\"", nullptr},
        {"wheel[2].name=\"A\\x07\"", nullptr},
        {"wheel[2].name=\"unclosed", nullptr},
        {"wheel[2].name=\"A\\q\"", nullptr},
        {"wheel[2].name=\"A\"B\"", nullptr},
    };
    const Wert before = in_range_image();
    for (const auto& [arg, stored] : cases) {
        Dir dir;
        const Result r = run({"set", "-f", dir.put(before), arg});
        EXPECT_EQ(r.status, stored ? status_ok : status_rejected) << arg << "\n" << r.err;
        if (stored) {
            EXPECT_EQ(read_value(dir.image(), item("wheel[2].name")).name, stored) << arg;
        } else {
            EXPECT_EQ(dir.image(), before) << arg;
            EXPECT_NE(r.err.find("wheel[2].name"), std::string::npos) << r.err;
        }
    }
}

// Nothing after the = is most often a shell variable that was not set.
TEST(Set, RefusesEveryParameterWithNothingAfterTheEquals) {
    Dir dir;
    const std::string image = dir.put(in_range_image());
    const std::string before = dir.read();
    for (const Param& p : params()) {
        const std::string name = item_name({p.id, 1});
        const Result r = run({"set", "--file", image, name + "="});
        EXPECT_EQ(r.status, status_rejected) << name;
        EXPECT_EQ(r.err, "ulocfg: " + name + "= is rejected: " + name + " has no value" +
                             (p.id == ParamId::name ? " (\"\" blanks the name)" : "") + ".\n");
    }
    EXPECT_EQ(dir.read(), before);
}

TEST(Set, EveryShownLineOnAnotherImageGivesTheShownImageByteForByte) {
    const Wert shown = in_range_image();
    ASSERT_TRUE(check_image(shown).empty()) << check_image(shown)[0].text;
    Dir dir;
    const Result set = show_then_set(dir, shown);
    EXPECT_EQ(set.status, status_ok) << set.err;
    EXPECT_EQ(dir.read("b.txt"), format_image(shown));
}

// As in the editor, where the TDC cylinder is typed before fewer cylinders are chosen.
TEST(Set, WarnsOfAValueAtOddsWithAnotherButSavesItLikeTheEditor) {
    Dir dir;
    const Result r =
        run({"set", "wheel[1].cylinders=2", "tdc_cyl=4", "--file", dir.put(in_range_image())});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(
        r.err,
        "ulocfg: tdc_cyl = 4: warning: the selected configuration, wheel[1], has 2 cylinders\n");
    EXPECT_EQ(get(dir.image(), ParamId::tdc_cyl), 4);
    const Result again = run({"set", "last_menu=2", "--file", dir.file()});
    EXPECT_EQ(again.err, "") << "a warning the image had already is not repeated";
}

TEST(Set, LeavesAReadOnlyFileAsItWas) {
    Dir dir;
    dir.put(in_range_image());
    fs::permissions(dir.file(), fs::perms::owner_read | fs::perms::group_read);
    const Result r = run({"set", "--file", dir.file(), "last_menu=1"});
    EXPECT_EQ(r.status, status_cannot_open) << r.err;
    EXPECT_EQ(dir.image(), in_range_image());
}

// ---- show and get -----------------------------------------------------------------------------

TEST(Show, ListsEveryParameterInTheOrderOfTheScreen) {
    Dir dir;
    const Result r = run({"show", "--file", dir.put(test::example_image())});
    ASSERT_EQ(r.status, status_ok) << r.err;
    const std::vector<std::string> got = lines(r.out);
    ASSERT_EQ(got.size(), 17u + 25u * 17u + 1u + 2u * 5u + 1u);
    const std::vector<std::string> general = {
        "last_menu = 3",
        "edit_mode_bit = on",
        "brightness = 100 %",
        "contrast = high",
        "wheel_select = 1",
        "tdc_cyl = 1",
        "max_poti_speed = 6000 rpm",
        "vss_pulses_per_km = 4000",
        "vss_pulse_width = 10 ms",
        "aux_speed_pulses = 4",
        "aux_speed_pulse_width = 50 %",
        "lis_inversion = norm",
        "lis_lower_threshold = 800 mV",
        "lis_upper_threshold = 3600 mV",
        "kickdown_threshold = 4000 mV",
        "first_high_frequency = 0 Hz",
        "second_high_frequency = 1000 Hz",
        "wheel[1].write_protection = no",
        "wheel[1].name = \"60-2 Crank      \"",
        "wheel[1].cylinders = 4",
        "wheel[1].tdc_width = 30 deg",
        "wheel[1].cam_inversion = no",
        "wheel[1].crank_flag = no",
        "wheel[1].crank_pulses = 60",
        "wheel[1].crank_width = 3.0 deg",
        "wheel[1].crank_offset = 120.0 deg",
        "wheel[1].gap_phase = 0.0 deg",
        "wheel[1].gap_pulses = 1",
        "wheel[1].gap_count = 2",
        "wheel[1].cam_pulses = 1",
        "wheel[1].cam_width = 3.0 deg",
        "wheel[1].cam_offset = 0.0 deg",
        "wheel[1].sync_phase = 90.0 deg",
        "wheel[1].sync_pulses = 1",
    };
    EXPECT_EQ(std::vector<std::string>(got.begin(), got.begin() + 34), general);
    EXPECT_EQ(got[17 + 24 * 17], "wheel[25].write_protection = no");
    EXPECT_EQ(std::vector<std::string>(got.begin() + 442, got.begin() + 447),
              (std::vector<std::string>{"ramp_points = 5", "ramp[1].time = 2.50 s",
                                        "ramp[1].speed = 1000 rpm", "ramp[2].time = 0.00 s",
                                        "ramp[2].speed = 0 rpm"}));
    EXPECT_EQ(got.back(), "can_id = 18DAF110");
}

TEST(Show, ListsTheRampPointsInUseUpToTheTablesEnd) {
    for (unsigned points : {0u, 1u, 2u, 99u, 100u, 255u}) {
        Wert w = in_range_image();
        put(w, ParamId::ramp_points, 0, points);
        Dir dir;
        const std::vector<std::string> got = lines(run({"show", dir.put(w)}).out);
        const unsigned listed = std::min(points, 99u);
        ASSERT_EQ(got.size(), 17u + 25u * 17u + 1u + 2u * listed + 1u) << points;
        if (listed > 0) {
            const std::string last = "ramp[" + std::to_string(listed) + "].time";
            EXPECT_EQ(got[got.size() - 3].rfind(last, 0), 0u) << points;
        }
    }
}

TEST(Get, PrintsTheNamedValuesOrRefusesUnknownNames) {
    Dir dir;
    dir.put(test::example_image());
    Result r = run({"get", "can_id", "wheel[1].crank_offset", "ramp[1]", "--file", dir.file()});
    EXPECT_EQ(r.status, status_ok);
    EXPECT_EQ(r.out, "can_id = 18DAF110\nwheel[1].crank_offset = 120.0 deg\n"
                     "ramp[1].time = 2.50 s\nramp[1].speed = 1000 rpm\n");
    EXPECT_EQ(lines(run({"get", "wheel[2]", "--file", dir.file()}).out).size(), 17u);
    r = run({"get", "can_id", "wheel[1].bogus", "--file", dir.file()});
    EXPECT_EQ(r.status, status_rejected);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("wheel[1].bogus"), std::string::npos);
}

// ---- diff -------------------------------------------------------------------------------------

TEST(Diff, AnImageAgainstItselfIsEmpty) {
    Dir dir;
    const std::string a = dir.put(in_range_image(), "a.txt");
    // the same image written another way is the same image
    std::string text = format_image(in_range_image());
    for (char& c : text)
        if (c == '\n') c = ' ';
    for (const std::string& b : {a, dir.write(text, "b.txt")}) {
        const Result r = run({"diff", a, b});
        EXPECT_EQ(r.status, status_ok);
        EXPECT_EQ(r.out, "");
    }
}

TEST(Diff, NamesEachChangedParameterGroupedAndCountsOtherBytes) {
    Wert a = test::example_image(), b = a;
    put(b, ParamId::contrast, 0, 50);
    put(b, ParamId::last_menu, 0, 4);
    put(b, ParamId::crank_pulses, 2, 36);
    put(b, ParamId::gap_pulses, 2, -1);
    set_name_char(b, 24, 1, 'X');
    put(b, ParamId::ramp_time, 50, 100); // a point beyond the five in use is still a parameter
    set_byte(b, 1536 + 0, 0x11);
    set_byte(b, 7, byte(b, 7) | 0x08); // not the flag bit
    set_byte(b, 20, 1);
    set_byte(b, 2047, 1);
    Dir dir;
    const Result r = run({"diff", dir.put(a, "a.txt"), dir.put(b, "b.txt")});
    EXPECT_EQ(r.status, status_differ);
    EXPECT_EQ(r.out, "last_menu: 3 -> 4\n"
                     "contrast: high -> low\n"
                     "\n"
                     "wheel[3].crank_pulses: 0 -> 36\n"
                     "wheel[3].gap_pulses: 0 -> -1\n"
                     "\n"
                     "wheel[25].name: \"\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00"
                     "\\x00\\x00\\x00\\x00\\x00\" -> \"X\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00"
                     "\\x00\\x00\\x00\\x00\\x00\\x00\\x00\"\n"
                     "\n"
                     "ramp[50].time: 0.00 s -> 1.00 s\n"
                     "\n"
                     "can_id: 18DAF110 -> 18DAF111\n"
                     "\n"
                     "3 bytes differ outside the known parameters\n");
    b = a;
    set_byte(b, 1000, 7);
    const Result one = run({"diff", dir.put(a, "a.txt"), dir.put(b, "b.txt")});
    EXPECT_EQ(one.status, status_differ);
    EXPECT_EQ(one.out, "1 byte differs outside the known parameters\n");
}

struct DiffCase {
    const char* what;
    bool json;
    int status;
    const char* out;
};

TEST(Diff, BytesOutsideTheParametersAloneAreADifferenceInTextAndJson) {
    const Wert a = test::example_image();
    Wert b = a;
    set_byte(b, 1000, 7);
    set_byte(b, 2047, 1);
    const DiffCase cases[] = {
        {"text", false, status_differ, "2 bytes differ outside the known parameters\n"},
        {"--json", true, status_differ, "{\n  \"differences\": [],\n  \"bytes_outside\": 2\n}\n"},
    };
    Dir dir;
    const std::string old_path = dir.put(a, "a.txt"), new_path = dir.put(b, "b.txt");
    for (const DiffCase& c : cases) {
        std::vector<std::string> args{"diff", old_path, new_path};
        if (c.json) args.push_back("--json");
        const Result r = run(args);
        EXPECT_EQ(r.status, c.status) << c.what;
        EXPECT_EQ(r.out, c.out) << c.what;
    }
}

// ---- check ------------------------------------------------------------------------------------

struct CheckCase {
    unsigned address;
    unsigned value;
    const char* line; // what check says, from the start
};

TEST(Check, FindsEachKindOfValueNoFieldProducesAndIsQuietOtherwise) {
    Dir dir;
    const Result quiet = run({"check", "--file", dir.put(in_range_image())});
    EXPECT_EQ(quiet.status, status_ok);
    EXPECT_EQ(quiet.out, "");

    const unsigned rec = record_address(0, 0);
    const CheckCase cases[] = {
        {3, 25, "wheel_select = 25 (stored 25): the field takes 1..25"},
        {0, 11, "last_menu = 11: the field takes 0..10"},
        {1, 56, "brightness = 100 % (stored 56): the field takes 0..100 %"},
        {2, 77, "contrast = low (stored 77): the field takes high or low"},
        {8, 2, "lis_inversion = inv (stored 2): the field takes norm or inv"},
        {13, 9, "tdc_cyl = 9: the field takes 0..8"},
        {5, 0xE1, "max_poti_speed = 6000 rpm (stored 12001): the field takes 0..9999 rpm"},
        {32 + 1, 0, "vss_pulses_per_km = 160: the field takes 2401..50000"},
        {16, 30, "first_high_frequency = 30 Hz: the field takes 0 or 31..20000 Hz"},
        {4, 100, "ramp_points = 100: the field takes 2..99"},
        {4, 1, "ramp_points = 1: the field takes 2..99"},
        {rec + 2, 0, "wheel[1].crank_pulses = 0: the field takes 1..120"},
        {rec + 0, 0x21, "wheel[1].cylinders = 1: the field takes 2..8"},
        {rec + 1, 31, "wheel[1].tdc_width = 31 deg: the field takes 0..30 deg"},
        {rec + 7, 0, "wheel[1].crank_width = 0.0 deg: the field takes 0.1..9.9 deg"},
        {rec + 4, 0x0F, "wheel[1].crank_offset = 390.0 deg: the field takes 0.0..360.0 deg"},
        {rec + 8, 0x10, "wheel[1].gap_count = 0: the field takes 1..4"},
        {rec + 8, 0x42, "wheel[1].gap_pulses = 4: the field takes -3..1"},
        {rec + 9, 61, "wheel[1].cam_pulses = 61: the field takes 1..60"},
        {rec + 14, 0x85, "wheel[1].cam_width = 5 deg: the field takes 0.1..12.5 deg"},
        {rec + 15, 0xFC, "wheel[1].sync_pulses = -4: the field takes -3..1"},
        {name_address(0, 16), '@', "wheel[1].name = \"60-2 Crank     @\": the field takes 16"},
        {name_address(24, 1), 0, "wheel[25].name = \"\\x006-1 Crank      \": the field"},
        {(708 + 2 * 2) + 1, 0x28, "ramp[2].time = 104.42 s: the field takes 0.00..99.99 s"},
        {(510 + 2 * 5), 1, "ramp[5].speed = 384 rpm (stored 769): the field takes 0..9999 rpm"},
    };
    for (const CheckCase& c : cases) {
        Wert w = in_range_image();
        set_byte(w, c.address, c.value);
        const Result r = run({"check", dir.put(w)});
        EXPECT_EQ(r.status, status_differ) << c.line;
        const std::vector<std::string> got = lines(r.out);
        ASSERT_EQ(got.size(), 1u) << c.line << "\n" << r.out;
        EXPECT_EQ(got[0].rfind(c.line, 0), 0u) << got[0];
    }
}

TEST(Check, WarnsOfAValueAtOddsWithAnotherWithoutFailing) {
    Dir dir;
    Wert w = in_range_image();
    set_byte(w, 13, 5); // tdc_cyl 5, with 4 cylinders in configuration 1
    const Result r = run({"check", dir.put(w)});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out,
              "tdc_cyl = 5: warning: the selected configuration, wheel[1], has 4 cylinders\n");
    set_byte(w, 0, 11); // and a value out of range besides
    const Result both = run({"check", dir.put(w)});
    EXPECT_EQ(both.status, 5);
    EXPECT_EQ(lines(both.out).size(), 2u) << both.out;
}

// ---- screen and the command line itself
// ----------------------------------------------------------

TEST(Screen, IsTheEditorsFirstScreenAsText) {
    Dir dir;
    const Result r = run({"screen", dir.put(test::example_image())});
    EXPECT_EQ(r.status, status_ok);
    EXPECT_EQ(lines(r.out), test::example_rows());
}

// The command lines that start the editor, and on which file; every other one is a command.
TEST(CommandLine, EditorFile) {
    const struct {
        std::vector<std::string> args;
        bool editor;
        std::string path;
    } cases[] = {
        {{"edit"}, true, "ulo.txt"},
        {{"edit", "cars/a/ulo.txt"}, true, "cars/a/ulo.txt"},
        {{"edit", "--file", "bench-3.txt"}, true, "bench-3.txt"},
        {{"edit", "--", "-odd.txt"}, true, "-odd.txt"},
        {{"--file", "cars/a/ulo.txt"}, true, "cars/a/ulo.txt"},
        {{"-f", "bench-3.txt"}, true, "bench-3.txt"},
        {{"--file=bench-3.txt"}, true, "bench-3.txt"},
        {{"edit", "a", "b"}, false, ""},
        {{"edit", "a", "--file", "b"}, false, ""},
        {{"edit", "--bogus"}, false, ""},
        {{"--file"}, false, ""},
        {{"--file", "a", "show"}, false, ""},
        {{"--file", "a", "--file", "b"}, false, ""},
        {{"-f", "a", "--json"}, false, ""},
        {{"--", "a"}, false, ""},
        {{"-f", "a", "edit"}, true, "a"},
        {{"show", "a"}, false, ""},
        {{"show", "--file", "a"}, false, ""},
        {{"--help"}, false, ""},
    };
    for (auto c : cases) {
        c.args.insert(c.args.begin(), "ulocfg");
        std::vector<char*> argv;
        for (std::string& a : c.args) argv.push_back(a.data());
        std::string path;
        EXPECT_EQ(editor_file(static_cast<int>(argv.size()), argv.data(), path), c.editor)
            << c.args[1];
        EXPECT_EQ(path, c.path) << c.args[1];
    }
}

// A file's name first, as a file dropped on the program gives it, is "edit FILE" with the rest
// of the line.
TEST(CommandLine, AFilesNameFirstEditsItWithTheRestOfTheLine) {
    Dir dir;
    const std::string car = dir.put(test::example_image());
    const struct {
        std::vector<std::string> args;
        bool editor;
        std::optional<std::string> compare;
        bool changes;
    } cases[] = {
        {{car}, true, {}, false},
        {{car, "--compare", "ref.txt"}, true, "ref.txt", false},
        {{car, "--changes"}, true, {}, true},
        {{car, "--json"}, false, {}, false},
        {{car, "other.txt"}, false, {}, false},
        {{car + ".missing"}, false, {}, false},
    };
    for (auto c : cases) {
        c.args.insert(c.args.begin(), "ulocfg");
        std::vector<char*> argv;
        for (std::string& a : c.args) argv.push_back(a.data());
        const int argc = static_cast<int>(argv.size());
        std::string path;
        std::optional<std::string> compare;
        bool changes = false;
        EXPECT_EQ(editor_file(argc, argv.data(), path), c.editor) << c.args.back();
        if (!c.editor) continue;
        editor_reference(argc, argv.data(), compare, changes);
        EXPECT_EQ(path, car);
        EXPECT_EQ(compare, c.compare) << c.args.back();
        EXPECT_EQ(changes, c.changes) << c.args.back();
    }
}

// Run in a directory holding ulo.txt (the example image) and a file too short to be an image.
TEST(CommandLine, StatusesOfUsageErrorsAndFileProblemsAndTheDefaultFile) {
    struct Case {
        std::vector<std::string> args;
        int status;
    };
    const Case cases[] = {
        {{"--help"}, status_ok},
        {{"--version"}, status_ok},
        {{"get", "can_id"}, status_ok},
        {{"frobnicate"}, status_usage},
        {{"show", "a", "b"}, status_usage},
        {{"show", "--file", "a", "b"}, status_usage},
        {{"show", "--file"}, status_usage},
        {{"show", "--bogus"}, status_usage},
        {{"get"}, status_usage},
        {{"set", "--file", "x"}, status_usage},
        {{"set", "last_menu"}, status_usage},
        {{"diff", "a"}, status_usage},
        {{"diff", "a", "b", "c"}, status_usage},
        {{"diff", "a", "b", "--file", "c"}, status_usage},
        {{"check", "other.txt"}, status_cannot_open},
        {{"set", "--file", "other.txt", "last_menu=1"}, status_cannot_open},
        {{"set", "--file", "short.txt", "last_menu=1"}, status_incorrect},
        {{"diff", "ulo.txt", "other.txt"}, status_cannot_open},
        {{"diff", "short.txt", "ulo.txt"}, status_incorrect},
        {{"edit", "a", "b"}, status_usage},
        {{"edit", "--bogus"}, status_usage},
        {{"--file"}, status_usage},
        {{"--file", "a", "show"}, status_cannot_open},
    };
    Dir dir;
    dir.put(test::example_image());
    dir.write("ULO EEPROM Memory: 00h", "short.txt");
    const fs::path here = fs::current_path();
    fs::current_path(dir.path);
    std::vector<Result> results;
    for (const Case& c : cases) results.push_back(run(c.args));
    fs::current_path(here);

    for (std::size_t k = 0; k < std::size(cases); ++k) {
        const Result& r = results[k];
        EXPECT_EQ(r.status, cases[k].status) << cases[k].args[0] << " " << r.err;
        if (cases[k].status == status_usage) {
            EXPECT_NE(r.err.find("--help'."), std::string::npos) << r.err;
        }
    }
    EXPECT_EQ(results[2].out, "can_id = 18DAF110\n");
    EXPECT_EQ(results[14].err, "ulocfg: cannot open other.txt: No such file or directory\n");
    EXPECT_FALSE(fs::exists(dir.file("other.txt")));
    for (const char* word : {"show", "get", "set", "diff", "check", "screen", "ulocfg edit [FILE]",
                             "Escape", "Delete", "Dow you want to save the data (Y/N)? "})
        EXPECT_NE(results[0].out.find(word), std::string::npos) << word;
    EXPECT_EQ(results[1].out.rfind("ulocfg ", 0), 0u);
}

// The conventions of git, kubectl and systemctl, run in a directory holding ulo.txt (the
// example image, brightness stored as 55) and b.txt (the same with last_menu 9).
TEST(CommandLine, ConventionsOfOtherCommandLineTools) {
    const std::string try_help = "Try 'ulocfg --help'.\n";
    const struct {
        std::vector<std::string> args;
        int status;
        std::string out; // from the start; the whole of it where `whole`
        std::string err;
        bool whole = true;
    } cases[] = {
        // each command's usage
        {{"show", "--help"}, status_ok, "Usage: ulocfg show [FILE] [--json]\n", "", false},
        {{"-h", "get"}, status_ok, "Usage: ulocfg get NAME...", "", false},
        {{"set", "last_menu=1", "-h"}, status_ok, "Usage: ulocfg set NAME=VALUE...", "", false},
        {{"help", "apply"}, status_ok, "Usage: ulocfg apply PARAMFILE", "", false},
        {{"help"}, status_ok, "Usage: ulocfg ", "", false},
        {{"help", "shwo"},
         status_usage,
         "",
         "ulocfg: unknown command shwo; did you mean show?\n" + try_help},
        // --file and -f anywhere, once
        {{"-f", "b.txt", "get", "last_menu"}, status_ok, "last_menu = 9\n", ""},
        {{"get", "--file", "b.txt", "last_menu"}, status_ok, "last_menu = 9\n", ""},
        {{"get", "last_menu", "--file=b.txt"}, status_ok, "last_menu = 9\n", ""},
        {{"--file", "b.txt", "show"}, status_ok, "last_menu = 9\n", "", false},
        {{"-f", "b.txt", "get", "last_menu", "-f", "ulo.txt"},
         status_usage,
         "",
         "ulocfg: --file is given twice\nTry 'ulocfg get --help'.\n"},
        {{"--file=b.txt", "--file", "b.txt"},
         status_usage,
         "",
         "ulocfg: --file is given twice\n" + try_help},
        {{"show", "-f"},
         status_usage,
         "",
         "ulocfg: -f needs a file name\nTry 'ulocfg show --help'.\n"},
        // suggestions
        {{"shwo"},
         status_usage,
         "",
         "ulocfg: unknown command shwo; did you mean show?\n" + try_help},
        {{"frobnicate"}, status_usage, "", "ulocfg: unknown command frobnicate\n" + try_help},
        {{"show", "--jsno"},
         status_usage,
         "",
         "ulocfg: unknown option --jsno; did you mean --json?\nTry 'ulocfg show --help'.\n"},
        {{"set", "-force", "last_menu=1"},
         status_usage,
         "",
         "ulocfg: unknown option -force; did you mean --force?\nTry 'ulocfg set --help'.\n"},
        {{"get", "wheel[3].nmae"},
         status_rejected,
         "",
         "ulocfg: cannot get wheel[3].nmae: wheel[3].nmae is not a parameter; did you mean "
         "wheel[3].name?\n"},
        {{"set", "wheel[3].nmae=x"},
         status_rejected,
         "",
         "ulocfg: wheel[3].nmae=x is rejected: wheel[3].nmae is not a parameter; did you mean "
         "wheel[3].name?\n"},
        {{"get", "ramp[2].tiem", "Contrast", "whel[3]"},
         status_rejected,
         "",
         "ulocfg: cannot get ramp[2].tiem: ramp[2].tiem is not a parameter; did you mean "
         "ramp[2].time?\n"
         "ulocfg: cannot get Contrast: Contrast is not a parameter; did you mean contrast?\n"
         "ulocfg: cannot get whel[3]: whel[3] is not a parameter; did you mean wheel[3]?\n"},
        {{"xet", "last_menu=1"},
         status_usage,
         "",
         "ulocfg: unknown command xet; did you mean get or set?\n" + try_help},
        // the version
        {{"--version"}, status_ok, "ulocfg ", "", false},
        {{"-V"}, status_ok, "ulocfg ", "", false},
        {{"version"}, status_ok, "ulocfg ", "", false},
        // bare values
        {{"get", "--value", "brightness", "wheel[1].name", "max_poti_speed", "can_id"},
         status_ok,
         "100 (stored 55)\n\"60-2 Crank      \"\n6000\n18DAF110\n",
         ""},
        {{"get", "ramp[1]", "--value"}, status_ok, "2.50\n1000\n", ""},
        {{"get", "--value", "--json", "last_menu"},
         status_usage,
         "",
         "ulocfg: get takes --value or --json, not both\nTry 'ulocfg get --help'.\n"},
        {{"show", "--value"},
         status_usage,
         "",
         "ulocfg: show has no --value\nTry 'ulocfg show --help'.\n"},
        // the system's reason
        {{"show", "missing.txt"},
         status_cannot_open,
         "",
         "ulocfg: cannot open missing.txt: No such file or directory\n"},
        {{"get", "-f", ".", "last_menu"},
         status_cannot_open,
         "",
         "ulocfg: cannot open .: Is a directory\n"},
        {{"apply", "missing.params"},
         status_cannot_open,
         "",
         "ulocfg: cannot open missing.params: No such file or directory\n"},
    };
    Dir dir;
    Wert image = test::example_image();
    put(image, ParamId::brightness, 0, 55);
    dir.put(image);
    put(image, ParamId::last_menu, 0, 9);
    dir.put(image, "b.txt");
    const fs::path here = fs::current_path();
    fs::current_path(dir.path);
    std::vector<Result> results;
    for (const auto& c : cases) results.push_back(run(c.args));
    fs::current_path(here);

    std::set<std::string> versions;
    for (std::size_t k = 0; k < std::size(cases); ++k) {
        const auto& c = cases[k];
        const Result& r = results[k];
        std::string what;
        for (const std::string& a : c.args) what += a + " ";
        EXPECT_EQ(r.status, c.status) << what;
        EXPECT_EQ(c.whole ? r.out : r.out.substr(0, c.out.size()), c.out) << what;
        EXPECT_EQ(r.err, c.err) << what;
        if (c.out == "ulocfg ") versions.insert(r.out);
    }
    EXPECT_EQ(versions.size(), 1u) << "--version, -V and version say the same";
}

// The overview stays short; every usage fits a terminal of 80 columns.
TEST(CommandLine, HelpFitsEightyColumns) {
    std::vector<std::string> texts = {usage_text()};
    for (const char* c :
         {"edit", "show", "get", "set", "apply", "diff", "check", "screen", "help", "version"}) {
        texts.push_back(command_usage(c));
        EXPECT_NE(texts.back(), "") << c;
    }
    EXPECT_LE(lines(texts[0]).size(), 40u);
    for (const std::string& text : texts)
        for (const std::string& line : lines(text)) EXPECT_LE(line.size(), 80u) << line;
}

// ---- "did you mean" ------------------------------------------------------------------------

// The whole table of the edit distance: letters added, dropped, changed, neighbours swapped.
unsigned full_distance(const std::string& a, const std::string& b) {
    std::vector<std::vector<unsigned>> d(a.size() + 1, std::vector<unsigned>(b.size() + 1));
    for (std::size_t i = 0; i <= a.size(); ++i)
        for (std::size_t j = 0; j <= b.size(); ++j) {
            if (i == 0 || j == 0) {
                d[i][j] = static_cast<unsigned>(i + j);
                continue;
            }
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1,
                                d[i - 1][j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1)});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    return d[a.size()][b.size()];
}

// Bounded, the distance is the whole table's up to the bound and bound + 1 beyond it.
TEST(Suggest, TheBoundedDistanceIsTheWholeTablesUpToItsBound) {
    std::mt19937 random(7);
    const auto text = [&] {
        std::string t(random() % 13, ' ');
        for (char& c : t) c = "abc"[random() % 3];
        return t;
    };
    for (int k = 0; k < 20000; ++k) {
        const std::string a = text(), b = text();
        const unsigned bound = random() % 5;
        ASSERT_EQ(edit_distance(a, b, bound), std::min(full_distance(a, b), bound + 1))
            << a << " " << b << " " << bound;
    }
}

// A name is suggested up to 3 edits away, so never for a name 4 letters longer than them all.
TEST(Suggest, NamesUpToThreeEditsAwayAndNoneForLongerNames) {
    const std::string huge(100000, 'w');
    const std::pair<std::string, std::string> cases[] = {
        {"wheel[25].write_protectionxyz", "; did you mean wheel[25].write_protection?"},
        {"xwheel[25].write_protectionxy", "; did you mean wheel[25].write_protection?"},
        {"wheel[25].write_protectionwxyz", "."},
        {"wheel[25].write_protectio", "; did you mean wheel[25].write_protection?"},
        {"ramp[2].tmie", "; did you mean ramp[2].time?"},
        {"lastmenu", "; did you mean last_menu?"},
        {"sow", "."},
        {huge, "."},
        {huge + "wheel[1].name", "."},
    };
    Dir dir;
    const std::string image = dir.put(test::example_image());
    for (const auto& [name, end] : cases) {
        const Result r = run({"get", "-f", image, name});
        EXPECT_EQ(r.status, status_rejected);
        EXPECT_EQ(r.err,
                  "ulocfg: cannot get " + name + ": " + name + " is not a parameter" + end + "\n")
            << name.substr(0, 40);
    }
}

// Arguments reach standard error with their control bytes as show writes them in a name, so
// that none can command the terminal; the other bytes stay as they are.
TEST(CommandLine, MessagesQuoteTheControlBytesOfArguments) {
    Dir dir;
    const std::string image = dir.put(test::example_image());
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"set", "-f", image, "x\x1B[2J=1"},
         "ulocfg: x\\x1B[2J=1 is rejected: x\\x1B[2J is not a parameter.\n"},
        {{"set", "-f", image, "last_menu=\x1B]0;X\a"},
         "ulocfg: last_menu=\\x1B]0;X\\x07 is rejected: last_menu takes a whole number.\n"},
        {{"set", "\x7F"}, "ulocfg: \\x7F: set takes NAME=VALUE\nTry 'ulocfg set --help'.\n"},
        {{"get", "-f", image, "a\tb\nc", "größe"},
         "ulocfg: cannot get a\\x09b\\x0Ac: a\\x09b\\x0Ac is not a parameter.\n"
         "ulocfg: cannot get größe: größe is not a parameter.\n"},
        {{"check", "--x\x1B"}, "ulocfg: unknown option --x\\x1B\nTry 'ulocfg check --help'.\n"},
        {{"q\x1B"}, "ulocfg: unknown command q\\x1B\nTry 'ulocfg --help'.\n"},
    };
    for (const auto& [args, err] : cases) EXPECT_EQ(run(args).err, err) << args[0];
}

} // namespace
} // namespace ulo
