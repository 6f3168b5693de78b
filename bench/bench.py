"""Per-call cost of tintwell's hot functions, as ratios to the cheapest possible native call.

Usage (inside the CPython 3.14 environment, with the package importable):
    python3.14 bench/bench.py [--repeat N] [--callgrind] [--import-time] [--memory] [--markdown]

Timing: every case is a loop of calls through local names, timed with perf_counter; the cases are
interleaved and the best of --repeat rounds is kept, as timeit does. The floor is `abs(-1)`, one
vectorcall of a builtin. --callgrind adds instruction counts per call under valgrind (the same binary
and inputs give the same counts, whatever else the machine does). --import-time splits each module's
import in fresh interpreters into the loader (the shared object, its init function, the create step)
and exec: the work its module-level code must do anyway (re.compile, the IntEnum class), the growth
of the interpreter's table of interned strings, and its own work; the smallest standard-library
extension module is measured alongside. --memory reports the peak resident memory of a process
whose painter paints a million distinct RGB colours.
"""

from __future__ import annotations

import argparse
import itertools
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
from dataclasses import dataclass

HERE = os.path.dirname(os.path.abspath(__file__))


class Tty:
    """A stream that says it is a terminal."""

    def isatty(self):
        return True


@dataclass
class Case:
    label: str
    setup: str  # binds `f` and the argument names
    call: str  # the expression timed, e.g. "f(x)"
    target: str = ""  # e.g. "<= 6x" (ratio to the floor by time, or "by instructions"), for the report
    versus: str = ""  # the label of a case this one is also compared with


# Each case's setup runs in a namespace holding the imported modules.
CASES = [
    Case("floor: abs(-1)", "f = abs; x = -1", "f(x)"),
    Case("fg_code('red')", "f = colors.fg_code; x = 'red'", "f(x)", "<= 3.7x by instructions"),
    Case("bg_code('Bright Red')", "f = colors.bg_code; x = 'Bright Red'", "f(x)", "<= 3.9x by instructions"),
    Case("fg_code('#ff8000')", "f = colors.fg_code; x = '#ff8000'", "f(x)", "<= 3.9x by instructions"),
    Case("bg_code('#abc')", "f = colors.bg_code; x = '#abc'", "f(x)", "<= 8x"),
    Case("fg_code((10, 20, 30))", "f = colors.fg_code; x = (10, 20, 30)", "f(x)",
         "<= 3.7x by instructions, <= 5x"),
    Case("fg_code(196)", "f = colors.fg_code; x = 196", "f(x)", "<= 3.2x by instructions"),
    Case("parse_hex('#abc')", "f = colors.parse_hex; x = '#abc'", "f(x)", "<= 6x"),
    Case("rgb_to_ansi256(100, 150, 200)", "f = colors.rgb_to_ansi256; x, y, z = 100, 150, 200", "f(x, y, z)",
         "<= 2.5x by instructions"),
    Case("rgb_to_ansi256(128, 128, 128)", "f = colors.rgb_to_ansi256; x, y, z = 128, 128, 128", "f(x, y, z)", "<= 6x"),
    Case("_validate_rgb(1, 2, 3)", "f = colors._validate_rgb; x, y, z = 1, 2, 3", "f(x, y, z)", "<= 3x"),
    Case(
        "python: the env.get + isatty calls",
        "f = os.environ.get; x = Tty()",
        "(f('NO_COLOR', ''), f('FORCE_COLOR', ''), x.isatty(), f('COLORTERM', '').lower(), f('TERM', '').lower())",
    ),
    Case("detect_color_level(tty)", "f = detect.detect_color_level; x = Tty()", "f(x)", "<= 1.1x python",
         "python: the env.get + isatty calls"),
    Case("supports_color(tty)", "f = detect.supports_color; x = Tty()", "f(x)", "<= detect + 2 floors"),
]

