// "ulo.txt" on a POSIX file system: reading it, telling whether it changed, saving it without
// ever losing it, and rescue copies of edits that could not be saved.
//
// Everything works relative to the file's folder, held open from the moment the file is read:
// whatever happens to the path meanwhile (a folder renamed, a link put in the file's place), a
// save writes into that folder, under that name, and never through a link.
#include "eeprom/file.hpp"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace ulo {

struct Place {
    int folder = -1;    // the folder, held open
    std::string name;   // the file's name in it
    std::string prefix; // how messages name the folder: "" or "some/folder/"
    // The file as it was found: a new file that takes its name gets its permissions and owner.
    mode_t mode = 0;
    uid_t uid = 0;
    gid_t gid = 0;

    Place() = default;
    Place(const Place&) = delete;
    Place& operator=(const Place&) = delete;
    ~Place() {
        if (folder >= 0) ::close(folder);
    }
};

namespace {

constexpr std::size_t chunk_size = 64 * 1024;

// Closes a descriptor on every way out of a function.
struct Fd {
    int fd = -1;
    explicit Fd(int f) : fd(f) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() {
        if (fd >= 0) ::close(fd);
    }
    int release() {
        int f = fd;
        fd = -1;
        return f;
    }
};

// read() that retries an interrupted call; -1 only for a real error.
ssize_t read_some(int fd, char* buffer, std::size_t size) {
    for (;;) {
        ssize_t n = ::read(fd, buffer, size);
        if (n >= 0 || errno != EINTR) return n;
    }
}

bool pwrite_all(int fd, std::string_view data, off_t at = 0) {
    while (!data.empty()) {
        ssize_t n = ::pwrite(fd, data.data(), data.size(), at);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data.remove_prefix(static_cast<std::size_t>(n));
        at += n;
    }
    return true;
}

// The whole file from its start; false if reading fails.
bool pread_all(int fd, std::string& text) {
    text.clear();
    std::vector<char> buffer(chunk_size);
    for (off_t at = 0;;) {
        ssize_t n = ::pread(fd, buffer.data(), buffer.size(), at);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) return true;
        text.append(buffer.data(), static_cast<std::size_t>(n));
        at += n;
    }
}

// The mode a freshly created file would get from the process's umask.
mode_t default_file_mode() {
    mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

// Opens a folder to work in. Search permission is enough to make and rename files in it by
// name; without read permission the descriptor can only name it (and not sync it).
int open_folder(const std::string& dir) {
    int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0 && errno == EACCES) fd = ::open(dir.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    return fd;
}

// Finds the place of the file a path names: a symbolic link there is followed now, once; the
// file itself may be missing. False when its folder cannot be opened.
bool locate(const std::string& path, Place& place) {
    std::string target = path;
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        // A link that names nothing is refused rather than followed into creating a file
        // somewhere else.
        char resolved[PATH_MAX];
        if (::realpath(path.c_str(), resolved) == nullptr) return false;
        target = resolved;
    }
    const std::string::size_type slash = target.rfind('/');
    place.prefix = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    place.name = slash == std::string::npos ? target : target.substr(slash + 1);
    if (place.name.empty() || place.name == "." || place.name == "..") {
        errno = EISDIR;
        return false;
    }
    place.folder = open_folder(place.prefix.empty()       ? "."
                               : place.prefix.size() == 1 ? "/"
                                                          : place.prefix.substr(0, slash));
    return place.folder >= 0;
}

void remember(FileState& state, Place& place, const struct stat& st) {
    state.device = static_cast<std::uint64_t>(st.st_dev);
    state.inode = static_cast<std::uint64_t>(st.st_ino);
    state.existed = true;
    place.mode = st.st_mode & 0777;
    place.uid = st.st_uid;
    place.gid = st.st_gid;
}

bool same_file(const struct stat& st, const FileState& seen) {
    return seen.existed && static_cast<std::uint64_t>(st.st_dev) == seen.device &&
           static_cast<std::uint64_t>(st.st_ino) == seen.inode;
}

