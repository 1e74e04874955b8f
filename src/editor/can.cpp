// Rules and help of fields 38-41: the CAN identifier, one byte per field, typed in hexadecimal.
#include <string>

#include "editor/editor.hpp"

namespace ulo {

namespace {

// Where the cursor keys lead from each field of this group.
// The field each key leads to is given by its number (editor.hpp names every number).
// clang-format off
constexpr Moves can_moves[] = {
    // field          Enter  Up  Down     Left  Right  Home  End   flag
    {field::can_id_1,    39, 16,    0, no_move,    39,    0,  18, moves},
    {field::can_id_2,    40, 16,    0,      38,    40,    0,  18, moves},
    {field::can_id_3,    41, 16,    0,      39,    41,    0,  18, moves},
    {field::can_id_4,    18, 16,    0,      40,    18,    0,  18, moves},
};
// clang-format on

} // namespace

// The screen shows the most significant byte first: can_id_1 edits the byte at 1539, can_id_4
// the one at 1536. Each byte takes any value 00..FF, so the identifier is not held to 29 bits.
unsigned can_byte_address(int f) {
    return param_address(param(ParamId::can_id), 0) + static_cast<unsigned>(field::can_id_4 - f);
}

void can_rule(Editor& ed, Wert& wert) {
    if (!leave_or_move(ed, wert, find_moves(can_moves, ed.mode))) return;
    Typing t = typing(param(ParamId::can_id));
    t.max = 0xFF;
    const unsigned a = can_byte_address(ed.mode);
    set_byte(wert, a, static_cast<unsigned>(type_number(ed, byte(wert, a), t)));
}

std::vector<std::string> can_help(const Editor& ed, const Wert& wert) {
    const Item item{ParamId::can_id};
    return {item_name(item) + " = " + format_value(item, read_value(wert, item)) + ", byte " +
                std::to_string(ed.mode - field::can_id_1 + 1) + " of 4, 00..FF",
            "hexadecimal digits type the byte (0-9, A-F), Delete drops one"};
}

} // namespace ulo
