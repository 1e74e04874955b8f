#include "app/apply.hpp"

#include <algorithm>
#include <fstream>
#include <iostream>

#include "app/cli.hpp"
#include "app/flow.hpp"
#include "eeprom/file.hpp"

namespace ulo {

namespace {

bool given(const std::vector<Assignment>& all, Item item) {
    return std::any_of(all.begin(), all.end(), [&](const Assignment& a) { return a.item == item; });
}

constexpr std::string_view byte_order_mark = "\xEF\xBB\xBF";

void rejected(std::ostream& err, const std::string& text, const std::string& why) {
    err << "ulocfg: " << text << " is rejected: " << why << ".\n";
}

} // namespace

bool add_assignment(std::vector<Assignment>& all, const std::string& text, std::string_view name,
                    std::string_view value, std::ostream& err) {
    Assignment a{text, {}, {}};
    std::string why;
    if (!parse_item(name, a.item, why)) {
        rejected(err, text, why);
        return false;
    }
    if (given(all, a.item)) {
        rejected(err, text, std::string(name) + " is given twice");
        return false;
    }
    if (!parse_value(a.item, value, a.value, why)) {
        rejected(err, text, std::string(name) + " " + why);
        return false;
    }
    if (!in_range(a.item, a.value)) {
        rejected(err, text, "the field takes " + allowed(a.item));
        return false;
    }
    all.push_back(a);
    return true;
}

int assign(const std::string& path, const std::vector<Assignment>& all, bool taken,
           std::ostream& err) {
    Wert before{};
    FileState seen;
    if (int status = load(path, before, err, &seen)) return status;
    if (!taken) return status_rejected;
    if (all.empty()) return status_ok; // a parameter file of comments only: nothing to save
    Wert after = before;
    for (const Assignment& a : all) write_value(after, a.item, a.value);

    // A value at odds with another is written, as the editor allows it too (a TDC cylinder
    // typed before fewer cylinders were chosen); say so, unless the image had it already.
    for (Item item : shown_items(after)) {
        const std::string why = conflict(after, item);
        if (!why.empty() && conflict(before, item) != why)
            err << "ulocfg: " << show_line(after, item) << ": warning: " << why << "\n";
    }

    // Someone else has written the file since it was read: their change is not ours to undo.
    if (file_change(seen) != FileChange::none) {
        err << "ulocfg: " << printable(path) << " was changed by someone else while set worked; "
            << "nothing written, run set again\n";
        return status_cannot_open;
    }
    switch (save_image(seen, after)) {
    case SaveResult::saved: return status_ok;
    case SaveResult::cannot_open:
        err << "ulocfg: cannot open " << printable(path) << " for writing; it is unchanged.\n";
        return status_cannot_open;
    case SaveResult::cannot_write:
        err << "ulocfg: cannot write " << printable(path) << "; it is unchanged.\n";
        return status_cannot_open;
    }
    return status_cannot_open;
}

int apply_lines(std::istream& lines, const std::string& source, const std::string& path,
                std::ostream& err) {
    std::vector<Assignment> all;
    bool taken = true;
    std::string line;
    for (unsigned number = 1; std::getline(lines, line); ++number) {
        // A file edited on Windows ends its lines with a carriage return as well, and may
        // begin with a UTF-8 byte-order mark.
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (number == 1 && line.starts_with(byte_order_mark))
            line.erase(0, byte_order_mark.size());
        const std::string_view text = trim(line);
        // Only whole lines are comments: a wheel name may hold a #.
        if (text.empty() || text.front() == '#') continue;
        const std::string where =
            printable(source) + ":" + std::to_string(number) + ": " + printable(text);
        const std::size_t equals = text.find('=');
        if (equals == std::string_view::npos) {
            rejected(err, where, "a line is NAME = VALUE");
            taken = false;
            continue;
        }
        if (!add_assignment(all, where, trim(text.substr(0, equals)), text.substr(equals + 1),
                            err))
            taken = false;
    }
    if (lines.bad()) {
        err << "ulocfg: cannot read " << printable(source) << "\n";
        return status_cannot_open;
    }
    return assign(path, all, taken, err);
}

int apply_file(const std::string& params, const std::string& path, std::ostream& err) {
    if (params == "-") return apply_lines(std::cin, "stdin", path, err);
    std::ifstream in(params, std::ios::binary);
    if (!in) {
        err << "ulocfg: cannot open " << printable(params) << "\n";
        return status_cannot_open;
    }
    return apply_lines(in, params, path, err);
}

} // namespace ulo
