// The keys that type a wheel name and the characters they store.
#include <algorithm>
#include <string>

#include "editor/editor.hpp"

namespace ulo {

// Key codes name US key positions; these keys store the character a German keyboard shows on
// that key (Shift+7 is "/", AltGr+7 to AltGr+0 give the braces and brackets), so a name is
// typed as the keys are labelled.
int name_character(int k) {
    struct Translation {
        int key;
        char stored;
    };
    static constexpr Translation translations[] = {
        {'&', '/'},        {'(', ')'},        {')', '='}, {'*', '('},        {'+', '*'},
        {'/', '#'},        {'<', ';'},        {'=', '+'}, {'>', ':'},        {'\\', '^'},
        {']', '\''},       {'^', '&'},        {'{', '?'}, {key::alt_7, '{'}, {key::alt_8, '['},
        {key::alt_9, ']'}, {key::alt_0, '}'},
    };
    if ((k >= 'A' && k <= 'Z') || (k >= 'a' && k <= 'z') || key::is_digit(k)) return k;
    switch (k) {
    case ' ':
    case '!':
    case '$':
    case '%':
    case ',':
    case '-':
    case '.':
    case '_': return k;
    default: break;
    }
    for (const Translation& t : translations)
        if (t.key == k) return t.stored;
    return -1;
}

namespace {

// The name of a key that types a wheel name: its character, Space, Alt+ a digit.
std::string name_key_label(int k) {
    if (k == ' ') return "Space";
    if (k >= key::alt_1 && k <= key::alt_0)
        return "Alt+" + std::string(1, "1234567890"[k - key::alt_1]);
    if (k > ' ' && k < 127) return std::string(1, static_cast<char>(k));
    return "key " + std::to_string(k);
}

bool same_class(int a, int b) {
    const auto is = [](int k, int from, int to) { return k >= from && k <= to; };
    return (is(a, '0', '9') && is(b, '0', '9')) || (is(a, 'A', 'Z') && is(b, 'A', 'Z')) ||
           (is(a, 'a', 'z') && is(b, 'a', 'z'));
}

} // namespace

NameKeyRows name_key_rows() {
    constexpr int last_code = 511; // every key code a keyboard can give
    NameKeyRows rows;
    int k = 1;
    while (k <= last_code) {
        const int c = name_character(k);
        if (c < 0) {
            ++k;
            continue;
        }
        std::string key_text = name_key_label(k);
        std::string stored = c == ' ' ? "space" : std::string(1, static_cast<char>(c));
        int j = k;
        if (c == k) {
            // Letters and digits typed as themselves: one column for each run, "A-Z".
            while (j < last_code && name_character(j + 1) == j + 1 && same_class(k, j + 1)) ++j;
            if (j - k >= 2)
                key_text = stored = name_key_label(k) + "-" + name_key_label(j);
            else
                j = k;
        } else if (k > 255) {
            // Alt with the digits: one column, "Alt+7..0" over the characters in their order.
            while (j < last_code && name_character(j + 1) >= 0)
                stored += static_cast<char>(name_character(++j));
            if (j > k) key_text += ".." + name_key_label(j).substr(4);
        }
        const std::size_t width = std::max(key_text.size(), stored.size());
        key_text.resize(width, ' ');
        stored.resize(width, ' ');
        const char* gap = rows.keys.empty() ? "" : " ";
        rows.keys += gap + key_text;
        rows.stores += gap + stored;
        k = j + 1;
    }
    while (!rows.keys.empty() && rows.keys.back() == ' ') rows.keys.pop_back();
    while (!rows.stores.empty() && rows.stores.back() == ' ') rows.stores.pop_back();
    return rows;
}

} // namespace ulo
