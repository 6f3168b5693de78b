#include "imports.hpp"

#include "module.hpp"
#include "own.hpp"

namespace frame {

namespace {

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

Ref import_module(const Str& name) noexcept {
    Ref module = import_level0(module_globals(), name.get(), nullptr, Scope::module);
    if (!module || bind_global(name, module.get()) < 0) {
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
        if (!value || bind_global(*name, value.get()) < 0) {
            return -1;
        }
    }
    return 0;
}

}  // namespace frame