# A painter's sequence for a colour it has shown before, against fg_code's for the same colour: at
# TRUECOLOR the same sequence, at the lower levels the downgraded one.
for level, color in [("TRUECOLOR", "'red'"), ("TRUECOLOR", "'#ff8000'"), ("TRUECOLOR", "(10, 20, 30)"),
                     ("TRUECOLOR", "196"), ("EXTENDED", "'#ff8000'"), ("EXTENDED", "(10, 20, 30)"),
                     ("BASIC", "(10, 20, 30)"), ("BASIC", "196")]:
    CASES.append(Case(f"Painter({level}).fg({color})",
                      f"f = style.Painter(level=detect.ColorLevel.{level}).fg; x = {color}; f(x)", "f(x)",
                      "<= 2x fg_code", f"fg_code({color})"))

# What people call: a style made once and applied, and paint with a colour seen before, at every level.
CASES.append(Case("s('warning')", "f = style.Painter(level=detect.ColorLevel.TRUECOLOR).style(fg='red', bold=True);"
                  " x = 'warning'", "f(x)", "<= 3x"))
for level in ("NONE", "BASIC", "EXTENDED", "TRUECOLOR"):
    CASES.append(Case(f"Painter({level}).paint('warning', fg='red')",
                      f"f = style.Painter(level=detect.ColorLevel.{level}).paint; x = 'warning'; f(x, fg='red')",
                      "f(x, fg='red')", "<= 5x"))
# The same from a painter that follows sys.stdout, Painter(): each call also checks that sys.stdout is
# still the stream it detected for. FORCE_COLOR, set while it is made, fixes its level wherever the
# benchmark's output goes.
CASES.append(Case("Painter() following: s('warning')", "os.environ['FORCE_COLOR'] = '3'; f = style.Painter().style("
                  "fg='red', bold=True); del os.environ['FORCE_COLOR']; x = 'warning'", "f(x)", "<= 3x", "s('warning')"))
CASES.append(Case("Painter() following: paint('warning', fg='red') at BASIC",
                  "os.environ['FORCE_COLOR'] = '1'; f = style.Painter().paint; del os.environ['FORCE_COLOR'];"
                  " x = 'warning'; f(x, fg='red')", "f(x, fg='red')", "<= 5x", "Painter(BASIC).paint('warning', fg='red')"))
# A 24-bit colour the painter has not seen: every call takes the next of 65,536 distinct colours, far
# more than a painter keeps, so each one is worked out afresh (the next() call is part of the cost).
for level in ("EXTENDED", "BASIC"):
    CASES.append(Case(f"Painter({level}).paint('warning', fg=<new (r, g, b)>)",
                      f"f = style.Painter(level=detect.ColorLevel.{level}).paint; x = 'warning'; y = new_colours()",
                      "f(x, fg=next(y))", "<= 150x"))


def new_colours():
    """An endless cycle of 65,536 distinct RGB tuples spread over the colour space."""
    # An odd multiplier permutes the 2**24 colours, so the first 65,536 of the sequence are distinct.
    values = [(n * 0x9E3779B1) & 0xFFFFFF for n in range(65536)]
    return itertools.cycle([(v >> 16, v >> 8 & 255, v & 255) for v in values])


LOOP_TEMPLATE = """
def run(loops, _timer=_timer, _repeat=_repeat):
{setup}
    # repeat() yields one object over and over; a range would make a new int at every step past 256.
    _it = _repeat(None, loops)
    _t0 = _timer()
    for _ in _it:
        {call}
    return _timer() - _t0
"""


def bench_environment():
    """The environment the detection cases are measured in: TERM=xterm-256color, nothing else."""
    for name in ("NO_COLOR", "FORCE_COLOR", "COLORTERM", "TERM_PROGRAM", "VSCODE_PID", "VSCODE_IPC_HOOK",
                 "PYCHARM_HOSTED", "WT_SESSION", "ConEmuANSI", "ANSICON"):
        os.environ.pop(name, None)
    os.environ["TERM"] = "xterm-256color"


