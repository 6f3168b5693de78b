"""fg_code, bg_code and _color_code: every colour form and module names read per call. The failure table
(messages and traceback entries) and the hostile callers are cases of hardening/cases.py."""

import collections

import pytest
from hypothesis import example, given, strategies as st

import tintwell.colors as colors_module

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


def test_unknown_name_lists_the_current_keys_in_code_point_order(colors):
    colors.NAMED_COLORS.update({"äpple": 1, "Zed": 2, "_x": 3})
    del colors.NAMED_COLORS["white"]
    colors.COLOR_ALIASES["not_listed"] = "red"
    names = sorted([*colors.NAMED_COLORS])
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


def test_index_subclasses(colors):
    assert colors.fg_code(Index(7)) == "\x1b[38;5;42m"
    for color in (Index(300), Index(-3)):
        with pytest.raises(ValueError) as info:
            colors.fg_code(color)
        assert info.value.args == ("256 色索引须在 0-255 范围内，收到: formatted",)


# ---- RGB tuples ----

class Drifting:
    """Converts to a different integer each time."""

    def __init__(self, *values):
        self.values = list(values)

    def __index__(self):
        return self.values.pop(0)


@pytest.mark.own_objects  # a replaced _validate_rgb cannot tell which integers it accepted
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


# ---- str subclasses ----

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


# ---- foreground ----

@pytest.mark.parametrize("foreground, expected", [(True, "\x1b[34m"), (None, "\x1b[44m"), ([], "\x1b[44m"),
                                                  ("yes", "\x1b[34m"), (0, "\x1b[44m")])
def test_foreground_truth(colors, foreground, expected):
    assert colors._color_code("blue", foreground=foreground) == expected


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


@pytest.mark.parametrize("esc, shown", [("<", "<"), (Introducer("<"), "!"), (1.5, "1.5"), ("é" * 40, "é" * 40)])
def test_esc_is_read_at_every_call(colors, esc, shown):
    colors.fg_code("red")
    colors.ESC = esc
    results = [colors.fg_code("red"), colors.fg_code(9), colors.bg_code((1, 2, 3)), colors.fg_code("#fff")]
    assert results == [shown + tail for tail in ("31m", "38;5;9m", "48;2;1;2;3m", "38;2;255;255;255m")]
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


# ---- the tables changed after a call that resolved a name through their index ----

@pytest.mark.parametrize("change, color, expected", [
    (lambda c: c.COLOR_ALIASES.__setitem__("grey", "red"), "Grey", "\x1b[31m"),
    (lambda c: c.NAMED_COLORS.__setitem__("red", 38), "red", "\x1b[38m"),
    (lambda c: c.NAMED_COLORS.__setitem__("red", True), "red", "\x1b[1m"),
    (lambda c: c.NAMED_COLORS.__setitem__("red", 31), "red", "\x1b[31m"),
    (lambda c: c.NAMED_COLORS.pop("red"), "red", ValueError),
    (lambda c: (c.NAMED_COLORS.pop("white"), c.NAMED_COLORS.update(nope=-1)), "white", ValueError),
    (lambda c: c.COLOR_ALIASES.update(gray="white"), "gray", "\x1b[37m"),
    (lambda c: c.COLOR_ALIASES.clear(), "grey", ValueError),
    (lambda c: c.NAMED_COLORS.update({1: 0}), "bright-red", "\x1b[91m"),
    (lambda c: vars(c).update(NAMED_COLORS={"red": 5}), "red", "\x1b[5m"),
])
def test_changes_are_seen_by_the_next_call(colors, change, color, expected):
    assert colors.fg_code("grey") == "\x1b[90m"  # the tables as built: resolved through their index
    change(colors)
    if expected is ValueError:
        with pytest.raises(ValueError, match="^未知颜色名称"):
            colors.fg_code(color)
    else:
        assert colors.fg_code(color) == expected
