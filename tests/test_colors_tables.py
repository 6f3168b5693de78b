"""What importing tintwell.colors leaves behind: namespace, constants, tables, patterns, docstrings."""

import json
import re
import typing

import pytest

NAMED = [("black", 30), ("red", 31), ("green", 32), ("yellow", 33), ("blue", 34), ("magenta", 35), ("cyan", 36),
         ("white", 37), ("bright_black", 90), ("bright_red", 91), ("bright_green", 92), ("bright_yellow", 93),
         ("bright_blue", 94), ("bright_magenta", 95), ("bright_cyan", 96), ("bright_white", 97)]
ALIASES = [("grey", "bright_black"), ("gray", "bright_black"), ("purple", "magenta"),
           ("bright_grey", "bright_black"), ("bright_gray", "bright_black"), ("bright_purple", "bright_magenta")]

COLOR = "str | int | Tuple[int, int, int]"
FUNCTIONS = {
    "parse_hex": ("将十六进制颜色字符串解析为 (R, G, B) 元组。\n\n    支持 #RGB 和 #RRGGBB 格式。\n    ",
                  {"color": "str", "return": "Tuple[int, int, int]"}),
    "rgb_to_ansi256": ("将 RGB 值近似映射到 256 色调色板索引。",
                       {"r": "int", "g": "int", "b": "int", "return": "int"}),
    "fg_code": ("生成前景色 ANSI 转义序列。\n\n    参数:\n"
                "        color: 颜色名称 (如 'red')、十六进制字符串 (如 '#ff0000')、\n"
                "               256 色索引 (0-255)、或 RGB 元组 (r, g, b)。\n    ",
                {"color": COLOR, "return": "str"}),
    "bg_code": ("生成背景色 ANSI 转义序列。", {"color": COLOR, "return": "str"}),
    "_color_code": ("统一的颜色码生成逻辑。", {"color": COLOR, "foreground": "bool", "return": "str"}),
    "_validate_rgb": (None, {"r": "int", "g": "int", "b": "int", "return": "None"}),
}


def test_namespace_order(run_python):
    out = run_python("""
        import json, tintwell.colors
        print(json.dumps(list(vars(tintwell.colors))))
    """)
    names = json.loads(out)
    assert names.index("__builtins__") < names.index("re")
    assert [name for name in names if not (name.startswith("__") and name.endswith("__"))] == [
        "re", "Optional", "Tuple", "ESC", "RESET_FG", "RESET_BG", "NAMED_COLORS", "COLOR_ALIASES", "_HEX_RE",
        "_SHORT_HEX_RE", *FUNCTIONS]
    assert names[-1] == "__test__"


def test_module_docstring(colors):
    assert colors.__doc__ == ("ANSI 颜色码定义与转换工具。\n\n支持:\n- 4/8 色基本颜色 (标准 + 高亮)\n"
                              "- 256 色扩展调色板\n- 24 位真 RGB 色彩\n")


def test_imported_names(colors):
    assert (colors.re, colors.Optional, colors.Tuple) == (re, typing.Optional, typing.Tuple)


def test_escape_constants(colors):
    assert type(colors.ESC) is str and [ord(ch) for ch in colors.ESC] == [0x1B, ord("[")]
    assert colors.RESET_FG == "\x1b[39m" and type(colors.RESET_FG) is str
    assert colors.RESET_BG == "\x1b[49m" and type(colors.RESET_BG) is str


def test_tables(colors):
    assert type(colors.NAMED_COLORS) is dict and list(colors.NAMED_COLORS.items()) == NAMED
    assert type(colors.COLOR_ALIASES) is dict and list(colors.COLOR_ALIASES.items()) == ALIASES
    assert all(type(code) is int for code in colors.NAMED_COLORS.values())
    # Every key is already in normalised form.
    assert all(re.fullmatch("[a-z]+(_[a-z]+)*", key) for key in [*colors.NAMED_COLORS, *colors.COLOR_ALIASES])


@pytest.mark.parametrize("name, pattern", [("_HEX_RE", "^#([0-9a-fA-F]{6})$"),
                                           ("_SHORT_HEX_RE", "^#([0-9a-fA-F]{3})$")])
def test_patterns(colors, name, pattern):
    compiled = getattr(colors, name)
    assert type(compiled) is re.Pattern
    assert compiled.pattern == pattern
    assert compiled.flags == re.UNICODE


@pytest.mark.own_objects
@pytest.mark.parametrize("name", FUNCTIONS)
def test_docstrings_and_annotations(colors, name):
    doc, annotations = FUNCTIONS[name]
    func = getattr(colors, name)
    assert func.__doc__ == doc
    assert func.__annotations__ == annotations
    assert list(func.__annotations__) == list(annotations)
    assert type(func.__annotations__) is dict


def test_module_code_binds_in_order(run_python):
    """Each step sees the names bound by the steps before it, and only those."""
    out = run_python("""
        import json, re, sys
        compile, seen = re.compile, []
        def recording_compile(pattern):
            seen.append(sorted(k for k in vars(sys.modules["tintwell.colors"]) if not k.startswith("__")))
            return compile(pattern)
        re.compile = recording_compile
        import tintwell.colors
        print(json.dumps(seen))
    """)
    before = sorted(["re", "Optional", "Tuple", "ESC", "RESET_FG", "RESET_BG", "NAMED_COLORS", "COLOR_ALIASES"])
    assert json.loads(out) == [before, sorted([*before, "_HEX_RE"])]


@pytest.mark.own_objects
def test_identifiers_are_interned(colors):
    import sys

    identifiers = [*colors.NAMED_COLORS, *colors.COLOR_ALIASES, *colors.COLOR_ALIASES.values(),
                   *(name for name in vars(colors) if not name.startswith("__"))]
    identifiers += [p for f in (colors.fg_code, colors._color_code, colors.rgb_to_ansi256)
                    for p in f.__annotations__]
    assert [name for name in identifiers if name is not sys.intern(name)] == []
