"""fg_code, bg_code and _color_code: every colour form, every failure, and module names read per call."""

import collections

import pytest
from hypothesis import example, given, strategies as st

import tintwell.colors as colors_module
from conftest import module_entries

NAMES = ("black, blue, bright_black, bright_blue, bright_cyan, bright_green, bright_magenta, bright_red, "
         "bright_white, bright_yellow, cyan, green, magenta, red, white, yellow")


def unknown(color, names=NAMES):
    return f"未知颜色名称: {color!r}。可用: {names}"


@pytest.mark.parametrize("func, color, expected", [
    ("fg_code", "red", "\x1b[31m"),
    ("bg_code", "red", "\x1b[41m"),
    ("fg_code", "Bright Red", "\x1b[91m"),
    ("bg_code", "bright-red", "\x1b[101m"),
    ("fg_code", "purple", "\x1b[35m"),
    ("bg_code", "GREY", "\x1b[100m"),
    ("fg_code", "BRIGHT-GREY", "\x1b[90m"),
    ("bg_code", "bright grey", "\x1b[100m"),
    ("fg_code", 196, "\x1b[38;5;196m"),
    ("bg_code", 0, "\x1b[48;5;0m"),
    ("bg_code", 196, "\x1b[48;5;196m"),
    ("fg_code", 255, "\x1b[38;5;255m"),
    ("fg_code", "#ff0000", "\x1b[38;2;255;0;0m"),
    ("bg_code", "#00ff7f", "\x1b[48;2;0;255;127m"),
    ("fg_code", "#abc\n", "\x1b[38;2;170;187;204m"),
    ("fg_code", (1, 2, 3), "\x1b[38;2;1;2;3m"),
    ("bg_code", (255, 128, 0), "\x1b[48;2;255;128;0m"),
    # Numbers go into sequences as the integers the int-parameter rule makes of them.
    ("fg_code", True, "\x1b[38;5;1m"),
    ("bg_code", False, "\x1b[48;5;0m"),
    ("fg_code", (1.5, 2, 3), "\x1b[38;2;1;2;3m"),
    ("fg_code", (True, False, True), "\x1b[38;2;1;0;1m"),
    ("fg_code", (255.9, 0, -0.5), "\x1b[38;2;255;0;0m"),
    ("bg_code", collections.namedtuple("RGB", "r g b")(7, 8, 9), "\x1b[48;2;7;8;9m"),
])
def test_results(colors, func, color, expected):
    result = getattr(colors, func)(color)
    assert result == expected and type(result) is str
    assert colors._color_code(color, foreground=func == "fg_code") == expected


@pytest.mark.parametrize("name, code", list(colors_module.NAMED_COLORS.items()))
def test_every_named_colour_in_both_layers(colors, name, code):
    assert colors.fg_code(name) == f"\x1b[{code}m"
    assert colors.bg_code(name) == f"\x1b[{code + 10}m"
    assert colors.bg_code(name.upper().replace("_", "-")) == f"\x1b[{code + 10}m"


@pytest.mark.parametrize("alias, target", list(colors_module.COLOR_ALIASES.items()))
def test_aliases(colors, alias, target):
    for func in (colors.fg_code, colors.bg_code):
        assert func(alias) == func(target)
        assert func(alias.replace("_", " ").title()) == func(target)


@pytest.mark.parametrize("color", ["nope", "", " red", "red ", "red\t", "bright.red", "brightred", "bright__red",
                                   "Ｒｅｄ", "grey\n", "bright_grey_"])
def test_unknown_names(colors, color):
    with pytest.raises(ValueError) as info:
        colors.fg_code(color)
    assert info.value.args == (unknown(color),)
    assert module_entries(info.value) == ["tintwell.colors.fg_code", "tintwell.colors._color_code"]


def test_unknown_name_lists_the_current_keys_in_code_point_order(colors):
    colors.NAMED_COLORS.update({"äpple": 1, "Zed": 2, "_x": 3})
    del colors.NAMED_COLORS["white"]
    colors.COLOR_ALIASES["not_listed"] = "red"
    names = sorted([*colors.NAMED_COLORS])
    assert names[:2] == ["Zed", "_x"] and names[-1] == "äpple"
    with pytest.raises(ValueError) as info:
        colors.bg_code("White")
    assert str(info.value) == unknown("White", ", ".join(names))