def make_runner(case: Case, namespace: dict):
    setup = "\n".join("    " + part.strip() for part in case.setup.split(";"))
    source = LOOP_TEMPLATE.format(setup=setup, call=case.call)
    local = dict(namespace, _timer=time.perf_counter, _repeat=itertools.repeat)
    exec(compile(source, f"<bench {case.label}>", "exec"), local)
    return local["run"]


def available_cases(namespace):
    detect = namespace["detect"]
    have_detect = hasattr(detect, "detect_color_level")
    have_styles = hasattr(namespace["style"].Painter, "style")
    return [case for case in CASES
            if (have_detect or "detect." not in case.setup) and (have_styles or ".style(" not in case.setup)]


def calibrate(run, target_seconds=0.02):
    loops = 1000
    while run(loops) < target_seconds:
        loops *= 2
    return loops


def bench_namespace():
    from tintwell import colors, detect, style

    return {"colors": colors, "detect": detect, "style": style, "os": os, "Tty": Tty, "new_colours": new_colours}


def time_cases(repeat: int):
    namespace = bench_namespace()
    cases = available_cases(namespace)
    runners = [make_runner(case, namespace) for case in cases]
    loops = [calibrate(run) for run in runners]
    best = [float("inf")] * len(cases)
    for _ in range(repeat):
        for i, run in enumerate(runners):
            best[i] = min(best[i], run(loops[i]) / loops[i])
    return {case.label: seconds * 1e9 for case, seconds in zip(cases, best)}


CALLGRIND_SCRIPT = """
import os, sys
sys.path.insert(0, {here!r})
from bench import CASES, bench_environment, bench_namespace, make_runner
bench_environment()
case = next(c for c in CASES if c.label == {label!r})
run = make_runner(case, bench_namespace())
run(200)  # warm caches and specialisations outside the measured difference
run(int(sys.argv[1]))
"""


def callgrind_instructions(label: str, small=2000, large=12000):
    """Instructions per call: the difference between two runs that differ only in the loop count."""
    totals = []
    with tempfile.TemporaryDirectory() as tmp:
        script = os.path.join(tmp, "case.py")
        with open(script, "w") as handle:
            handle.write(CALLGRIND_SCRIPT.format(here=HERE, label=label))
        for loops in (small, large):
            out = os.path.join(tmp, f"callgrind.{loops}")
            subprocess.run(
                ["valgrind", "--tool=callgrind", f"--callgrind-out-file={out}", sys.executable, script, str(loops)],
                check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                # One hash seed for both runs: string hashes decide dict probe sequences, so two seeds
                # would differ in more than the loop count.
                env=dict(os.environ, PYTHONHASHSEED="0"),
            )
            with open(out) as handle:
                summary = next(line for line in handle if line.startswith(("summary:", "totals:")))
            totals.append(int(summary.split()[1]))
    return (totals[1] - totals[0]) / (large - small)


IMPORT_SCRIPT = """
import re, typing, enum, os, sys, time, importlib.util, tracemalloc
name, mode, count = sys.argv[1], sys.argv[2], int(sys.argv[3])
module_spec = importlib.util.find_spec(name)
# `count` new interned strings first. The probe says after how many new ones the interpreter's table
# of interned strings grows: the one sys.intern that allocates a new table, 100 KB or more at the
# sizes it has by now (allocations traced in the probe only; every mode imports tracemalloc, so that
# each reaches this point in the same state).
if mode == "probe":
    tracemalloc.start()
    for i in range(1_000_000):
        before = tracemalloc.get_traced_memory()[0]
        sys.intern(f"room {i}")
        if tracemalloc.get_traced_memory()[0] - before > 100_000:
            sys.exit(print(i + 1))
for i in range(count):
    sys.intern(f"room {i}")
# Times are CPU times of this thread: what other processes on the machine do meanwhile is left out.
compiling = 0.0
compile_ = re.compile
def timed_compile(*args):
    global compiling
    t = time.thread_time()
    try:
        return compile_(*args)
    finally:
        compiling += time.thread_time() - t
re.compile = timed_compile
t0 = time.thread_time()
module = importlib.util.module_from_spec(module_spec)  # the loader: the shared object, its init function, create
t1 = time.thread_time()
sys.modules[name] = module
module_spec.loader.exec_module(module)
t2 = time.thread_time()
print((t1 - t0) * 1e6, (t2 - t1) * 1e6, compiling * 1e6)
"""


