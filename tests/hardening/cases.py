"""Calls of every module function on its success and error paths, with hostile arguments and hostile
module state. Each case knows its outcome: a result, or an exception with its traceback entries.

The catalogue is shared by test_hostile.py (each case once, outcome checked) and tools/leakcheck.py
(each case many times on the debug interpreter, reference counts and memory blocks watched)."""

import builtins
import collections
import contextlib
import dataclasses
import functools
import gc
import inspect
import math
import operator
import sys
import types
import warnings
from collections.abc import Callable

from tintwell import colors, detect

MISSING = object()
MODULE_FILES = ("tintwell/colors", "tintwell/detect")


# ---- outcomes ----


@dataclasses.dataclass(frozen=True)
class Returns:
    value: object


@dataclasses.dataclass(frozen=True)
class Raises:
    type: type
    message: str | None  # str(exc); None where the interpreter words it
    entries: tuple[str, ...] | None  # traceback entries added by the modules, outermost first (None: any)
    callback: str | None = None  # a Python function the exception passed through, below the entries
    notes: int | None = None  # how many notes the exception carries (None: any)


@dataclasses.dataclass(frozen=True)
class Case:
    id: str
    call: Callable[[], object]
    expect: Returns | Raises
    patch: Callable[[], contextlib.AbstractContextManager] = contextlib.nullcontext
    keep: tuple = ()  # (module, name) pairs that a callback may change mid-call, restored after each call


def run_once(case):
    """One call: the result, or raises. Names in case.keep are put back afterwards."""
    saved = [(vars(module), name, vars(module).get(name, MISSING)) for module, name in case.keep]
    try:
        return case.call()
    finally:
        for space, name, value in saved:
            if value is MISSING:
                space.pop(name, None)
            else:
                space[name] = value


def traceback_names(exc):
    """(function name, file name) of each traceback entry, outermost first."""
    names = []
    tb = exc.__traceback__
    while tb is not None:
        code = tb.tb_frame.f_code
        names.append((code.co_name, code.co_filename))
        tb = tb.tb_next
    return names


def problems(case, result=MISSING, exc=None):
    """What differs from the expected outcome; empty when the case behaved."""
    expect = case.expect
    if isinstance(expect, Returns):
        if exc is not None:
            return [f"raised {type(exc).__name__}: {exc}"]
        if type(result) is not type(expect.value) or result != expect.value:
            return [f"returned {result!r}, expected {expect.value!r}"]
        return []
    if exc is None:
        return [f"returned {result!r}, expected {expect.type.__name__}"]
    found = []
    if type(exc) is not expect.type:
        found.append(f"raised {type(exc).__name__}: {exc}, expected {expect.type.__name__}")
    if expect.message is not None and str(exc) != expect.message:
        found.append(f"message {str(exc)!r}, expected {expect.message!r}")
    names = traceback_names(exc)
    ours = [name for name, filename in names if filename in MODULE_FILES]
    if expect.entries is not None and ours != list(expect.entries):
        found.append(f"traceback entries {ours}, expected {list(expect.entries)}")
    if expect.notes is not None and len(getattr(exc, "__notes__", ())) != expect.notes:
        found.append(f"notes {getattr(exc, '__notes__', None)}, expected {expect.notes}")
    if expect.callback is not None:
        last_ours = max((i for i, (_, f) in enumerate(names) if f in MODULE_FILES), default=-1)
        if expect.callback not in [name for name, _ in names[last_ours + 1:]]:
            found.append(f"no entry for {expect.callback} below the module entries: {names}")
    return found


def check(case):
    """Runs the case once in its patch and returns its problems."""
    with case.patch():
        try:
            result = run_once(case)
        except BaseException as exc:  # noqa: B036 - KeyboardInterrupt is an expected outcome here
            return problems(case, exc=exc)
    return problems(case, result)


# ---- building cases ----

QUALIFIED = {name: "tintwell.colors." + name
             for name in ("parse_hex", "_validate_rgb", "rgb_to_ansi256", "fg_code", "bg_code", "_color_code")}
QUALIFIED.update({name: "tintwell.detect." + name for name in (
    "detect_color_level", "supports_color", "enable_windows_vt", "_has_windows_console",
    "enable_windows_vt._try_enable")})


def ok(value):
    return Returns(value)


def err(exc_type, message, *entries, callback=None):
    return Raises(exc_type, message, tuple(QUALIFIED[name] for name in entries), callback)


def ki(*entries, callback=None):
    """A KeyboardInterrupt from a hostile callback, passed through the entries."""
    return err(KeyboardInterrupt, "hostile", *entries, callback=callback)


def case(id, expect, fn, *args, patch=contextlib.nullcontext, keep=(), **kwargs):
    return Case(id, functools.partial(fn, *args, **kwargs), expect, patch, keep)


@contextlib.contextmanager
def rebound(module, **names):
    """Module attributes set (MISSING: deleted) for the duration, then put back."""
    space = vars(module)
    saved = {name: space.get(name, MISSING) for name in names}
    try:
        for name, value in names.items():
            if value is MISSING:
                space.pop(name, None)
            else:
                space[name] = value
        yield
    finally:
        for name, value in saved.items():
            if value is MISSING:
                space.pop(name, None)
            else:
                space[name] = value


@contextlib.contextmanager
def attributes(obj, **values):
    """Attributes of `obj` (a function, a module) set for the duration, then put back."""
    saved = {name: getattr(obj, name) for name in values}
    try:
        for name, value in values.items():
            setattr(obj, name, value)
        yield
    finally:
        for name, value in saved.items():
            setattr(obj, name, value)


def patched(module, **names):
    return lambda: rebound(module, **names)


def warnings_as_errors(fn, *args):
    def call():
        with warnings.catch_warnings():
            warnings.simplefilter("error")
            return fn(*args)
    return call


# ---- hostile objects ----


class Do:
    """A hostile method's action: call `fn` with the method's arguments and return what it returns."""

    def __init__(self, fn):
        self.fn = fn


def act(what, *args):
    """Raises a fresh `what` if it is an exception class, runs it if it is a Do, else returns it."""
    if isinstance(what, type) and issubclass(what, BaseException):
        raise what("hostile")
    if isinstance(what, Do):
        return what.fn(*args)
    return what


def meanwhile(effect, answer):
    """An action that first changes something (deletes a module attribute, say), then answers."""
    return Do(lambda *args: (effect(), answer(*args))[1])


def drop(module, name):
    return lambda: vars(module).pop(name, None)


class Acting:
    """A hostile object: its one special method does what `what` says (see act)."""

    def __init__(self, what):
        self.what = what


class Idx(Acting):
    """A number through __index__ only."""

    def __index__(self):
        return act(self.what)


class IntConv(Acting):
    """A number through __int__ only."""

    def __int__(self):
        return act(self.what)


class FloatConv(Acting):
    """A number through __float__ only: int() refuses it."""

    def __float__(self):
        return act(self.what)


class Truth(Acting):
    """An object whose truth test misbehaves."""

    def __bool__(self):
        return act(self.what)


class Fmt(Acting):
    """An object rendered through a misbehaving __format__."""

    def __format__(self, format_spec):
        return act(self.what, format_spec)


class Name(str):
    """A str subclass whose lower, replace, startswith, __hash__ and __eq__ do what `methods` say."""

    def __new__(cls, text, **methods):
        self = super().__new__(cls, text)
        self.methods = methods
        return self

    def lower(self):
        return act(self.methods["lower"], self) if "lower" in self.methods else str.lower(self)

    def replace(self, old, new, /, count=-1):
        if "replace" in self.methods:
            return act(self.methods["replace"], self, old, new)
        return str.replace(self, old, new, count)

    def startswith(self, prefix, *args):
        if "startswith" in self.methods:
            return act(self.methods["startswith"], self, prefix)
        return str.startswith(self, prefix, *args)

    def __hash__(self):
        return act(self.methods["hash"], self) if "hash" in self.methods else str.__hash__(self)

    def __eq__(self, other):
        return act(self.methods["eq"], self, other) if "eq" in self.methods else str.__eq__(self, other)


def itself(obj, *args):
    return obj


class Items(tuple):
    """A tuple subclass whose iteration is `iterate()` rather than its contents."""

    def __new__(cls, iterate, contents=(0, 0, 0)):
        self = super().__new__(cls, contents)
        self.iterate = iterate
        return self

    def __iter__(self):
        return self.iterate()


def yielding(*items, then=None):
    """An iteration of `items`, ending with a fresh `then` exception when one is given."""
    def iterate_items():
        yield from items
        if then is not None:
            raise then("hostile")
    return iterate_items


def endless():
    while True:
        yield 1


class Table:
    """A stand-in for NAMED_COLORS or COLOR_ALIASES: get, __contains__, __getitem__ and __iter__ do
    what `methods` say, or answer from `data`."""

    def __init__(self, data, **methods):
        self.data = data
        self.methods = methods

    def get(self, key, default=None):
        return act(self.methods["get"], key, default) if "get" in self.methods else self.data.get(key, default)

    def __contains__(self, key):
        return act(self.methods["contains"], key) if "contains" in self.methods else key in self.data

    def __getitem__(self, key):
        return act(self.methods["getitem"], key) if "getitem" in self.methods else self.data[key]

    def __iter__(self):
        return act(self.methods["iter"]) if "iter" in self.methods else iter(self.data)


class Colliding(str):
    """A table key that hashes like `text` but whose comparison does what `what` says."""

    def __new__(cls, text, what):
        self = super().__new__(cls, text + "?")
        self.twin = hash(text)
        self.what = what
        return self

    def __hash__(self):
        return self.twin

    def __eq__(self, other):
        return act(self.what, self, other)


class Bigger(int):
    """An int subclass whose comparisons with ints misbehave (reflected first, being a subclass)."""

    def __new__(cls, value, what):
        self = super().__new__(cls, value)
        self.what = what
        return self

    def __ge__(self, other):
        return act(self.what, self, other)

    __le__ = __lt__ = __gt__ = __ge__


class SelfishInt(int):
    """An int subclass whose __int__ (used to render it) does what `what` says."""

    def __new__(cls, value, what):
        self = super().__new__(cls, value)
        self.what = what
        return self

    def __int__(self):
        return act(self.what)


class OnceEqual(str):
    """A key equal to its own text at the first comparison only: a lookup that finds it once must
    miss it the next time."""

    def __new__(cls, text):
        self = super().__new__(cls, text)
        self.compared = False
        return self

    __hash__ = str.__hash__

    def __eq__(self, other):
        first, self.compared = not self.compared, True
        return first and str.__eq__(self, other)


def key_equal_once(space, name, call):
    """call() twice while the entry `name` of `space` (a namespace) sits under a OnceEqual key: the first
    call finds it, the second must not, as a lookup made at every call would not."""
    value = space.pop(name)
    key = OnceEqual(name)
    space[key] = value
    try:
        first = call()
        try:
            second = call()
        except (NameError, AttributeError) as exc:
            second = type(exc).__name__
        return first, second
    finally:
        del space[key]
        space[name] = value


def with_names(table, color):
    """fg_code(color) with NAMED_COLORS bound to a new table() for the call."""
    with rebound(colors, NAMED_COLORS=table()):
        return fg_code(color)


def in_small_stack(fn, *args):
    """fn(*args) on a thread with a small C stack, so that a runaway recursion ends quickly."""
    import threading

    outcome = []

    def run():
        try:
            outcome.append((True, fn(*args)))
        except BaseException as exc:  # noqa: B036 - handed to the caller
            outcome.append((False, exc))

    previous = threading.stack_size(1 << 20)
    try:
        thread = threading.Thread(target=run)
        thread.start()
        thread.join()
    finally:
        threading.stack_size(previous)
    returned, value = outcome[0]
    if returned:
        return value
    raise value


@functools.cache
def _libm():
    import ctypes
    return ctypes.CDLL(None)  # the interpreter itself links libm


# The <fenv.h> rounding-mode constants of glibc, by machine.
ROUNDING_MODES = {"x86_64": {"upward": 0x800, "downward": 0x400, "toward zero": 0xC00},
                  "aarch64": {"upward": 0x400000, "downward": 0x800000, "toward zero": 0xC00000}}


def under_rounding_mode(mode, fn, *args):
    """fn(*args) with the floating-point rounding mode set to `mode` (a ROUNDING_MODES value)."""
    libm = _libm()
    previous = libm.fegetround()
    if libm.fesetround(mode) != 0:
        raise OSError(f"rounding mode {mode:#x} refused")
    try:
        return fn(*args)
    finally:
        libm.fesetround(previous)


def raising_getattr(what):
    def __getattr__(name):
        return act(what)
    return __getattr__


# ---- colors ----

