"""tintwell.style: the nearest-colour mappings against a brute-force search, painters at every level
for every colour form, their errors against fg_code's, the Windows console set-up and the cache."""

import collections
import enum
import itertools
import random
import sys
import textwrap

import pytest

from conftest import VARIABLES, Untouchable
from hardening.cases import Console, Stream, windows
from test_stubs import run_mypy_tool
from tintwell import colors, style
from tintwell.colors import RESET_BG, RESET_FG, bg_code, fg_code
from tintwell.detect import ColorLevel
from tintwell.style import Painter, nearest_ansi16, nearest_ansi256

CUBE = (0, 95, 135, 175, 215, 255)
PALETTE = [(CUBE[r], CUBE[g], CUBE[b]) for r, g, b in itertools.product(range(6), repeat=3)]
PALETTE += [(8 + 10 * n,) * 3 for n in range(24)]  # entries 16-255
XTERM16 = [(0, 0, 0), (205, 0, 0), (0, 205, 0), (205, 205, 0), (0, 0, 238), (205, 0, 205), (0, 205, 205),
           (229, 229, 229), (127, 127, 127), (255, 0, 0), (0, 255, 0), (255, 255, 0), (92, 92, 255),
           (255, 0, 255), (0, 255, 255), (255, 255, 255)]
# A coarse grid with the values where the nearest cube level or grey changes, colours as near to a
# cube entry as to a grey, and random colours.
GRID = sorted({*range(0, 256, 15), 47, 48, 115, 116, 155, 156, 195, 196, 235, 236, 13, 14, 255})
TIES = [(0, 0, 12), (4, 8, 0), (29, 63, 90), (34, 85, 78), (52, 125, 45), (62, 101, 34), (112, 51, 34)]
_rng = random.Random(13)
COLOURS = [*itertools.product(GRID, repeat=3), *TIES,
           *((_rng.randrange(256), _rng.randrange(256), _rng.randrange(256)) for _ in range(2000))]


def brute_force(entries, rgb):
    """Position of the entry nearest to rgb; the first of equally near ones."""
    distances = [(er - rgb[0]) ** 2 + (eg - rgb[1]) ** 2 + (eb - rgb[2]) ** 2 for er, eg, eb in entries]
    return distances.index(min(distances))


def test_nearest_functions_agree_with_brute_force():
    assert [nearest_ansi256(*rgb) for rgb in COLOURS] == [16 + brute_force(PALETTE, rgb) for rgb in COLOURS]
    assert [nearest_ansi16(*rgb) for rgb in COLOURS] == [brute_force(XTERM16, rgb) for rgb in COLOURS]
    assert nearest_ansi256(255.9, True, 0.5) == nearest_ansi256(255, 1, 0)  # numbers are truncated


def test_palette_rgb_is_the_palette_searched():
    assert [style.palette_rgb(index) for index in range(256)] == XTERM16 + PALETTE
    for bad, error in [(256, ValueError), (-1, ValueError), ("1", TypeError), (1.0, TypeError)]:
        with pytest.raises(error):
            style.palette_rgb(bad)


@pytest.mark.parametrize("function", [nearest_ansi256, nearest_ansi16])
@pytest.mark.parametrize("rgb", [(256, 0, 0), (0, -1, 0), (300, -5, 999), ("1", 2, 3), (1, None, 3), (300, "x", 0),
                                 (float("nan"), 0, 0), (0, 1j, 0)])
def test_bad_components_raise_what_validation_raises(function, rgb):
    with pytest.raises(Exception) as expected:
        colors._validate_rgb(*rgb)
    with pytest.raises(expected.type) as raised:
        function(*rgb)
    assert str(raised.value) == str(expected.value)


class Level(enum.IntEnum):
    THREE = 3


class Name(str):
    pass


# (colour, SGR parameters of its foreground at BASIC, at EXTENDED); at TRUECOLOR it is fg_code's.
FORMS = [
    ("Bright Blue", "94", "94"),
    (Name("grey"), "90", "90"),
    (9, "91", "38;5;9"),
    (True, "31", "38;5;1"),
    (Level.THREE, "33", "38;5;3"),
    (196, "91", "38;5;196"),  # (255, 0, 0)
    (67, "90", "38;5;67"),  # (95, 135, 175)
    (244, "90", "38;5;244"),  # (128, 128, 128)
    ("#ff8000", "33", "38;5;208"),  # 214 by rgb_to_ansi256, but (255, 135, 0) is nearer than (255, 175, 0)
    ("#ABC", "37", "38;5;146"),
    ((10, 20, 30), "30", "38;5;233"),
    (collections.namedtuple("RGB", "r g b")(0, 0, 238), "34", "38;5;21"),
    ((1.5, 2, True), "30", "38;5;16"),
    ((92, 92, 255), "94", "38;5;63"),
]


@pytest.mark.parametrize("level", list(ColorLevel))
@pytest.mark.parametrize("colour, basic, extended", FORMS, ids=repr)
def test_every_level_and_colour_form(level, colour, basic, extended):
    painter = Painter(level=level)
    params = {ColorLevel.BASIC: basic, ColorLevel.EXTENDED: extended}.get(level)
    if params is None:
        want = {"fg": fg_code(colour), "bg": bg_code(colour)} if level else {"fg": "", "bg": ""}
    else:
        background = "48;" + params[3:] if params.startswith("38;") else str(int(params) + 10)
        want = {"fg": f"\x1b[{params}m", "bg": f"\x1b[{background}m"}
    for _ in range(2):  # the second time from the cache
        assert (painter.fg(colour), painter.bg(color=colour)) == (want["fg"], want["bg"])
    painted = want["fg"] + want["bg"] + "text" + RESET_BG + RESET_FG if level else "text"
    assert painter.paint("text", fg=colour, bg=colour) == painted
    assert painter.paint("text", colour) == (want["fg"] + "text" + RESET_FG if level else "text")
    assert painter.paint("text", bg=colour) == (want["bg"] + "text" + RESET_BG if level else "text")


