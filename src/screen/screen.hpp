// The parameter screen: every label and value of the image, rows 5 to 25, in light grey.
#pragma once

#include <optional>
#include <string>

#include "console/console.hpp"
#include "eeprom/image.hpp"
#include "eeprom/params.hpp"

namespace ulo {

// Writes the title box (rows 1 to 3) at the cursor; the cursor ends on row 5, column 1.
void title_box(Console& con);

// Draws every parameter over what stood there before; never clears and never touches rows
// 1 to 4. `ramp` is the ramp point shown. Leaves colour 7 and the cursor behind the CAN id.
// With a `reference`, each value that differs from the reference's (the same configuration's,
// the same ramp point's, each byte of the CAN id on its own) is drawn in yellow.
void screen(Console& con, const Wert& wert, unsigned ramp, const Wert* reference = nullptr);

// The wheel name of configuration n in double quotes, byte by byte through the console's
// control handling, from the cursor on.
void write_name(Console& con, const Wert& wert, unsigned n);

// The screen shows each parameter once, and the ramp point's number; an item of the screen is
// named by what it shows, std::nullopt for the ramp point's number.
using Shows = std::optional<ParamId>;

// Writes the value of the item that shows `shows` again, alone, at the column where the screen
// writes it, and with `unit` what the screen writes after it (" %"); the wheel name with its
// quotes; of the CAN id byte `can_byte` alone, 1 for the most significant (1539) to 4, or all
// four for 0. The cursor is left behind what was written.
void write_item_value(Console& con, const Wert& wert, unsigned ramp, Shows shows,
                      unsigned can_byte = 0, bool unit = false);
// The row of the item that shows `shows`.
unsigned item_row(Shows shows);
// The value of the item that shows `shows` as the screen writes it, without the alignment,
// with the unit after it: "120.0 \xF8Crank", "100 %", the wheel name in its quotes; of
// configuration `wheel` (0..24) and ramp point `ramp`; of the CAN id byte `can_byte` alone
// (1..4), or all four for 0.
std::string item_text(const Wert& wert, unsigned wheel, unsigned ramp, Shows shows,
                      unsigned can_byte = 0);

} // namespace ulo
