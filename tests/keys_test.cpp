#include "console/keys.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ulo {
namespace {

using namespace std::string_literals;

struct KeyCase {
    const char* what;
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

std::string joined(const std::vector<std::string>& reads) {
    std::string all;
    for (const std::string& bytes : reads) all += bytes;
    return all;
}

const std::vector<KeyCase> key_cases = {
    // Ordinary keys.
    {"letter", {"a"}, false, {'a'}},
    {"capital", {"Z"}, false, {'Z'}},
    {"digit", {"5"}, false, {'5'}},
    {"several in one read", {"ab5"}, false, {'a', 'b', '5'}},
    {"Backspace as DEL", {"\x7f"}, false, {8}},
    {"Backspace as ^H", {"\x08"}, false, {8}},
    {"Enter", {"\r"}, false, {13}},
    {"Ctrl+C is a key", {"\x03"}, false, {3}},
    {"Ctrl+Z", {"\x1a"}, false, {26}},
    {"Tab", {"\t"}, false, {9}},
    {"Space", {" "}, false, {32}},
    {"Ctrl+Space sends NUL", {"\0"s}, false, {259}},

    // Escape and Alt.
    {"lone Escape once quiet", {"\x1b"}, true, {27}},
    {"two Escapes, quiet", {"\x1b\x1b"}, true, {257}},
    {"Alt+Escape, then Escape", {"\x1b\x1b\x1b"}, true, {257, 27}},
    {"Alt+X", {"\x1bx"}, false, {301}},
    {"Alt+X split", {"\x1b", "x"}, false, {301}},
    {"Alt+Shift+X", {"\x1bX"}, false, {301}},
    {"Alt+Q", {"\x1bq"}, false, {256 + 16}},
    {"Alt+M", {"\x1bm"}, false, {256 + 50}},
    {"Alt+1", {"\x1b\x31"}, false, {376}},
    {"Alt+7", {"\x1b\x37"}, false, {382}},
    {"Alt+0", {"\x1b\x30"}, false, {385}},
    {"Alt+& is Alt+7", {"\x1b&"}, false, {382}},
    {"Alt+! is Alt+1", {"\x1b!"}, false, {376}},
    {"Alt+@ is Alt+2", {"\x1b@"}, false, {377}},
    {"Alt+) is Alt+0", {"\x1b)"}, false, {385}},
    {"Alt+minus", {"\x1b-"}, false, {386}},
    {"Alt+underscore", {"\x1b_"}, false, {386}},
    {"Alt+equals", {"\x1b="}, false, {387}},
    {"Alt+plus", {"\x1b+"}, false, {387}},
    {"Alt+brace", {"\x1b{"}, false, {282}},
    {"Alt+]", {"\x1b]"}, false, {283}},
    {"Alt+}", {"\x1b}"}, false, {283}},
    {"Alt+backslash", {"\x1b\\"}, false, {299}},
    {"Alt+bar", {"\x1b|"}, false, {299}},
    {"Alt+semicolon", {"\x1b;"}, false, {295}},
    {"Alt+colon", {"\x1b:"}, false, {295}},
    {"Alt+apostrophe", {"\x1b'"}, false, {296}},
    {"Alt+double quote", {"\x1b\""}, false, {296}},
    {"Alt+grave", {"\x1b`"}, false, {297}},
    {"Alt+tilde", {"\x1b~"}, false, {297}},
    {"Alt+comma", {"\x1b,"}, false, {307}},
    {"Alt+less", {"\x1b<"}, false, {307}},
    {"Alt+period", {"\x1b."}, false, {308}},
    {"Alt+greater", {"\x1b>"}, false, {308}},
    {"Alt+slash", {"\x1b/"}, false, {309}},
    {"Alt+question", {"\x1b?"}, false, {309}},
    {"Alt+Space is Space", {"\x1b "}, false, {32}},
    {"Alt+Enter", {"\x1b\r"}, false, {284}},
    {"Alt+control byte has no code", {"\x1b\x01", "a"}, false, {'a'}},
    {"Alt+Backspace has no code", {"\x1b\x7f"}, false, {}},
    {"Alt+[ alone", {"\x1b["}, true, {282}},
    {"Alt+O alone", {"\x1bO"}, true, {280}},
    {"Alt+[ then Enter", {"\x1b[\r"}, false, {282, 13}},
    {"Alt+X then Escape", {"\x1bx\x1b"}, true, {301, 27}},

    // Cursor and editing keys, normal and application cursor mode.
    {"Up", {"\x1b[A"}, false, {328}},
    {"Down", {"\x1b[B"}, false, {336}},
    {"Right", {"\x1b[C"}, false, {333}},
    {"Left", {"\x1b[D"}, false, {331}},
    {"Home", {"\x1b[H"}, false, {327}},
    {"End", {"\x1b[F"}, false, {335}},
    {"Up, application mode", {"\x1bOA"}, false, {328}},
    {"Down, application mode", {"\x1bOB"}, false, {336}},
    {"Right, application mode", {"\x1bOC"}, false, {333}},
    {"Left, application mode", {"\x1bOD"}, false, {331}},
    {"Home, application mode", {"\x1bOH"}, false, {327}},
    {"End, application mode", {"\x1bOF"}, false, {335}},
    {"Home, vt220", {"\x1b[1~"}, false, {327}},
    {"Home, rxvt", {"\x1b[7~"}, false, {327}},
    {"End, vt220", {"\x1b[4~"}, false, {335}},
    {"End, rxvt", {"\x1b[8~"}, false, {335}},
    {"Insert", {"\x1b[2~"}, false, {338}},
    {"Delete", {"\x1b[3~"}, false, {339}},
    {"Page Up", {"\x1b[5~"}, false, {329}},
    {"Page Down", {"\x1b[6~"}, false, {337}},
    {"Shift+Tab", {"\x1b[Z"}, false, {271}},
    {"Up split after ESC", {"\x1b", "[A"}, false, {328}},
    {"Up split after ESC [", {"\x1b[", "A"}, false, {328}},
    {"Delete split in three", {"\x1b", "[3", "~"}, false, {339}},
    {"keys around a sequence", {"ab\x1b[Ac"}, false, {'a', 'b', 328, 'c'}},
    {"two sequences in one read", {"\x1b[A\x1b[B"}, false, {328, 336}},

    // xterm modifier parameters: Alt decides first, then Ctrl, then Shift.
    {"Shift+Up", {"\x1b[1;2A"}, false, {328}},
    {"Alt+Up", {"\x1b[1;3A"}, false, {408}},
    {"Ctrl+Up", {"\x1b[1;5A"}, false, {397}},
    {"Ctrl+Shift+Up", {"\x1b[1;6A"}, false, {397}},
    {"Ctrl+Alt+Up", {"\x1b[1;7A"}, false, {408}},
    {"Meta+Up", {"\x1b[1;9A"}, false, {408}},
    {"Alt+Down", {"\x1b[1;3B"}, false, {416}},
    {"Ctrl+Down", {"\x1b[1;5B"}, false, {401}},
    {"Alt+Left", {"\x1b[1;3D"}, false, {411}},
    {"Ctrl+Left", {"\x1b[1;5D"}, false, {371}},
    {"Ctrl+Left split", {"\x1b[1;", "5D"}, false, {371}},
    {"Alt+Right", {"\x1b[1;3C"}, false, {413}},
    {"Ctrl+Right", {"\x1b[1;5C"}, false, {372}},
    {"Alt+Home", {"\x1b[1;3H"}, false, {407}},
    {"Ctrl+Home", {"\x1b[1;5H"}, false, {375}},
    {"Alt+End", {"\x1b[1;3F"}, false, {415}},
    {"Ctrl+End", {"\x1b[1;5F"}, false, {373}},
    {"Alt+Page Up", {"\x1b[5;3~"}, false, {409}},
    {"Ctrl+Page Up", {"\x1b[5;5~"}, false, {388}},
    {"Alt+Page Down", {"\x1b[6;3~"}, false, {417}},
    {"Ctrl+Page Down", {"\x1b[6;5~"}, false, {374}},
    {"Shift+Page Down", {"\x1b[6;2~"}, false, {337}},
    {"Alt+Insert", {"\x1b[2;3~"}, false, {418}},
    {"Ctrl+Insert", {"\x1b[2;5~"}, false, {402}},
    {"Alt+Delete", {"\x1b[3;3~"}, false, {419}},
    {"Ctrl+Delete", {"\x1b[3;5~"}, false, {403}},
    {"Shift+Delete", {"\x1b[3;2~"}, false, {339}},
    {"Ctrl+Up, older xterm SS3 form", {"\x1bO5A"}, false, {397}},

    // rxvt's own forms.
    {"rxvt Shift+Up", {"\x1b[a"}, false, {328}},
    {"rxvt Ctrl+Up", {"\x1bOa"}, false, {397}},
    {"rxvt Ctrl+Left", {"\x1bOd"}, false, {371}},
    {"rxvt Shift+Insert", {"\x1b[2$"}, false, {338}},
    {"rxvt Ctrl+Page Up", {"\x1b[5^"}, false, {388}},
    {"rxvt Ctrl+Shift+Delete", {"\x1b[3@"}, false, {403}},
    {"rxvt Ctrl+F1", {"\x1b[11^"}, false, {350}},
    {"rxvt Shift+F3", {"\x1b[25~"}, false, {342}},
    {"rxvt Alt+Up", {"\x1b\x1b[A"}, false, {408}},
    {"rxvt Alt+Left, application mode", {"\x1b\x1bOD"}, false, {411}},
    {"rxvt Alt+Page Up", {"\x1b\x1b[5~"}, false, {409}},
    {"rxvt Alt+Up split", {"\x1b\x1b", "[", "A"}, false, {408}},

    // Function keys.
    {"F1", {"\x1bOP"}, false, {315}},
    {"F2", {"\x1bOQ"}, false, {316}},
    {"F3", {"\x1bOR"}, false, {317}},
    {"F4", {"\x1bOS"}, false, {318}},
    {"F1, vt220", {"\x1b[11~"}, false, {315}},
    {"F4, vt220", {"\x1b[14~"}, false, {318}},
    {"F5", {"\x1b[15~"}, false, {319}},
    {"F6", {"\x1b[17~"}, false, {320}},
    {"F7", {"\x1b[18~"}, false, {321}},
    {"F8", {"\x1b[19~"}, false, {322}},
    {"F9", {"\x1b[20~"}, false, {323}},
    {"F10", {"\x1b[21~"}, false, {324}},
    {"F11", {"\x1b[23~"}, false, {389}},
    {"F12", {"\x1b[24~"}, false, {390}},
    {"F1, Linux console", {"\x1b[[A"}, false, {315}},
    {"F5, Linux console", {"\x1b[[E"}, false, {319}},
    {"F5, Linux console split", {"\x1b[", "[", "E"}, false, {319}},
    {"Shift+F1", {"\x1b[1;2P"}, false, {340}},
    {"Ctrl+F1", {"\x1b[1;5P"}, false, {350}},
    {"Alt+F1", {"\x1b[1;3P"}, false, {360}},
    {"Shift+F1, older xterm", {"\x1bO2P"}, false, {340}},
    {"Shift+F10", {"\x1b[21;2~"}, false, {349}},
    {"Ctrl+F10", {"\x1b[21;5~"}, false, {359}},
    {"Alt+F10", {"\x1b[21;3~"}, false, {369}},
    {"Shift+F11", {"\x1b[23;2~"}, false, {391}},
    {"Shift+F12", {"\x1b[24;2~"}, false, {392}},
    {"Ctrl+F11", {"\x1b[23;5~"}, false, {393}},
    {"Ctrl+F12", {"\x1b[24;5~"}, false, {394}},
    {"Alt+F11", {"\x1b[23;3~"}, false, {395}},
    {"Alt+F12", {"\x1b[24;3~"}, false, {396}},

    // Keypad in application mode.
    {"keypad Enter", {"\x1bOM"}, false, {13}},
    {"keypad *", {"\x1bOj"}, false, {'*'}},
    {"keypad +", {"\x1bOk"}, false, {'+'}},
    {"keypad -", {"\x1bOm"}, false, {'-'}},
    {"keypad .", {"\x1bOn"}, false, {'.'}},
    {"keypad /", {"\x1bOo"}, false, {'/'}},
    {"keypad 0", {"\x1bOp"}, false, {'0'}},
    {"keypad 5", {"\x1bOu"}, false, {'5'}},
    {"keypad 9", {"\x1bOy"}, false, {'9'}},
    {"Alt+keypad +", {"\x1bO3k"}, false, {334}},

    // Sequences we do not know go whole, and the key after them stays.
    {"unknown ~ key", {"\x1b[99~a"}, false, {'a'}},
    {"keypad 5 without Num Lock", {"\x1b[E"}, false, {}},
    {"keypad 5, Linux console", {"\x1b[G", "1"}, false, {'1'}},
    {"three parameters", {"\x1b[1;2;3A", "x"}, false, {'x'}},
    {"private parameters", {"\x1b[?1;2c", "b"}, false, {'b'}},
    {"mouse report", {"\x1b[<0;12;5M7"}, false, {'7'}},
    {"intermediate byte", {"\x1b[2 q", "z"}, false, {'z'}},
    {"unknown SS3", {"\x1bOX", "4"}, false, {'4'}},
    {"paste bracket", {"\x1b[200~"}, false, {}},
    {"unknown Linux console key", {"\x1b[[Z", "c"}, false, {'c'}},
    {"sequence cut short", {"\x1b[1;5"}, true, {}},
    {"Linux console key cut short", {"\x1b[["}, true, {}},
    {"sequence broken by a control byte", {"\x1b[1;5\r"}, false, {13}},

    // UTF-8 characters have no code on the US layout.
    {"a-umlaut", {"\xc3\xa4"}, false, {}},
    {"a-umlaut, then a", {"\xc3\xa4" "a"}, false, {'a'}},
    {"a-umlaut split", {"\xc3", "\xa4" "b"}, false, {'b'}},
    {"euro sign", {"\xe2\x82\xac" "1"}, false, {'1'}},
    {"four-byte character", {"\xf0\x9f\x98\x80" "2"}, false, {'2'}},
    {"stray continuation byte", {"\xa4" "a"}, false, {'a'}},
    {"lead byte without continuation", {"\xc3" "a"}, false, {'a'}},
    {"invalid byte", {"\xff" "3"}, false, {'3'}},
    {"lead byte alone, quiet", {"\xc3"}, true, {}},
    {"Alt+a-umlaut", {"\x1b\xc3\xa4" "x"}, false, {'x'}},
};

TEST(DecodeKeys, GivesTheKeyCodes) {
    for (const KeyCase& c : key_cases) {
        SCOPED_TRACE(c.what);
        KeyDecoder decoder;
        EXPECT_EQ(run(c.reads, c.quiet, decoder), c.codes);
        if (c.quiet) {
            EXPECT_FALSE(waiting(decoder));
        }
    }
}

// However the terminal's bytes are split between reads, the keys come out the same.
TEST(DecodeKeys, SameCodesWhenEveryByteComesAlone) {
    for (const KeyCase& c : key_cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::string> bytes;
        for (char b : joined(c.reads)) bytes.emplace_back(1, b);
        KeyDecoder decoder;
        EXPECT_EQ(run(bytes, c.quiet, decoder), c.codes);
    }
}

// Nothing a key leaves behind swallows the key typed after it.
TEST(DecodeKeys, KeepsTheNextKey) {
    for (const KeyCase& c : key_cases) {
        SCOPED_TRACE(c.what);
        KeyDecoder decoder;
        std::vector<int> codes = run(c.reads, c.quiet, decoder);
        EXPECT_FALSE(waiting(decoder));
        const std::vector<int> next = decode_keys(decoder, "k", false);
        codes.insert(codes.end(), next.begin(), next.end());
        std::vector<int> expected = c.codes;
        expected.push_back('k');
        EXPECT_EQ(codes, expected);
    }
}

// Every letter with Alt, in either case, gives 256 + the scan code of its key.
TEST(DecodeKeys, AltLettersGiveScanCodes) {
    struct Row {
        const char* letters;
        int first_scan_code;
    };
    const Row rows[] = {{"qwertyuiop", 16}, {"asdfghjkl", 30}, {"zxcvbnm", 44}};
    for (const Row& row : rows) {
        for (int i = 0; row.letters[i] != '\0'; ++i) {
            for (char letter : {row.letters[i], static_cast<char>(row.letters[i] - 'a' + 'A')}) {
                KeyDecoder decoder;
                const std::string bytes = "\x1b"s + letter;
                // Quiet: ESC O could still become an SS3 sequence.
                EXPECT_EQ(decode_keys(decoder, bytes, true),
                          std::vector<int>{256 + row.first_scan_code + i})
                    << "Alt+" << letter;
            }
        }
    }
}

// Whatever follows an ESC, a quiet resolves it completely and the key typed after it is
// read as itself.
TEST(DecodeKeys, EscapeWithAnyByteNeverSwallowsTheNextKey) {
    for (int b = 0; b < 256; ++b) {
        KeyDecoder decoder;
        const std::string bytes = "\x1b"s + static_cast<char>(b);
        const std::vector<int> first = decode_keys(decoder, bytes, true);
        EXPECT_FALSE(waiting(decoder)) << "byte " << b;
        EXPECT_LE(first.size(), 1u) << "byte " << b;
        EXPECT_EQ(decode_keys(decoder, "z", false), std::vector<int>{'z'}) << "byte " << b;
    }
}

TEST(DecodeKeys, EscapeIsHeldUntilQuiet) {
    KeyDecoder decoder;
    EXPECT_TRUE(decode_keys(decoder, "\x1b", false).empty());
    EXPECT_TRUE(waiting(decoder));
    EXPECT_TRUE(decode_keys(decoder, "", false).empty());
    EXPECT_TRUE(waiting(decoder));
    EXPECT_EQ(decode_keys(decoder, "", true), std::vector<int>{27});
    EXPECT_FALSE(waiting(decoder));
    EXPECT_TRUE(decode_keys(decoder, "", true).empty());
}

TEST(DecodeKeys, NothingIsHeldAfterACompleteKey) {
    KeyDecoder decoder;
    decode_keys(decoder, "\x1b[A", false);
    EXPECT_FALSE(waiting(decoder));
    decode_keys(decoder, "x", false);
    EXPECT_FALSE(waiting(decoder));
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
