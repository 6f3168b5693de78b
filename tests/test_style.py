"""tintwell.style: painters at every level for every colour form and attribute, styles (their
sequences, equality, immutability), StrEnum themes, errors against fg_code's, the Windows console
set-up and the cache. Nesting is in test_style_nesting.py, the colour choice in test_style_colour.py."""

import collections
import enum
import itertools
import sys
import textwrap

import pytest

import tintwell
from conftest import Untouchable
from hardening.cases import Console, Stream, windows
from test_stubs import run_mypy_tool
from tintwell import colors, detect, style
from tintwell.colors import bg_code, fg_code
from tintwell.detect import ColorLevel
from tintwell.style import Painter, Style

CUBE = (0, 95, 135, 175, 215, 255)
PALETTE = [(CUBE[r], CUBE[g], CUBE[b]) for r, g, b in itertools.product(range(6), repeat=3)]
PALETTE += [(8 + 10 * n,) * 3 for n in range(24)]  # entries 16-255
XTERM16 = [(0, 0, 0), (205, 0, 0), (0, 205, 0), (205, 205, 0), (0, 0, 238), (205, 0, 205), (0, 205, 205),
           (229, 229, 229), (127, 127, 127), (255, 0, 0), (0, 255, 0), (255, 255, 0), (92, 92, 255),
           (255, 0, 255), (0, 255, 255), (255, 255, 255)]
ATTRIBUTES = {"bold": (1, 22), "dim": (2, 22), "italic": (3, 23), "underline": (4, 24), "blink": (5, 25),
              "reverse": (7, 27), "strike": (9, 29)}


def test_palette_rgb_is_xterms_palette():
    assert [style.palette_rgb(index) for index in range(256)] == XTERM16 + PALETTE
    assert style.palette_rgb(index=True) == XTERM16[1]
    for bad, error in [(256, ValueError), (-1, ValueError), (2**100, ValueError), ("1", TypeError),
                       (1.0, TypeError), (None, TypeError)]:
        with pytest.raises(error):
            style.palette_rgb(bad)


@pytest.mark.parametrize("function", [style.nearest_ansi256, style.nearest_ansi16])
@pytest.mark.parametrize("rgb", [(256, 0, 0), (0, -1, 0), (300, -5, 999), ("1", 2, 3), (1, None, 3), (300, "x", 0),
                                 (float("nan"), 0, 0), (0, 1j, 0), (2**100, 0, 0)])
def test_bad_components_raise_what_validation_raises(function, rgb):
    with pytest.raises(Exception) as expected:
        colors._validate_rgb(*rgb)
    with pytest.raises(expected.type) as raised:
        function(*rgb)
    assert str(raised.value) == str(expected.value)


def test_components_are_numbers_truncated():
    assert style.nearest_ansi256(255.9, True, 0.5) == style.nearest_ansi256(255, 1, 0)
    assert style.nearest_ansi16(r=255, g=128, b=0) == style.nearest_ansi16(255, 128, 0)
    assert style.perceived_difference((255, 128, 0), (255.5, 128, False)) == 0.0
    with pytest.raises(TypeError, match="'rgb2' must be an \\(r, g, b\\) tuple, not list"):
        style.perceived_difference((1, 2, 3), [1, 2, 3])
    with pytest.raises(ValueError, match="too many values to unpack"):
        style.perceived_difference((1, 2, 3), (1, 2, 3, 4))


class Level(enum.IntEnum):
    THREE = 3


class Name(str):
    pass


# (colour, SGR parameters of its foreground at BASIC, at EXTENDED); at TRUECOLOR it is fg_code's.
# The downgrades are the entries of least CIEDE2000 (as test_style_colour.py checks in general).
FORMS = [
    ("Bright Blue", "94", "94"),
    (Name("grey"), "90", "90"),
    (9, "91", "38;5;9"),
    (True, "31", "38;5;1"),
    (Level.THREE, "33", "38;5;3"),
    (196, "91", "38;5;196"),  # (255, 0, 0)
    (67, "94", "38;5;67"),  # (95, 135, 175): a muted blue stays blue, where RGB distance made it grey
    (244, "90", "38;5;244"),  # (128, 128, 128)
    ("#ff8000", "91", "38;5;208"),  # 214 by rgb_to_ansi256, but (255, 135, 0) is nearer than (255, 175, 0)
    (Name("#ff8000"), "91", "38;5;208"),  # a str subclass is taken by its text
    ("#ABC", "37", "38;5;110"),
    ((10, 20, 30), "30", "38;5;233"),
    (collections.namedtuple("RGB", "r g b")(0, 0, 238), "34", "38;5;21"),
    ((1.5, 2, True), "30", "38;5;16"),
    ((92, 92, 255), "94", "38;5;63"),
]


