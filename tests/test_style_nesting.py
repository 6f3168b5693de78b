"""Nesting: a style keeps itself across the sequences of the text it is given. After every SGR
sequence in the text that resets a part the style sets, the style's own sequence for that part
follows; everything else passes through untouched. Cases by hand, then a property checked with a
small SGR interpreter of the test's own."""

import re

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

from tintwell.detect import ColorLevel
from tintwell.style import Painter

BASIC = Painter(level=ColorLevel.BASIC)
BLUE, GREEN, RED = "\x1b[34m", "\x1b[42m", "\x1b[31m"


def test_several_levels():
    inner = BASIC.paint("b " + BASIC.paint("c", fg="green") + " b", fg="red")
    assert inner == "\x1b[31mb \x1b[32mc\x1b[39m\x1b[31m b\x1b[39m"
    assert BASIC.paint("a " + inner + " a", fg="blue") == (
        "\x1b[34ma \x1b[31mb \x1b[32mc\x1b[39m\x1b[34m\x1b[31m b\x1b[39m\x1b[34m a\x1b[39m")


def test_both_layers():
    inner = BASIC.paint("y", fg="red", bg="red")
    assert BASIC.paint("x" + inner + "z", fg="blue", bg="green") == (
        f"{BLUE}{GREEN}x\x1b[31m\x1b[41my\x1b[39;49m{BLUE}{GREEN}z\x1b[39;49m")
    assert BASIC.paint("x" + BASIC.paint("y", bg="red") + "z", fg="blue") == f"{BLUE}x\x1b[41my\x1b[49mz\x1b[39m"


@pytest.mark.parametrize("name, code, reset", [("bold", 1, 22), ("dim", 2, 22), ("italic", 3, 23),
                                               ("underline", 4, 24), ("blink", 5, 25), ("reverse", 7, 27),
                                               ("strike", 9, 29)])
def test_every_attribute(name, code, reset):
    inner = BASIC.paint("i", **{name: True})
    outer = BASIC.style(**{name: True})
    assert outer("o" + inner + "o") == f"\x1b[{code}mo\x1b[{code}mi\x1b[{reset}m\x1b[{code}mo\x1b[{reset}m"
    assert BASIC.paint("o" + inner + "o", fg="red") == f"{RED}o{inner}o\x1b[39m"  # not its part: untouched


@pytest.mark.parametrize("outer, inner, restored", [
    ({"bold": True, "dim": True}, "\x1b[22m", "\x1b[1;2m"),  # 22 ends both bold and dim
    ({"dim": True, "fg": "blue"}, "\x1b[22m", "\x1b[2m"),
    ({"bold": True, "fg": "blue", "bg": "green"}, "\x1b[0m", "\x1b[1m" + BLUE + GREEN),
    ({"bold": True, "fg": "blue"}, "\x1b[m", "\x1b[1m" + BLUE),
    ({"fg": "blue"}, "\x1b[;m", BLUE),
    ({"fg": "blue"}, "\x1b[00m", BLUE),
    ({"fg": "blue", "underline": True}, "\x1b[4;0m", "\x1b[4m" + BLUE),
    ({"fg": "blue", "bold": True}, "\x1b[0;31m", "\x1b[1m"),  # reset, then a foreground of its own
    ({"fg": "blue", "bold": True}, "\x1b[0;1m", BLUE),
    ({"fg": "blue"}, "\x1b[38;5;0;39m", BLUE),  # 0 is an operand of 38;5, 39 the reset
    ({"bg": "green"}, "\x1b[48:2::0:0:0;49m", GREEN),
    ({"underline": True}, "\x1b[4:0m", "\x1b[4m"),  # underline off, in the sub-parameter form
    ({"fg": "blue"}, "\x1b[1;22;39m", BLUE),
])
def test_resets(outer, inner, restored):
    style = BASIC.style(**outer)
    assert style("a" + inner + "b") == style.before + "a" + inner + restored + "b" + style.after


@pytest.mark.parametrize("inner", [
    "\x1b[38;5;39m", "\x1b[48;2;0;0;49m", "\x1b[38;2;0;0;0m", "\x1b[48;5;0m", "\x1b[38:2::0:0:0m", "\x1b[58;5;0m",
    "\x1b[4:3m", "\x1b[31m", "\x1b[1m", "\x1b[2K", "\x1b[?25h", "\x1b[>4;2m", "\x1b[39 m", "\x1b]8;;http://e.com\x1b\\",
    "\x1b]0;title\x07", "\x1b", "\x1b\x1b[", "\x1bc", "\x1b[3", "\x1b[39", "\x1b[\x0739m",
])
def test_what_resets_nothing_passes_through(inner):
    style = BASIC.style(fg="blue", bg="green", bold=True)
    for text in ["a" + inner + "b", inner, "ü" + inner, "𝄞" + inner + "€"]:
        assert style(text) == style.before + text + style.after
        assert BASIC.paint(text, fg="blue", bg="green", bold=True) == style(text)


@pytest.mark.parametrize("text", ["ü\x1b[39m€", "€\x1b[39m𝄞", "𝄞\x1b[0m", "\x1b[39m", "a\x1b[39m\x1b[39m\x1b[39mb"])
def test_every_kind_of_str(text):
    out = BASIC.paint(text, fg="red")
    assert out == RED + text.replace("\x1b[0m", "\x1b[0m" + RED).replace("\x1b[39m", "\x1b[39m" + RED) + "\x1b[39m"


