// The functions of the colors module and what they share.
#pragma once

#include "frame/function.hpp"
#include "frame/own.hpp"

namespace colors {

// (r, g, b), each annotated int.
extern const frame::Param rgb_params[3];

extern frame::FunctionDef parse_hex_def;
extern frame::FunctionDef validate_rgb_def;
extern frame::FunctionDef rgb_to_ansi256_def;
extern frame::FunctionDef fg_code_def;
extern frame::FunctionDef bg_code_def;
extern frame::FunctionDef color_code_def;

// What the module-level code made or captured, held for the life of the process. While a global
// still holds one of the patterns, parse_hex matches it directly instead of calling its match();
// while the tables are the ones it built, with their entries, names resolve through their index.
struct Originals {
    frame::Original hex_re;
    frame::Original short_hex_re;
    frame::Original named_colors;
    frame::Original color_aliases;
    frame::StaticRef round;  // the `round` captured at import
    bool round_is_builtin = false;
    frame::StaticRef foreground_kwnames;  // ("foreground",)
};
extern Originals originals;

int bind_cached_builtins() noexcept;
int run_module_code() noexcept;

// What parse_hex found: the components as plain numbers when the module's own patterns matched
// (`tuple` null), or the tuple that a replaced pattern's match gave.
struct Parsed {
    unsigned rgb[3];
    frame::Ref tuple;
};

// parse_hex(color) for an exact str, as calling the module's own parse_hex `own` would, without
// making the tuple when the module's own patterns match; 0, or -1 with parse_hex's exception.
int parse_hex_direct(const frame::FunctionObject* own, PyObject* color, Parsed& parsed) noexcept;

// The component check of the module's own _validate_rgb `own` on three objects: converts each by the
// int-parameter rule into `converted`, checks the range, and labels any exception as _validate_rgb's.
int validate_rgb_direct(const frame::FunctionObject* own, PyObject* const* items, frame::Ref* converted) noexcept;

}  // namespace colors
