// An image file read for a command, and what `check` finds in an image: the ground the
// commands of the command line, apply and the JSON documents stand on.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "eeprom/file.hpp"
#include "eeprom/image.hpp"
#include "eeprom/params.hpp"

namespace ulo {

// Loads the image file for a command: 0, or the editor's status for a file that cannot be
// read (1) or is not an image (2), with the message on `err`. `seen` receives what the file
// was, to tell later whether someone else has written it since.
int load(const std::string& path, Wert& wert, std::ostream& err, FileState* seen = nullptr);

// What `check` finds among the values `show` lists: values no sequence of edits in the editor
// gives ("name = value unit: the field takes RANGE"), and values that contradict another
// parameter ("name = value unit: warning: ...").
struct Finding {
    bool warning;
    Item item;
    std::string text;
};
std::vector<Finding> check_image(const Wert& wert);

} // namespace ulo
