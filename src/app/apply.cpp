#include "app/apply.hpp"

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <iostream>
#include <sstream>

#include "app/image_io.hpp"
#include "app/status.hpp"
#include "app/suggest.hpp"
#include "app/utf16.hpp"
#include "eeprom/file.hpp"

namespace ulo {

namespace {

bool given(const std::vector<Assignment>& all, Item item) {
    return std::any_of(all.begin(), all.end(), [&](const Assignment& a) { return a.item == item; });
}

// ": Permission denied", or "" where the system gave no reason.
std::string reason(int error) { return error != 0 ? ": " + error_text(error) : ""; }

constexpr std::string_view byte_order_mark = "\xEF\xBB\xBF";

void rejected(std::ostream& err, const std::string& text, const std::string& why) {
    err << "ulocfg: " << text << " is rejected: " << why << (why.ends_with('?') ? "\n" : ".\n");
}

} // namespace

Target open_target(const std::string& path, bool force) {
    Target target;
    target.path = path;
    target.force = force;
    std::ostringstream message;
    target.status = load(path, target.image, message, &target.seen);
    target.message = message.str();
    return target;
}

bool add_assignment(std::vector<Assignment>& all, const Target& target, const std::string& text,
                    std::string_view name, std::string_view value, std::ostream& err) {
    Assignment a{text, {}, {}};
    std::string why;
    if (!parse_item(name, a.item, why)) {
        rejected(err, text, with_suggestion(name, why));
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
    // What the image holds already is taken whatever it is: nothing changes.
    const bool held = target.status == status_ok && read_value(target.image, a.item) == a.value;
    a.outside = !held && !in_range(a.item, a.value);
    if (a.outside && !fits(a.item, a.value)) {
        rejected(err, text,
                 "the field takes " + allowed(a.item) +
                     ", and the value does not "
                     "fit in the parameter's bits");
        return false;
    }
    if (a.outside && !target.force) {
        rejected(err, text,
                 "the field takes " + allowed(a.item) + "; use --force to store it anyway");
        return false;
    }
    all.push_back(a);
    return true;
}

int assign(const Target& target, const std::vector<Assignment>& all, bool taken,
           std::ostream& err) {
    if (target.status != status_ok) {
        err << target.message;
        return target.status;
    }
    if (!taken) return status_rejected;
    const Wert& before = target.image;
    Wert after = before;
    for (const Assignment& a : all) write_value(after, a.item, a.value);
    if (after == before) return status_ok; // nothing to save

    for (const Assignment& a : all)
        if (a.outside)
            err << "ulocfg: " << a.text << ": warning: stored outside the field's range, "
                << allowed(a.item) << "\n";
    // A value at odds with another is written, as the editor allows it too (a TDC cylinder
    // typed before fewer cylinders were chosen); say so, unless the image had it already.
    for (Item item : shown_items(after)) {
        const std::string why = conflict(after, item);
        if (!why.empty() && conflict(before, item) != why)
            err << "ulocfg: " << show_line(after, item) << ": warning: " << why << "\n";
    }

    // Someone else has written the file since it was read: their change is not ours to undo.
    // The save lock, held since the load, keeps other ulocfg runs out; this is for the rest.
    const std::string path = printable(target.path);
    int error = 0;
    FileChange change = FileChange::none;
    switch (save_image(target.seen, after, &error, &change)) {
    case SaveResult::saved: return status_ok;
    case SaveResult::changed:
        err << "ulocfg: " << path << " was changed by someone else while " << target.command
            << " worked; nothing written, run " << target.command << " again\n";
        return status_cannot_open;
    case SaveResult::busy:
        err << "ulocfg: " << path << " is being saved by another ulocfg; nothing written\n";
        return status_cannot_open;
    case SaveResult::cannot_open:
        err << "ulocfg: cannot open " << path << " for writing: " << error_text(error)
            << "; it is unchanged\n";
        return status_cannot_open;
    case SaveResult::cannot_write:
        err << "ulocfg: cannot write " << path << ": " << error_text(error)
            << "; it is unchanged\n";
        return status_cannot_open;
    }
    return status_cannot_open;
}

int apply_lines(std::istream& lines, const std::string& source, const std::string& path, bool force,
                std::ostream& err) {
    // The whole text first: a file in UTF-16 is read as the UTF-8 it stands for. The image is
    // read after it, so that its save lock is not held while a slow pipe brings the lines.
    std::string content;
    errno = 0; // what a read that fails leaves here says why
    char buffer[1 << 16];
    while (lines.read(buffer, sizeof buffer) || lines.gcount() > 0)
        content.append(buffer, static_cast<std::size_t>(lines.gcount()));
    if (lines.bad()) {
        err << "ulocfg: cannot read " << printable(source) << reason(errno) << "\n";
        return status_cannot_open;
    }
    Target target = open_target(path, force);
    target.command = "apply";
    const bool utf16 = utf16_marked(content);
    if (utf16) {
        std::string utf8, why;
        if (!utf16_to_utf8(content, utf8, why)) {
            rejected(err, printable(source), why);
            return assign(target, {}, false, err);
        }
        content = std::move(utf8);
    }

    // The first rejected lines are named; a file of junk is not repeated back line by line.
    constexpr unsigned shown = 20;
    unsigned errors = 0;
    std::ostream unshown(nullptr);
    const std::string name_of_source = printable(source);
    std::vector<Assignment> all;
    std::string_view rest = content;
    for (unsigned number = 1; !rest.empty(); ++number) {
        const std::size_t end = std::min(rest.find('\n'), rest.size());
        std::string_view line = rest.substr(0, end);
        rest.remove_prefix(std::min(end + 1, rest.size()));
        // A file edited on Windows ends its lines with a carriage return as well, and may
        // begin with a UTF-8 byte-order mark.
        if (line.ends_with('\r')) line.remove_suffix(1);
        if (number == 1 && line.starts_with(byte_order_mark))
            line.remove_prefix(byte_order_mark.size());
        const std::string_view text = trim(line);
        // Only whole lines are comments: a wheel name may hold a #.
        if (text.empty() || text.front() == '#') continue;
        const bool told = errors < shown;
        const std::string at = name_of_source + ":" + std::to_string(number) + ": ";
        const std::size_t equals = text.find('=');
        const std::string_view name = trim(text.substr(0, equals));
        Item item{};
        std::string why;
        if (text.find('\0') != std::string_view::npos) {
            // UTF-16 without its mark has a NUL in every line: say so, not each NUL.
            if (told)
                rejected(err, at + "the line",
                         utf16 ? "it holds NUL bytes"
                               : "it holds NUL bytes; is the file UTF-16 text without a "
                                 "byte-order mark?");
        } else if (equals == std::string_view::npos) {
            if (told) rejected(err, at + printable(text), "a line is NAME = VALUE");
        } else if (!told && !parse_item(name, item, why)) {
            // rejected unseen, without looking for the names near it
        } else if (add_assignment(all, target, at + printable(text), name, text.substr(equals + 1),
                                  told ? err : unshown)) {
            continue;
        }
        ++errors;
    }
    if (errors > shown) {
        const unsigned more = errors - shown;
        err << "ulocfg: " << name_of_source << ": " << more
            << (more == 1 ? " more line is" : " more lines are") << " rejected (not shown)\n";
    }
    return assign(target, all, errors == 0, err);
}

int apply_file(const std::string& params, const std::string& path, bool force, std::ostream& err) {
    if (params == "-") return apply_lines(std::cin, "stdin", path, force, err);
    errno = 0;
    std::ifstream in(params, std::ios::binary);
    if (!in) {
        err << "ulocfg: cannot open " << printable(params) << reason(errno) << "\n";
        return status_cannot_open;
    }
    return apply_lines(in, params, path, force, err);
}

} // namespace ulo
