// detect_color_level: how much colour the terminal behind a stream shows, decided from the
// environment, the platform name and the stream's isatty() answer. Nothing is cached; every
// variable is read through os.environ.get at the moment the decision needs it.
#include <cstddef>
#include <initializer_list>
#include <string_view>

#include "frame/ascii.hpp"
#include "frame/lookup.hpp"
#include "functions.hpp"
#include "names.hpp"

namespace detect {

namespace {

namespace n = names;
using frame::Globals;
using frame::Ref;
using frame::Str;

// os.environ.get(key) or, with a fallback, os.environ.get(key, fallback).
Ref env_get(Globals globals, const Str& key, const Str* fallback = nullptr) noexcept {
    Ref os = frame::lookup_global(globals, n::os);
    if (!os) {
        return {};
    }
    Ref environ_ = frame::lookup_attribute(os.get(), n::environ_);
    if (!environ_) {
        return {};
    }
    PyObject* args[3] = {environ_.get(), key.get(), fallback ? fallback->get() : nullptr};
    return Ref::steal(PyObject_VectorcallMethod(n::get.get(), args, fallback ? 3 : 2, nullptr));
}

// Exact str values (what os.environ holds) are compared and lower-cased here directly: str's own
// methods cannot be replaced, so the outcome is the same as through the operators. Anything else
// goes through the generic protocol.
bool exact_text(PyObject* value) noexcept { return PyUnicode_CheckExact(value); }

// a == b for two exact str
bool same_text(PyObject* a, PyObject* b) noexcept {
    const Py_ssize_t length = PyUnicode_GET_LENGTH(a);
    if (length != PyUnicode_GET_LENGTH(b) || PyUnicode_KIND(a) != PyUnicode_KIND(b)) {
        return false;
    }
    // The values compared are a few bytes long: a plain loop beats a call into memcmp.
    const auto* left = static_cast<const unsigned char*>(PyUnicode_DATA(a));
    const auto* right = static_cast<const unsigned char*>(PyUnicode_DATA(b));
    const std::size_t size = static_cast<std::size_t>(length) * PyUnicode_KIND(a);
    for (std::size_t i = 0; i < size; ++i) {
        if (left[i] != right[i]) {
            return false;
        }
    }
    return true;
}

// value.lower()
Ref lower(Ref value) noexcept {
    if (!value) {
        return {};
    }
    if (exact_text(value.get()) && PyUnicode_IS_ASCII(value.get())) {
        return frame::map_ascii(value.get(), frame::ascii_lower);
    }
    return Ref::steal(PyObject_CallMethodNoArgs(value.get(), n::lower.get()));
}

// os.environ.get(key, "").lower()
Ref env_get_lower(Globals globals, const Str& key) noexcept { return lower(env_get(globals, key, &n::empty)); }

int env_truth(const Ref& value) noexcept {
    if (!value) {
        return -1;
    }
    return exact_text(value.get()) ? PyUnicode_GET_LENGTH(value.get()) != 0 : PyObject_IsTrue(value.get());
}

// value == constant
int env_equals(const Ref& value, const Str& constant) noexcept {
    if (!value) {
        return -1;
    }
    return exact_text(value.get()) ? same_text(value.get(), constant.get())
                                   : PyObject_RichCompareBool(value.get(), constant.get(), Py_EQ);
}

// value != ""
int env_non_empty(const Ref& value) noexcept {
    if (!value) {
        return -1;
    }
    return exact_text(value.get()) ? PyUnicode_GET_LENGTH(value.get()) != 0
                                   : PyObject_RichCompareBool(value.get(), n::empty.get(), Py_NE);
}

// `value in (a, b, ...)`: like a tuple's membership test, each constant is compared with the
// value in turn, the constant on the left.
int env_one_of(const Ref& value, std::initializer_list<const Str*> constants) noexcept {
    if (!value) {
        return -1;
    }
    for (const Str* constant : constants) {
        const int found = exact_text(value.get()) ? same_text(constant->get(), value.get())
                                                  : PyObject_RichCompareBool(constant->get(), value.get(), Py_EQ);
        if (found != 0) {
            return found;
        }
    }
    return 0;
}

// needle in value
int env_contains(const Ref& value, const Str& needle) noexcept {
    if (exact_text(value.get()) && PyUnicode_IS_ASCII(value.get())) {
        const std::string_view haystack(static_cast<const char*>(PyUnicode_DATA(value.get())),
                                        static_cast<std::size_t>(PyUnicode_GET_LENGTH(value.get())));
        return haystack.find(needle.utf8()) != std::string_view::npos;
    }
    if (exact_text(value.get())) {
        const Py_ssize_t at = PyUnicode_Find(value.get(), needle.get(), 0, PY_SSIZE_T_MAX, 1);
        return at == -2 ? -1 : at >= 0;
    }
    return PySequence_Contains(value.get(), needle.get());
}

// The outcome of one step: a member name, nothing decided yet, or an exception.
struct Step {
    const Str* member;
    bool failed;
};
constexpr Step undecided{nullptr, false};
constexpr Step failure{nullptr, true};
Step decided(const Str& member) noexcept { return {&member, false}; }

// Decides on `test` > 0, fails on `test` < 0.
Step decide_if(int test, const Str& member) noexcept { return test < 0 ? failure : test ? decided(member) : undecided; }

// NO_COLOR, then FORCE_COLOR.
Step explicit_request(Globals globals) noexcept {
    const int no_color = env_non_empty(env_get(globals, n::NO_COLOR, &n::empty));
    if (no_color != 0) {
        return decide_if(no_color, n::NONE);
    }
    Ref force = env_get(globals, n::FORCE_COLOR, &n::empty);
    const int forced = env_non_empty(force);
    if (forced <= 0) {
        return forced < 0 ? failure : undecided;
    }
    const int off = env_one_of(force, {&n::force_0, &n::force_false, &n::force_False});
    if (off != 0) {
        return decide_if(off, n::NONE);
    }
    const int basic = env_one_of(force, {&n::force_1, &n::force_true, &n::force_True});
    if (basic != 0) {
        return decide_if(basic, n::BASIC);
    }
    const int extended = env_equals(force, n::force_2);
    if (extended != 0) {
        return decide_if(extended, n::EXTENDED);
    }
    const int truecolor = env_equals(force, n::force_3);
    if (truecolor != 0) {
        return decide_if(truecolor, n::TRUECOLOR);
    }
    return decided(n::BASIC);
}

// is_ide = TERM_PROGRAM == "vscode" or VSCODE_PID or VSCODE_IPC_HOOK or PYCHARM_HOSTED; then the
// truth of is_ide, exactly as the short-circuit expression evaluates it.
Step ide_terminal(Globals globals) noexcept {
    Ref program = env_get(globals, n::TERM_PROGRAM);
    if (!program) {
        return failure;
    }
    Ref is_ide = Ref::steal(PyObject_RichCompare(program.get(), n::vscode.get(), Py_EQ));
    for (const Str* key : {&n::VSCODE_PID, &n::VSCODE_IPC_HOOK, &n::PYCHARM_HOSTED}) {
        const int found = env_truth(is_ide);
        if (found != 0) {
            if (found < 0) {
                return failure;
            }
            break;
        }
        is_ide = env_get(globals, *key);
    }
    return decide_if(env_truth(is_ide), n::TRUECOLOR);
}

// Whether `stream` (sys.stdout when None) is a terminal: `hasattr(stream, "isatty")`, then
// `stream.isatty()` -- two lookups, as those statements make them. Only an AttributeError of the
// first means "no isatty"; the value it finds is not what gets called.
int is_terminal(Globals globals, PyObject* stream) noexcept {
    Ref target = Ref::borrow(stream);
    if (stream == Py_None) {
        target = sys_attribute(globals, n::stdout_);
        if (!target) {
            return -1;
        }
    }
    PyObject* found_isatty = nullptr;
    const int found = PyObject_GetOptionalAttr(target.get(), n::isatty.get(), &found_isatty);
    Py_XDECREF(found_isatty);
    if (found <= 0) {
        return found;
    }
    return env_truth(Ref::steal(PyObject_CallMethodNoArgs(target.get(), n::isatty.get())));
}

// A terminal on win32: Windows Terminal and ConEmu show 24-bit colour, anything else the basic
// colours. A console relying on ANSICON's emulation is not promised more than that either.
Step windows_terminal(Globals globals) noexcept {
    const int windows_terminal = env_truth(env_get(globals, n::WT_SESSION));
    if (windows_terminal != 0) {
        return decide_if(windows_terminal, n::TRUECOLOR);
    }
    const int conemu = env_equals(env_get(globals, n::ConEmuANSI), n::on);
    if (conemu != 0) {
        return decide_if(conemu, n::TRUECOLOR);
    }
    return env_truth(env_get(globals, n::ANSICON)) < 0 ? failure : decided(n::BASIC);
}

// COLORTERM, then TERM, both lower-cased.
Step terminal_variables(Globals globals) noexcept {
    const int truecolor = env_one_of(env_get_lower(globals, n::COLORTERM), {&n::truecolor, &n::bit24});
    if (truecolor != 0) {
        return decide_if(truecolor, n::TRUECOLOR);
    }
    Ref term = env_get_lower(globals, n::TERM);
    const int dumb = env_equals(term, n::dumb);
    if (dumb != 0) {
        return decide_if(dumb, n::NONE);
    }
    const int extended = env_contains(term, n::color256);
    if (extended != 0) {
        return decide_if(extended, n::EXTENDED);
    }
    const int basic = env_truth(term);
    if (basic != 0) {
        return decide_if(basic, n::BASIC);
    }
    return decided(n::NONE);
}

Step decide(Globals globals, PyObject* stream) noexcept {
    Step step = explicit_request(globals);
    if (step.member != nullptr || step.failed) {
        return step;
    }
    const int windows = compare_platform(globals, Py_EQ);
    if (windows < 0) {
        return failure;
    }
    if (windows) {
        step = ide_terminal(globals);
        if (step.member != nullptr || step.failed) {
            return step;
        }
    }
    const int terminal = is_terminal(globals, stream);
    if (terminal <= 0) {
        return terminal < 0 ? failure : decided(n::NONE);
    }
    const int still_windows = compare_platform(globals, Py_EQ);
    if (still_windows < 0) {
        return failure;
    }
    return still_windows ? windows_terminal(globals) : terminal_variables(globals);
}

PyObject* detect_color_level_body(Globals globals, PyObject* const* args) noexcept {
    const Step step = decide(globals, args[0]);
    return step.member ? color_level_member(globals, *step.member).release() : nullptr;
}

constexpr frame::Param stream_params[] = {
    {n::stream, frame::Coerce::none, frame::ParamKind::positional_or_keyword, nullptr, true}};

}  // namespace

// def detect_color_level(stream=None) -> "ColorLevel"
constinit frame::FunctionDef detect_color_level_def{
    n::detect_color_level,
    "detect_color_level",
    stream_params,
    detect_color_level_body,
    "检测终端的色彩支持级别。\n\n"
    "    检测逻辑:\n"
    "    1. 环境变量 NO_COLOR / FORCE_COLOR 优先\n"
    "    2. IDE 终端检测（VS Code / PyCharm Terminal，通过控制台句柄验证）\n"
    "    3. 非 TTY → NONE\n"
    "    4. Windows Terminal / ConEmu / ANSICON → TRUECOLOR\n"
    "    5. COLORTERM=truecolor/24bit → TRUECOLOR\n"
    "    6. TERM 包含 256color → EXTENDED\n"
    "    7. 其他有效 TERM → BASIC\n    ",
    &n::ColorLevel};

}  // namespace detect
