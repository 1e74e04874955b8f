#include "screen/screen.hpp"

namespace ulo {

namespace {

struct Item {
    unsigned x, y;      // where the format's first character goes
    const char* format; // exact text; "°" is the code page 437 byte 0xF8
};

// The 39 items in the order they are drawn. Items 3 and 32 end in a percent sign that starts
// no conversion; the console writes it literally.
constexpr Item items[] = {
    {0, 0, nullptr}, // items count from 1
    {2, 5, "Last menu used:            %2u "},
    {2, 6, "Edit mode protected:      %3s"},
    {40, 5, "Brightness:                 %3u %"},
    {40, 6, "Contrast:                  %4s"},
    {2, 8, "Wheel speed config no.:    %2u "},
    {2, 9, "Write protection:         %3s"},
    {40, 8, nullptr}, // the quoted wheel name
    {70, 8, "%u Cyl. "},
    {40, 9, "TDC cyl.:        %1u "},
    {60, 9, "Width:   %2u \xF8" "Cam "},
    {40, 10, "Inversion Cam: %3s"},
    {60, 10, "Crank:  %3s"},
    {40, 12, "Crank Pulses:  %3u"},
    {60, 12, "Width:  %3.1f \xF8" "Crank "},
    {40, 13, "Offset Crank to TDC:      %5.1f \xF8" "Crank   "},
    {40, 14, "Phase Gap to TDC:         %5.1f \xF8" "Crank   "},
    {40, 15, "Gap Pulses:     %2i "},
    {60, 15, "No Gaps:  %1u "},
    {40, 17, "Cam Pulses:    %3u"},
    {60, 17, nullptr}, // cam_width, in one of two forms
    {40, 18, "Offset Cam to TDC:        %5.1f \xF8" "Cam "},
    {40, 19, "Phase Sync to TDC:        %5.1f \xF8" "Cam "},
    {40, 20, "Sync Pulses:    %2i "},
    {2, 10, "Max Poti Speed:          %4u rpm "},
    {2, 11, "Number of Ramp Points:     %2u"},
    {2, 12, "%02u:"},
    {6, 12, "Time: %5.2fs "},
    {20, 12, "Speed: %4u rpm "},
    {2, 14, "VSS Pulses per km:      %5u"},
    {2, 15, "VSS Pulswidth:           %4u ms "},
    {2, 17, "Aux Speed Pulses/Rot.:    %3u  "},
    {2, 18, "Aux Speed Pulswidth:      %3u %  "},
    {2, 20, "LIS Inversion:           %4s"},
    {2, 21, "LIS Lower Threshold:     %4u mV "},
    {2, 22, "LIS Upper Threshold:     %4u mV "},
    {2, 23, "Kickdown Threshold:      %4u mV "},
    {40, 22, "First High Frequency:     %5u Hz"},
    {40, 23, "Second High Frequency:    %5u Hz"},
    {2, 25, "CAN 29-bit ID:    %02X %02X %02X %02X hex"},
};
static_assert(sizeof items / sizeof items[0] == 40);

template <typename... Args> void item(Console& con, int k, Args... args) {
    gotoxy(con, items[k].x, items[k].y);
    cprintf(con, items[k].format, args...);
}

const char* yes_no(bool b) { return b ? "yes" : "no"; }

} // namespace

void title_box(Console& con) {
    std::string line(59, '\xCD');
    cprintf(con, " \xC9%s\xBB\n\r", line.c_str());
    cprintf(con, " \xBA %-35s%23s\xBA\n\r", "EEPROM Configtool for ULO SW V2.4.x", "");
    cprintf(con, " \xC8%s\xBC\n\r\n", line.c_str());
}

void write_name(Console& con, const Wert& wert, unsigned n) {
    cprintf(con, "\"");
    for (unsigned p = 1; p <= 16; ++p) cprintf(con, "%c", name_char(wert, n, p));
    cprintf(con, "\"");
}

void screen(Console& con, const Wert& w, unsigned ramp) {
    const unsigned n = selected_wheel(w);
    textcolor(con, light_grey);
    item(con, 1, last_menu(w));
    item(con, 2, edit_mode_bit(w) ? "off" : "on");
    item(con, 3, brightness_percent(brightness(w)));
    item(con, 4, contrast_high(contrast(w)) ? "high" : "low");
    item(con, 5, n + 1);
    item(con, 6, yes_no(write_protection(w, n)));
    gotoxy(con, items[7].x, items[7].y);
    write_name(con, w, n);
    item(con, 8, cylinders(w, n));
    item(con, 9, tdc_cyl(w));
    item(con, 10, tdc_width(w, n));
    item(con, 11, yes_no(cam_inversion(w, n)));
    item(con, 12, yes_no(crank_flag(w, n)));
    item(con, 13, crank_pulses(w, n));
    item(con, 14, tenths(crank_width(w, n)));
    item(con, 15, tenths(crank_offset(w, n)));
    item(con, 16, tenths(gap_phase(w, n)));
    item(con, 17, gap_pulses(w, n));
    item(con, 18, gap_count(w, n));
    item(con, 19, cam_pulses(w, n));
    gotoxy(con, items[20].x, items[20].y);
    const unsigned cw = cam_width(w, n);
    if (cam_width_in_degrees(cw))
        cprintf(con, "Width:  %3u \xF8" "Cam ", cam_width_degrees(cw));
    else
        cprintf(con, "Width: %4.1f \xF8" "Cam ", tenths(cw));
    item(con, 21, tenths(cam_offset(w, n)));
    item(con, 22, tenths(sync_phase(w, n)));
    item(con, 23, sync_pulses(w, n));
    item(con, 24, halved(max_poti_speed(w)));
    item(con, 25, ramp_points(w));
    item(con, 26, ramp);
    item(con, 27, hundredths(ramp_time(w, ramp)));
    item(con, 28, halved(ramp_speed(w, ramp)));
    item(con, 29, vss_pulses_per_km(w));
    item(con, 30, vss_pulse_width(w));
    item(con, 31, aux_speed_pulses(w));
    item(con, 32, aux_speed_pulse_width(w));
    item(con, 33, lis_inversion(w) == 0 ? "norm" : "inv");
    item(con, 34, lis_lower_threshold(w));
    item(con, 35, lis_upper_threshold(w));
    item(con, 36, kickdown_threshold(w));
    item(con, 37, first_high_frequency(w));
    item(con, 38, second_high_frequency(w));
    item(con, 39, can_byte(w, 3), can_byte(w, 2), can_byte(w, 1), can_byte(w, 0));
}

} // namespace ulo
