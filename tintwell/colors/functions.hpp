// The functions of the colors module and what they share.
#pragma once

#include "frame/function.hpp"
#include "frame/own.hpp"

namespace colors {

extern frame::FunctionDef parse_hex_def;
extern frame::FunctionDef validate_rgb_def;
extern frame::FunctionDef rgb_to_ansi256_def;
extern frame::FunctionDef fg_code_def;
extern frame::FunctionDef bg_code_def;
extern frame::FunctionDef color_code_def;

// What the module-level code made or captured, held for the life of the process: its patterns
// (while a global still holds one, parse_hex matches it directly instead of calling its match())
// and its tables.
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

// Which of the globals the direct routes depend on still hold what the module-level code bound
// there (untouched.hpp keeps it).
struct Untouched {
    bool esc = false;           // ESC is the introducer it bound: sequences need not read it
    bool tables = false;        // NAMED_COLORS and COLOR_ALIASES are its dicts holding its entries
    bool color_code = false;    // _color_code is its own function, reading this namespace
    bool parse_hex = false;     // parse_hex is its own function, and _HEX_RE and _SHORT_HEX_RE its patterns
    bool validate_rgb = false;  // _validate_rgb is its own function
};

int bind_cached_builtins() noexcept;
int run_module_code() noexcept;

}  // namespace colors
