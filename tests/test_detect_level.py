"""detect_color_level and supports_color: environment, platform name and stream decide the level. Hostile
streams, environments and module names are cases of hardening/cases.py."""

import subprocess
import sys
import types

import pytest

import tintwell.detect as detect
from conftest import VARIABLES, Untouchable, child_env, run_in_pty
from tintwell.detect import ColorLevel


@pytest.fixture(autouse=True)
def clean_env(monkeypatch):
    for name in VARIABLES:
        monkeypatch.delenv(name, raising=False)


class Stream:
    def __init__(self, tty):
        self.tty = tty

    def isatty(self):
        return self.tty


class RecordingEnviron(dict):
    """os.environ stand-in that records every get() with its arguments."""

    def __init__(self, values=()):
        super().__init__(values)
        self.reads = []

    def get(self, *args):
        self.reads.append(args)
        return super().get(*args)


def use_environ(monkeypatch, environ):
    monkeypatch.setattr(detect, "os", types.SimpleNamespace(environ=environ))
    return environ


def env(text):
    return dict(item.split("=", 1) for item in text.split())


# (platform, terminal, environment, level): the documented examples, then further values.
TABLE = [
    ("linux", True, "TERM=xterm-256color", "EXTENDED"),
    ("linux", True, "TERM=xterm-256color COLORTERM=truecolor", "TRUECOLOR"),
    ("linux", True, "TERM=xterm COLORTERM=24BIT", "TRUECOLOR"),
    ("linux", True, "TERM=xterm", "BASIC"),
    ("linux", True, "TERM=DUMB", "NONE"),
    ("linux", True, "TERM=dumb COLORTERM=truecolor", "TRUECOLOR"),
    ("linux", True, "TERM=screen-256color COLORTERM=yes", "EXTENDED"),
    ("linux", True, "", "NONE"),
    ("linux", False, "TERM=xterm-256color COLORTERM=truecolor", "NONE"),
    ("linux", False, "FORCE_COLOR=1", "BASIC"),
    ("linux", False, "FORCE_COLOR=2", "EXTENDED"),
    ("linux", False, "FORCE_COLOR=yes", "BASIC"),
    ("linux", True, "TERM=xterm-256color FORCE_COLOR=0", "NONE"),
    ("linux", True, "TERM=xterm-256color FORCE_COLOR=FALSE", "BASIC"),
    ("linux", True, "TERM=xterm-256color NO_COLOR=1", "NONE"),
    ("linux", True, "TERM=xterm-256color NO_COLOR=", "EXTENDED"),
    ("linux", True, "NO_COLOR=1 FORCE_COLOR=3", "NONE"),
    ("win32", False, "NO_COLOR=1 FORCE_COLOR=3", "NONE"),
    ("linux", True, "TERM=xterm-256color TERM_PROGRAM=vscode", "EXTENDED"),
    ("win32", False, "TERM_PROGRAM=vscode", "TRUECOLOR"),
    ("win32", False, "PYCHARM_HOSTED=1", "TRUECOLOR"),
    ("win32", True, "TERM_PROGRAM=VSCode", "BASIC"),
    ("win32", False, "WT_SESSION=1", "NONE"),
    ("win32", True, "WT_SESSION=1", "TRUECOLOR"),
    ("win32", True, "ConEmuANSI=ON", "TRUECOLOR"),
    ("win32", True, "ConEmuANSI=on", "BASIC"),
    ("win32", True, "COLORTERM=truecolor TERM=xterm-256color", "BASIC"),
    ("win32", True, "", "BASIC"),
    ("win32", False, "VSCODE_PID=7 WT_SESSION=1", "TRUECOLOR"),
    ("win32", True, "WT_SESSION= ConEmuANSI=ON", "TRUECOLOR"),
    ("cygwin", True, "TERM=xterm-256color WT_SESSION=1", "EXTENDED"),
    *[("linux", False, f"FORCE_COLOR={value}", level) for value, level in [
        ("false", "NONE"), ("False", "NONE"), ("true", "BASIC"), ("True", "BASIC"), ("TRUE", "BASIC"),
        ("3", "TRUECOLOR"), ("4", "BASIC"), ("22", "BASIC")]],
    ("linux", False, "NO_COLOR=0", "NONE"),
    ("linux", True, "FORCE_COLOR= NO_COLOR= TERM=xterm", "BASIC"),
    ("linux", True, "TERM=XTERM-256COLOR", "EXTENDED"),
    ("linux", True, "TERM=dumb-256color", "EXTENDED"),
    ("linux", True, "TERM=", "NONE"),
    ("linux", True, "TERM=vt100 COLORTERM=TrueColor", "TRUECOLOR"),
]


