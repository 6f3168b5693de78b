// The callable type of module functions: vectorcall, argument binding by the module's
// conventions, a traceback entry for every exception that leaves, and the attributes of a Python
// function (__name__, __qualname__, __module__, __doc__, __defaults__, __kwdefaults__,
// __annotations__, __dict__) so that help(), inspect.signature() and repr() treat it as one.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <span>
#include <utility>

#include "constants.hpp"
#include "lookup.hpp"
#include "ref.hpp"

namespace frame {

enum class ParamKind : unsigned char { positional_or_keyword, keyword_only };

// What a parameter's annotation demands of its argument before the body runs.
enum class Coerce : unsigned char {
    none,       // any object
    exact_str,  // exactly str; subclasses are rejected
    to_int,     // exactly int, or int(obj) for anything that supports numeric conversion
};

struct Param {
    const Str& name;
    Coerce coerce = Coerce::none;
    ParamKind kind = ParamKind::positional_or_keyword;
};

inline constexpr std::size_t kMaxParams = 4;

// The body of a module function: the function's globals and one borrowed argument per parameter,
// after binding and coercion. Returns a new reference, or null with an exception set.
using FunctionBody = PyObject* (*)(Globals globals, PyObject* const* args) noexcept;

struct FunctionDef {
    const Str& name;  // __name__ and __qualname__
    TraceLabel label;
    std::span<const Param> params;
    FunctionBody body;
};

struct FunctionObject {
    PyObject_HEAD vectorcallfunc vectorcall;
    const FunctionDef* def;
    bool plain_positional;  // every parameter positional-or-keyword and unannotated: args pass as given
    PyObject* name;
    PyObject* qualname;
    PyObject* module;
    PyObject* doc;
    PyObject* defaults;
    PyObject* kwdefaults;
    PyObject* annotations;
    PyObject* dict;
    PyObject* globals;  // the module's __dict__: where the body reads module-level names, and __globals__
    PyObject* weakreflist;
};

// Creates the function type once per process.
int ensure_function_type() noexcept;

// `obj` as one of the module's own functions running the body `def`, or null when it is anything
// else (a replacement): then only the call protocol may run it.
const FunctionObject* own_function(PyObject* obj, const FunctionDef& def) noexcept;

[[nodiscard]] inline Globals globals_of(const FunctionObject* function) noexcept { return Globals(function->globals); }

// One level of call depth, counted as a Python call counts it: false with RecursionError set when
// the C stack is nearly used up. Every run of a body is inside one, so a cycle of module functions
// (directly or through other callables) ends in RecursionError rather than a stack overflow.
[[nodiscard]] inline bool enter_call() noexcept { return Py_EnterRecursiveCall(" while calling a Python object") == 0; }
inline void leave_call() noexcept { Py_LeaveRecursiveCall(); }

struct FunctionDecl {
    const FunctionDef& def;
    Borrowed doc;       // None when the function has no docstring
    Borrowed defaults;  // a tuple, or null for none
    // (parameter name or "return", annotation text) in order
    std::initializer_list<std::pair<const Str*, const Str*>> annotations;
};

// Runs the body of `function` on arguments that need no binding or coercion: what calling it would
// do (call depth counted, its own globals, its traceback entry on failure), without the call protocol.
PyObject* call_own(const FunctionObject* function, PyObject* const* args) noexcept;

// Creates a function object of this module.
Ref new_function(const FunctionDecl& decl) noexcept;

// Creates a function object and binds it as the module attribute of the same name.
int define_function(const FunctionDecl& decl) noexcept;

// Argument binding and coercion, used by the vectorcall entry (arguments.cpp).
// Fills `bound` with borrowed arguments and `owned` with the converted ones; -1 on error.
int bind_arguments(FunctionObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, PyObject** bound,
                   Ref* owned) noexcept;
int coerce_arguments(const FunctionDef& def, PyObject** bound, Ref* owned) noexcept;
// Whether an `int` parameter takes `obj` as int(obj): it defines __index__, __int__ or __float__, or
// is a complex number.
bool supports_int_conversion(PyObject* obj) noexcept;
// Raises the TypeError of a function without parameters that was given arguments.
void reject_arguments(FunctionObject* self, Py_ssize_t nargs, PyObject* kwnames) noexcept;

// Builds inspect.Signature for the function's __signature__ (signature.cpp).
PyObject* build_signature(FunctionObject* self) noexcept;

}  // namespace frame