def expected_sequences(level, colour, basic, extended):
    """The foreground and background sequences a painter at `level` gives `colour`."""
    params = {ColorLevel.BASIC: basic, ColorLevel.EXTENDED: extended}.get(level)
    if level == ColorLevel.NONE:
        return "", ""
    if params is None:
        plain = str(colour) if isinstance(colour, str) else colour
        return fg_code(plain), bg_code(plain)
    background = "48;" + params[3:] if params.startswith("38;") else str(int(params) + 10)
    return f"\x1b[{params}m", f"\x1b[{background}m"


@pytest.mark.parametrize("level", list(ColorLevel))
@pytest.mark.parametrize("colour, basic, extended", FORMS, ids=repr)
def test_every_level_and_colour_form(level, colour, basic, extended):
    painter = Painter(level=level)
    fg, bg = expected_sequences(level, colour, basic, extended)
    for _ in range(2):  # the second time from the cache
        assert (painter.fg(colour), painter.bg(color=colour)) == (fg, bg)
    resets = {(True, True): "\x1b[39;49m", (True, False): "\x1b[39m", (False, True): "\x1b[49m"}
    for given in [(True, True), (True, False), (False, True)]:
        colours = {"fg": colour} if given[0] else {}
        colours.update({"bg": colour} if given[1] else {})
        want = fg * given[0] + bg * given[1] + "text" + resets[given] if level else "text"
        assert painter.paint("text", **colours) == want
        assert painter.style(**colours)("text") == want
    assert painter.paint("text", colour) == painter.paint("text", fg=colour)


@pytest.mark.parametrize("level", list(ColorLevel))
def test_attributes(level):
    painter = Painter(level=level)
    for name, (code, reset) in ATTRIBUTES.items():
        want = f"\x1b[{code}mx\x1b[{reset}m" if level else "x"
        assert painter.paint("x", **{name: True}) == want
        assert painter.style(**{name: 1})("x") == want
        assert getattr(painter.style(**{name: True}), name) is True
    every = painter.style("red", "blue", **dict.fromkeys(ATTRIBUTES, True))
    assert every.before == ("\x1b[1;2;3;4;5;7;9m" + painter.fg("red") + painter.bg("blue") if level else "")
    assert every.after == ("\x1b[22;23;24;25;27;29;39;49m" if level else "")
    assert painter.paint("x", bold=False, dim=0, italic=Level.THREE - 3) == "x"
    assert painter.paint("x", bold=2**100, underline=Level.THREE) == painter.paint("x", bold=True, underline=True)


def test_style_value_equality_and_hash():
    basic = Painter(level=ColorLevel.BASIC)
    red = basic.style(fg="red", bold=True)
    same = [basic.style("red", bold=1), basic.style(fg=1, bold=True), basic.style(fg=(205, 0, 0), bold=True),
            Painter(level=1).style(fg=Name("red"), bold=True)]
    different = [basic.style(fg="red"), basic.style(fg="red", dim=True), basic.style(bg="red", bold=True),
                 basic.style(fg="bright_red", bold=True), Painter(level=2).style(fg=1, bold=True)]
    for style_ in same:
        assert style_ == red and not style_ != red and hash(style_) == hash(red)
    for style_ in different:
        assert style_ != red and not style_ == red
    assert {style_: n for n, style_ in enumerate(same + [red])}[red] == len(same)
    assert len(set(different + [red])) == len(different) + 1
    # At NONE nothing is written: every style is the empty one.
    none = Painter(level=0)
    assert none.style(fg="red", bold=True) == none.style() == Painter(level=3).style()
    assert red != "red" and red != red.before
    with pytest.raises(TypeError):
        assert red < red


