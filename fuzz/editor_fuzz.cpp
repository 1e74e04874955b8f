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
#include "editor/editor.hpp"
#include "eeprom/file.hpp"
#include "eeprom/image.hpp"
#include "eeprom/params.hpp"
#include "scratch.hpp"
#include "screen/screen.hpp"

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
    std::fprintf(stderr,
                 "editor_fuzz: invariant broken after key %u (code %d) in field %d: ", where.index,
                 where.key, where.field);
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fputc('\n', stderr);
    std::abort();
}

#define CHECK(condition, ...)                                                                      \
    do {                                                                                           \
        if (!(condition)) broken(__VA_ARGS__);                                                     \
    } while (false)

// ---- Decoding the input -----------------------------------------------------------------

// The keys the fields know, digits twice as often since most fields take numbers.
constexpr int known_keys[] = {
    '0',
    '1',
    '2',
    '3',
    '4',
    '5',
    '6',
    '7',
    '8',
    '9',
    '0',
    '1',
    '2',
    '3',
    '4',
    '5',
    '6',
    '7',
    '8',
    '9',
    'a',
    'b',
    'c',
    'd',
    'e',
    'f',
    'A',
    'B',
    'C',
    'D',
    'E',
    'F',
    key::enter,
    key::enter,
    key::up,
    key::down,
    key::left,
    key::right,
    key::home,
    key::end,
    key::page_up,
    key::page_down,
    key::space,
    key::minus,
    key::backspace,
    key::del,
    key::insert,
    key::f1,
    key::alt_7,
    key::alt_8,
    key::alt_9,
    key::alt_0,
    key::alt_escape,
    // the name: characters stored as typed, stored as others, and ignored
    'z',
    'Z',
    '!',
    '$',
    '%',
    ',',
    '.',
    '_',
    '&',
    '(',
    ')',
    '*',
    '+',
    '/',
    '<',
    '=',
    '>',
    '\\',
    ']',
    '^',
    '{',
    '#',
    '\'',
    '"',
    ':',
    '@',
    '[',
    '}',
    '~',
    127,
    // the ends of the editing and the answers to the save question
    key::escape,
    key::alt_x,
    'y',
    'Y',
    'n',
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
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0)
        text.append(buffer, static_cast<std::size_t>(n));
    ::close(fd);
    return text;
}

// ---- What each field may change -----------------------------------------------------------

// The bytes and bits a key in a field may change, from the parameter table; everything else
// must stay as it was. The wheel fields work on the record or name of the configuration the
// screen shows, the ramp fields on the point the screen shows, each CAN field on its byte.
Span owned_by(int field, unsigned n, unsigned r) {
    const Param* p = field_param(field);
    if (p == nullptr) return {0, 0, 0}; // the ramp point number lies outside the image
    if (p->id == ParamId::can_id)
        return {param_address(*p, 0) + static_cast<unsigned>(41 - field), 1, 0xFF};
    return span({p->id, p->group == Group::wheel ? n : p->group == Group::ramp_point ? r : 0});
}

// Regions of the image that no field edits: they leave the editor exactly as they were loaded.
struct Region {
    unsigned first, last;
};
constexpr Region untouched_regions[] = {
    {20, 31}, {40, 63}, {464, 511}, {908, 1023}, {1424, 1535}, {1540, 2047},
};

void report_foreign_change(const Wert& before, const Wert& after, const Span& s) {
    for (unsigned a = 0; a < eeprom_size; ++a) {
        const bool owned = a >= s.address && a < s.address + s.count;
        const unsigned may = owned ? s.mask : 0u;
        if (((before[a] ^ after[a]) & ~may & 0xFFu) != 0)
            broken("address %u changed from %02X to %02X, which the field does not own", a,
                   before[a], after[a]);
    }
}

// Called after every key, so the common case (nothing foreign changed) is a few memcmp.
void check_only_owned_bytes_changed(const Wert& before, const Wert& after, int field, unsigned n,
                                    unsigned r) {
    const Span s = owned_by(field, n, r);
    CHECK(s.address + s.count <= eeprom_size, "the field's bytes at %u lie outside the image",
          s.address);
    const std::uint8_t* b = before.data();
    const std::uint8_t* a = after.data();
    const unsigned end = s.address + s.count;
    bool foreign =
        std::memcmp(b, a, s.address) != 0 || std::memcmp(b + end, a + end, eeprom_size - end) != 0;
    for (unsigned k = s.address; k < end; ++k)
        foreign = foreign || ((b[k] ^ a[k]) & ~s.mask & 0xFFu) != 0;
    if (foreign) report_foreign_change(before, after, s);
}

// ---- Invariants after each key ------------------------------------------------------------

struct State {
    Wert w;
    Editor ed;
};

