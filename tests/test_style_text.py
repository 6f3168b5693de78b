"""strip_ansi and visible_width: a table of cases (CJK, emoji and their variation selectors, combining
marks, hyperlinks, malformed and truncated sequences), then properties: measuring stripped text is
measuring the text, and painting never changes what a terminal shows or how wide it is."""

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

from tintwell.detect import ColorLevel
from tintwell.style import Painter, strip_ansi, visible_width

LINK = "\x1b]8;;https://example.org/a?b=c\x1b\\"
LINK_END = "\x1b]8;;\x1b\\"

# (text, stripped, width)
CASES = [
    ("", "", 0),
    ("plain", "plain", 5),
    ("\x1b[31mred\x1b[39m", "red", 3),
    ("\x1b[1;38;2;255;128;0mx\x1b[0m", "x", 1),
    ("\x1b[38:2::255:128:0mx", "x", 1),  # sub-parameters
    ("a\x1b[2Kb\x1b[?25hc\x1b[>4;2md\x1b[10;20He", "abcde", 5),  # other CSI, private ones too
    ("\x1b[1 qx", "x", 1),  # an intermediate byte
    (LINK + "a link" + LINK_END, "a link", 6),  # OSC 8, ended by ST
    ("\x1b]8;;http://e.org\x07a link\x1b]8;;\x07", "a link", 6),  # ended by BEL
    ("\x1b]0;window title\x07text", "text", 4),
    ("\x1bP+q544e\x1b\\x", "x", 1),  # DCS
    ("\x1b_Gf=24;AAAA\x1b\\x", "x", 1),  # APC (an image protocol)
    ("a\x1b7b\x1b8c\x1bcd\x1b(Be\x1b#8f\x1b=g", "abcdefg", 7),  # two-character and nF escapes
    # truncated and malformed
    ("red\x1b[31", "red", 3),  # cut short by the end
    ("red\x1b[", "red", 3),
    ("red\x1b", "red", 3),  # a lone ESC
    ("a\x1b[3\nb", "a\nb", 2),  # cut short by a character that cannot continue it, which stays
    ("a\x1b[3\x1b[31mb", "ab", 2),  # by another ESC, which starts a sequence of its own
    ("a\x1b[1 ü", "aü", 2),
    ("a\x1b]8;;http://e.org", "a", 1),  # a string sequence without its end: to the end of the text
    ("a\x1b]0;title\x1b[31mb", "ab", 2),  # ... or to the next ESC
    ("a\x1b\x1b[31mb", "ab", 2),  # an ESC before another goes alone
    ("a\x1b\x1bb", "a", 1),  # ... and ESC b is an escape, as a terminal reads it
    ("a\x1bü", "aü", 2),
    ("a\x1b(", "a", 1),
    ("\x9b31mx\x9d", "\x9b31mx\x9d", 4),  # 8-bit introducers are not sequences to a UTF-8 terminal: controls, 0
    # widths
    ("漢字", "漢字", 4),  # wide
    ("ｗｉｄｅ", "ｗｉｄｅ", 8),  # fullwidth
    ("ｶﾀｶﾅ", "ｶﾀｶﾅ", 4),  # halfwidth
    ("\x1b[31m終端\x1b[39m", "終端", 4),
    ("e\u0301", "e\u0301", 1),  # a combining acute accent
    ("\u20dd\u0489", "\u20dd\u0489", 0),  # enclosing marks
    ("a\u200bb\u200dc\u2060d\ufeff", "a\u200bb\u200dc\u2060d\ufeff", 4),  # zero-width characters
    ("a\u200fb\u202ec", "a\u200fb\u202ec", 3),  # direction marks and overrides
    ("soft\u00adhyphen", "soft\u00adhyphen", 11),  # shown as a hyphen
    ("a\tb\nc\r\x00\x7f", "a\tb\nc\r\x00\x7f", 3),  # controls: measured as one line
    ("a\x85b", "a\x85b", 2),  # a C1 control
    ("\u1100\u1161\u11a8", "\u1100\u1161\u11a8", 2),  # a Hangul syllable of conjoining jamo
    ("한글", "한글", 4),
    ("😀", "😀", 2),  # an emoji that is wide by itself
    ("😀\ufe0f", "😀\ufe0f", 2),  # ... stays two with VS16
    ("😀\ufe0e", "😀\ufe0e", 2),  # ... and with VS15
    ("\u2764", "\u2764", 1),  # a heart, text by default
    ("\u2764\ufe0f", "\u2764\ufe0f", 2),  # emoji presentation: two cells
    ("\u2764\ufe0e", "\u2764\ufe0e", 1),  # text presentation
    ("\u2764\x1b[31m\ufe0f", "\u2764\ufe0f", 2),  # a sequence between them changes nothing
    ("#\ufe0f\u20e3", "#\ufe0f\u20e3", 2),  # a keycap
    ("\ufe0f", "\ufe0f", 0),  # VS16 with nothing before it
    ("\u0301\ufe0f", "\u0301\ufe0f", 0),  # nor after a mark
    ("👍🏽", "👍🏽", 2),  # a skin tone modifies the emoji before it
    ("🏽", "🏽", 2),  # ... and alone is an emoji of its own
    ("👨\u200d👩\u200d👧", "👨\u200d👩\u200d👧", 6),  # joined emoji count one by one
    ("🇫🇷", "🇫🇷", 2),  # a flag: two regional indicators
    ("\ue000\U000f0000", "\ue000\U000f0000", 2),  # private use: one each
]


