#include "console/keys.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ulo {
namespace {

using namespace std::string_literals;

struct KeyCase {
    std::string what;
    std::vector<std::string> reads; // bytes of each read(), all within the Escape wait
    bool quiet;                     // then nothing more came
    std::vector<int> codes;
};

// Feeds the reads, then the quiet call if the case asks for it.
std::vector<int> run(const std::vector<std::string>& reads, bool quiet, KeyDecoder& decoder) {
    std::vector<int> codes;
    for (const std::string& bytes : reads) {
        const std::vector<int> got = decode_keys(decoder, bytes, false);
        codes.insert(codes.end(), got.begin(), got.end());
    }
    if (quiet) {
        const std::vector<int> got = decode_keys(decoder, "", true);
        codes.insert(codes.end(), got.begin(), got.end());
    }
    return codes;
}

// Bytes sent by one key, in one read, and its code; 0 where the key has none and goes whole.
struct OneKey {
    const char* bytes;
    int code;
};

const OneKey one_keys[] = {
    // Ordinary keys.
    {"a", 'a'},
    {"Z", 'Z'},
    {"5", '5'},
    {"\r", 13},
    {"\t", 9},
    {" ", 32},
    {"\x03", 3},
    {"\x1a", 26},
    {"\x7f", 8},
    {"\x08", 8}, // Backspace as DEL or ^H
    // Alt with a key of no position.
    {"\x1b ", 32},
    {"\x1b\r", 284},
    {"\x1b\x7f", 0},
    // Cursor and editing keys: normal and application cursor mode, vt220 and rxvt forms.
    {"\x1b[A", 328},
    {"\x1b[B", 336},
    {"\x1b[C", 333},
    {"\x1b[D", 331},
    {"\x1b[H", 327},
    {"\x1b[F", 335},
    {"\x1bOA", 328},
    {"\x1bOB", 336},
    {"\x1bOC", 333},
    {"\x1bOD", 331},
    {"\x1bOH", 327},
    {"\x1bOF", 335},
    {"\x1b[1~", 327},
    {"\x1b[7~", 327},
    {"\x1b[4~", 335},
    {"\x1b[8~", 335},
    {"\x1b[2~", 338},
    {"\x1b[3~", 339},
    {"\x1b[5~", 329},
    {"\x1b[6~", 337},
    {"\x1b[Z", 271},
    // xterm modifier parameters: Alt (or Meta) decides first, then Ctrl, then Shift.
    {"\x1b[1;2A", 328},
    {"\x1b[1;3A", 408},
    {"\x1b[1;5A", 397},
    {"\x1b[1;6A", 397},
    {"\x1b[1;7A", 408},
    {"\x1b[1;9A", 408},
    {"\x1bO5A", 397},
    {"\x1b[1;3B", 416},
    {"\x1b[1;5B", 401},
    {"\x1b[1;3D", 411},
    {"\x1b[1;5D", 371},
    {"\x1b[1;3C", 413},
    {"\x1b[1;5C", 372},
    {"\x1b[1;3H", 407},
    {"\x1b[1;5H", 375},
    {"\x1b[1;3F", 415},
    {"\x1b[1;5F", 373},
    {"\x1b[5;3~", 409},
    {"\x1b[5;5~", 388},
    {"\x1b[6;3~", 417},
    {"\x1b[6;5~", 374},
    {"\x1b[6;2~", 337},
    {"\x1b[2;3~", 418},
    {"\x1b[2;5~", 402},
    {"\x1b[3;3~", 419},
    {"\x1b[3;5~", 403},
    {"\x1b[3;2~", 339},
    // rxvt's own forms, Alt as an ESC in front included.
    {"\x1b[a", 328},
    {"\x1bOa", 397},
    {"\x1bOd", 371},
    {"\x1b[2$", 338},
    {"\x1b[5^", 388},
    {"\x1b[3@", 403},
    {"\x1b[11^", 350},
    {"\x1b[25~", 342},
    {"\x1b\x1b[A", 408},
    {"\x1b\x1bOD", 411},
    {"\x1b\x1b[5~", 409},
    // Function keys: xterm, vt220, Linux console; with Shift, Ctrl and Alt.
    {"\x1bOP", 315},
    {"\x1bOQ", 316},
    {"\x1bOR", 317},
    {"\x1bOS", 318},
    {"\x1b[11~", 315},
    {"\x1b[14~", 318},
    {"\x1b[15~", 319},
    {"\x1b[17~", 320},
    {"\x1b[18~", 321},
    {"\x1b[19~", 322},
    {"\x1b[20~", 323},
    {"\x1b[21~", 324},
    {"\x1b[23~", 389},
    {"\x1b[24~", 390},
    {"\x1b[[A", 315},
    {"\x1b[[E", 319},
    {"\x1b[1;2P", 340},
    {"\x1b[1;5P", 350},
    {"\x1b[1;3P", 360},
    {"\x1bO2P", 340},
    {"\x1b[21;2~", 349},
    {"\x1b[21;5~", 359},
    {"\x1b[21;3~", 369},
    {"\x1b[23;2~", 391},
    {"\x1b[24;2~", 392},
    {"\x1b[23;5~", 393},
    {"\x1b[24;5~", 394},
    {"\x1b[23;3~", 395},
    {"\x1b[24;3~", 396},
    // Keypad in application mode.
    {"\x1bOM", 13},
    {"\x1bOj", '*'},
    {"\x1bOk", '+'},
    {"\x1bOm", '-'},
    {"\x1bOn", '.'},
    {"\x1bOo", '/'},
    {"\x1bOp", '0'},
    {"\x1bOu", '5'},
    {"\x1bOy", '9'},
    {"\x1bO3k", 334},
    // Sequences we do not know, and characters no US key sends, go whole.
    {"\x1b[99~", 0},
    {"\x1b[E", 0},
    {"\x1b[G", 0},
    {"\x1b[1;2;3A", 0},
    {"\x1b[?1;2c", 0},
    {"\x1b[<0;12;5M", 0},
    {"\x1b[2 q", 0},
    {"\x1bOX", 0},
    {"\x1b[200~", 0},
    {"\x1b[[Z", 0},
    {"\xe2\x82\xac", 0},
    {"\xf0\x9f\x98\x80", 0},
    {"\xc4\x80", 0},
    {"\x1b\xc3\xa4", 0},
    {"\x1b\x01", 0},
    // Eight-bit meta, as xterm sends Alt: the character U+0080 + c, in UTF-8 or as one byte.
    // Alt+X (U+00F8), also with Shift; Alt+7..0 (U+00B7..U+00B9, U+00B0); Alt+Enter,
    // Alt+Escape, Alt+Space; ä is Alt+D; Alt with Ctrl or Backspace has no code.
    {"\xc3\xb8", 301},
    {"\xf8", 301},
    {"\xc3\x98", 301},
    {"\xc2\xb7", 382},
    {"\xc2\xb8", 383},
    {"\xc2\xb9", 384},
    {"\xc2\xb0", 385},
    {"\xb7", 382},
    {"\xb0", 385},
    {"\xc2\x8d", 284},
    {"\x8d", 284},
    {"\xc2\x9b", 257},
    {"\xc2\xa0", 32},
    {"\xc3\xa4", 288},
    {"\xa4", 379},
    {"\xc2\x81", 0},
    {"\xff", 0},
};

// Keys as a terminal with the keyboard protocol reports them (ESC [ key ; 1 + modifiers u,
// Shift 1, Alt 2, Ctrl 4, Super 8, Meta 32, Caps Lock 64, Num Lock 128): each gets the code the
// same key has in a terminal without it, complete in one read, never held for a quiet.
const OneKey protocol_keys[] = {
    // Escape alone, with Shift or Ctrl, with Caps Lock on; Alt+Escape.
    {"\x1b[27u", 27},
    {"\x1b[27;2u", 27},
    {"\x1b[27;5u", 27},
    {"\x1b[27;65u", 27},
    {"\x1b[27;3u", 257},
    // Alt by US key position: Alt+X also with Shift, Caps Lock or Meta; Alt+7..0, Alt+-.
    {"\x1b[120;3u", 301},
    {"\x1b[120;4u", 301},
    {"\x1b[120;67u", 301},
    {"\x1b[120;33u", 301},
    {"\x1b[55;3u", 382},
    {"\x1b[56;3u", 383},
    {"\x1b[57;3u", 384},
    {"\x1b[48;3u", 385},
    {"\x1b[45;3u", 386},
    {"\x1b[121;3u", 277},
    {"\x1b[32;3u", 32},
    {"\x1b[13;3u", 284},
    // Ctrl: the control byte, also with Shift; Ctrl+Space and Ctrl+2 NUL; Ctrl+[ is Escape.
    {"\x1b[99;5u", 3},
    {"\x1b[120;5u", 24},
    {"\x1b[97;6u", 1},
    {"\x1b[32;5u", 259},
    {"\x1b[50;5u", 259},
    {"\x1b[91;5u", 27},
    {"\x1b[49;5u", '1'},
    // Ctrl+Alt, Super, Hyper and other layouts' characters have no PC code.
    {"\x1b[120;7u", 0},
    {"\x1b[120;9u", 0},
    {"\x1b[120;17u", 0},
    {"\x1b[246;3u", 0},
    {"\x1b[1078;5u", 0},
    // Enter, Tab, Backspace with modifiers.
    {"\x1b[13;5u", 13},
    {"\x1b[9;2u", 271},
    {"\x1b[9;5u", 9},
    {"\x1b[127;5u", 8},
    {"\x1b[127;3u", 0},
    // Keypad keys, with Num Lock on or off: their characters and cursor-block codes.
    {"\x1b[57399u", '0'},
    {"\x1b[57404;129u", '5'},
    {"\x1b[57408u", '9'},
    {"\x1b[57409u", '.'},
    {"\x1b[57412u", '-'},
    {"\x1b[57413u", '+'},
    {"\x1b[57414u", 13},
    {"\x1b[57417u", 331},
    {"\x1b[57418u", 333},
    {"\x1b[57419u", 328},
    {"\x1b[57420u", 336},
    {"\x1b[57421u", 329},
    {"\x1b[57422u", 337},
    {"\x1b[57423u", 327},
    {"\x1b[57424u", 335},
    {"\x1b[57425u", 338},
    {"\x1b[57426u", 339},
    {"\x1b[57426;3u", 419},
    {"\x1b[57427u", 0},
    {"\x1b[57415u", 0},
    // Function and media keys beyond F12, and modifier keys, have no code.
    {"\x1b[57376u", 0},
    {"\x1b[57428u", 0},
    {"\x1b[57441u", 0},
    {"\x1b[9999999u", 0},
    // Its legacy forms of cursor and function keys, with the lock bits too.
    {"\x1b[P", 315},
    {"\x1b[Q", 316},
    {"\x1b[13~", 317},
    {"\x1b[S", 318},
    {"\x1b[1;5P", 350},
    {"\x1b[1;129A", 328},
    {"\x1b[5;65~", 329},
    {"\x1b[1;67H", 407},
};

const std::vector<KeyCase> key_cases = {
    {"Ctrl+Space sends NUL", {"\0"s}, false, {259}},
    {"several in one read", {"ab5"}, false, {'a', 'b', '5'}},
    {"lone Escape once quiet", {"\x1b"}, true, {27}},
    {"two Escapes, quiet", {"\x1b\x1b"}, true, {257}},
    {"Alt+Escape, then Escape", {"\x1b\x1b\x1b"}, true, {257, 27}},
    {"Alt+X split", {"\x1b", "x"}, false, {301}},
    {"Alt+[ alone", {"\x1b["}, true, {282}},
    {"Alt+O alone", {"\x1bO"}, true, {280}},
    {"Alt+[ then Enter", {"\x1b[\r"}, false, {282, 13}},
    {"Alt+X then Escape", {"\x1bx\x1b"}, true, {301, 27}},
    {"Delete split in three", {"\x1b", "[3", "~"}, false, {339}},
    {"rxvt Alt+Up split", {"\x1b\x1b", "[", "A"}, false, {408}},
    {"keys around a sequence", {"ab\x1b[Ac"}, false, {'a', 'b', 328, 'c'}},
    {"two sequences in one read", {"\x1b[A\x1b[B"}, false, {328, 336}},
    {"sequence cut short", {"\x1b[1;5"}, true, {}},
    {"Linux console key cut short", {"\x1b[["}, true, {}},
    {"sequence broken by a control byte", {"\x1b[1;5\r"}, false, {13}},
    // A byte that begins no complete UTF-8 character is eight-bit meta on its own.
    {"lead byte without continuation: Alt+C, a",
     {"\xc3"
      "a"},
     false,
     {302, 'a'}},
    {"lead byte alone, quiet: Alt+C", {"\xc3"}, true, {302}},
    {"three-byte lead cut short: Alt+B, Alt+$", {"\xe2\xa4"}, true, {304, 379}},
    {"Alt+X split between reads", {"\xc3", "\xb8"}, false, {301}},
    // With the keyboard protocol, Escape and Alt+X are told apart however the bytes arrive.
    {"protocol: Escape then y in one read", {"\x1b[27uy"}, false, {27, 'y'}},
    {"protocol: Escape, Escape, Alt+X in one read",
     {"\x1b[27u\x1b[27u\x1b[120;3u"},
     false,
     {27, 27, 301}},
    {"without it: Escape then y in one read is Alt+Y", {"\x1by"}, false, {277}},
    {"protocol: Escape split from its report", {"\x1b", "[27", "u"}, false, {27}},
};

// Each key gives its codes in one read and byte by byte, holds nothing afterwards, and never
// swallows the key typed after it.
TEST(DecodeKeys, GivesTheKeyCodes) {
    std::vector<KeyCase> cases = key_cases;
    std::vector<OneKey> keys(std::begin(one_keys), std::end(one_keys));
    keys.insert(keys.end(), std::begin(protocol_keys), std::end(protocol_keys));
    for (const OneKey& k : keys) {
        const std::vector<int> codes(k.code ? 1 : 0, k.code);
        cases.push_back({testing::PrintToString(std::string(k.bytes)), {k.bytes}, false, codes});
    }
    for (const KeyCase& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::string> bytes;
        for (const std::string& read : c.reads)
            for (char b : read) bytes.emplace_back(1, b);
        for (bool split : {false, true}) {
            const std::vector<std::string>& reads = split ? bytes : c.reads;
            KeyDecoder decoder;
            std::vector<int> codes = run(reads, c.quiet, decoder);
            EXPECT_FALSE(waiting(decoder));
            const std::vector<int> next = decode_keys(decoder, "k", false);
            codes.insert(codes.end(), next.begin(), next.end());
            std::vector<int> expected = c.codes;
            expected.push_back('k');
            EXPECT_EQ(codes, expected) << (split ? "byte by byte" : "whole");
        }
    }
}

// Alt with a character key gives 256 + the scan code of its US key position, whichever of the
// key's two characters the layout in use sent, and whether Alt came as an ESC before it or in
// eight-bit meta form (U+0080 + the character, in UTF-8 or as a byte).
TEST(DecodeKeys, AltByUSKeyPosition) {
    const struct {
        const char* keys;
        int first;
    } rows[] = {
        {"1234567890-=", 376}, {"!@#$%^&*()_+", 376},  {"qwertyuiop[]", 272}, {"QWERTYUIOP{}", 272},
        {"asdfghjkl;'`", 286}, {"ASDFGHJKL:\"~", 286}, {"\\zxcvbnm,./", 299}, {"|ZXCVBNM<>?", 299},
    };
    for (const auto& row : rows) {
        for (int i = 0; row.keys[i] != '\0'; ++i) {
            KeyDecoder decoder;
            const auto meta = static_cast<unsigned char>(0x80 + row.keys[i]);
            const std::string forms[] = {
                "\x1b"s + row.keys[i],
                {static_cast<char>(0xC0 | meta >> 6), static_cast<char>(0x80 | (meta & 0x3F))},
                std::string(1, static_cast<char>(meta))};
            // Quiet: ESC O or ESC [ could still become a sequence, a byte a UTF-8 character.
            for (const std::string& form : forms)
                EXPECT_EQ(decode_keys(decoder, form, true), std::vector<int>{row.first + i})
                    << "Alt+" << row.keys[i] << " as " << testing::PrintToString(form);
        }
    }
}

// Whatever follows an ESC, a quiet resolves it completely and the key typed after it is
// read as itself.
TEST(DecodeKeys, EscapeWithAnyByteNeverSwallowsTheNextKey) {
    for (int b = 0; b < 256; ++b) {
        KeyDecoder decoder;
        const std::vector<int> first = decode_keys(decoder, "\x1b"s + static_cast<char>(b), true);
        EXPECT_FALSE(waiting(decoder)) << "byte " << b;
        EXPECT_LE(first.size(), 1u) << "byte " << b;
        EXPECT_EQ(decode_keys(decoder, "z", false), std::vector<int>{'z'}) << "byte " << b;
    }
}

TEST(DecodeKeys, EscapeIsHeldUntilQuiet) {
    KeyDecoder decoder;
    EXPECT_TRUE(decode_keys(decoder, "\x1b", false).empty());
    EXPECT_TRUE(decode_keys(decoder, "", false).empty());
    EXPECT_TRUE(waiting(decoder));
    EXPECT_EQ(decode_keys(decoder, "", true), std::vector<int>{27});
    EXPECT_FALSE(waiting(decoder));
    EXPECT_TRUE(decode_keys(decoder, "", true).empty());
}

// With the keyboard protocol an ESC byte only ever starts a report, so what is held waits for
// the rest much longer than the Escape wait of a terminal without it.
TEST(DecodeKeys, HeldBytesWaitLongerWithTheProtocol) {
    KeyDecoder legacy, protocol;
    protocol.protocol = true;
    EXPECT_EQ(hold_ms(legacy), 50);
    EXPECT_EQ(hold_ms(protocol), 1000);
}

// The answers to the keyboard query come out of what the terminal sent, whatever they are
// mixed with or cut into; keys typed meanwhile stay.
TEST(KeyboardAnswers, TakenOutOfTheBytes) {
    const struct {
        const char* what;
        std::vector<std::string> reads;
        bool protocol, attributes;
        std::string left;
    } cases[] = {
        {"kitty-like: flags, then attributes", {"\x1b[?0u\x1b[?62;22c"}, true, true, ""},
        {"flags already set", {"\x1b[?31u\x1b[?1;2c"}, true, true, ""},
        {"attributes only", {"\x1b[?64;1;9;15;18;21;22c"}, false, true, ""},
        {"nothing yet", {""}, false, false, ""},
        {"cut into pieces", {"\x1b[", "?1", "u\x1b[?6", "2c"}, true, true, ""},
        {"keys typed around them", {"5\x1b[A\x1b[?0u7\x1b[?6c9"}, true, true, "5\x1b[A79"},
        {"attributes cut short", {"\x1b[?62;2"}, false, false, "\x1b[?62;2"},
        {"another private answer stays", {"\x1b[?1;2$y\x1b[?6c"}, false, true, "\x1b[?1;2$y"},
    };
    for (const auto& c : cases) {
        KeyboardAnswers answers;
        std::string got;
        for (const std::string& read : c.reads) {
            got += read;
            take_answers(got, answers);
        }
        EXPECT_EQ(answers.protocol, c.protocol) << c.what;
        EXPECT_EQ(answers.attributes, c.attributes) << c.what;
        EXPECT_EQ(got, c.left) << c.what;
    }
}

// A terminal sending endless parameter bytes must not make the decoder hold them forever.
TEST(DecodeKeys, OverlongSequenceIsDroppedWhole) {
    for (const std::string& intro : {"\x1b["s, "\x1bO"s, "\x1b\x1b["s}) {
        KeyDecoder decoder;
        std::vector<int> codes = decode_keys(decoder, intro, false);
        for (int i = 0; i < 200; ++i) {
            const std::vector<int> got = decode_keys(decoder, i % 3 == 2 ? ";" : "1", false);
            codes.insert(codes.end(), got.begin(), got.end());
            EXPECT_LE(decoder.held.size(), 40u);
        }
        const std::vector<int> last = decode_keys(decoder,
                                                  "A"
                                                  "k",
                                                  false);
        codes.insert(codes.end(), last.begin(), last.end());
        EXPECT_EQ(codes, std::vector<int>{'k'}) << "after " << intro.substr(1);
    }
}

} // namespace
} // namespace ulo
