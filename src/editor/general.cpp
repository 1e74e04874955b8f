// Rules of fields 0-3, 6, 7 and 9-18: the general settings.
#include "editor/editor.hpp"

namespace ulo {

// Not built yet: every key is ignored here.
void general_rule(Editor&, Wert&) {}

} // namespace ulo