// Opens the regular file at the place for reading, never through a link; -1 otherwise.
int open_for_reading(const Place& place) {
    // Non-blocking, so that a FIFO without a writer cannot hold the start-up forever; it is
    // refused below anyway, as is everything but a regular file.
    Fd file{
        ::openat(place.folder, place.name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW)};
    struct stat st {};
    if (file.fd < 0 || ::fstat(file.fd, &st) != 0) return -1;
    if (!S_ISREG(st.st_mode)) {
        errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        return -1;
    }
    const int flags = ::fcntl(file.fd, F_GETFL);
    if (flags < 0 || ::fcntl(file.fd, F_SETFL, flags & ~O_NONBLOCK) != 0) return -1;
    return file.release();
}

// The length and digest of what a descriptor reads from where it stands; false if reading
// fails. Each piece goes to `piece` as well.
template <typename Piece> bool read_through(int fd, FileState& state, Piece piece) {
    std::vector<char> buffer(chunk_size);
    state.size = 0;
    state.digest = digest_start;
    for (;;) {
        const ssize_t n = read_some(fd, buffer.data(), buffer.size());
        if (n < 0) return false;
        if (n == 0) return true;
        const std::string_view text(buffer.data(), static_cast<std::size_t>(n));
        state.size += text.size();
        state.digest = digest(state.digest, text);
        if (!piece(text)) return true;
    }
}

// Makes the rename reach the disk too; a failure here cannot harm the file any more.
void sync_folder(const Place& place) { ::fsync(place.folder); }

// A name no one can guess ahead: six letters and digits from the system's randomness.
std::string random_part() {
    constexpr char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    unsigned char bytes[6] = {};
    if (::getrandom(bytes, sizeof bytes, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof bytes)) {
        // Without the system's randomness: the clock and the process, still unlikely to repeat.
        timespec now{};
        ::clock_gettime(CLOCK_REALTIME, &now);
        std::uint64_t mix =
            digest(digest_start, std::to_string(now.tv_nsec) + "." + std::to_string(::getpid()));
        for (unsigned char& b : bytes) b = static_cast<unsigned char>(mix >>= 8);
    }
    std::string part;
    for (unsigned char b : bytes) part += letters[b % (sizeof letters - 1)];
    return part;
}

// Makes a new file, readable and writable by its owner alone, named `stem` + `tail` + a random
// part in the folder; its descriptor, with its name in `made`, or -1 with errno telling why. A
// name too long for the folder is shortened in its stem.
int make_new(int folder, const std::string& stem, const std::string& tail, std::string& made) {
    std::string head = stem;
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = head + tail + random_part();
        const int fd = ::openat(folder, name.c_str(),
                                O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd >= 0) {
            made.swap(name); // cannot fail, so the file is never made without its name known
            return fd;
        }
        if (errno == ENAMETOOLONG && head.size() > 1) {
            head.resize(head.size() / 2);
            // Cut between characters, not inside one written in several bytes.
            while (head.size() > 1 && (static_cast<unsigned char>(head.back()) & 0xC0) == 0x80)
                head.pop_back();
            continue;
        }
        if (errno != EEXIST) return -1;
    }
    errno = EEXIST;
    return -1;
}

// Writes the new contents into a new file with the given permissions; the descriptor is closed
// in any case.
bool fill(int fd, const std::string& text, mode_t mode) {
    Fd file{fd};
    if (!pwrite_all(fd, text)) return false;
    if (::fchmod(fd, mode) != 0) return false;
    // Contents and permissions must be on the disk before the name moves over to them.
    if (::fsync(fd) != 0) return false;
    return ::close(file.release()) == 0;
}

// Gives a new file the old one's owner and group, if they differ; false where the process may
// not (only root may give a file away, others only to a group they belong to).
bool keep_owner(int fd, uid_t uid, gid_t gid) {
    struct stat now {};
    if (::fstat(fd, &now) != 0) return false;
    if (now.st_uid == uid && now.st_gid == gid) return true;
    return ::fchown(fd, uid, gid) == 0;
}

