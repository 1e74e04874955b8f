// The storage's steps on a POSIX file system. Everything works relative to the file's folder,
// held open from the moment the file is found, and never through a symbolic link.
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include "eeprom/disk.hpp"
#include "eeprom/file.hpp"

namespace ulo {
namespace disk {

namespace {

int fd_of(Handle h) { return static_cast<int>(h); }

Kind kind_of(mode_t mode) {
    if (S_ISREG(mode)) return Kind::file;
    if (S_ISDIR(mode)) return Kind::folder;
    if (S_ISLNK(mode)) return Kind::link;
    return Kind::other;
}

void fill_info(const struct stat& st, Info& info) {
    info.kind = kind_of(st.st_mode);
    info.device = static_cast<std::uint64_t>(st.st_dev);
    info.id = static_cast<std::uint64_t>(st.st_ino);
    info.size = static_cast<std::uint64_t>(st.st_size);
    info.links = static_cast<std::uint64_t>(st.st_nlink);
    info.read_only = (st.st_mode & 0222) == 0;
    info.mode = st.st_mode & 0777;
    info.owner = st.st_uid;
    info.group = st.st_gid;
}

// Opens a folder to work in. Search permission is enough to make and rename files in it by
// name; without read permission the descriptor can only name it (and neither sync nor lock
// it).
int open_folder(const std::string& dir) {
    int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0 && errno == EACCES) fd = ::open(dir.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    return fd;
}

bool same(const struct stat& a, const Info& b) {
    return static_cast<std::uint64_t>(a.st_dev) == b.device &&
           static_cast<std::uint64_t>(a.st_ino) == b.id;
}

} // namespace

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
    place.folder_path = place.prefix;
    if (place.name.empty() || place.name == "." || place.name == "..") {
        errno = EISDIR;
        return false;
    }
    place.folder = open_folder(place.prefix.empty()       ? "."
                               : place.prefix.size() == 1 ? "/"
                                                          : place.prefix.substr(0, slash));
    return place.folder >= 0 && describe(place.folder, place.found);
}

bool look(const Place& place, const std::string& name, Info& info) {
    struct stat st {};
    if (::fstatat(fd_of(place.folder), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        fill_info(st, info);
        return true;
    }
    info = Info{};
    return errno == ENOENT;
}

bool describe(Handle h, Info& info) {
    struct stat st {};
    if (::fstat(fd_of(h), &st) != 0) return false;
    fill_info(st, info);
    // Extended attributes (an access list among them) stay with the file itself.
    if (info.kind == Kind::file) {
        const ssize_t size = ::flistxattr(fd_of(h), nullptr, 0);
        info.extras =
            size != 0 && !(size < 0 && (errno == ENOTSUP || errno == ENOSYS || errno == EBADF));
    }
    return true;
}

Kind kind_at(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? kind_of(st.st_mode) : Kind::missing;
}

bool folder_moved(const Place& place, bool& gone) {
    struct stat st {};
    const std::string dir = place.folder_path.empty() ? "." : place.folder_path;
    gone = ::stat(dir.c_str(), &st) != 0;
    return gone || !same(st, place.found);
}

std::string folder_now(const Place& place) {
    char buffer[PATH_MAX + 1];
    const std::string link = "/proc/self/fd/" + std::to_string(place.folder);
    const ssize_t n = ::readlink(link.c_str(), buffer, PATH_MAX);
    if (n <= 0 || buffer[0] != '/') return "";
    std::string dir(buffer, static_cast<std::size_t>(n));
    return dir.back() == '/' ? dir : dir + "/";
}

Handle open_file(const Place& place, bool write) {
    // Non-blocking, so that a FIFO without a writer cannot hold the program forever; it is
    // refused below anyway, as is everything but a regular file.
    const int fd = ::openat(fd_of(place.folder), place.name.c_str(),
                            (write ? O_RDWR : O_RDONLY) | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW);
    if (fd < 0) return no_handle;
    struct stat st {};
    const bool described = ::fstat(fd, &st) == 0;
    if (!described || !S_ISREG(st.st_mode)) {
        const int error = !described ? errno : S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        ::close(fd);
        errno = error;
        return no_handle;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        ::close(fd);
        return no_handle;
    }
    return fd;
}

Handle open_stream(const std::string& path) {
    const int fd = path == "-" ? ::fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 0)
                               : ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    return fd < 0 ? no_handle : fd;
}

Handle create(const Place& place, const std::string& name, bool owner_only) {
    (void)owner_only; // every new file is its owner's alone until it is given its mode
    const int fd = ::openat(fd_of(place.folder), name.c_str(),
                            O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    return fd < 0 ? no_handle : fd;
}

long long read_on(Handle h, char* buffer, std::size_t size) {
    for (;;) {
        const ssize_t n = ::read(fd_of(h), buffer, size);
        if (n >= 0 || errno != EINTR) return n;
    }
}

long long read_at(Handle h, std::uint64_t at, char* buffer, std::size_t size) {
    for (;;) {
        const ssize_t n = ::pread(fd_of(h), buffer, size, static_cast<off_t>(at));
        if (n >= 0 || errno != EINTR) return n;
    }
}

bool write_at(Handle h, std::uint64_t at, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::pwrite(fd_of(h), data.data(), data.size(), static_cast<off_t>(at));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) {
            errno = EIO;
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(n));
        at += static_cast<std::uint64_t>(n);
    }
    return true;
}