NAMED = dict(colors.NAMED_COLORS)
ALIASES = dict(colors.COLOR_ALIASES)
SORTED_NAMES = ("black, blue, bright_black, bright_blue, bright_cyan, bright_green, bright_magenta, bright_red, "
                "bright_white, bright_yellow, cyan, green, magenta, red, white, yellow")
Point = collections.namedtuple("Point", "r g b")

parse_hex = colors.parse_hex
validate_rgb = colors._validate_rgb
rgb_to_ansi256 = colors.rgb_to_ansi256
fg_code = colors.fg_code
bg_code = colors.bg_code
color_code = colors._color_code


def bad_hex(text):
    return f"无法解析十六进制颜色: {text!r}，期望格式 #RGB 或 #RRGGBB"


def component(letter, value):
    return f"{letter} 分量须在 0-255 范围内，收到: {value}"


def unknown(text):
    return f"未知颜色名称: {text!r}。可用: {SORTED_NAMES}"


def arg_type(name, expected, got):
    return f"Argument '{name}' has incorrect type (expected {expected}, got {got})"


NOT_A_REAL = "int() argument must be a string, a bytes-like object or a real number, not '{}'"


def interpreter_message(convert, obj):
    """The interpreter's own message when convert(obj) fails: its wording differs between versions."""
    try:
        convert(obj)
    except TypeError as exc:
        return str(exc)
    raise AssertionError(f"{convert.__name__}({obj!r}) did not fail")


FG = ("fg_code", "_color_code")
BG = ("bg_code", "_color_code")
KI = KeyboardInterrupt


class Pattern(Acting):
    """A compiled pattern stand-in whose match() does what `what` says."""

    def match(self, text):
        return act(self.what, text)


def matching(digits):
    """A pattern whose every match() finds `digits`."""
    return Pattern(types.SimpleNamespace(group=lambda index: digits))


def fake_parse_hex(answer):
    def parse_hex(color):
        return act(answer, color)
    return parse_hex


def fake_validate(what):
    def _validate_rgb(r, g, b):
        return act(what, r, g, b)
    return _validate_rgb


def fake_color_code(what):
    def _color_code(color, *, foreground):
        return act(what, color, foreground)
    return _color_code


def patched_parameter(what):
    """inspect.Parameter running `what` for every parameter it makes; __defaults__ put back afterwards."""
    real = inspect.Parameter

    class Parameter(real):
        def __init__(self, *args, **kwargs):
            act(what)
            super().__init__(*args, **kwargs)

    return lambda: _stacked(attributes(rgb_to_ansi256, __defaults__=None), attributes(inspect, Parameter=Parameter))


def signature_with_defaults():
    rgb_to_ansi256.__defaults__ = (1, 2, 3)
    return str(inspect.signature(rgb_to_ansi256))


def kwdefaults_dropped_mid_lookup():
    # The only reference to the __kwdefaults__ dict goes while the dict is being searched.
    def forget(key, other):
        junk = [{} for _ in range(200)]  # fills the dict free list: the dict dropped next is really freed
        del junk
        color_code.__kwdefaults__ = None
        return False
    color_code.__kwdefaults__ = {Colliding("foreground", Do(forget)): True}
    try:
        return color_code("red")
    finally:
        color_code.__kwdefaults__ = None