def test_style_attributes_and_repr():
    extended = Painter(level=ColorLevel.EXTENDED)
    warn = extended.style(fg=(255, 128, 0), bg=Name("blue"), bold=True, strike=True)
    assert repr(warn) == "Style(fg=(255, 128, 0), bg='blue', bold=True, strike=True, level=ColorLevel.EXTENDED)"
    assert (warn.fg, type(warn.bg), warn.bg, warn.level) == ((255, 128, 0), str, "blue", ColorLevel.EXTENDED)
    assert [getattr(warn, name) for name in ATTRIBUTES] == [True, False, False, False, False, False, True]
    assert (warn.before, warn.after) == ("\x1b[1;9m\x1b[38;5;208m\x1b[44m", "\x1b[22;29;39;49m")
    assert repr(Painter(level=0).style()) == "Style(level=ColorLevel.NONE)"
    assert Painter(level=0).style(fg="red", dim=True).dim is True  # asked for, though not written at NONE
    for name in ["before", "fg", "bold", "level", "anything"]:
        with pytest.raises(AttributeError):
            setattr(warn, name, None)
    with pytest.raises(TypeError):
        Style()
    with pytest.raises(TypeError):
        type(warn).x = 1  # immutable type
    for final in (Style, Painter):
        with pytest.raises(TypeError):
            type("Sub", (final,), {})


def test_copies_keep_the_level():
    import copy
    import pickle

    for level in ColorLevel:
        painter = Painter(level=level)
        for twin in (copy.copy(painter), copy.deepcopy(painter), pickle.loads(pickle.dumps(painter))):
            assert type(twin) is Painter and twin is not painter and twin.level is level
    warn = Painter(level=2).style(fg=(255, 128, 0), bold=True)
    assert copy.copy(warn) is warn and copy.deepcopy(warn) is warn  # immutable
    with pytest.raises(TypeError, match="cannot pickle"):
        pickle.dumps(warn)


class Theme(enum.StrEnum):
    ACCENT = "#ff8000"
    ERROR = "bright red"
    HIGHLIGHT = "bright_yellow"


@pytest.mark.parametrize("level", list(ColorLevel))
def test_strenum_themes_work_at_every_level(level):
    painter = Painter(level=level)
    for member in Theme:
        want = painter.paint("x", fg=member.value, bg=member.value, underline=True)
        assert painter.paint("x", fg=member, bg=member, underline=True) == want
        assert painter.style(member, member, underline=True)("x") == want
        assert painter.fg(member) == painter.fg(member.value)
        assert type(painter.style(member).fg) is str
    with pytest.raises(TypeError):  # the colour module itself still refuses a str subclass for hex
        fg_code(Theme.ACCENT)


def test_paint_text():
    text = Name("text")
    assert Painter(level=3).paint(text) is text
    assert Painter(level=0).paint(text, "red", bold=True) is text
    assert Painter(level=3).style()(text) is text
    assert Painter(level=3).paint("ü€𝄞", fg="red") == "\x1b[31mü€𝄞\x1b[39m"  # every str kind
    assert Painter(level=3).paint(text, fg="red") == "\x1b[31mtext\x1b[39m"
    for call in (lambda: Painter(level=0).paint(b"text", "red"), lambda: Painter(level=3).paint(text=None)):
        with pytest.raises(TypeError, match="^paint\\(\\) argument 'text' must be str, not (bytes|NoneType)$"):
            call()
    with pytest.raises(TypeError, match="^Style\\(\\) argument 'text' must be str, not int$"):
        Painter(level=3).style(bold=True)(1)


@pytest.mark.parametrize("call, message", [
    (lambda p: p.paint(), "paint() missing 1 required positional argument: 'text'"),
    (lambda p: p.paint("x", "red", "blue", True), "paint() takes from 1 to 3 positional arguments but 4 were given"),
    (lambda p: p.paint("x", colour="red"), "paint() got an unexpected keyword argument 'colour'"),
    (lambda p: p.paint("x", "red", fg="red"), "paint() got multiple values for argument 'fg'"),
    (lambda p: p.paint("x", bold="yes"), "paint() argument 'bold' must be True, False or an int, not str"),
    (lambda p: p.paint("x", strike=None), "paint() argument 'strike' must be True, False or an int, not NoneType"),
    (lambda p: p.style(dim=1.0), "style() argument 'dim' must be True, False or an int, not float"),
    (lambda p: p.style("red", "blue", True), "style() takes from 0 to 2 positional arguments but 3 were given"),
    (lambda p: p.fg(), "fg() missing 1 required positional argument: 'color'"),
    (lambda p: p.bg(1, 2), "bg() takes 1 positional argument but 2 were given"),
    (lambda p: p.style()("x", "y"), "Style() takes exactly one argument (2 given)"),
    (lambda p: p.style()(text="x"), "Style() takes no keyword arguments"),
    (lambda p: Painter(1, 2), "Painter() takes from 0 to 1 positional arguments but 2 were given"),
    (lambda p: Painter(levels=1), "Painter() got an unexpected keyword argument 'levels'"),
])
def test_argument_errors(call, message):
    painter = Painter(level=3)
    with pytest.raises(TypeError) as raised:
        call(painter)
    assert str(raised.value) == message
    assert painter.paint("x", fg="red") == "\x1b[31mx\x1b[39m"  # still usable


