#include <gtest/gtest.h>

#include <filesystem>

#include "app/flow.hpp"
#include "eeprom/file.hpp"
#include "support.hpp"

namespace ulo {
namespace {

namespace fs = std::filesystem;

using Dir = test::ScratchDir;

struct Outcome {
    int status;
    Console con;
    Wert wert{};
    Editor ed;
};

Outcome run_with(const Dir& dir, std::initializer_list<int> keys,
                 std::initializer_list<int> typed_ahead = {}) {
    Outcome o;
    o.con.script.assign(keys.begin(), keys.end());
    o.con.keys.assign(typed_ahead.begin(), typed_ahead.end());
    Run run;
    run.path = dir.file();
    while (!advance(run, o.con)) o.con.closed = true; // the keys have run out
    o.status = run.status;
    o.wert = run.wert;
    o.ed = run.ed;
    return o;
}

TEST(Flow, MissingFileEndsWithStatusOneBelowTheTitle) {
    Dir dir;
    Outcome o = run_with(dir, {});
    EXPECT_EQ(o.status, status_cannot_open);
    EXPECT_EQ(test::text(o.con, 2), test::example_rows()[1]);
    EXPECT_EQ(test::text(o.con, 5), " Error: Cannot open " + dir.file() + " !");
    EXPECT_FALSE(fs::exists(dir.file()));
}

TEST(Flow, IncorrectFilesEndWithStatusTwo) {
    const std::string valid = format_image(test::example_image());
    const std::string cases[] = {"", "   \n\t ", valid.substr(0, valid.size() - 4), valid + " 00h"};
    for (const std::string& content : cases) {
        Dir dir;
        dir.write(content);
        Outcome o = run_with(dir, {'y'});
        EXPECT_EQ(o.status, status_incorrect) << content.size();
        EXPECT_EQ(test::text(o.con, 5), " EEPROM textfile incorrect!");
        EXPECT_EQ(dir.read(), content) << "the file is never touched";
        EXPECT_EQ(o.con.script.size(), 1u) << "no key is read";
    }
}

TEST(Flow, SaveQuestionAnswers) {
    struct Case {
        const char* what;
        std::initializer_list<int> keys;
        bool saved;
        int status;
    };
    const Case cases[] = {
        {"Escape then y saves", {key::escape, 'y'}, true, status_ok},
        {"Alt+X then Y saves", {key::alt_x, 'Y'}, true, status_ok},
        {"n ends without saving", {key::escape, 'n'}, false, status_ok},
        {"an arrow key ends without saving", {key::escape, key::up}, false, status_ok},
        {"Escape at the question goes back to editing",
         {key::escape, key::escape, key::alt_x, key::escape, key::escape, 'y'},
         true,
         status_ok},
        {"keys that stop coming end without saving", {key::escape}, false, status_no_terminal},
    };
    for (const Case& c : cases) {
        Dir dir;
        // A file written by another tool: saving rewrites it in the editor's own format.
        const std::string original = "ULO-image\n" + format_image(test::example_image()).substr(18);
        dir.write(original);
        Outcome o = run_with(dir, c.keys);
        EXPECT_EQ(o.status, c.status) << c.what;
        EXPECT_TRUE(o.con.script.empty()) << c.what;
        EXPECT_EQ(dir.read(), c.saved ? format_image(test::example_image()) : original) << c.what;
    }
}

// Keys typed while the file loads are dropped; the question is red at column 40, with the
// key echoed, over the screen drawn without a highlight. The line break after the answer
// scrolls the whole screen up by one row, the title box's top row off it.
TEST(Flow, QuestionIsRedAtColumnFortyWithTheKeyEchoed) {
    Dir dir;
    dir.put(test::example_image());
    Outcome o = run_with(dir, {key::escape, 'n'}, {27, 'y', 0, 72});
    EXPECT_EQ(o.status, status_ok);
    EXPECT_TRUE(o.con.keys.empty());
    EXPECT_EQ(test::cells(o.con, 40, 24, 38), std::string(save_question) + "n");
    for (int x = 40; x < 78; ++x) EXPECT_EQ(cell(o.con, x, 24).attr, light_red) << x;
    EXPECT_EQ(cell(o.con, 29, 4).attr, light_grey);
    EXPECT_EQ(test::text(o.con, 24).substr(0, 34), test::example_rows()[24]);
    EXPECT_EQ(test::text(o.con, 1), test::example_rows()[1]);
    EXPECT_EQ(test::text(o.con, 25), "");
    EXPECT_EQ(o.con.x, 1);
    EXPECT_EQ(o.con.y, 25);
}

TEST(Flow, EscapeAtTheQuestionErasesItAndStartsAgainOnFieldZero) {
    Dir dir;
    dir.put(test::example_image());
    Outcome o = run_with(dir, {key::escape, key::escape});
    // The keys ran out in the editor again: the question was erased, field 0 highlighted.
    EXPECT_EQ(o.status, status_no_terminal);
    EXPECT_EQ(test::text(o.con, 25), test::example_rows()[24]);
    EXPECT_EQ(o.ed.mode, 0);
    EXPECT_EQ(cell(o.con, 29, 5).attr, light_red);
}

TEST(Flow, ReadOnlyFileLoadsAndRefusesTheSave) {
    Dir dir;
    const std::string original = format_image(test::example_image());
    dir.write(original);
    fs::permissions(dir.file(), fs::perms::owner_write, fs::perm_options::remove);
    Outcome o = run_with(dir, {key::escape, 'y'});
    EXPECT_EQ(o.status, status_cannot_open);
    EXPECT_EQ(dir.read(), original);
    // The line break after the answer and the one the message begins with scroll the
    // screen: the message stands one blank row below the question. Nothing was edited, so
    // there is no rescue copy.
    EXPECT_EQ(test::text(o.con, 22).substr(39), std::string(save_question) + "y");
    EXPECT_EQ(test::text(o.con, 23), "");
    EXPECT_EQ(test::text(o.con, 24), " Error: Cannot open " + dir.file() + " !");
    EXPECT_EQ(cell(o.con, 2, 24).attr, light_red);
    EXPECT_EQ(test::text(o.con, 25), "");
    EXPECT_EQ(fs::directory_iterator(dir.path)->path(), dir.file()) << "no other file";
}

std::vector<fs::path> rescues(const Dir& dir) {
    std::vector<fs::path> found;
    for (const auto& e : fs::directory_iterator(dir.path))
        if (e.path().filename().string().rfind("ulo.txt.rescue-", 0) == 0)
            found.push_back(e.path());
    return found;
}

// The edits of a run that ends without the save it asked for go to a rescue copy beside the
// file; a run without edits leaves none.
TEST(Flow, EditsNotSavedGoToARescueCopy) {
    struct Case {
        const char* what;
        std::initializer_list<int> keys;
        bool read_only;
        int status;
        bool rescued;
    };
    const Case cases[] = {
        {"keys stop coming after an edit", {'5'}, false, status_no_terminal, true},
        {"keys stop coming at the question", {'5', key::escape}, false, status_no_terminal, true},
        {"keys stop coming without an edit", {key::down}, false, status_no_terminal, false},
        {"the save fails after an edit", {'5', key::escape, 'y'}, true, status_cannot_open, true},
        {"n after an edit: dropped on purpose", {'5', key::escape, 'n'}, false, status_ok, false},
    };
    for (const Case& c : cases) {
        Dir dir;
        const std::string original = format_image(test::example_image());
        dir.write(original);
        if (c.read_only) fs::permissions(dir.file(), fs::perms::all, fs::perm_options::remove);
        Outcome o = run_with(dir, c.keys);
        EXPECT_EQ(o.status, c.status) << c.what;
        EXPECT_EQ(dir.read(), original) << c.what;
        const std::vector<fs::path> found = rescues(dir);
        ASSERT_EQ(found.size(), c.rescued ? 1u : 0u) << c.what;
        if (!c.rescued) continue;
        Wert edited = test::example_image();
        put(edited, ParamId::last_menu, 0, 5);
        EXPECT_EQ(o.wert, edited) << c.what;
        EXPECT_EQ(dir.read(found[0].filename().string()), format_image(edited)) << c.what;
        if (c.status == status_cannot_open) {
            // The rescue copy's long name runs on into the last row.
            EXPECT_EQ(test::text(o.con, 22), " Error: Cannot open " + dir.file() + " !");
            EXPECT_EQ(row_text(o.con, 23) + test::text(o.con, 24),
                      " Your edits are kept in " + found[0].string());
        }
    }
}

// "Y" to the save question when the file no longer holds what was loaded: a question naming
// the change, one row below the save question; "Y" saves, any other key goes back to the
// editor on field 0 with the edits kept, on the screen drawn afresh.
TEST(Flow, FileChangedWhileEditing) {
    struct Case {
        const char* what;
        void (*act)(const Dir&);
        const char* question;
        int second_answer;
        bool saved;
    };
    const auto rewrite = [](const Dir& d) { d.put(test::example_image()); };
    const auto change = [](const Dir& d) { d.put(Wert{}); };
    const auto remove = [](const Dir& d) { fs::remove(d.file()); };
    // An editor's save: a new file renamed into place, with the same bytes or others.
    const auto renamed = [](const Dir& d) {
        d.put(test::example_image(), "new.txt");
        fs::rename(d.file("new.txt"), d.file());
    };
    const auto renamed_other = [](const Dir& d) {
        d.put(Wert{}, "new.txt");
        fs::rename(d.file("new.txt"), d.file());
    };
    // A link put in the file's place: saving replaces the link, never writes through it.
    const auto linked = [](const Dir& d) {
        d.put(Wert{}, "elsewhere.txt");
        fs::remove(d.file());
        fs::create_symlink(d.file("elsewhere.txt"), d.file());
    };
    const Case cases[] = {
        {"touched, same bytes", rewrite, nullptr, 0, true},
        {"changed, y", change, "File changed since read! Save (Y/N)? ", 'y', true},
        {"changed, n", change, "File changed since read! Save (Y/N)? ", 'n', false},
        {"removed, Y", remove, "File removed since read! Save (Y/N)? ", 'Y', true},
        {"removed, Escape", remove, "File removed since read! Save (Y/N)? ", key::escape, false},
        {"renamed into place, same bytes", renamed, nullptr, 0, true},
        {"renamed into place, other bytes", renamed_other, "File changed since read! Save (Y/N)? ",
         'y', true},
        {"a link in its place, y", linked, "File replaced since read! Save (Y/N)? ", 'y', true},
        {"a link in its place, Down", linked, "File replaced since read! Save (Y/N)? ", key::down,
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Dir dir;
        dir.put(test::example_image());
        Console con;
        ulo::Run run;
        run.path = dir.file();
        ASSERT_FALSE(advance(run, con)); // the editor waits on field 0
        for (int k : {int{'5'}, key::escape}) push_key(con, k);
        ASSERT_FALSE(advance(run, con));
        ASSERT_EQ(run.phase, Phase::question);
        Wert edited = test::example_image();
        put(edited, ParamId::last_menu, 0, 5);
        c.act(dir);
        const std::string before = fs::exists(dir.file()) ? dir.read() : "(none)";

        push_key(con, 'y');
        if (c.question == nullptr) {
            EXPECT_TRUE(advance(run, con));
            EXPECT_EQ(run.status, status_ok);
            EXPECT_EQ(dir.read(), format_image(edited));
            continue;
        }
        ASSERT_FALSE(advance(run, con));
        const int width = static_cast<int>(std::string(c.question).size());
        EXPECT_EQ(test::text(con, 24).substr(39), "Dow you want to save the data (Y/N)? y");
        EXPECT_EQ(test::cells(con, 40, 25, width), c.question);
        EXPECT_EQ(test::cells(con, 40 + width, 25, 80 - 39 - width), std::string(41 - width, ' '));
        for (int x = 40; x < 40 + width; ++x) EXPECT_EQ(cell(con, x, 25).attr, light_red) << x;
        EXPECT_EQ(con.x, 40 + width) << "the key's echo still fits the row";

        push_key(con, c.second_answer);
        EXPECT_EQ(advance(run, con), c.saved);
        if (c.saved) {
            EXPECT_EQ(run.status, status_ok);
            EXPECT_FALSE(fs::is_symlink(dir.file()));
            EXPECT_EQ(dir.read(), format_image(edited));
            if (fs::exists(dir.file("elsewhere.txt"))) {
                EXPECT_EQ(dir.read("elsewhere.txt"), format_image(Wert{}));
            }
            continue;
        }
        EXPECT_EQ(run.phase, Phase::editing);
        EXPECT_EQ(run.ed.mode, 0);
        EXPECT_EQ(run.wert, edited);
        EXPECT_EQ(fs::exists(dir.file()) ? dir.read() : "(none)", before);
        EXPECT_EQ(test::text(con, 1), test::example_rows()[0]);
        EXPECT_EQ(test::text(con, 25), test::example_rows()[24]);
        EXPECT_EQ(cell(con, 29, 5).attr, light_red);
        EXPECT_EQ(test::cells(con, 28, 5, 3), "  5");
    }
}

} // namespace
} // namespace ulo
