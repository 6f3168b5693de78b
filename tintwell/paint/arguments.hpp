// Binding the arguments of a vectorcall to named parameters, and the values attributes take.
#pragma once

#include "frame/ref.hpp"

namespace paint {

struct Signature {
    const char* function;        // the name in messages, e.g. "paint"
    PyObject* const* names[10];  // the parameters' interned names, in order
    int count;                   // parameters
    int positional;              // how many may be given by position (the first ones)
    int required;                // how many of those must be given
};

// Fills values[0 .. count) with the argument of each parameter (borrowed) or nullptr. Keyword names
// are matched by identity first, then by equality. -1 with TypeError set when the call does not fit.
int bind(const Signature& signature, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
         PyObject** values) noexcept;

// The on/off value of an attribute keyword: True, False or an int (on when non-zero). -1 with
// TypeError naming the keyword for anything else.
int attribute_flag(const char* function, PyObject* name, PyObject* value) noexcept;

}  // namespace paint
