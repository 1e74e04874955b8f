// Shared by the unit tests: the example device image and ways to read the console model.
#pragma once

#include <string>
#include <vector>

#include "console/console.hpp"
#include "eeprom/image.hpp"

namespace ulo::test {

// Configuration 1 "60-2 Crank", ramp point 1 of 5, CAN id 18DAF110: the image whose first
// screen is the one the device's manual shows.
inline Wert example_image() {
    Wert w{};
    set_last_menu(w, 3);
    set_brightness(w, 50);
    set_contrast(w, 100);
    set_wheel_select(w, 0);
    set_ramp_points(w, 5);
    set_max_poti_speed(w, 12000);
    set_edit_mode_bit(w, false);
    set_tdc_cyl(w, 1);
    set_lis_lower_threshold(w, 800);
    set_lis_upper_threshold(w, 3600);
    set_kickdown_threshold(w, 4000);
    set_first_high_frequency(w, 0);
    set_second_high_frequency(w, 1000);
    set_vss_pulses_per_km(w, 4000);
    set_vss_pulse_width(w, 10);
    set_aux_speed_pulses(w, 4);
    set_aux_speed_pulse_width(w, 50);
    set_cylinders(w, 0, 4);
    set_tdc_width(w, 0, 30);
    set_crank_pulses(w, 0, 60);
    set_crank_width(w, 0, 30);
    set_crank_offset(w, 0, 1200);
    set_gap_pulses(w, 0, 1);
    set_gap_count(w, 0, 2);
    set_cam_pulses(w, 0, 1);
    set_cam_width(w, 0, 30);
    set_sync_phase(w, 0, 900);
    set_sync_pulses(w, 0, 1);
    const std::string name = "60-2 Crank      ";
    for (unsigned p = 1; p <= 16; ++p) set_name_char(w, 0, p, static_cast<unsigned char>(name[p - 1]));
    set_ramp_time(w, 1, 250);
    set_ramp_speed(w, 1, 2000);
    set_can_byte(w, 3, 0x18);
    set_can_byte(w, 2, 0xDA);
    set_can_byte(w, 1, 0xF1);
    set_can_byte(w, 0, 0x10);
    return w;
}

// The example screen, rows 1 to 25, trailing spaces removed.
inline const std::vector<std::string>& example_rows() {
    static const std::vector<std::string> rows = {
        " ╔═══════════════════════════════════════════════════════════╗",
        " ║ EEPROM Configtool for ULO SW V2.4.x                       ║",
        " ╚═══════════════════════════════════════════════════════════╝",
        "",
        " Last menu used:             3         Brightness:                 100 %",
        " Edit mode protected:       on         Contrast:                  high",
        "",
        " Wheel speed config no.:     1         \"60-2 Crank      \"            4 Cyl.",
        " Write protection:          no         TDC cyl.:        1  Width:   30 °Cam",
        " Max Poti Speed:          6000 rpm     Inversion Cam:  no  Crank:   no",
        " Number of Ramp Points:      5",
        " 01: Time:  2.50s  Speed: 1000 rpm     Crank Pulses:   60  Width:  3.0 °Crank",
        "                                       Offset Crank to TDC:      120.0 °Crank",
        " VSS Pulses per km:       4000         Phase Gap to TDC:           0.0 °Crank",
        " VSS Pulswidth:             10 ms      Gap Pulses:      1  No Gaps:  2",
        "",
        " Aux Speed Pulses/Rot.:      4         Cam Pulses:      1  Width:  3.0 °Cam",
        " Aux Speed Pulswidth:       50 %       Offset Cam to TDC:          0.0 °Cam",
        "                                       Phase Sync to TDC:         90.0 °Cam",
        " LIS Inversion:           norm         Sync Pulses:     1",
        " LIS Lower Threshold:      800 mV",
        " LIS Upper Threshold:     3600 mV      First High Frequency:         0 Hz",
        " Kickdown Threshold:      4000 mV      Second High Frequency:     1000 Hz",
        "",
        " CAN 29-bit ID:    18 DA F1 10 hex",
    };
    return rows;
}

inline std::string rtrim(std::string s) {
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

// Row y (1..25) as UTF-8 text, trailing spaces removed.
inline std::string text(const Console& con, int y) { return rtrim(row_text(con, y)); }

// The text of `width` cells from column x of row y, as bytes.
inline std::string cells(const Console& con, int x, int y, int width) {
    return row_bytes(con, y).substr(static_cast<std::size_t>(x - 1), static_cast<std::size_t>(width));
}

} // namespace ulo::test
