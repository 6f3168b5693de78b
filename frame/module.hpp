// Module creation and one-time execution, shared by both extension modules.
//
// Each extension module defines `module_info` and an init function returning init_module(); the
// module definition has the create and exec slots only. The module object, its dict and `builtins`
// are process-wide: the module may be loaded into one interpreter only, and a repeated import yields
// the same module object.
#pragma once

#include <cstdint>
#include <span>

#include "constants.hpp"
#include "ref.hpp"
#include "test_counters.hpp"

namespace frame {

struct FunctionDef;

struct ModuleInfo {
    const char* name;                         // "colors"
    const char* doc;                          // the module docstring
    const char* qualname;                     // "tintwell.colors": sys.modules key, traceback prefix
    const char* source_path;                  // "tintwell/colors": file name of traceback entries
    std::span<const Pool* const> constants;   // built by exec, with the frame's own and the docstrings
    std::span<FunctionDef* const> functions;  // in the order of their `def` statements
    int (*bind_cached_builtins)() noexcept;   // may be null
    int (*run_module_code)() noexcept;        // the module-level code
    std::span<TestCounter* const> counters;   // what tintwell_test_counter finds besides the frame's
};

// Defined once by each extension module.
extern const ModuleInfo module_info;

struct ModuleState {
    std::int64_t interpreter_id = -1;
    StaticRef module;                   // set from the start of exec, cleared if exec fails
    StaticRef dict;                     // the module's __dict__, for as long as `module` is set
    StaticRef builtins;                 // for the life of the process
    PyObject* builtins_dict = nullptr;  // borrowed from `builtins`
};

extern ModuleState state;

// The body of PyInit_<name>: the module definition, initialised for multi-phase initialisation.
// Nothing of the module is made before: the frame's and the module's static objects are all
// initialised at compile time, and exec builds what they stand for.
PyObject* init_module() noexcept;

// Binds `value` as the module attribute `name` (a store into the __dict__ of the module being executed).
int bind_global(const Str& name, PyObject* value) noexcept;

}  // namespace frame
