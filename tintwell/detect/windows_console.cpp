// _has_windows_console and enable_windows_vt: the Windows console, reached through ctypes at call
// time. Whether the Windows path runs is decided by sys.platform at each call, so one build
// behaves alike everywhere and a test can select the path on any system. Failures on this path
// are absorbed: a handler catches Exception (never BaseException) and turns it into False or a
// fallback, while KeyboardInterrupt and the like pass through.
#include <cstdint>
#include <initializer_list>
#include <utility>

#include "frame/imports.hpp"
#include "frame/traceback.hpp"
#include "functions.hpp"
#include "names.hpp"

namespace detect {

namespace {

namespace n = names;
using frame::Ref;

constexpr long enable_virtual_terminal_processing = 0x0004;

constinit frame::TraceLabel try_enable_label{"enable_windows_vt._try_enable"};

// `except Exception:` for the pending exception: drops it and returns true when it is an
// Exception; leaves anything else (KeyboardInterrupt, SystemExit) pending and returns false.
bool absorb_exception() noexcept {
    if (!PyErr_ExceptionMatches(PyExc_Exception)) {
        return false;
    }
    PyErr_Clear();
    return true;
}

// Absorbs a failure (`status` < 0) as False; `status` >= 0 is the answer.
PyObject* answer_or_absorb(int status) noexcept {
    if (status < 0) {
        return absorb_exception() ? frame::boolean(false).release() : nullptr;
    }
    return frame::boolean(status > 0).release();
}

Ref attribute(PyObject* owner, const frame::Str& name) noexcept {
    return Ref::steal(PyObject_GetAttr(owner, name.get()));
}

// ctypes.WinDLL("kernel32", use_last_error=True): a new library object at every call.
Ref load_kernel32(PyObject* ctypes) noexcept {
    Ref kwnames = Ref::steal(PyTuple_Pack(1, n::use_last_error.get()));
    if (!kwnames) {
        return {};
    }
    PyObject* args[3] = {ctypes, n::kernel32.get(), Py_True};
    return Ref::steal(PyObject_VectorcallMethod(n::WinDLL.get(), args, 2, kwnames.get()));
}

// function.argtypes = [items...]
int set_argtypes(PyObject* function, std::initializer_list<PyObject*> items) noexcept {
    Ref argtypes = Ref::steal(PyList_New(static_cast<Py_ssize_t>(items.size())));
    if (!argtypes) {
        return -1;
    }
    Py_ssize_t index = 0;
    for (PyObject* item : items) {
        PyList_SET_ITEM(argtypes.get(), index++, Py_NewRef(item));
    }
    return PyObject_SetAttr(function, n::argtypes.get(), argtypes.get());
}

// function.restype = wintypes.<type_name>
int set_restype(PyObject* function, PyObject* wintypes, const frame::Str& type_name) noexcept {
    Ref type = attribute(wintypes, type_name);
    return type ? PyObject_SetAttr(function, n::restype.get(), type.get()) : -1;
}

// kernel32.GetConsoleMode with argtypes [HANDLE, POINTER(DWORD)] and restype BOOL; attributes are
// read in the order the equivalent Python statements read them.
Ref declare_get_console_mode(PyObject* kernel32, PyObject* ctypes, PyObject* wintypes) noexcept {
    Ref function = attribute(kernel32, n::GetConsoleMode);
    Ref handle = function ? attribute(wintypes, n::HANDLE) : Ref();
    Ref pointer_type = handle ? attribute(ctypes, n::POINTER) : Ref();
    Ref dword = pointer_type ? attribute(wintypes, n::DWORD) : Ref();
    Ref pointer = dword ? Ref::steal(PyObject_CallOneArg(pointer_type.get(), dword.get())) : Ref();
    if (!pointer || set_argtypes(function.get(), {handle.get(), pointer.get()}) < 0 ||
        set_restype(function.get(), wintypes, n::BOOL) < 0) {
        return {};
    }
    return function;
}

// kernel32.SetConsoleMode with argtypes [HANDLE, DWORD] and restype BOOL.
Ref declare_set_console_mode(PyObject* kernel32, PyObject* wintypes) noexcept {
    Ref function = attribute(kernel32, n::SetConsoleMode);
    Ref handle = function ? attribute(wintypes, n::HANDLE) : Ref();
    Ref dword = handle ? attribute(wintypes, n::DWORD) : Ref();
    if (!dword || set_argtypes(function.get(), {handle.get(), dword.get()}) < 0 ||
        set_restype(function.get(), wintypes, n::BOOL) < 0) {
        return {};
    }
    return function;
}

// mode = wintypes.DWORD()
Ref new_dword(PyObject* wintypes) noexcept {
    PyObject* args[1] = {wintypes};
    return Ref::steal(PyObject_VectorcallMethod(n::DWORD.get(), args, 1, nullptr));
}

// get_console_mode(handle, ctypes.byref(mode)), the result as it comes.
Ref read_mode(PyObject* get_console_mode, PyObject* handle, PyObject* ctypes, PyObject* mode) noexcept {
    PyObject* byref_args[2] = {ctypes, mode};
    Ref reference = Ref::steal(PyObject_VectorcallMethod(n::byref.get(), byref_args, 2, nullptr));
    if (!reference) {
        return {};
    }
    PyObject* args[2] = {handle, reference.get()};
    return Ref::steal(PyObject_Vectorcall(get_console_mode, args, 2, nullptr));
}

// The truth of a call's result; -1 when the call failed.
int result_truth(const Ref& result) noexcept { return result ? PyObject_IsTrue(result.get()) : -1; }

int equals_int(PyObject* value, const frame::Int& constant) noexcept {
    return PyObject_RichCompareBool(value, constant.get(), Py_EQ);
}

// ---- _has_windows_console ----

// Null handles arrive as None through the HANDLE result type, invalid ones as the all-ones
// pointer-sized value; 0 and -1 count as well.
int unusable_handle(PyObject* handle) noexcept {
    if (handle == Py_None) {
        return 1;
    }
    int found = equals_int(handle, n::null_handle);
    if (found == 0) {
        found = equals_int(handle, n::invalid_handle);
    }
    if (found == 0) {
        Ref all_ones = Ref::steal(PyLong_FromUnsignedLongLong(UINTPTR_MAX));
        found = all_ones ? PyObject_RichCompareBool(handle, all_ones.get(), Py_EQ) : -1;
    }
    return found;
}

// Whether the process's standard output handle is a console; -1 with an exception set.
int stdout_is_console(frame::Globals globals) noexcept {
    Ref ctypes = frame::import_local(globals, n::ctypes);
    Ref wintypes = ctypes ? frame::import_local_from(globals, n::ctypes, n::wintypes) : Ref();
    Ref kernel32 = wintypes ? load_kernel32(ctypes.get()) : Ref();
    Ref get_std_handle = kernel32 ? attribute(kernel32.get(), n::GetStdHandle) : Ref();
    Ref dword = get_std_handle ? attribute(wintypes.get(), n::DWORD) : Ref();
    if (!dword || set_argtypes(get_std_handle.get(), {dword.get()}) < 0 ||
        set_restype(get_std_handle.get(), wintypes.get(), n::HANDLE) < 0) {
        return -1;
    }
    Ref get_console_mode = declare_get_console_mode(kernel32.get(), ctypes.get(), wintypes.get());
    if (!get_console_mode) {
        return -1;
    }
    Ref handle = Ref::steal(PyObject_CallOneArg(get_std_handle.get(), n::std_output_handle.get()));
    if (!handle) {
        return -1;
    }
    const int unusable = unusable_handle(handle.get());
    if (unusable != 0) {
        return unusable < 0 ? -1 : 0;
    }
    Ref mode = new_dword(wintypes.get());
    return mode ? result_truth(read_mode(get_console_mode.get(), handle.get(), ctypes.get(), mode.get())) : -1;
}

PyObject* has_windows_console_body(frame::Globals globals, PyObject* const*) noexcept {
    const int elsewhere = compare_platform(globals, Py_NE);
    if (elsewhere != 0) {
        return elsewhere < 0 ? nullptr : frame::boolean(false).release();
    }
    return answer_or_absorb(stdout_is_console(globals));
}

// ---- enable_windows_vt ----

// What _try_enable reads from the enclosing call; bound before it first runs, never rebound.
struct Closure {
    Ref get_osfhandle;  // msvcrt.get_osfhandle, or None when msvcrt cannot be imported
    Ref ctypes;
    Ref wintypes;
    Ref kernel32;
    Ref get_console_mode;
    Ref set_console_mode;
};

// The ctypes half of the closure; -1 with an exception set.
int load_console_functions(frame::Globals globals, Closure& closure) noexcept {
    closure.ctypes = frame::import_local(globals, n::ctypes);
    if (!closure.ctypes) {
        return -1;
    }
    closure.wintypes = frame::import_local_from(globals, n::ctypes, n::wintypes);
    if (!closure.wintypes) {
        return -1;
    }
    closure.kernel32 = load_kernel32(closure.ctypes.get());
    if (!closure.kernel32) {
        return -1;
    }
    closure.get_console_mode =
        declare_get_console_mode(closure.kernel32.get(), closure.ctypes.get(), closure.wintypes.get());
    if (!closure.get_console_mode) {
        return -1;
    }
    closure.set_console_mode = declare_set_console_mode(closure.kernel32.get(), closure.wintypes.get());
    return closure.set_console_mode ? 0 : -1;
}

// _try_enable(stream): sets the virtual-terminal bit on the console behind `stream`; the answer
// is the bit as read back afterwards. -1 with an exception set.
int try_enable(const Closure& closure, PyObject* stream) noexcept {
    // The descriptor's OS handle when msvcrt is there; failing that, the process's standard
    // output handle, requested even for stderr.
    Ref handle = frame::none();
    if (closure.get_osfhandle.get() != Py_None) {
        Ref fd = Ref::steal(PyObject_CallMethodNoArgs(stream, n::fileno.get()));
        Ref osf = fd ? Ref::steal(PyObject_CallOneArg(closure.get_osfhandle.get(), fd.get())) : Ref();
        if (osf) {
            handle = std::move(osf);
        } else if (!absorb_exception()) {
            return -1;
        }
    }
    const int fall_back = handle.get() == Py_None ? 1 : equals_int(handle.get(), n::invalid_handle);
    if (fall_back < 0) {
        return -1;
    }
    if (fall_back) {
        handle = Ref::steal(
            PyObject_CallMethodOneArg(closure.kernel32.get(), n::GetStdHandle.get(), n::std_output_handle.get()));
        if (!handle) {
            return absorb_exception() ? 0 : -1;
        }
    }
    int unusable = equals_int(handle.get(), n::null_handle);
    if (unusable == 0) {
        unusable = equals_int(handle.get(), n::invalid_handle);
    }
    if (unusable != 0) {
        return unusable < 0 ? -1 : 0;
    }
    Ref mode = new_dword(closure.wintypes.get());
    if (!mode) {
        return -1;
    }
    const int readable =
        result_truth(read_mode(closure.get_console_mode.get(), handle.get(), closure.ctypes.get(), mode.get()));
    if (readable <= 0) {
        return readable;
    }
    Ref flag = Ref::steal(PyLong_FromLong(enable_virtual_terminal_processing));
    Ref current = flag ? attribute(mode.get(), n::value) : Ref();
    Ref new_mode = current ? Ref::steal(PyNumber_Or(current.get(), flag.get())) : Ref();
    if (!new_mode) {
        return -1;
    }
    PyObject* set_args[2] = {handle.get(), new_mode.get()};
    const int written =
        result_truth(Ref::steal(PyObject_Vectorcall(closure.set_console_mode.get(), set_args, 2, nullptr)));
    if (written <= 0) {
        return written;
    }
    // The bit as the console reports it now decides, not the success of the write.
    if (!read_mode(closure.get_console_mode.get(), handle.get(), closure.ctypes.get(), mode.get())) {
        return -1;
    }
    Ref updated = attribute(mode.get(), n::value);
    return updated ? result_truth(Ref::steal(PyNumber_And(updated.get(), flag.get()))) : -1;
}

PyObject* enable_windows_vt_body(frame::Globals globals, PyObject* const*) noexcept {
    const int elsewhere = compare_platform(globals, Py_NE);
    if (elsewhere != 0) {
        return elsewhere < 0 ? nullptr : frame::boolean(false).release();
    }
    Closure closure;
    closure.get_osfhandle = frame::import_local_from(globals, n::msvcrt, n::get_osfhandle);
    if (!closure.get_osfhandle) {
        if (!PyErr_ExceptionMatches(PyExc_ImportError)) {
            return nullptr;
        }
        PyErr_Clear();
        closure.get_osfhandle = frame::none();
    }
    if (load_console_functions(globals, closure) < 0) {
        return absorb_exception() ? frame::boolean(false).release() : nullptr;
    }
    Ref out = sys_attribute(globals, n::stdout_);
    Ref err = out ? sys_attribute(globals, n::stderr_) : Ref();
    if (!err) {
        return nullptr;
    }
    for (const Ref* stream : {&out, &err}) {
        const int enabled = try_enable(closure, stream->get());
        if (enabled > 0) {
            return frame::boolean(true).release();
        }
        if (enabled < 0) {
            try_enable_label.add_to_traceback();
            if (!absorb_exception()) {
                return nullptr;
            }
        }
    }
    return frame::boolean(false).release();
}

}  // namespace

// def _has_windows_console() -> "bool"
constinit frame::FunctionDef has_windows_console_def{
    n::has_windows_console,
    "_has_windows_console",
    {},
    has_windows_console_body,
    "检测当前进程是否关联了真正的 Windows 控制台。\n\n"
    "    通过 ``GetConsoleMode`` 验证 stdout 句柄是控制台句柄（而非管道/文件）。\n"
    "    用于区分 IDE 终端窗口（有控制台）和 IDE 运行控制台（管道，无控制台）。\n    ",
    &n::bool_};
// def enable_windows_vt() -> "bool"
constinit frame::FunctionDef enable_windows_vt_def{
    n::enable_windows_vt,
    "enable_windows_vt",
    {},
    enable_windows_vt_body,
    "在 Windows 上启用虚拟终端处理 (VT100 转义序列)。\n\n"
    "    使用 ``msvcrt.get_osfhandle`` 获取与 Python 文件对象关联的真实\n"
    "    Windows 句柄，确保在 VS Code 集成终端等环境中也能正确工作。\n\n"
    "    返回是否成功启用 VT 处理。\n    ",
    &n::bool_};

}  // namespace detect
