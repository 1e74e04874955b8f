// Rules of fields 4, 5 and 19-34: the wheel configurations.
#include "editor/editor.hpp"

namespace ulo {

// Not built yet: every key is ignored here.
void wheel_rule(Editor&, Wert&) {}

} // namespace ulo
