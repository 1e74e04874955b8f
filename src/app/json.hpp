// --json: show, get, diff and check as one JSON document on standard output, for scripts.
//
// Every parameter is written as one object:
//   {"name": "wheel[1].crank_offset", "value": 6.5, "unit": "deg", "stored": 65}
// "value" is what the screen shows, in its unit: a number, a string (contrast high/low,
// lis_inversion norm/inv, the hexadecimal can_id, a wheel name) or a boolean (yes/no, on/off:
// true for yes and on); "stored" is the number the image keeps (a wheel name's 16 bytes as an
// array of numbers). A wheel name's bytes above 127 are the code page 437 characters the
// screen shows for them.
#pragma once

#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

#include "eeprom/image.hpp"
#include "eeprom/params.hpp"

namespace ulo {

// {"general": [P...], "wheels": [{"wheel": 1, "parameters": [P...]}...],
//  "ramp": [{"point": 1, "parameters": [P time, P speed]}...]}: what show lists.
int show_json(const Wert& wert, std::ostream& out);
// {"parameters": [P...]}, in the order asked.
int get_json(const Wert& wert, const std::vector<Item>& items, std::ostream& out);
// {"differences": [{"name", "unit", "old": {"value", "stored"}, "new": {...}}...],
//  "bytes_outside": N}; status_differ when anything differs.
int diff_json(const Wert& a, const Wert& b, std::ostream& out);
// {"findings": [{"kind": "out of range", "name", "value", "unit", "stored", "allowed",
//  "message"}...]}; status_differ when a value is out of range.
int check_json(const Wert& wert, std::ostream& out);

// apply --json: one parameter of such a document, its "value" as set takes it.
struct JsonEntry {
    std::string text;  // how messages name it: "wheel[1].cylinders = 9", or ".general[3]"
    std::string name;  // the parameter's name
    std::string value; // the value in set's words: "yes", "3.0", "\"36-1 Crank\""
    std::string why;   // why the entry cannot be taken; "" when it can
};
// The parameters of a document show --json or get --json writes, edited or not; false, with
// `why`, for text that is no JSON or no such document. A value is taken as set takes it:
// a string as it is, true and false as yes/on and no/off, a number in the form show --json
// writes for the parameter (as its "stored" number shows, else as `image` holds it), so that
// 3 where it wrote 3.0 is 3.0; "stored" picks one of the stored values the value shows
// alike, as set's " (stored N)" does. A wheel name's characters are those the screen shows.
bool json_entries(std::string_view document, const Wert* image, std::vector<JsonEntry>& entries,
                  std::string& why);

} // namespace ulo
