// Integers read without a call into the interpreter, and the one test of whether a number is a
// byte (0..255): a colour component, a palette index, a digit-table entry.
#pragma once

#include "frame/ref.hpp"

namespace colors {

// The value of the int `number` when it is held in the interpreter's compact (single-digit) form,
// below 2**30 or so in magnitude; false for a larger one.
[[nodiscard]] inline bool compact_value(PyObject* number, Py_ssize_t& out) noexcept {
    auto* value = reinterpret_cast<PyLongObject*>(number);
    if (!PyUnstable_Long_IsCompact(value)) {
        return false;
    }
    out = PyUnstable_Long_CompactValue(value);
    return true;
}

// The largest byte; the general routes compare with it through Python's comparisons.
inline constexpr long kByteMax = 255;

// The value of the int `number` when it lies in 0..255; -1 otherwise. A larger int is never compact.
[[nodiscard]] inline int byte_of_int(PyObject* number) noexcept {
    Py_ssize_t value = 0;
    return compact_value(number, value) && static_cast<std::size_t>(value) <= kByteMax ? static_cast<int>(value) : -1;
}

// The value of `obj` when it is an int whose comparisons are int's own (an exact int or a bool) and
// lies in 0..255; -1 for anything else. No code runs to find out.
[[nodiscard]] inline int byte_value(PyObject* obj) noexcept {
    return PyLong_CheckExact(obj) || PyBool_Check(obj) ? byte_of_int(obj) : -1;
}

}  // namespace colors
