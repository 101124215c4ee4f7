#pragma once
// The factory that gives the script reader the records of every paragraph
// kind with their behaviour: copy definitions that run, edit definitions that
// transform, lock definitions that check.

#include "script/definitions.h"

namespace kestrel {

// The one instance; it holds no state.
const DefinitionFactory& runnableDefinitions();

}  // namespace kestrel