def colors_cases():
    c = colors
    yield from [
        # parse_hex: results and the failure table
        case("parse_hex long", ok((255, 128, 0)), parse_hex, "#ff8000"),
        case("parse_hex short upper", ok((170, 187, 204)), parse_hex, "#ABC"),
        case("parse_hex final line feed", ok((0, 255, 127)), parse_hex, "#00ff7f\n"),
        case("parse_hex keyword", ok((255, 255, 255)), parse_hex, color="#fff"),
        Case("parse_hex non-str keyword", lambda: parse_hex(**{1: "#fff"}), err(TypeError, "keywords must be strings")),
        case("parse_hex unparsable", err(ValueError, bad_hex("#12"), "parse_hex"), parse_hex, "#12"),
        case("parse_hex astral", err(ValueError, bad_hex("#\U0001f600"), "parse_hex"), parse_hex, "#\U0001f600"),
        case("parse_hex _HEX_RE deleted", err(NameError, "name '_HEX_RE' is not defined", "parse_hex"),
             parse_hex, "#fff", patch=patched(c, _HEX_RE=MISSING)),
        case("parse_hex _SHORT_HEX_RE deleted", err(NameError, "name '_SHORT_HEX_RE' is not defined", "parse_hex"),
             parse_hex, "#fff", patch=patched(c, _SHORT_HEX_RE=MISSING)),
        case("parse_hex _SHORT_HEX_RE deleted, long form", ok((1, 2, 3)), parse_hex, "#010203",
             patch=patched(c, _SHORT_HEX_RE=MISSING)),
        case("parse_hex match interrupted", ki("parse_hex", callback="match"), parse_hex, "#fff",
             patch=patched(c, _HEX_RE=Pattern(KI))),
        case("parse_hex match untruthful", err(ZeroDivisionError, "hostile", "parse_hex", callback="__bool__"),
             parse_hex, "#fff", patch=patched(c, _HEX_RE=Pattern(Truth(ZeroDivisionError)))),
        case("parse_hex group not sliceable", err(TypeError, None, "parse_hex"), parse_hex, "#fff",
             patch=patched(c, _HEX_RE=matching(5))),
        case("parse_hex group not hex", err(ValueError, "invalid literal for int() with base 16: 'zz'", "parse_hex"),
             parse_hex, "#fff", patch=patched(c, _HEX_RE=matching("zzzzzz"))),
        case("parse_hex group from a stand-in", ok((255, 0, 17)), parse_hex, "anything",
             patch=patched(c, _HEX_RE=matching("ff0011"))),
        case("parse_hex no match, short form", ok((0x99, 0xAA, 0xFF)), parse_hex, "anything",
             patch=patched(c, _HEX_RE=Pattern(None), _SHORT_HEX_RE=matching("9aF"))),
        case("parse_hex pattern without match", err(AttributeError, None, "parse_hex"), parse_hex, "#fff",
             patch=patched(c, _HEX_RE=object())),
        # _validate_rgb
        case("_validate_rgb bounds", ok(None), validate_rgb, 0, 255, 0),
        case("_validate_rgb converted", ok(None), validate_rgb, 255.9, -0.5, True),
        case("_validate_rgb keywords", ok(None), validate_rgb, r=1, g=Idx(2), b=IntConv(3)),
        case("_validate_rgb R", err(ValueError, component("R", 300), "_validate_rgb"), validate_rgb, 300, -5, 999),
        case("_validate_rgb G", err(ValueError, component("G", -1), "_validate_rgb"), validate_rgb, 0, -1, 0),
        case("_validate_rgb B", err(ValueError, component("B", 1000), "_validate_rgb"), validate_rgb, 0, 0, 1000),
        case("_validate_rgb truncated float", err(ValueError, component("R", 256), "_validate_rgb"),
             validate_rgb, 256.7, 0, 0),
        case("_validate_rgb huge", err(ValueError, component("R", 10**40), "_validate_rgb"),
             validate_rgb, 10**40, 0, 0),
        case("_validate_rgb NaN", err(ValueError, "cannot convert float NaN to integer", "_validate_rgb"),
             validate_rgb, 0, math.nan, 0),
        case("_validate_rgb infinity", err(OverflowError, "cannot convert float infinity to integer",
                                           "_validate_rgb"), validate_rgb, 0, 0, math.inf),
        case("_validate_rgb complex", err(TypeError, NOT_A_REAL.format("complex"), "_validate_rgb"),
             validate_rgb, 1j, 0, 0),
        case("_validate_rgb __index__ interrupted", ki("_validate_rgb", callback="__index__"),
             validate_rgb, 0, 0, Idx(KI)),
        case("_validate_rgb __index__ returns str",
             err(TypeError, interpreter_message(operator.index, Idx("x")), "_validate_rgb"),
             validate_rgb, Idx("x"), 0, 0),
        case("_validate_rgb __index__ returns huge", err(ValueError, component("G", 2**100), "_validate_rgb"),
             validate_rgb, 0, Idx(2**100), 0),
        Case("_validate_rgb __index__ returns bool", warnings_as_errors(validate_rgb, Idx(True), 0, 0),
             err(DeprecationWarning, None, "_validate_rgb")),
        case("_validate_rgb __int__ returns float",
             err(TypeError, interpreter_message(int, IntConv(1.5)), "_validate_rgb"),
             validate_rgb, IntConv(1.5), 0, 0),
        case("_validate_rgb __int__ interrupted", ki("_validate_rgb", callback="__int__"),
             validate_rgb, IntConv(KI), 0, 0),
        case("_validate_rgb __float__ only", err(TypeError, NOT_A_REAL.format("FloatConv"), "_validate_rgb"),
             validate_rgb, FloatConv(1.0), 0, 0),
        # rgb_to_ansi256
        case("rgb_to_ansi256 cube", ok(214), rgb_to_ansi256, 255, 128, 0),
        case("rgb_to_ansi256 grey", ok(244), rgb_to_ansi256, 128, 128, 128),
        case("rgb_to_ansi256 keywords", ok(110), rgb_to_ansi256, r=100, g=Idx(150), b=200.5),
        case("rgb_to_ansi256 out of range", ok(-20), rgb_to_ansi256, -30, 0, 0),
        case("rgb_to_ansi256 huge grey", ok(231), rgb_to_ansi256, 10**30, 10**30, 10**30),
        case("rgb_to_ansi256 big cube", ok(16 + 36 * round(2**60 / 255 * 5.0)), rgb_to_ansi256, 2**60, 0, 0),
        case("rgb_to_ansi256 big grey", ok(231), rgb_to_ansi256, 2**53 + 2, 2**53 + 2, 2**53 + 2),
        case("rgb_to_ansi256 truncated", ok(244), rgb_to_ansi256, 127.9, 127.2, 127.0),
        case("rgb_to_ansi256 overflow", err(OverflowError, "integer division result too large for a float",
                                            "rgb_to_ansi256"), rgb_to_ansi256, 10**400, 0, 0),
        case("rgb_to_ansi256 NaN", err(ValueError, "cannot convert float NaN to integer", "rgb_to_ansi256"),
             rgb_to_ansi256, math.nan, 0, 0),
        case("rgb_to_ansi256 __index__ interrupted", ki("rgb_to_ansi256", callback="__index__"),
             rgb_to_ansi256, 0, Idx(KI), 0),
        case("rgb_to_ansi256 __index__ huge", err(OverflowError, None, "rgb_to_ansi256"),
             rgb_to_ansi256, 0, 1, Idx(10**400)),
        # fg_code, bg_code, _color_code: every kind of colour
        case("fg_code name", ok("\x1b[31m"), fg_code, "red"),
        case("bg_code name", ok("\x1b[41m"), bg_code, "red"),
        case("fg_code spaced name", ok("\x1b[91m"), fg_code, "Bright Red"),
        case("bg_code dashed name", ok("\x1b[101m"), bg_code, "bright-red"),
        case("fg_code alias", ok("\x1b[35m"), fg_code, "purple"),
        case("bg_code upper alias", ok("\x1b[100m"), bg_code, "GREY"),
        case("fg_code str subclass name", ok("\x1b[31m"), fg_code, Name("RED")),
        case("_color_code background", ok("\x1b[44m"), color_code, "blue", foreground=False),
        case("_color_code None is false", ok("\x1b[44m"), color_code, color="blue", foreground=None),
        case("fg_code index", ok("\x1b[38;5;196m"), fg_code, 196),
        case("bg_code index 0", ok("\x1b[48;5;0m"), bg_code, 0),
        case("fg_code bool", ok("\x1b[38;5;1m"), fg_code, True),
        case("fg_code hex", ok("\x1b[38;2;255;0;0m"), fg_code, "#ff0000"),
        case("bg_code short hex", ok("\x1b[48;2;0;255;119m"), bg_code, "#0f7"),
        case("fg_code tuple", ok("\x1b[38;2;1;2;3m"), fg_code, (1, 2, 3)),
        case("bg_code tuple", ok("\x1b[48;2;255;128;0m"), bg_code, (255, 128, 0)),
        case("fg_code float tuple", ok("\x1b[38;2;1;2;3m"), fg_code, (1.5, 2, 3)),
        case("fg_code bool tuple", ok("\x1b[38;2;1;0;1m"), fg_code, (True, False, True)),
        case("fg_code named tuple", ok("\x1b[38;2;4;5;6m"), fg_code, Point(4, 5, 6)),
        case("fg_code tuple of numbers", ok("\x1b[38;2;7;8;9m"), fg_code, (Idx(7), IntConv(8), 9.99)),
        case("fg_code keyword", ok("\x1b[32m"), fg_code, color="green"),
        case("fg_code keyword str subclass", ok("\x1b[32m"), fg_code, **{Name("color"): "green"}),
        # the layer is decided first, before the colour is looked at
        case("_color_code foreground untruthful", ki("_color_code", callback="__bool__"),
             color_code, "red", foreground=Truth(KI)),
        case("_color_code foreground before the colour", ki("_color_code", callback="__bool__"),
             color_code, [1], foreground=Truth(KI)),
        # the failure table
        case("fg_code index 256", err(ValueError, "256 色索引须在 0-255 范围内，收到: 256", *FG), fg_code, 256),
        case("bg_code index -1", err(ValueError, "256 色索引须在 0-255 范围内，收到: -1", *BG), bg_code, -1),
        case("fg_code index huge", err(ValueError, f"256 色索引须在 0-255 范围内，收到: {10**50}", *FG), fg_code, 10**50),
        case("fg_code list", err(TypeError, "不支持的颜色类型: list", *FG), fg_code, [1, 2, 3]),
        case("fg_code float", err(TypeError, "不支持的颜色类型: float", *FG), fg_code, 1.5),
        case("bg_code None", err(TypeError, "不支持的颜色类型: NoneType", *BG), bg_code, None),
        case("fg_code bytes", err(TypeError, "不支持的颜色类型: bytes", *FG), fg_code, b"red"),
        case("bg_code type name in full", err(TypeError, "不支持的颜色类型: " + "C" * 250, *BG), bg_code,
             type("C" * 250, (), {})()),
        case("fg_code empty tuple", err(ValueError, "need more than 0 values to unpack", *FG), fg_code, ()),
        case("fg_code one item", err(ValueError, "need more than 1 value to unpack", *FG), fg_code, (1,)),
        case("fg_code two items", err(ValueError, "need more than 2 values to unpack", *FG), fg_code, (1, 2)),
        case("fg_code four items", err(ValueError, "too many values to unpack (expected 3)", *FG),
             fg_code, (1, 2, 3, 4)),
        case("fg_code component range", err(ValueError, component("R", 300), *FG, "_validate_rgb"),
             fg_code, (300, 0, 0)),
        case("bg_code component type", err(TypeError, arg_type("b", "int", "str"), *BG, "_validate_rgb"),
             bg_code, (1, 2, "x")),
        case("fg_code component NaN", err(ValueError, "cannot convert float NaN to integer", *FG, "_validate_rgb"),
             fg_code, (1, math.nan, 3)),
        case("fg_code bad hex", err(ValueError, bad_hex("#"), *FG, "parse_hex"), fg_code, "#"),
        case("bg_code hex str subclass", err(TypeError, arg_type("color", "str", "Name"), *BG, "parse_hex"),
             bg_code, Name("#fff")),
        case("fg_code unknown name", err(ValueError, unknown("nope"), *FG), fg_code, "nope"),
        case("fg_code empty name", err(ValueError, unknown(""), *FG), fg_code, ""),
        case("bg_code leading space", err(ValueError, unknown(" red"), *BG), bg_code, " red"),
        case("fg_code non-ASCII name", err(ValueError, unknown("rÉd"), *FG), fg_code, "rÉd"),
        case("fg_code as a method", err(TypeError, "不支持的颜色类型: Holder", *FG), type("Holder", (), {"f": fg_code})().f),
        # module names read at each call
        case("fg_code ESC deleted", err(NameError, "name 'ESC' is not defined", *FG), fg_code, "red",
             patch=patched(c, ESC=MISSING)),
        case("fg_code ESC from builtins", ok("!31m"), fg_code, "red",
             patch=lambda: _stacked(rebound(c, ESC=MISSING), rebound(builtins, ESC="!"))),
        case("fg_code NAMED_COLORS deleted", err(NameError, "name 'NAMED_COLORS' is not defined", *FG),
             fg_code, "red", patch=patched(c, NAMED_COLORS=MISSING)),
        case("fg_code COLOR_ALIASES deleted", err(NameError, "name 'COLOR_ALIASES' is not defined", *FG),
             fg_code, "grey", patch=patched(c, COLOR_ALIASES=MISSING)),
        case("fg_code parse_hex deleted", err(NameError, "name 'parse_hex' is not defined", *FG),
             fg_code, "#fff", patch=patched(c, parse_hex=MISSING)),
        case("fg_code _validate_rgb deleted", err(NameError, "name '_validate_rgb' is not defined", *FG),
             fg_code, (1, 2, 3), patch=patched(c, _validate_rgb=MISSING)),
        case("fg_code _color_code deleted", err(NameError, "name '_color_code' is not defined", "fg_code"),
             fg_code, "red", patch=patched(c, _color_code=MISSING)),
        # replaced functions
        case("fg_code result not str", err(TypeError, "Expected str, got int", "fg_code"), fg_code, "red",
             patch=patched(c, _color_code=fake_color_code(5))),
        case("bg_code result None", ok(None), bg_code, "red", patch=patched(c, _color_code=fake_color_code(None))),
        case("bg_code result str subclass", err(TypeError, "Expected str, got Name", "bg_code"), bg_code, "red",
             patch=patched(c, _color_code=fake_color_code(Name("x")))),
        case("fg_code _color_code interrupted", ki("fg_code", callback="_color_code"), fg_code,
             "red", patch=patched(c, _color_code=fake_color_code(KI))),
        case("fg_code result type name cut", err(TypeError, "Expected str, got " + "R" * 200, "fg_code"), fg_code,
             "red", patch=patched(c, _color_code=fake_color_code(type("R" * 300, (), {})()))),
        case("fg_code _color_code passes foreground", ok("red|True"), fg_code, "red",
             patch=patched(c, _color_code=fake_color_code(Do(lambda color, fg: f"{color}|{fg!r}")))),
        case("bg_code _color_code passes foreground", ok("7|False"), bg_code, color=7,
             patch=patched(c, _color_code=fake_color_code(Do(lambda color, fg: f"{color}|{fg!r}")))),
        case("fg_code _validate_rgb raises", err(ValueError, "hostile", *FG, callback="_validate_rgb"), fg_code,
             (1, 2, 3), patch=patched(c, _validate_rgb=fake_validate(ValueError))),
        case("fg_code _validate_rgb accepts anything", ok("\x1b[38;2;1;x;9999m"), fg_code, (1.5, "x", 9999),
             patch=patched(c, _validate_rgb=fake_validate(None))),
        case("fg_code parse_hex interrupted", ki(*FG, callback="parse_hex"), fg_code, "#fff",
             patch=patched(c, parse_hex=fake_parse_hex(KI))),
        case("fg_code parse_hex gives a list", ok("\x1b[38;2;1;2;3m"), fg_code, "#fff",
             patch=patched(c, parse_hex=fake_parse_hex([1, 2, 3]))),
        case("fg_code parse_hex gives an int", err(TypeError, "cannot unpack non-iterable int object", *FG),
             fg_code, "#fff", patch=patched(c, parse_hex=fake_parse_hex(5))),
        case("fg_code parse_hex gives two", err(ValueError, "need more than 2 values to unpack", *FG),
             fg_code, "#fff", patch=patched(c, parse_hex=fake_parse_hex((1, 2)))),
        case("fg_code parse_hex gives text", ok("\x1b[38;2;a;b;c\U0001f600m"), fg_code, "#fff",
             patch=patched(c, parse_hex=fake_parse_hex(("a", "b", "c\U0001f600")))),
        case("fg_code parse_hex gives a failing iterator", ki(*FG, callback="iterate_items"),
             fg_code, "#fff", patch=patched(c, parse_hex=fake_parse_hex(Do(lambda s: yielding(1, then=KI)())))),
        case("fg_code parse_hex str subclass", ok("\x1b[38;2;1;2;3m"), fg_code, Name("#fff"),
             patch=patched(c, parse_hex=fake_parse_hex((1, 2, 3)))),
        # ESC rebound
        case("fg_code ESC int", ok("531m"), fg_code, "red", patch=patched(c, ESC=5)),
        case("fg_code ESC int, index", ok("538;5;196m"), fg_code, 196, patch=patched(c, ESC=5)),
        case("bg_code ESC astral", ok("\U0001f60041m"), bg_code, "red", patch=patched(c, ESC="\U0001f600")),
        case("fg_code ESC Latin-1", ok("é38;2;1;2;3m"), fg_code, (1, 2, 3), patch=patched(c, ESC="é")),
        case("fg_code ESC long", ok("x" * 100 + "38;2;255;255;255m"), fg_code, "#fff",
             patch=patched(c, ESC="x" * 100)),
        case("fg_code ESC empty", ok("31m"), fg_code, "red", patch=patched(c, ESC="")),
        case("fg_code ESC __format__ interrupted", ki(*FG, callback="__format__"), fg_code, "red",
             patch=patched(c, ESC=Fmt(KI))),
        case("fg_code ESC __format__ not str", err(TypeError, None, *FG), fg_code, "red", patch=patched(c, ESC=Fmt(5))),
        case("fg_code ESC str subclass", ok("<<31m"), fg_code, "red",
             patch=patched(c, ESC=type("E", (str,), {"__format__": lambda self, fmt: Name("<<")})("\x1b["))),
        # equal stand-ins for the module's own ESC and tables, and a table written back: same sequences
        case("fg_code name, tables copied", ok("\x1b[91m"), fg_code, "Bright Red",
             patch=patched(c, NAMED_COLORS=dict(NAMED), COLOR_ALIASES=dict(ALIASES))),
        case("bg_code tuple, ESC copied", ok("\x1b[48;2;1;2;3m"), bg_code, (1, 2, 3),
             patch=patched(c, ESC="".join(["\x1b", "["]))),
        case("fg_code name, table written back", ok("\x1b[90m"), fg_code, "grey",
             patch=lambda: _written_back(c.NAMED_COLORS, "bright_black")),
        # hostile str subclasses
        case("fg_code lower interrupted", ki(*FG, callback="lower"), fg_code, Name("red", lower=KI)),
        case("fg_code lower gives int", err(AttributeError, None, *FG), fg_code, Name("red", lower=5)),
        case("fg_code replace gives list", err(TypeError, None, *FG),
             fg_code, Name("red", lower=Do(itself), replace=Do(lambda self, old, new: self if old == "-" else [1]))),
        case("fg_code replace gives another name", ok("\x1b[34m"), fg_code,
             Name("red", lower=Do(itself), replace="blue")),
        case("fg_code startswith interrupted", ki(*FG, callback="startswith"), fg_code, Name("red", startswith=KI)),
        case("bg_code replace interrupted", ki(*BG, callback="replace"),
             bg_code, Name("red", lower=Do(itself), replace=KI)),
        case("fg_code startswith untruthful", ki(*FG, callback="__bool__"), fg_code, Name("red", startswith=Truth(KI))),
        case("fg_code startswith says hex", err(TypeError, arg_type("color", "str", "Name"), *FG, "parse_hex"),
             fg_code, Name("red", startswith=1)),
        case("fg_code __hash__ raises", ki(*FG, callback="__hash__"),
             fg_code, Name("red", lower=Do(itself), replace=Do(itself), hash=KI)),
        case("fg_code __hash__ gives str", err(TypeError, None, *FG),
             fg_code, Name("red", lower=Do(itself), replace=Do(itself), hash="x")),
        case("fg_code __eq__ raises", ki(*FG, callback="__eq__"),
             fg_code, Name("grey", lower=Do(itself), replace=Do(itself), eq=KI)),
        case("fg_code __eq__ untruthful", err(ZeroDivisionError, "hostile", *FG, callback="__bool__"),
             fg_code, Name("grey", lower=Do(itself), replace=Do(itself), eq=Truth(ZeroDivisionError))),
        # hostile tuple subclasses
        case("fg_code tuple lies short", err(ValueError, "need more than 2 values to unpack", *FG),
             fg_code, Items(yielding(1, 2))),
        case("fg_code tuple lies long", err(ValueError, "too many values to unpack (expected 3)", *FG),
             fg_code, Items(endless)),
        case("fg_code tuple raises mid-way", err(ZeroDivisionError, "hostile", *FG, callback="iterate_items"),
             fg_code, Items(yielding(1, then=ZeroDivisionError))),
        case("fg_code tuple interrupted", ki(*FG, callback="iterate_items"), fg_code, Items(yielding(then=KI))),
        case("fg_code tuple iterator not an iterator", err(TypeError, None, *FG), fg_code, Items(lambda: 5)),
        case("fg_code tuple yields other items", ok("\x1b[38;2;1;2;3m"), fg_code, Items(yielding(1, 2, 3), (9, 9, 9))),
        case("bg_code tuple yields text", err(TypeError, arg_type("r", "int", "str"), *BG, "_validate_rgb"),
             bg_code, Items(yielding("a", 2, 3))),
        case("fg_code tuple item interrupted", ki(*FG, "_validate_rgb", callback="__index__"),
             fg_code, Items(yielding(1, Idx(KI), 3))),
        # hostile int subclasses
        case("fg_code int comparison raises", ki(*FG, callback="__ge__"), fg_code, Bigger(5, KI)),
        case("fg_code int comparison lies", ok("\x1b[38;5;300m"), fg_code, Bigger(300, True)),
        case("fg_code int __int__ interrupted", ki(*FG, callback="__int__"), fg_code, SelfishInt(5, KI)),
        case("fg_code int __int__ gives str", err(TypeError, None, *FG), fg_code, SelfishInt(5, "x")),
        # COLOR_ALIASES replaced
        case("fg_code aliases get interrupted", ki(*FG, callback="get"), fg_code, "red",
             patch=patched(c, COLOR_ALIASES=Table(ALIASES, get=KI))),
        case("fg_code aliases get gives int", err(ValueError, unknown("red"), *FG), fg_code, "red",
             patch=patched(c, COLOR_ALIASES=Table(ALIASES, get=42))),
        case("fg_code aliases get gives list", err(TypeError, None, *FG), fg_code, "red",
             patch=patched(c, COLOR_ALIASES=Table(ALIASES, get=[]))),
        case("fg_code aliases get gives another name", ok("\x1b[34m"), fg_code, "red",
             patch=patched(c, COLOR_ALIASES=Table(ALIASES, get="blue"))),
        case("fg_code aliases get deletes NAMED_COLORS", err(NameError, "name 'NAMED_COLORS' is not defined", *FG),
             fg_code, "red", keep=((c, "NAMED_COLORS"),), patch=patched(c, COLOR_ALIASES=Table(
                 ALIASES, get=meanwhile(drop(c, "NAMED_COLORS"), lambda key, default: default)))),
        case("fg_code aliases get deletes ESC", err(NameError, "name 'ESC' is not defined", *FG),
             fg_code, "red", keep=((c, "ESC"),), patch=patched(c, COLOR_ALIASES=Table(
                 ALIASES, get=meanwhile(drop(c, "ESC"), lambda key, default: default)))),
        case("fg_code aliases get deletes itself", ok("\x1b[31m"), fg_code, "red",
             keep=((c, "COLOR_ALIASES"),), patch=patched(c, COLOR_ALIASES=Table(
                 ALIASES, get=meanwhile(drop(c, "COLOR_ALIASES"), lambda key, default: default)))),
        case("fg_code aliases get rebinds ESC", ok("<31m"), fg_code, "red",
             keep=((c, "ESC"),), patch=patched(c, COLOR_ALIASES=Table(
                 ALIASES, get=meanwhile(lambda: setattr(c, "ESC", "<"), lambda key, default: default)))),
        case("fg_code aliases dict subclass", ok("\x1b[32m"), fg_code, "red",
             patch=patched(c, COLOR_ALIASES=type("D", (dict,), {"get": lambda self, k, d=None: "green"})())),
        case("fg_code aliases None", err(AttributeError, None, *FG), fg_code, "red",
             patch=patched(c, COLOR_ALIASES=None)),
        case("fg_code aliases key __eq__ raises", ki(*FG, callback="__eq__"), fg_code, "grey",
             patch=patched(c, COLOR_ALIASES={Colliding("grey", KI): "red"})),
        # NAMED_COLORS replaced
        case("fg_code names __contains__ raises", ki(*FG, callback="__contains__"), fg_code, "red",
             patch=patched(c, NAMED_COLORS=Table(NAMED, contains=KI))),
        case("fg_code names __contains__ untruthful", err(ZeroDivisionError, "hostile", *FG, callback="__bool__"),
             fg_code, "red", patch=patched(c, NAMED_COLORS=Table(NAMED, contains=Truth(ZeroDivisionError)))),
        case("fg_code names __getitem__ raises", err(KeyError, None, *FG, callback="__getitem__"), fg_code, "red",
             patch=patched(c, NAMED_COLORS=Table(NAMED, getitem=KeyError))),
        case("fg_code names __getitem__ interrupted", ki(*FG, callback="__getitem__"), fg_code,
             "red", patch=patched(c, NAMED_COLORS=Table(NAMED, getitem=KI))),
        case("fg_code names code str", ok("\x1b[xm"), fg_code, "red",
             patch=patched(c, NAMED_COLORS=Table(NAMED, getitem="x"))),
        case("bg_code names code str", err(TypeError, None, *BG), bg_code, "red",
             patch=patched(c, NAMED_COLORS=Table(NAMED, getitem="x"))),
        case("fg_code names code float", ok("\x1b[31m"), fg_code, "red",
             patch=patched(c, NAMED_COLORS=Table(NAMED, getitem=31.7))),
        case("bg_code names code float", ok("\x1b[41m"), bg_code, "red",
             patch=patched(c, NAMED_COLORS=Table(NAMED, getitem=31.7))),
        case("bg_code names code huge", ok(f"\x1b[{10**30}m"), bg_code, "red",
             patch=patched(c, NAMED_COLORS=Table(NAMED, getitem=10**30))),
        case("bg_code names code negative huge", ok(f"\x1b[{-10**30 + 10}m"), bg_code, "red",
             patch=patched(c, NAMED_COLORS={"red": -10**30})),
        case("bg_code names code comparison interrupted", ki(*BG, callback="__ge__"), bg_code, "red",
             patch=patched(c, NAMED_COLORS={"red": Bigger(31, KI)})),
        case("fg_code names code formatted", ok("\x1b[Qm"), fg_code, "red",
             patch=patched(c, NAMED_COLORS=Table(NAMED, getitem=Fmt("Q")))),
        # codes and components that the sequence writers join from their text
        case("fg_code names code too long for str", err(ValueError, None, *FG), fg_code, "red",
             patch=lambda: _stacked(rebound(c, NAMED_COLORS={"red": 10 ** 5000}), _int_digits(4300))),
        case("fg_code names code formatted astral, ESC Latin-1", ok("é\U0001f600m"), fg_code, "red",
             patch=patched(c, ESC="é", NAMED_COLORS=Table(NAMED, getitem=Fmt("\U0001f600")))),
        case("fg_code names code __int__ interrupted after ESC", ki(*FG, callback="__int__"), fg_code, "red",
             patch=patched(c, NAMED_COLORS={"red": SelfishInt(31, KI)})),
        case("fg_code _validate_rgb accepts any text", ok("\x1b[38;2;é;\U0001f600;1000m"), fg_code,
             ("é", "\U0001f600", 1000), patch=patched(c, _validate_rgb=fake_validate(None))),
        case("bg_code index subclass, ESC astral", ok("\U0001f60048;5;9m"), bg_code, SelfishInt(7, 9),
             patch=patched(c, ESC="\U0001f600")),
        case("fg_code names __getitem__ deletes ESC", err(NameError, "name 'ESC' is not defined", *FG),
             fg_code, "red", keep=((c, "ESC"),), patch=patched(c, NAMED_COLORS=Table(
                 NAMED, getitem=meanwhile(drop(c, "ESC"), lambda key: 31)))),
        case("fg_code names __contains__ deletes NAMED_COLORS", err(NameError, "name 'NAMED_COLORS' is not defined",
                                                                    *FG),
             fg_code, "red", keep=((c, "NAMED_COLORS"),), patch=patched(c, NAMED_COLORS=Table(
                 NAMED, contains=meanwhile(drop(c, "NAMED_COLORS"), lambda key: True)))),
        case("fg_code names __iter__ raises", ki(*FG, callback="__iter__"), fg_code, "nope",
             patch=patched(c, NAMED_COLORS=Table(NAMED, iter=KI))),
        case("fg_code names keys not str", err(TypeError, None, *FG), fg_code, "nope",
             patch=patched(c, NAMED_COLORS={1: 31, 2: 32})),
        case("fg_code names keys unsortable", err(TypeError, None, *FG), fg_code, "nope",
             patch=patched(c, NAMED_COLORS={1: 31, "b": 32})),
        case("fg_code names not a container", err(TypeError, None, *FG), fg_code, "red",
             patch=patched(c, NAMED_COLORS=5)),
        case("fg_code names key __eq__ raises", ki(*FG, callback="__eq__"), fg_code, "red",
             patch=patched(c, NAMED_COLORS={Colliding("red", KI): 31})),
        case("fg_code names key __eq__ clears the table", err(ValueError, "未知颜色名称: 'red'。可用: ", *FG),
             fg_code, "red", patch=lambda: rebound(c, NAMED_COLORS=_self_clearing_table())),
        case("fg_code names grown", ok("\x1b[38m"), fg_code, "crimson",
             patch=patched(c, NAMED_COLORS={**NAMED, "crimson": 38})),
        # NAMED_COLORS read twice (membership, then the item) unless one lookup provably equals two
        case("fg_code names key equal once", err(KeyError, "'red'", *FG), with_names, lambda: {OnceEqual("red"): 31},
             "red"),
        case("fg_code names key rebinding the table", ok("\x1b[99m"), with_names, lambda: {Colliding("red", Do(
            lambda key, other: setattr(c, "NAMED_COLORS", {"red": 99}) or True)): 31}, "red"),
        # a module global under a key equal to its name once only: read at every call, never remembered
        case("fg_code ESC under a key equal once", ok(("\x1b[31m", "NameError")), key_equal_once, vars(c), "ESC",
             lambda: fg_code("red")),
        # ... and read as often as the procedure reads it: NAMED_COLORS twice, _HEX_RE once
        case("fg_code NAMED_COLORS under a key equal once", err(NameError, "name 'NAMED_COLORS' is not defined", *FG),
             key_equal_once, vars(c), "NAMED_COLORS", lambda: fg_code("red")),
        case("fg_code _HEX_RE stand-in under a key equal once", ok(("\x1b[38;2;255;0;17m", "NameError")),
             key_equal_once, vars(c), "_HEX_RE", lambda: fg_code("#fff"), patch=patched(c, _HEX_RE=matching("ff0011"))),
        # cycles between module functions, directly or through another callable: RecursionError
        Case("fg_code through parse_hex = fg_code", lambda: in_small_stack(fg_code, "#abc"),
             Raises(RecursionError, None, None), patched(c, parse_hex=fg_code)),
        Case("fg_code through parse_hex = partial(bg_code)", lambda: in_small_stack(fg_code, "#abc"),
             Raises(RecursionError, None, None), patched(c, parse_hex=functools.partial(bg_code))),
        Case("bg_code through _validate_rgb = a bound _color_code", lambda: in_small_stack(bg_code, (1, 2, 3)),
             Raises(RecursionError, None, None),
             patched(c, _validate_rgb=lambda r, g, b: color_code((r, g, b), foreground=False))),
        # rounding half to even whatever the floating-point rounding mode
        *[case(f"rgb_to_ansi256{rgb} rounding {name}", ok(expected), under_rounding_mode, mode, rgb_to_ansi256, *rgb)
          for name, mode in ROUNDING_MODES.get(__import__("platform").machine(), {}).items()
          for rgb, expected in [((1, 0, 0), 16), ((254, 1, 128), 16 + 36 * 5 + 3), ((20, 20, 20), 233)]],
        # recursion through a callback, oversized numbers, odd names and builtins
        Case("fg_code recursing through lower", _recursing, Raises(RecursionError, None, None)),
        case("_validate_rgb too many digits to show", err(ValueError, None, "_validate_rgb"), validate_rgb,
             10**5000, 0, 0),
        case("fg_code index too many digits to show", err(ValueError, None, *FG), fg_code, -10**5000),
        case("fg_code __name__ not UTF-8", err(TypeError, "fg_code() takes exactly 1 positional argument (0 given)",
                                              "fg_code"),
             fg_code, patch=lambda: attributes(fg_code, __name__="\udc80")),
        Case("fg_code error with __builtins__ an int", lambda: _formatted_failure(fg_code, "nope"),
             ok(True), patch=patched(c, __builtins__=5)),
        Case("fg_code error without __builtins__", lambda: _formatted_failure(fg_code, 1.5),
             ok(True), patch=patched(c, __builtins__=MISSING)),
        # function attributes
        case("rgb_to_ansi256 defaults", ok(16), rgb_to_ansi256,
             patch=lambda: attributes(rgb_to_ansi256, __defaults__=(1, 2, 3))),
        case("fg_code more defaults than parameters", ok("\x1b[34m"), fg_code,
             patch=lambda: attributes(fg_code, __defaults__=("red", "blue"))),
        case("_color_code keyword default", ok("\x1b[31m"), color_code, "red",
             patch=lambda: attributes(color_code, __kwdefaults__={"foreground": True})),
        Case("_color_code keyword defaults dropped mid-lookup", kwdefaults_dropped_mid_lookup,
             err(TypeError, "_color_code() needs keyword-only argument foreground", "_color_code")),
        Case("signature while the defaults are dropped", signature_with_defaults,
             ok("(r: 'int' = 1, g: 'int' = 2, b: 'int' = 3) -> 'int'"),
             patch=patched_parameter(Do(lambda: setattr(rgb_to_ansi256, "__defaults__", None)))),
        Case("signature interrupted", signature_with_defaults, err(KI, "hostile"), patch=patched_parameter(KI)),
        # a failed lookup in inspect leaves as it was raised
        Case("signature without inspect.Parameter", lambda: rgb_to_ansi256.__signature__,
             err(AttributeError, "module 'inspect' has no attribute 'Parameter'"), patched(inspect, Parameter=MISSING)),
        Case("signature with inspect.Parameter interrupted", lambda: rgb_to_ansi256.__signature__, ki(),
             patched(inspect, Parameter=MISSING, __getattr__=raising_getattr(KI))),
        Case("signature without inspect.Signature", lambda: fg_code.__signature__,
             err(AttributeError, "module 'inspect' has no attribute 'Signature'"), patched(inspect, Signature=MISSING)),
        Case("signature with a Parameter lacking empty", lambda: color_code.__signature__,
             err(AttributeError, "type object 'object' has no attribute 'empty'"), patched(inspect, Parameter=object)),
    ]


