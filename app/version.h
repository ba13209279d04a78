// version.h: the release of the show and its tools, as --version prints it.
// Owns: nothing. Thread: any.
#pragma once

constexpr const char* QUILLMERE_VERSION = "1.0.0";
