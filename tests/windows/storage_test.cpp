// The file layer on Windows: what a user sees of loading, saving and rescue copies there. Runs
// under Wine as well as on Windows itself.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <windows.h>
#include <aclapi.h>

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

// A folder's full path as the system takes it at any length.
std::wstring long_form(const fs::path& folder) {
    std::wstring path = fs::absolute(folder).make_preferred().wstring();
    if (path.back() == L'\\') path.pop_back();
    return L"\\\\?\\" + path;
}

// What a folder holds, read without the classic limit on a path's length.
std::vector<std::string> names_in(const fs::path& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW found{};
    HANDLE search = ::FindFirstFileW((long_form(folder) + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return {"(unreadable)"};
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") names.push_back(utf8(name));
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

void remove_tree(const std::wstring& path) {
    WIN32_FIND_DATAW found{};
    HANDLE search = ::FindFirstFileW((path + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName, inside = path + L"\\" + name;
            if (name == L"." || name == L"..") continue;
            ::SetFileAttributesW(inside.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) remove_tree(inside);
            else ::DeleteFileW(inside.c_str());
        } while (::FindNextFileW(search, &found));
        ::FindClose(search);
    }
    ::RemoveDirectoryW(path.c_str());
}

Wert image(unsigned seed) {
    Wert wert{};
    for (unsigned a = 0; a < eeprom_size; ++a) wert[a] = static_cast<std::uint8_t>(a * seed + seed);
    return wert;
}

// A folder of the test's own, removed afterwards.
struct Folder {
    fs::path path;
    explicit Folder(const std::string& name) {
        path = fs::temp_directory_path() / from_utf8("ulocfg-" + name + "-" +
                                                     std::to_string(::GetCurrentProcessId()));
        remove_tree(long_form(path));
        fs::create_directories(path);
    }
    ~Folder() { remove_tree(long_form(path)); }
};

TEST(WindowsSave, WritesTheSameBytesAsEverywhereAndLeavesNothingElse) {
    // The test's folder, and the folders below it that hold the file.
    const struct { const char* top; const char* below; } cases[] = {
        {"plain", ""},
        {"Z\xC3\xBCndung \xCE\xA9 \xE8\xA8\xAD\xE5\xAE\x9A", ""}, // "Zündung Ω 設定"
        // Deeper than the classic limit of 260 characters for a path.
        {"deep", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa/"
                 "bbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbb/"
                 "cccccccccccccccccccccccccccccccccccccccccccccccccccccccccccccccccccccccccccccccccccc"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.top);
        Folder top(c.top);
        const fs::path folder = top.path / from_utf8(c.below);
        fs::create_directories(folder);
        const fs::path file = folder / "ulo.txt";
        put(file, format_image(image(1)));

        Wert wert{};
        FileState seen;
        int error = 0;
        ASSERT_EQ(load_image(utf8(file), wert, &seen, &error), LoadResult::loaded) << error_text(error);
        EXPECT_EQ(wert, image(1));
        EXPECT_EQ(file_change(seen), FileChange::none);
        ASSERT_EQ(save_image(seen, image(3), &error), SaveResult::saved) << error_text(error);

        const std::string on_disk = bytes_of(file);
        EXPECT_EQ(on_disk, format_image(image(3)));
        EXPECT_EQ(on_disk.find('\r'), std::string::npos);
        EXPECT_EQ(on_disk.substr(0, 30), "ULO EEPROM Memory:\n03h 06h 09h");
        EXPECT_EQ(names_in(folder), std::vector<std::string>{"ulo.txt"});
    }
}

TEST(WindowsSave, KeepsTheFilesAttributes) {
    Folder folder("attributes");
    const fs::path file = folder.path / "ulo.txt";
    put(file, format_image(image(1)));
    ASSERT_TRUE(::SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_HIDDEN));
    Wert wert{};
    FileState seen;
    ASSERT_EQ(load_image(utf8(file), wert, &seen), LoadResult::loaded);
    ASSERT_EQ(save_image(seen, image(3)), SaveResult::saved);
    EXPECT_EQ(bytes_of(file), format_image(image(3)));
    EXPECT_NE(::GetFileAttributesW(file.c_str()) & FILE_ATTRIBUTE_HIDDEN, 0u);
    EXPECT_EQ(names_in(folder.path), std::vector<std::string>{"ulo.txt"});
}

TEST(WindowsSave, MissingFileIsMadeByName) {
    Folder folder("new");
    const fs::path file = folder.path / "ulo.txt";
    ASSERT_EQ(save_image(utf8(file), image(5)), SaveResult::saved);
    EXPECT_EQ(bytes_of(file), format_image(image(5)));
    EXPECT_EQ(names_in(folder.path), std::vector<std::string>{"ulo.txt"});
}

TEST(WindowsSave, RefusedWithoutTouchingTheFile) {
    // How another program holds the file open (0: it does not) and whether the file carries
    // the read-only attribute.
    const struct { const char* name; DWORD other_share; bool read_only; const char* words; } cases[] = {
        {"read-only attribute", 0, true, "Permission denied"},
        {"held open for reading alone", FILE_SHARE_READ, false, "Device or resource busy"},
        {"held open, renaming not allowed", FILE_SHARE_READ | FILE_SHARE_WRITE, false,
         "Device or resource busy"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Folder folder("refused");
        const fs::path file = folder.path / "ulo.txt";
        put(file, format_image(image(1)));
        Wert wert{};
        FileState seen;
        ASSERT_EQ(load_image(utf8(file), wert, &seen), LoadResult::loaded);
        if (c.read_only) ::SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY);
        HANDLE other = INVALID_HANDLE_VALUE;
        if (c.other_share) {
            other = ::CreateFileW(file.c_str(), GENERIC_READ, c.other_share, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
            ASSERT_NE(other, INVALID_HANDLE_VALUE);
        }

        int error = 0;
        EXPECT_EQ(save_image(seen, image(3), &error), SaveResult::cannot_open);
        EXPECT_EQ(error_text(error), c.words);
        if (other != INVALID_HANDLE_VALUE) ::CloseHandle(other);
        EXPECT_EQ(bytes_of(file), format_image(image(1)));
        EXPECT_EQ(names_in(folder.path), std::vector<std::string>{"ulo.txt"});

        // The edits are kept beside it.
        const std::string rescue = save_rescue(seen, image(3));
        ASSERT_FALSE(rescue.empty());
        EXPECT_EQ(bytes_of(from_utf8(rescue)), format_image(image(3)));
    }
}

TEST(WindowsSave, FileWithASecondNameIsWrittenInPlace) {
    Folder folder("linked");
    const fs::path file = folder.path / "ulo.txt", other = folder.path / "other.txt";
    put(file, format_image(image(1)));
    ASSERT_TRUE(::CreateHardLinkW(other.c_str(), file.c_str(), nullptr));
    Wert wert{};
    FileState seen;
    ASSERT_EQ(load_image(utf8(file), wert, &seen), LoadResult::loaded);
    ASSERT_EQ(save_image(seen, image(7)), SaveResult::saved);
    EXPECT_EQ(bytes_of(file), format_image(image(7)));
    EXPECT_EQ(bytes_of(other), format_image(image(7)));
}

TEST(WindowsLoad, WhatLoadsAndTheWordsForWhatDoesNot) {
    Folder folder("load");
    std::string crlf = format_image(image(2));
    for (std::string::size_type at = 0; (at = crlf.find('\n', at)) != std::string::npos; at += 2)
        crlf.insert(at, "\r");
    put(folder.path / "crlf.txt", crlf);
    put(folder.path / "short.txt", "ULO EEPROM Memory:\n00h 01h\n");
    fs::create_directory(folder.path / "sub");
    const std::string base = utf8(folder.path) + "\\";
    const struct { std::string path; LoadResult result; const char* words; } cases[] = {
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
        if (c.result == LoadResult::loaded) {
            EXPECT_EQ(wert, image(2));
        }
        if (c.result == LoadResult::cannot_open) {
            EXPECT_EQ(error_text(error), c.words);
        }
    }
}

TEST(WindowsFileChange, WhatWasReadAgainstTheFileNow) {
    const struct {
        const char* name;
        void (*meanwhile)(const fs::path& file);
        FileChange change;
    } cases[] = {
        {"untouched", [](const fs::path&) {}, FileChange::none},
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
        {"a folder in its place",
         [](const fs::path& f) {
             fs::remove(f);
             fs::create_directory(f);
         },
         FileChange::replaced},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Folder folder("change");
        const fs::path file = folder.path / "ulo.txt";
        put(file, format_image(image(1)));
        Wert wert{};
        FileState seen;
        ASSERT_EQ(load_image(utf8(file), wert, &seen), LoadResult::loaded);
        c.meanwhile(file);
        EXPECT_EQ(file_change(seen), c.change);
    }
}

TEST(WindowsRescue, OwnerOnlyNewFilesBesideTheFileElseInTheTemporaryFolder) {
    Folder folder("rescue"), temp("temp");
    fs::create_directory(folder.path / from_utf8("Z\xC3\xBCndung"));
    put(folder.path / from_utf8("Z\xC3\xBCndung/ulo.txt"), format_image(image(1)));
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

    // Open to its owner alone: no entry in its access list for anyone but the user and the
    // system itself.
    PACL acl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_EQ(::GetNamedSecurityInfoW(from_utf8(first).c_str(), SE_FILE_OBJECT,
                                      DACL_SECURITY_INFORMATION, nullptr, nullptr, &acl, nullptr,
                                      &descriptor),
              ERROR_SUCCESS);
    ASSERT_NE(acl, nullptr);
    HANDLE token = nullptr;
    ASSERT_TRUE(::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token));
    std::vector<unsigned char> user(256);
    DWORD size = 0;
    ASSERT_TRUE(::GetTokenInformation(token, TokenUser, user.data(), 256, &size));
    ::CloseHandle(token);
    const PSID me = reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid;
    for (DWORD i = 0; i < acl->AceCount; ++i) {
        ACCESS_ALLOWED_ACE* ace = nullptr;
        ASSERT_TRUE(::GetAce(acl, i, reinterpret_cast<void**>(&ace)));
        const PSID sid = &ace->SidStart;
        EXPECT_TRUE(::EqualSid(sid, me) || ::IsWellKnownSid(sid, WinLocalSystemSid)) << "entry " << i;
    }
    ::LocalFree(descriptor);

    // Its folder gone: the temporary folder, as TMP names it.
    remove_tree(long_form(folder.path / from_utf8("Z\xC3\xBCndung")));
    ASSERT_TRUE(::SetEnvironmentVariableW(L"TMP", temp.path.c_str()));
    const std::string kept = save_rescue(seen, image(3));
    ::SetEnvironmentVariableW(L"TMP", nullptr);
    EXPECT_EQ(from_utf8(kept).parent_path(), temp.path);
    EXPECT_EQ(bytes_of(from_utf8(kept)), format_image(image(3)));
}

TEST(WindowsRescue, NameTooLongForTheFolderIsShortened) {
    Folder folder("long");
    const std::string name = std::string(240, 'n') + ".txt";
    put(folder.path / name, format_image(image(1)));
    Wert wert{};
    FileState seen;
    ASSERT_EQ(load_image(utf8(folder.path / name), wert, &seen), LoadResult::loaded);
    const fs::path kept = from_utf8(save_rescue(seen, image(3)));
    EXPECT_EQ(kept.parent_path(), folder.path);
    EXPECT_TRUE(std::regex_match(utf8(kept.filename()),
                                 std::regex(R"(n+\.rescue-\d{8}-\d{6}-[a-z0-9]{6})")))
        << kept;
    EXPECT_EQ(bytes_of(kept), format_image(image(3)));
}

} // namespace
} // namespace ulo
