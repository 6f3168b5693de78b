// Whether a module global still holds the module's own object (one of its functions, an object its
// module-level code made), or a builtin still the interpreter's own. Only then may a direct route
// stand in for the generic protocol; anything else found there goes through the protocol.
#pragma once

#include <utility>

#include "call_depth.hpp"
#include "function.hpp"
#include "lookup.hpp"
#include "ref.hpp"

namespace frame {

struct FunctionObject;

// `obj` as one of the module's own functions running the body `def`, or null when it is anything
// else (a replacement, a wrapper).
const FunctionObject* own_function(PyObject* obj, const FunctionDef& def) noexcept;

// A global read now, and the module's own function of `def` when that is what it holds.
struct GlobalFunction {
    Ref value;  // null with NameError when the name is not defined
    const FunctionObject* own = nullptr;
};

inline GlobalFunction lookup_function(Globals globals, const GlobalName& name, const FunctionDef& def) noexcept {
    Ref value = lookup_global(globals, name);
    const FunctionObject* own = value ? own_function(value.get(), def) : nullptr;
    return {std::move(value), own};
}

// The namespace `own` reads its globals from.
Globals globals_of(const FunctionObject* own) noexcept;
const FunctionDef& def_of(const FunctionObject* own) noexcept;

// Runs `work(globals)` (0, or -1 with an exception set) as a call of the module's own function of
// `def` runs its body: one level of call depth, the namespace it reads, its traceback entry on
// failure. For direct routes that stand in for such a call, or want more than its return value.
template <typename Work>
int run_as(const FunctionDef& def, Globals globals, Work&& work) noexcept {
    if (!enter_call()) {
        return -1;
    }
    const int status = work(globals);
    leave_call();
    if (status < 0) {
        def.label.add_to_traceback();
    }
    return status;
}

// run_as for the function object `own`, with the globals it holds.
template <typename Work>
int run_own(const FunctionObject* own, Work&& work) noexcept {
    return run_as(def_of(own), globals_of(own), std::forward<Work>(work));
}

// Calls the module's own function `own` with arguments that need no binding or coercion (the
// positional ones, then the keyword-only ones, in parameter order), as run_own runs work.
PyObject* call_own(const FunctionObject* own, PyObject* const* args) noexcept;

// An object the module-level code made and bound as a global (a compiled pattern), held for the life
// of the process so that a recycled address cannot pass the identity test.
class Original {
public:
    constexpr Original() noexcept = default;
    void set(Ref value) noexcept { ref_.set(std::move(value)); }
    void clear() noexcept { ref_.clear(); }
    [[nodiscard]] bool is(PyObject* obj) const noexcept { return obj != nullptr && obj == ref_.get(); }
    // Borrowed: held here until replaced by another import's module-level code.
    [[nodiscard]] PyObject* get() const noexcept { return ref_.get(); }

private:
    StaticRef ref_;
};

// A global read now, and whether it still holds `original`.
struct GlobalObject {
    Ref value;  // null with NameError when the name is not defined
    bool original = false;
};

inline GlobalObject lookup_original(Globals globals, const GlobalName& name, const Original& original) noexcept {
    Ref value = lookup_global(globals, name);
    const bool same = original.is(value.get());
    return {std::move(value), same};
}

// Whether `obj` is the interpreter's own builtin function `name` (not a replacement installed in
// builtins): a function of the builtins module with that name.
bool is_builtin_function(PyObject* obj, const char* name) noexcept;

}  // namespace frame
