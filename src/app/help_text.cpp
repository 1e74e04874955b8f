// The help texts: the overview of --help and each command's usage, with the list of
// parameters drawn from the parameter table.
#include "app/help_text.hpp"

#include <algorithm>

#include "eeprom/params.hpp"
#include "eeprom/values.hpp"

namespace ulo {

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
    const char* command;
    const char* text;
};

// What `ulocfg COMMAND --help` says; @PARAMETERS@ stands for the list of parameters.
constexpr CommandHelp command_help[] = {
    {"edit", R"h(Usage: ulocfg edit [FILE] [--compare REF | --changes]
       ulocfg --file FILE
       ulocfg

Edits the image in FILE (ulo.txt in the current directory unless given) on the
terminal's 80x25 screen; 'ulocfg --help' and the man page list the keys.

  -f, --file FILE   the image (ulo.txt in the current directory unless given)
      --compare REF compare with the image in REF while editing; REF is only
                    read (a pipe too: --compare <(git show HEAD:ulo.txt))
      --changes     compare with FILE as it was loaded

Compared, every value that differs from REF's is shown in yellow (underlined
with NO_COLOR). Right of the title box stand REF's name, its value of the
field being edited and how many parameters differ, those of the other wheel
configurations and ramp points included.
  F5         takes REF's value for the field (with --changes: puts the loaded
             value back); only what the field edits, one byte of the CAN id
  F6         goes to the next field that differs (the ramp's time and speed
             point by point); Shift+F6 to the one before
)h"},
    {"show", R"h(Usage: ulocfg show [FILE] [--json]

Lists every parameter, one "name = value unit" per line, in the order of the
editor's screen: the general settings, the 25 wheel configurations, the ramp
points in use, the CAN id. set and apply take these lines back as they are.

  -f, --file FILE   the image (ulo.txt in the current directory unless given)
      --json        one JSON document instead of text
)h"},
    {"get", R"h(Usage: ulocfg get NAME... [--file FILE] [--value | --json]

Prints the named parameters as show writes them. A NAME is a parameter
(wheel[3].name) or a whole wheel configuration or ramp point (wheel[3],
ramp[2]); 'ulocfg set --help' lists them.

  -f, --file FILE   the image (ulo.txt in the current directory unless given)
      --value       the values alone, one per line: as show writes them, without
                    the name and the unit (a wheel name in its double quotes)
      --json        one JSON document instead of text
)h"},
    {"set", R"h(Usage: ulocfg set NAME=VALUE... [--file FILE] [--force]

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
    {"apply", R"h(Usage: ulocfg apply PARAMFILE [--file FILE] [--force] [--json]

Sets every "name = value" line of PARAMFILE (- for standard input) as set does,
all or none. The lines are those show writes, so that show of one image applied
to another gives it the first one's parameters; blank lines and lines starting
with # are skipped, and the unit may be left out. PARAMFILE is UTF-8 text, or
UTF-16 with its byte-order mark (as Windows writes "Unicode" text). The first 20
lines refused are named, the rest counted.

With --json, PARAMFILE is the document show --json (or get --json) writes,
edited or not, and each entry's "value" is set as set takes it: a string as
it is, true and false as yes/on and no/off, a number in the form show --json
wrote there (3 where it wrote 3.0 is 3.0 deg, not whole degrees). An unchanged
value keeps its "stored" number.

  -f, --file FILE   the image (ulo.txt in the current directory unless given)
      --force       store values outside a field's range too (with a warning)
      --json        PARAMFILE is a JSON document as show --json writes it
)h"},
    {"diff", R"h(Usage: ulocfg diff A B [--json]

Lists the parameters that differ between the images A and B, "name: old -> new",
grouped as the screen groups them, and counts the bytes that differ outside the
parameters. Exit status 5 when anything differs.

      --json        one JSON document instead of text
)h"},
    {"check", R"h(Usage: ulocfg check [FILE] [--json]

Lists the values no edit in the editor's fields gives (exit status 5), and the
values at odds with another parameter (warnings only).

  -f, --file FILE   the image (ulo.txt in the current directory unless given)
      --json        one JSON document instead of text
)h"},
    {"screen", R"h(Usage: ulocfg screen [FILE]

Prints the editor's first screen for the image as text, 25 rows.

  -f, --file FILE   the image (ulo.txt in the current directory unless given)
)h"},
    {"help", R"h(Usage: ulocfg help [COMMAND]

Prints the overview, or the usage of COMMAND (as 'ulocfg COMMAND --help').
)h"},
    {"version", R"h(Usage: ulocfg version

Prints the program's version (also 'ulocfg --version' and 'ulocfg -V').
)h"},
};

} // namespace

std::string usage_text() {
    return R"usage(Usage: ulocfg                      edit ulo.txt in the current directory
       ulocfg edit [FILE]         edit FILE (also: ulocfg --file FILE)
       ulocfg edit [FILE] --compare REF | --changes
                                  edit, marking what differs from REF or
                                  from the file as loaded
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
      --json           show, get, diff, check write JSON; apply reads it
      --value          get: the values alone, one per line
      --force          set, apply: store values outside a field's range too
      --compare REF    edit: mark the values that differ from the image in REF
      --changes        edit: mark the values changed since the file was loaded
  -h, --help           this overview; after a command, that command's usage
  -V, --version        the program's version

Editor keys: Enter, cursor keys, Home, End move between fields; digits type a
value, Delete drops one; Page Up/Down step it; Space toggles; Escape or Alt+X
ask "Dow you want to save the data (Y/N)? ". With --compare or --changes, F5
takes the reference's value for the field, F6 and Shift+F6 go to the next and
the previous field that differs.

Exit status: 0 success; 1 a file cannot be opened, read or written; 2 a file is
not an image; 3 no terminal; 4 the editor failed; 5 diff found differences or
check values out of range; 6 a name or value refused, nothing written; 7 the
command line is wrong. More in 'ulocfg COMMAND --help' and 'man ulocfg'.
)usage";
}

std::string command_usage(const std::string& command) {
    for (const CommandHelp& h : command_help) {
        if (command != h.command) continue;
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

} // namespace ulo
