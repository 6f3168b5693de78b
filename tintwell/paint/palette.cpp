// The module's functions: the palette, the nearest entries, the perceived difference (and the colour
// form classifier, for the command line).
#include "palette.hpp"

#include "arguments.hpp"
#include "colours.hpp"
#include "state.hpp"

namespace paint {

namespace {

using frame::Ref;

PyObject* rgb_tuple(colour::Rgb rgb) noexcept { return Py_BuildValue("(iii)", rgb.r, rgb.g, rgb.b); }

// An (r, g, b) tuple argument of `function`, checked as fg_code checks a tuple's components.
int rgb_argument(const char* function, PyObject* name, PyObject* value, colour::Rgb& rgb) noexcept {
    if (!PyTuple_Check(value)) {
        PyErr_Format(PyExc_TypeError, "%s() argument '%U' must be an (r, g, b) tuple, not %.200s", function, name,
                     Py_TYPE(value)->tp_name);
        return -1;
    }
    return tuple_components(value, rgb);
}

// A CIELAB argument of _ciede2000: three floats.
int lab_argument(PyObject* value, colour::Lab& lab) noexcept {
    double parts[3];
    Ref items = Ref::steal(PySequence_Tuple(value));
    if (!items) {
        return -1;
    }
    if (PyTuple_GET_SIZE(items.get()) != 3) {
        PyErr_SetString(PyExc_ValueError, "expected (L, a, b)");
        return -1;
    }
    for (int i = 0; i < 3; ++i) {
        parts[i] = PyFloat_AsDouble(PyTuple_GET_ITEM(items.get(), i));
        if (parts[i] == -1.0 && PyErr_Occurred()) {
            return -1;
        }
    }
    lab = {parts[0], parts[1], parts[2]};
    return 0;
}

const Signature rgb_signature_256{"nearest_ansi256", {&names::r, &names::g, &names::b}, 3, 3, 3};
const Signature rgb_signature_16{"nearest_ansi16", {&names::r, &names::g, &names::b}, 3, 3, 3};
const Signature palette_signature{"palette_rgb", {&names::index}, 1, 1, 1};
const Signature difference_signature{"perceived_difference", {&names::rgb1, &names::rgb2}, 2, 2, 2};

template <int (*Nearest)(colour::Rgb), const Signature& Parameters>
PyObject* nearest(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    PyObject* values[3];
    colour::Rgb rgb{};
    if (bind(Parameters, args, nargs, kwnames, values) < 0 || components(values[0], values[1], values[2], rgb) < 0) {
        return nullptr;
    }
    return PyLong_FromLong(Nearest(rgb));
}

PyObject* palette_rgb(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    PyObject* index;
    if (bind(palette_signature, args, nargs, kwnames, &index) < 0) {
        return nullptr;
    }
    if (!PyLong_Check(index)) {
        PyErr_Format(PyExc_TypeError, "palette index must be an int, not %.200s", Py_TYPE(index)->tp_name);
        return nullptr;
    }
    int overflow = 0;
    const long value = PyLong_AsLongAndOverflow(index, &overflow);
    if (value == -1 && PyErr_Occurred()) {
        return nullptr;
    }
    if (overflow != 0 || value < 0 || value > 255) {
        PyErr_Format(PyExc_ValueError, "palette index must lie in 0-255, got %R", index);
        return nullptr;
    }
    return rgb_tuple(colour::palette_rgb(static_cast<int>(value)));
}

PyObject* perceived_difference(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    PyObject* values[2];
    colour::Rgb first{}, second{};
    if (bind(difference_signature, args, nargs, kwnames, values) < 0 ||
        rgb_argument("perceived_difference", names::rgb1, values[0], first) < 0 ||
        rgb_argument("perceived_difference", names::rgb2, values[1], second) < 0) {
        return nullptr;
    }
    return PyFloat_FromDouble(colour::ciede2000(colour::lab_of(first), colour::lab_of(second)));
}

// CIEDE2000 of two CIELAB colours, for the tests that check it against published pairs.
PyObject* ciede2000(PyObject*, PyObject* const* args, Py_ssize_t nargs) noexcept {
    colour::Lab first{}, second{};
    if (nargs != 2) {
        PyErr_Format(PyExc_TypeError, "_ciede2000() takes 2 positional arguments but %zd were given", nargs);
        return nullptr;
    }
    if (lab_argument(args[0], first) < 0 || lab_argument(args[1], second) < 0) {
        return nullptr;
    }
    return PyFloat_FromDouble(colour::ciede2000(first, second));
}

}  // namespace

PyMethodDef palette_functions[] = {
    {"palette_rgb", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(palette_rgb)),
     METH_FASTCALL | METH_KEYWORDS,
     "palette_rgb(index)\n--\n\nThe RGB colour a terminal shows for palette entry index (0-255), with xterm's "
     "defaults."},
    {"nearest_ansi256",
     reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(nearest<colour::nearest_256, rgb_signature_256>)),
     METH_FASTCALL | METH_KEYWORDS,
     "nearest_ansi256(r, g, b)\n--\n\nThe palette entry 16-255 perceived as nearest to (r, g, b): least CIEDE2000 "
     "against xterm's default palette, ties to the lower index."},
    {"nearest_ansi16",
     reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(nearest<colour::nearest_16, rgb_signature_16>)),
     METH_FASTCALL | METH_KEYWORDS,
     "nearest_ansi16(r, g, b)\n--\n\nThe basic colour 0-15 perceived as nearest to (r, g, b): least CIEDE2000 "
     "against xterm's defaults, never a grey (0, 7, 8, 15) for a colour of HSV saturation and value 0.5 or more."},
    {"perceived_difference", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(perceived_difference)),
     METH_FASTCALL | METH_KEYWORDS,
     "perceived_difference(rgb1, rgb2)\n--\n\nThe CIEDE2000 difference between two sRGB colours."},
    {"_ciede2000", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(ciede2000)), METH_FASTCALL,
     "_ciede2000(lab1, lab2)\n--\n\nCIEDE2000 of two CIELAB colours."},
    {"_colour_form", colour_form_function, METH_O,
     "_colour_form(colour, /)\n--\n\nThe form of colour as the painter tells it: 'name', 'hex', 'index', 'rgb', "
     "or None."},
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace paint
