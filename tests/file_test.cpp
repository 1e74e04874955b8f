// The EEPROM text file: reading rules, the writer's exact form, and safe replacement on disk.
#include "eeprom/file.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <ctime>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "support.hpp"

#include <grp.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace std::string_literals;
namespace fs = std::filesystem;

namespace ulo {
namespace {

using TempDir = test::ScratchDir;
const std::string header = "ULO EEPROM Memory:";

// Every byte value occurs, in an order that differs from the address.
Wert patterned() {
    Wert w{};
    for (unsigned a = 0; a < eeprom_size; ++a) w[a] = static_cast<std::uint8_t>(a * 7 + a / 256);
    return w;
}

// count copies of a token, each followed by the separator.
std::string repeated(const std::string& token, unsigned count, const std::string& sep = " ") {
    std::string text;
    for (unsigned k = 0; k < count; ++k) text += token + sep;
    return text;
}

std::string token_of(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "%02Xh", value & 0xFFu);
    return text;
}

// The tokens of wert's bytes, each followed by the separator.
std::string tokens_of(const Wert& wert, const std::string& sep) {
    std::string text;
    for (unsigned value : wert) text += token_of(value) + sep;
    return text;
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

TEST(Convert, DigitsInEitherCaseAndEverythingElse) {
    const struct {
        signed char value;
        int expected;
    } cases[] = {
        {'0', 0},
        {'9', 9},
        {'A', 10},
        {'F', 15},
        {'/', 47},
        {':', 58},
        {'@', 64},
        {'G', 71},
        {'a', 10},
        {'f', 15},
        {'`', 96},
        {'g', 103},
        {0, 0},
        {static_cast<signed char>(0xC4), -60},
        {static_cast<signed char>(0x80), -128},
    };
    for (const auto& c : cases) EXPECT_EQ(convert(c.value), c.expected) << "code " << int(c.value);
}

// The token under test is the first after the header; the rest of the 2048 values are A5.
TEST(Reader, WhatOneTokenGives) {
    const struct {
        const char* name;
        std::string token;
        std::vector<std::uint8_t> bytes;
    } cases[] = {
        {"capital digits", "0Ah", {0x0A}},
        {"capital H gives nothing", "0AH", {}},
        {"two bytes in one token", "12h34h", {0x12, 0x34}},
        {"zero then 1F", "00h1Fh", {0x00, 0x1F}},
        {"h alone", "h", {0x00}},
        {"one digit", "Fh", {0x0F}},
        {"small digits", "0ah", {0x0A}},
        {"small ff", "ffh", {0xFF}},
        {"small and capital mixed", "eDh", {0xED}},
        {"small g is its code", "0gh", {0x67}},
        {"only the two before h count", "ABCDEFh", {0xEF}},
        {"an earlier h is a character", "12hh", {0x12, 0x88}},
        {"characters above 127 are negative", "\xC4\xC4h", {0x04}},
        {"text after the last h", "12hXYZ", {0x12}},
        {"all white space separates", "Fh\tFh\rFh\vFh\fFh", {0x0F, 0x0F, 0x0F, 0x0F, 0x0F}},
        {"long token with h inside",
         std::string(70000, 'Z') + "E8h" + std::string(70000, 'Z'),
         {0xE8}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto k = static_cast<unsigned>(c.bytes.size());
        Wert wert{};
        const std::string text = header + "\n" + c.token + " " + repeated("A5h", eeprom_size - k);
        ASSERT_TRUE(parse_image(text, wert));
        for (unsigned a = 0; a < eeprom_size; ++a)
            ASSERT_EQ(wert[a], a < k ? c.bytes[a] : 0xA5) << "address " << a;
    }
}

// A text that does not load leaves the image as it was.
TEST(Reader, WhichFilesLoad) {
    const std::string body = repeated("00h", eeprom_size);
    const struct {
        const char* name;
        std::string text;
        bool loads;
    } cases[] = {
        {"empty", "", false},
        {"white space only", " \t\n\r\v\f  \n", false},
        {"header only", header + "\n", false},
        {"header and 2047 tokens", header + "\n" + repeated("00h", 2047), false},
        {"header and 2048 tokens", header + "\n" + body, true},
        {"header and 2049 tokens", header + "\n" + repeated("00h", 2049), false},
        {"2048 tokens without header", body, false},
        {"any first token", "X " + body, true},
        {"a first token full of h", "hhh12h34h " + body, true},
        {"other first word, rest of header", "Anything EEPROM Memory: " + body, true},
        {"header words after the first with h", header + " hello " + body, false},
        {"bytes glued to a later header word", header + repeated("00h", 2048, ""), true},
        {"glued, one too many", header + " " + repeated("00h", 2049, ""), false},
        // No text editor writes a NUL: the file is UTF-16 or no text at all.
        {"NUL bytes between tokens", header + " " + repeated("00h", 2048, "\0"s), false},
        {"a 2049th token at the very end", header + " " + body + "00h", false},
    };
    for (const auto& c : cases) {
        Wert wert{};
        wert.fill(0x5A);
        EXPECT_EQ(parse_image(c.text, wert), c.loads) << c.name;
        if (!c.loads) {
            EXPECT_EQ(std::count(wert.begin(), wert.end(), 0x5A), 2048) << c.name;
        }
    }
}

TEST(Reader, LineLayoutDoesNotMatter) {
    const Wert expected = patterned();
    for (const std::string& text :
         {format_image(expected), header + " " + tokens_of(expected, " "),
          header + "\n" + tokens_of(expected, "\n"), header + "\r\n" + tokens_of(expected, "\r\n"),
          header + "\t\t" + tokens_of(expected, " \t ")}) {
        Wert wert{};
        ASSERT_TRUE(parse_image(text, wert));
        EXPECT_EQ(wert, expected);
    }
}

// The file is read in chunks, so a chunk boundary may fall anywhere: inside the header, inside
// any kind of awkward token, between CR and LF.
TEST(Reader, TextInPiecesGivesTheSameImage) {
    // 9 values, then the rest of a patterned image.
    std::string text = "hh\x01 EEPROM Memory:\r\n 12h34h\t00h1Fh\vhh\f0AH 1\x02h 0ah ffh "s;
    const Wert rest = patterned();
    for (unsigned a = 0; a < eeprom_size - 9; ++a)
        text += token_of(rest[a]) + (a % 3 ? " " : "\r\n");
    Wert whole{};
    ASSERT_TRUE(parse_image(text, whole));
    const std::uint8_t first[] = {0x12, 0x34, 0x00, 0x1F, 0x00, 0x68, 0x12, 0x0A, 0xFF};
    EXPECT_TRUE(std::equal(std::begin(first), std::end(first), whole.begin()));
    for (std::size_t split = 0; split <= text.size(); ++split) {
        Wert wert{};
        ImageReader reader{&wert};
        feed(reader, std::string_view(text).substr(0, split));
        feed(reader, std::string_view(text).substr(split));
        ASSERT_TRUE(finished(reader)) << "split at " << split;
        ASSERT_EQ(wert, whole) << "split at " << split;
    }
    Wert wert{};
    ImageReader reader{&wert};
    for (char c : text) feed(reader, std::string_view(&c, 1));
    EXPECT_TRUE(finished(reader));
    EXPECT_EQ(wert, whole);
}

TEST(Writer, ExactBytes) {
    Wert wert{};
    const std::uint8_t first_line[16] = {0x05, 0x32, 0x64, 0x00, 0x0A, 0x10, 0x27, 0x01,
                                         0x00, 0x88, 0x13, 0xE8, 0x03, 0x01, 0xF4, 0x01};
    std::copy(std::begin(first_line), std::end(first_line), wert.begin());
    wert[2047] = 0xAB;
    const std::string text = format_image(wert);
    const std::string start = "ULO EEPROM Memory:\n"
                              "05h 32h 64h 00h 0Ah 10h 27h 01h 00h 88h 13h E8h 03h 01h F4h 01h \n"
                              "00h 00h 00h 00h 00h 00h 00h 00h 00h 00h 00h 00h 00h 00h 00h 00h \n";
    EXPECT_EQ(text.substr(0, start.size()), start);
    EXPECT_EQ(text.size(), 18u + 128u * (1u + 16u * 4u));
    const std::string end = "\n" + repeated("00h", 15) + "ABh ";
    EXPECT_EQ(text.substr(text.size() - end.size()), end);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 128);
    EXPECT_EQ(text.find('\r'), std::string::npos);
}

// A file that does not load leaves the image as it was.
TEST(Load, FilesOnDisk) {
    TempDir dir;
    ASSERT_EQ(::mkdir((dir / "a_directory").c_str(), 0755), 0);
    // A FIFO without a writer would block a plain open; it must be refused at once.
    ASSERT_EQ(::mkfifo((dir / "a_fifo").c_str(), 0644), 0);
    ::chmod(dir.put(patterned(), "unreadable").c_str(), 0200);
    const bool root = ::geteuid() == 0; // root reads every file
    const Wert image = patterned();
    Wert unchanged{};
    unchanged.fill(0x5A);
    const struct {
        std::string path;
        LoadResult result;
    } cases[] = {
        {dir.put(image), LoadResult::loaded},
        {dir / "missing", LoadResult::cannot_open},
        {dir / "a_directory", LoadResult::cannot_open},
        {dir / "a_fifo", LoadResult::cannot_open},
        {"/dev/null", LoadResult::cannot_open},
        {dir / "unreadable", root ? LoadResult::loaded : LoadResult::cannot_open},
        {dir.write("", "empty"), LoadResult::incorrect},
        // Ten megabytes in one token, and ten megabytes of glued byte tokens: both are read
        // in bounded pieces and refused.
        {dir.write(std::string(10 * 1024 * 1024, 'Z'), "huge_token"), LoadResult::incorrect},
        {dir.write(header + " " + repeated("12h", 3500000, ""), "glued"), LoadResult::incorrect},
    };
    for (const auto& c : cases) {
        Wert wert = unchanged;
        EXPECT_EQ(load_image(c.path, wert), c.result) << c.path;
        EXPECT_EQ(wert, c.result == LoadResult::loaded ? image : unchanged) << c.path;
    }
}

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
        ASSERT_EQ(save_image(dir / "ulo.txt", patterned()), SaveResult::saved);
        EXPECT_EQ(dir.read(), format_image(patterned()));
        EXPECT_EQ(mode_of(dir / "ulo.txt"), 0666 & ~mask);
        EXPECT_EQ(entries(dir.path), std::set<std::string>{"ulo.txt"});
    }
}

