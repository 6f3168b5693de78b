// Whether the module's globals still hold what its module-level code bound there, as far as the
// direct routes depend on it: ESC the very introducer string it bound, and NAMED_COLORS and
// COLOR_ALIASES its own two dicts holding the entries it gave them. Worked out again after any
// watched dict has changed, and otherwise known from one comparison.
#pragma once

#include "frame/lookup.hpp"

namespace colors {

struct Untouched {
    bool esc = false;     // ESC is "\x1b[" as bound at import: sequences may be written directly
    bool tables = false;  // a name resolves as the compile-time index of the tables says
};

Untouched untouched_now(frame::Globals globals) noexcept;

namespace detail {
struct Known {
    PyObject* dict = nullptr;  // the namespace it was worked out for; watched, so any change shows
    unsigned long long generation = 0;
    Untouched state;
};
extern Known known;
}  // namespace detail

inline Untouched untouched(frame::Globals globals) noexcept {
    const detail::Known& known = detail::known;
    if (known.dict == globals.dict() && known.generation == frame::dict_generation && known.dict != nullptr) {
        return known.state;
    }
    return untouched_now(globals);
}

}  // namespace colors
