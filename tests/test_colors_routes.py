"""Every colour form against the algorithm written out in Python, over the edges of each direct route
(run on both routes, see conftest.py); which direct route each colour takes; and the direct routes
engaging whatever the process did before."""

import functools
import re

import pytest
from hypothesis import example, given, settings, strategies as st

import tintwell.colors as colors_module
from conftest import outcome, required_counters, stand_ins

NAMED = dict(colors_module.NAMED_COLORS)
ALIASES = dict(colors_module.COLOR_ALIASES)
NAMES = sorted([*NAMED, *ALIASES], key=len)
SORTED_KEYS = ", ".join(sorted(NAMED))
HEX = re.compile(r"#(?:([0-9a-fA-F]{6})|([0-9a-fA-F]{3}))\n?")

# Where the direct routes change their mind: digit counts, the byte range, the compact ints (below
# 2**30), the C integers (below 2**63).
EDGES = [0, 9, 10, 99, 100, 255, 256, 999, 1000, 2 ** 30 - 1, 2 ** 30, 2 ** 63 - 1, 2 ** 63, -1, -(2 ** 30), -(2 ** 63)]
numbers = st.one_of(st.sampled_from(EDGES), st.integers(-20, 1100), st.integers())
layers = st.booleans()


def with_examples(*rows):
    """@example for each row: the edges run every time, whatever hypothesis draws."""
    def decorate(test):
        for row in rows:
            test = example(*row)(test)
        return test
    return decorate


def edge_rows(columns):
    """Rows that put each edge in each column, the other columns 0 (and both layers)."""
    return [tuple(edge if i == column else 0 for i in range(columns)) + (foreground,)
            for column in range(columns) for edge in EDGES for foreground in (True, False)]


def sequence(body):
    return format(colors_module.ESC, "") + body


def layer(foreground):
    return "38" if foreground else "48"


def color_code(color, foreground):
    try:
        return colors_module._color_code(color, foreground=foreground)
    except ValueError as exc:
        return ValueError, str(exc)


# ---- each form against the algorithm ----

def test_every_index():
    for index in range(256):
        assert colors_module.fg_code(index) == sequence(f"38;5;{index}m")
        assert colors_module.bg_code(index) == sequence(f"48;5;{index}m")


@given(numbers, layers)
@with_examples(*[(edge, foreground) for edge in EDGES for foreground in (True, False)])
def test_indices(index, foreground):
    expected = (sequence(f"{layer(foreground)};5;{index}m") if 0 <= index <= 255 else
                (ValueError, f"256 色索引须在 0-255 范围内，收到: {index}"))
    assert color_code(index, foreground) == expected


@given(numbers, numbers, numbers, layers)
@with_examples(*edge_rows(3))
def test_tuples(r, g, b, foreground):
    bad = next(((letter, value) for letter, value in zip("RGB", (r, g, b)) if not 0 <= value <= 255), None)
    expected = (sequence(f"{layer(foreground)};2;{r};{g};{b}m") if bad is None else
                (ValueError, f"{bad[0]} 分量须在 0-255 范围内，收到: {bad[1]}"))
    assert color_code((r, g, b), foreground) == expected


hex_digits = st.text(st.sampled_from("0123456789abcdefABCDEFgG"), min_size=2, max_size=7)
hex_strings = st.builds(lambda digits, tail: "#" + digits + tail, hex_digits, st.sampled_from(["", "\n", "\n\n", " "]))


@given(hex_strings, layers)
@with_examples(("#ff8000", True), ("#000000", False), ("#FFFFFF\n", True), ("#abc\n", False), ("#fff", True),
               ("#12", True), ("#1234567", False), ("#abcd\n", True), ("#ff8000\n\n", True), ("#", False))
def test_hex_strings(color, foreground):
    match = HEX.fullmatch(color)
    if match is None:
        expected = ValueError, f"无法解析十六进制颜色: {color!r}，期望格式 #RGB 或 #RRGGBB"
    else:
        digits = match.group(1) or "".join(ch * 2 for ch in match.group(2))
        rgb = ";".join(str(int(digits[i:i + 2], 16)) for i in (0, 2, 4))
        expected = sequence(f"{layer(foreground)};2;{rgb}m")
    assert color_code(color, foreground) == expected


def name_forms(name):
    return st.sampled_from([name, name.upper(), name.title().replace("_", " "), name.replace("_", "-"),
                            name.upper().replace("_", " "), name + "_", "_" + name, name + " x", name.replace("_", ".")])


names = st.one_of(st.sampled_from(NAMES).flatmap(name_forms),
                  st.text(st.sampled_from("rRedEgGbluBLUyYwWhitk_- \t.İıéÉK\u212a"), max_size=17))


def reference_name(color, foreground):
    name = color.lower().replace("-", "_").replace(" ", "_")
    name = ALIASES.get(name, name)
    if name not in NAMED:
        return ValueError, f"未知颜色名称: {color!r}。可用: {SORTED_KEYS}"
    code = NAMED[name]
    if not foreground and (code < 40 or 90 <= code <= 97):
        code += 10
    return sequence(f"{code}m")


@given(names, layers)
@with_examples(*[(form, foreground) for name in NAMES[-3:] for form in (name, name.upper().replace("_", "-"))
                 for foreground in (True, False)],
               ("bright_magenta__", True), ("bright_magenta___", False), ("", True), ("red\0", True))
def test_names(color, foreground):
    assert color_code(color, foreground) == reference_name(color, foreground)


# The codes a table may hold, rendered by the general writer: numbers as int() of them.
codes = st.one_of(numbers, st.booleans(), st.floats(-1e20, 1e20, allow_nan=False), st.just("1;31"))


