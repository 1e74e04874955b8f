// The named parameters of the command line: every value of the image by its short name, in
// the screen's units, with the range the editor's field for it can produce.
//
// A parameter is one entry of a plain table (name, unit, id, group); reading, formatting,
// parsing, range and writing are switches on the id, with the wheel configuration or ramp
// point as an argument. Addresses come from the image's accessors, limits from the editor.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "eeprom/image.hpp"

namespace ulo {

// In the order of the screen: general settings, one wheel configuration, the ramp, the CAN id.
enum class ParamId {
    last_menu, edit_mode_bit, brightness, contrast, wheel_select, tdc_cyl, max_poti_speed,
    vss_pulses_per_km, vss_pulse_width, aux_speed_pulses, aux_speed_pulse_width, lis_inversion,
    lis_lower_threshold, lis_upper_threshold, kickdown_threshold, first_high_frequency,
    second_high_frequency,
    write_protection, name, cylinders, tdc_width, cam_inversion, crank_flag, crank_pulses,
    crank_width, crank_offset, gap_phase, gap_pulses, gap_count, cam_pulses, cam_width,
    cam_offset, sync_phase, sync_pulses,
    ramp_points, ramp_time, ramp_speed,
    can_id,
};

enum class Group {
    single,     // one value in the image
    wheel,      // one per wheel configuration, wheel[1] to wheel[25]
    ramp_point, // one per ramp point, ramp[1] to ramp[99]
};

struct Param {
    const char* name; // the short name; within a wheel or ramp point, the part after the dot
    const char* unit; // the screen's unit, "" where the screen shows none
    ParamId id;
    Group group;
};

const Param& param(ParamId id);

// One value: a parameter and, for wheel and ramp parameters, which one (the configuration
// n = 0..24 or the ramp point r = 1..99; 0 for the others).
struct Item {
    ParamId id;
    unsigned index = 0;
    bool operator==(const Item&) const = default;
};

// A value as the image keeps it: the stored number (byte or pair; -8..7 or -128..127 for the
// signed pulse counts; the CAN id as one number), or the 16 bytes of a wheel name.
struct Value {
    long long n = 0;
    std::string name;
    bool operator==(const Value&) const = default;
};

// "vss_pulses_per_km", "wheel[3].crank_offset" (configuration n = 2), "ramp[2].time".
std::string item_name(Item item);
// The item a name gives, or false; `why` then says what is wrong with the name.
bool parse_item(std::string_view text, Item& item, std::string& why);

// What `show` lists: every parameter, the wheel configurations 1 to 25, the ramp points in use
// (up to the 99 the tables hold).
std::vector<Item> shown_items(const Wert& wert);
// Every parameter the image holds, all 99 ramp points included.
std::vector<Item> every_item();

Value read_value(const Wert& wert, Item item);
// Stores the value; bits and bytes that belong to other parameters stay.
void write_value(Wert& wert, Item item, const Value& value);

// The value as the screen would show it, with the unit; " (stored N)" follows where the
// screen shows several stored values alike, so that the text always gives back the value.
std::string format_value(Item item, const Value& value);
// "name = value unit", a line of `show`.
std::string show_line(const Wert& wert, Item item);

// Reads a value in the form format_value writes (the unit and the "(stored N)" part may be
// left out). Checks the syntax only; `why` says what is wrong.
bool parse_value(Item item, std::string_view text, Value& value, std::string& why);

// Whether the editor's field can produce the value in this image (tdc_cyl depends on the
// selected configuration's cylinders, the offsets on the pulse counts).
bool in_range(const Wert& wert, Item item, const Value& value);
// The values in_range accepts, in words: "2401..50000", "0 or 31..20000 Hz".
std::string allowed(const Wert& wert, Item item);
// Items whose range in_range reads from the image.
bool depends_on(const Wert& wert, Item dependent, Item base);

// Characters the wheel name field can store.
bool name_storable(unsigned char c);

// The bits of an address that belong to some parameter.
unsigned known_bits(unsigned address);

// One bit field of the image: `count` bytes from `address`, of each the bits in `mask`.
struct Span {
    unsigned address, count, mask;
};
Span span(Item item);

} // namespace ulo
