// The frame's own string constants, built before the module's.
#pragma once

#include "constants.hpp"

#define TINTWELL_FRAME_NAMES(X)             \
    X(Str, dunder_builtins, "__builtins__") \
    X(Str, dunder_name, "__name__")         \
    X(Str, dunder_test, "__test__")         \
    X(Str, return_, "return")

namespace frame::names {
TINTWELL_CONSTANTS(TINTWELL_FRAME_NAMES)
}
