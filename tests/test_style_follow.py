"""Painter() follows sys.stdout: under contextlib.redirect_stdout and a test runner's capture it writes
no escapes, back on the terminal colour returns; its styles follow too, its caches never answer for
another level, and calls made while it detects keep the level as it was. In-process with streams
that say they are terminals, then in a real pseudo-terminal, under redirection and under pytest."""

import contextlib
import copy
import io
import pickle
import sys
import textwrap

import pytest

from conftest import child_env, run_in_pty
from tintwell import colors
from tintwell.detect import ColorLevel
from tintwell.style import Painter

RED = "\x1b[31mx\x1b[39m"


class Terminal(io.StringIO):
    """A stream that says it is a terminal."""

    def isatty(self):
        return True


@pytest.fixture
def terminal(environment):
    """Makes sys.stdout a terminal of 256 colours, as far as detection can tell, and returns it. (Called
    in the test: pytest's capture sets sys.stdout between a fixture and its test.)"""

    def on_terminal():
        stream = Terminal()
        environment.setattr(sys, "stdout", stream)
        return stream

    return on_terminal


@pytest.fixture
def made(monkeypatch):
    """Counts the sequences fg_code makes, by colour."""
    counts = {}
    real = colors.fg_code

    def counting(colour):
        counts[colour] = counts.get(colour, 0) + 1
        return real(colour)

    monkeypatch.setattr(colors, "fg_code", counting)
    return counts


def test_redirection_and_back(terminal):
    terminal()
    painter = Painter()
    warn = painter.style(fg="#ff8000", bold=True)
    assert painter.level is warn.level is ColorLevel.EXTENDED
    assert repr(painter) == "Painter(level=ColorLevel.EXTENDED, follows sys.stdout)"
    coloured = warn("w")
    with contextlib.redirect_stdout(io.StringIO()) as captured:
        print(painter.paint("x", fg="red"), painter.fg("red"), warn("w"), warn.before, warn.after, sep="|")
        assert painter.level is warn.level is ColorLevel.NONE
        assert repr(warn) == "Style(fg='#ff8000', bold=True, level=ColorLevel.NONE)"
    assert captured.getvalue() == "x||w||\n"
    assert painter.paint("x", fg="red") == RED and warn("w") == coloured
    assert warn.before == "\x1b[1m\x1b[38;5;208m" and warn.level is ColorLevel.EXTENDED
    # Equality and hash stay those of the style as made.
    assert warn == Painter(level=2).style(fg="#ff8000", bold=True) and hash(warn) == hash(Painter(level=2).style(
        fg="#ff8000", bold=True))


def test_explicit_streams_and_levels_keep_their_level(terminal):
    terminal()
    painters = [Painter(sys.stdout), Painter(level=2), Painter(None, level=ColorLevel.EXTENDED)]
    styles = [painter.style(fg="red") for painter in painters]
    with contextlib.redirect_stdout(io.StringIO()):
        assert [painter.paint("x", fg="red") for painter in painters] == [RED] * 3
        assert [style("x") for style in styles] == [RED] * 3
    assert [repr(painter) for painter in painters] == ["Painter(level=ColorLevel.EXTENDED)"] * 3
    assert Painter(None).paint("x", fg="red") == RED and repr(Painter(stream=None)).endswith("follows sys.stdout)")


def test_a_change_of_level_empties_the_caches(terminal, made):
    terminal()
    painter = Painter()
    for _ in range(3):
        assert painter.fg("red") == "\x1b[31m"  # the second and third from the cache
    assert made == {"red": 1}
    with contextlib.redirect_stdout(Terminal()):  # another stream, the same level: the caches stay
        assert painter.fg("red") == "\x1b[31m"
    assert made == {"red": 1}
    with contextlib.redirect_stdout(io.StringIO()):
        assert painter.fg("red") == ""  # not the last colour's sequence, nor the cache's
        assert painter._cache_size == 1
    assert painter.fg("red") == "\x1b[31m" and made == {"red": 3}


def test_a_colour_made_while_the_level_changes_is_not_kept(terminal, monkeypatch):
    terminal()
    # fg_code, called for a colour the painter has not kept, moves sys.stdout to a file and paints:
    # the painter detects NONE and empties its caches; the sequence made for EXTENDED must not be
    # stored into them afterwards.
    painter, real, elsewhere = Painter(), colors.fg_code, io.StringIO()

    def moving(colour):
        if colour == "#ff8000":
            sys.stdout = elsewhere
            assert painter.fg("blue") == ""
        return real(colour)

    monkeypatch.setattr(colors, "fg_code", moving)
    assert painter.fg("#ff8000") == "\x1b[38;5;208m"  # made for the level at the start of the call
    assert painter.level is ColorLevel.NONE and painter.fg("#ff8000") == ""


def test_calls_made_while_detecting_keep_the_old_level(terminal):
    stream = terminal()
    painter = Painter()
    seen = []

    class Painting(io.StringIO):
        def isatty(self):
            seen.append(painter.paint("x", fg="red"))  # within the detection for this stream
            return False

    with contextlib.redirect_stdout(Painting()):
        assert painter.paint("x", fg="red") == "x"
    assert seen == [RED]

    class Moving(io.StringIO):
        def isatty(self):
            sys.stdout = stream  # detection runs Python code that rebinds sys.stdout
            return False

    sys.stdout = Moving()
    assert painter.paint("x", fg="red") == "x"  # the level of the stream it detected for
    assert painter.paint("x", fg="red") == RED  # sys.stdout is the terminal again: detected again


