// Standard output, written whole and closed checked, and the messages of the run: the same
// steps on every system, over the writes of the platform's file.
#include <cerrno>
#include <cstdio>
#include <iostream>

#include "app/process.hpp"
#include "app/status.hpp"
#include "eeprom/file.hpp"

namespace ulo {

namespace {

bool said_something = false; // say() has written a message

} // namespace

int write_standard_output(const std::string& text, int status) {
    // The output is written in one go here rather than as the command makes it: the stream
    // gives up at its first failed write and the reason is gone by the time it is closed.
    errno = 0;
    std::cout.flush();
    bool written = !std::cout.bad() && std::ferror(stdout) == 0 && write_standard(stdout, text);
    int error = errno;
    if (std::fclose(stdout) != 0 && written) {
        written = false;
        error = errno;
    }
    if (written) return status;
    // Whatever the command found, a script that got only part of its answer must not take it
    // for one: "differences found" or "out of range" without the list is no answer.
    say("ulocfg: cannot write the output: " + error_text(error != 0 ? error : EIO) + "\n");
    return status_cannot_open;
}

void say(const std::string& text) {
    if (text.empty()) return;
    said_something = true;
    write_standard(stderr, text);
}

int end_run(int status) {
    if (status != status_ok || said_something) hold_window(close_prompt);
    return status;
}

} // namespace ulo
