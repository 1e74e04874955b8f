// PC key codes as the editor sees them: ordinary keys 1..255, extended keys 256 + the second
// code the keyboard delivers after a 0. This is the one table of them: the terminal decoder
// (keys.cpp), the Windows console's key records (key_records.cpp) and the editor all take
// their codes from here.
#pragma once

namespace ulo::key {

// Extended key: 0 and then `second`, as one key code.
constexpr int ext(int second) { return 256 + second; }

// ---- Ordinary keys ------------------------------------------------------------------------

constexpr int backspace = 8;
constexpr int tab = 9;
constexpr int enter = 13;
constexpr int escape = 27;
constexpr int space = 32;
constexpr int minus = 45;

constexpr bool is_digit(int k) { return k >= '0' && k <= '9'; }
constexpr unsigned digit(int k) { return static_cast<unsigned>(k - '0'); }

// ---- Extended keys of their own -----------------------------------------------------------

constexpr int alt_escape = ext(1);
constexpr int nul = ext(3); // Ctrl+Space and Ctrl+2
constexpr int alt_enter = ext(28);

// Alt with a character key: the key's scan code, 120..131 for the keys of the digit row
// (scan codes 2..13, the 1 to the =), as the BIOS has it; 0 for keys Alt gives nothing with.
constexpr int alt_with_scan(int scan) {
    if (scan >= 2 && scan <= 13) return ext(scan + 118);
    if ((scan >= 16 && scan <= 27) || (scan >= 30 && scan <= 41) || (scan >= 43 && scan <= 53))
        return ext(scan);
    return 0;
}
constexpr int alt_1 = alt_with_scan(2); // Alt+1..Alt+9 and Alt+0 follow one another
constexpr int alt_7 = alt_with_scan(8);
constexpr int alt_8 = alt_with_scan(9);
constexpr int alt_9 = alt_with_scan(10);
constexpr int alt_0 = alt_with_scan(11);
constexpr int alt_x = alt_with_scan(45);

// ---- Keys with a code for each modifier ---------------------------------------------------

// The codes of one key alone and with Shift, Ctrl or Alt; 0 where the PC has none.
struct Codes {
    int plain, shift, ctrl, alt;
};

namespace codes {
constexpr Codes up{ext(72), ext(72), ext(141), ext(152)};
constexpr Codes down{ext(80), ext(80), ext(145), ext(160)};
constexpr Codes left{ext(75), ext(75), ext(115), ext(155)};
constexpr Codes right{ext(77), ext(77), ext(116), ext(157)};
constexpr Codes home{ext(71), ext(71), ext(119), ext(151)};
constexpr Codes end{ext(79), ext(79), ext(117), ext(159)};
constexpr Codes page_up{ext(73), ext(73), ext(132), ext(153)};
constexpr Codes page_down{ext(81), ext(81), ext(118), ext(161)};
constexpr Codes insert{ext(82), ext(82), ext(146), ext(162)};
constexpr Codes del{ext(83), ext(83), ext(147), ext(163)};
constexpr Codes back_tab{ext(15), ext(15), ext(148), ext(165)}; // Shift+Tab
// F1..F10: 59..68, with Shift 84..93, Ctrl 94..103, Alt 104..113.
constexpr Codes f(int n) { return {ext(58 + n), ext(83 + n), ext(93 + n), ext(103 + n)}; }
constexpr Codes f11{ext(133), ext(135), ext(137), ext(139)};
constexpr Codes f12{ext(134), ext(136), ext(138), ext(140)};

// The keypad: Enter, and the keys that type a character alone and with Shift.
constexpr Codes pad_enter{enter, enter, 10, ext(166)};
constexpr Codes pad_key(char c, int ctrl, int alt) { return {c, c, ctrl, alt}; }
constexpr Codes pad_star = pad_key('*', ext(150), ext(55));
constexpr Codes pad_plus = pad_key('+', ext(144), ext(78));
constexpr Codes pad_minus = pad_key('-', ext(142), ext(74));
constexpr Codes pad_dot = pad_key('.', 0, ext(147));
constexpr Codes pad_slash = pad_key('/', ext(149), ext(164));
constexpr Codes pad_digit(int d) { return pad_key(static_cast<char>('0' + d), 0, 0); }
constexpr Codes pad_separator = pad_key(',', 0, 0); // xterm's keypad separator
} // namespace codes

// The keys the editor reads, unmodified.
constexpr int f1 = codes::f(1).plain;
constexpr int f5 = codes::f(5).plain;
constexpr int f6 = codes::f(6).plain;
constexpr int home = codes::home.plain;
constexpr int up = codes::up.plain;
constexpr int page_up = codes::page_up.plain;
constexpr int left = codes::left.plain;
constexpr int right = codes::right.plain;
constexpr int end = codes::end.plain;
constexpr int down = codes::down.plain;
constexpr int page_down = codes::page_down.plain;
constexpr int insert = codes::insert.plain;
constexpr int del = codes::del.plain;
// and one with Shift
constexpr int shift_f6 = codes::f(6).shift;

// Escape and Alt+X end the editing from every field.
constexpr bool ends_editing(int k) { return k == escape || k == alt_x; }

} // namespace ulo::key
