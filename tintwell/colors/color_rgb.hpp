// RGB colours: ESC L;2;r;g;b m for (r, g, b) tuples and "#RRGGBB" / "#RGB" strings.
#pragma once

#include "frame/lookup.hpp"
#include "functions.hpp"

namespace colors {

// The sequence for a tuple colour, and for a str starting with "#"; `now` as read at the start of
// the call, before any code ran.
PyObject* tuple_sequence(frame::Globals globals, Untouched now, PyObject* color, bool foreground) noexcept;
PyObject* hex_sequence(frame::Globals globals, Untouched now, PyObject* color, bool foreground) noexcept;

}  // namespace colors