def _recursing():
    # fg_code calls lower, which calls fg_code on the same name: a RecursionError, not a stack
    # overflow. A limit close above the current depth keeps the case quick.
    depth, frame = 0, sys._getframe()
    while frame is not None:
        depth, frame = depth + 1, frame.f_back
    limit = sys.getrecursionlimit()
    sys.setrecursionlimit(depth + 60)
    try:
        return fg_code(Name("red", lower=Do(fg_code)))
    finally:
        sys.setrecursionlimit(limit)


def _formatted_failure(fn, *args):
    """Whether the traceback of fn(*args) formats with the module's entry in it."""
    import traceback
    try:
        fn(*args)
    except Exception as exc:
        return "tintwell." in "".join(traceback.format_exception(exc))
    return False


@contextlib.contextmanager
def _stacked(*managers):
    with contextlib.ExitStack() as stack:
        for manager in managers:
            stack.enter_context(manager)
        yield


@contextlib.contextmanager
def _int_digits(limit):
    """sys.set_int_max_str_digits(limit) for the duration."""
    saved = sys.get_int_max_str_digits()
    sys.set_int_max_str_digits(limit)
    try:
        yield
    finally:
        sys.set_int_max_str_digits(saved)


@contextlib.contextmanager
def _written_back(table, key):
    """An entry of `table` stored again with its own value: a change that changes nothing."""
    table[key] = table[key]
    yield


