// The standard files of the process: kept from standing for files it opens itself, and
// standard output written and closed checked, so that output lost on the way is never a
// success.
#pragma once

#include <string>

namespace ulo {

// Run first: a standard input, output or error the program was started without gets
// /dev/null opened for reading in its place, so that no file opened later takes its number
// and stray text never lands in it; a write to it then fails.
void open_standard_files();

// Run when a command has ended with `status`: writes `text`, a command's whole output, to
// standard output, flushes it (std::cout too) and closes it. When some output did not
// arrive, says "ulocfg: cannot write the output: REASON" on standard error and returns 1
// where `status` was 0; otherwise returns `status`.
int write_standard_output(const std::string& text, int status);

} // namespace ulo
