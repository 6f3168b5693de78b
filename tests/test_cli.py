"""`python3.14 -m tintwell` driven as a user would: in a pseudo-terminal and through a pipe."""

import collections
import enum
import re
import subprocess
import sys
import types
import unicodedata

import pytest
from hypothesis import given, settings, strategies as st

from conftest import VARIABLES, child_env, run_in_pty as run_argv_in_pty
from hardening.cases import rebound
from tintwell import __main__ as cli, colors, detect
from tintwell._paint import _colour_form
from tintwell.style import Painter, nearest_ansi16, nearest_ansi256

ESC = "\x1b"
# The command as the README and the tool's own texts write it.
PROG = f"python{sys.version_info.major}.{sys.version_info.minor} -m tintwell"


def command(args, windows=False):
    if windows:
        # The platform name is read at run time, so a Linux interpreter can walk the Windows paths;
        # shutil is imported first, since it would want Windows-only modules.
        code = ("import runpy, shutil, sys; sys.platform = 'win32'; "
                "runpy.run_module('tintwell', run_name='__main__')")
        return [sys.executable, "-c", code, *args]
    return [sys.executable, "-m", "tintwell", *args]


def run_in_pty(args, env, windows=False, columns=None):
    return run_argv_in_pty(command(args, windows), env, columns=columns)


def run_in_pipe(args, env, windows=False):
    proc = subprocess.run(command(args, windows), stdin=subprocess.DEVNULL, capture_output=True,
                          env=env, timeout=60)
    return proc.returncode, proc.stdout.decode(), proc.stderr.decode()


# A swatch beside each name, which is set on a background it reads on.
NAMED = ["\x1b[41m  \x1b[49m \x1b[107m\x1b[31mred\x1b[39m\x1b[49m", "\x1b[40m  \x1b[49m \x1b[107m\x1b[30mblack",
         "\x1b[107m  \x1b[49m \x1b[40m\x1b[97mbright_white\x1b[39m\x1b[49m", "\x1b[40m\x1b[93mbright_yellow"]
PALETTE = ["\x1b[48;5;0m    ", "\x1b[48;5;16m  ", "\x1b[48;5;196m  ", "\x1b[48;5;231m  ",
           "\x1b[48;5;232m   ", "\x1b[48;5;255m   "]
# Each text attribute's name in that attribute.
ATTRIBUTE_SAMPLES = ["\x1b[1mbold\x1b[22m", "\x1b[2mdim\x1b[22m", "\x1b[3mitalic\x1b[23m", "\x1b[4munderline\x1b[24m",
                     "\x1b[5mblink\x1b[25m", "\x1b[7mreverse\x1b[27m", "\x1b[9mstrike\x1b[29m"]
# The hue sweep starts at pure red; the grey ramp runs from black to white.
GRADIENT = ["\x1b[48;2;255;0;0m ", "\x1b[48;2;0;0;0m ", "\x1b[48;2;255;255;255m "]


@pytest.mark.parametrize("env, level, present, absent", [
    ({"FORCE_COLOR": "1", "TERM": "xterm-256color"}, "BASIC", NAMED + ATTRIBUTE_SAMPLES, PALETTE + GRADIENT),
    ({"FORCE_COLOR": "2"}, "EXTENDED", NAMED + ATTRIBUTE_SAMPLES + PALETTE, GRADIENT),
    ({"FORCE_COLOR": "3"}, "TRUECOLOR", NAMED + ATTRIBUTE_SAMPLES + PALETTE + GRADIENT, []),
    ({"TERM": "xterm-256color"}, "EXTENDED", NAMED + ATTRIBUTE_SAMPLES + PALETTE, GRADIENT),
    ({"TERM": "xterm", "COLORTERM": "truecolor"}, "TRUECOLOR", NAMED + ATTRIBUTE_SAMPLES + PALETTE + GRADIENT, []),
    ({"TERM": "vt100"}, "BASIC", NAMED + ATTRIBUTE_SAMPLES, PALETTE + GRADIENT),
], ids=["force-basic", "force-extended", "force-truecolor", "term-256", "colorterm", "term-basic"])
def test_swatches_match_the_level_in_a_terminal(env, level, present, absent):
    status, out, err = run_in_pty([], child_env(**env))
    assert (status, err) == (0, "")
    assert f"Colour level of stdout: {level} (" in out
    assert "stdout is a terminal: yes" in out
    for sequence in present:
        assert sequence in out
    for sequence in absent:
        assert sequence not in out
    for line in out.splitlines():
        assert_colours_closed(line)


