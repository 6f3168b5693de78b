#include "lookup.hpp"

#include <string_view>

#include "module.hpp"

namespace frame {

namespace {

// Dict watching: every change to a watched dict (the module's __dict__, and those of plain modules
// whose attributes are read through lookup_attribute) bumps the generation, which invalidates all
// cached lookups at once. Generation 0 means "not watching".
int watcher_id = -1;

int on_module_dict_change(PyDict_WatchEvent, PyObject*, PyObject*, PyObject*) noexcept {
    ++dict_generation;
    return 0;
}

[[gnu::cold]] void raise_name_error(PyObject* name) noexcept {
    PyErr_Format(PyExc_NameError, "name '%U' is not defined", name);
}

enum class Scope { module, function };

// An absolute import as the import statement performs it: through builtins.__import__ when that
// has been replaced (import hooks, lazy importers), directly otherwise. Like the statement, a hook
// is given the module's namespace as locals at module level and None inside a function.
Ref import_level0(PyObject* name, PyObject* fromlist, Scope scope) noexcept {
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
        return Ref::steal(PyImport_ImportModuleLevelObject(name, state.dict, nullptr, fromlist, 0));
    }
    Ref level = Ref::steal(PyLong_FromLong(0));
    if (!level) {
        return {};
    }
    PyObject* locals = scope == Scope::module ? state.dict : Py_None;
    PyObject* args[] = {name, state.dict, locals, fromlist ? fromlist : Py_None, level.get()};
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

bool is_builtin_function(PyObject* obj, const char* name) noexcept {
    return PyCFunction_Check(obj) && PyCFunction_GET_SELF(obj) == state.builtins &&
           std::string_view(reinterpret_cast<PyCFunctionObject*>(obj)->m_ml->ml_name) == name;
}

void watch_globals() noexcept {
    if (watcher_id < 0) {
        watcher_id = PyDict_AddWatcher(on_module_dict_change);
    }
    if (watcher_id < 0 || PyDict_Watch(watcher_id, state.dict) < 0) {
        PyErr_Clear();  // no watcher slot left: every lookup goes to the dict
        dict_generation = 0;
        return;
    }
    ++dict_generation;
}

Ref lookup_global_slow(const Str& name) noexcept {
    Str::GlobalCache& cache = name.global_cache;
    PyObject* value = nullptr;
    // Strong references: code run later in the call may rebind the global and free the old value.
    const int found = PyDict_GetItemRef(state.dict, name.get(), &value);
    if (found != 0) {
        if (found > 0) {
            cache = {value, dict_generation};
        }
        return Ref::steal(value);
    }
    if (PyDict_GetItemRef(state.builtins_dict, name.get(), &value) != 0) {
        return Ref::steal(value);
    }
    raise_name_error(name.get());
    return {};
}

Ref lookup_attribute_slow(PyObject* owner, const Str& name) noexcept {
    Str::AttributeCache& cache = name.attribute_cache;
    if (dict_generation == 0 || !PyModule_CheckExact(owner)) {
        return Ref::steal(PyObject_GetAttr(owner, name.get()));
    }
    // A plain module's attribute that is not one of ModuleType's own is its dict entry, exactly.
    PyObject* dict = PyModule_GetDict(owner);
    PyObject* value = nullptr;
    const int found = PyDict_GetItemRef(dict, name.get(), &value);
    if (found < 0) {
        return {};  // raised by a key's comparison, as getattr itself would raise it
    }
    if (found == 0) {
        return Ref::steal(PyObject_GetAttr(owner, name.get()));
    }
    if (PyDict_Watch(watcher_id, dict) == 0) {
        // The cache keeps the module alive, so its address cannot come back as another module.
        PyObject* previous = cache.owner;
        cache = {Py_NewRef(owner), value, dict_generation};
        Py_XDECREF(previous);
    } else {
        PyErr_Clear();
    }
    return Ref::steal(value);
}

Ref import_module(const Str& name) noexcept {
    Ref module = import_level0(name.get(), nullptr, Scope::module);
    if (!module || bind_global(name, module) < 0) {
        return {};
    }
    return module;
}

Ref import_local(const Str& name) noexcept { return import_level0(name.get(), nullptr, Scope::function); }

Ref import_local_from(const Str& module, const Str& name) noexcept {
    Ref fromlist = Ref::steal(PyTuple_Pack(1, name.get()));
    Ref imported = fromlist ? import_level0(module.get(), fromlist.get(), Scope::function) : Ref();
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
    Ref imported = import_level0(module.get(), fromlist.get(), Scope::module);
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
