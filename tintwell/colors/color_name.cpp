// Colour names. A name is normalised (lower case, "-" and " " as "_"), resolved through
// COLOR_ALIASES one level deep, looked up in NAMED_COLORS and, for a background, shifted; the
// tables are read from the module at every call. While they are the module's own dicts holding the
// entries it gave them, an exact ASCII str resolves through their compile-time index instead, with
// the same folding and the same shift, worked out when the module was compiled.
#include "color_name.hpp"

#include <algorithm>
#include <array>
#include <cstddef>
#include <string_view>
#include <utility>

#include "counters.hpp"
#include "frame/ascii.hpp"
#include "frame/attributes.hpp"
#include "frame/module.hpp"
#include "names.hpp"
#include "sequence.hpp"
#include "tables.hpp"

namespace colors {

namespace {

namespace n = names;
using frame::Globals;
using frame::Ref;

// ---- the general route ----

// color.lower().replace("-", "_").replace(" ", "_"); an exact ASCII str is done in one pass. Like
// lower(), it gives a new str even when nothing changes: the tables never see the caller's object.
Ref normalise(PyObject* color) noexcept {
    if (PyUnicode_CheckExact(color) && PyUnicode_IS_ASCII(color)) {
        return frame::map_ascii(color, tables::fold, frame::Unchanged::new_object);
    }
    const auto replace = [](const Ref& text, const frame::Str& old) {
        return text ? Ref::steal(PyObject_CallMethodObjArgs(text.get(), n::replace.get(), old.get(),
                                                            n::underscore.get(), nullptr))
                    : Ref();
    };
    return replace(replace(Ref::steal(PyObject_CallMethodNoArgs(color, n::lower.get())), n::dash), n::space);
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
TINTWELL_COLD void raise_unknown_name(Globals globals, PyObject* color) noexcept {
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
        counters::name_one_lookup.count();
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

// `left op right` for a code and one of the shift's numbers.
int compare(PyObject* left, long right, int op) noexcept {
    Ref number = Ref::steal(PyLong_FromLong(right));
    return number ? PyObject_RichCompareBool(left, number.get(), op) : -1;
}

// The code for a background by the shift's rule; a code that is not an exact int of C size is
// compared as Python compares it (code < 40, then 90 <= code, then code <= 97) and shifted by +.
Ref background_code(Ref code) noexcept {
    if (PyLong_CheckExact(code.get())) {
        int overflow = 0;
        const long long value = PyLong_AsLongLongAndOverflow(code.get(), &overflow);
        if (overflow == 0) {
            const long long shifted = tables::background(value);
            return shifted == value ? std::move(code) : Ref::steal(PyLong_FromLongLong(shifted));
        }
    }
    const int below = compare(code.get(), tables::kBelowShifts, Py_LT);
    if (below < 0) {
        return {};
    }
    if (!below) {
        Ref first = Ref::steal(PyLong_FromLong(tables::kBrightFirst));
        const int bright = first ? PyObject_RichCompareBool(first.get(), code.get(), Py_LE) : -1;
        const int in_range = bright > 0 ? compare(code.get(), tables::kBrightLast, Py_LE) : bright;
        if (in_range <= 0) {
            return in_range < 0 ? Ref() : std::move(code);
        }
    }
    Ref shift = Ref::steal(PyLong_FromLong(tables::kShift));
    return shift ? Ref::steal(PyNumber_Add(code.get(), shift.get())) : Ref();
}

// The general route: the name normalised, its alias resolved, its code looked up and shifted.
TINTWELL_NOINLINE PyObject* looked_up(Globals globals, PyObject* color, bool foreground) noexcept {
    Ref name = normalise(color);
    Ref resolved = name ? resolve_alias(globals, name.get()) : Ref();
    Ref code = resolved ? lookup_code(globals, resolved.get(), color) : Ref();
    if (code && !foreground) {
        code = background_code(std::move(code));
    }
    if (!code) {
        return nullptr;
    }
    const sequence::Introducer esc(globals, false);
    sequence::Shown shown;
    if (!esc || !shown.render(code.get())) {
        return nullptr;
    }
    return sequence::named(esc.get(), shown);
}

}  // namespace

PyObject* name_sequence(Globals globals, Untouched now, PyObject* color, bool foreground) noexcept {
    // While both tables are as built, looking up an exact ASCII str runs no code and answers as the
    // index does; a name they do not hold goes the long way round, to the error that lists the keys.
    if (now.tables && PyUnicode_CheckExact(color) && PyUnicode_IS_ASCII(color)) {
        const int code = tables::find_code(PyUnicode_1BYTE_DATA(color),
                                           static_cast<std::size_t>(PyUnicode_GET_LENGTH(color)), foreground);
        if (code >= 0) {
            counters::name_index.count();
            const sequence::Introducer esc(globals, now.esc);
            return esc ? sequence::named(esc.get(), static_cast<unsigned>(code)) : nullptr;
        }
    }
    return looked_up(globals, color, foreground);
}

// ---- the tables as built ----

namespace {

std::string_view ascii_text(PyObject* text) noexcept {
    return {static_cast<const char*>(PyUnicode_DATA(text)), static_cast<std::size_t>(PyUnicode_GET_LENGTH(text))};
}

bool plain_ascii(PyObject* obj) noexcept { return PyUnicode_CheckExact(obj) && PyUnicode_IS_ASCII(obj); }

// An entry's value as its dict holds it: an exact int code, or an exact ASCII str target.
bool same_value(const tables::NamedColor& entry, PyObject* value) noexcept {
    int overflow = 0;
    return PyLong_CheckExact(value) && PyLong_AsLongAndOverflow(value, &overflow) == entry.code && overflow == 0;
}

bool same_value(const tables::Alias& entry, PyObject* value) noexcept {
    return plain_ascii(value) && ascii_text(value) == entry.target;
}

// Whether `table` holds as many entries as `entries`, each key an exact ASCII str naming one of them
// with the same value: as its keys are distinct, the very entries.
template <typename Entry, std::size_t N>
bool holds_as_built(PyObject* table, const Entry (&entries)[N]) noexcept {
    if (PyDict_GET_SIZE(table) != static_cast<Py_ssize_t>(N)) {
        return false;
    }
    Py_ssize_t pos = 0;
    PyObject* key = nullptr;
    PyObject* value = nullptr;
    while (PyDict_Next(table, &pos, &key, &value)) {
        const auto named = [&](const Entry& entry) { return entry.name == ascii_text(key); };
        const Entry* entry = plain_ascii(key) ? std::find_if(entries, entries + N, named) : entries + N;
        if (entry == entries + N || !same_value(*entry, value)) {
            return false;
        }
    }
    return true;
}

// The constants of a table (its keys and values), made from its compile-time description.
template <typename Value>
struct Constants {
    frame::Str key;
    Value value;
};

constexpr frame::Int pool_value(const tables::NamedColor& entry) noexcept { return frame::Int{entry.code}; }
constexpr frame::Str pool_value(const tables::Alias& entry) noexcept { return frame::Str{entry.target.data()}; }

template <const auto& entries, std::size_t... I>
constexpr auto table_constants(std::index_sequence<I...>) noexcept {
    using Value = decltype(pool_value(entries[0]));
    return std::array<Constants<Value>, sizeof...(I)>{
        {{frame::Str{entries[I].name.data()}, pool_value(entries[I])}...}};
}

constinit auto named_colors =
    table_constants<tables::named_colors>(std::make_index_sequence<std::size(tables::named_colors)>());
constinit auto color_aliases =
    table_constants<tables::color_aliases>(std::make_index_sequence<std::size(tables::color_aliases)>());

// Both tables' constants in table order, each key before its value.
template <auto&... tables>
constexpr auto pooled() noexcept {
    std::array<frame::PoolEntry*, 2 * (std::size(tables) + ...)> pool{};
    std::size_t at = 0;
    const auto add = [&](auto& table) {
        for (auto& entry : table) {
            pool[at++] = &entry.key;
            pool[at++] = &entry.value;
        }
    };
    (add(tables), ...);
    return pool;
}

constinit const auto table_entries = pooled<named_colors, color_aliases>();

// NAME = {key: value, ...} in table order; the new dict is remembered as the original.
template <typename Entries>
int bind_table(const frame::Str& name, Entries& entries, frame::Original& original) noexcept {
    Ref table = Ref::steal(PyDict_New());
    if (!table) {
        return -1;
    }
    for (auto& entry : entries) {
        if (PyDict_SetItem(table.get(), entry.key.get(), entry.value.get()) < 0) {
            return -1;
        }
    }
    if (frame::bind_global(name, table.get()) < 0) {
        return -1;
    }
    original.set(std::move(table));
    return 0;
}

}  // namespace

constinit const frame::Pool table_pool{table_entries};

bool tables_as_built(PyObject* named, PyObject* aliases) noexcept {
    return holds_as_built(named, tables::named_colors) && holds_as_built(aliases, tables::color_aliases);
}

int bind_tables() noexcept {
    return bind_table(n::NAMED_COLORS, named_colors, originals.named_colors) < 0
               ? -1
               : bind_table(n::COLOR_ALIASES, color_aliases, originals.color_aliases);
}

}  // namespace colors
