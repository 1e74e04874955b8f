#include "app/image_io.hpp"

#include <ostream>

#include "app/status.hpp"

namespace ulo {

// 0, or the editor's status for a file that cannot be read or is not an image.
// With `seen`, what the file held, so that a save can tell whether it changed meanwhile.
int load(const std::string& path, Wert& wert, std::ostream& err, FileState* seen) {
    int error = 0;
    switch (load_image(path, wert, seen, &error)) {
    case LoadResult::loaded: return status_ok;
    case LoadResult::cannot_open:
        err << "ulocfg: cannot open " << printable(path) << ": " << error_text(error) << "\n";
        return status_cannot_open;
    case LoadResult::incorrect:
        err << "ulocfg: " << printable(path)
            << ": EEPROM textfile incorrect (not 2048 byte tokens)\n";
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
