// The command line: show, get, set, diff, check and screen work on an image file without a
// terminal, for scripts and version control. Started without arguments, ulocfg is the editor.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "app/params.hpp"
#include "eeprom/image.hpp"

namespace ulo {

// Exit statuses beyond the editor's 1 (cannot open or write) and 2 (not a valid image);
// 3 and 4 belong to the editor (no terminal, an unexpected failure).
constexpr int status_differ = 5;   // diff: the images differ; check: values out of range
constexpr int status_rejected = 6; // a name or value set or get cannot take; nothing written
constexpr int status_usage = 7;    // the command line itself is wrong

// Runs one command; argv[0] is the program, argv[1] the command. Results go to `out`,
// messages to `err`; returns the exit status. Never touches the terminal.
int cli(int argc, char** argv, std::ostream& out, std::ostream& err);

// True when the command line asks for the editor on a file, "edit [FILE]" or "--file FILE"
// without a command; `path` is then that file (ulo.txt when none is named).
bool editor_file(int argc, char** argv, std::string& path);

// The text of --help.
std::string usage_text();

// The values of the image that its fields could not have produced, among those `show`
// lists, each as "name = value unit: the field takes RANGE".
std::vector<std::string> check_image(const Wert& wert);

} // namespace ulo
