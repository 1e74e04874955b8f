// The help for the current field, shown below the screen where the terminal has the rows: what
// the field holds, the values it takes, what its keys do, and the value in the file where the
// editing has changed it. Everything comes from the parameter table.
#include <string>

#include "editor/editor.hpp"

namespace ulo {

namespace {

std::string number(const Param& p, long long stored) { return visible({p.id, 0}, {stored, {}}); }

// What the keys of a field without particulars do, from its row.
std::string plain_keys(const Param& p) {
    if (const Words* w = words(p.shown))
        return std::string("Space, Page Up or Page Down switch between ") + w->first + " and " +
               w->second;
    std::string keys = "digits type up to " + number(p, p.high) +
                       (p.past == Past::refuses ? ", no further" : "") + "; Delete drops one";
    const std::string least = number(p, p.leave_min);
    if (p.leave == Leave::raise)
        keys += "; at least " + least + " on leaving" + (p.leave_on_end ? "" : " (not on Escape)");
    if (p.leave == Leave::off_below) keys += "; below " + least + " it is 0 (off) on leaving";
    return keys;
}

// What the keys of a field do where its rule has particulars of its own.
std::string field_keys(const Editor& ed, const Wert& w, const Param& p) {
    switch (ed.mode) {
    case 2:
        return "1 gives " + number(p, brightness_full) + " %, 0 and 2..9 give 0.." +
               number(p, 9 * brightness_per_digit) + " %; Page Up and Page Down step by " +
               number(p, brightness_step) + " %";
    case 4:
        return "digits type the configuration, Delete drops one; Page Up and Page Down step";
    case name_field: return "Left, Right, Home, End move; Backspace, Delete remove";
    case 6:
        return "a digit sets it, at most the " +
               std::to_string(get(w, ParamId::cylinders, selected_wheel(w))) +
               " cylinders of the selected configuration";
    case 20: return "a digit " + number(p, p.low) + ".." + number(p, p.high) + " sets it";
    case 24:
    case 30: {
        const auto pulses = get(w, ed.mode == 24 ? ParamId::crank_pulses : ParamId::cam_pulses,
                                selected_wheel(w));
        return "digits type up to one pulse spacing, " +
               number(p, offset_cap(static_cast<unsigned>(pulses))) + " at " +
               std::to_string(pulses) + (pulses == 1 ? " pulse" : " pulses") +
               "; Delete drops one";
    }
    case 26:
        return "a digit " + number(p, p.low) + ".." + number(p, p.high) +
               " sets it; Page Up and Page Down step it";
    case 27:
    case 32:
        return "a digit 0.." + number(p, -p.low) + " sets the count, - its sign; Page Up and "
               "Page Down step it";
    case 29:
        return "digits type tenths up to " + number(p, cam_width_tenths_max) +
               ", past it whole degrees; at least " + number(p, p.leave_min) + " on leaving";
    default: return plain_keys(p);
    }
}

} // namespace

std::vector<std::string> field_help(const Editor& ed, const Wert& wert, const Wert& loaded) {
    if (ed.mode == ramp_point_field) {
        const auto points = get(wert, ParamId::ramp_points);
        return {"ramp point on the screen: " + std::to_string(ed.ramp) + " of " +
                    std::to_string(points) + " in use (the tables hold " +
                    std::to_string(ramp_table_points) + ")",
                "digits pick a point in use; Page Up and Page Down step through all " +
                    std::to_string(ramp_table_points)};
    }
    const Param* p = field_param(ed.mode);
    if (p == nullptr) return {};
    const Item item{p->id, field_index(ed, wert, *p)};
    std::vector<std::string> lines;
    if (p->id == ParamId::can_id) {
        lines.push_back(item_name(item) + " = " + format_value(item, read_value(wert, item)) +
                        ", byte " + std::to_string(ed.mode - can_first_field + 1) + " of 4, 00..FF");
        lines.push_back("hexadecimal digits type the byte (0-9, A-F), Delete drops one");
    } else if (ed.mode == name_field) {
        // The keys of a wheel name store the characters of a German keyboard's keys: the
        // help says what each key stores, from the same rule that stores it.
        const NameKeyRows keys = name_key_rows();
        lines.push_back(item_name(item) + ": 16 characters, typed at the cursor by the keys below");
        lines.push_back("type   " + keys.keys);
        lines.push_back("stores " + keys.stores);
        lines.push_back(field_keys(ed, wert, *p));
    } else {
        lines.push_back(item_name(item) + ": " + allowed(item));
        lines.push_back(field_keys(ed, wert, *p));
    }
    const Value now = read_value(wert, item), then = read_value(loaded, item);
    if (now != then) lines.push_back("in the file: " + format_value(item, then));
    return lines;
}

} // namespace ulo
