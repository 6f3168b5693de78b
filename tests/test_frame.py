"""The module frame: import and execution, argument passing, traceback entries, name resolution and
the function objects, seen through tintwell.colors (and tintwell.detect where only the frame decides)."""

import builtins
import copy
import inspect
import json
import pickle
import pydoc
import re
import sys
import textwrap
import weakref

import pytest

from conftest import module_entries, outcome

MODULES = [("tintwell.colors", "colors"), ("tintwell.detect", "detect")]
FUNCTION_NAMES = ["parse_hex", "rgb_to_ansi256", "fg_code", "bg_code", "_color_code", "_validate_rgb"]


# ---- import and execution (each in a fresh interpreter) ----

@pytest.mark.parametrize("name", [name for name, _ in MODULES])
def test_repeated_import_returns_the_same_module_without_running_its_code(run_python, name):
    out = run_python(f"""
        import importlib, sys
        import {name} as first
        first.__test__ = "kept"          # the last step of the module's execution would reset it
        del sys.modules["{name}"]
        sys.modules["typing"] = None     # and its module-level code would fail on this
        import {name} as second
        reloaded = importlib.reload(second)
        print(second is first, reloaded is first, sys.modules["{name}"] is first, first.__test__)
    """)
    assert out.split() == ["True", "True", "True", "kept"]


@pytest.mark.parametrize("name, short", MODULES)
def test_executing_a_second_module_object_is_refused(run_python, name, short):
    out = run_python(f"""
        import _imp, importlib.util, sys
        module_spec = importlib.util.find_spec("{name}")
        first, second = _imp.create_dynamic(module_spec), _imp.create_dynamic(module_spec)
        assert first is not second and "{name}" not in sys.modules
        assert _imp.exec_dynamic(first) == 0
        assert sys.modules["{name}"] is first
        try:
            _imp.exec_dynamic(second)
        except RuntimeError as exc:
            print(exc)
        assert _imp.exec_dynamic(first) == 0
        assert _imp.create_dynamic(module_spec) is first
    """)
    assert out == f"Module '{short}' has already been imported. Re-initialisation is not supported.\n"


def test_execution_keeps_an_existing_sys_modules_entry(run_python):
    out = run_python("""
        import _imp, importlib.util, sys
        module_spec = importlib.util.find_spec("tintwell.colors")
        sys.modules["tintwell.colors"] = "placeholder"
        module = _imp.create_dynamic(module_spec)
        _imp.exec_dynamic(module)
        print(sys.modules["tintwell.colors"], module.fg_code("red") == "\\x1b[31m")
    """)
    assert out.split() == ["placeholder", "True"]


def test_create_copies_what_the_module_spec_has(run_python):
    out = run_python("""
        import _imp, importlib.util, json
        ORIGIN = importlib.util.find_spec("tintwell.colors").origin

        class PartialModuleSpec:
            name, origin = "tintwell.colors", ORIGIN
            submodule_search_locations = ["somewhere"]

        class Failing(PartialModuleSpec):
            @property
            def parent(self):
                raise LookupError("no parent")

        class Full(PartialModuleSpec):
            loader, parent, submodule_search_locations = "L", "P", None

        try:
            _imp.create_dynamic(Failing())
        except LookupError as exc:
            print(json.dumps(str(exc)))
        for module_spec in PartialModuleSpec(), Full():
            module = vars(_imp.create_dynamic(module_spec))
            keys = ("__loader__", "__package__", "__path__")
            print(json.dumps([module["__file__"] == ORIGIN] + [module.get(key, "-") for key in keys]))
    """)
    assert [json.loads(line) for line in out.splitlines()] == [
        "no parent",
        [True, None, None, ["somewhere"]],
        [True, "L", "P", "-"],
    ]


def _indent(code):
    return textwrap.indent(textwrap.dedent(code).strip(), " " * 8)


