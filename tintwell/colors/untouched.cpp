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

// A table the module-level code made, bound under its name, watched and holding what it was given.
bool table_untouched(PyObject* dict, const frame::Str& name, const frame::Original& original,
                     bool (*as_built)(PyObject*)) noexcept {
    PyObject* table = bound_in(dict, name);
    return original.is(table) && frame::lookups_rememberable(table) && as_built(table);
}

}  // namespace

Untouched untouched_now(frame::Globals globals) noexcept {
    PyObject* dict = globals.dict();
    // Only a watched namespace of exact-str keys can be known between changes.
    if (dict == nullptr || !frame::lookups_rememberable(dict)) {
        return {};
    }
    Untouched state;
    state.esc = bound_in(dict, names::ESC) == names::esc_value.get();
    state.tables = table_untouched(dict, names::NAMED_COLORS, originals.named_colors, named_colors_as_built) &&
                   table_untouched(dict, names::COLOR_ALIASES, originals.color_aliases, color_aliases_as_built);
    // Read after the watches above: starting one may have moved the generation.
    detail::known = {dict, frame::dict_generation, state};
    return state;
}

}  // namespace colors
