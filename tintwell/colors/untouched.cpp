#include "untouched.hpp"

#include "color_name.hpp"
#include "frame/dict_watch.hpp"
#include "frame/own.hpp"
#include "functions.hpp"
#include "names.hpp"

namespace colors {

namespace detail {
constinit Known known;
}

namespace {

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

// Whether the global `name` is the module's own function of `def`, reading its globals from `dict`.
bool own_in(PyObject* dict, const frame::Str& name, const frame::FunctionDef& def) noexcept {
    PyObject* value = bound_in(dict, name);
    const frame::FunctionObject* own = value != nullptr ? frame::own_function(value, def) : nullptr;
    return own != nullptr && frame::globals_of(own).dict() == dict;
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
    state.tables = tables_bound && tables_rememberable && tables_as_built(named, aliases);
    state.color_code = own_in(dict, names::color_code, color_code_def);
    state.parse_hex = own_in(dict, names::parse_hex, parse_hex_def) &&
                      originals.hex_re.is(bound_in(dict, names::HEX_RE)) &&
                      originals.short_hex_re.is(bound_in(dict, names::SHORT_HEX_RE));
    state.validate_rgb = own_in(dict, names::validate_rgb, validate_rgb_def);
    // What was read from the tables is remembered only while they may be remembered from: not while
    // one of them is changing (nor while one holds odd keys, which leaves it touched anyway).
    if (!tables_bound || tables_rememberable) {
        detail::known = {dict, stamp, state};
    }
    return state;
}

}  // namespace colors