def reference_color_code(color, foreground):
    """The name path written out in Python, for names only."""
    name = color.lower().replace("-", "_").replace(" ", "_")
    name = colors_module.COLOR_ALIASES.get(name, name)
    if name not in colors_module.NAMED_COLORS:
        return ValueError, unknown(color)
    code = colors_module.NAMED_COLORS[name]
    if not foreground and (code < 40 or 90 <= code <= 97):
        code += 10
    return f"\x1b[{code}m"


@given(st.text(alphabet="rRedEgGbluBLUyYwWhitk_- \t.İıéÉ", max_size=14), st.booleans())
@example("Bright-Red", False)
@example("bLuE", True)
@example("Bright Grey", False)
def test_names_agree_with_the_algorithm(color, foreground):
    try:
        result = colors_module._color_code(color, foreground=foreground)
    except ValueError as exc:
        result = ValueError, str(exc)
    assert result == reference_color_code(color, foreground)


# ---- 256-colour indices ----

class Index(int):
    """An int subclass: error messages format it, sequences show int() of it."""

    def __format__(self, format_spec):
        return "formatted"

    def __int__(self):
        return 42


@pytest.mark.parametrize("color, shown", [(256, "256"), (-1, "-1"), (2 ** 100, str(2 ** 100)),
                                          (Index(300), "formatted"), (Index(-3), "formatted")])
def test_index_out_of_range(colors, color, shown):
    with pytest.raises(ValueError) as info:
        colors.fg_code(color)
    assert info.value.args == (f"256 色索引须在 0-255 范围内，收到: {shown}",)
    assert module_entries(info.value) == ["tintwell.colors.fg_code", "tintwell.colors._color_code"]


def test_index_subclass_renders_as_int_of_it(colors):
    assert colors.fg_code(Index(7)) == "\x1b[38;5;42m"

    class Lenient(int):
        def __ge__(self, other):
            return True

        __le__ = __ge__

    assert colors.bg_code(Lenient(1000)) == "\x1b[48;5;1000m"  # its own comparisons decide


# ---- unsupported types ----

@pytest.mark.parametrize("color, type_name", [([1, 2, 3], "list"), (1.5, "float"), (None, "NoneType"),
                                              (b"red", "bytes"), ({"r": 1}, "dict"), (1j, "complex"),
                                              (type("C" * 250, (), {})(), "C" * 250)])
def test_unsupported_types(colors, color, type_name):
    with pytest.raises(TypeError) as info:
        colors.bg_code(color)
    assert info.value.args == (f"不支持的颜色类型: {type_name}",)
    assert module_entries(info.value) == ["tintwell.colors.bg_code", "tintwell.colors._color_code"]


# ---- RGB tuples ----

class LyingTuple(tuple):
    """A tuple subclass whose iteration, not its length, decides what is unpacked."""

    def __new__(cls, real, items):
        self = super().__new__(cls, real)
        self.items = items
        return self

    def __iter__(self):
        for item in self.items:
            if isinstance(item, BaseException):
                raise item
            yield item


class Drifting:
    """Converts to a different integer each time."""

    def __init__(self, *values):
        self.values = list(values)

    def __index__(self):
        return self.values.pop(0)


@pytest.mark.parametrize("color, exc_type, message", [
    ((), ValueError, "need more than 0 values to unpack"),
    ((1,), ValueError, "need more than 1 value to unpack"),
    ((1, 2), ValueError, "need more than 2 values to unpack"),
    ((1, 2, 3, 4), ValueError, "too many values to unpack (expected 3)"),
    ((300, 0, 0), ValueError, "R 分量须在 0-255 范围内，收到: 300"),
    ((0, 0, -1), ValueError, "B 分量须在 0-255 范围内，收到: -1"),
    ((300, "x", 0), TypeError, "Argument 'g' has incorrect type (expected int, got str)"),
    ((0, None, 0), TypeError, "Argument 'g' has incorrect type (expected int, got NoneType)"),
    (LyingTuple((1, 2, 3), [1, 2, 3, 4, 5]), ValueError, "too many values to unpack (expected 3)"),
    (LyingTuple((1, 2, 3), [1]), ValueError, "need more than 1 value to unpack"),
    (LyingTuple((1, 2, 3), [1, 2, 3, LookupError("fourth")]), LookupError, "fourth"),
])
def test_tuple_failures(colors, color, exc_type, message):
    with pytest.raises(exc_type) as info:
        colors.fg_code(color)
    assert str(info.value) == message
    assert module_entries(info.value)[:2] == ["tintwell.colors.fg_code", "tintwell.colors._color_code"]


