#include "screen/screen.hpp"

#include <cctype>
#include <optional>
#include <string>

#include "eeprom/params.hpp"

namespace ulo {

namespace {

using enum ParamId;

struct Item {
    unsigned x, y;      // where the format's first character goes
    const char* format; // exact text; "°" is the code page 437 byte 0xF8
    std::optional<ParamId> value; // none for the ramp point number
};

// The 39 items in the order they are drawn. Items 3 and 32 end in a percent sign that starts
// no conversion; the console writes it literally.
constexpr Item items[] = {
    {0, 0, nullptr, std::nullopt}, // items count from 1
    {2, 5, "Last menu used:            %2u ", last_menu},
    {2, 6, "Edit mode protected:      %3s", edit_mode_bit},
    {40, 5, "Brightness:                 %3u %", brightness},
    {40, 6, "Contrast:                  %4s", contrast},
    {2, 8, "Wheel speed config no.:    %2u ", wheel_select},
    {2, 9, "Write protection:         %3s", write_protection},
    {40, 8, nullptr, name}, // the quoted wheel name
    {70, 8, "%u Cyl. ", cylinders},
    {40, 9, "TDC cyl.:        %1u ", tdc_cyl},
    {60, 9, "Width:   %2u \xF8" "Cam ", tdc_width},
    {40, 10, "Inversion Cam: %3s", cam_inversion},
    {60, 10, "Crank:  %3s", crank_flag},
    {40, 12, "Crank Pulses:  %3u", crank_pulses},
    {60, 12, "Width:  %3.1f \xF8" "Crank ", crank_width},
    {40, 13, "Offset Crank to TDC:      %5.1f \xF8" "Crank   ", crank_offset},
    {40, 14, "Phase Gap to TDC:         %5.1f \xF8" "Crank   ", gap_phase},
    {40, 15, "Gap Pulses:     %2i ", gap_pulses},
    {60, 15, "No Gaps:  %1u ", gap_count},
    {40, 17, "Cam Pulses:    %3u", cam_pulses},
    {60, 17, nullptr, cam_width}, // in one of two forms
    {40, 18, "Offset Cam to TDC:        %5.1f \xF8" "Cam ", cam_offset},
    {40, 19, "Phase Sync to TDC:        %5.1f \xF8" "Cam ", sync_phase},
    {40, 20, "Sync Pulses:    %2i ", sync_pulses},
    {2, 10, "Max Poti Speed:          %4u rpm ", max_poti_speed},
    {2, 11, "Number of Ramp Points:     %2u", ramp_points},
    {2, 12, "%02u:", std::nullopt}, // the ramp point on the screen
    {6, 12, "Time: %5.2fs ", ramp_time},
    {20, 12, "Speed: %4u rpm ", ramp_speed},
    {2, 14, "VSS Pulses per km:      %5u", vss_pulses_per_km},
    {2, 15, "VSS Pulswidth:           %4u ms ", vss_pulse_width},
    {2, 17, "Aux Speed Pulses/Rot.:    %3u  ", aux_speed_pulses},
    {2, 18, "Aux Speed Pulswidth:      %3u %  ", aux_speed_pulse_width},
    {2, 20, "LIS Inversion:           %4s", lis_inversion},
    {2, 21, "LIS Lower Threshold:     %4u mV ", lis_lower_threshold},
    {2, 22, "LIS Upper Threshold:     %4u mV ", lis_upper_threshold},
    {2, 23, "Kickdown Threshold:      %4u mV ", kickdown_threshold},
    {40, 22, "First High Frequency:     %5u Hz", first_high_frequency},
    {40, 23, "Second High Frequency:    %5u Hz", second_high_frequency},
    {2, 25, "CAN 29-bit ID:    %02X %02X %02X %02X hex", can_id}, // byte 1539 first
};
static_assert(sizeof items / sizeof items[0] == 40);

constexpr int cam_width_item = 20;
constexpr int name_item = 7;
constexpr int can_item = 39;

// Item 20 in its two forms: whole degrees, or tenths.
constexpr const char* cam_width_degrees_format = "Width:  %3u \xF8" "Cam ";
constexpr const char* cam_width_tenths_format = "Width: %4.1f \xF8" "Cam ";

// The format an item is drawn with in this image.
const char* format_of(int k, const Wert& w) {
    if (k != cam_width_item) return items[k].format;
    const auto b = static_cast<unsigned>(get(w, cam_width, selected_wheel(w)));
    return cam_width_in_degrees(b) ? cam_width_degrees_format : cam_width_tenths_format;
}

// The value of a parameter through a format, converted as the screen shows it.
void print_value(Console& con, const char* format, const Param& p, long long v) {
    if (const Words* w = words(p.shown)) {
        cprintf(con, format, shows_first(*w, v) ? w->first : w->second);
        return;
    }
    switch (p.shown) {
    case Shown::tenths: cprintf(con, format, v * 0.1); break;
    case Shown::hundredths: cprintf(con, format, v * 0.01); break;
    case Shown::cam_forms:
        if (cam_width_in_degrees(static_cast<unsigned>(v)))
            cprintf(con, format, static_cast<unsigned>(shown_number(p, v)));
        else
            cprintf(con, format, v * 0.1);
        break;
    default:
        if (p.is_signed)
            cprintf(con, format, static_cast<int>(v));
        else
            cprintf(con, format, static_cast<unsigned>(shown_number(p, v)));
        break;
    }
}

// Writes item k's value through `format`, the item's whole format or one of its conversions.
void print_item(Console& con, const char* format, const Wert& w, unsigned ramp, int k,
                int conversion) {
    const Item& item = items[k];
    if (!item.value) {
        cprintf(con, format, ramp);
        return;
    }
    const Param& p = param(*item.value);
    if (k == can_item) {
        // The four bytes, the most significant (1539) first.
        const unsigned a = param_address(p, 0);
        if (conversion == 0)
            cprintf(con, format, byte(w, a + 3), byte(w, a + 2), byte(w, a + 1), byte(w, a));
        else
            cprintf(con, format, byte(w, a + 4 - static_cast<unsigned>(conversion)));
        return;
    }
    const unsigned index = p.group == Group::wheel ? selected_wheel(w) : ramp;
    print_value(con, format, p, get(w, p.id, index));
}

// Conversion `conversion` of a format ("%5.1f"), and the column offset where what it writes
// starts. Earlier conversions write as many columns as their width says ("%02X": 2).
std::string conversion_at(const char* format, int conversion, unsigned& offset) {
    const std::string f = format;
    std::size_t at = std::string::npos, end = 0;
    offset = 0;
    for (int c = 0; c < conversion; ++c) {
        at = f.find('%', end);
        offset += static_cast<unsigned>(at - end);
        end = at + 1;
        while (end < f.size() && !std::isalpha(static_cast<unsigned char>(f[end]))) ++end;
        ++end;
        if (c + 1 < conversion) offset += static_cast<unsigned>(std::stoi(f.substr(at + 1)));
    }
    return f.substr(at, end - at);
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

void screen(Console& con, const Wert& w, unsigned ramp) {
    textcolor(con, light_grey);
    for (int k = 1; k < static_cast<int>(std::size(items)); ++k) {
        gotoxy(con, items[k].x, items[k].y);
        if (k == name_item)
            write_name(con, w, selected_wheel(w));
        else
            print_item(con, format_of(k, w), w, ramp, k, 0);
    }
}

void write_item_value(Console& con, const Wert& w, unsigned ramp, int k, int conversion,
                      const char* after) {
    if (k == name_item) {
        gotoxy(con, items[k].x, items[k].y);
        write_name(con, w, selected_wheel(w));
        return;
    }
    unsigned offset = 0;
    const std::string format = conversion_at(format_of(k, w), conversion, offset) + after;
    gotoxy(con, items[k].x + offset, items[k].y);
    print_item(con, format.c_str(), w, ramp, k, conversion);
}

unsigned item_row(int k) { return items[k].y; }

} // namespace ulo
