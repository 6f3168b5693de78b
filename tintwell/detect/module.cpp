// The detect module: its definition and the module-level code run once by exec.
#include "frame/module.hpp"

#include "frame/function.hpp"
#include "frame/imports.hpp"
#include "functions.hpp"
#include "names.hpp"

namespace detect {

namespace {

namespace n = names;

}  // namespace

int run_module_code() noexcept {
    if (!frame::import_module(n::os) || !frame::import_module(n::sys) ||
        frame::import_names(n::enum_, {&n::IntEnum}) < 0 || frame::import_names(n::typing, {&n::Optional}) < 0) {
        return -1;
    }
    return create_color_level() < 0 ? -1 : frame::define_functions();
}

}  // namespace detect

namespace {

constexpr const frame::Pool* constants[] = {&detect::names::pool};
// In the order of their `def` statements.
constexpr frame::FunctionDef* functions[] = {&detect::has_windows_console_def, &detect::detect_color_level_def,
                                             &detect::supports_color_def, &detect::enable_windows_vt_def};

}  // namespace

constinit const frame::ModuleInfo frame::module_info = {
    "detect",
    "终端能力检测。\n\n自动检测当前终端是否支持颜色输出以及支持的色彩级别。\n",
    "tintwell.detect",
    "tintwell/detect",
    constants,
    functions,
    nullptr,
    detect::run_module_code,
    {},  // no test counters of its own
};

PyMODINIT_FUNC PyInit_detect() { return frame::init_module(); }