// Extended attributes (an access list among them) stay with the file itself; a new file in its
// place would lose them, and with them what they allow or forbid.
bool has_extended_attributes(int fd) {
    const ssize_t size = ::flistxattr(fd, nullptr, 0);
    return size != 0 && !(size < 0 && (errno == ENOTSUP || errno == ENOSYS));
}

// `text` written over the file from its start: when it is shorter than what the file holds, it
// is padded with spaces first, synced, and only then cut, so that a crash at any point leaves
// text that reads as the old image or as the new one.
bool overwrite(int fd, const std::string& text) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return false;
    const auto length = static_cast<std::size_t>(st.st_size);
    if (text.size() < length) {
        std::string padded = text;
        padded.resize(length, ' ');
        if (!pwrite_all(fd, padded) || ::fsync(fd) != 0) return false;
        return ::ftruncate(fd, static_cast<off_t>(text.size())) == 0 && ::fsync(fd) == 0;
    }
    return pwrite_all(fd, text) && ::fsync(fd) == 0;
}

// Writes the file in place, checked: the old text is kept in memory, the new text written
// whole, synced and read back (from the disk, not the cache, where the system allows); on any
// failure the old text goes back.
SaveResult save_in_place(int fd, const std::string& text) {
    std::string old;
    if (!pread_all(fd, old)) return SaveResult::cannot_open;
    std::string back;
    if (overwrite(fd, text)) {
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
        if (pread_all(fd, back)) {
            if (back == text) return SaveResult::saved;
            errno = EIO; // the disk gives back other bytes than were written
        }
    }
    overwrite(fd, old);
    return SaveResult::cannot_write;
}

enum class NewFile { saved, no_file, failed };

// A new file with `text` renamed over the name at the place, with the permissions, owner and
// group given. no_file: no new file could be made there, or (with `owner_must_stay`) given the
// owner; failed: it was made, but writing or renaming it failed (it is gone again).
NewFile replace_by_new_file(const Place& place, const std::string& text, mode_t mode, uid_t uid,
                            gid_t gid, bool owner_must_stay) {
    // Removed again on every way out, an exception's too, unless it has taken the name.
    struct Temporary {
        int folder;
        std::string name;
        ~Temporary() {
            if (!name.empty()) ::unlinkat(folder, name.c_str(), 0);
        }
    } temporary{place.folder, {}};
    const int fd = make_new(place.folder, "." + place.name, ".", temporary.name);
    if (fd < 0) return NewFile::no_file;
    if (!keep_owner(fd, uid, gid) && owner_must_stay) {
        ::close(fd);
        return NewFile::no_file;
    }
    if (!fill(fd, text, mode) ||
        ::renameat(place.folder, temporary.name.c_str(), place.folder, place.name.c_str()) != 0)
        return NewFile::failed;
    temporary.name.clear();
    sync_folder(place);
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

// Writes a rescue copy into a folder; the name written, or "" with errno telling why.
std::string write_rescue(int folder, const std::string& base, const std::string& text) {
    const std::time_t now = std::time(nullptr);
    struct tm local {};
    char stamp[32] = "";
    if (::localtime_r(&now, &local) != nullptr)
        std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    std::string name;
    Fd file{make_new(folder, base, std::string(".rescue-") + stamp + "-", name)};
    if (file.fd < 0) return "";
    if (pwrite_all(file.fd, text) && ::fsync(file.fd) == 0 && ::close(file.release()) == 0)
        return name;
    const int saved_errno = errno;
    ::unlinkat(folder, name.c_str(), 0);
    errno = saved_errno;
    return "";
}

} // namespace

namespace {

LoadResult load_here(const std::string& path, Wert& wert, FileState* seen) {
    auto place = std::make_shared<Place>();
    if (!locate(path, *place)) return LoadResult::cannot_open;
    Fd file{open_for_reading(*place)};
    struct stat st {};
    if (file.fd < 0 || ::fstat(file.fd, &st) != 0) return LoadResult::cannot_open;

    FileState state;
    const LoadResult result =
        read_image([&](auto piece) { return read_through(file.fd, state, piece); }, wert);
    if (result != LoadResult::loaded) return result;
    if (seen) {
        remember(state, *place, st);
        state.place = std::move(place);
        *seen = std::move(state);
    }
    return LoadResult::loaded;
}

// errno as the failed step left it; EIO where no step said why.
void tell_error(int* error) {
    if (error) *error = errno != 0 ? errno : EIO;
}

} // namespace

