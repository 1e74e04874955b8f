#include "app/params.hpp"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <utility>

#include "editor/can.hpp"
#include "editor/general.hpp"
#include "editor/ramp.hpp"
#include "editor/speed.hpp"
#include "editor/wheel.hpp"

namespace ulo {

// clang-format off
constexpr Param param_table[] = {
    {"last_menu",             "",    ParamId::last_menu,             Group::single},
    {"edit_mode_bit",         "",    ParamId::edit_mode_bit,         Group::single},
    {"brightness",            "%",   ParamId::brightness,            Group::single},
    {"contrast",              "",    ParamId::contrast,              Group::single},
    {"wheel_select",          "",    ParamId::wheel_select,          Group::single},
    {"tdc_cyl",               "",    ParamId::tdc_cyl,               Group::single},
    {"max_poti_speed",        "rpm", ParamId::max_poti_speed,        Group::single},
    {"vss_pulses_per_km",     "",    ParamId::vss_pulses_per_km,     Group::single},
    {"vss_pulse_width",       "ms",  ParamId::vss_pulse_width,       Group::single},
    {"aux_speed_pulses",      "",    ParamId::aux_speed_pulses,      Group::single},
    {"aux_speed_pulse_width", "%",   ParamId::aux_speed_pulse_width, Group::single},
    {"lis_inversion",         "",    ParamId::lis_inversion,         Group::single},
    {"lis_lower_threshold",   "mV",  ParamId::lis_lower_threshold,   Group::single},
    {"lis_upper_threshold",   "mV",  ParamId::lis_upper_threshold,   Group::single},
    {"kickdown_threshold",    "mV",  ParamId::kickdown_threshold,    Group::single},
    {"first_high_frequency",  "Hz",  ParamId::first_high_frequency,  Group::single},
    {"second_high_frequency", "Hz",  ParamId::second_high_frequency, Group::single},
    {"write_protection",      "",    ParamId::write_protection,      Group::wheel},
    {"name",                  "",    ParamId::name,                  Group::wheel},
    {"cylinders",             "",    ParamId::cylinders,             Group::wheel},
    {"tdc_width",             "deg", ParamId::tdc_width,             Group::wheel},
    {"cam_inversion",         "",    ParamId::cam_inversion,         Group::wheel},
    {"crank_flag",            "",    ParamId::crank_flag,            Group::wheel},
    {"crank_pulses",          "",    ParamId::crank_pulses,          Group::wheel},
    {"crank_width",           "deg", ParamId::crank_width,           Group::wheel},
    {"crank_offset",          "deg", ParamId::crank_offset,          Group::wheel},
    {"gap_phase",             "deg", ParamId::gap_phase,             Group::wheel},
    {"gap_pulses",            "",    ParamId::gap_pulses,            Group::wheel},
    {"gap_count",             "",    ParamId::gap_count,             Group::wheel},
    {"cam_pulses",            "",    ParamId::cam_pulses,            Group::wheel},
    {"cam_width",             "deg", ParamId::cam_width,             Group::wheel},
    {"cam_offset",            "deg", ParamId::cam_offset,            Group::wheel},
    {"sync_phase",            "deg", ParamId::sync_phase,            Group::wheel},
    {"sync_pulses",           "",    ParamId::sync_pulses,           Group::wheel},
    {"ramp_points",           "",    ParamId::ramp_points,           Group::single},
    {"time",                  "s",   ParamId::ramp_time,             Group::ramp_point},
    {"speed",                 "rpm", ParamId::ramp_speed,            Group::ramp_point},
    {"can_id",                "",    ParamId::can_id,                Group::single},
};
// clang-format on

constexpr bool table_in_id_order() {
    for (std::size_t k = 0; k < std::size(param_table); ++k)
        if (static_cast<std::size_t>(param_table[k].id) != k) return false;
    return true;
}
static_assert(table_in_id_order(), "param(id) indexes the table by id");


const Param& param(ParamId id) { return param_table[static_cast<std::size_t>(id)]; }

namespace {

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

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
        char c = k < static_cast<int>(fraction.size()) ? fraction[static_cast<std::size_t>(k)] : '0';
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

// The name between double quotes; a quote, a backslash and any byte outside printable ASCII
// are written as \" \\ \xNN, so that a name from any file is one readable line.
std::string quoted(const std::string& name) {
    std::string s = "\"";
    for (unsigned char c : name) {
        if (c == '"' || c == '\\') {
            s += '\\';
            s += static_cast<char>(c);
        } else if (c >= 32 && c < 127) {
            s += static_cast<char>(c);
        } else {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\x%02X", c);
            s += esc;
        }
    }
    return s + "\"";
}

bool unquote(std::string_view s, std::string& name) {
    if (s.size() < 2 || s.back() != '"') return false;
    s = s.substr(1, s.size() - 2);
    name.clear();
    for (std::size_t k = 0; k < s.size(); ++k) {
        const char c = s[k];
        if (c == '"') return false;
        if (c != '\\') {
            name += c;
            continue;
        }
        const std::string_view escape = s.substr(k + 1);
        long long v;
        if (!escape.empty() && (escape[0] == '"' || escape[0] == '\\')) {
            name += escape[0];
            k += 1;
        } else if (escape.size() >= 3 && escape[0] == 'x' && parse_hex(escape.substr(1, 2), v)) {
            name += static_cast<char>(v);
            k += 3;
        } else {
            return false;
        }
    }
    return true;
}

// The percentage one step of brightness shows.
constexpr unsigned brightness_step_percent = brightness_percent(brightness_step);

// The value as the screen shows it, without unit.
std::string visible(Item item, const Value& v) {
    switch (item.id) {
    case ParamId::edit_mode_bit: return v.n ? "off" : "on";
    case ParamId::brightness: return decimal(brightness_percent(static_cast<unsigned>(v.n)));
    case ParamId::contrast: return contrast_high(static_cast<unsigned>(v.n)) ? "high" : "low";
    case ParamId::wheel_select: return decimal(v.n + 1);
    case ParamId::max_poti_speed:
    case ParamId::ramp_speed: return decimal(halved(static_cast<unsigned>(v.n)));
    case ParamId::lis_inversion: return v.n == lis_inversion_normal ? "norm" : "inv";
    case ParamId::write_protection:
    case ParamId::cam_inversion:
    case ParamId::crank_flag: return v.n ? "yes" : "no";
    case ParamId::name: return quoted(v.name);
    case ParamId::crank_width:
    case ParamId::crank_offset:
    case ParamId::gap_phase:
    case ParamId::cam_offset:
    case ParamId::sync_phase: return fixed(v.n, 1);
    case ParamId::cam_width: {
        const auto b = static_cast<unsigned>(v.n);
        return cam_width_in_degrees(b) ? decimal(cam_width_degrees(b)) : fixed(v.n, 1);
    }
    case ParamId::ramp_time: return fixed(v.n, 2);
    case ParamId::can_id: {
        char text[16];
        std::snprintf(text, sizeof text, "%08llX", v.n);
        return text;
    }
    default: return decimal(v.n); // counts, numbers and signed pulse counts as they stand
    }
}

bool word(std::string_view s, const char* yes, const char* no, long long& v) {
    if (s == yes) v = 1;
    else if (s == no) v = 0;
    else return false;
    return true;
}

// What the visible text, without unit, stands for. The syntax of each kind of value is told
// in `why` when the text does not fit it.
bool parse_visible(Item item, std::string_view s, Value& v, std::string& why) {
    long long x = 0;
    bool ok = true;
    switch (item.id) {
    case ParamId::edit_mode_bit:
        ok = word(s, "off", "on", v.n);
        why = "takes on or off";
        break;
    case ParamId::brightness:
        ok = parse_digits(s, x) && x % brightness_step_percent == 0;
        v.n = x / brightness_step_percent * brightness_step;
        why = "takes a percentage in steps of 20: 0, 20, 40, 60, 80 or 100";
        break;
    case ParamId::contrast:
        ok = s == "high" || s == "low";
        v.n = s == "high" ? contrast_high_value : contrast_low_value;
        why = "takes high or low";
        break;
    case ParamId::wheel_select:
        ok = parse_digits(s, x);
        v.n = x - 1;
        why = "takes the configuration number as shown, 1..25";
        break;
    case ParamId::max_poti_speed:
    case ParamId::ramp_speed:
        ok = parse_digits(s, x);
        v.n = 2 * x;
        why = "takes a whole number of rpm";
        break;
    case ParamId::lis_inversion:
        ok = s == "norm" || s == "inv";
        v.n = s == "norm" ? lis_inversion_normal : lis_inversion_inverted;
        why = "takes norm or inv";
        break;
    case ParamId::write_protection:
    case ParamId::cam_inversion:
    case ParamId::crank_flag:
        ok = word(s, "yes", "no", v.n);
        why = "takes yes or no";
        break;
    case ParamId::name:
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
    case ParamId::crank_width:
    case ParamId::crank_offset:
    case ParamId::gap_phase:
    case ParamId::cam_offset:
    case ParamId::sync_phase:
        ok = parse_fixed(s, 1, v.n);
        why = "takes degrees with at most one decimal";
        break;
    case ParamId::cam_width:
        // The decimal point tells the form: 3.0 is tenths, 13 whole degrees.
        if (s.find('.') != std::string_view::npos) {
            ok = parse_fixed(s, 1, v.n);
        } else {
            ok = parse_digits(s, x);
            v.n = cam_width_degrees_bit + x;
        }
        why = "takes degrees with one decimal (tenths form) or whole degrees without a point";
        break;
    case ParamId::gap_pulses:
    case ParamId::sync_pulses:
        ok = parse_signed(s, v.n);
        why = "takes a whole number, - for fewer pulses";
        break;
    case ParamId::ramp_time:
        ok = parse_fixed(s, 2, v.n);
        why = "takes seconds with at most two decimals";
        break;
    case ParamId::can_id:
        ok = parse_hex(s, v.n);
        why = "takes up to 8 hexadecimal digits";
        break;
    default:
        ok = parse_digits(s, v.n);
        why = "takes a whole number";
        break;
    }
    return ok;
}

bool between(long long v, long long low, long long high) { return v >= low && v <= high; }

std::string range_text(long long low, long long high, const char* unit) {
    std::string s = decimal(low) + ".." + decimal(high);
    return *unit ? s + " " + unit : s;
}

std::string storable_list() {
    std::string s = "letters, digits, space and ";
    for (unsigned c = 33; c < 127; ++c)
        if (name_storable(static_cast<unsigned char>(c)) && !std::isalnum(static_cast<int>(c)))
            s += static_cast<char>(c);
    return s;
}

struct Bounds {
    long long low, high;
};

// The range of the plain numbers, in stored units.
Bounds bounds(const Wert& w, Item item) {
    const unsigned n = item.index;
    switch (item.id) {
    case ParamId::last_menu: return {0, last_menu_max};
    case ParamId::wheel_select: return {0, wheel_select_max};
    case ParamId::tdc_cyl: return {0, std::min(tdc_cyl_max, cylinders(w, selected_wheel(w)))};
    case ParamId::vss_pulses_per_km: return {vss_pulses_per_km_min, vss_pulses_per_km_max};
    case ParamId::vss_pulse_width: return {vss_pulse_width_min, vss_pulse_width_max};
    case ParamId::aux_speed_pulses: return {aux_speed_pulses_min, aux_speed_pulses_max};
    case ParamId::aux_speed_pulse_width: return {0, aux_speed_pulse_width_max};
    case ParamId::lis_lower_threshold: return {0, lis_lower_threshold_max};
    case ParamId::lis_upper_threshold: return {0, lis_upper_threshold_max};
    case ParamId::kickdown_threshold: return {0, kickdown_threshold_max};
    case ParamId::first_high_frequency:
    case ParamId::second_high_frequency: return {high_frequency_min, high_frequency_max};
    case ParamId::cylinders: return {cylinders_min, cylinders_max};
    case ParamId::tdc_width: return {0, tdc_width_max}; // its 0 survives Escape
    case ParamId::crank_pulses: return {wheel_value_min, crank_pulses_max};
    case ParamId::crank_width: return {wheel_value_min, crank_width_max};
    case ParamId::crank_offset: return {0, offset_cap(crank_pulses(w, n))};
    case ParamId::gap_phase:
    case ParamId::sync_phase: return {0, phase_max};
    case ParamId::gap_pulses:
    case ParamId::sync_pulses: return {signed_pulses_min, signed_pulses_max};
    case ParamId::gap_count: return {gap_count_min, gap_count_max};
    case ParamId::cam_pulses: return {wheel_value_min, cam_pulses_max};
    case ParamId::cam_offset: return {0, offset_cap(cam_pulses(w, n))};
    case ParamId::ramp_points: return {ramp_points_min, ramp_points_max};
    case ParamId::ramp_time: return {0, ramp_time_max};
    case ParamId::max_poti_speed:
    case ParamId::ramp_speed: return {0, speed_stored_max};
    case ParamId::can_id: return {0, 0xFFFFFFFFLL};
    default: return {0, 1}; // the flags
    }
}

} // namespace

bool name_storable(unsigned char c) {
    static const std::array<bool, 256> storable = [] {
        std::array<bool, 256> s{};
        // every key code a keyboard can give, the Alt combinations included
        for (int k = 1; k < 512; ++k) {
            const int stored = name_character(k);
            if (stored >= 0 && stored < 256) s[static_cast<std::size_t>(stored)] = true;
        }
        return s;
    }();
    return storable[c];
}

std::string item_name(Item item) {
    const Param& p = param(item.id);
    switch (p.group) {
    case Group::wheel: return "wheel[" + decimal(item.index + 1) + "]." + p.name;
    case Group::ramp_point: return "ramp[" + decimal(item.index) + "]." + p.name;
    case Group::single: break;
    }
    return p.name;
}

bool parse_item(std::string_view text, Item& item, std::string& why) {
    Group group = Group::single;
    long long index = 0;
    std::string_view rest = text;
    for (const auto& [prefix, g] : {std::pair{std::string_view("wheel["), Group::wheel},
                                    std::pair{std::string_view("ramp["), Group::ramp_point}}) {
        if (rest.substr(0, prefix.size()) != prefix) continue;
        rest.remove_prefix(prefix.size());
        const std::size_t close = rest.find("].");
        if (close == std::string_view::npos || !parse_digits(rest.substr(0, close), index)) {
            why = "unknown parameter";
            return false;
        }
        rest.remove_prefix(close + 2);
        group = g;
        if (g == Group::wheel && !between(index, 1, wheel_count)) {
            why = "wheel configurations are numbered 1..25";
            return false;
        }
        if (g == Group::ramp_point && !between(index, 1, ramp_table_points)) {
            why = "ramp points are numbered 1..99";
            return false;
        }
    }
    for (const Param& p : param_table) {
        if (p.group != group || rest != p.name) continue;
        item.id = p.id;
        item.index = static_cast<unsigned>(group == Group::wheel ? index - 1 : index);
        return true;
    }
    why = "unknown parameter";
    return false;
}

namespace {

void add_items(std::vector<Item>& items, unsigned points) {
    for (const Param& p : param_table)
        if (p.group == Group::single && p.id < ParamId::write_protection) items.push_back({p.id, 0});
    for (unsigned n = 0; n < wheel_count; ++n)
        for (const Param& p : param_table)
            if (p.group == Group::wheel) items.push_back({p.id, n});
    items.push_back({ParamId::ramp_points, 0});
    for (unsigned r = 1; r <= points; ++r) {
        items.push_back({ParamId::ramp_time, r});
        items.push_back({ParamId::ramp_speed, r});
    }
    items.push_back({ParamId::can_id, 0});
}

} // namespace

std::vector<Item> shown_items(const Wert& w) {
    std::vector<Item> items;
    add_items(items, std::min(ramp_points(w), ramp_table_points));
    return items;
}

std::vector<Item> every_item() {
    std::vector<Item> items;
    add_items(items, ramp_table_points);
    return items;
}

Value read_value(const Wert& w, Item item) {
    const unsigned n = item.index, r = item.index;
    Value v;
    switch (item.id) {
    case ParamId::last_menu: v.n = last_menu(w); break;
    case ParamId::edit_mode_bit: v.n = edit_mode_bit(w); break;
    case ParamId::brightness: v.n = brightness(w); break;
    case ParamId::contrast: v.n = contrast(w); break;
    case ParamId::wheel_select: v.n = wheel_select(w); break;
    case ParamId::tdc_cyl: v.n = tdc_cyl(w); break;
    case ParamId::max_poti_speed: v.n = max_poti_speed(w); break;
    case ParamId::vss_pulses_per_km: v.n = vss_pulses_per_km(w); break;
    case ParamId::vss_pulse_width: v.n = vss_pulse_width(w); break;
    case ParamId::aux_speed_pulses: v.n = aux_speed_pulses(w); break;
    case ParamId::aux_speed_pulse_width: v.n = aux_speed_pulse_width(w); break;
    case ParamId::lis_inversion: v.n = lis_inversion(w); break;
    case ParamId::lis_lower_threshold: v.n = lis_lower_threshold(w); break;
    case ParamId::lis_upper_threshold: v.n = lis_upper_threshold(w); break;
    case ParamId::kickdown_threshold: v.n = kickdown_threshold(w); break;
    case ParamId::first_high_frequency: v.n = first_high_frequency(w); break;
    case ParamId::second_high_frequency: v.n = second_high_frequency(w); break;
    case ParamId::write_protection: v.n = write_protection(w, n); break;
    case ParamId::name:
        for (unsigned p = 1; p <= wheel_name_length; ++p)
            v.name += static_cast<char>(name_char(w, n, p));
        break;
    case ParamId::cylinders: v.n = cylinders(w, n); break;
    case ParamId::tdc_width: v.n = tdc_width(w, n); break;
    case ParamId::cam_inversion: v.n = cam_inversion(w, n); break;
    case ParamId::crank_flag: v.n = crank_flag(w, n); break;
    case ParamId::crank_pulses: v.n = crank_pulses(w, n); break;
    case ParamId::crank_width: v.n = crank_width(w, n); break;
    case ParamId::crank_offset: v.n = crank_offset(w, n); break;
    case ParamId::gap_phase: v.n = gap_phase(w, n); break;
    case ParamId::gap_pulses: v.n = gap_pulses(w, n); break;
    case ParamId::gap_count: v.n = gap_count(w, n); break;
    case ParamId::cam_pulses: v.n = cam_pulses(w, n); break;
    case ParamId::cam_width: v.n = cam_width(w, n); break;
    case ParamId::cam_offset: v.n = cam_offset(w, n); break;
    case ParamId::sync_phase: v.n = sync_phase(w, n); break;
    case ParamId::sync_pulses: v.n = sync_pulses(w, n); break;
    case ParamId::ramp_points: v.n = ramp_points(w); break;
    case ParamId::ramp_time: v.n = ramp_time(w, r); break;
    case ParamId::ramp_speed: v.n = ramp_speed(w, r); break;
    case ParamId::can_id: v.n = static_cast<long long>(can_id(w)); break;
    }
    return v;
}

void write_value(Wert& w, Item item, const Value& value) {
    const unsigned n = item.index, r = item.index;
    const auto v = static_cast<unsigned>(value.n);
    const auto flag = [&](unsigned bit) {
        if (wheel_flag(w, n, bit) != (v != 0)) toggle_wheel_flag(w, n, bit);
    };
    switch (item.id) {
    case ParamId::last_menu: set_last_menu(w, v); break;
    case ParamId::edit_mode_bit: set_edit_mode_bit(w, v != 0); break;
    case ParamId::brightness: set_brightness(w, v); break;
    case ParamId::contrast: set_contrast(w, v); break;
    case ParamId::wheel_select: set_wheel_select(w, v); break;
    case ParamId::tdc_cyl: set_tdc_cyl(w, v); break;
    case ParamId::max_poti_speed: set_max_poti_speed(w, v); break;
    case ParamId::vss_pulses_per_km: set_vss_pulses_per_km(w, v); break;
    case ParamId::vss_pulse_width: set_vss_pulse_width(w, v); break;
    case ParamId::aux_speed_pulses: set_aux_speed_pulses(w, v); break;
    case ParamId::aux_speed_pulse_width: set_aux_speed_pulse_width(w, v); break;
    case ParamId::lis_inversion: set_lis_inversion(w, v); break;
    case ParamId::lis_lower_threshold: set_lis_lower_threshold(w, v); break;
    case ParamId::lis_upper_threshold: set_lis_upper_threshold(w, v); break;
    case ParamId::kickdown_threshold: set_kickdown_threshold(w, v); break;
    case ParamId::first_high_frequency: set_first_high_frequency(w, v); break;
    case ParamId::second_high_frequency: set_second_high_frequency(w, v); break;
    case ParamId::write_protection: flag(write_protection_bit); break;
    case ParamId::name:
        for (unsigned p = 1; p <= wheel_name_length; ++p)
            set_name_char(w, n, p,
                          p <= value.name.size() ? static_cast<unsigned char>(value.name[p - 1])
                                                 : ' ');
        break;
    case ParamId::cylinders: set_cylinders(w, n, v); break;
    case ParamId::tdc_width: set_tdc_width(w, n, v); break;
    case ParamId::cam_inversion: flag(cam_inversion_bit); break;
    case ParamId::crank_flag: flag(crank_flag_bit); break;
    case ParamId::crank_pulses: set_crank_pulses(w, n, v); break;
    case ParamId::crank_width: set_crank_width(w, n, v); break;
    case ParamId::crank_offset: set_crank_offset(w, n, v); break;
    case ParamId::gap_phase: set_gap_phase(w, n, v); break;
    case ParamId::gap_pulses: set_gap_pulses(w, n, static_cast<int>(value.n)); break;
    case ParamId::gap_count: set_gap_count(w, n, v); break;
    case ParamId::cam_pulses: set_cam_pulses(w, n, v); break;
    case ParamId::cam_width: set_cam_width(w, n, v); break;
    case ParamId::cam_offset: set_cam_offset(w, n, v); break;
    case ParamId::sync_phase: set_sync_phase(w, n, v); break;
    case ParamId::sync_pulses: set_sync_pulses(w, n, static_cast<int>(value.n)); break;
    case ParamId::ramp_points: set_ramp_points(w, v); break;
    case ParamId::ramp_time: set_ramp_time(w, r, v); break;
    case ParamId::ramp_speed: set_ramp_speed(w, r, v); break;
    case ParamId::can_id:
        for (unsigned k = 0; k < 4; ++k) set_can_byte(w, k, v >> (8 * k));
        break;
    }
}

std::string format_value(Item item, const Value& v) {
    const Param& p = param(item.id);
    std::string text = visible(item, v);
    if (*p.unit) text += std::string(" ") + p.unit;
    // Where the screen shows several stored values alike (brightness 50 and 55 both 100 %),
    // the stored one is added, unless it is the one the shown value stands for.
    Value back;
    std::string why;
    if (item.id != ParamId::name && parse_visible(item, visible(item, v), back, why) &&
        back.n != v.n)
        text += " (stored " + decimal(v.n) + ")";
    return text;
}

std::string show_line(const Wert& w, Item item) {
    return item_name(item) + " = " + format_value(item, read_value(w, item));
}

bool parse_value(Item item, std::string_view text, Value& v, std::string& why) {
    std::string_view s = trim(text);
    if (item.id == ParamId::name) return parse_visible(item, s, v, why);

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
    const std::string_view unit = param(item.id).unit;
    if (!unit.empty() && s.size() >= unit.size() && s.substr(s.size() - unit.size()) == unit)
        s = trim(s.substr(0, s.size() - unit.size()));
    if (!parse_visible(item, s, v, why)) return false;
    if (has_stored) {
        // The stored value must be one the screen shows as the value given.
        const std::string shown = visible(item, Value{stored, {}});
        if (shown != visible(item, v)) {
            const std::string_view unit = param(item.id).unit;
            why = "stored " + decimal(stored) + " shows as " + shown +
                  (unit.empty() ? "" : " " + std::string(unit));
            return false;
        }
        v.n = stored;
    }
    return true;
}

bool in_range(const Wert& w, Item item, const Value& v) {
    switch (item.id) {
    case ParamId::brightness:
        return between(v.n, 0, brightness_max) &&
               v.n % brightness_step <= static_cast<long long>(brightness_per_digit);
    case ParamId::contrast: return v.n == contrast_high_value || v.n == contrast_low_value;
    case ParamId::lis_inversion:
        return v.n == lis_inversion_normal || v.n == lis_inversion_inverted;
    case ParamId::max_poti_speed:
    case ParamId::ramp_speed:
        // stored doubled: an odd value is half an rpm no key makes
        return between(v.n, 0, speed_stored_max) && v.n % 2 == 0;
    case ParamId::first_high_frequency:
    case ParamId::second_high_frequency:
        return v.n == 0 || between(v.n, high_frequency_min, high_frequency_max);
    case ParamId::name:
        return v.name.size() == wheel_name_length &&
               std::all_of(v.name.begin(), v.name.end(),
                           [](char c) { return name_storable(static_cast<unsigned char>(c)); });
    case ParamId::cam_width:
        return between(v.n, wheel_value_min, cam_width_tenths_max) ||
               between(v.n, cam_width_degrees_bit + cam_width_degrees_min,
                       cam_width_degrees_bit + cam_width_degrees_max);
    default: {
        const Bounds b = bounds(w, item);
        return between(v.n, b.low, b.high);
    }
    }
}

std::string allowed(const Wert& w, Item item) {
    const Param& p = param(item.id);
    const Bounds b = bounds(w, item);
    switch (item.id) {
    case ParamId::edit_mode_bit: return "on or off";
    case ParamId::brightness:
        return "0..100 % in steps of 20 % (stored at most 5 above a multiple of 10, up to 55)";
    case ParamId::contrast: return "high or low";
    case ParamId::wheel_select: return range_text(1, wheel_count, "");
    case ParamId::tdc_cyl: {
        const unsigned n = selected_wheel(w);
        return range_text(b.low, b.high, "") + " (wheel[" + decimal(n + 1) + "] has " +
               decimal(cylinders(w, n)) + " cylinders)";
    }
    case ParamId::max_poti_speed:
    case ParamId::ramp_speed: return range_text(0, speed_rpm_max, "rpm");
    case ParamId::lis_inversion: return "norm or inv";
    case ParamId::first_high_frequency:
    case ParamId::second_high_frequency:
        return "0 or " + range_text(high_frequency_min, high_frequency_max, "Hz");
    case ParamId::write_protection:
    case ParamId::cam_inversion:
    case ParamId::crank_flag: return "yes or no";
    case ParamId::name: return "16 characters of " + storable_list();
    case ParamId::crank_offset:
    case ParamId::cam_offset: {
        const unsigned pulses = item.id == ParamId::crank_offset ? crank_pulses(w, item.index)
                                                                  : cam_pulses(w, item.index);
        const char* which = item.id == ParamId::crank_offset ? "crank" : "cam";
        return fixed(0, 1) + ".." + fixed(b.high, 1) + " deg (one pulse spacing at " +
               decimal(pulses) + " " + which + " pulses)";
    }
    case ParamId::crank_width:
    case ParamId::gap_phase:
    case ParamId::sync_phase: return fixed(b.low, 1) + ".." + fixed(b.high, 1) + " deg";
    case ParamId::cam_width:
        return fixed(wheel_value_min, 1) + ".." + fixed(cam_width_tenths_max, 1) + " deg, or " +
               range_text(cam_width_degrees_min, cam_width_degrees_max, "deg") +
               " in whole degrees (written without a decimal point)";
    case ParamId::ramp_time: return fixed(0, 2) + ".." + fixed(ramp_time_max, 2) + " s";
    case ParamId::can_id: return "00000000..FFFFFFFF";
    default: return range_text(b.low, b.high, p.unit);
    }
}

bool depends_on(const Wert& w, Item dependent, Item base) {
    switch (dependent.id) {
    case ParamId::tdc_cyl:
        return base.id == ParamId::wheel_select ||
               (base.id == ParamId::cylinders && base.index == selected_wheel(w));
    case ParamId::crank_offset:
        return base.id == ParamId::crank_pulses && base.index == dependent.index;
    case ParamId::cam_offset:
        return base.id == ParamId::cam_pulses && base.index == dependent.index;
    default: return false;
    }
}

Span span(Item item) {
    const unsigned n = item.index, r = item.index;
    const auto record = [n](unsigned offset, unsigned count, unsigned mask = 0xFF) {
        return Span{record_address(n, offset), count, mask};
    };
    switch (item.id) {
    case ParamId::last_menu: return {addr::last_menu, 1, 0xFF};
    case ParamId::edit_mode_bit: return {addr::edit_mode_bit, 1, 0x01};
    case ParamId::brightness: return {addr::brightness, 1, 0xFF};
    case ParamId::contrast: return {addr::contrast, 1, 0xFF};
    case ParamId::wheel_select: return {addr::wheel_select, 1, 0xFF};
    case ParamId::tdc_cyl: return {addr::tdc_cyl, 1, 0xFF};
    case ParamId::max_poti_speed: return {addr::max_poti_speed, 2, 0xFF};
    case ParamId::vss_pulses_per_km: return {addr::vss_pulses_per_km, 2, 0xFF};
    case ParamId::vss_pulse_width: return {addr::vss_pulse_width, 2, 0xFF};
    case ParamId::aux_speed_pulses: return {addr::aux_speed_pulses, 2, 0xFF};
    case ParamId::aux_speed_pulse_width: return {addr::aux_speed_pulse_width, 2, 0xFF};
    case ParamId::lis_inversion: return {addr::lis_inversion, 1, 0xFF};
    case ParamId::lis_lower_threshold: return {addr::lis_lower_threshold, 2, 0xFF};
    case ParamId::lis_upper_threshold: return {addr::lis_upper_threshold, 2, 0xFF};
    case ParamId::kickdown_threshold: return {addr::kickdown_threshold, 2, 0xFF};
    case ParamId::first_high_frequency: return {addr::first_high_frequency, 2, 0xFF};
    case ParamId::second_high_frequency: return {addr::second_high_frequency, 2, 0xFF};
    case ParamId::write_protection: return record(addr::wheel_flags, 1, write_protection_bit);
    case ParamId::name: return {name_address(n, 1), wheel_name_length, 0xFF};
    case ParamId::cylinders: return record(addr::wheel_flags, 1, cylinders_mask);
    case ParamId::tdc_width: return record(addr::tdc_width, 1);
    case ParamId::cam_inversion: return record(addr::wheel_flags, 1, cam_inversion_bit);
    case ParamId::crank_flag: return record(addr::wheel_flags, 1, crank_flag_bit);
    case ParamId::crank_pulses: return record(addr::crank_pulses, 1);
    case ParamId::crank_width: return record(addr::crank_width, 1);
    case ParamId::crank_offset: return record(addr::crank_offset, 2);
    case ParamId::gap_phase: return record(addr::gap_phase, 2);
    case ParamId::gap_pulses: return record(addr::gaps, 1, 0xF0);
    case ParamId::gap_count: return record(addr::gaps, 1, 0x0F);
    case ParamId::cam_pulses: return record(addr::cam_pulses, 1);
    case ParamId::cam_width: return record(addr::cam_width, 1);
    case ParamId::cam_offset: return record(addr::cam_offset, 2);
    case ParamId::sync_phase: return record(addr::sync_phase, 2);
    case ParamId::sync_pulses: return record(addr::sync_pulses, 1);
    case ParamId::ramp_points: return {addr::ramp_points, 1, 0xFF};
    case ParamId::ramp_time: return {ramp_time_address(r), 2, 0xFF};
    case ParamId::ramp_speed: return {ramp_speed_address(r), 2, 0xFF};
    case ParamId::can_id: return {addr::can_id, 4, 0xFF};
    }
    return {0, 0, 0};
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

} // namespace ulo
