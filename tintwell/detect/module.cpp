// The detect module: its definition and the module-level code run once by exec.
#include "frame/module.hpp"

#include "frame/function.hpp"
#include "frame/imports.hpp"
#include "functions.hpp"
#include "names.hpp"

namespace detect {

namespace {

namespace n = names;
using frame::Ref;

frame::Str has_windows_console_doc{
    "检测当前进程是否关联了真正的 Windows 控制台。\n\n"
    "    通过 ``GetConsoleMode`` 验证 stdout 句柄是控制台句柄（而非管道/文件）。\n"
    "    用于区分 IDE 终端窗口（有控制台）和 IDE 运行控制台（管道，无控制台）。\n    ",
    frame::Str::Kind::text};
frame::Str detect_color_level_doc{
    "检测终端的色彩支持级别。\n\n"
    "    检测逻辑:\n"
    "    1. 环境变量 NO_COLOR / FORCE_COLOR 优先\n"
    "    2. IDE 终端检测（VS Code / PyCharm Terminal，通过控制台句柄验证）\n"
    "    3. 非 TTY → NONE\n"
    "    4. Windows Terminal / ConEmu / ANSICON → TRUECOLOR\n"
    "    5. COLORTERM=truecolor/24bit → TRUECOLOR\n"
    "    6. TERM 包含 256color → EXTENDED\n"
    "    7. 其他有效 TERM → BASIC\n    ",
    frame::Str::Kind::text};
frame::Str supports_color_doc{"快速判断终端是否支持颜色。", frame::Str::Kind::text};
frame::Str enable_windows_vt_doc{
    "在 Windows 上启用虚拟终端处理 (VT100 转义序列)。\n\n"
    "    使用 ``msvcrt.get_osfhandle`` 获取与 Python 文件对象关联的真实\n"
    "    Windows 句柄，确保在 VS Code 集成终端等环境中也能正确工作。\n\n"
    "    返回是否成功启用 VT 处理。\n    ",
    frame::Str::Kind::text};

int define_functions() noexcept {
    using frame::FunctionDecl;
    // `stream=None`, shared by the two functions that take a stream.
    Ref stream_defaults = Ref::steal(PyTuple_Pack(1, Py_None));
    if (!stream_defaults) {
        return -1;
    }
    const FunctionDecl decls[] = {
        {has_windows_console_def, has_windows_console_doc.get(), nullptr, {{&n::return_, &n::bool_}}},
        {detect_color_level_def, detect_color_level_doc.get(), stream_defaults.get(), {{&n::return_, &n::ColorLevel}}},
        {supports_color_def, supports_color_doc.get(), stream_defaults.get(), {{&n::return_, &n::bool_}}},
        {enable_windows_vt_def, enable_windows_vt_doc.get(), nullptr, {{&n::return_, &n::bool_}}},
    };
    for (const FunctionDecl& decl : decls) {
        if (frame::define_function(decl) < 0) {
            return -1;
        }
    }
    return 0;
}

}  // namespace

int run_module_code() noexcept {
    if (!frame::import_module(n::os) || !frame::import_module(n::sys) ||
        frame::import_names(n::enum_, {&n::IntEnum}) < 0 || frame::import_names(n::typing, {&n::Optional}) < 0) {
        return -1;
    }
    return create_color_level() < 0 ? -1 : define_functions();
}

}  // namespace detect

const frame::ModuleInfo frame::module_info = {
    "detect",          "终端能力检测。\n\n自动检测当前终端是否支持颜色输出以及支持的色彩级别。\n",
    "tintwell.detect", "tintwell/detect",
    nullptr,           detect::run_module_code,
};

PyMODINIT_FUNC PyInit_detect() { return frame::init_module(); }
