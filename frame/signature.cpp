// __signature__ of module functions, built from the current __defaults__, __kwdefaults__ and
// __annotations__ each time it is read, so inspect and help() show the real parameters.
#include "function.hpp"

namespace frame {

namespace {

// annotations.get(key, empty) as a new reference.
Ref annotation_or(PyObject* annotations, PyObject* key, PyObject* empty) noexcept {
    PyObject* value = nullptr;
    if (annotations != nullptr && PyDict_GetItemRef(annotations, key, &value) != 0) {
        return Ref::steal(value);
    }
    return Ref::borrow(empty);
}

}  // namespace

PyObject* build_signature(FunctionObject* self) noexcept {
    Ref inspect = Ref::steal(PyImport_ImportModule("inspect"));
    if (!inspect) {
        return nullptr;
    }
    Ref parameter_type = Ref::steal(PyObject_GetAttrString(inspect.get(), "Parameter"));
    Ref signature_type = Ref::steal(PyObject_GetAttrString(inspect.get(), "Signature"));
    if (!parameter_type || !signature_type) {
        return nullptr;
    }
    Ref empty = Ref::steal(PyObject_GetAttrString(parameter_type.get(), "empty"));
    Ref positional_kind = Ref::steal(PyObject_GetAttrString(parameter_type.get(), "POSITIONAL_OR_KEYWORD"));
    Ref keyword_kind = Ref::steal(PyObject_GetAttrString(parameter_type.get(), "KEYWORD_ONLY"));
    Ref return_key = Ref::steal(PyUnicode_FromString("return"));
    Ref parameters = Ref::steal(PyList_New(0));
    if (!empty || !positional_kind || !keyword_kind || !return_key || !parameters) {
        return nullptr;
    }
    // Held for the whole build: the Python code called below may replace these attributes.
    const Ref defaults = Ref::borrow(self->defaults);
    const Ref kwdefaults = Ref::borrow(self->kwdefaults);
    const Ref annotations = Ref::borrow(self->annotations);
    const FunctionDef& def = *self->def;
    Py_ssize_t npos = 0;
    for (const Param& param : def.params) {
        npos += param.kind == ParamKind::positional_or_keyword;
    }
    const Py_ssize_t ndefaults = defaults ? PyTuple_GET_SIZE(defaults.get()) : 0;
    Py_ssize_t index = 0;
    for (const Param& param : def.params) {
        const bool positional = param.kind == ParamKind::positional_or_keyword;
        Ref fallback;
        if (positional && index >= npos - ndefaults) {
            fallback = Ref::borrow(PyTuple_GET_ITEM(defaults.get(), ndefaults - npos + index));
        } else if (!positional) {
            fallback = annotation_or(kwdefaults.get(), param.name.get(), empty.get());
        } else {
            fallback = Ref::borrow(empty.get());
        }
        ++index;
        Ref annotation = annotation_or(annotations.get(), param.name.get(), empty.get());
        Ref kwargs = Ref::steal(Py_BuildValue("{sOsO}", "default", fallback.get(), "annotation", annotation.get()));
        if (!kwargs) {
            return nullptr;
        }
        Ref args =
            Ref::steal(PyTuple_Pack(2, param.name.get(), positional ? positional_kind.get() : keyword_kind.get()));
        if (!args) {
            return nullptr;
        }
        Ref parameter = Ref::steal(PyObject_Call(parameter_type.get(), args.get(), kwargs.get()));
        if (!parameter || PyList_Append(parameters.get(), parameter.get()) < 0) {
            return nullptr;
        }
    }
    Ref return_annotation = annotation_or(annotations.get(), return_key.get(), empty.get());
    Ref args = Ref::steal(PyTuple_Pack(1, parameters.get()));
    Ref kwargs = Ref::steal(Py_BuildValue("{sO}", "return_annotation", return_annotation.get()));
    if (!args || !kwargs) {
        return nullptr;
    }
    return PyObject_Call(signature_type.get(), args.get(), kwargs.get());
}

}  // namespace frame
