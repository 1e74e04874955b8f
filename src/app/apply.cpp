#include "app/apply.hpp"

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <iostream>
#include <sstream>

#include "app/image_io.hpp"
#include "app/json.hpp"
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

namespace {

// The judging of a whole parameter file: the first rejected lines or entries are named; a file
// of junk is not repeated back line by line.
struct Judging {
    static constexpr unsigned shown = 20;
    std::ostream& err;
    unsigned errors = 0;
    std::ostream unshown{nullptr};

    bool told() const { return errors < shown; }
    std::ostream& out() { return told() ? err : unshown; }
    // Counts what was not named: "car.params: 3 more lines are rejected (not shown)".
    void finish(const std::string& source, const char* one, const char* more) {
        if (errors <= shown) return;
        const unsigned rest = errors - shown;
        err << "ulocfg: " << source << ": " << rest << " " << (rest == 1 ? one : more)
            << " rejected (not shown)\n";
    }
};

// The lines of a parameter file ("name = value unit" as show writes them).
void judge_lines(std::string_view rest, bool utf16, const std::string& source, const Target& target,
                 std::vector<Assignment>& all, Judging& judging) {
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
        const bool told = judging.told();
        const std::string at = source + ":" + std::to_string(number) + ": ";
        const std::size_t equals = text.find('=');
        const std::string_view name = trim(text.substr(0, equals));
        Item item{};
        std::string why;
        if (text.find('\0') != std::string_view::npos) {
            // UTF-16 without its mark has a NUL in every line: say so, not each NUL.
            if (told)
                rejected(judging.err, at + "the line",
                         utf16 ? "it holds NUL bytes"
                               : "it holds NUL bytes; is the file UTF-16 text without a "
                                 "byte-order mark?");
        } else if (equals == std::string_view::npos) {
            if (told) rejected(judging.err, at + printable(text), "a line is NAME = VALUE");
        } else if (!told && !parse_item(name, item, why)) {
            // rejected unseen, without looking for the names near it
        } else if (add_assignment(all, target, at + printable(text), name, text.substr(equals + 1),
                                  judging.out())) {
            continue;
        }
        ++judging.errors;
    }
    judging.finish(source, "more line is", "more lines are");
}

// The entries of a JSON document (show --json's).
void judge_json(std::string_view document, const std::string& source, const Target& target,
                std::vector<Assignment>& all, Judging& judging) {
    std::vector<JsonEntry> entries;
    std::string why;
    if (!json_entries(document, target.status == status_ok ? &target.image : nullptr, entries,
                      why)) {
        rejected(judging.err, source, why);
        ++judging.errors;
        return;
    }
    for (const JsonEntry& e : entries) {
        const bool told = judging.told();
        const std::string text = source + ": " + printable(e.text);
        Item item{};
        if (!e.why.empty()) {
            if (told) rejected(judging.err, text, e.why);
        } else if (!told && !parse_item(e.name, item, why)) {
            // rejected unseen, without looking for the names near it
        } else if (add_assignment(all, target, text, e.name, e.value, judging.out())) {
            continue;
        }
        ++judging.errors;
    }
    judging.finish(source, "more entry is", "more entries are");
}

} // namespace

int apply_text(std::istream& in, const std::string& source, const std::string& path, bool force,
               bool json, std::ostream& err) {
    // The whole text first: a file in UTF-16 is read as the UTF-8 it stands for. The image is
    // read after it, so that its save lock is not held while a slow pipe brings the text.
    std::string content;
    errno = 0; // what a read that fails leaves here says why
    char buffer[1 << 16];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0)
        content.append(buffer, static_cast<std::size_t>(in.gcount()));
    if (in.bad()) {
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
    std::vector<Assignment> all;
    Judging judging{err};
    if (json)
        judge_json(content, printable(source), target, all, judging);
    else
        judge_lines(content, utf16, printable(source), target, all, judging);
    return assign(target, all, judging.errors == 0, err);
}

int apply_lines(std::istream& lines, const std::string& source, const std::string& path, bool force,
                std::ostream& err) {
    return apply_text(lines, source, path, force, false, err);
}

int apply_file(const std::string& params, const std::string& path, bool force, bool json,
               std::ostream& err) {
    if (params == "-") return apply_text(std::cin, "stdin", path, force, json, err);
    errno = 0;
    std::ifstream in(params, std::ios::binary);
    if (!in) {
        err << "ulocfg: cannot open " << printable(params) << reason(errno) << "\n";
        return status_cannot_open;
    }
    return apply_text(in, params, path, force, json, err);
}

} // namespace ulo