def _self_clearing_table():
    table = {name: code for name, code in NAMED.items() if name != "red"}

    def clear(key, other):
        table.clear()
        return False

    table[Colliding("red", Do(clear))] = 0
    return table


# ---- detect ----

ColorLevel = detect.ColorLevel
detect_color_level = detect.detect_color_level
supports_color = detect.supports_color
enable_windows_vt = detect.enable_windows_vt
has_windows_console = detect._has_windows_console


class Stream:
    """A stream whose isatty() does what `what` says."""

    def __init__(self, what=True):
        self.what = what

    def isatty(self):
        return act(self.what, self)

    def fileno(self):
        return 1


class NoIsatty:
    pass


class IsattyProperty:
    """A stream whose isatty attribute lookup itself does what `what` says."""

    def __init__(self, what):
        self.what = what

    @property
    def isatty(self):
        return act(self.what)


class VanishingIsatty:
    """A stream whose isatty attribute is there at the first lookup only."""

    def __init__(self):
        self.lookups = 0

    @property
    def isatty(self):
        self.lookups += 1
        if self.lookups > 1:
            raise AttributeError("isatty has gone")
        return lambda: True


class Environ:
    """An os.environ stand-in whose get does what `what` says for the keys of `values` (for every key
    when there are none) and answers from `values` otherwise."""

    def __init__(self, what, values=()):
        self.what = what
        self.values = dict(values)

    def get(self, key, *default):
        return act(self.what, key, *default) if key in self.values or not self.values else self.values.get(
            key, *default)


def fake_os(environ):
    """A plain module standing for os: its attributes take the route of real modules."""
    module = types.ModuleType("os")
    module.environ = environ
    return module


def fake_sys(platform="linux", stdout=None, stderr=None):
    module = types.ModuleType("sys")
    module.platform = platform
    module.stdout = Stream(True) if stdout is None else stdout
    module.stderr = Stream(True) if stderr is None else stderr
    return module


def environment(values, platform="linux", stdout=None, **more):
    """detect's os and sys replaced by plain modules holding `values` as the environment."""
    return patched(detect, os=fake_os(dict(values)), sys=fake_sys(platform, stdout), **more)


class Platform(str):
    """A platform name whose comparison does what `what` says."""

    def __new__(cls, what):
        self = super().__new__(cls, "win32")
        self.what = what
        return self

    def __eq__(self, other):
        return act(self.what, self, other)

    def __ne__(self, other):
        return act(self.what, self, other)

    __hash__ = str.__hash__


class Value(str):
    """An environment value whose lower() or truth does what `methods` say."""

    def __new__(cls, text, **methods):
        self = super().__new__(cls, text)
        self.methods = methods
        return self

    def lower(self):
        return act(self.methods["lower"], self) if "lower" in self.methods else str.lower(self)

    def __bool__(self):
        return act(self.methods["bool"], self) if "bool" in self.methods else len(self) > 0


class ArgumentError(Exception):
    """What ctypes raises for an argument it cannot convert."""


class DWORD:
    def __init__(self, value=0):
        self.value = value


class HANDLE:
    pass


class BOOL:
    pass


class Foreign:
    """A foreign function of the fake kernel32: declaring its argtypes and restype is logged."""

    def __init__(self, console, name):
        self.__dict__.update(_console=console, _name=name)

    def __setattr__(self, attr, value):
        self._console.record("declare", self._name, attr, value)
        self.__dict__[attr] = value

    def __call__(self, *args):
        return getattr(self._console, self._name)(*args)


class Console:
    """A Windows console behind fake ctypes, ctypes.wintypes and msvcrt modules. `modes` maps console
    handles to their modes (a handle without one is a pipe or a file), `handles` file descriptors to OS
    handles (OSError: none); SetConsoleMode fails for `refusing` handles and the bit does not stick for
    `forgetful` ones. `fail` maps an operation (WinDLL, GetStdHandle, GetConsoleMode, SetConsoleMode,
    get_osfhandle, fileno) to what it does instead of its work (see act). `msvcrt`: True for a fake
    module, False for none, or the module itself. With `log`, every call is logged in order."""

    def __init__(self, modes=None, handles=None, std_handle=100, refusing=(), forgetful=(), msvcrt=True,
                 stdout=MISSING, stderr=MISSING, log=False, **fail):
        self.modes = {100: 0x3, 200: 0x3} if modes is None else modes
        self.handles = {1: 100, 2: 200} if handles is None else handles
        self.std_handle, self.refusing, self.forgetful = std_handle, set(refusing), set(forgetful)
        self.msvcrt, self.fail, self.log = msvcrt, fail, [] if log else None
        self.stdout = ConsoleStream(self, 1) if stdout is MISSING else stdout
        self.stderr = ConsoleStream(self, 2) if stderr is MISSING else stderr

    def record(self, *entry):
        if self.log is not None:
            self.log.append(entry)

    def enter(self, name, *args):
        """Logs the call; what `fail` says the operation does instead, or MISSING."""
        self.record(name, *args)
        return act(self.fail[name], *args) if name in self.fail else MISSING

    def WinDLL(self, name, use_last_error=False):
        answer = self.enter("WinDLL", name, use_last_error)
        if answer is not MISSING:
            return answer
        return types.SimpleNamespace(**{fn: Foreign(self, fn) for fn in ("GetStdHandle", "GetConsoleMode",
                                                                         "SetConsoleMode")})

    def GetStdHandle(self, which):
        answer = self.enter("GetStdHandle", which)
        return self.std_handle if answer is MISSING else answer

    def GetConsoleMode(self, handle, reference):
        if not isinstance(handle, int):
            raise ArgumentError("argument 1: wrong type")
        answer = self.enter("GetConsoleMode", handle)
        if answer is not MISSING:
            return answer
        if handle in self.modes:
            reference.obj.value = self.modes[handle]
        return int(handle in self.modes)

    def SetConsoleMode(self, handle, mode):
        answer = self.enter("SetConsoleMode", handle, mode)
        if answer is not MISSING:
            return answer
        if handle not in self.modes or handle in self.refusing:
            return 0
        if handle not in self.forgetful:
            self.modes[handle] = mode
        return 1

    def get_osfhandle(self, fd):
        answer = self.enter("get_osfhandle", fd)
        if answer is not MISSING:
            return answer
        if self.handles.get(fd, OSError) is OSError:
            raise OSError(9, "Bad file descriptor")
        return self.handles[fd]

    def modules(self):
        wintypes = types.ModuleType("ctypes.wintypes")
        wintypes.DWORD, wintypes.HANDLE, wintypes.BOOL = DWORD, HANDLE, BOOL
        ctypes = types.ModuleType("ctypes")
        ctypes.WinDLL, ctypes.wintypes = self.WinDLL, wintypes
        ctypes.POINTER = lambda target: ("POINTER", target)
        ctypes.byref = lambda obj: types.SimpleNamespace(obj=obj)
        msvcrt = self.msvcrt
        if msvcrt is True:
            msvcrt = types.ModuleType("msvcrt")
            msvcrt.get_osfhandle = self.get_osfhandle
        # None in sys.modules: the import raises ModuleNotFoundError
        return {"ctypes": ctypes, "ctypes.wintypes": wintypes, "msvcrt": msvcrt or None}


class ConsoleStream:
    def __init__(self, console, fd):
        self.console, self.fd = console, fd

    def fileno(self):
        answer = self.console.enter("fileno", self.fd)
        return self.fd if answer is MISSING else answer


def windows(console):
    """sys.platform "win32", the console's streams as sys.stdout and sys.stderr and its modules importable."""
    @contextlib.contextmanager
    def patch():
        saved = {name: sys.modules.get(name, MISSING) for name in ("ctypes", "ctypes.wintypes", "msvcrt")}
        sys.modules.update(console.modules())
        try:
            with attributes(sys, platform="win32", stdout=console.stdout, stderr=console.stderr):
                yield
        finally:
            for name, module in saved.items():
                if module is MISSING:
                    sys.modules.pop(name, None)
                else:
                    sys.modules[name] = module
    return patch


@contextlib.contextmanager
def process_environment(**values):
    """The real os.environ with `values` set (None: unset) for the duration."""
    import os
    saved = {name: os.environ.get(name) for name in values}
    try:
        for name, value in values.items():
            if value is None:
                os.environ.pop(name, None)
            else:
                os.environ[name] = value
        yield
    finally:
        for name, value in saved.items():
            if value is None:
                os.environ.pop(name, None)
            else:
                os.environ[name] = value


CLEAN = dict.fromkeys(("NO_COLOR", "FORCE_COLOR", "TERM_PROGRAM", "VSCODE_PID", "VSCODE_IPC_HOOK", "PYCHARM_HOSTED",
                       "WT_SESSION", "ConEmuANSI", "ANSICON", "COLORTERM"))
LEVEL = ("detect_color_level",)
SUPPORT = ("supports_color", "detect_color_level")
VT = ("enable_windows_vt",)
TRY = ("enable_windows_vt", "enable_windows_vt._try_enable")
Other = types.SimpleNamespace(NONE="none", BASIC="basic", EXTENDED="extended", TRUECOLOR="truecolor")


class WindowsSys(types.ModuleType):
    @property
    def platform(self):
        return "win32"


def platform_after_class_switch():
    # A module's class can change under it without any dict changing: sys.platform must still be
    # read afresh.
    module = detect.sys
    detect_color_level(Stream(True))
    module.__class__ = WindowsSys
    try:
        return detect_color_level(Stream(True))
    finally:
        module.__class__ = types.ModuleType


def fake_level(what):
    def detect_color_level(stream=None):
        return act(what, stream)
    return detect_color_level


