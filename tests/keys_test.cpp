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
    {"a", 'a'}, {"Z", 'Z'}, {"5", '5'}, {"\r", 13}, {"\t", 9}, {" ", 32}, {"\x03", 3}, {"\x1a", 26},
    {"\x7f", 8}, {"\x08", 8}, // Backspace as DEL or ^H
    // Alt with a key of no position.
    {"\x1b ", 32}, {"\x1b\r", 284}, {"\x1b\x7f", 0},
    // Cursor and editing keys: normal and application cursor mode, vt220 and rxvt forms.
    {"\x1b[A", 328}, {"\x1b[B", 336}, {"\x1b[C", 333}, {"\x1b[D", 331}, {"\x1b[H", 327},
    {"\x1b[F", 335}, {"\x1bOA", 328}, {"\x1bOB", 336}, {"\x1bOC", 333}, {"\x1bOD", 331},
    {"\x1bOH", 327}, {"\x1bOF", 335},
    {"\x1b[1~", 327}, {"\x1b[7~", 327}, {"\x1b[4~", 335}, {"\x1b[8~", 335},
    {"\x1b[2~", 338}, {"\x1b[3~", 339}, {"\x1b[5~", 329}, {"\x1b[6~", 337}, {"\x1b[Z", 271},
    // xterm modifier parameters: Alt (or Meta) decides first, then Ctrl, then Shift.
    {"\x1b[1;2A", 328}, {"\x1b[1;3A", 408}, {"\x1b[1;5A", 397}, {"\x1b[1;6A", 397},
    {"\x1b[1;7A", 408}, {"\x1b[1;9A", 408}, {"\x1bO5A", 397},
    {"\x1b[1;3B", 416}, {"\x1b[1;5B", 401}, {"\x1b[1;3D", 411}, {"\x1b[1;5D", 371},
    {"\x1b[1;3C", 413}, {"\x1b[1;5C", 372}, {"\x1b[1;3H", 407}, {"\x1b[1;5H", 375},
    {"\x1b[1;3F", 415}, {"\x1b[1;5F", 373}, {"\x1b[5;3~", 409}, {"\x1b[5;5~", 388},
    {"\x1b[6;3~", 417}, {"\x1b[6;5~", 374}, {"\x1b[6;2~", 337}, {"\x1b[2;3~", 418},
    {"\x1b[2;5~", 402}, {"\x1b[3;3~", 419}, {"\x1b[3;5~", 403}, {"\x1b[3;2~", 339},
    // rxvt's own forms, Alt as an ESC in front included.
    {"\x1b[a", 328}, {"\x1bOa", 397}, {"\x1bOd", 371}, {"\x1b[2$", 338}, {"\x1b[5^", 388},
    {"\x1b[3@", 403}, {"\x1b[11^", 350}, {"\x1b[25~", 342},
    {"\x1b\x1b[A", 408}, {"\x1b\x1bOD", 411}, {"\x1b\x1b[5~", 409},
    // Function keys: xterm, vt220, Linux console; with Shift, Ctrl and Alt.
    {"\x1bOP", 315}, {"\x1bOQ", 316}, {"\x1bOR", 317}, {"\x1bOS", 318}, {"\x1b[11~", 315},
    {"\x1b[14~", 318}, {"\x1b[15~", 319}, {"\x1b[17~", 320}, {"\x1b[18~", 321}, {"\x1b[19~", 322},
    {"\x1b[20~", 323}, {"\x1b[21~", 324}, {"\x1b[23~", 389}, {"\x1b[24~", 390},
    {"\x1b[[A", 315}, {"\x1b[[E", 319},
    {"\x1b[1;2P", 340}, {"\x1b[1;5P", 350}, {"\x1b[1;3P", 360}, {"\x1bO2P", 340},
    {"\x1b[21;2~", 349}, {"\x1b[21;5~", 359}, {"\x1b[21;3~", 369},
    {"\x1b[23;2~", 391}, {"\x1b[24;2~", 392}, {"\x1b[23;5~", 393}, {"\x1b[24;5~", 394},
    {"\x1b[23;3~", 395}, {"\x1b[24;3~", 396},
    // Keypad in application mode.
    {"\x1bOM", 13}, {"\x1bOj", '*'}, {"\x1bOk", '+'}, {"\x1bOm", '-'}, {"\x1bOn", '.'},
    {"\x1bOo", '/'}, {"\x1bOp", '0'}, {"\x1bOu", '5'}, {"\x1bOy", '9'}, {"\x1bO3k", 334},
    // Sequences we do not know, and characters no US key sends, go whole.
    {"\x1b[99~", 0}, {"\x1b[E", 0}, {"\x1b[G", 0}, {"\x1b[1;2;3A", 0}, {"\x1b[?1;2c", 0},
    {"\x1b[<0;12;5M", 0}, {"\x1b[2 q", 0}, {"\x1bOX", 0}, {"\x1b[200~", 0}, {"\x1b[[Z", 0},
    {"\xc3\xa4", 0}, {"\xe2\x82\xac", 0}, {"\xf0\x9f\x98\x80", 0}, {"\xa4", 0},
    {"\xff", 0}, {"\x1b\xc3\xa4", 0}, {"\x1b\x01", 0},
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
    {"lead byte without continuation", {"\xc3" "a"}, false, {'a'}},
    {"lead byte alone, quiet", {"\xc3"}, true, {}},
};

// Each key gives its codes in one read and byte by byte, holds nothing afterwards, and never
// swallows the key typed after it.
TEST(DecodeKeys, GivesTheKeyCodes) {
    std::vector<KeyCase> cases = key_cases;
    for (const OneKey& k : one_keys) {
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
// key's two characters the layout in use sent.
TEST(DecodeKeys, AltByUSKeyPosition) {
    const struct { const char* keys; int first; } rows[] = {
        {"1234567890-=", 376}, {"!@#$%^&*()_+", 376}, {"qwertyuiop[]", 272}, {"QWERTYUIOP{}", 272},
        {"asdfghjkl;'`", 286}, {"ASDFGHJKL:\"~", 286}, {"\\zxcvbnm,./", 299}, {"|ZXCVBNM<>?", 299},
    };
    for (const auto& row : rows) {
        for (int i = 0; row.keys[i] != '\0'; ++i) {
            KeyDecoder decoder;
            // Quiet: ESC O or ESC [ could still become a sequence.
            EXPECT_EQ(decode_keys(decoder, "\x1b"s + row.keys[i], true),
                      std::vector<int>{row.first + i})
                << "Alt+" << row.keys[i];
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
        const std::vector<int> last = decode_keys(decoder, "A" "k", false);
        codes.insert(codes.end(), last.begin(), last.end());
        EXPECT_EQ(codes, std::vector<int>{'k'}) << "after " << intro.substr(1);
    }
}

} // namespace
} // namespace ulo
