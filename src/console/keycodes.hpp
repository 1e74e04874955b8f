// PC key codes as the editor sees them: ordinary keys 1..255, extended keys 256 + the second
// code the keyboard delivers after a 0.
#pragma once

namespace ulo::key {

constexpr int backspace = 8;
constexpr int enter = 13;
constexpr int escape = 27;
constexpr int space = 32;
constexpr int minus = 45;
constexpr int alt_escape = 257;
constexpr int alt_x = 301;
constexpr int f1 = 315;
constexpr int home = 327;
constexpr int up = 328;
constexpr int page_up = 329;
constexpr int left = 331;
constexpr int right = 333;
constexpr int end = 335;
constexpr int down = 336;
constexpr int page_down = 337;
constexpr int insert = 338;
constexpr int del = 339;
constexpr int alt_7 = 382;
constexpr int alt_8 = 383;
constexpr int alt_9 = 384;
constexpr int alt_0 = 385;

constexpr bool is_digit(int k) { return k >= '0' && k <= '9'; }
constexpr unsigned digit(int k) { return static_cast<unsigned>(k - '0'); }
// Escape and Alt+X end the editing from every field.
constexpr bool ends_editing(int k) { return k == escape || k == alt_x; }

} // namespace ulo::key
