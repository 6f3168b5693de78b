#include "dict_watch.hpp"

#include <cstddef>
#include <utility>

#include "test_counters.hpp"

namespace frame {

// Lets go of every value remembered from `dict` (see RememberedValue).
void release_values_from(PyObject* dict) noexcept;

// Whether a remembered lookup was read from `dict`: its watch must go on while it is remembered.
bool remembered_from(PyObject* dict) noexcept;

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
        unknowable  // a change with a key that is not an exact str (looking for it could run code),
                    // or one that may be under way unseen: only the next change shows it written
    };
    Kind kind = none;
    PyObject* key = nullptr;    // strong; an exact str (stored, deleted)
    PyObject* value = nullptr;  // strong (stored)
};

struct WatchedDict {
    PyObject* dict;  // borrowed: the entry goes when the dict is deallocated
    Keys keys;
    Change change;
    unsigned long long asked;  // when lookups in it were last asked about
};

// Few dicts are looked up at a time, but many may have been (each stand-in table or module a caller
// swaps in): when the table is full, the dict asked about least recently that no remembered lookup
// holds and that is not changing stops being watched to make room. Only a table full of such dicts
// refuses one, which then is never remembered from.
constexpr std::size_t kMaxWatched = 32;
constinit WatchedDict watched[kMaxWatched]{};
std::size_t watched_count = 0;
unsigned long long ask_clock = 0;

WatchedDict* find_watched(PyObject* dict) noexcept {
    for (std::size_t i = 0; i < watched_count; ++i) {
        if (watched[i].dict == dict) {
            return &watched[i];
        }
    }
    return nullptr;
}

Keys scan_keys(PyObject* dict) noexcept { return only_str_keys(dict) ? Keys::plain : Keys::mixed; }

// What the watcher let go of, released when lookups are next asked about.
constinit Parked<16> parked;

void release(const Change& change) noexcept {
    parked.let_go(change.key);
    parked.let_go(change.value);
}

// Puts `change` in place of the entry's pending one, whose references go last.
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

// Whether another extension has a dict watcher now. Only such a watcher's callback can run Python
// code (a tintwell call among it) between CPython's notice of a change and the write, and CPython
// decides whom to tell before telling anyone: a dict first watched from within that callback is
// never told of the change under way. Asked once per watch begun, by watching a scratch dict with
// each extension id other than ours.
bool foreign_watchers() noexcept {
    Ref scratch = Ref::steal(PyDict_New());
    if (!scratch) {
        PyErr_Clear();
        return true;
    }
    const unsigned long own = own_watchers();
    for (int id = kFirstExtensionWatcher; id < kMaxDictWatchers; ++id) {
        if ((own & 1ul << id) != 0 || id == watcher_id) {
            continue;
        }
        if (PyDict_Watch(id, scratch.get()) == 0) {
            PyDict_Unwatch(id, scratch.get());
            return true;
        }
        PyErr_Clear();  // no watcher has this id
    }
    return false;
}

// Makes room for one more entry; false when every watched dict is still needed.
bool evict_one() noexcept {
    WatchedDict* oldest = nullptr;
    for (std::size_t i = 0; i < watched_count; ++i) {
        WatchedDict& entry = watched[i];
        if (entry.change.kind == Change::none && (oldest == nullptr || entry.asked < oldest->asked) &&
            !remembered_from(entry.dict)) {
            oldest = &entry;
        }
    }
    if (oldest == nullptr) {
        return false;
    }
    if (still_watched(oldest->dict) && PyDict_Unwatch(watcher_id, oldest->dict) < 0) {
        PyErr_Clear();  // cannot fail for a dict we watch; it stays watched then
        return false;
    }
    *oldest = watched[--watched_count];
    counters::watch_evicted.count();
    return true;
}

// The entry of `dict`, watching it first if need be; null when it cannot be watched. A dict whose
// watch foreign code has ended (or a new dict at the address of one that died unwatched) is watched
// and learnt afresh, and the generation moves: what was remembered from it may be out of date.
// While another extension watches dicts, a change to it may be under way unseen: it is not
// remembered from until its next change is notified.
WatchedDict* watch(PyObject* dict) noexcept {
    WatchedDict* entry = find_watched(dict);
    if (entry != nullptr && still_watched(dict)) {
        entry->asked = ++ask_clock;
        return entry;
    }
    if (entry == nullptr && watched_count == kMaxWatched && !evict_one()) {
        counters::watch_table_full.count();
        return nullptr;
    }
    if (watcher_id < 0) {
        watcher_id = PyDict_AddWatcher(on_dict_change);
        if (watcher_id < 0) {
            PyErr_Clear();  // no watcher slot left: every lookup goes to the dict
            return nullptr;
        }
        detail::watcher_bit = std::uint64_t{1} << watcher_id;
        add_own_watcher(watcher_id);
    }
    if (PyDict_Watch(watcher_id, dict) < 0) {
        PyErr_Clear();
        return nullptr;
    }
    ++dict_generation;
    const Change unseen = foreign_watchers() ? Change{Change::unknowable} : Change{};
    if (entry == nullptr) {
        entry = &watched[watched_count++];
        *entry = {dict, Keys::unknown, unseen, ++ask_clock};
        return entry;
    }
    entry->keys = Keys::unknown;
    entry->asked = ++ask_clock;
    note(*entry, unseen);
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

void RememberedValue::enlist() noexcept {
    if (!enlisted_) {
        next_ = remembered_head;
        remembered_head = this;
        enlisted_ = true;
    }
}

bool remembered_from(PyObject* dict) noexcept {
    for (const RememberedValue* remembered = remembered_head; remembered != nullptr; remembered = remembered->next_) {
        if (remembered->dict == dict) {
            return true;
        }
    }
    return false;
}

void release_values_from(PyObject* dict) noexcept {
    // Only what the dict holds as well: the last reference to a value (after foreign code ended the
    // watch for a while, say) stays with its entry, out of date now, until it remembers another.
    for (RememberedValue* remembered = remembered_head; remembered != nullptr; remembered = remembered->next_) {
        PyObject* value = remembered->value.get();
        if (remembered->dict == dict && value != nullptr && Py_REFCNT(value) > 1) {
            remembered->value.clear();
        }
    }
}

bool lookups_rememberable(PyObject* dict) noexcept {
    parked.release();
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
