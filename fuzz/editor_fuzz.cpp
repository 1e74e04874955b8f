// Fuzz target for the editor: arbitrary bytes become a starting image and the keys a user
// types, and the whole program runs on them on the console model, without a terminal.
//
// Input: the first 2048 bytes are the image in "ulo.txt" (a shorter input is padded with FF,
// as an erased EEPROM reads); the bytes after them are keys. Most bytes pick one of the keys
// the fields know, so that the fields are really edited; a byte from 224 up takes the next
// byte as a raw key code (0 there: an extended key), so that keys nobody expects are typed
// too.
//
// Each input runs twice:
// 1. Key by key through the editor's own cycle (screen, highlight, read a key, the field's
//    rule) and the save question, with the invariants below checked after every key.
// 2. Whole through begin() and advance(), as main() runs them, saving to a real file when
//    the keys say so.
// Both must end alike (exit status, image, screen), a save must leave a file that reads back
// as the edited image, and a run that does not save must leave the file byte for byte as it
// was.
//
// A broken invariant aborts with a message naming it, the key and the field.
#include <array>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>
#include <string_view>

#include <fcntl.h>
#include <unistd.h>

#include "app/flow.hpp"
#include "console/console.hpp"
#include "console/keycodes.hpp"
#include "editor/can.hpp"
#include "editor/editor.hpp"
#include "editor/general.hpp"
#include "editor/ramp.hpp"
#include "editor/speed.hpp"
#include "editor/wheel.hpp"
#include "eeprom/file.hpp"
#include "eeprom/image.hpp"
#include "screen/screen.hpp"
#include "scratch.hpp"

namespace {

using namespace ulo;

// ---- Failure reports ---------------------------------------------------------------------

// What the key-by-key run is doing, for the message of a broken invariant.
struct Where {
    unsigned index = 0; // keys read so far
    int key = 0;
    int field = -1; // the field the key was applied in
};
Where where;

[[noreturn]] __attribute__((format(printf, 1, 2))) void broken(const char* format, ...) {
    std::fprintf(stderr, "editor_fuzz: invariant broken after key %u (code %d) in field %d: ",
                 where.index, where.key, where.field);
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fputc('\n', stderr);
    std::abort();
}

#define CHECK(condition, ...)                                                                  \
    do {                                                                                       \
        if (!(condition)) broken(__VA_ARGS__);                                                 \
    } while (false)

// ---- Decoding the input -----------------------------------------------------------------

// The keys the fields know, digits twice as often since most fields take numbers.
constexpr int known_keys[] = {
    '0', '1', '2', '3', '4', '5', '6', '7', '8', '9',
    '0', '1', '2', '3', '4', '5', '6', '7', '8', '9',
    'a', 'b', 'c', 'd', 'e', 'f', 'A', 'B', 'C', 'D', 'E', 'F',
    key::enter, key::enter, key::up, key::down, key::left, key::right, key::home, key::end,
    key::page_up, key::page_down, key::space, key::minus, key::backspace, key::del,
    key::insert, key::f1, key::alt_7, key::alt_8, key::alt_9, key::alt_0, key::alt_escape,
    // the name: characters stored as typed, stored as others, and ignored
    'z', 'Z', '!', '$', '%', ',', '.', '_', '&', '(', ')', '*', '+', '/', '<', '=', '>', '\\',
    ']', '^', '{', '#', '\'', '"', ':', '@', '[', '}', '~', 127,
    // the ends of the editing and the answers to the save question
    key::escape, key::alt_x, 'y', 'Y', 'n',
};
constexpr unsigned known_key_count = sizeof known_keys / sizeof known_keys[0];
// Bytes from here up announce a raw key code in the next byte (0 there: an extended key,
// whose second code follows).
constexpr std::uint8_t raw_key = 224;
// Enough for any walk over the screen; longer inputs only cost time.
constexpr std::size_t max_keys = 400;

struct Input {
    Wert image;
    std::deque<int> keys;
};

Input decode(const std::uint8_t* data, std::size_t size) {
    Input in;
    in.image.fill(0xFF);
    const std::size_t image_bytes = size < eeprom_size ? size : eeprom_size;
    for (std::size_t a = 0; a < image_bytes; ++a) in.image[a] = data[a];
    std::size_t k = image_bytes;
    while (k < size && in.keys.size() < max_keys) {
        const std::uint8_t b = data[k++];
        if (b < raw_key) {
            in.keys.push_back(known_keys[b % known_key_count]);
        } else if (k < size) {
            const std::uint8_t code = data[k++];
            if (code != 0)
                in.keys.push_back(code);
            else if (k < size)
                in.keys.push_back(256 + data[k++]);
        }
    }
    return in;
}

// ---- The file -----------------------------------------------------------------------------

const std::string& file_path() { return fuzz::scratch_file("editor-fuzz"); }
using fuzz::write_file;

std::string read_file(const std::string& path) {
    std::string text;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return text;
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<std::size_t>(n));
    ::close(fd);
    return text;
}

