"""`python -m tintwell` driven as a user would: in a pseudo-terminal and through a pipe."""

import re
import subprocess
import sys

import pytest

from conftest import child_env, run_in_pty as run_argv_in_pty

ESC = "\x1b"


def command(args, windows=False):
    if windows:
        # The platform name is read at run time, so a Linux interpreter can walk the Windows paths;
        # shutil is imported first, since it would want Windows-only modules.
        code = ("import runpy, shutil, sys; sys.platform = 'win32'; "
                "runpy.run_module('tintwell', run_name='__main__')")
        return [sys.executable, "-c", code, *args]
    return [sys.executable, "-m", "tintwell", *args]


def run_in_pty(args, env, windows=False):
    return run_argv_in_pty(command(args, windows), env)


def run_in_pipe(args, env, windows=False):
    proc = subprocess.run(command(args, windows), stdin=subprocess.DEVNULL, capture_output=True,
                          env=env, timeout=60)
    return proc.returncode, proc.stdout.decode(), proc.stderr.decode()


NAMED = ["\x1b[31mred            \x1b[39m \x1b[41m        \x1b[49m", "\x1b[97mbright_white   \x1b[39m",
         "\x1b[107m        \x1b[49m"]
PALETTE = ["\x1b[48;5;0m    ", "\x1b[48;5;16m  ", "\x1b[48;5;196m  ", "\x1b[48;5;231m  ",
           "\x1b[48;5;232m   ", "\x1b[48;5;255m   "]
# The hue sweep starts at pure red; the grey ramp runs from black to white.
GRADIENT = ["\x1b[48;2;255;0;0m ", "\x1b[48;2;0;0;0m ", "\x1b[48;2;255;255;255m "]


