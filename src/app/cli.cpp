#include "app/cli.hpp"

#include <algorithm>
#include <ostream>
#include <sstream>
#include <string_view>

#include "app/apply.hpp"
#include "app/image_io.hpp"
#include "app/json.hpp"
#include "app/suggest.hpp"
#include "console/console.hpp"
#include "editor/editor.hpp"
#include "eeprom/file.hpp"
#include "eeprom/params.hpp"
#include "screen/screen.hpp"

#ifndef ULOCFG_VERSION
#define ULOCFG_VERSION "unknown"
#endif

namespace ulo {

namespace {

constexpr const char* default_file = "ulo.txt";

enum class Command { none, show, get, set, apply, diff, check, screen, edit, help, version };

struct CommandName {
    const char* name;
    Command command;
};
constexpr CommandName commands[] = {
    {"edit", Command::edit},       {"show", Command::show},     {"get", Command::get},
    {"set", Command::set},         {"apply", Command::apply},   {"diff", Command::diff},
    {"check", Command::check},     {"screen", Command::screen}, {"help", Command::help},
    {"version", Command::version},
};

// The options, wherever they stand on the line before "--".
constexpr const char* long_options[] = {"--file", "--json",    "--force", "--value",
                                        "--help", "--version", "--names"};

// The command line: the command, its operands and the options.
struct Arguments {
    Command command = Command::none;
    std::string command_name;
    std::vector<std::string> operands;
    std::string file;
    bool has_file = false;
    bool json = false;    // --json: one JSON document instead of text
    bool force = false;   // --force: values outside their field's range are stored too
    bool value = false;   // --value: get prints the values alone
    bool help = false;    // --help, -h
    bool version = false; // --version, -V
    bool names = false;   // --names: every name get and set take, for the shell completion
};

Command command_named(const std::string& word) {
    for (const CommandName& c : commands)
        if (word == c.name) return c.command;
    return Command::none;
}

std::vector<std::string> command_names() {
    std::vector<std::string> names;
    for (const CommandName& c : commands) names.push_back(c.name);
    return names;
}

// Reads the whole line: the first word that is no option is the command. False, with the
// message, for a line that cannot be read (an unknown command or option, --file twice or
// without its name).
bool split_arguments(int argc, char** argv, Arguments& a, std::string& message) {
    bool options = true;
    for (int k = 1; k < argc; ++k) {
        const std::string arg = argv[k];
        if (options && arg == "--") {
            options = false;
        } else if (options && (arg == "--file" || arg == "-f" || arg.starts_with("--file="))) {
            if (a.has_file) {
                message = "--file is given twice";
                return false;
            }
            if (arg.starts_with("--file=")) {
                a.file = arg.substr(7);
            } else if (k + 1 == argc) {
                message = arg + " needs a file name";
                return false;
            } else {
                a.file = argv[++k];
            }
            a.has_file = true;
        } else if (options && arg == "--json") {
            a.json = true;
        } else if (options && arg == "--force") {
            a.force = true;
        } else if (options && arg == "--value") {
            a.value = true;
        } else if (options && (arg == "--help" || arg == "-h")) {
            a.help = true;
        } else if (options && (arg == "--version" || arg == "-V")) {
            a.version = true;
        } else if (options && arg == "--names") {
            a.names = true;
        } else if (options && arg.size() > 1 && arg[0] == '-') {
            static const std::vector<std::string> known(std::begin(long_options),
                                                        std::end(long_options));
            message = "unknown option " + printable(arg) + did_you_mean(arg, known);
            return false;
        } else if (a.command_name.empty() && options) {
            a.command_name = arg;
            a.command = command_named(arg);
            if (a.command == Command::none) {
                message = "unknown command " + printable(arg) + did_you_mean(arg, command_names());
                return false;
            }
        } else {
            a.operands.push_back(arg);
        }
    }
    return true;
}

int usage_error(std::ostream& err, const std::string& message, const std::string& command = "") {
    err << "ulocfg: " << message << "\nTry 'ulocfg " << (command.empty() ? "" : command + " ")
        << "--help'.\n";
    return status_usage;
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
    if (!parse_item(text + ".name", item, why) && !parse_item(text + ".time", item, why)) {
        if (why.ends_with(" is not a parameter")) why = printable(text) + " is not a parameter";
        return false;
    }
    const Group group = param(item.id).group;
    for (Item each : every_item())
        if (param(each.id).group == group && each.index == item.index) items.push_back(each);
    return true;
}

int show(const Wert& wert, std::ostream& out) {
    for (Item item : shown_items(wert)) out << show_line(wert, item) << "\n";
    return status_ok;
}

int get(const Wert& wert, const Arguments& a, std::ostream& out, std::ostream& err) {
    std::vector<Item> items;
    bool ok = true;
    for (const std::string& name : a.operands) {
        std::string why;
        if (!parse_names(name, items, why)) {
            why = with_suggestion(name, why);
            err << "ulocfg: cannot get " << printable(name) << ": " << why
                << (why.ends_with('?') ? "\n" : ".\n");
            ok = false;
        }
    }
    if (!ok) return status_rejected;
    if (a.json) return get_json(wert, items, out);
    for (Item item : items)
        out << (a.value ? bare_value(item, read_value(wert, item)) : show_line(wert, item)) << "\n";
    return status_ok;
}

int set(const std::string& path, const Arguments& a, std::ostream& err) {
    const Target target = open_target(path, a.force);
    std::vector<Assignment> all;
    bool taken = true;
    for (const std::string& text : a.operands) {
        const std::size_t equals = text.find('=');
        if (equals == std::string::npos)
            return usage_error(err, printable(text) + ": set takes NAME=VALUE", "set");
        const std::string_view name = trim(std::string_view(text).substr(0, equals));
        if (!add_assignment(all, target, printable(text), name,
                            std::string_view(text).substr(equals + 1), err))
            taken = false;
    }
    return assign(target, all, taken, err);
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
    Arguments a;
    std::string message; // cli() says what is wrong
    if (argc < 2 || !split_arguments(argc, argv, a, message)) return false;
    if (a.json || a.force || a.value || a.help || a.version || a.names) return false;
    const std::size_t files = a.operands.size() + (a.has_file ? 1 : 0);
    const bool editor = a.command == Command::edit
                            ? files <= 1
                            : a.command == Command::none && a.has_file && a.operands.empty();
    if (!editor) return false;
    path = a.has_file ? a.file : a.operands.empty() ? default_file : a.operands[0];
    return true;
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

// Every parameter with the values its field gives, one a line; values too long for 80
// columns go on under themselves.
std::string parameter_list() {
    constexpr std::size_t column = 28, width = 80;
    std::string text;
    for (const Param& p : params()) {
        std::string line = "  " + help_name(p);
        line.resize(std::max(line.size() + 1, column), ' ');
        std::string values = allowed({p.id, 0});
        while (line.size() + values.size() > width) {
            const std::size_t room = width - line.size();
            std::size_t cut = values.rfind(' ', room);
            if (cut == std::string::npos || cut == 0) cut = room;
            text += line + values.substr(0, cut) + "\n";
            values.erase(0, values.find_first_not_of(' ', cut));
            line.assign(column, ' ');
        }
        text += line + values + "\n";
    }
    return text;
}

struct CommandHelp {
    Command command;
    const char* text;
};

// What `ulocfg COMMAND --help` says; @PARAMETERS@ stands for the list of parameters.
constexpr CommandHelp command_help[] = {
    {Command::edit, R"h(Usage: ulocfg edit [FILE]
       ulocfg --file FILE
       ulocfg

Edits the image in FILE (ulo.txt in the current directory unless given) on the
terminal's 80x25 screen; 'ulocfg --help' and the man page list the keys.
)h"},
    {Command::show, R"h(Usage: ulocfg show [FILE] [--json]

Lists every parameter, one "name = value unit" per line, in the order of the
editor's screen: the general settings, the 25 wheel configurations, the ramp
points in use, the CAN id. set and apply take these lines back as they are.

  -f, --file FILE   the image (ulo.txt in the current directory unless given)
      --json        one JSON document instead of text
)h"},
    {Command::get, R"h(Usage: ulocfg get NAME... [--file FILE] [--value | --json]

Prints the named parameters as show writes them. A NAME is a parameter
(wheel[3].name) or a whole wheel configuration or ramp point (wheel[3],
ramp[2]); 'ulocfg set --help' lists them.

  -f, --file FILE   the image (ulo.txt in the current directory unless given)
      --value       the values alone, one per line: as show writes them, without
                    the name and the unit (a wheel name in its double quotes)
      --json        one JSON document instead of text
)h"},
    {Command::set, R"h(Usage: ulocfg set NAME=VALUE... [--file FILE] [--force]

Sets parameters, all or none. A value no edit in the editor's field gives is
refused and nothing is written, unless the image holds it already or --force is
given. The file is replaced whole, never left half-written.

  -f, --file FILE   the image (ulo.txt in the current directory unless given)
      --force       store values outside a field's range too (with a warning),
                    as far as the parameter's bits hold them

Values are written as show writes them, in the screen's units; the unit may be
left out, and " (stored N)" picks one of the stored values the screen shows
alike:
  brightness=100   contrast=low   edit_mode_bit=on   wheel[2].crank_flag=yes
  wheel_select=3 (as shown, 1..25)   ramp[3].time=2.5   can_id=18DAF110
  wheel[1].crank_offset=120.0   wheel[1].cam_width=3.0 (tenths) or =13 (degrees)
  wheel[2].name="36-1 Crank" (padded with spaces to 16 characters)

@PARAMETERS@)h"},
    {Command::apply, R"h(Usage: ulocfg apply PARAMFILE [--file FILE] [--force]

Sets every "name = value" line of PARAMFILE (- for standard input) as set does,
all or none. The lines are those show writes, so that show of one image applied
to another gives it the first one's parameters; blank lines and lines starting
with # are skipped, and the unit may be left out.

  -f, --file FILE   the image (ulo.txt in the current directory unless given)
      --force       store values outside a field's range too (with a warning)
)h"},
    {Command::diff, R"h(Usage: ulocfg diff A B [--json]

Lists the parameters that differ between the images A and B, "name: old -> new",
grouped as the screen groups them, and counts the bytes that differ outside the
parameters. Exit status 5 when anything differs.

      --json        one JSON document instead of text
)h"},
    {Command::check, R"h(Usage: ulocfg check [FILE] [--json]

Lists the values no edit in the editor's fields gives (exit status 5), and the
values at odds with another parameter (warnings only).

  -f, --file FILE   the image (ulo.txt in the current directory unless given)
      --json        one JSON document instead of text
)h"},
    {Command::screen, R"h(Usage: ulocfg screen [FILE]

Prints the editor's first screen for the image as text, 25 rows.

  -f, --file FILE   the image (ulo.txt in the current directory unless given)
)h"},
    {Command::help, R"h(Usage: ulocfg help [COMMAND]

Prints the overview, or the usage of COMMAND (as 'ulocfg COMMAND --help').
)h"},
    {Command::version, R"h(Usage: ulocfg version

Prints the program's version (also 'ulocfg --version' and 'ulocfg -V').
)h"},
};

} // namespace

std::string usage_text() {
    return R"usage(Usage: ulocfg                      edit ulo.txt in the current directory
       ulocfg edit [FILE]         edit FILE (also: ulocfg --file FILE)
       ulocfg COMMAND [ARGS]      work on an image without a terminal

Commands:
  show [FILE]          every parameter, one "name = value unit" per line
  get NAME...          the named parameters, or with --value their values alone
  set NAME=VALUE...    set parameters, all or none
  apply PARAMFILE      set every "name = value" line of PARAMFILE (- for stdin)
  diff A B             the parameters that differ between two images
  check [FILE]         the values the editor's fields could not produce
  screen [FILE]        the editor's first screen as text
  help [COMMAND]       this overview, or a command's usage
  version              the program's version

Options, anywhere on the line:
  -f, --file FILE      the image; ulo.txt in the current directory unless given
      --json           show, get, diff, check: one JSON document instead of text
      --value          get: the values alone, one per line
      --force          set, apply: store values outside a field's range too
  -h, --help           this overview; after a command, that command's usage
  -V, --version        the program's version

Editor keys: Enter, cursor keys, Home, End move between fields; digits type a
value, Delete drops one; Page Up/Down step it; Space toggles; Escape or Alt+X
ask "Dow you want to save the data (Y/N)? ".

Exit status: 0 success; 1 a file cannot be opened, read or written; 2 a file is
not an image; 3 no terminal; 4 the editor failed; 5 diff found differences or
check values out of range; 6 a name or value refused, nothing written; 7 the
command line is wrong. More in 'ulocfg COMMAND --help' and 'man ulocfg'.
)usage";
}

std::string command_usage(const std::string& command) {
    const Command c = command_named(command);
    for (const CommandHelp& h : command_help) {
        if (h.command != c) continue;
        std::string text = h.text;
        const std::size_t at = text.find("@PARAMETERS@");
        if (at != std::string::npos)
            text.replace(at, 12,
                         "Parameters, with the values the editor's fields give (wheel[N]: N = "
                         "1..25,\nramp[N]: N = 1..99):\n" +
                             parameter_list());
        return text;
    }
    return "";
}

int cli(int argc, char** argv, std::ostream& out, std::ostream& err) {
    if (argc < 2) return usage_error(err, "no command");
    Arguments a;
    std::string message;
    if (!split_arguments(argc, argv, a, message))
        return usage_error(err, message, a.command == Command::none ? "" : a.command_name);
    const std::string& name = a.command_name;
    std::vector<std::string>& ops = a.operands;
    const Command command = a.command;

    if (command == Command::help && !ops.empty()) {
        if (ops.size() > 1) return usage_error(err, "help takes one command", "help");
        if (command_named(ops[0]) == Command::none)
            return usage_error(err, "unknown command " + printable(ops[0]) +
                                        did_you_mean(ops[0], command_names()));
        out << command_usage(ops[0]);
        return status_ok;
    }
    if (a.help || command == Command::help) {
        out << (command == Command::none || command == Command::help ? usage_text()
                                                                     : command_usage(name));
        return status_ok;
    }
    if (a.version || command == Command::version) {
        out << "ulocfg " << ULOCFG_VERSION << "\n";
        return status_ok;
    }
    if (a.names) { // for shell completion: every name get and set take
        for (const std::string& each : parameter_names()) out << each << "\n";
        return status_ok;
    }
    if (command == Command::none) return usage_error(err, "no command");
    if (command == Command::edit) // editor_file() did not take it
        return usage_error(err, "edit takes one file", name);
    if (a.json && command != Command::show && command != Command::get && command != Command::diff &&
        command != Command::check)
        return usage_error(err, name + " has no --json", name);
    if (a.force && command != Command::set && command != Command::apply)
        return usage_error(err, name + " has no --force", name);
    if (a.value && command != Command::get) return usage_error(err, name + " has no --value", name);
    if (a.value && a.json) return usage_error(err, "get takes --value or --json, not both", name);

    if (command == Command::diff) {
        if (a.has_file || ops.size() != 2) return usage_error(err, "diff takes two files", name);
        Wert old_image{}, new_image{};
        if (int status = load(ops[0], old_image, err)) return status;
        if (int status = load(ops[1], new_image, err)) return status;
        return a.json ? diff_json(old_image, new_image, out) : diff(old_image, new_image, out);
    }
    const std::string path = a.has_file ? a.file : default_file;
    if (command == Command::apply) {
        if (ops.size() != 1) return usage_error(err, "apply takes one parameter file", name);
        return apply_file(ops[0], path, a.force, err);
    }
    if (command == Command::get || command == Command::set) {
        if (ops.empty()) return usage_error(err, name + " needs at least one parameter", name);
        if (command == Command::set) return set(path, a, err);
        Wert wert{};
        if (int status = load(path, wert, err)) return status;
        return get(wert, a, out, err);
    }
    // show, check, screen: one file at most
    if (ops.size() > (a.has_file ? 0u : 1u))
        return usage_error(err, name + " takes one file", name);
    Wert wert{};
    if (int status = load(ops.empty() ? path : ops[0], wert, err)) return status;
    switch (command) {
    case Command::show: return a.json ? show_json(wert, out) : show(wert, out);
    case Command::check: return a.json ? check_json(wert, out) : check(wert, out);
    default: return screen_text(wert, out);
    }
}

} // namespace ulo
