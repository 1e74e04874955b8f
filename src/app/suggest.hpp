// "did you mean ...?": the names nearest one that was mistyped.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace ulo {

// The edit distance (letters added, dropped or changed, and two neighbours swapped, each one)
// where it is at most `bound`; bound + 1 where it is more. The time it takes grows with the
// shorter text times the bound, and not at all for texts whose lengths differ by more.
unsigned edit_distance(std::string_view a, std::string_view b, unsigned bound);

// The candidates nearest `typed` (at most five), when near enough to be a slip: a quarter of
// its length, at least 1 and at most 3 edits away; none otherwise, and so none at all for a
// text over 3 letters longer than every candidate.
std::vector<std::string> nearest(std::string_view typed,
                                 const std::vector<std::string>& candidates);

// "; did you mean show?", "; did you mean get or set?", or "" when no candidate is near.
std::string did_you_mean(std::string_view typed, const std::vector<std::string>& candidates);

// Every name get and set take: each parameter, and (for get) wheel[N] and ramp[N] whole.
std::vector<std::string> parameter_names();

// `why` of a name parse_item refused, with the nearest names where it is no parameter at all.
std::string with_suggestion(std::string_view name, const std::string& why);

} // namespace ulo
