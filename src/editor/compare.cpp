// Comparing with a reference (--compare REF, --changes): the keys that take its values and go
// to the fields that differ, the box beside the title and the help that name them.
#include <optional>
#include <string>
#include <vector>

#include "editor/editor.hpp"
#include "screen/screen.hpp"

namespace ulo {

namespace {

bool is_can_field(int f) { return f >= field::can_id_1 && f <= field::can_id_4; }

// The value field `f` edits: of the selected configuration, of ramp point `point`.
Item field_item(const Wert& w, const Param& p, unsigned point) {
    const unsigned index = p.group == Group::wheel        ? selected_wheel(w)
                           : p.group == Group::ramp_point ? point
                                                          : 0;
    return {p.id, index};
}

// F5: the reference's value into the current field, and nothing else of the image. The next
// digit types a new value.
void take_value(Editor& ed, Wert& w) {
    const Wert& ref = ed.reference->wert;
    if (is_can_field(ed.mode)) {
        const unsigned a = can_byte_address(ed.mode);
        set_byte(w, a, byte(ref, a));
    } else if (const Param* p = field_param(ed.mode)) {
        const Item item = field_item(w, *p, ed.ramp);
        write_value(w, item, read_value(ref, item));
    } else {
        return; // the ramp point's number is no value of the image
    }
    if (ed.mode != field::name) ed.start = 1; // in the name, `start` is the name cursor
}

// A place F6 can go to: a field, and for the ramp's time and speed the point shown.
struct Place {
    int field;
    unsigned point = 0;
};

// The places in the order F6 visits them: the fields by number, the ramp point's number left
// out, and the time and speed of points 1 to 99 one point after the other in place of the
// time and speed fields.
const std::vector<Place>& places() {
    static const std::vector<Place> all = [] {
        std::vector<Place> v;
        for (int f = 0; f < field_count; ++f) {
            if (f == field::ramp_point || f == field::ramp_speed) continue;
            if (f != field::ramp_time) {
                v.push_back({f});
                continue;
            }
            for (unsigned r = 1; r <= ramp_table_points; ++r) {
                v.push_back({field::ramp_time, r});
                v.push_back({field::ramp_speed, r});
            }
        }
        return v;
    }();
    return all;
}

std::size_t place_of(int f, unsigned point) {
    const std::vector<Place>& all = places();
    for (std::size_t i = 0; i < all.size(); ++i)
        if (all[i].field == f && all[i].point == point) return i;
    return 0;
}

// F6 and Shift+F6: the next place whose value differs, or none when no other does. On the
// ramp point's number the search starts before the time of the point shown, so that F6 visits
// that point first.
std::optional<Place> next_difference(const Editor& ed, const Wert& w, bool forward) {
    const std::vector<Place>& all = places();
    const std::size_t n = all.size();
    const bool ramp_field = ed.mode == field::ramp_time || ed.mode == field::ramp_speed;
    const bool between = ed.mode == field::ramp_point;
    Editor left = ed;
    leave_ramp_point(left); // not point 0, which is only there while it is typed
    const std::size_t here = between ? place_of(field::ramp_time, left.ramp)
                                     : place_of(ed.mode, ramp_field ? ed.ramp : 0);
    for (std::size_t step = between && forward ? 0 : 1; step <= n; ++step) {
        const std::size_t i = forward ? (here + step) % n : (here + n - step % n) % n;
        if (!between && i == here) break;
        if (field_differs(ed, w, all[i].field, all[i].point)) return all[i];
    }
    return std::nullopt;
}

// Leaves the field as a cursor key does, for the next or previous place that differs.
void go_to_difference(Editor& ed, Wert& w, bool forward) {
    const std::optional<Place> to = next_difference(ed, w, forward);
    if (!to) return;
    leave(ed, w);
    ed.mode = to->field;
    if (to->point != 0) ed.ramp = to->point;
    ed.start = 1;
}

// The name cut to `width` columns from the left, "..." in front: the end names the file.
std::string shortened(const std::string& name, std::size_t width) {
    if (name.size() <= width) return name;
    return "..." + name.substr(name.size() - (width - 3));
}

std::string count_text(unsigned count) {
    if (count == 0) return "none differ";
    return std::to_string(count) + (count == 1 ? " differs" : " differ");
}

// Writes the text into the cells from column x of row y to column 80, spaces after it; straight
// into the cells, so that no byte acts as a control and the cursor stays.
void put_cells(Console& con, int x, int y, const std::string& text) {
    const std::uint8_t attr = static_cast<std::uint8_t>((con.attr & 0x70u) | light_grey);
    for (int col = x; col <= console_width; ++col) {
        const std::size_t k = static_cast<std::size_t>(col - x);
        cell(con, col, y) = Cell{static_cast<std::uint8_t>(k < text.size() ? text[k] : ' '), attr};
    }
}

} // namespace

bool field_differs(const Editor& ed, const Wert& w, int f, unsigned point) {
    if (!ed.reference) return false;
    const Wert& ref = ed.reference->wert;
    if (is_can_field(f)) {
        const unsigned a = can_byte_address(f);
        return byte(w, a) != byte(ref, a);
    }
    const Param* p = field_param(f);
    if (p == nullptr) return false;
    const Item item = field_item(w, *p, point);
    return read_value(w, item) != read_value(ref, item);
}

bool reference_key(Editor& ed, Wert& w) {
    if (!ed.reference) return false;
    switch (ed.letter) {
    case key::f5: take_value(ed, w); return true;
    case key::f6: go_to_difference(ed, w, true); return true;
    case key::shift_f6: go_to_difference(ed, w, false); return true;
    default: return false;
    }
}

unsigned differing_parameters(const Wert& a, const Wert& b) {
    unsigned count = 0;
    for (Item item : every_item()) count += read_value(a, item) != read_value(b, item);
    return count;
}

void reference_box(Console& con, const Editor& ed, const Wert& w, bool field) {
    constexpr int x = 64, width = console_width - x + 1;
    const Reference& ref = *ed.reference;
    std::string value;
    const Param* p = field_param(ed.mode);
    if (field && p != nullptr) {
        const unsigned can_byte =
            is_can_field(ed.mode) ? static_cast<unsigned>(ed.mode - field::can_id_1 + 1) : 0;
        // the configuration and ramp point the screen shows, of the reference
        value = item_text(ref.wert, selected_wheel(w), ed.ramp, p->id, can_byte);
    }
    put_cells(con, x, 1, shortened(ref.name, width));
    put_cells(con, x, 2, value.substr(0, width));
    put_cells(con, x, 3, count_text(differing_parameters(w, ref.wert)));
}

std::vector<std::string> differences_help(const Editor& ed, const Wert& w) {
    const Reference& ref = *ed.reference;
    const unsigned count = differing_parameters(w, ref.wert);
    if (count == 0) return {"none differ from " + ref.name};
    std::vector<std::string> lines{count_text(count) + " from " + ref.name +
                                   " (its value -> now):"};
    for (Item item : every_item()) {
        const Value then = read_value(ref.wert, item), now = read_value(w, item);
        if (then != now)
            lines.push_back(item_name(item) + ": " + format_value(item, then) + " -> " +
                            format_value(item, now));
    }
    return lines;
}

} // namespace ulo
