#include "lookup.hpp"

#include "attributes.hpp"
#include "module.hpp"

namespace frame {

namespace {

TINTWELL_COLD void raise_name_error(PyObject* name) noexcept {
    PyErr_Format(PyExc_NameError, "name '%U' is not defined", name);
}

}  // namespace

Globals module_globals() noexcept { return Globals(state.dict.get()); }

Ref lookup_global_slow(Globals globals, const GlobalName& name) noexcept {
    PyObject* value = nullptr;
    if (PyObject* dict = globals.dict()) {
        // Asked before the read, which then runs no code in a dict that may be remembered from; the
        // stamp is taken after asking (starting a watch moves the generation) and before the read.
        const bool rememberable = lookups_rememberable(dict);
        const unsigned long long stamp = dict_generation;
        // Strong references: code run later in the call may rebind the global and free the old value.
        const int found = PyDict_GetItemRef(dict, name.get(), &value);
        if (found != 0) {
            if (found > 0 && rememberable) {
                name.last_.hold(nullptr, dict, value, stamp);
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

Ref lookup_attribute_slow(PyObject* owner, const AttributeName& name) noexcept {
    if (!PyModule_CheckExact(owner)) {
        return Ref::steal(PyObject_GetAttr(owner, name.get()));
    }
    // A plain module's attribute that is not one of ModuleType's own is its dict entry, exactly. With
    // a key that is not an exact str the dict lookup may run code, so getattr alone does it then.
    PyObject* dict = PyModule_GetDict(owner);
    if (!lookups_rememberable(dict)) {
        return Ref::steal(PyObject_GetAttr(owner, name.get()));
    }
    const unsigned long long stamp = dict_generation;
    PyObject* value = nullptr;
    const int found = PyDict_GetItemRef(dict, name.get(), &value);
    if (found < 0) {
        return {};
    }
    if (found == 0) {
        return Ref::steal(PyObject_GetAttr(owner, name.get()));
    }
    name.last_.hold(owner, dict, value, stamp);
    return Ref::steal(value);
}

bool global_reads_run_no_code(Globals globals) noexcept {
    return globals.dict() != nullptr && has_plain_keys(globals.dict()) && has_plain_keys(state.builtins_dict);
}

}  // namespace frame