def test_keywords_matched_by_equality_too():
    names = {"".join(["f", "g"]): "red", "".join(["bo", "ld"]): True}  # equal to the interned names, not them
    assert Painter(level=1).paint(**{"text": "x"}, **names) == "\x1b[1m\x1b[31mx\x1b[22;39m"
    assert Painter(level=1).paint("x", **{Name("fg"): "red"}) == "\x1b[31mx\x1b[39m"
    # The usual shape (text, then the colours by position or as fg= and bg=) is bound apart: both routes agree.
    painter = Painter(level=2)
    for call in [lambda: painter.paint("x", "red", "#abc"), lambda: painter.paint("x", bg="#abc", fg="red"),
                 lambda: painter.paint("x", "red", bg="#abc"), lambda: painter.paint(text="x", fg="red", bg="#abc"),
                 lambda: painter.paint("x", "red", "#abc", bold=False)]:
        assert call() == "\x1b[31m\x1b[48;5;110mx\x1b[39;49m"


BAD_COLOURS = [256, -1, 1.0, 1.5, None, b"red", [1, 2, 3], (1, 2), (), (1, 2, 3, 4), (300, 0, 0), ("x", 0, 0),
               ([1], 2, 3), (1j, 2, 3), "nope", "", " red", "#", "#12", "#ggg", float("nan"), 2**100]


@pytest.mark.parametrize("level", list(ColorLevel))
@pytest.mark.parametrize("colour", BAD_COLOURS, ids=repr)
def test_errors_are_fg_codes(level, colour):
    painter = Painter(level=level)
    for seen in [1, (1, 2, 3), "#fff", "red"]:  # equal to some bad colours: the cache must not answer for them
        painter.paint("", seen, seen)
    calls = [(fg_code, painter.fg), (bg_code, painter.bg), (fg_code, lambda c: painter.paint("x", fg=c)),
             (bg_code, lambda c: painter.paint("x", bg=c)), (fg_code, lambda c: painter.style(c)),
             (bg_code, lambda c: painter.style(bg=c, bold=True))]
    for reference, call in calls[:2] if colour is None else calls:  # paint and style take None for no colour
        with pytest.raises(Exception) as want:
            reference(colour)
        for _ in range(2):
            with pytest.raises(want.type) as got:
                call(colour)
            assert str(got.value) == str(want.value)


@pytest.mark.parametrize("given, outcome", [
    (0, ColorLevel.NONE), (True, ColorLevel.BASIC), (2, ColorLevel.EXTENDED), (Level.THREE, ColorLevel.TRUECOLOR),
    (None, ColorLevel.NONE),  # detected: the pytest capture is no terminal
    (4, "ValueError: level must be 0-3 (NONE, BASIC, EXTENDED or TRUECOLOR), got 4"),
    (-1, "ValueError: level must be 0-3 (NONE, BASIC, EXTENDED or TRUECOLOR), got -1"),
    (2**70, f"ValueError: level must be 0-3 (NONE, BASIC, EXTENDED or TRUECOLOR), got {2**70}"),
    ("2", "TypeError: level must be a ColorLevel or an int 0-3, not str"),
    (2.0, "TypeError: level must be a ColorLevel or an int 0-3, not float"),
])
def test_given_level(given, outcome, monkeypatch):
    monkeypatch.setenv("NO_COLOR", "1")
    try:
        painter = Painter(Stream(True) if given is None else Untouchable(), level=given)  # a given level: no stream
    except (TypeError, ValueError) as exc:
        assert f"{type(exc).__name__}: {exc}" == outcome
        return
    assert painter.level is outcome
    assert repr(painter) == f"Painter(level=ColorLevel.{outcome.name})"
    assert Painter.__new__(Painter, level=painter.level).level is outcome  # not through vectorcall
    with pytest.raises(AttributeError):
        painter.level = ColorLevel.NONE


