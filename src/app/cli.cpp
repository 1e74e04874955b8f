#include "app/cli.hpp"

#include <algorithm>
#include <ostream>
#include <string_view>

#include "app/flow.hpp"
#include "console/console.hpp"
#include "editor/editor.hpp"
#include "eeprom/file.hpp"
#include "screen/screen.hpp"

#ifndef ULOCFG_VERSION
#define ULOCFG_VERSION "unknown"
#endif

namespace ulo {

namespace {

constexpr const char* default_file = "ulo.txt";

enum class Command { show, get, set, diff, check, screen };

struct CommandName {
    const char* name;
    Command command;
};
constexpr CommandName commands[] = {
    {"show", Command::show}, {"get", Command::get},     {"set", Command::set},
    {"diff", Command::diff}, {"check", Command::check}, {"screen", Command::screen},
};

// The arguments after the command: the operands, and the file named by --file.
struct Arguments {
    std::vector<std::string> operands;
    std::string file;
    bool has_file = false;
};

bool split_arguments(int argc, char** argv, Arguments& a, std::ostream& err) {
    bool options = true;
    for (int k = 2; k < argc; ++k) {
        const std::string arg = argv[k];
        if (options && arg == "--") {
            options = false;
        } else if (options && (arg == "--file" || arg == "-f")) {
            if (k + 1 == argc) {
                err << "ulocfg: " << arg << " needs a file name\n";
                return false;
            }
            a.file = argv[++k];
            a.has_file = true;
        } else if (options && arg.rfind("--file=", 0) == 0) {
            a.file = arg.substr(7);
            a.has_file = true;
        } else if (options && arg.size() > 1 && arg[0] == '-') {
            err << "ulocfg: unknown option " << arg << "\n";
            return false;
        } else {
            a.operands.push_back(arg);
        }
    }
    return true;
}

int usage_error(std::ostream& err, const std::string& message) {
    err << "ulocfg: " << message << "\nTry 'ulocfg --help'.\n";
    return status_usage;
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

// 0, or the editor's status for a file that cannot be read or is not an image.
// With `seen`, what the file held, so that a save can tell whether it changed meanwhile.
int load(const std::string& path, Wert& wert, std::ostream& err, FileState* seen = nullptr) {
    switch (load_image(path, wert, seen)) {
    case LoadResult::loaded: return status_ok;
    case LoadResult::cannot_open:
        err << "ulocfg: cannot open " << path << "\n";
        return status_cannot_open;
    case LoadResult::incorrect:
        err << "ulocfg: " << path << ": EEPROM textfile incorrect (not 2048 byte tokens)\n";
        return status_incorrect;
    }
    return status_incorrect;
}

// A NAME of get: one parameter, or all of a wheel configuration ("wheel[3]") or ramp point
// ("ramp[2]").
bool parse_names(const std::string& text, std::vector<Item>& items, std::string& why) {
    Item item{};
    if (parse_item(text, item, why)) {
        items.push_back(item);
        return true;
    }
    if (text.empty() || text.back() != ']') return false;
    // "wheel[3]" names what "wheel[3].name" and its neighbours name.
    if (!parse_item(text + ".name", item, why) && !parse_item(text + ".time", item, why))
        return false;
    const Group group = param(item.id).group;
    for (Item each : every_item())
        if (param(each.id).group == group && each.index == item.index) items.push_back(each);
    return true;
}

int show(const Wert& wert, std::ostream& out) {
    for (Item item : shown_items(wert)) out << show_line(wert, item) << "\n";
    return status_ok;
}

int get(const Wert& wert, const std::vector<std::string>& names, std::ostream& out,
        std::ostream& err) {
    std::vector<Item> items;
    bool ok = true;
    for (const std::string& name : names) {
        std::string why;
        if (!parse_names(name, items, why)) {
            err << "ulocfg: " << name << ": " << why << "\n";
            ok = false;
        }
    }
    if (!ok) return status_rejected;
    for (Item item : items) out << show_line(wert, item) << "\n";
    return status_ok;
}

struct Assignment {
    std::string text; // as given, for messages
    Item item;
    Value value;
    bool rejected = false;
};

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

int set(const std::string& path, const std::vector<std::string>& texts, std::ostream& err) {
    std::vector<Assignment> all;
    bool ok = true;
    for (const std::string& text : texts) {
        const std::size_t equals = text.find('=');
        if (equals == std::string::npos) {
            return usage_error(err, text + ": set takes NAME=VALUE");
        }
        Assignment a{text, {}, {}};
        const std::string name(trim(std::string_view(text).substr(0, equals)));
        std::string why;
        if (!parse_item(name, a.item, why)) {
            err << "ulocfg: " << text << " rejected: " << why << " " << name << "\n";
            ok = false;
            continue;
        }
        if (std::any_of(all.begin(), all.end(), [&](const Assignment& b) { return b.item == a.item; })) {
            err << "ulocfg: " << text << " rejected: " << name << " is given twice\n";
            ok = false;
            continue;
        }
        if (!parse_value(a.item, std::string_view(text).substr(equals + 1), a.value, why)) {
            err << "ulocfg: " << text << " rejected: " << name << " " << why << "\n";
            ok = false;
            continue;
        }
        all.push_back(a);
    }

    // The values that could be read are judged too, so that one run names every fault.
    Wert before{};
    FileState seen;
    if (int status = load(path, before, err, &seen)) return status;
    Wert after = before;
    for (const Assignment& a : all) write_value(after, a.item, a.value);
    if (!judge(after, all, err) || !ok) return status_rejected;

    // A value that was not given may now lie outside its field's range, as the editor also
    // allows (an offset beyond the spacing of a pulse count just raised): say so.
    for (Item item : shown_items(after)) {
        if (in_range(after, item, read_value(after, item))) continue;
        if (std::any_of(all.begin(), all.end(), [&](const Assignment& a) { return a.item == item; }))
            continue;
        const bool ramp_point = param(item.id).group == Group::ramp_point;
        const bool was_shown = !ramp_point || item.index <= ramp_points(before);
        if (was_shown && !in_range(before, item, read_value(before, item))) continue;
        err << "ulocfg: note: " << show_line(after, item) << ": the field takes "
            << allowed(after, item) << "\n";
    }

    // Someone else has written the file since it was read: their change is not ours to undo.
    if (file_change(path, seen) != FileChange::none) {
        err << "ulocfg: " << path << " was changed by someone else while set worked; "
            << "nothing written, run set again\n";
        return status_cannot_open;
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

// Groups of diff: the general settings, each wheel configuration, each ramp point.
bool same_group(Item a, Item b) {
    const Group ga = param(a.id).group, gb = param(b.id).group;
    if (ga != gb) return false;
    if (ga != Group::single) return a.index == b.index;
    // ramp_points and can_id stand apart from the general settings before the wheels
    return (a.id == ParamId::ramp_points) == (b.id == ParamId::ramp_points) &&
           (a.id == ParamId::can_id) == (b.id == ParamId::can_id);
}

int diff(const Wert& a, const Wert& b, std::ostream& out) {
    bool differ = false;
    Item last{};
    for (Item item : every_item()) {
        const Value old_value = read_value(a, item), new_value = read_value(b, item);
        if (old_value == new_value) continue;
        if (differ && !same_group(last, item)) out << "\n";
        out << item_name(item) << ": " << format_value(item, old_value) << " -> "
            << format_value(item, new_value) << "\n";
        differ = true;
        last = item;
    }
    unsigned other = 0;
    for (unsigned address = 0; address < eeprom_size; ++address)
        if ((a[address] ^ b[address]) & ~known_bits(address)) ++other;
    if (other != 0) {
        if (differ) out << "\n";
        out << other << (other == 1 ? " byte differs" : " bytes differ")
            << " outside the known parameters\n";
        differ = true;
    }
    return differ ? status_differ : status_ok;
}

int check(const Wert& wert, std::ostream& out) {
    const std::vector<std::string> problems = check_image(wert);
    for (const std::string& p : problems) out << p << "\n";
    return problems.empty() ? status_ok : status_differ;
}

// The first screen the editor shows, with field 0 highlighted as it is then.
int screen_text(const Wert& wert, std::ostream& out) {
    Console con;
    textcolor(con, light_grey);
    clrscr(con);
    title_box(con);
    Editor ed;
    screen(con, wert, ed.ramp);
    highlight(con, ed, wert);
    for (int y = 1; y <= console_height; ++y) {
        std::string row = row_text(con, y);
        row.erase(row.find_last_not_of(' ') + 1);
        out << row << "\n";
    }
    return status_ok;
}

} // namespace

std::vector<std::string> check_image(const Wert& wert) {
    std::vector<std::string> problems;
    for (Item item : shown_items(wert))
        if (!in_range(wert, item, read_value(wert, item)))
            problems.push_back(show_line(wert, item) + ": the field takes " + allowed(wert, item));
    return problems;
}

std::string usage_text() {
    return R"usage(Usage: ulocfg                         edit ulo.txt in the current directory
       ulocfg show [FILE]            every parameter, one "name = value unit" per line
       ulocfg get NAME... [--file FILE]
       ulocfg set NAME=VALUE... [--file FILE]
       ulocfg diff A B               the parameters that differ between two images
       ulocfg check [FILE]           the values the editor's fields could not produce
       ulocfg screen [FILE]          the editor's first screen as text
       ulocfg --help | --version

FILE is ulo.txt in the current directory unless given (also as --file FILE).
None of the commands needs a terminal; the editor does.

Names: last_menu edit_mode_bit brightness contrast wheel_select tdc_cyl max_poti_speed
  vss_pulses_per_km vss_pulse_width aux_speed_pulses aux_speed_pulse_width lis_inversion
  lis_lower_threshold lis_upper_threshold kickdown_threshold first_high_frequency
  second_high_frequency ramp_points can_id;
  wheel[1..25].X with X one of write_protection name cylinders tdc_width cam_inversion
  crank_flag crank_pulses crank_width crank_offset gap_phase gap_pulses gap_count cam_pulses
  cam_width cam_offset sync_phase sync_pulses;
  ramp[1..99].time and ramp[1..99].speed. get also takes wheel[N] and ramp[N] whole.

Values are written as show writes them, in the screen's units; the unit may be left out:
  brightness=100 (percent, steps of 20)   contrast=high|low   edit_mode_bit=on|off
  lis_inversion=norm|inv   wheel[2].crank_flag=yes|no   wheel_select=3 (as shown, 1..25)
  max_poti_speed=6000 (rpm)   ramp[3].time=2.5 (seconds)   ramp[3].speed=1000 (rpm)
  wheel[1].crank_offset=120.0 (degrees, one decimal)   wheel[1].gap_pulses=-1
  wheel[1].cam_width=3.0 (tenths form, up to 12.5) or =13 (whole degrees, no point)
  wheel[2].name="36-1 Crank" (padded with spaces to 16)   can_id=18DAF110 (hexadecimal)
A value may carry " (stored N)" as show writes it where the screen shows several stored
values alike. set refuses any value the editor's field for it could not produce and then
writes nothing; the file is replaced whole, never left half-written.

Editor keys: Enter, cursor keys, Home, End move between fields; digits type a value
  (hexadecimal in the CAN id); Delete drops a digit; Page Up/Down step a value or toggle;
  Space toggles; - changes the sign of the pulse counts; Backspace edits the wheel name;
  Escape or Alt+X ask "Dow you want to save the data (Y/N)? ": Y saves, Escape goes back,
  any other key ends without saving.

Exit status: 0 success, no differences, no problems; 1 a file cannot be opened or written;
  2 a file is not a valid image; 3 the editor has no terminal; 4 the editor failed
  unexpectedly; 5 diff found differences or check found values out of range; 6 set or get
  was given a name or value it cannot take (nothing written); 7 the command line is wrong.
)usage";
}

int cli(int argc, char** argv, std::ostream& out, std::ostream& err) {
    if (argc < 2) return usage_error(err, "no command");
    const std::string first = argv[1];
    if (first == "--help" || first == "-h" || first == "help") {
        out << usage_text();
        return status_ok;
    }
    if (first == "--version") {
        out << "ulocfg " << ULOCFG_VERSION << "\n";
        return status_ok;
    }
    const CommandName* found = nullptr;
    for (const CommandName& c : commands)
        if (first == c.name) found = &c;
    if (found == nullptr) return usage_error(err, "unknown command " + first);

    Arguments a;
    if (!split_arguments(argc, argv, a, err)) return usage_error(err, first + ": wrong arguments");
    std::vector<std::string>& ops = a.operands;
    const Command command = found->command;

    if (command == Command::diff) {
        if (a.has_file || ops.size() != 2) return usage_error(err, "diff takes two files");
        Wert old_image{}, new_image{};
        if (int status = load(ops[0], old_image, err)) return status;
        if (int status = load(ops[1], new_image, err)) return status;
        return diff(old_image, new_image, out);
    }
    if (command == Command::get || command == Command::set) {
        if (ops.empty()) return usage_error(err, first + " needs at least one parameter");
        const std::string path = a.has_file ? a.file : default_file;
        if (command == Command::set) return set(path, ops, err);
        Wert wert{};
        if (int status = load(path, wert, err)) return status;
        return get(wert, ops, out, err);
    }
    // show, check, screen: one file at most
    if (ops.size() > (a.has_file ? 0u : 1u)) return usage_error(err, first + " takes one file");
    const std::string path = a.has_file ? a.file : ops.empty() ? default_file : ops[0];
    Wert wert{};
    if (int status = load(path, wert, err)) return status;
    switch (command) {
    case Command::show: return show(wert, out);
    case Command::check: return check(wert, out);
    default: return screen_text(wert, out);
    }
}

} // namespace ulo