LoadResult load_image(const std::string& path, Wert& wert, FileState* seen, int* error) {
    errno = 0;
    const LoadResult result = load_here(path, wert, seen);
    if (result == LoadResult::cannot_open) tell_error(error);
    return result;
}

std::string error_text(int error) { return std::strerror(error); }

FileChange file_change(const FileState& seen) {
    if (!seen.place) return FileChange::changed;
    const Place& place = *seen.place;
    struct stat st {};
    if (::fstatat(place.folder, place.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT ? FileChange::removed : FileChange::changed;
    if (!S_ISREG(st.st_mode)) return FileChange::replaced;
    if (!seen.existed) return FileChange::changed;
    if (same_file(st, seen) && static_cast<std::uint64_t>(st.st_size) != seen.size)
        return FileChange::changed;
    // What cannot be read again cannot be told unchanged.
    Fd file{open_for_reading(place)};
    if (file.fd < 0) return FileChange::changed;
    FileState now;
    if (!read_through(file.fd, now, [](std::string_view) { return true; }))
        return FileChange::changed;
    return now.size == seen.size && now.digest == seen.digest ? FileChange::none
                                                              : FileChange::changed;
}

namespace {

SaveResult save_here(const FileState& seen, const Wert& wert) {
    if (!seen.place) return SaveResult::cannot_open;
    const Place& place = *seen.place;
    // Built before any new file exists: running out of memory here leaves nothing behind.
    const std::string text = format_image(wert);

    struct stat st {};
    if (::fstatat(place.folder, place.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno != ENOENT) return SaveResult::cannot_open;
        // No file there (any more): a new one, with what the old one had.
        const mode_t mode = seen.existed ? place.mode : default_file_mode();
        return result_of(replace_by_new_file(place, text, mode, place.uid, place.gid, false));
    }
    // A link put in the file's place is replaced by the file, never written through.
    if (S_ISLNK(st.st_mode))
        return result_of(replace_by_new_file(place, text, place.mode, place.uid, place.gid, false));
    if (!S_ISREG(st.st_mode)) {
        errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        return SaveResult::cannot_open;
    }

    Fd file{
        ::openat(place.folder, place.name.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK)};
    if (file.fd < 0 || ::fstat(file.fd, &st) != 0 || !S_ISREG(st.st_mode))
        return SaveResult::cannot_open;
    // Root may write every file, so a file without any write bit counts as read-only too: its
    // owner meant it not to be overwritten.
    if ((st.st_mode & 0222) == 0) {
        errno = EACCES;
        return SaveResult::cannot_open;
    }
    // Only the file that was read is ever written in place; another one that took its name
    // keeps what it holds and gives the name up.
    const bool loaded = same_file(st, seen);
    // A new file would part the other names of this one from the saved image, or lose its
    // extended attributes.
    if (loaded && (st.st_nlink > 1 || has_extended_attributes(file.fd)))
        return save_in_place(file.fd, text);
    const NewFile made =
        replace_by_new_file(place, text, st.st_mode & 0777, st.st_uid, st.st_gid, loaded);
    if (made == NewFile::no_file && loaded) return save_in_place(file.fd, text);
    return result_of(made);
}

} // namespace

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
    struct stat st {};
    if (::fstatat(place->folder, place->name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISREG(st.st_mode))
        remember(now, *place, st);
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
    const char* tmp = std::getenv("TMPDIR");
    for (const std::string& dir : {std::string(tmp && *tmp ? tmp : ""), std::string("/tmp")}) {
        if (dir.empty()) continue;
        Fd folder{open_folder(dir)};
        if (folder.fd < 0) continue;
        const std::string name = write_rescue(folder.fd, base, text);
        if (!name.empty()) return dir + (dir.back() == '/' ? "" : "/") + name;
    }
    return "";
}

} // namespace ulo
