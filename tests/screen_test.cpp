#include <gtest/gtest.h>

#include <functional>

#include "screen/screen.hpp"
#include "support.hpp"

namespace ulo {
namespace {

Console drawn(const Wert& w, unsigned ramp = 1) {
    Console con;
    clrscr(con);
    title_box(con);
    screen(con, w, ramp);
    return con;
}

TEST(Screen, ExampleScreenCellForCell) {
    const Console con = drawn(test::example_image());
    const auto& rows = test::example_rows();
    for (int y = 1; y <= console_height; ++y)
        EXPECT_EQ(test::text(con, y), rows[y - 1]) << "row " << y;
    for (const Cell& c : con.cells) EXPECT_EQ(c.attr, light_grey);
    EXPECT_EQ(con.x, 35); // behind the CAN identifier
    EXPECT_EQ(con.y, 25);
}

// The title box ends with the cursor on row 5; row 4 and the box stay as they are.
TEST(Screen, LeavesTheTitleBoxAndRowFourAlone) {
    Console con;
    title_box(con);
    EXPECT_EQ(con.x, 1);
    EXPECT_EQ(con.y, 5);
    gotoxy(con, 1, 4);
    put_bytes(con, std::string(79, '#'));
    screen(con, test::example_image(), 1);
    for (int y = 1; y <= 3; ++y) EXPECT_EQ(test::text(con, y), test::example_rows()[y - 1]);
    EXPECT_EQ(test::text(con, 4), std::string(79, '#'));
}

// One value changed in the example image, and the cells where it must show.
struct ValueCase {
    const char* what;
    std::function<void(Wert&)> change;
    unsigned ramp;
    int x, y;
    std::string expect; // bytes from (x, y)
};

TEST(Screen, Values) {
    const ValueCase cases[] = {
        {"contrast 99 shows low, w in column 70", [](Wert& w) { put(w, ParamId::contrast, 0, 99); },
         1, 67, 6, " low"},
        {"contrast 101", [](Wert& w) { put(w, ParamId::contrast, 0, 101); }, 1, 67, 6, " low"},
        {"brightness 50 is 100 %, % in column 72", [](Wert&) {}, 1, 68, 5, "100 %"},
        {"brightness 9 is 0 %", [](Wert& w) { put(w, ParamId::brightness, 0, 9); }, 1, 68, 5,
         "  0 %"},
        {"brightness 45 is 80 %", [](Wert& w) { put(w, ParamId::brightness, 0, 45); }, 1, 68, 5,
         " 80 %"},
        {"cam_width 125 in tenths", [](Wert& w) { put(w, ParamId::cam_width, 0, 125); }, 1, 60, 17,
         "Width: 12.5 \xF8"
         "Cam "},
        {"cam_width 141 in whole degrees", [](Wert& w) { put(w, ParamId::cam_width, 0, 141); }, 1,
         60, 17,
         "Width:   13 \xF8"
         "Cam "},
        {"cam_width 126 without bit 7", [](Wert& w) { put(w, ParamId::cam_width, 0, 126); }, 1, 60,
         17,
         "Width:  126 \xF8"
         "Cam "},
        {"gap_pulses -3", [](Wert& w) { set_byte(w, record_address(0, 8), 0xD3); }, 1, 40, 15,
         "Gap Pulses:     -3  No Gaps:  3"},
        {"gap_pulses -8", [](Wert& w) { set_byte(w, record_address(0, 8), 0x80); }, 1, 56, 15,
         "-8"},
        {"sync_pulses -3", [](Wert& w) { set_byte(w, record_address(0, 15), 0xFD); }, 1, 40, 20,
         "Sync Pulses:    -3 "},
        {"ramp point 7",
         [](Wert& w) {
             put(w, ParamId::ramp_time, 7, 1234);
             put(w, ParamId::ramp_speed, 7, 601);
         },
         7, 2, 12, "07: Time: 12.34s  Speed:  300 rpm "},
        {"configuration 25", [](Wert& w) { put(w, ParamId::wheel_select, 0, 24); }, 1, 29, 8, "25"},
        {"a wheel_select above 24 reads as 25",
         [](Wert& w) {
             put(w, ParamId::wheel_select, 0, 200);
             put(w, ParamId::cylinders, 24, 6);
         },
         1, 29, 8, "25"},
        {"cylinders of configuration 25",
         [](Wert& w) {
             put(w, ParamId::wheel_select, 0, 200);
             put(w, ParamId::cylinders, 24, 6);
         },
         1, 70, 8, "6 Cyl. "},
        {"record flags 0xE4", [](Wert& w) { set_byte(w, record_address(0, 0), 0xE4); }, 1, 55, 10,
         "yes  Crank:  yes"},
        {"write protection from 0xE4", [](Wert& w) { set_byte(w, record_address(0, 0), 0xE4); }, 1,
         28, 9, "yes"},
        {"edit mode 0x01 is off", [](Wert& w) { set_byte(w, 7, 0x01); }, 1, 28, 6, "off"},
        {"edit mode 0xFE is on", [](Wert& w) { set_byte(w, 7, 0xFE); }, 1, 28, 6, " on"},
        {"lis inversion other than 0", [](Wert& w) { put(w, ParamId::lis_inversion, 0, 7); }, 1, 27,
         20, " inv"},
        {"max speed 601 halves to 300", [](Wert& w) { put(w, ParamId::max_poti_speed, 0, 601); }, 1,
         27, 10, " 300 rpm "},
        {"CAN bytes most significant first",
         [](Wert& w) {
             for (unsigned k = 0; k < 4; ++k) set_byte(w, 1536 + k, 0x78 - 0x22 * k);
         },
         1, 2, 25, "CAN 29-bit ID:    12 34 56 78 hex"},
        {"wide value pushes its item right",
         [](Wert& w) { put(w, ParamId::vss_pulse_width, 0, 65535); }, 1, 2, 15,
         "VSS Pulswidth:           65535 ms "},
    };
    for (const ValueCase& c : cases) {
        Wert w = test::example_image();
        c.change(w);
        const Console con = drawn(w, c.ramp);
        EXPECT_EQ(test::cells(con, c.x, c.y, static_cast<int>(c.expect.size())), c.expect)
            << c.what;
    }
}

TEST(Screen, OffsetOfThousandDegreesWrapsItsLastSpaceToTheNextRow) {
    Wert w = test::example_image();
    put(w, ParamId::crank_offset, 0, 10000);
    Console con;
    gotoxy(con, 1, 14);
    put_bytes(con, "X");
    screen(con, w, 1);
    EXPECT_EQ(test::cells(con, 40, 13, 41), "Offset Crank to TDC:      1000.0 \xF8"
                                            "Crank  ");
    EXPECT_EQ(cell(con, 1, 14).ch, ' ');
    EXPECT_EQ(test::text(con, 25), " CAN 29-bit ID:    18 DA F1 10 hex"); // nothing scrolled
}

struct NameCase {
    const char* what;
    std::string name; // 16 bytes
    int x, y;
    std::string expect;
    unsigned bells;
};

TEST(Screen, WheelNameBytesGoThroughTheConsole) {
    const NameCase cases[] = {
        {"bytes above 127 show as themselves",
         "\x80\xE4\xFF"
         "ABCDEFGHIJKLM",
         40, 8,
         "\"\x80\xE4\xFF"
         "ABCDEFGHIJKLM\"",
         0},
        {"backspace overwrites the previous character", "AB\bCDEFGHIJKLMNO", 40, 8,
         "\"ACDEFGHIJKLMNO\"", 0},
        {"carriage return moves the rest to column 1", "AB\rCDEFGHIJKLMNO", 1, 8, "CDEFGHIJKLMNO\"",
         0},
        {"bell sounds and writes nothing", "AB\aCDEFGHIJKLMNO", 40, 8, "\"ABCDEFGHIJKLMNO\"", 1},
        {"escape is a glyph, not a sequence",
         "\x1b[2J"
         "ABCDEFGHIJKL",
         40, 8, "\"\x1b[2JABCDEFGHIJKL\"", 0},
    };
    for (const NameCase& c : cases) {
        Wert w = test::example_image();
        for (unsigned p = 1; p <= 16; ++p)
            set_name_char(w, 0, p, static_cast<unsigned char>(c.name[p - 1]));
        Console con;
        screen(con, w, 1);
        EXPECT_EQ(test::cells(con, c.x, c.y, static_cast<int>(c.expect.size())), c.expect)
            << c.what;
        EXPECT_EQ(con.bells, c.bells) << c.what;
    }
}

TEST(Screen, LineFeedInANameMovesTheRestDownOneRow) {
    Wert w = test::example_image();
    const std::string name = "AB\nCDEFGHIJKLMNO";
    for (unsigned p = 1; p <= 16; ++p)
        set_name_char(w, 0, p, static_cast<unsigned char>(name[p - 1]));
    Console con;
    gotoxy(con, 40, 8);
    write_name(con, w, 0);
    EXPECT_EQ(test::cells(con, 40, 8, 4), "\"AB ");
    EXPECT_EQ(test::cells(con, 43, 9, 14), "CDEFGHIJKLMNO\"");
}

} // namespace
} // namespace ulo
