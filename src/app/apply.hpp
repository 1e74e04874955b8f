// Assigning values to an image all or none: the judging that set and apply share, and apply's
// reading of a parameter file in the form show writes.
#pragma once

#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

#include "eeprom/params.hpp"

namespace ulo {

// One NAME=VALUE of set, or one line of a parameter file.
struct Assignment {
    std::string text; // how messages name it: "wheel[1].cylinders=4", "car.params:3: ..."
    Item item;
    Value value;
};

// Reads NAME and VALUE into a new assignment of `all`; false, with the reason on `err`, for an
// unknown name, a name given twice, a value that does not read or one no edit in the editor
// gives.
bool add_assignment(std::vector<Assignment>& all, const std::string& text, std::string_view name,
                    std::string_view value, std::ostream& err);

// Writes the assignments into the image file at `path`, all or none: `taken` false says that
// some were rejected, and then nothing is written. A value the change leaves at odds with
// another is warned of on `err`. The file is saved as the editor saves it. Returns the exit
// status.
int assign(const std::string& path, const std::vector<Assignment>& all, bool taken,
           std::ostream& err);

// apply: the lines of `lines` ("name = value unit" as show writes them; blank lines and lines
// starting with # are skipped; the unit may be left out) assigned to the image at `path` as
// set would. `source` names the lines in messages ("car.params:3: ...").
int apply_lines(std::istream& lines, const std::string& source, const std::string& path,
                std::ostream& err);

// apply PARAMFILE: reads the parameter file (standard input for "-") and applies it.
int apply_file(const std::string& params, const std::string& path, std::ostream& err);

} // namespace ulo
