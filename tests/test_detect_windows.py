"""_has_windows_console and enable_windows_vt against a simulated Windows console (the Console of
hardening/cases.py): sys.platform is "win32" for the length of each call, fake ctypes,
ctypes.wintypes and msvcrt modules stand in for the real ones and log every call in order. Hostile
consoles and interrupts (with their traceback entries) are cases of hardening/cases.py."""

import io
import sys
import types

import pytest

import tintwell.detect as detect
from conftest import Untouchable, module_entries
from hardening.cases import BOOL, DWORD, HANDLE, ArgumentError, Console, windows


def run(function, **changes):
    """function() on a logging console with `changes`; (result, console)."""
    console = Console(log=True, **changes)
    with windows(console)():
        return function(), console


GET_MODE_PROTOTYPE = [("declare", "GetConsoleMode", "argtypes", [HANDLE, ("POINTER", DWORD)]),
                      ("declare", "GetConsoleMode", "restype", BOOL)]
VT_SETUP = [("WinDLL", "kernel32", True), *GET_MODE_PROTOTYPE,
            ("declare", "SetConsoleMode", "argtypes", [HANDLE, DWORD]), ("declare", "SetConsoleMode", "restype", BOOL)]
CONSOLE_SETUP = [("WinDLL", "kernel32", True), ("declare", "GetStdHandle", "argtypes", [DWORD]),
                 ("declare", "GetStdHandle", "restype", HANDLE), *GET_MODE_PROTOTYPE]


def fd(n):
    return [("fileno", n), ("get_osfhandle", n)]


def enable(handle, mode=0x3):
    return [("GetConsoleMode", handle), ("SetConsoleMode", handle, mode | 4), ("GetConsoleMode", handle)]


STD = [("GetStdHandle", -11)]


# (changes to the console, result, log after VT_SETUP)
SCENARIOS = {
    "stdout console": ({}, True, [*fd(1), *enable(100)]),
    "already enabled": ({"modes": {100: 0x7}}, True, [*fd(1), *enable(100, 0x7)]),
    "stdout redirected": ({"handles": {1: 300, 2: 200}}, True, [*fd(1), ("GetConsoleMode", 300), *fd(2),
                                                               *enable(200)]),
    "stdout None": ({"stdout": None}, True, [*STD, *enable(100)]),
    "in-memory stdout": ({"stdout": io.StringIO()}, True, [*STD, *enable(100)]),
    "no OS handle": ({"handles": {1: OSError, 2: 200}}, True, [*fd(1), *STD, *enable(100)]),
    "OS handle -1": ({"handles": {1: -1, 2: 200}}, True, [*fd(1), *STD, *enable(100)]),
    "OS handle 0": ({"handles": {1: 0, 2: 0}}, False, [*fd(1), *fd(2)]),
    "std handle 0": ({"handles": {1: -1, 2: -1}, "std_handle": 0}, False, [*fd(1), *STD, *fd(2), *STD]),
    "std handle -1": ({"handles": {1: -1, 2: -1}, "std_handle": -1}, False, [*fd(1), *STD, *fd(2), *STD]),
    "refused": ({"refusing": {100, 200}}, False, [*fd(1), *enable(100)[:2], *fd(2), *enable(200)[:2]]),
    "bit does not stick": ({"forgetful": {100, 200}}, False, [*fd(1), *enable(100), *fd(2), *enable(200)]),
    "unconvertible handle": ({"handles": {1: "handle", 2: 200}}, True, [*fd(1), *fd(2), *enable(200)]),
    "GetConsoleMode raises": ({"GetConsoleMode": ArgumentError}, False,
                              [*fd(1), ("GetConsoleMode", 100), *fd(2), ("GetConsoleMode", 200)]),
    "GetStdHandle raises": ({"stdout": None, "GetStdHandle": OSError}, True, [*STD, *fd(2), *enable(200)]),
    # without msvcrt or its get_osfhandle, both streams use the standard output handle
    "no msvcrt": ({"msvcrt": False, "refusing": {100}}, False, [*STD, *enable(100)[:2], *STD, *enable(100)[:2]]),
    "no get_osfhandle": ({"msvcrt": types.ModuleType("msvcrt"), "refusing": {100}}, False,
                         [*STD, *enable(100)[:2], *STD, *enable(100)[:2]]),
}


@pytest.mark.parametrize("name", SCENARIOS)
def test_enable_windows_vt(name):
    changes, result, log = SCENARIOS[name]
    enabled, console = run(detect.enable_windows_vt, **changes)
    assert enabled is result
    assert console.log == [*VT_SETUP, *log]


def test_enabling_sets_only_the_bit():
    result, console = run(detect.enable_windows_vt, modes={100: 0x1, 200: 0x3})
    assert result is True and console.modes == {100: 0x5, 200: 0x3}


def test_broken_msvcrt_propagates():
    def refuse(name):
        raise RuntimeError(name)  # not an ImportError

    console = Console(log=True, msvcrt=types.ModuleType("msvcrt"))
    console.msvcrt.__getattr__ = refuse
    with windows(console)(), pytest.raises(RuntimeError):
        detect.enable_windows_vt()
    assert console.log == []


# ---- _has_windows_console ----

@pytest.mark.parametrize("std_handle, result", [(100, True), (300, False), (None, False), (0, False), (-1, False),
                                                (2 ** 64 - 1, False)])
def test_has_windows_console(std_handle, result):
    # the process's handle is asked for, not the stream's
    found, console = run(detect._has_windows_console, std_handle=std_handle, stdout=Untouchable())
    assert found is result
    queried = [("GetConsoleMode", std_handle)] if std_handle in (100, 300) else []
    assert console.log == [*CONSOLE_SETUP, *STD, *queried]


@pytest.mark.parametrize("where", ["GetStdHandle", "GetConsoleMode"])
def test_console_query_failures(where):
    assert run(detect._has_windows_console, **{where: OSError})[0] is False
    with pytest.raises(KeyboardInterrupt) as info:
        run(detect._has_windows_console, **{where: KeyboardInterrupt})
    assert module_entries(info.value) == ["tintwell.detect._has_windows_console"]


# ---- other platforms ----

class ImportRecorder:
    def __init__(self):
        self.names = []

    def find_spec(self, name, path=None, target=None):
        self.names.append(name)


@pytest.mark.parametrize("platform", ["linux", "darwin", "cygwin", "WIN32", "win32 "])
@pytest.mark.parametrize("name", ["enable_windows_vt", "_has_windows_console"])
def test_other_platforms_touch_nothing(monkeypatch, platform, name):
    recorder, reads = ImportRecorder(), []
    for module in ("ctypes", "ctypes.wintypes", "msvcrt"):
        monkeypatch.delitem(sys.modules, module, raising=False)
    monkeypatch.setattr(sys, "meta_path", [recorder, *sys.meta_path])

    class Sys:  # the module's `sys`, recording what is read from it
        def __getattr__(self, attr):
            reads.append(attr)
            return platform if attr == "platform" else Untouchable()

    monkeypatch.setattr(detect, "sys", Sys())
    assert getattr(detect, name)() is False
    assert reads == ["platform"] and recorder.names == []
    assert not {"ctypes", "msvcrt"} & set(sys.modules)