@pytest.mark.parametrize("tty, on_stdout", list(itertools.product([True, False], repeat=2)))
def test_detected_level(environment, tty, on_stdout):
    environment.setattr(sys, "stdout", Stream(tty) if on_stdout else Untouchable())
    environment.setattr(detect, "enable_windows_vt", Untouchable())  # not on Windows: no console set-up
    painter = Painter() if on_stdout else Painter(Stream(tty))
    assert painter.level is (ColorLevel.EXTENDED if tty else ColorLevel.NONE)


def test_detection_is_looked_up_at_the_call(environment):
    environment.setattr(detect, "detect_color_level", lambda stream=None: 1)
    assert Painter().level is ColorLevel.BASIC  # an int becomes the member
    environment.setattr(detect, "detect_color_level", lambda stream=None: "2")
    with pytest.raises(TypeError, match="level must be a ColorLevel or an int 0-3, not str"):
        Painter()


@pytest.mark.parametrize("which", [None, "stdout", "stderr", "__stdout__", "__stderr__", "other", "given"])
def test_windows_console_set_up_once_before_detection(environment, which):
    console, detected_after = Console(log=True), []

    def detecting(stream=None):
        detected_after.append(len(console.log))
        return ColorLevel.BASIC

    environment.setattr(detect, "detect_color_level", detecting)
    environment.setattr(sys, "__stdout__", Stream(True))  # the process's streams, not the current ones
    environment.setattr(sys, "__stderr__", Stream(True))
    with windows(console)():
        stream = Stream(True) if which == "other" else None if which in (None, "given") else getattr(sys, which)
        Painter(stream, level=ColorLevel.EXTENDED if which == "given" else None)
    enabled = which not in ("other", "given")
    calls = [entry[0] for entry in console.log]
    assert calls.count("WinDLL") == enabled and calls.count("SetConsoleMode") == enabled
    assert console.modes[100] & 4 == 4 * enabled  # stdout's console, in virtual-terminal mode
    assert detected_after == ([] if which == "given" else [len(console.log)])


