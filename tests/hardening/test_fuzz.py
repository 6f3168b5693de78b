"""Property-based fuzzing of every function, public and private, with arbitrary Python values: the
outcome is always a result of the function's own type or one of the exceptions it documents, never
a SystemError or a crash. Where an independent answer is cheap (the hex patterns, the decision
procedure of detect_color_level), the result must also equal it."""

import re
import types

from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

from tintwell import colors, detect

from .cases import rebound

FUZZ = settings(max_examples=300, deadline=None, suppress_health_check=[HealthCheck.too_slow])
ESC = "\x1b["
ColorLevel = detect.ColorLevel


class IntSub(int):
    pass


class FloatSub(float):
    pass


class StrSub(str):
    pass


class TupleSub(tuple):
    pass


class Index:
    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value


any_text = st.text(st.characters(exclude_categories=()), max_size=12)
numbers = st.one_of(
    st.integers(), st.integers(-300, 600), st.integers(-2**300, 2**300), st.booleans(),
    st.floats(), st.floats(-1e3, 1e3), st.complex_numbers(), st.fractions(),
    st.decimals(allow_nan=False), st.builds(IntSub, st.integers(-300, 600)), st.builds(FloatSub, st.floats()),
    st.builds(Index, st.integers(-300, 600)))
names = st.builds(lambda name, upper, sep: (name.upper() if upper else name).replace("_", sep),
                  st.sampled_from(sorted({*colors.NAMED_COLORS, *colors.COLOR_ALIASES})), st.booleans(),
                  st.sampled_from(["_", "-", " ", "."]))
hex_like = st.from_regex(r"#[0-9a-fA-FgG ]{0,7}\n{0,2}", fullmatch=True)
strings = st.one_of(any_text, names, hex_like, st.builds(StrSub, st.one_of(names, hex_like, any_text)))
scalars = st.one_of(numbers, strings, st.none(), st.binary(max_size=4), st.just(object()))
values = st.recursive(scalars, lambda inner: st.one_of(
    st.tuples(inner, inner, inner), st.lists(inner, max_size=5).map(tuple), st.lists(inner, max_size=4),
    st.lists(inner, max_size=4).map(TupleSub)), max_leaves=8)

# What each function may raise on its own or pass on from the conversions it makes.
ARITHMETIC = (TypeError, ValueError, OverflowError, ArithmeticError)


def outcome(function, *args, **kwargs):
    try:
        return function(*args, **kwargs), None
    except SystemError:
        raise
    except Exception as exc:  # the property checks which ones are allowed
        return None, exc


def converted(value):
    """int(value) as the int-parameter rule takes it, or None where it raises."""
    try:
        return value if type(value) is int else int(value)
    except Exception:
        return None


@FUZZ
@given(strings | scalars)
def test_parse_hex(color):
    result, exc = outcome(colors.parse_hex, color)
    if type(color) is not str:
        assert isinstance(exc, TypeError)
        return
    digits = re.match(r"^#([0-9a-fA-F]{6})$", color) or re.match(r"^#([0-9a-fA-F]{3})$", color)
    if digits is None:
        assert isinstance(exc, ValueError) and repr(color) in str(exc)
        return
    text = digits.group(1) if len(digits.group(1)) == 6 else "".join(ch * 2 for ch in digits.group(1))
    assert result == tuple(int(text[i:i + 2], 16) for i in (0, 2, 4))


@FUZZ
@given(values, values, values)
def test_validate_rgb(r, g, b):
    result, exc = outcome(colors._validate_rgb, r, g, b)
    if exc is None:
        assert result is None
        assert all(0 <= converted(v) <= 255 for v in (r, g, b))
    else:
        assert isinstance(exc, ARITHMETIC), repr(exc)


@FUZZ
@given(numbers | scalars, numbers | scalars, numbers | scalars)
def test_rgb_to_ansi256(r, g, b):
    result, exc = outcome(colors.rgb_to_ansi256, r, g, b)
    if exc is not None:
        assert isinstance(exc, ARITHMETIC), repr(exc)
        return
    assert type(result) is int
    if all(0 <= converted(v) <= 255 for v in (r, g, b)):
        assert 16 <= result <= 255


