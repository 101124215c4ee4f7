#include "script/definitions.h"

namespace kestrel {
bool LockDefinition::check(MessageLog&) { return false; }
}  // namespace kestrel