// ---- What each field may change -----------------------------------------------------------

// The bytes and bits a key in a field may change; everything else must stay as it was. The
// wheel fields work on the record or name of the configuration the screen shows, the ramp
// fields on the point the screen shows.
enum class Place { general, record, name, ramp_time, ramp_speed, none };
struct Owned {
    Place place;
    unsigned at;    // address, or offset within the record
    unsigned bytes; // 1 or 2 (a byte pair); 16 for the name
    unsigned bits;  // the bits of a one-byte place that belong to the field
};

constexpr Owned owned_by[field_count] = {
    {Place::general, addr::last_menu, 1, 0xFF},              // 0
    {Place::general, addr::edit_mode_bit, 1, 0x01},          // 1
    {Place::general, addr::brightness, 1, 0xFF},             // 2
    {Place::general, addr::contrast, 1, 0xFF},               // 3
    {Place::general, addr::wheel_select, 1, 0xFF},           // 4
    {Place::name, 0, 16, 0xFF},                              // 5
    {Place::general, addr::tdc_cyl, 1, 0xFF},                // 6
    {Place::general, addr::max_poti_speed, 2, 0xFF},         // 7
    {Place::general, addr::ramp_points, 1, 0xFF},            // 8
    {Place::general, addr::vss_pulses_per_km, 2, 0xFF},      // 9
    {Place::general, addr::vss_pulse_width, 2, 0xFF},        // 10
    {Place::general, addr::aux_speed_pulses, 2, 0xFF},       // 11
    {Place::general, addr::aux_speed_pulse_width, 2, 0xFF},  // 12
    {Place::general, addr::lis_inversion, 1, 0xFF},          // 13
    {Place::general, addr::lis_lower_threshold, 2, 0xFF},    // 14
    {Place::general, addr::lis_upper_threshold, 2, 0xFF},    // 15
    {Place::general, addr::kickdown_threshold, 2, 0xFF},     // 16
    {Place::general, addr::first_high_frequency, 2, 0xFF},   // 17
    {Place::general, addr::second_high_frequency, 2, 0xFF},  // 18
    {Place::record, addr::wheel_flags, 1, write_protection_bit}, // 19
    {Place::record, addr::wheel_flags, 1, cylinders_mask},   // 20
    {Place::record, addr::tdc_width, 1, 0xFF},               // 21
    {Place::record, addr::crank_pulses, 1, 0xFF},            // 22
    {Place::record, addr::crank_width, 1, 0xFF},             // 23
    {Place::record, addr::crank_offset, 2, 0xFF},            // 24
    {Place::record, addr::gap_phase, 2, 0xFF},               // 25
    {Place::record, addr::gaps, 1, 0x0F},                    // 26
    {Place::record, addr::gaps, 1, 0xF0},                    // 27
    {Place::record, addr::cam_pulses, 1, 0xFF},              // 28
    {Place::record, addr::cam_width, 1, 0xFF},               // 29
    {Place::record, addr::cam_offset, 2, 0xFF},              // 30
    {Place::record, addr::sync_phase, 2, 0xFF},              // 31
    {Place::record, addr::sync_pulses, 1, 0xFF},             // 32
    {Place::record, addr::wheel_flags, 1, cam_inversion_bit}, // 33
    {Place::record, addr::wheel_flags, 1, crank_flag_bit},   // 34
    {Place::none, 0, 0, 0},                                  // 35
    {Place::ramp_time, 0, 2, 0xFF},                          // 36
    {Place::ramp_speed, 0, 2, 0xFF},                         // 37
    {Place::general, addr::can_id + 3, 1, 0xFF},             // 38
    {Place::general, addr::can_id + 2, 1, 0xFF},             // 39
    {Place::general, addr::can_id + 1, 1, 0xFF},             // 40
    {Place::general, addr::can_id + 0, 1, 0xFF},             // 41
};

