// Whether a module global still holds the module's own object (one of its functions, an object its
// module-level code made), or a builtin still the interpreter's own. Only then may a direct route
// stand in for the generic protocol; anything else found there goes through the protocol.
#pragma once

#include <utility>

#include "function.hpp"
#include "lookup.hpp"
#include "ref.hpp"

namespace frame {

struct FunctionObject;

// One level of call depth, counted as a Python call counts it: false with RecursionError set when
// the C stack is nearly used up. Every run of a body is inside one, so a cycle of module functions
// (directly or through other callables) ends in RecursionError rather than a stack overflow.
[[nodiscard]] inline bool enter_call() noexcept { return Py_EnterRecursiveCall(" while calling a Python object") == 0; }
inline void leave_call() noexcept { Py_LeaveRecursiveCall(); }

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

// The namespace `own` reads its globals from, and the traceback entry it adds on failure.
Globals globals_of(const FunctionObject* own) noexcept;
void add_traceback_entry(const FunctionObject* own) noexcept;

// Runs `work(globals)` (0, or -1 with an exception set) as a call of the module's own function
// `own` runs its body: one level of call depth, that function's globals, its traceback entry on
// failure. For direct routes that want more than the body's return value.
template <typename Work>
int run_own(const FunctionObject* own, Work&& work) noexcept {
    if (!enter_call()) {
        return -1;
    }
    const int status = work(globals_of(own));
    leave_call();
    if (status < 0) {
        add_traceback_entry(own);
    }
    return status;
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