SWITCHES = {"1": "bold", "2": "dim", "3": "italic", "4": "underline", "5": "blink", "7": "reverse", "9": "strike"}
ENDS = {"22": ("bold", "dim"), "23": ("italic",), "24": ("underline",), "25": ("blink",), "27": ("reverse",),
        "29": ("strike",), "39": ("fg",), "49": ("bg",)}


def assert_colours_closed(line):
    """Every colour and attribute switched on is switched off again on the same line."""
    on = set()
    for params in re.findall(r"\x1b\[([0-9;]*)m", line):
        code = params.split(";")[0]
        if code in ENDS:
            on.difference_update(ENDS[code])
        else:
            on.add(SWITCHES.get(code) or ("fg" if code[:1] in "39" else "bg" if code[:1] in "41" else code))
    assert not on, repr(line)


@pytest.mark.parametrize("width, rows", [(80, [7]), (30, [4, 3]), (9, [1, 1, 1, 1, 1, 1, 1]), (5, [1] * 7)])
def test_attribute_samples_fit_the_width(width, rows):
    screen = cli.Screen(width)
    cli.attribute_samples(screen, detect.ColorLevel.BASIC)
    samples = [line for line in screen.lines if ESC in line]
    assert [len(re.findall(r"\x1b\[[1-9]m", line)) for line in samples] == rows
    cut = [re.sub(r"(\x1b\[\dm)(\w+)", lambda m: m[1] + m[2][:width - 2], sample) for sample in ATTRIBUTE_SAMPLES]
    assert "  ".join(samples).split() == cut
    for line in screen.lines:
        assert display_width(line) <= width
        assert_colours_closed(line)
    none = cli.Screen(80)
    cli.check(none, detect.ColorLevel.NONE, detect.ColorLevel.NONE, False, None)
    assert "Text attributes: not shown (needs BASIC, level is NONE)" in none.lines


def display_width(line):
    text = re.sub(r"\x1b\[[0-9;]*m", "", line)
    return sum(0 if unicodedata.combining(c) else 2 if unicodedata.east_asian_width(c) in "WF" else 1
               for c in text)


@pytest.mark.parametrize("columns", [80, 40])
@pytest.mark.parametrize("args, env", [
    ([], {"TERM": "xterm-256color", "COLORTERM": "truecolor"}),
    ([], {"TERM": "xterm-256color"}),
    ([], {"TERM": "dumb"}),
    (["--help"], {"TERM": "xterm-256color"}),
    (["show", "#ff8000", "Bright Grey", "10,20,30"], {"TERM": "xterm-256color"}),
], ids=["truecolor", "extended", "none", "help", "show"])
def test_output_fits_the_terminal(columns, args, env):
    status, out, err = run_in_pty(args, child_env(**env), columns=columns)
    assert (status, err) == (0, "")
    widths = [display_width(line) for line in out.splitlines()]
    assert max(widths) <= columns, out
    if env.get("COLORTERM"):
        assert max(widths) == columns  # the gradients span the terminal


wide_text = st.one_of(st.text(st.characters(codec="utf-8", exclude_characters="\x00"), max_size=30),
                      st.text(st.sampled_from("ab -_終端漢字\u0301"), max_size=60))


@settings(max_examples=200, deadline=None)
@given(st.integers(1, 160), st.sampled_from(list(detect.ColorLevel)), st.booleans(),
       st.dictionaries(st.sampled_from(VARIABLES), wide_text))
def test_layout_never_exceeds_the_width(width, level, windows, env):
    screen = cli.Screen(width)
    fake_sys = types.SimpleNamespace(platform="win32" if windows else "linux", stdout=None)
    with rebound(cli, os=types.SimpleNamespace(environ=env), sys=fake_sys):
        cli.check(screen, level, level, True, None)
        cli.show(screen, ["red", "#ff8000", "196", "1,2,3"], level)
    for line in screen.lines:
        assert display_width(line) <= width, repr(line)
        assert_colours_closed(line)


