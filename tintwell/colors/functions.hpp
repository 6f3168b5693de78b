// The functions of the colors module and what they share.
#pragma once

#include "function.hpp"

namespace colors {

// (r, g, b), each annotated int.
extern const frame::Param rgb_params[3];

extern frame::FunctionDef parse_hex_def;
extern frame::FunctionDef validate_rgb_def;
extern frame::FunctionDef rgb_to_ansi256_def;
extern frame::FunctionDef fg_code_def;
extern frame::FunctionDef bg_code_def;
extern frame::FunctionDef color_code_def;

// Objects the module-level code created; while a module global still holds one of them, the
// functions may take the direct route instead of the generic protocol. Strong references, so the
// identity test cannot be fooled by a recycled address.
struct Originals {
    PyObject* hex_re = nullptr;
    PyObject* short_hex_re = nullptr;
    PyObject* round = nullptr;  // the `round` captured at import
    bool round_is_builtin = false;
    PyObject* foreground_kwnames = nullptr;  // ("foreground",)
};
extern Originals originals;

int bind_cached_builtins() noexcept;
int run_module_code() noexcept;

// parse_hex(color) for an exact str, as if called through the module attribute `parse_hex`
// holding the module's own function (traceback entry included).
PyObject* parse_hex_direct(PyObject* color) noexcept;

// The same for an exact str, as three components and without the tuple: 1 with `rgb` filled, -1
// with parse_hex's exception, 0 when a pattern global is not the module's own (then only
// parse_hex_direct gives the answer).
int parse_hex_components(PyObject* color, int* rgb) noexcept;

// The component check of _validate_rgb on three objects: converts each by the int-parameter rule
// into `converted`, checks the range, and labels any exception as _validate_rgb's.
int validate_rgb_direct(PyObject* const* items, frame::Ref* converted) noexcept;

}  // namespace colors
