// Rules of fields 38-41: the CAN identifier, one byte per field, typed in hexadecimal.
#include "editor/can.hpp"

#include "editor/editor.hpp"

namespace ulo {

namespace {

constexpr Moves can_moves[] = {
    // field, Enter, Up, Down, Left, Right, Home, End
    {38, 39, 16, 0, no_move, 39, 0, 18, moves},
    {39, 40, 16, 0, 38, 40, 0, 18, moves},
    {40, 41, 16, 0, 39, 41, 0, 18, moves},
    {41, 18, 16, 0, 40, 18, 0, 18, moves},
};

// The screen shows the most significant byte first: field 38 edits byte 3 (address 1539),
// field 41 byte 0 (address 1536).
unsigned can_byte_of_field(int field) { return static_cast<unsigned>(41 - field); }

// The value of a hexadecimal digit key, either case, or -1 for any other key.
int hex_digit(int k) {
    if (k >= '0' && k <= '9') return k - '0';
    if (k >= 'a' && k <= 'f') return k - 'a' + 10;
    if (k >= 'A' && k <= 'F') return k - 'A' + 10;
    return -1;
}

void can_digit(Editor& ed, Wert& w, unsigned k, unsigned h) {
    const unsigned b = can_byte(w, k);
    if (ed.start != 0)
        set_can_byte(w, k, h);
    else if (b * can_digit_base + h <= can_byte_max)
        set_can_byte(w, k, b * can_digit_base + h);
    ed.start = 0;
}

} // namespace

void can_rule(Editor& ed, Wert& wert) {
    const Moves* row = find_moves(can_moves, ed.mode);
    if (row == nullptr) return;
    const int target = move_target(*row, ed.letter);
    if (target != no_move) {
        go_to(ed, *row, target);
        return;
    }
    const unsigned k = can_byte_of_field(ed.mode);
    if (const int h = hex_digit(ed.letter); h >= 0) {
        can_digit(ed, wert, k, static_cast<unsigned>(h));
    } else if (ed.letter == key::del) {
        set_can_byte(wert, k, can_byte(wert, k) / can_digit_base);
        ed.start = 0;
    }
}

} // namespace ulo
