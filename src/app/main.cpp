// ulocfg: edits the configuration EEPROM of the ULO engine and vehicle signal generator,
// kept as hexadecimal byte tokens in "ulo.txt" in the current directory.
#include <exception>
#include <sstream>
#include <string>

#include "app/cli.hpp"
#include "app/flow.hpp"
#include "app/process.hpp"
#include "console/terminal.hpp"

namespace {

// Where the edits of a run that ended without saving them are, or that they are lost.
void say_where(const ulo::Terminal& term, const ulo::Run& run) {
    // A name may hold any byte; none reaches the terminal as a control.
    const std::string path = ulo::printable(run.path), rescue = ulo::printable(run.rescue);
    if (!run.rescue.empty())
        ulo::tell(term, "ulocfg: edits not saved, kept in " + rescue +
                            "\nulocfg: to compare: ulocfg diff " + path + " " + rescue + "\n");
    else if (run.kept && run.wert != run.loaded)
        ulo::tell(term, "ulocfg: edits not saved, and no rescue copy could be written: "
                        "they are lost\n");
}

void keep_edits_and_say(const ulo::Terminal& term, ulo::Run& run) {
    try {
        ulo::keep_edits(run);
        say_where(term, run);
    } catch (...) {
        // out of memory again: nothing more can be done
    }
}

// One command of the command line, which needs no terminal: its messages, then its output.
int command(int argc, char** argv) {
    ulo::prepare_command_process();
    std::ostringstream out, err; // each written whole once the command has run
    const int status = ulo::cli(argc, argv, out, err);
    ulo::say(err.str());
    return ulo::write_standard_output(out.str(), status);
}

// The editor on `path`, with the reference the command line names; `stop_signal` tells a run
// ended by a stop signal (or its Windows counterpart) from one that ended by itself.
int edit(const std::string& path, int argc, char** argv, int& stop_signal) {
    ulo::prepare_editor_process();

    ulo::Terminal term;
    if (!ulo::terminal_open(term)) {
        ulo::say(std::string("ulocfg: ") +
                 (term.failure ? term.failure : "needs an interactive terminal") + "\n");
        return ulo::status_no_terminal;
    }
    ulo::Console con;
    ulo::Run run;
    run.path = path;
    ulo::editor_reference(argc, argv, run.compare, run.changes);
    try {
        // The title box and the load come before curses starts, so that a message of the load
        // is left as plain text. The terminal is polled before each step, so that the keys
        // typed ahead are in the queue where the run drops them.
        ulo::begin(run, con);
        while (run.phase != ulo::Phase::ended) {
            ulo::terminal_poll(term, con);
            if (ulo::advance(run, con)) break;
            ulo::terminal_wait(term, con);
        }
    } catch (const std::exception& e) {
        // The terminal is still in raw mode: give it back before saying why we stop.
        ulo::terminal_close(term, con);
        ulo::say(std::string("ulocfg: ") + e.what() + "\n");
        keep_edits_and_say(term, run);
        return ulo::status_failure;
    } catch (...) {
        ulo::terminal_close(term, con);
        ulo::say("ulocfg: unexpected failure\n");
        keep_edits_and_say(term, run);
        return ulo::status_failure;
    }
    ulo::terminal_close(term, con);
    // Stopped by a signal or by the terminal going away: where the edits are, should the
    // terminal still be there to show it. A save error has said so on the screen.
    if (run.status == ulo::status_no_terminal) say_where(term, run);
    stop_signal = term.stop_signal;
    return run.status;
}

} // namespace

int main(int argc, char** argv) {
    ulo::open_standard_files();
    ulo::utf8_arguments(argc, argv);
    // With arguments: one command of the command line. It runs in the C locale, so that its
    // numbers keep the decimal point whatever the user's locale. "edit [FILE]", "--file FILE"
    // and a file's name alone ask for the editor on that file.
    std::string path = "ulo.txt";
    if (argc > 1 && !ulo::editor_file(argc, argv, path)) return ulo::end_run(command(argc, argv));
    int stop_signal = 0;
    const int status = edit(path, argc, argv, stop_signal);
    // Ended by a signal: say so in the exit status, as the shell expects. A stop that was
    // asked for ends the run at once, without waiting for a key.
    if (stop_signal != 0) {
        ulo::end_by_signal(stop_signal);
        return status;
    }
    return ulo::end_run(status);
}
