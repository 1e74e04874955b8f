// Standard output, written whole and closed checked: the same C library calls on every system.
#include <cerrno>
#include <cstdio>
#include <iostream>

#include "app/process.hpp"
#include "app/status.hpp"
#include "eeprom/file.hpp"

namespace ulo {

int write_standard_output(const std::string& text, int status) {
    // The output is written in one go here rather than as the command makes it: the stream
    // gives up at its first failed write and the reason is gone by the time it is closed.
    errno = 0;
    std::cout.flush();
    bool written = !std::cout.bad() && std::ferror(stdout) == 0 &&
                   std::fwrite(text.data(), 1, text.size(), stdout) == text.size() &&
                   std::fflush(stdout) == 0;
    int error = errno;
    if (std::fclose(stdout) != 0 && written) {
        written = false;
        error = errno;
    }
    if (written) return status;
    // Whatever the command found, a script that got only part of its answer must not take it
    // for one: "differences found" or "out of range" without the list is no answer.
    std::fprintf(stderr, "ulocfg: cannot write the output: %s\n",
                 error_text(error != 0 ? error : EIO).c_str());
    return status_cannot_open;
}

} // namespace ulo
