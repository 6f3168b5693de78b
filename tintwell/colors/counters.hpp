// The colors module's test counters (frame/test_counters.hpp): how often each direct route was taken.
#pragma once

#include "frame/test_counters.hpp"

#define TINTWELL_COLORS_COUNTERS(X)              \
    X(ansi256_bytes, "colors.ansi256_bytes")     \
    X(ascii_stores, "colors.ascii_stores")       \
    X(byte_index, "colors.byte_index")           \
    X(byte_tuple, "colors.byte_tuple")           \
    X(hex_read, "colors.hex_read")               \
    X(name_index, "colors.name_index")           \
    X(name_one_lookup, "colors.name_one_lookup") \
    X(own_color_code, "colors.own_color_code")   \
    X(own_introducer, "colors.own_introducer")   \
    X(own_pattern, "colors.own_pattern")

namespace colors::counters {
TINTWELL_COUNTERS(TINTWELL_COLORS_COUNTERS)
}
