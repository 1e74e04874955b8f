#include "app/cli.hpp"

#include <algorithm>
#include <ostream>
#include <sstream>
#include <string_view>

#include "app/apply.hpp"
#include "app/flow.hpp"
#include "app/json.hpp"
#include "eeprom/params.hpp"
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

enum class Command { show, get, set, apply, diff, check, screen };

struct CommandName {
    const char* name;
    Command command;
};
constexpr CommandName commands[] = {
    {"show", Command::show}, {"get", Command::get},     {"set", Command::set},
    {"diff", Command::diff}, {"check", Command::check}, {"screen", Command::screen},
    {"apply", Command::apply},
};

// The arguments after the command: the operands, and the file named by --file.
struct Arguments {
    std::vector<std::string> operands;
    std::string file;
    bool has_file = false;
    bool json = false; // --json: one JSON document instead of text
};

// The arguments from argv[first] on.
bool split_arguments(int argc, char** argv, int first, Arguments& a, std::ostream& err) {
    bool options = true;
    for (int k = first; k < argc; ++k) {
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
        } else if (options && arg == "--json") {
            a.json = true;
        } else if (options && arg.rfind("--file=", 0) == 0) {
            a.file = arg.substr(7);
            a.has_file = true;
        } else if (options && arg.size() > 1 && arg[0] == '-') {
            err << "ulocfg: unknown option " << printable(arg) << "\n";
            return false;
        } else {
            a.operands.push_back(arg);
        }
    }
    return true;
}

bool is_file_option(const std::string& arg) {
    return arg == "--file" || arg == "-f" || arg.rfind("--file=", 0) == 0;
}

int usage_error(std::ostream& err, const std::string& message) {
    err << "ulocfg: " << message << "\nTry 'ulocfg --help'.\n";
    return status_usage;
}

} // namespace

// 0, or the editor's status for a file that cannot be read or is not an image.
// With `seen`, what the file held, so that a save can tell whether it changed meanwhile.
int load(const std::string& path, Wert& wert, std::ostream& err, FileState* seen) {
    switch (load_image(path, wert, seen)) {
    case LoadResult::loaded: return status_ok;
    case LoadResult::cannot_open:
        err << "ulocfg: cannot open " << printable(path) << "\n";
        return status_cannot_open;
    case LoadResult::incorrect:
        err << "ulocfg: " << printable(path)
            << ": EEPROM textfile incorrect (not 2048 byte tokens)\n";
        return status_incorrect;
    }
    return status_incorrect;
}

