// Turns the bytes a terminal sends into PC key codes: ordinary keys 1..255, extended keys
// 256 + their second code (Home 327, Up 328, ..., Alt+X 301), as keycodes.hpp lists them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace ulo {

// How long the bytes of one key may lag behind its Escape before the Escape counts as a key
// of its own.
constexpr int escape_wait_ms = 50;

// The keyboard protocol that reports every key with its modifiers (kitty's): the Escape key
// comes as ESC [ 27 u, Alt+X as ESC [ 120 ; 3 u, so an ESC byte always starts a sequence and
// no timing is needed. The run asks whether the terminal has it, together with the primary
// device attributes, which every terminal answers; it switches the disambiguation mode on
// for the run and off again at the end.
constexpr std::string_view keyboard_query = "\x1b[?u\x1b[c";
constexpr std::string_view keyboard_push = "\x1b[>1u";
constexpr std::string_view keyboard_pop = "\x1b[<u";
// How long the answers may take before the terminal counts as one without the protocol.
constexpr int keyboard_answer_wait_ms = 200;
// With the protocol on, bytes of a sequence cut apart by a slow line are awaited this long
// before what is held counts as keys; only a terminal breaking its promise sends a lone ESC.
constexpr int protocol_escape_wait_ms = 1000;

struct KeyDecoder {
    std::string held;      // bytes of a sequence not yet complete
    bool protocol = false; // the terminal reports keys by the keyboard protocol
};

// Decodes the bytes that arrived. `quiet` says no further byte came within the Escape wait,
// so anything held is resolved now (a lone ESC is the Escape key). Keys without a code are
// dropped whole, never in pieces.
std::vector<int> decode_keys(KeyDecoder& decoder, std::string_view bytes, bool quiet);
// True while bytes are held that a following byte could still complete.
bool waiting(const KeyDecoder& decoder);
// How long held bytes wait for the rest of their sequence.
int hold_ms(const KeyDecoder& decoder);

// The terminal's answers to keyboard_query found so far.
struct KeyboardAnswers {
    bool protocol = false;   // ESC [ ? flags u: it reports keys by the keyboard protocol
    bool attributes = false; // ESC [ ? ... c: the device attributes, always the last answer
};
// Takes the complete answers out of `bytes`, adding them to `answers`; keys typed meanwhile
// and an answer not yet complete stay.
void take_answers(std::string& bytes, KeyboardAnswers& answers);

} // namespace ulo