def detect_cases():
    d = detect
    tty, pipe = Stream(True), Stream(False)
    # sys.stdout (the stream under test) deletes itself from sys while its isatty runs.
    self_deleting_sys = fake_sys(stdout=Stream(meanwhile(lambda: vars(self_deleting_sys).pop("stdout", None),
                                                         lambda stream: True)))
    yield from [
        # detect_color_level: the decision procedure
        case("detect_color_level TERM 256", ok(ColorLevel.EXTENDED), detect_color_level, tty,
             patch=environment({"TERM": "xterm-256color"})),
        case("detect_color_level COLORTERM", ok(ColorLevel.TRUECOLOR), detect_color_level, tty,
             patch=environment({"TERM": "dumb", "COLORTERM": "24BIT"})),
        case("detect_color_level nothing set", ok(ColorLevel.NONE), detect_color_level, tty, patch=environment({})),
        case("detect_color_level pipe", ok(ColorLevel.NONE), detect_color_level, pipe,
             patch=environment({"TERM": "xterm"})),
        case("detect_color_level NO_COLOR", ok(ColorLevel.NONE), detect_color_level, Stream(KI),
             patch=environment({"NO_COLOR": "0", "FORCE_COLOR": "3"})),
        case("detect_color_level FORCE_COLOR", ok(ColorLevel.EXTENDED), detect_color_level, Stream(KI),
             patch=environment({"FORCE_COLOR": "2"})),
        case("detect_color_level FORCE_COLOR other", ok(ColorLevel.BASIC), detect_color_level, pipe,
             patch=environment({"FORCE_COLOR": "FALSE"})),
        case("detect_color_level IDE on win32", ok(ColorLevel.TRUECOLOR), detect_color_level, Stream(KI),
             patch=environment({"PYCHARM_HOSTED": "1"}, platform="win32")),
        case("detect_color_level Windows Terminal", ok(ColorLevel.TRUECOLOR), detect_color_level, tty,
             patch=environment({"WT_SESSION": "x"}, platform="win32")),
        case("detect_color_level ANSICON", ok(ColorLevel.BASIC), detect_color_level, tty,
             patch=environment({"ANSICON": "1", "COLORTERM": "truecolor"}, platform="win32")),
        case("detect_color_level sys.stdout", ok(ColorLevel.BASIC), detect_color_level,
             patch=environment({"TERM": "xterm"}, stdout=tty)),
        case("detect_color_level stdout without isatty", ok(ColorLevel.NONE), detect_color_level, None,
             patch=environment({"TERM": "xterm"}, stdout=NoIsatty())),
        case("detect_color_level isatty lookup AttributeError", ok(ColorLevel.NONE), detect_color_level,
             IsattyProperty(AttributeError), patch=environment({"TERM": "xterm"})),
        case("detect_color_level isatty gone when called", err(AttributeError, "isatty has gone", *LEVEL),
             lambda: detect_color_level(VanishingIsatty()), patch=environment({"TERM": "xterm"})),
        # os.environ is read for each variable: the second read of the call misses it
        case("detect_color_level os.environ under a key equal once",
             err(AttributeError, "module 'os' has no attribute 'environ'", *LEVEL),
             lambda: key_equal_once(vars(detect.os), "environ", lambda: detect_color_level(tty)),
             patch=environment({"TERM": "xterm-256color"})),
        case("detect_color_level ColorLevel under a key equal once", ok((ColorLevel.BASIC, "NameError")),
             key_equal_once, vars(d), "ColorLevel", lambda: detect_color_level(tty), patch=environment({"TERM": "xterm"})),
        Case("supports_color through detect_color_level = supports_color", lambda: in_small_stack(supports_color, tty),
             Raises(RecursionError, None, None), patched(d, detect_color_level=supports_color)),
        case("detect_color_level keyword", ok(ColorLevel.BASIC), detect_color_level, stream=tty,
             patch=environment({"TERM": "xterm"})),
        case("detect_color_level plain dict environ", ok(ColorLevel.EXTENDED), detect_color_level, tty,
             patch=patched(d, os=types.SimpleNamespace(environ={"TERM": "screen-256color"}))),
        case("detect_color_level process environment", ok(ColorLevel.EXTENDED), detect_color_level, tty,
             patch=lambda: process_environment(**CLEAN, TERM="xterm-256color")),
        case("detect_color_level non-str NO_COLOR", ok(ColorLevel.NONE), detect_color_level, tty,
             patch=environment({"NO_COLOR": 0})),
        # missing names
        case("detect_color_level os deleted", err(NameError, "name 'os' is not defined", *LEVEL),
             detect_color_level, tty, patch=patched(d, os=MISSING)),
        case("detect_color_level sys deleted", err(NameError, "name 'sys' is not defined", *LEVEL),
             detect_color_level, tty, patch=lambda: _stacked(environment({})(), rebound(d, sys=MISSING))),
        case("detect_color_level ColorLevel deleted", err(NameError, "name 'ColorLevel' is not defined", *LEVEL),
             detect_color_level, tty, patch=environment({}, ColorLevel=MISSING)),
        case("detect_color_level os without environ", err(AttributeError, None, *LEVEL), detect_color_level, tty,
             patch=patched(d, os=types.ModuleType("os"))),
        case("detect_color_level sys without stdout", err(AttributeError, None, *LEVEL), detect_color_level,
             patch=lambda: _stacked(environment({})(), rebound(d, sys=_without(fake_sys(), "stdout")))),
        # hostile os.environ
        case("detect_color_level environ get raises", err(OSError, "hostile", *LEVEL, callback="get"),
             detect_color_level, tty, patch=patched(d, os=fake_os(Environ(OSError)), sys=fake_sys())),
        case("detect_color_level environ get interrupted", ki(*LEVEL, callback="get"),
             detect_color_level, tty, patch=patched(d, os=fake_os(Environ(KI, {"TERM": 0})), sys=fake_sys())),
        case("detect_color_level environ gives int TERM", err(AttributeError, None, *LEVEL), detect_color_level, tty,
             patch=environment({"TERM": 256})),
        case("detect_color_level environ value lower interrupted", ki(*LEVEL, callback="lower"),
             detect_color_level, tty, patch=environment({"COLORTERM": Value("x", lower=KI)})),
        case("detect_color_level environ value lower gives int", err(TypeError, None, *LEVEL),
             detect_color_level, tty, patch=environment({"TERM": Value("x", lower=5)})),
        case("detect_color_level environ value untruthful", ki(*LEVEL, callback="__bool__"),
             detect_color_level, pipe, patch=environment({"VSCODE_PID": Value("1", bool=KI)}, platform="win32")),
        case("detect_color_level environ get replaces os.environ", ok(ColorLevel.NONE), detect_color_level, tty,
             keep=((d, "os"),), patch=lambda: _replacing_environ()),
        case("detect_color_level os is not a module", err(AttributeError, None, *LEVEL), detect_color_level, tty,
             patch=patched(d, os=5)),
        # hostile streams
        case("detect_color_level isatty raises", err(ValueError, "hostile", *LEVEL, callback="isatty"),
             detect_color_level, Stream(ValueError), patch=environment({"TERM": "xterm"})),
        case("detect_color_level isatty interrupted", ki(*LEVEL, callback="isatty"),
             detect_color_level, None, patch=environment({"TERM": "xterm"}, stdout=Stream(KI))),
        case("detect_color_level isatty not callable", err(TypeError, None, *LEVEL), detect_color_level,
             types.SimpleNamespace(isatty=True), patch=environment({"TERM": "xterm"})),
        case("detect_color_level isatty lookup raises", err(RuntimeError, "hostile", *LEVEL), detect_color_level,
             IsattyProperty(RuntimeError), patch=environment({"TERM": "xterm"})),
        case("detect_color_level isatty untruthful", ki(*LEVEL, callback="__bool__"),
             detect_color_level, Stream(Truth(KI)), patch=environment({"TERM": "xterm"})),
        case("detect_color_level isatty deletes sys.stdout", ok(ColorLevel.BASIC), detect_color_level,
             keep=((self_deleting_sys, "stdout"),),
             patch=patched(d, os=fake_os({"TERM": "xterm"}), sys=self_deleting_sys)),
        case("detect_color_level isatty rebinds ColorLevel", ok("extended"), detect_color_level,
             Stream(meanwhile(lambda: setattr(d, "ColorLevel", Other), lambda stream: True)),
             keep=((d, "ColorLevel"),), patch=environment({"TERM": "xterm-256color"})),
        case("detect_color_level isatty deletes ColorLevel", err(NameError, "name 'ColorLevel' is not defined",
                                                                 *LEVEL), detect_color_level,
             Stream(meanwhile(drop(d, "ColorLevel"), lambda stream: True)),
             keep=((d, "ColorLevel"),), patch=environment({"TERM": "xterm-256color"})),
        case("detect_color_level isatty switches platform", ok(ColorLevel.BASIC), detect_color_level,
             Stream(meanwhile(lambda: setattr(d.sys, "platform", "win32"), lambda stream: True)),
             patch=environment({"TERM": "xterm-256color"})),
        Case("detect_color_level sys.__class__ switched", platform_after_class_switch, ok(ColorLevel.BASIC),
             patch=environment({"TERM": "xterm-256color"})),
        case("detect_color_level sys.__dict__ lookup interrupted once", ki(*LEVEL, callback="act"),
             detect_color_level, tty, patch=lambda: rebound(d, os=fake_os({}), sys=_sys_interrupting_once())),
        case("detect_color_level platform comparison interrupted", ki(*LEVEL, callback="__eq__"),
             detect_color_level, tty, patch=environment({}, platform=Platform(KI))),
        case("detect_color_level ColorLevel without members", err(AttributeError, None, *LEVEL),
             detect_color_level, tty, patch=environment({}, ColorLevel=object())),
        # supports_color
        case("supports_color forced", ok(True), supports_color, pipe, patch=environment({"FORCE_COLOR": "1"})),
        case("supports_color NO_COLOR", ok(False), supports_color, patch=environment({"NO_COLOR": "1"})),
        case("supports_color TERM", ok(True), supports_color, stream=tty, patch=environment({"TERM": "vt100"})),
        case("supports_color detect_color_level deleted", err(NameError, "name 'detect_color_level' is not defined",
                                                              "supports_color"), supports_color,
             patch=patched(d, detect_color_level=MISSING)),
        case("supports_color through detect_color_level", ki(*SUPPORT, callback="isatty"),
             supports_color, Stream(KI), patch=environment({})),
        case("supports_color ColorLevel deleted", err(NameError, "name 'ColorLevel' is not defined", *SUPPORT),
             supports_color, tty, patch=environment({}, ColorLevel=MISSING)),
        case("supports_color replaced level", ok(True), supports_color, patch=environment(
            {}, detect_color_level=fake_level(2))),
        case("supports_color level not comparable", err(TypeError, None, "supports_color"), supports_color,
             patch=environment({}, detect_color_level=fake_level("x"))),
        case("supports_color level comparison interrupted", ki("supports_color", callback="__ge__"),
             supports_color, patch=environment({}, detect_color_level=fake_level(Bigger(2, KI)))),
        case("supports_color replaced level interrupted", ki("supports_color", callback="detect_color_level"),
             supports_color, patch=environment({}, detect_color_level=fake_level(KI))),
        case("supports_color other ColorLevel", ok("truecolor" > "none"), supports_color, tty,
             patch=environment({"COLORTERM": "truecolor"}, ColorLevel=Other)),
        # the Windows console functions
        case("_has_windows_console elsewhere", ok(False), has_windows_console),
        case("enable_windows_vt elsewhere", ok(False), enable_windows_vt),
        case("enable_windows_vt sys deleted", err(NameError, "name 'sys' is not defined", *VT), enable_windows_vt,
             patch=patched(d, sys=MISSING)),
        case("_has_windows_console platform comparison interrupted", ki("_has_windows_console", callback="__ne__"),
             has_windows_console, patch=environment({}, platform=Platform(KI))),
        case("_has_windows_console win32 without WinDLL", ok(False), has_windows_console,
             patch=environment({}, platform="win32")),
        case("enable_windows_vt win32 without WinDLL", ok(False), enable_windows_vt,
             patch=environment({}, platform="win32")),
        case("_has_windows_console console", ok(True), has_windows_console, patch=windows(Console())),
        case("_has_windows_console redirected", ok(False), has_windows_console, patch=windows(Console(modes={}))),
        case("_has_windows_console no handle", ok(False), has_windows_console, patch=windows(Console(std_handle=None))),
        case("_has_windows_console GetConsoleMode raises", ok(False), has_windows_console,
             patch=windows(Console(GetConsoleMode=OSError))),
        case("_has_windows_console WinDLL interrupted", ki("_has_windows_console", callback="WinDLL"),
             has_windows_console, patch=windows(Console(WinDLL=KI))),
        case("_has_windows_console answer untruthful", ki("_has_windows_console", callback="__bool__"),
             has_windows_console, patch=windows(Console(GetConsoleMode=Truth(KI)))),
        case("enable_windows_vt console", ok(True), enable_windows_vt, patch=windows(Console())),
        case("enable_windows_vt refused", ok(False), enable_windows_vt, patch=windows(Console(refusing={100, 200}))),
        case("enable_windows_vt bit does not stick", ok(False), enable_windows_vt,
             patch=windows(Console(forgetful={100, 200}))),
        case("enable_windows_vt without msvcrt", ok(True), enable_windows_vt, patch=windows(Console(msvcrt=False))),
        case("enable_windows_vt stdout None", ok(True), enable_windows_vt, patch=windows(Console(stdout=None))),
        case("enable_windows_vt get_osfhandle -1", ok(True), enable_windows_vt,
             patch=windows(Console(handles={1: -1, 2: -1}))),
        case("enable_windows_vt handle refused by ctypes", ok(False), enable_windows_vt,
             patch=windows(Console(handles={1: "bad", 2: "bad"}))),
        case("enable_windows_vt GetStdHandle raises", ok(False), enable_windows_vt,
             patch=windows(Console(msvcrt=False, GetStdHandle=OSError))),
        case("enable_windows_vt SetConsoleMode raises", ok(False), enable_windows_vt,
             patch=windows(Console(SetConsoleMode=OSError))),
        case("enable_windows_vt mode not a number", ok(False), enable_windows_vt,
             patch=windows(Console(modes={100: "x"}))),
        case("enable_windows_vt fileno interrupted", ki(*TRY, callback="fileno"), enable_windows_vt,
             patch=windows(Console(fileno=KI))),
        case("enable_windows_vt get_osfhandle interrupted", ki(*TRY, callback="get_osfhandle"),
             enable_windows_vt, patch=windows(Console(get_osfhandle=KI))),
        case("enable_windows_vt GetStdHandle interrupted", ki(*TRY, callback="GetStdHandle"),
             enable_windows_vt, patch=windows(Console(msvcrt=False, GetStdHandle=KI))),
        case("enable_windows_vt GetConsoleMode interrupted", ki(*TRY, callback="GetConsoleMode"),
             enable_windows_vt, patch=windows(Console(GetConsoleMode=KI))),
        case("enable_windows_vt SetConsoleMode interrupted", ki(*TRY, callback="SetConsoleMode"),
             enable_windows_vt, patch=windows(Console(SetConsoleMode=KI))),
        case("enable_windows_vt WinDLL interrupted", ki(*VT, callback="WinDLL"), enable_windows_vt,
             patch=windows(Console(WinDLL=KI))),
        case("enable_windows_vt msvcrt import interrupted", ki(*VT, callback="find_spec"), enable_windows_vt,
             patch=lambda: _stacked(windows(Console())(), _failing_import("msvcrt", KI))),
        case("enable_windows_vt sys.stderr missing", err(AttributeError, None, *VT), enable_windows_vt,
             patch=lambda: _stacked(windows(Console())(), rebound(d, sys=_without(fake_sys("win32"), "stderr")))),
    ]


