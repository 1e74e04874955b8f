// How a value is shown and read: for each way of showing (`Shown`), the stored value as the
// screen's number or word, as the command line's text, as a JSON value, and back from text;
// which values the editor's keys can give and how digits are typed. The only place that tells
// the ways of showing apart; the screen, the editor, the command line and its JSON call it.
#pragma once

#include <string>
#include <string_view>

#include "eeprom/params.hpp"

namespace ulo {

// ---- The screen's number or word ------------------------------------------------------------

// The two words of a yes/no kind of value and the stored values they stand for. A value shows
// the first word when it is `first_value`, or, where `second_value` is 0, when it is anything
// but 0; the second word otherwise.
struct Words {
    Shown shown;
    const char* first;
    const char* second;
    unsigned first_value, second_value;
};
const Words* words(Shown shown);
bool shows_first(const Words& w, long long value);

// The number the screen shows (percent, rpm, configuration number, whole cam degrees), for
// the kinds shown as a whole number; tenths and hundredths as they are stored.
long long shown_number(const Param& p, long long stored);

// `cam_width` up to 125 is in tenths of a degree; above, it is in whole degrees, in bits 0..6,
// with bit 7 set by the editor. Whole degrees arise from a number typed before the digit that
// passes 12.5 degrees: 12 (followed by 6..9) is the least such number, 125 the greatest.
constexpr unsigned cam_width_tenths_max = 125;
constexpr unsigned cam_width_degrees_bit = 0x80;
constexpr unsigned cam_width_degrees_min = cam_width_tenths_max / 10;
constexpr bool cam_width_in_degrees(unsigned b) { return b > cam_width_tenths_max; }
constexpr unsigned cam_width_degrees(unsigned b) { return b & 0x7Fu; }
// The stored byte for a width in whole degrees.
constexpr unsigned cam_width_from_degrees(unsigned degrees) {
    return degrees | cam_width_degrees_bit;
}

// A speed is stored as twice the rpm.
constexpr unsigned stored_per_rpm = 2;

// How digits type the value: in base 16 (the CAN id) or 10, each digit worth `digit_scale`
// stored units (2 for a speed, stored as twice the rpm).
unsigned digit_base(const Param& p);
unsigned digit_scale(const Param& p);

// ---- The command line's text --------------------------------------------------------------

// The value as the screen shows it, without the unit.
std::string visible(Item item, const Value& value);
// The value with its unit; " (stored N)" follows where the screen shows several stored values
// alike, so that the text always gives back the value.
std::string format_value(Item item, const Value& value);
// The same without the unit: "100 (stored 55)", "\"36-1 Crank      \"".
std::string bare_value(Item item, const Value& value);
// The text with every byte below 32 and 127 written as \xNN, as show writes them in a wheel
// name: how a message quotes an argument, a line of a file or a path, so that none of them
// can command the terminal.
std::string printable(std::string_view text);
// The text without the spaces and tabs around it.
std::string_view trim(std::string_view s);
// Digits only, at most nine of them (every value of the image fits).
bool parse_digits(std::string_view s, long long& v);
// Reads a value in the form format_value writes (the unit and the "(stored N)" part may be
// left out). Checks the syntax only; `why` says what is wrong. Nothing but spaces is refused,
// for a name too.
bool parse_value(Item item, std::string_view text, Value& value, std::string& why);

// Whether some sequence of edits in the editor can give the parameter this value, whatever the
// other parameters hold.
bool in_range(Item item, const Value& value);
// Whether the parameter's bits hold the value, so that it reads back as it was written.
bool fits(Item item, const Value& value);
// The values in_range accepts, in words: "2401..50000", "0 or 31..20000 Hz".
std::string allowed(Item item);

// ---- JSON ---------------------------------------------------------------------------------

// A value as a JSON document writes it, in the screen's unit: a whole number (rpm, whole cam
// degrees), a number with decimals (tenths, hundredths), true or false (yes/no, on/off), a
// word or the hexadecimal id as a string, or the wheel name's 16 bytes, to be written as the
// code page 437 characters the screen shows.
struct JsonValue {
    enum class Kind { whole, decimal, truth, word, name };
    Kind kind = Kind::whole;
    long long whole = 0;
    double decimal = 0;
    bool truth = false;
    std::string text; // the word, or the name's bytes
};
JsonValue json_value(Item item, const Value& value);

} // namespace ulo
