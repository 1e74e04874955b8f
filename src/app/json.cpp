#include "app/json.hpp"

#include <nlohmann/json.hpp>
#include <ostream>

#include "app/image_io.hpp"
#include "app/status.hpp"
#include "console/console.hpp"

namespace ulo {

namespace {

// Keys in the order written: name, value, unit, stored.
using json = nlohmann::ordered_json;

// A wheel name as UTF-8: the bytes below 128 as they are (the library escapes what JSON
// requires), the others as the code page 437 characters the screen shows.
std::string name_text(const std::string& name) {
    std::string s;
    for (unsigned char c : name)
        s += c < 128 ? std::string(1, static_cast<char>(c)) : utf8(cp437(c));
    return s;
}

// A value as the codec gives it for JSON: a number in the screen's unit, true or false for
// yes/no and on/off, the words and the hexadecimal id as strings.
json value_json(Item item, const Value& v) {
    const JsonValue j = json_value(item, v);
    switch (j.kind) {
    case JsonValue::Kind::whole: return j.whole;
    case JsonValue::Kind::decimal: return j.decimal;
    case JsonValue::Kind::truth: return j.truth;
    case JsonValue::Kind::word: return j.text;
    case JsonValue::Kind::name: return name_text(j.text);
    }
    return nullptr;
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
            {"value", value_json(item, v)},
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
        case Group::wheel:
            group = &wheels;
            index_key = "wheel";
            ++index; // shown 1..25
            break;
        case Group::ramp_point:
            group = &ramp;
            index_key = "point";
            break;
        default: break;
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
             {"old", {{"value", value_json(item, old_value)}, {"stored", stored(item, old_value)}}},
             {"new",
              {{"value", value_json(item, new_value)}, {"stored", stored(item, new_value)}}}});
    }
    const unsigned outside = bytes_outside_differing(a, b);
    write(out, {{"differences", differences}, {"bytes_outside", outside}});
    return differences.empty() && outside == 0 ? status_ok : status_differ;
}

int check_json(const Wert& wert, std::ostream& out) {
    json findings = json::array();
    bool out_of_range = false;
    for (const Finding& f : check_image(wert)) {
        json finding = parameter(wert, f.item);
        finding["kind"] = f.warning ? "warning" : "out of range";
        if (!f.warning) finding["allowed"] = allowed(f.item);
        finding["message"] = f.text;
        findings.push_back(finding);
        out_of_range = out_of_range || !f.warning;
    }
    write(out, {{"findings", findings}});
    return out_of_range ? status_differ : status_ok;
}

} // namespace ulo