@pytest.mark.parametrize("env, reason", [
    ({"FORCE_COLOR": "0", "TERM": "xterm-256color", "COLORTERM": "truecolor"}, "FORCE_COLOR='0'"),
    ({"NO_COLOR": "1", "FORCE_COLOR": "3"}, "NO_COLOR='1'"),
    ({"TERM": "dumb"}, "TERM='dumb'"),
    ({}, "TERM is unset"),
    ({"TERM": ""}, "TERM is empty"),
])
def test_level_none_in_a_terminal_writes_no_escape(env, reason):
    status, out, err = run_in_pty([], child_env(**env))
    assert (status, err) == (0, "")
    assert ESC not in out
    assert "Colour level of stdout: NONE (no colour)" in out
    assert f"Decided by: {reason}" in out
    # The same report, and the colour names, without colour.
    assert "  red      bright_red" in out
    assert "256-colour palette: not shown (needs EXTENDED, level is NONE)" in out


def test_report_lists_the_variables_read():
    env = child_env(TERM="xterm-256color", COLORTERM="", NO_COLOR="")
    status, out, _ = run_in_pty([], env)
    assert status == 0
    lines = out.splitlines()
    assert "  NO_COLOR        ''" in lines
    assert "  FORCE_COLOR     unset" in lines
    assert "  COLORTERM       ''" in lines
    assert "  TERM            'xterm-256color'" in lines
    assert "Decided by: TERM='xterm-256color'" in lines
    # Windows-only variables are not reported elsewhere.
    assert not any("WT_SESSION" in line for line in lines)


def test_pipe_gets_no_colour_unless_forced():
    env = child_env(TERM="xterm-256color", COLORTERM="truecolor")
    status, out, err = run_in_pipe([], env)
    assert (status, err) == (0, "")
    assert ESC not in out
    assert "stdout is a terminal: no" in out
    assert "Decided by: stdout is not a terminal" in out

    status, out, _ = run_in_pipe([], dict(env, FORCE_COLOR="2"))
    assert status == 0
    assert "Colour level of stdout: EXTENDED (256 colours)" in out
    assert "\x1b[48;5;196m" in out and "\x1b[48;2;" not in out


@pytest.mark.parametrize("preview, present, absent", [
    ("none", [], [ESC]),
    ("basic", ["\x1b[31mred"], ["\x1b[48;5;"]),
    ("truecolor", ["\x1b[48;2;255;0;0m"], []),
    ("Extended", ["\x1b[48;5;196m"], ["\x1b[48;2;"]),  # any case
])
def test_level_option_previews_another_level(preview, present, absent):
    status, out, _ = run_in_pipe(["--level", preview], child_env())
    assert status == 0
    assert "Colour level of stdout: NONE (no colour)" in out
    assert f"Previewing level: {preview.upper()} (" in out
    for sequence in present:
        assert sequence in out
    for sequence in absent:
        assert sequence not in out


def test_level_none_preview_in_a_truecolour_terminal():
    status, out, _ = run_in_pty(["--level", "none", "show", "red"], child_env(COLORTERM="truecolor", TERM="xterm"))
    assert status == 0
    assert ESC not in out
    assert "  fg_code: '\\x1b[31m'" in out


def test_show_prints_literals_and_samples():
    status, out, err = run_in_pty(["show", "red", "#ff8000", "196", "10,20,30", "Bright Grey", "blue", "231"],
                                  child_env(FORCE_COLOR="3"))
    assert (status, err) == (0, "")
    lines = out.splitlines()
    for literal in ("'\\x1b[31m'", "'\\x1b[41m'", "'\\x1b[38;2;255;128;0m'", "'\\x1b[48;5;196m'",
                    "'\\x1b[38;2;10;20;30m'", "'\\x1b[100m'"):
        assert any(line.endswith(literal) for line in lines), literal
    assert "red: colour name" in lines
    assert "10,20,30: RGB tuple (10, 20, 30), 24-bit" in lines
    # Text on the background sample is black on light colours and bright white on dark ones.
    for fg, bg, ink in [("38;2;255;128;0", "48;2;255;128;0", 30), ("90", "100", 30), ("34", "44", 97),
                        ("38;5;231", "48;5;231", 30), ("38;2;10;20;30", "48;2;10;20;30", 97)]:
        sample = f"  sample: \x1b[{fg}msample text\x1b[39m \x1b[{bg}m\x1b[{ink}m  sample  \x1b[39m\x1b[49m"
        assert sample in lines


