#include "app/flow.hpp"

#include "screen/screen.hpp"

namespace ulo {

namespace {

void discard_typed_ahead(Console& con) {
    while (kbhit(con)) getch(con);
}

bool end(Run& run, int status) {
    run.status = status;
    run.phase = Phase::ended;
    return true;
}

// The terminal has gone, or the program was told to stop: the edits go to a rescue copy.
bool end_unsaved(Run& run) {
    keep_edits(run);
    return end(run, status_no_terminal);
}

// Redraws the screen without the highlight and asks whether to save.
void ask(Run& run, Console& con) {
    screen(con, run.wert, run.ed.ramp);
    textcolor(con, light_red);
    gotoxy(con, 40, 25);
    cprintf(con, "%s", save_question);
    run.phase = Phase::question;
}

bool save(Run& run, Console& con) {
    const SaveResult result = save_image(run.file, run.wert);
    if (result == SaveResult::saved) return end(run, status_ok);
    cprintf(con,
            result == SaveResult::cannot_open ? "\n\r Error: Cannot open %s !\n\r"
                                              : "\n\r Error: Cannot write %s !\n\r",
            run.path.c_str());
    keep_edits(run);
    if (!run.rescue.empty())
        cprintf(con, " Your edits are kept in %s\n\r", run.rescue.c_str());
    else if (run.wert != run.loaded)
        cprintf(con, " Your edits could not be kept in a rescue file!\n\r");
    return end(run, status_cannot_open);
}

// Saves, unless the file no longer holds what was loaded: then asks first.
bool save_or_ask(Run& run, Console& con) {
    const char* question = nullptr;
    switch (file_change(run.file)) {
    case FileChange::none: return save(run, con);
    case FileChange::changed: question = changed_question; break;
    case FileChange::removed: question = removed_question; break;
    case FileChange::replaced: question = replaced_question; break;
    }
    gotoxy(con, 40, 25);
    cprintf(con, "%s", question);
    run.phase = Phase::changed;
    return false;
}

// Back to the editor on field 0, every edit kept.
void edit_again(Run& run) {
    enter_editor(run.ed);
    run.phase = Phase::editing;
}

// The answer to the save question; false when the run goes on.
bool answer(Run& run, Console& con) {
    const int key_code = read_key_echoed(con);
    if (con.closed) return end_unsaved(run);
    if (key_code == key::escape) {
        gotoxy(con, 40, 25);
        cprintf(con, "%40s", "");
        edit_again(run);
        return false;
    }
    // On the bottom row this scrolls the screen up by one row.
    cprintf(con, "\n\r");
    if (key_code != 'Y' && key_code != 'y') return end(run, status_ok);
    return save_or_ask(run, con);
}

// The answer to the question about a changed file; any key but "Y" or "y" goes back to the
// editor, on a screen drawn afresh, as the scrolled one has lost its title box's top row.
bool answer_changed(Run& run, Console& con) {
    const int key_code = read_key_echoed(con);
    if (con.closed) return end_unsaved(run);
    if (key_code == 'Y' || key_code == 'y') {
        cprintf(con, "\n\r");
        return save(run, con);
    }
    textcolor(con, light_grey);
    clrscr(con);
    title_box(con);
    edit_again(run);
    return false;
}

} // namespace

void keep_edits(Run& run) {
    if (run.kept) return;
    run.kept = true;
    if (run.wert != run.loaded) run.rescue = save_rescue(run.file, run.wert);
}

void begin(Run& run, Console& con) {
    textcolor(con, light_grey);
    clrscr(con);
    title_box(con);

    switch (load_image(run.path, run.wert, &run.file)) {
    case LoadResult::cannot_open:
        cprintf(con, " Error: Cannot open %s !\n\r", run.path.c_str());
        end(run, status_cannot_open);
        return;
    case LoadResult::incorrect:
        cprintf(con, " EEPROM textfile incorrect!\n\r");
        end(run, status_incorrect);
        return;
    case LoadResult::loaded: break;
    }
    run.loaded = run.wert;
    run.ed.ramp = 1;
    run.phase = Phase::typed_ahead;
}

bool advance(Run& run, Console& con) {
    for (;;) {
        switch (run.phase) {
        case Phase::start: begin(run, con); break;
        case Phase::typed_ahead:
            discard_typed_ahead(con);
            edit_again(run);
            break;
        case Phase::editing:
            if (!edit(con, run.ed, run.wert)) {
                con.help = field_help(run.ed, run.wert, run.loaded);
                return false;
            }
            con.help.clear();
            if (con.closed) return end_unsaved(run);
            discard_typed_ahead(con);
            ask(run, con);
            break;
        case Phase::question:
            if (!key_ready(con)) return false;
            if (answer(run, con)) return true;
            break;
        case Phase::changed:
            if (!key_ready(con)) return false;
            if (answer_changed(run, con)) return true;
            break;
        case Phase::ended: return true;
        }
    }
}

} // namespace ulo
