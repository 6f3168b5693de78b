// Module functions as the module code declares them: parameters and the rules their annotations
// demand, the body, the attributes of the function object, and its creation at exec.
#pragma once

#include <cstddef>
#include <span>

#include "constants.hpp"
#include "lookup.hpp"
#include "ref.hpp"
#include "traceback.hpp"

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
    const Str* annotation = nullptr;  // its text in __annotations__, if any
    bool defaults_to_none = false;    // `name=None`
};

inline constexpr std::size_t kMaxParams = 4;

// The body of a module function: the function's globals and one borrowed argument per parameter,
// after binding and coercion. Returns a new reference, or null with an exception set.
using FunctionBody = PyObject* (*)(Globals globals, PyObject* const* args) noexcept;

// A module function as its `def` statement declares it, beside its body.
struct FunctionDef {
    // `path` names the function in traceback entries ("parse_hex", "enable_windows_vt._try_enable").
    constexpr FunctionDef(const Str& name, const char* path, std::span<const Param> params, FunctionBody body,
                          const char* docstring, const Str* returns) noexcept
        : name(name), label(path), params(params), body(body), doc(docstring, Str::Kind::text), returns(returns) {
        for (const Param& param : params) {
            positional += param.kind == ParamKind::positional_or_keyword;
        }
    }
    FunctionDef(const FunctionDef&) = delete;
    FunctionDef& operator=(const FunctionDef&) = delete;

    const Str& name;  // __name__ and __qualname__
    TraceLabel label;
    std::span<const Param> params;
    FunctionBody body;
    Str doc;                    // __doc__, built with the module's constants; None where its text is null
    const Str* returns;         // the "return" annotation, if any
    Py_ssize_t positional = 0;  // how many parameters may be passed by position
};

// Creates the module's function objects (module_info.functions, in their `def` statements' order)
// and binds each as the module attribute of its name.
int define_functions() noexcept;

// What a call does to the arguments of `def`'s annotated parameters before the body runs: int
// parameters converted first, in order, into `converted`; then every type check. -1 with the
// exception the call would raise. `args` is updated to the converted objects.
int apply_parameter_rules(const FunctionDef& def, PyObject** args, Ref* converted) noexcept;

// Whether an `int` parameter takes `obj` as int(obj): it defines __index__, __int__ or __float__, or
// is a complex number.
bool converts_to_int(PyObject* obj) noexcept;

}  // namespace frame