def test_show_samples_what_the_level_can_display():
    status, out, _ = run_in_pty(["show", "#ff8000", "196", "red"], child_env(FORCE_COLOR="2"))
    assert status == 0
    # 24-bit colours are sampled as the painter shows them at this level, the true nearest entry,
    # beside rgb_to_ansi256's approximation; the literals stay exact.
    joined = " ".join(out.split())
    assert "  fg_code: '\\x1b[38;2;255;128;0m'" in out
    assert "rgb_to_ansi256's approximation: 214 (255, 175, 0), perceived difference 16.2" in joined
    assert "nearest palette entry: 208 (255, 135, 0), perceived difference 2.2" in joined
    assert "sample of 208: \x1b[38;5;208msample text" in out and "\x1b[48;5;208m\x1b[30m  sample" in out
    assert "\x1b[38;2;" not in out

    status, out, _ = run_in_pty(["show", "#ff8000", "196", "red"], child_env(FORCE_COLOR="1"))
    joined = " ".join(out.split())
    assert "TRUECOLOR needed, level is BASIC" in joined and "EXTENDED needed, level is BASIC" in joined
    # Orange is seen nearer bright red than the olive of yellow (205, 205, 0), which RGB distance picks.
    assert "nearest basic colour: 9 (255, 0, 0), perceived difference 21.2" in joined
    assert "nearest basic colour: 9 (255, 0, 0), perceived difference 0.0" in joined
    assert "sample of 9: \x1b[91msample text" in out
    assert "\x1b[31msample text" in out
    assert "\x1b[38;5;" not in out and "\x1b[38;2;" not in out


@pytest.mark.parametrize("colour, message", [
    ("#12", "无法解析十六进制颜色: '#12'，期望格式 #RGB 或 #RRGGBB"),
    ("256", "256 色索引须在 0-255 范围内，收到: 256"),
    ("-1", "256 色索引须在 0-255 范围内，收到: -1"),
    ("300,0,0", "R 分量须在 0-255 范围内，收到: 300"),
    ("1,2", "need more than 2 values to unpack"),
    ("1,2,3,4", "too many values to unpack (expected 3)"),
    ("crimson", "未知颜色名称: 'crimson'。可用: black, blue, bright_black,"),
])
@pytest.mark.parametrize("runner", [run_in_pipe, run_in_pty], ids=["pipe", "pty"])
def test_bad_colour_exits_2_with_one_line(runner, colour, message):
    status, out, err = runner(["show", "red", colour], child_env(FORCE_COLOR="3"))
    assert status == 2, err
    assert out == ""  # nothing, not even for the good colours
    assert err.count("\n") == 1
    assert err.startswith(f"tintwell: bad colour {colour!r}: ")
    assert message in err
    assert "Traceback" not in err


@pytest.mark.parametrize("args, expected", [(["--help"], 0), (["show", "--help"], 0), (["--level", "loud"], 2),
                                            (["show"], 2), (["paint"], 2)])
def test_help_and_usage_errors(args, expected):
    status, out, err = run_in_pipe(args, child_env())
    assert status == expected and (out == "") == (expected == 2) and "Traceback" not in err, err
    assert (out or err).startswith(f"usage: {PROG}")
    # The command is optional.
    assert args[0] == "show" or "[show COLOUR [COLOUR ...]]" in (out or err)
    if expected == 0:
        assert err == "" and "--level LEVEL" in out and "(any case)" in out
        assert "NO_COLOR set to any non-empty value turns colour off" in " ".join(out.split())
        assert "FORCE_COLOR=1, 2 or 3 forces 16, 256 or 24-bit colour" in " ".join(out.split())


def test_help_has_no_escape_when_colour_is_off():
    status, out, _ = run_in_pty(["--help"], child_env(NO_COLOR="1", TERM="xterm-256color"))
    assert status == 0 and "usage:" in out
    assert ESC not in out


