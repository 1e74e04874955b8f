// The field editor: one cycle per key — draw the screen, highlight the current field, read a
// key code, apply the current field's rule. A cycle that finds no key waits: the run goes on
// with it once the terminal has queued one.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "console/console.hpp"
#include "console/keycodes.hpp"
#include "eeprom/image.hpp"
#include "eeprom/params.hpp"

namespace ulo {

// The fields, 0..41, by the parameter each edits (its short name in the parameter table, which
// names the same field number in its field column). The numbers are the editor's own: the
// field cursor holds them, and the moves tables lead from one to another by them.
namespace field {
constexpr int last_menu = 0;
constexpr int edit_mode_bit = 1;
constexpr int brightness = 2;
constexpr int contrast = 3;
constexpr int wheel_select = 4;
constexpr int name = 5; // the wheel name, typed at a cursor of its own
constexpr int tdc_cyl = 6;
constexpr int max_poti_speed = 7;
constexpr int ramp_points = 8;
constexpr int vss_pulses_per_km = 9;
constexpr int vss_pulse_width = 10;
constexpr int aux_speed_pulses = 11;
constexpr int aux_speed_pulse_width = 12;
constexpr int lis_inversion = 13;
constexpr int lis_lower_threshold = 14;
constexpr int lis_upper_threshold = 15;
constexpr int kickdown_threshold = 16;
constexpr int first_high_frequency = 17;
constexpr int second_high_frequency = 18;
constexpr int write_protection = 19;
constexpr int cylinders = 20;
constexpr int tdc_width = 21;
constexpr int crank_pulses = 22;
constexpr int crank_width = 23;
constexpr int crank_offset = 24;
constexpr int gap_phase = 25;
constexpr int gap_count = 26;
constexpr int gap_pulses = 27;
constexpr int cam_pulses = 28;
constexpr int cam_width = 29;
constexpr int cam_offset = 30;
constexpr int sync_phase = 31;
constexpr int sync_pulses = 32;
constexpr int cam_inversion = 33;
constexpr int crank_flag = 34;
constexpr int ramp_point = 35; // the number of the ramp point on the screen, no parameter
constexpr int ramp_time = 36;
constexpr int ramp_speed = 37;
constexpr int can_id_1 = 38; // the CAN id, one byte per field: the most significant (1539)
constexpr int can_id_2 = 39;
constexpr int can_id_3 = 40;
constexpr int can_id_4 = 41; // the least significant (1536)
} // namespace field
constexpr int field_count = 42;

// What the editing is compared with: another image (--compare), or the file as it was loaded
// (--changes). The values that differ from it are marked, F5 takes its value for the current
// field, F6 and Shift+F6 go to the next and the previous field whose value differs.
struct Reference {
    Wert wert{};
    std::string name; // the file's name as given, in code page 437
};

struct Editor {
    int mode = field::last_menu; // the field cursor, 0..41
    int start = 1;               // fresh-entry flag; in the wheel name the name cursor 1..16
    int letter = 0;              // the key code of the current cycle
    unsigned ramp = 1;           // the ramp point on the screen, 1..99 (0 only while it is typed)
    bool drawn = false; // this cycle's screen and highlight are drawn; it waits for its key
    std::optional<Reference> reference{}; // none: nothing is compared, F5 and F6 do nothing
};

// One row of a moves table: the field each cursor key leads to, `no_move` where the key is
// ignored. `sets_flag` tells whether the keys move (set the fresh-entry flag) or only go.
constexpr int no_move = -1;
struct Moves {
    int field;
    int enter, up, down, left, right, home, end;
    bool sets_flag;
};
constexpr bool moves = true;
constexpr bool goes = false;

// The row of `field` in a table, or nullptr.
const Moves* find_moves(const Moves* table, std::size_t count, int field);
template <std::size_t N> const Moves* find_moves(const Moves (&table)[N], int field) {
    return find_moves(table, N, field);
}
// Where `key` leads from this row: a field number, or no_move for a key the row ignores and
// for keys that are not cursor keys.
int move_target(const Moves& row, int key);
// Carries out a move to `target` as the row says: the field cursor changes, and the fresh-entry
// flag is set if the row's keys move.
void go_to(Editor& ed, const Moves& row, int target);

// How a field takes a number typed digit by digit: a fresh entry replaces the value, a digit
// appends to it, one that would pass `max` clamps the value to it or is refused, Delete drops
// the last digit. Values are stored; a typed digit is worth `scale` stored units.
struct Typing {
    long long max;
    unsigned base = 10; // 16: the CAN bytes, typed in hexadecimal
    unsigned scale = 1; // 2: speeds, stored as twice the rpm
    bool refuses = false;
};
Typing typing(const Param& p);
// The value after the key in `ed.letter`; digits and Delete clear the fresh-entry flag.
long long type_number(Editor& ed, long long stored, const Typing& t);

// The configuration (wheel parameters) or ramp point (ramp parameters) a field works on.
unsigned field_index(const Editor& ed, const Wert& wert, const Param& p);

// What every field does before its own rule: on a cursor key that leaves it, or on Escape and
// Alt+X, its leave correction; on a cursor key, the move. Returns true when the key is left to
// the field's own rule.
bool leave_or_move(Editor& ed, Wert& wert, const Moves* row);
// What a cursor key that leaves the current field corrects before it moves: the field's leave
// correction, and on the ramp point's number a point 0 becomes 1.
void leave(Editor& ed, Wert& wert);
void leave_ramp_point(Editor& ed);
// The address of the CAN id's byte that field `f` (can_id_1..can_id_4) edits.
unsigned can_byte_address(int f);
// The rule of a field without particulars: a yes/no kind of value toggles on Space, Page Up and
// Page Down; a number is typed as its parameter says.
void plain_key(Editor& ed, Wert& wert);

// The help for the current field, lines of text for below the screen: its name and range, what
// its keys do and, where the editing has changed it, its value in the file as `loaded`.
std::vector<std::string> field_help(const Editor& ed, const Wert& wert, const Wert& loaded);
// Each group's help for the current field, the lines before the value in the file; each
// group's file holds it beside the group's rule.
std::vector<std::string> general_help(const Editor& ed, const Wert& wert);
std::vector<std::string> wheel_help(const Editor& ed, const Wert& wert);
std::vector<std::string> ramp_help(const Editor& ed, const Wert& wert);
std::vector<std::string> can_help(const Editor& ed, const Wert& wert);
// What the groups' help shares: a stored value of the parameter as the screen shows it; what
// the keys of a field without particulars do, from its row; the help of a field as its name
// and the values it takes, over what its keys do.
std::string help_number(const Param& p, long long stored);
std::string plain_keys(const Param& p);
std::vector<std::string> help_lines(const Editor& ed, const Wert& wert, const Param& p,
                                    const std::string& keys);

// The four groups of fields: each group's file holds their rules and their help.
enum class FieldGroup { none, general, wheel, ramp, can };
FieldGroup field_group(int field);

// The rule of the current field for the key code in `ed.letter`.
void apply_rule(Editor& ed, Wert& wert);
// The four groups of rules.
void general_rule(Editor& ed, Wert& wert); // fields 0-3, 6, 7, 9-18
void wheel_rule(Editor& ed, Wert& wert);   // fields 4, 5, 19-34
void ramp_rule(Editor& ed, Wert& wert);    // fields 8, 35-37
void can_rule(Editor& ed, Wert& wert);     // fields 38-41

// Writes the current field's value again at its place (in the current colour) and leaves the
// console cursor in it.
void highlight(Console& con, const Editor& ed, const Wert& wert);

// The character a key stores in a wheel name, or -1 for a key the name ignores. Every
// character stored is one name_storable takes.
int name_character(int key);
// The keys that type a wheel name over the characters they store, column under column
// ("Space ! $ % & ..." over "space ! $ % / ..."), read from name_character itself; runs of
// letters and digits typed as themselves take one column ("A-Z"), Alt with the digits one.
struct NameKeyRows {
    std::string keys, stores;
};
NameKeyRows name_key_rows();

// ---- Comparing with a reference ---------------------------------------------------------

// Runs the key in `ed.letter` when it is one of the keys that work with the reference, and
// there is one: F5 takes the reference's value into the current field, exactly the bits the
// field edits (one byte of the CAN id, the whole wheel name); F6 and Shift+F6 leave the field
// as a cursor key does and go to the next and the previous field whose value differs, in the
// order of the field numbers and around, the ramp's time and speed point by point. True when it
// has run the key; false leaves it to the field's rule.
bool reference_key(Editor& ed, Wert& wert);
// Whether field `f` differs from the reference, the ramp's fields at ramp point `point`; the
// ramp point's number never does.
bool field_differs(const Editor& ed, const Wert& wert, int f, unsigned point);
// How many parameters differ between two images: every wheel configuration and all 99 ramp
// points counted, the CAN id once.
unsigned differing_parameters(const Wert& a, const Wert& b);
// Right of the title box, columns 64 to 80 of rows 1 to 3: the reference's name, its value of
// the current field as the screen shows it (none with `field` false, at the save question),
// and how many parameters differ ("5 differ").
void reference_box(Console& con, const Editor& ed, const Wert& wert, bool field);
// The help at the save question: how many parameters differ, then each one as
// "name: REF's value -> the value now".
std::vector<std::string> differences_help(const Editor& ed, const Wert& wert);

// Enters the editor: the first field, last_menu, fresh entry, a new cycle.
void enter_editor(Editor& ed);
// Runs the editor's cycles as far as the keys allow. True once a cycle whose key was Escape or
// Alt+X has run; false when the current cycle, drawn, waits for a key (key_ready said none).
bool edit(Console& con, Editor& ed, Wert& wert);

} // namespace ulo
