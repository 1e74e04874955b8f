// "ulo.txt" on a Windows file system: reading it, telling whether it changed, saving it without
// ever losing it, and rescue copies of edits that could not be saved.
//
// Paths arrive in UTF-8 and go to the system in UTF-16, so that folders named in any script
// work; the file is read and written as bytes, so that it holds on disk exactly what it holds
// on any other system. Where the file is gets fixed when it is read: the full path of its folder
// and its name there. A symbolic link given as the file is followed then, once; a link put in
// the file's place later is replaced by a save, never written through.
//
// Errors are told as the C library's errno values, with the words other systems use for them,
// so that a message reads the same wherever the program runs.
#define _CRT_RAND_S // rand_s: the system's randomness for names no one can guess
#include "eeprom/file.hpp"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <windows.h>

namespace ulo {

struct Place {
    std::wstring folder; // the folder's full path, ending in a separator
    std::wstring wide;   // the file's name in it
    std::string name;    // the same in UTF-8
    std::string prefix;  // how messages name the folder: "" or "some\folder\"
};

namespace {

constexpr DWORD chunk_size = 64 * 1024;
constexpr DWORD share_all = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Closes a handle on every way out of a function.
struct Handle {
    HANDLE h = INVALID_HANDLE_VALUE;
    explicit Handle(HANDLE handle) : h(handle) {}
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() { close(); }
    bool valid() const { return h != INVALID_HANDLE_VALUE; }
    // False when closing fails: the last of what was written may not have reached the file.
    bool close() {
        const bool closed = !valid() || ::CloseHandle(h) != 0;
        h = INVALID_HANDLE_VALUE;
        return closed;
    }
};

// The errno value for a failure the system reports, so that it is told in the words other
// systems use for the same failure. A failure without a counterpart keeps its own code, made
// negative, and is told in the system's words.
int errno_of(DWORD code) {
    switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_INVALID_NAME:
    case ERROR_NO_MORE_FILES: return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_NETWORK_ACCESS_DENIED:
    case ERROR_CANNOT_MAKE:
    case ERROR_CANT_ACCESS_FILE:
    case ERROR_PRIVILEGE_NOT_HELD:
    case ERROR_FILE_READ_ONLY: return EACCES;
    // Another program holds the file open and does not share it for this.
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_USER_MAPPED_FILE:
    case ERROR_UNABLE_TO_REMOVE_REPLACED: return EBUSY;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return ENOSPC;
    case ERROR_WRITE_PROTECT: return EROFS;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: return EEXIST;
    case ERROR_FILENAME_EXCED_RANGE: return ENAMETOOLONG;
    case ERROR_DIRECTORY: return ENOTDIR;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY: return ENOMEM;
    case ERROR_TOO_MANY_OPEN_FILES: return EMFILE;
    case ERROR_NOT_SAME_DEVICE: return EXDEV;
    case ERROR_CANT_RESOLVE_FILENAME: return ELOOP;
    case ERROR_INVALID_FUNCTION:
    case ERROR_INVALID_PARAMETER: return EINVAL;
    case ERROR_NOT_SUPPORTED: return ENOTSUP;
    case ERROR_NOT_READY:
    case ERROR_CRC:
    case ERROR_SEEK:
    case ERROR_SECTOR_NOT_FOUND:
    case ERROR_WRITE_FAULT:
    case ERROR_READ_FAULT:
    case ERROR_GEN_FAILURE:
    case ERROR_IO_DEVICE: return EIO;
    default: return code == 0 || code > 0xFFFF ? EIO : -static_cast<int>(code);
    }
}

// Records why the last system call failed, for tell_error; false, for returning.
bool failed() {
    errno = errno_of(::GetLastError());
    return false;
}

// The UTF-16 form of a UTF-8 text; false when it is not UTF-8, and so names no file.
bool widen(const std::string& text, std::wstring& wide) {
    wide.clear();
    if (text.empty()) return true;
    const int size = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(),
                                           static_cast<int>(text.size()), nullptr, 0);
    if (size <= 0) {
        errno = EINVAL;
        return false;
    }
    wide.resize(static_cast<std::size_t>(size));
    ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()),
                          wide.data(), size);
    return true;
}

