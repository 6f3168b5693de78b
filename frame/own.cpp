#include "own.hpp"

#include <string_view>

#include "function_object.hpp"
#include "module.hpp"

namespace frame {

Globals globals_of(const FunctionObject* own) noexcept { return Globals(own->globals); }

void add_traceback_entry(const FunctionObject* own) noexcept { own->def->label.add_to_traceback(); }

PyObject* call_own(const FunctionObject* own, PyObject* const* args) noexcept {
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
