// The one translation unit that compiles toml++'s implementation, so the tool
// needs no toml++ library at link time (the same for native and Windows
// builds).
#define TOML_IMPLEMENTATION
#include "toml_config.h"