FAILURES = [
    pytest.param("sys.modules['re'] = None", "del sys.modules['re']",
                 "ModuleNotFoundError", "import of re halted; None in sys.modules", id="re-is-none"),
    pytest.param("sys.modules['typing'] = None", "del sys.modules['typing']",
                 "ModuleNotFoundError", "import of typing halted; None in sys.modules", id="typing-is-none"),
    pytest.param("""
        class Boom(Exception):
            pass
        class Refuse:
            def find_spec(self, name, path=None, target=None):
                if name == "typing":
                    raise Boom("no typing today")
        sys.modules.pop("typing", None)
        sys.meta_path.insert(0, Refuse())
        """, "del sys.meta_path[0]", "Boom", "no typing today", id="meta-path-hook"),
    pytest.param("""
        import types
        sys.modules["typing"] = types.ModuleType("typing")
        sys.modules["typing"].Optional = None
        """, "del sys.modules['typing']", "ImportError", "cannot import name Tuple", id="typing-without-Tuple"),
    pytest.param("""
        import re
        saved = re.compile
        def compile(pattern):
            raise KeyError("compile refused")
        re.compile = compile
        """, "re.compile = saved", "KeyError", "'compile refused'", id="compile-raises"),
    pytest.param("saved = builtins.round; del builtins.round", "builtins.round = saved",
                 "NameError", "name 'round' is not defined", id="no-round"),
]


@pytest.mark.parametrize("breaking, repair, exc_type, message", FAILURES)
def test_failed_execution_leaves_nothing_behind(run_python, breaking, repair, exc_type, message):
    out = run_python(f"""
        import builtins, json, sys, traceback
        import tintwell
{_indent(breaking)}
        try:
            import tintwell.colors
        except BaseException as exc:
            entries = [(f.name, f.filename) for f in traceback.extract_tb(exc.__traceback__)]
            print(json.dumps([type(exc).__name__, str(exc), entries]))
        print(json.dumps(["tintwell.colors" in sys.modules, hasattr(tintwell, "colors")]))
{_indent(repair)}
        import tintwell.colors as colors
        print(json.dumps([colors.fg_code("red"), colors.rgb_to_ansi256(100, 150, 200), "__test__" in vars(colors)]))
    """)
    failure, leftovers, after = (json.loads(line) for line in out.splitlines())
    assert failure[:2] == [exc_type, message]
    assert failure[2].count(["init tintwell.colors", "tintwell/colors"]) == 1
    assert leftovers == [False, False]
    assert after == ["\x1b[31m", 110, True]


def test_missing_typing_attribute_falls_back_to_sys_modules(run_python):
    out = run_python("""
        import sys, types
        sys.modules["typing"] = types.ModuleType("typing")
        sys.modules["typing"].Optional = "opt"
        sys.modules["typing.Tuple"] = "tup"
        import tintwell.colors as colors
        print(colors.Optional, colors.Tuple)
    """)
    assert out.split() == ["opt", "tup"]


def test_importing_colors_leaves_detect_alone(run_python):
    out = run_python("""
        import sys
        import tintwell.colors
        print("tintwell.detect" in sys.modules)
    """)
    assert out.split() == ["False"]


def test_module_attributes_set_by_execution(colors):
    assert colors.__builtins__ is builtins
    assert colors.__test__ == {} and type(colors.__test__) is dict
    assert sys.modules["tintwell.colors"] is colors
    assert colors.__package__ == "tintwell"
    assert colors.__file__ == colors.__spec__.origin
    assert colors.__loader__ is colors.__spec__.loader
    assert not hasattr(colors, "__path__")


# ---- argument passing (every TypeError format is a case of hardening/cases.py) ----

class Str(str):
    pass


def test_keyword_names_match_by_equality_and_must_be_strings(colors):
    testcapi = pytest.importorskip("_testcapi")
    call = testcapi.pyobject_vectorcall  # (callable, args + keyword values, keyword names)
    assert call(colors.parse_hex, ("#fff",), (Str("color"),)) == (255, 255, 255)
    assert colors.parse_hex(**{"".join(["col", "or"]): "#000"}) == (0, 0, 0)
    with pytest.raises(TypeError, match=r"^parse_hex\(\) keywords must be strings$"):
        call(colors.parse_hex, ("#fff",), (1,))
    with pytest.raises(TypeError, match=r"^parse_hex\(\) got multiple values for keyword argument 'color'$"):
        call(colors.parse_hex, ("#fff", "#000"), ("color", "color"))


