#include "colours.hpp"

#include "frame/attributes.hpp"
#include "notes.hpp"
#include "state.hpp"
#include "tintwell/colors/hex_digits.hpp"

namespace paint {

namespace {

using frame::Ref;

// The value of an exact int in 0-255, or -1.
int exact_component(PyObject* value) noexcept {
    if (!PyLong_CheckExact(value)) {
        return -1;
    }
    int overflow = 0;
    const long number = PyLong_AsLongAndOverflow(value, &overflow);
    return overflow == 0 && number >= 0 && number <= 255 ? static_cast<int>(number) : -1;
}

Ref colors_attribute(PyObject* name) noexcept { return Ref::steal(PyObject_GetAttr(state.colors.get(), name)); }

TINTWELL_COLD PyObject* not_a_sequence(PyObject* code, PyObject* result) noexcept {
    PyErr_Format(PyExc_TypeError, "tintwell.colors.%U() returned %.200s, not str", code, Py_TYPE(result)->tp_name);
    return nullptr;
}

// code(argument), which must be a str.
PyObject* call_code(PyObject* code, PyObject* code_name, PyObject* argument) noexcept {
    Ref sequence = Ref::steal(PyObject_CallOneArg(code, argument));
    if (sequence && !PyUnicode_CheckExact(sequence.get())) {
        return not_a_sequence(code_name, sequence.get());
    }
    return sequence.release();
}

// The components of a hex colour: read here, or, for a string fg_code accepted in some other way (a
// rebound parse_hex), from tintwell.colors.parse_hex itself.
int hex_components(PyObject* colour, colour::Rgb& rgb) noexcept {
    if (unsigned values[3]; colors::read_hex(colour, values)) {
        rgb = {static_cast<std::uint8_t>(values[0]), static_cast<std::uint8_t>(values[1]),
               static_cast<std::uint8_t>(values[2])};
        return 0;
    }
    Ref parse_hex = colors_attribute(names::parse_hex);
    Ref parsed = parse_hex ? Ref::steal(PyObject_CallOneArg(parse_hex.get(), colour)) : Ref();
    if (!parsed) {
        return -1;
    }
    if (!PyTuple_Check(parsed.get())) {
        PyErr_Format(PyExc_TypeError, "tintwell.colors.parse_hex() returned %.200s, not a tuple",
                     Py_TYPE(parsed.get())->tp_name);
        return -1;
    }
    return tuple_components(parsed.get(), rgb);
}

TINTWELL_COLD int unpack_error(Py_ssize_t count) noexcept {
    if (count > 3) {
        PyErr_SetString(PyExc_ValueError, "too many values to unpack (expected 3)");
    } else {
        PyErr_Format(PyExc_ValueError, "not enough values to unpack (expected 3, got %zd)", count);
    }
    return -1;
}

}  // namespace

int components(PyObject* r, PyObject* g, PyObject* b, colour::Rgb& rgb) noexcept {
    PyObject* given[3] = {r, g, b};
    int values[3] = {exact_component(r), exact_component(g), exact_component(b)};
    if (values[0] >= 0 && values[1] >= 0 && values[2] >= 0) {
        rgb = {static_cast<std::uint8_t>(values[0]), static_cast<std::uint8_t>(values[1]),
               static_cast<std::uint8_t>(values[2])};
        return 0;
    }
    Ref validate = colors_attribute(names::validate_rgb);
    if (!validate || !Ref::steal(PyObject_Vectorcall(validate.get(), given, 3, nullptr))) {
        return -1;
    }
    // Valid: each one's int() lay in 0-255. Taken again here, it may give something else (a hostile
    // __int__); then the colour module judges the new values.
    Ref numbers[3];
    for (int c = 0; c < 3; ++c) {
        numbers[c] = Ref::steal(PyNumber_Long(given[c]));
        if (!numbers[c]) {
            return -1;
        }
        values[c] = exact_component(numbers[c].get());
    }
    if (values[0] < 0 || values[1] < 0 || values[2] < 0) {
        PyObject* taken[3] = {numbers[0].get(), numbers[1].get(), numbers[2].get()};
        if (Ref::steal(PyObject_Vectorcall(validate.get(), taken, 3, nullptr))) {
            PyErr_Format(PyExc_ValueError, "RGB components must lie in 0-255, got (%R, %R, %R)", taken[0], taken[1],
                         taken[2]);
        }
        return -1;
    }
    rgb = {static_cast<std::uint8_t>(values[0]), static_cast<std::uint8_t>(values[1]),
           static_cast<std::uint8_t>(values[2])};
    return 0;
}

int tuple_components(PyObject* colour, colour::Rgb& rgb) noexcept {
    Ref items = Ref::steal(PySequence_Tuple(colour));  // a tuple subclass through its own __iter__
    if (!items) {
        return -1;
    }
    const Py_ssize_t count = PyTuple_GET_SIZE(items.get());
    if (count != 3) {
        return unpack_error(count);
    }
    return components(PyTuple_GET_ITEM(items.get(), 0), PyTuple_GET_ITEM(items.get(), 1),
                      PyTuple_GET_ITEM(items.get(), 2), rgb);
}

Form colour_form(PyObject* colour) noexcept {
    if (PyTuple_Check(colour)) {
        return Form::kRgb;
    }
    if (PyLong_Check(colour)) {
        return Form::kIndex;
    }
    if (PyUnicode_Check(colour)) {
        return PyUnicode_GET_LENGTH(colour) > 0 && PyUnicode_READ_CHAR(colour, 0) == '#' ? Form::kHex : Form::kName;
    }
    return Form::kOther;
}

PyObject* colour_form_function(PyObject*, PyObject* colour) noexcept {
    switch (colour_form(colour)) {
        case Form::kName:
            return Py_NewRef(names::name);
        case Form::kHex:
            return Py_NewRef(names::form_hex);
        case Form::kIndex:
            return Py_NewRef(names::form_index);
        case Form::kRgb:
            return Py_NewRef(names::form_rgb);
        default:
            Py_RETURN_NONE;
    }
}

PyObject* make_sequence(int level, PyObject* colour, bool foreground) noexcept {
    PyObject* code_name = foreground ? names::fg_code : names::bg_code;
    Ref code = colors_attribute(code_name);
    if (!code) {
        return nullptr;
    }
    Ref sequence = Ref::steal(PyObject_CallOneArg(code.get(), colour));
    if (!sequence) {
        explain_colour_error(colour, foreground);  // the colour module's own error for the caller's colour
        return nullptr;
    }
    if (!PyUnicode_CheckExact(sequence.get())) {
        return not_a_sequence(code_name, sequence.get());
    }
    if (level == kTrueColor) {
        return sequence.release();
    }
    if (level == kNone) {
        return Py_NewRef(state.empty.get());
    }
    colour::Rgb rgb{};
    switch (colour_form(colour)) {
        case Form::kRgb:
            if (tuple_components(colour, rgb) < 0) {
                return nullptr;
            }
            break;
        case Form::kIndex: {
            if (level == kExtended) {
                return sequence.release();
            }
            const long index = PyLong_AsLong(colour);
            if (index == -1 && PyErr_Occurred()) {
                return nullptr;
            }
            if (index < 0 || index > 255) {  // accepted by a rebound fg_code
                PyErr_Format(PyExc_ValueError, "palette index must lie in 0-255, got %ld", index);
                return nullptr;
            }
            if (index < 16) {
                return call_code(code.get(), code_name, basic_names[index]);
            }
            rgb = colour::palette_rgb(static_cast<int>(index));
            break;
        }
        case Form::kHex:
            if (hex_components(colour, rgb) < 0) {
                return nullptr;
            }
            break;
        default:
            return sequence.release();  // a colour name (or what a rebound fg_code accepts): the same at every level
    }
    if (level == kExtended) {
        Ref index = Ref::steal(PyLong_FromLong(colour::nearest_256(rgb)));
        return index ? call_code(code.get(), code_name, index.get()) : nullptr;
    }
    return call_code(code.get(), code_name, basic_names[colour::nearest_16(rgb)]);
}

}  // namespace paint
