#include "eeprom/params.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <string_view>
#include <utility>

namespace ulo {

namespace {

constexpr unsigned record = record_address(0, 0); // byte +0 of wheel configuration 1
constexpr unsigned names = name_address(0, 1);    // its name
constexpr unsigned speeds = 510;                  // where the speed of ramp point 0 would lie
constexpr unsigned times = 708;                   // and its time
constexpr long long rpm = stored_per_rpm;
constexpr bool on_end = true; // the correction is made on Escape and Alt+X as well
constexpr bool not_on_end = false;

using enum ParamId;
using enum Group;
using enum Shown;
using enum Past;
using enum Leave;

// clang-format off
constexpr Param table[] = {
//   id                     name                     group      address     bytes mask  signed shown          unit   low  high           past     leave      min   end         field
    {last_menu,             "last_menu",             general,   0,          1,    0xFF, false, plain,         "",    0,   10,            clamps,  none,      0,    not_on_end, 0},
    {edit_mode_bit,         "edit_mode_bit",         general,   7,          1,    0x01, false, on_off,        "",    0,   1,             clamps,  none,      0,    not_on_end, 1},
    {brightness,            "brightness",            general,   1,          1,    0xFF, false, percent20,     "%",   0,   55,            clamps,  none,      0,    not_on_end, 2},
    {contrast,              "contrast",              general,   2,          1,    0xFF, false, high_low,      "",    50,  100,           clamps,  none,      0,    not_on_end, 3},
    {wheel_select,          "wheel_select",          general,   3,          1,    0xFF, false, config_number, "",    0,   wheel_count - 1, clamps, none,    0,    not_on_end, 4},
    {tdc_cyl,               "tdc_cyl",               general,   13,         1,    0xFF, false, plain,         "",    0,   8,             clamps,  none,      0,    not_on_end, 6},
    {max_poti_speed,        "max_poti_speed",        general,   5,          2,    0xFF, false, doubled,       "rpm", 0,   9999 * rpm,    refuses, none,      0,    not_on_end, 7},
    {vss_pulses_per_km,     "vss_pulses_per_km",     general,   32,         2,    0xFF, false, plain,         "",    0,   50000,         clamps,  raise,     2401, on_end,     9},
    {vss_pulse_width,       "vss_pulse_width",       general,   34,         2,    0xFF, false, plain,         "ms",  0,   6700,          clamps,  raise,     670,  on_end,     10},
    {aux_speed_pulses,      "aux_speed_pulses",      general,   36,         2,    0xFF, false, plain,         "",    0,   120,           clamps,  raise,     1,    on_end,     11},
    {aux_speed_pulse_width, "aux_speed_pulse_width", general,   38,         2,    0xFF, false, plain,         "%",   0,   100,           clamps,  none,      0,    not_on_end, 12},
    {lis_inversion,         "lis_inversion",         general,   8,          1,    0xFF, false, norm_inv,      "",    0,   1,             clamps,  none,      0,    not_on_end, 13},
    {lis_lower_threshold,   "lis_lower_threshold",   general,   11,         2,    0xFF, false, plain,         "mV",  0,   5000,          clamps,  none,      0,    not_on_end, 14},
    {lis_upper_threshold,   "lis_upper_threshold",   general,   9,          2,    0xFF, false, plain,         "mV",  0,   5000,          clamps,  none,      0,    not_on_end, 15},
    {kickdown_threshold,    "kickdown_threshold",    general,   14,         2,    0xFF, false, plain,         "mV",  0,   5000,          clamps,  none,      0,    not_on_end, 16},
    {first_high_frequency,  "first_high_frequency",  general,   16,         2,    0xFF, false, plain,         "Hz",  0,   20000,         clamps,  off_below, 31,   on_end,     17},
    {second_high_frequency, "second_high_frequency", general,   18,         2,    0xFF, false, plain,         "Hz",  0,   20000,         clamps,  off_below, 31,   on_end,     18},
    {write_protection,      "write_protection",      wheel,     record + 0, 1,    0x20, false, yes_no,        "",    0,   1,             clamps,  none,      0,    not_on_end, 19},
    {name,                  "name",                  wheel,     names,      16,   0xFF, false, Shown::text,   "",    0,   0,             clamps,  none,      0,    not_on_end, 5},
    {cylinders,             "cylinders",             wheel,     record + 0, 1,    0x1F, false, plain,         "",    2,   8,             clamps,  none,      0,    not_on_end, 20},
    {tdc_width,             "tdc_width",             wheel,     record + 1, 1,    0xFF, false, plain,         "deg", 0,   30,            clamps,  raise,     1,    not_on_end, 21},
    {cam_inversion,         "cam_inversion",         wheel,     record + 0, 1,    0x80, false, yes_no,        "",    0,   1,             clamps,  none,      0,    not_on_end, 33},
    {crank_flag,            "crank_flag",            wheel,     record + 0, 1,    0x40, false, yes_no,        "",    0,   1,             clamps,  none,      0,    not_on_end, 34},
    {crank_pulses,          "crank_pulses",          wheel,     record + 2, 1,    0xFF, false, plain,         "",    0,   120,           clamps,  raise,     1,    on_end,     22},
    {crank_width,           "crank_width",           wheel,     record + 7, 1,    0xFF, false, tenths,        "deg", 0,   99,            clamps,  raise,     1,    on_end,     23},
    {crank_offset,          "crank_offset",          wheel,     record + 3, 2,    0xFF, false, tenths,        "deg", 0,   full_turn_tenths, clamps, none,   0,    not_on_end, 24},
    {gap_phase,             "gap_phase",             wheel,     record + 5, 2,    0xFF, false, tenths,        "deg", 0,   full_turn_tenths - 1, clamps, none, 0, not_on_end, 25},
    {gap_pulses,            "gap_pulses",            wheel,     record + 8, 1,    0xF0, true,  plain,         "",    -3,  1,             clamps,  none,      0,    not_on_end, 27},
    {gap_count,             "gap_count",             wheel,     record + 8, 1,    0x0F, false, plain,         "",    1,   4,             clamps,  none,      0,    not_on_end, 26},
    {cam_pulses,            "cam_pulses",            wheel,     record + 9, 1,    0xFF, false, plain,         "",    0,   60,            clamps,  raise,     1,    on_end,     28},
    {cam_width,             "cam_width",             wheel,     record + 14, 1,   0xFF, false, Shown::cam_forms, "deg", 0, cam_width_tenths_max, clamps, raise, 1, on_end,   29},
    {cam_offset,            "cam_offset",            wheel,     record + 10, 2,   0xFF, false, tenths,        "deg", 0,   full_turn_tenths, clamps, none,   0,    not_on_end, 30},
    {sync_phase,            "sync_phase",            wheel,     record + 12, 2,   0xFF, false, tenths,        "deg", 0,   full_turn_tenths - 1, clamps, none, 0, not_on_end, 31},
    {sync_pulses,           "sync_pulses",           wheel,     record + 15, 1,   0xFF, true,  plain,         "",    -3,  1,             clamps,  none,      0,    not_on_end, 32},
    {ramp_points,           "ramp_points",           general,   4,          1,    0xFF, false, plain,         "",    0,   ramp_table_points, refuses, raise, 2,   on_end,     8},
    {ramp_time,             "time",                  ramp_point, times,     2,    0xFF, false, hundredths,    "s",   0,   9999,          refuses, none,      0,    not_on_end, 36},
    {ramp_speed,            "speed",                 ramp_point, speeds,    2,    0xFF, false, doubled,       "rpm", 0,   9999 * rpm,    refuses, none,      0,    not_on_end, 37},
    {can_id,                "can_id",                can,       1536,       4,    0xFF, false, hex,           "",    0,   0xFFFFFFFF,    refuses, none,      0,    not_on_end, 38},
};
// clang-format on

constexpr bool table_in_id_order() {
    for (std::size_t k = 0; k < std::size(table); ++k)
        if (static_cast<std::size_t>(table[k].id) != k) return false;
    return true;
}
static_assert(table_in_id_order(), "param(id) indexes the table by id");

bool between(long long v, long long low, long long high) { return v >= low && v <= high; }

// Lists items in the order of the screen: each wheel parameter for every configuration, a
// configuration at a time, and each ramp point's time and speed, a point at a time.
void add_items(std::vector<Item>& items, unsigned points) {
    for (const Param& p : table) {
        const bool first_of_group = &p == table || (&p - 1)->group != p.group;
        if (p.group == wheel && first_of_group) {
            for (unsigned n = 0; n < wheel_count; ++n)
                for (const Param& q : table)
                    if (q.group == wheel) items.push_back({q.id, n});
        } else if (p.group == ramp_point && first_of_group) {
            for (unsigned r = 1; r <= points; ++r)
                for (const Param& q : table)
                    if (q.group == ramp_point) items.push_back({q.id, r});
        } else if (p.group == general || p.group == can) {
            items.push_back({p.id, 0});
        }
    }
}

} // namespace

const Param& param(ParamId id) { return table[static_cast<std::size_t>(id)]; }

std::span<const Param> params() { return table; }

const Param* field_param(int field) {
    // The CAN id's row names the field of its first byte; one field for each of its bytes.
    const Param& can = param(can_id);
    if (field >= can.field && field < can.field + static_cast<int>(can.bytes)) return &can;
    for (const Param& p : table)
        if (p.field == field) return &p;
    return nullptr;
}

unsigned param_address(const Param& p, unsigned index) {
    switch (p.group) {
    case wheel: assert(index < wheel_count); return p.address + 16 * index;
    case ramp_point: assert(index <= ramp_table_points); return p.address + 2 * index;
    default: return p.address;
    }
}

long long get(const Wert& w, ParamId id, unsigned index) {
    const Param& p = param(id);
    assert(p.id != ParamId::name);
    const unsigned a = param_address(p, index);
    if (p.bytes > 1) {
        long long v = 0;
        for (unsigned k = p.bytes; k-- > 0;) v = v * 256 + byte(w, a + k);
        return v;
    }
    const unsigned shift = static_cast<unsigned>(std::countr_zero(p.mask));
    const unsigned bits = static_cast<unsigned>(std::popcount(p.mask));
    const long long v = (byte(w, a) & p.mask) >> shift;
    if (p.is_signed && v >= (1LL << (bits - 1))) return v - (1LL << bits);
    return v;
}

void put(Wert& w, ParamId id, unsigned index, long long value) {
    const Param& p = param(id);
    assert(p.id != ParamId::name);
    const unsigned a = param_address(p, index);
    const auto v = static_cast<unsigned long long>(value);
    if (p.bytes > 1) {
        for (unsigned k = 0; k < p.bytes; ++k)
            set_byte(w, a + k, static_cast<unsigned>(v >> (8 * k)));
        return;
    }
    const unsigned shift = static_cast<unsigned>(std::countr_zero(p.mask));
    const unsigned bits = static_cast<unsigned>((v << shift) & p.mask);
    set_byte(w, a, (byte(w, a) & ~p.mask) | bits);
}

unsigned selected_wheel(const Wert& w) {
    const auto n = static_cast<unsigned>(get(w, wheel_select));
    return std::min(n, wheel_count - 1);
}

unsigned offset_cap(unsigned pulses) { return full_turn_tenths / std::max(pulses, 1u); }

bool name_storable(unsigned char c) {
    // Letters, digits and the other characters the keys of a wheel name store.
    constexpr std::string_view others = " !#$%&'()*+,-./:;=?[]^_{}";
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
           others.find(static_cast<char>(c)) != std::string_view::npos;
}

// ---- Items ---------------------------------------------------------------------------------

std::string item_name(Item item) {
    const Param& p = param(item.id);
    switch (p.group) {
    case wheel: return "wheel[" + std::to_string(item.index + 1) + "]." + p.name;
    case ramp_point: return "ramp[" + std::to_string(item.index) + "]." + p.name;
    default: return p.name;
    }
}

bool parse_item(std::string_view text, Item& item, std::string& why) {
    Group group = general;
    long long index = 0;
    std::string_view rest = text;
    why = printable(text) + " is not a parameter";
    for (const auto& [prefix, g] : {std::pair{std::string_view("wheel["), wheel},
                                    std::pair{std::string_view("ramp["), ramp_point}}) {
        if (rest.substr(0, prefix.size()) != prefix) continue;
        rest.remove_prefix(prefix.size());
        const std::size_t close = rest.find("].");
        if (close == std::string_view::npos || !parse_digits(rest.substr(0, close), index))
            return false;
        rest.remove_prefix(close + 2);
        group = g;
        if (g == wheel && !between(index, 1, wheel_count)) {
            why = "wheel configurations are numbered 1..25";
            return false;
        }
        if (g == ramp_point && !between(index, 1, ramp_table_points)) {
            why = "ramp points are numbered 1..99";
            return false;
        }
    }
    for (const Param& p : table) {
        // the CAN id is named as the general settings are, without an index
        const bool named =
            group == general ? p.group == general || p.group == can : p.group == group;
        if (!named || rest != p.name) continue;
        item.id = p.id;
        item.index = static_cast<unsigned>(group == wheel ? index - 1 : index);
        return true;
    }
    return false;
}

std::vector<Item> shown_items(const Wert& w) {
    std::vector<Item> items;
    add_items(items, std::min(static_cast<unsigned>(get(w, ramp_points)), ramp_table_points));
    return items;
}

std::vector<Item> every_item() {
    std::vector<Item> items;
    add_items(items, ramp_table_points);
    return items;
}

Value read_value(const Wert& w, Item item) {
    Value v;
    if (item.id != ParamId::name) {
        v.n = get(w, item.id, item.index);
        return v;
    }
    for (unsigned p = 1; p <= wheel_name_length; ++p)
        v.name += static_cast<char>(name_char(w, item.index, p));
    return v;
}

void write_value(Wert& w, Item item, const Value& value) {
    if (item.id != ParamId::name) {
        put(w, item.id, item.index, value.n);
        return;
    }
    for (unsigned p = 1; p <= wheel_name_length; ++p)
        set_name_char(w, item.index, p,
                      p <= value.name.size() ? static_cast<unsigned char>(value.name[p - 1]) : ' ');
}

std::string show_line(const Wert& w, Item item) {
    return item_name(item) + " = " + format_value(item, read_value(w, item));
}

std::string conflict(const Wert& w, Item item) {
    if (item.id != tdc_cyl) return "";
    const unsigned n = selected_wheel(w);
    const long long cyl = get(w, cylinders, n);
    if (get(w, tdc_cyl) <= cyl) return "";
    return "the selected configuration, wheel[" + std::to_string(n + 1) + "], has " +
           std::to_string(cyl) + " cylinders";
}

Span span(Item item) {
    const Param& p = param(item.id);
    return {param_address(p, item.index), p.bytes, p.mask};
}

unsigned known_bits(unsigned address) {
    static const std::array<std::uint8_t, eeprom_size> known = [] {
        std::array<std::uint8_t, eeprom_size> k{};
        for (Item item : every_item()) {
            const Span s = span(item);
            for (unsigned a = s.address; a < s.address + s.count; ++a)
                k[a] = static_cast<std::uint8_t>(k[a] | s.mask);
        }
        return k;
    }();
    return address < eeprom_size ? known[address] : 0;
}

unsigned bytes_outside_differing(const Wert& a, const Wert& b) {
    unsigned count = 0;
    for (unsigned address = 0; address < eeprom_size; ++address)
        if ((a[address] ^ b[address]) & ~known_bits(address)) ++count;
    return count;
}

} // namespace ulo