// Regions of the image that no field edits: they leave the editor exactly as they were loaded.
struct Region {
    unsigned first, last;
};
constexpr Region untouched_regions[] = {
    {20, 31}, {40, 63}, {464, 511}, {908, 1023}, {1424, 1535}, {1540, 2047},
};

void report_foreign_change(const Wert& before, const Wert& after, unsigned first, unsigned bytes,
                           unsigned bits) {
    for (unsigned a = 0; a < eeprom_size; ++a) {
        const bool owned = a >= first && a < first + bytes;
        const unsigned may = owned ? (bytes == 1 ? bits : 0xFFu) : 0u;
        if (((before[a] ^ after[a]) & ~may & 0xFFu) != 0)
            broken("address %u changed from %02X to %02X, which the field does not own", a,
                   before[a], after[a]);
    }
}

// Called after every key, so the common case (nothing foreign changed) is a few memcmp.
void check_only_owned_bytes_changed(const Wert& before, const Wert& after, int field,
                                    unsigned n, unsigned r) {
    const Owned& o = owned_by[field];
    unsigned first = 0;
    switch (o.place) {
    case Place::general: first = o.at; break;
    case Place::record: first = record_address(n, o.at); break;
    case Place::name: first = name_address(n, 1); break;
    case Place::ramp_time: first = ramp_time_address(r); break;
    case Place::ramp_speed: first = ramp_speed_address(r); break;
    case Place::none: break;
    }
    CHECK(first + o.bytes <= eeprom_size, "the field's bytes at %u lie outside the image", first);
    const std::uint8_t* b = before.data();
    const std::uint8_t* a = after.data();
    const unsigned end = first + o.bytes;
    bool foreign = std::memcmp(b, a, first) != 0 ||
                   std::memcmp(b + end, a + end, eeprom_size - end) != 0;
    if (o.bytes == 1) foreign = foreign || ((b[first] ^ a[first]) & ~o.bits & 0xFFu) != 0;
    if (foreign) report_foreign_change(before, after, first, o.bytes, o.bits);
}

// ---- Invariants after each key ------------------------------------------------------------

struct State {
    Wert w;
    Editor ed;
};

// The 16-bit values typed in decimal: the largest a digit may make, and what leaving the field
// guarantees.
enum class Leave { nothing, at_least, off_or_at_least };
struct Decimal {
    int field;
    unsigned address;
    unsigned max;
    Leave leave;
    unsigned min;
};
constexpr Decimal decimals[] = {
    {9, addr::vss_pulses_per_km, vss_pulses_per_km_max, Leave::at_least, vss_pulses_per_km_min},
    {10, addr::vss_pulse_width, vss_pulse_width_max, Leave::at_least, vss_pulse_width_min},
    {11, addr::aux_speed_pulses, aux_speed_pulses_max, Leave::at_least, aux_speed_pulses_min},
    {12, addr::aux_speed_pulse_width, aux_speed_pulse_width_max, Leave::nothing, 0},
    {14, addr::lis_lower_threshold, lis_lower_threshold_max, Leave::nothing, 0},
    {15, addr::lis_upper_threshold, lis_upper_threshold_max, Leave::nothing, 0},
    {16, addr::kickdown_threshold, kickdown_threshold_max, Leave::nothing, 0},
    {17, addr::first_high_frequency, high_frequency_max, Leave::off_or_at_least,
     high_frequency_min},
    {18, addr::second_high_frequency, high_frequency_max, Leave::off_or_at_least,
     high_frequency_min},
};

// The one-byte counts and widths of the wheel record: the largest a digit may make, and
// whether Escape and Alt+X apply the leave rule (a move always does).
struct WheelByte {
    int field;
    unsigned offset;
    unsigned max;
    bool leave_on_end;
};
constexpr WheelByte wheel_bytes[] = {
    {21, addr::tdc_width, tdc_width_max, false},
    {22, addr::crank_pulses, crank_pulses_max, true},
    {23, addr::crank_width, crank_width_max, true},
    {28, addr::cam_pulses, cam_pulses_max, true},
    {29, addr::cam_width, 0xFF, true}, // two forms, checked apart
};

