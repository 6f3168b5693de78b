// The functions of the detect module and what they share.
#pragma once

#include "frame/function.hpp"
#include "frame/lookup.hpp"

namespace detect {

extern frame::FunctionDef has_windows_console_def;
extern frame::FunctionDef detect_color_level_def;
extern frame::FunctionDef supports_color_def;
extern frame::FunctionDef enable_windows_vt_def;

// class ColorLevel(IntEnum) with its docstring and four members, bound in the module (color_level.cpp).
int create_color_level() noexcept;

// ColorLevel.<member>, ColorLevel being read from `globals` now.
frame::Ref color_level_member(frame::Globals globals, const frame::Str& member) noexcept;

// sys.<name>, sys being read from `globals` now (platform.cpp).
frame::Ref sys_attribute(frame::Globals globals, const frame::AttributeName& name) noexcept;

// The truth of `sys.platform == "win32"` (op Py_EQ) or `sys.platform != "win32"` (op Py_NE), the
// platform being read now; -1 with an exception set on failure.
int compare_platform(frame::Globals globals, int op) noexcept;

int run_module_code() noexcept;

}  // namespace detect
