"""ColorHandler: records coloured by level where the stream shows colour, and otherwise byte for byte
what a StreamHandler with the same formatter writes; the level name found wherever a format puts it;
stream switching; the styles and their errors. Then the one-line set-up in a real pseudo-terminal
and through a pipe."""

import io
import logging
import subprocess
import sys

import pytest

from conftest import child_env, run_in_pty
from tintwell.style import ColorHandler, strip_ansi

LEVELS = [5, logging.DEBUG, logging.INFO, 25, logging.WARNING, logging.ERROR, logging.CRITICAL, 60]
# The default styles' sequences around a level name.
DEBUG, INFO, WARNING, ERROR = ("\x1b[2m{}\x1b[22m", "\x1b[32m{}\x1b[39m", "\x1b[33m{}\x1b[39m", "\x1b[31m{}\x1b[39m")
CRITICAL = "\x1b[1m\x1b[97m\x1b[41m{}\x1b[22;39;49m"


class Terminal(io.StringIO):
    def isatty(self):
        return True


class Lower(logging.Formatter):
    """A formatter of its own that writes the level name in lower case."""

    def formatMessage(self, record):
        return f"{record.levelname.lower()} | {record.getMessage()}"


class Bare:
    """A formatter that is no logging.Formatter: format() alone."""

    def format(self, record):
        return f"[{record.levelname}] {record.msg}"


FORMATTERS = {
    "default": lambda: None,  # logging's own: the message alone
    "basicConfig's": lambda: logging.Formatter(logging.BASIC_FORMAT),
    "padded": lambda: logging.Formatter("%(levelname)-8s %(message)s"),
    "braces": lambda: logging.Formatter("{levelname:^10}|{message}", style="{"),
    "template": lambda: logging.Formatter("$levelname: $message", style="$"),
    "cut and repeated": lambda: logging.Formatter("%(levelname).1s %(levelname)s %(message)s"),
    "repr": lambda: logging.Formatter("{levelname!r} {message}", style="{"),
    "no level": lambda: logging.Formatter("%(message)s"),
    "time": lambda: logging.Formatter("%(asctime)s %(levelname)s %(message)s"),
    "lower case": lambda: Lower(),
    "bare": lambda: Bare(),
}


def log_everything(*handlers):
    """Logs a record at each level, one with a traceback and one with a stack, through `handlers`."""
    logger = logging.Logger("test")  # not registered: nothing else sees its records
    for handler in handlers:
        logger.addHandler(handler)
    logger.setLevel(1)
    for level in LEVELS:
        logger.log(level, "INFO and WARNING in the message, %s", level)
    try:
        1 / 0
    except ZeroDivisionError:
        logger.exception("failed\nover two lines")
    logger.warning("with its stack", stack_info=True)


def outputs(stream, formatter, **options):
    """What a ColorHandler on `stream` and a StreamHandler write for the same records."""
    coloured, plain = ColorHandler(stream, **options), logging.StreamHandler(io.StringIO())
    for handler in (coloured, plain):
        handler.setFormatter(formatter())
    log_everything(coloured, plain)
    return stream.getvalue(), plain.stream.getvalue()


@pytest.mark.parametrize("formatter", FORMATTERS.values(), ids=FORMATTERS)
@pytest.mark.parametrize("stream, env", [(io.StringIO, {}), (Terminal, {"NO_COLOR": "1"}),
                                         (Terminal, {"TERM": "dumb"})], ids=["file", "NO_COLOR", "dumb"])
@pytest.mark.parametrize("part", ["levelname", "line"])
def test_without_colour_the_output_is_a_stream_handlers(environment, formatter, stream, env, part):
    for name, value in env.items():
        environment.setenv(name, value)
    coloured, plain = outputs(stream(), formatter, part=part)
    assert coloured == plain and "\x1b" not in coloured


@pytest.mark.parametrize("formatter", FORMATTERS.values(), ids=FORMATTERS)
@pytest.mark.parametrize("part", ["levelname", "line"])
def test_with_colour_only_escapes_are_added(environment, formatter, part):
    coloured, plain = outputs(Terminal(), formatter, part=part)
    assert strip_ansi(coloured) == plain
    if formatter not in (FORMATTERS["no level"], FORMATTERS["default"]) or part == "line":
        assert "\x1b" in coloured


