#include "painter.hpp"

#include <cstddef>
#include <initializer_list>
#include <utility>

#include "arguments.hpp"
#include "cache.hpp"
#include "colours.hpp"
#include "frame/attributes.hpp"
#include "sgr.hpp"
#include "state.hpp"
#include "style.hpp"
#include "sys_watch.hpp"

namespace paint {

namespace {

using frame::Ref;

struct PainterObject {
    PyObject_HEAD
    int level;               // 0-3, as level_member
    PyObject* level_member;  // the ColorLevel member
    // A painter made with neither a stream nor a level follows sys.stdout: `stream` is the sys.stdout
    // its level was detected for (owned; null where sys had none), and a call that finds another there
    // detects again. While that detection runs, calls it makes paint at the level as it was.
    // `stamp` is the epoch of sys's namespace under which sys.stdout was last found to be `stream`
    // (0: not known), so that calls made while it stays need no lookup (sys_watch.hpp).
    bool follows;
    bool detecting;
    PyObject* stream;
    unsigned long long stamp;
    SequenceCache foreground;
    SequenceCache background;
};

PainterObject* as_painter(PyObject* self) noexcept { return reinterpret_cast<PainterObject*>(self); }

int follow(PainterObject* painter, PyObject* current) noexcept;

// Whether sys.stdout is the stream `painter` detected for: known while nothing in sys's namespace
// that could change it has changed, else looked up. False with an exception set, or with `current`
// set to what sys.stdout is now (borrowed; null where sys has none).
bool still_following(PainterObject* painter, PyObject*& current) noexcept {
    if (stdout_unchanged_since(painter->stamp)) {
        return true;
    }
    const unsigned long long stamp = stamp_for_lookup();  // may run code: before the lookup
    current = current_stdout();
    if (current != painter->stream || (current == nullptr && PyErr_Occurred())) {
        return false;
    }
    painter->stamp = stamp;
    return true;
}

// The level every call paints at. A painter that follows sys.stdout first checks that sys.stdout is
// still the stream it detected for, and detects again when it is not.
int painter_level(PainterObject* painter) noexcept {
    PyObject* current = nullptr;
    if (painter->follows && !painter->detecting && !still_following(painter, current)) {
        return follow(painter, current);
    }
    return painter->level;
}

// ---- the level ----

// `value` (a ColorLevel or an int 0-3) as the ColorLevel member; -1 with an exception set otherwise.
int level_of(PyObject* value, int& level, Ref& member) noexcept {
    if (!PyLong_Check(value)) {
        PyErr_Format(PyExc_TypeError, "level must be a ColorLevel or an int 0-3, not %.200s", Py_TYPE(value)->tp_name);
        return -1;
    }
    int overflow = 0;
    const long number = PyLong_AsLongAndOverflow(value, &overflow);
    if (number == -1 && PyErr_Occurred()) {
        return -1;
    }
    if (overflow != 0 || number < kNone || number > kTrueColor) {
        PyErr_Format(PyExc_ValueError, "level must be 0-3 (NONE, BASIC, EXTENDED or TRUECOLOR), got %R", value);
        return -1;
    }
    Ref color_level = Ref::steal(PyObject_GetAttr(state.detect.get(), names::ColorLevel));
    Ref number_object = color_level ? Ref::steal(PyLong_FromLong(number)) : Ref();
    member = number_object ? Ref::steal(PyObject_CallOneArg(color_level.get(), number_object.get())) : Ref();
    level = static_cast<int>(number);
    return member ? 0 : -1;
}

bool on_windows() noexcept {
    PyObject* platform = PySys_GetObject("platform");  // borrowed, compared at once
    return platform != nullptr && PyUnicode_Check(platform) && PyUnicode_EqualToUTF8(platform, "win32");
}

// Whether `stream` stands for the process's own output: no stream (sys.stdout), or one of its streams.
bool is_standard_stream(PyObject* stream) noexcept {
    if (stream == Py_None) {
        return true;
    }
    for (const char* name : {"stdout", "stderr", "__stdout__", "__stderr__"}) {
        if (stream == PySys_GetObject(name)) {  // borrowed, compared at once
            return true;
        }
    }
    return false;
}

// The level detected for `stream` (None: sys.stdout) by tintwell.detect. On Windows the console of the
// process's own streams is first switched into virtual-terminal mode, without which it shows no colour.
int detect_level(PyObject* stream, int& level, Ref& member) noexcept {
    if (on_windows() && is_standard_stream(stream)) {
        Ref enable = Ref::steal(PyObject_GetAttr(state.detect.get(), names::enable_windows_vt));
        if (!enable || !Ref::steal(PyObject_CallNoArgs(enable.get()))) {
            return -1;
        }
    }
    Ref detect = Ref::steal(PyObject_GetAttr(state.detect.get(), names::detect_color_level));
    Ref detected = detect ? Ref::steal(PyObject_CallOneArg(detect.get(), stream)) : Ref();
    return detected ? level_of(detected.get(), level, member) : -1;
}

// Stores the level detected for `stream` (a painter's first level, when it has none yet). A changed level
// empties the caches, whose sequences were made for the old one; what is replaced is released last.
int settle(PainterObject* painter, Ref stream, int level, Ref member) noexcept {
    if (painter->level >= 0 && level != painter->level &&
        (cache_clear(painter->foreground) < 0 || cache_clear(painter->background) < 0)) {
        return -1;
    }
    PyObject* old_stream = painter->stream;
    PyObject* old_member = painter->level_member;
    painter->stream = stream.release();
    painter->level_member = member.release();
    painter->level = level;
    Py_XDECREF(old_member);
    Py_XDECREF(old_stream);
    return level;
}

// Detects the level of sys.stdout, now `current` (borrowed; null where sys has none), for a painter
// that follows it. Detection runs Python code (isatty, the environment's lookups), which may rebind
// sys.stdout or paint with this painter: the stream is held, and nested calls keep the old level.
TINTWELL_COLD int follow(PainterObject* painter, PyObject* current) noexcept {
    if (current == nullptr && PyErr_Occurred()) {
        return -1;
    }
    Ref stream = Ref::borrow(current);
    int level = kNone;
    Ref member;
    painter->detecting = true;
    // Without a sys.stdout, detection's own reading of it raises its error.
    const int status = detect_level(current != nullptr ? current : Py_None, level, member);
    painter->detecting = false;
    return status < 0 ? -1 : settle(painter, std::move(stream), level, std::move(member));
}

// ---- construction ----

const Signature painter_signature{"Painter", {&names::stream, &names::level}, 2, 1, 0};

PyObject* painter_vectorcall(PyObject* type, PyObject* const* args, std::size_t nargsf, PyObject* kwnames) noexcept {
    PyObject* values[2];
    if (bind(painter_signature, args, PyVectorcall_NARGS(nargsf), kwnames, values) < 0) {
        return nullptr;
    }
    PyObject* stream = values[0] != nullptr ? values[0] : Py_None;
    const bool given = values[1] != nullptr && values[1] != Py_None;
    auto* painter_type = reinterpret_cast<PyTypeObject*>(type);
    Ref self = Ref::steal(painter_type->tp_alloc(painter_type, 0));
    if (!self) {
        return nullptr;
    }
    PainterObject* painter = as_painter(self.get());
    painter->level = -1;  // no level yet: settle() finds the empty caches to clear
    if (cache_init(painter->foreground) < 0 || cache_init(painter->background) < 0) {
        return nullptr;
    }
    if (!given && stream == Py_None) {
        painter->follows = true;
        return follow(painter, current_stdout()) < 0 ? nullptr : self.release();
    }
    int level = kNone;
    Ref member;
    const int status = given ? level_of(values[1], level, member) : detect_level(stream, level, member);
    return status < 0 || settle(painter, Ref(), level, std::move(member)) < 0 ? nullptr : self.release();
}

// Painter.__new__ for calls that do not go through vectorcall.
PyObject* painter_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) noexcept {
    return PyObject_VectorcallDict(reinterpret_cast<PyObject*>(type), PySequence_Fast_ITEMS(args),
                                   static_cast<std::size_t>(PyTuple_GET_SIZE(args)), kwargs);
}

int painter_traverse(PyObject* self, visitproc visit, void* arg) noexcept {
    Py_VISIT(Py_TYPE(self));
    Py_VISIT(as_painter(self)->level_member);
    Py_VISIT(as_painter(self)->stream);
    return 0;
}

int painter_clear(PyObject* self) noexcept {
    Py_CLEAR(as_painter(self)->level_member);
    Py_CLEAR(as_painter(self)->stream);
    return 0;
}

void painter_dealloc(PyObject* self) noexcept {
    PyTypeObject* type = Py_TYPE(self);
    PyObject_GC_UnTrack(self);
    painter_clear(self);
    cache_release(as_painter(self)->foreground);
    cache_release(as_painter(self)->background);
    type->tp_free(self);
    Py_DECREF(type);
}

// ---- sequences ----

// The sequence of `colour` for one layer at the painter's level, from the cache when it is kept there.
PyObject* sequence(PainterObject* painter, int level, PyObject* colour, bool foreground) noexcept {
    SequenceCache& cache = foreground ? painter->foreground : painter->background;
    if (PyObject* last = cache_last(cache, colour)) {
        return last;
    }
    Ref key;
    if (PyUnicode_Check(colour) && !PyUnicode_CheckExact(colour)) {
        // A str subclass (a StrEnum theme member) stands for its plain text, copied without __str__.
        key = Ref::steal(PyUnicode_FromObject(colour));
        if (!key) {
            return nullptr;
        }
        colour = key.get();
    }
    const bool keep = cacheable(colour);
    if (keep) {
        if (PyObject* kept = cache_find(cache, colour)) {
            return kept;
        }
    }
    Ref made = Ref::steal(make_sequence(level, colour, foreground));
    // Making it may have run Python code that painted with this painter: the cache is stored into as it
    // is now (it is part of the painter, never replaced), and only while it is still for this level.
    if (made && keep && painter->level == level && cache_store(cache, colour, made.get()) < 0) {
        return nullptr;
    }
    return made.release();
}

// The colour argument `value` as a style keeps it: None for none, a str subclass as its plain text.
PyObject* colour_as_given(PyObject* value) noexcept {
    if (value == nullptr) {
        return Py_NewRef(Py_None);
    }
    return PyUnicode_Check(value) ? PyUnicode_FromObject(value) : Py_NewRef(value);
}

// What paint() and style() share: the colours' sequences and the attributes, read from `values`
// (fg, bg, then the seven attributes) by read_attributes and read_colours.
struct Request {
    unsigned attributes = 0;
    unsigned parts = 0;  // what is written: nothing at NONE
    Ref foreground;
    Ref background;
};

constexpr PyObject* const* kAttributeNames[kAttributeCount] = {
    &names::bold, &names::dim, &names::italic, &names::underline, &names::blink, &names::reverse, &names::strike};

// The attribute flags of values[2 .. 8] into request.attributes.
int read_attributes(const char* function, PyObject* const* values, Request& request) noexcept {
    for (int i = 0; i < kAttributeCount; ++i) {
        if (values[2 + i] == nullptr) {
            continue;
        }
        const int on = attribute_flag(function, *kAttributeNames[i], values[2 + i]);
        if (on < 0) {
            return -1;
        }
        request.attributes |= on ? 1u << i : 0u;
    }
    return 0;
}

// The sequences of the colours values[0] and values[1], then what is written.
int read_colours(PainterObject* painter, PyObject* const* values, int level, Request& request) noexcept {
    if (values[0] != nullptr && values[0] != Py_None) {
        request.foreground = Ref::steal(sequence(painter, level, values[0], true));
        if (!request.foreground) {
            return -1;
        }
    }
    if (values[1] != nullptr && values[1] != Py_None) {
        request.background = Ref::steal(sequence(painter, level, values[1], false));
        if (!request.background) {
            return -1;
        }
    }
    if (level != kNone) {
        request.parts =
            request.attributes | (request.foreground ? kForeground : 0u) | (request.background ? kBackground : 0u);
    }
    return 0;
}

// ---- methods ----

const Signature fg_signature{"fg", {&names::color}, 1, 1, 1};
const Signature bg_signature{"bg", {&names::color}, 1, 1, 1};
const Signature paint_signature{"paint",
                                {&names::text, &names::fg, &names::bg, &names::bold, &names::dim, &names::italic,
                                 &names::underline, &names::blink, &names::reverse, &names::strike},
                                10,
                                3,
                                1};
const Signature style_signature{"style",
                                {&names::fg, &names::bg, &names::bold, &names::dim, &names::italic, &names::underline,
                                 &names::blink, &names::reverse, &names::strike},
                                9,
                                2,
                                0};

template <bool Foreground>
PyObject* layer_method(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    PyObject* colour;
    if (bind(Foreground ? fg_signature : bg_signature, args, nargs, kwnames, &colour) < 0) {
        return nullptr;
    }
    PainterObject* painter = as_painter(self);
    const int level = painter_level(painter);
    return level < 0 ? nullptr : sequence(painter, level, colour, Foreground);
}

TINTWELL_COLD PyObject* text_error(PyObject* text) noexcept {
    PyErr_Format(PyExc_TypeError, "paint() argument 'text' must be str, not %.200s", Py_TYPE(text)->tp_name);
    return nullptr;
}

// The usual call, paint(text, fg, bg) with the colours by position or as the keywords fg and bg, bound
// without the general binder: true when the call is of that shape (keyword names the very interned
// strings), with `values` filled as bind() fills them; anything else takes the general route.
bool bind_text_and_colours(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, PyObject** values) noexcept {
    if (nargs < 1 || nargs > 3) {
        return false;
    }
    for (int i = 0; i < 10; ++i) {
        values[i] = i < nargs ? args[i] : nullptr;
    }
    const Py_ssize_t keywords = kwnames != nullptr ? PyTuple_GET_SIZE(kwnames) : 0;
    for (Py_ssize_t k = 0; k < keywords; ++k) {
        PyObject* name = PyTuple_GET_ITEM(kwnames, k);
        const int parameter = name == names::fg ? 1 : name == names::bg ? 2 : 0;
        if (parameter == 0 || values[parameter] != nullptr) {
            return false;
        }
        values[parameter] = args[nargs + k];
    }
    return true;
}

PyObject* paint(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    PyObject* values[10];
    const bool colours_only = bind_text_and_colours(args, nargs, kwnames, values);
    if (!colours_only && bind(paint_signature, args, nargs, kwnames, values) < 0) {
        return nullptr;
    }
    PyObject* text = values[0];
    if (!PyUnicode_Check(text)) {
        return text_error(text);
    }
    PainterObject* painter = as_painter(self);
    const int level = painter_level(painter);
    Request request;
    if (level < 0 || (!colours_only && read_attributes("paint", values + 1, request) < 0) ||
        read_colours(painter, values + 1, level, request) < 0) {
        return nullptr;
    }
    if (request.parts == 0) {
        return Py_NewRef(text);
    }
    Piece before[3];
    int count = 0;
    if (const Sgr& attributes = attribute_sgr(request.parts); attributes.length > 0) {
        before[count++] = Piece{nullptr, attributes.text, attributes.length};
    }
    if (request.foreground) {
        before[count++] = Piece{request.foreground.get(), nullptr, 0};
    }
    if (request.background) {
        before[count++] = Piece{request.background.get(), nullptr, 0};
    }
    const Sgr& resets = reset_sgr(request.parts);
    const Piece after{nullptr, resets.text, resets.length};
    return surround(before, count, text, &after, 1,
                    Layers{request.parts, request.foreground.get(), request.background.get()});
}

// A style of the colours `values` (fg, bg: null or None for none) and the attributes at `level`, the
// painter's level now, whose member is `member`. `painter` is the painter a style follows, or null.
PyObject* make_style(PainterObject* painter, int level, PyObject* member, PyObject* const* values, Request& request,
                     PyObject* follows) noexcept {
    if (read_colours(painter, values, level, request) < 0) {
        return nullptr;
    }
    Ref fg = Ref::steal(colour_as_given(values[0]));
    Ref bg = fg ? Ref::steal(colour_as_given(values[1])) : Ref();
    if (!bg) {
        return nullptr;
    }
    const bool written = level != kNone;
    return style_new(member, level, fg.get(), bg.get(), written ? request.foreground.get() : nullptr,
                     written ? request.background.get() : nullptr, request.attributes, request.parts, follows);
}

// The level the painter paints at now, and its member in `member` (held: the colours' Python code may yet
// change the painter's); -1 with an exception set.
int level_and_member(PainterObject* painter, Ref& member) noexcept {
    const int level = painter_level(painter);
    member = Ref::borrow(painter->level_member);
    if (level >= 0 && !member) {  // only while the garbage collector takes a cycle apart
        PyErr_SetString(PyExc_ReferenceError, "the painter was cleared by the garbage collector");
        return -1;
    }
    return level;
}

PyObject* style(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    PyObject* values[9];
    if (bind(style_signature, args, nargs, kwnames, values) < 0) {
        return nullptr;
    }
    PainterObject* painter = as_painter(self);
    Ref member;
    const int level = level_and_member(painter, member);
    Request request;
    if (level < 0 || read_attributes("style", values, request) < 0) {
        return nullptr;
    }
    return make_style(painter, level, member.get(), values, request, painter->follows ? self : nullptr);
}

// Copies and pickles make a painter of the same level, Painter(level=...), or one that follows sys.stdout
// as this one does, Painter().
PyObject* getnewargs_ex(PyObject* self, PyObject*) noexcept {
    if (as_painter(self)->follows) {
        return Py_BuildValue("(){}");
    }
    PyObject* member = as_painter(self)->level_member;
    return Py_BuildValue("(){sO}", "level", member != nullptr ? member : Py_None);
}

// The ColorLevel member of the level the painter paints at now (None once the garbage collector cleared
// it); null with an exception set when detecting it failed.
PyObject* level_now(PyObject* self) noexcept {
    PainterObject* painter = as_painter(self);
    if (painter_level(painter) < 0) {
        return nullptr;
    }
    return Py_NewRef(painter->level_member != nullptr ? painter->level_member : Py_None);
}

PyObject* painter_repr(PyObject* self) noexcept {
    Ref member = Ref::steal(level_now(self));
    if (!member || member.get() == Py_None) {
        return member ? PyUnicode_FromString("Painter(...)") : nullptr;
    }
    Ref name = Ref::steal(PyObject_GetAttr(member.get(), names::name));
    if (!name) {
        return nullptr;
    }
    return as_painter(self)->follows
               ? PyUnicode_FromFormat("Painter(level=ColorLevel.%S, follows sys.stdout)", name.get())
               : PyUnicode_FromFormat("Painter(level=ColorLevel.%S)", name.get());
}

PyObject* get_level(PyObject* self, void*) noexcept { return level_now(self); }

PyObject* get_cache_size(PyObject* self, void*) noexcept {
    PainterObject* painter = as_painter(self);
    return PyLong_FromSsize_t(cache_size(painter->foreground) + cache_size(painter->background));
}

// A METH_FASTCALL | METH_KEYWORDS function as the table's PyCFunction; a macro, not a function, so
// that the table stays a constant the compiler lays out (a call would be run at load time).
#define TINTWELL_FASTCALL_METHOD(function) reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(function))

PyMethodDef painter_methods[] = {
    {"__getnewargs_ex__", getnewargs_ex, METH_NOARGS, nullptr},
    {"fg", TINTWELL_FASTCALL_METHOD(layer_method<true>), METH_FASTCALL | METH_KEYWORDS,
     "fg($self, color)\n--\n\nThe sequence that makes color the foreground colour at this painter's level."},
    {"bg", TINTWELL_FASTCALL_METHOD(layer_method<false>), METH_FASTCALL | METH_KEYWORDS,
     "bg($self, color)\n--\n\nThe sequence that makes color the background colour at this painter's level."},
    {"paint", TINTWELL_FASTCALL_METHOD(paint), METH_FASTCALL | METH_KEYWORDS,
     "paint($self, text, fg=None, bg=None, *, bold=False, dim=False, italic=False, underline=False, blink=False, "
     "reverse=False, strike=False)\n--\n\ntext in the given colours and attributes, followed by their resets."},
    {"style", TINTWELL_FASTCALL_METHOD(style), METH_FASTCALL | METH_KEYWORDS,
     "style($self, fg=None, bg=None, *, bold=False, dim=False, italic=False, underline=False, blink=False, "
     "reverse=False, strike=False)\n--\n\nA reusable Style of these colours and attributes at this painter's "
     "level."},
    {nullptr, nullptr, 0, nullptr},
};
#undef TINTWELL_FASTCALL_METHOD

PyGetSetDef painter_getset[] = {
    {"level", get_level, nullptr, "The colour level this painter paints for.", nullptr},
    {"_cache_size", get_cache_size, nullptr, "Sequences kept, both layers and generations.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot painter_slots[] = {
    {Py_tp_doc, const_cast<char*>("Painter(stream=None, *, level=None)\n--\n\nEscape sequences for one stream's "
                                  "terminal: each colour and attribute as well as it can show them.")},
    {Py_tp_new, reinterpret_cast<void*>(painter_new)},
    {Py_tp_vectorcall, reinterpret_cast<void*>(painter_vectorcall)},
    {Py_tp_dealloc, reinterpret_cast<void*>(painter_dealloc)},
    {Py_tp_traverse, reinterpret_cast<void*>(painter_traverse)},
    {Py_tp_clear, reinterpret_cast<void*>(painter_clear)},
    {Py_tp_repr, reinterpret_cast<void*>(painter_repr)},
    {Py_tp_methods, painter_methods},
    {Py_tp_getset, painter_getset},
    {0, nullptr},
};

}  // namespace

bool painter_still_at(PyObject* painter, int level) noexcept {
    PainterObject* self = as_painter(painter);
    if (self->detecting) {
        return self->level == level;
    }
    PyObject* current = nullptr;
    return still_following(self, current) && self->level == level;
}

int painter_level_now(PyObject* painter, Ref& member) noexcept { return level_and_member(as_painter(painter), member); }

PyObject* painter_style_at(PyObject* painter, int level, PyObject* member, PyObject* fg, PyObject* bg,
                           unsigned attributes) noexcept {
    PyObject* values[2] = {fg, bg};
    Request request;
    request.attributes = attributes;
    return make_style(as_painter(painter), level, member, values, request, nullptr);
}

PyType_Spec painter_spec = {
    "tintwell.style.Painter",
    sizeof(PainterObject),
    0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_HAVE_GC | Py_TPFLAGS_IMMUTABLETYPE,
    painter_slots,
};

}  // namespace paint