def _sys_interrupting_once():
    # A key of sys.__dict__ that collides with "platform" and interrupts the first comparison only:
    # the interrupt must come out of the call, not be dropped and the lookup quietly retried.
    armed = []

    def interrupt_once(key, other):
        if armed == [True]:
            armed.append(False)
            act(KI)
        return False

    module = types.ModuleType("sys")
    vars(module)[Colliding("platform", Do(interrupt_once))] = "win32"  # probed before the real key
    module.platform, module.stdout, module.stderr = "linux", Stream(True), Stream(True)
    armed.append(True)
    return module


def _without(module, name):
    delattr(module, name)
    return module


@contextlib.contextmanager
def _failing_import(name, what):
    """`import name` doing what `what` says (raising, say) for the duration, by a meta path finder."""
    class Finder:
        @staticmethod
        def find_spec(fullname, path=None, target=None):
            return act(what) if fullname == name else None

    saved = sys.modules.pop(name, MISSING)
    sys.meta_path.insert(0, Finder)
    try:
        yield
    finally:
        sys.meta_path.remove(Finder)
        if saved is not MISSING:
            sys.modules[name] = saved


def _replacing_environ():
    # os.environ.get rebinds os.environ (a plain module's attribute) while detect reads it.
    module = fake_os(None)

    def get(key, *default):
        module.environ = {}
        return "" if key in ("NO_COLOR", "FORCE_COLOR") else None if not default else default[0]

    module.environ = types.SimpleNamespace(get=get)
    return rebound(detect, os=module, sys=fake_sys())


# ---- remembered lookups, the procedure's own reads, messages and traceback entries ----
#
# The functions remember what they read from module namespaces, plain modules and the tables between
# calls. What they remember must be held, let go when the dict lets go of it, never taken from a
# dict while another dict watcher is being told of a change to it (CPython tells watchers before it
# writes), and not trusted once foreign code ended the watch.


def _testcapi_watchers():
    """_testcapi, when this interpreter has it with its dict watchers; None otherwise."""
    try:
        import _testcapi
    except ImportError:
        return None
    return _testcapi if hasattr(_testcapi, "add_dict_watcher") and hasattr(_testcapi, "unwatch_dict") else None


TESTCAPI = _testcapi_watchers()
FAILING_WATCHER = 1  # the kind of _testcapi watcher whose callback fails, so CPython calls sys.unraisablehook


def told_to_another_watcher(space, change, call):
    """change(space) while a second dict watcher is told of it: its callback fails, and
    sys.unraisablehook, which CPython calls then, before the dict is written, runs call(). Returns
    what call() gave there and what it gives once the change is made."""
    watcher = TESTCAPI.add_dict_watcher(FAILING_WATCHER)
    during = []
    hook = sys.unraisablehook
    sys.unraisablehook = lambda unraisable: during.append(call())
    TESTCAPI.watch_dict(watcher, space)
    try:
        change(space)
    finally:
        TESTCAPI.unwatch_dict(watcher, space)
        TESTCAPI.clear_dict_watcher(watcher)
        sys.unraisablehook = hook
    return tuple(during), call()


def storing(name, value):
    return lambda space: space.__setitem__(name, value)


def unwatched(space):
    """Ends every watch of the dict `space` by the watchers CPython leaves to extensions (ids 2 to 7),
    tintwell's among them: what foreign code calling PyDict_Unwatch with tintwell's id does."""
    for watcher in range(2, 8):
        try:
            TESTCAPI.unwatch_dict(watcher, space)
        except ValueError:  # no watcher has this id
            pass


def _color_code_told():
    c = colors
    c._color_code = fake_color_code("one")
    fg_code("red")
    return told_to_another_watcher(vars(c), storing("_color_code", fake_color_code("two")), lambda: fg_code("red"))


def _named_entry_told():
    fg_code("red")
    try:
        return told_to_another_watcher(colors.NAMED_COLORS, storing("red", 99), lambda: fg_code("red"))
    finally:
        colors.NAMED_COLORS["red"] = 31


def _odd_table_cleared_told():
    # Until the clear is written, the table still holds its odd key: "red" in it compares equal
    # once, so the item lookup that follows the membership test misses.
    table = {OnceEqual("red"): 31, "blue": 34}
    with rebound(colors, NAMED_COLORS=table):
        fg_code("blue")
        return told_to_another_watcher(table, dict.clear, lambda: outcome(fg_code, "red"))


def outcome(fn, *args):
    """fn(*args), or the type and message of the exception it raises."""
    try:
        return fn(*args)
    except Exception as exc:
        return type(exc), str(exc)


def _stdout_told():
    module = detect.sys  # a stand-in
    module.stdout = Stream(True)
    detect_color_level()
    return told_to_another_watcher(vars(module), storing("stdout", Stream(False)), detect_color_level)


def _stand_in_first_read_told():
    # The first call to read a stand-in sys is made while another watcher is told of a change to
    # it: watched from then on, the stand-in is never told of that change.
    module = fake_sys(stdout=Stream(True))
    with rebound(detect, sys=module):
        return told_to_another_watcher(vars(module), storing("stdout", Stream(False)), detect_color_level)


def _table_first_read_told():
    # The first call to look at an empty NAMED_COLORS is made while another watcher is told that
    # it is being filled with an odd key: "red" in it then compares equal once, so the item lookup
    # that follows the membership test misses.
    table = {}
    with rebound(colors, NAMED_COLORS=table):
        return told_to_another_watcher(table, lambda table: table.update({OnceEqual("red"): 31}),
                                       lambda: outcome(fg_code, "red"))


def _color_code_unwatched():
    c = colors
    c._color_code = fake_color_code("one")
    fg_code("red")
    unwatched(vars(c))
    c._color_code = fake_color_code("two")  # frees "one": nothing else holds it
    return fg_code("red")


def _named_entry_unwatched():
    fg_code("red")
    unwatched(colors.NAMED_COLORS)
    colors.NAMED_COLORS["red"] = 99
    try:
        return fg_code("red")
    finally:
        colors.NAMED_COLORS["red"] = 31


def _stdout_unwatched():
    module = detect.sys
    module.stdout = Stream(True)
    detect_color_level()
    unwatched(vars(module))
    module.stdout = Stream(False)  # frees the first stream
    return detect_color_level()


class Finalising:
    """A _color_code stand-in that answers `answer` and runs `on_del` when it is freed."""

    def __init__(self, answer, on_del):
        self.answer, self.on_del = answer, on_del

    def __call__(self, color, *, foreground):
        return self.answer

    def __del__(self):
        self.on_del()


def _finaliser_rebinding_after_unwatch():
    # The watch ended, the cache holds the last reference to "one"; it goes when the next call
    # remembers "two", and its finaliser binds "three": the call after that must see "three".
    c = colors
    c._color_code = Finalising("one", lambda: setattr(c, "_color_code", fake_color_code("three")))
    fg_code("red")
    unwatched(vars(c))
    c._color_code = fake_color_code("two")
    first = fg_code("red")
    return first, fg_code("red")


def _finaliser_runs_at_rebinding():
    # Rebinding _color_code frees the old stand-in at once, as it does for Python code: its finaliser
    # has run before the next call.
    c = colors
    freed = []
    c._color_code = Finalising("one", lambda: freed.append(True))
    fg_code("red")
    c._color_code = fake_color_code("two")
    return bool(freed), fg_code("red")


def _stand_in_dropped():
    # detect.sys bound to one stand-in, then to another as the first is dropped; the first's weakref
    # callback makes the second's stdout a pipe. The first goes at once, as it does for Python code,
    # and no call sees the old stream.
    import weakref

    first, second = fake_sys(stdout=Stream(True)), fake_sys(stdout=Stream(True))
    detect.sys = first
    before = detect_color_level()
    ref = weakref.ref(first, lambda ref: setattr(second, "stdout", Stream(False)))
    detect.sys = second
    del first
    return before, ref() is None, detect_color_level(), detect_color_level()


@contextlib.contextmanager
def no_gc():
    """No cyclic collection (and so no finaliser it would run) inside the block."""
    gc.collect()
    was_enabled = gc.isenabled()
    gc.disable()
    try:
        yield
    finally:
        if was_enabled:
            gc.enable()


@contextlib.contextmanager
def probed_first(space, name, what):
    """A key of `space` that hashes like `name` and is probed before it, its __eq__ doing `what` (once
    in place): every lookup of `name` in `space` runs it."""
    armed = []
    value = space.pop(name)
    key = Colliding(name, Do(lambda key, other: act(what, key, other) if armed else False))
    space[key] = None
    space[name] = value
    armed.append(True)
    try:
        yield
    finally:
        armed.clear()
        del space[key]


def _second_read_changes_table(change):
    # NAMED_COLORS is read for the membership test and again for the item; the second read runs a
    # namespace key's __eq__, which changes the table between the two.
    table = dict(NAMED)
    reads = []

    def compare(key, other):
        reads.append(other)
        if len(reads) == 2:
            change(table)
        return False

    # Reads are counted: the garbage is collected before the key is planted, and no collection runs
    # after, so no finaliser (say, a dropped context that puts NAMED_COLORS back) reads it meanwhile.
    with no_gc(), rebound(colors, NAMED_COLORS=table), probed_first(vars(colors), "NAMED_COLORS", Do(compare)):
        return fg_code("red")


class Spy(dict):
    """A table that notes, for each key it is asked about, whether it is the object `watched`."""

    def __init__(self, data, watched, seen):
        super().__init__(data)
        self.watched, self.seen = watched, seen

    def get(self, key, default=None):
        self.seen.append(key is self.watched)
        return super().get(key, default)

    def __contains__(self, key):
        self.seen.append(key is self.watched)
        return super().__contains__(key)

    def __getitem__(self, key):
        self.seen.append(key is self.watched)
        return super().__getitem__(key)


def _tables_see_new_name(text):
    # color.lower() gives a new str: the tables never get the caller's own object.
    color = "".join(text)
    seen = []
    with rebound(colors, COLOR_ALIASES=Spy(ALIASES, color, seen), NAMED_COLORS=Spy(NAMED, color, seen)):
        return fg_code(color), seen


