// Matching call arguments to parameters, and the coercions that parameter annotations demand.
#include <algorithm>
#include <cstddef>

#include "attributes.hpp"
#include "function_object.hpp"

namespace frame {

namespace {

const char* function_name(FunctionObject* self) noexcept {
    const char* utf8 = PyUnicode_AsUTF8(self->name);
    if (utf8 == nullptr) {
        PyErr_Clear();
        return self->def->name.utf8();
    }
    return utf8;
}

TINTWELL_COLD void raise_positional_count(FunctionObject* self, const char* qualifier, Py_ssize_t expected,
                                          Py_ssize_t given) noexcept {
    PyErr_Format(PyExc_TypeError, "%.200s() takes %.8s %zd positional argument%.1s (%zd given)", function_name(self),
                 qualifier, expected, expected == 1 ? "" : "s", given);
}

TINTWELL_COLD void raise_keyword_error(FunctionObject* self, const char* format, PyObject* key) noexcept {
    PyErr_Format(PyExc_TypeError, format, function_name(self), key);
}

// Index of the parameter named `key`: identity first, then string equality; -1 if none.
Py_ssize_t find_parameter(const FunctionDef& def, PyObject* key) noexcept {
    const Py_ssize_t count = static_cast<Py_ssize_t>(def.params.size());
    for (Py_ssize_t i = 0; i < count; ++i) {
        if (def.params[i].name.get() == key) {
            return i;
        }
    }
    for (Py_ssize_t i = 0; i < count; ++i) {
        if (PyUnicode_Compare(def.params[i].name.get(), key) == 0) {
            return i;
        }
    }
    return -1;
}

TINTWELL_COLD void raise_incorrect_type(const Param& param, const char* expected, PyObject* obj) noexcept {
    Ref type_name = Ref::steal(PyType_GetName(Py_TYPE(obj)));
    const char* got = type_name ? PyUnicode_AsUTF8(type_name.get()) : nullptr;
    if (got == nullptr) {
        return;
    }
    PyErr_Format(PyExc_TypeError, "Argument '%.200s' has incorrect type (expected %.200s, got %.200s)",
                 param.name.utf8(), expected, got);
    if (param.coerce != Coerce::exact_str || !PyUnicode_Check(obj)) {
        return;
    }
    PyObject* exc = PyErr_GetRaisedException();
    Ref added = Ref::steal(PyObject_CallMethod(exc, "add_note", "s",
                                               "str subclasses are not accepted here; pass an exact str, "
                                               "e.g. str(value)"));
    if (!added) {
        Py_DECREF(exc);
        return;
    }
    PyErr_SetRaisedException(exc);
}

}  // namespace

bool converts_to_int(PyObject* obj) noexcept {
    const PyNumberMethods* number = Py_TYPE(obj)->tp_as_number;
    if (number != nullptr && (number->nb_index || number->nb_int || number->nb_float)) {
        return true;
    }
    return PyComplex_Check(obj);
}

int bind_arguments(FunctionObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, PyObject** bound,
                   Ref* owned) noexcept {
    const FunctionDef& def = *self->def;
    const Py_ssize_t count = static_cast<Py_ssize_t>(def.params.size());
    const Py_ssize_t npos = def.positional;
    // Held for the whole binding: a keyword default's lookup may run code that replaces __defaults__.
    const Ref defaults = Ref::borrow(self->defaults);
    const Py_ssize_t ndefaults = defaults ? std::min(PyTuple_GET_SIZE(defaults.get()), npos) : Py_ssize_t{0};

    if (nargs > npos) {
        raise_positional_count(self, ndefaults == 0 ? "exactly" : "at most", npos, nargs);
        return -1;
    }
    for (Py_ssize_t i = 0; i < count; ++i) {
        bound[i] = i < nargs ? args[i] : nullptr;
    }
    const Py_ssize_t nkw = kwnames ? PyTuple_GET_SIZE(kwnames) : 0;
    for (Py_ssize_t k = 0; k < nkw; ++k) {
        PyObject* key = PyTuple_GET_ITEM(kwnames, k);
        if (!PyUnicode_Check(key)) {
            PyErr_Format(PyExc_TypeError, "%.200s() keywords must be strings", function_name(self));
            return -1;
        }
        const Py_ssize_t index = find_parameter(def, key);
        if (index < 0) {
            raise_keyword_error(self, "%s() got an unexpected keyword argument '%U'", key);
            return -1;
        }
        if (bound[index] != nullptr) {
            raise_keyword_error(self, "%s() got multiple values for keyword argument '%U'", key);
            return -1;
        }
        bound[index] = args[nargs + k];
    }
    for (Py_ssize_t i = 0; i < count; ++i) {
        if (bound[i] != nullptr) {
            continue;
        }
        const Param& param = def.params[i];
        if (param.kind == ParamKind::positional_or_keyword) {
            const Py_ssize_t first_default = npos - ndefaults;
            if (i >= first_default) {
                // Held by the call: the body may replace __defaults__ while it runs.
                owned[i] = Ref::borrow(PyTuple_GET_ITEM(defaults.get(), PyTuple_GET_SIZE(defaults.get()) - npos + i));
                bound[i] = owned[i].get();
                continue;
            }
            raise_positional_count(self, ndefaults == 0 ? "exactly" : "at least", first_default, i);
            return -1;
        }
        PyObject* fallback = nullptr;
        // Held for the lookup: a key's __eq__ may replace __kwdefaults__ and free the dict.
        const Ref kwdefaults = Ref::borrow(self->kwdefaults);
        if (kwdefaults && PyDict_GetItemRef(kwdefaults.get(), param.name.get(), &fallback) < 0) {
            return -1;
        }
        if (fallback == nullptr) {
            raise_keyword_error(self, "%s() needs keyword-only argument %U", param.name.get());
            return -1;
        }
        owned[i] = Ref::steal(fallback);
        bound[i] = fallback;
    }
    return 0;
}

int apply_parameter_rules(const FunctionDef& def, PyObject** bound, Ref* owned) noexcept {
    const std::size_t count = def.params.size();
    // All conversions first, in declaration order, then the type checks.
    for (std::size_t i = 0; i < count; ++i) {
        if (def.params[i].coerce != Coerce::to_int || PyLong_CheckExact(bound[i]) || !converts_to_int(bound[i])) {
            continue;
        }
        owned[i] = Ref::steal(PyNumber_Long(bound[i]));
        if (!owned[i]) {
            return -1;
        }
        bound[i] = owned[i].get();
    }
    for (std::size_t i = 0; i < count; ++i) {
        const Param& param = def.params[i];
        if (param.coerce == Coerce::exact_str && !PyUnicode_CheckExact(bound[i])) {
            raise_incorrect_type(param, "str", bound[i]);
            return -1;
        }
        if (param.coerce == Coerce::to_int && !PyLong_CheckExact(bound[i])) {
            raise_incorrect_type(param, "int", bound[i]);
            return -1;
        }
    }
    return 0;
}

void reject_arguments(FunctionObject* self, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    if (kwnames != nullptr) {
        PyErr_Format(PyExc_TypeError, "%.200s() takes no keyword arguments", function_name(self));
        return;
    }
    PyErr_Format(PyExc_TypeError, "%.200s() takes no arguments (%zd given)", function_name(self), nargs);
}

}  // namespace frame
