// How the console model shows on a real terminal: the glyph of each cell, and the plain text
// left on the terminal when the program ends.
#pragma once

#include <string>
#include <vector>

#include "console/console.hpp"

namespace ulo {

// The character a cell's byte shows as: its code page 437 glyph, never a control, never wider
// than one column; without `utf8`, readable ASCII (box lines + - |, degree o, controls '.',
// anything else '?').
char32_t terminal_glyph(unsigned char b, bool utf8);
// Whether the terminal shows the character in exactly one column, in the system's reckoning
// (glyphs_posix.cpp, glyphs_windows.cpp).
bool one_column(char32_t c);
// The model as the plain text left on the terminal at the end: the rows down to the last one
// with anything on it, or to the row above the cursor when that is lower (the shell's prompt
// then takes the cursor's place), trailing spaces removed, each row ending "\r\n". With
// `sgr`, cells in another colour than light grey are coloured with SGR sequences.
std::string plain_text(const Console& con, bool utf8, bool sgr);


// The fewest rows the screen is shown on. On fewer than 25 the rows that are always blank
// are left out, row 4 first, then 7, 16 and 24: the title box, every value, the highlight and
// the save question keep their rows.
constexpr int fewest_rows = 21;
// The terminal row (1-based) that shows row y of the screen on a terminal of `lines` rows, or
// 0 where that row is left out.
int terminal_row(int y, int lines);
// The rows below the screen on a terminal of `lines` rows: none below 27 rows or without help
// lines; otherwise a rule, then the help lines, each cut or padded to 80 bytes, as many as
// there is room for.
std::vector<std::string> help_rows(const std::vector<std::string>& help, int lines);

} // namespace ulo
