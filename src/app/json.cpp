#include "app/json.hpp"

#include <charconv>
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

// ---- apply --json ---------------------------------------------------------------------------

// A wheel name's bytes from the characters the screen shows for them, as name_text writes
// them; false for a character the screen has none for.
bool name_bytes(std::string_view text, std::string& bytes) {
    bytes.clear();
    while (!text.empty()) {
        const auto first = static_cast<unsigned char>(text.front());
        if (first < 128) {
            bytes += text.front();
            text.remove_prefix(1);
            continue;
        }
        unsigned c = 128;
        for (; c < 256; ++c) {
            const std::string glyph = utf8(cp437(static_cast<unsigned char>(c)));
            if (text.starts_with(glyph)) {
                text.remove_prefix(glyph.size());
                break;
            }
        }
        if (c == 256) return false;
        bytes += static_cast<char>(c);
    }
    return true;
}

// A JSON number as set's text. A whole number takes the form show --json wrote for the
// parameter (`decimal`: 3 where it wrote 3.0 is 3.0, as jq writes 3.0); a number with a
// decimal point keeps it where set takes it so (5.0 for a cam width is tenths), and an
// integral one goes without it where set takes only a whole number (60.0 is 60).
std::string number_text(Item item, const json& number, bool decimal) {
    if (!number.is_number_float()) return number.dump() + (decimal ? ".0" : "");
    char digits[512];
    const auto end = std::to_chars(digits, digits + sizeof digits, number.get<double>(),
                                   std::chars_format::fixed);
    const std::string text(digits, end.ptr); // the shortest that reads back as the same number
    if (text.find('.') != std::string::npos) return text;
    Value v;
    std::string why;
    return parse_value(item, text + ".0", v, why) ? text + ".0" : text;
}

const char* type_words(const json& value) {
    switch (value.type()) {
    case json::value_t::null: return "null";
    case json::value_t::boolean: return value.get<bool>() ? "true" : "false";
    case json::value_t::string: return "a string";
    case json::value_t::array: return "an array";
    case json::value_t::object: return "an object";
    default: return "a number";
    }
}

// One entry, at `where` in the document (".wheels[0].parameters[2]").
JsonEntry entry(const json& e, const std::string& where, const Wert* image) {
    JsonEntry out;
    out.text = where;
    if (!e.is_object() || !e.contains("name") || !e["name"].is_string() || !e.contains("value")) {
        out.why = "an entry is an object with a \"name\" and a \"value\"";
        return out;
    }
    out.name = e["name"].get<std::string>();
    const json& value = e["value"];
    out.text = out.name + " = " + value.dump(-1, ' ', false, json::error_handler_t::replace);
    Item item{};
    std::string why;
    if (!parse_item(out.name, item, why)) return out; // set's judging names it

    // The stored number show --json wrote beside the value tells the form it wrote the value
    // in; without one, the value the image holds does. No parameter stores more than 32 bits.
    constexpr long long widest = 0xFFFFFFFF;
    const json* stored = e.contains("stored") && e["stored"].is_number_integer() &&
                                 e["stored"] >= -widest && e["stored"] <= widest
                             ? &e["stored"]
                             : nullptr;
    Value reference{};
    if (stored != nullptr)
        reference.n = stored->get<long long>();
    else if (image != nullptr)
        reference = read_value(*image, item);
    const JsonValue::Kind kind = json_value(item, reference).kind;
    const bool number = kind == JsonValue::Kind::whole || kind == JsonValue::Kind::decimal;
    const bool truth = kind == JsonValue::Kind::truth;

    if (value.is_string() && item.id == ParamId::name) {
        std::string bytes;
        if (!name_bytes(value.get<std::string>(), bytes)) {
            out.why = out.name + " takes the characters the screen shows (code page 437)";
            return out;
        }
        out.value = bare_value(item, Value{0, bytes});
        return out;
    }
    if (value.is_string()) {
        out.value = value.get<std::string>();
    } else if (value.is_boolean() && truth) {
        const Words& w = *words(param(item.id).shown);
        out.value = value.get<bool>() ? w.first : w.second;
    } else if (value.is_number() && number) {
        out.value = number_text(item, value, kind == JsonValue::Kind::decimal);
    } else {
        out.why = out.name + " takes " +
                  (number  ? "a number or a string"
                   : truth ? "true, false or a string"
                           : "a string") +
                  ", not " + type_words(value);
        return out;
    }
    // The stored number is taken where the screen shows it as the value: a value left as it
    // was keeps its stored number, as show's " (stored N)" does.
    if (stored != nullptr && item.id != ParamId::name) {
        const std::string with_stored = out.value + " (stored " + stored->dump() + ")";
        Value v;
        if (parse_value(item, with_stored, v, why)) out.value = with_stored;
    }
    return out;
}

// The entries of an array of them, at `where` (".general").
bool entries_of(const json& list, const std::string& where, const Wert* image,
                std::vector<JsonEntry>& entries, std::string& why) {
    if (!list.is_array()) {
        why = where + " is not an array";
        return false;
    }
    for (std::size_t k = 0; k < list.size(); ++k)
        entries.push_back(entry(list[k], where + "[" + std::to_string(k) + "]", image));
    return true;
}

} // namespace

bool json_entries(std::string_view document, const Wert* image, std::vector<JsonEntry>& entries,
                  std::string& why) {
    json doc;
    try {
        doc = json::parse(document);
    } catch (const json::parse_error& e) {
        // "[json.exception.parse_error.101] parse error at line 1, column 1: ..."
        const std::string what = e.what();
        why = "it is not JSON: " + printable(what.substr(what.find("] ") + 2));
        return false;
    }
    if (!doc.is_object()) {
        why = "it is not an object as show --json writes";
        return false;
    }
    for (const auto& [key, part] : doc.items()) {
        if (key == "general" || key == "parameters") {
            if (!entries_of(part, "." + key, image, entries, why)) return false;
            continue;
        }
        if (key != "wheels" && key != "ramp") {
            why = "\"" + printable(key) +
                  "\" is no part of what show --json writes (general, wheels, ramp)";
            return false;
        }
        if (!part.is_array()) {
            why = "." + key + " is not an array";
            return false;
        }
        for (std::size_t k = 0; k < part.size(); ++k) {
            const std::string at = "." + key + "[" + std::to_string(k) + "]";
            if (!part[k].is_object() || !part[k].contains("parameters")) {
                why = at + " has no \"parameters\"";
                return false;
            }
            if (!entries_of(part[k]["parameters"], at + ".parameters", image, entries, why))
                return false;
        }
    }
    return true;
}

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
