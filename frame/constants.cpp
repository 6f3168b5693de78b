#include "constants.hpp"

#include "module.hpp"

#include <frameobject.h>

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

int TraceLabel::build() noexcept {
    const ModuleInfo& info = module_info;
    Ref name = Ref::steal(path_ ? PyUnicode_FromFormat("%s.%s", info.qualname, path_)
                                : PyUnicode_FromFormat("init %s", info.qualname));
    if (!name) {
        return -1;
    }
    const char* utf8 = PyUnicode_AsUTF8(name.get());
    if (utf8 == nullptr) {
        return -1;
    }
    code_ = PyCode_NewEmpty(info.source_path, utf8, line_);
    return code_ ? 0 : -1;
}

void TraceLabel::add_to_traceback() const noexcept {
    if (code_ == nullptr || state.dict == nullptr) {
        return;
    }
    // Building the frame must not disturb the exception being reported.
    PyObject* exc = PyErr_GetRaisedException();
    PyFrameObject* py_frame = PyFrame_New(PyThreadState_Get(), code_, state.dict, nullptr);
    PyErr_SetRaisedException(exc);
    if (py_frame != nullptr) {
        PyTraceBack_Here(py_frame);
        Py_DECREF(py_frame);
    }
}

}  // namespace frame
