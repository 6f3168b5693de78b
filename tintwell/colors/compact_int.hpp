// Exact ints read without a call into the interpreter: the value of one held in the interpreter's
// compact (single-digit) form.
#pragma once

#include "frame/ref.hpp"

namespace colors {

// The value of the exact int `value` when it is compact; false for a larger one.
[[nodiscard]] inline bool compact_value(PyObject* value, Py_ssize_t& out) noexcept {
    auto* number = reinterpret_cast<PyLongObject*>(value);
    if (!PyUnstable_Long_IsCompact(number)) {
        return false;
    }
    out = PyUnstable_Long_CompactValue(number);
    return true;
}

}  // namespace colors
