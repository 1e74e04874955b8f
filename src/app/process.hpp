// The process itself: its standard files, kept from standing for files it opens itself, and
// standard output written and closed checked, so that output lost on the way is never a
// success; text for a console written as characters; its signals and locale; a window made
// for the run alone kept open until its last message has been read.
#pragma once

#include <cstdio>
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

// Writes `text` whole to `stream`, standard output or error, and flushes it. On a console it
// goes as characters (on Windows, UTF-16 to the console itself, so that a character never
// arrives cut in two); to a file or a pipe as the bytes. False, with errno set, when not all
// of it arrived.
bool write_standard(std::FILE* stream, const std::string& text);

// Writes a message to standard error as write_standard does; the run has then said something.
void say(const std::string& text);

// Run last, with the exit status, which it returns. Where the program has a console window
// made for it alone (started from Explorer or a shortcut on Windows), a run that ends with a
// message, a status other than 0 or anything said on standard error, writes
// `close_prompt` and waits for a key, so that the window does not close before the message
// has been read. Elsewhere the terminal outlives the program and it returns at once.
int end_run(int status);
constexpr const char* close_prompt = "Press any key to close this window.";
// The waiting of end_run, on a console window of the run's own.
void hold_window(const char* prompt);

// Whether `path` names something that exists and is no folder: a file the editor may take as
// its one argument.
bool names_file(const std::string& path);

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
