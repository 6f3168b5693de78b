// Whether sys.stdout can have changed since a painter last looked at it. A dict watcher on sys's
// namespace moves an epoch at every change that may touch "stdout"; a painter that found sys.stdout
// to be its stream under an epoch knows it still is while the epoch stays, and paints without the
// lookup. Two things could make that false, and both are ruled out:
// - CPython tells watchers of a change before it writes it, and another extension's watcher may run
//   Python code (a painter call among it) in between: until the change notified last can be seen in
//   the namespace, no stamp is given.
// - Foreign code may end our watch (PyDict_Unwatch with our id): the epoch is trusted only while
//   the namespace is still watched, and such a watch is not begun again.
#pragma once

#include <Python.h>

#include <cstdint>

#include "frame/dict_watch.hpp"

namespace paint {

namespace sys_watch {
extern unsigned long long epoch;  // starts at 1: a painter's stamp of 0 (none given) never matches
extern std::uint64_t bit;         // our watcher's bit among the namespace's watchers; 0 without a watch
extern PyObject* dict;            // sys's namespace (state.sys_dict holds it), or null without a watch
}  // namespace sys_watch

// Watches sys's namespace (state.sys_dict) for the painters; without a watcher to spare, every call
// looks sys.stdout up as before. Fails only with an exception set (memory).
int watch_sys() noexcept;

// The epoch under which a lookup of sys.stdout made right after stays true while the epoch does not
// move; 0 when none can be given (no watch, a change under way, a key that is not an exact str, whose
// comparison could run code). May release what the watcher had to let go of, which can run code:
// ask before the lookup, never between the lookup and its use.
unsigned long long stamp_for_lookup() noexcept;

// Whether sys.stdout is still what a painter found under `stamp`: one comparison and one bit test.
inline bool stdout_unchanged_since(unsigned long long stamp) noexcept {
    return stamp == sys_watch::epoch && frame::watched_by(sys_watch::dict, sys_watch::bit);
}

}  // namespace paint
