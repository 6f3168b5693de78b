"""_has_windows_console and enable_windows_vt against a simulated Windows console.

sys.platform is "win32" for the length of each call; fake ctypes, ctypes.wintypes and msvcrt modules
stand in for the real ones and log every call in order.
"""

import io
import sys
import types

import pytest

import tintwell.detect as detect


class ArgumentError(Exception):
    """What ctypes raises for an argument it cannot convert."""


class DWORD:
    def __init__(self, value=0):
        self.value = value


class HANDLE:
    pass


class BOOL:
    pass


class Console:
    """The standard output handle, console handles with their modes (a handle without one is a pipe or
    a file) and the OS handles behind file descriptors."""

    def __init__(self):
        self.log, self.raising = [], {}
        self.std_handle = 100
        self.modes = {100: 0x3, 200: 0x3}
        self.fd_handles = {1: 100, 2: 200}
        self.refusing, self.forgetful = set(), set()  # SetConsoleMode fails / the bit does not stick
        self.stdout, self.stderr = Stream(self, 1), Stream(self, 2)

    def enter(self, *entry):
        self.log.append(entry)
        if entry[0] in self.raising:
            raise self.raising[entry[0]].with_traceback(None)

    def GetStdHandle(self, which):
        self.enter("GetStdHandle", which)
        return self.std_handle

    def GetConsoleMode(self, handle, reference):
        if not isinstance(handle, int):
            raise ArgumentError("argument 1: wrong type")
        self.enter("GetConsoleMode", handle)
        if handle in self.modes:
            reference.obj.value = self.modes[handle]
        return int(handle in self.modes)

    def SetConsoleMode(self, handle, mode):
        self.enter("SetConsoleMode", handle, mode)
        if handle not in self.modes or handle in self.refusing:
            return 0
        if handle not in self.forgetful:
            self.modes[handle] = mode
        return 1

    def get_osfhandle(self, fd):
        self.enter("get_osfhandle", fd)
        if self.fd_handles.get(fd, OSError) is OSError:
            raise OSError(9, "Bad file descriptor")
        return self.fd_handles[fd]


class ForeignFunction:
    def __init__(self, console, name):
        self.__dict__.update(_console=console, _name=name)

    def __setattr__(self, attr, value):
        self._console.log.append(("declare", self._name, attr, value))
        self.__dict__[attr] = value

    def __call__(self, *args):
        return getattr(self._console, self._name)(*args)


class Stream:
    def __init__(self, console, fd):
        self.console, self.fd = console, fd

    def fileno(self):
        self.console.log.append(("fileno", self.fd))
        return self.fd


class Untouchable:
    def __getattribute__(self, name):
        raise AssertionError(f"touched: {name}")


@pytest.fixture
def console(monkeypatch):
    console = Console()

    def WinDLL(name, use_last_error=False):
        console.enter("WinDLL", name, use_last_error)
        return types.SimpleNamespace(**{function: ForeignFunction(console, function)
                                        for function in ("GetStdHandle", "GetConsoleMode", "SetConsoleMode")})

    wintypes = types.ModuleType("ctypes.wintypes")
    wintypes.DWORD, wintypes.HANDLE, wintypes.BOOL = DWORD, HANDLE, BOOL
    ctypes = types.ModuleType("ctypes")
    ctypes.WinDLL, ctypes.wintypes = WinDLL, wintypes
    ctypes.POINTER = lambda target: ("POINTER", target)
    ctypes.byref = lambda obj: types.SimpleNamespace(obj=obj)
    msvcrt = types.ModuleType("msvcrt")
    msvcrt.get_osfhandle = console.get_osfhandle
    for module in (ctypes, wintypes, msvcrt):
        monkeypatch.setitem(sys.modules, module.__name__, module)
    return console


