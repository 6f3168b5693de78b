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


# The orange, bold: 24-bit, palette entry 208, bright red (the basic colour that looks nearest), or
# bare text; the nested span leaves the outer blue in place after it; the painter chosen for 16
# colours shows bright red whatever the terminal.
@pytest.mark.parametrize("env, orange", [
    ({"FORCE_COLOR": "3"}, "38;2;255;128;0"),
    ({"FORCE_COLOR": "2"}, "38;5;208"),
    ({"FORCE_COLOR": "1"}, "91"),
    ({"NO_COLOR": "1"}, None),
])
def test_quick_start_output(prog, env, orange):
    proc = subprocess.run([sys.executable, prog.name], cwd=prog.parent, env=child_env(**env), capture_output=True,
                          text=True, timeout=60)
    assert (proc.returncode, proc.stderr) == (0, "")
    lines = proc.stdout.splitlines()
    if orange is None:
        assert lines[:3] == ["warning: disk almost full", " ok ", "see this and go on"]
    else:
        warn = f"\x1b[1m\x1b[{orange}m{{}}\x1b[22;39m"
        assert lines[0] == warn.format("warning:") + " disk almost full"
        assert " ok " in lines[1] and "\x1b" in lines[1]
        assert lines[2] == "\x1b[34msee " + warn.format("this") + "\x1b[34m and go on\x1b[39m"
    assert lines[3] == "\x1b[91m16 colours:\x1b[39m the nearest basic colour"


def readme_block(heading, path):
    match = re.search(rf"^## {re.escape(heading)}\n.*?^```python\n(.*?)^```", README.read_text(), re.M | re.S)
    assert match, f"no python block under {heading} in README.md"
    path.write_text(match[1])
    return path


@pytest.fixture
def examples(tmp_path):
    return [readme_block("Logging", tmp_path / "logs.py"), readme_block("Tables, files and nested styles",
                                                                        tmp_path / "table.py")]


def test_examples_type_check(examples):
    folder = examples[0].parent
    proc = run_mypy_tool(["mypy", "--strict", "--no-incremental", "--cache-dir", str(folder / "cache"),
                          *(path.name for path in examples)], folder)
    assert proc.returncode == 0, proc.stdout + proc.stderr


@pytest.mark.parametrize("env, colour", [({"FORCE_COLOR": "3"}, True), ({"NO_COLOR": "1"}, False)])
def test_examples_output(examples, env, colour):
    logs, table = (subprocess.run([sys.executable, path.name], cwd=path.parent, env=child_env(**env), text=True,
                                  capture_output=True, timeout=60) for path in examples)
    assert logs.stderr == ("\x1b[33mWARNING\x1b[39m" if colour else "WARNING") + ":app:disk 91% full\n"
    plain = ["東京      up", "Zürich    down", "São Paulo slow but up"]
    coloured = ["東京      \x1b[32mup\x1b[39m", "Zürich    \x1b[1m\x1b[31mdown\x1b[22;39m",
                "São Paulo \x1b[33mslow \x1b[32mbut up\x1b[39m\x1b[33m\x1b[39m"]
    assert (table.returncode, table.stdout.splitlines()) == (0, coloured if colour else plain)
    assert (examples[1].parent / "status.log").read_text().splitlines() == [
        "東京: up", "Zürich: down", "São Paulo: slow but up"]