// cam_width as the editor writes it: tenths up to 12.5 degrees, or whole degrees with the
// form bit set, where the degrees are the number typed before the digit that overflowed, so at
// most 125. (Delete on 254 or 255, which only a file brings, leaves 126 or 127.)
bool cam_width_valid(unsigned w) {
    return w <= cam_width_tenths_max ||
           (w >= cam_width_degrees_bit && w <= (cam_width_tenths_max | cam_width_degrees_bit));
}

void check_key(const State& b, const Editor& ed, const Wert& w) {
    const int k = ed.letter;
    const int f = b.ed.mode;
    const bool digit = key::is_digit(k);
    const bool moved = ed.mode != f;
    const bool ended = key::ends_editing(k);
    const unsigned n = selected_wheel(b.w);

    // The editor's own variables.
    CHECK(ed.mode >= 0 && ed.mode < field_count, "field cursor %d", ed.mode);
    CHECK(ed.ramp <= ramp_point_max, "ramp point %u", ed.ramp);
    if (ed.mode != 35) CHECK(ed.ramp >= ramp_point_min, "ramp point %u outside field 35", ed.ramp);
    if (ed.mode == 5)
        CHECK(ed.start >= 1 && ed.start <= static_cast<int>(wheel_name_length),
              "name cursor %d", ed.start);
    else
        CHECK(ed.start == 0 || ed.start == 1, "fresh-entry flag %d", ed.start);
    if (moved) CHECK(ed.start == 1, "arrived at field %d with the flag %d", ed.mode, ed.start);
    if (ended) CHECK(!moved, "Escape or Alt+X moved the cursor to field %d", ed.mode);

    // Only the field's own bytes change, and the configuration number stays a configuration.
    check_only_owned_bytes_changed(b.w, w, f, n, b.ed.ramp);
    if (w[addr::wheel_select] != b.w[addr::wheel_select])
        CHECK(wheel_select(w) <= wheel_select_max, "wheel_select written as %u", wheel_select(w));

    // The values the field's rule writes stay within its range.
    for (const Decimal& d : decimals) {
        if (d.field != f) continue;
        const unsigned v = pair(w, d.address);
        if (digit) CHECK(v <= d.max, "a digit made the value %u, above %u", v, d.max);
        if (moved || ended) {
            if (d.leave == Leave::at_least)
                CHECK(v >= d.min, "left with %u, below %u", v, d.min);
            if (d.leave == Leave::off_or_at_least)
                CHECK(v == 0 || v >= d.min, "left with %u, neither 0 nor at least %u", v, d.min);
        }
    }
    for (const WheelByte& wb : wheel_bytes) {
        if (wb.field != f) continue;
        const unsigned v = wheel_byte(w, n, wb.offset);
        if (digit) CHECK(v <= wb.max, "a digit made the value %u, above %u", v, wb.max);
        if (moved || (ended && wb.leave_on_end))
            CHECK(v >= wheel_value_min, "left with %u", v);
    }
    switch (f) {
    case 0:
        if (digit) CHECK(last_menu(w) <= last_menu_max, "last_menu %u", last_menu(w));
        break;
    case 2:
        if (digit) CHECK(brightness(w) <= brightness_full, "brightness %u", brightness(w));
        break;
    case 3:
        if (contrast(w) != contrast(b.w))
            CHECK(contrast(w) == contrast_high_value || contrast(w) == contrast_low_value,
                  "contrast %u", contrast(w));
        break;
    case 6:
        if (digit && tdc_cyl(w) != tdc_cyl(b.w))
            CHECK(tdc_cyl(w) <= tdc_cyl_max, "tdc_cyl %u", tdc_cyl(w));
        break;
    case 7: // stored as twice the rpm
        if (max_poti_speed(w) != max_poti_speed(b.w)) {
            CHECK(max_poti_speed(w) % 2 == 0, "max_poti_speed stored odd: %u", max_poti_speed(w));
            if (digit)
                CHECK(max_poti_speed(w) <= speed_stored_max,
                      "max_poti_speed stored %u (%u rpm), a digit past %u rpm was taken",
                      max_poti_speed(w), halved(max_poti_speed(w)), speed_rpm_max);
        }
        break;
    case 8:
        if (digit) CHECK(ramp_points(w) <= ramp_points_max, "ramp_points %u", ramp_points(w));
        if (moved || ended)
            CHECK(ramp_points(w) >= ramp_points_min, "left with ramp_points %u", ramp_points(w));
        break;
    case 13:
        if (lis_inversion(w) != lis_inversion(b.w))
            CHECK(lis_inversion(w) == lis_inversion_normal ||
                      lis_inversion(w) == lis_inversion_inverted,
                  "lis_inversion %u", lis_inversion(w));
        break;
    case 20:
        if (cylinders(w, n) != cylinders(b.w, n))
            CHECK(cylinders(w, n) >= cylinders_min && cylinders(w, n) <= cylinders_max,
                  "cylinders %u", cylinders(w, n));
        break;
    case 24:
    case 30: {
        const bool crank = f == 24;
        const unsigned pulses = crank ? crank_pulses(w, n) : cam_pulses(w, n);
        const unsigned v = crank ? crank_offset(w, n) : cam_offset(w, n);
        // With a pulse count of 0, which only a file brings, the cap is the editor's choice.
        if (digit && pulses > 0)
            CHECK(v <= full_turn_tenths / pulses, "offset %u with %u pulses", v, pulses);
        break;
    }
    case 25:
        if (digit) CHECK(gap_phase(w, n) <= phase_max, "gap_phase %u", gap_phase(w, n));
        break;
    case 31:
        if (digit) CHECK(sync_phase(w, n) <= phase_max, "sync_phase %u", sync_phase(w, n));
        break;
    case 26: {
        // A count above 4 from the file steps down one at a time with Page Down.
        const unsigned before = gap_count(b.w, n);
        if (gap_count(w, n) != before && (digit || before <= gap_count_max))
            CHECK(gap_count(w, n) >= gap_count_min && gap_count(w, n) <= gap_count_max,
                  "gap_count from %u to %u", before, gap_count(w, n));
        break;
    }
    case 27: {
        const int before = gap_pulses(b.w, n);
        if (before >= signed_pulses_min && before <= signed_pulses_max)
            CHECK(gap_pulses(w, n) >= signed_pulses_min && gap_pulses(w, n) <= signed_pulses_max,
                  "gap_pulses from %d to %d", before, gap_pulses(w, n));
        break;
    }
    case 32: {
        const int before = sync_pulses(b.w, n);
        if (before >= signed_pulses_min && before <= signed_pulses_max)
            CHECK(sync_pulses(w, n) >= signed_pulses_min &&
                      sync_pulses(w, n) <= signed_pulses_max,
                  "sync_pulses from %d to %d", before, sync_pulses(w, n));
        break;
    }
    case 29:
        if (cam_width_valid(cam_width(b.w, n)))
            CHECK(cam_width_valid(cam_width(w, n)), "cam_width from %u to %u",
                  cam_width(b.w, n), cam_width(w, n));
        break;
    case 35:
        if (digit && ed.ramp != b.ed.ramp)
            CHECK(ed.ramp <= ramp_points(w), "a digit picked point %u of %u", ed.ramp,
                  ramp_points(w));
        break;
    case 36:
        if (digit && ramp_time(w, b.ed.ramp) != ramp_time(b.w, b.ed.ramp))
            CHECK(ramp_time(w, b.ed.ramp) <= ramp_time_max, "ramp_time %u",
                  ramp_time(w, b.ed.ramp));
        break;
    case 37:
        if (ramp_speed(w, b.ed.ramp) != ramp_speed(b.w, b.ed.ramp)) {
            const unsigned s = ramp_speed(w, b.ed.ramp);
            CHECK(s % 2 == 0, "ramp_speed stored odd: %u", s);
            if (digit) CHECK(s <= speed_stored_max, "ramp_speed stored %u", s);
        }
        break;
    default: break;
    }
}

