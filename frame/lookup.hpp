// Module-level names as the functions see them: looked up at every call in the function's own
// globals, then in builtins; and the import statements of the module-level code and of functions.
#pragma once

#include <initializer_list>

#include "constants.hpp"
#include "ref.hpp"

namespace frame {

// The namespace a function reads module-level names from: its own __globals__ (the __dict__ of the
// module that made it), or during exec the module being executed. Borrowed: the running function
// or the exec keeps it alive. Null for a function the garbage collector has cleared: then only
// builtins are searched.
class Globals {
public:
    constexpr explicit Globals(PyObject* dict) noexcept : dict_(dict) {}
    [[nodiscard]] PyObject* dict() const noexcept { return dict_; }

private:
    PyObject* dict_;
};

// The module being executed, for the module-level code.
Globals module_globals() noexcept;

// Starts watching `dict` (a module's __dict__) so that lookups in it can be remembered while nothing
// in it changes.
void watch_dict(PyObject* dict) noexcept;

// Whether every key of the exact dict `dict` is an exact str: then a lookup with an exact str key
// runs no Python code, and one lookup answers exactly what two would. Tracked through the dict
// watcher once asked; a dict that cannot be tracked is scanned.
bool has_plain_keys(PyObject* dict) noexcept;

// Bumped by every change to a watched dict; 0 while nothing is watched.
extern unsigned long long dict_generation;

Ref lookup_global_slow(Globals globals, const Str& name) noexcept;
Ref lookup_attribute_slow(PyObject* owner, const Str& name) noexcept;

// The current value of a module-level name, or null with NameError "name '...' is not defined".
// A value is remembered only from a dict whose keys are all exact str, as the interpreter's own
// global caches do: with any other key a lookup may run code and answer differently next time.
inline Ref lookup_global(Globals globals, const Str& name) noexcept {
    const Str::GlobalCache& cache = name.global_cache;
    if (cache.dict == globals.dict() && cache.generation == dict_generation && dict_generation != 0) {
        return Ref::borrow(cache.value);
    }
    return lookup_global_slow(globals, name);
}

// getattr(owner, name). For a plain module (os, sys) whose __dict__ has only exact str keys, the
// value is remembered while nothing in that dict changes, which the dict watcher reports.
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

// `import NAME` inside a function reading `globals`: the module, bound nowhere.
Ref import_local(Globals globals, const Str& name) noexcept;

// `from MODULE import NAME` inside a function: the value, bound nowhere.
Ref import_local_from(Globals globals, const Str& module, const Str& name) noexcept;

// `from MODULE import a, b, ...` at module level: binds each name in order.
int import_names(const Str& module, std::initializer_list<const Str*> names) noexcept;

}  // namespace frame
