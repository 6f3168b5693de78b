// Module-level names as the functions see them: looked up at every call in the module's
// __dict__, then in builtins; and the import statements of the module-level code.
#pragma once

#include <initializer_list>

#include "constants.hpp"
#include "ref.hpp"

namespace frame {

// Starts watching the module's __dict__ so that lookup_global can skip the dict while nothing in
// it has changed.
void watch_globals() noexcept;

// Bumped by every change to a watched dict; 0 while nothing is watched.
extern unsigned long long dict_generation;

Ref lookup_global_slow(const Str& name) noexcept;
Ref lookup_attribute_slow(PyObject* owner, const Str& name) noexcept;

// The current value of a module-level name, or null with NameError "name '...' is not defined".
inline Ref lookup_global(const Str& name) noexcept {
    const Str::GlobalCache& cache = name.global_cache;
    if (cache.generation == dict_generation && dict_generation != 0) {
        return Ref::borrow(cache.value);
    }
    return lookup_global_slow(name);
}

// getattr(owner, name). For a plain module (os, sys) the value is remembered while nothing in the
// module's __dict__ changes, which a dict watcher reports.
inline Ref lookup_attribute(PyObject* owner, const Str& name) noexcept {
    const Str::AttributeCache& cache = name.attribute_cache;
    // The type is tested again: assigning a module's __class__ changes no dict, so no watcher sees it.
    if (cache.owner == owner && cache.generation == dict_generation && dict_generation != 0 &&
        PyModule_CheckExact(owner)) {
        return Ref::borrow(cache.value);
    }
    return lookup_attribute_slow(owner, name);
}

// Whether `obj` is the interpreter's own builtin function `name` (not a replacement installed in
// builtins): a function of the builtins module with that name.
bool is_builtin_function(PyObject* obj, const char* name) noexcept;

// `import NAME` at module level: binds the module under its own name and returns it.
Ref import_module(const Str& name) noexcept;

// `import NAME` inside a function: the module, bound nowhere.
Ref import_local(const Str& name) noexcept;

// `from MODULE import NAME` inside a function: the value, bound nowhere.
Ref import_local_from(const Str& module, const Str& name) noexcept;

// `from MODULE import a, b, ...`: binds each name in order.
int import_names(const Str& module, std::initializer_list<const Str*> names) noexcept;

}  // namespace frame
