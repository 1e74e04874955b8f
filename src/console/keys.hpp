// Turns the bytes a terminal sends into PC key codes: ordinary keys 1..255, extended keys
// 256 + their second code (Home 327, Up 328, ..., Alt+X 301).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace ulo {

// How long the bytes of one key may lag behind its Escape before the Escape counts as a key
// of its own.
constexpr int escape_wait_ms = 50;

struct KeyDecoder {
    std::string held; // bytes of a sequence not yet complete
};

// Decodes the bytes that arrived. `quiet` says no further byte came within the Escape wait,
// so anything held is resolved now (a lone ESC is the Escape key). Keys without a code are
// dropped whole, never in pieces.
std::vector<int> decode_keys(KeyDecoder& decoder, std::string_view bytes, bool quiet);
// True while bytes are held that a following byte could still complete.
bool waiting(const KeyDecoder& decoder);

} // namespace ulo
