// Whether the module's globals still hold what its module-level code bound there, as far as the
// direct routes depend on it: ESC the very introducer string it bound, and NAMED_COLORS and
// COLOR_ALIASES its own two dicts holding the entries it gave them. Worked out again after any
// watched dict has changed, and otherwise known from a few comparisons.
#pragma once

#include "frame/dict_watch.hpp"
#include "frame/lookup.hpp"
#include "functions.hpp"

namespace colors {

struct Untouched {
    bool esc = false;     // ESC is "\x1b[" as bound at import: sequences may be written directly
    bool tables = false;  // a name resolves as the compile-time index of the tables says
};

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