@pytest.mark.parametrize("platform, tty, variables, expected", TABLE)
def test_decision_table(monkeypatch, platform, tty, variables, expected):
    for name, value in env(variables).items():
        monkeypatch.setenv(name, value)
    monkeypatch.setattr(sys, "platform", platform)
    level = detect.detect_color_level(Stream(tty))
    supported = detect.supports_color(Stream(tty))
    monkeypatch.undo()
    assert level is getattr(ColorLevel, expected)
    assert supported is (expected != "NONE")


@pytest.mark.parametrize("platform, variables, expected", [
    ("linux", "NO_COLOR=1", ColorLevel.NONE), ("linux", "FORCE_COLOR=2", ColorLevel.EXTENDED),
    ("win32", "FORCE_COLOR=0", ColorLevel.NONE), ("win32", "TERM_PROGRAM=vscode", ColorLevel.TRUECOLOR),
    ("win32", "PYCHARM_HOSTED=1 TERM=xterm", ColorLevel.TRUECOLOR),
])
def test_stream_untouched_when_variables_decide(monkeypatch, platform, variables, expected):
    for name, value in env(variables).items():
        monkeypatch.setenv(name, value)
    with monkeypatch.context() as patch:
        patch.setattr(sys, "platform", platform)
        patch.setattr(sys, "stdout", Untouchable())  # any attribute read fails the test
        levels = [detect.detect_color_level(Untouchable()), detect.detect_color_level()]
        supported = detect.supports_color(Untouchable())
    assert levels == [expected, expected] and levels[0] is expected
    assert supported is (expected is not ColorLevel.NONE)


@pytest.mark.parametrize("platform, reads", [
    ("linux", [("NO_COLOR", ""), ("FORCE_COLOR", ""), ("COLORTERM", ""), ("TERM", "")]),
    ("cygwin", [("NO_COLOR", ""), ("FORCE_COLOR", ""), ("COLORTERM", ""), ("TERM", "")]),
    ("win32", [("NO_COLOR", ""), ("FORCE_COLOR", ""), ("TERM_PROGRAM",), ("VSCODE_PID",),
               ("VSCODE_IPC_HOOK",), ("PYCHARM_HOSTED",), ("WT_SESSION",), ("ConEmuANSI",), ("ANSICON",)]),
])
def test_variables_read_in_order(monkeypatch, platform, reads):
    environ = use_environ(monkeypatch, RecordingEnviron({"TERM": "xterm-256color", "ANSICON": "1"}))
    monkeypatch.setattr(sys, "platform", platform)
    level = detect.detect_color_level(Stream(True))
    monkeypatch.undo()
    assert environ.reads == reads
    assert level is (ColorLevel.BASIC if platform == "win32" else ColorLevel.EXTENDED)


def test_sys_stdout_read_at_call_time(monkeypatch):
    monkeypatch.setenv("TERM", "xterm")
    for stdout, expected in [(Stream(True), ColorLevel.BASIC), (Stream(False), ColorLevel.NONE),
                             (None, ColorLevel.NONE), (object(), ColorLevel.NONE)]:
        with monkeypatch.context() as patch:
            patch.setattr(sys, "stdout", stdout)
            results = [detect.detect_color_level(), detect.detect_color_level(None),
                       detect.detect_color_level(stream=None)]
            supported = [detect.supports_color(), detect.supports_color(None), detect.supports_color(stream=None)]
        assert results == [expected] * 3 and all(r is expected for r in results)
        assert supported == [expected is not ColorLevel.NONE] * 3


def test_supports_color_looks_up_names_at_call_time(monkeypatch):
    seen = []

    class Level:
        def __gt__(self, other):
            seen.append(other)
            return "answer"

    def fake_detect(*args, **kwargs):
        seen.append((args, kwargs))
        return Level()

    stream = Untouchable()
    monkeypatch.setattr(detect, "detect_color_level", fake_detect)
    monkeypatch.setattr(detect, "ColorLevel", types.SimpleNamespace(NONE="none-member"))
    assert detect.supports_color(stream) == "answer" and detect.supports_color() == "answer"
    assert seen == [((stream,), {}), "none-member", ((None,), {}), "none-member"]


CHILD = "import tintwell.detect as d; print(int(d.detect_color_level()), d.supports_color())"


@pytest.mark.parametrize("variables, expected", [
    ({"TERM": "xterm-256color"}, ["2", "True"]),
    ({"TERM": "xterm"}, ["1", "True"]),
    ({"TERM": "dumb"}, ["0", "False"]),
    ({"TERM": "xterm", "COLORTERM": "truecolor"}, ["3", "True"]),
    ({}, ["0", "False"]),
])
def test_real_terminal(variables, expected):
    status, out, err = run_in_pty([sys.executable, "-c", CHILD], child_env(**variables))
    assert status == 0, err
    assert out.split() == expected


def test_real_pipe():
    result = subprocess.run([sys.executable, "-c", CHILD], capture_output=True, text=True, check=True,
                            env=child_env(TERM="xterm-256color", COLORTERM="truecolor"))
    assert result.stdout.split() == ["0", "False"]
