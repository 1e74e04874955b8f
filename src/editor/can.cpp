// Rules of fields 38-41: the CAN identifier.
#include "editor/editor.hpp"

namespace ulo {

// Not built yet: every key is ignored here.
void can_rule(Editor&, Wert&) {}

} // namespace ulo
