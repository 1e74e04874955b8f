// The parameters of the image: one row per parameter saying where it lies, how it is stored,
// how the screen shows it, what typing may make of it and what leaving its field corrects.
// The screen, the editor's fields, the command line and its help read these rows; what is
// really particular to one field stays in that field's rule.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "eeprom/image.hpp"

namespace ulo {

// In the order `show` lists them: general settings, one wheel configuration, the ramp, the CAN
// id. The rows of the table are in this order too.
enum class ParamId {
    last_menu,
    edit_mode_bit,
    brightness,
    contrast,
    wheel_select,
    tdc_cyl,
    max_poti_speed,
    vss_pulses_per_km,
    vss_pulse_width,
    aux_speed_pulses,
    aux_speed_pulse_width,
    lis_inversion,
    lis_lower_threshold,
    lis_upper_threshold,
    kickdown_threshold,
    first_high_frequency,
    second_high_frequency,
    write_protection,
    name,
    cylinders,
    tdc_width,
    cam_inversion,
    crank_flag,
    crank_pulses,
    crank_width,
    crank_offset,
    gap_phase,
    gap_pulses,
    gap_count,
    cam_pulses,
    cam_width,
    cam_offset,
    sync_phase,
    sync_pulses,
    ramp_points,
    ramp_time,
    ramp_speed,
    can_id,
};

enum class Group {
    general,    // one value at a fixed address
    wheel,      // one per wheel configuration, in its record or its name
    ramp_point, // one per ramp point, in the speed or the time table
    can,        // the CAN identifier, least significant byte first
};

// How the screen shows the stored value.
enum class Shown {
    plain,         // the number, signed where the parameter is
    doubled,       // stored as twice the rpm, shown halved
    tenths,        // tenths of a degree, one decimal
    hundredths,    // hundredths of a second, two decimals
    percent20,     // (value div 10) x 20 percent
    config_number, // the configuration n shown as n + 1
    yes_no,        // the word pairs: see `words`
    on_off,
    norm_inv,
    high_low,
    cam_forms, // cam_width's two forms: tenths up to 125, whole degrees in bits 0..6 above
    hex,       // hexadecimal digits
    text,      // a wheel name: 16 characters between double quotes
};

// What a digit does that would take the value past `high`.
enum class Past { clamps, refuses };

// The correction a field makes to its value when the cursor leaves it.
enum class Leave {
    none,
    raise,     // a value below `leave_min` becomes `leave_min` ("never zero" is raise to 1)
    off_below, // a value below `leave_min` becomes 0 (off)
};

struct Param {
    ParamId id;
    const char* name; // the short name; within a wheel or ramp point, the part after the dot
    Group group;
    unsigned address; // general, CAN: the address; wheel: the address in configuration 1, each
                      // further one 16 bytes on; ramp point: where point 0's pair would lie
    unsigned bytes;   // 1, 2 (a pair, low byte first), 4 (the CAN id) or 16 (a name)
    unsigned mask;    // the bits of a one-byte parameter: 0xFF for the whole byte
    bool is_signed;   // two's complement within its bits
    Shown shown;
    const char* unit;    // the screen's unit, "" where the screen shows none
    long long low, high; // the values typing keeps to, stored units; high is the largest
                         // value a digit may make
    Past past;
    Leave leave;
    unsigned leave_min;
    bool leave_on_end; // the correction is made on Escape and Alt+X too
    int field;         // the field that edits it; -1 for none
};

const Param& param(ParamId id);
// The row of the parameter a field edits, or nullptr (the ramp point number, field 35). The
// four CAN fields 38..41 all edit can_id.
const Param* field_param(int field);
// Every row, in ParamId order.
std::span<const Param> params();

// ---- Reading and writing by row -----------------------------------------------------------

// Address of the first byte of a parameter: `index` is the configuration n (0..24) for wheel
// parameters, the ramp point r (0..99) for ramp parameters, ignored otherwise.
unsigned param_address(const Param& p, unsigned index);
// The stored value: the bits under the mask shifted down, signed where the parameter is; a
// pair as high x 256 + low; the CAN id as one number. Not for the name.
long long get(const Wert& wert, ParamId id, unsigned index = 0);
// Stores the value in the parameter's bits; every other bit stays.
void put(Wert& wert, ParamId id, unsigned index, long long value);

// The configuration the screen and the editor work on. A file may bring a wheel_select above
// 24; it then reads as 24 (configuration 25), so every record and name address stays within
// the 25 records and names. The stored byte is left as it is until field 4 writes it.
unsigned selected_wheel(const Wert& wert);

// ---- Particulars of some fields ------------------------------------------------------------

// `brightness` is typed as a digit d, worth 5 x d, '1' giving 50 (100 %); Page Up and Page
// Down step it by 10, which the screen shows as 20 %.
constexpr unsigned brightness_full = 50;
constexpr unsigned brightness_per_digit = 5;
constexpr unsigned brightness_step = 10;

// Tenths of a degree in one turn: no offset of the first pulse lies beyond one pulse spacing,
// 3600 div the pulse count (a count of 0, which only a file brings, counts as one pulse).
constexpr unsigned full_turn_tenths = 3600;
unsigned offset_cap(unsigned pulses);

// The characters a wheel name holds: letters, digits, space and " !#$%&'()*+,-./:;=?[]^_{}",
// the characters its keys store (the editor's name_character).
bool name_storable(unsigned char c);

// ---- Items: one value of one parameter, by name -----------------------------------------

struct Item {
    ParamId id;
    unsigned index = 0; // configuration n = 0..24, ramp point r = 1..99, else 0
    bool operator==(const Item&) const = default;
};

// A value as the image keeps it: the stored number, or the 16 bytes of a wheel name.
struct Value {
    long long n = 0;
    std::string name;
    bool operator==(const Value&) const = default;
};

// "vss_pulses_per_km", "wheel[3].crank_offset" (configuration n = 2), "ramp[2].time".
std::string item_name(Item item);
// The item a name gives, or false; `why` then says what is wrong, as the end of a sentence
// ("is not a parameter").
bool parse_item(std::string_view text, Item& item, std::string& why);

// What `show` lists: every parameter, the wheel configurations 1 to 25, the ramp points in use
// (up to the 99 the tables hold).
std::vector<Item> shown_items(const Wert& wert);
// Every parameter the image holds, all 99 ramp points included.
std::vector<Item> every_item();

Value read_value(const Wert& wert, Item item);
void write_value(Wert& wert, Item item, const Value& value);

// "name = value unit", a line of `show`.
std::string show_line(const Wert& wert, Item item);
// Where the value contradicts another parameter of the image (a TDC cylinder beyond the
// selected configuration's cylinders): what is wrong, in words; "" where nothing is.
std::string conflict(const Wert& wert, Item item);

// One bit field of the image: `count` bytes from `address`, of each the bits in `mask`.
struct Span {
    unsigned address, count, mask;
};
Span span(Item item);
// The bits of an address that belong to some parameter.
unsigned known_bits(unsigned address);
// How many bytes of two images differ in bits that belong to no parameter.
unsigned bytes_outside_differing(const Wert& a, const Wert& b);

} // namespace ulo

// How values are shown and read: every user of the table reaches the value codec through here.
#include "eeprom/values.hpp"