def test_no_stdout(terminal, monkeypatch):
    stream = terminal()
    painter = Painter()
    warn = painter.style(fg="red")
    monkeypatch.delattr(sys, "stdout")
    for call in (lambda: painter.paint("x", fg="red"), lambda: warn("x"), lambda: painter.level):
        with pytest.raises(AttributeError, match="stdout"):
            call()
    with pytest.raises(AttributeError):
        Painter()
    sys.stdout = None  # as under pythonw: no colour
    assert painter.paint("x", fg="red") == warn("x") == "x"
    sys.stdout = stream
    assert painter.paint("x", fg="red") == warn("x") == RED


def test_detection_errors_leave_the_painter_usable(terminal):
    terminal()
    painter = Painter()

    class Closed(io.StringIO):
        def isatty(self):
            raise ValueError("I/O operation on closed file")

    with contextlib.redirect_stdout(Closed()):
        for _ in range(2):  # tried again at every call
            with pytest.raises(ValueError, match="closed file"):
                painter.paint("x", fg="red")
    assert painter.paint("x", fg="red") == RED


def test_copies_follow_too(terminal):
    terminal()
    painter = Painter()
    for twin in (copy.copy(painter), pickle.loads(pickle.dumps(painter))):
        with contextlib.redirect_stdout(io.StringIO()):
            assert twin.paint("x", fg="red") == "x"
        assert twin.paint("x", fg="red") == RED


FOLLOWING = """
import contextlib, io, sys
from tintwell.style import Painter

painter = Painter()
warn = painter.style(fg="red", bold=True)
print("terminal:", painter.paint("x", fg="red"), warn("w"))
with contextlib.redirect_stdout(io.StringIO()) as captured:
    print(painter.paint("x", fg="red"), warn("w"))
print("captured:", repr(captured.getvalue()))
print("back:", painter.paint("x", fg="red"), warn("w"))
"""


def test_redirect_stdout_in_a_terminal():
    status, out, err = run_in_pty([sys.executable, "-c", FOLLOWING], child_env(TERM="xterm-256color"))
    assert (status, err) == (0, "")
    assert out.splitlines() == ["terminal: \x1b[31mx\x1b[39m \x1b[1m\x1b[31mw\x1b[22;39m", "captured: 'x w\\n'",
                                "back: \x1b[31mx\x1b[39m \x1b[1m\x1b[31mw\x1b[22;39m"]


UNDER_PYTEST = '''
from tintwell.style import Painter


def test_captured(capsys):
    with capsys.disabled():  # the terminal itself
        painter = Painter()
        warn = painter.style(fg="red")
        print("<" + painter.paint("terminal", fg="red") + ">")
    print(painter.paint("captured", fg="red"), warn("styled"))
    assert capsys.readouterr().out == "captured styled\\n"
    with capsys.disabled():
        print("<" + warn("terminal again") + ">")
'''


def test_under_pytest_capture(tmp_path):
    (tmp_path / "test_captured.py").write_text(textwrap.dedent(UNDER_PYTEST))
    argv = [sys.executable, "-m", "pytest", "-q", "-p", "no:cacheprovider", str(tmp_path / "test_captured.py")]
    status, out, err = run_in_pty(argv, child_env(TERM="xterm-256color"))
    assert status == 0, out + err
    assert "<\x1b[31mterminal\x1b[39m>" in out and "<\x1b[31mterminal again\x1b[39m>" in out
    assert "1 passed" in out


# Where sys's own namespace cannot be told for sure, sys.stdout is read through PySys_GetObject.
GENERAL_ROUTE = """
import contextlib, io, os, sys
if sys.argv[1] == "general":
    sys.getrecursionlimit = lambda: 1000  # sys's function, by which its namespace is found, replaced

class Terminal(io.StringIO):
    def isatty(self):
        return True

real, sys.stdout = sys.stdout, Terminal()
from tintwell import _paint
from tintwell.style import Painter
painter = Painter()
seen = [_paint._reads_sys_namespace, _paint._watches_sys_namespace, painter.paint("x", fg="red")]
with contextlib.redirect_stdout(io.StringIO()):
    seen.append(painter.paint("x", fg="red"))
seen.append(painter.paint("x", fg="red"))
sys.stdout = real
print(seen)
"""


@pytest.mark.parametrize("route", ["direct", "general"])
def test_both_routes_of_reading_sys_stdout(run_python, environment, route):
    direct = route == "direct"
    assert run_python(GENERAL_ROUTE, route) == f"{[direct, direct, RED, 'x', RED]}\n"


# A watch of sys's namespace that foreign code ended (PyDict_Unwatch with tintwell's id) is not
# trusted: each call looks again. In a process of its own, as the watch is not begun again.
UNWATCHED = """
import sys, _testcapi
from tintwell import detect
from tintwell.style import Painter

class Stream:
    def __init__(self, tty):
        self.tty = tty

    def isatty(self):
        return self.tty

detect.detect_color_level = lambda stream=None: 2 * bool(stream.isatty())
real, sys.stdout = sys.stdout, Stream(True)
painter = Painter()
style = painter.style(fg="red")
seen = [painter.paint("x", fg="red"), style("x")]
for watcher in range(2, 8):
    try:
        _testcapi.unwatch_dict(watcher, vars(sys))
    except ValueError:  # no watcher has this id
        pass
sys.stdout = Stream(False)
seen += [painter.paint("x", fg="red"), style("x")]
sys.stdout = Stream(True)
seen += [painter.paint("x", fg="red"), style("x")]
sys.stdout = real
print(seen)
"""


def test_a_watch_ended_by_foreign_code(run_python):
    pytest.importorskip("_testcapi")
    assert run_python(UNWATCHED) == f"{[RED, RED, 'x', 'x', RED, RED]}\n"
