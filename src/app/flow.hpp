// The run from the first output to the end: title box, load, editor, save question, save.
#pragma once

#include <string>

#include "console/console.hpp"
#include "editor/editor.hpp"
#include "eeprom/image.hpp"

namespace ulo {

// Exit statuses.
constexpr int status_ok = 0;
constexpr int status_cannot_open = 1;  // cannot open (or write) the file
constexpr int status_incorrect = 2;    // the file is not a valid image
constexpr int status_no_terminal = 3;  // no terminal, or the terminal went away
constexpr int status_failure = 4;      // an exception the run did not expect (out of memory)

constexpr const char* save_question = "Dow you want to save the data (Y/N)? ";

// Runs the whole program on the file `path` ("ulo.txt"), drawing on `con` and reading its
// keys. Returns the exit status; nothing is saved if the keys stop coming.
int run(Console& con, Wert& wert, Editor& ed, const std::string& path);

} // namespace ulo