namespace {

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

int get(const Wert& wert, const std::vector<std::string>& names, bool json, std::ostream& out,
        std::ostream& err) {
    std::vector<Item> items;
    bool ok = true;
    for (const std::string& name : names) {
        std::string why;
        if (!parse_names(name, items, why)) {
            err << "ulocfg: cannot get " << printable(name) << ": " << why << ".\n";
            ok = false;
        }
    }
    if (!ok) return status_rejected;
    if (json) return get_json(wert, items, out);
    for (Item item : items) out << show_line(wert, item) << "\n";
    return status_ok;
}

int set(const std::string& path, const std::vector<std::string>& texts, std::ostream& err) {
    std::vector<Assignment> all;
    bool taken = true;
    for (const std::string& text : texts) {
        const std::size_t equals = text.find('=');
        if (equals == std::string::npos)
            return usage_error(err, printable(text) + ": set takes NAME=VALUE");
        const std::string_view name = trim(std::string_view(text).substr(0, equals));
        if (!add_assignment(all, printable(text), name, std::string_view(text).substr(equals + 1),
                            err))
            taken = false;
    }
    return assign(path, all, taken, err);
}

// Groups of diff: the general settings, each wheel configuration, each ramp point.
bool same_group(Item a, Item b) {
    const Group ga = param(a.id).group, gb = param(b.id).group;
    if (ga != gb) return false;
    if (ga == Group::wheel || ga == Group::ramp_point) return a.index == b.index;
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
    const unsigned other = bytes_outside_differing(a, b);
    if (other != 0) {
        if (differ) out << "\n";
        out << other << (other == 1 ? " byte differs" : " bytes differ")
            << " outside the known parameters\n";
        differ = true;
    }
    return differ ? status_differ : status_ok;
}

int check(const Wert& wert, std::ostream& out) {
    bool out_of_range = false;
    for (const Finding& f : check_image(wert)) {
        out << f.text << "\n";
        out_of_range = out_of_range || !f.warning;
    }
    return out_of_range ? status_differ : status_ok;
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

bool editor_file(int argc, char** argv, std::string& path) {
    if (argc < 2) return false;
    const std::string first = argv[1];
    const bool edit = first == "edit";
    if (!edit && !is_file_option(first)) return false;
    Arguments a;
    std::ostringstream ignored; // cli() says what is wrong
    if (!split_arguments(argc, argv, edit ? 2 : 1, a, ignored)) return false;
    if (a.operands.size() + (a.has_file ? 1 : 0) > 1) return false;
    path = a.has_file ? a.file : a.operands.empty() ? default_file : a.operands[0];
    return true;
}

std::vector<Finding> check_image(const Wert& wert) {
    std::vector<Finding> found;
    for (Item item : shown_items(wert)) {
        if (!in_range(item, read_value(wert, item)))
            found.push_back(
                {false, item, show_line(wert, item) + ": the field takes " + allowed(item)});
        else if (const std::string why = conflict(wert, item); !why.empty())
            found.push_back({true, item, show_line(wert, item) + ": warning: " + why});
    }
    return found;
}

namespace {

// "last_menu", "wheel[N].crank_offset", "ramp[N].time": a parameter as --help lists it.
std::string help_name(const Param& p) {
    switch (p.group) {
    case Group::wheel: return std::string("wheel[N].") + p.name;
    case Group::ramp_point: return std::string("ramp[N].") + p.name;
    default: return p.name;
    }
}

// Every parameter with the values its field gives, one a line.
std::string parameter_list() {
    std::string text;
    for (const Param& p : params()) {
        std::string name = help_name(p);
        name.resize(std::max<std::size_t>(name.size() + 1, 28), ' ');
        text += "  " + name + allowed({p.id, 0}) + "\n";
    }
    return text;
}

} // namespace

std::string usage_text() {
    std::string text =
        R"usage(Usage: ulocfg                         edit ulo.txt in the current directory
       ulocfg edit [FILE]            edit FILE (also ulocfg --file FILE)
       ulocfg show [FILE]            every parameter, one "name = value unit" per line
       ulocfg get NAME... [--file FILE]
       ulocfg set NAME=VALUE... [--file FILE]
       ulocfg apply PARAMFILE [--file FILE]
                                     set every "name = value" line of PARAMFILE (- for
                                     standard input), as show writes them, all or none
       ulocfg diff A B               the parameters that differ between two images
       ulocfg check [FILE]           the values the editor's fields could not produce
       ulocfg screen [FILE]          the editor's first screen as text
       ulocfg --help | --version | --names

FILE is ulo.txt in the current directory unless given (also as --file FILE).
None of the commands needs a terminal; the editor does. show, get, diff and check take
--json to write one JSON document instead of text. --names lists every name get and set
take, one per line (the shell completion reads it).

@NAMES@
Values are written as show writes them, in the screen's units; the unit may be left out:
  brightness=100 (percent, steps of 20)   contrast=high|low   edit_mode_bit=on|off
  lis_inversion=norm|inv   wheel[2].crank_flag=yes|no   wheel_select=3 (as shown, 1..25)
  max_poti_speed=6000 (rpm)   ramp[3].time=2.5 (seconds)   ramp[3].speed=1000 (rpm)
  wheel[1].crank_offset=120.0 (degrees, one decimal)   wheel[1].gap_pulses=-1
  wheel[1].cam_width=3.0 (tenths form, up to 12.5) or =13 (whole degrees, no point)
  wheel[2].name="36-1 Crank" (padded with spaces to 16)   can_id=18DAF110 (hexadecimal)
A value may carry " (stored N)" as show writes it where the screen shows several stored
values alike. set refuses any value the editor's field for it could not produce and then
writes nothing; the file is replaced whole, never left half-written. apply judges its lines
as set does; blank lines and lines starting with # are skipped.

Editor keys: Enter, cursor keys, Home, End move between fields; digits type a value
  (hexadecimal in the CAN id); Delete drops a digit; Page Up/Down step a value or toggle;
  Space toggles; - changes the sign of the pulse counts; Backspace edits the wheel name;
  Escape or Alt+X ask "Dow you want to save the data (Y/N)? ": Y saves, Escape goes back,
  any other key ends without saving.

Exit status: 0 success, no differences, no problems; 1 a file cannot be opened or written;
  2 a file is not a valid image; 3 the editor has no terminal; 4 the editor failed
  unexpectedly; 5 diff found differences or check found values out of range; 6 set, apply
  or get was given a name or value it cannot take (nothing written); 7 the command line is
  wrong.
)usage";
    const std::string names =
        "Parameters, with the values the editor's fields give (wheel[N]: N = 1..25, ramp[N]:\n"
        "N = 1..99; get also takes wheel[N] and ramp[N] whole):\n" + parameter_list() + "\n";
    text.replace(text.find("@NAMES@\n"), 8, names);
    return text;
}

int cli(int argc, char** argv, std::ostream& out, std::ostream& err) {
    if (argc < 2) return usage_error(err, "no command");
    const std::string first = argv[1];
    if (first == "--help" || first == "-h" || first == "help") {
        out << usage_text();
        return status_ok;
    }
    if (first == "--names") { // for shell completion: every name get and set take
        for (Item item : every_item()) out << item_name(item) << "\n";
        for (unsigned n = 1; n <= wheel_count; ++n) out << "wheel[" << n << "]\n";
        for (unsigned r = 1; r <= ramp_table_points; ++r) out << "ramp[" << r << "]\n";
        return status_ok;
    }
    if (first == "--version") {
        out << "ulocfg " << ULOCFG_VERSION << "\n";
        return status_ok;
    }
    if (first == "edit" || is_file_option(first)) { // editor_file() did not take them
        Arguments a;
        if (!split_arguments(argc, argv, first == "edit" ? 2 : 1, a, err))
            return usage_error(err, printable(first) + ": wrong arguments");
        return usage_error(err, first == "edit" ? "edit takes one file"
                                                : "a command comes before --file FILE");
    }
    const CommandName* found = nullptr;
    for (const CommandName& c : commands)
        if (first == c.name) found = &c;
    if (found == nullptr) return usage_error(err, "unknown command " + printable(first));

    Arguments a;
    if (!split_arguments(argc, argv, 2, a, err))
        return usage_error(err, first + ": wrong arguments");
    std::vector<std::string>& ops = a.operands;
    const Command command = found->command;
    if (a.json && command != Command::show && command != Command::get &&
        command != Command::diff && command != Command::check)
        return usage_error(err, first + " has no --json");

    if (command == Command::diff) {
        if (a.has_file || ops.size() != 2) return usage_error(err, "diff takes two files");
        Wert old_image{}, new_image{};
        if (int status = load(ops[0], old_image, err)) return status;
        if (int status = load(ops[1], new_image, err)) return status;
        return a.json ? diff_json(old_image, new_image, out) : diff(old_image, new_image, out);
    }
    if (command == Command::apply) {
        if (ops.size() != 1) return usage_error(err, "apply takes one parameter file");
        return apply_file(ops[0], a.has_file ? a.file : default_file, err);
    }
    if (command == Command::get || command == Command::set) {
        if (ops.empty()) return usage_error(err, first + " needs at least one parameter");
        const std::string path = a.has_file ? a.file : default_file;
        if (command == Command::set) return set(path, ops, err);
        Wert wert{};
        if (int status = load(path, wert, err)) return status;
        return get(wert, ops, a.json, out, err);
    }
    // show, check, screen: one file at most
    if (ops.size() > (a.has_file ? 0u : 1u)) return usage_error(err, first + " takes one file");
    const std::string path = a.has_file ? a.file : ops.empty() ? default_file : ops[0];
    Wert wert{};
    if (int status = load(path, wert, err)) return status;
    switch (command) {
    case Command::show: return a.json ? show_json(wert, out) : show(wert, out);
    case Command::check: return a.json ? check_json(wert, out) : check(wert, out);
    default: return screen_text(wert, out);
    }
}

} // namespace ulo