def test_tuple_subclasses_are_unpacked_by_iteration(colors):
    assert colors.fg_code(LyingTuple((), [7, 8, 9])) == "\x1b[38;2;7;8;9m"
    assert colors.fg_code(LyingTuple((1, 2, 3, 4, 5), [10, 20, 30])) == "\x1b[38;2;10;20;30m"


def test_tuple_items_are_rendered_as_the_integers_validated(colors):
    assert colors.fg_code((Drifting(5, 300), 0, 0)) == "\x1b[38;2;5;0;0m"
    with pytest.raises(ValueError, match="收到: 300$"):
        colors.fg_code((Drifting(300, 5), 0, 0))


def test_esc_is_read_after_validation(colors):
    class Rebinding:
        def __index__(self):
            colors.ESC = ">"
            return 1

    assert colors.bg_code((Rebinding(), 2, 3)) == ">48;2;1;2;3m"


# ---- hex strings ----

@pytest.mark.parametrize("color", ["#", "#12", "#ff00zz", "#ff0000 ", "#red"])
def test_hex_failures_are_parse_hex_errors(colors, color):
    with pytest.raises(ValueError) as info:
        colors.bg_code(color)
    assert info.value.args == (f"无法解析十六进制颜色: {color!r}，期望格式 #RGB 或 #RRGGBB",)
    assert module_entries(info.value) == ["tintwell.colors.bg_code", "tintwell.colors._color_code",
                                          "tintwell.colors.parse_hex"]


# ---- str subclasses ----

class Name(str):
    pass


def test_str_subclass_names_work_but_hex_ones_meet_parse_hex(colors):
    assert colors.fg_code(Name("Bright-Red")) == "\x1b[91m"
    with pytest.raises(TypeError) as info:
        colors.fg_code(Name("#fff"))
    assert str(info.value) == "Argument 'color' has incorrect type (expected str, got Name)"
    assert len(info.value.__notes__) == 1
    assert module_entries(info.value)[-1] == "tintwell.colors.parse_hex"


def test_str_subclass_methods_are_its_own(colors):
    calls = []

    class Loud(str):
        def startswith(self, prefix):
            calls.append(("startswith", prefix))
            return False

        def lower(self):
            calls.append(("lower",))
            return Quiet("Blue-Sky")

    class Quiet(str):
        def replace(self, old, new):
            calls.append(("replace", old, new))
            return "cyan" if old == " " else self

    assert colors.fg_code(Loud("#fff")) == "\x1b[36m"
    assert calls == [("startswith", "#"), ("lower",), ("replace", "-", "_"), ("replace", " ", "_")]


def test_lower_result_is_not_lowered_again(colors):
    class Upper(str):
        def lower(self):
            return "BLUE"

        def __repr__(self):
            return "<upper>"

    with pytest.raises(ValueError) as info:
        colors.fg_code(Upper("blue"))
    assert info.value.args == (f"未知颜色名称: <upper>。可用: {NAMES}",)


def test_str_subclass_errors_propagate(colors):
    class Broken(str):
        def startswith(self, prefix):
            raise LookupError("startswith")

    with pytest.raises(LookupError, match="startswith") as info:
        colors.fg_code(Broken("red"))
    assert module_entries(info.value) == ["tintwell.colors.fg_code", "tintwell.colors._color_code"]


# ---- foreground ----

@pytest.mark.parametrize("foreground, expected", [(True, "\x1b[34m"), (None, "\x1b[44m"), ([], "\x1b[44m"),
                                                  ("yes", "\x1b[34m"), (0, "\x1b[44m")])
def test_foreground_truth(colors, foreground, expected):
    assert colors._color_code("blue", foreground=foreground) == expected


