#include "arguments.hpp"

#include "frame/attributes.hpp"

namespace paint {

namespace {

TINTWELL_COLD int too_many_positional(const Signature& signature, Py_ssize_t given) noexcept {
    if (signature.required == signature.positional) {
        PyErr_Format(PyExc_TypeError, "%s() takes %d positional argument%s but %zd were given", signature.function,
                     signature.positional, signature.positional == 1 ? "" : "s", given);
    } else {
        PyErr_Format(PyExc_TypeError, "%s() takes from %d to %d positional arguments but %zd were given",
                     signature.function, signature.required, signature.positional, given);
    }
    return -1;
}

TINTWELL_COLD int keyword_error(const Signature& signature, PyObject* name, bool given_twice) noexcept {
    if (!PyUnicode_Check(name)) {
        PyErr_Format(PyExc_TypeError, "%s() keywords must be strings", signature.function);
    } else if (given_twice) {
        PyErr_Format(PyExc_TypeError, "%s() got multiple values for argument '%U'", signature.function, name);
    } else {
        PyErr_Format(PyExc_TypeError, "%s() got an unexpected keyword argument '%U'", signature.function, name);
    }
    return -1;
}

TINTWELL_COLD int missing(const Signature& signature, int parameter) noexcept {
    PyErr_Format(PyExc_TypeError, "%s() missing 1 required positional argument: '%U'", signature.function,
                 *signature.names[parameter]);
    return -1;
}

// The parameter named `name`, or -1.
int find_parameter(const Signature& signature, PyObject* name) noexcept {
    for (int i = 0; i < signature.count; ++i) {
        if (*signature.names[i] == name) {
            return i;
        }
    }
    if (!PyUnicode_Check(name)) {
        return -1;
    }
    for (int i = 0; i < signature.count; ++i) {
        // Both are str: the comparison runs no Python code and cannot fail.
        if (PyUnicode_Equal(*signature.names[i], name) == 1) {
            return i;
        }
    }
    return -1;
}

}  // namespace

int bind(const Signature& signature, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
         PyObject** values) noexcept {
    if (nargs > signature.positional) {
        return too_many_positional(signature, nargs);
    }
    int i = 0;
    for (; i < nargs; ++i) {
        values[i] = args[i];
    }
    for (; i < signature.count; ++i) {
        values[i] = nullptr;
    }
    if (kwnames != nullptr) {
        const Py_ssize_t count = PyTuple_GET_SIZE(kwnames);
        for (Py_ssize_t k = 0; k < count; ++k) {
            PyObject* name = PyTuple_GET_ITEM(kwnames, k);
            const int parameter = find_parameter(signature, name);
            if (parameter < 0 || values[parameter] != nullptr) {
                return keyword_error(signature, name, parameter >= 0);
            }
            values[parameter] = args[nargs + k];
        }
    }
    for (int parameter = static_cast<int>(nargs); parameter < signature.required; ++parameter) {
        if (values[parameter] == nullptr) {
            return missing(signature, parameter);
        }
    }
    return 0;
}

int attribute_flag(const char* function, PyObject* name, PyObject* value) noexcept {
    if (PyLong_Check(value)) {
        // The int's own value: an int subclass's __bool__ is not asked.
        int sign = 0;
        if (PyLong_GetSign(value, &sign) < 0) {
            return -1;
        }
        return sign != 0;
    }
    PyErr_Format(PyExc_TypeError, "%s() argument '%U' must be True, False or an int, not %.200s", function, name,
                 Py_TYPE(value)->tp_name);
    return -1;
}

}  // namespace paint