def test_message_names(colors):
    colors.fg_code.__name__ = "paint"  # the function's current __name__
    with pytest.raises(TypeError, match=r"^paint\(\) takes exactly 1 positional argument \(0 given\)$"):
        colors.fg_code()
    with pytest.raises(TypeError) as info:
        colors.parse_hex(type("T" * 300, (), {})())  # type names are cut at 200 characters
    assert str(info.value) == f"Argument 'color' has incorrect type (expected str, got {'T' * 200})"


class Number:
    """Converts through __index__, recording the order of conversions in `log`."""

    def __init__(self, log, label, value):
        self.log, self.label, self.value = log, label, value

    def __index__(self):
        self.log.append(self.label)
        if isinstance(self.value, BaseException):
            raise self.value
        return self.value


class Flaky(int):
    """An int subclass that renders oddly: converted arguments show its plain value."""

    __str__ = __repr__ = __format__ = lambda self, *args: "flaky"


@pytest.mark.parametrize("name", ["_validate_rgb", "rgb_to_ansi256"])
def test_int_parameters_convert_everything_first_in_declaration_order(colors, name):
    func = getattr(colors, name)
    log = []
    func(b=Number(log, "b", 3), g=Number(log, "g", 2), r=Number(log, "r", 1))
    assert log == ["r", "g", "b"]
    # A conversion failure of a later parameter comes before the type error of an earlier one.
    with pytest.raises(ValueError, match="cannot convert float NaN to integer"):
        func("x", float("nan"), 0)
    log.clear()
    with pytest.raises(LookupError, match="from g"):
        func(Number(log, "r", 1), Number(log, "g", LookupError("from g")), Number(log, "b", 3))
    assert log == ["r", "g"]


def test_int_parameters_receive_exact_ints(colors):
    with pytest.raises(ValueError, match="^R 分量须在 0-255 范围内，收到: 300$"):
        colors._validate_rgb(Flaky(300), 0, 0)


@pytest.mark.parametrize("name, args", [
    ("parse_hex", ("#abc",)), ("parse_hex", ("#ab",)), ("parse_hex", (None,)), ("parse_hex", (Str("#abc"),)),
    ("_validate_rgb", (1, 2, 3)), ("_validate_rgb", (1, 256, 3)), ("_validate_rgb", (1, "x", 3)),
    ("_validate_rgb", (Flaky(300), 0, 0)), ("rgb_to_ansi256", (100, 150, 200)), ("rgb_to_ansi256", (2 ** 30, 0, -1)),
    ("rgb_to_ansi256", (1.5, True, 3)), ("detect_color_level", (None,)),
])
def test_arguments_by_position_bind_as_by_keyword(colors, name, args):
    # By position, arguments that already are what their annotations demand skip binding and coercion.
    import tintwell.detect

    func = getattr(colors, name, None) or getattr(tintwell.detect, name)
    keywords = dict(zip(inspect.signature(func).parameters, args))
    assert outcome(func, *args) == outcome(func, **keywords)


def test_binding_is_skipped_only_by_position(colors, counts):
    with counts["colors"].change("frame.positional_binding") as moved:
        colors.parse_hex("#abc")
        colors.rgb_to_ansi256(1, 2, 3)
        colors.parse_hex(color="#abc")
        colors.rgb_to_ansi256(1.0, 2, 3)
    assert moved == {"frame.positional_binding": 2}


# ---- name resolution ----

