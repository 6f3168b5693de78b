#include "lookup.hpp"

#include <cstddef>
#include <string_view>

#include "module.hpp"

namespace frame {

namespace {

// Dict watching: every change to a watched dict (the modules' __dict__s, those of plain modules whose
// attributes are read through lookup_attribute, and tables asked about by has_plain_keys) bumps the
// generation, which invalidates all remembered lookups at once. Generation 0 means "not watching".
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

[[gnu::cold]] void raise_name_error(PyObject* name) noexcept {
    PyErr_Format(PyExc_NameError, "name '%U' is not defined", name);
}

enum class Scope { module, function };

// An absolute import as the import statement performs it: through builtins.__import__ when that
// has been replaced (import hooks, lazy importers), directly otherwise. Like the statement, a hook
// is given the namespace as globals, and as locals at module level only (None inside a function).
Ref import_level0(Globals globals, PyObject* name, PyObject* fromlist, Scope scope) noexcept {
    PyObject* hook = nullptr;
    if (PyDict_GetItemStringRef(state.builtins_dict, "__import__", &hook) < 0) {
        return {};
    }
    Ref importer = Ref::steal(hook);
    if (!importer) {
        PyErr_SetString(PyExc_ImportError, "__import__ not found");
        return {};
    }
    if (is_builtin_function(importer.get(), "__import__")) {
        return Ref::steal(PyImport_ImportModuleLevelObject(name, globals.dict(), nullptr, fromlist, 0));
    }
    Ref level = Ref::steal(PyLong_FromLong(0));
    if (!level) {
        return {};
    }
    PyObject* space = globals.dict() ? globals.dict() : Py_None;
    PyObject* locals = scope == Scope::module ? space : Py_None;
    PyObject* args[] = {name, space, locals, fromlist ? fromlist : Py_None, level.get()};
    return Ref::steal(PyObject_Vectorcall(importer.get(), args, 5, nullptr));
}

// One name of `from MODULE import name`: the attribute, else the submodule MODULE.name.
Ref import_from(PyObject* module, PyObject* module_name, PyObject* name) noexcept {
    PyObject* value = nullptr;
    if (PyObject_GetOptionalAttr(module, name, &value) != 0) {
        return Ref::steal(value);  // found, or a failure other than AttributeError
    }
    Ref full_name = Ref::steal(PyUnicode_FromFormat("%U.%U", module_name, name));
    if (!full_name) {
        return {};
    }
    PyObject* submodule = nullptr;
    if (PyDict_GetItemRef(PyImport_GetModuleDict(), full_name.get(), &submodule) < 0) {
        return {};
    }
    if (submodule == nullptr) {
        PyErr_Format(PyExc_ImportError, "cannot import name %S", name);
    }
    return Ref::steal(submodule);
}

}  // namespace

unsigned long long dict_generation = 0;

Globals module_globals() noexcept { return Globals(state.dict); }

bool is_builtin_function(PyObject* obj, const char* name) noexcept {
    return PyCFunction_Check(obj) && PyCFunction_GET_SELF(obj) == state.builtins &&
           std::string_view(reinterpret_cast<PyCFunctionObject*>(obj)->m_ml->ml_name) == name;
}

void watch_dict(PyObject* dict) noexcept {
    if (watch(dict) != nullptr) {
        ++dict_generation;
    }
}

bool has_plain_keys(PyObject* dict) noexcept {
    WatchedDict* entry = watch(dict);
    return entry ? plain(entry) : scan_keys(dict) == Keys::plain;
}

Ref lookup_global_slow(Globals globals, const Str& name) noexcept {
    PyObject* value = nullptr;
    if (PyObject* dict = globals.dict()) {
        // Strong references: code run later in the call may rebind the global and free the old value.
        const int found = PyDict_GetItemRef(dict, name.get(), &value);
        if (found != 0) {
            if (found > 0 && plain(find_watched(dict))) {
                name.global_cache = {dict, value, dict_generation};
            }
            return Ref::steal(value);
        }
    }
    if (PyDict_GetItemRef(state.builtins_dict, name.get(), &value) != 0) {
        return Ref::steal(value);
    }
    raise_name_error(name.get());
    return {};
}

Ref lookup_attribute_slow(PyObject* owner, const Str& name) noexcept {
    if (dict_generation == 0 || !PyModule_CheckExact(owner)) {
        return Ref::steal(PyObject_GetAttr(owner, name.get()));
    }
    // A plain module's attribute that is not one of ModuleType's own is its dict entry, exactly. With
    // a key that is not an exact str the dict lookup may run code, so getattr alone does it then.
    PyObject* dict = PyModule_GetDict(owner);
    WatchedDict* entry = watch(dict);
    if (!plain(entry)) {
        return Ref::steal(PyObject_GetAttr(owner, name.get()));
    }
    PyObject* value = nullptr;
    const int found = PyDict_GetItemRef(dict, name.get(), &value);
    if (found < 0) {
        return {};
    }
    if (found == 0) {
        return Ref::steal(PyObject_GetAttr(owner, name.get()));
    }
    // The cache keeps the module alive, so its address cannot come back as another module.
    Str::AttributeCache& cache = name.attribute_cache;
    PyObject* previous = cache.owner;
    cache = {Py_NewRef(owner), value, dict_generation};
    Py_XDECREF(previous);
    return Ref::steal(value);
}

Ref import_module(const Str& name) noexcept {
    Ref module = import_level0(module_globals(), name.get(), nullptr, Scope::module);
    if (!module || bind_global(name, module) < 0) {
        return {};
    }
    return module;
}

Ref import_local(Globals globals, const Str& name) noexcept {
    return import_level0(globals, name.get(), nullptr, Scope::function);
}

Ref import_local_from(Globals globals, const Str& module, const Str& name) noexcept {
    Ref fromlist = Ref::steal(PyTuple_Pack(1, name.get()));
    Ref imported = fromlist ? import_level0(globals, module.get(), fromlist.get(), Scope::function) : Ref();
    return imported ? import_from(imported.get(), module.get(), name.get()) : Ref();
}

int import_names(const Str& module, std::initializer_list<const Str*> names) noexcept {
    Ref fromlist = Ref::steal(PyTuple_New(static_cast<Py_ssize_t>(names.size())));
    if (!fromlist) {
        return -1;
    }
    Py_ssize_t index = 0;
    for (const Str* name : names) {
        PyTuple_SET_ITEM(fromlist.get(), index++, Py_NewRef(name->get()));
    }
    Ref imported = import_level0(module_globals(), module.get(), fromlist.get(), Scope::module);
    if (!imported) {
        return -1;
    }
    for (const Str* name : names) {
        Ref value = import_from(imported.get(), module.get(), name->get());
        if (!value || bind_global(*name, value) < 0) {
            return -1;
        }
    }
    return 0;
}

}  // namespace frame