def shown(value):
    return str(int(value)) if isinstance(value, (int, float)) else format(value, "")


def shifted(code):
    return code + 10 if code < 40 or 90 <= code <= 97 else code


@given(codes, layers)
@with_examples(*[(edge, foreground) for edge in EDGES for foreground in (True, False)], (1.9, False), (True, False),
               ("1;31", True), ("1;31", False))
def test_table_codes(code, foreground):
    colors_module.NAMED_COLORS["red"] = code
    try:
        result = outcome(colors_module._color_code, "Red", foreground=foreground)
    finally:
        colors_module.NAMED_COLORS["red"] = NAMED["red"]
    if not foreground and isinstance(code, str):
        assert result[0] is TypeError  # "1;31" < 40
    else:
        assert result == (str, sequence(f"{shown(code if foreground else shifted(code))}m"))


escapes = st.one_of(st.text(max_size=40), st.sampled_from(["", "\x1b", "<", "é" * 40, "\U0001f600"]),
                    st.floats(allow_nan=False), st.integers(), st.none())


@given(escapes, st.sampled_from(["red", "Bright Grey", 9, 200, (1, 2, 3), (200, 10, 0), "#abc", 1000]), layers)
def test_any_esc(esc, color, foreground):
    usual = color_code(color, foreground)
    saved = colors_module.ESC
    colors_module.ESC = esc
    try:
        result = color_code(color, foreground)
    finally:
        colors_module.ESC = saved
    assert result == (usual if type(usual) is tuple else format(esc, "") + usual[len(saved):])


# ---- the direct routes give what the general ones give ----

colours = st.one_of(numbers, st.tuples(numbers, numbers, numbers), st.tuples(numbers, numbers), hex_strings, names,
                    st.floats(allow_nan=False), st.none(), st.lists(st.integers(0, 255), max_size=3))
GENERAL = {name: functools.partial(lambda name, module: {name: stand_ins(module)[name]}, name)
           for name in ("ESC", "NAMED_COLORS", "_HEX_RE", "parse_hex", "_validate_rgb", "_color_code")}
GENERAL["all at once"] = stand_ins


@pytest.mark.own_objects
@pytest.mark.parametrize("leave", GENERAL.values(), ids=GENERAL.keys())
@settings(max_examples=50)
@given(color=colours)
@with_examples(*[(edge,) for edge in EDGES], ((255, 256, 0),), ("#ff8000",), ("Bright Grey",), ((1, 2),))
def test_direct_routes_give_what_the_general_ones_give(leave, color):
    calls = [colors_module.fg_code, colors_module.bg_code]
    direct = [outcome(call, color) for call in calls]
    own = dict(vars(colors_module))
    vars(colors_module).update(leave(colors_module))
    try:
        assert [outcome(call, color) for call in calls] == direct
    finally:
        vars(colors_module).update(own)


# ---- which direct route a colour takes ----

ROUTES = ("colors.byte_tuple", "colors.byte_index", "colors.hex_read", "colors.name_index")


def resolves(color):
    name = color.lower().replace("-", "_").replace(" ", "_")
    return ALIASES.get(name, name) in NAMED


def expected_route(color):
    """The direct route for a colour while the module's own objects are bound, by what each reads."""
    def byte(value):
        return type(value) in (int, bool) and 0 <= value <= 255
    if type(color) is tuple:
        return "colors.byte_tuple" if len(color) == 3 and all(byte(item) for item in color) else None
    if type(color) in (int, bool):
        return "colors.byte_index" if byte(color) else None
    if type(color) is not str:
        return None
    if color.startswith("#"):
        return "colors.hex_read" if HEX.fullmatch(color) else None
    return "colors.name_index" if color.isascii() and resolves(color) else None


@pytest.mark.own_objects
@given(colours, layers)
@with_examples(*[(edge, True) for edge in EDGES], *[((0, 0, edge), False) for edge in EDGES], ((True, 0, 255), True),
               ("#abc\n", True), ("BRIGHT-PURPLE", False), ("bright_purplé", True), (" red", True))
def test_each_colour_takes_its_direct_route(color, foreground):
    colors = required_counters()["colors"]
    expected = expected_route(color)
    with colors.change(*ROUTES, "colors.own_color_code", "colors.own_introducer") as moved:
        outcome(colors_module.fg_code if foreground else colors_module.bg_code, color)
    assert moved == {**dict.fromkeys(ROUTES, 0), **({expected: 1} if expected else {}), "colors.own_color_code": 1,
                     "colors.own_introducer": 1 if expected else 0}


# ---- the direct routes engage whatever happened before ----

@pytest.mark.own_objects
def test_direct_routes_engage_after_many_tables_were_watched(colors, counts):
    # Each table copy is watched when a name is looked up in it, and all stay alive: far more than
    # the table of watched dicts holds.
    kept, own = [], colors.NAMED_COLORS
    with counts["colors"].change("frame.watch_evicted", "frame.watch_table_full") as table:
        for _ in range(100):
            colors.NAMED_COLORS = dict(own)
            kept.append(colors.NAMED_COLORS)
            assert colors.bg_code("Red") == "\x1b[41m"
        colors.NAMED_COLORS = own
    assert table["frame.watch_evicted"] > 0 and table["frame.watch_table_full"] == 0
    with counts["colors"].change(*ROUTES, "colors.own_introducer") as moved:
        results = [colors.fg_code("red"), colors.fg_code(9), colors.fg_code((1, 2, 3)), colors.fg_code("#abc")]
    assert results == ["\x1b[31m", "\x1b[38;5;9m", "\x1b[38;2;1;2;3m", "\x1b[38;2;170;187;204m"]
    assert moved == {**dict.fromkeys(ROUTES, 1), "colors.own_introducer": 4}
