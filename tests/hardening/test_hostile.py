"""Hostile callers: every case of the catalogue gives its expected result or exception, with the
traceback entries the modules add, and nothing crashes."""

import os
import subprocess
import sys
import types

import pytest

from tintwell import colors, detect

from .cases import Stream, WindowsSys, all_cases, check, fake_os, rebound
from .fresh import SCENARIOS
from .paint_cases import paint_cases

CASES = all_cases() + paint_cases()
TESTS = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


@pytest.mark.parametrize("case", CASES, ids=[case.id for case in CASES])
def test_case(case):
    assert check(case) == []


def test_fast_paths_engage_after_the_whole_catalogue(counts):
    # The catalogue keeps many stand-in modules and tables alive, each watched once it was read: the
    # table of watched dicts must still take new ones, or the caches that rely on it go quietly off.
    with counts["colors"].change("frame.watch_table_full") as colors_full, \
            counts["detect"].change("frame.watch_table_full") as detect_full:
        assert {case.id: found for case in CASES if (found := check(case))} == {}
    assert colors_full == {"frame.watch_table_full": 0} and detect_full == {"frame.watch_table_full": 0}
    with counts["colors"].change("colors.name_index") as moved:
        assert colors.fg_code("bright-red") == "\x1b[91m"
    assert moved == {"colors.name_index": 1}
    # A module's class can change with no dict changing: the cache of its attributes, answering now,
    # must see it.
    stand_in = types.ModuleType("sys")
    stand_in.platform, stand_in.stdout, stand_in.stderr = "linux", Stream(True), Stream(True)
    with rebound(detect, os=fake_os({"TERM": "xterm-256color"}), sys=stand_in):
        detect.detect_color_level(Stream(True))
        with counts["detect"].change("frame.remembered_attribute") as moved:
            assert detect.detect_color_level(Stream(True)) == detect.ColorLevel.EXTENDED
        assert moved["frame.remembered_attribute"] >= 2  # sys.platform and os.environ
        stand_in.__class__ = WindowsSys
        try:
            assert detect.detect_color_level(Stream(True)) == detect.ColorLevel.BASIC
        finally:
            stand_in.__class__ = types.ModuleType


def run_poisoned(script):
    # The debug allocator overwrites freed memory, so a case that reads an object after its last
    # reference went (a dict dropped by a key's __eq__ mid-lookup, say) crashes or misbehaves here
    # instead of passing by luck.
    allocator = "malloc_debug" if os.environ.get("PYTHONMALLOC") == "malloc" else "debug"
    env = dict(os.environ, PYTHONMALLOC=allocator,
               PYTHONPATH=os.pathsep.join(filter(None, [TESTS, os.environ.get("PYTHONPATH")])))
    result = subprocess.run([sys.executable, "-X", "faulthandler", "-c", script], env=env, capture_output=True,
                            text=True, timeout=300)
    assert result.returncode == 0, result.stdout + result.stderr


def test_catalogue_with_poisoned_free_memory():
    run_poisoned("from hardening.cases import all_cases, check\n"
                 "from hardening.paint_cases import paint_cases\n"
                 "failed = [(case.id, found) for case in all_cases() + paint_cases() for found in [check(case)] if found]\n"
                 "print(failed)\n"
                 "raise SystemExit(1 if failed else 0)\n")


@pytest.mark.parametrize("scenario", SCENARIOS)
def test_in_a_fresh_process(scenario):
    # A failed exec leaves functions behind; hostile bases build ColorLevel: in a process of its own.
    run_poisoned("import sys\n"
                 "from hardening.fresh import SCENARIOS\n"
                 f"run, expected, _ = SCENARIOS[{scenario!r}]\n"
                 "seen = run()\n"
                 "print(repr(seen), repr(expected), sep='\\n')\n"
                 "raise SystemExit(seen != expected)\n")


SHUTDOWN = r'''
import sys
from tintwell import _paint, colors, detect
from tintwell.style import Painter


class Late:
    """Calls every function from __del__, run while the interpreter tears modules down."""

    def __init__(self, where):
        self.where, self.me = where, self

    def __del__(self):
        try:
            outcome = repr((colors.fg_code("red"), colors.fg_code("#abc"), colors.bg_code((1, 2, 3)),
                            colors.rgb_to_ansi256(1, 2, 3), detect.detect_color_level(), detect.supports_color(),
                            detect.enable_windows_vt(), Painter(level=2).paint("x", fg=(255, 128, 0), bold=True),
                            Painter(level=1).style(bg="#abc")("y\x1b[0m"), Painter().level))
        except BaseException as exc:
            outcome = type(exc).__name__
        try:
            sys.__stdout__.write(f"{self.where}: {outcome}\n")
        except BaseException:
            pass


kept = Late("global")
Late("cycle")
colors.kept, detect.kept, _paint.kept = Late("colors"), Late("detect"), Late("paint")
'''


def test_calls_during_shutdown():
    result = subprocess.run([sys.executable, "-X", "faulthandler", "-c", SHUTDOWN], capture_output=True, text=True,
                            timeout=300)
    assert result.returncode == 0 and result.stderr == "", result.stderr
    assert "cycle: ('\\x1b[31m'" in result.stdout
    assert "'\\x1b[1m\\x1b[38;5;208mx\\x1b[22;39m', '\\x1b[47my\\x1b[0m\\x1b[47m\\x1b[49m'" in result.stdout
