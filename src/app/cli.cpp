#include "app/cli.hpp"

#include <algorithm>
#include <cstddef>
#include <limits>
#include <ostream>
#include <string_view>
#include <utility>

#include "app/apply.hpp"
#include "app/help_text.hpp"
#include "app/image_io.hpp"
#include "app/json.hpp"
#include "app/process.hpp"
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

// How a command takes --file: as the image it works on, beside its operands (get, set,
// apply); in place of its one file operand (show, check, screen, edit); or not at all (diff).
enum class File { image, operand, none };

constexpr std::size_t any = std::numeric_limits<std::size_t>::max();

// What a command takes: which of --json, --value and --force, how --file, and how many
// operands, --file among them where it stands for one. A line with other operands is told
// `wrong_count`. help and version print their text whatever options the line holds.
struct CommandRule {
    const char* name;
    Command command;
    bool json, value, force;
    File file;
    std::size_t least, most;
    const char* wrong_count;
};

// clang-format off
constexpr CommandRule commands[] = {
    // name     command           --json --value --force --file         operands
    {"edit",    Command::edit,    false, false,  false,  File::operand, 0, 1,
     "edit takes one file"},
    {"show",    Command::show,    true,  false,  false,  File::operand, 0, 1,
     "show takes one file"},
    {"get",     Command::get,     true,  true,   false,  File::image,   1, any,
     "get needs at least one parameter"},
    {"set",     Command::set,     false, false,  true,   File::image,   1, any,
     "set needs at least one parameter"},
    {"apply",   Command::apply,   true,  false,  true,   File::image,   1, 1,
     "apply takes one parameter file"},
    {"diff",    Command::diff,    true,  false,  false,  File::none,    2, 2,
     "diff takes two files"},
    {"check",   Command::check,   true,  false,  false,  File::operand, 0, 1,
     "check takes one file"},
    {"screen",  Command::screen,  false, false,  false,  File::operand, 0, 1,
     "screen takes one file"},
    {"help",    Command::help,    false, false,  false,  File::image,   0, 1,
     "help takes one command"},
    {"version", Command::version, false, false,  false,  File::image,   0, any,
     ""},
};
// clang-format on

// The options, wherever they stand on the line before "--".
constexpr const char* long_options[] = {"--file",    "--json",  "--force",   "--value",  "--help",
                                        "--version", "--names", "--compare", "--changes"};

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
    std::optional<std::string> compare; // --compare REF: edit compares with the image in REF
    bool changes = false;               // --changes: edit compares with the file as loaded
};

Command command_named(const std::string& word) {
    for (const CommandRule& c : commands)
        if (word == c.name) return c.command;
    return Command::none;
}

const CommandRule& rule_of(Command command) {
    for (const CommandRule& c : commands)
        if (c.command == command) return c;
    return commands[0]; // every command has its rule
}

std::vector<std::string> command_names() {
    std::vector<std::string> names;
    for (const CommandRule& c : commands) names.push_back(c.name);
    return names;
}

// A word that is no command but looks like a file's name: one with a slash or a backslash, or
// one that ends in an extension such as ".txt" (a parameter's name with a dot has brackets).
bool looks_like_path(const std::string& word) {
    if (word.find_first_of("/\\") != std::string::npos) return true;
    const std::size_t dot = word.rfind('.');
    if (dot == std::string::npos || dot == 0 || word.size() - dot - 1 > 4 ||
        word.find_first_of("[]=\"") != std::string::npos)
        return false;
    const std::string_view extension = std::string_view(word).substr(dot + 1);
    return !extension.empty() && std::ranges::all_of(extension, [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    });
}

// What "unknown command WORD" adds: the edit a file's name asks for, or the nearest commands.
std::string command_hint(const std::string& word) {
    if (looks_like_path(word)) return "; did you mean: ulocfg edit " + printable(word);
    return did_you_mean(word, command_names());
}

// Reads the whole line: the first word that is no option is the command. False, with the
// message, for a line that cannot be read (an unknown command or option, --file twice or
// without its name).
// The file an option names, as "--option FILE" (argv[k] the option; k moves on to the file)
// or "--option=FILE"; false, with the message, when it is given twice or has no file.
bool file_of(int argc, char** argv, int& k, const std::string& option, bool given,
             std::string& file, std::string& message) {
    const std::string arg = argv[k];
    if (given) {
        message = option + " is given twice";
        return false;
    }
    if (arg.starts_with(option + "=")) {
        file = arg.substr(option.size() + 1);
    } else if (k + 1 == argc) {
        message = arg + " needs a file name";
        return false;
    } else {
        file = argv[++k];
    }
    return true;
}

bool split_arguments(int argc, char** argv, Arguments& a, std::string& message) {
    bool options = true;
    for (int k = 1; k < argc; ++k) {
        const std::string arg = argv[k];
        if (options && arg == "--") {
            options = false;
        } else if (options && (arg == "--file" || arg == "-f" || arg.starts_with("--file="))) {
            if (!file_of(argc, argv, k, "--file", a.has_file, a.file, message)) return false;
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
        } else if (options && (arg == "--compare" || arg.starts_with("--compare="))) {
            std::string file;
            if (!file_of(argc, argv, k, "--compare", a.compare.has_value(), file, message))
                return false;
            a.compare = file;
        } else if (options && arg == "--changes") {
            a.changes = true;
        } else if (options && arg.size() > 1 && arg[0] == '-') {
            static const std::vector<std::string> known(std::begin(long_options),
                                                        std::end(long_options));
            message = "unknown option " + printable(arg) + did_you_mean(arg, known);
            return false;
        } else if (a.command_name.empty() && options) {
            a.command_name = arg;
            a.command = command_named(arg);
            if (a.command == Command::none) {
                message = "unknown command " + printable(arg) + command_hint(arg);
                return false;
            }
        } else {
            a.operands.push_back(arg);
        }
    }
    // --compare and --changes alone ask for the editor, as "edit" would
    if (a.command == Command::none && (a.compare || a.changes)) {
        a.command = Command::edit;
        a.command_name = "edit";
    }
    return true;
}

