// The colors module: its definition and the module-level code run once by exec.
#include "frame/module.hpp"

#include <array>
#include <cstddef>
#include <initializer_list>
#include <string_view>
#include <utility>

#include "frame/imports.hpp"
#include "frame/lookup.hpp"
#include "functions.hpp"
#include "names.hpp"
#include "tables.hpp"

namespace colors {

Originals originals;

namespace {

namespace n = names;
using frame::Ref;

frame::Str parse_hex_doc{"将十六进制颜色字符串解析为 (R, G, B) 元组。\n\n    支持 #RGB 和 #RRGGBB 格式。\n    ",
                         frame::Str::Kind::text};
frame::Str rgb_to_ansi256_doc{"将 RGB 值近似映射到 256 色调色板索引。", frame::Str::Kind::text};
frame::Str fg_code_doc{
    "生成前景色 ANSI 转义序列。\n\n    参数:\n        color: 颜色名称 (如 'red')、十六进制字符串 (如 '#ff0000')、\n"
    "               256 色索引 (0-255)、或 RGB 元组 (r, g, b)。\n    ",
    frame::Str::Kind::text};
frame::Str bg_code_doc{"生成背景色 ANSI 转义序列。", frame::Str::Kind::text};
frame::Str color_code_doc{"统一的颜色码生成逻辑。", frame::Str::Kind::text};

// The pool entries of the two tables, made from their compile-time description.
struct NamedColorEntry {
    frame::Str name;
    frame::Int code;
};

struct AliasEntry {
    frame::Str alias;
    frame::Str target;
};

template <std::size_t... I>
std::array<NamedColorEntry, sizeof...(I)> named_color_entries(std::index_sequence<I...>) noexcept {
    return {{{frame::Str{tables::named_colors[I].name.data()}, frame::Int{tables::named_colors[I].code}}...}};
}

template <std::size_t... I>
std::array<AliasEntry, sizeof...(I)> alias_entries(std::index_sequence<I...>) noexcept {
    return {
        {{frame::Str{tables::color_aliases[I].alias.data()}, frame::Str{tables::color_aliases[I].target.data()}}...}};
}

std::array named_colors = named_color_entries(std::make_index_sequence<std::size(tables::named_colors)>());
std::array color_aliases = alias_entries(std::make_index_sequence<std::size(tables::color_aliases)>());

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

template <typename Entries, typename Fill>
int bind_table(const frame::Str& name, Entries& entries, Fill fill, frame::Original& original) noexcept {
    Ref table = Ref::steal(PyDict_New());
    if (!table) {
        return -1;
    }
    for (auto& entry : entries) {
        auto [key, value] = fill(entry);
        if (PyDict_SetItem(table.get(), key, value) < 0) {
            return -1;
        }
    }
    if (frame::bind_global(name, table.get()) < 0) {
        return -1;
    }
    original.set(std::move(table));
    return 0;
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

int define_functions() noexcept {
    using frame::FunctionDecl;
    const FunctionDecl decls[] = {
        {parse_hex_def, parse_hex_doc.get(), nullptr, {{&n::color, &n::ann_str}, {&n::return_, &n::ann_rgb}}},
        {rgb_to_ansi256_def,
         rgb_to_ansi256_doc.get(),
         nullptr,
         {{&n::r, &n::ann_int}, {&n::g, &n::ann_int}, {&n::b, &n::ann_int}, {&n::return_, &n::ann_int}}},
        {fg_code_def, fg_code_doc.get(), nullptr, {{&n::color, &n::ann_color}, {&n::return_, &n::ann_str}}},
        {bg_code_def, bg_code_doc.get(), nullptr, {{&n::color, &n::ann_color}, {&n::return_, &n::ann_str}}},
        {color_code_def,
         color_code_doc.get(),
         nullptr,
         {{&n::color, &n::ann_color}, {&n::foreground, &n::ann_bool}, {&n::return_, &n::ann_str}}},
        {validate_rgb_def,
         Py_None,
         nullptr,
         {{&n::r, &n::ann_int}, {&n::g, &n::ann_int}, {&n::b, &n::ann_int}, {&n::return_, &n::ann_none}}},
    };
    for (const FunctionDecl& decl : decls) {
        if (frame::define_function(decl) < 0) {
            return -1;
        }
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
    if (bind_table(
            n::NAMED_COLORS, named_colors,
            [](NamedColorEntry& entry) {
                return std::pair{entry.name.get(), entry.code.get()};
            },
            originals.named_colors) < 0 ||
        bind_table(
            n::COLOR_ALIASES, color_aliases,
            [](AliasEntry& entry) {
                return std::pair{entry.alias.get(), entry.target.get()};
            },
            originals.color_aliases) < 0) {
        return -1;
    }
    if (bind_pattern(n::HEX_RE, n::hex_pattern, originals.hex_re) < 0 ||
        bind_pattern(n::SHORT_HEX_RE, n::short_hex_pattern, originals.short_hex_re) < 0) {
        return -1;
    }
    return define_functions();
}

}  // namespace colors

const frame::ModuleInfo frame::module_info = {
    "colors",
    "ANSI 颜色码定义与转换工具。\n\n支持:\n- 4/8 色基本颜色 (标准 + 高亮)\n- 256 色扩展调色板\n- 24 位真 RGB 色彩\n",
    "tintwell.colors",
    "tintwell/colors",
    colors::bind_cached_builtins,
    colors::run_module_code,
};

PyMODINIT_FUNC PyInit_colors() { return frame::init_module(); }
