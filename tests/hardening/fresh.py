"""Hostile scenarios that need a process in which tintwell's extension modules were never imported:
an exec that fails after the functions exist and leaves a half-built module behind, a re-import
after it, and ColorLevel made from hostile bases. Each scenario makes one attempt and returns what it
saw. test_hostile.py runs each once in a fresh child (debug allocator on); tools/leakcheck.py
repeats the repeatable ones in a child of their own.

Nothing here imports tintwell's extension modules at import time."""

import enum
import gc
import importlib
import importlib.machinery
import importlib.util
import os
import sys
import traceback
import types


class RefusingTest(types.ModuleType):
    """A module class whose __setattr__ refuses __test__, the last name exec binds."""

    def __setattr__(self, name, value):
        if name == "__test__":
            raise PermissionError("__test__ refused")
        super().__setattr__(name, value)


def half_built(name):
    """`name` imported by hand, its module's class swapped for RefusingTest before exec, so that exec
    fails after every function exists. Returns the half-built module and the exec's exception."""
    import tintwell

    module_spec = importlib.machinery.PathFinder.find_spec(name, tintwell.__path__)
    module = importlib.util.module_from_spec(module_spec)
    module.__class__ = RefusingTest
    try:
        module_spec.loader.exec_module(module)
    except PermissionError as exc:
        return module, exc
    finally:
        sys.modules.pop(name, None)  # exec put it there; a failed import takes it out again
    raise AssertionError(f"exec of {name} did not fail")


def entries(exc):
    return [frame.name for frame in traceback.extract_tb(exc.__traceback__) if frame.filename.startswith("tintwell/")]


def raised(call):
    try:
        call()
    except Exception as exc:  # noqa: BLE001 - the outcome is what is compared
        return type(exc).__name__, str(exc), entries(exc)
    return None


def colors_half_built():
    module, error = half_built("tintwell.colors")
    space = vars(module)
    seen = [entries(error), module.fg_code("red"), module.bg_code("#abc"), module.fg_code((1, 2, 3)),
            module.rgb_to_ansi256(1, 2, 3), module.parse_hex("#fff"), raised(lambda: module.fg_code("nope"))]
    space["ESC"] = "<"
    seen.append(module.bg_code("grey"))
    del space["NAMED_COLORS"]
    seen.append(raised(lambda: module.fg_code("red")))
    return seen


def detect_half_built():
    module, error = half_built("tintwell.detect")
    os.environ["FORCE_COLOR"] = "2"
    try:
        seen = [entries(error), module.detect_color_level().name, module.supports_color(), module.enable_windows_vt(),
                module._has_windows_console()]
        del vars(module)["ColorLevel"]
        seen.append(raised(module.supports_color))
    finally:
        del os.environ["FORCE_COLOR"]
    return seen


def old_namespace_after_reimport():
    old, _ = half_built("tintwell.colors")
    new = importlib.import_module("tintwell.colors")
    vars(old)["ESC"], vars(new)["ESC"] = "<", ">"
    return new is not old, old.fg_code.__globals__ is vars(old), old.fg_code("red"), new.fg_code("red")


def color_level_metaclass_dropped(answer):
    """enum.IntEnum replaced by a class whose metaclass's __prepare__ drops the last reference to that
    metaclass, then returns `answer`. The import fails with the class statement's error."""
    real = enum.IntEnum

    class Meta(type):
        def __prepare__(name, bases):  # a plain function: it keeps no reference to Meta
            bases[0].__class__ = Other
            holder.clear()
            gc.collect()
            return answer

    Other = type("Other", (type,), {})
    holder = [Meta]
    base = Meta("Base", (), {})
    del Meta
    enum.IntEnum = base
    try:
        importlib.import_module("tintwell.detect")
    except TypeError as exc:
        return str(exc)
    finally:
        enum.IntEnum = real
    return "imported"


def color_level_from_mro_entries():
    """enum.IntEnum replaced by an object that is no class but names one through __mro_entries__."""
    real = enum.IntEnum

    class Alias:
        def __mro_entries__(self, bases):
            return (real,)

    alias = Alias()
    enum.IntEnum = alias
    try:
        module = importlib.import_module("tintwell.detect")
    finally:
        enum.IntEnum = real
    level = module.ColorLevel
    return issubclass(level, real), level.__orig_bases__ == (alias,), [m.name for m in level], module.IntEnum is alias


CONFLICT = ("metaclass conflict: the metaclass of a derived class must be a (non-strict) subclass of the metaclasses "
            "of all its bases")
FG = ["tintwell.colors.fg_code", "tintwell.colors._color_code"]

# id: (scenario, what it returns, whether it can be repeated in one process)
SCENARIOS = {
    "half-built colors": (colors_half_built, [
        ["init tintwell.colors"], "\x1b[31m", "\x1b[48;2;170;187;204m", "\x1b[38;2;1;2;3m", 16, (255, 255, 255),
        ("ValueError", "未知颜色名称: 'nope'。可用: black, blue, bright_black, bright_blue, bright_cyan, "
         "bright_green, bright_magenta, bright_red, bright_white, bright_yellow, cyan, green, magenta, red, white, "
         "yellow", FG),
        "<100m", ("NameError", "name 'NAMED_COLORS' is not defined", FG)], True),
    "half-built detect": (detect_half_built, [
        ["init tintwell.detect"], "EXTENDED", True, False, False,
        ("NameError", "name 'ColorLevel' is not defined",
         ["tintwell.detect.supports_color", "tintwell.detect.detect_color_level"])], True),
    "old namespace after a re-import": (old_namespace_after_reimport, (True, True, "<31m", ">31m"), False),
    "ColorLevel metaclass dropped, non-mapping": (
        lambda: color_level_metaclass_dropped(42), "Meta.__prepare__() must return a mapping, not int", True),
    "ColorLevel metaclass dropped, mapping": (lambda: color_level_metaclass_dropped({}), CONFLICT, True),
    "ColorLevel from __mro_entries__": (
        color_level_from_mro_entries, (True, True, ["NONE", "BASIC", "EXTENDED", "TRUECOLOR"], True), False),
}