@pytest.mark.parametrize("read", [0, 1], ids=["gone-before", "gone-during"])
def test_reader_going_away_is_not_an_error(read):
    # Like `| true` (gone before the first write) and `| head -n 1` (gone during a write larger than
    # the pipe's buffer): the same quiet status 0 as when the write fits and the reader leaves later.
    args = ["--level", "truecolor"] if read == 0 else ["show", *(str(i % 256) for i in range(1024))]  # 100 kB
    # The reader unbuffered, or it would drain the pipe; the writer buffered, as it runs by default
    # (unbuffered, a text write that the pipe takes in part is not finished and raises nothing).
    env = {k: v for k, v in child_env().items() if k != "PYTHONUNBUFFERED"}
    proc = subprocess.Popen(command(args), stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=env, bufsize=0)
    lines = [proc.stdout.readline() for _ in range(read)]
    proc.stdout.close()
    err = proc.stderr.read().decode()
    proc.stderr.close()
    assert proc.wait(timeout=60) == 0
    assert err == "" and all(lines)


@pytest.mark.parametrize("env, level, reason", [
    ({"WT_SESSION": "1"}, "TRUECOLOR", "WT_SESSION is set (Windows Terminal)"),
    ({"ConEmuANSI": "ON"}, "TRUECOLOR", "ConEmuANSI='ON' (ConEmu)"),
    ({"TERM": "xterm-256color", "COLORTERM": "truecolor", "ANSICON": "1"}, "BASIC",
     "Windows console (not Windows Terminal or ConEmu)"),
])
def test_windows_report_in_a_terminal(env, level, reason):
    status, out, err = run_in_pty([], child_env(**env), windows=True)
    assert (status, err) == (0, "")
    lines = out.splitlines()
    assert f"Colour level of stdout: {level} (" in out
    assert f"Decided by: {reason}" in lines
    # Not a real Windows console: switching on virtual-terminal processing fails quietly.
    assert "Windows virtual-terminal processing: could not be enabled" in lines
    for name in ("TERM_PROGRAM", "VSCODE_PID", "VSCODE_IPC_HOOK", "PYCHARM_HOSTED"):
        assert f"  {name:<16}unset" in lines
    # COLORTERM, TERM and ANSICON are listed apart, as not deciding anything on Windows.
    ignored = lines[lines.index("Not used for the level on Windows:"):]
    assert [line.split()[0] for line in ignored[1:4]] == ["COLORTERM", "TERM", "ANSICON"]
    assert ("  ANSICON         set" if "ANSICON" in env else "  ANSICON         unset") in ignored
    if "WT_SESSION" in env:
        assert "  WT_SESSION      set" in lines
    if "ConEmuANSI" in env:
        assert "  ConEmuANSI      'ON'" in lines


def test_windows_ide_gives_truecolour_through_a_pipe():
    status, out, _ = run_in_pipe([], child_env(TERM_PROGRAM="vscode"), windows=True)
    assert status == 0
    assert "Colour level of stdout: TRUECOLOR (24-bit colour)" in out
    assert "Decided by: TERM_PROGRAM='vscode' (IDE)" in out
    assert "  TERM_PROGRAM    'vscode'" in out
    assert "\x1b[48;2;255;0;0m" in out


# An environment sets a few of the variables, to values that decide something, to others, or to the
# empty string.
DECIDING = {"NO_COLOR": ("1", "0"), "FORCE_COLOR": ("0", "1", "2", "3", "false", "true", "yes"),
            "TERM_PROGRAM": ("vscode",), "ConEmuANSI": ("on",), "COLORTERM": ("truecolor", "24bit", "yes"),
            "TERM": ("xterm", "dumb", "xterm-256color", "dumb-256color")}
values = {name: st.one_of(st.just(""), st.sampled_from(DECIDING.get(name, ("1",))),
                          st.text(st.characters(codec="utf-8", exclude_characters="\x00"), max_size=3))
          for name in VARIABLES}
environments = st.lists(st.sampled_from(VARIABLES), unique=True).flatmap(
    lambda names: st.fixed_dictionaries({name: values[name] for name in names}))


class Stream:
    def __init__(self, tty):
        self.tty = tty

    def isatty(self):
        return self.tty


def detected(env, windows, tty):
    fake_sys = types.SimpleNamespace(platform="win32" if windows else "linux", stdout=None)
    with rebound(detect, os=types.SimpleNamespace(environ=env), sys=fake_sys):
        return detect.detect_color_level(Stream(tty))


