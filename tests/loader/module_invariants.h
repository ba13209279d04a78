// module_invariants.h: checks that a loaded Module keeps every read of the
// replayer and the mixer inside its records (what the loader guarantees).
#pragma once
#include <string>

#include "music/module.h"

// Empty when the module holds; otherwise what is wrong.
std::string module_invariant_error(const qm::Module* module);
