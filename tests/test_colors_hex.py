"""parse_hex and _validate_rgb."""

import json
import re

import pytest
from hypothesis import given, strategies as st

import tintwell.colors as colors_module
from conftest import module_entries


def unparsable(text):
    return f"无法解析十六进制颜色: {text!r}，期望格式 #RGB 或 #RRGGBB"


@pytest.mark.parametrize("text, rgb", [
    ("#ff0000", (255, 0, 0)), ("#FF0000", (255, 0, 0)), ("#fF0000", (255, 0, 0)),
    ("#00ff7f", (0, 255, 127)), ("#123456", (0x12, 0x34, 0x56)), ("#aBcDeF", (0xAB, 0xCD, 0xEF)),
    ("#fff", (255, 255, 255)), ("#abc", (170, 187, 204)), ("#000", (0, 0, 0)), ("#F0a", (255, 0, 170)),
    ("#ff0000\n", (255, 0, 0)), ("#abc\n", (170, 187, 204)),
])
def test_parse_hex(colors, text, rgb):
    result = colors.parse_hex(text)
    assert result == rgb and type(result) is tuple
    assert all(type(item) is int for item in result)
    assert colors.parse_hex(color=text) == rgb


@pytest.mark.parametrize("text", [
    "", "#", "#12", "#1234", "#12345", "#1234567", "ff0000", " #ff0000", "#ff0000 ", "#ff0000\n\n", "\n#fff",
    "#fff\r", "#ggg", "#abcdeg", "#ＦＦＦ", "#١٢٣", "#ff0000\x00", "#\U0001F600\U0001F600\U0001F600", "##fff",
])
def test_parse_hex_rejects(colors, text):
    with pytest.raises(ValueError) as info:
        colors.parse_hex(text)
    assert info.value.args == (unparsable(text),)
    assert module_entries(info.value) == ["tintwell.colors.parse_hex"]


def reference_parse_hex(text):
    """parse_hex written out with the `re` patterns it is defined by."""
    m = re.match("^#([0-9a-fA-F]{6})$", text)
    if m:
        h = m.group(1)
        return int(h[0:2], 16), int(h[2:4], 16), int(h[4:6], 16)
    m = re.match("^#([0-9a-fA-F]{3})$", text)
    if m:
        h = m.group(1)
        return int(h[0] * 2, 16), int(h[1] * 2, 16), int(h[2] * 2, 16)
    raise ValueError(unparsable(text))


def outcome(func, *args):
    try:
        return func(*args)
    except ValueError as exc:
        return str(exc)


@given(st.text(alphabet="#0123456789abcdefABCDEFgG \n\r\t\x00ａ٣é", max_size=9))
def test_parse_hex_agrees_with_the_patterns(text):
    assert outcome(colors_module.parse_hex, text) == outcome(reference_parse_hex, text)


class FakeMatch:
    def __init__(self, digits):
        self.digits = digits

    def __bool__(self):
        return self.digits is not None

    def group(self, index):
        assert index == 1
        return self.digits


class FakePattern:
    def __init__(self, digits):
        self.digits, self.calls = digits, []

    def match(self, text):
        self.calls.append(text)
        if isinstance(self.digits, BaseException):
            raise self.digits
        return FakeMatch(self.digits)


def test_replaced_patterns_are_used(colors):
    colors._HEX_RE = re.compile(r"^#([0-9a-f]{6})\Z")   # lower case only, no final line feed
    assert colors.parse_hex("#abcdef") == (0xAB, 0xCD, 0xEF)
    for text in ("#ABCDEF", "#abcdef\n"):
        with pytest.raises(ValueError, match="无法解析"):
            colors.parse_hex(text)
    colors._SHORT_HEX_RE = re.compile(r"^#(\d{3})$")
    assert colors.parse_hex("#123") == (0x11, 0x22, 0x33)
    with pytest.raises(ValueError, match="无法解析"):
        colors.parse_hex("#abc")


