// Inside the frame: the layout of the function objects, their argument binding and __signature__.
// The module code uses function.hpp and own.hpp instead.
#pragma once

#include "call_depth.hpp"
#include "function.hpp"
#include "ref.hpp"

namespace frame {

struct FunctionObject {
    PyObject_HEAD
    vectorcallfunc vectorcall;
    const FunctionDef* def;
    PyObject* name;
    PyObject* qualname;
    PyObject* module;
    PyObject* doc;
    PyObject* defaults;
    PyObject* kwdefaults;
    PyObject* annotations;
    PyObject* dict;
    PyObject* globals;  // the module's __dict__: where the body reads module-level names, and __globals__
    PyObject* weakreflist;
};

// The type of module functions, created once per process (never freed).
extern PyTypeObject* function_type;
int ensure_function_type() noexcept;

// Runs the body with the function's own globals, adding its traceback entry to a failure; the
// caller has counted the call's depth.
inline PyObject* run_body(const FunctionObject* self, PyObject* const* args) noexcept {
    PyObject* result = self->def->body(Globals(self->globals), args);
    if (result == nullptr) {
        self->def->label.add_to_traceback();
    }
    return result;
}

// Matches call arguments to parameters (arguments.cpp): fills `bound` with borrowed arguments and
// `owned` with the defaults it holds; -1 with the call's TypeError.
int bind_arguments(FunctionObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, PyObject** bound,
                   Ref* owned) noexcept;

// Raises the TypeError of a function without parameters that was given arguments.
void reject_arguments(FunctionObject* self, Py_ssize_t nargs, PyObject* kwnames) noexcept;

// Builds inspect.Signature for the function's __signature__ (signature.cpp).
PyObject* build_signature(FunctionObject* self) noexcept;

}  // namespace frame