@pytest.mark.parametrize("env, level, present, absent", [
    ({"FORCE_COLOR": "1", "TERM": "xterm-256color"}, "BASIC", NAMED, PALETTE + GRADIENT),
    ({"FORCE_COLOR": "2"}, "EXTENDED", NAMED + PALETTE, GRADIENT),
    ({"FORCE_COLOR": "3"}, "TRUECOLOR", NAMED + PALETTE + GRADIENT, []),
    ({"TERM": "xterm-256color"}, "EXTENDED", NAMED + PALETTE, GRADIENT),
    ({"TERM": "xterm", "COLORTERM": "truecolor"}, "TRUECOLOR", NAMED + PALETTE + GRADIENT, []),
    ({"TERM": "vt100"}, "BASIC", NAMED, PALETTE + GRADIENT),
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
    # Every colour switched on is switched off again on the same line.
    for line in out.splitlines():
        sgr = re.findall(r"\x1b\[([0-9;]*)m", line)
        foreground = [p for p in sgr if p[:1] in "39" and p != "39"]
        background = [p for p in sgr if p[:1] in "41" and p != "49"]
        assert sgr.count("39") == len(foreground)
        assert sgr.count("49") == len(background)
        assert not sgr or sgr[-1] in ("39", "49")


@pytest.mark.parametrize("env, reason", [
    ({"FORCE_COLOR": "0", "TERM": "xterm-256color", "COLORTERM": "truecolor"}, "FORCE_COLOR='0'"),
    ({"NO_COLOR": "1", "FORCE_COLOR": "3"}, "NO_COLOR='1'"),
    ({"TERM": "dumb"}, "TERM='dumb'"),
    ({}, "TERM is unset"),
])
def test_level_none_in_a_terminal_writes_no_escape(env, reason):
    status, out, err = run_in_pty([], child_env(**env))
    assert (status, err) == (0, "")
    assert ESC not in out
    assert "Colour level of stdout: NONE (no colour)" in out
    assert f"Decided by: {reason}" in out
    # The same report, and the colour names, without colour.
    assert "  red              bright_red" in out
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
    status, out, err = run_in_pty(["show", "red", "#ff8000", "196", "10,20,30", "Bright Grey"],
                                  child_env(FORCE_COLOR="3"))
    assert (status, err) == (0, "")
    lines = out.splitlines()
    for literal in ("'\\x1b[31m'", "'\\x1b[41m'", "'\\x1b[38;2;255;128;0m'", "'\\x1b[48;5;196m'",
                    "'\\x1b[38;2;10;20;30m'", "'\\x1b[100m'"):
        assert any(line.endswith(literal) for line in lines), literal
    assert "red: colour name" in lines
    assert "10,20,30: RGB tuple (10, 20, 30), 24-bit" in lines
    assert "  sample: \x1b[38;2;255;128;0msample text\x1b[39m \x1b[48;2;255;128;0m  sample  \x1b[49m" in lines
    assert "  sample: \x1b[90msample text\x1b[39m \x1b[100m  sample  \x1b[49m" in lines


def test_show_samples_what_the_level_can_display():
    status, out, _ = run_in_pty(["show", "#ff8000", "196", "red"], child_env(FORCE_COLOR="2"))
    assert status == 0
    # 24-bit colours get their nearest palette entry; the literals stay exact.
    assert "  fg_code: '\\x1b[38;2;255;128;0m'" in out
    assert "\x1b[38;5;214msample text" in out and "nearest of 256: 214" in out
    assert "\x1b[38;2;" not in out

    status, out, _ = run_in_pty(["show", "#ff8000", "196", "red"], child_env(FORCE_COLOR="1"))
    assert "sample: none (TRUECOLOR needed, level is BASIC)" in out
    assert "sample: none (EXTENDED needed, level is BASIC)" in out
    assert "\x1b[31msample text" in out


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
    assert (out or err).startswith("usage: python -m tintwell")
    assert expected == 2 or ("--level {none,basic,extended,truecolor}" in out and err == "")


def test_help_has_no_escape_when_colour_is_off():
    status, out, _ = run_in_pty(["--help"], child_env(NO_COLOR="1", TERM="xterm-256color"))
    assert status == 0 and "usage:" in out
    assert ESC not in out


def test_closed_pipe_is_not_an_error():
    # The reader is gone before the first write (`python -m tintwell | true`).
    proc = subprocess.Popen(command(["--level", "truecolor"]), stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, env=child_env())
    proc.stdout.close()
    err = proc.stderr.read().decode()
    proc.stderr.close()
    assert proc.wait(timeout=60) == 1
    assert err == ""


@pytest.mark.parametrize("env, level, reason", [
    ({"WT_SESSION": "1"}, "TRUECOLOR", "WT_SESSION is set (Windows Terminal)"),
    ({"ConEmuANSI": "ON"}, "TRUECOLOR", "ConEmuANSI='ON' (ConEmu)"),
    ({"TERM": "xterm-256color", "COLORTERM": "truecolor"}, "BASIC", "Windows console"),
])
def test_windows_report_in_a_terminal(env, level, reason):
    status, out, err = run_in_pty([], child_env(**env), windows=True)
    assert (status, err) == (0, "")
    lines = out.splitlines()
    assert f"Colour level of stdout: {level} (" in out
    assert f"Decided by: {reason}" in lines
    # Not a real Windows console: switching on virtual-terminal processing fails quietly.
    assert "Windows virtual-terminal processing: could not be enabled" in lines
    for name in ("TERM_PROGRAM", "VSCODE_PID", "VSCODE_IPC_HOOK", "PYCHARM_HOSTED", "ANSICON"):
        assert f"  {name:<16}unset" in lines
    if "WT_SESSION" in env:
        assert "  WT_SESSION      set" in lines
    if "ConEmuANSI" in env:
        assert "  ConEmuANSI      set ('ON')" in lines


def test_windows_ide_gives_truecolour_through_a_pipe():
    status, out, _ = run_in_pipe([], child_env(TERM_PROGRAM="vscode"), windows=True)
    assert status == 0
    assert "Colour level of stdout: TRUECOLOR (24-bit colour)" in out
    assert "Decided by: TERM_PROGRAM='vscode' (IDE)" in out
    assert "  TERM_PROGRAM    set ('vscode')" in out
    assert "\x1b[48;2;255;0;0m" in out
