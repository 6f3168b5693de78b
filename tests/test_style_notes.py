"""English notes on colours the colour module rejects, raised through the painter: the colour module's
own type and message, one note saying what was wrong (with a near-miss where there is one) and the
accepted forms; nothing added to other errors, and the error intact when no note can be made."""

import sys

import pytest

from tintwell import _colour_help, colors
from tintwell.colors import bg_code, fg_code
from tintwell.style import Painter

# (colour, the first line of the note for a foreground colour)
BAD = [
    ("gren", "The foreground colour 'gren' is not a colour name. Did you mean 'green'?"),
    ("light_red", "The foreground colour 'light_red' is not a colour name. Did you mean 'bright_red'?"),
    (" Bright-Red ", "The foreground colour ' Bright-Red ' is not a colour name as written. Did you mean 'bright_red'?"),
    ("crimson", "The foreground colour 'crimson' is not a colour name."),
    ("ff8000", "The foreground colour 'ff8000' is not a colour name. Did you mean the hex colour '#ff8000'?"),
    ("", "The foreground colour '' is empty: a colour name has letters."),
    ("#12", "The foreground colour '#12' is not a hex colour: it has 2 digits after '#', where '#RGB' has 3 and "
            "'#RRGGBB' 6."),
    ("#", "The foreground colour '#' is not a hex colour: it has 0 digits after '#', where '#RGB' has 3 and '#RRGGBB' "
          "6."),
    ("#ggg", "The foreground colour '#ggg' is not a hex colour: 'g' is not a hexadecimal digit (0-9, a-f, A-F)."),
    ("#fff ", "The foreground colour '#fff ' has white space around it. Did you mean '#fff'?"),
    (256, "The foreground colour 256 is outside 0-255, the palette's indices."),
    (-1, "The foreground colour -1 is outside 0-255, the palette's indices."),
    ((1, 2), "The foreground colour (1, 2) has 2 components, where an (r, g, b) tuple has 3."),
    ((1, 2, 3, 4), "The foreground colour (1, 2, 3, 4) has 4 components, where an (r, g, b) tuple has 3."),
    ((300, 0, 0), "The foreground colour (300, 0, 0) has a component r of 300, outside 0-255."),
    ((0, 0, -5), "The foreground colour (0, 0, -5) has a component b of -5, outside 0-255."),
    ((0, "x", 0), "The foreground colour (0, 'x', 0) has a component g of type str: components are ints 0-255 "
                  "(floats are truncated)."),
    (1.0, "The foreground colour 1.0 is of type float, which is no colour's. Did you mean the palette index 1?"),
    (1.5, "The foreground colour 1.5 is of type float, which is no colour's."),
    (b"red", "The foreground colour b'red' is of type bytes, which is no colour's. Did you mean the str 'red'?"),
    ([1, 2, 3], "The foreground colour [1, 2, 3] is of type list, which is no colour's. Did you mean the tuple "
                "(1, 2, 3)?"),
    (None, "The foreground colour is None: paint() and style() take None for no colour, fg() and bg() need one."),
]


def calls(painter, layer):
    """The ways a colour reaches the painter, for one layer."""
    keyword = {"fg": "fg", "bg": "bg"}[layer]
    return [getattr(painter, layer), lambda c: painter.paint("x", **{keyword: c}), lambda c: painter.style(**{keyword: c})]


@pytest.mark.parametrize("level", [0, 1, 2, 3])
@pytest.mark.parametrize("colour, first", BAD, ids=[repr(case[0]) for case in BAD])
def test_notes(level, colour, first):
    painter = Painter(level=level)
    for layer, code in (("fg", fg_code), ("bg", bg_code)):
        with pytest.raises(Exception) as expected:
            code(colour)
        for call in calls(painter, layer)[:1] if colour is None else calls(painter, layer):
            with pytest.raises(expected.type) as raised:
                call(colour)
            assert str(raised.value) == str(expected.value)  # the colour module's own
            [note] = raised.value.__notes__
            assert note == first.replace("foreground", "background" if layer == "bg" else "foreground") + "\n" + \
                _colour_help.ACCEPTED
    assert painter.paint("x", fg="red") == ("x" if level == 0 else "\x1b[31mx\x1b[39m")  # still usable


def test_other_errors_get_no_note(monkeypatch):
    painter = Painter(level=2)
    for call in (lambda: painter.paint(b"x", fg="red"), lambda: painter.paint("x", bold="yes"),
                 lambda: painter.style(colour="red")):
        with pytest.raises(TypeError) as raised:
            call()
        assert not hasattr(raised.value, "__notes__")
    monkeypatch.setattr(colors, "fg_code", lambda colour: 31)  # the painter's own error, not the colour module's
    with pytest.raises(TypeError, match=r"^tintwell.colors.fg_code\(\) returned int, not str$") as raised:
        painter.fg("red")
    assert not hasattr(raised.value, "__notes__")

    def interrupted(colour):
        raise KeyboardInterrupt("hostile")

    monkeypatch.setattr(colors, "fg_code", interrupted)
    with pytest.raises(KeyboardInterrupt) as raised:
        painter.fg("red")
    assert not hasattr(raised.value, "__notes__")


def test_one_note_from_the_call_that_raised(monkeypatch):
    # fg_code itself paints a bad colour: its error passes through the outer call, which adds nothing.
    painter, real = Painter(level=3), colors.fg_code
    monkeypatch.setattr(colors, "fg_code", lambda colour: painter.bg("gren") if colour == "red" else real(colour))
    with pytest.raises(ValueError) as raised:
        painter.fg("red")
    [note] = raised.value.__notes__
    assert note.startswith("The background colour 'gren' is not a colour name. Did you mean 'green'?")


def test_rejected_by_a_rebound_colour_module(monkeypatch):
    def refusing(colour):
        raise ValueError("refused")

    monkeypatch.setattr(colors, "fg_code", refusing)
    for colour, first in [("red", "The foreground colour 'red' is a colour name, yet tintwell.colors rejected it."),
                          ((1, 2, 3), "The foreground colour (1, 2, 3) was rejected by tintwell.colors.")]:
        with pytest.raises(ValueError) as raised:
            Painter(level=1).fg(colour)
        assert str(raised.value) == "refused" and raised.value.__notes__[0].split("\n")[0] == first


@pytest.mark.parametrize("breaking", ["raising", "missing", "unimportable"])
def test_no_note_when_none_can_be_made(monkeypatch, breaking):
    if breaking == "raising":
        monkeypatch.setattr(_colour_help, "add_note", lambda *args: 1 / 0)
    elif breaking == "missing":
        monkeypatch.delattr(_colour_help, "add_note")
    else:
        monkeypatch.setitem(sys.modules, "tintwell._colour_help", None)
    with pytest.raises(ValueError) as raised:
        Painter(level=2).fg("gren")
    assert str(raised.value).startswith("未知颜色名称: 'gren'")
    assert not hasattr(raised.value, "__notes__") and raised.value.__context__ is None
