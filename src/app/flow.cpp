#include "app/flow.hpp"

#include "eeprom/file.hpp"
#include "screen/screen.hpp"

namespace ulo {

static void discard_typed_ahead(Console& con) {
    while (kbhit(con)) getch(con);
}

int run(Console& con, Wert& wert, Editor& ed, const std::string& path) {
    textcolor(con, light_grey);
    clrscr(con);
    title_box(con);

    switch (load_image(path, wert)) {
    case LoadResult::cannot_open:
        cprintf(con, " Error: Cannot open %s !\n\r", path.c_str());
        return status_cannot_open;
    case LoadResult::incorrect:
        cprintf(con, " EEPROM textfile incorrect!\n\r");
        return status_incorrect;
    case LoadResult::loaded: break;
    }
    ed.ramp = 1;

    discard_typed_ahead(con);
    for (;;) {
        run_editor(con, ed, wert);
        if (con.closed) return status_no_terminal;
        discard_typed_ahead(con);

        screen(con, wert, ed.ramp); // without the highlight
        textcolor(con, light_red);
        gotoxy(con, 40, 25);
        cprintf(con, "%s", save_question);

        int answer = getche(con);
        if (answer == 0) answer = 256 + getch(con);
        if (con.closed) return status_no_terminal;

        if (answer == key::escape) {
            gotoxy(con, 40, 25);
            cprintf(con, "%40s", "");
            continue; // back to field 0, every edit kept
        }
        if (answer != 'Y' && answer != 'y') return status_ok;

        switch (save_image(path, wert)) {
        case SaveResult::saved: return status_ok;
        case SaveResult::cannot_open:
            cprintf(con, "\n\r Error: Cannot open %s !\n\r", path.c_str());
            return status_cannot_open;
        case SaveResult::cannot_write:
            cprintf(con, "\n\r Error: Cannot write %s !\n\r", path.c_str());
            return status_cannot_open;
        }
    }
}

} // namespace ulo
