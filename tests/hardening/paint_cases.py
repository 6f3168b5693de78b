"""Hostile callers of the painter (tintwell.style, the module tintwell._paint): its success and error
paths, and objects and module attributes that misbehave while it works. Each case knows its
outcome, as in cases.py, whose machinery it uses; test_hostile.py and tools/leakcheck.py run these
with the rest of the catalogue."""

import contextlib
import enum
import functools
import sys

from tintwell import _colour_help, _paint, colors, detect
from tintwell.style import Painter, nearest_ansi16

from .cases import (FG, KI, MISSING, QUALIFIED, Case, Do, Idx, Items, Raises, Returns, Stream, _stacked, component,
                    err, ki, patched, rebound, storing, told_to_another_watcher, unknown)

BASIC, EXTENDED, TRUECOLOR = (Painter(level=level) for level in (1, 2, 3))
# A painter the hostile callbacks paint with while it is itself painting.
SHARED = Painter(level=2)


def fresh(level, method, *args, **kwargs):
    """A call on a painter made for it: every colour is worked out afresh."""
    return lambda: getattr(Painter(level=level), method)(*args, **kwargs)


def fill_shared(layers=("fg", "bg")):
    """Paints 300 distinct colours with SHARED: more than a generation of its cache, so it turns over."""
    for n in range(300):
        for layer in layers:
            getattr(SHARED, layer)((n % 256, n // 256, 9))


class Theme(enum.StrEnum):
    ACCENT = "#ff8000"


class OddStr(str):
    """A str subclass whose own methods all misbehave: the painter must use none of them."""

    def __str__(self):
        raise KI("hostile")

    def __hash__(self):
        raise KI("hostile")

    def __eq__(self, other):
        raise KI("hostile")

    def startswith(self, *args):
        raise KI("hostile")


class Shifting:
    """A component whose int() is 5 at first and 300 from the second conversion on."""

    def __init__(self):
        self.calls = 0

    def __index__(self):
        self.calls += 1
        return 5 if self.calls == 1 else 300


class IterOnce(tuple):
    """A tuple subclass that iterates as (1, 2, 3) once, then raises."""

    def __new__(cls):
        self = super().__new__(cls, (1, 2, 3))
        self.used = False
        return self

    def __iter__(self):
        if self.used:
            raise KI("hostile")
        self.used = True
        return iter((1, 2, 3))


class Linked(tuple):
    """A tuple subclass that can hold a reference, for cycles through a style."""


def style_in_a_cycle():
    colour = Linked((1, 2, 3))
    colour.style = EXTENDED.style(fg=colour)
    return None


def reentrant_fg_code(colour, code=colors.fg_code):
    fill_shared(layers=("bg",))  # the foreground would call this again
    return code(colour)


def rebind(name, value):
    if value is MISSING:
        vars(colors).pop(name, None)
    else:
        vars(colors)[name] = value
    return 0


def rebinding(name, value):
    """A component 0 whose __index__ rebinds tintwell.colors.<name> (put back after each call)."""
    return Idx(Do(lambda: rebind(name, value)))


def painting_mid_call():
    """A component whose __index__ turns the shared painter's caches over before answering."""
    return Idx(Do(lambda: (fill_shared(), 7)[1]))


def qualified(*names):
    return tuple(f"tintwell.colors.{name}" for name in names)


# ---- painters that follow sys.stdout ----

TTY, PIPE = Stream(True), Stream(False)


def on_terminal():
    """sys.stdout the terminal TTY; detection gives 2 for a stream whose isatty() is true, 0 otherwise."""
    return lambda: _stacked(rebound(sys, stdout=TTY), rebound(detect, detect_color_level=lambda stream=None: (
        2 * bool(stream.isatty()))))


def switch(stream):
    vars(sys)["stdout"] = stream


def follow_and_back():
    painter = Painter()
    warn = painter.style(fg="red", bold=True)
    seen = [painter.paint("x", fg="red"), warn("w")]
    switch(PIPE)
    seen += [painter.paint("x", fg="red"), warn("w"), warn.before, repr(painter), painter.fg("red")]
    switch(TTY)
    return seen + [painter.paint("x", fg="red"), warn("w"), painter._cache_size]


def following(step):
    """Two calls of a painter made on TTY, after sys.stdout became what `step` makes it."""
    def call():
        painter = Painter()
        step(painter)
        return painter.paint("x", fg="red"), painter.paint("x", fg="red")
    return call


def isatty_painting(painter):
    """A stream whose isatty() paints with `painter`, which is detecting for it."""
    return Stream(Do(lambda stream: (painter.paint("y", fg="blue"), True)[1]))


def moving_fg_code(painter):
    """fg_code that, for orange, moves sys.stdout to PIPE and paints there before answering."""
    real = colors.fg_code

    def code(colour):
        if colour == "#ff8000":
            switch(PIPE)
            painter.fg("blue")
        return real(colour)
    return code


def cache_after_a_move():
    painter = Painter()
    with rebound(colors, fg_code=moving_fg_code(painter)):
        made = painter.fg("#ff8000")
    return made, painter.fg("#ff8000"), painter._cache_size


class Dying:
    """A stream that paints with a painter when it is freed: released by that painter's detection."""

    def __init__(self, painter):
        self.painter = painter

    def isatty(self):
        return False

    def __del__(self):
        self.painter.paint("z", fg="green")


def stream_freed_by_the_painter():
    painter = Painter()
    switch(Dying(painter))
    first = painter.paint("x", fg="red")
    switch(TTY)  # the Dying stream's last reference is the painter's
    return first, painter.paint("x", fg="red")


class Collider:
    """A key of sys's namespace with the hash of "stdout", whose __eq__ raises while armed."""

    armed = False

    def __hash__(self):
        return hash("stdout")

    def __eq__(self, other):
        if Collider.armed:
            raise KI("hostile")
        return NotImplemented


@contextlib.contextmanager
def colliding_key():
    """A Collider put ahead of "stdout" in sys's namespace (stdout taken out and put back after it)."""
    space, key = vars(sys), Collider()
    stdout = space.pop("stdout")
    space[key] = None
    space["stdout"] = stdout
    try:
        yield
    finally:
        Collider.armed = False
        del space[key]


def armed_call(call):
    def run():
        Collider.armed = True
        try:
            return call()
        finally:
            Collider.armed = False
    return run


def told_of_a_move():
    # sys.stdout moves to PIPE while another watcher is told of it: calls made then, before the write,
    # paint for TTY, and calls after it for PIPE (nothing known in between may outlast the write).
    painter = Painter()
    style = painter.style(fg="red")
    painter.paint("x", fg="red")
    return told_to_another_watcher(vars(sys), storing("stdout", PIPE), lambda: (painter.paint("x", fg="red"),
                                                                               style("s")))


class StdoutKey(str):
    """A str subclass equal to "stdout": storing with it replaces the value of sys's own "stdout"."""


def stored_by_an_equal_key():
    painter = Painter()
    style = painter.style(fg="red")
    first = painter.paint("x", fg="red"), style("s")
    vars(sys)[StdoutKey("stdout")] = PIPE
    return first, (painter.paint("x", fg="red"), style("s"))


def following_in_a_cycle():
    stream = Stream(True)
    switch(stream)
    painter = Painter()
    stream.style = painter.style(fg="red")  # painter -> stream -> style -> painter
    switch(TTY)
    return stream.style("x")


@contextlib.contextmanager
def _no_helper():
    """tintwell._colour_help unimportable for the duration."""
    saved = sys.modules.get("tintwell._colour_help")
    sys.modules["tintwell._colour_help"] = None
    try:
        yield
    finally:
        sys.modules["tintwell._colour_help"] = saved


def noted(exc_type, message, *entries, notes):
    return Raises(exc_type, message, tuple(QUALIFIED[name] for name in entries), None, notes)


def paint_cases():
    nested = BASIC.paint("a " + BASIC.paint("b", fg="red", bold=True) + " c", fg="blue", bold=True)
    return [
        # success paths
        Case("paint seen name", functools.partial(BASIC.paint, "x", fg="red"), Returns("\x1b[31mx\x1b[39m")),
        Case("paint every attribute", functools.partial(TRUECOLOR.paint, "x", bold=1, dim=True, italic=True,
                                                        underline=True, blink=True, reverse=True, strike=2**100),
             Returns("\x1b[1;2;3;4;5;7;9mx\x1b[22;23;24;25;27;29m")),
        Case("paint nested", functools.partial(BASIC.paint, "a \x1b[31mb\x1b[0m c", fg="blue", bold=True),
             Returns("\x1b[1m\x1b[34ma \x1b[31mb\x1b[0m\x1b[1m\x1b[34m c\x1b[22;39m")),
        Case("paint nested twice", lambda: nested, Returns(
            "\x1b[1m\x1b[34ma \x1b[1m\x1b[31mb\x1b[22;39m\x1b[1m\x1b[34m c\x1b[22;39m")),
        Case("style call", lambda: EXTENDED.style(fg=Theme.ACCENT, underline=True)("x"),
             Returns("\x1b[4m\x1b[38;5;208mx\x1b[24;39m")),
        Case("style hash", lambda: hash(BASIC.style(fg=1)) == hash(BASIC.style(fg="red")), Returns(True)),
        Case("paint first-seen tuple", fresh(2, "paint", "x", fg=(255, 128, 0)), Returns("\x1b[38;5;208mx\x1b[39m")),
        Case("paint first-seen hex at 16", fresh(1, "paint", "x", bg="#ff8000"), Returns("\x1b[101mx\x1b[49m")),
        Case("paint first-seen index at 16", fresh(1, "fg", 12), Returns("\x1b[94m")),
        Case("Painter detected", lambda: Painter(level=None, stream=None).level is not None, Returns(True),
             patch=patched(detect, detect_color_level=lambda stream=None: 2)),
        Case("style in a reference cycle", style_in_a_cycle, Returns(None)),
        # errors of the call
        Case("paint text not str", functools.partial(BASIC.paint, b"x", fg="red"),
             Raises(TypeError, "paint() argument 'text' must be str, not bytes", ())),
        Case("paint attribute not a flag", functools.partial(BASIC.paint, "x", bold="yes"),
             Raises(TypeError, "paint() argument 'bold' must be True, False or an int, not str", ())),
        Case("paint unknown keyword", functools.partial(BASIC.paint, "x", colour="red"),
             Raises(TypeError, "paint() got an unexpected keyword argument 'colour'", ())),
        Case("Painter level out of range", lambda: Painter(level=2**100),
             Raises(ValueError, f"level must be 0-3 (NONE, BASIC, EXTENDED or TRUECOLOR), got {2**100}", ())),
        # the colour module's own errors, at every level
        Case("paint unknown name", functools.partial(Painter(level=0).paint, "x", fg="nope"),
             err(ValueError, unknown("nope"), *FG)),
        Case("paint huge index", functools.partial(EXTENDED.paint, "x", bg=2**100),
             Raises(ValueError, f"256 色索引须在 0-255 范围内，收到: {2**100}", qualified("bg_code", "_color_code"))),
        Case("paint huge component", functools.partial(EXTENDED.fg, (2**100, 0, 0)),
             err(ValueError, component("R", 2**100), *FG, "_validate_rgb")),
        Case("paint component __index__ interrupted", functools.partial(EXTENDED.fg, (Idx(KI), 0, 0)),
             ki(*FG, "_validate_rgb", callback="__index__")),
        Case("nearest_ansi16 component __index__ interrupted", functools.partial(nearest_ansi16, 0, Idx(KI), 0),
             ki("_validate_rgb", callback="__index__")),
        # hostile objects and state
        Case("str subclass colour, hostile methods", lambda: TRUECOLOR.paint("x", fg=OddStr("#010203")),
             Returns("\x1b[38;2;1;2;3mx\x1b[39m")),
        Case("str subclass text, hostile methods", lambda: BASIC.paint(OddStr("x\x1b[0m"), fg="red"),
             Returns("\x1b[31mx\x1b[0m\x1b[31m\x1b[39m")),
        Case("component int() changes between conversions", lambda: Painter(level=2).fg((Shifting(), 0, 0)),
             err(ValueError, component("R", 300), "_validate_rgb")),
        Case("tuple subclass iterating once", lambda: Painter(level=2).fg(IterOnce()),
             Raises(KI, "hostile", (), "__iter__")),
        Case("tuple subclass iterating short", fresh(2, "fg", Items(lambda: iter((1, 2)), (1, 2, 3))),
             err(ValueError, "need more than 2 values to unpack", *FG)),
        Case("caches turned over mid-call", lambda: SHARED.paint("x", fg=(painting_mid_call(), 0, 0)),
             Returns("\x1b[38;5;16mx\x1b[39m")),
        Case("fg_code painting with the same painter", lambda: SHARED.paint("x", fg="#0000ff", bg="red"),
             Returns("\x1b[38;5;21m\x1b[41mx\x1b[39;49m"), patch=patched(colors, fg_code=reentrant_fg_code)),
        Case("bg_code rebound mid-call", lambda: Painter(level=2).paint(
            "x", fg=(rebinding("bg_code", lambda c: "<bg>"), 0, 0), bg="blue"),
             Returns("\x1b[38;5;16m<bg>x\x1b[39;49m"), keep=((colors, "bg_code"),)),
        Case("fg_code deleted mid-call", lambda: Painter(level=1).paint("x", fg=(rebinding("fg_code", MISSING), 0, 0)),
             Returns("\x1b[30mx\x1b[39m"), keep=((colors, "fg_code"),)),
        Case("fg_code giving an int", fresh(3, "fg", "red"),
             Raises(TypeError, "tintwell.colors.fg_code() returned int, not str", ()),
             patch=patched(colors, fg_code=lambda colour: 31)),
        Case("fg_code interrupted", fresh(2, "paint", "x", fg="red"), Raises(KI, "hostile", (), "<lambda>"),
             patch=patched(colors, fg_code=lambda colour: (_ for _ in ()).throw(KI("hostile")))),
        Case("fg_code missing", fresh(3, "fg", "red"), Raises(AttributeError, None, ()),
             patch=patched(colors, fg_code=MISSING)),
        Case("_validate_rgb lax, component out of range", fresh(2, "fg", (Idx(300), 0, 0)),
             Raises(ValueError, "RGB components must lie in 0-255, got (300, 0, 0)", ()),
             patch=patched(colors, _validate_rgb=lambda r, g, b: None)),
        Case("parse_hex rebound, fg_code lax", fresh(2, "paint", "x", fg="#zz"), Returns("<16>x\x1b[39m"),
             patch=patched(colors, fg_code=lambda colour: f"<{colour}>", parse_hex=lambda colour: (1, 2, 3))),
        Case("detect_color_level interrupted", lambda: Painter(), Raises(KI, "hostile", (), "<lambda>"),
             patch=patched(detect, detect_color_level=lambda stream=None: (_ for _ in ()).throw(KI("hostile")))),
        Case("ColorLevel missing", lambda: Painter(level=1), Raises(AttributeError, None, ()),
             patch=patched(detect, ColorLevel=MISSING)),
        # painters that follow sys.stdout
        Case("Painter() follows sys.stdout and back", follow_and_back, Returns(
            ["\x1b[31mx\x1b[39m", "\x1b[1m\x1b[31mw\x1b[22;39m", "x", "w", "",
             "Painter(level=ColorLevel.NONE, follows sys.stdout)", "", "\x1b[31mx\x1b[39m",
             "\x1b[1m\x1b[31mw\x1b[22;39m", 1]), patch=on_terminal(), keep=((sys, "stdout"),)),
        Case("Painter() on a stream whose isatty is interrupted", following(lambda p: switch(Stream(KI))),
             Raises(KI, "hostile", None), patch=on_terminal(), keep=((sys, "stdout"),)),
        Case("Painter() on a stream whose isatty paints with it", following(lambda p: switch(isatty_painting(p))),
             Returns(("\x1b[31mx\x1b[39m",) * 2), patch=on_terminal(), keep=((sys, "stdout"),)),
        # Detected for the stream it was given, then again for the one detection left in sys.stdout.
        Case("Painter() on a stream whose isatty moves sys.stdout", following(lambda p: switch(Stream(Do(
            lambda stream: (switch(PIPE), True)[1])))), Returns(("\x1b[31mx\x1b[39m", "x")), patch=on_terminal(),
             keep=((sys, "stdout"),)),
        Case("Painter() without sys.stdout", following(lambda p: vars(sys).pop("stdout")),
             Raises(AttributeError, None, None), patch=on_terminal(), keep=((sys, "stdout"),)),
        Case("Painter() whose fg_code moves sys.stdout", cache_after_a_move,
             Returns(("\x1b[38;5;208m", "", 2)), patch=on_terminal(), keep=((sys, "stdout"),)),
        Case("Painter() frees a stream that paints with it", stream_freed_by_the_painter,
             Returns(("x", "\x1b[31mx\x1b[39m")), patch=on_terminal(), keep=((sys, "stdout"),)),
        Case("Painter() reading sys.stdout past a key whose __eq__ raises", armed_call(following(lambda p: None)),
             Raises(KI, "hostile", ()), patch=lambda: _stacked(on_terminal()(), colliding_key())),
        Case("Painter() while another watcher is told sys.stdout moves", told_of_a_move,
             Returns(((("\x1b[31mx\x1b[39m", "\x1b[31ms\x1b[39m"),), ("x", "s"))), patch=on_terminal(),
             keep=((sys, "stdout"),)),
        Case("Painter() after sys.stdout stored with an equal str subclass key", stored_by_an_equal_key,
             Returns((("\x1b[31mx\x1b[39m", "\x1b[31ms\x1b[39m"), ("x", "s"))), patch=on_terminal(),
             keep=((sys, "stdout"),)),
        Case("following painter in a reference cycle", following_in_a_cycle, Returns("\x1b[31mx\x1b[39m"),
             patch=on_terminal(), keep=((sys, "stdout"),)),
        # English notes and the classifier
        Case("paint unknown name, noted", functools.partial(BASIC.paint, "x", fg="gren"),
             noted(ValueError, unknown("gren"), *FG, notes=1)),
        Case("paint tuple too short, noted", functools.partial(EXTENDED.style, bg=(1, 2)),
             noted(ValueError, "need more than 2 values to unpack", "bg_code", "_color_code", notes=1)),
        Case("note maker interrupted", functools.partial(BASIC.fg, "gren"),
             noted(ValueError, unknown("gren"), *FG, notes=0),
             patch=patched(_colour_help, add_note=lambda *args: (_ for _ in ()).throw(KI("hostile")))),
        Case("note maker unimportable", functools.partial(BASIC.fg, 256),
             noted(ValueError, "256 色索引须在 0-255 范围内，收到: 256", *FG, notes=0),
             patch=_no_helper),
        Case("colour form of hostile objects", lambda: [_paint._colour_form(colour) for colour in (
            OddStr("#fff"), OddStr("red"), IterOnce(), Idx(KI))], Returns(["hex", "name", "rgb", None])),
    ]
