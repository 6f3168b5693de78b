// __signature__ of module functions, built from the current __defaults__, __kwdefaults__ and
// __annotations__ each time it is read, so inspect and help() show the real parameters.
#include "function_object.hpp"

namespace frame {

namespace {

// annotations.get(key, empty) as a new reference; null with an exception set on failure.
Ref annotation_or(PyObject* annotations, PyObject* key, PyObject* empty) noexcept {
    PyObject* value = nullptr;
    if (annotations != nullptr && PyDict_GetItemRef(annotations, key, &value) != 0) {
        return Ref::steal(value);  // found, or the lookup failed
    }
    return Ref::borrow(empty);
}

// What a signature is made of, looked up in inspect each time: a test may replace any of it.
struct InspectNames {
    Ref parameter_type;
    Ref signature_type;
    Ref empty;
    Ref positional_kind;
    Ref keyword_kind;
};

// Every lookup is checked before the next one runs, so the first failure is the one that leaves.
int load_inspect_names(InspectNames& names) noexcept {
    Ref inspect = Ref::steal(PyImport_ImportModule("inspect"));
    if (!inspect) {
        return -1;
    }
    names.parameter_type = Ref::steal(PyObject_GetAttrString(inspect.get(), "Parameter"));
    if (!names.parameter_type) {
        return -1;
    }
    names.signature_type = Ref::steal(PyObject_GetAttrString(inspect.get(), "Signature"));
    if (!names.signature_type) {
        return -1;
    }
    names.empty = Ref::steal(PyObject_GetAttrString(names.parameter_type.get(), "empty"));
    if (!names.empty) {
        return -1;
    }
    names.positional_kind = Ref::steal(PyObject_GetAttrString(names.parameter_type.get(), "POSITIONAL_OR_KEYWORD"));
    if (!names.positional_kind) {
        return -1;
    }
    names.keyword_kind = Ref::steal(PyObject_GetAttrString(names.parameter_type.get(), "KEYWORD_ONLY"));
    return names.keyword_kind ? 0 : -1;
}

// inspect.Parameter(name, kind, default=fallback, annotation=annotation)
Ref new_parameter(const InspectNames& names, const Param& param, PyObject* fallback, PyObject* annotation) noexcept {
    const bool positional = param.kind == ParamKind::positional_or_keyword;
    Ref kwargs = Ref::steal(Py_BuildValue("{sOsO}", "default", fallback, "annotation", annotation));
    if (!kwargs) {
        return {};
    }
    Ref args = Ref::steal(
        PyTuple_Pack(2, param.name.get(), positional ? names.positional_kind.get() : names.keyword_kind.get()));
    if (!args) {
        return {};
    }
    return Ref::steal(PyObject_Call(names.parameter_type.get(), args.get(), kwargs.get()));
}

}  // namespace

PyObject* build_signature(FunctionObject* self) noexcept {
    InspectNames names;
    if (load_inspect_names(names) < 0) {
        return nullptr;
    }
    Ref parameters = Ref::steal(PyList_New(0));
    if (!parameters) {
        return nullptr;
    }
    // Held for the whole build: the Python code called below may replace these attributes.
    const Ref defaults = Ref::borrow(self->defaults);
    const Ref kwdefaults = Ref::borrow(self->kwdefaults);
    const Ref annotations = Ref::borrow(self->annotations);
    const FunctionDef& def = *self->def;
    const Py_ssize_t npos = def.positional;
    const Py_ssize_t ndefaults = defaults ? PyTuple_GET_SIZE(defaults.get()) : 0;
    Py_ssize_t index = 0;
    for (const Param& param : def.params) {
        const bool positional = param.kind == ParamKind::positional_or_keyword;
        Ref fallback;
        if (positional && index >= npos - ndefaults) {
            fallback = Ref::borrow(PyTuple_GET_ITEM(defaults.get(), ndefaults - npos + index));
        } else if (!positional) {
            fallback = annotation_or(kwdefaults.get(), param.name.get(), names.empty.get());
        } else {
            fallback = Ref::borrow(names.empty.get());
        }
        ++index;
        if (!fallback) {
            return nullptr;
        }
        Ref annotation = annotation_or(annotations.get(), param.name.get(), names.empty.get());
        Ref parameter = annotation ? new_parameter(names, param, fallback.get(), annotation.get()) : Ref();
        if (!parameter || PyList_Append(parameters.get(), parameter.get()) < 0) {
            return nullptr;
        }
    }
    Ref return_key = Ref::steal(PyUnicode_FromString("return"));
    Ref return_annotation = return_key ? annotation_or(annotations.get(), return_key.get(), names.empty.get()) : Ref();
    if (!return_annotation) {
        return nullptr;
    }
    Ref args = Ref::steal(PyTuple_Pack(1, parameters.get()));
    if (!args) {
        return nullptr;
    }
    Ref kwargs = Ref::steal(Py_BuildValue("{sO}", "return_annotation", return_annotation.get()));
    if (!kwargs) {
        return nullptr;
    }
    return PyObject_Call(names.signature_type.get(), args.get(), kwargs.get());
}

}  // namespace frame
