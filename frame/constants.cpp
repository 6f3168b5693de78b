#include "constants.hpp"

#include <frameobject.h>

#include "module.hpp"

namespace frame {

namespace {
constinit PoolEntry* pool_head = nullptr;
}

PoolEntry::PoolEntry() noexcept : next_(pool_head) { pool_head = this; }

int PoolEntry::build_all() noexcept {
    for (PoolEntry* entry = pool_head; entry != nullptr; entry = entry->next_) {
        if (!entry->built() && entry->build() < 0) {
            return -1;
        }
    }
    return 0;
}

int Str::build() noexcept {
    obj_ = kind_ == Kind::identifier ? PyUnicode_InternFromString(utf8_) : PyUnicode_FromString(utf8_);
    return obj_ ? 0 : -1;
}

int Int::build() noexcept {
    obj_ = PyLong_FromLong(value_);
    return obj_ ? 0 : -1;
}

PyCodeObject* TraceLabel::code() const noexcept {
    if (code_ != nullptr) {
        return code_;
    }
    const ModuleInfo& info = module_info;
    Ref name = Ref::steal(path_ ? PyUnicode_FromFormat("%s.%s", info.qualname, path_)
                                : PyUnicode_FromFormat("init %s", info.qualname));
    const char* utf8 = name ? PyUnicode_AsUTF8(name.get()) : nullptr;
    code_ = utf8 ? PyCode_NewEmpty(info.source_path, utf8, line_) : nullptr;
    return code_;
}

void TraceLabel::add_to_traceback(PyObject* globals) const noexcept {
    if (globals == nullptr) {
        globals = state.builtins_dict;  // a frame needs some namespace; a cleared function has none
    }
    // Building the code object and the frame must not disturb the exception being reported; if
    // either fails, the entry is left out and the original exception goes on.
    PyObject* exc = PyErr_GetRaisedException();
    PyCodeObject* label = code();
    PyFrameObject* py_frame = label ? PyFrame_New(PyThreadState_Get(), label, globals, nullptr) : nullptr;
    PyErr_SetRaisedException(exc);
    if (py_frame != nullptr) {
        PyTraceBack_Here(py_frame);
        Py_DECREF(py_frame);
    }
}

}  // namespace frame
