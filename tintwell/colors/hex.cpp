// parse_hex: "#RRGGBB" and "#RGB" to an (R, G, B) tuple.
#include <tuple>

#include "functions.hpp"
#include "lookup.hpp"
#include "names.hpp"

namespace colors {

namespace {

namespace n = names;
using frame::Ref;

int hex_value(Py_UCS4 ch) noexcept {
    if (ch >= '0' && ch <= '9') {
        return static_cast<int>(ch - '0');
    }
    if (ch >= 'a' && ch <= 'f') {
        return static_cast<int>(ch - 'a' + 10);
    }
    if (ch >= 'A' && ch <= 'F') {
        return static_cast<int>(ch - 'A' + 10);
    }
    return -1;
}

// What re.match of "^#([0-9a-fA-F]{N})$" accepts: '#', N ASCII hex digits, then the end of the
// string or a single final line feed. Fills `digits` on a match.
bool match_hex(PyObject* text, Py_ssize_t count, int* digits) noexcept {
    const Py_ssize_t length = PyUnicode_GET_LENGTH(text);
    if (length != count + 1 && length != count + 2) {
        return false;
    }
    const int kind = PyUnicode_KIND(text);
    const void* data = PyUnicode_DATA(text);
    if (PyUnicode_READ(kind, data, 0) != '#') {
        return false;
    }
    if (length == count + 2 && PyUnicode_READ(kind, data, count + 1) != '\n') {
        return false;
    }
    for (Py_ssize_t i = 0; i < count; ++i) {
        digits[i] = hex_value(PyUnicode_READ(kind, data, i + 1));
        if (digits[i] < 0) {
            return false;
        }
    }
    return true;
}

Ref rgb_tuple(int red, int green, int blue) noexcept {
    Ref tuple = Ref::steal(PyTuple_New(3));
    if (!tuple) {
        return {};
    }
    const int components[3] = {red, green, blue};
    for (Py_ssize_t i = 0; i < 3; ++i) {
        PyObject* item = PyLong_FromLong(components[i]);  // 0..255: the interpreter's cached ints
        if (item == nullptr) {
            return {};
        }
        PyTuple_SET_ITEM(tuple.get(), i, item);
    }
    return tuple;
}

// m = pattern.match(color); a true m gives its group(1), null with no error when it is false.
Ref match_group(PyObject* pattern, PyObject* color, bool& matched) noexcept {
    matched = false;
    Ref match = Ref::steal(PyObject_CallMethodOneArg(pattern, n::match.get(), color));
    if (!match) {
        return {};
    }
    const int truth = PyObject_IsTrue(match.get());
    if (truth <= 0) {
        return {};
    }
    matched = true;
    Ref one = Ref::steal(PyLong_FromLong(1));
    if (!one) {
        return {};
    }
    return Ref::steal(PyObject_CallMethodOneArg(match.get(), n::group.get(), one.get()));
}

// int(piece, 16)
Ref parse_base16(PyObject* piece) noexcept {
    return Ref::steal(PyObject_CallFunction(reinterpret_cast<PyObject*>(&PyLong_Type), "Oi", piece, 16));
}

// (int(h[0:2], 16), int(h[2:4], 16), int(h[4:6], 16)) for whatever group(1) returned.
Ref components_from_long(PyObject* digits) noexcept {
    Ref items[3];
    for (Py_ssize_t i = 0; i < 3; ++i) {
        Ref piece = Ref::steal(PySequence_GetSlice(digits, 2 * i, 2 * i + 2));
        if (!piece) {
            return {};
        }
        items[i] = parse_base16(piece.get());
        if (!items[i]) {
            return {};
        }
    }
    return Ref::steal(PyTuple_Pack(3, items[0].get(), items[1].get(), items[2].get()));
}

// (int(h[0] * 2, 16), ...) for the short form.
Ref components_from_short(PyObject* digits) noexcept {
    Ref items[3];
    Ref two = Ref::steal(PyLong_FromLong(2));
    if (!two) {
        return {};
    }
    for (Py_ssize_t i = 0; i < 3; ++i) {
        Ref index = Ref::steal(PyLong_FromSsize_t(i));
        Ref digit = index ? Ref::steal(PyObject_GetItem(digits, index.get())) : Ref();
        Ref doubled = digit ? Ref::steal(PyNumber_Multiply(digit.get(), two.get())) : Ref();
        items[i] = doubled ? parse_base16(doubled.get()) : Ref();
        if (!items[i]) {
            return {};
        }
    }
    return Ref::steal(PyTuple_Pack(3, items[0].get(), items[1].get(), items[2].get()));
}

[[gnu::cold]] void raise_unparsable(PyObject* color) noexcept {
    Ref shown = Ref::steal(PyObject_Repr(color));
    if (!shown) {
        return;
    }
    Ref message =
        Ref::steal(PyUnicode_FromFormat("%U%U%U", n::msg_bad_hex.get(), shown.get(), n::msg_bad_hex_tail.get()));
    if (message) {
        PyErr_SetObject(PyExc_ValueError, message.get());
    }
}

// One pattern tried on `color`: 1 with `result` set on a match, 0 for no match, -1 on error.
int try_pattern(const frame::Str& name, PyObject* original, Py_ssize_t count, PyObject* color, Ref& result) noexcept {
    Ref pattern = frame::lookup_global(name);
    if (!pattern) {
        return -1;
    }
    if (pattern.get() == original) {
        int digits[6];
        if (!match_hex(color, count, digits)) {
            return 0;
        }
        result = count == 6
                     ? rgb_tuple(digits[0] * 16 + digits[1], digits[2] * 16 + digits[3], digits[4] * 16 + digits[5])
                     : rgb_tuple(digits[0] * 17, digits[1] * 17, digits[2] * 17);
        return result ? 1 : -1;
    }
    bool matched = false;
    Ref group = match_group(pattern.get(), color, matched);
    if (!matched) {
        return PyErr_Occurred() ? -1 : 0;
    }
    if (!group) {
        return -1;
    }
    result = count == 6 ? components_from_long(group.get()) : components_from_short(group.get());
    return result ? 1 : -1;
}

PyObject* parse_hex_body(PyObject* const* args) noexcept {
    PyObject* color = args[0];
    Ref result;
    int found = try_pattern(n::HEX_RE, originals.hex_re, 6, color, result);
    if (found == 0) {
        found = try_pattern(n::SHORT_HEX_RE, originals.short_hex_re, 3, color, result);
    }
    if (found == 0) {
        raise_unparsable(color);
    }
    return result.release();
}

const frame::Param parse_hex_params[] = {{names::color, frame::Coerce::exact_str}};

}  // namespace

frame::FunctionDef parse_hex_def{names::parse_hex, frame::TraceLabel{"parse_hex", 1}, parse_hex_params, parse_hex_body};

PyObject* parse_hex_direct(PyObject* color) noexcept { return frame::call_bound(parse_hex_def, &color); }

int parse_hex_components(PyObject* color, int* rgb) noexcept {
    int digits[6];
    for (const auto& [name, original, count] :
         {std::tuple{&n::HEX_RE, originals.hex_re, 6}, std::tuple{&n::SHORT_HEX_RE, originals.short_hex_re, 3}}) {
        Ref pattern = frame::lookup_global(*name);
        if (!pattern) {
            parse_hex_def.label.add_to_traceback();
            return -1;
        }
        if (pattern.get() != original) {
            return 0;
        }
        if (match_hex(color, count, digits)) {
            for (int i = 0; i < 3; ++i) {
                rgb[i] = count == 6 ? digits[2 * i] * 16 + digits[2 * i + 1] : digits[i] * 17;
            }
            return 1;
        }
    }
    raise_unparsable(color);
    parse_hex_def.label.add_to_traceback();
    return -1;
}

}  // namespace colors
