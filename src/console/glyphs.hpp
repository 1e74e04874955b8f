// How the console model shows on a real terminal: the glyph of each cell, and the plain text
// left on the terminal when the program ends.
#pragma once

#include <string>

#include "console/console.hpp"

namespace ulo {

// The character a cell's byte shows as: its code page 437 glyph, never a control, never wider
// than one column; without `utf8`, readable ASCII (box lines + - |, degree o, controls '.',
// anything else '?').
char32_t terminal_glyph(unsigned char b, bool utf8);
// The model as the plain text left on the terminal at the end: the rows down to the last one
// with anything on it, or to the row above the cursor when that is lower (the shell's prompt
// then takes the cursor's place), trailing spaces removed, each row ending "\r\n". With
// `sgr`, cells in another colour than light grey are coloured with SGR sequences.
std::string plain_text(const Console& con, bool utf8, bool sgr);

// The columns the terminal's locale gives a character: 1 for most, 2 for a wide one, 0 or -1
// for one it does not show by itself.
int glyph_columns(char32_t c);

} // namespace ulo
