"""detect_color_level and supports_color: environment, platform name and stream decide the level."""

import os
import pty
import subprocess
import sys
import types

import pytest

import tintwell.detect as detect
from tintwell.detect import ColorLevel

VARIABLES = ("NO_COLOR", "FORCE_COLOR", "TERM_PROGRAM", "VSCODE_PID", "VSCODE_IPC_HOOK", "PYCHARM_HOSTED",
             "WT_SESSION", "ConEmuANSI", "ANSICON", "COLORTERM", "TERM")


@pytest.fixture(autouse=True)
def clean_env(monkeypatch):
    for name in VARIABLES:
        monkeypatch.delenv(name, raising=False)


class Stream:
    def __init__(self, tty):
        self.tty = tty

    def isatty(self):
        return self.tty


class Untouchable:
    def __getattribute__(self, name):
        raise AssertionError(f"stream touched: {name}")


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


def test_platform_is_read_again_after_isatty(monkeypatch):
    monkeypatch.setenv("TERM", "xterm-256color")

    class Switching:
        def isatty(self):
            sys.platform = "win32"
            return True

    monkeypatch.setattr(sys, "platform", "linux")
    level = detect.detect_color_level(Switching())
    monkeypatch.undo()
    assert level is ColorLevel.BASIC


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


def test_isatty_may_delete_sys_stdout(monkeypatch):
    monkeypatch.setenv("TERM", "xterm-256color")

    class Vanishing:
        def isatty(self):
            del sys.stdout
            return True

    monkeypatch.setattr(sys, "stdout", Vanishing())
    assert detect.detect_color_level() is ColorLevel.EXTENDED
    with pytest.raises(AttributeError):
        detect.detect_color_level()


def label_names(exc):
    names, tb = [], exc.__traceback__
    while tb is not None:
        if tb.tb_frame.f_code.co_filename == "tintwell/detect":
            names.append(tb.tb_frame.f_code.co_name)
        tb = tb.tb_next
    return names


def raising(error, *error_args):
    def raise_it(*args):
        raise error(*error_args)
    return raise_it


def closed():
    return types.SimpleNamespace(isatty=raising(ValueError, "I/O operation on closed file"))


class BadLookup:
    __getattr__ = raising(RuntimeError, "lookup")


class BadTruth:
    __bool__ = raising(ZeroDivisionError)

    def isatty(self):
        return self


@pytest.mark.parametrize("stream, error", [
    (closed(), ValueError), (BadLookup(), RuntimeError), (BadTruth(), ZeroDivisionError),
    (types.SimpleNamespace(isatty=3), TypeError), (types.SimpleNamespace(isatty=raising(KeyboardInterrupt)),
                                                  KeyboardInterrupt),
], ids=["closed", "lookup", "truth", "not-callable", "interrupt"])
def test_stream_failures_propagate_with_traceback_entry(stream, error):
    with pytest.raises(error) as info:
        detect.detect_color_level(stream)
    assert label_names(info.value) == ["tintwell.detect.detect_color_level"]
    with pytest.raises(error) as info:
        detect.supports_color(stream)
    assert label_names(info.value) == ["tintwell.detect.supports_color", "tintwell.detect.detect_color_level"]


def test_environ_replacements(monkeypatch):
    use_environ(monkeypatch, {"TERM": "xterm-256color"})
    assert detect.detect_color_level(Stream(True)) is ColorLevel.EXTENDED

    class Failing:
        def get(self, *args):
            raise LookupError(args)

    use_environ(monkeypatch, Failing())
    with pytest.raises(LookupError, match="NO_COLOR"):
        detect.detect_color_level(Stream(True))
    monkeypatch.delattr(detect, "os")
    with pytest.raises(NameError, match="name 'os' is not defined"):
        detect.detect_color_level(Stream(True))


def test_members_read_from_current_color_level(monkeypatch):
    monkeypatch.setenv("FORCE_COLOR", "2")
    marker = object()
    monkeypatch.setattr(detect, "ColorLevel", types.SimpleNamespace(EXTENDED=marker))
    assert detect.detect_color_level() is marker


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


@pytest.mark.parametrize("stream", [Stream(True), Stream(False), object(), closed()],
                         ids=["tty", "not-tty", "no-isatty", "closed"])
def test_no_reference_leaks(monkeypatch, stream):
    monkeypatch.setenv("TERM", "xterm")
    before = sys.getrefcount(stream)
    for _ in range(200):
        try:
            detect.detect_color_level(stream)
            detect.supports_color(stream)
        except ValueError:
            pass
    assert sys.getrefcount(stream) == before


CHILD = "import tintwell.detect as d; print(int(d.detect_color_level()), d.supports_color())"


def child_env(**variables):
    env = {k: v for k, v in os.environ.items() if k not in VARIABLES}
    env.update(variables)
    return env


def run_on_pty(env):
    master, slave = pty.openpty()
    try:
        child = subprocess.Popen([sys.executable, "-c", CHILD], stdout=slave, stderr=subprocess.PIPE, env=env)
    finally:
        os.close(slave)
    output = b""
    try:
        while chunk := os.read(master, 1024):
            output += chunk
    except OSError:  # EIO once the child has closed its side
        pass
    finally:
        os.close(master)
    assert child.wait() == 0, child.stderr.read()
    child.stderr.close()
    return output.decode().split()


@pytest.mark.parametrize("variables, expected", [
    ({"TERM": "xterm-256color"}, ["2", "True"]),
    ({"TERM": "xterm"}, ["1", "True"]),
    ({"TERM": "dumb"}, ["0", "False"]),
    ({"TERM": "xterm", "COLORTERM": "truecolor"}, ["3", "True"]),
    ({}, ["0", "False"]),
])
def test_real_terminal(variables, expected):
    assert run_on_pty(child_env(**variables)) == expected


def test_real_pipe():
    result = subprocess.run([sys.executable, "-c", CHILD], capture_output=True, text=True, check=True,
                            env=child_env(TERM="xterm-256color", COLORTERM="truecolor"))
    assert result.stdout.split() == ["0", "False"]
