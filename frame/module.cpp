#include "module.hpp"

#include "constants.hpp"
#include "dict_watch.hpp"
#include "function_object.hpp"
#include "names.hpp"
#include "traceback.hpp"

namespace frame {

constinit ModuleState state;

namespace {

constinit TraceLabel init_label{nullptr};

// Copies module_spec.<attr> into the module dict as `key`; a missing attribute is skipped.
int copy_from_module_spec(PyObject* module_spec, PyObject* dict, const char* attr, const char* key,
                          bool skip_none) noexcept {
    PyObject* value = nullptr;
    int found = PyObject_GetOptionalAttrString(module_spec, attr, &value);
    if (found <= 0) {
        return found;  // 0: missing, -1: error
    }
    Ref owned = Ref::steal(value);
    if (skip_none && value == Py_None) {
        return 0;
    }
    return PyDict_SetItemString(dict, key, value);
}

// The Python version the module is built for. A test build may claim another minor version to
// exercise the mismatch warning on the one interpreter at hand.
#ifndef TINTWELL_BUILT_FOR_MINOR
#define TINTWELL_BUILT_FOR_MINOR PY_MINOR_VERSION
#endif

int check_runtime_version() noexcept {
    const int major = static_cast<int>((Py_Version >> 24) & 0xff);
    const int minor = static_cast<int>((Py_Version >> 16) & 0xff);
    if (major == PY_MAJOR_VERSION && minor == TINTWELL_BUILT_FOR_MINOR) {
        return 0;
    }
    return PyErr_WarnFormat(PyExc_RuntimeWarning, 1,
                            "compile time Python version %d.%d of module '%.100s' does not match runtime version %d.%d",
                            PY_MAJOR_VERSION, TINTWELL_BUILT_FOR_MINOR, module_info.qualname, major, minor);
}

int register_in_sys_modules() noexcept {
    PyObject* modules = PyImport_GetModuleDict();  // borrowed
    int present = PyMapping_HasKeyStringWithError(modules, module_info.qualname);
    if (present != 0) {
        return present < 0 ? -1 : 0;
    }
    return PyMapping_SetItemString(modules, module_info.qualname, state.module.get());
}

void forget_module() noexcept {
    state.dict.clear();
    state.module.clear();
}

int build(Pool pool) noexcept {
    for (PoolEntry* entry : pool) {
        if (entry->build() < 0) {
            return -1;
        }
    }
    return 0;
}

// Builds the constant pool: the frame's constants, the module's, and its functions' docstrings. After
// a failed exec, what was built stays and the rest is built now.
int build_constants() noexcept {
    if (build(names::pool) < 0) {
        return -1;
    }
    for (const Pool* pool : module_info.constants) {
        if (build(*pool) < 0) {
            return -1;
        }
    }
    for (FunctionDef* def : module_info.functions) {
        if (def->doc.utf8() != nullptr && def->doc.build() < 0) {
            return -1;
        }
    }
    return 0;
}

// The module in sys.modules, the cached builtins, the function type, the module-level code and
// __test__: a failure from here on is labelled "init <qualname>".
int run_late_steps() noexcept {
    if (register_in_sys_modules() < 0) {
        return -1;
    }
    if (module_info.bind_cached_builtins != nullptr && module_info.bind_cached_builtins() < 0) {
        return -1;
    }
    if (ensure_function_type() < 0) {
        return -1;
    }
    if (module_info.run_module_code() < 0) {
        return -1;
    }
    Ref test = Ref::steal(PyDict_New());
    if (!test) {
        return -1;
    }
    return PyObject_SetAttr(state.module.get(), names::dunder_test.get(), test.get());
}

PyObject* create_module(PyObject* module_spec, PyModuleDef*) noexcept {
    const std::int64_t id = PyInterpreterState_GetID(PyInterpreterState_Get());
    if (id < 0) {
        return nullptr;
    }
    if (state.interpreter_id == -1) {
        state.interpreter_id = id;
    } else if (id != state.interpreter_id) {
        PyErr_SetString(PyExc_ImportError,
                        "Interpreter change detected - this module can only be loaded into one interpreter per "
                        "process.");
        return nullptr;
    }
    if (state.module) {
        return Py_NewRef(state.module.get());
    }
    Ref name = Ref::steal(PyObject_GetAttrString(module_spec, "name"));
    if (!name) {
        return nullptr;
    }
    Ref module = Ref::steal(PyModule_NewObject(name.get()));
    if (!module) {
        return nullptr;
    }
    PyObject* dict = PyModule_GetDict(module.get());  // borrowed
    if (copy_from_module_spec(module_spec, dict, "loader", "__loader__", false) < 0 ||
        copy_from_module_spec(module_spec, dict, "origin", "__file__", false) < 0 ||
        copy_from_module_spec(module_spec, dict, "parent", "__package__", false) < 0 ||
        copy_from_module_spec(module_spec, dict, "submodule_search_locations", "__path__", true) < 0) {
        return nullptr;
    }
    return module.release();
}

int exec_module(PyObject* module) noexcept {
    if (state.module) {
        if (state.module.get() == module) {
            return 0;
        }
        PyErr_Format(PyExc_RuntimeError, "Module '%s' has already been imported. Re-initialisation is not supported.",
                     module_info.name);
        return -1;
    }
    state.module.set(Ref::borrow(module));
    state.dict.set(Ref::borrow(PyModule_GetDict(module)));
    if (!state.dict) {
        forget_module();
        return -1;
    }
    lookups_rememberable(state.dict.get());  // starts watching the namespace
    if (!state.builtins) {
        state.builtins.set(Ref::steal(PyImport_ImportModule("builtins")));
        if (!state.builtins) {
            forget_module();
            return -1;
        }
        state.builtins_dict = PyModule_GetDict(state.builtins.get());
    }
    if (PyObject_SetAttrString(module, "__builtins__", state.builtins.get()) < 0 || check_runtime_version() < 0 ||
        build_constants() < 0) {
        forget_module();
        return -1;
    }
    if (run_late_steps() < 0) {
        init_label.add_to_traceback();
        forget_module();
        return -1;
    }
    return 0;
}

PyModuleDef_Slot module_slots[] = {
    {Py_mod_create, reinterpret_cast<void*>(create_module)},
    {Py_mod_exec, reinterpret_cast<void*>(exec_module)},
    {0, nullptr},  // no other slot: neither multiple interpreters nor free threading are declared
};

// Name and docstring are set by init_module: module_info is another file's, so reading it here would
// be code run at load time.
constinit PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT, nullptr, nullptr, 0, nullptr, module_slots, nullptr, nullptr, nullptr,
};

}  // namespace

PyObject* init_module() noexcept {
    module_def.m_name = module_info.name;
    module_def.m_doc = module_info.doc;
    return PyModuleDef_Init(&module_def);
}

int bind_global(const Str& name, PyObject* value) noexcept {
    return PyDict_SetItem(state.dict.get(), name.get(), value);
}

}  // namespace frame
