// Rules of fields 8 and 35-37: the speed ramp.
#include "editor/editor.hpp"

namespace ulo {

// Not built yet: every key is ignored here.
void ramp_rule(Editor&, Wert&) {}

} // namespace ulo
