// What the terminal backends decide without curses or the operating system: the notice, the
// colour pairs, which cells and help bytes to write, which keys to queue.
#include "console/terminal.hpp"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace ulo {

std::vector<std::string> notice_rows(int width, int lines) {
    width = std::max(width, 1);
    std::vector<std::string> rows;
    std::string_view rest = too_small_notice;
    for (int row = 0; row < lines && !rest.empty(); ++row) {
        std::size_t take = rest.size();
        if (take > static_cast<std::size_t>(width)) {
            const std::size_t space = rest.rfind(' ', static_cast<std::size_t>(width));
            take = space != std::string_view::npos && space > 0 ? space
                                                                : static_cast<std::size_t>(width);
        }
        rows.emplace_back(rest.substr(0, take));
        rest.remove_prefix(take);
        while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
    }
    return rows;
}

bool colour_refused() {
    const char* no_color = std::getenv("NO_COLOR");
    return no_color != nullptr && *no_color != '\0';
}

bool terminal_has_colours() {
    const char* name = std::getenv("TERM");
    return name && *name && std::strcmp(name, "dumb") != 0 && !colour_refused();
}

Shade shade(std::uint8_t attr) {
    if ((attr & 0x7F) == light_grey) return Shade::plain;
    return (attr & 0x7F) == yellow ? Shade::marked : Shade::highlight;
}

short colour_pair(const TerminalColours& colours, std::uint8_t attr) {
    const int fg = attr & 0x0F;
    const int bg = (attr >> 4) & 0x07;
    return static_cast<short>(1 + fg + (colours.pairs_for_backgrounds ? 16 * bg : 0));
}

bool cell_changed(const Terminal& term, const Console& con, int x, int y) {
    return term.repaint || cell(con, x, y) != cell(term.shown, x, y);
}

bool help_changed(const Terminal& term, const std::vector<std::string>& rows, std::size_t i,
                  std::size_t x) {
    const bool drawn = !term.repaint && i < term.help_shown.size();
    return !drawn || term.help_shown[i][x] != rows[i][x];
}

bool queue_keys(bool at_notice, Console& con, const std::vector<int>& codes) {
    constexpr int ctrl_c = 3;
    bool interrupted = false;
    for (int code : codes) {
        if (!at_notice)
            push_key(con, code);
        else if (code == ctrl_c)
            interrupted = true;
    }
    return interrupted;
}

} // namespace ulo
