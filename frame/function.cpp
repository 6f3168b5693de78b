#include <cstddef>

#include "dict_watch.hpp"
#include "function_object.hpp"
#include "module.hpp"
#include "names.hpp"
#include "test_counters.hpp"

namespace frame {

PyTypeObject* function_type = nullptr;

namespace {

FunctionObject* as_function(PyObject* obj) noexcept { return reinterpret_cast<FunctionObject*>(obj); }

// Whether `args`, one per parameter and all passed by position, already are what the annotations'
// rules would make of them (an exact str, an exact int): then binding and coercion change nothing.
bool conforming(const FunctionDef& def, PyObject* const* args) noexcept {
    for (std::size_t i = 0; i < def.params.size(); ++i) {
        const Coerce coerce = def.params[i].coerce;
        if ((coerce == Coerce::exact_str && !PyUnicode_CheckExact(args[i])) ||
            (coerce == Coerce::to_int && !PyLong_CheckExact(args[i]))) {
            return false;
        }
    }
    return true;
}

PyObject* bind_and_run(FunctionObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    const FunctionDef& def = *self->def;
    if (kwnames == nullptr && static_cast<std::size_t>(nargs) == def.params.size() && nargs == def.positional &&
        conforming(def, args)) {
        counters::positional_binding.count();
        return run_body(self, args);
    }
    PyObject* bound[kMaxParams] = {};
    Ref owned[kMaxParams];
    if (bind_arguments(self, args, nargs, kwnames, bound, owned) < 0 || apply_parameter_rules(def, bound, owned) < 0) {
        def.label.add_to_traceback();
        return nullptr;
    }
    return run_body(self, bound);
}

PyObject* function_vectorcall(PyObject* callable, PyObject* const* args, std::size_t nargsf,
                              PyObject* kwnames) noexcept {
    FunctionObject* self = as_function(callable);
    const Py_ssize_t nargs = PyVectorcall_NARGS(nargsf);
    if (kwnames != nullptr && PyTuple_GET_SIZE(kwnames) == 0) {
        kwnames = nullptr;
    }
    // Argument errors of parameterless functions are raised before the function is entered.
    if (self->def->params.empty() && (kwnames != nullptr || nargs != 0)) {
        reject_arguments(self, nargs, kwnames);
        return nullptr;
    }
    if (!enter_call()) {
        return nullptr;
    }
    PyObject* result = bind_and_run(self, args, nargs, kwnames);
    leave_call();
    return result;
}

PyObject* function_call(PyObject* callable, PyObject* args, PyObject* kwargs) noexcept {
    if (kwargs != nullptr) {
        Py_ssize_t pos = 0;
        PyObject* key = nullptr;
        PyObject* value = nullptr;
        while (PyDict_Next(kwargs, &pos, &key, &value)) {
            if (!PyUnicode_Check(key)) {
                PyErr_SetString(PyExc_TypeError, "keywords must be strings");
                return nullptr;
            }
        }
    }
    return PyVectorcall_Call(callable, args, kwargs);
}

int function_traverse(PyObject* obj, visitproc visit, void* arg) noexcept {
    FunctionObject* self = as_function(obj);
    Py_VISIT(Py_TYPE(obj));
    Py_VISIT(self->name);
    Py_VISIT(self->qualname);
    Py_VISIT(self->module);
    Py_VISIT(self->doc);
    Py_VISIT(self->defaults);
    Py_VISIT(self->kwdefaults);
    Py_VISIT(self->annotations);
    Py_VISIT(self->dict);
    Py_VISIT(self->globals);
    return 0;
}

int function_clear(PyObject* obj) noexcept {
    FunctionObject* self = as_function(obj);
    // What the module knows of its own functions assumes their globals: no longer.
    ++dict_generation;
    // Like Python functions, a cleared function keeps string names: error messages and repr use them.
    Py_XSETREF(self->name, PyUnicode_New(0, 0));
    Py_XSETREF(self->qualname, PyUnicode_New(0, 0));
    Py_CLEAR(self->module);
    Py_CLEAR(self->doc);
    Py_CLEAR(self->defaults);
    Py_CLEAR(self->kwdefaults);
    Py_CLEAR(self->annotations);
    Py_CLEAR(self->dict);
    Py_CLEAR(self->globals);
    return 0;
}

void function_dealloc(PyObject* obj) noexcept {
    PyTypeObject* type = Py_TYPE(obj);
    PyObject_GC_UnTrack(obj);
    if (as_function(obj)->weakreflist != nullptr) {
        PyObject_ClearWeakRefs(obj);
    }
    function_clear(obj);
    Py_CLEAR(as_function(obj)->name);
    Py_CLEAR(as_function(obj)->qualname);
    type->tp_free(obj);
    Py_DECREF(type);
}

PyObject* function_repr(PyObject* obj) noexcept {
    FunctionObject* self = as_function(obj);
    return PyUnicode_FromFormat("<function %U at %p>", self->qualname, obj);
}

// Functions bind to instances like Python functions do.
PyObject* function_descr_get(PyObject* obj, PyObject* instance, PyObject*) noexcept {
    if (instance == nullptr || instance == Py_None) {
        return Py_NewRef(obj);
    }
    return PyMethod_New(obj, instance);
}

// Setters mirror those of Python functions: same checks, same messages.
int set_string_attr(PyObject*& slot, PyObject* value, const char* message) noexcept {
    if (value == nullptr || !PyUnicode_Check(value)) {
        PyErr_SetString(PyExc_TypeError, message);
        return -1;
    }
    Py_XSETREF(slot, Py_NewRef(value));
    return 0;
}

int set_optional_attr(PyObject*& slot, PyObject* value, bool type_ok, const char* message) noexcept {
    if (value == Py_None) {
        value = nullptr;
    }
    if (value != nullptr && !type_ok) {
        PyErr_SetString(PyExc_TypeError, message);
        return -1;
    }
    Py_XSETREF(slot, Py_XNewRef(value));
    return 0;
}

PyObject* get_optional(PyObject* value) noexcept { return Py_NewRef(value ? value : Py_None); }
PyObject* get_name(PyObject* obj, void*) noexcept { return Py_NewRef(as_function(obj)->name); }
int set_name(PyObject* obj, PyObject* value, void*) noexcept {
    return set_string_attr(as_function(obj)->name, value, "__name__ must be set to a string object");
}
PyObject* get_qualname(PyObject* obj, void*) noexcept { return Py_NewRef(as_function(obj)->qualname); }
int set_qualname(PyObject* obj, PyObject* value, void*) noexcept {
    return set_string_attr(as_function(obj)->qualname, value, "__qualname__ must be set to a string object");
}
PyObject* get_defaults(PyObject* obj, void*) noexcept { return get_optional(as_function(obj)->defaults); }
int set_defaults(PyObject* obj, PyObject* value, void*) noexcept {
    return set_optional_attr(as_function(obj)->defaults, value, value && PyTuple_Check(value),
                             "__defaults__ must be set to a tuple object");
}
PyObject* get_kwdefaults(PyObject* obj, void*) noexcept { return get_optional(as_function(obj)->kwdefaults); }
int set_kwdefaults(PyObject* obj, PyObject* value, void*) noexcept {
    return set_optional_attr(as_function(obj)->kwdefaults, value, value && PyDict_Check(value),
                             "__kwdefaults__ must be set to a dict object");
}
PyObject* get_annotations(PyObject* obj, void*) noexcept {
    FunctionObject* self = as_function(obj);
    if (self->annotations == nullptr) {
        self->annotations = PyDict_New();
        if (self->annotations == nullptr) {
            return nullptr;
        }
    }
    return Py_NewRef(self->annotations);
}
int set_annotations(PyObject* obj, PyObject* value, void*) noexcept {
    return set_optional_attr(as_function(obj)->annotations, value, value && PyDict_Check(value),
                             "__annotations__ must be set to a dict object");
}
PyObject* get_module(PyObject* obj, void*) noexcept { return get_optional(as_function(obj)->module); }
int set_module(PyObject* obj, PyObject* value, void*) noexcept {
    Py_XSETREF(as_function(obj)->module, Py_XNewRef(value));
    return 0;
}
PyObject* get_doc(PyObject* obj, void*) noexcept { return get_optional(as_function(obj)->doc); }
int set_doc(PyObject* obj, PyObject* value, void*) noexcept {
    Py_XSETREF(as_function(obj)->doc, Py_XNewRef(value));
    return 0;
}
PyObject* get_globals(PyObject* obj, void*) noexcept { return get_optional(as_function(obj)->globals); }
PyObject* get_signature(PyObject* obj, void*) noexcept { return build_signature(as_function(obj)); }

// Pickled by reference, as Python functions are: the name of a module global.
PyObject* function_reduce(PyObject* obj, PyObject*) noexcept { return Py_NewRef(as_function(obj)->qualname); }

PyMethodDef function_methods[] = {
    {"__reduce__", function_reduce, METH_NOARGS, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef function_getset[] = {
    {"__name__", get_name, set_name, nullptr, nullptr},
    {"__qualname__", get_qualname, set_qualname, nullptr, nullptr},
    {"__module__", get_module, set_module, nullptr, nullptr},
    {"__doc__", get_doc, set_doc, nullptr, nullptr},
    {"__defaults__", get_defaults, set_defaults, nullptr, nullptr},
    {"__kwdefaults__", get_kwdefaults, set_kwdefaults, nullptr, nullptr},
    {"__annotations__", get_annotations, set_annotations, nullptr, nullptr},
    {"__signature__", get_signature, nullptr, nullptr, nullptr},
    {"__globals__", get_globals, nullptr, nullptr, nullptr},
    {"__dict__", PyObject_GenericGetDict, PyObject_GenericSetDict, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyMemberDef function_members[] = {
    {"__vectorcalloffset__", Py_T_PYSSIZET, offsetof(FunctionObject, vectorcall), Py_READONLY, nullptr},
    {"__dictoffset__", Py_T_PYSSIZET, offsetof(FunctionObject, dict), Py_READONLY, nullptr},
    {"__weaklistoffset__", Py_T_PYSSIZET, offsetof(FunctionObject, weakreflist), Py_READONLY, nullptr},
    {nullptr, 0, 0, 0, nullptr},
};

PyType_Slot function_slots[] = {
    {Py_tp_call, reinterpret_cast<void*>(function_call)},
    {Py_tp_repr, reinterpret_cast<void*>(function_repr)},
    {Py_tp_descr_get, reinterpret_cast<void*>(function_descr_get)},
    {Py_tp_traverse, reinterpret_cast<void*>(function_traverse)},
    {Py_tp_clear, reinterpret_cast<void*>(function_clear)},
    {Py_tp_dealloc, reinterpret_cast<void*>(function_dealloc)},
    {Py_tp_getset, function_getset},
    {Py_tp_methods, function_methods},
    {Py_tp_members, function_members},
    {0, nullptr},
};

PyType_Spec function_spec = {
    "tintwell.function",
    sizeof(FunctionObject),
    0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_HAVE_GC | Py_TPFLAGS_HAVE_VECTORCALL | Py_TPFLAGS_IMMUTABLETYPE |
        Py_TPFLAGS_DISALLOW_INSTANTIATION | Py_TPFLAGS_METHOD_DESCRIPTOR,
    function_slots,
};

}  // namespace

int ensure_function_type() noexcept {
    if (function_type == nullptr) {
        function_type = reinterpret_cast<PyTypeObject*>(PyType_FromSpec(&function_spec));
    }
    return function_type ? 0 : -1;
}

const FunctionObject* own_function(PyObject* obj, const FunctionDef& def) noexcept {
    return Py_IS_TYPE(obj, function_type) && as_function(obj)->def == &def ? as_function(obj) : nullptr;
}

namespace {

// __annotations__: each annotated parameter's text in order, then the return annotation.
Ref new_annotations(const FunctionDef& def) noexcept {
    Ref annotations = Ref::steal(PyDict_New());
    if (!annotations) {
        return {};
    }
    for (const Param& param : def.params) {
        if (param.annotation != nullptr &&
            PyDict_SetItem(annotations.get(), param.name.get(), param.annotation->get()) < 0) {
            return {};
        }
    }
    if (def.returns != nullptr && PyDict_SetItem(annotations.get(), names::return_.get(), def.returns->get()) < 0) {
        return {};
    }
    return annotations;
}

// How many parameters, the last ones, default to None.
std::size_t none_defaults(const FunctionDef& def) noexcept {
    std::size_t count = 0;
    for (const Param& param : def.params) {
        count = param.defaults_to_none ? count + 1 : 0;
    }
    return count;
}

Ref new_function(const FunctionDef& def, PyObject* defaults) noexcept {
    Ref annotations = new_annotations(def);
    if (!annotations) {
        return {};
    }
    Ref module_name = Ref::steal(PyUnicode_FromString(module_info.qualname));
    if (!module_name) {
        return {};
    }
    FunctionObject* self = PyObject_GC_New(FunctionObject, function_type);
    if (self == nullptr) {
        return {};
    }
    self->vectorcall = function_vectorcall;
    self->def = &def;
    self->name = Py_NewRef(def.name.get());
    self->qualname = Py_NewRef(def.name.get());
    self->module = module_name.release();
    self->doc = Py_NewRef(def.doc.utf8() != nullptr ? def.doc.get() : Py_None);
    self->defaults = Py_XNewRef(defaults);
    self->kwdefaults = nullptr;
    self->annotations = annotations.release();
    self->dict = nullptr;
    self->globals = Py_XNewRef(state.dict.get());
    self->weakreflist = nullptr;
    PyObject_GC_Track(self);
    return Ref::steal(reinterpret_cast<PyObject*>(self));
}

}  // namespace

int define_functions() noexcept {
    // Like the constants of one code object, equal tuples of defaults are one tuple.
    Ref defaults[kMaxParams + 1];
    for (const FunctionDef* def : module_info.functions) {
        const std::size_t count = none_defaults(*def);
        if (count > 0 && !defaults[count]) {
            defaults[count] = Ref::steal(PyTuple_New(static_cast<Py_ssize_t>(count)));
            if (!defaults[count]) {
                return -1;
            }
            for (std::size_t i = 0; i < count; ++i) {
                PyTuple_SET_ITEM(defaults[count].get(), static_cast<Py_ssize_t>(i), Py_NewRef(Py_None));
            }
        }
        Ref function = new_function(*def, defaults[count].get());
        if (!function || bind_global(def->name, function.get()) < 0) {
            return -1;
        }
    }
    return 0;
}

}  // namespace frame
