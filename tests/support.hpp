// Shared by the unit tests: the example device image and ways to read the console model.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include <gtest/gtest.h>

#include "app/cli.hpp"
#include "console/console.hpp"
#include "editor/editor.hpp"
#include "eeprom/file.hpp"
#include "eeprom/image.hpp"

namespace ulo::test {

// A byte pair as the image stores it: low byte at the lower address, high * 256 + low.
inline unsigned pair(const Wert& w, unsigned low) { return byte(w, low + 1) * 256u + byte(w, low); }
inline void set_pair(Wert& w, unsigned low, unsigned value) {
    set_byte(w, low, value & 0xFFu);
    set_byte(w, low + 1, (value >> 8) & 0xFFu);
}

// Configuration 1 "60-2 Crank", ramp point 1 of 5, CAN id 18DAF110: the image whose first
// screen is the one the device's manual shows.
inline Wert example_image() {
    Wert w{};
    put(w, ParamId::last_menu, 0, 3);
    put(w, ParamId::brightness, 0, 50);
    put(w, ParamId::contrast, 0, 100);
    put(w, ParamId::wheel_select, 0, 0);
    put(w, ParamId::ramp_points, 0, 5);
    put(w, ParamId::max_poti_speed, 0, 12000);
    put(w, ParamId::edit_mode_bit, 0, 0);
    put(w, ParamId::tdc_cyl, 0, 1);
    put(w, ParamId::lis_lower_threshold, 0, 800);
    put(w, ParamId::lis_upper_threshold, 0, 3600);
    put(w, ParamId::kickdown_threshold, 0, 4000);
    put(w, ParamId::first_high_frequency, 0, 0);
    put(w, ParamId::second_high_frequency, 0, 1000);
    put(w, ParamId::vss_pulses_per_km, 0, 4000);
    put(w, ParamId::vss_pulse_width, 0, 10);
    put(w, ParamId::aux_speed_pulses, 0, 4);
    put(w, ParamId::aux_speed_pulse_width, 0, 50);
    put(w, ParamId::cylinders, 0, 4);
    put(w, ParamId::tdc_width, 0, 30);
    put(w, ParamId::crank_pulses, 0, 60);
    put(w, ParamId::crank_width, 0, 30);
    put(w, ParamId::crank_offset, 0, 1200);
    put(w, ParamId::gap_pulses, 0, 1);
    put(w, ParamId::gap_count, 0, 2);
    put(w, ParamId::cam_pulses, 0, 1);
    put(w, ParamId::cam_width, 0, 30);
    put(w, ParamId::sync_phase, 0, 900);
    put(w, ParamId::sync_pulses, 0, 1);
    const std::string name = "60-2 Crank      ";
    for (unsigned p = 1; p <= 16; ++p)
        set_name_char(w, 0, p, static_cast<unsigned char>(name[p - 1]));
    put(w, ParamId::ramp_time, 1, 250);
    put(w, ParamId::ramp_speed, 1, 2000);
    set_byte(w, 1536 + 3, 0x18);
    set_byte(w, 1536 + 2, 0xDA);
    set_byte(w, 1536 + 1, 0xF1);
    set_byte(w, 1536 + 0, 0x10);
    return w;
}

// The screen the device's manual shows for that image: rows 1 to 25 as UTF-8, trailing
// spaces removed. The end-to-end tests compare the real terminal with the same file.
inline const std::vector<std::string>& example_rows() {
    static const std::vector<std::string> rows = [] {
        std::vector<std::string> lines;
        std::ifstream in(ULOCFG_TEST_DATA "/example_screen.txt");
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }();
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
    return row_bytes(con, y).substr(static_cast<std::size_t>(x - 1),
                                    static_cast<std::size_t>(width));
}

// Applies key codes one after the other to the rule of the current field.
inline void press(Editor& ed, Wert& w, const std::vector<int>& keys) {
    for (int k : keys) {
        ed.letter = k;
        apply_rule(ed, w);
    }
}

// One row of a moves table: the field each of Enter, Up, Down, Left, Right, Home and End leads
// to, -1 where the key is ignored.
struct MovesRow {
    int field;
    int to[7];
};

// Presses each cursor key of a row on `w`, starting with the fresh-entry flag clear, and checks
// the field cursor, the flag (set by every move when `sets_flag`) and that nothing else changed.
inline void expect_moves(const MovesRow& row, const Wert& w, bool sets_flag, unsigned ramp = 1) {
    const int keys[] = {key::enter, key::up, key::down, key::left, key::right, key::home, key::end};
    for (int k = 0; k < 7; ++k) {
        Wert after = w;
        Editor ed{row.field, 0, 0, ramp};
        press(ed, after, {keys[k]});
        const bool moved = row.to[k] >= 0;
        EXPECT_EQ(ed.mode, moved ? row.to[k] : row.field) << row.field << " key " << keys[k];
        EXPECT_EQ(ed.start, moved && sets_flag ? 1 : 0) << row.field << " key " << keys[k];
        EXPECT_EQ(after, w) << row.field << " key " << keys[k];
        EXPECT_EQ(ed.ramp, ramp) << row.field << " key " << keys[k];
    }
}

// A fresh directory for one test, removed with everything in it afterwards.
struct ScratchDir {
    std::filesystem::path path;
    ScratchDir() {
        // A folder of a random name that did not exist: creating one that does fails.
        std::random_device random;
        for (int tries = 0; tries < 100 && path.empty(); ++tries) {
            const auto made = std::filesystem::temp_directory_path() /
                              ("ulocfg-test-" + std::to_string(random()));
            std::error_code error;
            if (std::filesystem::create_directory(made, error)) path = made;
        }
    }
    ~ScratchDir() {
        std::error_code ignored; // a test may have taken the permissions away
        std::filesystem::permissions(path, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
        std::filesystem::remove_all(path, ignored);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    std::string file(const std::string& name = "ulo.txt") const { return (path / name).string(); }
    std::string operator/(const std::string& name) const { return file(name); }
    std::string write(const std::string& text, const std::string& name = "ulo.txt") const {
        std::ofstream(file(name), std::ios::binary) << text;
        return file(name);
    }
    std::string put(const Wert& w, const std::string& name = "ulo.txt") const {
        return write(format_image(w), name);
    }
    std::string read(const std::string& name = "ulo.txt") const {
        std::ifstream in(file(name), std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    Wert image(const std::string& name = "ulo.txt") const {
        Wert w{};
        EXPECT_TRUE(parse_image(read(name), w));
        return w;
    }
};

// What one run of the command line gave.
struct Result {
    int status;
    std::string out, err;
};

// Runs `ulocfg ARGS...` through the command line's entry, without a process.
inline Result run(std::vector<std::string> args) {
    args.insert(args.begin(), "ulocfg");
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    std::ostringstream out, err;
    const int status = cli(static_cast<int>(argv.size()), argv.data(), out, err);
    return {status, out.str(), err.str()};
}

} // namespace ulo::test
