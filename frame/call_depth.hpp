// One level of call depth, counted as a Python call counts it: every run of a module function's body
// is inside one, so a cycle of module functions (directly or through other callables) ends in
// RecursionError rather than a stack overflow.
#pragma once

#include "ref.hpp"

namespace frame {

// False with RecursionError set when the C stack is nearly used up.
[[nodiscard]] inline bool enter_call() noexcept { return Py_EnterRecursiveCall(" while calling a Python object") == 0; }
inline void leave_call() noexcept { Py_LeaveRecursiveCall(); }

}  // namespace frame