def test_paint_text():
    text = Name("text")
    assert Painter(level=3).paint(text) is text
    with pytest.raises(TypeError, match="^paint\\(\\) argument 'text' must be str, not bytes$"):
        Painter(level=0).paint(b"text", "red")


BAD_COLOURS = [256, -1, 1.0, 1.5, None, b"red", [1, 2, 3], (1, 2), (), (1, 2, 3, 4), (300, 0, 0), ("x", 0, 0),
               ([1], 2, 3), (1j, 2, 3), "nope", "", " red", "#", "#12", "#ggg", Name("#fff"), float("nan")]


@pytest.mark.parametrize("level", list(ColorLevel))
@pytest.mark.parametrize("colour", BAD_COLOURS, ids=repr)
def test_errors_are_fg_codes(level, colour):
    painter = Painter(level=level)
    for seen in [1, (1, 2, 3), "#fff", "red"]:  # equal to some bad colours: the cache must not answer for them
        painter.paint("", seen, seen)
    calls = [(fg_code, painter.fg), (bg_code, painter.bg), (fg_code, lambda c: painter.paint("x", fg=c)),
             (bg_code, lambda c: painter.paint("x", bg=c))]
    for reference, call in calls[:2] if colour is None else calls:  # paint takes None for no colour
        with pytest.raises(Exception) as want:
            reference(colour)
        for _ in range(2):
            with pytest.raises(want.type) as got:
                call(colour)
            assert str(got.value) == str(want.value)


@pytest.mark.parametrize("given, outcome", [
    (0, ColorLevel.NONE), (True, ColorLevel.BASIC), (2, ColorLevel.EXTENDED), (Level.THREE, ColorLevel.TRUECOLOR),
    (4, "ValueError: level must be 0-3 (NONE, BASIC, EXTENDED or TRUECOLOR), got 4"),
    (-1, "ValueError: level must be 0-3 (NONE, BASIC, EXTENDED or TRUECOLOR), got -1"),
    ("2", "TypeError: level must be a ColorLevel or an int 0-3, not str"),
    (2.0, "TypeError: level must be a ColorLevel or an int 0-3, not float"),
])
def test_given_level(given, outcome):
    try:
        painter = Painter(Untouchable(), level=given)  # the stream is not asked
    except (TypeError, ValueError) as exc:
        assert f"{type(exc).__name__}: {exc}" == outcome
        return
    assert painter.level is outcome
    with pytest.raises(AttributeError):
        painter.level = ColorLevel.NONE


@pytest.fixture
def environment(monkeypatch):
    for name in VARIABLES:
        monkeypatch.delenv(name, raising=False)
    monkeypatch.setenv("TERM", "xterm-256color")
    return monkeypatch


@pytest.mark.parametrize("tty, on_stdout", list(itertools.product([True, False], repeat=2)))
def test_detected_level(environment, tty, on_stdout):
    environment.setattr(sys, "stdout", Stream(tty) if on_stdout else Untouchable())
    environment.setattr(style, "enable_windows_vt", Untouchable())  # not on Windows: no console set-up
    painter = Painter() if on_stdout else Painter(Stream(tty))
    assert painter.level is (ColorLevel.EXTENDED if tty else ColorLevel.NONE)


@pytest.mark.parametrize("which", [None, "stdout", "stderr", "__stdout__", "__stderr__", "other", "given"])
def test_windows_console_set_up_once_before_detection(environment, which):
    console, detected_after = Console(log=True), []

    def detecting(stream=None):
        detected_after.append(len(console.log))
        return ColorLevel.BASIC

    environment.setattr(style, "detect_color_level", detecting)
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
    monkeypatch.setattr(style, "fg_code", lambda colour: made.update([colour]) or fg_code(colour))
    painter = Painter(level=ColorLevel.EXTENDED)
    painter.fg("red"), painter.fg("blue")
    for n in range(20_000):
        painter.paint("", fg=(n % 256, n // 256 % 256, 7), bg=(7, n % 256, n // 256 % 256))
        if n % 100 == 0:
            assert painter.fg("red") == "\x1b[31m"
        assert sum(len(cache) for cache in (painter._fg, painter._fg_old, painter._bg, painter._bg_old)) <= 1024
    painter.fg("blue")
    assert (made["red"], made["blue"]) == (1, 2)  # red used all along, blue dropped and made again


def test_module_is_typed(tmp_path):
    (tmp_path / "user.py").write_text(textwrap.dedent("""\
        from typing import assert_type
        from tintwell.detect import ColorLevel
        from tintwell.style import Color, Painter, nearest_ansi16, nearest_ansi256

        painter = Painter(level=2)
        assert_type(painter.level, ColorLevel)
        assert_type(painter.fg("red") + painter.bg((1, 2, 3)) + painter.paint("x", 196, "#fff"), str)
        assert_type(nearest_ansi256(1, 2, 3) + nearest_ansi16(1, 2, 3), int)
        colour: Color = (1, 2, 3)
        painter.fg(1.5)  # type: ignore[arg-type]
        painter.level = ColorLevel.NONE  # type: ignore[misc]
    """))
    proc = run_mypy_tool(["mypy", "--strict", "--no-incremental", "--cache-dir", str(tmp_path / "cache"),
                          style.__file__, "user.py"], tmp_path)
    assert proc.returncode == 0, proc.stdout + proc.stderr
