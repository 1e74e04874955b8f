// The exit statuses of ulocfg, the editor's and the command line's.
#pragma once

namespace ulo {

constexpr int status_ok = 0;
constexpr int status_cannot_open = 1; // a file cannot be opened, or written
constexpr int status_incorrect = 2;   // a file is not a valid image
constexpr int status_no_terminal = 3; // the editor has no terminal, or it went away
constexpr int status_failure = 4;     // the editor met an exception it did not expect
constexpr int status_differ = 5;      // diff: the images differ; check: values out of range
constexpr int status_rejected = 6;    // a name or value set or get cannot take; nothing written
constexpr int status_usage = 7;       // the command line itself is wrong
// A stop signal ends the editor with 128 + the signal's number, as the shell expects.

} // namespace ulo
