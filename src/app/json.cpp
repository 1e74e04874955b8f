#include "app/json.hpp"

#include <cstdlib>
#include <nlohmann/json.hpp>
#include <ostream>

#include "app/cli.hpp"
#include "app/flow.hpp"
#include "console/console.hpp"

namespace ulo {

namespace {

// Keys in the order written: name, value, unit, stored.
using json = nlohmann::ordered_json;

// A wheel name as UTF-8: the bytes below 128 as they are (the library escapes what JSON
// requires), the others as the code page 437 characters the screen shows.
std::string name_text(const std::string& name) {
    std::string s;
    for (unsigned char c : name) s += c < 128 ? std::string(1, static_cast<char>(c)) : utf8(cp437(c));
    return s;
}

// The value as the screen shows it, without its unit or a "(stored N)": "6.5", "high".
std::string shown(Item item, const Value& v) {
    std::string text = format_value(item, v);
    const std::size_t stored = text.find(" (stored ");
    if (stored != std::string::npos) text.erase(stored);
    const std::string unit = param(item.id).unit;
    if (!unit.empty() && text.size() > unit.size() &&
        text.compare(text.size() - unit.size() - 1, std::string::npos, " " + unit) == 0)
        text.erase(text.size() - unit.size() - 1);
    return text;
}

// How a value is written in JSON: the one place that knows which kind each parameter is.
json json_value(Item item, const Value& v) {
    switch (item.id) {
    case ParamId::name: return name_text(v.name);
    case ParamId::contrast:
    case ParamId::lis_inversion:
    case ParamId::can_id: return shown(item, v);
    case ParamId::edit_mode_bit:
    case ParamId::write_protection:
    case ParamId::cam_inversion:
    case ParamId::crank_flag: {
        const std::string word = shown(item, v);
        return word == "on" || word == "yes";
    }
    default: {
        // Numbers keep the screen's form: 13 (whole degrees) stays an integer, 12.5 and 0.0
        // (tenths) stay decimals.
        const std::string text = shown(item, v);
        if (text.find('.') != std::string::npos) return std::strtod(text.c_str(), nullptr);
        return std::strtoll(text.c_str(), nullptr, 10);
    }
    }
}

json stored(Item item, const Value& v) {
    if (item.id != ParamId::name) return v.n;
    json bytes = json::array();
    for (unsigned char c : v.name) bytes.push_back(c);
    return bytes;
}

json parameter(const Wert& wert, Item item) {
    const Value v = read_value(wert, item);
    return {{"name", item_name(item)},
            {"value", json_value(item, v)},
            {"unit", param(item.id).unit},
            {"stored", stored(item, v)}};
}

void write(std::ostream& out, const json& document) { out << document.dump(2) << "\n"; }

} // namespace

int show_json(const Wert& wert, std::ostream& out) {
    json general = json::array(), wheels = json::array(), ramp = json::array();
    for (Item item : shown_items(wert)) {
        json* group = &general;
        const char* index_key = "";
        unsigned index = item.index;
        switch (param(item.id).group) {
        case Group::single: break;
        case Group::wheel:
            group = &wheels;
            index_key = "wheel";
            ++index; // shown 1..25
            break;
        case Group::ramp_point:
            group = &ramp;
            index_key = "point";
            break;
        }
        if (group == &general) {
            general.push_back(parameter(wert, item));
            continue;
        }
        if (group->empty() || group->back()[index_key] != index)
            group->push_back({{index_key, index}, {"parameters", json::array()}});
        group->back()["parameters"].push_back(parameter(wert, item));
    }
    write(out, {{"general", general}, {"wheels", wheels}, {"ramp", ramp}});
    return status_ok;
}

int get_json(const Wert& wert, const std::vector<Item>& items, std::ostream& out) {
    json parameters = json::array();
    for (Item item : items) parameters.push_back(parameter(wert, item));
    write(out, {{"parameters", parameters}});
    return status_ok;
}

int diff_json(const Wert& a, const Wert& b, std::ostream& out) {
    json differences = json::array();
    for (Item item : every_item()) {
        const Value old_value = read_value(a, item), new_value = read_value(b, item);
        if (old_value == new_value) continue;
        differences.push_back(
            {{"name", item_name(item)},
             {"unit", param(item.id).unit},
             {"old", {{"value", json_value(item, old_value)}, {"stored", stored(item, old_value)}}},
             {"new", {{"value", json_value(item, new_value)}, {"stored", stored(item, new_value)}}}});
    }
    unsigned outside = 0;
    for (unsigned address = 0; address < eeprom_size; ++address)
        if ((a[address] ^ b[address]) & ~known_bits(address)) ++outside;
    write(out, {{"differences", differences}, {"bytes_outside", outside}});
    return differences.empty() && outside == 0 ? status_ok : status_differ;
}

int check_json(const Wert& wert, std::ostream& out) {
    json findings = json::array();
    for (Item item : shown_items(wert)) {
        if (in_range(wert, item, read_value(wert, item))) continue;
        json finding = parameter(wert, item);
        finding["kind"] = "out of range";
        finding["allowed"] = allowed(wert, item);
        finding["message"] = show_line(wert, item) + ": the field takes " + allowed(wert, item);
        findings.push_back(finding);
    }
    write(out, {{"findings", findings}});
    return findings.empty() ? status_ok : status_differ;
}

} // namespace ulo
