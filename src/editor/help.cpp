// The help for the current field, shown below the screen where the terminal has the rows: what
// the field holds, the values it takes, what its keys do, and the value in the file where the
// editing has changed it. Each group's file says what its fields' keys do, beside their rules;
// what is common to every field comes from the parameter table, here.
#include <optional>
#include <string>

#include "editor/editor.hpp"

namespace ulo {

std::string help_number(const Param& p, long long stored) {
    return visible({p.id, 0}, {stored, {}});
}

std::string plain_keys(const Param& p) {
    if (const Words* w = words(p.shown))
        return std::string("Space, Page Up or Page Down switch between ") + w->first + " and " +
               w->second;
    std::string keys = "digits type up to " + help_number(p, p.high) +
                       (p.past == Past::refuses ? ", no further" : "") + "; Delete drops one";
    const std::string least = help_number(p, p.leave_min);
    if (p.leave == Leave::raise)
        keys += "; at least " + least + " on leaving" + (p.leave_on_end ? "" : " (not on Escape)");
    if (p.leave == Leave::off_below) keys += "; below " + least + " it is 0 (off) on leaving";
    return keys;
}

std::vector<std::string> help_lines(const Editor& ed, const Wert& wert, const Param& p,
                                    const std::string& keys) {
    const Item item{p.id, field_index(ed, wert, p)};
    return {item_name(item) + ": " + allowed(item), keys};
}

std::vector<std::string> field_help(const Editor& ed, const Wert& wert, const Wert& loaded) {
    std::vector<std::string> lines;
    switch (field_group(ed.mode)) {
    case FieldGroup::general: lines = general_help(ed, wert); break;
    case FieldGroup::wheel: lines = wheel_help(ed, wert); break;
    case FieldGroup::ramp: lines = ramp_help(ed, wert); break;
    case FieldGroup::can: lines = can_help(ed, wert); break;
    case FieldGroup::none: return {};
    }
    const Param* p = field_param(ed.mode);
    if (p == nullptr) return lines; // the ramp point number is no value of the image
    const Item item{p->id, field_index(ed, wert, *p)};
    const Value now = read_value(wert, item), then = read_value(loaded, item);
    // With a reference, its value always; the file's where it says more (with --changes,
    // the reference is the file as loaded).
    const std::optional<Value> in_reference =
        ed.reference ? std::optional(read_value(ed.reference->wert, item)) : std::nullopt;
    if (now != then && then != in_reference)
        lines.push_back("in the file: " + format_value(item, then));
    if (in_reference)
        lines.push_back("in " + ed.reference->name + ": " + format_value(item, *in_reference));
    return lines;
}

} // namespace ulo
