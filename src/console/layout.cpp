#include "console/layout.hpp"

#include <algorithm>
#include <iterator>

#include "console/console.hpp"

namespace ulo {

int terminal_row(int y, int lines) {
    // The rows that are blank whatever the image holds, in the order they are given up.
    constexpr int left_out[] = {4, 7, 16, 24};
    const int missing =
        std::clamp(console_height - lines, 0, static_cast<int>(std::size(left_out)));
    int row = y;
    for (int k = 0; k < missing; ++k) {
        if (y == left_out[k]) return 0;
        if (y > left_out[k]) --row;
    }
    return row;
}

std::vector<std::string> help_rows(const std::vector<std::string>& help, int lines) {
    constexpr int first_help_row = console_height + 2; // below the rule
    std::vector<std::string> rows;
    if (help.empty() || lines < first_help_row) return rows;
    rows.emplace_back(console_width, '\xC4'); // the thin line of code page 437
    for (const std::string& line : help) {
        if (static_cast<int>(rows.size()) == lines - console_height) break;
        std::string shown = line.substr(0, console_width);
        shown.resize(console_width, ' ');
        rows.push_back(shown);
    }
    return rows;
}

bool screen_fits(int lines, int columns) {
    return lines >= fewest_rows && columns >= console_width;
}

int cursor_row(int y, int lines) {
    while (terminal_row(y, lines) == 0 && y < console_height) ++y;
    return terminal_row(y, lines);
}

} // namespace ulo
