// The few things the storage of "ulo.txt" asks of the operating system: open, read, write at,
// sync, cut, create, rename, identify and lock. disk_posix.cpp and disk_windows.cpp give them;
// storage.cpp holds every rule of loading and saving, once, over them.
//
// Failures leave the reason in errno, as the C library's values (EACCES, ENOENT, ...), so that
// the rules and the messages are the same on every system.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ulo {

namespace disk {

// An open file or folder: a descriptor, or a Windows handle.
using Handle = std::intptr_t;
constexpr Handle no_handle = -1;

enum class Kind { missing, file, folder, link, other };

// What is at a name, or behind a handle.
struct Info {
    Kind kind = Kind::missing;
    std::uint64_t device = 0, id = 0, size = 0, links = 1;
    bool read_only = false; // no write bit at all, or the read-only attribute: its owner meant
                            // it not to be overwritten
    bool extras = false;    // extended attributes or an access list a new file would not carry
    // What a new file in its place is given: permission bits (or Windows attributes), owner
    // and group.
    std::uint32_t mode = 0, owner = 0, group = 0;
};

} // namespace disk

// Where the file is: its folder, held open from the moment the file is found, and its name
// there. Whatever happens to the path meanwhile, a save writes into that folder, under that
// name, and never through a link.
struct Place {
    disk::Handle folder = disk::no_handle;
    std::string name;        // the file's name in its folder, as the folder spells it
    std::string prefix;      // how messages name the folder: "" or "some/folder/"
    std::string folder_path; // the folder as the path named it: "" or "some/folder/"
    std::string full;        // Windows: the folder's full path as found, with its separator
    disk::Info found;        // the folder when it was found
    disk::Info file;         // the file when it was read (kind missing: there was none)
    mutable disk::Handle lock = disk::no_handle; // the save lock, while it is held

    Place() = default;
    Place(const Place&) = delete;
    Place& operator=(const Place&) = delete;
    ~Place();
};

namespace disk {

// Finds the place of the file a path names: a symbolic link there is followed now, once; the
// file itself may be missing. False when its folder cannot be opened.
bool locate(const std::string& path, Place& place);
// What is at a name in the place's folder, without following a link; false when it cannot be
// told (a missing name is told: kind missing).
bool look(const Place& place, const std::string& name, Info& info);
bool describe(Handle h, Info& info);
// What a path names, links followed (missing where it names nothing).
Kind kind_at(const std::string& path);
// Whether the folder the path named is still the one held; `gone` when nothing is there now.
bool folder_moved(const Place& place, bool& gone);
// The folder's path now, for messages after it has moved; "" when the system cannot tell.
std::string folder_now(const Place& place);

// The plain file at the place, never through a link, for reading or for reading and writing;
// anything else (a folder, a pipe, a device) is refused at once.
Handle open_file(const Place& place, bool write);
// Anything readable a path names, links followed, pipes and devices too; "-" is standard input.
Handle open_stream(const std::string& path);
// Makes a new file in the place's folder that no other name has; with `owner_only` no one else
// may read it. errno EEXIST when the name is taken, ENAMETOOLONG when it is too long there.
Handle create(const Place& place, const std::string& name, bool owner_only);

// Reads on from where the handle stands, or from `at`: the count read, 0 at the end, -1 on an
// error. An interrupted call is tried again.
long long read_on(Handle h, char* buffer, std::size_t size);
long long read_at(Handle h, std::uint64_t at, char* buffer, std::size_t size);
bool write_at(Handle h, std::uint64_t at, std::string_view data);
// Contents (and, where they differ, size and permissions) on the disk.
bool sync(Handle h);
bool cut(Handle h, std::uint64_t size);
// What is read next comes from the disk, not from the system's cache, where it allows.
void forget_cache(Handle h);
// False when closing fails: the last of what was written may not have reached the file.
bool close(Handle h);

// A new file gets the old one's owner and group (false where the process may not give them)
// and its permissions or attributes.
bool give_owner(Handle h, const Info& like);
bool give_mode(Handle h, const Info& like);
// The mode a file the program creates gets where there was none before.
std::uint32_t new_file_mode();

// `from` in the place's folder takes the file's name in one step: at no moment is the name
// empty, and the rename reaches the disk.
bool rename_over(const Place& place, const std::string& from);
bool remove(const Place& place, const std::string& name);
// Makes a rename in the folder reach the disk; a failure here cannot harm the file any more.
void sync_folder(const Place& place);

// The save lock of the place's folder, which every ulocfg run takes before it saves there:
// false with errno EWOULDBLOCK while another holds it, or with another errno where the folder
// cannot be locked.
bool try_lock(const Place& place);
void unlock(const Place& place);

// The errno value for a failure code the system gives (on POSIX systems the code is one
// already; on Windows, a GetLastError code), so that it is told in the words other systems
// use for the same failure.
int errno_from_system(unsigned long code);

// Bytes from the system's randomness (or, without it, from the clock and the process).
void random_bytes(unsigned char* bytes, std::size_t count);
// The local time as YYYYMMDD-HHMMSS.
std::string local_stamp();
// Where rescue copies go when the file's folder refuses them, in order.
std::vector<std::string> temporary_folders();

} // namespace disk
} // namespace ulo
