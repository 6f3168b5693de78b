// Palette indices. An int of 0..255 (True and False included) is sent as ESC L;5;index m showing
// int(index); anything else is a ValueError naming the index as format renders it. An exact int or a
// bool is read directly; the int subclasses, whose comparisons may be their own, are compared.
#include "color_index.hpp"

#include "byte.hpp"
#include "counters.hpp"
#include "frame/attributes.hpp"
#include "names.hpp"
#include "sequence.hpp"

namespace colors {

namespace {

using frame::Ref;

// 0 <= value <= 255 by the int subclass's own comparisons; the second only when the first holds.
int compared_in_range(PyObject* value) noexcept {
    Ref zero = Ref::steal(PyLong_FromLong(0));
    const int above = zero ? PyObject_RichCompareBool(zero.get(), value, Py_LE) : -1;
    if (above <= 0) {
        return above;
    }
    Ref top = Ref::steal(PyLong_FromLong(kByteMax));
    return top ? PyObject_RichCompareBool(value, top.get(), Py_LE) : -1;
}

TINTWELL_COLD void raise_out_of_range(PyObject* color) noexcept {
    Ref shown = Ref::steal(PyObject_Format(color, names::empty.get()));
    Ref message = shown ? Ref::steal(PyUnicode_Concat(names::msg_index.get(), shown.get())) : Ref();
    if (message) {
        PyErr_SetObject(PyExc_ValueError, message.get());
    }
}

// The general route: any other exact int or bool is out of range; a subclass compares itself, and
// shows int() of itself.
TINTWELL_NOINLINE PyObject* compared(frame::Globals globals, PyObject* color, bool foreground) noexcept {
    const int in_range = PyLong_CheckExact(color) || PyBool_Check(color) ? 0 : compared_in_range(color);
    if (in_range <= 0) {
        if (in_range == 0) {
            raise_out_of_range(color);
        }
        return nullptr;
    }
    const sequence::Introducer esc(globals, false);
    sequence::Shown shown;
    if (!esc || !shown.render(color)) {
        return nullptr;
    }
    return sequence::index(esc.get(), foreground, shown);
}

}  // namespace

PyObject* index_sequence(frame::Globals globals, Untouched now, PyObject* color, bool foreground) noexcept {
    const int value = byte_value(color);
    if (value >= 0) {
        counters::byte_index.count();
        const sequence::Introducer esc(globals, now.esc);
        return esc ? sequence::index(esc.get(), foreground, static_cast<unsigned>(value)) : nullptr;
    }
    return compared(globals, color, foreground);
}

}  // namespace colors
