"""The type stubs against the built modules (stubtest) and against code that uses them (mypy)."""

import ast
import os
import site
import subprocess
import sys
import textwrap
from pathlib import Path

import tintwell

PACKAGE = Path(tintwell.__file__).parent
# The directory holding the package under test: the build tree, or an installation.
ROOT = PACKAGE.parent
# mypy finds an installed package by itself, and refuses a site-packages folder in MYPYPATH.
INSTALLED = ROOT.resolve() in {Path(p).resolve() for p in [*site.getsitepackages(), site.getusersitepackages()]}


def run_mypy_tool(args, cwd):
    # Run outside the source tree, so the stubs checked and the modules imported are the built ones.
    env = dict(os.environ) if INSTALLED else dict(os.environ, MYPYPATH=str(ROOT), PYTHONPATH=str(ROOT))
    return subprocess.run([sys.executable, "-m", *args], cwd=cwd, env=env, capture_output=True,
                          text=True, timeout=600)


def test_stubtest(tmp_path):
    proc = run_mypy_tool(["mypy.stubtest", "tintwell.colors", "tintwell.detect"], tmp_path)
    assert proc.returncode == 0, proc.stdout + proc.stderr


def test_enum_members_match(tmp_path):
    # stubtest compares member names but not their values.
    from tintwell import detect

    tree = ast.parse((PACKAGE / "detect.pyi").read_text())
    [cls] = [n for n in tree.body if isinstance(n, ast.ClassDef) and n.name == "ColorLevel"]
    members = [(s.targets[0].id, ast.literal_eval(s.value)) for s in cls.body if isinstance(s, ast.Assign)]
    assert members == [(m.name, m.value) for m in detect.ColorLevel]


USER_CODE = """\
    import io
    import sys
    from typing import assert_type

    from tintwell import colors
    from tintwell.colors import NAMED_COLORS, RESET_FG, bg_code, fg_code, parse_hex, rgb_to_ansi256
    from tintwell.detect import ColorLevel, detect_color_level, enable_windows_vt, supports_color

    level = detect_color_level(sys.stdout)
    assert_type(level, ColorLevel)
    assert_type(detect_color_level(), ColorLevel)
    assert_type(supports_color(io.StringIO()), bool)
    assert_type(enable_windows_vt(), bool)
    assert_type(level >= ColorLevel.EXTENDED, bool)
    assert_type(fg_code("red") + "text" + RESET_FG, str)
    assert_type(bg_code((255, 128, 0)), str)
    fg_code("#ff8000")
    fg_code(196)
    assert_type(parse_hex("#fff"), tuple[int, int, int])
    assert_type(rgb_to_ansi256(1, 2, 3), int)
    assert_type(NAMED_COLORS["red"], int)
    assert_type(colors.COLOR_ALIASES["grey"], str)

    # Each of these must be an error; an unneeded ignore is one too.
    fg_code(1.5)  # type: ignore[arg-type]
    fg_code((1, 2))  # type: ignore[arg-type]
    bg_code(None)  # type: ignore[arg-type]
    parse_hex(b"#fff")  # type: ignore[arg-type]
    rgb_to_ansi256("1", 2, 3)  # type: ignore[arg-type]
    detect_color_level(42)  # type: ignore[arg-type]
    colors._color_code("red", True)  # type: ignore[call-arg]
    colors.RESET_FG = ""  # type: ignore[misc]
    ColorLevel.NONE = ColorLevel.BASIC  # type: ignore[misc]
"""


def test_stubs_type_user_code(tmp_path):
    (tmp_path / "user.py").write_text(textwrap.dedent(USER_CODE))
    proc = run_mypy_tool(["mypy", "--strict", "--no-incremental", "--cache-dir", str(tmp_path / "cache"),
                          "user.py"], tmp_path)
    assert proc.returncode == 0, proc.stdout + proc.stderr