@pytest.mark.parametrize("formatter, lines", [
    ("basicConfig's", [WARNING.format("WARNING") + ":test:INFO and WARNING in the message, 30"]),
    ("padded", [ERROR.format("ERROR") + "    INFO and WARNING in the message, 40"]),
    ("braces", [" " + CRITICAL.format("CRITICAL") + " |INFO and WARNING in the message, 50"]),
    ("template", [INFO.format("Level 25") + ": INFO and WARNING in the message, 25"]),  # INFO's, the level below
    ("cut and repeated", [DEBUG.format("D") + " " + DEBUG.format("DEBUG") + " INFO and WARNING in the message, 10"]),
    ("lower case", [INFO.format("info") + " | INFO and WARNING in the message, 20"]),
    ("repr", ["'Level 5' INFO and WARNING in the message, 5"]),  # below every level: no style
    ("bare", ["[" + WARNING.format("WARNING") + "] INFO and WARNING in the message, %s"]),  # its first appearance
    ("no level", ["INFO and WARNING in the message, 40"]),
])
def test_the_level_name_is_coloured_where_the_format_puts_it(environment, formatter, lines):
    coloured, _ = outputs(Terminal(), FORMATTERS[formatter])
    for line in lines:
        assert line in coloured.splitlines()


def test_whole_lines(environment):
    coloured, _ = outputs(Terminal(), FORMATTERS["padded"], part="line")
    lines = coloured.splitlines()
    assert ERROR.format("ERROR    INFO and WARNING in the message, 40") in lines
    # Each line of a record apart, its traceback too, so that no background runs past a line's end.
    failed = lines.index(ERROR.format("ERROR    failed"))
    assert lines[failed + 1:failed + 3] == [ERROR.format("over two lines"), ERROR.format("Traceback (most recent call "
                                                                                          "last):")]


def handler_of(*args, **kwargs):
    handler = ColorHandler(*args, **kwargs)
    handler.setFormatter(logging.Formatter("%(levelname)s:%(message)s"))
    return handler


def test_styles_by_level(environment):
    handler = handler_of(Terminal(), {"WARNING": {"fg": "#ff8000", "underline": True}, logging.INFO: None,
                                      25: {"fg": 196}, 5: {"italic": 1}})
    record = lambda level: logging.makeLogRecord({"levelno": level, "levelname": "L", "msg": "m"})  # noqa: E731
    assert [handler.format(record(level)) for level in (1, 5, 10, 20, 24, 25, 30, 45, 99)] == [
        "L:m", "\x1b[3mL\x1b[23m:m", DEBUG.format("L") + ":m", "L:m", "L:m", "\x1b[38;5;196mL\x1b[39m:m",
        "\x1b[4m\x1b[38;5;208mL\x1b[24;39m:m", ERROR.format("L") + ":m", CRITICAL.format("L") + ":m"]
    assert ColorHandler.DEFAULT_STYLES[logging.WARNING] == {"fg": "yellow"}
    with pytest.raises(TypeError):
        ColorHandler.DEFAULT_STYLES[logging.WARNING] = {}  # type: ignore[index]


def test_the_record_is_left_as_it_was(environment):
    record = logging.makeLogRecord({"levelno": 30, "levelname": "WARNING", "msg": "m"})
    assert handler_of(Terminal()).format(record) == WARNING.format("WARNING") + ":m"
    assert record.levelname == "WARNING"  # for the other handlers


def test_stream_switching(environment):
    file, terminal = io.StringIO(), Terminal()
    handler = handler_of(file)
    logger = logging.Logger("switching")
    logger.addHandler(handler)
    logger.warning("one")
    assert handler.setStream(terminal) is file and handler.setStream(terminal) is None
    logger.warning("two")
    handler.stream = file  # assigned directly, not through setStream
    logger.warning("three")
    assert file.getvalue() == "WARNING:one\nWARNING:three\n"
    assert terminal.getvalue() == WARNING.format("WARNING") + ":two\n"


def test_default_stream_is_stderr(environment):
    assert ColorHandler().stream is sys.stderr


def test_a_stream_that_cannot_tell_gets_no_colour(environment):
    class Closed(io.StringIO):
        def isatty(self):
            raise ValueError("I/O operation on closed file")

    stream = Closed()
    handler = handler_of(stream)
    handler.emit(logging.makeLogRecord({"levelno": 40, "levelname": "ERROR", "msg": "m"}))
    assert stream.getvalue() == "ERROR:m\n"


