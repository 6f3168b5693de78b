"""Shared fixtures and helpers: a colors module restored after each test, fresh interpreters, child
processes on a pseudo-terminal."""

import errno
import functools
import os
import select
import struct
import subprocess
import sys
import textwrap
import time
import traceback

import pytest

import tintwell.colors

# Every environment variable the colour level depends on.
VARIABLES = ("NO_COLOR", "FORCE_COLOR", "TERM_PROGRAM", "VSCODE_PID", "VSCODE_IPC_HOOK", "PYCHARM_HOSTED",
             "WT_SESSION", "ConEmuANSI", "ANSICON", "COLORTERM", "TERM")
FUNCTION_ATTRIBUTES = ("__name__", "__qualname__", "__module__", "__doc__", "__defaults__", "__kwdefaults__",
                       "__annotations__")


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
