#include <gtest/gtest.h>

#include <vector>

#include "editor/editor.hpp"
#include "support.hpp"

namespace ulo {
namespace {

using namespace key;

using test::press;

// The field, its byte and the flag before; its byte, the field and the flag after the keys.
struct Case {
    int field;
    unsigned byte;
    int start;
    std::vector<int> keys;
    unsigned byte2;
    int mode2, start2;
};

const Case cases[] = {
    {38, 0x18, 1, {'F', 'F'}, 0xFF, 38, 0},
    {38, 0x18, 1, {'F', 'F', '1'}, 0xFF, 38, 0},
    {39, 0xDA, 1, {'a', 'B'}, 0xAB, 39, 0},
    {39, 0xDA, 1, {'A', 'b'}, 0xAB, 39, 0},
    {39, 0xDA, 1, {'f'}, 0x0F, 39, 0},
    {40, 0xF1, 1, {'0', '5', '7'}, 0x57, 40, 0},
    {40, 0xF1, 1, {'0', '5', '7', '0'}, 0x57, 40, 0},
    {40, 0x0F, 0, {'0'}, 0xF0, 40, 0},
    {40, 0x10, 0, {'0'}, 0x10, 40, 0},
    {41, 0xAB, 1, {del}, 0x0A, 41, 0},
    {41, 0xAB, 1, {del, 'C'}, 0xAC, 41, 0},
    {41, 0x0A, 1, {del}, 0x00, 41, 0},
    {41, 0x10, 1, {'9', escape, alt_x}, 0x09, 41, 0},
    {41, 0x10, 1, {'3', right}, 0x03, 18, 1},
    // keys that are not hexadecimal digits, Delete or moves
    {38, 0x18, 1, {'g', 'G', 'z', 'Z', '@', '`', '/', ':', space, backspace}, 0x18, 38, 1},
    {39, 0xDA, 1, {page_up, page_down, insert, f1, minus}, 0xDA, 39, 1},
    {40, 0xF1, 1, {'g', 'G', space, page_up}, 0xF1, 40, 1},
    {41, 0x10, 1, {'g', 'G', space, page_down}, 0x10, 41, 1},
};

TEST(Can, KeysOnTheCanFields) {
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(testing::Message() << "case " << i << ", field " << c.field);
        // field 38 is the byte at 1539, field 41 the one at 1536
        const unsigned address = 1539u - static_cast<unsigned>(c.field - 38);
        Wert w = test::example_image();
        set_byte(w, address, c.byte);
        Wert expected = w;
        set_byte(expected, address, c.byte2);
        Editor ed{c.field, c.start, 0, 1};
        press(ed, w, c.keys);
        EXPECT_EQ(w, expected);
        EXPECT_EQ(ed.mode, c.mode2);
        EXPECT_EQ(ed.start, c.start2);
    }
}

// The moves of the four fields, with -1 where the key is ignored.
TEST(Can, Moves) {
    const test::MovesRow rows[] = {
        {38, {39, 16, 0, -1, 39, 0, 18}},
        {39, {40, 16, 0, 38, 40, 0, 18}},
        {40, {41, 16, 0, 39, 41, 0, 18}},
        {41, {18, 16, 0, 40, 18, 0, 18}},
    };
    for (const auto& row : rows) test::expect_moves(row, test::example_image(), true);
}

} // namespace
} // namespace ulo
