// The colors module: its definition and the module-level code run once by exec.
#include "frame/module.hpp"

#include <string_view>
#include <utility>

#include "color_name.hpp"
#include "counters.hpp"
#include "frame/imports.hpp"
#include "frame/lookup.hpp"
#include "functions.hpp"
#include "names.hpp"

namespace colors {

constinit Originals originals;

namespace {

namespace n = names;
using frame::Ref;

// RESET_FG / RESET_BG: format(ESC, "") followed by the suffix.
int bind_reset(const frame::Str& name, const frame::Str& suffix) noexcept {
    Ref esc = frame::lookup_global(frame::module_globals(), n::ESC);
    if (!esc) {
        return -1;
    }
    Ref text = Ref::steal(PyObject_Format(esc.get(), n::empty.get()));
    if (!text) {
        return -1;
    }
    Ref value = Ref::steal(PyUnicode_Concat(text.get(), suffix.get()));
    if (!value) {
        return -1;
    }
    return frame::bind_global(name, value.get());
}

// Whether `compiled` is what re.compile(pattern) gives in an untouched `re`: a pattern object of
// exactly `pattern` with only the default re.UNICODE flag, whose match() the direct route in
// parse_hex reproduces. A `re` or `re.compile` replaced before import may return anything.
int is_plain_pattern(PyObject* compiled, const frame::Str& pattern) noexcept {
    constexpr long kUnicodeFlag = 32;  // re.UNICODE, implied for str patterns
    PyTypeObject* type = Py_TYPE(compiled);
    // Classes defined in Python are never immutable, so this cannot be a look-alike.
    if (std::string_view(type->tp_name) != "re.Pattern" || !PyType_HasFeature(type, Py_TPFLAGS_IMMUTABLETYPE)) {
        return 0;
    }
    Ref source = Ref::steal(PyObject_GetAttr(compiled, n::pattern.get()));
    Ref flags = source ? Ref::steal(PyObject_GetAttr(compiled, n::flags.get())) : Ref();
    if (!flags) {
        return -1;
    }
    if (!PyUnicode_CheckExact(source.get()) || PyUnicode_Compare(source.get(), pattern.get()) != 0 ||
        !PyLong_CheckExact(flags.get())) {
        return 0;
    }
    int overflow = 0;
    return PyLong_AsLongAndOverflow(flags.get(), &overflow) == kUnicodeFlag && overflow == 0;
}

// NAME = re.compile(pattern); remembers the pattern object for the direct matching route when it
// is a plain one.
int bind_pattern(const frame::Str& name, const frame::Str& pattern, frame::Original& original) noexcept {
    Ref re = frame::lookup_global(frame::module_globals(), n::re);
    if (!re) {
        return -1;
    }
    Ref compile = Ref::steal(PyObject_GetAttr(re.get(), n::compile.get()));
    if (!compile) {
        return -1;
    }
    Ref compiled = Ref::steal(PyObject_CallOneArg(compile.get(), pattern.get()));
    if (!compiled || frame::bind_global(name, compiled.get()) < 0) {
        return -1;
    }
    const int plain = is_plain_pattern(compiled.get(), pattern);
    if (plain < 0) {
        return -1;
    }
    if (plain) {
        original.set(std::move(compiled));
    } else {
        original.clear();
    }
    return 0;
}

}  // namespace

int bind_cached_builtins() noexcept {
    PyObject* round = nullptr;
    if (PyDict_GetItemRef(frame::state.builtins_dict, n::round.get(), &round) < 0) {
        return -1;
    }
    if (round == nullptr) {
        PyErr_Format(PyExc_NameError, "name '%U' is not defined", n::round.get());
        return -1;
    }
    // The interpreter's own round (not a replacement installed before import) may be computed in C.
    originals.round_is_builtin = frame::is_builtin_function(round, "round");
    originals.round.set(Ref::steal(round));
    if (!originals.foreground_kwnames) {
        originals.foreground_kwnames.set(Ref::steal(PyTuple_Pack(1, n::foreground.get())));
        if (!originals.foreground_kwnames) {
            return -1;
        }
    }
    return 0;
}

int run_module_code() noexcept {
    if (!frame::import_module(n::re) || frame::import_names(n::typing, {&n::Optional, &n::Tuple}) < 0) {
        return -1;
    }
    if (frame::bind_global(n::ESC, n::esc_value.get()) < 0 || bind_reset(n::RESET_FG, n::fg_reset_suffix) < 0 ||
        bind_reset(n::RESET_BG, n::bg_reset_suffix) < 0) {
        return -1;
    }
    if (bind_tables() < 0) {
        return -1;
    }
    if (bind_pattern(n::HEX_RE, n::hex_pattern, originals.hex_re) < 0 ||
        bind_pattern(n::SHORT_HEX_RE, n::short_hex_pattern, originals.short_hex_re) < 0) {
        return -1;
    }
    return frame::define_functions();
}

}  // namespace colors

namespace {

constexpr const frame::Pool* constants[] = {&colors::names::pool, &colors::table_pool};
// In the order of their `def` statements.
constexpr frame::FunctionDef* functions[] = {&colors::parse_hex_def,  &colors::rgb_to_ansi256_def,
                                             &colors::fg_code_def,    &colors::bg_code_def,
                                             &colors::color_code_def, &colors::validate_rgb_def};

}  // namespace

constinit const frame::ModuleInfo frame::module_info = {
    "colors",
    "ANSI 颜色码定义与转换工具。\n\n支持:\n- 4/8 色基本颜色 (标准 + 高亮)\n- 256 色扩展调色板\n- 24 位真 RGB 色彩\n",
    "tintwell.colors",
    "tintwell/colors",
    constants,
    functions,
    colors::bind_cached_builtins,
    colors::run_module_code,
    colors::counters::all,
};

PyMODINIT_FUNC PyInit_colors() { return frame::init_module(); }
