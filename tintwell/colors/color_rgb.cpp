// RGB colours. A tuple is unpacked into exactly three items and checked by _validate_rgb; a str
// starting with "#" is read by parse_hex and its result unpacked. Both are sent as ESC L;2;r;g;b m,
// each item shown as the integer the check accepted (or as given, past a replaced _validate_rgb).
// While the module's own functions (and patterns) do the checking, an exact tuple of three bytes and
// an exact str that the patterns match are read here directly.
#include "color_rgb.hpp"

#include <utility>

#include "byte.hpp"
#include "counters.hpp"
#include "frame/attributes.hpp"
#include "frame/own.hpp"
#include "names.hpp"
#include "parse_hex.hpp"
#include "sequence.hpp"
#include "validate_rgb.hpp"

namespace colors {

namespace {

namespace n = names;
using frame::Globals;
using frame::Ref;

// ---- unpacking r, g, b ----

TINTWELL_COLD void raise_unpack_count(Py_ssize_t found) noexcept {
    if (found > 3) {
        PyErr_SetString(PyExc_ValueError, "too many values to unpack (expected 3)");
        return;
    }
    PyErr_Format(PyExc_ValueError, "need more than %zd value%.1s to unpack", found, found == 1 ? "" : "s");
}

// r, g, b = value: an exact tuple by its length, anything else by iterating over at most four items.
int unpack3(PyObject* value, Ref* items) noexcept {
    if (PyTuple_CheckExact(value)) {
        const Py_ssize_t size = PyTuple_GET_SIZE(value);
        if (size != 3) {
            raise_unpack_count(size);
            return -1;
        }
        for (Py_ssize_t i = 0; i < 3; ++i) {
            items[i] = Ref::borrow(PyTuple_GET_ITEM(value, i));
        }
        return 0;
    }
    Ref iterator = Ref::steal(PyObject_GetIter(value));
    if (!iterator) {
        if (PyErr_ExceptionMatches(PyExc_TypeError) && Py_TYPE(value)->tp_iter == nullptr && !PySequence_Check(value)) {
            PyErr_Format(PyExc_TypeError, "cannot unpack non-iterable %.200s object", Py_TYPE(value)->tp_name);
        }
        return -1;
    }
    Py_ssize_t found = 0;
    while (found < 4) {
        Ref item = Ref::steal(PyIter_Next(iterator.get()));
        if (!item) {
            if (PyErr_Occurred()) {
                return -1;
            }
            break;
        }
        if (found < 3) {
            items[found] = std::move(item);
        }
        ++found;
    }
    if (found != 3) {
        raise_unpack_count(found);
        return -1;
    }
    return 0;
}

// r, g, b of an exact tuple of three bytes; false for any other colour.
bool byte_triple(PyObject* color, unsigned* rgb) noexcept {
    if (!PyTuple_CheckExact(color) || PyTuple_GET_SIZE(color) != 3) {
        return false;
    }
    for (Py_ssize_t i = 0; i < 3; ++i) {
        const int value = byte_value(PyTuple_GET_ITEM(color, i));
        if (value < 0) {
            return false;
        }
        rgb[i] = static_cast<unsigned>(value);
    }
    return true;
}

// ---- writing ----

PyObject* write_bytes(Globals globals, bool own_esc, const unsigned* rgb, bool foreground) noexcept {
    const sequence::Introducer esc(globals, own_esc);
    return esc ? sequence::rgb(esc.get(), foreground, rgb) : nullptr;
}

// ESC read first, then each item as the sequence shows it.
PyObject* write_items(Globals globals, const Ref* items, bool foreground) noexcept {
    const sequence::Introducer esc(globals, false);
    sequence::Shown shown[3];
    if (!esc || !shown[0].render(items[0].get()) || !shown[1].render(items[1].get()) ||
        !shown[2].render(items[2].get())) {
        return nullptr;
    }
    return sequence::rgb(esc.get(), foreground, shown);
}

// ---- the general routes ----

// r, g, b = color; _validate_rgb(r, g, b), the global read now.
TINTWELL_NOINLINE PyObject* validated(Globals globals, PyObject* color, bool foreground) noexcept {
    Ref items[3];
    if (unpack3(color, items) < 0) {
        return nullptr;
    }
    const frame::GlobalFunction validate = frame::lookup_function(globals, n::validate_rgb, validate_rgb_def);
    if (!validate.value) {
        return nullptr;
    }
    PyObject* raw[3] = {items[0].get(), items[1].get(), items[2].get()};
    if (const frame::FunctionObject* own = validate.own) {
        // The very integers the check accepted.
        Ref converted[3];
        return validate_rgb_direct(own, raw, converted) < 0 ? nullptr : write_items(globals, converted, foreground);
    }
    Ref ignored = Ref::steal(PyObject_Vectorcall(validate.value.get(), raw, 3, nullptr));
    return ignored ? write_items(globals, items, foreground) : nullptr;
}

// r, g, b = parse_hex(color), the global read now.
TINTWELL_NOINLINE PyObject* parsed(Globals globals, PyObject* color, bool foreground) noexcept {
    const frame::GlobalFunction parse = frame::lookup_function(globals, n::parse_hex, parse_hex_def);
    if (!parse.value) {
        return nullptr;
    }
    Ref result;
    if (parse.own != nullptr && PyUnicode_CheckExact(color)) {
        Parsed parsed;
        if (parse_hex_direct(parse.own, color, parsed) < 0) {
            return nullptr;
        }
        if (!parsed.tuple) {
            return write_bytes(globals, false, parsed.rgb, foreground);
        }
        result = std::move(parsed.tuple);
    } else {
        result = Ref::steal(PyObject_CallOneArg(parse.value.get(), color));
    }
    Ref items[3];
    if (!result || unpack3(result.get(), items) < 0) {
        return nullptr;
    }
    return write_items(globals, items, foreground);
}

}  // namespace

PyObject* tuple_sequence(Globals globals, Untouched now, PyObject* color, bool foreground) noexcept {
    // Bytes pass the module's own check unchanged: its run is one level of call depth and no more,
    // and the sequence shows the very numbers.
    unsigned rgb[3];
    if (now.validate_rgb && byte_triple(color, rgb)) {
        counters::byte_tuple.count();
        if (frame::run_as(validate_rgb_def, globals, [](Globals) { return 0; }) < 0) {
            return nullptr;
        }
        return write_bytes(globals, now.esc, rgb, foreground);
    }
    return validated(globals, color, foreground);
}

PyObject* hex_sequence(Globals globals, Untouched now, PyObject* color, bool foreground) noexcept {
    // An exact str the module's own patterns match is read as its own parse_hex reads it (reading
    // runs no code), its run one level of call depth; anything else takes the call, and its error.
    unsigned rgb[3];
    if (now.parse_hex && PyUnicode_CheckExact(color) && read_hex(color, rgb)) {
        counters::hex_read.count();
        if (frame::run_as(parse_hex_def, globals, [](Globals) { return 0; }) < 0) {
            return nullptr;
        }
        return write_bytes(globals, now.esc, rgb, foreground);
    }
    return parsed(globals, color, foreground);
}

}  // namespace colors
