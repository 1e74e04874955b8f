// Reading and writing "ulo.txt".
#include "eeprom/file.hpp"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ulo {

namespace {

constexpr char header_text[] = "ULO EEPROM Memory:";
constexpr std::size_t chunk_size = 64 * 1024;

bool is_space(char c) {
    switch (c) {
    case ' ':
    case '\t':
    case '\n':
    case '\r':
    case '\v':
    case '\f': return true;
    default: return false;
    }
}

// Closes a descriptor on every way out of a function.
struct Fd {
    int fd = -1;
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

bool write_all(int fd, std::string_view data) {
    while (!data.empty()) {
        ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) return false;
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

std::string directory_of(const std::string& path) {
    std::string::size_type slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string base_name_of(const std::string& path) {
    std::string::size_type slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The mode a freshly created file would get from the process's umask.
mode_t default_file_mode() {
    mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

// Makes the rename reach the disk too; a failure here cannot harm the file any more.
void sync_directory(const std::string& dir) {
    int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

// Writes the new contents into the temporary file with the old file's permissions; the
// descriptor is closed in any case.
bool fill_temporary(int fd, const std::string& text, mode_t mode) {
    Fd file{fd};
    if (!write_all(fd, text)) return false;
    if (::fchmod(fd, mode) != 0) return false;
    // Contents and permissions must be on the disk before the name moves over to them.
    if (::fsync(fd) != 0) return false;
    return ::close(file.release()) == 0;
}

// Gives a new file the old one's owner and group, if they differ; false where the process may
// not (only root may give a file away, others only to a group they belong to).
bool keep_owner(int fd, const struct stat& old) {
    struct stat now {};
    if (::fstat(fd, &now) != 0) return false;
    if (now.st_uid == old.st_uid && now.st_gid == old.st_gid) return true;
    return ::fchown(fd, old.st_uid, old.st_gid) == 0;
}

bool pwrite_all(int fd, std::string_view data) {
    off_t at = 0;
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

// `text` written from the start, the file cut to its length and synced.
bool rewrite(int fd, const std::string& text) {
    return pwrite_all(fd, text) && ::ftruncate(fd, static_cast<off_t>(text.size())) == 0 &&
           ::fsync(fd) == 0;
}

// Writes the file in place, checked: the old text is kept in memory, the new text written
// whole, synced and read back (from the disk, not the cache, where the system allows); on any
// failure the old text goes back.
SaveResult save_in_place(const std::string& target, const std::string& text) {
    Fd file{::open(target.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW)};
    if (file.fd < 0) return SaveResult::cannot_open;
    struct stat st {};
    std::string old;
    if (::fstat(file.fd, &st) != 0 || !S_ISREG(st.st_mode) || !pread_all(file.fd, old))
        return SaveResult::cannot_open;
    std::string back;
    if (rewrite(file.fd, text)) {
        ::posix_fadvise(file.fd, 0, 0, POSIX_FADV_DONTNEED);
        if (pread_all(file.fd, back) && back == text) return SaveResult::saved;
    }
    rewrite(file.fd, old);
    return SaveResult::cannot_write;
}

std::string rescue_name(const std::string& base, int attempt) {
    const std::time_t now = std::time(nullptr);
    struct tm local {};
    char stamp[32] = "";
    if (::localtime_r(&now, &local) != nullptr)
        std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    std::string name = base + ".rescue-" + stamp;
    if (attempt > 1) name += "-" + std::to_string(attempt);
    return name;
}

// Makes the rescue file under `base` + ".rescue-..." with O_EXCL, writes and syncs it. The name,
// or "" with errno telling why.
std::string write_new(const std::string& base, const std::string& text, mode_t mode) {
    for (int attempt = 1; attempt <= 100; ++attempt) {
        const std::string name = rescue_name(base, attempt);
        Fd file{::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode)};
        if (file.fd < 0) {
            if (errno == EEXIST) continue;
            return "";
        }
        if (write_all(file.fd, text) && ::fsync(file.fd) == 0 && ::close(file.release()) == 0)
            return name;
        const int saved_errno = errno;
        ::unlink(name.c_str());
        errno = saved_errno;
        return "";
    }
    return "";
}

} // namespace

int convert(signed char value) {
    if (value >= '0' && value <= '9') return value - '0';
    if (value >= 'A' && value <= 'F') return value - 'A' + 10;
    return value;
}

void feed(ImageReader& reader, std::string_view text) {
    for (char c : text) {
        if (reader.too_many) return;
        if (is_space(c)) {
            reader.in_token = false;
            continue;
        }
        if (!reader.in_token) {
            reader.in_token = true;
            reader.in_header = !reader.header_seen;
            reader.header_seen = true;
            reader.first = 0;
            reader.second = 0;
        }
        if (reader.in_header) continue;
        if (c == 'h') {
            if (reader.i == eeprom_size) {
                // The 2049th value already makes the file wrong; nothing after it can help.
                reader.too_many = true;
                return;
            }
            int value = convert(reader.first) * 16 + convert(reader.second);
            (*reader.wert)[reader.i++] = static_cast<std::uint8_t>(value & 0xFF);
        }
        reader.first = reader.second;
        reader.second = static_cast<signed char>(c);
    }
}

bool finished(const ImageReader& reader) {
    return reader.header_seen && !reader.too_many && reader.i == eeprom_size;
}

bool parse_image(std::string_view text, Wert& wert) {
    Wert read{};
    ImageReader reader{&read};
    feed(reader, text);
    if (!finished(reader)) return false;
    wert = read;
    return true;
}

LoadResult load_image(const std::string& path, Wert& wert, FileState* seen) {
    // Non-blocking, so that a FIFO without a writer cannot hold the start-up forever; it is
    // refused below anyway, as is everything but a regular file.
    Fd file{::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)};
    if (file.fd < 0) return LoadResult::cannot_open;
    struct stat st {};
    if (::fstat(file.fd, &st) != 0 || !S_ISREG(st.st_mode)) return LoadResult::cannot_open;
    int flags = ::fcntl(file.fd, F_GETFL);
    if (flags < 0 || ::fcntl(file.fd, F_SETFL, flags & ~O_NONBLOCK) != 0)
        return LoadResult::cannot_open;

    Wert read{};
    ImageReader reader{&read};
    std::vector<char> buffer(chunk_size);
    FileState state{0, digest_start, static_cast<std::uint64_t>(st.st_dev),
                    static_cast<std::uint64_t>(st.st_ino)};
    while (!reader.too_many) {
        ssize_t n = read_some(file.fd, buffer.data(), buffer.size());
        // A file that opened but cannot be read is as unusable as one that did not open.
        if (n < 0) return LoadResult::cannot_open;
        if (n == 0) break;
        const std::string_view piece(buffer.data(), static_cast<std::size_t>(n));
        feed(reader, piece);
        state.size += piece.size();
        state.digest = digest(state.digest, piece);
    }
    if (!finished(reader)) return LoadResult::incorrect;
    wert = read;
    if (seen) *seen = state;
    return LoadResult::loaded;
}

std::string format_image(const Wert& wert) {
    std::string text = header_text;
    text.reserve(sizeof header_text - 1 + eeprom_size / 16 + eeprom_size * 4);
    char token[8];
    for (unsigned a = 0; a < eeprom_size; ++a) {
        if (a % 16 == 0) text += '\n';
        std::snprintf(token, sizeof token, "%02Xh ", static_cast<unsigned>(wert[a]));
        text += token;
    }
    return text;
}

std::uint64_t digest(std::uint64_t so_far, std::string_view text) {
    for (unsigned char c : text) so_far = (so_far ^ c) * 1099511628211ull;
    return so_far;
}

FileChange file_change(const std::string& path, const FileState& seen) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return errno == ENOENT ? FileChange::removed : FileChange::changed;
    if (static_cast<std::uint64_t>(st.st_dev) != seen.device ||
        static_cast<std::uint64_t>(st.st_ino) != seen.inode)
        return FileChange::replaced;
    if (static_cast<std::uint64_t>(st.st_size) != seen.size) return FileChange::changed;
    // What cannot be read again cannot be told unchanged.
    Fd file{::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)};
    if (file.fd < 0) return FileChange::changed;
    std::vector<char> buffer(chunk_size);
    std::uint64_t size = 0, now = digest_start;
    for (;;) {
        const ssize_t n = read_some(file.fd, buffer.data(), buffer.size());
        if (n < 0) return FileChange::changed;
        if (n == 0) break;
        size += static_cast<std::uint64_t>(n);
        now = digest(now, std::string_view(buffer.data(), static_cast<std::size_t>(n)));
    }
    return size == seen.size && now == seen.digest ? FileChange::none : FileChange::changed;
}

SaveResult save_image(const std::string& path, const Wert& wert) {
    // Through a symbolic link the file it names is replaced and the link stays. A link that
    // names nothing is refused rather than followed into creating a file somewhere else.
    std::string target = path;
    struct stat st {};
    bool exists = ::lstat(path.c_str(), &st) == 0;
    if (!exists && errno != ENOENT) return SaveResult::cannot_open;
    if (exists && S_ISLNK(st.st_mode)) {
        char resolved[PATH_MAX];
        if (::realpath(path.c_str(), resolved) == nullptr) return SaveResult::cannot_open;
        target = resolved;
        if (::stat(target.c_str(), &st) != 0) return SaveResult::cannot_open;
    }

    mode_t mode = default_file_mode();
    if (exists) {
        if (!S_ISREG(st.st_mode)) return SaveResult::cannot_open;
        // Root passes every access() test, so a file without any write bit counts as
        // read-only too: its owner meant it not to be overwritten.
        if (::access(target.c_str(), W_OK) != 0 || (st.st_mode & 0222) == 0)
            return SaveResult::cannot_open;
        mode = st.st_mode & 0777;
    }

    // Built before the temporary file exists: running out of memory here leaves nothing behind.
    const std::string text = format_image(wert);
    // A new file would part the other names of this one from the saved image.
    if (exists && st.st_nlink > 1) return save_in_place(target, text);
    const std::string dir = directory_of(target);
    std::string temporary = dir + "/." + base_name_of(target) + ".XXXXXX";
    std::vector<char> name(temporary.begin(), temporary.end());
    name.push_back('\0');
    int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) return exists ? save_in_place(target, text) : SaveResult::cannot_open;
    temporary = name.data();
    if (exists && !keep_owner(fd, st)) {
        ::close(fd);
        ::unlink(temporary.c_str());
        return save_in_place(target, text);
    }

    if (!fill_temporary(fd, text, mode) || ::rename(temporary.c_str(), target.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return SaveResult::cannot_write;
    }
    sync_directory(dir);
    return SaveResult::saved;
}

std::string save_rescue(const std::string& path, const Wert& wert) {
    const std::string text = format_image(wert);
    std::string name = write_new(path, text, default_file_mode());
    if (!name.empty()) return name;
    // The folder refuses (or its disk is full): the temporary folder, the copy readable only
    // by its owner there.
    const char* tmp = std::getenv("TMPDIR");
    if (tmp && *tmp) {
        name = write_new(std::string(tmp) + "/" + base_name_of(path), text, 0600);
        if (!name.empty()) return name;
    }
    return write_new("/tmp/" + base_name_of(path), text, 0600);
}

} // namespace ulo
