"""Shared fixtures and helpers: a colors module restored after each test, every colour test on both
routes, the test build's counters, fresh interpreters, child processes on a pseudo-terminal."""

import contextlib
import ctypes
import errno
import functools
import os
import re
import select
import struct
import subprocess
import sys
import textwrap
import time
import traceback

import pytest

import tintwell.colors
import tintwell.detect

# Every environment variable the colour level depends on.
VARIABLES = ("NO_COLOR", "FORCE_COLOR", "TERM_PROGRAM", "VSCODE_PID", "VSCODE_IPC_HOOK", "PYCHARM_HOSTED",
             "WT_SESSION", "ConEmuANSI", "ANSICON", "COLORTERM", "TERM")
FUNCTION_ATTRIBUTES = ("__name__", "__qualname__", "__module__", "__doc__", "__defaults__", "__kwdefaults__",
                       "__annotations__")


def extra_build(root, name):
    """The folder of a build the tests make themselves, beside the others; builds for an interpreter
    other than CPython 3.14 get folders of their own, as scripts/build names them."""
    version = sys.version_info[:2]
    return os.path.join(root, "build", name + ("" if version == (3, 14) else "-python%d.%d" % version))


@pytest.fixture
def colors():
    """tintwell.colors; its namespace, tables and function attributes are put back afterwards."""
    module = tintwell.colors
    namespace = dict(vars(module))
    tables = {name: dict(namespace[name]) for name in ("NAMED_COLORS", "COLOR_ALIASES")}
    functions = {name: value for name, value in namespace.items() if type(value) is type(module.fg_code)}
    attributes = {name: {attr: getattr(func, attr) for attr in FUNCTION_ATTRIBUTES}
                  for name, func in functions.items()}
    annotations = {name: dict(func.__annotations__) for name, func in functions.items()}
    yield module
    current = vars(module)
    if list(current) != list(namespace):  # names deleted and bound again move to the end
        current.clear()
    current.update(namespace)
    for name, contents in tables.items():
        namespace[name].clear()
        namespace[name].update(contents)
    for name, func in functions.items():
        for attr, value in attributes[name].items():
            setattr(func, attr, value)
        func.__annotations__.clear()
        func.__annotations__.update(annotations[name])
        func.__dict__.clear()


# ---- the test build's counters ----

SOURCE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
# The builds the suite is run on by scripts/test and scripts/hardening: they must keep the counters.
COUNTING_BUILDS = [os.path.join(SOURCE, "build", variant) for variant in ("test", "asan")]


class Counters:
    """The counts one module's test build keeps (frame/test_counters.hpp), read through the exported
    tintwell_test_counter(); a name that no counter has is an error."""

    def __init__(self, module):
        self.module = module
        try:
            self._read = ctypes.CDLL(module.__file__).tintwell_test_counter
        except (OSError, AttributeError):
            self._read = None
        else:
            self._read.restype, self._read.argtypes = ctypes.c_longlong, [ctypes.c_char_p]

    def __bool__(self):
        return self._read is not None

    def __getitem__(self, name):
        value = self._read(name.encode())
        assert value >= 0, f"{self.module.__name__} keeps no counter {name!r}"
        return value

    @contextlib.contextmanager
    def change(self, *names):
        """How much each named count grows during the block: the dict yielded is filled at its end."""
        before = {name: self[name] for name in names}
        moved = {}
        yield moved
        moved.update({name: self[name] - before[name] for name in names})


COUNTERS = {"colors": Counters(tintwell.colors), "detect": Counters(tintwell.detect)}


def counting_required(module):
    path = os.path.realpath(module.__file__)
    return any(path.startswith(os.path.realpath(build) + os.sep) for build in COUNTING_BUILDS)


def required_counters():
    """The counters of both modules; the test is skipped against a build that keeps none (an installed
    wheel), and fails against one that should."""
    for name, module in (("colors", tintwell.colors), ("detect", tintwell.detect)):
        if not COUNTERS[name]:
            if counting_required(module):
                pytest.fail(f"{module.__file__} was built for the tests but keeps no counters")
            pytest.skip("this build keeps no test counters")
    return COUNTERS


@pytest.fixture
def counts():
    return required_counters()


# ---- every colour test on both routes ----

# The colour test files run each test twice: as it is ("direct"), and with equal stand-ins bound in
# the module for what its direct routes depend on ("general"). Tests marked own_objects assert what
# holds only while the module's own objects are bound, and run once.
COLOUR_TEST_FILES = ("test_colors_escape", "test_colors_hex", "test_colors_tables", "test_colors_routes")
# The direct routes that the stand-ins turn away: not one may be taken on the general route.
STANDS_IN_FOR = ("colors.own_color_code", "colors.name_index", "colors.byte_tuple", "colors.hex_read",
                 "colors.own_introducer", "colors.own_pattern")


def pytest_configure(config):
    config.addinivalue_line("markers", "own_objects: asserts what holds only while the colors module's own objects "
                                       "are bound (their identity, or a direct route taken): not run on the general "
                                       "route")


def pytest_generate_tests(metafunc):
    if metafunc.module.__name__ in COLOUR_TEST_FILES and "route" in metafunc.fixturenames:
        own = metafunc.definition.get_closest_marker("own_objects") is not None
        metafunc.parametrize("route", ["direct"] if own else ["direct", "general"], indirect=True)


def recompiled(pattern):
    """An equal pattern object that is not `pattern` itself (re.compile hands out cached ones)."""
    re.purge()
    compiled = re.compile(pattern.pattern)
    assert compiled is not pattern and compiled == pattern
    return compiled


