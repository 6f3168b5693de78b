// What the painter module keeps for the life of the process: its interned names, the modules it
// calls and its two types. Process-wide rather than per module: the module, like tintwell.colors and
// tintwell.detect whose functions it calls, lives in the first interpreter that imports it.
#pragma once

#include <cstdint>

#include "frame/ref.hpp"

namespace paint {

// Interned names, made by the first exec: keyword arguments are matched against them by identity
// first, and the module attributes it calls are looked up with them.
#define PAINT_NAMES(X)                                                                                             \
    X(text, "text")                                                                                                \
    X(fg, "fg")                                                                                                    \
    X(bg, "bg")                                                                                                    \
    X(bold, "bold")                                                                                                \
    X(dim, "dim")                                                                                                  \
    X(italic, "italic")                                                                                            \
    X(underline, "underline")                                                                                      \
    X(blink, "blink") X(reverse, "reverse") X(strike, "strike") X(stream, "stream") X(level, "level")              \
        X(color, "color") X(index, "index") X(r, "r") X(g, "g") X(b, "b") X(rgb1, "rgb1") X(rgb2, "rgb2")          \
            X(fg_code, "fg_code") X(bg_code, "bg_code") X(parse_hex, "parse_hex") X(validate_rgb, "_validate_rgb") \
                X(ColorLevel, "ColorLevel") X(detect_color_level, "detect_color_level")                            \
                    X(enable_windows_vt, "enable_windows_vt") X(name, "name") X(stdout_name, "stdout")             \
                        X(modules, "modules") X(add_note, "add_note") X(form_hex, "hex") X(form_index, "index")    \
                            X(form_rgb, "rgb")

namespace names {
#define PAINT_DECLARE_NAME(id, text) inline PyObject* id = nullptr;
PAINT_NAMES(PAINT_DECLARE_NAME)
#undef PAINT_DECLARE_NAME
}  // namespace names

// The names of the 16 basic colours in palette order, as fg_code takes them.
inline PyObject* basic_names[16] = {};

struct State {
    std::int64_t interpreter_id = -1;
    bool ready = false;       // the names, tables, imports and types below are made
    frame::StaticRef colors;  // tintwell.colors
    frame::StaticRef detect;  // tintwell.detect
    // The sys module's namespace, where a painter that follows sys.stdout reads it when it cannot know
    // it unchanged (sys_watch.hpp): one dict lookup by an interned key, where PySys_GetObject makes a
    // str of its name each time. Null where the interpreter's own sys could not be told for sure
    // (find_sys_dict); then PySys_GetObject, at every call.
    frame::StaticRef sys_dict;
    frame::StaticRef empty;  // ""
    frame::StaticRef painter_type;
    frame::StaticRef style_type;
};

extern State state;

// Makes the interned names and basic_names; -1 with an exception set on failure.
int make_names() noexcept;

// Finds the sys module's namespace for state.sys_dict; -1 with an exception set on failure.
int find_sys_dict() noexcept;

// sys.stdout as it is now (borrowed: compare it at once, or take a reference); null when sys has no
// stdout, or with an exception set when the lookup failed (a key of sys's namespace whose __eq__,
// asked because its hash is that of "stdout", raised).
inline PyObject* current_stdout() noexcept {
    PyObject* dict = state.sys_dict.get();
    return dict != nullptr ? PyDict_GetItemWithError(dict, names::stdout_name) : PySys_GetObject("stdout");
}

}  // namespace paint
