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

// Runs one command (show, get, set, apply, diff, check, screen); argv[0] is the program, argv[1] the command. Results go to `out`,
// messages to `err`; returns the exit status. Never touches the terminal.
int cli(int argc, char** argv, std::ostream& out, std::ostream& err);

// Loads the image file for a command: 0, or the editor's status for a file that cannot be
// read (1) or is not an image (2), with the message on `err`.
int load(const std::string& path, Wert& wert, std::ostream& err);

// The text of --help.
std::string usage_text();

// The values of the image that its fields could not have produced, among those `show`
// lists, each as "name = value unit: the field takes RANGE".
std::vector<std::string> check_image(const Wert& wert);

} // namespace ulo
