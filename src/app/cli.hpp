// The command line: show, get, set, diff, check and screen work on an image file without a
// terminal, for scripts and version control. Started without arguments, ulocfg is the editor.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "app/help_text.hpp"
#include "app/status.hpp"
#include "eeprom/file.hpp"
#include "eeprom/image.hpp"
#include "eeprom/params.hpp"

namespace ulo {

// Runs one command (show, get, set, apply, diff, check, screen, help, version); argv[0] is the
// program; the options may stand before or after the command. Results go to `out`, messages to
// `err`; returns the exit status. Never touches the terminal.
int cli(int argc, char** argv, std::ostream& out, std::ostream& err);

// True when the command line asks for the editor on a file, "edit [FILE]" or "--file FILE"
// (-f FILE) without a command, or the name of an existing file alone (a file dropped on the
// program); `path` is then that file (ulo.txt when none is named).
bool editor_file(int argc, char** argv, std::string& path);
// For a line editor_file takes: what the editing is compared with, the file of "--compare
// REF" in `compare`, and "--changes" (the file as loaded) in `changes`.
void editor_reference(int argc, char** argv, std::optional<std::string>& compare, bool& changes);

} // namespace ulo