def test_globals_read_again_are_remembered(colors, counts):
    colors._HEX_RE = re.compile(colors._HEX_RE.pattern, re.IGNORECASE)  # matched by its own match()
    colors.parse_hex("#aabbcc")
    with counts["colors"].change("frame.remembered_global") as moved:
        assert colors.parse_hex("#aabbcc") == (170, 187, 204)
    assert moved == {"frame.remembered_global": 1}  # _HEX_RE, from the watched namespace
    colors._HEX_RE = re.compile(colors._HEX_RE.pattern, re.ASCII)  # a change to the namespace: read afresh
    with counts["colors"].change("frame.remembered_global") as moved:
        assert colors.parse_hex("#aabbcc") == (170, 187, 204)
    assert moved == {"frame.remembered_global": 0}


@pytest.mark.parametrize("name, call", [
    ("_HEX_RE", lambda c: c.parse_hex("#fff")),
    ("_SHORT_HEX_RE", lambda c: c.parse_hex("#fff")),
    ("ESC", lambda c: c.fg_code("red")),
    ("ESC", lambda c: c.bg_code(7)),
    ("NAMED_COLORS", lambda c: c.fg_code("red")),
    ("COLOR_ALIASES", lambda c: c.bg_code("grey")),
    ("parse_hex", lambda c: c.fg_code("#fff")),
    ("_validate_rgb", lambda c: c.fg_code((1, 2, 3))),
    ("_color_code", lambda c: c.bg_code("red")),
])
def test_names_are_looked_up_at_every_call(colors, monkeypatch, name, call):
    expected = call(colors)  # warms whatever a lookup may remember
    value = vars(colors).pop(name)
    with pytest.raises(NameError) as info:
        call(colors)
    assert str(info.value) == f"name '{name}' is not defined"
    assert module_entries(info.value)[-1] in {"tintwell.colors.parse_hex", "tintwell.colors._color_code",
                                              "tintwell.colors.bg_code"}
    monkeypatch.setattr(builtins, name, value, raising=False)  # builtins are the fallback ...
    assert call(colors) == expected
    setattr(colors, name, None)                                 # ... behind the module's namespace
    try:
        changed = call(colors)
    except (TypeError, AttributeError):
        changed = None
    assert changed != expected
    monkeypatch.undo()
    setattr(colors, name, value)
    assert call(colors) == expected


# ---- function objects ----

@pytest.mark.parametrize("name", FUNCTION_NAMES)
def test_function_attributes(colors, name):
    func = getattr(colors, name)
    assert func.__name__ == func.__qualname__ == name
    assert func.__module__ == "tintwell.colors"
    assert func.__defaults__ is None and func.__kwdefaults__ is None
    assert func.__dict__ == {}
    assert all(type(text) is str for text in func.__annotations__.values())
    assert re.fullmatch(rf"<function {name} at 0x[0-9a-f]+>", repr(func))
    func.custom = 1
    assert func.__dict__ == {"custom": 1}
    func.__qualname__ = "Other.name"
    assert repr(func).startswith("<function Other.name at ")


def python_function(color):
    pass


@pytest.mark.parametrize("attr, value", [
    ("__name__", 1), ("__qualname__", None), ("__defaults__", [1]), ("__kwdefaults__", [1]),
    ("__annotations__", 1), ("__dict__", 1), ("__kwdefaults__", ()),
])
def test_setters_check_like_python_functions(colors, attr, value):
    with pytest.raises(TypeError) as expected:
        setattr(python_function, attr, value)
    with pytest.raises(TypeError) as info:
        setattr(colors.bg_code, attr, value)
    assert str(info.value) == str(expected.value)


@pytest.mark.parametrize("attr", ["__name__", "__qualname__", "__dict__"])
def test_deleting_required_attributes_fails_like_python_functions(colors, attr):
    with pytest.raises(TypeError) as expected:
        delattr(python_function, attr)
    with pytest.raises(TypeError) as info:
        delattr(colors.bg_code, attr)
    assert str(info.value) == str(expected.value)