std::string narrow(const std::wstring& wide) {
    if (wide.empty()) return {};
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                           nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), text.data(), size,
                          nullptr, nullptr);
    return text;
}

bool starts_with(const std::wstring& text, const wchar_t* start) {
    return text.compare(0, std::wcslen(start), start) == 0;
}

// A full path as the system takes it at any length: one too long for the classic limit gets
// the prefix that lifts it (the path is already in its final form, so nothing is lost).
std::wstring long_form(const std::wstring& full) {
    if (full.size() < MAX_PATH - 1 || starts_with(full, L"\\\\?\\") ||
        starts_with(full, L"\\\\.\\"))
        return full;
    if (starts_with(full, L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

// A full path as a person reads it: without the prefix for long paths.
std::wstring readable(const std::wstring& full) {
    if (starts_with(full, L"\\\\?\\UNC\\")) return L"\\\\" + full.substr(8);
    if (starts_with(full, L"\\\\?\\")) return full.substr(4);
    return full;
}

std::wstring full_path(const Place& place, const std::wstring& name) {
    return long_form(place.folder + name);
}
std::wstring file_path(const Place& place) { return full_path(place, place.wide); }

std::wstring full_path_of(const std::wstring& path) {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD size = ::GetFullPathNameW(path.c_str(), static_cast<DWORD>(buffer.size()),
                                              buffer.data(), nullptr);
        if (size == 0) return {};
        if (size < buffer.size()) return std::wstring(buffer.data(), size);
        buffer.resize(size);
    }
}

// Opens what is at a full path without following a symbolic link or junction there: such a
// link opens as itself, with `link` set. A file behind any other reparse point (one a cloud
// folder keeps, say) is an ordinary file and opens as its contents. errno tells why it failed.
HANDLE open_at(const std::wstring& path, DWORD access, bool& link) {
    link = false;
    const DWORD flags = FILE_FLAG_BACKUP_SEMANTICS; // folders open too, to be told apart
    HANDLE h = ::CreateFileW(path.c_str(), access, share_all, nullptr, OPEN_EXISTING,
                             flags | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        failed();
        return h;
    }
    FILE_ATTRIBUTE_TAG_INFO tag{};
    if (!::GetFileInformationByHandleEx(h, FileAttributeTagInfo, &tag, sizeof tag) ||
        (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
        return h;
    if (IsReparseTagNameSurrogate(tag.ReparseTag)) {
        link = true;
        return h;
    }
    ::CloseHandle(h);
    h = ::CreateFileW(path.c_str(), access, share_all, nullptr, OPEN_EXISTING, flags, nullptr);
    if (h == INVALID_HANDLE_VALUE) failed();
    return h;
}

// What a handle is: false, with errno telling why, for anything but a plain file on a disk.
bool plain_file(HANDLE h, BY_HANDLE_FILE_INFORMATION& info) {
    if (!::GetFileInformationByHandle(h, &info)) return failed();
    if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        errno = EISDIR;
        return false;
    }
    if (::GetFileType(h) != FILE_TYPE_DISK) {
        errno = EINVAL;
        return false;
    }
    return true;
}

std::uint64_t size_of(const BY_HANDLE_FILE_INFORMATION& info) {
    return (std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
}
std::uint64_t index_of(const BY_HANDLE_FILE_INFORMATION& info) {
    return (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
}

// The folder part of a path as given, as messages show it, and the name after it.
void split(const std::string& path, std::string& prefix, std::string& name) {
    std::string::size_type cut = path.find_last_of("/\\");
    // "C:ulo.txt" names ulo.txt in the current folder of drive C.
    if (cut == std::string::npos && path.size() >= 2 && path[1] == ':') cut = 1;
    prefix = cut == std::string::npos ? "" : path.substr(0, cut + 1);
    name = cut == std::string::npos ? path : path.substr(cut + 1);
}

// Finds the place of the file a path names: a symbolic link there is followed now, once; the
// file itself may be missing. False when its folder cannot be found, with errno telling why.
bool locate(const std::string& path, Place& place) {
    std::string name;
    split(path, place.prefix, name);
    if (name.empty() || name == "." || name == "..") {
        errno = EISDIR;
        return false;
    }
    std::wstring wide_path;
    if (!widen(path, wide_path)) return false;
    std::wstring full = full_path_of(wide_path);
    if (full.empty()) return failed();
    // A device ("NUL", "COM1") is no file to keep an image in.
    if (starts_with(full, L"\\\\.\\")) {
        errno = EINVAL;
        return false;
    }
    bool link = false;
    Handle found{open_at(long_form(full), FILE_READ_ATTRIBUTES, link)};
    if (link) {
        // A link that names nothing is refused rather than followed into creating a file
        // somewhere else.
        Handle target{::CreateFileW(long_form(full).c_str(), FILE_READ_ATTRIBUTES, share_all,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr)};
        if (!target.valid()) return failed();
        std::vector<wchar_t> buffer(MAX_PATH);
        DWORD size = 0;
        while ((size = ::GetFinalPathNameByHandleW(target.h, buffer.data(),
                                                   static_cast<DWORD>(buffer.size()), 0)) >=
               buffer.size())
            buffer.resize(size);
        if (size == 0) return failed();
        full.assign(buffer.data(), size);
    }
    const std::wstring::size_type cut = full.rfind(L'\\');
    if (cut == std::wstring::npos || cut + 1 == full.size()) {
        errno = EISDIR;
        return false;
    }
    place.folder = full.substr(0, cut + 1);
    place.wide = full.substr(cut + 1);
    place.name = narrow(place.wide);
    if (link) place.prefix = narrow(readable(place.folder));

    // The folder named without its last separator, which a file in the folder's place would
    // not be found with; a drive's root keeps it ("C:\\").
    std::wstring folder = place.folder;
    if (folder.size() > 1 && folder[folder.size() - 2] != L':') folder.pop_back();
    const DWORD attributes = ::GetFileAttributesW(long_form(folder).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return failed();
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        errno = ENOTDIR;
        return false;
    }
    return true;
}

void remember(FileState& state, const BY_HANDLE_FILE_INFORMATION& info) {
    state.device = info.dwVolumeSerialNumber;
    state.inode = index_of(info);
    state.existed = true;
}

bool same_file(const BY_HANDLE_FILE_INFORMATION& info, const FileState& seen) {
    return seen.existed && info.dwVolumeSerialNumber == seen.device && index_of(info) == seen.inode;
}

// Opens the plain file at the place for reading, never through a link; invalid otherwise.
HANDLE open_for_reading(const Place& place) {
    bool link = false;
    Handle file{open_at(file_path(place), GENERIC_READ, link)};
    if (!file.valid()) return INVALID_HANDLE_VALUE;
    if (link) {
        errno = ELOOP;
        return INVALID_HANDLE_VALUE;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!plain_file(file.h, info)) return INVALID_HANDLE_VALUE;
    const HANDLE h = file.h;
    file.h = INVALID_HANDLE_VALUE;
    return h;
}

bool seek(HANDLE h, std::uint64_t to) {
    LARGE_INTEGER at{};
    at.QuadPart = static_cast<LONGLONG>(to);
    return ::SetFilePointerEx(h, at, nullptr, FILE_BEGIN) != 0 || failed();
}

// The length and digest of what a handle reads from where it stands; false if reading fails.
// Each piece goes to `piece` as well.
template <typename Piece> bool read_through(HANDLE h, FileState& state, Piece piece) {
    std::vector<char> buffer(chunk_size);
    state.size = 0;
    state.digest = digest_start;
    for (;;) {
        DWORD n = 0;
        if (!::ReadFile(h, buffer.data(), chunk_size, &n, nullptr)) return failed();
        if (n == 0) return true;
        const std::string_view text(buffer.data(), n);
        state.size += text.size();
        state.digest = digest(state.digest, text);
        if (!piece(text)) return true;
    }
}

bool write_all(HANDLE h, std::string_view data) {
    while (!data.empty()) {
        DWORD n = 0;
        const DWORD part = data.size() < chunk_size ? static_cast<DWORD>(data.size()) : chunk_size;
        if (!::WriteFile(h, data.data(), part, &n, nullptr)) return failed();
        if (n == 0) {
            errno = EIO;
            return false;
        }
        data.remove_prefix(n);
    }
    return true;
}

// The whole file from its start; false if reading fails.
bool read_all(HANDLE h, std::string& text) {
    text.clear();
    if (!seek(h, 0)) return false;
    FileState state;
    return read_through(h, state, [&](std::string_view piece) {
        text += piece;
        return true;
    });
}

// A name no one can guess ahead: six letters and digits from the system's randomness.
std::string random_part() {
    constexpr char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::string part;
    for (int i = 0; i < 6; ++i) {
        unsigned int value = 0;
        if (::rand_s(&value) != 0) {
            // Without the system's randomness: the clock and the process, still unlikely to
            // repeat.
            LARGE_INTEGER now{};
            ::QueryPerformanceCounter(&now);
            value = static_cast<unsigned int>(digest(
                digest_start, std::to_string(now.QuadPart) + "." +
                                  std::to_string(::GetCurrentProcessId()) + std::to_string(i)));
        }
        part += letters[value % (sizeof letters - 1)];
    }
    return part;
}

// A security descriptor that lets the current user alone at a file, with nothing inherited
// from its folder.
struct OwnerOnly {
    std::vector<unsigned char> user; // the process's TOKEN_USER
    std::vector<unsigned char> acl;
    SECURITY_DESCRIPTOR descriptor{};
    SECURITY_ATTRIBUTES attributes{};
};

bool make_owner_only(OwnerOnly& security) {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
    DWORD size = 0;
    ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    security.user.resize(size);
    const bool known =
        size > 0 && ::GetTokenInformation(token, TokenUser, security.user.data(), size, &size);
    ::CloseHandle(token);
    if (!known) return false;
    const PSID sid = reinterpret_cast<TOKEN_USER*>(security.user.data())->User.Sid;
    const DWORD acl_size = sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + ::GetLengthSid(sid);
    security.acl.resize(acl_size);
    ACL* acl = reinterpret_cast<ACL*>(security.acl.data());
    if (!::InitializeAcl(acl, acl_size, ACL_REVISION) ||
        !::AddAccessAllowedAce(acl, ACL_REVISION, FILE_ALL_ACCESS, sid) ||
        !::InitializeSecurityDescriptor(&security.descriptor, SECURITY_DESCRIPTOR_REVISION) ||
        !::SetSecurityDescriptorDacl(&security.descriptor, TRUE, acl, FALSE) ||
        !::SetSecurityDescriptorControl(&security.descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED))
        return false;
    security.attributes = {sizeof security.attributes, &security.descriptor, FALSE};
    return true;
}

struct Made {
    HANDLE h = INVALID_HANDLE_VALUE;
    std::wstring path; // full
    std::string name;  // in the folder, UTF-8
};

// Makes a new file named `stem` + `tail` + a random part in the folder, open to no one else
// while this handle is; invalid, with errno telling why, if none can be made. A name too long
// for the folder is shortened in its stem.
Made make_new(const std::wstring& folder, const std::string& stem, const std::string& tail,
              SECURITY_ATTRIBUTES* security) {
    std::string head = stem;
    for (int attempt = 0; attempt < 100; ++attempt) {
        Made made;
        made.name = head + tail + random_part();
        std::wstring wide;
        if (!widen(made.name, wide)) return {};
        made.path = long_form(folder + wide);
        made.h = ::CreateFileW(made.path.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0,
                               security, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (made.h != INVALID_HANDLE_VALUE) return made;
        const DWORD code = ::GetLastError();
        // Too long a name is refused in several ways, by the file systems and by Wine.
        if ((code == ERROR_FILENAME_EXCED_RANGE || code == ERROR_INVALID_NAME ||
             code == ERROR_FILE_NOT_FOUND) &&
            head.size() > 1) {
            head.resize(head.size() / 2);
            // Cut between characters, not inside one written in several bytes.
            while (head.size() > 1 && (static_cast<unsigned char>(head.back()) & 0xC0) == 0x80)
                head.pop_back();
            continue;
        }
        if (code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS) {
            errno = errno_of(code);
            return {};
        }
    }
    errno = EEXIST;
    return {};
}

// `text` written over the file from its start: when it is shorter than what the file holds, it
// is padded with spaces first, flushed, and only then cut, so that a crash at any point leaves
// text that reads as the old image or as the new one.
bool overwrite(HANDLE h, const std::string& text) {
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(h, &size)) return failed();
    const auto length = static_cast<std::size_t>(size.QuadPart);
    if (text.size() < length) {
        std::string padded = text;
        padded.resize(length, ' ');
        if (!seek(h, 0) || !write_all(h, padded) || !::FlushFileBuffers(h)) return failed();
        return seek(h, text.size()) && (::SetEndOfFile(h) || failed()) &&
               (::FlushFileBuffers(h) || failed());
    }
    return seek(h, 0) && write_all(h, text) && (::FlushFileBuffers(h) || failed());
}

// Writes the file in place, checked: the old text is kept in memory, the new text written
// whole, flushed and read back; on any failure the old text goes back.
SaveResult save_in_place(HANDLE h, const std::string& text) {
    std::string old;
    if (!read_all(h, old)) return SaveResult::cannot_open;
    std::string back;
    if (overwrite(h, text) && read_all(h, back)) {
        if (back == text) return SaveResult::saved;
        errno = EIO; // the disk gives back other bytes than were written
    }
    const int error = errno;
    overwrite(h, old);
    errno = error;
    return SaveResult::cannot_write;
}

enum class NewFile { saved, no_file, failed };

// A new file with `text` put in the file's place. An existing file there is replaced so that
// the new one keeps its attributes, access list and other streams, or, where the file system
// cannot do that, renamed over; either way with the `attributes` given. no_file: no new file could
// be made in the folder; failed: it was made, but writing or moving it failed (it is gone again,
// and the old file is as it was).
NewFile replace_by_new_file(const Place& place, const std::string& text, bool file_there,
                            DWORD attributes = 0) {
    // Removed again on every way out, an exception's too, unless it has taken the name.
    struct Temporary {
        std::wstring path;
        ~Temporary() {
            if (!path.empty()) ::DeleteFileW(path.c_str());
        }
    } temporary;
    Made made = make_new(place.folder, "." + place.name, ".", nullptr);
    Handle file{made.h};
    if (!file.valid()) return NewFile::no_file;
    temporary.path = made.path;
    // The contents must be on the disk before the name moves over to them.
    if (!write_all(file.h, text) || !(::FlushFileBuffers(file.h) || failed()) ||
        !(file.close() || failed()))
        return NewFile::failed;

    // The old file's attributes (hidden, say), which not every way of replacing it keeps.
    constexpr DWORD kept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                           FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    if ((attributes & kept) != 0) ::SetFileAttributesW(temporary.path.c_str(), attributes & kept);

    const std::wstring target = file_path(place);
    if (file_there) {
        // The old file is moved aside under another name until the new one has its place, so
        // that it is never lost on the way; it is removed only once the new one has its name.
        std::wstring aside;
        if (!widen("." + place.name + "." + random_part(), aside)) return NewFile::failed;
        const std::wstring backup = full_path(place, aside);
        if (::ReplaceFileW(target.c_str(), temporary.path.c_str(), backup.c_str(),
                           REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)) {
            temporary.path.clear();
            ::DeleteFileW(backup.c_str());
            return NewFile::saved;
        }
        const DWORD code = ::GetLastError();
        // The old file went aside and the new one could not take its name: the old one goes
        // back (or, should even that fail, stays where it is).
        if (::GetFileAttributesW(backup.c_str()) != INVALID_FILE_ATTRIBUTES &&
            ::GetFileAttributesW(target.c_str()) == INVALID_FILE_ATTRIBUTES) {
            ::MoveFileExW(backup.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH);
            errno = errno_of(code);
            return NewFile::failed;
        }
    }
    if (!::MoveFileExW(temporary.path.c_str(), target.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        failed();
        return NewFile::failed;
    }
    temporary.path.clear();
    return NewFile::saved;
}

SaveResult result_of(NewFile made) {
    switch (made) {
    case NewFile::saved: return SaveResult::saved;
    case NewFile::no_file: return SaveResult::cannot_open;
    case NewFile::failed: return SaveResult::cannot_write;
    }
    return SaveResult::cannot_write;
}

// Writes a rescue copy into a folder (its full path, ending in a separator); the name written,
// or "" with errno telling why.
std::string write_rescue(const std::wstring& folder, const std::string& base,
                         const std::string& text) {
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%04u%02u%02u-%02u%02u%02u", now.wYear, now.wMonth, now.wDay,
                  now.wHour, now.wMinute, now.wSecond);
    OwnerOnly security;
    Made made = make_new(folder, base, std::string(".rescue-") + stamp + "-",
                         make_owner_only(security) ? &security.attributes : nullptr);
    Handle file{made.h};
    if (!file.valid()) return "";
    if (write_all(file.h, text) && (::FlushFileBuffers(file.h) || failed()) &&
        (file.close() || failed()))
        return made.name;
    const int error = errno;
    file.close();
    ::DeleteFileW(made.path.c_str());
    errno = error;
    return "";
}

LoadResult load_here(const std::string& path, Wert& wert, FileState* seen) {
    auto place = std::make_shared<Place>();
    if (!locate(path, *place)) return LoadResult::cannot_open;
    Handle file{open_for_reading(*place)};
    BY_HANDLE_FILE_INFORMATION info{};
    if (!file.valid() || !::GetFileInformationByHandle(file.h, &info))
        return LoadResult::cannot_open;

    FileState state;
    const LoadResult result =
        read_image([&](auto piece) { return read_through(file.h, state, piece); }, wert);
    if (result != LoadResult::loaded) return result;
    if (seen) {
        remember(state, info);
        state.place = std::move(place);
        *seen = std::move(state);
    }
    return LoadResult::loaded;
}

// errno as the failed step left it; EIO where no step said why.
void tell_error(int* error) {
    if (error) *error = errno != 0 ? errno : EIO;
}

SaveResult save_here(const FileState& seen, const Wert& wert) {
    if (!seen.place) return SaveResult::cannot_open;
    const Place& place = *seen.place;
    // Built before any new file exists: running out of memory here leaves nothing behind.
    const std::string text = format_image(wert);
    const std::wstring path = file_path(place);

    bool link = false;
    BY_HANDLE_FILE_INFORMATION info{};
    {
        // Asking what is there needs no right to the file and is never refused by the
        // programs that hold it open.
        Handle found{open_at(path, FILE_READ_ATTRIBUTES, link)};
        if (!found.valid()) {
            if (errno != ENOENT) return SaveResult::cannot_open;
            // No file there (any more): a new one.
            return result_of(replace_by_new_file(place, text, false));
        }
        // A link put in the file's place is replaced by the file, never written through.
        if (link) return result_of(replace_by_new_file(place, text, false));
        if (!plain_file(found.h, info)) return SaveResult::cannot_open;
    }
    // The read-only attribute keeps the file from being overwritten, whoever runs the program.
    if (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) {
        errno = EACCES;
        return SaveResult::cannot_open;
    }
    {
        Handle file{open_at(path, GENERIC_READ | GENERIC_WRITE, link)};
        if (!file.valid()) return SaveResult::cannot_open;
        if (link || !plain_file(file.h, info)) {
            if (link) errno = ELOOP;
            return SaveResult::cannot_open;
        }
        // A file with other names (hard links) is written in place: a new file would part them
        // from the saved image.
        if (same_file(info, seen) && info.nNumberOfLinks > 1) return save_in_place(file.h, text);
    }
    // A program that holds the file open without letting it be renamed or deleted would make
    // the new file fail to take its place: better to say so before writing anything.
    {
        Handle rename_check{::CreateFileW(path.c_str(), DELETE, share_all, nullptr, OPEN_EXISTING,
                                          FILE_FLAG_OPEN_REPARSE_POINT, nullptr)};
        if (!rename_check.valid() && ::GetLastError() == ERROR_SHARING_VIOLATION) {
            errno = EBUSY;
            return SaveResult::cannot_open;
        }
    }
    const NewFile made = replace_by_new_file(place, text, true, info.dwFileAttributes);
    if (made != NewFile::no_file || !same_file(info, seen)) return result_of(made);
    // No new file can be made in the folder, but the file that was read may be written.
    const int error = errno;
    Handle file{open_at(path, GENERIC_READ | GENERIC_WRITE, link)};
    BY_HANDLE_FILE_INFORMATION now{};
    if (!file.valid() || link || !plain_file(file.h, now) || !same_file(now, seen)) {
        errno = error;
        return SaveResult::cannot_open;
    }
    return save_in_place(file.h, text);
}

} // namespace

LoadResult load_image(const std::string& path, Wert& wert, FileState* seen, int* error) {
    errno = 0;
    const LoadResult result = load_here(path, wert, seen);
    if (result == LoadResult::cannot_open) tell_error(error);
    return result;
}

std::string error_text(int error) {
    // The words other systems use, so that messages read the same everywhere.
    switch (error) {
    case ENOENT: return "No such file or directory";
    case EACCES: return "Permission denied";
    case EBUSY: return "Device or resource busy";
    case EISDIR: return "Is a directory";
    case ENOTDIR: return "Not a directory";
    case EINVAL: return "Invalid argument";
    case ENOSPC: return "No space left on device";
    case EROFS: return "Read-only file system";
    case EEXIST: return "File exists";
    case ENAMETOOLONG: return "File name too long";
    case ENOMEM: return "Cannot allocate memory";
    case EMFILE: return "Too many open files";
    case EXDEV: return "Invalid cross-device link";
    case ELOOP: return "Too many levels of symbolic links";
    case ENOTSUP: return "Operation not supported";
    case EIO: return "Input/output error";
    default: break;
    }
    if (error < 0) {
        wchar_t* text = nullptr;
        const DWORD size = ::FormatMessageW(
            FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                FORMAT_MESSAGE_IGNORE_INSERTS,
            nullptr, static_cast<DWORD>(-error), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
        std::wstring words = size > 0 && text ? std::wstring(text, size) : L"";
        if (text) ::LocalFree(text);
        while (!words.empty() && (words.back() == L'\n' || words.back() == L'\r' ||
                                  words.back() == L' ' || words.back() == L'.'))
            words.pop_back();
        if (!words.empty()) return narrow(words);
        return "Windows error " + std::to_string(-error);
    }
    return std::strerror(error);
}

FileChange file_change(const FileState& seen) {
    if (!seen.place) return FileChange::changed;
    bool link = false;
    Handle file{open_at(file_path(*seen.place), GENERIC_READ, link)};
    // What cannot be read again cannot be told unchanged.
    if (!file.valid()) return errno == ENOENT ? FileChange::removed : FileChange::changed;
    if (link) return FileChange::replaced;
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(file.h, &info)) return FileChange::changed;
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
        ::GetFileType(file.h) != FILE_TYPE_DISK)
        return FileChange::replaced;
    if (!seen.existed) return FileChange::changed;
    if (same_file(info, seen) && size_of(info) != seen.size) return FileChange::changed;
    FileState now;
    if (!read_through(file.h, now, [](std::string_view) { return true; }))
        return FileChange::changed;
    return now.size == seen.size && now.digest == seen.digest ? FileChange::none
                                                              : FileChange::changed;
}

SaveResult save_image(const FileState& seen, const Wert& wert, int* error) {
    errno = 0;
    const SaveResult result = save_here(seen, wert);
    if (result != SaveResult::saved) tell_error(error);
    return result;
}

SaveResult save_image(const std::string& path, const Wert& wert) {
    auto place = std::make_shared<Place>();
    if (!locate(path, *place)) return SaveResult::cannot_open;
    FileState now;
    bool link = false;
    Handle found{open_at(file_path(*place), FILE_READ_ATTRIBUTES, link)};
    BY_HANDLE_FILE_INFORMATION info{};
    if (found.valid() && !link && plain_file(found.h, info)) remember(now, info);
    found.close();
    now.place = std::move(place);
    return save_image(now, wert);
}

std::string save_rescue(const FileState& seen, const Wert& wert) {
    const std::string text = format_image(wert);
    std::string base = "ulo.txt";
    if (seen.place) {
        base = seen.place->name;
        const std::string name = write_rescue(seen.place->folder, base, text);
        if (!name.empty()) return seen.place->prefix + name;
    }
    // The folder refuses (or its disk is full): the temporary folder.
    std::vector<wchar_t> buffer(MAX_PATH + 1);
    const DWORD size = ::GetTempPathW(static_cast<DWORD>(buffer.size()), buffer.data());
    if (size == 0 || size >= buffer.size()) return "";
    std::wstring folder(buffer.data(), size);
    if (folder.back() != L'\\') folder += L'\\';
    const std::string name = write_rescue(folder, base, text);
    return name.empty() ? "" : narrow(folder) + name;
}

} // namespace ulo
