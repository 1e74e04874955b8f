// The run from the first output to the end: title box, load, editor, save question, save.
#pragma once

#include <optional>
#include <string>

#include "app/status.hpp"
#include "console/console.hpp"
#include "editor/editor.hpp"
#include "eeprom/file.hpp"
#include "eeprom/image.hpp"

namespace ulo {

constexpr const char* save_question = "Dow you want to save the data (Y/N)? ";
// Asked after "Y" when the file no longer holds what was loaded; each fits between column 40
// and the key's echo before the row's end.
constexpr const char* changed_question = "File changed since read! Save (Y/N)? ";
constexpr const char* removed_question = "File removed since read! Save (Y/N)? ";
constexpr const char* replaced_question = "File replaced since read! Save (Y/N)? ";

// Where the run stands. It waits for keys only in `editing`, `question` and `changed`.
enum class Phase {
    start,       // nothing drawn yet
    typed_ahead, // loaded; the keys typed so far are dropped before the editor starts
    editing,     // the editor's cycles
    question,    // the save question is asked
    changed,     // the file has changed since it was read: asked whether to save all the same
    ended,       // the exit status is in `status`
};

// One run of the program on one file: everything it keeps from start to end.
struct Run {
    std::string path; // "ulo.txt"
    Wert wert{};
    Editor ed;
    Phase phase = Phase::start;
    int status = status_ok;
    Wert loaded{};      // the image as loaded: nothing is edited while wert equals it
    FileState file;     // what the file held when it was loaded
    std::string rescue; // the rescue copy of the edits, once one is written
    bool kept = false;  // keep_edits has run
    // What the editing is compared with: the image in the file `compare` names (--compare),
    // or with `changes` the file as loaded (--changes); neither without these options.
    std::optional<std::string> compare;
    bool changes = false;
};

// Draws the title box and loads the file, and the reference where there is one; when either
// cannot be loaded the run has ended.
void begin(Run& run, Console& con);
// Carries the run on as far as the keys queued on `con` allow. False: it waits for a key (none
// queued, none in the script, the console not closed); true: it has ended, its exit status in
// run.status. A closed console reads as Escape, so the run then ends without saving.
bool advance(Run& run, Console& con);
// When the image holds edits the file does not (the run ends without a save it asked for),
// writes them to a rescue copy, once, and keeps its name in run.rescue.
void keep_edits(Run& run);

} // namespace ulo
