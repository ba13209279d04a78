// info.h: the --info listing of xmrender: a loaded module's header, order
// table, patterns, instruments and samples in plain text.
// Owns: nothing. Thread: the caller's.
#pragma once
#include <cstdio>

#include "music/module.h"

// Prints the listing of module (loaded from path, whose header supplies the
// song and tracker names) to out.
void print_module_info(FILE* out, const char* path, const Module* module);