// Rows 1 to 4 hold the title box and the empty row below it; nothing the image holds may
// write there, and the cursor waits for a key inside the screen.
void check_console(const Console& con, const Console& title) {
    CHECK(con.x >= 1 && con.x <= console_width && con.y >= 1 && con.y <= console_height,
          "console cursor at %d,%d", con.x, con.y);
    constexpr std::size_t top = 4 * console_width;
    static_assert(sizeof(Cell) == 2, "cells compared as bytes");
    if (std::memcmp(con.cells.data(), title.cells.data(), top * sizeof(Cell)) == 0) return;
    for (int y = 1; y <= 4; ++y)
        for (int x = 1; x <= console_width; ++x)
            CHECK(cell(con, x, y) == cell(title, x, y), "screen cell %d,%d overwritten", x, y);
}

void check_image(const Wert& w, const Wert& loaded) {
    for (const Region& r : untouched_regions) {
        const unsigned length = r.last - r.first + 1;
        if (std::memcmp(w.data() + r.first, loaded.data() + r.first, length) == 0) continue;
        for (unsigned a = r.first; a <= r.last; ++a)
            CHECK(w[a] == loaded[a], "unused address %u changed from %02X to %02X", a,
                  loaded[a], w[a]);
    }
}

// ---- The key-by-key run ------------------------------------------------------------------

