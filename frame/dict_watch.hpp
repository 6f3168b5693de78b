// Which dicts the module watches, and what is known of them. Every change to a watched dict bumps
// one generation counter, so a lookup remembered under a generation stays true while the counter
// has not moved. Two things can make that false, and both are ruled out here:
// - CPython tells watchers of a change before it writes it, and another watcher's callback may run
//   Python code (a tintwell call among it) in between: a dict is "changing" from our callback until
//   its change can be seen in it, and nothing is remembered from it meanwhile.
// - Foreign code may end our watch (PyDict_Unwatch with our id): then its changes go unseen, so
//   every remembered lookup checks that its dict is still watched.
#pragma once

#include <cstddef>
#include <cstdint>

#include "ref.hpp"

namespace frame {

// Bumped by every change to a watched dict and by every watch begun. Starts at 1: a stamp of 0
// (nothing remembered yet) never matches.
extern unsigned long long dict_generation;

namespace detail {
extern std::uint64_t watcher_bit;  // our watcher's bit among a dict's watchers; 0 until registered
}

// Whether `dict` is watched by the watcher whose bit is `bit`. CPython offers no call to ask; it keeps
// a dict's watchers as bits of PyDictObject::_ma_watcher_tag (cpython/dictobject.h), which
// PyDict_Watch sets and PyDict_Unwatch clears. The one read of a private field, kept to this
// function: one load and a test on the hit path of every remembered lookup, where asking the dict
// itself would cost the lookup that remembering saves.
[[nodiscard]] inline bool watched_by(PyObject* dict, std::uint64_t bit) noexcept {
    return (reinterpret_cast<PyDictObject*>(dict)->_ma_watcher_tag & bit) != 0;
}

// Whether `dict` is still watched by this module.
[[nodiscard]] inline bool still_watched(PyObject* dict) noexcept { return watched_by(dict, detail::watcher_bit); }

// Whether every key of `dict` is an exact str, so that a lookup by an exact str runs no code.
[[nodiscard]] inline bool only_str_keys(PyObject* dict) noexcept {
    Py_ssize_t pos = 0;
    PyObject* key = nullptr;
    PyObject* value = nullptr;
    while (PyDict_Next(dict, &pos, &key, &value)) {
        if (!PyUnicode_CheckExact(key)) {
            return false;
        }
    }
    return true;
}

// References a dict watcher's callback lets go of, parked where they were the last ones: freeing them
// could run finalisers, which must not run inside the callback (CPython is between telling watchers
// of a change and writing it; a finaliser changing the same dict would corrupt it). Released outside
// the callback, before the next lookup that depends on the watch. In the ordinary course nothing is
// parked: what a watcher holds, the dict holds too, until it writes the change after the one that let
// go of it. With every place taken, a reference is released at once.
template <std::size_t N>
class Parked {
public:
    void let_go(PyObject* obj) noexcept {
        if (obj == nullptr) {
            return;
        }
        if (Py_REFCNT(obj) > 1 || count_ == N) {
            Py_DECREF(obj);
            return;
        }
        objects_[count_++] = obj;
    }

    void release() noexcept {
        while (count_ > 0) {
            Py_DECREF(objects_[--count_]);  // off the list first: the release may park more
        }
    }

private:
    PyObject* objects_[N]{};
    std::size_t count_ = 0;
};

// Each of this system's modules has a dict watcher of its own (colors and detect in their copies of
// this frame, the painter for sys's namespace), and none of their callbacks runs Python code. Their
// ids are kept as a mask in the interpreter's dict for extensions (which Python code cannot reach),
// so that each knows which watchers are its siblings' rather than foreign ones.
inline constexpr const char* kOwnWatchersKey = "tintwell.frame.dict_watchers";

// CPython keeps the lowest dict watcher ids for its own watchers, which run no Python code: 0 and 1
// (builtins, globals), and from 3.15 on 2 (modules). Of the eight, the others are extensions'.
#if PY_VERSION_HEX >= 0x030F0000
inline constexpr int kFirstExtensionWatcher = 3;
#else
inline constexpr int kFirstExtensionWatcher = 2;
#endif
inline constexpr int kMaxDictWatchers = 8;

// The ids of our watchers in this interpreter, as a mask.
inline unsigned long own_watchers() noexcept {
    PyObject* space = PyInterpreterState_GetDict(PyInterpreterState_Get());
    PyObject* mask = nullptr;
    if (space == nullptr || PyDict_GetItemStringRef(space, kOwnWatchersKey, &mask) <= 0) {
        PyErr_Clear();
        return 0;
    }
    const unsigned long bits = PyLong_CheckExact(mask) ? PyLong_AsUnsignedLong(mask) : 0;
    Py_DECREF(mask);
    if (PyErr_Occurred()) {
        PyErr_Clear();
        return 0;
    }
    return bits;
}

inline void add_own_watcher(int id) noexcept {
    PyObject* space = PyInterpreterState_GetDict(PyInterpreterState_Get());
    Ref mask = space ? Ref::steal(PyLong_FromUnsignedLong(own_watchers() | 1ul << id)) : Ref();
    if (!mask || PyDict_SetItemString(space, kOwnWatchersKey, mask.get()) < 0) {
        PyErr_Clear();  // then the siblings take this watcher for a foreign one: only slower
    }
}

// A lookup's value kept for the next lookup, read from a watched dict. Held, as anything kept
// across calls must be; and let go when its dict is told of a change, before the write, while the
// dict still holds it, so that it lives exactly as long as without the cache (a finaliser runs when
// the dict lets go, not in some later call). For that each is enlisted before its first use (by
// exec, as its name is built). lookups_rememberable may run finalisers (of what could not be let go
// inside the watcher): ask it before a read, never between two steps that must see the same state.
class RememberedValue {
public:
    constexpr RememberedValue() noexcept = default;
    RememberedValue(const RememberedValue&) = delete;
    RememberedValue& operator=(const RememberedValue&) = delete;

    // Joins the values let go of when their dict changes; once, however often it is asked.
    void enlist() noexcept;

    // Holds `found` as read from `from_dict` (of the module `from_owner`, if any) under the stamp
    // taken before the read; the value it replaces goes last, once every field is in order, as
    // releasing may run code.
    void hold(PyObject* from_owner, PyObject* from_dict, PyObject* found, unsigned long long stamp) noexcept {
        owner = from_owner;
        dict = from_dict;
        generation = stamp;
        value.set(Ref::borrow(found));
    }

    PyObject* owner = nullptr;  // compared only: the module an attribute was read from
    PyObject* dict = nullptr;   // compared, then tested for our watch once it is the caller's own
    StaticRef value;
    unsigned long long generation = 0;

private:
    friend void release_values_from(PyObject* dict) noexcept;
    friend bool remembered_from(PyObject* dict) noexcept;
    RememberedValue* next_ = nullptr;
    bool enlisted_ = false;
};

// Whether lookups in `dict` may be remembered now: it is watched (from now on if it was not, which
// moves the generation: take a stamp after asking), it is not changing, and every key in it is an
// exact str, so that a lookup with an exact str key runs no Python code. With any other key a lookup
// may run code and answer differently next time; the interpreter's own caches of globals keep to
// such dicts for the same reason.
bool lookups_rememberable(PyObject* dict) noexcept;

// Whether every key of `dict` is an exact str now, so that one lookup answers exactly what two
// would; false while it is changing. Tracked through the watcher once asked; a dict that cannot be
// watched is scanned.
bool has_plain_keys(PyObject* dict) noexcept;

}  // namespace frame
