// The painter module tintwell._paint: its definition and exec. tintwell.style is its public face.
#include "colour_science.hpp"
#include "frame/attributes.hpp"
#include "frame/ref.hpp"
#include "painter.hpp"
#include "palette.hpp"
#include "state.hpp"
#include "style.hpp"
#include "sys_watch.hpp"

namespace paint {

namespace {

using frame::Ref;

TINTWELL_COLD int other_interpreter() noexcept {
    PyErr_SetString(PyExc_ImportError,
                    "Interpreter change detected - this module can only be loaded into one interpreter per process.");
    return -1;
}

// Made once per process: what the module keeps is process-wide (see state.hpp).
int make_state() noexcept {
    if (make_names() < 0 || find_sys_dict() < 0 || watch_sys() < 0) {
        return -1;
    }
    colour::init();
    state.colors.set(Ref::steal(PyImport_ImportModule("tintwell.colors")));
    if (!state.colors) {
        return -1;
    }
    state.detect.set(Ref::steal(PyImport_ImportModule("tintwell.detect")));
    if (!state.detect) {
        return -1;
    }
    state.painter_type.set(Ref::steal(PyType_FromSpec(&painter_spec)));
    if (!state.painter_type) {
        return -1;
    }
    state.style_type.set(Ref::steal(PyType_FromSpec(&style_spec)));
    if (!state.style_type) {
        return -1;
    }
    state.ready = true;
    return 0;
}

int exec_module(PyObject* module) noexcept {
    const std::int64_t id = PyInterpreterState_GetID(PyInterpreterState_Get());
    if (id < 0) {
        return -1;
    }
    if (state.interpreter_id == -1) {
        state.interpreter_id = id;
    } else if (id != state.interpreter_id) {
        return other_interpreter();
    }
    if (!state.ready && make_state() < 0) {
        return -1;
    }
    // A later import (after removal from sys.modules) gets the same types.
    if (PyModule_AddObjectRef(module, "Painter", state.painter_type.get()) < 0 ||
        PyModule_AddObjectRef(module, "Style", state.style_type.get()) < 0 ||
        // For the tests: whether painters that follow sys.stdout read it from sys's namespace directly.
        PyModule_AddObjectRef(module, "_reads_sys_namespace", state.sys_dict ? Py_True : Py_False) < 0 ||
        // and whether they know it unchanged between changes to that namespace, without the lookup.
        PyModule_AddObjectRef(module, "_watches_sys_namespace", sys_watch::dict ? Py_True : Py_False) < 0) {
        return -1;
    }
    return 0;
}

PyModuleDef_Slot module_slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(exec_module)},
    // Legacy subinterpreters reach exec, which refuses them; isolated ones are refused by the import system.
    {Py_mod_multiple_interpreters, Py_MOD_MULTIPLE_INTERPRETERS_SUPPORTED},
    {Py_mod_gil, Py_MOD_GIL_USED},
    {0, nullptr},
};

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT,
    "tintwell._paint",
    "The painter behind tintwell.style: styles, nesting, perceptually nearest palette entries.",
    0,
    palette_functions,
    module_slots,
    nullptr,
    nullptr,
    nullptr,
};

}  // namespace

}  // namespace paint

PyMODINIT_FUNC PyInit__paint() { return PyModuleDef_Init(&paint::module_def); }
