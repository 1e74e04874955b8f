#include "app/process.hpp"

// windows.h first: the other headers of the system build on it.
#include <windows.h>

#include <shellapi.h>

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <iterator>
#include <string>
#include <vector>

namespace ulo {
namespace {

HANDLE handle_of(int fd) { return reinterpret_cast<HANDLE>(_get_osfhandle(fd)); }

bool is_console(HANDLE handle) {
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

// UTF-8 as UTF-16; a byte that is no UTF-8 becomes U+FFFD.
std::wstring wide(const std::string& text) {
    if (text.empty()) return {};
    const int size =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size);
    return out;
}

// Writes UTF-8 text to a console as characters, in pieces that never part a surrogate pair.
bool write_console(HANDLE console, const std::string& text) {
    const std::wstring all = wide(text);
    constexpr std::size_t piece = 8192;
    for (std::size_t at = 0; at < all.size();) {
        std::size_t n = std::min(piece, all.size() - at);
        if (at + n < all.size() && IS_HIGH_SURROGATE(all[at + n - 1])) --n;
        DWORD written = 0;
        if (!WriteConsoleW(console, all.data() + at, static_cast<DWORD>(n), &written, nullptr) ||
            written == 0) {
            errno = EIO;
            return false;
        }
        at += written;
    }
    return true;
}

// Shift, Ctrl, Alt and the like, alone: Alt+Tab to another window is no answer.
bool is_modifier(WORD key) {
    constexpr WORD modifiers[] = {VK_SHIFT, VK_CONTROL, VK_MENU,    VK_LWIN,
                                  VK_RWIN,  VK_CAPITAL, VK_NUMLOCK, VK_SCROLL};
    return std::find(std::begin(modifiers), std::end(modifiers), key) != std::end(modifiers);
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
    // The output is bytes as the program makes them: "\n" stays "\n" in a file or a pipe,
    // and a console gets characters (write_standard). The input of "apply -" is bytes too: a
    // parameter file in UTF-16 holds bytes that text mode would take for line ends or for its
    // end (1A).
    _setmode(0, _O_BINARY);
    _setmode(1, _O_BINARY);
    _setmode(2, _O_BINARY);
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

bool write_standard(std::FILE* stream, const std::string& text) {
    const HANDLE handle = handle_of(_fileno(stream));
    if (!is_console(handle))
        return std::fwrite(text.data(), 1, text.size(), stream) == text.size() &&
               std::fflush(stream) == 0;
    // The C library would hand the console a byte at a time, and a character of several
    // bytes would arrive as as many wrong ones.
    return std::fflush(stream) == 0 && write_console(handle, text);
}

void hold_window(const char* prompt) {
    // Started from a command prompt, the console also holds the prompt's process; started
    // from Explorer or a shortcut, it was made for this run and closes with it.
    DWORD processes[2];
    if (GetConsoleProcessList(processes, 2) != 1) return;
    const HANDLE in =
        CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    const HANDLE out =
        CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    DWORD mode = 0;
    if (in != INVALID_HANDLE_VALUE && out != INVALID_HANDLE_VALUE && GetConsoleMode(in, &mode) &&
        write_console(out, prompt)) {
        // Keys one by one, Ctrl+C among them; those typed before the prompt do not count.
        SetConsoleMode(in, 0);
        FlushConsoleInputBuffer(in);
        for (;;) {
            INPUT_RECORD record;
            DWORD count = 0;
            if (!ReadConsoleInputW(in, &record, 1, &count)) break;
            if (count == 1 && record.EventType == KEY_EVENT && record.Event.KeyEvent.bKeyDown &&
                !is_modifier(record.Event.KeyEvent.wVirtualKeyCode))
                break;
        }
        SetConsoleMode(in, mode);
        write_console(out, "\n");
    }
    if (in != INVALID_HANDLE_VALUE) CloseHandle(in);
    if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
}

bool names_file(const std::string& path) {
    if (path.empty()) return false;
    const DWORD attributes = GetFileAttributesW(wide(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

} // namespace ulo
