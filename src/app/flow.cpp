#include "app/flow.hpp"

#include <utility>

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

// Redraws the screen without the highlight and asks whether to save; with a reference, the
// help lists what differs from it.
void ask(Run& run, Console& con) {
    const std::optional<Reference>& reference = run.ed.reference;
    screen(con, run.wert, run.ed.ramp, reference ? &reference->wert : nullptr);
    if (reference) {
        reference_box(con, run.ed, run.wert, false);
        con.help = differences_help(run.ed, run.wert);
    }
    textcolor(con, light_red);
    gotoxy(con, 40, 25);
    cprintf(con, "%s", save_question);
    run.phase = Phase::question;
}

// Saves; with `change`, only when the file still holds what was loaded, and otherwise asks
// first. False when the run goes on.
bool save(Run& run, Console& con, FileChange* change) {
    const char* failure = "\n\r Error: Cannot write %s !\n\r";
    switch (save_image(run.file, run.wert, nullptr, change)) {
    case SaveResult::saved:
        // The folder read has moved away since: the file went with it, not to the path given.
        if (const std::string where = moved_to(run.file); !where.empty())
            cprintf(con, " Saved as %s\n\r", where.c_str());
        return end(run, status_ok);
    case SaveResult::changed: {
        const char* question = *change == FileChange::removed    ? removed_question
                               : *change == FileChange::replaced ? replaced_question
                                                                 : changed_question;
        gotoxy(con, 40, 25);
        cprintf(con, "%s", question);
        run.phase = Phase::changed;
        return false;
    }
    case SaveResult::busy: failure = "\n\r Error: %s is being saved by another ulocfg !\n\r"; break;
    case SaveResult::cannot_open: failure = "\n\r Error: Cannot open %s !\n\r"; break;
    case SaveResult::cannot_write: break;
    }
    cprintf(con, failure, run.path.c_str());
    keep_edits(run);
    if (!run.rescue.empty())
        cprintf(con, " Your edits are kept in %s\n\r", run.rescue.c_str());
    else if (run.wert != run.loaded)
        cprintf(con, " Your edits could not be kept in a rescue file!\n\r");
    return end(run, status_cannot_open);
}

// Saves, unless the file no longer holds what was loaded: then asks first.
bool save_or_ask(Run& run, Console& con) {
    FileChange change = FileChange::none;
    return save(run, con, &change);
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
        return save(run, con, nullptr);
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

namespace {

// Loads the image the editing is compared with, or takes the file as loaded. It is only read,
// from anything that can be read (a pipe too), and never written. False when it cannot be
// loaded: the run has ended.
bool load_reference(Run& run, Console& con) {
    if (run.changes) {
        run.ed.reference = Reference{run.loaded, cp437_text(run.path)};
        return true;
    }
    if (!run.compare) return true;
    const std::string& path = *run.compare;
    Reference reference{{}, cp437_text(path)};
    const char* name = reference.name.c_str(); // as the screen shows it
    const LoadResult result = load_image(path, reference.wert, nullptr, nullptr, Reading::stream);
    switch (result) {
    case LoadResult::loaded: run.ed.reference = std::move(reference); return true;
    case LoadResult::cannot_open:
        cprintf(con, " Error: Cannot open %s !\n\r", name);
        end(run, status_cannot_open);
        return false;
    case LoadResult::incorrect:
    case LoadResult::busy: cprintf(con, " EEPROM textfile incorrect: %s !\n\r", name); break;
    case LoadResult::utf16:
    case LoadResult::nul_bytes:
        cprintf(con, " EEPROM textfile incorrect: %s !\n\r %s\n\r", name,
                cp437_text(flaw_text(path, result)).c_str());
        break;
    }
    end(run, status_incorrect);
    return false;
}

} // namespace

void begin(Run& run, Console& con) {
    textcolor(con, light_grey);
    clrscr(con);
    title_box(con);

    const LoadResult result = load_image(run.path, run.wert, &run.file);
    switch (result) {
    case LoadResult::cannot_open:
        cprintf(con, " Error: Cannot open %s !\n\r", run.path.c_str());
        end(run, status_cannot_open);
        return;
    case LoadResult::incorrect:
    case LoadResult::busy: // only a load for a save waits for the lock
        cprintf(con, " EEPROM textfile incorrect!\n\r");
        end(run, status_incorrect);
        return;
    case LoadResult::utf16:
    case LoadResult::nul_bytes:
        cprintf(con, " EEPROM textfile incorrect!\n\r %s\n\r", flaw_text(run.path, result).c_str());
        end(run, status_incorrect);
        return;
    case LoadResult::loaded: break;
    }
    run.loaded = run.wert;
    if (!load_reference(run, con)) return;
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