def test_no_colour_no_change():
    text = "a \x1b[31mb\x1b[0m c"
    assert Painter(level=0).paint(text, fg="blue", bold=True) is text
    assert Painter(level=0).style(fg="blue")(text) is text
    assert Painter(level=3).style()(text) is text


# ---- the property ----

SGR_RE = re.compile(r"\x1b\[([0-9;:]*)m")
CSI_RE = re.compile(r"\x1b\[[0-?]*[ -/]*[@-~]")
ATTRIBUTE_BITS = {1: "bold", 2: "dim", 3: "italic", 4: "underline", 5: "blink", 6: "blink", 7: "reverse",
                  9: "strike", 21: "underline"}
RESET_BITS = {22: ("bold", "dim"), 23: ("italic",), 24: ("underline",), 25: ("blink",), 27: ("reverse",),
              29: ("strike",), 39: ("fg",), 49: ("bg",)}
EVERYTHING = ("bold", "dim", "italic", "underline", "blink", "reverse", "strike", "fg", "bg")


def interpret(parameters, state):
    """What a terminal does with one SGR sequence: `state` is the set of parts that are on."""
    params = parameters.split(";")
    i = 0
    while i < len(params):
        fields = params[i].split(":")
        code = int(fields[0] or 0)
        sub = int(fields[1] or 0) if len(fields) > 1 else None
        i += 1
        if code == 0:
            state.clear()
        elif code in ATTRIBUTE_BITS and not (code == 4 and sub == 0):
            state.add(ATTRIBUTE_BITS[code])
        elif code == 4:
            state.discard("underline")
        elif code in RESET_BITS:
            state.difference_update(RESET_BITS[code])
        elif code in (38, 48, 58):
            if code != 58:
                state.add("fg" if code == 38 else "bg")
            if sub is None and i < len(params):  # operands as parameters of their own
                i += {"5": 2, "2": 4}.get(params[i], 1)
        elif 30 <= code <= 37 or 90 <= code <= 97:
            state.add("fg")
        elif 40 <= code <= 47 or 100 <= code <= 107:
            state.add("bg")


ATTRIBUTE_CODES = {"bold": 1, "dim": 2, "italic": 3, "underline": 4, "blink": 5, "reverse": 7, "strike": 9}


def nested(text, parts, sequences):
    """`text` as the nesting rule writes it: after each SGR sequence, the sequences of the parts it
    turned off. `sequences` gives the colour layers' sequences."""
    def restore(match):
        state = set(parts)
        sgr = SGR_RE.fullmatch(match.group())
        if sgr:
            interpret(sgr.group(1), state)
        off = [name for name in EVERYTHING if name in parts and name not in state]
        codes = [str(ATTRIBUTE_CODES[name]) for name in off if name in ATTRIBUTE_CODES]
        return (match.group() + ("\x1b[" + ";".join(codes) + "m" if codes else "")
                + "".join(sequences[name] for name in off if name in sequences))
    return CSI_RE.sub(restore, text)


def parts_off_in_text(output, before, after, parts):
    """The parts of `parts` that are off at some printed character between `before` and `after`."""
    body = output[len(before):len(output) - len(after)]
    state, off = set(parts), set()
    at = 0
    while at < len(body):
        match = CSI_RE.match(body, at)
        if match:
            sgr = SGR_RE.fullmatch(match.group())
            if sgr:
                interpret(sgr.group(1), state)
            at = match.end()
            continue
        off |= set(parts) - state
        at += 1
    return off


codes = st.sampled_from(["", "0", "1", "2", "3", "4", "4:0", "4:3", "5", "7", "9", "21", "22", "23", "24", "25", "27",
                         "29", "31", "39", "41", "49", "91", "101", "38;5;39", "48;5;0", "38;2;0;0;49", "48;2;1;2;3",
                         "38:2::0:0:0", "58;5;4", "00"])
sgr = st.lists(codes, max_size=4).map(lambda cs: "\x1b[" + ";".join(cs) + "m")
others = st.sampled_from(["\x1b[2K", "\x1b[?25h", "\x1b[>4;2m", "\x1b]8;;http://e\x1b\\", "\x1b", "\x1b[", "\x1bc"])
texts = st.lists(st.one_of(sgr, others, st.text(st.characters(exclude_characters="\x1b"), max_size=3)),
                 max_size=8).map("".join)
outer_styles = st.fixed_dictionaries({}, optional={
    "fg": st.sampled_from(["red", "#ff8000", 21]), "bg": st.sampled_from(["blue", (1, 2, 3)]),
    **{name: st.booleans() for name in ("bold", "dim", "italic", "underline", "blink", "reverse", "strike")}})


@settings(max_examples=400, deadline=None)
@given(text=texts, outer=outer_styles, level=st.sampled_from([1, 2, 3]))
def test_the_outer_style_holds_at_every_printed_character(text, outer, level):
    painter = Painter(level=level)
    style = painter.style(**outer)
    parts = [name for name in EVERYTHING if outer.get(name)]
    out = style(text)
    assert out == painter.paint(text, **outer)
    sequences = {"fg": painter.fg(outer.get("fg") or 0), "bg": painter.bg(outer.get("bg") or 0)}
    assert out == style.before + nested(text, parts, sequences) + style.after
    assert out.startswith(style.before) and out.endswith(style.after)
    assert CSI_RE.sub("", out) == CSI_RE.sub("", style.before + text + style.after)  # nothing but sequences added
    assert parts_off_in_text(out, style.before, style.after, parts) == set()
