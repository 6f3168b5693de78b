// The import statements of the module-level code and of the functions, made as the statements
// make them: through a replaced builtins.__import__ when there is one.
#pragma once

#include <initializer_list>

#include "constants.hpp"
#include "lookup.hpp"
#include "ref.hpp"

namespace frame {

// `import NAME` at module level: binds the module under its own name and returns it.
Ref import_module(const Str& name) noexcept;

// `from MODULE import a, b, ...` at module level: binds each name in order.
int import_names(const Str& module, std::initializer_list<const Str*> names) noexcept;

// `import NAME` inside a function reading `globals`: the module, bound nowhere.
Ref import_local(Globals globals, const Str& name) noexcept;

// `from MODULE import NAME` inside a function: the value, bound nowhere.
Ref import_local_from(Globals globals, const Str& module, const Str& name) noexcept;

}  // namespace frame
