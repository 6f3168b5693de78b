// Palette indices: ESC L;5;index m for an int (bools included) of 0..255.
#pragma once

#include "frame/lookup.hpp"
#include "functions.hpp"

namespace colors {

// The sequence for an int colour; `now` as read at the start of the call, before any code ran.
PyObject* index_sequence(frame::Globals globals, Untouched now, PyObject* color, bool foreground) noexcept;

}  // namespace colors