@FUZZ
@given(values, st.one_of(st.booleans(), st.none(), st.integers(), any_text))
def test_color_code(color, foreground):
    calls = [(colors.fg_code, (color,), {}, "38"), (colors.bg_code, (), {"color": color}, "48"),
             (colors._color_code, (color,), {"foreground": foreground}, "38" if foreground else "48")]
    for function, args, kwargs, layer in calls:
        result, exc = outcome(function, *args, **kwargs)
        if exc is not None:
            assert isinstance(exc, ARITHMETIC), repr(exc)
            continue
        assert type(result) is str and result.startswith(ESC) and result.endswith("m"), result
        if type(color) is tuple and len(color) == 3 and all(0 <= converted(v) <= 255 for v in color):
            assert result == f"{ESC}{layer};2;{';'.join(str(converted(v)) for v in color)}m"


@settings(FUZZ, max_examples=150)
@given(st.lists(values, max_size=4), st.dictionaries(st.sampled_from(
    ["color", "r", "g", "b", "foreground", "stream", "colour"]), values, max_size=3))
def test_any_call_shape(args, kwargs):
    results = {colors.parse_hex: tuple, colors._validate_rgb: type(None), colors.rgb_to_ansi256: int,
               colors.fg_code: str, colors.bg_code: str, colors._color_code: str,
               detect.detect_color_level: ColorLevel, detect.supports_color: bool,
               detect._has_windows_console: bool, detect.enable_windows_vt: bool}
    for function, kind in results.items():
        result, exc = outcome(function, *args, **kwargs)
        if exc is None:
            assert type(result) is kind, (function, result)
        else:
            assert isinstance(exc, ARITHMETIC), (function, repr(exc))


VARIABLES = ("NO_COLOR", "FORCE_COLOR", "TERM_PROGRAM", "VSCODE_PID", "VSCODE_IPC_HOOK", "PYCHARM_HOSTED",
             "WT_SESSION", "ConEmuANSI", "ANSICON", "COLORTERM", "TERM")
env_values = st.one_of(st.none(), any_text, st.sampled_from(
    ["0", "1", "2", "3", "false", "False", "true", "True", "vscode", "ON", "on", "truecolor", "24BIT", "dumb",
     "xterm-256color", "", "yes"]))
platforms = st.one_of(st.sampled_from(["linux", "win32", "cygwin", "darwin", "WIN32"]), any_text)


def expected_level(environ, platform, tty):
    """The decision procedure, written out independently."""
    if environ.get("NO_COLOR", "") != "":
        return ColorLevel.NONE
    force = environ.get("FORCE_COLOR", "")
    if force != "":
        return {"0": 0, "false": 0, "False": 0, "1": 1, "true": 1, "True": 1, "2": 2, "3": 3}.get(force, 1)
    if platform == "win32" and (environ.get("TERM_PROGRAM") == "vscode" or environ.get("VSCODE_PID")
                                or environ.get("VSCODE_IPC_HOOK") or environ.get("PYCHARM_HOSTED")):
        return ColorLevel.TRUECOLOR
    if not tty:
        return ColorLevel.NONE
    if platform == "win32":
        return 3 if environ.get("WT_SESSION") or environ.get("ConEmuANSI") == "ON" else 1
    if environ.get("COLORTERM", "").lower() in ("truecolor", "24bit"):
        return ColorLevel.TRUECOLOR
    term = environ.get("TERM", "").lower()
    return 0 if term == "dumb" else 2 if "256color" in term else 1 if term else 0


class Stream:
    def __init__(self, tty):
        self.tty = tty

    def isatty(self):
        return self.tty


@FUZZ
@given(st.fixed_dictionaries({}, optional=dict.fromkeys(VARIABLES, env_values)), platforms, st.booleans(),
       st.booleans())
def test_detect_color_level(environ, platform, tty, through_stdout):
    environ = {name: value for name, value in environ.items() if value is not None}
    stream = Stream(tty)
    fake_os = types.SimpleNamespace(environ=environ)
    fake_sys = types.SimpleNamespace(platform=platform, stdout=stream, stderr=stream)
    with rebound(detect, os=fake_os, sys=fake_sys):
        level = detect.detect_color_level(None if through_stdout else stream)
        supported = detect.supports_color(stream)
        windows = (detect._has_windows_console(), detect.enable_windows_vt()) if platform != "win32" else None
    assert type(level) is ColorLevel and level == expected_level(environ, platform, tty)
    assert supported is (level > ColorLevel.NONE)
    assert windows in (None, (False, False))

