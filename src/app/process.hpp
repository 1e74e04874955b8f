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

// Run next: makes argc and argv the command line's words in UTF-8, which is what the program
// takes names and values in. Where the system hands them over as bytes they stay as they are;
// on Windows they come from the wide (UTF-16) command line and last until the process ends.
void utf8_arguments(int& argc, char**& argv);

// A file size limit makes a write fail with an error instead of ending the program half-way
// through a save; with `broken_pipe`, so does a reader of the output that has gone. Nothing
// to do where the system sends no such signals.
void ignore_write_signals(bool broken_pipe);

} // namespace ulo
