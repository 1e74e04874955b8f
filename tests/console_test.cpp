#include <gtest/gtest.h>

#include "console/console.hpp"
#include "support.hpp"

namespace ulo {
namespace {

// 0, 81 or 26 leave the cursor where it was.
TEST(Console, GotoxyOutsideTheScreenIsIgnored) {
    const struct {
        unsigned x, y;
        int end_x, end_y;
    } cases[] = {{0, 5, 7, 9}, {81, 1, 7, 9}, {1, 26, 7, 9}, {80, 25, 80, 25}};
    for (const auto& c : cases) {
        Console con;
        gotoxy(con, 7, 9);
        gotoxy(con, c.x, c.y);
        EXPECT_EQ(con.x, c.end_x) << c.x << "," << c.y;
        EXPECT_EQ(con.y, c.end_y) << c.x << "," << c.y;
    }
}

// Writes `bytes` from (x, y) and checks where the cursor ends and what the cells from
// (check_x, check_y) hold.
TEST(Console, WriteRules) {
    const struct {
        const char* what;
        unsigned x, y;
        std::string bytes;
        int end_x, end_y, check_x, check_y;
        std::string expect;
    } cases[] = {
        {"plain text", 5, 3, "abc", 8, 3, 5, 3, "abc"},
        {"line feed keeps the column", 5, 3, "ab\ncd", 9, 4, 7, 4, "cd"},
        {"carriage return goes to column 1", 5, 3, "ab\rX", 2, 3, 1, 3, "X"},
        {"backspace moves left without erasing", 5, 3, "ab\bX", 7, 3, 5, 3, "aX"},
        {"backspace in column 1 does nothing", 1, 3, "\bX", 2, 3, 1, 3, "X"},
        {"bell writes nothing", 5, 3, "a\ab", 7, 3, 5, 3, "ab"},
        {"column 80 wraps at once", 79, 3, "ab", 1, 4, 79, 3, "ab"},
        {"control bytes are stored as glyphs", 5, 3, std::string("\x1b\x00\x9b", 3), 8, 3, 5, 3,
         std::string("\x1b\x00\x9b", 3)},
    };
    for (const auto& c : cases) {
        Console con;
        gotoxy(con, c.x, c.y);
        put_bytes(con, c.bytes);
        EXPECT_EQ(con.x, c.end_x) << c.what;
        EXPECT_EQ(con.y, c.end_y) << c.what;
        EXPECT_EQ(test::cells(con, c.check_x, c.check_y, static_cast<int>(c.expect.size())),
                  c.expect)
            << c.what;
    }
}

TEST(Console, ScrollsBelowTheLastRow) {
    const struct {
        const char* what;
        unsigned x;
        std::string bytes;
    } cases[] = {{"line feed and return in row 25", 5, "\n\r"},
                 {"a byte in column 80 of row 25", 80, "Z"}};
    for (const auto& c : cases) {
        Console con;
        gotoxy(con, 1, 1);
        put_bytes(con, "top");
        gotoxy(con, 1, 25);
        put_bytes(con, "bottom");
        textcolor(con, light_red);
        gotoxy(con, c.x, 25);
        put_bytes(con, c.bytes);
        EXPECT_EQ(con.y, 25) << c.what;
        EXPECT_EQ(con.x, 1) << c.what;
        EXPECT_EQ(test::text(con, 24).substr(0, 6), "bottom") << c.what;
        EXPECT_EQ(test::text(con, 25), "") << c.what;
        EXPECT_EQ(cell(con, 40, 25).attr, light_red) << c.what; // blank in the current colour
        EXPECT_NE(test::text(con, 1), "top") << c.what;         // the first row scrolled away
    }
}

TEST(Console, TextcolorKeepsTheBackground) {
    Console con;
    con.attr = 0x17; // light grey on blue
    textcolor(con, light_red);
    EXPECT_EQ(con.attr, 0x1C);
    textcolor(con, 0xFF); // blink and white; the background still stays
    EXPECT_EQ(con.attr, 0x9F);
}

TEST(Console, ClrscrBlanksWithTheCurrentAttributeAndHomes) {
    Console con;
    put_bytes(con, "xyz");
    gotoxy(con, 40, 20);
    textcolor(con, light_red);
    clrscr(con);
    EXPECT_EQ(con.x, 1);
    EXPECT_EQ(con.y, 1);
    for (const Cell& c : con.cells) EXPECT_EQ(c, (Cell{' ', light_red}));
}

TEST(Console, CprintfFormats) {
    struct Case {
        std::string expect;
        std::string got;
    };
    auto fmt = [](auto... args) {
        Console con;
        cprintf(con, args...);
        return test::rtrim(row_bytes(con, 1));
    };
    const Case cases[] = {
        {"100%", fmt("%u%%", 100u)}, {"07:", fmt("%02u:", 7u)},    {"DA", fmt("%02X", 0xDAu)},
        {"-3", fmt("%2i", -3)},      {"12.5", fmt("%4.1f", 12.5)}, {"6553.5", fmt("%5.1f", 6553.5)},
        {" low", fmt("%4s", "low")},
    };
    for (const Case& c : cases) EXPECT_EQ(c.got, c.expect);
}

TEST(Console, ExtendedKeysArriveAsZeroThenTheirCode) {
    Console con;
    push_key(con, 301);
    EXPECT_TRUE(kbhit(con));
    EXPECT_EQ(getch(con), 0);
    EXPECT_TRUE(kbhit(con)); // the second half is ready at once
    EXPECT_EQ(getch(con), 45);
    EXPECT_FALSE(kbhit(con));
}

TEST(Console, NoMoreKeysReadsAsEscapeAndCloses) {
    Console con;
    EXPECT_EQ(getch(con), 27);
    EXPECT_TRUE(con.closed);
}

TEST(Console, GetcheEchoesTheKey) {
    Console con;
    gotoxy(con, 40, 25);
    push_key(con, 'n');
    EXPECT_EQ(getche(con), 'n');
    EXPECT_EQ(cell(con, 40, 25).ch, 'n');
    EXPECT_EQ(con.x, 41);
}

TEST(Console, Cp437Glyphs) {
    struct Case {
        unsigned char byte;
        const char* glyph;
    };
    const Case cases[] = {{0xC9, "╔"}, {0xCD, "═"}, {0xBB, "╗"}, {0xBA, "║"}, {0xC8, "╚"},
                          {0xBC, "╝"}, {0xF8, "°"}, {0x1B, "←"}, {0x07, "•"}, {0x9B, "¢"},
                          {0x7F, "⌂"}, {'A', "A"},  {0x84, "ä"}, {0xE1, "ß"}};
    for (const Case& c : cases) EXPECT_EQ(utf8(cp437(c.byte)), c.glyph) << int(c.byte);
}

} // namespace
} // namespace ulo
