// parse_hex: "#RRGGBB" and "#RGB" to an (R, G, B) tuple, by the patterns _HEX_RE and _SHORT_HEX_RE
// read from the module at every call. The module's own patterns are matched here directly.
#include "parse_hex.hpp"

#include "counters.hpp"
#include "frame/attributes.hpp"
#include "frame/lookup.hpp"
#include "functions.hpp"
#include "names.hpp"

namespace colors {

namespace {

namespace n = names;
using frame::Globals;
using frame::Ref;

Ref rgb_tuple(const unsigned* components) noexcept {
    Ref tuple = Ref::steal(PyTuple_New(3));
    if (!tuple) {
        return {};
    }
    for (Py_ssize_t i = 0; i < 3; ++i) {
        PyObject* item = PyLong_FromLong(static_cast<long>(components[i]));  // 0..255: the interpreter's cached ints
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

TINTWELL_COLD void raise_unparsable(PyObject* color) noexcept {
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

// One pattern of N digits tried on `color`, the pattern read from the module now: 1 with `parsed`
// set on a match, 0 for no match, -1 on error. The module's own pattern is matched here directly.
template <Py_ssize_t N>
int try_pattern(Globals globals, const frame::GlobalName& name, const frame::Original& original, PyObject* color,
                Parsed& parsed) noexcept {
    const frame::GlobalObject pattern = frame::lookup_original(globals, name, original);
    if (!pattern.value) {
        return -1;
    }
    if (pattern.original) {
        counters::own_pattern.count();
        return detail::read_digits<N>(color, parsed.rgb);
    }
    bool matched = false;
    Ref group = match_group(pattern.value.get(), color, matched);
    if (!matched) {
        return PyErr_Occurred() ? -1 : 0;
    }
    if (!group) {
        return -1;
    }
    parsed.tuple = N == 6 ? components_from_long(group.get()) : components_from_short(group.get());
    return parsed.tuple ? 1 : -1;
}

// The procedure of parse_hex: the long form, then the short one, then the error.
int parse(Globals globals, PyObject* color, Parsed& parsed) noexcept {
    int found = try_pattern<6>(globals, n::HEX_RE, originals.hex_re, color, parsed);
    if (found == 0) {
        found = try_pattern<3>(globals, n::SHORT_HEX_RE, originals.short_hex_re, color, parsed);
    }
    if (found == 0) {
        raise_unparsable(color);
    }
    return found > 0 ? 0 : -1;
}

PyObject* parse_hex_body(Globals globals, PyObject* const* args) noexcept {
    Parsed parsed;
    if (parse(globals, args[0], parsed) < 0) {
        return nullptr;
    }
    return parsed.tuple ? parsed.tuple.release() : rgb_tuple(parsed.rgb).release();
}

constexpr frame::Param parse_hex_params[] = {
    {n::color, frame::Coerce::exact_str, frame::ParamKind::positional_or_keyword, &n::ann_str}};

}  // namespace

// def parse_hex(color: "str") -> "Tuple[int, int, int]"
constinit frame::FunctionDef parse_hex_def{
    n::parse_hex,
    "parse_hex",
    parse_hex_params,
    parse_hex_body,
    "将十六进制颜色字符串解析为 (R, G, B) 元组。\n\n    支持 #RGB 和 #RRGGBB 格式。\n    ",
    &n::ann_rgb};

int parse_hex_direct(const frame::FunctionObject* own, PyObject* color, Parsed& parsed) noexcept {
    return frame::run_own(own, [&](Globals globals) { return parse(globals, color, parsed); });
}

}  // namespace colors