def test_foreground_truth_errors_propagate(colors):
    class Undecided:
        def __bool__(self):
            raise LookupError("undecided")

    for color in ("blue", [1]):  # the layer is decided before the colour is looked at
        with pytest.raises(LookupError) as info:
            colors._color_code(color, foreground=Undecided())
        assert module_entries(info.value) == ["tintwell.colors._color_code"]


@pytest.mark.parametrize("missing, color, exc_type", [
    ("_validate_rgb", (1, 2), ValueError),       # unpacking comes first
    ("_validate_rgb", (1, 2, 3), NameError),
    ("ESC", (300, 0, 0), ValueError),            # ESC is read only for the result
    ("ESC", 256, ValueError),
    ("ESC", "nope", ValueError),
    ("ESC", "#12", ValueError),
    ("NAMED_COLORS", 1.5, TypeError),
    ("COLOR_ALIASES", "#fff", None),
    ("parse_hex", "red", None),
])
def test_first_failing_step_is_reported(colors, missing, color, exc_type):
    delattr(colors, missing)
    if exc_type is None:
        assert colors.fg_code(color).startswith("\x1b[")
    else:
        with pytest.raises(exc_type):
            colors.fg_code(color)


# ---- background shift, with the table's codes replaced ----

@pytest.mark.parametrize("code, fg, bg", [
    (39, "39", "49"), (40, "40", "40"), (89, "89", "89"), (90, "90", "100"), (97, "97", "107"), (98, "98", "98"),
    (-5, "-5", "5"), (1.9, "1", "11"), (True, "1", "11"), (2 ** 70, str(2 ** 70), str(2 ** 70)),
    (-(2 ** 63), str(-(2 ** 63)), str(-(2 ** 63) + 10)), ("1;31", "1;31", TypeError),
])
def test_background_shift(colors, code, fg, bg):
    colors.NAMED_COLORS["red"] = code
    assert colors.fg_code("red") == f"\x1b[{fg}m"
    if bg is TypeError:
        with pytest.raises(TypeError, match="'<' not supported"):
            colors.bg_code("red")
    else:
        assert colors.bg_code("red") == f"\x1b[{bg}m"


# ---- module names rebound or mutated ----

class Introducer(str):
    def __format__(self, format_spec):
        return "!"


@pytest.mark.parametrize("esc, expected", [("<", "<31m|<38;5;9m|<48;2;1;2;3m|<38;2;255;255;255m"),
                                           (Introducer("<"), "!31m|!38;5;9m|!48;2;1;2;3m|!38;2;255;255;255m"),
                                           (5, "531m|538;5;9m|548;2;1;2;3m|538;2;255;255;255m"),
                                           (1.5, "1.531m|1.538;5;9m|1.548;2;1;2;3m|1.538;2;255;255;255m"),
                                           ("é" * 40, None), ("x" * 100, None)])
def test_esc_is_read_at_every_call(colors, esc, expected):
    colors.fg_code("red")
    colors.ESC = esc
    results = "|".join([colors.fg_code("red"), colors.fg_code(9), colors.bg_code((1, 2, 3)), colors.fg_code("#fff")])
    assert results == (expected or "|".join(f"{esc}{tail}" for tail in ("31m", "38;5;9m", "48;2;1;2;3m",
                                                                         "38;2;255;255;255m")))
    assert colors.RESET_FG == "\x1b[39m"  # built once, at import


def test_named_colors_and_aliases_mutated(colors):
    colors.COLOR_ALIASES["crimson"] = "red"
    assert colors.fg_code("Crimson") == "\x1b[31m"
    colors.COLOR_ALIASES["twice"] = "grey"  # one level only: "grey" is not a key of NAMED_COLORS
    with pytest.raises(ValueError) as info:
        colors.fg_code("twice")
    assert info.value.args == (unknown("twice"),)
    colors.NAMED_COLORS["orange"] = 33
    colors.COLOR_ALIASES["red"] = "orange"  # aliases are looked up before the table
    assert colors.bg_code("RED") == "\x1b[43m"


