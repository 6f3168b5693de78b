#include "state.hpp"

namespace paint {

State state;

namespace {

constexpr const char* basic_colours[16] = {
    "black",       "red",          "green",      "yellow",       "blue",          "magenta",     "cyan",
    "white",       "bright_black", "bright_red", "bright_green", "bright_yellow", "bright_blue", "bright_magenta",
    "bright_cyan", "bright_white"};

}  // namespace

int make_names() noexcept {
#define PAINT_MAKE_NAME(id, text)                     \
    if (names::id == nullptr) {                       \
        names::id = PyUnicode_InternFromString(text); \
        if (names::id == nullptr) {                   \
            return -1;                                \
        }                                             \
    }
    PAINT_NAMES(PAINT_MAKE_NAME)
#undef PAINT_MAKE_NAME
    for (int i = 0; i < 16; ++i) {
        if (basic_names[i] == nullptr) {
            basic_names[i] = PyUnicode_InternFromString(basic_colours[i]);
            if (basic_names[i] == nullptr) {
                return -1;
            }
        }
    }
    if (!state.empty) {
        state.empty.set(frame::Ref::steal(PyUnicode_FromStringAndSize("", 0)));
        if (!state.empty) {
            return -1;
        }
    }
    return 0;
}

int find_sys_dict() noexcept {
    // PySys_GetObject reads the interpreter's own sys namespace, which sys.modules["sys"] need not be.
    // The module that one of sys's own functions is bound to is the interpreter's sys: its namespace is
    // taken when it holds that function and the very objects PySys_GetObject gives.
    PyObject* function = PySys_GetObject("getrecursionlimit");  // borrowed, checked at once
    PyObject* module = function != nullptr && PyCFunction_Check(function) ? PyCFunction_GET_SELF(function) : nullptr;
    PyObject* dict = module != nullptr && PyModule_Check(module) ? PyModule_GetDict(module) : nullptr;
    if (dict != nullptr && PyDict_CheckExact(dict) && PyDict_GetItemString(dict, "getrecursionlimit") == function &&
        PyDict_GetItemWithError(dict, names::modules) == PySys_GetObject("modules") &&
        PyDict_GetItemWithError(dict, names::stdout_name) == PySys_GetObject("stdout")) {
        state.sys_dict.set(frame::Ref::borrow(dict));
    }
    return PyErr_Occurred() ? -1 : 0;
}

}  // namespace paint
