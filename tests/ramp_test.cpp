#include <gtest/gtest.h>

#include <vector>

#include "editor/editor.hpp"
#include "support.hpp"

namespace ulo {
namespace {

using namespace key;

using test::press;

// Before: the field, ramp_points, the point on the screen, that point's time and speed (stored
// values) and the flag. After the keys: the same values and the field the cursor is on.
struct Case {
    int field;
    unsigned n, r, t, s;
    int start;
    std::vector<int> keys;
    unsigned n2, r2, t2, s2;
    int mode2, start2;
};

const Case cases[] = {
    // ramp_points
    {8, 5, 1, 0, 0, 1, {'1', enter}, 2, 1, 0, 0, 35, 1},
    {8, 5, 1, 0, 0, 1, {'1', '2', '3'}, 12, 1, 0, 0, 8, 0},
    {8, 5, 1, 0, 0, 1, {'9', '9'}, 99, 1, 0, 0, 8, 0},
    {8, 10, 1, 0, 0, 0, {'0'}, 10, 1, 0, 0, 8, 0},
    {8, 0, 1, 0, 0, 1, {escape}, 2, 1, 0, 0, 8, 1},
    {8, 1, 1, 0, 0, 0, {alt_x}, 2, 1, 0, 0, 8, 0},
    {8, 57, 1, 0, 0, 1, {del, '3'}, 53, 1, 0, 0, 8, 0},
    {8, 0, 1, 0, 0, 1, {left, right, page_up, page_down, space}, 0, 1, 0, 0, 8, 1},
    {8, 1, 1, 0, 0, 0, {up}, 2, 1, 0, 0, 7, 1},
    {8, 3, 7, 0, 0, 1, {'4'}, 4, 7, 0, 0, 8, 0}, // the point past the count stays on the screen
    {8, 150, 1, 0, 0, 0, {'1'}, 150, 1, 0, 0, 8, 0},
    // the point number
    {35, 5, 1, 0, 0, 1, {'7'}, 5, 1, 0, 0, 35, 1},
    {35, 5, 1, 0, 0, 1, {'3', '4'}, 5, 4, 0, 0, 35, 1},
    {35, 12, 1, 0, 0, 1, {'1', '2', '3'}, 12, 12, 0, 0, 35, 0},
    {35, 12, 1, 0, 0, 1, {'3', '0'}, 12, 3, 0, 0, 35, 0},
    {35, 9, 1, 0, 0, 1, {'9'}, 9, 9, 0, 0, 35, 1},
    {35, 10, 1, 0, 0, 1, {'1', '0'}, 10, 10, 0, 0, 35, 0},
    {35, 5, 1, 0, 0, 1, {'0'}, 5, 0, 0, 0, 35, 1},
    {35, 5, 4, 0, 0, 1, {'0', enter}, 5, 1, 0, 0, 36, 1},
    {35, 5, 99, 0, 0, 0, {page_up}, 5, 99, 0, 0, 35, 1},
    {35, 5, 5, 0, 0, 0, {page_up}, 5, 6, 0, 0, 35, 1},
    {35, 5, 3, 0, 0, 0, {page_down}, 5, 2, 0, 0, 35, 1},
    {35, 5, 2, 0, 0, 0, {page_down}, 5, 2, 0, 0, 35, 1},
    {35, 5, 1, 0, 0, 0, {page_down}, 5, 1, 0, 0, 35, 1},
    {35, 20, 12, 0, 0, 1, {del}, 20, 1, 0, 0, 35, 0},
    {35, 20, 7, 0, 0, 1, {del, escape}, 20, 1, 0, 0, 35, 0},
    {35, 20, 7, 0, 0, 1, {del, left, space}, 20, 0, 0, 0, 35, 0},
    {35, 20, 0, 0, 0, 0, {up}, 20, 1, 0, 0, 8, 1},
    {35, 20, 0, 0, 0, 0, {right}, 20, 1, 0, 0, 36, 1},
    {35, 20, 0, 0, 0, 0, {alt_x}, 20, 1, 0, 0, 35, 0},
    // a count above the tables from the file: typing stops at the last point they hold
    {35, 150, 1, 0, 0, 1, {'9', '9'}, 150, 99, 0, 0, 35, 0},
    {35, 150, 1, 0, 0, 1, {'1', '5', '0'}, 150, 15, 0, 0, 35, 0},
    // time, hundredths of a second
    {36, 5, 5, 250, 0, 1, {'1', '2', '3', '4', '5'}, 5, 5, 1234, 0, 36, 0},
    {36, 5, 5, 250, 0, 1, {'1', '2', '3', '4', del}, 5, 5, 123, 0, 36, 0},
    {36, 5, 5, 999, 0, 0, {'9'}, 5, 5, 9999, 0, 36, 0},
    {36, 5, 5, 0x1234, 0, 1, {'7'}, 5, 5, 7, 0, 36, 0},
    {36, 5, 5, 65535, 0, 0, {'1', del}, 5, 5, 6553, 0, 36, 0},
    {36, 5, 5, 250, 0, 1, {page_up, page_down, space, escape}, 5, 5, 250, 0, 36, 1},
    // speed, stored doubled
    {37, 5, 5, 0, 600, 1, {'1', '2', '3', '4', del}, 5, 5, 0, 246, 37, 0},
    {37, 5, 5, 0, 600, 1, {'9', '9', '9', '9', '9'}, 5, 5, 0, 19998, 37, 0},
    {37, 5, 5, 0, 2000, 0, {'0'}, 5, 5, 0, 2000, 37, 0},
    {37, 5, 5, 0, 2471, 1, {del}, 5, 5, 0, 246, 37, 0},
    {37, 5, 5, 0, 65535, 1, {'5'}, 5, 5, 0, 10, 37, 0},
    {37, 5, 5, 0, 600, 1, {page_up, page_down, space, alt_x}, 5, 5, 0, 600, 37, 1},
    // keys no ramp field knows
    {8, 12, 3, 250, 600, 1, {backspace, minus, 'a', 'F', alt_7}, 12, 3, 250, 600, 8, 1},
    {35, 12, 3, 250, 600, 1, {backspace, minus, 'a', alt_7}, 12, 3, 250, 600, 35, 1},
    {36, 12, 3, 250, 600, 1, {backspace, minus, 'a', alt_7}, 12, 3, 250, 600, 36, 1},
    {37, 12, 3, 250, 600, 1, {backspace, minus, 'a', alt_7}, 12, 3, 250, 600, 37, 1},
};

Wert ramp_image(unsigned n, unsigned r, unsigned t, unsigned s) {
    Wert w = test::example_image();
    put(w, ParamId::ramp_points, 0, n);
    put(w, ParamId::ramp_time, r, t);
    put(w, ParamId::ramp_speed, r, s);
    return w;
}

TEST(Ramp, KeysOnTheRampFields) {
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(testing::Message() << "case " << i << ", field " << c.field);
        Wert w = ramp_image(c.n, c.r, c.t, c.s);
        Editor ed{c.field, c.start, 0, c.r};
        press(ed, w, c.keys);
        // every other byte of the image stays as it was
        EXPECT_EQ(w, ramp_image(c.n2, c.r, c.t2, c.s2));
        EXPECT_EQ(ed.ramp, c.r2);
        EXPECT_EQ(ed.mode, c.mode2);
        EXPECT_EQ(ed.start, c.start2);
    }
}

// The moves of the four fields, with -1 where the key is ignored.
TEST(Ramp, Moves) {
    const test::MovesRow rows[] = {
        {8, {35, 7, 37, -1, -1, 0, 18}},
        {35, {36, 8, 9, -1, 36, 0, 18}},
        {36, {35, 8, 9, 35, 37, 0, 18}},
        {37, {35, 8, 9, 36, 22, 0, 18}},
    };
    for (const auto& row : rows) test::expect_moves(row, ramp_image(5, 3, 250, 600), true, 3);
}

// The first and the last point of the tables, by their addresses in the device.
TEST(Ramp, PointsOneAndNinetyNineAtTheirAddresses) {
    for (unsigned r : {1u, 99u}) {
        Wert w{};
        Editor ed{36, 1, 0, r};
        press(ed, w, {'5', '1', '2', right, '3', '0', '0', '0'});
        EXPECT_EQ(byte(w, r == 1 ? 710 : 906), 512u % 256);
        EXPECT_EQ(byte(w, r == 1 ? 711 : 907), 512u / 256);
        EXPECT_EQ(byte(w, r == 1 ? 512 : 708), 6000u % 256);
        EXPECT_EQ(byte(w, r == 1 ? 513 : 709), 6000u / 256);
    }
}

} // namespace
} // namespace ulo
