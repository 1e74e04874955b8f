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
         {key::escape, key::escape, key::alt_x, key::escape, key::escape, 'y'}, true, status_ok},
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
// key echoed, over the screen drawn without a highlight.
TEST(Flow, QuestionIsRedAtColumnFortyWithTheKeyEchoed) {
    Dir dir;
    dir.put(test::example_image());
    Outcome o = run_with(dir, {key::escape, 'n'}, {27, 'y', 0, 72});
    EXPECT_EQ(o.status, status_ok);
    EXPECT_TRUE(o.con.keys.empty());
    EXPECT_EQ(test::cells(o.con, 40, 25, 38), std::string(save_question) + "n");
    for (int x = 40; x < 78; ++x) EXPECT_EQ(cell(o.con, x, 25).attr, light_red) << x;
    EXPECT_EQ(cell(o.con, 29, 5).attr, light_grey);
    EXPECT_EQ(test::text(o.con, 25).substr(0, 34), test::example_rows()[24]);
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
    // The message goes below the question; the screen scrolls up by a row for it.
    EXPECT_EQ(test::text(o.con, 24), " Error: Cannot open " + dir.file() + " !");
    EXPECT_EQ(cell(o.con, 2, 24).attr, light_red);
}

} // namespace
} // namespace ulo
