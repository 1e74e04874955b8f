#include "app/apply.hpp"

#include <algorithm>
#include <fstream>
#include <iostream>

#include "app/cli.hpp"
#include "app/flow.hpp"
#include "eeprom/file.hpp"

namespace ulo {

namespace {

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

// The range of a value is judged in the image as it will be saved, so that the order of the
// assignments does not matter ("crank_pulses=36 crank_offset=10.0" and the other way round).
// Values whose range depends on a rejected one are not judged.
bool judge(const Wert& after, std::vector<Assignment>& all, std::ostream& err) {
    bool ok = true;
    for (int pass = 0; pass < 2; ++pass) {
        for (Assignment& a : all) {
            bool dependent = false, base_rejected = false;
            for (const Assignment& b : all) {
                if (&b == &a || !depends_on(after, a.item, b.item)) continue;
                dependent = true;
                base_rejected = base_rejected || b.rejected;
            }
            if (dependent != (pass == 1) || base_rejected) continue;
            if (in_range(after, a.item, a.value)) continue;
            err << "ulocfg: " << a.text << " rejected: the field takes " << allowed(after, a.item)
                << "\n";
            a.rejected = true;
            ok = false;
        }
    }
    return ok;
}

bool given(const std::vector<Assignment>& all, Item item) {
    return std::any_of(all.begin(), all.end(), [&](const Assignment& a) { return a.item == item; });
}

} // namespace

bool add_assignment(std::vector<Assignment>& all, const std::string& text, std::string_view name,
                    std::string_view value, std::ostream& err) {
    Assignment a{text, {}, {}};
    std::string why;
    if (!parse_item(name, a.item, why)) {
        err << "ulocfg: " << text << " rejected: " << why << " " << name << "\n";
        return false;
    }
    if (given(all, a.item)) {
        err << "ulocfg: " << text << " rejected: " << name << " is given twice\n";
        return false;
    }
    if (!parse_value(a.item, value, a.value, why)) {
        err << "ulocfg: " << text << " rejected: " << name << " " << why << "\n";
        return false;
    }
    all.push_back(a);
    return true;
}

int assign(const std::string& path, std::vector<Assignment>& all, bool readable,
           std::ostream& err) {
    Wert before{};
    if (int status = load(path, before, err)) return status;
    Wert after = before;
    for (const Assignment& a : all) write_value(after, a.item, a.value);
    if (!judge(after, all, err) || !readable) return status_rejected;
    if (all.empty()) return status_ok; // a parameter file of comments only: nothing to save

    // A value that was not given may now lie outside its field's range, as the editor also
    // allows (an offset beyond the spacing of a pulse count just raised): say so.
    for (Item item : shown_items(after)) {
        if (in_range(after, item, read_value(after, item)) || given(all, item)) continue;
        const bool ramp_point = param(item.id).group == Group::ramp_point;
        const bool was_shown = !ramp_point || item.index <= ramp_points(before);
        if (was_shown && !in_range(before, item, read_value(before, item))) continue;
        err << "ulocfg: note: " << show_line(after, item) << ": the field takes "
            << allowed(after, item) << "\n";
    }

    switch (save_image(path, after)) {
    case SaveResult::saved: return status_ok;
    case SaveResult::cannot_open:
        err << "ulocfg: cannot open " << path << " for writing; it is unchanged\n";
        return status_cannot_open;
    case SaveResult::cannot_write:
        err << "ulocfg: cannot write " << path << "; it is unchanged\n";
        return status_cannot_open;
    }
    return status_cannot_open;
}

int apply_lines(std::istream& lines, const std::string& source, const std::string& path,
                std::ostream& err) {
    std::vector<Assignment> all;
    bool readable = true;
    std::string line;
    for (unsigned number = 1; std::getline(lines, line); ++number) {
        // A file edited on Windows ends its lines with a carriage return as well.
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::string_view text = trim(line);
        // Only whole lines are comments: a wheel name may hold a #.
        if (text.empty() || text.front() == '#') continue;
        const std::string where = source + ":" + std::to_string(number) + ": " + std::string(text);
        const std::size_t equals = text.find('=');
        if (equals == std::string_view::npos) {
            err << "ulocfg: " << where << " rejected: a line is NAME = VALUE\n";
            readable = false;
            continue;
        }
        if (!add_assignment(all, where, trim(text.substr(0, equals)), text.substr(equals + 1),
                            err))
            readable = false;
    }
    if (lines.bad()) {
        err << "ulocfg: cannot read " << source << "\n";
        return status_cannot_open;
    }
    return assign(path, all, readable, err);
}

int apply_file(const std::string& params, const std::string& path, std::ostream& err) {
    if (params == "-") return apply_lines(std::cin, "stdin", path, err);
    std::ifstream in(params, std::ios::binary);
    if (!in) {
        err << "ulocfg: cannot open " << params << "\n";
        return status_cannot_open;
    }
    return apply_lines(in, params, path, err);
}

} // namespace ulo