def import_run(module: str, mode: str, count: int = 0) -> list[float]:
    result = subprocess.run([sys.executable, "-c", IMPORT_SCRIPT, module, mode, str(count)], capture_output=True,
                            text=True, check=True, env=dict(os.environ, PYTHONHASHSEED="0"))
    return [float(field) for field in result.stdout.split()]


def import_split(module: str, runs: int = 21) -> dict[str, float]:
    """Medians (us) over fresh interpreters, standard imports done: the loader, exec and the time
    spent in re.compile within it; and the growth of the table of interned strings, as exec just
    short of it less exec just past it."""
    # The point of growth may move by a string or two from one process to the next: five new strings
    # short of it the import's own ones make the table grow, five past it they find room.
    grows_after = int(import_run(module, "probe")[0])
    plain = [import_run(module, "timed") for _ in range(runs)]
    full = [import_run(module, "timed", grows_after - 5) for _ in range(runs)]
    room = [import_run(module, "timed", grows_after + 5) for _ in range(runs)]
    median = statistics.median
    return {
        "loader": median(run[0] for run in plain),
        "exec": median(run[1] for run in plain),
        "re.compile": median(run[2] for run in plain),
        "growth": median(run[1] for run in full) - median(run[1] for run in room),
    }


def smallest_stdlib_extension() -> str:
    """The standard-library extension module with the smallest shared object (test modules aside)."""
    import importlib.machinery
    import sysconfig

    folder = sysconfig.get_path("platstdlib") + "/lib-dynload"
    suffix = importlib.machinery.EXTENSION_SUFFIXES[0]
    files = [name for name in os.listdir(folder) if name.endswith(suffix) and not name.startswith(("_test", "xx"))]
    return min(files, key=lambda name: os.path.getsize(os.path.join(folder, name)))[: -len(suffix)]


BASELINE_WORK = {
    "tintwell.detect": (
        "import re, typing, enum, os, sys, time\n"
        "from enum import IntEnum\n"
        "t = time.thread_time()\n"
        "class ColorLevel(IntEnum):\n"
        "    '''doc'''\n"
        "    NONE = 0\n    BASIC = 1\n    EXTENDED = 2\n    TRUECOLOR = 3\n"
        "print((time.thread_time() - t) * 1e6)\n"
    ),
}


def baseline_time(module: str, runs: int = 21) -> float:
    samples = [float(subprocess.run([sys.executable, "-c", BASELINE_WORK[module]], capture_output=True, text=True,
                                    check=True).stdout) for _ in range(runs)]
    return statistics.median(samples)


MEMORY_SCRIPT = """
import resource, sys
from tintwell.colors import fg_code
from tintwell.style import Painter

def peak_mib():
    # This process's own peak (VmHWM): ru_maxrss also counts the parent's memory at the fork.
    try:
        with open("/proc/self/status") as status:
            return next(int(line.split()[1]) for line in status if line.startswith("VmHWM:")) / 1024
    except OSError:
        return resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024  # KiB on Linux

def colours():  # a million distinct RGB colours
    return ((r, g, 2 * b + 1) for r in range(100) for g in range(100) for b in range(100))

painter = Painter(level=int(sys.argv[1]))
fg, peaks = painter.fg, {}
for n, colour in enumerate(colours(), 1):
    fg(colour)
    if n in (10_000, 1_000_000):
        peaks[n] = peak_mib()
kept = {colour: fg_code(colour) for colour in colours()}
print(peaks[10_000], peaks[1_000_000], painter._cache_size, peak_mib())
"""