def on_windows(monkeypatch, function, console=None):
    """function() with sys.platform "win32" and the console's streams as sys.stdout and sys.stderr
    (set here because output capturing resets them between test phases)."""
    with monkeypatch.context() as patch:
        patch.setattr(sys, "platform", "win32")
        if console is not None:
            patch.setattr(sys, "stdout", console.stdout)
            patch.setattr(sys, "stderr", console.stderr)
        return function()


def labels(exc):
    tb, names = exc.__traceback__, []
    while tb is not None:
        if tb.tb_frame.f_code.co_filename == "tintwell/detect":
            names.append(tb.tb_frame.f_code.co_name)
        tb = tb.tb_next
    return names


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


def raise_interrupt(*args):
    raise KeyboardInterrupt


def raise_runtime_error(*args):
    raise RuntimeError(args)


# (changes to the console, result, log after VT_SETUP)
SCENARIOS = {
    "stdout console": ({}, True, [*fd(1), *enable(100)]),
    "already enabled": ({"modes": {100: 0x7}}, True, [*fd(1), *enable(100, 0x7)]),
    "stdout redirected": ({"fd_handles": {1: 300}}, True, [*fd(1), ("GetConsoleMode", 300), *fd(2), *enable(200)]),
    "stdout None": ({"stdout": None}, True, [*STD, *enable(100)]),
    "in-memory stdout": ({"stdout": io.StringIO()}, True, [*STD, *enable(100)]),
    "no OS handle": ({"fd_handles": {1: OSError}}, True, [*fd(1), *STD, *enable(100)]),
    "OS handle -1": ({"fd_handles": {1: -1}}, True, [*fd(1), *STD, *enable(100)]),
    "OS handle 0": ({"fd_handles": {1: 0, 2: 0}}, False, [*fd(1), *fd(2)]),
    "std handle 0": ({"fd_handles": {1: -1, 2: -1}, "std_handle": 0}, False, [*fd(1), *STD, *fd(2), *STD]),
    "std handle -1": ({"fd_handles": {1: -1, 2: -1}, "std_handle": -1}, False, [*fd(1), *STD, *fd(2), *STD]),
    "refused": ({"refusing": {100, 200}}, False, [*fd(1), *enable(100)[:2], *fd(2), *enable(200)[:2]]),
    "bit does not stick": ({"forgetful": {100, 200}}, False, [*fd(1), *enable(100), *fd(2), *enable(200)]),
    "unconvertible handle": ({"fd_handles": {1: "handle"}}, True, [*fd(1), *fd(2), *enable(200)]),
    "GetConsoleMode raises": ({"raising": {"GetConsoleMode": ArgumentError()}}, False,
                              [*fd(1), ("GetConsoleMode", 100), *fd(2), ("GetConsoleMode", 200)]),
    "GetStdHandle raises": ({"stdout": None, "raising": {"GetStdHandle": OSError()}}, True,
                            [*STD, *fd(2), *enable(200)]),
}


@pytest.mark.parametrize("name", SCENARIOS)
def test_enable_windows_vt(monkeypatch, console, name):
    changes, result, log = SCENARIOS[name]
    for attr, value in changes.items():
        current = getattr(console, attr)
        current.update(value) if isinstance(current, (dict, set)) else setattr(console, attr, value)
    assert on_windows(monkeypatch, detect.enable_windows_vt, console) is result
    assert console.log == [*VT_SETUP, *log]


def test_enabling_sets_only_the_bit(monkeypatch, console):
    console.modes[100] = 0x1
    assert on_windows(monkeypatch, detect.enable_windows_vt, console) is True
    assert console.modes == {100: 0x5, 200: 0x3}


@pytest.mark.parametrize("msvcrt", ["missing", "no get_osfhandle", "broken"])
def test_msvcrt_import(monkeypatch, console, msvcrt):
    module = types.ModuleType("msvcrt")
    if msvcrt == "broken":
        module.__getattr__ = raise_runtime_error  # not an ImportError: propagates
    monkeypatch.setitem(sys.modules, "msvcrt", None if msvcrt == "missing" else module)
    console.refusing.add(100)
    if msvcrt == "broken":
        with pytest.raises(RuntimeError):
            on_windows(monkeypatch, detect.enable_windows_vt, console)
        assert console.log == []
    else:  # no fileno(): both streams use the standard output handle
        assert on_windows(monkeypatch, detect.enable_windows_vt, console) is False
        assert console.log == [*VT_SETUP, *STD, *enable(100)[:2], *STD, *enable(100)[:2]]


