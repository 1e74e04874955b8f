// What the terminal backend writes, checked without a terminal: the glyph of every byte and
// the plain text left behind when the program ends.
#include "console/glyphs.hpp"
#include "console/layout.hpp"
#include "console/terminal.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace ulo {
namespace {

// Glyph widths come from the locale; the program runs in the user's, here a UTF-8 one.
class Utf8Terminal : public testing::Test {
  protected:
    void SetUp() override {
        before_ = std::setlocale(LC_ALL, nullptr);
        if (!std::setlocale(LC_ALL, "C.UTF-8")) GTEST_SKIP() << "no C.UTF-8 locale";
    }
    void TearDown() override { std::setlocale(LC_ALL, before_.c_str()); }

  private:
    std::string before_;
};

bool is_control(char32_t c) { return c < 0x20 || (c >= 0x7F && c < 0xA0); }

TEST_F(Utf8Terminal, NoByteShowsAsAControl) {
    for (int b = 0; b < 256; ++b) {
        const char32_t g = terminal_glyph(static_cast<unsigned char>(b), true);
        EXPECT_FALSE(is_control(g)) << "byte " << b;
        if (b != '?') {
            EXPECT_NE(g, U'?') << "byte " << b << " has a glyph one column wide";
        }
    }
}

TEST(TerminalGlyph, AsciiFallbacks) {
    const struct {
        unsigned char byte;
        char32_t shown;
    } cases[] = {
        {'A', 'A'},  {' ', ' '},  {0x00, ' '}, {0xFF, ' '}, // blanks stay blank
        {0xC9, '+'}, {0xBB, '+'}, {0xC8, '+'}, {0xBC, '+'}, // frame corners
        {0xCD, '-'}, {0xBA, '|'}, {0xC4, '-'}, {0xB3, '|'}, // frame lines
        {0xF8, 'o'},                                        // degree sign
        {0x1B, '.'}, {0x07, '.'}, {0x0D, '.'}, {0x7F, '.'}, // control pictures
        {0x9B, '?'}, {0x84, '?'}, {0xE1, '?'},              // letters and symbols
    };
    for (const auto& c : cases)
        EXPECT_EQ(terminal_glyph(c.byte, false), c.shown) << "byte " << int(c.byte);
}

Console with_text(int x, int y, const std::string& text, unsigned colour = light_grey) {
    Console con;
    textcolor(con, colour);
    gotoxy(con, x, y);
    put_bytes(con, text);
    return con;
}

TEST(PlainText, RowsAndColours) {
    Console highlight = with_text(3, 1, "12", light_red);
    textcolor(highlight, light_grey);
    put_bytes(highlight, " rpm");
    const struct {
        const char* what;
        Console con;
        bool sgr;
        std::string expect;
    } cases[] = {
        {"blank screen leaves nothing", Console{}, true, ""},
        {"rows down to the last written one", with_text(1, 3, " Error: Cannot open ulo.txt !"),
         false, "\r\n\r\n Error: Cannot open ulo.txt !\r\n"},
        // After "...!\n\r" the cursor stands at the start of the next, empty row: the shell's
        // prompt goes there, as it would on the PC.
        {"the prompt takes the cursor's place", with_text(1, 2, "message\n\r\n\r\n\r"), false,
         "\r\nmessage\r\n\r\n\r\n"},
        {"trailing spaces go, leading ones stay", with_text(1, 1, "   a b     "), false,
         "   a b\r\n"},
        {"highlight in bright red", highlight, true, "  \x1b[91m12\x1b[0m rpm\r\n"},
        {"colours only with SGR", highlight, false, "  12 rpm\r\n"},
        {"red to the end of the row", with_text(1, 1, "Dow", light_red), true,
         "\x1b[91mDow\x1b[0m\r\n"},
    };
    for (const auto& c : cases) EXPECT_EQ(plain_text(c.con, true, c.sgr), c.expect) << c.what;
}

TEST_F(Utf8Terminal, PlainTextInCodePage437Glyphs) {
    const Console con = with_text(1, 1, "\xC9\xCD\xBB 30 \xF8");
    EXPECT_EQ(plain_text(con, true, false), "\u2554\u2550\u2557 30 \u00B0\r\n");
    EXPECT_EQ(plain_text(con, false, false), "+-+ 30 o\r\n");
}

// A wheel name may hold any byte; none of them may reach the terminal as a control.
TEST(PlainText, ModelBytesNeverBecomeControls) {
    Console con;
    for (int b = 0; b < 256; ++b) cell(con, 1 + b % 80, 1 + b / 80) = Cell{std::uint8_t(b), 7};
    for (bool utf8 : {true, false}) {
        const std::string text = plain_text(con, utf8, false);
        for (unsigned char c : text) {
            EXPECT_TRUE(c >= 0x20 || c == '\r' || c == '\n') << "byte " << int(c);
            if (!utf8) {
                EXPECT_LT(c, 0x7F);
            }
        }
        for (std::size_t at = 0; (at = text.find("\xC2", at)) != std::string::npos; ++at)
            EXPECT_GE(static_cast<unsigned char>(text[at + 1]), 0xA0) << "a C1 control";
    }
}

// A terminal of 21 to 24 rows leaves out rows 4, 7, 16 and 24 in this order; every other row
// keeps its order, one terminal row each, with nothing between them.
TEST(TerminalRow, LeavesOutTheBlankRowsInTheirOrder) {
    const struct {
        int lines;
        std::vector<int> left_out;
        std::vector<std::pair<int, int>> some; // screen row, terminal row
    } cases[] = {
        {40, {}, {{1, 1}, {4, 4}, {25, 25}}},
        {25, {}, {{4, 4}, {24, 24}, {25, 25}}},
        {24, {4}, {{3, 3}, {5, 4}, {7, 6}, {25, 24}}},
        {23, {4, 7}, {{5, 4}, {6, 5}, {8, 6}, {16, 14}, {25, 23}}},
        {22, {4, 7, 16}, {{8, 6}, {15, 13}, {17, 14}, {24, 21}, {25, 22}}},
        {21, {4, 7, 16, 24}, {{1, 1}, {5, 4}, {8, 6}, {17, 14}, {23, 20}, {25, 21}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.lines);
        std::vector<int> left_out;
        int next = 1;
        for (int y = 1; y <= 25; ++y) {
            const int row = terminal_row(y, c.lines);
            if (row == 0) {
                left_out.push_back(y);
                continue;
            }
            EXPECT_EQ(row, next) << "row " << y;
            next = row + 1;
        }
        EXPECT_EQ(left_out, c.left_out);
        EXPECT_EQ(next - 1, std::min(c.lines, 25)) << "rows used";
        for (auto [y, row] : c.some) EXPECT_EQ(terminal_row(y, c.lines), row) << "row " << y;
    }
}

// Below the screen: a rule, then the help lines in 80 columns, only where there is room for
// the rule and at least one line.
TEST(HelpRows, RuleAndLinesWhereThereIsRoom) {
    const std::string rule(80, '\xC4');
    const auto padded = [](std::string s) { return s.resize(80, ' '), s; };
    const std::vector<std::string> two = {"Last menu used (last_menu): 0..10", "digits type"};
    const std::string long_line = std::string(79, 'a') + "bc";
    const struct {
        const char* what;
        std::vector<std::string> help;
        int lines;
        std::vector<std::string> rows;
    } cases[] = {
        {"no help lines, a tall window", {}, 40, {}},
        {"26 rows: no room", two, 26, {}},
        {"25 rows", two, 25, {}},
        {"27 rows: the rule and one line", two, 27, {rule, padded(two[0])}},
        {"30 rows: every line", two, 30, {rule, padded(two[0]), padded(two[1])}},
        {"a line cut at column 80", {long_line}, 30, {rule, std::string(79, 'a') + "b"}},
        {"an empty line stays a line", {"", "x"}, 30, {rule, padded(""), padded("x")}},
    };
    for (const auto& c : cases) EXPECT_EQ(help_rows(c.help, c.lines), c.rows) << c.what;
}

TEST_F(Utf8Terminal, TheHelpRuleIsAThinLine) {
    EXPECT_EQ(terminal_glyph(0xC4, true), U'\u2500');
    EXPECT_EQ(terminal_glyph(0xC4, false), U'-');
}

// The notice on a terminal too small for the screen: broken between words, a word wider than
// the terminal cut, no more rows than the terminal has.
TEST(Notice, BrokenBetweenWordsToFitTheTerminal) {
    const struct {
        int width, lines;
        std::vector<std::string> rows;
    } cases[] = {
        {80,
         20,
         {"ulocfg needs a terminal of at least 80x21 - please enlarge this window, or press",
          "Ctrl+C to quit"}},
        {40,
         20,
         {"ulocfg needs a terminal of at least", "80x21 - please enlarge this window, or",
          "press Ctrl+C to quit"}},
        {40, 2, {"ulocfg needs a terminal of at least", "80x21 - please enlarge this window, or"}},
        {5, 3, {"ulocf", "g", "needs"}},
        {0, 2, {"u", "l"}},
        {100, 0, {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(notice_rows(c.width, c.lines), c.rows) << c.width << "x" << c.lines;
}

// The whole screen needs 80 columns and 21 rows; the cursor on a row left out stands on the
// next row shown.
TEST(TerminalRow, TheScreenFitsAndTheCursorStandsOnARowShown) {
    EXPECT_TRUE(screen_fits(21, 80));
    EXPECT_FALSE(screen_fits(20, 200));
    EXPECT_FALSE(screen_fits(60, 79));
    const struct {
        int y, lines, row;
    } cases[] = {{4, 40, 4}, {4, 21, 4}, {7, 22, 6}, {16, 22, 14}, {24, 21, 21}, {25, 21, 21}};
    for (const auto& c : cases) EXPECT_EQ(cursor_row(c.y, c.lines), c.row) << c.y << " " << c.lines;
}

// A PC attribute's colour pair: foreground and background where the terminal has pairs for
// all of them, the foreground alone (on black) otherwise; blink is no colour.
TEST(Colours, PairOfAPcAttribute) {
    const struct {
        std::uint8_t attr;
        short with_backgrounds, foregrounds_only;
    } cases[] = {{0x07, 8, 8}, {0x1E, 31, 15}, {0x70, 113, 1}, {0x8F, 16, 16}, {0xCC, 77, 13}};
    for (const auto& c : cases) {
        EXPECT_EQ(colour_pair({true, true, false}, c.attr), c.with_backgrounds) << int(c.attr);
        EXPECT_EQ(colour_pair({true, false, false}, c.attr), c.foregrounds_only) << int(c.attr);
    }
}

// Keys reach the program only where it shows its screen; at the notice only Ctrl+C counts,
// as a request to stop.
TEST(Keys, QueuedOnlyWhereTheScreenIsShown) {
    const struct {
        bool too_small;
        std::vector<int> codes;
        std::deque<int> queued;
        bool interrupted;
    } cases[] = {
        {false, {'a', 301, 3}, {'a', 0, 45, 3}, false},
        {true, {'a', 301}, {}, false},
        {true, {'a', 3, 'b'}, {}, true},
    };
    for (const auto& c : cases) {
        Console con;
        EXPECT_EQ(queue_keys(c.too_small, con, c.codes), c.interrupted);
        EXPECT_EQ(con.keys, c.queued);
    }
}

} // namespace
} // namespace ulo
