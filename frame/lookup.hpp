// Module-level names as the functions see them: looked up at every call in the function's own
// globals, then in builtins; and the attributes of plain modules (os, sys) read the same way.
#pragma once

#include "constants.hpp"
#include "dict_watch.hpp"
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

// A name read as a module global; it remembers its last lookup (see lookup_global).
class GlobalName final : public Str {
public:
    using Str::Str;

private:
    friend Ref lookup_global(Globals globals, const GlobalName& name) noexcept;
    friend Ref lookup_global_slow(Globals globals, const GlobalName& name) noexcept;
    struct Remembered {
        PyObject* dict = nullptr;
        PyObject* value = nullptr;  // borrowed: `dict` holds it while the generation stands
        unsigned long long generation = 0;
    };
    mutable Remembered last_;
};

// A name read as an attribute of a plain module; it remembers its last lookup (see lookup_attribute).
class AttributeName final : public Str {
public:
    using Str::Str;

private:
    friend Ref lookup_attribute(PyObject* owner, const AttributeName& name) noexcept;
    friend Ref lookup_attribute_slow(PyObject* owner, const AttributeName& name) noexcept;
    struct Remembered {
        StaticRef owner;            // held, so that its address cannot come back as another module
        PyObject* value = nullptr;  // borrowed: the owner's __dict__ holds it while the generation stands
        unsigned long long generation = 0;
    };
    mutable Remembered last_;
};

Ref lookup_global_slow(Globals globals, const GlobalName& name) noexcept;
Ref lookup_attribute_slow(PyObject* owner, const AttributeName& name) noexcept;

// The current value of a module-level name, or null with NameError "name '...' is not defined". A
// value is remembered only from a dict whose lookups may be remembered (see lookups_rememberable).
inline Ref lookup_global(Globals globals, const GlobalName& name) noexcept {
    const GlobalName::Remembered& last = name.last_;
    if (last.dict == globals.dict() && last.generation == dict_generation && dict_generation != 0) {
        return Ref::borrow(last.value);
    }
    return lookup_global_slow(globals, name);
}

// getattr(owner, name). For a plain module (os, sys) whose lookups may be remembered, the value is
// remembered while nothing in the module's __dict__ changes.
inline Ref lookup_attribute(PyObject* owner, const AttributeName& name) noexcept {
    const AttributeName::Remembered& last = name.last_;
    // The type is tested again: assigning a module's __class__ changes no dict, so no watcher sees it.
    if (last.owner.get() == owner && last.generation == dict_generation && dict_generation != 0 &&
        PyModule_CheckExact(owner)) {
        return Ref::borrow(last.value);
    }
    return lookup_attribute_slow(owner, name);
}

}  // namespace frame
