#include "eeprom/values.hpp"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace ulo {

namespace {

using enum Shown;
using enum Leave;

// The words of the yes/no kinds and the stored values they stand for.
// clang-format off
constexpr Words word_table[] = {
    {yes_no,   "yes",  "no",   1,   0},
    {on_off,   "on",   "off",  0,   1},  // the bit set means editing is not protected
    {norm_inv, "norm", "inv",  0,   1},  // any value but 0 is inverted
    {high_low, "high", "low",  100, 50}, // only exactly 100 is high
};
// clang-format on

std::string decimal(long long v) { return std::to_string(v); }

// A stored count of tenths or hundredths as the screen prints it: 1234 tenths is "123.4".
std::string fixed(long long v, int decimals) {
    const long long scale = decimals == 1 ? 10 : 100;
    char text[32];
    std::snprintf(text, sizeof text, "%lld.%0*lld", v / scale, decimals, v % scale);
    return text;
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
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else if (c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else
            return false;
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
std::string quoted(const std::string& text) {
    std::string s(1, '"');
    s += escaped(text, true);
    return s += '"';
}

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
        v.n = stored_per_rpm * x;
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
        // The decimal point tells the form: 3.0 is tenths, 13 whole degrees. Tenths end at
        // 12.5: 20.0 would read back as whole degrees.
        why = "takes degrees with one decimal (tenths form) or whole degrees without a point";
        if (s.find('.') != std::string_view::npos) {
            ok = parse_fixed(s, 1, v.n);
            if (ok && v.n > cam_width_tenths_max) {
                ok = false;
                why = "takes " + allowed({p.id, 0});
            }
        } else {
            ok = parse_digits(s, x);
            v.n = cam_width_degrees_bit + x;
        }
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

} // namespace

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

std::string printable(std::string_view text) { return escaped(text, false); }

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

const Words* words(Shown shown) {
    for (const Words& w : word_table)
        if (w.shown == shown) return &w;
    return nullptr;
}

bool shows_first(const Words& w, long long v) {
    return v == w.first_value || (w.second_value == 0 && v != 0);
}

unsigned digit_base(const Param& p) { return p.shown == hex ? 16 : 10; }

unsigned digit_scale(const Param& p) { return p.shown == doubled ? stored_per_rpm : 1; }

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

std::string bare_value(Item item, const Value& v) {
    return visible(item, v) + stored_part(item, v);
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
            !parse_digits(
                s.substr(open + stored_word.size(), s.size() - 1 - open - stored_word.size()),
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
    case doubled: return between(v.n, p.low, p.high) && v.n % stored_per_rpm == 0;
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
    case percent20: return "0..100 % in steps of 20 (stored 0..55, last digit 0..5)";
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
    const std::string range =
        with_unit(visible(item, {from, {}}) + ".." + visible(item, {p.high, {}}), p);
    return p.leave_on_end && p.leave == off_below ? "0 or " + range : range;
}

JsonValue json_value(Item item, const Value& v) {
    using Kind = JsonValue::Kind;
    const Param& p = param(item.id);
    JsonValue j;
    if (p.shown == yes_no || p.shown == on_off) {
        j.kind = Kind::truth;
        j.truth = shows_first(*words(p.shown), v.n);
        return j;
    }
    if (words(p.shown) != nullptr || p.shown == hex) {
        j.kind = Kind::word;
        j.text = visible(item, v);
        return j;
    }
    switch (p.shown) {
    case Shown::text:
        j.kind = Kind::name;
        j.text = v.name;
        break;
    case tenths:
    case hundredths:
        j.kind = Kind::decimal;
        j.decimal = static_cast<double>(v.n) / (p.shown == tenths ? 10 : 100);
        break;
    case cam_forms:
        // whole degrees stay a whole number, tenths have their decimal
        if (cam_width_in_degrees(static_cast<unsigned>(v.n))) {
            j.whole = shown_number(p, v.n);
        } else {
            j.kind = Kind::decimal;
            j.decimal = static_cast<double>(v.n) / 10;
        }
        break;
    default: j.whole = shown_number(p, v.n); break;
    }
    return j;
}

} // namespace ulo
