// fg_code, bg_code and _color_code: which form a colour takes, and the layer it is for. Each form
// builds its sequence in a file of its own: color_rgb (tuples, hex strings), color_index (palette
// indices), color_name (names).
#include "color_index.hpp"
#include "color_name.hpp"
#include "color_rgb.hpp"
#include "counters.hpp"
#include "frame/attributes.hpp"
#include "frame/own.hpp"
#include "functions.hpp"
#include "names.hpp"
#include "untouched.hpp"

namespace colors {

namespace {

namespace n = names;
using frame::Globals;
using frame::Ref;

// The message names type(color).__name__, the attribute as a metaclass may answer it, rendered by
// format.
TINTWELL_COLD void raise_unsupported(PyObject* color) noexcept {
    const Ref type = Ref::borrow(reinterpret_cast<PyObject*>(Py_TYPE(color)));  // __name__ may reassign __class__
    Ref type_name = Ref::steal(PyObject_GetAttr(type.get(), n::dunder_name.get()));
    Ref shown = type_name ? Ref::steal(PyObject_Format(type_name.get(), n::empty.get())) : Ref();
    Ref message = shown ? Ref::steal(PyUnicode_Concat(n::msg_type.get(), shown.get())) : Ref();
    if (message) {
        PyErr_SetObject(PyExc_TypeError, message.get());
    }
}

// The forms, in the order they are tested; an instance of a subclass counts as one of its base.
enum class Form { tuple, index, hex, name, unsupported, failed };

// color.startswith("#"), through the subclass's own method for str subclasses.
int starts_with_hash(PyObject* color) noexcept {
    if (PyUnicode_CheckExact(color)) {
        return PyUnicode_GET_LENGTH(color) > 0 && PyUnicode_READ_CHAR(color, 0) == '#';
    }
    Ref answer = Ref::steal(PyObject_CallMethodOneArg(color, n::startswith.get(), n::hash.get()));
    return answer ? PyObject_IsTrue(answer.get()) : -1;
}

Form form_of(PyObject* color) noexcept {
    if (PyTuple_Check(color)) {
        return Form::tuple;
    }
    if (PyLong_Check(color)) {
        return Form::index;
    }
    if (!PyUnicode_Check(color)) {
        return Form::unsupported;
    }
    const int hex = starts_with_hash(color);
    return hex < 0 ? Form::failed : hex ? Form::hex : Form::name;
}

// The sequence of the colour's form. The direct routes take exact types only, so `now` still holds
// when they use it: only a str subclass runs code here (its startswith), and it never takes one.
TINTWELL_ALWAYS_INLINE inline PyObject* color_code(Globals globals, Untouched now, PyObject* color,
                                                   bool foreground) noexcept {
    switch (form_of(color)) {
        case Form::unsupported:
            raise_unsupported(color);
            return nullptr;
        case Form::failed:
            return nullptr;
        case Form::tuple:
            return tuple_sequence(globals, now, color, foreground);
        case Form::hex:
            return hex_sequence(globals, now, color, foreground);
        case Form::index:
            return index_sequence(globals, now, color, foreground);
        case Form::name:
            break;
    }
    return name_sequence(globals, now, color, foreground);
}

PyObject* color_code_body(Globals globals, PyObject* const* args) noexcept {
    const int foreground = PyObject_IsTrue(args[1]);
    return foreground < 0 ? nullptr : color_code(globals, untouched(globals), args[0], foreground != 0);
}

TINTWELL_COLD void raise_bad_result(PyObject* result) noexcept {
    Ref type_name = Ref::steal(PyType_GetName(Py_TYPE(result)));
    const char* got = type_name ? PyUnicode_AsUTF8(type_name.get()) : nullptr;
    if (got != nullptr) {
        PyErr_Format(PyExc_TypeError, "Expected str, got %.200s", got);
    }
}

// _color_code(color, foreground=...), looked up in the module at every call. The module's own is
// run as calling it would run it (its truth of foreground is the bool itself), and gives a str.
TINTWELL_ALWAYS_INLINE inline PyObject* layer_code(Globals globals, PyObject* color, bool foreground) noexcept {
    PyObject* made = nullptr;
    const auto run = [&](Globals own_globals, Untouched now) {
        made = color_code(own_globals, now, color, foreground);
        return made ? 0 : -1;
    };
    const Untouched now = untouched(globals);
    if (now.color_code) {
        counters::own_color_code.count();
        frame::run_as(color_code_def, globals, [&](Globals own_globals) { return run(own_globals, now); });
        return made;
    }
    const frame::GlobalFunction implementation = frame::lookup_function(globals, n::color_code, color_code_def);
    if (!implementation.value) {
        return nullptr;
    }
    if (implementation.own != nullptr) {
        frame::run_own(implementation.own,
                       [&](Globals own_globals) { return run(own_globals, untouched(own_globals)); });
        return made;
    }
    PyObject* args[2] = {color, foreground ? Py_True : Py_False};
    Ref result =
        Ref::steal(PyObject_Vectorcall(implementation.value.get(), args, 1, originals.foreground_kwnames.get()));
    if (result && !PyUnicode_CheckExact(result.get()) && result.get() != Py_None) {
        raise_bad_result(result.get());
        return nullptr;
    }
    return result.release();
}

PyObject* fg_code_body(Globals globals, PyObject* const* args) noexcept { return layer_code(globals, args[0], true); }
PyObject* bg_code_body(Globals globals, PyObject* const* args) noexcept { return layer_code(globals, args[0], false); }

constexpr frame::Param color_params[] = {
    {n::color, frame::Coerce::none, frame::ParamKind::positional_or_keyword, &n::ann_color}};
constexpr frame::Param color_code_params[] = {
    {n::color, frame::Coerce::none, frame::ParamKind::positional_or_keyword, &n::ann_color},
    {n::foreground, frame::Coerce::none, frame::ParamKind::keyword_only, &n::ann_bool}};

}  // namespace

// def fg_code(color: "str | int | Tuple[int, int, int]") -> "str"
constinit frame::FunctionDef fg_code_def{
    n::fg_code,
    "fg_code",
    color_params,
    fg_code_body,
    "生成前景色 ANSI 转义序列。\n\n    参数:\n        color: 颜色名称 (如 'red')、十六进制字符串 (如 '#ff0000')、\n"
    "               256 色索引 (0-255)、或 RGB 元组 (r, g, b)。\n    ",
    &n::ann_str};
// def bg_code(color: "str | int | Tuple[int, int, int]") -> "str"
constinit frame::FunctionDef bg_code_def{
    n::bg_code, "bg_code", color_params, bg_code_body, "生成背景色 ANSI 转义序列。", &n::ann_str};
// def _color_code(color: "str | int | Tuple[int, int, int]", *, foreground: "bool") -> "str"
constinit frame::FunctionDef color_code_def{
    n::color_code, "_color_code", color_code_params, color_code_body, "统一的颜色码生成逻辑。", &n::ann_str};

}  // namespace colors