@pytest.mark.parametrize("options, error, message, notes", [
    ({30: {"fg": "gren"}}, ValueError, "未知颜色名称: 'gren'",
     ["The foreground colour 'gren' is not a colour name. Did you mean 'green'?",
      "In ColorHandler's style for WARNING (30): {'fg': 'gren'}"]),
    ({"ERROR": {"bg": (1, 2)}}, ValueError, "need more than 2 values to unpack",
     ["The background colour (1, 2) has 2 components, where an (r, g, b) tuple has 3.",
      "In ColorHandler's style for ERROR (40): {'bg': (1, 2)}"]),
    ({30: {"bold": "yes"}}, TypeError, "style() argument 'bold' must be True, False or an int, not str",
     ["In ColorHandler's style for WARNING (30): {'bold': 'yes'}"]),
    ({30: {"colour": "red"}}, TypeError, "ColorHandler's style for WARNING (30): unknown option 'colour' (did you mean "
                                         "'fg'?). The options are fg, bg, bold, dim, italic, underline, blink, reverse, "
                                         "strike.", []),
    ({30: {"undreline": True}}, TypeError, "unknown option 'undreline' (did you mean 'underline'?)", []),
    ({30: "red"}, TypeError, "ColorHandler's style for WARNING (30) must be a mapping of Painter.style options, such as "
                             "{'fg': 'red'}, or None; not str", []),
    ({"warnin": {}}, ValueError, "ColorHandler styles: unknown level name 'warnin'; did you mean 'WARNING'?", []),
    ({True: {}}, TypeError, "ColorHandler styles: a level is an int or a level name, not bool", []),
])
def test_bad_options(environment, options, error, message, notes):
    with pytest.raises(error) as raised:
        ColorHandler(io.StringIO(), options)
    assert message in str(raised.value)
    assert [note.split("\n")[0] for note in getattr(raised.value, "__notes__", [])] == notes
    with pytest.raises(ValueError, match="^ColorHandler part must be 'levelname' or 'line', not 'name'$"):
        ColorHandler(part="name")  # type: ignore[arg-type]


# The README's one-line set-up, a record at each level; the handler writes to stderr.
SET_UP = """
import logging, os, sys
from tintwell.style import ColorHandler
if sys.argv[1] == "terminal":
    os.dup2(1, 2)  # stderr onto the terminal that stdout is
handler = ColorHandler() if sys.argv[2] == "ColorHandler" else logging.StreamHandler()
logging.basicConfig(level=logging.DEBUG, handlers=[handler])
log = logging.getLogger("app")
log.debug("cache warmed")
log.info("listening on :8080")
log.warning("disk 91% full")
log.error("request failed")
log.critical("out of memory")
"""
CAPTURE = [DEBUG.format("DEBUG") + ":app:cache warmed", INFO.format("INFO") + ":app:listening on :8080",
           WARNING.format("WARNING") + ":app:disk 91% full", ERROR.format("ERROR") + ":app:request failed",
           CRITICAL.format("CRITICAL") + ":app:out of memory"]


def run_set_up(where, handler, **env):
    argv = [sys.executable, "-c", SET_UP, where, handler]
    if where == "terminal":
        status, out, err = run_in_pty(argv, child_env(**env))
        return status, out + err
    proc = subprocess.run(argv, capture_output=True, env=child_env(**env), timeout=60)
    return proc.returncode, proc.stderr.decode()


def test_one_line_set_up_in_a_terminal():
    assert run_set_up("terminal", "ColorHandler", TERM="xterm-256color") == (0, "\n".join(CAPTURE) + "\n")


@pytest.mark.parametrize("where, env", [("pipe", {"TERM": "xterm-256color", "COLORTERM": "truecolor"}),
                                        ("terminal", {"TERM": "xterm-256color", "NO_COLOR": "1"}),
                                        ("terminal", {"TERM": "dumb"})], ids=["pipe", "NO_COLOR", "dumb"])
def test_one_line_set_up_without_colour_is_a_stream_handlers(where, env):
    coloured, plain = run_set_up(where, "ColorHandler", **env), run_set_up(where, "StreamHandler", **env)
    assert coloured == plain and coloured[1] == strip_ansi("\n".join(CAPTURE) + "\n")


def test_one_line_set_up_forced_into_a_pipe():
    status, out = run_set_up("pipe", "ColorHandler", FORCE_COLOR="1")
    assert (status, out) == (0, "\n".join(CAPTURE) + "\n")


def test_logging_is_imported_only_for_the_handler(run_python):
    # The logging package takes some 15 ms to import: tintwell.style leaves it to programs that log.
    assert run_python("""
        import sys
        import tintwell.style
        before = "logging" in sys.modules
        from tintwell.style import ColorHandler, StyleOptions
        print(before, "logging" in sys.modules, ColorHandler.__name__, tintwell.style.ColorHandler is ColorHandler)
    """) == "False True ColorHandler True\n"
