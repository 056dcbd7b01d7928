// toml++ as the tool uses it: without exceptions (parse failures come back as
// results) and compiled once, in toml_impl.cpp.
#pragma once

#ifndef TOML_EXCEPTIONS
#define TOML_EXCEPTIONS 0
#endif
#ifndef TOML_HEADER_ONLY
#define TOML_HEADER_ONLY 0
#endif
#include <toml++/toml.h>
