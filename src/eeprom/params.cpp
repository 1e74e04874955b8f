#include "eeprom/params.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cctype>
#include <cstdio>
#include <string_view>
#include <utility>

namespace ulo {

namespace {

constexpr unsigned record = record_address(0, 0); // byte +0 of wheel configuration 1
constexpr unsigned names = name_address(0, 1);   // its name
constexpr unsigned speeds = 510;     // where the speed of ramp point 0 would lie
constexpr unsigned times = 708;      // and its time
constexpr long long rpm = 2;         // speeds are stored doubled
constexpr bool on_end = true;        // the correction is made on Escape and Alt+X as well
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

// The words of the yes/no kinds and the stored values they stand for.
constexpr Words word_table[] = {
    {yes_no,   "yes",  "no",   1,   0},
    {on_off,   "on",   "off",  0,   1},  // the bit set means editing is not protected
    {norm_inv, "norm", "inv",  0,   1},  // any value but 0 is inverted
    {high_low, "high", "low",  100, 50}, // only exactly 100 is high
};
// clang-format on

constexpr bool table_in_id_order() {
    for (std::size_t k = 0; k < std::size(table); ++k)
        if (static_cast<std::size_t>(table[k].id) != k) return false;
    return true;
}
static_assert(table_in_id_order(), "param(id) indexes the table by id");

std::string decimal(long long v) { return std::to_string(v); }

// A stored count of tenths or hundredths as the screen prints it: 1234 tenths is "123.4".
std::string fixed(long long v, int decimals) {
    const long long scale = decimals == 1 ? 10 : 100;
    char text[32];
    std::snprintf(text, sizeof text, "%lld.%0*lld", v / scale, decimals, v % scale);
    return text;
}

// Digits only, at most nine of them (every value of the image fits).
bool parse_digits(std::string_view s, long long& v) {
    if (s.empty() || s.size() > 9) return false;
    v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    return true;
}

bool parse_signed(std::string_view s, long long& v) {
    bool negative = false;
    if (!s.empty() && (s.front() == '-' || s.front() == '+')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    if (!parse_digits(s, v)) return false;
    if (negative) v = -v;
    return true;
}

// "12", "12.5", "12.50": a number with a decimal point, in units of 10^-decimals. Further
// decimals are accepted only as zeros, so nothing is rounded away.
bool parse_fixed(std::string_view s, int decimals, long long& v) {
    const std::size_t point = s.find('.');
    std::string_view whole = s.substr(0, point);
    std::string_view fraction = point == std::string_view::npos ? "" : s.substr(point + 1);
    if (point != std::string_view::npos && fraction.empty()) return false;
    if (!parse_digits(whole, v)) return false;
    for (int k = 0; k < decimals; ++k) {
        const auto at = static_cast<std::size_t>(k);
        const char c = at < fraction.size() ? fraction[at] : '0';
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    for (std::size_t k = static_cast<std::size_t>(decimals); k < fraction.size(); ++k)
        if (fraction[k] != '0') return false;
    return true;
}

bool parse_hex(std::string_view s, long long& v) {
    if (s.empty() || s.size() > 8) return false;
    v = 0;
    for (char c : s) {
        int d;
        if (c >= '0' && c <= '9') d = c - '0';
        else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
        else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
        else return false;
        v = v * 16 + d;
    }
    return true;
}

// The bytes that cannot stand for themselves written as \xNN: those below 32 and 127, which
// would command a terminal, and for a wheel name (`name`) also those above 127 and the quote
// and backslash as \" \\, so that a name from any file is one readable line.
std::string escaped(std::string_view text, bool name) {
    std::string s;
    for (unsigned char c : text) {
        if (name && (c == '"' || c == '\\')) {
            s += '\\';
            s += static_cast<char>(c);
        } else if (c >= 32 && c != 127 && (c < 128 || !name)) {
            s += static_cast<char>(c);
        } else {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\x%02X", c);
            s += esc;
        }
    }
    return s;
}

// The name between double quotes, escaped as above.
std::string quoted(const std::string& text) { return "\"" + escaped(text, true) + "\""; }

bool unquote(std::string_view s, std::string& text) {
    if (s.size() < 2 || s.back() != '"') return false;
    s = s.substr(1, s.size() - 2);
    text.clear();
    for (std::size_t k = 0; k < s.size(); ++k) {
        const char c = s[k];
        if (c == '"') return false;
        if (c != '\\') {
            text += c;
            continue;
        }
        const std::string_view escape = s.substr(k + 1);
        long long v;
        if (!escape.empty() && (escape[0] == '"' || escape[0] == '\\')) {
            text += escape[0];
            k += 1;
        } else if (escape.size() >= 3 && escape[0] == 'x' && parse_hex(escape.substr(1, 2), v)) {
            text += static_cast<char>(v);
            k += 3;
        } else {
            return false;
        }
    }
    return true;
}

bool between(long long v, long long low, long long high) { return v >= low && v <= high; }

// Whole degrees arise from a number typed before the digit that passes 12.5 degrees: 12
// (followed by 6..9) is the least such number, 125 the greatest.
constexpr unsigned cam_width_degrees_min = cam_width_tenths_max / 10;

// A stored value in the screen's unit, as allowed() writes the ends of a range.
std::string shown_text(const Param& p, long long v) {
    switch (p.shown) {
    case tenths: return fixed(v, 1);
    case hundredths: return fixed(v, 2);
    default: return decimal(shown_number(p, v));
    }
}

std::string with_unit(std::string text, const Param& p) {
    return *p.unit ? text + " " + p.unit : text;
}

std::string storable_list() {
    std::string s = "letters, digits, space, ";
    for (unsigned c = 33; c < 127; ++c)
        if (name_storable(static_cast<unsigned char>(c)) && !std::isalnum(static_cast<int>(c)))
            s += static_cast<char>(c);
    return s;
}

// What the visible text, without unit, stands for; `why` says what the text should be.
bool parse_visible(const Param& p, std::string_view s, Value& v, std::string& why) {
    long long x = 0;
    bool ok = true;
    if (const Words* w = words(p.shown)) {
        ok = s == w->first || s == w->second;
        v.n = s == w->first ? w->first_value : w->second_value;
        why = std::string("takes ") + w->first + " or " + w->second;
        return ok;
    }
    switch (p.shown) {
    case percent20:
        ok = parse_digits(s, x) && x % 20 == 0;
        v.n = x / 20 * brightness_step;
        why = "takes a percentage in steps of 20: 0, 20, 40, 60, 80 or 100";
        break;
    case config_number:
        ok = parse_digits(s, x);
        v.n = x - 1;
        why = "takes the configuration number as shown, 1..25";
        break;
    case doubled:
        ok = parse_digits(s, x);
        v.n = rpm * x;
        why = "takes a whole number of rpm";
        break;
    case Shown::text:
        if (!s.empty() && s.front() == '"') {
            ok = unquote(s, v.name);
            why = "takes a name in double quotes (\\\" \\\\ \\xNN inside)";
        } else {
            v.name = std::string(s);
        }
        if (ok && v.name.size() > wheel_name_length) {
            ok = false;
            why = "takes at most 16 characters";
        }
        v.name.resize(wheel_name_length, ' ');
        break;
    case tenths:
        ok = parse_fixed(s, 1, v.n);
        why = "takes degrees with at most one decimal";
        break;
    case Shown::cam_forms:
        // The decimal point tells the form: 3.0 is tenths, 13 whole degrees.
        if (s.find('.') != std::string_view::npos) {
            ok = parse_fixed(s, 1, v.n);
        } else {
            ok = parse_digits(s, x);
            v.n = cam_width_degrees_bit + x;
        }
        why = "takes degrees with one decimal (tenths form) or whole degrees without a point";
        break;
    case hundredths:
        ok = parse_fixed(s, 2, v.n);
        why = "takes seconds with at most two decimals";
        break;
    case hex:
        ok = parse_hex(s, v.n);
        why = "takes up to 8 hexadecimal digits";
        break;
    default:
        ok = p.is_signed ? parse_signed(s, v.n) : parse_digits(s, v.n);
        why = p.is_signed ? "takes a whole number, - for fewer pulses" : "takes a whole number";
        break;
    }
    return ok;
}

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

std::string printable(std::string_view text) { return escaped(text, false); }

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

const Param& param(ParamId id) { return table[static_cast<std::size_t>(id)]; }

std::span<const Param> params() { return table; }

const Param* field_param(int field) {
    if (field >= 38 && field <= 41) return &param(can_id);
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
    assert(p.shown != Shown::text);
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
    assert(p.shown != Shown::text);
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

const Words* words(Shown shown) {
    for (const Words& w : word_table)
        if (w.shown == shown) return &w;
    return nullptr;
}

bool shows_first(const Words& w, long long v) {
    return v == w.first_value || (w.second_value == 0 && v != 0);
}

long long shown_number(const Param& p, long long v) {
    switch (p.shown) {
    case doubled: return v >> 1;
    case percent20: return v / brightness_step * 20;
    case config_number: return std::min(v, static_cast<long long>(wheel_count - 1)) + 1;
    case Shown::cam_forms:
        if (cam_width_in_degrees(static_cast<unsigned>(v)))
            return cam_width_degrees(static_cast<unsigned>(v));
        return v;
    default: return v;
    }
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
    case wheel: return "wheel[" + decimal(item.index + 1) + "]." + p.name;
    case ramp_point: return "ramp[" + decimal(item.index) + "]." + p.name;
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

std::string visible(Item item, const Value& v) {
    const Param& p = param(item.id);
    if (const Words* w = words(p.shown)) return shows_first(*w, v.n) ? w->first : w->second;
    switch (p.shown) {
    case Shown::text: return quoted(v.name);
    case tenths: return fixed(v.n, 1);
    case hundredths: return fixed(v.n, 2);
    case Shown::cam_forms:
        return cam_width_in_degrees(static_cast<unsigned>(v.n)) ? decimal(shown_number(p, v.n))
                                                                 : fixed(v.n, 1);
    case hex: {
        char text[16];
        std::snprintf(text, sizeof text, "%08llX", v.n);
        return text;
    }
    default: return decimal(shown_number(p, v.n));
    }
}

namespace {

// " (stored N)" where the screen shows several stored values alike (brightness 50 and 55 both
// 100 %), unless the value is the one the shown text stands for; "" otherwise.
std::string stored_part(Item item, const Value& v) {
    Value back;
    std::string why;
    if (item.id != ParamId::name && parse_visible(param(item.id), visible(item, v), back, why) &&
        back.n != v.n)
        return " (stored " + decimal(v.n) + ")";
    return "";
}

} // namespace

std::string format_value(Item item, const Value& v) {
    return with_unit(visible(item, v), param(item.id)) + stored_part(item, v);
}

std::string bare_value(Item item, const Value& v) { return visible(item, v) + stored_part(item, v); }

std::string show_line(const Wert& w, Item item) {
    return item_name(item) + " = " + format_value(item, read_value(w, item));
}

bool parse_value(Item item, std::string_view text, Value& v, std::string& why) {
    const Param& p = param(item.id);
    std::string_view s = trim(text);
    // Nothing after the = is most likely a shell variable that was not set: even a name is
    // blanked only by "" given as such.
    if (s.empty()) {
        why = item.id == ParamId::name ? "has no value (\"\" blanks the name)" : "has no value";
        return false;
    }
    if (item.id == ParamId::name) return parse_visible(p, s, v, why);

    long long stored = 0;
    bool has_stored = false;
    constexpr std::string_view stored_word = "(stored ";
    if (!s.empty() && s.back() == ')') {
        const std::size_t open = s.rfind(stored_word);
        if (open == std::string_view::npos ||
            !parse_digits(s.substr(open + stored_word.size(),
                                   s.size() - 1 - open - stored_word.size()),
                          stored)) {
            why = "ends in something other than (stored N)";
            return false;
        }
        has_stored = true;
        s = trim(s.substr(0, open));
    }
    const std::string_view unit = p.unit;
    if (!unit.empty() && s.size() >= unit.size() && s.substr(s.size() - unit.size()) == unit)
        s = trim(s.substr(0, s.size() - unit.size()));
    if (!parse_visible(p, s, v, why)) return false;
    if (has_stored) {
        // The stored value must be one the screen shows as the value given.
        const std::string shown = visible(item, Value{stored, {}});
        if (shown != visible(item, v)) {
            why = "has stored " + decimal(stored) + ", which shows as " + with_unit(shown, p);
            return false;
        }
        v.n = stored;
    }
    return true;
}

bool in_range(Item item, const Value& v) {
    const Param& p = param(item.id);
    if (const Words* w = words(p.shown)) return v.n == w->first_value || v.n == w->second_value;
    switch (p.shown) {
    case Shown::text:
        return v.name.size() == wheel_name_length &&
               std::all_of(v.name.begin(), v.name.end(),
                           [](char c) { return name_storable(static_cast<unsigned char>(c)); });
    case percent20:
        // a digit stores 5 x d, the steps move by 10 and Delete keeps the tens
        return between(v.n, p.low, p.high) && v.n % brightness_step <= brightness_per_digit;
    case doubled: return between(v.n, p.low, p.high) && v.n % rpm == 0;
    case Shown::cam_forms:
        return between(v.n, p.leave_min, cam_width_tenths_max) ||
               between(v.n, cam_width_degrees_bit + cam_width_degrees_min,
                       cam_width_degrees_bit + cam_width_tenths_max);
    default: break;
    }
    if (!between(v.n, p.low, p.high)) return false;
    if (!p.leave_on_end || v.n >= p.leave_min) return true;
    return p.leave == off_below && v.n == 0;
}

bool fits(Item item, const Value& v) {
    Wert scratch{};
    write_value(scratch, item, v);
    return read_value(scratch, item) == v;
}

std::string allowed(Item item) {
    const Param& p = param(item.id);
    if (const Words* w = words(p.shown)) return std::string(w->first) + " or " + w->second;
    switch (p.shown) {
    case percent20:
        return "0..100 % in steps of 20 (stored 0..55, last digit 0..5)";
    case Shown::text: return "16 characters: " + storable_list();
    case Shown::cam_forms:
        return fixed(p.leave_min, 1) + ".." + fixed(cam_width_tenths_max, 1) + " deg, or " +
               decimal(cam_width_degrees_min) + ".." + decimal(cam_width_tenths_max) +
               " whole degrees (no decimal point)";
    case hex: return "00000000..FFFFFFFF";
    default: break;
    }
    const long long low = p.leave_on_end && p.leave == raise ? p.leave_min : p.low;
    const long long from = p.leave_on_end && p.leave == off_below ? p.leave_min : low;
    const std::string range = with_unit(shown_text(p, from) + ".." + shown_text(p, p.high), p);
    return p.leave_on_end && p.leave == off_below ? "0 or " + range : range;
}

std::string conflict(const Wert& w, Item item) {
    if (item.id != tdc_cyl) return "";
    const unsigned n = selected_wheel(w);
    const long long cyl = get(w, cylinders, n);
    if (get(w, tdc_cyl) <= cyl) return "";
    return "the selected configuration, wheel[" + decimal(n + 1) + "], has " + decimal(cyl) +
           " cylinders";
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
