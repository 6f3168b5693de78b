// Whether the module's globals still hold what its module-level code bound there, as far as the
// direct routes depend on it. Worked out again after any watched dict has changed (or a function's
// globals were cleared), and otherwise known from a few comparisons. A state read at the start of a
// call holds until Python code may run: each direct route runs none before it uses it.
#pragma once

#include "frame/dict_watch.hpp"
#include "frame/lookup.hpp"
#include "functions.hpp"

namespace colors {

Untouched untouched_now(frame::Globals globals) noexcept;

namespace detail {
struct Known {
    PyObject* dict = nullptr;  // compared only: the namespace it was worked out for
    unsigned long long generation = 0;
    Untouched state;
};
extern Known known;
}  // namespace detail

inline Untouched untouched(frame::Globals globals) noexcept {
    const detail::Known& known = detail::known;
    // Known only from dicts still watched: the namespace and the module's own tables (never null
    // once something is known).
    if (known.dict == globals.dict() && known.generation == frame::dict_generation &&
        frame::still_watched(known.dict) && frame::still_watched(originals.named_colors.get()) &&
        frame::still_watched(originals.color_aliases.get())) {
        return known.state;
    }
    return untouched_now(globals);
}

}  // namespace colors
