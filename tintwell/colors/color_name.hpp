// Colour names: ESC code m, the code found in NAMED_COLORS after normalising and COLOR_ALIASES.
#pragma once

#include "frame/lookup.hpp"
#include "functions.hpp"

namespace colors {

// The sequence for a colour name (a str that does not start with "#"); `now` as read at the start
// of the call, before any code ran.
PyObject* name_sequence(frame::Globals globals, Untouched now, PyObject* color, bool foreground) noexcept;

// NAMED_COLORS and COLOR_ALIASES of the module-level code, bound and remembered in `originals`.
int bind_tables() noexcept;

// The tables' keys and values, built by exec with the other constants.
extern const frame::Pool table_pool;

// Whether the two dicts hold exactly the entries the module-level code gave them (exact ASCII str
// keys; exact int codes and exact str targets), so that the compile-time index answers for them.
bool tables_as_built(PyObject* named, PyObject* aliases) noexcept;

}  // namespace colors
