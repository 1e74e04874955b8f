#include "app/process.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>

#include "app/status.hpp"

namespace ulo {

void open_standard_files() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        // The lowest free number is taken, and the ones below are open by now.
        const int opened = open("/dev/null", O_RDONLY);
        if (opened >= 0 && opened != fd) {
            dup2(opened, fd);
            close(opened);
        }
    }
}

int write_standard_output(const std::string& text, int status) {
    // The output is written in one go here rather than as the command makes it: the stream
    // gives up at its first failed write and the reason is gone by the time it is closed.
    errno = 0;
    std::cout.flush();
    bool written = !std::cout.bad() && std::ferror(stdout) == 0 &&
                   std::fwrite(text.data(), 1, text.size(), stdout) == text.size() &&
                   std::fflush(stdout) == 0;
    int error = errno;
    if (std::fclose(stdout) != 0 && written) {
        written = false;
        error = errno;
    }
    if (written) return status;
    std::fprintf(stderr, "ulocfg: cannot write the output: %s\n",
                 std::strerror(error != 0 ? error : EIO));
    return status == status_ok ? status_cannot_open : status;
}

void prepare_command_process() { std::signal(SIGXFSZ, SIG_IGN); }

void prepare_editor_process() {
    std::setlocale(LC_ALL, "");
    std::setlocale(LC_NUMERIC, "C");
    std::signal(SIGXFSZ, SIG_IGN);
    std::signal(SIGPIPE, SIG_IGN);
}

void end_by_signal(int sig) {
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}

void utf8_arguments(int&, char**&) {}

} // namespace ulo