// What is wrong with the options and operands of the line for the command of `rule`, as the
// user is told; "" when the command takes them all.
std::string misfit(const CommandRule& rule, const Arguments& a) {
    const bool edit = rule.command == Command::edit;
    const std::pair<bool, const char*> options[] = {{a.json && !rule.json, "--json"},
                                                    {a.force && !rule.force, "--force"},
                                                    {a.value && !rule.value, "--value"},
                                                    {a.compare && !edit, "--compare"},
                                                    {a.changes && !edit, "--changes"}};
    for (const auto& [refused, option] : options)
        if (refused) return a.command_name + " has no " + option;
    if (a.value && a.json) return a.command_name + " takes --value or --json, not both";
    if (a.compare && a.changes) return a.command_name + " takes --compare or --changes, not both";
    const bool file_operand = a.has_file && rule.file == File::operand;
    const std::size_t count = a.operands.size() + (file_operand ? 1 : 0);
    if ((a.has_file && rule.file == File::none) || count < rule.least || count > rule.most)
        return rule.wrong_count;
    return "";
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

namespace {

// A file's name first, as Explorer gives it for a file dropped on the program, is "edit FILE"
// with the rest of the line ("ulocfg ulo.txt --compare car.txt"); a command or an option of
// that name comes first. The line as edit's, or empty.
std::vector<char*> as_edit(int argc, char** argv) {
    static char edit_word[] = "edit";
    std::vector<char*> line;
    if (argc < 2) return line;
    const std::string word = argv[1];
    if (word.starts_with('-') || command_named(word) != Command::none || !names_file(word))
        return line;
    line.assign(argv, argv + argc);
    line.insert(line.begin() + 1, edit_word);
    return line;
}

} // namespace

bool editor_file(int argc, char** argv, std::string& path) {
    if (std::vector<char*> line = as_edit(argc, argv); !line.empty())
        return editor_file(static_cast<int>(line.size()), line.data(), path);
    Arguments a;
    std::string message; // cli() says what is wrong
    if (argc < 2 || !split_arguments(argc, argv, a, message)) return false;
    if (a.help || a.version || a.names) return false;
    // "--file FILE" alone is "edit FILE"
    const bool edit = a.command == Command::edit ||
                      (a.command == Command::none && a.has_file && a.operands.empty());
    if (!edit || !misfit(rule_of(Command::edit), a).empty()) return false;
    path = a.has_file ? a.file : a.operands.empty() ? default_file : a.operands[0];
    return true;
}

void editor_reference(int argc, char** argv, std::optional<std::string>& compare, bool& changes) {
    if (std::vector<char*> line = as_edit(argc, argv); !line.empty())
        return editor_reference(static_cast<int>(line.size()), line.data(), compare, changes);
    Arguments a;
    std::string message;
    if (!split_arguments(argc, argv, a, message)) return;
    compare = a.compare;
    changes = a.changes;
}

namespace {

// Runs a command whose line its rule takes.
int run_command(const Arguments& a, std::ostream& out, std::ostream& err) {
    const std::vector<std::string>& ops = a.operands;
    const std::string path = a.has_file ? a.file : default_file;
    switch (a.command) {
    case Command::diff: {
        Wert old_image{}, new_image{};
        if (int status = load(ops[0], old_image, err)) return status;
        if (int status = load(ops[1], new_image, err)) return status;
        return a.json ? diff_json(old_image, new_image, out) : diff(old_image, new_image, out);
    }
    case Command::apply: return apply_file(ops[0], path, a.force, a.json, err);
    case Command::set: return set(path, a, err);
    default: break;
    }
    // get, show, check, screen: one image, named by --file or by the one operand
    const bool operand = rule_of(a.command).file == File::operand && !ops.empty();
    Wert wert{};
    if (int status = load(operand ? ops[0] : path, wert, err)) return status;
    switch (a.command) {
    case Command::get: return get(wert, a, out, err);
    case Command::show: return a.json ? show_json(wert, out) : show(wert, out);
    case Command::check: return a.json ? check_json(wert, out) : check(wert, out);
    default: return screen_text(wert, out);
    }
}

} // namespace

int cli(int argc, char** argv, std::ostream& out, std::ostream& err) {
    if (argc < 2) return usage_error(err, "no command");
    Arguments a;
    std::string message;
    if (!split_arguments(argc, argv, a, message))
        return usage_error(err, message, a.command == Command::none ? "" : a.command_name);
    const std::string& name = a.command_name;
    const std::vector<std::string>& ops = a.operands;
    const Command command = a.command;

    if (command == Command::help && !ops.empty()) {
        const CommandRule& rule = rule_of(command);
        if (ops.size() > rule.most) return usage_error(err, rule.wrong_count, name);
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
    // editor_file() has taken every line edit takes
    if (command == Command::edit) {
        message = misfit(rule_of(command), a);
        return usage_error(err, message.empty() ? rule_of(command).wrong_count : message, name);
    }
    message = misfit(rule_of(command), a);
    if (!message.empty()) return usage_error(err, message, name);
    return run_command(a, out, err);
}

} // namespace ulo
