#include "own.hpp"

#include <string_view>

#include "function_object.hpp"
#include "module.hpp"
#include "test_counters.hpp"

namespace frame {

Globals globals_of(const FunctionObject* own) noexcept { return Globals(own->globals); }

const FunctionDef& def_of(const FunctionObject* own) noexcept { return *own->def; }

PyObject* call_own(const FunctionObject* own, PyObject* const* args) noexcept {
    counters::own_call.count();
    if (!enter_call()) {
        return nullptr;
    }
    PyObject* result = run_body(own, args);
    leave_call();
    return result;
}

bool is_builtin_function(PyObject* obj, const char* name) noexcept {
    return PyCFunction_Check(obj) && PyCFunction_GET_SELF(obj) == state.builtins.get() &&
           std::string_view(reinterpret_cast<PyCFunctionObject*>(obj)->m_ml->ml_name) == name;
}

}  // namespace frame