struct Outcome {
    int status;
    bool saved;
    Wert image;
    Console con;
};

// The run of flow.cpp, step by step, with the editor's cycle unrolled so that every key can be
// checked. Where the run would save, this only says so: the run itself saves in the second pass.
Outcome run_checked(const Wert& loaded, const std::deque<int>& keys) {
    Outcome out{status_ok, false, loaded, Console{}};
    Console& con = out.con;
    Wert& w = out.image;
    con.script = keys;
    textcolor(con, light_grey);
    clrscr(con);
    title_box(con);
    const Console title = con;

    Editor ed;
    ed.ramp = 1;
    where = Where{};
    for (;;) {
        ed.mode = 0;
        ed.start = 1;
        do {
            screen(con, w, ed.ramp);
            textcolor(con, light_red);
            highlight(con, ed, w);
            check_console(con, title);
            ed.letter = read_key(con);
            const State before{w, ed};
            where.key = ed.letter;
            where.field = ed.mode;
            ++where.index;
            apply_rule(ed, w);
            check_key(before, ed, w);
            check_image(w, loaded);
        } while (!key::ends_editing(ed.letter));
        if (con.closed) {
            out.status = status_no_terminal;
            return out;
        }
        while (kbhit(con)) getch(con);
        screen(con, w, ed.ramp);
        textcolor(con, light_red);
        gotoxy(con, 40, 25);
        cprintf(con, "%s", save_question);
        check_console(con, title);

        int answer = getche(con);
        if (answer == 0) answer = 256 + getch(con);
        where.key = answer;
        where.field = -1;
        ++where.index;
        if (con.closed) {
            out.status = status_no_terminal;
            return out;
        }
        if (answer == key::escape) {
            gotoxy(con, 40, 25);
            cprintf(con, "%40s", "");
            continue;
        }
        cprintf(con, "\n\r");
        out.saved = answer == 'Y' || answer == 'y';
        return out;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Input in = decode(data, size);

    // The user's file, in the writer's form.
    const std::string& path = file_path();
    const std::string original = format_image(in.image);
    write_file(path, original);
    Wert loaded{};
    CHECK(load_image(path, loaded) == LoadResult::loaded && loaded == in.image,
          "the starting file does not load as the image it was written from");

    const Outcome expected = run_checked(loaded, in.keys);

    // The program as main() runs it.
    where = Where{};
    Console con;
    con.script = in.keys;
    Run r;
    r.path = path;
    while (!advance(r, con)) con.closed = true; // the keys have run out
    const int status = r.status;
    const Wert& wert = r.wert;
    // Keys that ran out with edits unsaved leave a rescue copy of them beside the file.
    const bool edited = expected.image != loaded && expected.status == status_no_terminal;
    CHECK(r.rescue.empty() != edited, "the run left %s rescue copy", edited ? "no" : "a");
    if (!r.rescue.empty()) {
        CHECK(read_file(r.rescue) == format_image(expected.image),
              "the rescue copy is not the edited image");
        std::remove(r.rescue.c_str());
    }
    CHECK(status == expected.status, "the run ended with status %d, the editor's cycle with %d",
          status, expected.status);
    CHECK(wert == expected.image, "the run left another image than the editor's cycle");
    CHECK(con.cells == expected.con.cells && con.x == expected.con.x && con.y == expected.con.y,
          "the run left another screen than the editor's cycle");

    // The file: saved as edited, or not touched at all.
    const std::string after = read_file(path);
    if (expected.saved) {
        CHECK(after == format_image(expected.image), "the saved file is not the edited image");
        Wert reread{};
        CHECK(load_image(path, reread) == LoadResult::loaded && reread == expected.image,
              "the saved file does not read back as the edited image");
    } else {
        CHECK(after == original, "a run that did not save changed the file");
    }
    return 0;
}
