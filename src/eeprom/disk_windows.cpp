// The storage's steps on a Windows file system.
//
// Paths arrive in UTF-8 and go to the system in UTF-16, so that folders named in any script
// work; the file is read and written as bytes, so that it holds on disk exactly what it holds
// on any other system. The file's folder is fixed by its full path when the file is found, and
// is not held open, so that it can still be removed or renamed while the editor runs; its
// identity is kept, so that a folder moved away from that path meanwhile is told.
//
// Errors are told as the C library's errno values, with the words other systems use for them,
// so that a message reads the same wherever the program runs.
#define _CRT_RAND_S // rand_s: the system's randomness for names no one can guess
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include <windows.h>

#include "eeprom/disk.hpp"
#include "eeprom/file.hpp"

namespace ulo {
namespace disk {

namespace {

constexpr DWORD chunk_size = 64 * 1024;
constexpr DWORD share_all = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

HANDLE handle_of(Handle h) { return reinterpret_cast<HANDLE>(h); }
Handle handle_from(HANDLE h) {
    return h == INVALID_HANDLE_VALUE ? no_handle : reinterpret_cast<Handle>(h);
}

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

// The full path of what a handle has open, as a person reads it; "" when the system cannot
// tell.
std::wstring path_of(HANDLE h) {
    std::vector<wchar_t> buffer(MAX_PATH);
    DWORD size = 0;
    while ((size = ::GetFinalPathNameByHandleW(h, buffer.data(), static_cast<DWORD>(buffer.size()),
                                               0)) >= buffer.size())
        buffer.resize(size + 1);
    return size == 0 ? std::wstring() : readable(std::wstring(buffer.data(), size));
}

// The folder's full path, ending in a separator.
std::wstring folder_of(const Place& place) {
    std::wstring full;
    widen(place.full, full);
    return full;
}

std::wstring name_path(const Place& place, const std::string& name) {
    std::wstring wide;
    widen(name, wide);
    return long_form(folder_of(place) + wide);
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

void fill_info(const BY_HANDLE_FILE_INFORMATION& info, Info& out) {
    out.kind = info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY ? Kind::folder : Kind::file;
    out.device = info.dwVolumeSerialNumber;
    out.id = (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
    out.size = (std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
    out.links = info.nNumberOfLinks;
    out.read_only = (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
    out.extras = false;
    // The attributes a new file in its place keeps (hidden, say).
    out.mode =
        info.dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                 FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
}

bool describe_handle(HANDLE h, Info& info) {
    BY_HANDLE_FILE_INFORMATION found{};
    if (!::GetFileInformationByHandle(h, &found)) return failed();
    fill_info(found, info);
    if (info.kind == Kind::file && ::GetFileType(h) != FILE_TYPE_DISK) info.kind = Kind::other;
    return true;
}

// The folder part of a path as given, as messages show it, and the name after it.
void split(const std::string& path, std::string& prefix, std::string& name) {
    std::string::size_type cut = path.find_last_of("/\\");
    // "C:ulo.txt" names ulo.txt in the current folder of drive C.
    if (cut == std::string::npos && path.size() >= 2 && path[1] == ':') cut = 1;
    prefix = cut == std::string::npos ? "" : path.substr(0, cut + 1);
    name = cut == std::string::npos ? path : path.substr(cut + 1);
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

} // namespace

bool locate(const std::string& path, Place& place) {
    std::string name;
    split(path, place.prefix, name);
    place.folder_path = place.prefix;
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
    {
        const HANDLE found = open_at(long_form(full), FILE_READ_ATTRIBUTES, link);
        if (found != INVALID_HANDLE_VALUE) ::CloseHandle(found);
    }
    if (link) {
        // A link that names nothing is refused rather than followed into creating a file
        // somewhere else.
        const HANDLE target =
            ::CreateFileW(long_form(full).c_str(), FILE_READ_ATTRIBUTES, share_all, nullptr,
                          OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (target == INVALID_HANDLE_VALUE) return failed();
        full = path_of(target);
        ::CloseHandle(target);
        if (full.empty()) return failed();
    }
    const std::wstring::size_type cut = full.rfind(L'\\');
    if (cut == std::wstring::npos || cut + 1 == full.size()) {
        errno = EISDIR;
        return false;
    }
    const std::wstring folder = full.substr(0, cut + 1);
    std::wstring wide = full.substr(cut + 1);
    // The name as the folder spells it: "ULO.TXT" given finds "ulo.txt", which keeps its case.
    WIN32_FIND_DATAW data{};
    const HANDLE search = ::FindFirstFileW(long_form(full).c_str(), &data);
    if (search != INVALID_HANDLE_VALUE) {
        ::FindClose(search);
        if (::CompareStringOrdinal(data.cFileName, -1, wide.c_str(), -1, TRUE) == CSTR_EQUAL)
            wide = data.cFileName;
    }
    place.full = narrow(folder);
    place.name = narrow(wide);
    if (link) place.prefix = narrow(readable(folder));

    // What the folder is; named without its last separator, which a file in the folder's
    // place would not be found with; a drive's root keeps it ("C:\\").
    std::wstring bare = folder;
    if (bare.size() > 1 && bare[bare.size() - 2] != L':') bare.pop_back();
    const HANDLE h = ::CreateFileW(long_form(bare).c_str(), FILE_READ_ATTRIBUTES, share_all,
                                   nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return failed();
    const bool told = describe_handle(h, place.found);
    ::CloseHandle(h);
    if (!told) return false;
    if (place.found.kind != Kind::folder) {
        errno = ENOTDIR;
        return false;
    }
    return true;
}

bool look(const Place& place, const std::string& name, Info& info) {
    info = Info{};
    bool link = false;
    // Asking what is there needs no right to the file and is never refused by the programs
    // that hold it open.
    const HANDLE h = open_at(name_path(place, name), FILE_READ_ATTRIBUTES, link);
    if (h == INVALID_HANDLE_VALUE) return errno == ENOENT;
    const bool told = describe_handle(h, info);
    ::CloseHandle(h);
    if (link) info.kind = Kind::link;
    return told;
}

bool describe(Handle h, Info& info) { return describe_handle(handle_of(h), info); }

Kind kind_at(const std::string& path) {
    std::wstring wide;
    if (!widen(path, wide)) return Kind::missing;
    const HANDLE h = ::CreateFileW(wide.c_str(), FILE_READ_ATTRIBUTES, share_all, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return Kind::missing;
    Info info;
    const bool told = describe_handle(h, info);
    ::CloseHandle(h);
    return told ? info.kind : Kind::other;
}

bool folder_moved(const Place& place, bool& gone) {
    std::wstring given;
    widen(place.folder_path.empty() ? "." : place.folder_path, given);
    const HANDLE h = ::CreateFileW(given.c_str(), FILE_READ_ATTRIBUTES, share_all, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    gone = h == INVALID_HANDLE_VALUE;
    if (gone) return true;
    Info now;
    const bool told = describe_handle(h, now);
    ::CloseHandle(h);
    return told && (now.device != place.found.device || now.id != place.found.id);
}

// Not held open, the folder is not followed where it moves: a save writes at its path.
std::string folder_now(const Place&) { return ""; }

Handle open_file(const Place& place, bool write) {
    bool link = false;
    const HANDLE h = open_at(name_path(place, place.name),
                             write ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ, link);
    if (h == INVALID_HANDLE_VALUE) return no_handle;
    Info info;
    if (link || !describe_handle(h, info) || info.kind != Kind::file) {
        const int error = link ? ELOOP : info.kind == Kind::folder ? EISDIR : EINVAL;
        ::CloseHandle(h);
        errno = error;
        return no_handle;
    }
    return handle_from(h);
}

Handle open_stream(const std::string& path) {
    if (path == "-") {
        HANDLE copy = INVALID_HANDLE_VALUE;
        if (!::DuplicateHandle(::GetCurrentProcess(), ::GetStdHandle(STD_INPUT_HANDLE),
                               ::GetCurrentProcess(), &copy, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
            failed();
            return no_handle;
        }
        return handle_from(copy);
    }
    std::wstring wide;
    if (!widen(path, wide)) return no_handle;
    const HANDLE h = ::CreateFileW(wide.c_str(), GENERIC_READ, share_all, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) failed();
    return handle_from(h);
}

Handle create(const Place& place, const std::string& name, bool owner_only) {
    OwnerOnly security;
    SECURITY_ATTRIBUTES* attributes =
        owner_only && make_owner_only(security) ? &security.attributes : nullptr;
    const HANDLE h =
        ::CreateFileW(name_path(place, name).c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0,
                      attributes, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) return handle_from(h);
    const DWORD code = ::GetLastError();
    // Too long a name is refused in several ways, by the file systems and by Wine.
    errno = code == ERROR_FILENAME_EXCED_RANGE || code == ERROR_INVALID_NAME ||
                    code == ERROR_FILE_NOT_FOUND
                ? ENAMETOOLONG
                : errno_of(code);
    return no_handle;
}

long long read_on(Handle h, char* buffer, std::size_t size) {
    DWORD n = 0;
    const DWORD part = size < chunk_size ? static_cast<DWORD>(size) : chunk_size;
    if (::ReadFile(handle_of(h), buffer, part, &n, nullptr)) return n;
    // The writing end of a pipe closed: the end of what it gives.
    if (::GetLastError() == ERROR_BROKEN_PIPE) return 0;
    failed();
    return -1;
}

long long read_at(Handle h, std::uint64_t at, char* buffer, std::size_t size) {
    OVERLAPPED where{};
    where.Offset = static_cast<DWORD>(at);
    where.OffsetHigh = static_cast<DWORD>(at >> 32);
    DWORD n = 0;
    const DWORD part = size < chunk_size ? static_cast<DWORD>(size) : chunk_size;
    if (::ReadFile(handle_of(h), buffer, part, &n, &where)) return n;
    if (::GetLastError() == ERROR_HANDLE_EOF) return 0;
    failed();
    return -1;
}

bool write_at(Handle h, std::uint64_t at, std::string_view data) {
    while (!data.empty()) {
        OVERLAPPED where{};
        where.Offset = static_cast<DWORD>(at);
        where.OffsetHigh = static_cast<DWORD>(at >> 32);
        DWORD n = 0;
        const DWORD part = data.size() < chunk_size ? static_cast<DWORD>(data.size()) : chunk_size;
        if (!::WriteFile(handle_of(h), data.data(), part, &n, &where)) return failed();
        if (n == 0) {
            errno = EIO;
            return false;
        }
        data.remove_prefix(n);
        at += n;
    }
    return true;
}

bool sync(Handle h) { return ::FlushFileBuffers(handle_of(h)) || failed(); }

bool cut(Handle h, std::uint64_t size) {
    FILE_END_OF_FILE_INFO end{};
    end.EndOfFile.QuadPart = static_cast<LONGLONG>(size);
    return ::SetFileInformationByHandle(handle_of(h), FileEndOfFileInfo, &end, sizeof end) ||
           failed();
}

void forget_cache(Handle) {}

bool close(Handle h) { return ::CloseHandle(handle_of(h)) || failed(); }

bool give_owner(Handle, const Info&) { return true; }

bool give_mode(Handle h, const Info& like) {
    if (like.mode == 0) return true;
    FILE_BASIC_INFO basic{};
    basic.FileAttributes = like.mode;
    return ::SetFileInformationByHandle(handle_of(h), FileBasicInfo, &basic, sizeof basic) ||
           failed();
}

std::uint32_t new_file_mode() { return 0; }

bool rename_over(const Place& place, const std::string& from) {
    // A program that holds the file open without letting it be renamed or deleted keeps it:
    // that is told as busy, not as a lack of rights, which the move would say.
    const std::wstring target = name_path(place, place.name);
    const HANDLE check = ::CreateFileW(target.c_str(), DELETE, share_all, nullptr, OPEN_EXISTING,
                                       FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (check != INVALID_HANDLE_VALUE)
        ::CloseHandle(check);
    else if (::GetLastError() == ERROR_SHARING_VIOLATION)
        return failed();
    // One step: the name goes from the old file to the new one, never empty between.
    return ::MoveFileExW(name_path(place, from).c_str(), target.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) ||
           failed();
}

bool remove(const Place& place, const std::string& name) {
    return ::DeleteFileW(name_path(place, name).c_str()) || failed();
}

void sync_folder(const Place&) {}

// A named mutex from the folder's identity (its volume and file index): every ulocfg run of
// this computer that saves in the folder asks for the same one. The system gives it up when
// the process ends, however it ends.
bool try_lock(const Place& place) {
    wchar_t name[96];
    std::swprintf(name, sizeof name / sizeof name[0], L"ulocfg-save-%08llx-%016llx",
                  static_cast<unsigned long long>(place.found.device),
                  static_cast<unsigned long long>(place.found.id));
    HANDLE mutex = nullptr;
    for (const wchar_t* space : {L"Global\\", L"Local\\"}) {
        mutex = ::CreateMutexW(nullptr, FALSE, (std::wstring(space) + name).c_str());
        if (mutex) break;
    }
    if (!mutex) return failed();
    const DWORD waited = ::WaitForSingleObject(mutex, 0);
    // Abandoned: a run that held it ended without giving it up; it is ours now.
    if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) {
        place.lock = handle_from(mutex);
        return true;
    }
    ::CloseHandle(mutex);
    errno = EWOULDBLOCK;
    return false;
}

void unlock(const Place& place) {
    ::ReleaseMutex(handle_of(place.lock));
    ::CloseHandle(handle_of(place.lock));
    place.lock = no_handle;
}

int errno_from_system(unsigned long code) { return errno_of(static_cast<DWORD>(code)); }

void random_bytes(unsigned char* bytes, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
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
        bytes[i] = static_cast<unsigned char>(value);
    }
}

std::string local_stamp() {
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%04u%02u%02u-%02u%02u%02u", now.wYear, now.wMonth, now.wDay,
                  now.wHour, now.wMinute, now.wSecond);
    return stamp;
}

std::vector<std::string> temporary_folders() {
    std::vector<wchar_t> buffer(MAX_PATH + 1);
    const DWORD size = ::GetTempPathW(static_cast<DWORD>(buffer.size()), buffer.data());
    if (size == 0 || size >= buffer.size()) return {};
    std::wstring folder(buffer.data(), size);
    if (folder.back() != L'\\') folder += L'\\';
    return {narrow(folder)};
}

} // namespace disk

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
        if (!words.empty()) return disk::narrow(words);
        return "Windows error " + std::to_string(-error);
    }
    return std::strerror(error);
}

} // namespace ulo
