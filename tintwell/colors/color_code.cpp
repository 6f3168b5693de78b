// fg_code, bg_code and _color_code: SGR escape sequences for colour names, 256-colour indices,
// hex strings and RGB tuples.
#include <string_view>
#include <utility>

#include "compact_int.hpp"
#include "direct_sequence.hpp"
#include "frame/ascii.hpp"
#include "frame/lookup.hpp"
#include "frame/own.hpp"
#include "functions.hpp"
#include "names.hpp"
#include "sequence.hpp"
#include "tables.hpp"
#include "untouched.hpp"

namespace colors {

namespace {

namespace n = names;
using frame::Globals;
using frame::Ref;

// An exact int of 0..255, as its value; -1 for anything else (no code runs to find out).
int byte_value(PyObject* obj) noexcept {
    Py_ssize_t value = 0;
    return PyLong_CheckExact(obj) && compact_value(obj, value) && value >= 0 && value <= 255 ? static_cast<int>(value)
                                                                                             : -1;
}

// ---- unpacking (r, g, b) ----

[[gnu::cold]] void raise_unpack_count(Py_ssize_t found) noexcept {
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

// ---- the sequences ----

// A sequence that starts with format(ESC, ""), ESC being read from the module now.
int start_sequence(Globals globals, Sequence& sequence) noexcept {
    Ref esc = frame::lookup_global(globals, n::ESC);
    return esc ? sequence.add_formatted(esc.get()) : -1;
}

std::string_view layer(bool foreground) noexcept { return foreground ? "38" : "48"; }

// ESC L;2;r;g;b m from components known to lie in 0..255
PyObject* rgb_sequence(Globals globals, bool foreground, const unsigned* rgb) noexcept {
    if (untouched(globals).esc) {
        return direct::rgb(foreground, rgb);
    }
    Sequence sequence;
    if (start_sequence(globals, sequence) < 0) {
        return nullptr;
    }
    sequence.add_ascii(layer(foreground));
    sequence.add_ascii(";2;");
    sequence.add_byte_value(rgb[0]);
    sequence.add_ascii(";");
    sequence.add_byte_value(rgb[1]);
    sequence.add_ascii(";");
    sequence.add_byte_value(rgb[2]);
    sequence.add_ascii("m");
    return sequence.finish();
}

// ESC L;2;r;g;b m
PyObject* rgb_sequence(Globals globals, bool foreground, Ref* items) noexcept {
    Sequence sequence;
    if (start_sequence(globals, sequence) < 0) {
        return nullptr;
    }
    sequence.add_ascii(layer(foreground));
    sequence.add_ascii(";2;");
    for (int i = 0; i < 3; ++i) {
        if (i > 0) {
            sequence.add_ascii(";");
        }
        if (sequence.add_rendered(items[i].get()) < 0) {
            return nullptr;
        }
    }
    sequence.add_ascii("m");
    return sequence.finish();
}

// r, g, b of an exact tuple of three exact ints in 0..255; false for any other colour.
bool plain_rgb(PyObject* color, unsigned* rgb) noexcept {
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

PyObject* tuple_sequence(Globals globals, PyObject* color, bool foreground) noexcept {
    unsigned rgb[3];
    const bool plain = plain_rgb(color, rgb);
    Ref items[3];
    if (!plain && unpack3(color, items) < 0) {
        return nullptr;
    }
    const frame::GlobalFunction validate = frame::lookup_function(globals, n::validate_rgb, validate_rgb_def);
    if (!validate.value) {
        return nullptr;
    }
    if (plain && validate.own != nullptr) {
        // The module's own check passes such components: its run is one level of call depth and no
        // more, and the sequence shows the very numbers.
        if (frame::run_own(validate.own, [](Globals) { return 0; }) < 0) {
            return nullptr;
        }
        return rgb_sequence(globals, foreground, rgb);
    }
    if (plain) {
        for (Py_ssize_t i = 0; i < 3; ++i) {
            items[i] = Ref::borrow(PyTuple_GET_ITEM(color, i));
        }
    }
    PyObject* raw[3] = {items[0].get(), items[1].get(), items[2].get()};
    if (const frame::FunctionObject* own = validate.own) {
        // Render the very integers the check accepted.
        Ref converted[3];
        if (validate_rgb_direct(own, raw, converted) < 0) {
            return nullptr;
        }
        return rgb_sequence(globals, foreground, converted);
    }
    Ref ignored = Ref::steal(PyObject_Vectorcall(validate.value.get(), raw, 3, nullptr));
    if (!ignored) {
        return nullptr;
    }
    return rgb_sequence(globals, foreground, items);
}

// `piece` + format(value, ""): a value placed into a message is rendered as format renders it.
Ref message_with(const frame::Str& piece, PyObject* value) noexcept {
    Ref shown = Ref::steal(PyObject_Format(value, n::empty.get()));
    return shown ? Ref::steal(PyUnicode_Concat(piece.get(), shown.get())) : Ref();
}

[[gnu::cold]] void raise_index_range(PyObject* color) noexcept {
    Ref message = message_with(n::msg_index, color);
    if (message) {
        PyErr_SetObject(PyExc_ValueError, message.get());
    }
}

// 0 <= value <= 255; the second comparison only when the first holds.
int index_in_range(PyObject* value) noexcept {
    if (PyLong_CheckExact(value) || PyBool_Check(value)) {
        int overflow = 0;
        const long number = PyLong_AsLongAndOverflow(value, &overflow);
        return overflow == 0 && number >= 0 && number <= 255;
    }
    Ref zero = Ref::steal(PyLong_FromLong(0));
    const int above = zero ? PyObject_RichCompareBool(zero.get(), value, Py_LE) : -1;
    if (above <= 0) {
        return above;
    }
    Ref top = Ref::steal(PyLong_FromLong(255));
    return top ? PyObject_RichCompareBool(value, top.get(), Py_LE) : -1;
}

PyObject* index_sequence(Globals globals, PyObject* color, bool foreground) noexcept {
    const int value = byte_value(color);
    if (value >= 0 && untouched(globals).esc) {
        return direct::index(foreground, static_cast<unsigned>(value));
    }
    const int in_range = index_in_range(color);
    if (in_range <= 0) {
        if (in_range == 0) {
            raise_index_range(color);
        }
        return nullptr;
    }
    Sequence sequence;
    if (start_sequence(globals, sequence) < 0) {
        return nullptr;
    }
    sequence.add_ascii(layer(foreground));
    sequence.add_ascii(";5;");
    if (sequence.add_rendered(color) < 0) {
        return nullptr;
    }
    sequence.add_ascii("m");
    return sequence.finish();
}

// The message names type(color).__name__, the attribute as a metaclass may answer it.
[[gnu::cold]] void raise_unsupported(PyObject* color) noexcept {
    const Ref type = Ref::borrow(reinterpret_cast<PyObject*>(Py_TYPE(color)));  // __name__ may reassign __class__
    Ref type_name = Ref::steal(PyObject_GetAttr(type.get(), n::dunder_name.get()));
    Ref message = type_name ? message_with(n::msg_type, type_name.get()) : Ref();
    if (message) {
        PyErr_SetObject(PyExc_TypeError, message.get());
    }
}

// color.startswith("#"), through the subclass's own method for str subclasses.
int starts_with_hash(PyObject* color) noexcept {
    if (PyUnicode_CheckExact(color)) {
        return PyUnicode_GET_LENGTH(color) > 0 && PyUnicode_READ_CHAR(color, 0) == '#';
    }
    Ref answer = Ref::steal(PyObject_CallMethodOneArg(color, n::startswith.get(), n::hash.get()));
    return answer ? PyObject_IsTrue(answer.get()) : -1;
}

PyObject* hex_sequence(Globals globals, PyObject* color, bool foreground) noexcept {
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
            return rgb_sequence(globals, foreground, parsed.rgb);
        }
        result = std::move(parsed.tuple);
    } else {
        result = Ref::steal(PyObject_CallOneArg(parse.value.get(), color));
    }
    Ref items[3];
    if (!result || unpack3(result.get(), items) < 0) {
        return nullptr;
    }
    return rgb_sequence(globals, foreground, items);
}

// ---- colour names ----

// color.lower().replace("-", "_").replace(" ", "_"); an exact ASCII str is done in one pass. Like
// lower(), it gives a new str even when nothing changes: the tables never see the caller's object.
Ref normalise(PyObject* color) noexcept {
    if (PyUnicode_CheckExact(color) && PyUnicode_IS_ASCII(color)) {
        return frame::map_ascii(
            color,
            [](unsigned char ch) {
                return ch == '-' || ch == ' ' ? static_cast<unsigned char>('_') : frame::ascii_lower(ch);
            },
            frame::Unchanged::new_object);
    }
    Ref lowered = Ref::steal(PyObject_CallMethodNoArgs(color, n::lower.get()));
    if (!lowered) {
        return {};
    }
    Ref dashes = Ref::steal(
        PyObject_CallMethodObjArgs(lowered.get(), n::replace.get(), n::dash.get(), n::underscore.get(), nullptr));
    if (!dashes) {
        return {};
    }
    return Ref::steal(
        PyObject_CallMethodObjArgs(dashes.get(), n::replace.get(), n::space.get(), n::underscore.get(), nullptr));
}

// COLOR_ALIASES.get(name, name)
Ref resolve_alias(Globals globals, PyObject* name) noexcept {
    Ref aliases = frame::lookup_global(globals, n::COLOR_ALIASES);
    if (!aliases) {
        return {};
    }
    if (PyDict_CheckExact(aliases.get())) {
        PyObject* target = nullptr;
        const int found = PyDict_GetItemRef(aliases.get(), name, &target);
        if (found < 0) {
            return {};
        }
        return found ? Ref::steal(target) : Ref::borrow(name);
    }
    return Ref::steal(PyObject_CallMethodObjArgs(aliases.get(), n::get.get(), name, name, nullptr));
}

// The ValueError for an unknown name, listing the keys of NAMED_COLORS as it is bound now; each
// value placed into the message is rendered by format, the repr first.
[[gnu::cold]] void raise_unknown_name(Globals globals, PyObject* color) noexcept {
    Ref text = Ref::steal(PyObject_Repr(color));
    Ref shown = text ? Ref::steal(PyObject_Format(text.get(), n::empty.get())) : Ref();
    Ref table = shown ? frame::lookup_global(globals, n::NAMED_COLORS) : Ref();
    Ref names_list = table ? Ref::steal(PySequence_List(table.get())) : Ref();
    if (!names_list || PyList_Sort(names_list.get()) < 0) {
        return;
    }
    Ref joined = Ref::steal(PyUnicode_Join(n::comma_space.get(), names_list.get()));
    if (!joined) {
        return;
    }
    Ref message = Ref::steal(
        PyUnicode_FromFormat("%U%U%U%U", n::msg_unknown.get(), shown.get(), n::msg_available.get(), joined.get()));
    if (message) {
        PyErr_SetObject(PyExc_ValueError, message.get());
    }
}

// NAMED_COLORS[name] after `name in NAMED_COLORS`; null with the unknown-name error if absent.
Ref lookup_code(Globals globals, PyObject* name, PyObject* color) noexcept {
    // Asked first: then neither read of the table's global runs code, and both give the same table.
    const bool reads_quiet = frame::global_reads_run_no_code(globals);
    Ref table = frame::lookup_global(globals, n::NAMED_COLORS);
    if (!table) {
        return {};
    }
    // An exact str looked up in an exact dict whose keys are all exact str runs no code either: one
    // lookup answers the membership test and the item lookup of the table the second read would
    // give. Otherwise the membership test may run code that changes the table or rebinds it, or a
    // key may compare equal once only; and a read of the global may run such code itself.
    if (reads_quiet && PyDict_CheckExact(table.get()) && PyUnicode_CheckExact(name) &&
        frame::has_plain_keys(table.get())) {
        PyObject* code = nullptr;
        const int found = PyDict_GetItemRef(table.get(), name, &code);
        if (found == 0) {
            raise_unknown_name(globals, color);
        }
        return Ref::steal(code);
    }
    const int present = PySequence_Contains(table.get(), name);
    if (present <= 0) {
        if (present == 0) {
            raise_unknown_name(globals, color);
        }
        return {};
    }
    // Read again, and the table it gives indexed: the membership test may have run code that
    // rebound NAMED_COLORS, and the read itself may run code.
    table = frame::lookup_global(globals, n::NAMED_COLORS);
    return table ? Ref::steal(PyObject_GetItem(table.get(), name)) : Ref();
}

// Background codes: below 40, or 90..97, move up by 10.
Ref background_code(Ref code) noexcept {
    if (PyLong_CheckExact(code.get())) {
        int overflow = 0;
        const long value = PyLong_AsLongAndOverflow(code.get(), &overflow);
        if (overflow == 0) {
            const bool shift = value < 40 || (value >= 90 && value <= 97);
            return shift ? Ref::steal(PyLong_FromLong(value + 10)) : std::move(code);
        }
    }
    Ref forty = Ref::steal(PyLong_FromLong(40));
    const int below = forty ? PyObject_RichCompareBool(code.get(), forty.get(), Py_LT) : -1;
    if (below < 0) {
        return {};
    }
    if (!below) {
        Ref low = Ref::steal(PyLong_FromLong(90));
        const int above_low = low ? PyObject_RichCompareBool(low.get(), code.get(), Py_LE) : -1;
        if (above_low <= 0) {
            return above_low < 0 ? Ref() : std::move(code);
        }
        Ref high = Ref::steal(PyLong_FromLong(97));
        const int below_high = high ? PyObject_RichCompareBool(code.get(), high.get(), Py_LE) : -1;
        if (below_high <= 0) {
            return below_high < 0 ? Ref() : std::move(code);
        }
    }
    Ref ten = Ref::steal(PyLong_FromLong(10));
    return ten ? Ref::steal(PyNumber_Add(code.get(), ten.get())) : Ref();
}

// ESC code m for a code of the tables as built.
PyObject* code_sequence(Globals globals, Untouched now, int code) noexcept {
    if (now.esc) {
        return direct::named(static_cast<unsigned>(code));
    }
    Sequence sequence;
    if (start_sequence(globals, sequence) < 0) {
        return nullptr;
    }
    sequence.add_byte_value(static_cast<unsigned>(code));
    sequence.add_ascii("m");
    return sequence.finish();
}

PyObject* named_sequence(Globals globals, PyObject* color, bool foreground) noexcept {
    // While both tables are the module's own with their entries as built, looking up an exact ASCII
    // str runs no code and answers as the index does; a name they do not hold goes the long way
    // round, to the error that lists the keys.
    if (PyUnicode_CheckExact(color) && PyUnicode_IS_ASCII(color)) {
        const Untouched now = untouched(globals);
        if (now.tables) {
            const int code = tables::find_code(PyUnicode_1BYTE_DATA(color),
                                               static_cast<std::size_t>(PyUnicode_GET_LENGTH(color)), foreground);
            if (code >= 0) {
                return code_sequence(globals, now, code);
            }
        }
    }
    Ref name = normalise(color);
    Ref resolved = name ? resolve_alias(globals, name.get()) : Ref();
    Ref code = resolved ? lookup_code(globals, resolved.get(), color) : Ref();
    if (code && !foreground) {
        code = background_code(std::move(code));
    }
    if (!code) {
        return nullptr;
    }
    Sequence sequence;
    if (start_sequence(globals, sequence) < 0 || sequence.add_rendered(code.get()) < 0) {
        return nullptr;
    }
    sequence.add_ascii("m");
    return sequence.finish();
}

// ---- the functions ----

PyObject* color_code(Globals globals, PyObject* color, bool foreground) noexcept {
    if (PyTuple_Check(color)) {
        return tuple_sequence(globals, color, foreground);
    }
    if (PyLong_Check(color)) {
        return index_sequence(globals, color, foreground);
    }
    if (!PyUnicode_Check(color)) {
        raise_unsupported(color);
        return nullptr;
    }
    const int hex = starts_with_hash(color);
    if (hex < 0) {
        return nullptr;
    }
    return hex ? hex_sequence(globals, color, foreground) : named_sequence(globals, color, foreground);
}

PyObject* color_code_body(Globals globals, PyObject* const* args) noexcept {
    const int foreground = PyObject_IsTrue(args[1]);
    return foreground < 0 ? nullptr : color_code(globals, args[0], foreground != 0);
}

[[gnu::cold]] void raise_bad_result(PyObject* result) noexcept {
    Ref type_name = Ref::steal(PyType_GetName(Py_TYPE(result)));
    const char* got = type_name ? PyUnicode_AsUTF8(type_name.get()) : nullptr;
    if (got != nullptr) {
        PyErr_Format(PyExc_TypeError, "Expected str, got %.200s", got);
    }
}

// _color_code(color, foreground=...), looked up in the module at every call.
PyObject* layer_code(Globals globals, PyObject* color, bool foreground) noexcept {
    const frame::GlobalFunction implementation = frame::lookup_function(globals, n::color_code, color_code_def);
    if (!implementation.value) {
        return nullptr;
    }
    Ref result;
    if (implementation.own != nullptr) {
        // As calling it with foreground=True or False would: its truth is the bool itself.
        PyObject* made = nullptr;
        frame::run_own(implementation.own, [&](Globals own_globals) {
            made = color_code(own_globals, color, foreground);
            return made ? 0 : -1;
        });
        result = Ref::steal(made);
    } else {
        PyObject* args[2] = {color, foreground ? Py_True : Py_False};
        result =
            Ref::steal(PyObject_Vectorcall(implementation.value.get(), args, 1, originals.foreground_kwnames.get()));
    }
    if (result && !PyUnicode_CheckExact(result.get()) && result.get() != Py_None) {
        raise_bad_result(result.get());
        return nullptr;
    }
    return result.release();
}

PyObject* fg_code_body(Globals globals, PyObject* const* args) noexcept { return layer_code(globals, args[0], true); }
PyObject* bg_code_body(Globals globals, PyObject* const* args) noexcept { return layer_code(globals, args[0], false); }

const frame::Param color_params[] = {{names::color}};
const frame::Param color_code_params[] = {{names::color},
                                          {names::foreground, frame::Coerce::none, frame::ParamKind::keyword_only}};

}  // namespace

frame::FunctionDef fg_code_def{names::fg_code, "fg_code", color_params, fg_code_body};
frame::FunctionDef bg_code_def{names::bg_code, "bg_code", color_params, bg_code_body};
frame::FunctionDef color_code_def{names::color_code, "_color_code", color_code_params, color_code_body};

}  // namespace colors
