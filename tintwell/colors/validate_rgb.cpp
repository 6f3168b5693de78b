// _validate_rgb: each of three components must lie in 0..255.
#include "frame/own.hpp"
#include "functions.hpp"
#include "names.hpp"

namespace colors {

namespace {

namespace n = names;
using frame::Ref;

// 0 <= value <= 255 for an exact int (comparisons of exact ints have no side effects).
bool in_byte_range(PyObject* value) noexcept {
    int overflow = 0;
    const long number = PyLong_AsLongAndOverflow(value, &overflow);
    return overflow == 0 && number >= 0 && number <= 255;
}

[[gnu::cold]] void raise_out_of_range(const frame::Str& letter, PyObject* value) noexcept {
    Ref message = Ref::steal(PyUnicode_FromFormat("%U%U%S", letter.get(), n::msg_component.get(), value));
    if (message) {
        PyErr_SetObject(PyExc_ValueError, message.get());
    }
}

int check_components(PyObject* const* components) noexcept {
    const frame::Str* letters[] = {&n::letter_r, &n::letter_g, &n::letter_b};
    for (int i = 0; i < 3; ++i) {
        if (!in_byte_range(components[i])) {
            raise_out_of_range(*letters[i], components[i]);
            return -1;
        }
    }
    return 0;
}

PyObject* validate_rgb_body(frame::Globals, PyObject* const* args) noexcept {
    if (check_components(args) < 0) {
        return nullptr;
    }
    Py_RETURN_NONE;
}

}  // namespace

const frame::Param rgb_params[3] = {
    {names::r, frame::Coerce::to_int},
    {names::g, frame::Coerce::to_int},
    {names::b, frame::Coerce::to_int},
};

frame::FunctionDef validate_rgb_def{names::validate_rgb, "_validate_rgb", rgb_params, validate_rgb_body};

int validate_rgb_direct(const frame::FunctionObject* own, PyObject* const* items, Ref* converted) noexcept {
    PyObject* bound[3] = {items[0], items[1], items[2]};
    const int status = frame::run_own(own, [&](frame::Globals) {
        return frame::apply_parameter_rules(validate_rgb_def, bound, converted) < 0 || check_components(bound) < 0 ? -1
                                                                                                                   : 0;
    });
    if (status < 0) {
        return -1;
    }
    // Components that needed no conversion are held as given.
    for (int i = 0; i < 3; ++i) {
        if (!converted[i]) {
            converted[i] = Ref::borrow(bound[i]);
        }
    }
    return 0;
}

}  // namespace colors