@pytest.mark.parametrize("where", ["fileno", "get_osfhandle", "GetStdHandle", "GetConsoleMode", "SetConsoleMode"])
def test_keyboard_interrupt_passes_through_try_enable(monkeypatch, console, where):
    console.fd_handles[1] = -1 if where == "GetStdHandle" else 100
    if where == "fileno":
        console.stdout = types.SimpleNamespace(fileno=raise_interrupt)
    console.raising[where] = KeyboardInterrupt()
    with pytest.raises(KeyboardInterrupt) as info:
        on_windows(monkeypatch, detect.enable_windows_vt, console)
    assert labels(info.value) == ["tintwell.detect.enable_windows_vt", "tintwell.detect.enable_windows_vt._try_enable"]
    assert ("fileno", 2) not in console.log


@pytest.mark.parametrize("error, outcome", [(OSError("no kernel32"), False), (KeyboardInterrupt(), KeyboardInterrupt)])
def test_set_up_failures(monkeypatch, console, error, outcome):
    console.raising["WinDLL"] = error
    console.stdout = console.stderr = Untouchable()
    for function in (detect.enable_windows_vt, detect._has_windows_console):
        if outcome is False:
            assert on_windows(monkeypatch, function, console) is False
        else:
            with pytest.raises(outcome) as info:
                on_windows(monkeypatch, function, console)
            assert labels(info.value) == [f"tintwell.detect.{function.__name__}"]


def test_reading_the_streams_is_outside_any_handler(monkeypatch, console):
    monkeypatch.setattr(detect, "sys", types.SimpleNamespace(platform="win32", stdout=console.stdout))
    with pytest.raises(AttributeError, match="stderr"):
        detect.enable_windows_vt()
    assert console.log == VT_SETUP


def test_no_reference_leaks(monkeypatch, console):
    stream = console.stdout
    console.fd_handles[1] = 300
    before = sys.getrefcount(stream)
    for _ in range(100):
        on_windows(monkeypatch, detect.enable_windows_vt, console)
    assert sys.getrefcount(stream) == before


# ---- _has_windows_console ----

@pytest.mark.parametrize("std_handle, result", [(100, True), (300, False), (None, False), (0, False), (-1, False),
                                                (2 ** 64 - 1, False)])
def test_has_windows_console(monkeypatch, console, std_handle, result):
    console.std_handle = std_handle
    console.stdout = Untouchable()  # the process's handle is asked for, not the stream's
    assert on_windows(monkeypatch, detect._has_windows_console, console) is result
    queried = [("GetConsoleMode", std_handle)] if std_handle in (100, 300) else []
    assert console.log == [*CONSOLE_SETUP, *STD, *queried]


@pytest.mark.parametrize("where", ["GetStdHandle", "GetConsoleMode"])
def test_console_query_failures(monkeypatch, console, where):
    console.raising[where] = OSError(where)
    assert on_windows(monkeypatch, detect._has_windows_console, console) is False
    console.raising[where] = KeyboardInterrupt()
    with pytest.raises(KeyboardInterrupt) as info:
        on_windows(monkeypatch, detect._has_windows_console, console)
    assert labels(info.value) == ["tintwell.detect._has_windows_console"]


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


def test_real_modules_of_this_system_give_false(monkeypatch):
    """Here ctypes has no WinDLL and there is no msvcrt: both functions absorb that."""
    assert on_windows(monkeypatch, detect._has_windows_console) is False
    assert on_windows(monkeypatch, detect.enable_windows_vt) is False
