// The process itself: its standard files, kept from standing for files it opens itself, and
// standard output written and closed checked, so that output lost on the way is never a
// success; its signals and locale.
#pragma once

#include <string>

namespace ulo {

// Run first: a standard input, output or error the program was started without gets
// /dev/null opened for reading in its place, so that no file opened later takes its number
// and stray text never lands in it; a write to it then fails.
void open_standard_files();

// Run when a command has ended with `status`: writes `text`, a command's whole output, to
// standard output, flushes it (std::cout too) and closes it. When some output did not
// arrive, says "ulocfg: cannot write the output: REASON" on standard error and returns 1,
// whatever `status` the command ended with; otherwise returns `status`.
int write_standard_output(const std::string& text, int status);

// Run next: makes argc and argv the command line's words in UTF-8, which is what the program
// takes names and values in. Where the system hands them over as bytes they stay as they are;
// on Windows they come from the wide (UTF-16) command line and last until the process ends.
void utf8_arguments(int& argc, char**& argv);

// Set-up of a command: a file size limit makes a save fail instead of ending the program, and
// a reader of the output that has gone makes the write fail (status 1), not end it unseen.
void prepare_command_process();
// Set-up of the editor: the user's locale tells how to show glyphs, while numbers keep the
// device's decimal point; a file size limit makes a write fail, not end the program half-way
// through a save; a standard error that has gone does not end it before the exit status is
// set.
void prepare_editor_process();
// Ends the process as the stop signal `sig` would have, so that the shell sees it in the exit
// status. Returns only where that signal cannot end it.
void end_by_signal(int sig);

} // namespace ulo