TEST(Save, RoundTripIsByteIdentical) {
    TempDir dir;
    const std::string before = format_image(patterned());
    // A foreign header and layout are replaced by the writer's own form.
    const std::string foreign = "Something else\r\n" + tokens_of(patterned(), "\r\n");
    for (const std::string& text : {before, foreign}) {
        Wert loaded{};
        ASSERT_EQ(load_image(dir.write(text), loaded), LoadResult::loaded);
        ASSERT_EQ(save_image(dir / "ulo.txt", loaded), SaveResult::saved);
        EXPECT_EQ(dir.read(), before);
    }
}

TEST(Save, RelativeNameInWorkingDirectory) {
    TempDir dir;
    const fs::path old_cwd = fs::current_path();
    fs::current_path(dir.path);
    const SaveResult result = save_image("ulo.txt", patterned());
    fs::current_path(old_cwd);
    EXPECT_EQ(result, SaveResult::saved);
    EXPECT_EQ(dir.image(), patterned());
    EXPECT_EQ(entries(dir.path), std::set<std::string>{"ulo.txt"});
}

// Root, who may give a file away, hands the new one back to the old one's owner.
TEST(Save, KeepsPermissionsAndOwner) {
    UmaskGuard guard(022);
    const bool root = ::geteuid() == 0;
    for (mode_t mode : {mode_t{0600}, mode_t{0640}, mode_t{0606}, mode_t{0777}, mode_t{0620}}) {
        TempDir dir;
        const std::string path = dir.write("old");
        ASSERT_EQ(::chmod(path.c_str(), mode), 0);
        if (root) {
            ASSERT_EQ(::chown(path.c_str(), 1, 2), 0);
        }
        if (::access(path.c_str(), W_OK) != 0) continue;
        ASSERT_EQ(save_image(path, patterned()), SaveResult::saved) << std::oct << mode;
        EXPECT_EQ(dir.read(), format_image(patterned()));
        struct stat st {};
        ASSERT_EQ(::stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, mode);
        if (root) {
            EXPECT_EQ(st.st_uid, 1u);
            EXPECT_EQ(st.st_gid, 2u);
        }
    }
}

