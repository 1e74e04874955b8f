#include "app/process.hpp"

// windows.h first: the other headers of the system build on it.
#include <windows.h>

#include <shellapi.h>

#include <fcntl.h>
#include <io.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace ulo {
namespace {

// The console's output code page as the program found it, given back when it ends, so that
// the console the user goes on working in is as it was.
UINT console_page = 0;

void restore_console_page() {
    if (console_page != 0) SetConsoleOutputCP(console_page);
}

bool is_console(int fd) {
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    DWORD mode = 0;
    return handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) != 0;
}

std::string utf8(const wchar_t* text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1) return {};
    std::string out(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), size, nullptr, nullptr);
    out.pop_back(); // the terminating zero
    return out;
}

} // namespace

void open_standard_files() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (_get_osfhandle(fd) >= 0) continue;
        // A process started without the file gets the null device, read-only as on Linux: a
        // write to it fails.
        const int opened = _open("NUL", _O_RDONLY | _O_BINARY);
        if (opened >= 0 && opened != fd) {
            _dup2(opened, fd);
            _close(opened);
        }
    }
    // The output is bytes as the program makes them: "\n" stays "\n" in a file or a pipe. On
    // a console those bytes are UTF-8, as names and glyphs are. The input of "apply -" is
    // bytes too: a parameter file in UTF-16 holds bytes that text mode would take for line
    // ends or for its end (1A).
    _setmode(0, _O_BINARY);
    _setmode(1, _O_BINARY);
    _setmode(2, _O_BINARY);
    if (is_console(1) || is_console(2)) {
        const UINT page = GetConsoleOutputCP();
        if (page != CP_UTF8 && SetConsoleOutputCP(CP_UTF8)) {
            console_page = page;
            std::atexit(restore_console_page);
        }
    }
}

void utf8_arguments(int& argc, char**& argv) {
    // Windows hands a program its command line in UTF-16; argv holds it in the local code
    // page, where a name outside it is lost. The words live as long as the process.
    static std::vector<std::string> words;
    static std::vector<char*> pointers;
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) return;
    words.clear();
    for (int i = 0; i < count; ++i) words.push_back(utf8(wide[i]));
    LocalFree(wide);
    pointers.clear();
    for (std::string& word : words) pointers.push_back(word.data());
    pointers.push_back(nullptr);
    argc = count;
    argv = pointers.data();
}

// Windows sends no signal for a file size limit or a reader that has gone: a write fails.
void prepare_command_process() {}

// Numbers keep the device's decimal point in the C locale the program starts in.
void prepare_editor_process() {}

void end_by_signal(int) {}

} // namespace ulo
