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

} // namespace ulo