@pytest.mark.parametrize("text, stripped, width", CASES, ids=[repr(case[0]) for case in CASES])
def test_table(text, stripped, width):
    assert strip_ansi(text) == stripped
    assert visible_width(text) == width
    assert visible_width(stripped) == width


class Text(str):
    def find(self, *args):
        raise AssertionError("a method of the subclass was used")

    __contains__ = __iter__ = __str__ = find


def test_types():
    for function in (strip_ansi, visible_width):
        for bad in (b"\x1b[31m", None, 1, ["a"]):
            with pytest.raises(TypeError, match=r"^strip_ansi\(\) argument must be str, not "):
                function(bad)
    plain = "text"
    assert strip_ansi(plain) is plain  # nothing to strip: no copy
    for text in (Text("a\x1b[31mb"), Text("ab")):
        assert type(strip_ansi(text)) is str and strip_ansi(text) == "ab"
        assert visible_width(text) == 2


# Text with every kind of sequence, whole and cut short, between characters of every width.
pieces = st.sampled_from([
    "\x1b[31m", "\x1b[0m", "\x1b[38;5;208m", "\x1b[", "\x1b[3", "\x1b", "\x1b]8;;http://e.org\x1b\\", "\x1b]0;t\x07",
    "\x1b]8;;x", "\x1b(B", "\x1b7", "\x1bP", "\x1b\\", "\x07", "\ufe0f", "\ufe0e", "\u200d", "\u0301", "🏽",
])
characters = st.characters(codec="utf-8", exclude_categories=("Cs",))
texts = st.lists(st.one_of(pieces, characters, st.sampled_from("a 漢😀\u2764#")), max_size=30).map("".join)


@settings(max_examples=500, deadline=None)
@given(texts)
def test_width_of_stripped_text_is_the_width(text):
    stripped = strip_ansi(text)
    assert "\x1b" not in stripped
    assert strip_ansi(stripped) == stripped
    assert visible_width(stripped) == visible_width(text)
    # ASCII text is measured by a route of its own: a zero-width character sends it the general way.
    assert visible_width(stripped + "\u200b") == visible_width(text)


@settings(max_examples=300, deadline=None)
@given(texts, st.sampled_from([ColorLevel.BASIC, ColorLevel.EXTENDED, ColorLevel.TRUECOLOR]),
       st.sampled_from(["red", "#ff8000", (10, 20, 30), 196, None]), st.sampled_from(["blue", None]), st.booleans())
def test_painting_keeps_the_visible_text(text, level, fg, bg, bold):
    # Whatever the text holds, nested sequences and truncated ones included, the painter only adds
    # sequences: the same text shows, as wide.
    painter = Painter(level=level)
    for painted in (painter.paint(text, fg, bg, bold=bold), painter.style(fg, bg, underline=True)(text)):
        assert strip_ansi(painted) == strip_ansi(text)
        assert visible_width(painted) == visible_width(text)


def test_examples_hold():
    import doctest

    from tintwell import _logging, _text

    for module in (_text, _logging):
        failed, tried = doctest.testmod(module)
        assert tried >= 1 and failed == 0, module.__name__
