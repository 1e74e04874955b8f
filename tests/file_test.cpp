// The EEPROM text file: reading rules, the writer's exact form, and safe replacement on disk.
#include "eeprom/file.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support.hpp"

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace std::string_literals;
namespace fs = std::filesystem;

namespace ulo {
namespace {

const std::string header = "ULO EEPROM Memory:";

// Every byte value occurs, in an order that differs from the address.
Wert patterned() {
    Wert w{};
    for (unsigned a = 0; a < eeprom_size; ++a) w[a] = static_cast<std::uint8_t>(a * 7 + a / 256);
    return w;
}

std::string token_of(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "%02Xh", value & 0xFFu);
    return text;
}

// count tokens of one value, each followed by the separator.
std::string repeated(const std::string& token, unsigned count, const std::string& sep = " ") {
    std::string text;
    for (unsigned k = 0; k < count; ++k) text += token + sep;
    return text;
}

// The tokens of wert's bytes, each followed by the separator.
std::string tokens_of(const Wert& wert, const std::string& sep) {
    std::string text;
    for (unsigned value : wert) text += token_of(value) + sep;
    return text;
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_file(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

std::set<std::string> entries(const std::string& dir) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) names.insert(entry.path().filename());
    return names;
}

mode_t mode_of(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}

using TempDir = test::ScratchDir;

// ---- convert ---------------------------------------------------------------------------

TEST(Convert, DigitsCapitalsAndEverythingElse) {
    struct Case {
        signed char value;
        int expected;
    } const cases[] = {
        {'0', 0},   {'5', 5},   {'9', 9},     {'A', 10},  {'C', 12},
        {'F', 15},  {'a', 97},  {'f', 102},   {'G', 71},  {'h', 104},
        {' ', 32},  {'/', 47},  {':', 58},    {'@', 64},  {0, 0},
        {static_cast<signed char>(0xC4), -60}, {static_cast<signed char>(0xFF), -1},
        {static_cast<signed char>(0x80), -128},
    };
    for (const Case& c : cases)
        EXPECT_EQ(convert(c.value), c.expected) << "code " << int(c.value);
}

// ---- Reader: one token among otherwise plain ones --------------------------------------

// The token under test is the first after the header; the rest of the 2048 values are A5.
TEST(Reader, WhatOneTokenGives) {
    struct Case {
        const char* name;
        std::string token;
        std::vector<std::uint8_t> bytes;
    } const cases[] = {
        {"capital digits", "0Ah", {0x0A}},
        {"capital H gives nothing", "0AH", {}},
        {"two bytes in one token", "12h34h", {0x12, 0x34}},
        {"zero then 1F", "00h1Fh", {0x00, 0x1F}},
        {"h alone", "h", {0x00}},
        {"one digit", "Fh", {0x0F}},
        {"small a is its code", "0ah", {0x61}},
        {"small f is its code", "ffh", {0xC6}},
        {"only the two before h count", "ABCDEFh", {0xEF}},
        {"an earlier h is a character", "12hh", {0x12, 0x88}},
        {"hh", "hh", {0x00, 0x68}},
        {"no hex letter G", "G0h", {0x70}},
        {"no hex letter G second", "0Gh", {0x47}},
        {"characters above 127 are negative", "\xC4\xC4h", {0x04}},
        {"text after the last h", "12hXYZ", {0x12}},
        {"NUL is a character, not a separator", "1\0h"s, {0x10}},
        {"NUL before h", "\0\0h"s, {0x00}},
        {"long token ending in h", std::string(100000, 'x') + "3Ch", {0x3C}},
        {"long token of digits", std::string(100000, '7') + "h", {0x77}},
        {"long token without h", std::string(100000, '5'), {}},
        {"long token with h inside", std::string(70000, 'Z') + "E8h" + std::string(70000, 'Z'),
         {0xE8}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto k = static_cast<unsigned>(c.bytes.size());
        std::string text = header + "\n" + c.token + " " + repeated("A5h", eeprom_size - k);
        Wert wert{};
        ASSERT_TRUE(parse_image(text, wert));
        for (unsigned a = 0; a < eeprom_size; ++a)
            ASSERT_EQ(wert[a], a < k ? c.bytes[a] : 0xA5) << "address " << a;
    }
}

// ---- Reader: whole files ---------------------------------------------------------------

TEST(Reader, WhichFilesLoad) {
    const std::string body = repeated("00h", eeprom_size);
    struct Case {
        const char* name;
        std::string text;
        bool loads;
    } const cases[] = {
        {"empty", "", false},
        {"white space only", " \t\n\r\v\f  \n", false},
        {"header only", header + "\n", false},
        {"header and 2047 tokens", header + "\n" + repeated("00h", 2047), false},
        {"header and 2048 tokens", header + "\n" + body, true},
        {"header and 2049 tokens", header + "\n" + repeated("00h", 2049), false},
        {"2048 tokens without header", body, false},
        {"any first token", "X " + body, true},
        {"a first token full of h", "hhh12h34h " + body, true},
        {"NUL as the first token", "\0 "s + body, true},
        {"other first word, rest of header", "Anything EEPROM Memory: " + body, true},
        {"header words after the first with h", header + " hello " + body, false},
        {"one capital H among 2048", header + " 0AH " + repeated("00h", 2047), false},
        {"one capital H extra", header + " 0AH " + body, true},
        {"two bytes in one token make up a missing one",
         header + " 12h34h " + repeated("00h", 2046), true},
        {"vertical tab and form feed separate", header + "\v" + repeated("00h", 2048, "\f"),
         true},
        {"no white space at all", "ULO" + repeated("00h", 2048, ""), false},
        {"bytes glued to a later header word", header + repeated("00h", 2048, ""), true},
        {"tokens glued after the header", header + " " + repeated("00h", 2048, ""), true},
        {"glued, one too many", header + " " + repeated("00h", 2049, ""), false},
        {"NUL bytes do not separate", header + " " + repeated("00h", 2048, "\0"s), true},
        {"a 2049th token at the very end", header + " " + body + "00h", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Wert wert{};
        EXPECT_EQ(parse_image(c.text, wert), c.loads);
    }
}

TEST(Reader, LineLayoutDoesNotMatter) {
    const Wert expected = patterned();
    const std::string layouts[] = {
        format_image(expected),
        header + " " + tokens_of(expected, " "),
        header + "\n" + tokens_of(expected, "\n"),
        header + "\r\n" + tokens_of(expected, "\r\n"),
        header + "\t\t" + tokens_of(expected, " \t "),
    };
    for (const std::string& text : layouts) {
        Wert wert{};
        ASSERT_TRUE(parse_image(text, wert));
        EXPECT_EQ(wert, expected);
    }
}

TEST(Reader, FailedParseLeavesImageAlone) {
    Wert wert{};
    wert.fill(0x5A);
    const Wert before = wert;
    EXPECT_FALSE(parse_image(header + " " + repeated("11h", 2047), wert));
    EXPECT_FALSE(parse_image(header + " " + repeated("11h", 2049), wert));
    EXPECT_EQ(wert, before);
}

// ---- Reader: text arriving in pieces ---------------------------------------------------

// A text with every kind of awkward token, so a piece boundary falls inside each of them.
std::string awkward_text() {
    Wert rest = patterned();
    std::string text = "hh\x01 EEPROM Memory:\r\n 12h34h\t00h1Fh\vhh\f0AH 1\0h 0ah ffh "s;
    // 9 values so far.
    for (unsigned a = 0; a < eeprom_size - 9; ++a) text += token_of(rest[a]) + (a % 3 ? " " : "\r\n");
    return text;
}

Wert fed_in_pieces(const std::string& text, std::size_t piece, bool& done) {
    Wert wert{};
    ImageReader reader{&wert};
    for (std::size_t at = 0; at < text.size(); at += piece)
        feed(reader, std::string_view(text).substr(at, piece));
    done = finished(reader);
    return wert;
}

TEST(Reader, PiecesOfAnySizeGiveTheSameImage) {
    const std::string text = awkward_text();
    Wert whole{};
    ASSERT_TRUE(parse_image(text, whole));
    EXPECT_EQ(whole[0], 0x12);
    EXPECT_EQ(whole[5], 0x68);
    EXPECT_EQ(whole[6], 0x10);
    EXPECT_EQ(whole[8], 0xC6);

    for (std::size_t piece : {1, 2, 3, 7, 64, 4096}) {
        bool done = false;
        EXPECT_EQ(fed_in_pieces(text, piece, done), whole) << "pieces of " << piece;
        EXPECT_TRUE(done) << "pieces of " << piece;
    }
}

TEST(Reader, EverySplitPointGivesTheSameImage) {
    const std::string text = awkward_text();
    Wert whole{};
    ASSERT_TRUE(parse_image(text, whole));
    for (std::size_t split = 0; split <= text.size(); ++split) {
        Wert wert{};
        ImageReader reader{&wert};
        feed(reader, std::string_view(text).substr(0, split));
        feed(reader, std::string_view(text).substr(split));
        ASSERT_TRUE(finished(reader)) << "split at " << split;
        ASSERT_EQ(wert, whole) << "split at " << split;
    }
}

TEST(Reader, TooManyStaysWrongWhateverFollows) {
    bool done = true;
    fed_in_pieces(header + " " + repeated("00h", 2049), 1, done);
    EXPECT_FALSE(done);

    Wert wert{};
    ImageReader reader{&wert};
    feed(reader, header + " " + repeated("00h", 2049));
    EXPECT_TRUE(reader.too_many);
    EXPECT_EQ(reader.i, eeprom_size);
    feed(reader, " ");
    EXPECT_FALSE(finished(reader));
}

// ---- Writer ----------------------------------------------------------------------------

TEST(Writer, ExactBytes) {
    Wert wert{};
    const std::uint8_t first_line[16] = {0x05, 0x32, 0x64, 0x00, 0x0A, 0x10, 0x27, 0x01,
                                         0x00, 0x88, 0x13, 0xE8, 0x03, 0x01, 0xF4, 0x01};
    std::copy(std::begin(first_line), std::end(first_line), wert.begin());
    wert[2047] = 0xAB;
    const std::string text = format_image(wert);

    const std::string start =
        "ULO EEPROM Memory:\n"
        "05h 32h 64h 00h 0Ah 10h 27h 01h 00h 88h 13h E8h 03h 01h F4h 01h \n"
        "00h 00h 00h 00h 00h 00h 00h 00h 00h 00h 00h 00h 00h 00h 00h 00h \n";
    EXPECT_EQ(text.substr(0, start.size()), start);
    EXPECT_EQ(text.size(), 18u + 128u * (1u + 16u * 4u));
    EXPECT_EQ(text.size(), 8338u);
    const std::string end = "\n" + repeated("00h", 15) + "ABh ";
    EXPECT_EQ(text.substr(text.size() - end.size()), end);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 128);
    EXPECT_EQ(text.find('\r'), std::string::npos);
}

TEST(Writer, ReadsBackIdentically) {
    Wert images[3] = {};
    images[1] = patterned();
    images[2].fill(0xFF);
    for (const Wert& image : images) {
        const std::string text = format_image(image);
        Wert read{};
        ASSERT_TRUE(parse_image(text, read));
        EXPECT_EQ(read, image);
        EXPECT_EQ(format_image(read), text);
    }
}

// ---- Loading from disk -----------------------------------------------------------------

TEST(Load, RefusesWhatCannotBeOpened) {
    TempDir dir;
    ASSERT_FALSE(dir.path.empty());
    ASSERT_EQ(::mkdir((dir / "a_directory").c_str(), 0755), 0);
    // A FIFO without a writer would block a plain open; it must be refused at once.
    ASSERT_EQ(::mkfifo((dir / "a_fifo").c_str(), 0644), 0);
    const char* names[] = {"missing", "a_directory", "a_fifo"};
    for (const char* name : names) {
        Wert wert{};
        wert.fill(0x5A);
        EXPECT_EQ(load_image(dir / name, wert), LoadResult::cannot_open) << name;
        EXPECT_EQ(wert[0], 0x5A) << name;
    }
    Wert wert{};
    EXPECT_EQ(load_image("/dev/null", wert), LoadResult::cannot_open);
}

TEST(Load, UnreadableFile) {
    if (::geteuid() == 0) GTEST_SKIP() << "root reads every file";
    TempDir dir;
    write_file(dir / "ulo.txt", format_image(patterned()));
    ::chmod((dir / "ulo.txt").c_str(), 0200);
    Wert wert{};
    EXPECT_EQ(load_image(dir / "ulo.txt", wert), LoadResult::cannot_open);
}

TEST(Load, FilesOnDisk) {
    TempDir dir;
    ASSERT_FALSE(dir.path.empty());
    const Wert image = patterned();
    struct Case {
        const char* name;
        std::string text;
        LoadResult result;
    } const cases[] = {
        {"written by the writer", format_image(image), LoadResult::loaded},
        {"CRLF line ends",
         header + "\r\n" + tokens_of(image, "\r\n"), LoadResult::loaded},
        {"empty", "", LoadResult::incorrect},
        {"white space only", "   \n\n\t", LoadResult::incorrect},
        {"one byte short", header + " " + tokens_of(image, " ").substr(4), LoadResult::incorrect},
        {"one byte over", header + " 00h " + tokens_of(image, " "), LoadResult::incorrect},
        // Ten megabytes in one token, and ten megabytes of glued byte tokens: both are read
        // in bounded pieces and refused.
        {"one huge token", std::string(10 * 1024 * 1024, 'Z'), LoadResult::incorrect},
        {"huge glued tokens", header + " " + repeated("12h", 3500000, ""), LoadResult::incorrect},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        write_file(dir / "ulo.txt", c.text);
        Wert wert{};
        wert.fill(0x5A);
        ASSERT_EQ(load_image(dir / "ulo.txt", wert), c.result);
        if (c.result == LoadResult::loaded) {
            EXPECT_EQ(wert, image);
        } else {
            EXPECT_EQ(std::count(wert.begin(), wert.end(), 0x5A), 2048);
        }
    }
}

// ---- Saving to disk --------------------------------------------------------------------

// Restores the umask when a test has changed it.
struct UmaskGuard {
    mode_t old;
    explicit UmaskGuard(mode_t mask) : old(::umask(mask)) {}
    ~UmaskGuard() { ::umask(old); }
};

TEST(Save, CreatesMissingFileFromUmask) {
    for (mode_t mask : {mode_t{022}, mode_t{077}, mode_t{002}}) {
        TempDir dir;
        UmaskGuard guard(mask);
        const Wert image = patterned();
        ASSERT_EQ(save_image(dir / "ulo.txt", image), SaveResult::saved);
        EXPECT_EQ(read_file(dir / "ulo.txt"), format_image(image));
        EXPECT_EQ(mode_of(dir / "ulo.txt"), 0666 & ~mask);
        EXPECT_EQ(entries(dir.path), std::set<std::string>{"ulo.txt"});
    }
}

TEST(Save, RoundTripIsByteIdentical) {
    TempDir dir;
    const std::string path = dir / "ulo.txt";
    const Wert image = patterned();
    write_file(path, format_image(image));
    const std::string before = read_file(path);

    Wert loaded{};
    ASSERT_EQ(load_image(path, loaded), LoadResult::loaded);
    ASSERT_EQ(save_image(path, loaded), SaveResult::saved);
    EXPECT_EQ(read_file(path), before);

    // A foreign header and layout are replaced by the writer's own form.
    write_file(path, "Something else\r\n" + tokens_of(image, "\r\n"));
    ASSERT_EQ(load_image(path, loaded), LoadResult::loaded);
    ASSERT_EQ(save_image(path, loaded), SaveResult::saved);
    EXPECT_EQ(read_file(path), before);
}

TEST(Save, RelativeNameInWorkingDirectory) {
    TempDir dir;
    char old_cwd[4096];
    ASSERT_NE(::getcwd(old_cwd, sizeof old_cwd), nullptr);
    ASSERT_EQ(::chdir(dir.path.c_str()), 0);
    const Wert image = patterned();
    SaveResult result = save_image("ulo.txt", image);
    Wert loaded{};
    LoadResult load = load_image("ulo.txt", loaded);
    ASSERT_EQ(::chdir(old_cwd), 0);
    EXPECT_EQ(result, SaveResult::saved);
    EXPECT_EQ(load, LoadResult::loaded);
    EXPECT_EQ(loaded, image);
    EXPECT_EQ(entries(dir.path), std::set<std::string>{"ulo.txt"});
}

TEST(Save, KeepsPermissionBits) {
    UmaskGuard guard(022);
    for (mode_t mode : {mode_t{0600}, mode_t{0640}, mode_t{0606}, mode_t{0777}, mode_t{0620}}) {
        TempDir dir;
        const std::string path = dir / "ulo.txt";
        write_file(path, "old");
        ASSERT_EQ(::chmod(path.c_str(), mode), 0);
        if (::access(path.c_str(), W_OK) != 0) continue;
        ASSERT_EQ(save_image(path, patterned()), SaveResult::saved) << std::oct << mode;
        EXPECT_EQ(mode_of(path), mode);
        EXPECT_EQ(read_file(path), format_image(patterned()));
    }
}

TEST(Save, RootKeepsTheOwner) {
    if (::geteuid() != 0) GTEST_SKIP() << "only root can give a file away";
    TempDir dir;
    const std::string path = dir / "ulo.txt";
    write_file(path, "old");
    ASSERT_EQ(::chown(path.c_str(), 1, 1), 0);
    ASSERT_EQ(save_image(path, patterned()), SaveResult::saved);
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 1u);
    EXPECT_EQ(st.st_gid, 1u);
}

TEST(Save, RefusesWithoutTouchingAnything) {
    TempDir dir;
    const std::string old_text = format_image(patterned());
    Wert other{};
    other.fill(0x11);

    // A file without any write permission, even for root.
    const std::string read_only = dir / "read_only.txt";
    write_file(read_only, old_text);
    ASSERT_EQ(::chmod(read_only.c_str(), 0444), 0);
    EXPECT_EQ(save_image(read_only, other), SaveResult::cannot_open);
    EXPECT_EQ(read_file(read_only), old_text);
    EXPECT_EQ(mode_of(read_only), 0444u);

    // The same behind a symbolic link.
    ASSERT_EQ(::symlink("read_only.txt", (dir / "link_to_read_only").c_str()), 0);
    EXPECT_EQ(save_image(dir / "link_to_read_only", other), SaveResult::cannot_open);
    EXPECT_EQ(read_file(read_only), old_text);

    // A directory in the file's place.
    ASSERT_EQ(::mkdir((dir / "a_directory").c_str(), 0755), 0);
    EXPECT_EQ(save_image(dir / "a_directory", other), SaveResult::cannot_open);
    EXPECT_TRUE(fs::is_directory(dir / "a_directory"));
    EXPECT_TRUE(fs::is_empty(dir / "a_directory"));

    // A link that names nothing is not followed into creating a file.
    ASSERT_EQ(::symlink("nowhere/ulo.txt", (dir / "dangling").c_str()), 0);
    EXPECT_EQ(save_image(dir / "dangling", other), SaveResult::cannot_open);

    // A directory that does not exist.
    EXPECT_EQ(save_image(dir / "missing/ulo.txt", other), SaveResult::cannot_open);

    EXPECT_EQ(entries(dir.path), (std::set<std::string>{"read_only.txt", "link_to_read_only",
                                                         "a_directory", "dangling"}));
}

TEST(Save, UnwritableDirectory) {
    if (::geteuid() == 0) GTEST_SKIP() << "root may write in every directory";
    TempDir dir;
    const std::string path = dir / "ulo.txt";
    const std::string old_text = format_image(patterned());
    write_file(path, old_text);
    ASSERT_EQ(::chmod(dir.path.c_str(), 0555), 0);
    Wert other{};
    EXPECT_EQ(save_image(path, other), SaveResult::cannot_open);
    ASSERT_EQ(::chmod(dir.path.c_str(), 0755), 0);
    EXPECT_EQ(read_file(path), old_text);
    EXPECT_EQ(entries(dir.path), std::set<std::string>{"ulo.txt"});
}

TEST(Save, ThroughSymbolicLinkReplacesTargetAndKeepsLink) {
    TempDir dir;
    ASSERT_EQ(::mkdir((dir / "real").c_str(), 0755), 0);
    const std::string target = dir / "real/ulo.txt";
    write_file(target, "old contents");
    ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
    const std::string link = dir / "ulo.txt";
    ASSERT_EQ(::symlink("real/ulo.txt", link.c_str()), 0);

    const Wert image = patterned();
    ASSERT_EQ(save_image(link, image), SaveResult::saved);

    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(fs::read_symlink(link).string(), "real/ulo.txt");
    EXPECT_EQ(read_file(target), format_image(image));
    EXPECT_EQ(mode_of(target), 0640u);
    EXPECT_EQ(entries(dir.path), (std::set<std::string>{"real", "ulo.txt"}));
    EXPECT_EQ(entries(dir / "real"), std::set<std::string>{"ulo.txt"});
}

// A file size limit makes the write fail part way: the old file must come through whole
// and the half-written new one must be gone.
struct SizeLimit {
    rlimit old{};
    void (*old_handler)(int) = SIG_DFL;
    explicit SizeLimit(rlim_t bytes) {
        old_handler = std::signal(SIGXFSZ, SIG_IGN);
        ::getrlimit(RLIMIT_FSIZE, &old);
        rlimit limit = old;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~SizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, old_handler);
    }
};

TEST(Save, FailedWriteKeepsOldFile) {
    TempDir dir;
    const std::string path = dir / "ulo.txt";
    const std::string old_text = format_image(patterned());
    write_file(path, old_text);
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    Wert other{};
    other.fill(0x22);

    SaveResult result = SaveResult::saved;
    {
        SizeLimit limit(4096);
        result = save_image(path, other);
    }
    EXPECT_EQ(result, SaveResult::cannot_write);
    EXPECT_EQ(read_file(path), old_text);
    EXPECT_EQ(mode_of(path), 0640u);
    EXPECT_EQ(entries(dir.path), std::set<std::string>{"ulo.txt"});
}

TEST(Save, FailedWriteOfNewFileLeavesNothing) {
    TempDir dir;
    SaveResult result = SaveResult::saved;
    {
        SizeLimit limit(4096);
        result = save_image(dir / "ulo.txt", patterned());
    }
    EXPECT_EQ(result, SaveResult::cannot_write);
    EXPECT_TRUE(entries(dir.path).empty());
}

} // namespace
} // namespace ulo
