// "ulo.txt" on disk: reading it, telling whether it changed, saving it without ever losing it,
// and rescue copies of edits that could not be saved. The rules are here, once; what each
// system does for one step is in disk_posix.cpp and disk_windows.cpp.
#include <cerrno>
#include <chrono>
#include <thread>

#include "eeprom/disk.hpp"
#include "eeprom/file.hpp"

namespace ulo {

Place::~Place() {
    if (lock != disk::no_handle) disk::unlock(*this);
    if (folder != disk::no_handle) disk::close(folder);
}

namespace {

using disk::Handle;
using disk::Info;
using disk::Kind;
using disk::no_handle;

constexpr std::size_t chunk_size = 64 * 1024;
// How long a save waits for another ulocfg run that is saving the same file.
constexpr auto lock_wait = std::chrono::seconds(5);
constexpr auto lock_poll = std::chrono::milliseconds(20);

// Closes a handle on every way out of a function.
struct Open {
    Handle h = no_handle;
    explicit Open(Handle handle) : h(handle) {}
    Open(const Open&) = delete;
    Open& operator=(const Open&) = delete;
    ~Open() {
        if (h != no_handle) disk::close(h);
    }
    bool valid() const { return h != no_handle; }
    // False when closing fails, with errno telling why.
    bool close() {
        const Handle was = h;
        h = no_handle;
        return was == no_handle || disk::close(was);
    }
};

// Keeps errno across a step taken after a failure, so that the failure is told, not the step.
struct KeepErrno {
    int saved = errno;
    ~KeepErrno() { errno = saved; }
};

// The save lock of a place, from its taking to the end of the scope; a lock the place holds
// already (read for saving) is used, and given up at the end too.
struct Held {
    const Place* place = nullptr;
    ~Held() {
        if (place && place->lock != no_handle) disk::unlock(*place);
    }
};

// Takes the save lock, waiting for another run that holds it. False only when another run
// holds it all that time; a folder that cannot be locked at all is saved in unlocked, as
// every other program saves there.
bool take_lock(const Place& place, Held& held) {
    held.place = &place;
    if (place.lock != no_handle) return true;
    const auto until = std::chrono::steady_clock::now() + lock_wait;
    for (;;) {
        if (disk::try_lock(place)) return true;
        if (errno != EWOULDBLOCK) return true;
        if (std::chrono::steady_clock::now() >= until) {
            errno = EWOULDBLOCK;
            return false;
        }
        std::this_thread::sleep_for(lock_poll);
    }
}

// The length and digest of what a handle reads from where it stands; false if reading fails.
// Each piece goes to `piece` as well, until it returns false.
template <typename Piece> bool read_through(Handle h, FileState& state, Piece piece) {
    std::string buffer(chunk_size, '\0');
    state.size = 0;
    state.digest = digest_start;
    for (;;) {
        const long long n = disk::read_on(h, buffer.data(), buffer.size());
        if (n < 0) return false;
        if (n == 0) return true;
        const std::string_view text(buffer.data(), static_cast<std::size_t>(n));
        state.size += text.size();
        state.digest = digest(state.digest, text);
        if (!piece(text)) return true;
    }
}

// The whole file from its start; false if reading fails.
bool read_all(Handle h, std::string& text) {
    text.clear();
    std::string buffer(chunk_size, '\0');
    for (std::uint64_t at = 0;;) {
        const long long n = disk::read_at(h, at, buffer.data(), buffer.size());
        if (n < 0) return false;
        if (n == 0) return true;
        text.append(buffer.data(), static_cast<std::size_t>(n));
        at += static_cast<std::uint64_t>(n);
    }
}

bool same_file(const Info& info, const FileState& seen) {
    return seen.existed && info.device == seen.device && info.id == seen.inode;
}

// A name no one can guess ahead: six letters and digits from the system's randomness.
std::string random_part() {
    constexpr char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    unsigned char bytes[6] = {};
    disk::random_bytes(bytes, sizeof bytes);
    std::string part;
    for (unsigned char b : bytes) part += letters[b % (sizeof letters - 1)];
    return part;
}

// Makes a new file named `stem` + `tail` + a random part in the place's folder; its handle,
// with its name in `made`, or no handle with errno telling why. A name too long for the folder
// is shortened in its stem.
Handle make_new(const Place& place, const std::string& stem, const std::string& tail,
                bool owner_only, std::string& made) {
    std::string head = stem;
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = head + tail + random_part();
        const Handle h = disk::create(place, name, owner_only);
        if (h != no_handle) {
            made.swap(name); // cannot fail, so the file is never made without its name known
            return h;
        }
        if (errno == ENAMETOOLONG && head.size() > 1) {
            head.resize(head.size() / 2);
            // Cut between characters, not inside one written in several bytes.
            while (head.size() > 1 && (static_cast<unsigned char>(head.back()) & 0xC0) == 0x80)
                head.pop_back();
            continue;
        }
        if (errno != EEXIST) return no_handle;
    }
    errno = EEXIST;
    return no_handle;
}

// `text` written over the file from its start: when it is shorter than what the file holds, it
// is padded with spaces first, synced, and only then cut, so that a crash at any point leaves
// text that reads as the old image or as the new one.
bool overwrite(Handle h, const std::string& text) {
    Info info;
    if (!disk::describe(h, info)) return false;
    if (text.size() < info.size) {
        std::string padded = text;
        padded.resize(static_cast<std::size_t>(info.size), ' ');
        if (!disk::write_at(h, 0, padded) || !disk::sync(h)) return false;
        return disk::cut(h, text.size()) && disk::sync(h);
    }
    return disk::write_at(h, 0, text) && disk::sync(h);
}

// Writes the file in place, checked: the old text is kept in memory, the new text written
// whole, synced and read back (from the disk, where the system allows); on any failure the
// old text goes back.
SaveResult save_in_place(Handle h, const std::string& text) {
    std::string old;
    if (!read_all(h, old)) return SaveResult::cannot_open;
    std::string back;
    if (overwrite(h, text)) {
        disk::forget_cache(h);
        if (read_all(h, back)) {
            if (back == text) return SaveResult::saved;
            errno = EIO; // the disk gives back other bytes than were written
        }
    }
    KeepErrno keep;
    overwrite(h, old);
    return SaveResult::cannot_write;
}

enum class NewFile { saved, no_file, failed };

// A new file with `text` renamed over the name at the place, given what `like` has. no_file:
// no new file could be made there, or (with `owner_must_stay`) given the owner; failed: it was
// made, but writing or renaming it failed (it is gone again, and the old file as it was).
NewFile replace_by_new_file(const Place& place, const std::string& text, const Info& like,
                            bool owner_must_stay) {
    // Removed again on every way out, an exception's too, unless it has taken the name.
    struct Temporary {
        const Place& place;
        std::string name;
        ~Temporary() {
            if (name.empty()) return;
            KeepErrno keep;
            disk::remove(place, name);
        }
    } temporary{place, {}};
    Open file{make_new(place, "." + place.name, ".", false, temporary.name)};
    if (!file.valid()) return NewFile::no_file;
    if (!disk::give_owner(file.h, like) && owner_must_stay) return NewFile::no_file;
    // Contents and permissions must be on the disk before the name moves over to them.
    if (!disk::write_at(file.h, 0, text) || !disk::give_mode(file.h, like) || !disk::sync(file.h) ||
        !file.close() || !disk::rename_over(place, temporary.name))
        return NewFile::failed;
    temporary.name.clear();
    disk::sync_folder(place);
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

// Writes a rescue copy into a place's folder; the name written, or "" with errno telling why.
std::string write_rescue(const Place& folder, const std::string& base, const std::string& text) {
    std::string name;
    Open file{make_new(folder, base, ".rescue-" + disk::local_stamp() + "-", true, name)};
    if (!file.valid()) return "";
    if (disk::write_at(file.h, 0, text) && disk::sync(file.h) && file.close()) return name;
    KeepErrno keep;
    file.close();
    disk::remove(folder, name);
    return "";
}

// errno as the failed step left it; EIO where no step said why.
void tell_error(int* error) {
    if (error) *error = errno != 0 ? errno : EIO;
}

LoadResult load_stream(const std::string& path, Wert& wert) {
    Open file{disk::open_stream(path)};
    if (!file.valid()) return LoadResult::cannot_open;
    Info info;
    if (disk::describe(file.h, info) && info.kind == Kind::folder) {
        errno = EISDIR;
        return LoadResult::cannot_open;
    }
    FileState state;
    return read_image([&](auto piece) { return read_through(file.h, state, piece); }, wert);
}

LoadResult load_here(const std::string& path, Wert& wert, FileState* seen, Reading reading) {
    if (reading == Reading::stream) return load_stream(path, wert);
    auto place = std::make_shared<Place>();
    if (!disk::locate(path, *place)) return LoadResult::cannot_open;
    Held held;
    if (reading == Reading::for_saving && !take_lock(*place, held)) return LoadResult::busy;
    Open file{disk::open_file(*place, false)};
    if (!file.valid() || !disk::describe(file.h, place->file)) return LoadResult::cannot_open;

    FileState state;
    const LoadResult result = read_image(
        [&](auto piece) { return read_through(file.h, state, piece); }, wert, &state.form);
    if (result != LoadResult::loaded) return result;
    if (seen) {
        state.device = place->file.device;
        state.inode = place->file.id;
        state.existed = true;
        held.place = nullptr; // kept until the save
        state.place = std::move(place);
        *seen = std::move(state);
    }
    return LoadResult::loaded;
}

// What is at the name the user gave, when the folder read has moved away from it.
FileChange moved_change(const Place& place) {
    bool gone = false;
    if (!disk::folder_moved(place, gone)) return FileChange::none;
    if (gone) return FileChange::removed;
    auto there = std::make_shared<Place>();
    Info info;
    if (!disk::locate(place.folder_path + place.name, *there) ||
        !disk::look(*there, there->name, info) || info.kind == Kind::missing)
        return FileChange::removed;
    return FileChange::replaced;
}

FileChange change_here(const FileState& seen) {
    if (!seen.place) return FileChange::changed;
    const Place& place = *seen.place;
    if (const FileChange moved = moved_change(place); moved != FileChange::none) return moved;
    Info info;
    if (!disk::look(place, place.name, info)) return FileChange::changed;
    if (info.kind == Kind::missing) return FileChange::removed;
    if (info.kind != Kind::file) return FileChange::replaced;
    if (!seen.existed) return FileChange::changed;
    if (same_file(info, seen) && info.size != seen.size) return FileChange::changed;
    // What cannot be read again cannot be told unchanged.
    Open file{disk::open_file(place, false)};
    if (!file.valid()) return FileChange::changed;
    FileState now;
    if (!read_through(file.h, now, [](std::string_view) { return true; }))
        return FileChange::changed;
    return now.size == seen.size && now.digest == seen.digest ? FileChange::none
                                                              : FileChange::changed;
}

SaveResult save_here(const FileState& seen, const Wert& wert, FileChange* change) {
    if (!seen.place) return SaveResult::cannot_open;
    const Place& place = *seen.place;
    // Built before any new file exists: running out of memory here leaves nothing behind.
    const std::string text = format_image(wert, seen.form);

    Held held;
    if (!take_lock(place, held)) return SaveResult::busy;
    if (change) {
        *change = change_here(seen);
        if (*change != FileChange::none) return SaveResult::changed;
    }

    Info info;
    if (!disk::look(place, place.name, info)) return SaveResult::cannot_open;
    // No file there (any more): a new one, with what the old one had. A link put in the file's
    // place is replaced by the file, never written through.
    if (info.kind == Kind::missing || info.kind == Kind::link) {
        Info like = place.file;
        if (!seen.existed) like.mode = disk::new_file_mode();
        return result_of(replace_by_new_file(place, text, like, false));
    }
    if (info.kind != Kind::file) {
        errno = info.kind == Kind::folder ? EISDIR : EINVAL;
        return SaveResult::cannot_open;
    }
    // Root may write every file, so a file without any write bit counts as read-only too: its
    // owner meant it not to be overwritten.
    if (info.read_only) {
        errno = EACCES;
        return SaveResult::cannot_open;
    }
    Open file{disk::open_file(place, true)};
    if (!file.valid() || !disk::describe(file.h, info)) return SaveResult::cannot_open;
    // Only the file that was read is ever written in place; another one that took its name
    // keeps what it holds and gives the name up.
    const bool loaded = same_file(info, seen);
    // A new file would part the other names of this one from the saved image, or lose its
    // extended attributes.
    if (loaded && (info.links > 1 || info.extras)) return save_in_place(file.h, text);
    file.close(); // a file held open cannot be renamed over on every system
    const NewFile made = replace_by_new_file(place, text, info, loaded);
    // Another program holds the file and does not let it go: it cannot be written now.
    if (made == NewFile::failed && errno == EBUSY) return SaveResult::cannot_open;
    if (made != NewFile::no_file || !loaded) return result_of(made);
    // No new file can be made in the folder, but the file that was read may be written.
    const int error = errno;
    Open again{disk::open_file(place, true)};
    Info now;
    if (!again.valid() || !disk::describe(again.h, now) || !same_file(now, seen)) {
        errno = error;
        return SaveResult::cannot_open;
    }
    return save_in_place(again.h, text);
}

} // namespace

LoadResult load_image(const std::string& path, Wert& wert, FileState* seen, int* error,
                      Reading reading) {
    errno = 0;
    const LoadResult result = load_here(path, wert, seen, reading);
    if (result == LoadResult::cannot_open) tell_error(error);
    return result;
}

FileChange file_change(const FileState& seen) { return change_here(seen); }

bool is_stream(const std::string& path) {
    if (path == "-") return true;
    const Kind kind = disk::kind_at(path);
    return kind == Kind::other;
}

std::string moved_to(const FileState& seen) {
    if (!seen.place) return "";
    bool gone = false;
    if (!disk::folder_moved(*seen.place, gone)) return "";
    const std::string now = disk::folder_now(*seen.place);
    return now.empty() ? "" : now + seen.place->name;
}

SaveResult save_image(const FileState& seen, const Wert& wert, int* error, FileChange* change) {
    errno = 0;
    const SaveResult result = save_here(seen, wert, change);
    if (result != SaveResult::saved && result != SaveResult::changed) tell_error(error);
    return result;
}

SaveResult save_image(const std::string& path, const Wert& wert) {
    auto place = std::make_shared<Place>();
    if (!disk::locate(path, *place)) return SaveResult::cannot_open;
    FileState now;
    Info info;
    if (disk::look(*place, place->name, info) && info.kind == Kind::file) {
        place->file = info;
        now.device = info.device;
        now.inode = info.id;
        now.existed = true;
    }
    now.place = std::move(place);
    return save_image(now, wert);
}

std::string save_rescue(const FileState& seen, const Wert& wert) {
    const std::string text = format_image(wert, seen.form);
    std::string base = "ulo.txt";
    if (seen.place) {
        base = seen.place->name;
        const std::string name = write_rescue(*seen.place, base, text);
        if (!name.empty()) return seen.place->prefix + name;
    }
    // The folder refuses (or its disk is full): the temporary folder.
    for (const std::string& dir : disk::temporary_folders()) {
        Place folder; // the folder alone: a name no link can be planted at ahead
        if (!disk::locate(dir + random_part(), folder)) continue;
        const std::string name = write_rescue(folder, base, text);
        if (!name.empty()) return dir + name;
    }
    return "";
}

} // namespace ulo
