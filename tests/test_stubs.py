"""The type stubs against the built modules (stubtest) and against code that uses them (mypy)."""

import ast
import os
import site
import subprocess
import sys
import textwrap
from pathlib import Path

import pytest

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
    proc = run_mypy_tool(["mypy.stubtest", "tintwell.colors", "tintwell.detect", "tintwell._paint"], tmp_path)
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

    from tintwell import Color, colors
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

    def paint(color: Color, text: str) -> str:
        return fg_code(color) + text + RESET_FG

    paint("red", "x"), paint(196, "x"), paint((1, 2, 3), "x")

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
    paint([1, 2, 3], "x")  # type: ignore[arg-type]
"""


# Code that uses the stubs, and the package's own Python code (named explicitly: mypy would not
# report errors in a package it finds on the interpreter's path).
@pytest.mark.parametrize("target", [["user.py"], ["-p", "tintwell"]], ids=["user-code", "package"])
def test_mypy_strict(tmp_path, target):
    (tmp_path / "user.py").write_text(textwrap.dedent(USER_CODE))
    proc = run_mypy_tool(["mypy", "--strict", "--no-incremental", "--cache-dir", str(tmp_path / "cache"),
                          *target], tmp_path)
    assert proc.returncode == 0, proc.stdout + proc.stderr


def test_public_names_are_documented_in_english():
    # The modules' own docstrings are Chinese; editors and help() readers of the stubs get these.
    for stub in ("colors.pyi", "detect.pyi", "_paint.pyi"):
        tree = ast.parse((PACKAGE / stub).read_text())
        assert ast.get_docstring(tree).isascii()
        classes = [n for n in tree.body if isinstance(n, ast.ClassDef) and not n.name.startswith("_")]
        for parent in [tree, *classes]:
            for node, after in zip(parent.body, parent.body[1:] + [None]):
                if isinstance(node, (ast.FunctionDef, ast.ClassDef)):
                    name, doc = node.name, ast.get_docstring(node)
                elif isinstance(node, (ast.Assign, ast.AnnAssign)):
                    target = node.targets[0] if isinstance(node, ast.Assign) else node.target
                    name = target.id
                    doc = after.value.value if isinstance(after, ast.Expr) else None
                else:
                    continue
                if not name.startswith("_"):
                    assert doc and doc.isascii() and len(doc) > 20, f"{stub}: {name}"
