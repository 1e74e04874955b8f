// Assigning values to an image all or none: the judging that set and apply share, and apply's
// reading of a parameter file in the form show writes.
#pragma once

#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

#include "eeprom/file.hpp"
#include "eeprom/params.hpp"

namespace ulo {

// The image file the assignments go to, read before they are judged: a value it holds
// already is taken whatever it is, so that show's lines of an image apply to it unchanged.
struct Target {
    std::string path;
    bool force = false;          // --force: values outside their field's range are stored too
    const char* command = "set"; // how messages name the command: "set" or "apply"
    int status = 0;              // the load's exit status: 0 when the image was read
    std::string message;         // what the load said when it failed
    Wert image{};
    FileState seen;
};
Target open_target(const std::string& path, bool force);

// One NAME=VALUE of set, or one line of a parameter file.
struct Assignment {
    std::string text; // how messages name it: "wheel[1].cylinders=4", "car.params:3: ..."
    Item item;
    Value value;
    bool outside = false; // outside its field's range, stored by --force
};

// Reads NAME and VALUE into a new assignment of `all`; false, with the reason on `err`, for an
// unknown name, a name given twice, a value that does not read or that the parameter's bits
// cannot hold, or one no edit in the editor gives and the target does not hold already
// (unless forced).
bool add_assignment(std::vector<Assignment>& all, const Target& target, const std::string& text,
                    std::string_view name, std::string_view value, std::ostream& err);

// Writes the assignments into the target's file, all or none: `taken` false says that some
// were rejected, and then nothing is written. A value the change leaves at odds with another,
// or a forced one, is warned of on `err`. The file is saved as the editor saves it, and not at
// all when nothing changes. Returns the exit status.
int assign(const Target& target, const std::vector<Assignment>& all, bool taken, std::ostream& err);

// apply: the text of `in` assigned to the image at `path` as set would, all or none: the lines
// show writes ("name = value unit"; blank lines and lines starting with # are skipped; the
// unit may be left out), or with `json` the document show --json writes (json_entries). Text
// in UTF-16 with its byte-order mark is read as UTF-8. `source` names the text in messages
// ("car.params:3: ...", "car.json: wheel[1].cylinders = 9 ...").
int apply_text(std::istream& in, const std::string& source, const std::string& path, bool force,
               bool json, std::ostream& err);
// The same for lines.
int apply_lines(std::istream& lines, const std::string& source, const std::string& path, bool force,
                std::ostream& err);

// apply PARAMFILE: reads the parameter file (standard input for "-") and applies it.
int apply_file(const std::string& params, const std::string& path, bool force, bool json,
               std::ostream& err);

} // namespace ulo
