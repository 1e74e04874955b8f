// Reading and writing "ulo.txt".
#include "eeprom/file.hpp"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
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

// Writes the new contents into the temporary file and gives it the old file's permissions
// and owner; the descriptor is closed in any case.
bool fill_temporary(int fd, const std::string& text, mode_t mode, const struct stat* old) {
    Fd file{fd};
    if (!write_all(fd, text)) return false;
    // Only root can hand the file back to its owner. Should that fail, the new file belongs
    // to root but its contents are still right, so the save goes on.
    if (old != nullptr && ::geteuid() == 0) {
        [[maybe_unused]] int ignored = ::fchown(fd, old->st_uid, old->st_gid);
    }
    if (::fchmod(fd, mode) != 0) return false;
    // Contents and permissions must be on the disk before the name moves over to them.
    if (::fsync(fd) != 0) return false;
    return ::close(file.release()) == 0;
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

LoadResult load_image(const std::string& path, Wert& wert) {
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
    while (!reader.too_many) {
        ssize_t n = read_some(file.fd, buffer.data(), buffer.size());
        // A file that opened but cannot be read is as unusable as one that did not open.
        if (n < 0) return LoadResult::cannot_open;
        if (n == 0) break;
        feed(reader, std::string_view(buffer.data(), static_cast<std::size_t>(n)));
    }
    if (!finished(reader)) return LoadResult::incorrect;
    wert = read;
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
    const std::string dir = directory_of(target);
    std::string temporary = dir + "/." + base_name_of(target) + ".XXXXXX";
    std::vector<char> name(temporary.begin(), temporary.end());
    name.push_back('\0');
    int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) return SaveResult::cannot_open;
    temporary = name.data();

    if (!fill_temporary(fd, text, mode, exists ? &st : nullptr) ||
        ::rename(temporary.c_str(), target.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return SaveResult::cannot_write;
    }
    sync_directory(dir);
    return SaveResult::saved;
}

} // namespace ulo
