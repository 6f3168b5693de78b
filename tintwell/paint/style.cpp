#include "style.hpp"

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "frame/attributes.hpp"
#include "painter.hpp"
#include "sgr.hpp"
#include "state.hpp"

namespace paint {

namespace {

using frame::Ref;

struct StyleObject {
    PyObject_HEAD
    vectorcallfunc vectorcall;
    PyObject* before;      // str: attributes, then foreground, then background
    PyObject* after;       // str: their resets
    PyObject* foreground;  // str, or null when the style writes no foreground
    PyObject* background;  // str, or null
    PyObject* fg;          // the colours as given (a str subclass as its plain str), or None
    PyObject* bg;
    PyObject* level;      // the ColorLevel member of the painter's level
    unsigned attributes;  // asked for
    unsigned parts;       // written
    Py_hash_t hash;
    int level_number;
    bool ascii;  // before and after are ASCII (they are, unless tintwell.colors.ESC was made otherwise)
    // A style of a painter that follows sys.stdout follows it too: `painter` (owned) is that painter, or
    // null. When the painter's level is no longer the style's, `current` (owned, or null) is the style of
    // the same colours and attributes made at the painter's level, kept for the calls that follow.
    PyObject* painter;
    PyObject* current;
};

StyleObject* as_style(PyObject* self) noexcept { return reinterpret_cast<StyleObject*>(self); }

// The style that paints for `self` now: `self`, unless it follows a painter whose level has changed;
// then the style of its colours and attributes at that level. Null with an exception set on failure.
Ref style_now(PyObject* self) noexcept {
    StyleObject* style = as_style(self);
    if (style->painter == nullptr) {
        return Ref::borrow(self);
    }
    Ref painter = Ref::borrow(style->painter);  // detection runs Python code
    Ref member;
    const int level = painter_level_now(painter.get(), member);
    if (level < 0 || level == style->level_number) {
        return level < 0 ? Ref() : Ref::borrow(self);
    }
    if (style->current != nullptr && as_style(style->current)->level_number == level) {
        return Ref::borrow(style->current);
    }
    Ref fg = Ref::borrow(style->fg), bg = Ref::borrow(style->bg);  // held while the colours' code runs
    Ref made = Ref::steal(painter_style_at(painter.get(), level, member.get(), fg.get(), bg.get(), style->attributes));
    if (made) {
        PyObject* old = style->current;
        style->current = Py_NewRef(made.get());
        Py_XDECREF(old);  // last
    }
    return made;
}

TINTWELL_COLD PyObject* call_error(Py_ssize_t nargs, PyObject* kwnames, PyObject* text) noexcept {
    if (kwnames != nullptr && PyTuple_GET_SIZE(kwnames) != 0) {
        PyErr_SetString(PyExc_TypeError, "Style() takes no keyword arguments");
    } else if (nargs != 1) {
        PyErr_Format(PyExc_TypeError, "Style() takes exactly one argument (%zd given)", nargs);
    } else {
        PyErr_Format(PyExc_TypeError, "Style() argument 'text' must be str, not %.200s", Py_TYPE(text)->tp_name);
    }
    return nullptr;
}

PyObject* style_call(PyObject* self, PyObject* const* args, std::size_t nargsf, PyObject* kwnames) noexcept {
    const Py_ssize_t nargs = PyVectorcall_NARGS(nargsf);
    if (nargs != 1 || kwnames != nullptr || !PyUnicode_Check(args[0])) {
        return call_error(nargs, kwnames, nargs == 1 ? args[0] : nullptr);
    }
    StyleObject* style = as_style(self);
    PyObject* text = args[0];
    if (style->painter != nullptr && !painter_still_at(style->painter, style->level_number)) {
        if (PyErr_Occurred()) {
            return nullptr;
        }
        Ref now = style_now(self);
        if (!now || now.get() != self) {
            return now ? style_call(now.get(), args, nargsf, kwnames) : nullptr;
        }
    }
    if (style->parts == 0) {
        return Py_NewRef(text);
    }
    // The usual case, ASCII text without ESC: three copies into a new str. surround() does the same
    // with more to look at.
    if (style->ascii && PyUnicode_IS_ASCII(text)) {
        const auto* chars = static_cast<const char*>(PyUnicode_DATA(text));
        const Py_ssize_t length = PyUnicode_GET_LENGTH(text);
        if (std::memchr(chars, '\x1b', static_cast<std::size_t>(length)) == nullptr) {
            const Py_ssize_t before = PyUnicode_GET_LENGTH(style->before), after = PyUnicode_GET_LENGTH(style->after);
            PyObject* result = PyUnicode_New(before + length + after, 0x7f);
            if (result != nullptr) {
                auto* out = static_cast<char*>(PyUnicode_DATA(result));
                std::memcpy(out, PyUnicode_DATA(style->before), static_cast<std::size_t>(before));
                std::memcpy(out + before, chars, static_cast<std::size_t>(length));
                std::memcpy(out + before + length, PyUnicode_DATA(style->after), static_cast<std::size_t>(after));
            }
            return result;
        }
    }
    const Piece before{style->before, nullptr, 0};
    const Piece after{style->after, nullptr, 0};
    return surround(&before, 1, args[0], &after, 1, Layers{style->parts, style->foreground, style->background});
}

int style_traverse(PyObject* self, visitproc visit, void* arg) noexcept {
    StyleObject* style = as_style(self);
    Py_VISIT(Py_TYPE(self));
    Py_VISIT(style->fg);
    Py_VISIT(style->bg);
    Py_VISIT(style->level);
    Py_VISIT(style->painter);
    Py_VISIT(style->current);
    return 0;
}

int style_clear(PyObject* self) noexcept {
    StyleObject* style = as_style(self);
    Py_CLEAR(style->fg);
    Py_CLEAR(style->bg);
    Py_CLEAR(style->level);
    Py_CLEAR(style->painter);
    Py_CLEAR(style->current);
    return 0;
}

void style_dealloc(PyObject* self) noexcept {
    PyTypeObject* type = Py_TYPE(self);
    PyObject_GC_UnTrack(self);
    style_clear(self);
    StyleObject* style = as_style(self);
    Py_CLEAR(style->before);
    Py_CLEAR(style->after);
    Py_CLEAR(style->foreground);
    Py_CLEAR(style->background);
    type->tp_free(self);
    Py_DECREF(type);
}

// Equal styles write the same sequences: the same attributes and the same colour sequences.
PyObject* style_richcompare(PyObject* self, PyObject* other, int op) noexcept {
    if ((op != Py_EQ && op != Py_NE) || Py_TYPE(other) != Py_TYPE(self)) {
        Py_RETURN_NOTIMPLEMENTED;
    }
    const StyleObject* a = as_style(self);
    const StyleObject* b = as_style(other);
    auto same = [](PyObject* x, PyObject* y) {  // str or null; comparing two str runs no Python code
        return x == y || (x != nullptr && y != nullptr && PyUnicode_Equal(x, y) == 1);
    };
    const bool equal = a->parts == b->parts && same(a->foreground, b->foreground) && same(a->background, b->background);
    return Py_NewRef(equal == (op == Py_EQ) ? Py_True : Py_False);
}

Py_hash_t style_hash(PyObject* self) noexcept { return as_style(self)->hash; }

constexpr const char* kAttributeNames[kAttributeCount] = {"bold",  "dim",     "italic", "underline",
                                                          "blink", "reverse", "strike"};

PyObject* style_repr(PyObject* self) noexcept {
    Ref now = style_now(self);
    if (!now) {
        return nullptr;
    }
    StyleObject* style = as_style(now.get());
    if (style->level == nullptr) {  // cleared by the garbage collector
        return PyUnicode_FromString("Style(...)");
    }
    PyUnicodeWriter* writer = PyUnicodeWriter_Create(0);
    if (writer == nullptr) {
        return nullptr;
    }
    Ref name = Ref::steal(PyObject_GetAttr(style->level, names::name));
    bool ok = name && PyUnicodeWriter_WriteUTF8(writer, "Style(", -1) == 0;
    if (ok && style->fg != nullptr && style->fg != Py_None) {
        ok = PyUnicodeWriter_Format(writer, "fg=%R, ", style->fg) == 0;
    }
    if (ok && style->bg != nullptr && style->bg != Py_None) {
        ok = PyUnicodeWriter_Format(writer, "bg=%R, ", style->bg) == 0;
    }
    for (int i = 0; ok && i < kAttributeCount; ++i) {
        if (style->attributes & (1u << i)) {
            ok = PyUnicodeWriter_Format(writer, "%s=True, ", kAttributeNames[i]) == 0;
        }
    }
    if (ok && PyUnicodeWriter_Format(writer, "level=ColorLevel.%S)", name.get()) == 0) {
        return PyUnicodeWriter_Finish(writer);
    }
    PyUnicodeWriter_Discard(writer);
    return nullptr;
}

// One getter per attribute, so that the table below holds only constants: no closure to compute.
template <unsigned Mask>
PyObject* get_attribute(PyObject* self, void*) noexcept {
    return Py_NewRef((as_style(self)->attributes & Mask) ? Py_True : Py_False);
}

// A field of StyleObject: a str, a colour or the level (None where there is none). What the style
// writes, and its level, are those of the style now.
template <PyObject* StyleObject::*Field, bool Now = false>
PyObject* get_field(PyObject* self, void*) noexcept {
    Ref now = Now ? style_now(self) : Ref::borrow(self);
    if (!now) {
        return nullptr;
    }
    PyObject* value = as_style(now.get())->*Field;
    return Py_NewRef(value != nullptr ? value : Py_None);
}

PyGetSetDef style_getset[] = {
    {"before", get_field<&StyleObject::before, true>, nullptr, "The sequence written before the text.", nullptr},
    {"after", get_field<&StyleObject::after, true>, nullptr, "The sequence written after the text.", nullptr},
    {"fg", get_field<&StyleObject::fg>, nullptr, "The foreground colour as given, or None.", nullptr},
    {"bg", get_field<&StyleObject::bg>, nullptr, "The background colour as given, or None.", nullptr},
    {"level", get_field<&StyleObject::level, true>, nullptr, "The colour level the style paints at.", nullptr},
    {"bold", get_attribute<kBold>, nullptr, "Whether the style asks for bold text.", nullptr},
    {"dim", get_attribute<kDim>, nullptr, "Whether the style asks for dim text.", nullptr},
    {"italic", get_attribute<kItalic>, nullptr, "Whether the style asks for italic text.", nullptr},
    {"underline", get_attribute<kUnderline>, nullptr, "Whether the style asks for underlined text.", nullptr},
    {"blink", get_attribute<kBlink>, nullptr, "Whether the style asks for blinking text.", nullptr},
    {"reverse", get_attribute<kReverse>, nullptr, "Whether the style asks for reversed colours.", nullptr},
    {"strike", get_attribute<kStrike>, nullptr, "Whether the style asks for struck-through text.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

// A style is immutable: a copy is the style itself.
PyObject* copy_itself(PyObject* self, PyObject*) noexcept { return Py_NewRef(self); }

PyMethodDef style_methods[] = {
    {"__copy__", copy_itself, METH_NOARGS, nullptr},
    {"__deepcopy__", copy_itself, METH_O, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

PyMemberDef style_members[] = {
    {"__vectorcalloffset__", Py_T_PYSSIZET, offsetof(StyleObject, vectorcall), Py_READONLY, nullptr},
    {nullptr, 0, 0, 0, nullptr},
};

PyType_Slot style_slots[] = {
    {Py_tp_doc, const_cast<char*>("A painter's colours and text attributes, applied by calling it: style(text).")},
    {Py_tp_call, reinterpret_cast<void*>(PyVectorcall_Call)},
    {Py_tp_dealloc, reinterpret_cast<void*>(style_dealloc)},
    {Py_tp_traverse, reinterpret_cast<void*>(style_traverse)},
    {Py_tp_clear, reinterpret_cast<void*>(style_clear)},
    {Py_tp_repr, reinterpret_cast<void*>(style_repr)},
    {Py_tp_hash, reinterpret_cast<void*>(style_hash)},
    {Py_tp_richcompare, reinterpret_cast<void*>(style_richcompare)},
    {Py_tp_getset, style_getset},
    {Py_tp_methods, style_methods},
    {Py_tp_members, style_members},
    {0, nullptr},
};

// "\x1b[...m" for the attributes, then the colour sequences, as one str.
PyObject* before_text(unsigned parts, PyObject* foreground, PyObject* background) noexcept {
    const Sgr& attributes = attribute_sgr(parts);
    PyUnicodeWriter* writer = PyUnicodeWriter_Create(attributes.length);
    if (writer == nullptr) {
        return nullptr;
    }
    if (PyUnicodeWriter_WriteASCII(writer, attributes.text, attributes.length) < 0 ||
        (foreground != nullptr && PyUnicodeWriter_WriteStr(writer, foreground) < 0) ||
        (background != nullptr && PyUnicodeWriter_WriteStr(writer, background) < 0)) {
        PyUnicodeWriter_Discard(writer);
        return nullptr;
    }
    return PyUnicodeWriter_Finish(writer);
}

}  // namespace

PyType_Spec style_spec = {
    "tintwell.style.Style",
    sizeof(StyleObject),
    0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_HAVE_GC | Py_TPFLAGS_HAVE_VECTORCALL | Py_TPFLAGS_IMMUTABLETYPE |
        Py_TPFLAGS_DISALLOW_INSTANTIATION,
    style_slots,
};

PyObject* style_new(PyObject* level, int level_number, PyObject* fg, PyObject* bg, PyObject* foreground,
                    PyObject* background, unsigned attributes, unsigned parts, PyObject* painter) noexcept {
    const Sgr& reset = reset_sgr(parts);
    Ref before = Ref::steal(before_text(parts, foreground, background));
    Ref after = before ? Ref::steal(PyUnicode_FromStringAndSize(reset.text, reset.length)) : Ref();
    // The value equality compares, hashed as a tuple hashes it.
    Ref value = after ? Ref::steal(Py_BuildValue("(IOO)", parts, foreground != nullptr ? foreground : Py_None,
                                                 background != nullptr ? background : Py_None))
                      : Ref();
    const Py_hash_t hash = value ? PyObject_Hash(value.get()) : -1;
    if (hash == -1) {
        return nullptr;
    }
    auto* type = reinterpret_cast<PyTypeObject*>(state.style_type.get());
    auto* style = reinterpret_cast<StyleObject*>(type->tp_alloc(type, 0));
    if (style == nullptr) {
        return nullptr;
    }
    style->vectorcall = style_call;
    style->before = before.release();
    style->after = after.release();
    style->foreground = Py_XNewRef(foreground);
    style->background = Py_XNewRef(background);
    style->fg = Py_NewRef(fg);
    style->bg = Py_NewRef(bg);
    style->level = Py_NewRef(level);
    style->attributes = attributes;
    style->parts = parts;
    style->hash = hash;
    style->level_number = level_number;
    style->painter = Py_XNewRef(painter);
    style->current = nullptr;
    style->ascii = PyUnicode_IS_ASCII(style->before) && PyUnicode_IS_ASCII(style->after);
    return reinterpret_cast<PyObject*>(style);
}

}  // namespace paint
