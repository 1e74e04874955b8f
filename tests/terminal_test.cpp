// What the terminal backend writes, checked without a terminal: the glyph of every byte and
// the plain text left behind when the program ends.
#include "console/glyphs.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
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
    const struct { unsigned char byte; char32_t shown; } cases[] = {
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
    const struct { const char* what; Console con; bool sgr; std::string expect; } cases[] = {
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

} // namespace
} // namespace ulo
