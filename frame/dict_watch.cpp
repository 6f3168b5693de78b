#include "dict_watch.hpp"

#include <cstddef>
#include <utility>

namespace frame {

// Lets go of every value remembered from `dict` (see RememberedValue).
void release_values_from(PyObject* dict) noexcept;

namespace {

// The dicts watched: the modules' namespaces, those of plain modules whose attributes are read
// through lookup_attribute, and tables asked about by has_plain_keys.
int watcher_id = -1;

constinit RememberedValue* remembered_head = nullptr;

// What is known of a watched dict's keys.
enum class Keys : unsigned char { plain, mixed, unknown };

// The change last notified for a watched dict, kept until it can be seen in the dict. CPython
// forbids changing a dict from within the notification of a change to it, so the next change
// notified for the same dict comes after this one has been written, and replaces it.
struct Change {
    enum Kind : unsigned char {
        none,       // nothing pending
        stored,     // key -> value (added or modified)
        deleted,    // key gone
        cleared,    // the dict empty
        cloned,     // the dict (empty until then) filled from another
        unknowable  // a key that is not an exact str: looking for it could run code; only the next
                    // change to the dict shows that this one was written
    };
    Kind kind = none;
    PyObject* key = nullptr;    // strong; an exact str (stored, deleted)
    PyObject* value = nullptr;  // strong (stored)
};

struct WatchedDict {
    PyObject* dict;  // borrowed: the entry goes when the dict is deallocated
    Keys keys;
    Change change;
};

// Few dicts are ever watched; one that finds no room is simply never remembered from.
constexpr std::size_t kMaxWatched = 32;
WatchedDict watched[kMaxWatched];
std::size_t watched_count = 0;

WatchedDict* find_watched(PyObject* dict) noexcept {
    for (std::size_t i = 0; i < watched_count; ++i) {
        if (watched[i].dict == dict) {
            return &watched[i];
        }
    }
    return nullptr;
}

Keys scan_keys(PyObject* dict) noexcept {
    Py_ssize_t pos = 0;
    PyObject* key = nullptr;
    PyObject* value = nullptr;
    while (PyDict_Next(dict, &pos, &key, &value)) {
        if (!PyUnicode_CheckExact(key)) {
            return Keys::mixed;
        }
    }
    return Keys::plain;
}

void release(const Change& change) noexcept {
    Py_XDECREF(change.key);
    Py_XDECREF(change.value);
}

// Puts `change` in place of the entry's pending one, whose references go last: releasing may run
// code, which finds the entry in order.
void note(WatchedDict& entry, Change change) noexcept { release(std::exchange(entry.change, change)); }

Change change_of(PyDict_WatchEvent event, PyObject* key, PyObject* new_value) noexcept {
    const bool str_key = key != nullptr && PyUnicode_CheckExact(key);
    switch (event) {
        case PyDict_EVENT_ADDED:
        case PyDict_EVENT_MODIFIED:
            return str_key ? Change{Change::stored, Py_NewRef(key), Py_NewRef(new_value)} : Change{Change::unknowable};
        case PyDict_EVENT_DELETED:
            return str_key ? Change{Change::deleted, Py_NewRef(key)} : Change{Change::unknowable};
        case PyDict_EVENT_CLEARED:
            return {Change::cleared};
        case PyDict_EVENT_CLONED:
            return {Change::cloned};
        default:
            return {Change::unknowable};
    }
}

int on_dict_change(PyDict_WatchEvent event, PyObject* dict, PyObject* key, PyObject* new_value) noexcept {
    ++dict_generation;
    WatchedDict* entry = find_watched(dict);
    if (entry == nullptr) {
        release_values_from(dict);
        return 0;
    }
    if (event == PyDict_EVENT_DEALLOCATED) {
        const Change pending = entry->change;
        *entry = watched[--watched_count];
        release(pending);
        release_values_from(dict);
        return 0;
    }
    const bool str_key = key != nullptr && PyUnicode_CheckExact(key);
    switch (event) {
        case PyDict_EVENT_ADDED:
            if (!str_key) {
                entry->keys = Keys::mixed;
            }
            break;
        case PyDict_EVENT_DELETED:  // perhaps the last odd key goes: learn it once that is written
            if (!str_key && entry->keys == Keys::mixed) {
                entry->keys = Keys::unknown;
            }
            break;
        case PyDict_EVENT_CLEARED:  // the keys after the write are learnt after the write
        case PyDict_EVENT_CLONED:
            entry->keys = Keys::unknown;
            break;
        default:  // MODIFIED keeps the key the dict already holds
            break;
    }
    note(*entry, change_of(event, key, new_value));
    release_values_from(dict);
    return 0;
}

// The entry of `dict`, watching it first if need be; null when it cannot be watched. A dict whose
// watch foreign code has ended (or a new dict at the address of one that died unwatched) is watched
// and learnt afresh, and the generation moves: what was remembered from it may be out of date.
WatchedDict* watch(PyObject* dict) noexcept {
    WatchedDict* entry = find_watched(dict);
    if (entry != nullptr && still_watched(dict)) {
        return entry;
    }
    if (entry == nullptr && watched_count == kMaxWatched) {
        return nullptr;
    }
    if (watcher_id < 0) {
        watcher_id = PyDict_AddWatcher(on_dict_change);
        if (watcher_id < 0) {
            PyErr_Clear();  // no watcher slot left: every lookup goes to the dict
            return nullptr;
        }
        detail::watcher_bit = std::uint64_t{1} << watcher_id;
    }
    if (PyDict_Watch(watcher_id, dict) < 0) {
        PyErr_Clear();
        return nullptr;
    }
    ++dict_generation;
    if (entry == nullptr) {
        entry = &watched[watched_count++];
        *entry = {dict, Keys::unknown, {}};
        return entry;
    }
    entry->keys = Keys::unknown;
    note(*entry, {});
    return entry;
}

bool plain(WatchedDict& entry) noexcept {
    if (entry.keys == Keys::unknown) {
        entry.keys = scan_keys(entry.dict);
    }
    return entry.keys == Keys::plain;
}

// Whether the change last notified for the entry's dict (if any) can be seen in it now; forgets the
// change when it can. Runs no code: a key is looked up only in a dict of exact-str keys (which a
// pending store or deletion of an exact-str key leaves as they are), and the references it lets go
// are a value the dict holds and an exact str.
bool settled(WatchedDict& entry) noexcept {
    const Change& change = entry.change;
    bool seen = false;
    switch (change.kind) {
        case Change::none:
            return true;
        case Change::cleared:
            seen = PyDict_GET_SIZE(entry.dict) == 0;
            break;
        case Change::cloned:  // only a non-empty dict is cloned
            seen = PyDict_GET_SIZE(entry.dict) != 0;
            break;
        case Change::stored:
        case Change::deleted: {
            if (!plain(entry)) {
                return false;
            }
            PyObject* found = nullptr;
            if (PyDict_GetItemRef(entry.dict, change.key, &found) < 0) {
                PyErr_Clear();  // memory only, with such keys: then it is not known to be seen
                return false;
            }
            seen = change.kind == Change::stored ? found == change.value : found == nullptr;
            Py_XDECREF(found);  // the dict holds it
            break;
        }
        case Change::unknowable:
            return false;
    }
    if (seen) {
        note(entry, {});
    }
    return seen;
}

}  // namespace

unsigned long long dict_generation = 1;
std::uint64_t detail::watcher_bit = 0;

RememberedValue::RememberedValue() noexcept : next_(remembered_head) { remembered_head = this; }

void release_values_from(PyObject* dict) noexcept {
    // Each is released as soon as it is cleared: the list itself never changes, and whatever a
    // release runs finds every entry in order.
    for (RememberedValue* remembered = remembered_head; remembered != nullptr; remembered = remembered->next_) {
        if (remembered->dict == dict) {
            remembered->value.clear();
        }
    }
}

bool lookups_rememberable(PyObject* dict) noexcept {
    WatchedDict* entry = watch(dict);
    return entry != nullptr && settled(*entry) && plain(*entry);
}

bool has_plain_keys(PyObject* dict) noexcept {
    WatchedDict* entry = watch(dict);
    if (entry == nullptr) {
        return scan_keys(dict) == Keys::plain;
    }
    return settled(*entry) && plain(*entry);
}

}  // namespace frame
