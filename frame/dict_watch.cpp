#include "dict_watch.hpp"

#include <cstddef>

namespace frame {

namespace {

// The dicts watched: the modules' namespaces, those of plain modules whose attributes are read
// through lookup_attribute, and tables asked about by has_plain_keys.
int watcher_id = -1;

// What is known of a watched dict's keys.
enum class Keys : unsigned char { plain, mixed, unknown };

struct WatchedDict {
    PyObject* dict;  // borrowed: the entry goes when the dict is deallocated
    Keys keys;
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

int on_dict_change(PyDict_WatchEvent event, PyObject* dict, PyObject* key, PyObject*) noexcept {
    ++dict_generation;
    WatchedDict* entry = find_watched(dict);
    if (entry == nullptr) {
        return 0;
    }
    switch (event) {
        case PyDict_EVENT_ADDED:
            if (!PyUnicode_CheckExact(key)) {
                entry->keys = Keys::mixed;
            }
            break;
        case PyDict_EVENT_CLONED:  // the keys of another dict arrive: learn them at the next question
            entry->keys = Keys::unknown;
            break;
        case PyDict_EVENT_DELETED:  // perhaps the last odd key went: learn it at the next question
            if (entry->keys == Keys::mixed) {
                entry->keys = Keys::unknown;
            }
            break;
        case PyDict_EVENT_CLEARED:
            entry->keys = Keys::plain;
            break;
        case PyDict_EVENT_DEALLOCATED:
            *entry = watched[--watched_count];
            break;
        default:  // MODIFIED keeps the key the dict already holds
            break;
    }
    return 0;
}

// The entry of `dict`, watching it first if need be; null when it cannot be watched.
WatchedDict* watch(PyObject* dict) noexcept {
    if (WatchedDict* entry = find_watched(dict)) {
        return entry;
    }
    if (watched_count == kMaxWatched) {
        return nullptr;
    }
    if (watcher_id < 0) {
        watcher_id = PyDict_AddWatcher(on_dict_change);
        if (watcher_id < 0) {
            PyErr_Clear();  // no watcher slot left: every lookup goes to the dict
            return nullptr;
        }
    }
    if (PyDict_Watch(watcher_id, dict) < 0) {
        PyErr_Clear();
        return nullptr;
    }
    watched[watched_count] = {dict, scan_keys(dict)};
    if (dict_generation == 0) {
        dict_generation = 1;
    }
    return &watched[watched_count++];
}

bool plain(WatchedDict* entry) noexcept {
    if (entry == nullptr) {
        return false;
    }
    if (entry->keys == Keys::unknown) {
        entry->keys = scan_keys(entry->dict);
    }
    return entry->keys == Keys::plain;
}

}  // namespace

unsigned long long dict_generation = 0;

bool lookups_rememberable(PyObject* dict) noexcept { return plain(watch(dict)); }

bool has_plain_keys(PyObject* dict) noexcept {
    WatchedDict* entry = watch(dict);
    return entry ? plain(entry) : scan_keys(dict) == Keys::plain;
}

}  // namespace frame
