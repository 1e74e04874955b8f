#include "screen/screen.hpp"

#include <optional>
#include <string>

#include "eeprom/values.hpp"

namespace ulo {

namespace {

using enum ParamId;

// One item of the screen: its label from column x of row y, then spaces up to `column`, where
// the value goes, right-aligned in `width` columns (a wider value pushes the rest right), then
// `after`: the unit and the spaces that clear what a longer value left. A parameter's value is
// written as the value codec shows it; the ramp point and the CAN id as digits filled with 0.
struct ScreenItem {
    unsigned x, y;
    const char* label;
    unsigned column, width;
    const char* after;            // "°" is the code page 437 byte 0xF8
    std::optional<ParamId> value; // none for the ramp point number
    char fill = ' ';
};

constexpr char zeros = '0';

// The 39 items in the order they are drawn.
// clang-format off
constexpr ScreenItem items[] = {
    {0, 0, nullptr, 0, 0, nullptr, std::nullopt}, // items count from 1
    {2, 5, "Last menu used:", 29, 2, " ", last_menu},
    {2, 6, "Edit mode protected:", 28, 3, "", edit_mode_bit},
    {40, 5, "Brightness:", 68, 3, " %", brightness},
    {40, 6, "Contrast:", 67, 4, "", contrast},
    {2, 8, "Wheel speed config no.:", 29, 2, " ", wheel_select},
    {2, 9, "Write protection:", 28, 3, "", write_protection},
    {40, 8, "", 40, 0, "", name}, // the quoted wheel name
    {70, 8, "", 70, 0, " Cyl. ", cylinders},
    {40, 9, "TDC cyl.:", 57, 1, " ", tdc_cyl},
    {60, 9, "Width:", 69, 2, " \xF8" "Cam ", tdc_width},
    {40, 10, "Inversion Cam:", 55, 3, "", cam_inversion},
    {60, 10, "Crank:", 68, 3, "", crank_flag},
    {40, 12, "Crank Pulses:", 55, 3, "", crank_pulses},
    {60, 12, "Width:", 68, 3, " \xF8" "Crank ", crank_width},
    {40, 13, "Offset Crank to TDC:", 66, 5, " \xF8" "Crank   ", crank_offset},
    {40, 14, "Phase Gap to TDC:", 66, 5, " \xF8" "Crank   ", gap_phase},
    {40, 15, "Gap Pulses:", 56, 2, " ", gap_pulses},
    {60, 15, "No Gaps:", 70, 1, " ", gap_count},
    {40, 17, "Cam Pulses:", 55, 3, "", cam_pulses},
    {60, 17, "Width:", 67, 4, " \xF8" "Cam ", cam_width}, // in tenths; see form_of
    {40, 18, "Offset Cam to TDC:", 66, 5, " \xF8" "Cam ", cam_offset},
    {40, 19, "Phase Sync to TDC:", 66, 5, " \xF8" "Cam ", sync_phase},
    {40, 20, "Sync Pulses:", 56, 2, " ", sync_pulses},
    {2, 10, "Max Poti Speed:", 27, 4, " rpm ", max_poti_speed},
    {2, 11, "Number of Ramp Points:", 29, 2, "", ramp_points},
    {2, 12, "", 2, 2, ":", std::nullopt, zeros}, // the ramp point on the screen
    {6, 12, "Time:", 12, 5, "s ", ramp_time},
    {20, 12, "Speed:", 27, 4, " rpm ", ramp_speed},
    {2, 14, "VSS Pulses per km:", 26, 5, "", vss_pulses_per_km},
    {2, 15, "VSS Pulswidth:", 27, 4, " ms ", vss_pulse_width},
    {2, 17, "Aux Speed Pulses/Rot.:", 28, 3, "  ", aux_speed_pulses},
    {2, 18, "Aux Speed Pulswidth:", 28, 3, " %  ", aux_speed_pulse_width},
    {2, 20, "LIS Inversion:", 27, 4, "", lis_inversion},
    {2, 21, "LIS Lower Threshold:", 27, 4, " mV ", lis_lower_threshold},
    {2, 22, "LIS Upper Threshold:", 27, 4, " mV ", lis_upper_threshold},
    {2, 23, "Kickdown Threshold:", 27, 4, " mV ", kickdown_threshold},
    {40, 22, "First High Frequency:", 66, 5, " Hz", first_high_frequency},
    {40, 23, "Second High Frequency:", 66, 5, " Hz", second_high_frequency},
    {2, 25, "CAN 29-bit ID:", 20, 2, " hex", can_id, zeros}, // four bytes, 1539 first
};
// clang-format on
static_assert(sizeof items / sizeof items[0] == 40);

// The item that shows `shows`. Every parameter, up to can_id, the last, and the ramp point's
// number are on the screen, each once: 39 items.
constexpr int item_showing(Shows shows) {
    for (int k = 1; k < static_cast<int>(std::size(items)); ++k)
        if (items[k].value == shows) return k;
    return 0;
}
constexpr bool each_shown_once() {
    int found = 0;
    for (int id = 0; id <= static_cast<int>(can_id); ++id)
        found += item_showing(static_cast<ParamId>(id)) != 0;
    return found == static_cast<int>(can_id) + 1 && item_showing(std::nullopt) != 0;
}
static_assert(each_shown_once());

constexpr int name_item = item_showing(name);
constexpr int cam_width_item = item_showing(cam_width);
constexpr int can_item = item_showing(can_id);

// Where a value goes and in how many columns.
struct Form {
    unsigned column, width;
};

// The CAN id's bytes, two digits and a space each: "18 DA F1 10".
constexpr unsigned can_byte_columns = 3;
constexpr unsigned can_bytes = 4;

// cam_width in whole degrees ("  13") stands one column to the right of its tenths (" 3.0").
Form form_of(int k, const Wert& w) {
    const Form form{items[k].column, items[k].width};
    if (k == cam_width_item &&
        cam_width_in_degrees(static_cast<unsigned>(get(w, cam_width, selected_wheel(w)))))
        return {form.column + 1, form.width - 1};
    return form;
}

std::string hex_byte(unsigned b) {
    constexpr char digits[] = "0123456789ABCDEF";
    return {digits[b >> 4 & 0xF], digits[b & 0xF]};
}

// The address of the CAN id's byte `can_byte`, 1 for the most significant (1539) to 4.
unsigned can_byte_address(unsigned can_byte) {
    return param_address(param(can_id), 0) + can_bytes - can_byte;
}

// The value item k shows: configuration `wheel`'s, ramp point `ramp`'s.
Item shown_item(int k, unsigned wheel, unsigned ramp) {
    const Param& p = param(*items[k].value);
    const unsigned index = p.group == Group::wheel        ? wheel
                           : p.group == Group::ramp_point ? ramp
                                                          : 0;
    return {p.id, index};
}

// Item k's value as the screen writes it, before it is aligned, for configuration `wheel` and
// ramp point `ramp`; of the CAN id byte `can_byte` (1 for the most significant, 1539), or all
// four bytes for 0.
std::string value_text(int k, const Wert& w, unsigned wheel, unsigned ramp, unsigned can_byte) {
    const ScreenItem& item = items[k];
    if (!item.value) return std::to_string(ramp);
    if (k == can_item) {
        if (can_byte != 0) return hex_byte(byte(w, can_byte_address(can_byte)));
        std::string text;
        for (unsigned j = 1; j <= can_bytes; ++j) {
            if (j > 1) text += ' ';
            text += hex_byte(byte(w, can_byte_address(j)));
        }
        return text;
    }
    const Item value = shown_item(k, wheel, ramp);
    return visible(value, read_value(w, value));
}

std::string value_text(int k, const Wert& w, unsigned ramp, unsigned can_byte) {
    return value_text(k, w, selected_wheel(w), ramp, can_byte);
}

// Whether item k's value (of the CAN id, byte `can_byte`) differs from the reference's. The
// ramp point's number is no value of the image and never differs.
bool differs(int k, const Wert& w, unsigned ramp, const Wert* reference, unsigned can_byte) {
    if (reference == nullptr || !items[k].value) return false;
    if (k == can_item) {
        const unsigned a = can_byte_address(can_byte);
        return byte(w, a) != byte(*reference, a);
    }
    const Item value = shown_item(k, selected_wheel(w), ramp);
    return read_value(w, value) != read_value(*reference, value);
}

// Writes a value in yellow where it differs, in light grey otherwise.
void put_value(Console& con, const std::string& text, bool marked) {
    if (marked) textcolor(con, yellow);
    put_bytes(con, text);
    if (marked) textcolor(con, light_grey);
}

// The text right-aligned in `width` columns, filled on the left with `fill`.
std::string aligned(std::string text, unsigned width, char fill) {
    if (text.size() < width) text.insert(0, width - text.size(), fill);
    return text;
}

} // namespace

void title_box(Console& con) {
    std::string line(59, '\xCD');
    cprintf(con, " \xC9%s\xBB\n\r", line.c_str());
    cprintf(con, " \xBA %-35s%23s\xBA\n\r", "EEPROM Configtool for ULO SW V2.4.x", "");
    cprintf(con, " \xC8%s\xBC\n\r\n", line.c_str());
}

void write_name(Console& con, const Wert& wert, unsigned n) {
    cprintf(con, "\"");
    for (unsigned p = 1; p <= wheel_name_length; ++p) cprintf(con, "%c", name_char(wert, n, p));
    cprintf(con, "\"");
}

void screen(Console& con, const Wert& w, unsigned ramp, const Wert* reference) {
    textcolor(con, light_grey);
    for (int k = 1; k < static_cast<int>(std::size(items)); ++k) {
        const ScreenItem& item = items[k];
        gotoxy(con, item.x, item.y);
        if (k == name_item) {
            const bool marked = differs(k, w, ramp, reference, 0);
            if (marked) textcolor(con, yellow);
            write_name(con, w, selected_wheel(w));
            if (marked) textcolor(con, light_grey);
            continue;
        }
        const Form form = form_of(k, w);
        const std::string label = item.label;
        put_bytes(con, label + std::string(form.column - item.x - label.size(), ' '));
        if (k == can_item) {
            // byte by byte, each marked on its own: "18 DA F1 10"
            for (unsigned j = 1; j <= can_bytes; ++j) {
                if (j > 1) put_bytes(con, " ");
                put_value(con, value_text(k, w, ramp, j), differs(k, w, ramp, reference, j));
            }
        } else {
            put_value(con, aligned(value_text(k, w, ramp, 0), form.width, item.fill),
                      differs(k, w, ramp, reference, 0));
        }
        put_bytes(con, item.after);
    }
}

void write_item_value(Console& con, const Wert& w, unsigned ramp, Shows shows, unsigned can_byte,
                      bool unit) {
    const int k = item_showing(shows);
    const ScreenItem& item = items[k];
    if (k == name_item) {
        gotoxy(con, item.x, item.y);
        write_name(con, w, selected_wheel(w));
        return;
    }
    const Form form = form_of(k, w);
    const unsigned column = form.column + (can_byte == 0 ? 0 : (can_byte - 1) * can_byte_columns);
    gotoxy(con, column, item.y);
    put_bytes(con, aligned(value_text(k, w, ramp, can_byte), form.width, item.fill));
    if (unit) put_bytes(con, item.after);
}

unsigned item_row(Shows shows) { return items[item_showing(shows)].y; }

std::string item_text(const Wert& w, unsigned wheel, unsigned ramp, Shows shows,
                      unsigned can_byte) {
    const int k = item_showing(shows);
    if (k == name_item) {
        std::string text = "\"";
        for (unsigned p = 1; p <= wheel_name_length; ++p)
            text += static_cast<char>(name_char(w, wheel, p));
        return text + "\"";
    }
    std::string text = value_text(k, w, wheel, ramp, can_byte);
    if (k == can_item && can_byte != 0) return text;
    std::string after = items[k].after;
    after.erase(after.find_last_not_of(' ') + 1);
    return text + after;
}

} // namespace ulo
