// Key decoding. A terminal reports characters and escape sequences; the program wants the PC
// keyboard's codes. Characters are taken at the US key position that produces them, cursor and
// function keys come from CSI (ESC [) and SS3 (ESC O) sequences, and Alt arrives as an ESC in
// front of the key or, in eight-bit meta form, as the key's character + 0x80. A terminal with
// the keyboard protocol reports Escape, Alt, Ctrl and keypad keys as ESC [ key ; modifier u,
// which gets the code the same key has without the protocol.
#include "console/keys.hpp"

#include <cctype>
#include <cstddef>
#include <iterator>

#include "console/keycodes.hpp"

namespace ulo {
namespace {

constexpr unsigned char esc = 0x1B;

using key::Codes;
using namespace key::codes;

// A key the terminal only sends with Ctrl or Shift already held.
constexpr Codes with_ctrl(Codes c) { return {c.ctrl, c.ctrl, c.ctrl, c.alt}; }
constexpr Codes with_shift(Codes c) { return {c.shift, c.shift, c.ctrl, c.alt}; }

struct KeySequence {
    std::string_view intro; // "[" CSI, "O" SS3, "[[" Linux console
    int number;             // first parameter: the key number of "~" keys, otherwise 1
    char final;
    Codes codes;
};

// Every cursor, editing and function key sequence we know. A modifier parameter (ESC[1;5A)
// picks the column; a sequence not listed here is dropped.
constexpr KeySequence key_sequences[] = {
    // Cursor block: CSI in normal cursor mode, SS3 in application mode.
    {"[", 1, 'A', up},
    {"O", 1, 'A', up},
    {"[", 1, 'B', down},
    {"O", 1, 'B', down},
    {"[", 1, 'C', right},
    {"O", 1, 'C', right},
    {"[", 1, 'D', left},
    {"O", 1, 'D', left},
    {"[", 1, 'H', home},
    {"O", 1, 'H', home},
    {"[", 1, 'F', end},
    {"O", 1, 'F', end},
    {"[", 1, '~', home}, // vt220 style: Linux console, tmux, screen
    {"[", 7, '~', home}, // rxvt
    {"[", 4, '~', end},  // vt220 style: Linux console, tmux, screen
    {"[", 8, '~', end},  // rxvt
    {"[", 2, '~', insert},
    {"[", 3, '~', del},
    {"[", 5, '~', page_up},
    {"[", 6, '~', page_down},
    {"[", 1, 'a', up},               // rxvt: Shift+Up
    {"[", 1, 'b', down},             // rxvt: Shift+Down
    {"[", 1, 'c', right},            // rxvt: Shift+Right
    {"[", 1, 'd', left},             // rxvt: Shift+Left
    {"O", 1, 'a', with_ctrl(up)},    // rxvt: Ctrl+Up
    {"O", 1, 'b', with_ctrl(down)},  // rxvt: Ctrl+Down
    {"O", 1, 'c', with_ctrl(right)}, // rxvt: Ctrl+Right
    {"O", 1, 'd', with_ctrl(left)},  // rxvt: Ctrl+Left
    {"[", 1, 'Z', back_tab},

    // Function keys.
    {"O", 1, 'P', f(1)},
    {"O", 1, 'Q', f(2)},
    {"O", 1, 'R', f(3)},
    {"O", 1, 'S', f(4)},
    {"[", 1, 'P', f(1)},  // xterm, modified: ESC[1;2P
    {"[", 1, 'Q', f(2)},  // xterm, modified
    {"[", 1, 'R', f(3)},  // xterm, modified
    {"[", 1, 'S', f(4)},  // xterm, modified
    {"[", 11, '~', f(1)}, // rxvt, vt220
    {"[", 12, '~', f(2)}, // rxvt, vt220
    {"[", 13, '~', f(3)}, // rxvt, vt220
    {"[", 14, '~', f(4)}, // rxvt, vt220
    {"[[", 1, 'A', f(1)}, // Linux console
    {"[[", 1, 'B', f(2)}, // Linux console
    {"[[", 1, 'C', f(3)}, // Linux console
    {"[[", 1, 'D', f(4)}, // Linux console
    {"[[", 1, 'E', f(5)}, // Linux console
    {"[", 15, '~', f(5)},
    {"[", 17, '~', f(6)},
    {"[", 18, '~', f(7)},
    {"[", 19, '~', f(8)},
    {"[", 20, '~', f(9)},
    {"[", 21, '~', f(10)},
    {"[", 23, '~', f11},
    {"[", 24, '~', f12},
    {"[", 25, '~', with_shift(f(3))},  // Linux console, rxvt: Shift+F3 sent as F13
    {"[", 26, '~', with_shift(f(4))},  // Linux console, rxvt
    {"[", 28, '~', with_shift(f(5))},  // Linux console, rxvt
    {"[", 29, '~', with_shift(f(6))},  // Linux console, rxvt
    {"[", 31, '~', with_shift(f(7))},  // Linux console, rxvt
    {"[", 32, '~', with_shift(f(8))},  // Linux console, rxvt
    {"[", 33, '~', with_shift(f(9))},  // Linux console, rxvt
    {"[", 34, '~', with_shift(f(10))}, // Linux console, rxvt

    // Keypad in application mode: Enter and the characters of its keys.
    {"O", 1, 'M', pad_enter},
    {"O", 1, 'j', pad_star},
    {"O", 1, 'k', pad_plus},
    {"O", 1, 'l', pad_separator},
    {"O", 1, 'm', pad_minus},
    {"O", 1, 'n', pad_dot},
    {"O", 1, 'o', pad_slash},
    {"O", 1, 'p', pad_digit(0)},
    {"O", 1, 'q', pad_digit(1)},
    {"O", 1, 'r', pad_digit(2)},
    {"O", 1, 's', pad_digit(3)},
    {"O", 1, 't', pad_digit(4)},
    {"O", 1, 'u', pad_digit(5)},
    {"O", 1, 'v', pad_digit(6)},
    {"O", 1, 'w', pad_digit(7)},
    {"O", 1, 'x', pad_digit(8)},
    {"O", 1, 'y', pad_digit(9)},
};

// The character keys of the US layout: the character alone and with Shift, and the key's scan
// code, which gives its code with Alt (key::alt_with_scan).
struct KeyPosition {
    char plain, shifted;
    int scan;
};

constexpr KeyPosition us_layout[] = {
    {'1', '!', 2},  {'2', '@', 3},   {'3', '#', 4},  {'4', '$', 5},  {'5', '%', 6},
    {'6', '^', 7},  {'7', '&', 8},   {'8', '*', 9},  {'9', '(', 10}, {'0', ')', 11},
    {'-', '_', 12}, {'=', '+', 13},  {'q', 'Q', 16}, {'w', 'W', 17}, {'e', 'E', 18},
    {'r', 'R', 19}, {'t', 'T', 20},  {'y', 'Y', 21}, {'u', 'U', 22}, {'i', 'I', 23},
    {'o', 'O', 24}, {'p', 'P', 25},  {'[', '{', 26}, {']', '}', 27}, {'a', 'A', 30},
    {'s', 'S', 31}, {'d', 'D', 32},  {'f', 'F', 33}, {'g', 'G', 34}, {'h', 'H', 35},
    {'j', 'J', 36}, {'k', 'K', 37},  {'l', 'L', 38}, {';', ':', 39}, {'\'', '"', 40},
    {'`', '~', 41}, {'\\', '|', 43}, {'z', 'Z', 44}, {'x', 'X', 45}, {'c', 'C', 46},
    {'v', 'V', 47}, {'b', 'B', 48},  {'n', 'N', 49}, {'m', 'M', 50}, {',', '<', 51},
    {'.', '>', 52}, {'/', '?', 53},
};

// The code of Alt with the key that sends `b`; 0 for keys Alt gives nothing with.
int alt_code(unsigned char b) {
    if (b == ' ') return key::space; // Alt+Space is Space on the PC
    if (b == '\r') return key::alt_enter;
    for (const KeyPosition& position : us_layout)
        if (b == static_cast<unsigned char>(position.plain) ||
            b == static_cast<unsigned char>(position.shifted))
            return key::alt_with_scan(position.scan);
    return 0;
}

int ordinary_code(unsigned char b) {
    switch (b) {
    case 0x00: return key::nul;       // Ctrl+Space and Ctrl+2 send NUL, as the PC's Ctrl+2
    case 0x7F: return key::backspace; // most terminals send DEL for Backspace
    default: return b;
    }
}

// The result of decoding from the start of the held bytes: how many bytes the key took and
// its code (0: a key without code). `used` 0 means more bytes are needed.
struct Step {
    std::size_t used;
    int code;
};

constexpr Step need_more{0, 0};
// A CSI or SS3 sequence longer than this is garbage, not a key.
constexpr std::size_t longest_sequence = 32;

bool is_parameter(unsigned char b) { return b >= 0x30 && b <= 0x3F; }
bool is_intermediate(unsigned char b) { return b >= 0x20 && b <= 0x2F; }
bool is_final(unsigned char b) { return b >= 0x40 && b <= 0x7E; }
bool is_continuation(unsigned char b) { return (b & 0xC0) == 0x80; }

// Splits "1;5" into numbers; false for anything but decimal numbers and ';' (private
// markers, sub-parameters) or more than two numbers. An empty number is 1.
bool parse_parameters(std::string_view text, int (&numbers)[2], int& count) {
    numbers[0] = numbers[1] = 1;
    count = 0;
    if (text.empty()) return true;
    std::size_t start = 0;
    while (true) {
        std::size_t stop = text.find(';', start);
        std::string_view field = text.substr(start, stop == text.npos ? text.npos : stop - start);
        if (count == 2 || field.size() > 7) return false; // a code point has up to 7 digits
        if (!field.empty()) {
            int value = 0;
            for (char c : field) {
                if (c < '0' || c > '9') return false;
                value = value * 10 + (c - '0');
            }
            numbers[count] = value;
        }
        ++count;
        if (stop == text.npos) return true;
        start = stop + 1;
    }
}

// The code of a cursor, editing or function key: the sequence's introducer, key number and
// final, and its modifier parameter (1 + bits Shift 1, Alt 2, Ctrl 4, Meta 8); `alt` when an
// ESC came before the sequence.
int key_code(std::string_view intro, int number, char final, int modifier, bool alt) {
    // Caps Lock and Num Lock (64, 128, reported by the keyboard protocol) change no key.
    const int bits = (modifier > 0 ? modifier - 1 : 0) & ~(64 | 128);
    alt = alt || (bits & (2 | 8)) != 0; // Meta counts as Alt
    const bool ctrl = (bits & 4) != 0;
    const bool shift = (bits & 1) != 0;
    for (const KeySequence& key : key_sequences) {
        if (key.intro != intro || key.number != number || key.final != final) continue;
        return alt     ? key.codes.alt
               : ctrl  ? key.codes.ctrl
               : shift ? key.codes.shift
                       : key.codes.plain;
    }
    return 0;
}

// Keypad keys of the keyboard protocol, KP_0 (57399) to KP_BEGIN (57427), as the sequence
// the same key sends in application keypad mode.
struct KeypadKey {
    std::string_view intro;
    int number;
    char final;
};
constexpr int keypad_first = 57399;
constexpr KeypadKey keypad_keys[] = {
    {"O", 1, 'p'}, {"O", 1, 'q'}, {"O", 1, 'r'}, {"O", 1, 's'}, {"O", 1, 't'}, // KP_0..KP_4
    {"O", 1, 'u'}, {"O", 1, 'v'}, {"O", 1, 'w'}, {"O", 1, 'x'}, {"O", 1, 'y'}, // KP_5..KP_9
    {"O", 1, 'n'}, {"O", 1, 'o'}, {"O", 1, 'j'}, {"O", 1, 'm'}, {"O", 1, 'k'}, // . / * - +
    {"O", 1, 'M'},                                                             // KP_ENTER
    {"O", 1, 'X'},                                              // KP_EQUAL: no PC key
    {"O", 1, 'l'},                                              // KP_SEPARATOR
    {"[", 1, 'D'}, {"[", 1, 'C'}, {"[", 1, 'A'}, {"[", 1, 'B'}, // KP_LEFT, RIGHT, UP, DOWN
    {"[", 5, '~'}, {"[", 6, '~'}, {"[", 1, 'H'}, {"[", 1, 'F'}, // PAGE_UP, PAGE_DOWN, HOME, END
    {"[", 2, '~'}, {"[", 3, '~'},                               // KP_INSERT, KP_DELETE
    {"[", 1, 'E'},                                              // KP_BEGIN: no PC key
};

// The byte a terminal sends for Ctrl with a character key (the VT100's table as terminals
// extend it); Ctrl leaves other characters as they are.
unsigned char ctrl_byte(unsigned char c) {
    if (c >= 'a' && c <= 'z') return static_cast<unsigned char>(c - 'a' + 1);
    switch (c) {
    case ' ':
    case '2':
    case '@': return 0;
    case '3':
    case '[': return 27;
    case '4':
    case '\\': return 28;
    case '5':
    case ']': return 29;
    case '6':
    case '^':
    case '~': return 30;
    case '7':
    case '/':
    case '_': return 31;
    case '8':
    case '?': return 127;
    default: return c;
    }
}

// The character Shift gives with a key of the US layout.
unsigned char shifted(unsigned char c) {
    for (const KeyPosition& position : us_layout)
        if (c == static_cast<unsigned char>(position.plain))
            return static_cast<unsigned char>(position.shifted);
    return c;
}

// A key reported by the keyboard protocol (ESC [ key ; modifier u): the key's unshifted code
// point or a keypad number. It gets the code of the bytes the terminal sends for the same key
// without the protocol, so every field sees what it always saw; only nothing is ambiguous.
int protocol_code(int key, int modifier, bool alt_before) {
    int bits = (modifier > 0 ? modifier - 1 : 0) & ~(64 | 128); // not Caps Lock, Num Lock
    if (alt_before) bits |= 2;
    if (key >= keypad_first && key < keypad_first + static_cast<int>(std::size(keypad_keys))) {
        const KeypadKey& pad_key = keypad_keys[key - keypad_first];
        return key_code(pad_key.intro, pad_key.number, pad_key.final, 1 + bits, false);
    }
    // Super and Hyper, which the PC keyboard does not have, and characters of other layouts,
    // which no US key sends, give nothing.
    if ((bits & (8 | 16)) != 0 || key <= 0 || key > 127) return 0;
    const bool shift = (bits & 1) != 0;
    const bool alt = (bits & (2 | 32)) != 0; // Meta counts as Alt
    bool ctrl = (bits & 4) != 0;
    auto c = static_cast<unsigned char>(key);
    switch (key) {
    case key::escape: return alt ? key::alt_escape : key::escape; // with Shift or Ctrl too
    case key::tab:                                                // Shift+Tab is a key of its own
        if (shift) return alt ? back_tab.alt : back_tab.plain;
        break;
    case 127: // Backspace: ^H with Ctrl
        c = ctrl ? key::backspace : 127;
        ctrl = false;
        break;
    default: break;
    }
    if (ctrl)
        c = ctrl_byte(c);
    else if (shift)
        c = shifted(c);
    if (!alt) return ordinary_code(c);
    return c == esc ? key::alt_escape : alt_code(c);
}

// The key code of a complete sequence, 0 if it is not a key we know.
int sequence_code(std::string_view intro, std::string_view parameters, char final, bool alt) {
    int numbers[2];
    int count = 0;
    if (!parse_parameters(parameters, numbers, count)) return 0;
    if (intro == "[" && final == 'u') return protocol_code(numbers[0], numbers[1], alt);
    int number = numbers[0];
    int modifier = numbers[1];
    if (intro == "O" && count == 1) { // older xterm and konsole: ESC O 5 P for Ctrl+F1
        number = 1;
        modifier = numbers[0];
    }
    if (intro == "[" && count <= 1) { // rxvt: the final of "~" keys carries the modifier
        const int implied = final == '$' ? 2 : final == '^' ? 5 : final == '@' ? 6 : 0;
        if (implied != 0) { // Shift, Ctrl, Ctrl+Shift
            final = '~';
            modifier = implied;
        }
    }
    return key_code(intro, number, final, modifier, alt);
}

// How many bytes the UTF-8 character at the start of `s` announces (1 for a byte that leads
// none), and how many of them are there: the lead and the continuations that follow it.
struct Utf8Span {
    std::size_t length, present;
};
Utf8Span utf8_span(std::string_view s) {
    const auto lead = static_cast<unsigned char>(s[0]);
    const std::size_t length = lead >= 0xC2 && lead <= 0xDF   ? 2
                               : lead >= 0xE0 && lead <= 0xEF ? 3
                               : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                              : 1;
    std::size_t i = 1;
    while (i < length && i < s.size() && is_continuation(static_cast<unsigned char>(s[i]))) ++i;
    return {length, i};
}

// A UTF-8 character after an ESC (Alt with a key of another layout): all of its bytes go.
Step skip_utf8(std::string_view s, bool quiet) {
    const Utf8Span c = utf8_span(s);
    if (c.present < c.length && c.present == s.size() && !quiet) return need_more;
    return {c.present, 0};
}

// ESC [ or ESC O and what follows. `alt`: an ESC came before it (rxvt's Alt+cursor key).
Step decode_sequence(std::string_view s, bool quiet, bool alt) {
    const unsigned char intro = s[1];
    if (intro == '[' && s.size() > 2 && s[2] == '[') { // Linux console F1..F5: ESC [ [ A
        if (s.size() == 3) return quiet ? Step{3, 0} : need_more;
        const auto final = static_cast<unsigned char>(s[3]);
        if (!is_final(final)) return {3, 0};
        return {4, sequence_code("[[", "", static_cast<char>(final), alt)};
    }
    std::size_t i = 2;
    while (i < s.size() && is_parameter(static_cast<unsigned char>(s[i]))) ++i;
    const std::size_t parameters_end = i;
    // rxvt ends Shift+Insert and friends with '$', which is an intermediate byte elsewhere.
    while (i < s.size() && is_intermediate(static_cast<unsigned char>(s[i])) &&
           !(intro == '[' && s[i] == '$'))
        ++i;
    if (i == s.size()) {
        if (!quiet) return need_more;
        // Nothing came after ESC [ or ESC O: that was Alt+[ or Alt+O. A sequence cut short
        // goes whole.
        return i == 2 ? Step{2, alt_code(intro)} : Step{i, 0};
    }
    const auto final = static_cast<unsigned char>(s[i]);
    if (!is_final(final) && !(intro == '[' && final == '$')) {
        // Not a sequence after all: ESC [ was Alt+[, and the byte after it is the next key.
        return i == 2 ? Step{2, alt_code(intro)} : Step{i, 0};
    }
    if (i != parameters_end) return {i + 1, 0}; // intermediates: no key uses them
    const std::string_view introducer = intro == '[' ? "[" : "O";
    return {i + 1, sequence_code(introducer, s.substr(2, parameters_end - 2),
                                 static_cast<char>(final), alt)};
}

Step decode_escape(std::string_view s, bool quiet) {
    if (s.size() == 1) return quiet ? Step{1, key::escape} : need_more;
    const auto next = static_cast<unsigned char>(s[1]);
    if (next == '[' || next == 'O') return decode_sequence(s, quiet, false);
    if (next == esc) {
        if (s.size() == 2) return quiet ? Step{2, key::alt_escape} : need_more;
        if (s[2] == '[' || s[2] == 'O') { // rxvt sends Alt+cursor key as ESC before it
            const Step inner = decode_sequence(s.substr(1), quiet, true);
            return inner.used == 0 ? need_more : Step{inner.used + 1, inner.code};
        }
        return {2, key::alt_escape};
    }
    if (next >= 0x80) { // Alt with a character of another layout
        const Step character = skip_utf8(s.substr(1), quiet);
        return character.used == 0 ? need_more : Step{character.used + 1, 0};
    }
    return {2, alt_code(next)};
}

// Alt with the key that sends `c` in eight-bit meta form (the character 0x80 + c).
int meta_code(unsigned char c) { return c == esc ? key::alt_escape : alt_code(c); }

// A byte from 0x80 up. xterm and others send Alt+c as the character U+0080 + c: as UTF-8 in a
// UTF-8 locale, as the byte 0x80 + c elsewhere. A complete UTF-8 character is one key: Alt + c
// for U+0080..U+00FF, none for the rest, which no US key sends; any other byte counts by itself.
Step decode_eight_bit(std::string_view s, bool quiet) {
    const auto lead = static_cast<unsigned char>(s[0]);
    const auto [length, i] = utf8_span(s);
    if (length > 1 && i == length) {
        const bool latin1 = lead <= 0xC3; // U+0080..U+00FF: C2 or C3 and one continuation
        const auto c = static_cast<unsigned char>(((lead & 0x03) << 6 | (s[1] & 0x3F)) - 0x80);
        return {length, latin1 ? meta_code(c) : 0};
    }
    if (length > 1 && i == s.size() && !quiet) return need_more;
    return {1, meta_code(static_cast<unsigned char>(lead - 0x80))};
}

Step decode_one(std::string_view s, bool quiet) {
    const auto b = static_cast<unsigned char>(s[0]);
    if (b == esc) return decode_escape(s, quiet);
    if (b >= 0x80) return decode_eight_bit(s, quiet);
    return {1, ordinary_code(b)};
}

// A sequence that keeps growing is no key; its parameters are forgotten, but not the fact that
// we are inside it, so that its remaining bytes go with it instead of turning into keys. The
// '?' (a private marker) makes sure it can no longer match a key.
void forget_parameters(std::string& held) {
    const std::size_t intro = held[1] == static_cast<char>(esc) ? 2 : 1;
    held = held.substr(0, intro + 1) + '?' + held.back();
}

} // namespace

std::vector<int> decode_keys(KeyDecoder& decoder, std::string_view bytes, bool quiet) {
    decoder.held.append(bytes);
    std::vector<int> codes;
    std::size_t done = 0;
    while (done < decoder.held.size()) {
        const Step step = decode_one(std::string_view(decoder.held).substr(done), quiet);
        if (step.used == 0) break;
        if (step.code != 0) codes.push_back(step.code);
        done += step.used;
    }
    decoder.held.erase(0, done);
    if (decoder.held.size() > longest_sequence) forget_parameters(decoder.held);
    return codes;
}

bool waiting(const KeyDecoder& decoder) { return !decoder.held.empty(); }

int hold_ms(const KeyDecoder& decoder) {
    return decoder.protocol ? protocol_escape_wait_ms : escape_wait_ms;
}

void take_answers(std::string& bytes, KeyboardAnswers& answers) {
    constexpr std::string_view answer_start = "\x1b[?";
    std::size_t at = 0;
    while ((at = bytes.find(answer_start, at)) != std::string::npos) {
        std::size_t end = at + answer_start.size();
        while (end < bytes.size() &&
               (std::isdigit(static_cast<unsigned char>(bytes[end])) || bytes[end] == ';'))
            ++end;
        if (end == bytes.size()) return; // the rest is still on its way
        if (bytes[end] == 'u' || bytes[end] == 'c') {
            (bytes[end] == 'u' ? answers.protocol : answers.attributes) = true;
            bytes.erase(at, end + 1 - at);
        } else {
            at = end;
        }
    }
}

} // namespace ulo
