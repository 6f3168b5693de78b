// Module creation and one-time execution, shared by both extension modules.
//
// A deliverable defines `module_info` and an init function returning init_module(); the module
// definition has the create and exec slots only. The module object, its dict and `builtins` are process-wide: the
// module may be loaded into one interpreter only, and a repeated import yields the same module object.
#pragma once

#include <cstdint>

#include "constants.hpp"
#include "ref.hpp"

namespace frame {

struct ModuleInfo {
    const char* name;                        // "colors"
    const char* doc;                         // the module docstring
    const char* qualname;                    // "tintwell.colors": sys.modules key, traceback prefix
    const char* source_path;                 // "tintwell/colors": file name of traceback entries
    int (*bind_cached_builtins)() noexcept;  // may be null
    int (*run_module_code)() noexcept;       // the module-level code
};

// Defined once by each deliverable.
extern const ModuleInfo module_info;

struct ModuleState {
    std::int64_t interpreter_id = -1;
    PyObject* module = nullptr;    // strong; set from the start of exec, cleared if exec fails
    PyObject* dict = nullptr;      // strong; the module's __dict__
    PyObject* builtins = nullptr;  // strong, for the life of the process
    PyObject* builtins_dict = nullptr;
};

extern ModuleState state;

// The body of PyInit_<name>: the module definition, initialised for multi-phase initialisation.
PyObject* init_module() noexcept;

// Binds `value` as the module attribute `name` (a store into the module's __dict__).
int bind_global(const Str& name, Borrowed value) noexcept;

}  // namespace frame
