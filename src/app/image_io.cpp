#include "app/image_io.hpp"

#include <ostream>

#include "app/status.hpp"

namespace ulo {

// 0, or the editor's status for a file that cannot be read or is not an image. Without
// `seen` the file is only read, and may be a pipe or standard input ("-"); with it, it is read
// for a save: a plain file, under the save lock, with what it held kept in `seen`.
int load(const std::string& path, Wert& wert, std::ostream& err, FileState* seen) {
    int error = 0;
    const std::string name = printable(path);
    const LoadResult result =
        load_image(path, wert, seen, &error, seen ? Reading::for_saving : Reading::stream);
    switch (result) {
    case LoadResult::loaded: return status_ok;
    case LoadResult::cannot_open:
        if (seen && is_stream(path))
            err << "ulocfg: "
                << (path == "-" ? "- is standard input" : name + " is a pipe or a device")
                << ": a command that writes needs the image file itself\n";
        else
            err << "ulocfg: cannot open " << name << ": " << error_text(error) << "\n";
        return status_cannot_open;
    case LoadResult::busy:
        err << "ulocfg: " << name << " is being saved by another ulocfg\n";
        return status_cannot_open;
    case LoadResult::incorrect:
        err << "ulocfg: " << name << ": EEPROM textfile incorrect (not 2048 byte tokens)\n";
        return status_incorrect;
    case LoadResult::utf16:
    case LoadResult::nul_bytes:
        err << "ulocfg: " << flaw_text(name, result) << "\n";
        return status_incorrect;
    }
    return status_incorrect;
}

std::vector<Finding> check_image(const Wert& wert) {
    std::vector<Finding> found;
    for (Item item : shown_items(wert)) {
        if (!in_range(item, read_value(wert, item)))
            found.push_back(
                {false, item, show_line(wert, item) + ": the field takes " + allowed(item)});
        else if (const std::string why = conflict(wert, item); !why.empty())
            found.push_back({true, item, show_line(wert, item) + ": warning: " + why});
    }
    return found;
}

} // namespace ulo
