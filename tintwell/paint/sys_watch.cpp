#include "sys_watch.hpp"

#include <cstddef>
#include <utility>

#include "state.hpp"

namespace paint {

unsigned long long sys_watch::epoch = 1;
std::uint64_t sys_watch::bit = 0;
PyObject* sys_watch::dict = nullptr;

namespace {

// The change to "stdout" notified last, kept until it can be seen in the namespace. CPython writes a
// change to a dict before it notifies the next change to the same dict, so a later notice, of any
// key, means this one is written.
enum class Pending : unsigned char {
    none,
    stored,     // "stdout" -> pending_value
    deleted,    // "stdout" gone
    unknowable  // a key that is not an exact str (it may equal "stdout"), a clear or a clone: only the
                // next notice shows it written
};
Pending pending = Pending::none;
PyObject* pending_value = nullptr;  // strong, with stored

bool odd_keys = false;      // a key that is not an exact str: a lookup may run code
bool keys_unknown = false;  // such a key went, or the namespace was cleared or cloned: learnt when next asked

// What the callback let go of, released when a stamp is next asked for.
constinit frame::Parked<8> parked;

// An exact str compared with another runs no code.
bool is_stdout(PyObject* key) noexcept {
    return key == names::stdout_name || PyUnicode_Compare(key, names::stdout_name) == 0;
}

int on_sys_change(PyDict_WatchEvent event, PyObject* changed, PyObject* key, PyObject* new_value) noexcept {
    if (changed != sys_watch::dict) {
        return 0;
    }
    const bool str_key = key != nullptr && PyUnicode_CheckExact(key);
    Pending next = Pending::none;
    PyObject* value = nullptr;
    switch (event) {
        case PyDict_EVENT_ADDED:
        case PyDict_EVENT_MODIFIED:
            if (!str_key) {
                odd_keys = odd_keys || event == PyDict_EVENT_ADDED;
                next = Pending::unknowable;
            } else if (is_stdout(key)) {
                next = Pending::stored;
                value = Py_NewRef(new_value);
            }
            break;
        case PyDict_EVENT_DELETED:
            if (!str_key) {
                keys_unknown = true;  // perhaps the last odd key goes
                next = Pending::unknowable;
            } else if (is_stdout(key)) {
                next = Pending::deleted;
            }
            break;
        case PyDict_EVENT_DEALLOCATED:  // cannot happen while state.sys_dict holds it; then no stamps
            sys_watch::dict = nullptr;
            sys_watch::bit = 0;
            next = Pending::unknowable;
            break;
        default:  // cleared, cloned
            keys_unknown = true;
            next = Pending::unknowable;
            break;
    }
    if (next == Pending::none && pending == Pending::none) {
        return 0;  // neither this change nor the one before it touches "stdout"
    }
    if (next != Pending::none) {
        ++sys_watch::epoch;
    }
    pending = next;
    parked.let_go(std::exchange(pending_value, value));  // last
    return 0;
}

// Whether a watcher other than CPython's own and this system's watches `dict`: its callback could be
// running Python code now, between a notice and a write that our watch, begun now, never hears of.
bool foreign_watch(PyObject* dict, int id) noexcept {
    constexpr unsigned long kExtensions = (1ul << frame::kMaxDictWatchers) - (1ul << frame::kFirstExtensionWatcher);
    return frame::watched_by(dict, kExtensions & ~(frame::own_watchers() | 1ul << id));
}

}  // namespace

int watch_sys() noexcept {
    PyObject* dict = state.sys_dict.get();
    if (dict == nullptr) {
        return 0;
    }
    const int id = PyDict_AddWatcher(on_sys_change);
    if (id < 0) {
        PyErr_Clear();  // no watcher id left: every call looks sys.stdout up
        return 0;
    }
    const bool foreign = foreign_watch(dict, id);
    if (PyDict_Watch(id, dict) < 0) {
        PyErr_Clear();
        PyDict_ClearWatcher(id);
        PyErr_Clear();
        return 0;
    }
    frame::add_own_watcher(id);
    sys_watch::dict = dict;
    sys_watch::bit = std::uint64_t{1} << id;
    odd_keys = !frame::only_str_keys(dict);
    pending = foreign ? Pending::unknowable : Pending::none;
    return 0;
}

unsigned long long stamp_for_lookup() noexcept {
    parked.release();  // may run code: first
    PyObject* dict = sys_watch::dict;
    if (dict == nullptr) {
        return 0;
    }
    if (!frame::watched_by(dict, sys_watch::bit)) {
        // Foreign code ended the watch: its changes go unseen from now on, so it is not begun again.
        ++sys_watch::epoch;
        sys_watch::dict = nullptr;
        sys_watch::bit = 0;
        pending = Pending::none;
        Py_XDECREF(std::exchange(pending_value, nullptr));  // may run code: nothing is looked up yet
        return 0;
    }
    if (keys_unknown) {
        odd_keys = !frame::only_str_keys(dict);
        keys_unknown = false;
    }
    if (odd_keys || pending == Pending::unknowable) {
        return 0;
    }
    if (pending != Pending::none) {
        // Runs no code: every key is an exact str.
        PyObject* found = PyDict_GetItemWithError(dict, names::stdout_name);
        if (found == nullptr && PyErr_Occurred()) {
            PyErr_Clear();  // memory only, with such keys: then it is not known to be written
            return 0;
        }
        if (pending == Pending::stored ? found != pending_value : found != nullptr) {
            return 0;
        }
        pending = Pending::none;
        Py_XDECREF(std::exchange(pending_value, nullptr));  // the namespace holds it
    }
    return sys_watch::epoch;
}

}  // namespace paint
