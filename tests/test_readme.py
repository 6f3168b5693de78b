"""The README's Quick start, as a reader saves it to prog.py: it passes mypy --strict and prints what
the README says it prints."""

import re
import subprocess
import sys
from pathlib import Path

import pytest

from conftest import child_env
from test_stubs import run_mypy_tool

README = Path(__file__).resolve().parent.parent / "README.md"


@pytest.fixture
def prog(tmp_path):
    match = re.search(r"^## Quick start\n.*?^```python\n(.*?)^```", README.read_text(), re.M | re.S)
    assert match, "no python block under Quick start in README.md"
    (tmp_path / "prog.py").write_text(match[1])
    return tmp_path / "prog.py"


def test_quick_start_type_checks(prog):
    proc = run_mypy_tool(["mypy", "--strict", "--no-incremental", "--cache-dir", str(prog.parent / "cache"),
                          prog.name], prog.parent)
    assert proc.returncode == 0, proc.stdout + proc.stderr


# The orange: 24-bit, palette entry 208, yellow, or bare text; the painter chosen for 16 colours
# shows yellow whatever the terminal.
@pytest.mark.parametrize("env, warning", [
    ({"FORCE_COLOR": "3"}, "\x1b[38;2;255;128;0mwarning:\x1b[39m"),
    ({"FORCE_COLOR": "2"}, "\x1b[38;5;208mwarning:\x1b[39m"),
    ({"FORCE_COLOR": "1"}, "\x1b[33mwarning:\x1b[39m"),
    ({"NO_COLOR": "1"}, "warning:"),
])
def test_quick_start_output(prog, env, warning):
    proc = subprocess.run([sys.executable, prog.name], cwd=prog.parent, env=child_env(**env), capture_output=True,
                          text=True, timeout=60)
    assert (proc.returncode, proc.stderr) == (0, "")
    lines = proc.stdout.splitlines()
    assert lines[0] == f"{warning} disk almost full"
    assert " ok " in lines[1] and ("\x1b" in lines[1]) == ("NO_COLOR" not in env)
    assert lines[2] == "\x1b[33m16 colours:\x1b[39m the nearest basic colour"
