#include "traceback.hpp"

#include <frameobject.h>

#include "constants.hpp"
#include "module.hpp"
#include "names.hpp"

namespace frame {

namespace {

// The globals of every entry's frame: the builtins module and the module's qualified name. A frame
// reads both from its globals, and the module's own namespace may hold a key that makes such a read
// run code or fail, so entries get a dict of their own. Made once; made again if someone reached it
// through a frame's f_globals and changed it.
StaticRef entry_globals;
StaticRef entry_module_name;

bool untouched_entry_globals(PyObject* globals) noexcept {
    if (PyDict_GET_SIZE(globals) != 2) {
        return false;
    }
    Py_ssize_t pos = 0;
    PyObject* key = nullptr;
    PyObject* value = nullptr;
    while (PyDict_Next(globals, &pos, &key, &value)) {  // identity tests only: no code runs
        const bool builtins = key == names::dunder_builtins.get() && value == state.builtins.get();
        const bool name = key == names::dunder_name.get() && value == entry_module_name.get();
        if (!builtins && !name) {
            return false;
        }
    }
    return true;
}

PyObject* frame_globals() noexcept {
    if (entry_globals && untouched_entry_globals(entry_globals.get())) {
        return entry_globals.get();
    }
    if (!entry_module_name) {
        entry_module_name.set(Ref::steal(PyUnicode_FromString(module_info.qualname)));
    }
    Ref globals = Ref::steal(PyDict_New());
    if (!globals || !entry_module_name || !state.builtins || !names::dunder_builtins.get() ||
        !names::dunder_name.get() ||
        PyDict_SetItem(globals.get(), names::dunder_builtins.get(), state.builtins.get()) < 0 ||
        PyDict_SetItem(globals.get(), names::dunder_name.get(), entry_module_name.get()) < 0) {
        return nullptr;
    }
    entry_globals.set(std::move(globals));
    return entry_globals.get();
}

}  // namespace

PyCodeObject* TraceLabel::code() const noexcept {
    if (!code_) {
        const ModuleInfo& info = module_info;
        Ref name = Ref::steal(path_ ? PyUnicode_FromFormat("%s.%s", info.qualname, path_)
                                    : PyUnicode_FromFormat("init %s", info.qualname));
        const char* utf8 = name ? PyUnicode_AsUTF8(name.get()) : nullptr;
        // Line 1: the module has no source lines to point at.
        code_.set(Ref::steal(utf8 ? reinterpret_cast<PyObject*>(PyCode_NewEmpty(info.source_path, utf8, 1)) : nullptr));
    }
    return reinterpret_cast<PyCodeObject*>(code_.get());
}

void TraceLabel::add_to_traceback() const noexcept {
    // Building the code object and the frame must not disturb the exception being reported; if
    // either fails (memory only), the entry is left out and the original exception goes on.
    PyObject* exc = PyErr_GetRaisedException();
    PyCodeObject* label = code();
    PyObject* globals = label ? frame_globals() : nullptr;
    PyFrameObject* py_frame = globals ? PyFrame_New(PyThreadState_Get(), label, globals, nullptr) : nullptr;
    PyErr_SetRaisedException(exc);
    if (py_frame != nullptr) {
        PyTraceBack_Here(py_frame);
        Py_DECREF(py_frame);
    }
}

}  // namespace frame
