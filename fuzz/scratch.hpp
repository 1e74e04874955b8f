// The one scratch file a fuzzing process loads and saves through, in a directory of its own
// that is made on first use and removed when the process ends.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include <fcntl.h>
#include <unistd.h>

namespace ulo::fuzz {

[[noreturn]] inline void scratch_failed(const char* what) {
    std::fprintf(stderr, "fuzz: %s\n", what);
    std::abort();
}

inline std::string& scratch_dir() {
    static std::string dir;
    return dir;
}

inline void remove_scratch() {
    ::unlink((scratch_dir() + "/ulo.txt").c_str());
    ::rmdir(scratch_dir().c_str());
}

// "ulo.txt" in the process's scratch directory. Saving syncs the file to disk, which costs
// nothing in memory, so /dev/shm is preferred where TMPDIR does not say otherwise.
inline const std::string& scratch_file(const char* name) {
    static std::string file;
    if (file.empty()) {
        const char* base = std::getenv("TMPDIR");
        std::string dir = base != nullptr && *base != '\0'  ? base
                          : ::access("/dev/shm", W_OK) == 0 ? "/dev/shm"
                                                            : "/tmp";
        std::string pattern = dir + "/ulocfg-" + name + ".XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) scratch_failed("cannot make a scratch directory");
        scratch_dir() = pattern;
        file = pattern + "/ulo.txt";
        std::atexit(remove_scratch);
    }
    return file;
}

inline void write_file(const std::string& path, std::string_view text) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) scratch_failed("cannot write the scratch file");
    while (!text.empty()) {
        const ssize_t n = ::write(fd, text.data(), text.size());
        if (n <= 0) scratch_failed("cannot write the scratch file");
        text.remove_prefix(static_cast<std::size_t>(n));
    }
    ::close(fd);
}

} // namespace ulo::fuzz
