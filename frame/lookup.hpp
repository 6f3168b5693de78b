// Module-level names as the functions see them: looked up at every call in the function's own
// globals, then in builtins; and the attributes of plain modules (os, sys) read the same way.
#pragma once

#include "constants.hpp"
#include "dict_watch.hpp"
#include "ref.hpp"
#include "test_counters.hpp"

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
    constexpr explicit GlobalName(const char* utf8) noexcept : Str(utf8, &last_) {}

private:
    friend Ref lookup_global(Globals globals, const GlobalName& name) noexcept;
    friend Ref lookup_global_slow(Globals globals, const GlobalName& name) noexcept;
    mutable RememberedValue last_;
};

// A name read as an attribute of a plain module; it remembers its last lookup (see lookup_attribute).
class AttributeName final : public Str {
public:
    constexpr explicit AttributeName(const char* utf8) noexcept : Str(utf8, &last_) {}

private:
    friend Ref lookup_attribute(PyObject* owner, const AttributeName& name) noexcept;
    friend Ref lookup_attribute_slow(PyObject* owner, const AttributeName& name) noexcept;
    mutable RememberedValue last_;
};

Ref lookup_global_slow(Globals globals, const GlobalName& name) noexcept;
Ref lookup_attribute_slow(PyObject* owner, const AttributeName& name) noexcept;

// The current value of a module-level name, or null with NameError "name '...' is not defined". A
// value is remembered only from a dict whose lookups may be remembered (see lookups_rememberable),
// and only while that dict is still watched: foreign code may have ended the watch.
inline Ref lookup_global(Globals globals, const GlobalName& name) noexcept {
    const RememberedValue& last = name.last_;
    // A remembered dict is never null, and the generation never 0: an empty entry cannot match.
    if (last.dict == globals.dict() && last.generation == dict_generation && still_watched(last.dict)) {
        counters::remembered_global.count();
        return Ref::borrow(last.value.get());
    }
    return lookup_global_slow(globals, name);
}

// getattr(owner, name). For a plain module (os, sys) whose lookups may be remembered, the value is
// remembered while nothing in the module's __dict__ changes. The module is known by its address
// and its __dict__ (which cannot be replaced): a module freed and another made at its address has a
// dict of its own, and a dict freed while watched moves the generation.
inline Ref lookup_attribute(PyObject* owner, const AttributeName& name) noexcept {
    const RememberedValue& last = name.last_;
    // The type is tested again: assigning a module's __class__ changes no dict, so no watcher sees it.
    if (last.owner == owner && last.generation == dict_generation && PyModule_CheckExact(owner) &&
        PyModule_GetDict(owner) == last.dict && still_watched(last.dict)) {
        counters::remembered_attribute.count();
        return Ref::borrow(last.value.get());
    }
    return lookup_attribute_slow(owner, name);
}

// Whether reading a global from `globals` now runs no Python code: its namespace and builtins hold
// exact-str keys only, so two reads with nothing run between them give the same value.
bool global_reads_run_no_code(Globals globals) noexcept;

}  // namespace frame
