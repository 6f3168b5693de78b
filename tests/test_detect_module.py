"""The detect module: namespace, ColorLevel and function attributes."""

import enum
import inspect
import os
import subprocess
import sys
import typing

import pytest

import tintwell.detect as detect
from tintwell.detect import ColorLevel

DETECT_DOC = ("检测终端的色彩支持级别。\n\n    检测逻辑:\n    1. 环境变量 NO_COLOR / FORCE_COLOR 优先\n"
              "    2. IDE 终端检测（VS Code / PyCharm Terminal，通过控制台句柄验证）\n    3. 非 TTY → NONE\n"
              "    4. Windows Terminal / ConEmu / ANSICON → TRUECOLOR\n    5. COLORTERM=truecolor/24bit → TRUECOLOR\n"
              "    6. TERM 包含 256color → EXTENDED\n    7. 其他有效 TERM → BASIC\n    ")
CONSOLE_DOC = ("检测当前进程是否关联了真正的 Windows 控制台。\n\n"
               "    通过 ``GetConsoleMode`` 验证 stdout 句柄是控制台句柄（而非管道/文件）。\n"
               "    用于区分 IDE 终端窗口（有控制台）和 IDE 运行控制台（管道，无控制台）。\n    ")
VT_DOC = ("在 Windows 上启用虚拟终端处理 (VT100 转义序列)。\n\n"
          "    使用 ``msvcrt.get_osfhandle`` 获取与 Python 文件对象关联的真实\n"
          "    Windows 句柄，确保在 VS Code 集成终端等环境中也能正确工作。\n\n    返回是否成功启用 VT 处理。\n    ")


def test_namespace_in_order():
    # In a fresh interpreter: tests here may delete and restore module attributes.
    child = subprocess.run([sys.executable, "-c", "import tintwell.detect as d; print(*vars(d))"],
                           capture_output=True, text=True, check=True)
    names = child.stdout.split()
    start = names.index("__builtins__")
    assert names[start:] == ["__builtins__", "os", "sys", "IntEnum", "Optional", "ColorLevel", "_has_windows_console",
                             "detect_color_level", "supports_color", "enable_windows_vt", "__test__"]
    assert detect.os is os and detect.sys is sys
    assert detect.IntEnum is enum.IntEnum and detect.Optional is typing.Optional
    assert detect.__test__ == {}
    assert detect.__doc__ == "终端能力检测。\n\n自动检测当前终端是否支持颜色输出以及支持的色彩级别。\n"
    assert "ctypes" not in vars(detect) and "msvcrt" not in vars(detect)


def test_color_level_is_an_int_enum():
    assert issubclass(ColorLevel, enum.IntEnum) and type(ColorLevel) is enum.EnumType
    assert (ColorLevel.__name__, ColorLevel.__qualname__, ColorLevel.__module__) == (
        "ColorLevel", "ColorLevel", "tintwell.detect")
    assert ColorLevel.__doc__ == "终端色彩支持级别。"
    assert [(m.name, m.value) for m in ColorLevel] == [("NONE", 0), ("BASIC", 1), ("EXTENDED", 2), ("TRUECOLOR", 3)]
    assert ColorLevel.NONE < ColorLevel.BASIC < ColorLevel.EXTENDED < ColorLevel.TRUECOLOR
    assert ColorLevel(2) is ColorLevel.EXTENDED and ColorLevel.TRUECOLOR == 3
    assert repr(ColorLevel.BASIC) == "<ColorLevel.BASIC: 1>"


@pytest.mark.parametrize("name, defaults, annotation, doc", [
    ("_has_windows_console", None, "bool", CONSOLE_DOC),
    ("detect_color_level", (None,), "ColorLevel", DETECT_DOC),
    ("supports_color", (None,), "bool", "快速判断终端是否支持颜色。"),
    ("enable_windows_vt", None, "bool", VT_DOC),
])
def test_function_attributes(name, defaults, annotation, doc):
    function = getattr(detect, name)
    assert (function.__name__, function.__qualname__, function.__module__) == (name, name, "tintwell.detect")
    assert function.__defaults__ == defaults and function.__kwdefaults__ is None
    assert function.__annotations__ == {"return": annotation}
    assert function.__doc__ == doc
    expected = "(stream=None)" if defaults else "()"
    assert str(inspect.signature(function)) == f"{expected} -> {annotation!r}"


def test_an_import_after_a_failed_one_builds_on_what_is_left(run_python):
    # The first exec fails after building the constants; the second builds over them. Rebinding
    # os.environ then lets go of the value remembered through the name built twice, which must still
    # be listed once: listed twice, letting go of remembered values would never end.
    out = run_python("""
        import os, sys
        sys.modules["enum"] = None
        try:
            import tintwell.detect
        except ImportError as exc:
            print(type(exc).__name__)
        del sys.modules["enum"]
        import tintwell.detect as detect
        os.environ = {"NO_COLOR": "1"}
        levels = [detect.detect_color_level().name, detect.detect_color_level().name]
        os.environ = {"FORCE_COLOR": "3"}
        levels.append(detect.detect_color_level().name)
        print(levels, detect.ColorLevel.__doc__, detect.supports_color.__doc__)
    """)
    assert out.splitlines() == ["ModuleNotFoundError",
                                "['NONE', 'NONE', 'TRUECOLOR'] 终端色彩支持级别。 快速判断终端是否支持颜色。"]