def test_cache_is_bounded_and_keeps_what_is_used(monkeypatch):
    made = collections.Counter()
    monkeypatch.setattr(colors, "fg_code", lambda colour, code=fg_code: made.update([colour]) or code(colour))
    painter = Painter(level=ColorLevel.EXTENDED)
    painter.fg("red"), painter.fg("blue")
    for n in range(20_000):
        painter.paint("", fg=(n % 256, n // 256 % 256, 7), bg=(7, n % 256, n // 256 % 256))
        if n % 100 == 0:
            assert painter.fg("red") == "\x1b[31m"
        assert painter._cache_size <= 1024
    painter.fg("blue")
    assert (made["red"], made["blue"]) == (1, 2)  # red used all along, blue dropped and made again


def test_colour_functions_are_looked_up_at_the_call(monkeypatch):
    painter = Painter(level=ColorLevel.TRUECOLOR)
    monkeypatch.setattr(colors, "fg_code", lambda colour: f"<{colour}>")
    assert painter.paint("x", fg="red") == "<red>x\x1b[39m"
    monkeypatch.setattr(colors, "fg_code", lambda colour: 31)
    with pytest.raises(TypeError, match=r"^tintwell.colors.fg_code\(\) returned int, not str$"):
        painter.fg("blue")
    monkeypatch.delattr(colors, "bg_code")
    with pytest.raises(AttributeError):
        painter.bg("blue")
    assert painter.fg("red") == "<red>"  # kept from before


def test_sequences_of_a_rebound_esc_take_the_general_route(colors):
    # Not ASCII: the copy of a byte a character does not apply, the same result comes another way.
    colors.ESC = "«["
    painter = Painter(level=ColorLevel.TRUECOLOR)
    warn = painter.style(fg="red", bold=True)
    assert warn("ab") == painter.paint("ab", fg="red", bold=True) == "\x1b[1m«[31mab\x1b[22;39m"
    assert warn("a\x1b[39m€") == "\x1b[1m«[31ma\x1b[39m«[31m€\x1b[22;39m"


def test_module_is_typed(tmp_path):
    (tmp_path / "user.py").write_text(textwrap.dedent("""\
        import enum
        from typing import assert_type
        from tintwell.detect import ColorLevel
        from tintwell.style import (Color, Painter, Style, nearest_ansi16, nearest_ansi256, palette_rgb,
                                    perceived_difference)

        class Theme(enum.StrEnum):
            ACCENT = "#ff8000"

        painter = Painter(level=2)
        assert_type(painter.level, ColorLevel)
        assert_type(painter.fg("red") + painter.bg((1, 2, 3)) + painter.paint("x", 196, "#fff", bold=True), str)
        warn = painter.style(fg=Theme.ACCENT, underline=True)
        assert_type(warn, Style)
        assert_type(warn("x") + warn.before + warn.after, str)
        assert_type(warn.bold, bool)
        assert_type({warn: 1}[warn], int)
        assert_type(nearest_ansi256(1, 2, 3) + nearest_ansi16(1, 2, 3), int)
        assert_type(palette_rgb(208), tuple[int, int, int])
        assert_type(perceived_difference((1, 2, 3), (4, 5, 6)), float)
        colour: Color = (1, 2, 3)
        painter.fg(1.5)  # type: ignore[arg-type]
        painter.paint("x", bold="yes")  # type: ignore[arg-type]
        painter.level = ColorLevel.NONE  # type: ignore[misc]
        warn.bold = False  # type: ignore[misc]

        import io
        import logging
        from typing import TextIO
        from tintwell.style import ColorHandler, StyleOptions, strip_ansi, visible_width

        assert_type(ColorHandler(), ColorHandler[TextIO])
        alert: StyleOptions = {"fg": Theme.ACCENT, "bold": True}
        handler = ColorHandler(io.StringIO(), {logging.WARNING: alert, "ERROR": None}, part="line")
        assert_type(handler, ColorHandler[io.StringIO])
        assert_type(handler.setStream(io.StringIO()), io.StringIO | None)
        logging.basicConfig(level=logging.INFO, handlers=[ColorHandler()])
        assert_type(strip_ansi("x") + "y", str)
        assert_type(visible_width("x"), int)
        ColorHandler(styles={logging.WARNING: {"colour": "red"}})  # type: ignore[dict-item]
        ColorHandler(part="name")  # type: ignore[call-overload]
    """))
    proc = run_mypy_tool(["mypy", "--strict", "--no-incremental", "--cache-dir", str(tmp_path / "cache"),
                          style.__file__, "user.py"], tmp_path)
    assert proc.returncode == 0, proc.stdout + proc.stderr


def test_public_module_re_exports_the_painter():
    from tintwell import _paint

    assert (style.Painter, style.Style, style.nearest_ansi256) == (_paint.Painter, _paint.Style, _paint.nearest_ansi256)
    assert style.Painter.__module__ == "tintwell.style" and style.Color is tintwell.Color
    assert sorted(style.__all__) == sorted(["RESET_BG", "RESET_FG", "Color", "ColorHandler", "ColorLevel", "Painter",
                                            "Style", "StyleOptions", "nearest_ansi16", "nearest_ansi256", "palette_rgb",
                                            "perceived_difference", "strip_ansi", "visible_width"])


def test_stub_examples_hold():
    # The examples of the stub's English docstrings, run as doctests against the module.
    import ast
    import doctest
    from pathlib import Path

    source = (Path(tintwell.__file__).parent / "_paint.pyi").read_text()
    nodes = [node for node in ast.walk(ast.parse(source))
             if isinstance(node, (ast.Module, ast.ClassDef, ast.FunctionDef))]
    globs = {name: getattr(style, name) for name in style.__all__} | {"ColorLevel": ColorLevel}
    parser, runner = doctest.DocTestParser(), doctest.DocTestRunner(optionflags=doctest.ELLIPSIS)
    tried = 0
    for node in nodes:
        docstring = ast.get_docstring(node, clean=True)
        if docstring and ">>>" in docstring:
            runner.run(parser.get_doctest(docstring, dict(globs), getattr(node, "name", "module"), "_paint.pyi", 0))
            tried += 1
    assert tried >= 20 and runner.failures == 0, f"{runner.failures} failing example(s), see the output above"
