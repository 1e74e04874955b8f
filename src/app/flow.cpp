#include "app/flow.hpp"

#include "eeprom/file.hpp"
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

// Redraws the screen without the highlight and asks whether to save.
void ask(Run& run, Console& con) {
    screen(con, run.wert, run.ed.ramp);
    textcolor(con, light_red);
    gotoxy(con, 40, 25);
    cprintf(con, "%s", save_question);
    run.phase = Phase::question;
}

// The answer to the save question; false when the run goes back to the editor.
bool answer(Run& run, Console& con) {
    int key_code = getche(con);
    if (key_code == 0) key_code = 256 + getch(con);
    if (con.closed) return end(run, status_no_terminal);

    if (key_code == key::escape) {
        gotoxy(con, 40, 25);
        cprintf(con, "%40s", "");
        enter_editor(run.ed); // back to field 0, every edit kept
        run.phase = Phase::editing;
        return false;
    }
    if (key_code != 'Y' && key_code != 'y') return end(run, status_ok);

    switch (save_image(run.path, run.wert)) {
    case SaveResult::saved: return end(run, status_ok);
    case SaveResult::cannot_open:
        cprintf(con, "\n\r Error: Cannot open %s !\n\r", run.path.c_str());
        return end(run, status_cannot_open);
    case SaveResult::cannot_write:
        cprintf(con, "\n\r Error: Cannot write %s !\n\r", run.path.c_str());
        return end(run, status_cannot_open);
    }
    return end(run, status_cannot_open);
}

} // namespace

void begin(Run& run, Console& con) {
    textcolor(con, light_grey);
    clrscr(con);
    title_box(con);

    switch (load_image(run.path, run.wert)) {
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
    run.ed.ramp = 1;
    run.phase = Phase::typed_ahead;
}

bool advance(Run& run, Console& con) {
    for (;;) {
        switch (run.phase) {
        case Phase::start: begin(run, con); break;
        case Phase::typed_ahead:
            discard_typed_ahead(con);
            enter_editor(run.ed);
            run.phase = Phase::editing;
            break;
        case Phase::editing:
            if (!edit(con, run.ed, run.wert)) return false;
            if (con.closed) return end(run, status_no_terminal);
            discard_typed_ahead(con);
            ask(run, con);
            break;
        case Phase::question:
            if (!key_ready(con)) return false;
            if (answer(run, con)) return true;
            break;
        case Phase::ended: return true;
        }
    }
}

} // namespace ulo