@settings(max_examples=2000, deadline=None)
@given(environments, st.booleans(), st.booleans())
def test_explanation_names_what_decides(env, windows, tty):
    # Some values are compared exactly, others in any case: each environment is tried in three.
    for case in (str.lower, str.upper, str.title):
        variant = {name: case(value) for name, value in env.items()}
        reason = cli.decided_by(variant, windows, tty)
        # The variable named, with the value named, must give the level on its own.
        alone = {} if reason.value is None else {reason.variable: reason.value}
        assert detected(alone, windows, tty) == detected(variant, windows, tty), (variant, reason)
        if reason.variable is not None:
            assert variant.get(reason.variable) == reason.value, reason
            shown = {None: " is unset", "": " is empty"}.get(reason.value, f"={reason.value!r}")
            assert reason.text.startswith((reason.variable + shown, f"{reason.variable} is set (")), reason


@pytest.mark.parametrize("args", [[], ["--help"], ["show", "red"]], ids=["check", "help", "show"])
@pytest.mark.parametrize("target, message", [
    (">&-", "standard output is closed"),
    ("> /dev/full", "cannot write to standard output: No space left on device"),
], ids=["closed", "full"])
def test_unwritable_stdout_is_one_line_and_status_1(args, target, message):
    proc = subprocess.run(["sh", "-c", f'"$@" {target}', "sh", *command(args)], stdin=subprocess.DEVNULL,
                          capture_output=True, env=child_env(), timeout=60)
    assert (proc.returncode, proc.stderr.decode()) == (1, f"tintwell: {message}\n")


# Every form of colour the colour module accepts, with the edges of each: names in any case and with
# '-' or ' ', aliases, indices (bool and IntEnum members too), hex in both lengths with the final line
# feed allowed, tuples of ints, floats and bools, and a tuple subclass.
class Index(enum.IntEnum):
    ORANGE = 208
    RED = 1


RGB = collections.namedtuple("RGB", "r g b")
component = st.one_of(st.integers(0, 255), st.floats(0, 255.99), st.booleans())
names = st.sampled_from([*colors.NAMED_COLORS, *colors.COLOR_ALIASES]).flatmap(
    lambda name: st.sampled_from([name, name.upper(), name.title().replace("_", " "), name.replace("_", "-")]))
accepted = st.one_of(
    names, st.integers(0, 255), st.booleans(), st.sampled_from(list(Index)),
    st.from_regex(r"#(?:[0-9a-fA-F]{3}|[0-9a-fA-F]{6})\n?", fullmatch=True),
    st.tuples(component, component, component), st.builds(RGB, component, component, component),
)
BASIC_NAMES = [name for name, code in sorted(colors.NAMED_COLORS.items(), key=lambda item: item[1])]


@settings(max_examples=600, deadline=None)
@given(accepted)
def test_painter_and_command_line_tell_colour_forms_alike(colour):
    # The command line says at which level a colour shows as given and which RGB colour it stands for;
    # the painter shows it as given from that level on, and below it the entry nearest to that RGB.
    needs, rgb = cli.colour_level(colour), cli.colour_rgb(colour)
    assert cli.colour_kind(colour).startswith(cli.FORMS[cli.colour_form(colour)].words.split(",")[0])
    for level in (detect.ColorLevel.BASIC, detect.ColorLevel.EXTENDED, detect.ColorLevel.TRUECOLOR):
        shown = Painter(level=level).fg(colour)
        if level >= needs:
            assert shown == colors.fg_code(colour), level
        elif level == detect.ColorLevel.EXTENDED:
            assert shown == colors.fg_code(nearest_ansi256(*rgb))
        else:
            assert shown == colors.fg_code(BASIC_NAMES[nearest_ansi16(*rgb)])


@pytest.mark.parametrize("colour, form", [
    ("red", "name"), ("Bright Red", "name"), ("", "name"), ("#", "hex"), ("#ff8000\n", "hex"), (0, "index"),
    (True, "index"), (Index.ORANGE, "index"), (2**100, "index"), ((1, 2, 3), "rgb"), ((), "rgb"), (RGB(1, 2, 3), "rgb"),
    (1.0, None), ([1, 2, 3], None), (None, None), (b"#fff", None),
])
def test_colour_forms(colour, form):
    assert _colour_form(colour) == form