class Named(type):
    """A metaclass whose classes answer __name__ as `what` says (see act)."""

    @property
    def __name__(cls):
        return act(cls.what)


def named_instance(what):
    return Named("Stored", (), {"what": what})()


class Rendered(str):
    """A str that format() renders as `what` says."""

    def __new__(cls, text, what):
        self = super().__new__(cls, text)
        self.what = what
        return self

    def __format__(self, format_spec):
        return act(self.what, format_spec)


class Represented(str):
    """A colour name whose repr is `shown`."""

    def __new__(cls, text, shown):
        self = super().__new__(cls, text)
        self.shown = shown
        return self

    def __repr__(self):
        return self.shown


def _entry_globals_tampered():
    # A key planted in the globals of a traceback entry's frame (reached through f_globals) must
    # not cost the next exception its entries.
    try:
        fg_code("nope")
    except ValueError as exc:
        first = exc
    tb = first.__traceback__
    while tb.tb_frame.f_code.co_filename not in MODULE_FILES:
        tb = tb.tb_next
    with probed_first(tb.tb_frame.f_globals, "__name__", KI), probed_first(tb.tb_frame.f_globals, "__builtins__", KI):
        fg_code("nope")


def remembered_cases():
    c, d = colors, detect
    named = (f"未知颜色名称: <nope>。可用: {SORTED_NAMES}")
    yield from [
        # held values, let go when their dict lets go
        case("fg_code old _color_code freed at its rebinding", ok((True, "two")), _finaliser_runs_at_rebinding,
             keep=((c, "_color_code"),)),
        case("detect_color_level stand-in sys dropped", ok((ColorLevel.BASIC, True, ColorLevel.NONE,
                                                             ColorLevel.NONE)),
             _stand_in_dropped, keep=((d, "sys"),), patch=environment({"TERM": "xterm"})),
        # NAMED_COLORS read twice: the table the second read gives is indexed
        case("fg_code second read of NAMED_COLORS changes the entry", ok("\x1b[99m"), _second_read_changes_table,
             lambda table: table.__setitem__("red", 99)),
        case("fg_code second read of NAMED_COLORS removes the entry", err(KeyError, "'red'", *FG),
             _second_read_changes_table, lambda table: table.pop("red")),
        # the normalised name is a new str, as lower() makes it
        case("fg_code tables get a new str", ok(("\x1b[31m", [False, False, False])), _tables_see_new_name, "red"),
        case("fg_code tables get a new str, changed", ok(("\x1b[90m", [False, False, False])),
             _tables_see_new_name, "GREY"),
        # type(color).__name__ as the attribute reads, rendered by format
        case("fg_code type name from the metaclass", err(TypeError, "不支持的颜色类型: Shown", *FG),
             fg_code, named_instance("Shown")),
        case("fg_code type name rendered by format", err(TypeError, "不支持的颜色类型: <T>", *FG),
             fg_code, named_instance(Rendered("T", "<T>"))),
        case("fg_code type name not str", err(TypeError, "不支持的颜色类型: 5", *FG), fg_code, named_instance(5)),
        case("fg_code type name interrupted", ki(*FG, callback="__name__"), fg_code, named_instance(KI)),
        # the repr in the unknown-name message rendered by format
        case("fg_code unknown name, repr rendered by format", err(ValueError, named, *FG),
             fg_code, Represented("nope", Rendered("'nope'", "<nope>"))),
        case("fg_code unknown name, repr's format interrupted", ki(*FG, callback="__format__"),
             fg_code, Represented("nope", Rendered("'nope'", KI))),
        # traceback entries read nothing from the namespace
        case("fg_code entries with a hostile key before __name__", err(ValueError, unknown("nope"), *FG),
             fg_code, "nope", patch=lambda: probed_first(vars(c), "__name__", KI)),
        case("fg_code entries with a hostile key before __builtins__", err(ValueError, unknown("nope"), *FG),
             fg_code, "nope", patch=lambda: probed_first(vars(c), "__builtins__", KI)),
        case("detect_color_level entries with a hostile key before __name__",
             err(NameError, "name 'ColorLevel' is not defined", *LEVEL), detect_color_level, Stream(True),
             patch=lambda: _stacked(environment({}, ColorLevel=MISSING)(), probed_first(vars(d), "__name__", KI))),
        Case("fg_code entries after their globals were tampered with", _entry_globals_tampered,
             err(ValueError, unknown("nope"), *FG)),
    ]
    if TESTCAPI is None:  # the watcher cases need _testcapi's dict watchers
        return
    yield from [
        # a read made while another watcher is told of a change is not remembered as current
        case("fg_code ESC rebound while another watcher is told", ok((("\x1b[31m",), "<31m")),
             told_to_another_watcher, vars(c), storing("ESC", "<"), lambda: fg_code("red"), keep=((c, "ESC"),)),
        case("fg_code _color_code rebound while another watcher is told", ok((("one",), "two")), _color_code_told,
             keep=((c, "_color_code"),)),
        case("fg_code table entry changed while another watcher is told", ok((("\x1b[31m",), "\x1b[99m")),
             _named_entry_told),
        case("fg_code table of odd keys cleared while another watcher is told",
             ok((((KeyError, "'red'"),), (ValueError, "未知颜色名称: 'red'。可用: "))), _odd_table_cleared_told),
        case("detect_color_level sys.stdout rebound while another watcher is told",
             ok(((ColorLevel.BASIC,), ColorLevel.NONE)), _stdout_told, patch=environment({"TERM": "xterm"})),
        # ... nor from a dict first read while a change to it is under way
        case("detect_color_level stand-in sys first read while another watcher is told",
             ok(((ColorLevel.BASIC,), ColorLevel.NONE)), _stand_in_first_read_told,
             patch=environment({"TERM": "xterm"})),
        case("fg_code table first read while another watcher is told",
             ok((((ValueError, "未知颜色名称: 'red'。可用: "),), (KeyError, "'red'"))), _table_first_read_told),
        # a dict whose watch foreign code ended
        case("fg_code _color_code rebound after the namespace's watch ended", ok("two"), _color_code_unwatched,
             keep=((c, "_color_code"),)),
        case("fg_code table entry changed after the table's watch ended", ok("\x1b[99m"), _named_entry_unwatched),
        case("detect_color_level sys.stdout rebound after its watch ended", ok(ColorLevel.NONE), _stdout_unwatched,
             patch=environment({"TERM": "xterm"})),
        case("fg_code released value rebinds after the watch ended", ok(("two", "three")),
             _finaliser_rebinding_after_unwatch, keep=((c, "_color_code"),)),
    ]


# (function, positional arguments, keyword arguments, message). Rejected on entry: the traceback gets
# the function's own entry, none for the functions without parameters (they check before entering).
# Only an exact-str parameter given a str subclass attaches a note.
ARGUMENT_ERRORS = [
    (parse_hex, (), {}, "parse_hex() takes exactly 1 positional argument (0 given)"),
    (parse_hex, ("#fff", "#000"), {}, "parse_hex() takes exactly 1 positional argument (2 given)"),
    (parse_hex, (), {"color": "#fff", "x": 1}, "parse_hex() got an unexpected keyword argument 'x'"),
    (parse_hex, ("#fff",), {"color": "#fff"}, "parse_hex() got multiple values for keyword argument 'color'"),
    (parse_hex, (None,), {}, arg_type("color", "str", "NoneType")),
    (parse_hex, (b"#fff",), {}, arg_type("color", "str", "bytes")),
    (parse_hex, (Name("#fff"),), {}, arg_type("color", "str", "Name")),
    (rgb_to_ansi256, (1, 2), {}, "rgb_to_ansi256() takes exactly 3 positional arguments (2 given)"),
    (rgb_to_ansi256, (1, 2, 3, 4), {}, "rgb_to_ansi256() takes exactly 3 positional arguments (4 given)"),
    (rgb_to_ansi256, (), {"r": 1, "b": 3}, "rgb_to_ansi256() takes exactly 3 positional arguments (1 given)"),
    (rgb_to_ansi256, (), {"g": 2, "b": 3}, "rgb_to_ansi256() takes exactly 3 positional arguments (0 given)"),
    (rgb_to_ansi256, (1,), {"b": 3, "x": 0}, "rgb_to_ansi256() got an unexpected keyword argument 'x'"),
    (rgb_to_ansi256, ("1", 2, 3), {}, arg_type("r", "int", "str")),
    (rgb_to_ansi256, (1, None, 3), {}, arg_type("g", "int", "NoneType")),
    (validate_rgb, (1, 2), {}, "_validate_rgb() takes exactly 3 positional arguments (2 given)"),
    (validate_rgb, (1, 2), {"r": 1}, "_validate_rgb() got multiple values for keyword argument 'r'"),
    (validate_rgb, (0, 0, Name("1")), {}, arg_type("b", "int", "Name")),
    (validate_rgb, (300, "x", 0), {}, arg_type("g", "int", "str")),  # all conversions come before the checks
    (fg_code, (), {}, "fg_code() takes exactly 1 positional argument (0 given)"),
    (fg_code, (), {"colour": "red"}, "fg_code() got an unexpected keyword argument 'colour'"),
    (bg_code, ("red", "blue"), {}, "bg_code() takes exactly 1 positional argument (2 given)"),
    (bg_code, ("red",), {"color": "red"}, "bg_code() got multiple values for keyword argument 'color'"),
    (color_code, ("red",), {}, "_color_code() needs keyword-only argument foreground"),
    (color_code, ("red", True), {}, "_color_code() takes exactly 1 positional argument (2 given)"),
    (color_code, (), {"foreground": True}, "_color_code() takes exactly 1 positional argument (0 given)"),
    (color_code, ("red",), {"fg": True}, "_color_code() got an unexpected keyword argument 'fg'"),
    (detect_color_level, (1, 2), {}, "detect_color_level() takes at most 1 positional argument (2 given)"),
    (detect_color_level, (), {"stream": 1, "x": 2}, "detect_color_level() got an unexpected keyword argument 'x'"),
    (detect_color_level, (None,), {"stream": None},
     "detect_color_level() got multiple values for keyword argument 'stream'"),
    (supports_color, (1, 2), {}, "supports_color() takes at most 1 positional argument (2 given)"),
    (supports_color, (), {"stream": None, "other": 1}, "supports_color() got an unexpected keyword argument 'other'"),
    (enable_windows_vt, (1,), {}, "enable_windows_vt() takes no arguments (1 given)"),
    (enable_windows_vt, (1,), {"x": 1}, "enable_windows_vt() takes no keyword arguments"),
    (has_windows_console, (), {"x": 1}, "_has_windows_console() takes no keyword arguments"),
    (has_windows_console, (1,), {"x": 1}, "_has_windows_console() takes no keyword arguments"),
    (has_windows_console, (1, 2), {}, "_has_windows_console() takes no arguments (2 given)"),
]


def argument_error_cases():
    for fn, args, kwargs, message in ARGUMENT_ERRORS:
        entries = () if fn in (enable_windows_vt, has_windows_console) else (QUALIFIED[fn.__name__],)
        notes = int(fn is parse_hex and bool(args) and type(args[0]) is Name)
        yield Case(f"{fn.__name__} arguments {args!r} {kwargs!r}", functools.partial(fn, *args, **kwargs),
                   Raises(TypeError, message, entries, notes=notes))


def all_cases():
    return list(colors_cases()) + list(detect_cases()) + list(remembered_cases()) + list(argument_error_cases())


def threaded_calls(threads=3, calls=20):
    """Threads calling functions of both modules while another rebinds and restores their names."""
    import threading

    work = [lambda: fg_code("grey"), lambda: bg_code("#abc"), lambda: fg_code((1, 2.5, True)),
            lambda: rgb_to_ansi256(1, 2, 3), lambda: detect_color_level(Stream(True)), lambda: supports_color(None)]
    toggles = [(colors, "ESC", "<"), (colors, "COLOR_ALIASES", MISSING), (colors, "_validate_rgb", fake_validate(None)),
               (detect, "ColorLevel", Other), (detect.sys, "platform", "win32")]
    done = threading.Event()

    def worker():
        for _ in range(calls):
            for call in work:
                try:
                    call()
                except NameError:
                    pass

    def changer():
        while not done.is_set():
            for module, name, value in toggles:
                with rebound(module, **{name: value}):
                    pass

    def call():
        done.clear()
        mutator = threading.Thread(target=changer)
        workers = [threading.Thread(target=worker) for _ in range(threads)]
        mutator.start()
        for thread in workers:
            thread.start()
        for thread in workers:
            thread.join()
        done.set()
        mutator.join()

    return Case("threads calling while names change", call, ok(None),
                patch=lambda: _stacked(process_environment(**CLEAN, TERM="xterm-256color"),
                                       attributes(sys, stdout=Stream(True))))