TEST(Save, RefusesWithoutTouchingAnything) {
    TempDir dir;
    const std::string old_text = format_image(patterned());
    Wert other{};
    other.fill(0x11);

    // A file without any write permission, even for root; the same behind a symbolic link.
    const std::string read_only = dir.write(old_text, "read_only.txt");
    ASSERT_EQ(::chmod(read_only.c_str(), 0444), 0);
    ASSERT_EQ(::symlink("read_only.txt", (dir / "link_to_read_only").c_str()), 0);
    // A directory in the file's place.
    ASSERT_EQ(::mkdir((dir / "a_directory").c_str(), 0755), 0);
    // A link that names nothing is not followed into creating a file.
    ASSERT_EQ(::symlink("nowhere/ulo.txt", (dir / "dangling").c_str()), 0);

    for (const char* name :
         {"read_only.txt", "link_to_read_only", "a_directory", "dangling", "missing/ulo.txt"})
        EXPECT_EQ(save_image(dir / name, other), SaveResult::cannot_open) << name;
    EXPECT_EQ(dir.read("read_only.txt"), old_text);
    EXPECT_EQ(mode_of(read_only), 0444u);
    EXPECT_TRUE(fs::is_empty(dir / "a_directory"));
    EXPECT_EQ(entries(dir.path), (std::set<std::string>{"read_only.txt", "link_to_read_only",
                                                        "a_directory", "dangling"}));
}