// cam_width as the editor writes it: tenths up to 12.5 degrees, or whole degrees with the
// form bit set, where the degrees are the number typed before the digit that overflowed, so at
// most 125. (Delete on 254 or 255, which only a file brings, leaves 126 or 127.)
bool cam_width_valid(long long w) {
    return w <= cam_width_tenths_max ||
           (w >= cam_width_degrees_bit && w <= (cam_width_tenths_max | cam_width_degrees_bit));
}

// What the parameter's row promises of the value its field leaves after a key: a digit never
// types past the largest value, a yes/no kind holds one of its two values, speeds stay even,
// and a field left (or ended, where its correction applies then) is corrected.
void check_row(const Param& p, long long before, long long v, bool digit, bool left) {
    if (const Words* w = words(p.shown)) {
        if (v != before) CHECK(v == w->first_value || v == w->second_value, "%s %lld", p.name, v);
        return;
    }
    if (p.shown == Shown::doubled && v != before)
        CHECK(v % 2 == 0, "%s stored odd: %lld", p.name, v);
    if (digit && v != before && p.shown != Shown::cam_forms)
        CHECK(v <= p.high, "%s: a digit made the value %lld, above %lld", p.name, v, p.high);
    if (!left) return;
    if (p.leave == Leave::raise)
        CHECK(v >= p.leave_min, "%s left with %lld, below %u", p.name, v, p.leave_min);
    if (p.leave == Leave::off_below)
        CHECK(v == 0 || v >= p.leave_min, "%s left with %lld, neither 0 nor at least %u", p.name, v,
              p.leave_min);
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
    CHECK(ed.ramp <= ramp_table_points, "ramp point %u", ed.ramp);
    if (ed.mode != 35) CHECK(ed.ramp >= 1, "ramp point %u outside field 35", ed.ramp);
    if (ed.mode == 5)
        CHECK(ed.start >= 1 && ed.start <= static_cast<int>(wheel_name_length), "name cursor %d",
              ed.start);
    else
        CHECK(ed.start == 0 || ed.start == 1, "fresh-entry flag %d", ed.start);
    if (moved) CHECK(ed.start == 1, "arrived at field %d with the flag %d", ed.mode, ed.start);
    if (ended) CHECK(!moved, "Escape or Alt+X moved the cursor to field %d", ed.mode);

    // Only the field's own bytes change.
    check_only_owned_bytes_changed(b.w, w, f, n, b.ed.ramp);

    const Param* p = field_param(f);
    if (p == nullptr || p->shown == Shown::text || p->id == ParamId::can_id) {
        if (f == 35 && digit && ed.ramp != b.ed.ramp)
            CHECK(ed.ramp <= get(w, ParamId::ramp_points), "a digit picked point %u of %lld",
                  ed.ramp, get(w, ParamId::ramp_points));
        return;
    }
    const unsigned index = field_index(b.ed, b.w, *p);
    const long long before = get(b.w, p->id, index), v = get(w, p->id, index);
    check_row(*p, before, v, digit, moved || (ended && p->leave_on_end));

    // What the table's row does not say.
    const bool was_in = before >= p->low && before <= p->high;
    switch (p->id) {
    case ParamId::wheel_select: // whatever the file held, the field writes a configuration
        if (v != before) CHECK(v <= p->high, "wheel_select written as %lld", v);
        break;
    case ParamId::brightness:
        if (digit) CHECK(v <= brightness_full, "brightness %lld", v);
        break;
    case ParamId::cylinders:
    case ParamId::gap_count:
        // A count from the file outside the range steps into it one at a time with the pages.
        if (v != before && (digit || was_in))
            CHECK(v >= p->low && v <= p->high, "%s from %lld to %lld", p->name, before, v);
        break;
    case ParamId::gap_pulses:
    case ParamId::sync_pulses:
        if (was_in) CHECK(v >= p->low && v <= p->high, "%s from %lld to %lld", p->name, before, v);
        break;
    case ParamId::crank_offset:
    case ParamId::cam_offset: {
        const ParamId count =
            p->id == ParamId::crank_offset ? ParamId::crank_pulses : ParamId::cam_pulses;
        const auto pulses = get(w, count, n);
        // With a pulse count of 0, which only a file brings, the cap is the editor's choice.
        if (digit && pulses > 0)
            CHECK(v <= full_turn_tenths / pulses, "offset %lld with %lld pulses", v, pulses);
        break;
    }
    case ParamId::cam_width:
        if (cam_width_valid(before))
            CHECK(cam_width_valid(v), "cam_width from %lld to %lld", before, v);
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
            CHECK(w[a] == loaded[a], "unused address %u changed from %02X to %02X", a, loaded[a],
                  w[a]);
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

        int answer = read_key_echoed(con);
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
