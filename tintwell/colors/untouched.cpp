#include "untouched.hpp"

#include <string_view>

#include "frame/dict_watch.hpp"
#include "functions.hpp"
#include "names.hpp"
#include "tables.hpp"

namespace colors {

namespace detail {
Known known;
}

namespace {

std::string_view ascii_text(PyObject* text) noexcept {
    return {static_cast<const char*>(PyUnicode_DATA(text)), static_cast<std::size_t>(PyUnicode_GET_LENGTH(text))};
}

bool plain_ascii(PyObject* obj) noexcept { return PyUnicode_CheckExact(obj) && PyUnicode_IS_ASCII(obj); }

// Whether `table` holds as many entries as `entries` and each of its keys is an exact ASCII str
// that `matches` (key, value) of one of them: as its keys are distinct, the same entries.
template <typename Entries, typename Matches>
bool holds_as_built(PyObject* table, const Entries& entries, Matches matches) noexcept {
    if (PyDict_GET_SIZE(table) != static_cast<Py_ssize_t>(std::size(entries))) {
        return false;
    }
    Py_ssize_t pos = 0;
    PyObject* key = nullptr;
    PyObject* value = nullptr;
    while (PyDict_Next(table, &pos, &key, &value)) {
        if (!plain_ascii(key) || !matches(ascii_text(key), value)) {
            return false;
        }
    }
    return true;
}

// NAMED_COLORS: each name with its code, an exact int.
bool named_colors_as_built(PyObject* table) noexcept {
    return holds_as_built(table, tables::named_colors, [](std::string_view name, PyObject* value) {
        const int code = tables::code_of(name);  // -1 for a name it never held
        int overflow = 0;
        return code >= 0 && PyLong_CheckExact(value) && PyLong_AsLongAndOverflow(value, &overflow) == code &&
               overflow == 0;
    });
}

// COLOR_ALIASES: each alias with its target, an exact ASCII str.
bool color_aliases_as_built(PyObject* table) noexcept {
    return holds_as_built(table, tables::color_aliases, [](std::string_view alias, PyObject* value) {
        if (!plain_ascii(value)) {
            return false;
        }
        for (const tables::Alias& entry : tables::color_aliases) {
            if (entry.alias == alias) {
                return entry.target == ascii_text(value);
            }
        }
        return false;
    });
}

// The value of a global in the namespace itself (not builtins), borrowed: the namespace's keys are
// all exact str, so the lookup runs no code and nothing can run before the caller compares it.
PyObject* bound_in(PyObject* dict, const frame::Str& name) noexcept {
    PyObject* value = nullptr;
    const int found = PyDict_GetItemRef(dict, name.get(), &value);
    if (found < 0) {
        PyErr_Clear();  // cannot happen with such keys; then it is simply not what was bound
    }
    Py_XDECREF(value);  // the namespace holds it
    return value;
}

}  // namespace

Untouched untouched_now(frame::Globals globals) noexcept {
    PyObject* dict = globals.dict();
    // Held: asking about lookups may run finalisers, which could even import the module afresh.
    const frame::Ref named_table = frame::Ref::borrow(originals.named_colors.get());
    const frame::Ref aliases_table = frame::Ref::borrow(originals.color_aliases.get());
    PyObject* named = named_table.get();
    PyObject* aliases = aliases_table.get();
    // Only a namespace of exact-str keys, watched and not changing, can be known between changes.
    // Every dict is asked before the stamp is taken: starting a watch moves the generation.
    if (dict == nullptr || named == nullptr || aliases == nullptr || !frame::lookups_rememberable(dict)) {
        return {};
    }
    const bool tables_rememberable = frame::lookups_rememberable(named) && frame::lookups_rememberable(aliases);
    const unsigned long long stamp = frame::dict_generation;
    Untouched state;
    state.esc = bound_in(dict, names::ESC) == names::esc_value.get();
    const bool tables_bound =
        bound_in(dict, names::NAMED_COLORS) == named && bound_in(dict, names::COLOR_ALIASES) == aliases;
    state.tables =
        tables_bound && tables_rememberable && named_colors_as_built(named) && color_aliases_as_built(aliases);
    // What was read from the tables is remembered only while they may be remembered from: not while
    // one of them is changing (nor while one holds odd keys, which leaves it touched anyway).
    if (!tables_bound || tables_rememberable) {
        detail::known = {dict, stamp, state};
    }
    return state;
}

}  // namespace colors
