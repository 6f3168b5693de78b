// ColorLevel: the class, made as `class ColorLevel(IntEnum)` makes it, and its members as the
// functions read them.
#include <utility>

#include "frame/lookup.hpp"
#include "frame/module.hpp"
#include "functions.hpp"
#include "names.hpp"

namespace detect {

namespace {

namespace n = names;
using frame::Ref;

// The bases as the class statement resolves them: a base that is not a class but has
// __mro_entries__ is replaced by the items of the tuple it returns for the original bases.
Ref resolve_bases(PyObject* original) noexcept {
    Ref resolved;  // a list, made at the first replacement
    const Py_ssize_t count = PyTuple_GET_SIZE(original);
    for (Py_ssize_t i = 0; i < count; ++i) {
        PyObject* base = PyTuple_GET_ITEM(original, i);
        PyObject* entries_method = nullptr;
        if (!PyType_Check(base) && PyObject_GetOptionalAttr(base, n::dunder_mro_entries.get(), &entries_method) < 0) {
            return {};
        }
        if (entries_method == nullptr) {
            if (resolved && PyList_Append(resolved.get(), base) < 0) {
                return {};
            }
            continue;
        }
        Ref method = Ref::steal(entries_method);
        Ref entries = Ref::steal(PyObject_CallOneArg(method.get(), original));
        if (!entries) {
            return {};
        }
        if (!PyTuple_Check(entries.get())) {
            PyErr_SetString(PyExc_TypeError, "__mro_entries__ must return a tuple");
            return {};
        }
        if (!resolved) {
            resolved = Ref::steal(PyTuple_GetSlice(original, 0, i));
            resolved = resolved ? Ref::steal(PySequence_List(resolved.get())) : Ref();
            if (!resolved) {
                return {};
            }
        }
        const Py_ssize_t end = PyList_GET_SIZE(resolved.get());
        if (PyList_SetSlice(resolved.get(), end, end, entries.get()) < 0) {
            return {};
        }
    }
    return resolved ? Ref::steal(PyList_AsTuple(resolved.get())) : Ref::borrow(original);
}

// The metaclass that `class ColorLevel(*bases)` uses: the most derived of the bases' metaclasses,
// `type` when there are none. A strong reference: __prepare__ and the namespace run Python code
// that may drop every other reference to it.
Ref derive_metaclass(PyObject* bases) noexcept {
    const Py_ssize_t count = PyTuple_GET_SIZE(bases);
    PyTypeObject* winner = count == 0 ? &PyType_Type : Py_TYPE(PyTuple_GET_ITEM(bases, 0));
    for (Py_ssize_t i = 0; i < count; ++i) {
        PyTypeObject* candidate = Py_TYPE(PyTuple_GET_ITEM(bases, i));
        if (PyType_IsSubtype(winner, candidate)) {
            continue;
        }
        if (!PyType_IsSubtype(candidate, winner)) {
            PyErr_SetString(PyExc_TypeError,
                            "metaclass conflict: the metaclass of a derived class must be a (non-strict) "
                            "subclass of the metaclasses of all its bases");
            return {};
        }
        winner = candidate;
    }
    return Ref::borrow(reinterpret_cast<PyObject*>(winner));
}

// The namespace the class body fills: metaclass.__prepare__(name, bases), or a dict without one.
Ref prepare_namespace(PyObject* metaclass, PyObject* bases) noexcept {
    PyObject* prepare = nullptr;
    if (PyObject_GetOptionalAttr(metaclass, n::dunder_prepare.get(), &prepare) < 0) {
        return {};
    }
    if (prepare == nullptr) {
        return Ref::steal(PyDict_New());
    }
    Ref owned = Ref::steal(prepare);
    PyObject* args[2] = {n::ColorLevel.get(), bases};
    Ref ns = Ref::steal(PyObject_Vectorcall(prepare, args, 2, nullptr));
    if (ns && !PyMapping_Check(ns.get())) {
        PyErr_Format(PyExc_TypeError, "%.200s.__prepare__() must return a mapping, not %.200s",
                     reinterpret_cast<PyTypeObject*>(metaclass)->tp_name, Py_TYPE(ns.get())->tp_name);
        return {};
    }
    return ns;
}

}  // namespace

// The docstring and the four members are assigned one by one through the namespace's own item
// assignment: a plain dict store would bypass the enum namespace, which registers each member.
int create_color_level() noexcept {
    Ref base = frame::lookup_global(frame::module_globals(), n::IntEnum);
    Ref original = base ? Ref::steal(PyTuple_Pack(1, base.get())) : Ref();
    Ref bases = original ? resolve_bases(original.get()) : Ref();
    Ref metaclass = bases ? derive_metaclass(bases.get()) : Ref();
    Ref ns = metaclass ? prepare_namespace(metaclass.get(), bases.get()) : Ref();
    if (!ns) {
        return -1;
    }
    const std::pair<const frame::Str*, PyObject*> body[] = {
        {&n::dunder_module, n::module_qualname.get()},
        {&n::dunder_qualname, n::ColorLevel.get()},
        {&n::dunder_doc, n::color_level_doc.get()},
        {&n::NONE, n::level_none.get()},
        {&n::BASIC, n::level_basic.get()},
        {&n::EXTENDED, n::level_extended.get()},
        {&n::TRUECOLOR, n::level_truecolor.get()},
    };
    for (const auto& [key, value] : body) {
        if (PyObject_SetItem(ns.get(), key->get(), value) < 0) {
            return -1;
        }
    }
    if (bases.get() != original.get() && PyObject_SetItem(ns.get(), n::dunder_orig_bases.get(), original.get()) < 0) {
        return -1;
    }
    PyObject* args[3] = {n::ColorLevel.get(), bases.get(), ns.get()};
    Ref level = Ref::steal(PyObject_Vectorcall(metaclass.get(), args, 3, nullptr));
    return level ? frame::bind_global(n::ColorLevel, level.get()) : -1;
}

Ref color_level_member(frame::Globals globals, const frame::Str& member) noexcept {
    Ref level = frame::lookup_global(globals, n::ColorLevel);
    return level ? Ref::steal(PyObject_GetAttr(level.get(), member.get())) : Ref();
}

}  // namespace detect
