// Which dicts the module watches, and what is known of their keys. Every change to a watched dict
// bumps one generation counter, so a lookup remembered under a generation stays true while the
// counter has not moved.
#pragma once

#include "ref.hpp"

namespace frame {

// Bumped by every change to a watched dict; 0 while nothing is watched.
extern unsigned long long dict_generation;

// Whether lookups in `dict` may be remembered: it is watched (from now on if it was not) and every
// key in it is an exact str, so that a lookup with an exact str key runs no Python code. With any
// other key a lookup may run code and answer differently next time; the interpreter's own caches of
// globals keep to such dicts for the same reason.
bool lookups_rememberable(PyObject* dict) noexcept;

// Whether every key of `dict` is an exact str: then one lookup answers exactly what two would.
// Tracked through the watcher once asked; a dict that cannot be watched is scanned.
bool has_plain_keys(PyObject* dict) noexcept;

}  // namespace frame