bool sync(Handle h) { return ::fsync(fd_of(h)) == 0; }
bool cut(Handle h, std::uint64_t size) {
    return ::ftruncate(fd_of(h), static_cast<off_t>(size)) == 0;
}
void forget_cache(Handle h) { ::posix_fadvise(fd_of(h), 0, 0, POSIX_FADV_DONTNEED); }
bool close(Handle h) { return ::close(fd_of(h)) == 0; }

bool give_owner(Handle h, const Info& like) {
    struct stat now {};
    if (::fstat(fd_of(h), &now) != 0) return false;
    if (now.st_uid == like.owner && now.st_gid == like.group) return true;
    return ::fchown(fd_of(h), like.owner, like.group) == 0;
}

bool give_mode(Handle h, const Info& like) { return ::fchmod(fd_of(h), like.mode) == 0; }

std::uint32_t new_file_mode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

bool rename_over(const Place& place, const std::string& from) {
    return ::renameat(fd_of(place.folder), from.c_str(), fd_of(place.folder), place.name.c_str()) ==
           0;
}

bool remove(const Place& place, const std::string& name) {
    return ::unlinkat(fd_of(place.folder), name.c_str(), 0) == 0;
}

void sync_folder(const Place& place) { ::fsync(fd_of(place.folder)); }

// The lock is the folder's own, taken on the descriptor held open, so it is given up with it
// when the process ends, however it ends.
bool try_lock(const Place& place) {
    if (::flock(fd_of(place.folder), LOCK_EX | LOCK_NB) == 0) {
        place.lock = place.folder;
        return true;
    }
    if (errno == EINTR) errno = EWOULDBLOCK;
    return false;
}

void unlock(const Place& place) {
    ::flock(fd_of(place.folder), LOCK_UN);
    place.lock = no_handle;
}

int errno_from_system(unsigned long code) { return static_cast<int>(code); }

void random_bytes(unsigned char* bytes, std::size_t count) {
    if (::getrandom(bytes, count, GRND_NONBLOCK) == static_cast<ssize_t>(count)) return;
    // Without the system's randomness: the clock and the process, still unlikely to repeat.
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    std::uint64_t mix =
        digest(digest_start, std::to_string(now.tv_nsec) + "." + std::to_string(::getpid()));
    for (std::size_t i = 0; i < count; ++i) bytes[i] = static_cast<unsigned char>(mix >>= 8);
}

std::string local_stamp() {
    const std::time_t now = std::time(nullptr);
    struct tm local {};
    char stamp[32] = "";
    if (::localtime_r(&now, &local) != nullptr)
        std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    return stamp;
}

std::vector<std::string> temporary_folders() {
    std::vector<std::string> folders;
    const char* tmp = std::getenv("TMPDIR");
    if (tmp && *tmp)
        folders.push_back(std::string(tmp) + (tmp[std::strlen(tmp) - 1] == '/' ? "" : "/"));
    folders.push_back("/tmp/");
    return folders;
}

} // namespace disk

std::string error_text(int error) { return std::strerror(error); }

} // namespace ulo
