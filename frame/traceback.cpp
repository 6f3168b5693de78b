#include "traceback.hpp"

#include <frameobject.h>

#include "module.hpp"

namespace frame {

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

void TraceLabel::add_to_traceback(PyObject* globals) const noexcept {
    if (globals == nullptr) {
        globals = state.builtins_dict;  // a frame needs some namespace; a cleared function has none
    }
    // Building the code object and the frame must not disturb the exception being reported; if
    // either fails, the entry is left out and the original exception goes on.
    PyObject* exc = PyErr_GetRaisedException();
    PyCodeObject* label = code();
    PyFrameObject* py_frame = label && globals ? PyFrame_New(PyThreadState_Get(), label, globals, nullptr) : nullptr;
    PyErr_SetRaisedException(exc);
    if (py_frame != nullptr) {
        PyTraceBack_Here(py_frame);
        Py_DECREF(py_frame);
    }
}

}  // namespace frame
