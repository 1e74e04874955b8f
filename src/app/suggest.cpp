#include "app/suggest.hpp"

#include <algorithm>
#include <cstddef>

#include "eeprom/params.hpp"

namespace ulo {

unsigned edit_distance(std::string_view a, std::string_view b, unsigned bound) {
    const std::size_t n = a.size(), m = b.size(), k = bound;
    const unsigned over = bound + 1;
    // Each letter more on one side is an edit.
    if ((n > m ? n - m : m - n) > k) return over;
    // Three rows of the table (the one before last, the last, the current), each filled only
    // within `bound` of the diagonal: a cell further off holds more than `bound`.
    std::vector<unsigned> two(m + 1, over), one(m + 1, over), row(m + 1, over);
    for (std::size_t j = 0; j <= std::min(m, k); ++j) one[j] = static_cast<unsigned>(j);
    for (std::size_t i = 1; i <= n; ++i) {
        const std::size_t low = i > k ? i - k : 0, high = std::min(m, i + k);
        if (low > 0) row[low - 1] = over; // left of the band, still holding an older row
        unsigned least = over;
        for (std::size_t j = low; j <= high; ++j) {
            unsigned d = static_cast<unsigned>(i); // j == 0: every letter of a dropped
            if (j > 0) {
                const unsigned change = a[i - 1] == b[j - 1] ? 0 : 1;
                d = std::min({one[j] + 1, row[j - 1] + 1, one[j - 1] + change});
                if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                    d = std::min(d, two[j - 2] + 1);
            }
            row[j] = std::min(d, over);
            least = std::min(least, row[j]);
        }
        // No row has a smaller least than the one before it.
        if (least == over) return over;
        std::swap(two, one);
        std::swap(one, row);
    }
    return one[m];
}

std::vector<std::string> nearest(std::string_view typed,
                                 const std::vector<std::string>& candidates) {
    const unsigned limit = std::clamp(static_cast<unsigned>(typed.size() / 4), 1u, 3u);
    unsigned best = limit;
    std::vector<std::string> found;
    for (const std::string& c : candidates) {
        const unsigned d = edit_distance(typed, c, best);
        if (d > best) continue;
        if (d < best) found.clear();
        best = d;
        if (found.size() < 5) found.push_back(c);
    }
    return found;
}

std::string did_you_mean(std::string_view typed, const std::vector<std::string>& candidates) {
    const std::vector<std::string> found = nearest(typed, candidates);
    if (found.empty()) return "";
    std::string text = "; did you mean ";
    for (std::size_t k = 0; k < found.size(); ++k)
        text += (k == 0 ? "" : k + 1 == found.size() ? " or " : ", ") + printable(found[k]);
    return text + "?";
}

std::vector<std::string> parameter_names() {
    std::vector<std::string> names;
    for (Item item : every_item()) names.push_back(item_name(item));
    for (unsigned n = 1; n <= wheel_count; ++n) names.push_back("wheel[" + std::to_string(n) + "]");
    for (unsigned r = 1; r <= ramp_table_points; ++r)
        names.push_back("ramp[" + std::to_string(r) + "]");
    return names;
}

std::string with_suggestion(std::string_view name, const std::string& why) {
    if (!why.ends_with(" is not a parameter")) return why;
    static const std::vector<std::string> names = parameter_names();
    return why + did_you_mean(name, names);
}

} // namespace ulo