class Mapping:
    """Just enough of a mapping for the functions: membership, item lookup, iteration, get."""

    def __init__(self, data):
        self.data, self.log = dict(data), []

    def __contains__(self, key):
        self.log.append(("in", key))
        return key in self.data

    def __getitem__(self, key):
        self.log.append(("[]", key))
        return self.data[key]

    def __iter__(self):
        return iter(self.data)

    def get(self, key, default):
        self.log.append(("get", key, default))
        return self.data.get(key, default)


def test_tables_replaced_by_other_mappings(colors):
    colors.NAMED_COLORS = table = Mapping({"red": 1, "Green": 2})
    colors.COLOR_ALIASES = aliases = Mapping({"rouge": "red"})
    assert colors.fg_code("Rouge") == "\x1b[1m"
    assert aliases.log == [("get", "rouge", "rouge")]
    assert table.log == [("in", "red"), ("[]", "red")]
    with pytest.raises(ValueError) as info:
        colors.fg_code("blue")
    assert info.value.args == (unknown("blue", "Green, red"),)

    class Aliases(dict):
        def get(self, key, default=None):
            return "green"

    colors.NAMED_COLORS = {"green": 32}
    colors.COLOR_ALIASES = Aliases()
    assert colors.fg_code("anything") == "\x1b[32m"


def test_table_read_again_after_the_membership_test(colors):
    class Swapping(dict):
        def __contains__(self, key):
            colors.NAMED_COLORS = {"red": 1}
            return super().__contains__(key)

    colors.NAMED_COLORS = Swapping(colors.NAMED_COLORS)
    assert colors.fg_code("red") == "\x1b[1m"
    colors.NAMED_COLORS = Swapping(red=31)
    with pytest.raises(ValueError) as info:
        colors.fg_code("blue")
    assert info.value.args == (unknown("blue", "red"),)


def test_table_errors_propagate(colors):
    class Broken(dict):
        def get(self, key, default=None):
            raise LookupError("get")

    colors.COLOR_ALIASES = Broken()
    with pytest.raises(LookupError, match="get") as info:
        colors.bg_code("red")
    assert module_entries(info.value) == ["tintwell.colors.bg_code", "tintwell.colors._color_code"]
    colors.COLOR_ALIASES = {}
    colors.NAMED_COLORS = {"red": 31, 7: 0}
    with pytest.raises(TypeError):  # the names cannot be sorted
        colors.bg_code("blue")


def test_parse_hex_replaced(colors):
    seen = []

    def parse_hex(color):
        seen.append(color)
        return {"#list": [1.9, 2, 3], "#short": (1, 2), "#int": 5, "#text": ("a", "b", "c")}[color]

    colors.parse_hex = parse_hex
    name = Name("#list")
    assert colors.fg_code(name) == "\x1b[38;2;1;2;3m"
    assert seen == [name] and type(seen[0]) is Name  # called with the very object, subclasses included
    assert colors.bg_code("#text") == "\x1b[48;2;a;b;cm"
    with pytest.raises(ValueError, match=r"^need more than 2 values to unpack$"):
        colors.fg_code("#short")
    with pytest.raises(TypeError, match=r"^cannot unpack non-iterable int object$"):
        colors.fg_code("#int")


def test_validate_rgb_replaced(colors):
    seen = []
    colors._validate_rgb = lambda *rgb: seen.append(rgb) or "ignored"
    assert colors.fg_code((1.5, True, "text")) == "\x1b[38;2;1;1;textm"
    assert seen == [(1.5, True, "text")]
    assert colors.bg_code((10 ** 30, -7, 0)) == f"\x1b[48;2;{10 ** 30};-7;0m"


def test_color_code_replaced(colors):
    seen = []

    def color_code(*args, **kwargs):
        seen.append((args, kwargs))
        return results.pop(0)

    results = ["x", None, 5, Name("x"), type("R" * 300, (), {})()]
    colors._color_code = color_code
    assert colors.fg_code("red") == "x"
    assert colors.bg_code(color=1) is None
    assert seen == [(("red",), {"foreground": True}), ((1,), {"foreground": False})]
    assert all(type(kwargs["foreground"]) is bool for _, kwargs in seen)
    for type_name in ("int", "Name", "R" * 200):
        with pytest.raises(TypeError) as info:
            colors.fg_code("red")
        assert str(info.value) == f"Expected str, got {type_name}"
        assert module_entries(info.value) == ["tintwell.colors.fg_code"]