def test_defaults_take_part_in_calls(colors):
    colors.fg_code.__defaults__ = ("red",)
    assert colors.fg_code() == "\x1b[31m"
    with pytest.raises(TypeError, match=r"^fg_code\(\) takes at most 1 positional argument \(2 given\)$"):
        colors.fg_code(1, 2)
    colors._color_code.__kwdefaults__ = {"foreground": False}
    assert colors._color_code("red") == "\x1b[41m"
    assert str(inspect.signature(colors._color_code)) == (
        "(color: 'str | int | Tuple[int, int, int]', *, foreground: 'bool' = False) -> 'str'")


@pytest.mark.parametrize("name, signature", [
    ("parse_hex", "(color: 'str') -> 'Tuple[int, int, int]'"),
    ("rgb_to_ansi256", "(r: 'int', g: 'int', b: 'int') -> 'int'"),
    ("fg_code", "(color: 'str | int | Tuple[int, int, int]') -> 'str'"),
    ("_color_code", "(color: 'str | int | Tuple[int, int, int]', *, foreground: 'bool') -> 'str'"),
    ("_validate_rgb", "(r: 'int', g: 'int', b: 'int') -> 'None'"),
])
def test_signatures(colors, name, signature):
    func = getattr(colors, name)
    assert str(inspect.signature(func)) == signature
    assert [p.kind for p in inspect.signature(func).parameters.values()][-1] == (
        inspect.Parameter.KEYWORD_ONLY if name == "_color_code" else inspect.Parameter.POSITIONAL_OR_KEYWORD)


def test_help_renders_functions_and_module(colors):
    text = pydoc.render_doc(colors.fg_code, renderer=pydoc.plaintext)
    assert "fg_code(color: str | int | Tuple[int, int, int]) -> str" in text
    assert colors.fg_code.__doc__.strip().splitlines()[0] in text
    text = pydoc.render_doc(colors, renderer=pydoc.plaintext)
    for name in ("parse_hex", "rgb_to_ansi256", "fg_code", "bg_code"):
        assert f"{name}(" in text


def test_functions_behave_like_python_functions_elsewhere(colors):
    assert pickle.loads(pickle.dumps(colors.fg_code)) is colors.fg_code
    assert copy.deepcopy(colors.bg_code) is colors.bg_code
    assert weakref.ref(colors.parse_hex)() is colors.parse_hex
    assert type("Holder", (), {"method": colors.fg_code}).method is colors.fg_code


def test_annotations_resolve_in_the_module_namespace(colors):
    import typing

    import tintwell.detect

    assert colors.parse_hex.__globals__ is vars(colors)
    assert typing.get_type_hints(colors.parse_hex) == {"color": str, "return": typing.Tuple[int, int, int]}
    assert typing.get_type_hints(tintwell.detect.supports_color) == {"return": bool}
    assert typing.get_type_hints(tintwell.detect.detect_color_level) == {"return": tintwell.detect.ColorLevel}


def test_imports_go_through_a_replaced_import_hook(run_python):
    out = run_python("""
        import builtins, sys
        real = builtins.__import__
        seen = []
        def hook(name, globals=None, locals=None, fromlist=None, level=0):
            if globals is not None and globals.get("__name__", "").startswith("tintwell."):
                seen.append((globals["__name__"], name, fromlist, locals is globals, level))
            return real(name, globals, locals, fromlist, level)
        builtins.__import__ = hook
        import tintwell.colors, tintwell.detect
        sys.platform = "win32"  # the Windows functions import inside their bodies
        tintwell.detect.enable_windows_vt()
        for entry in seen:
            print(*entry)
    """)
    assert out.splitlines() == [
        "tintwell.colors re None True 0",
        "tintwell.colors typing ('Optional', 'Tuple') True 0",
        "tintwell.detect os None True 0",
        "tintwell.detect sys None True 0",
        "tintwell.detect enum ('IntEnum',) True 0",
        "tintwell.detect typing ('Optional',) True 0",
        "tintwell.detect msvcrt ('get_osfhandle',) False 0",
        "tintwell.detect ctypes None False 0",
        "tintwell.detect ctypes ('wintypes',) False 0",
    ]
