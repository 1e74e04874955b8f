// The run from the first output to the end: title box, load, editor, save question, save.
#pragma once

#include <string>

#include "app/status.hpp"
#include "console/console.hpp"
#include "editor/editor.hpp"
#include "eeprom/image.hpp"

namespace ulo {

constexpr const char* save_question = "Dow you want to save the data (Y/N)? ";

// Runs the whole program on the file `path` ("ulo.txt"), drawing on `con` and reading its
// keys. Returns the exit status; nothing is saved if the keys stop coming.
int run(Console& con, Wert& wert, Editor& ed, const std::string& path);

} // namespace ulo
