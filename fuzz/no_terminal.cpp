// The editor target runs the program on the console model alone: its Console never has a
// terminal attached, so these are never reached. They stand in for the curses backend, which
// the fuzzer neither needs nor could drive.
#include <cstdio>
#include <cstdlib>

#include "console/terminal.hpp"

namespace ulo {

[[noreturn]] static void no_terminal(const char* what) {
    std::fprintf(stderr, "editor_fuzz: %s called, but there is no terminal\n", what);
    std::abort();
}

void terminal_wait(Terminal&, Console&) { no_terminal("terminal_wait"); }
void terminal_poll(Terminal&, Console&) { no_terminal("terminal_poll"); }
Terminal::~Terminal() = default;

} // namespace ulo