def painter_memory(level) -> str:
    """Peak resident memory while one painter paints a million distinct RGB colours."""
    out = subprocess.run([sys.executable, "-c", MEMORY_SCRIPT, str(int(level))], capture_output=True, text=True,
                         check=True).stdout.split()
    early, late, kept, plain = float(out[0]), float(out[1]), int(out[2]), float(out[3])
    return (f"Painter({level.name}).fg of 1,000,000 distinct RGB colours: peak RSS {early:.1f} MiB after 10,000,"
            f" {late:.1f} MiB after 1,000,000 ({kept} sequences kept); the same sequences all kept in a dict:"
            f" {plain:.1f} MiB")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--repeat", type=int, default=7, help="timing rounds; the best is kept (default 7)")
    parser.add_argument("--callgrind", action="store_true", help="also count instructions per call (valgrind)")
    parser.add_argument("--import-time", action="store_true", help="also measure import self time")
    parser.add_argument("--markdown", action="store_true", help="print the table as Markdown")
    parser.add_argument("--memory", action="store_true", help="also measure a painter's memory over 1M colours")
    args = parser.parse_args()

    bench_environment()
    timings = time_cases(args.repeat)
    floor = timings["floor: abs(-1)"]
    instructions = {}
    if args.callgrind:
        if shutil.which("valgrind") is None:
            sys.exit("valgrind is not installed")
        instructions = {label: callgrind_instructions(label) for label in timings}

    labels = {case.label: case for case in CASES}
    rows = []
    for label, ns in timings.items():
        target = labels[label].target
        ratio = f"{ns / floor:.2f}x"
        versus = labels[label].versus
        if versus in timings:
            name = versus.split(":")[0].split("(")[0]
            ratio += f" ({ns / timings[versus]:.2f}x {name}"
            if instructions:
                ratio += f"; {instructions[label] / instructions[versus]:.2f}x by instructions"
            ratio += ")"
        detect_label = "detect_color_level(tty)"
        if label == "supports_color(tty)" and detect_label in timings:
            ratio += f" (detect + {(ns - timings[detect_label]) / floor:.1f} floors"
            if instructions:
                extra = (instructions[label] - instructions[detect_label]) / instructions["floor: abs(-1)"]
                ratio += f"; + {extra:.1f} by instructions"
            ratio += ")"
        ir = ""
        if label in instructions:
            ir = f"{instructions[label]:.0f} ({instructions[label] / instructions['floor: abs(-1)']:.2f}x)"
        rows.append((label, f"{ns:.1f}", ratio, ir, target))

    header = ("case", "ns/call", "ratio to floor", "instructions/call (ratio)", "target")
    if args.markdown:
        print("| " + " | ".join(header) + " |")
        print("|" + "---|" * len(header))
        for row in rows:
            print("| " + " | ".join(f"`{row[0]}`" if i == 0 else row[i] for i in range(len(row))) + " |")
    else:
        widths = [max(len(str(r[i])) for r in rows + [header]) for i in range(len(header))]
        for row in [header] + rows:
            print("  ".join(str(cell).ljust(width) for cell, width in zip(row, widths)))

    if args.import_time:
        print()
        reference = smallest_stdlib_extension()
        split = import_split(reference)
        print(f"import {reference} (the smallest standard-library extension module): loader {split['loader']:.0f} us,"
              f" exec {split['exec']:.0f} us")
        for module in ("tintwell.colors", "tintwell.detect"):
            split = import_split(module)
            if module == "tintwell.colors":
                required, work = "re.compile", split["re.compile"]
            else:
                required, work = "the IntEnum class (made apart)", baseline_time(module)
            print(f"import {module}: loader {split['loader']:.0f} us, exec {split['exec']:.0f} us = {required}"
                  f" {work:.0f} us + own work {split['exec'] - work:.0f} us; + {split['growth']:.0f} us when it is"
                  " the import that grows the interpreter's table of interned strings")

    if args.memory:
        from tintwell.detect import ColorLevel

        print()
        for level in (ColorLevel.TRUECOLOR, ColorLevel.EXTENDED):
            print(painter_memory(level))


if __name__ == "__main__":
    main()