def stand_ins(module):
    """Equal objects that are not the module's own, one for each global a direct route depends on."""
    return {
        "ESC": "".join(["\x1b", "["]),
        "NAMED_COLORS": dict(module.NAMED_COLORS),
        "COLOR_ALIASES": dict(module.COLOR_ALIASES),
        "_HEX_RE": recompiled(module._HEX_RE),
        "_SHORT_HEX_RE": recompiled(module._SHORT_HEX_RE),
        "parse_hex": functools.partial(module.parse_hex),
        "_validate_rgb": functools.partial(module._validate_rgb),
        "_color_code": functools.partial(module._color_code),
    }


@pytest.fixture(autouse=True)
def route(request):
    """In the colour test files, "direct" or "general" (the stand-ins bound for the whole test, the
    module's own objects bound again afterwards); no full table of watched dicts on either."""
    which = getattr(request, "param", None)
    if which is None:
        yield None
        return
    module = tintwell.colors
    counters = COUNTERS["colors"]
    own = {name: vars(module)[name] for name in stand_ins(module)}
    if which == "general":
        vars(module).update(stand_ins(module))
    watched = ("frame.watch_table_full",) if counters else ()
    turned_away = STANDS_IN_FOR if counters and which == "general" else ()
    try:
        with counters.change(*watched, *turned_away) if counters else contextlib.nullcontext({}) as moved:
            yield which
    finally:
        vars(module).update(own)
    assert not any(moved.values()), f"on the {which} route: {moved}"


@pytest.fixture
def environment(monkeypatch):
    """The environment of a 256-colour terminal: TERM=xterm-256color, no other variable detection reads.
    Returns the monkeypatch."""
    for name in VARIABLES:
        monkeypatch.delenv(name, raising=False)
    monkeypatch.setenv("TERM", "xterm-256color")
    return monkeypatch


@pytest.fixture
def run_python():
    """Runs `code` in a fresh interpreter with this one's environment; returns its stdout."""

    def run(code, *args):
        result = subprocess.run([sys.executable, "-X", "faulthandler", "-c", textwrap.dedent(code), *args],
                                capture_output=True, text=True, timeout=120)
        assert result.returncode == 0, result.stderr
        return result.stdout

    return run


class Untouchable:
    """An object that fails any test that touches it."""

    def __getattribute__(self, name):
        raise AssertionError(f"touched: {name}")


def trace_names(exc):
    """(function name, file name) of each traceback entry of `exc`, outermost first."""
    return [(frame.name, frame.filename) for frame in traceback.extract_tb(exc.__traceback__)]


def module_entries(exc):
    """The function names of the entries that tintwell's modules added to the traceback of `exc`."""
    return [name for name, filename in trace_names(exc) if filename.startswith("tintwell/")]


def outcome(func, *args, **kwargs):
    """What a call gives: the result's type and value, or the exception's type and message."""
    try:
        result = func(*args, **kwargs)
    except Exception as exc:
        return type(exc), str(exc)
    return type(result), result


def child_env(**variables):
    """The inherited environment (PYTHONPATH included) without the variables detection reads, plus these."""
    # COLUMNS and LINES would override the terminal's own size.
    env = {k: v for k, v in os.environ.items() if k not in VARIABLES + ("COLUMNS", "LINES")}
    env.update(variables)
    return env


@functools.cache
def pty_recognised():
    """Whether this system has pseudo-terminals that isatty() recognises as terminals. Windows has
    none; an emulator may lack the terminal ioctl the C library asks (qemu-user 7.2 has no TCGETS2,
    which the isatty() of newer C libraries uses), and then every terminal looks like a file."""
    if not hasattr(os, "openpty"):
        return False
    master, slave = os.openpty()
    try:
        return os.isatty(slave)
    finally:
        os.close(master)
        os.close(slave)


def run_in_pty(argv, env, deadline=60, columns=None):
    """Runs argv with stdout on a pseudo-terminal (`columns` wide if given, else of no known size);
    returns (status, stdout text, stderr text). Skips the test where isatty() fails on a pseudo-terminal."""
    if not pty_recognised():
        pytest.skip("isatty() does not recognise a pseudo-terminal here")
    import fcntl  # POSIX only, as pseudo-terminals are
    import termios

    master, slave = os.openpty()
    if columns is not None:
        fcntl.ioctl(slave, termios.TIOCSWINSZ, struct.pack("HHHH", 24, columns, 0, 0))
    try:
        proc = subprocess.Popen(argv, stdin=subprocess.DEVNULL, stdout=slave, stderr=subprocess.PIPE, env=env)
    finally:
        os.close(slave)
    chunks = []
    end = time.monotonic() + deadline
    try:
        while time.monotonic() < end:
            ready, _, _ = select.select([master], [], [], 1.0)
            if not ready:
                continue
            try:
                data = os.read(master, 65536)
            except OSError as exc:  # EIO: every writer of the terminal has gone
                if exc.errno != errno.EIO:
                    raise
                break
            if not data:
                break
            chunks.append(data)
        else:
            proc.kill()
            pytest.fail("the child did not finish writing to its terminal")
    finally:
        os.close(master)
    stderr = proc.stderr.read()
    proc.stderr.close()
    status = proc.wait(timeout=deadline)
    # The terminal's output processing turns each line feed into CR LF.
    return status, b"".join(chunks).decode().replace("\r\n", "\n"), stderr.decode()
