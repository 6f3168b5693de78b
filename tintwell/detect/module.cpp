// Placeholder until the detect module's code lands.
#include "module.hpp"

namespace {
int run_module_code() noexcept { return 0; }
PyModuleDef_Slot detect_slots[] = {
    {Py_mod_create, reinterpret_cast<void*>(frame::create_module)},
    {Py_mod_exec, reinterpret_cast<void*>(frame::exec_module)},
    {0, nullptr},
};
PyModuleDef detect_def = {PyModuleDef_HEAD_INIT, "detect", "终端能力检测。\n\n自动检测当前终端是否支持颜色输出以及支持的色彩级别。\n", 0, nullptr, detect_slots, nullptr, nullptr, nullptr};
}  // namespace

const frame::ModuleInfo frame::module_info = {"detect", "tintwell.detect", "tintwell/detect", nullptr, run_module_code};

PyMODINIT_FUNC PyInit_detect() { return PyModuleDef_Init(&detect_def); }
