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
    frame::Ref sys = frame::Ref::steal(PyImport_ImportModule("sys"));
    if (!sys) {
        return -1;
    }
    PyObject* dict = PyModule_Check(sys.get()) ? PyModule_GetDict(sys.get()) : nullptr;  // borrowed
    // PySys_GetObject reads the interpreter's own sys namespace: the module found through sys.modules
    // stands for it only when its namespace holds the very objects PySys_GetObject gives.
    if (dict != nullptr && PyDict_CheckExact(dict) &&
        PyDict_GetItemWithError(dict, names::modules) == PySys_GetObject("modules") &&
        PyDict_GetItemWithError(dict, names::stdout_name) == PySys_GetObject("stdout")) {
        state.sys_dict.set(frame::Ref::borrow(dict));
    }
    return PyErr_Occurred() ? -1 : 0;
}

}  // namespace paint
