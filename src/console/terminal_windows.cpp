// The terminal on Windows: the editor's screen is not there yet, so opening it fails with the
// reason, and the program ends with the terminal's status; the command line works in full.
#include "console/terminal.hpp"

#include <cstdio>

namespace ulo {

bool terminal_open(Terminal& term) {
    term.failure = "the editor is not yet available on Windows: "
                   "use its commands (ulocfg --help)";
    return false;
}

void terminal_wait(Terminal& term, Console&) { term.closed = true; }

void terminal_poll(Terminal&, Console&) {}

void terminal_close(Terminal& term, const Console&) { term.closed = true; }

void tell(const Terminal&, const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
}

Terminal::~Terminal() = default;

} // namespace ulo