def test_any_object_with_match_serves_as_pattern(colors):
    colors._HEX_RE = long_form = FakePattern("a1b2c3")
    assert colors.parse_hex("anything") == (0xA1, 0xB2, 0xC3)
    assert long_form.calls == ["anything"]
    colors._HEX_RE = FakePattern(None)                  # a false match falls through to the short form
    colors._SHORT_HEX_RE = short_form = FakePattern("9aF")
    assert colors.parse_hex("x") == (0x99, 0xAA, 0xFF)
    assert short_form.calls == ["x"]
    colors._SHORT_HEX_RE = FakePattern(LookupError("from match"))
    with pytest.raises(LookupError, match="from match") as info:
        colors.parse_hex("x")
    assert module_entries(info.value) == ["tintwell.colors.parse_hex"]
    colors._HEX_RE = FakePattern("zz0000")             # int(h[0:2], 16) fails as it would in Python
    with pytest.raises(ValueError, match="invalid literal for int"):
        colors.parse_hex("x")


@pytest.mark.parametrize("replacement, expected", [
    # Real patterns, but not the ones asked for: "#ab" leaves h[2:4] empty, "#a" has no h[1].
    ('lambda pattern: compile(pattern.replace("{6}", "{2}").replace("{3}", "{1}"))',
     ["ValueError", "ValueError", "ValueError", "IndexError"]),
    ("lambda pattern: type('Never', (), {'match': lambda self, text: None})()",
     ["ValueError", "ValueError", "ValueError", "ValueError"]),
])
def test_compile_replaced_before_import_decides_the_patterns(run_python, replacement, expected):
    out = run_python(f"""
        import json, re
        compile = re.compile
        re.compile = {replacement}
        import tintwell.colors as colors
        re.compile = compile
        results = []
        for text in ("#ff0000", "#fff", "#ab", "#a"):
            try:
                results.append(list(colors.parse_hex(text)))
            except Exception as exc:
                results.append(type(exc).__name__)
        print(json.dumps(results))
    """)
    assert json.loads(out) == expected


# ---- _validate_rgb ----

@pytest.mark.parametrize("rgb", [(0, 0, 0), (255, 255, 255), (255.9, 0, 0), (-0.5, 0, 0), (True, False, True),
                                 (0, 128.5, 254.999)])
def test_validate_rgb_accepts(colors, rgb):
    assert colors._validate_rgb(*rgb) is None


@pytest.mark.parametrize("rgb, message", [
    ((256, 0, 0), "R 分量须在 0-255 范围内，收到: 256"),
    ((0, -1, 0), "G 分量须在 0-255 范围内，收到: -1"),
    ((0, 0, 1000), "B 分量须在 0-255 范围内，收到: 1000"),
    ((300, -5, 999), "R 分量须在 0-255 范围内，收到: 300"),
    ((0, 255, 256), "B 分量须在 0-255 范围内，收到: 256"),
    ((256.0, 0, 0), "R 分量须在 0-255 范围内，收到: 256"),
    ((256.7, 0, 0), "R 分量须在 0-255 范围内，收到: 256"),
    ((0, -1.5, 0), "G 分量须在 0-255 范围内，收到: -1"),
    ((2 ** 64, 0, 0), f"R 分量须在 0-255 范围内，收到: {2 ** 64}"),
    ((0, 0, -(10 ** 30)), f"B 分量须在 0-255 范围内，收到: {-(10 ** 30)}"),
])
def test_validate_rgb_rejects(colors, rgb, message):
    with pytest.raises(ValueError) as info:
        colors._validate_rgb(*rgb)
    assert info.value.args == (message,)
    assert module_entries(info.value) == ["tintwell.colors._validate_rgb"]


@pytest.mark.parametrize("bad", [float("nan"), float("-inf")])
def test_validate_rgb_conversion_errors_are_int_errors(colors, bad):
    with pytest.raises((ValueError, OverflowError)) as expected:
        int(bad)
    with pytest.raises(type(expected.value)) as info:
        colors._validate_rgb(0, 0, bad)
    assert str(info.value) == str(expected.value)


def test_validate_rgb_by_keyword(colors):
    assert colors._validate_rgb(b=0, r=1, g=2) is None
    with pytest.raises(ValueError, match="^G "):
        colors._validate_rgb(b=300, r=1, g=-2)


def test_short_form_doubles_each_digit(colors):
    for d in "0123456789abcdefABCDEF":
        assert colors.parse_hex(f"#{d}{d}{d}") == colors.parse_hex(f"#{d * 6}") == (int(d * 2, 16),) * 3
