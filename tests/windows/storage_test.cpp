// The file layer on Windows: what a user sees of loading, saving and rescue copies there. Runs
// under Wine as well as on Windows itself.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

#include <windows.h>

#include <aclapi.h>
#include <gtest/gtest.h>

#include "eeprom/disk.hpp"
#include "eeprom/file.hpp"

namespace ulo {
namespace {

namespace fs = std::filesystem;

std::string utf8(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}
fs::path from_utf8(const std::string& text) {
    return fs::path(std::u8string(text.begin(), text.end()));
}

std::string bytes_of(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}
void put(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

Wert image(unsigned seed) {
    Wert wert{};
    for (unsigned a = 0; a < eeprom_size; ++a) wert[a] = static_cast<std::uint8_t>(a * seed + seed);
    return wert;
}

std::vector<std::string> names_in(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(utf8(entry.path().filename()));
    std::sort(names.begin(), names.end());
    return names;
}

// A folder of the test's own, holding "ulo.txt" with image(1), removed afterwards.
struct Folder {
    fs::path path, file;
    explicit Folder(const std::string& name, const std::string& below = "") {
        path = fs::temp_directory_path() /
               from_utf8("ulocfg-" + name + "-" + std::to_string(::GetCurrentProcessId()));
        fs::remove_all(path);
        fs::create_directories(path / from_utf8(below));
        file = path / from_utf8(below) / "ulo.txt";
        put(file, format_image(image(1)));
    }
    ~Folder() {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
    FileState load() const {
        Wert wert{};
        FileState seen;
        int error = 0;
        EXPECT_EQ(load_image(utf8(file), wert, &seen, &error), LoadResult::loaded)
            << error_text(error);
        return seen;
    }
};

TEST(WindowsSave, WritesTheSameBytesAsEverywhereAndLeavesNothingElse) {
    const struct {
        const char* folder;
        DWORD attributes;
    } cases[] = {
        {"plain", 0},
        {"Z\xC3\xBCndung \xCE\xA9 \xE8\xA8\xAD\xE5\xAE\x9A", 0}, // "Zündung Ω 設定"
        {"hidden", FILE_ATTRIBUTE_HIDDEN},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.folder);
        Folder folder(c.folder);
        if (c.attributes) ::SetFileAttributesW(folder.file.c_str(), c.attributes);
        const FileState seen = folder.load();
        EXPECT_EQ(file_change(seen), FileChange::none);
        int error = 0;
        ASSERT_EQ(save_image(seen, image(3), &error), SaveResult::saved) << error_text(error);

        const std::string on_disk = bytes_of(folder.file);
        EXPECT_EQ(on_disk, format_image(image(3)));
        EXPECT_EQ(on_disk.find('\r'), std::string::npos);
        EXPECT_EQ(on_disk.substr(0, 30), "ULO EEPROM Memory:\n03h 06h 09h");
        EXPECT_EQ(names_in(folder.path), std::vector<std::string>{"ulo.txt"});
        EXPECT_EQ(::GetFileAttributesW(folder.file.c_str()) & c.attributes, c.attributes);
    }
}

TEST(WindowsSave, MissingFileIsMadeByName) {
    Folder folder("new");
    fs::remove(folder.file);
    ASSERT_EQ(save_image(utf8(folder.file), image(5)), SaveResult::saved);
    EXPECT_EQ(bytes_of(folder.file), format_image(image(5)));
    EXPECT_EQ(names_in(folder.path), std::vector<std::string>{"ulo.txt"});
}

TEST(WindowsSave, RefusedWithoutTouchingTheFileAndTheEditsKeptBesideIt) {
    // How another program holds the file open (0: it does not), and the read-only attribute.
    const struct {
        const char* name;
        DWORD other_share;
        bool read_only;
        const char* words;
    } cases[] = {
        {"read-only attribute", 0, true, "Permission denied"},
        {"held open for reading alone", FILE_SHARE_READ, false, "Device or resource busy"},
        {"held open, not to be renamed", FILE_SHARE_READ | FILE_SHARE_WRITE, false,
         "Device or resource busy"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Folder folder("refused");
        const FileState seen = folder.load();
        if (c.read_only) ::SetFileAttributesW(folder.file.c_str(), FILE_ATTRIBUTE_READONLY);
        HANDLE other = c.other_share
                           ? ::CreateFileW(folder.file.c_str(), GENERIC_READ, c.other_share,
                                           nullptr, OPEN_EXISTING, 0, nullptr)
                           : INVALID_HANDLE_VALUE;
        ASSERT_EQ(other == INVALID_HANDLE_VALUE, c.other_share == 0);

        int error = 0;
        EXPECT_EQ(save_image(seen, image(3), &error), SaveResult::cannot_open);
        EXPECT_EQ(error_text(error), c.words);
        if (other != INVALID_HANDLE_VALUE) ::CloseHandle(other);
        ::SetFileAttributesW(folder.file.c_str(), FILE_ATTRIBUTE_NORMAL);
        EXPECT_EQ(bytes_of(folder.file), format_image(image(1)));
        EXPECT_EQ(names_in(folder.path), std::vector<std::string>{"ulo.txt"});
        const std::string rescue = save_rescue(seen, image(3));
        ASSERT_FALSE(rescue.empty());
        EXPECT_EQ(bytes_of(from_utf8(rescue)), format_image(image(3)));
    }
}

// What a user reads for the failures Windows reports most: the words other systems use.
TEST(WindowsErrors, TheSystemsCodesInTheWordsOfOtherSystems) {
    const struct {
        DWORD code;
        const char* words;
    } cases[] = {
        {ERROR_ACCESS_DENIED, "Permission denied"},
        {ERROR_FILE_NOT_FOUND, "No such file or directory"},
        {ERROR_PATH_NOT_FOUND, "No such file or directory"},
        {ERROR_SHARING_VIOLATION, "Device or resource busy"},
        {ERROR_LOCK_VIOLATION, "Device or resource busy"},
        {ERROR_DISK_FULL, "No space left on device"},
        {ERROR_HANDLE_DISK_FULL, "No space left on device"},
        {ERROR_WRITE_PROTECT, "Read-only file system"},
        {ERROR_FILENAME_EXCED_RANGE, "File name too long"},
        {ERROR_NOT_ENOUGH_MEMORY, "Cannot allocate memory"},
        {ERROR_CRC, "Input/output error"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(error_text(disk::errno_from_system(c.code)), c.words) << c.code;
    // One without a counterpart keeps the system's own words.
    EXPECT_NE(error_text(disk::errno_from_system(ERROR_NO_SYSTEM_RESOURCES)), "");
}

// A name given in other letter cases than the folder spells it ("ULO.TXT" for "ulo.txt") is
// the same file on Windows: it is read, and saved under the folder's spelling.
TEST(WindowsSave, TheNameKeepsTheFoldersSpelling) {
    Folder folder("spelling");
    Wert wert{};
    FileState seen;
    ASSERT_EQ(load_image(utf8(folder.path / "ULO.TXT"), wert, &seen), LoadResult::loaded);
    ASSERT_EQ(save_image(seen, image(3)), SaveResult::saved);
    EXPECT_EQ(names_in(folder.path), std::vector<std::string>{"ulo.txt"});
    EXPECT_EQ(bytes_of(folder.file), format_image(image(3)));
}

TEST(WindowsSave, FileWithASecondNameIsWrittenInPlace) {
    Folder folder("linked");
    const fs::path other = folder.path / "other.txt";
    ASSERT_TRUE(::CreateHardLinkW(other.c_str(), folder.file.c_str(), nullptr));
    ASSERT_EQ(save_image(folder.load(), image(7)), SaveResult::saved);
    EXPECT_EQ(bytes_of(folder.file), format_image(image(7)));
    EXPECT_EQ(bytes_of(other), format_image(image(7)));
}

TEST(WindowsLoad, WhatLoadsAndTheWordsForWhatDoesNot) {
    Folder folder("load");
    std::string crlf;
    for (const char c : format_image(image(2))) crlf += c == '\n' ? "\r\n" : std::string(1, c);
    put(folder.path / "crlf.txt", crlf);
    put(folder.path / "short.txt", "ULO EEPROM Memory:\n00h 01h\n");
    fs::create_directory(folder.path / "sub");
    const std::string base = utf8(folder.path) + "\\";
    const struct {
        std::string path;
        LoadResult result;
        const char* words;
    } cases[] = {
        {base + "crlf.txt", LoadResult::loaded, ""},
        {base + "short.txt", LoadResult::incorrect, ""},
        {base + "missing.txt", LoadResult::cannot_open, "No such file or directory"},
        {base + "missing\\ulo.txt", LoadResult::cannot_open, "No such file or directory"},
        {base + "sub", LoadResult::cannot_open, "Is a directory"},
        {base + "sub/", LoadResult::cannot_open, "Is a directory"},
        {base + "crlf.txt/ulo.txt", LoadResult::cannot_open, "Not a directory"},
        {"NUL", LoadResult::cannot_open, "Invalid argument"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        Wert wert{};
        int error = 0;
        EXPECT_EQ(load_image(c.path, wert, nullptr, &error), c.result);
        EXPECT_EQ(c.result == LoadResult::cannot_open ? error_text(error) : "", c.words);
        if (c.result == LoadResult::loaded) {
            EXPECT_EQ(wert, image(2));
        }
    }
}

TEST(WindowsFileChange, WhatWasReadAgainstTheFileNow) {
    const struct {
        const char* name;
        void (*meanwhile)(const fs::path& file);
        FileChange change;
    } cases[] = {
        {"same bytes written again", [](const fs::path& f) { put(f, format_image(image(1))); },
         FileChange::none},
        {"same bytes in a new file renamed over it",
         [](const fs::path& f) {
             put(f.string() + ".new", format_image(image(1)));
             fs::rename(f.string() + ".new", f);
         },
         FileChange::none},
        {"other bytes, same length", [](const fs::path& f) { put(f, format_image(image(9))); },
         FileChange::changed},
        {"longer", [](const fs::path& f) { put(f, format_image(image(1)) + " "); },
         FileChange::changed},
        {"removed", [](const fs::path& f) { fs::remove(f); }, FileChange::removed},
        {"a folder in its place", [](const fs::path& f) { fs::remove(f), fs::create_directory(f); },
         FileChange::replaced},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Folder folder("change");
        const FileState seen = folder.load();
        c.meanwhile(folder.file);
        EXPECT_EQ(file_change(seen), c.change);
    }
}

// No entry in a file's access list for anyone but the user and the system itself.
void expect_owner_only(const fs::path& file) {
    PACL acl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_EQ(::GetNamedSecurityInfoW(file.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                      nullptr, nullptr, &acl, nullptr, &descriptor),
              ERROR_SUCCESS);
    HANDLE token = nullptr;
    std::vector<unsigned char> user(256);
    DWORD size = 0;
    ASSERT_TRUE(::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token));
    ASSERT_TRUE(::GetTokenInformation(token, TokenUser, user.data(), 256, &size));
    ::CloseHandle(token);
    const PSID me = reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid;
    ASSERT_NE(acl, nullptr);
    for (DWORD i = 0; i < acl->AceCount; ++i) {
        ACCESS_ALLOWED_ACE* ace = nullptr;
        ASSERT_TRUE(::GetAce(acl, i, reinterpret_cast<void**>(&ace)));
        EXPECT_TRUE(::EqualSid(&ace->SidStart, me) ||
                    ::IsWellKnownSid(&ace->SidStart, WinLocalSystemSid))
            << "entry " << i;
    }
    ::LocalFree(descriptor);
}

TEST(WindowsRescue, OwnerOnlyNewFilesBesideTheFileElseInTheTemporaryFolder) {
    Folder folder("rescue", "Z\xC3\xBCndung"), temp("temp");
    // Named as the user named the file: from the current folder.
    struct Here {
        fs::path before = fs::current_path();
        ~Here() { fs::current_path(before); }
    } here;
    fs::current_path(folder.path);
    Wert wert{};
    FileState seen;
    ASSERT_EQ(load_image("Z\xC3\xBCndung/ulo.txt", wert, &seen), LoadResult::loaded);

    const std::regex beside("Z\xC3\xBCndung/ulo\\.txt\\.rescue-\\d{8}-\\d{6}-[a-z0-9]{6}");
    const std::string first = save_rescue(seen, image(3)), second = save_rescue(seen, image(4));
    EXPECT_TRUE(std::regex_match(first, beside)) << first;
    EXPECT_TRUE(std::regex_match(second, beside)) << second;
    EXPECT_NE(first, second);
    EXPECT_EQ(bytes_of(from_utf8(first)), format_image(image(3)));
    EXPECT_EQ(bytes_of(from_utf8(second)), format_image(image(4)));
    expect_owner_only(from_utf8(first));

    // Its folder gone: the temporary folder, as TMP names it.
    fs::remove_all(folder.file.parent_path());
    ASSERT_TRUE(::SetEnvironmentVariableW(L"TMP", temp.path.c_str()));
    const fs::path kept = from_utf8(save_rescue(seen, image(3)));
    ::SetEnvironmentVariableW(L"TMP", nullptr);
    EXPECT_EQ(kept.parent_path(), temp.path);
    EXPECT_EQ(bytes_of(kept), format_image(image(3)));
    expect_owner_only(kept);
}

TEST(WindowsRescue, NameTooLongForTheFolderIsShortened) {
    Folder folder("long");
    const fs::path file = folder.path / (std::string(240, 'n') + ".txt");
    fs::rename(folder.file, file);
    Wert wert{};
    FileState seen;
    ASSERT_EQ(load_image(utf8(file), wert, &seen), LoadResult::loaded);
    const fs::path kept = from_utf8(save_rescue(seen, image(3)));
    EXPECT_EQ(kept.parent_path(), folder.path);
    EXPECT_TRUE(std::regex_match(utf8(kept.filename()),
                                 std::regex(R"(n+\.rescue-\d{8}-\d{6}-[a-z0-9]{6})")))
        << kept;
    EXPECT_EQ(bytes_of(kept), format_image(image(3)));
}

} // namespace
} // namespace ulo