// The user the permission tests run as: uid and gid 65534 when the tests run as root (who
// may write anywhere), the tests' own user otherwise.
constexpr uid_t ordinary = 65534;

// Gives a scratch path to the ordinary user, when the tests run as root.
void give_away(const std::string& path) {
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(path.c_str(), ordinary, ordinary), 0) << path;
    }
}

// Runs `body` in a child process as the ordinary user; its result as the child's exit status.
template <typename Body> int as_ordinary_user(Body body) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::geteuid() == 0 &&
            (::setgroups(0, nullptr) != 0 || ::setresgid(ordinary, ordinary, ordinary) != 0 ||
             ::setresuid(ordinary, ordinary, ordinary) != 0))
            ::_exit(99);
        ::_exit(body());
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 98;
}

ino_t inode_of(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

// A folder its user may not write in: the file is written in place when it may be written.
TEST(Save, UnwritableDirectory) {
    struct Case {
        mode_t file_mode;
        SaveResult result;
    };
    for (const Case c : {Case{0644, SaveResult::saved}, Case{0444, SaveResult::cannot_open}}) {
        TempDir dir;
        const std::string path = dir.put(patterned());
        ASSERT_EQ(::chmod(path.c_str(), c.file_mode), 0);
        give_away(path);
        give_away(dir.path);
        ASSERT_EQ(::chmod(dir.path.c_str(), 0555), 0);
        const ino_t before = inode_of(path);
        const int got =
            as_ordinary_user([&] { return static_cast<int>(save_image(path, Wert{})); });
        ASSERT_EQ(::chmod(dir.path.c_str(), 0755), 0);
        EXPECT_EQ(got, static_cast<int>(c.result)) << std::oct << c.file_mode;
        EXPECT_EQ(dir.read(), format_image(c.result == SaveResult::saved ? Wert{} : patterned()));
        EXPECT_EQ(inode_of(path), before);
        EXPECT_EQ(mode_of(path), c.file_mode);
        EXPECT_EQ(entries(dir.path), std::set<std::string>{"ulo.txt"});
    }
}

// A second name of the file sees the saved image: the file is written in place.
TEST(Save, HardLinkedFileIsWrittenInPlace) {
    TempDir dir;
    const std::string path = dir.put(patterned());
    ASSERT_EQ(::link(path.c_str(), dir.file("other-name.txt").c_str()), 0);
    ASSERT_EQ(save_image(path, Wert{}), SaveResult::saved);
    EXPECT_EQ(dir.read(), format_image(Wert{}));
    EXPECT_EQ(dir.read("other-name.txt"), format_image(Wert{}));
    EXPECT_EQ(inode_of(path), inode_of(dir.file("other-name.txt")));
    EXPECT_EQ(entries(dir.path), (std::set<std::string>{"ulo.txt", "other-name.txt"}));
}

// In place, a write that fails part way puts the old text back whole.
TEST(Save, FailedWriteInPlaceWritesTheOldTextBack) {
    TempDir dir;
    const std::string old_text = "a short file of another tool";
    const std::string path = dir.write(old_text);
    ASSERT_EQ(::link(path.c_str(), dir.file("other-name.txt").c_str()), 0);
    give_away(path);
    give_away(dir.path);
    const int got = as_ordinary_user([&] {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{4096, 4096};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        return static_cast<int>(save_image(path, patterned()));
    });
    EXPECT_EQ(got, static_cast<int>(SaveResult::cannot_write));
    EXPECT_EQ(dir.read(), old_text);
    EXPECT_EQ(dir.read("other-name.txt"), old_text);
    EXPECT_EQ(entries(dir.path), (std::set<std::string>{"ulo.txt", "other-name.txt"}));
}

// Whether the file still holds what was read: the same bytes written again (a touch, or a
// new file renamed into place) are no change; other bytes, no file, or a link in its place are.
// The file is read as in/ulo.txt; the folder stays the one that was read, whatever its path.
TEST(FileChange, WhatWasReadAgainstTheFileNow) {
    struct Case {
        const char* what;
        void (*act)(const TempDir&);
        FileChange change;
    };
    const Case cases[] = {
        {"untouched", [](const TempDir&) {}, FileChange::none},
        {"the same bytes written again", [](const TempDir& d) { d.put(patterned(), "in/ulo.txt"); },
         FileChange::none},
        {"other bytes", [](const TempDir& d) { d.put(Wert{}, "in/ulo.txt"); }, FileChange::changed},
        {"removed", [](const TempDir& d) { fs::remove(d.file("in/ulo.txt")); },
         FileChange::removed},
        {"replaced by the same bytes",
         [](const TempDir& d) {
             fs::rename(d.put(patterned(), "in/new.txt"), d.file("in/ulo.txt"));
         },
         FileChange::none},
        {"replaced by other bytes",
         [](const TempDir& d) { fs::rename(d.put(Wert{}, "in/new.txt"), d.file("in/ulo.txt")); },
         FileChange::changed},
        {"a link to the same bytes in its place",
         [](const TempDir& d) {
             d.put(patterned(), "in/copy.txt");
             fs::remove(d.file("in/ulo.txt"));
             fs::create_symlink("copy.txt", d.file("in/ulo.txt"));
         },
         FileChange::replaced},
        // The folder read was moved away: what is at the path the user gave is another file now.
        {"the folder moved, another in its place",
         [](const TempDir& d) {
             fs::rename(d.path / "in", d.path / "moved");
             fs::create_directory(d.path / "in");
             d.put(patterned(), "in/ulo.txt");
         },
         FileChange::replaced},
        {"the folder moved, none in its place",
         [](const TempDir& d) { fs::rename(d.path / "in", d.path / "moved"); },
         FileChange::removed},
    };
    for (const Case& c : cases) {
        TempDir dir;
        fs::create_directory(dir.path / "in");
        Wert w{};
        FileState seen;
        ASSERT_EQ(load_image(dir.put(patterned(), "in/ulo.txt"), w, &seen), LoadResult::loaded);
        EXPECT_EQ(seen.size, format_image(patterned()).size());
        c.act(dir);
        EXPECT_EQ(file_change(seen), c.change) << c.what;
    }
}

// What a save writes once the file read has given its name to something else: only ever the
// name in the folder read, never the file a link there leads to.
TEST(Save, WritesOnlyTheFileThatWasRead) {
    struct Case {
        const char* what;
        void (*act)(const TempDir&);
    };
    const Case cases[] = {
        {"a link to another file in its place",
         [](const TempDir& d) {
             fs::remove(d.file("in/ulo.txt"));
             fs::create_symlink(d.file("victim.txt"), d.file("in/ulo.txt"));
         }},
        {"a hard link of another file in its place",
         [](const TempDir& d) {
             fs::remove(d.file("in/ulo.txt"));
             fs::create_hard_link(d.file("victim.txt"), d.file("in/ulo.txt"));
         }},
        {"the folder's path leads elsewhere",
         [](const TempDir& d) {
             fs::rename(d.path / "in", d.path / "moved");
             fs::create_directory_symlink(d.path, d.path / "in");
             fs::rename(d.file("victim.txt"), d.file("ulo.txt"));
         }},
    };
    for (const Case& c : cases) {
        TempDir dir;
        fs::create_directory(dir.path / "in");
        const std::string victim = dir.write("not an image", "victim.txt");
        ::chmod(victim.c_str(), 0600);
        Wert w{};
        FileState seen;
        ASSERT_EQ(load_image(dir.put(patterned(), "in/ulo.txt"), w, &seen), LoadResult::loaded);
        c.act(dir);
        EXPECT_EQ(save_image(seen, Wert{}), SaveResult::saved) << c.what;
        const bool moved = fs::exists(dir.path / "moved");
        const std::string folder = moved ? "moved/" : "in/";
        EXPECT_EQ(dir.read(moved ? "ulo.txt" : "victim.txt"), "not an image") << c.what;
        EXPECT_FALSE(fs::is_symlink(dir.file(folder + "ulo.txt"))) << c.what;
        EXPECT_EQ(dir.read(folder + "ulo.txt"), format_image(Wert{})) << c.what;
        EXPECT_EQ(entries(dir / folder), std::set<std::string>{"ulo.txt"}) << c.what;
    }
}

// In place, a file whose old text is longer than the new is padded first and cut last: the
// steps of the save, each one checked on its own, never leave text that fails to load.
TEST(Save, InPlaceLongerOldTextIsCutOnlyAfterTheNewTextIsOnDisk) {
    TempDir dir;
    const std::string crlf = header + "\r\n" + tokens_of(patterned(), "\r\n");
    const std::string path = dir.write(crlf);
    ASSERT_EQ(::link(path.c_str(), dir.file("other-name.txt").c_str()), 0);
    ASSERT_EQ(save_image(path, Wert{}), SaveResult::saved);
    EXPECT_EQ(dir.read(), format_image(Wert{}));
    EXPECT_EQ(dir.read("other-name.txt"), format_image(Wert{}));
    // What the file holds between the two steps: the new text padded to the old length.
    std::string padded = format_image(Wert{});
    padded.resize(crlf.size(), ' ');
    Wert between{};
    ASSERT_TRUE(parse_image(padded, between));
    EXPECT_EQ(between, Wert{});
}

// Rescue copies: beside the file, named by the time and a random part, readable by the owner
// alone, never over another file; in the temporary folder when the file's folder refuses.
TEST(Rescue, NewFileBesideTheFileNeverOverAnother) {
    UmaskGuard guard(022);
    TempDir dir;
    Wert w{};
    FileState seen;
    ASSERT_EQ(load_image(dir.put(patterned()), w, &seen), LoadResult::loaded);
    Wert other{};
    other.fill(0x33);
    const std::string first = save_rescue(seen, other);
    const std::string second = save_rescue(seen, Wert{});
    const std::string name = "ulo\\.txt\\.rescue-[0-9]{8}-[0-9]{6}-[a-z0-9]{6}";
    EXPECT_TRUE(testing::internal::RE::FullMatch(fs::path(first).filename().string(), name))
        << first;
    EXPECT_EQ(fs::path(first).parent_path(), dir.path);
    EXPECT_NE(first, second);
    EXPECT_EQ(dir.read(fs::path(first).filename()), format_image(other));
    EXPECT_EQ(dir.read(fs::path(second).filename()), format_image(Wert{}));
    EXPECT_EQ(mode_of(first), 0600u);
    EXPECT_EQ(dir.read(), format_image(patterned()));
    EXPECT_EQ(entries(dir.path).size(), 3u);
}

// Another user who plants every name the time alone would give, for the next seconds, cannot
// keep the rescue copy out.
TEST(Rescue, PlantedNamesDoNotKeepItOut) {
    TempDir dir;
    Wert w{};
    FileState seen;
    ASSERT_EQ(load_image(dir.put(patterned()), w, &seen), LoadResult::loaded);
    const std::time_t now = std::time(nullptr);
    for (std::time_t t = now; t <= now + 3; ++t) {
        char stamp[32];
        struct tm local {};
        std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", ::localtime_r(&t, &local));
        const std::string planted = dir.file("ulo.txt.rescue-") + stamp;
        dir.write("planted", fs::path(planted).filename());
        for (int k = 2; k <= 100; ++k)
            dir.write("planted", fs::path(planted + "-" + std::to_string(k)).filename());
    }
    const std::string rescue = save_rescue(seen, Wert{});
    ASSERT_FALSE(rescue.empty());
    EXPECT_EQ(dir.read(fs::path(rescue).filename()), format_image(Wert{}));
}

// A name as long as the folder allows leaves no room for ".rescue-...": it is shortened.
TEST(Rescue, NameTooLongForTheFolderIsShortened) {
    TempDir dir;
    const std::string long_name(250, 'u');
    Wert w{};
    FileState seen;
    ASSERT_EQ(load_image(dir.put(patterned(), long_name), w, &seen), LoadResult::loaded);
    const std::string rescue = save_rescue(seen, Wert{});
    ASSERT_FALSE(rescue.empty());
    EXPECT_EQ(fs::path(rescue).parent_path(), dir.path);
    EXPECT_EQ(dir.read(fs::path(rescue).filename()), format_image(Wert{}));
}

TEST(Rescue, InTheTemporaryFolderWhenTheFoldersRefuse) {
    struct Case {
        bool tmpdir; // $TMPDIR set, or /tmp
    };
    for (const Case c : {Case{true}, Case{false}}) {
        TempDir dir, tmp;
        const std::string path = dir.put(patterned());
        give_away(path);
        give_away(dir.path);
        give_away(tmp.path);
        ASSERT_EQ(::chmod(dir.path.c_str(), 0555), 0);
        if (c.tmpdir) {
            ASSERT_EQ(::setenv("TMPDIR", tmp.path.c_str(), 1), 0);
        }
        const std::string rescue_dir = c.tmpdir ? tmp.path.string() : "/tmp";
        const int got = as_ordinary_user([&] {
            ::umask(022);
            Wert w{};
            FileState seen;
            if (load_image(path, w, &seen) != LoadResult::loaded) return 2;
            const std::string name = save_rescue(seen, Wert{});
            if (name.rfind(rescue_dir + "/ulo.txt.rescue-", 0) != 0) return 1;
            struct stat st {};
            const bool owner_only = ::stat(name.c_str(), &st) == 0 && (st.st_mode & 0777) == 0600;
            std::remove(name.c_str());
            return owner_only ? 0 : 3;
        });
        ::unsetenv("TMPDIR");
        ASSERT_EQ(::chmod(dir.path.c_str(), 0755), 0);
        EXPECT_EQ(got, 0) << "TMPDIR " << c.tmpdir << ": 1 elsewhere, 2 no load, 3 not 0600";
        EXPECT_EQ(entries(dir.path), std::set<std::string>{"ulo.txt"});
    }
}

TEST(Save, ThroughSymbolicLinkReplacesTargetAndKeepsLink) {
    TempDir dir;
    ASSERT_EQ(::mkdir((dir / "real").c_str(), 0755), 0);
    const std::string target = dir.write("old contents", "real/ulo.txt");
    ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
    const std::string link = dir / "ulo.txt";
    ASSERT_EQ(::symlink("real/ulo.txt", link.c_str()), 0);

    ASSERT_EQ(save_image(link, patterned()), SaveResult::saved);
    EXPECT_EQ(fs::read_symlink(link).string(), "real/ulo.txt");
    EXPECT_EQ(dir.read("real/ulo.txt"), format_image(patterned()));
    EXPECT_EQ(mode_of(target), 0640u);
    EXPECT_EQ(entries(dir.path), (std::set<std::string>{"real", "ulo.txt"}));
    EXPECT_EQ(entries(dir / "real"), std::set<std::string>{"ulo.txt"});
}

// A file size limit makes the write fail part way: an old file must come through whole, and
// the half-written new one must be gone.
TEST(Save, FailedWriteKeepsOldFileAndLeavesNoTemporary) {
    for (bool existed : {true, false}) {
        TempDir dir;
        const std::string path = dir / "ulo.txt";
        if (existed) {
            ASSERT_EQ(::chmod(dir.put(patterned()).c_str(), 0640), 0);
        }
        Wert other{};
        other.fill(0x22);

        rlimit old{};
        ::getrlimit(RLIMIT_FSIZE, &old);
        rlimit limit = old;
        limit.rlim_cur = 4096;
        const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
        ::setrlimit(RLIMIT_FSIZE, &limit);
        const SaveResult result = save_image(path, other);
        ::setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, old_handler);

        EXPECT_EQ(result, SaveResult::cannot_write) << existed;
        if (existed) {
            EXPECT_EQ(dir.read(), format_image(patterned()));
            EXPECT_EQ(mode_of(path), 0640u);
            EXPECT_EQ(entries(dir.path), std::set<std::string>{"ulo.txt"});
        } else {
            EXPECT_TRUE(entries(dir.path).empty());
        }
    }
}

} // namespace
} // namespace ulo
