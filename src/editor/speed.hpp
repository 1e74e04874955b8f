// Speeds are stored as twice the rpm: `max_poti_speed` (field 7) and the speed of every ramp
// point (field 37) take the same keys and the same limit.
#pragma once

#include "editor/editor.hpp"

namespace ulo {

constexpr unsigned speed_rpm_max = 9999;                 // the fastest speed that can be typed
constexpr unsigned speed_stored_max = 2 * speed_rpm_max; // ... as it is stored

// A digit replaces the speed on arrival and is appended after that; a typed rpm digit counts
// twice. A digit that would pass the fastest speed is dropped, keeping the speed typed so
// far. Delete drops the last rpm digit: a tenth of the stored value, kept even, since an odd
// stored value would leave half an rpm over. Both clear the fresh-entry flag. Returns the new
// stored value; other keys leave it.
inline unsigned speed_key(Editor& ed, unsigned stored) {
    if (key::is_digit(ed.letter)) {
        const unsigned twice = 2 * key::digit(ed.letter);
        const unsigned x = ed.start ? twice : stored * 10 + twice;
        ed.start = 0;
        return x <= speed_stored_max ? x : stored;
    }
    if (ed.letter == key::del) {
        ed.start = 0;
        return (stored / 10) & ~1u;
    }
    return stored;
}

} // namespace ulo
