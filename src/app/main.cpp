// ulocfg: edits the configuration EEPROM of the ULO engine and vehicle signal generator,
// kept as hexadecimal byte tokens in "ulo.txt" in the current directory.
#include <clocale>
#include <csignal>
#include <cstdio>
#include <exception>
#include <iostream>
#include <sstream>
#include <string>

#include "app/cli.hpp"
#include "app/flow.hpp"
#include "app/process.hpp"
#include "console/terminal.hpp"

namespace {

void say_where(const ulo::Run& run) {
    if (run.rescue.empty()) return;
    std::fprintf(stderr,
                 "ulocfg: edits to %s not saved, kept in %s\n"
                 "ulocfg: to compare: ulocfg diff %s %s\n",
                 run.path.c_str(), run.rescue.c_str(), run.path.c_str(), run.rescue.c_str());
}

void keep_edits_and_say(ulo::Run& run) {
    try {
        ulo::keep_edits(run);
        say_where(run);
    } catch (...) {
        // out of memory again: nothing more can be done
    }
}

} // namespace

int main(int argc, char** argv) {
    ulo::open_standard_files();
    // With arguments: one command of the command line, which needs no terminal. It runs in
    // the C locale, so that its numbers keep the decimal point whatever the user's locale.
    // "edit [FILE]" and "--file FILE" alone ask for the editor on that file.
    std::string path = "ulo.txt";
    if (argc > 1 && !ulo::editor_file(argc, argv, path)) {
        std::signal(SIGXFSZ, SIG_IGN); // a size limit fails the save instead of killing it
        std::ostringstream out; // written whole, and checked, once the command has run
        const int status = ulo::cli(argc, argv, out, std::cerr);
        return ulo::write_standard_output(out.str(), status);
    }
    std::setlocale(LC_ALL, "");
    // The locale tells how to show glyphs; numbers keep the device's decimal point.
    std::setlocale(LC_NUMERIC, "C");
    // A file size limit must make a write fail, not kill the program half-way through a save;
    // a standard error that has gone must not end it before the exit status is set.
    std::signal(SIGXFSZ, SIG_IGN);
    std::signal(SIGPIPE, SIG_IGN);

    ulo::Terminal term;
    if (!ulo::terminal_open(term)) {
        std::fputs("ulocfg: needs an interactive terminal\n", stderr);
        return ulo::status_no_terminal;
    }
    ulo::Console con;
    ulo::Run run;
    run.path = path;
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
        std::fprintf(stderr, "ulocfg: %s\n", e.what());
        keep_edits_and_say(run);
        return ulo::status_failure;
    } catch (...) {
        ulo::terminal_close(term, con);
        std::fputs("ulocfg: unexpected failure\n", stderr);
        keep_edits_and_say(run);
        return ulo::status_failure;
    }
    ulo::terminal_close(term, con);
    // Stopped by a signal or by the terminal going away: where the edits are, should the
    // terminal still be there to show it. A save error has said so on the screen.
    if (run.status == ulo::status_no_terminal) say_where(run);

    // Ended by a signal: say so in the exit status, as the shell expects.
    if (term.stop_signal != 0) {
        std::signal(term.stop_signal, SIG_DFL);
        std::raise(term.stop_signal);
    }
    return run.status;
}
