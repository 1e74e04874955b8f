// Where the 80x25 screen and the help lines below it go on a terminal of a given size.
#pragma once

#include <string>
#include <vector>

namespace ulo {

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
// True when a terminal of `lines` x `columns` shows the whole screen; a smaller one shows a
// notice instead.
bool screen_fits(int lines, int columns);
// The terminal row (1-based) the cursor on screen row y stands on: a cursor on a row left out
// stands on the row shown below it.
int cursor_row(int y, int lines);

} // namespace ulo
