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

// What parse_hex found: the components as plain numbers when the module's own patterns matched
// (`tuple` null), or the tuple that a replaced pattern's match gave.
struct Parsed {
    int rgb[3];
    frame::Ref tuple;
};

// parse_hex(color) for an exact str, as calling the module's own parse_hex `own` would, without
// making the tuple when the module's own patterns match; 0, or -1 with parse_hex's exception.
int parse_hex_direct(const frame::FunctionObject* own, PyObject* color, Parsed& parsed) noexcept;

// The component check of the module's own _validate_rgb `own` on three objects: converts each by the
// int-parameter rule into `converted`, checks the range, and labels any exception as _validate_rgb's.
int validate_rgb_direct(const frame::FunctionObject* own, PyObject* const* items, frame::Ref* converted) noexcept;

}  // namespace colors
