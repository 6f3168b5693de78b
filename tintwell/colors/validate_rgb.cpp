// _validate_rgb: each of three components must lie in 0..255.
#include "validate_rgb.hpp"

#include "byte.hpp"
#include "frame/attributes.hpp"
#include "functions.hpp"
#include "names.hpp"

namespace colors {

namespace {

namespace n = names;
using frame::Ref;

TINTWELL_COLD void raise_out_of_range(const frame::Str& letter, PyObject* value) noexcept {
    Ref message = Ref::steal(PyUnicode_FromFormat("%U%U%S", letter.get(), n::msg_component.get(), value));
    if (message) {
        PyErr_SetObject(PyExc_ValueError, message.get());
    }
}

// The components are exact ints here, converted by the int-parameter rule.
int check_components(PyObject* const* components) noexcept {
    const frame::Str* letters[] = {&n::letter_r, &n::letter_g, &n::letter_b};
    for (int i = 0; i < 3; ++i) {
        if (byte_of_int(components[i]) < 0) {
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

// def _validate_rgb(r: "int", g: "int", b: "int") -> "None"
constinit frame::FunctionDef validate_rgb_def{n::validate_rgb,   "_validate_rgb", rgb_params,
                                              validate_rgb_body, nullptr,         &n::ann_none};

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
