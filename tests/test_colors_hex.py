"""parse_hex and _validate_rgb (compared with the patterns for any text in hardening/test_fuzz.py)."""

import json
import re

import pytest

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
    ((0, 255, 256), "B 分量须在 0-255 范围内，收到: 256"),
    ((256.0, 0, 0), "R 分量须在 0-255 范围内，收到: 256"),
    ((0, -1.5, 0), "G 分量须在 0-255 范围内，收到: -1"),
    ((2 ** 64, 0, 0), f"R 分量须在 0-255 范围内，收到: {2 ** 64}"),
    ((0, 0, -(10 ** 30)), f"B 分量须在 0-255 范围内，收到: {-(10 ** 30)}"),
])
def test_validate_rgb_rejects(colors, rgb, message):
    with pytest.raises(ValueError) as info:
        colors._validate_rgb(*rgb)
    assert info.value.args == (message,)
    assert module_entries(info.value) == ["tintwell.colors._validate_rgb"]


def test_validate_rgb_by_keyword(colors):
    assert colors._validate_rgb(b=0, r=1, g=2) is None
    with pytest.raises(ValueError, match="^G "):
        colors._validate_rgb(b=300, r=1, g=-2)
